// The path toolkit: folder names typed by a user become absolute,
// extended-length paths spelled as on disk; paths are joined, cut to their
// folder, searched for an extension; the -e extension list is parsed.
//
// Every operation takes a path style. The Windows style knows `\` and `/` as
// separators, drive prefixes, `\\?\` and UNC forms; the POSIX style knows only
// `/` and has none of those forms (there `\` is an ordinary character). Each
// build passes its native style; both styles are unit-tested everywhere.
// Scans step over a lead surrogate together with the unit after it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/utf.h"

namespace zub {

using platform::is_lead_surrogate;
using platform::is_trail_surrogate;
using platform::path_style;

inline path_style native_style() { return platform::native_path_style(); }

// Full-path work buffer size in UTF-16 units (terminating NUL included).
inline constexpr size_t FULL_PATH_UNITS = 32773;

bool is_separator(char16_t c, path_style style);

// Whether the path ends with a separator of the style. The scan steps over a
// lead surrogate together with the unit after it, so the partner of a lead
// surrogate never counts as a separator.
bool ends_with_separator(std::u16string_view path, path_style style = native_style());

// The Windows path forms; `\` and `/` both count as separators in them.
bool is_drive_letter(char16_t c);                     // A-Z, a-z
bool has_drive_prefix(std::u16string_view s);         // begins with `C:`
bool starts_with_long_prefix(std::u16string_view s);  // begins with `\\?\`
bool has_long_unc_prefix(std::u16string_view s);      // begins with `\\?\UNC\` (UNC in any case)
bool is_drive_only(std::u16string_view s);            // exactly `C:`
bool is_drive_root(std::u16string_view s);            // exactly `C:\` or `C:/`
bool is_long_drive_root(std::u16string_view s);       // exactly `\\?\C:\` or `\\?\C:/`

// Absolute extended-length path with the on-disk spelling of every component
// (Windows: \\?\C:\..., \\?\UNC\server\share\...; POSIX: the absolute path).
// Empty for an empty name; "\\", "\\?" and "\\?\" come back as they are; a
// name that cannot be made absolute comes back as typed. nullopt only when
// canonical_path fails inside its recursion.
std::optional<std::u16string> make_long_path(std::u16string_view name, path_style style = native_style());

// As make_long_path without respelling: the prefixed full path as the system
// spelled it (what the lister lists from).
std::u16string make_long_path_as_spelled(std::u16string_view name, path_style style = native_style());

// As make_long_path without the prefix (C:\Data rather than \\?\C:\Data),
// still respelled: what the dialog shows for a dropped folder.
std::optional<std::u16string> make_display_path(std::u16string_view name, path_style style = native_style());

// Respells each existing component as the directory stores it. A path that
// does not exist keeps its spelling. nullopt on a failure inside the recursion.
std::optional<std::u16string> canonical_path(std::u16string_view path, path_style style = native_style());

// The folder part: C:\a\b -> C:\a; C:\a -> C:\; a -> ""; \\server\share -> \\server.
std::u16string parent_dir(std::u16string_view path, path_style style = native_style());

// folder + separator + name, without a separator after a root form
// (Windows: `\`, `/`, `C:`, `C:\`, `\\?\C:\`; POSIX: `/`).
std::u16string join_path(std::u16string_view folder, std::u16string_view name, path_style style = native_style());
// As join_path, but an empty folder gives the name alone and a folder that is
// exactly a lone separator gives the native separator and the name.
std::u16string join_path_new(std::u16string_view folder, std::u16string_view name, path_style style = native_style());
// As join_path with no long-path root form (no \\?\C:\ rule); an empty folder
// gives the name alone (a path relative to the current folder, as typed).
std::u16string join_path_plain(std::u16string_view folder, std::u16string_view name, path_style style = native_style());

// Index of the last dot of the last component (the extension follows it), or
// nullopt when the last component has no dot.
std::optional<size_t> file_extension(std::u16string_view path, path_style style = native_style());

// The pattern that lists every entry of a folder (folder + "\*.*" or the root forms).
std::u16string listing_pattern(std::u16string_view folder, path_style style = native_style());
// As listing_pattern, with "*.*" for an empty folder (the current folder).
std::u16string listing_pattern_plain(std::u16string_view folder, path_style style = native_style());

// Removes one trailing separator (`\` in the Windows style, `/` in the POSIX style).
void strip_trailing_backslash(std::u16string& path, path_style style = native_style());

// The -e extension list.
struct ext_list {
    std::vector<std::u16string> entries;
};
// .txt.log -> txt, log; .txt. -> txt, "" ; the first character always counts
// as the first dot. A null value empties the list (filter off).
void parse_ext_list(ext_list& list, const std::u16string* value);
void free_ext_list(ext_list& list);

// Case-insensitive equality as lstrcmpiW would judge it (simple case mapping).
bool equal_ignore_case(std::u16string_view a, std::u16string_view b);
// Whether two paths name the same text: without regard to case in the Windows
// style, exactly in the POSIX style.
bool same_path_text(std::u16string_view a, std::u16string_view b, path_style style = native_style());

}  // namespace zub
