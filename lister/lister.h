// quarnel, the folder lister: prints a folder tree as one line per entry,
// every file with its size in bytes and every subfolder marked "dir", with
// paths relative to the folder named on the command line. Listing lines go
// to standard output, the banner, usage, option errors and failures to
// standard error, all through the foundation's printers (console text on a
// console, UTF-16LE with CR LF when redirected).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zub {

// Characters dropped from the front of a joined path to print it; set each
// time a top-level folder is entered (its length plus one separator).
extern size_t list_prefix_len;

// The whole program: banner, option scan, one listing per argument.
// `args` holds argument 0 (the program name) and the arguments. Returns the
// exit code: 0 after listing (also when some folders failed), 1 after the
// usage text or an option error.
int quarnel_main(const std::vector<std::u16string>& args);

// Resolves one argument (a folder, a file or a pattern, as the lister's
// make_long_path gave it, or "*.*") and lists what it names: files by bare
// name, each folder's contents relative to that folder.
void list_top(std::u16string_view path);

// Lists a folder depth first: each entry by its path from character
// list_prefix_len on, a subfolder's whole subtree right after its "dir" line.
void list_dir(std::u16string_view folder);

}  // namespace zub
