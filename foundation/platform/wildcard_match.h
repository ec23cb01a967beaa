// Matching of one file name against a Windows wildcard pattern, with the
// DOS rules a directory search keeps. The POSIX layer lists a folder with it;
// it touches no file system, so its rules are unit-tested on every build.
#pragma once

#include <string_view>

namespace zub::platform {

// '*' any run of units, '?' one character (a surrogate pair counts as one),
// every other unit compared exactly. A pattern ending in ".*" also matches
// names without a dot ("*.*" matches every name); a pattern ending in "."
// matches names without a dot by the rest of the pattern.
bool wildcard_match(std::u16string_view pattern, std::u16string_view name);

}  // namespace zub::platform
