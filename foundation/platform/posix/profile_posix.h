// The POSIX settings file: sections, key=value lines, values replaced in
// place, the file never created. Read and rewritten a line at a time, so a
// settings file of any size takes bounded memory.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zub::platform::posix {

// The value of `key` in `section` ("" when absent or unreadable).
std::u16string read_profile(std::u16string_view section, std::u16string_view key, const std::string& path);
// Sets `key` in `section` (the section is appended when missing). 0, or the
// errno value of the failure when the file does not exist or cannot be rewritten.
int write_profile(std::u16string_view section, std::u16string_view key, std::u16string_view value,
                  const std::string& path);

}  // namespace zub::platform::posix
