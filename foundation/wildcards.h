// Command-line wildcard expansion of the console comparer: every argument
// holding * or ? is replaced by the names it matches (in listing order,
// joined onto the pattern's folder part); a pattern without matches is kept.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zub {

// True when the argument holds * or ?, except exactly "/?" or "-?", and not
// counting the ? of a leading \\?\ prefix.
bool has_wildcard(std::u16string_view argument);

// Argument 0 (the program name) is kept as it is.
std::vector<std::u16string> expand_wildcards(const std::vector<std::u16string>& arguments);

}  // namespace zub
