// The path toolkit. Folder names typed by the user become absolute paths with
// the on-disk spelling of every component (extended-length \\?\ forms in the
// Windows style); paths are joined, cut to their folder part and searched for
// an extension; the -e extension list is parsed.
//
// Everything here is text work on UTF-16 except make_long_path,
// make_display_path, make_long_path_as_spelled and canonical_path, which ask the
// platform layer for the full path of a name and search the directory for the
// stored spelling of each component. Every scan for separators, dots or
// wildcards steps over a lead surrogate together with the unit after it, so the
// second half of a pair is never taken for a separator or a dot.
//
// Memory exhaustion: std::u16string throws std::bad_alloc; the console
// programs install a new_handler that writes "%s: inadequate memory.\n" and
// ends the process with 1, which is the handling the folder-cutting operation
// needs. Nothing here catches it.
#include "foundation/paths.h"

namespace zub {

namespace {

using sv = std::u16string_view;

// Index of the unit after the character at i: a lead surrogate takes its
// partner along (unless it is the last unit).
size_t next_index(sv s, size_t i) {
    if (is_lead_surrogate(s[i]) && i + 1 < s.size()) return i + 2;
    return i + 1;
}

bool is_lone_separator(sv s, path_style style) { return s.size() == 1 && is_separator(s[0], style); }

// The root forms at which canonical_path stops: exactly \\?\X:\ or the UNC
// root \\?\UNC\ (the letters UNC in any case); in the POSIX style exactly "/".
bool is_canonical_root(sv s, path_style style) {
    if (style == path_style::posix) return s == u"/";
    if (is_long_drive_root(s) && s[6] == u'\\') return true;
    return s.size() == 8 && has_long_unc_prefix(s);
}

// The device namespace \\.\ (either separator), whose names are never touched.
bool is_device_path(sv s) {
    return s.size() >= 4 && is_separator(s[0], path_style::windows) && is_separator(s[1], path_style::windows) &&
           s[2] == u'.' && is_separator(s[3], path_style::windows);
}

// The absolute form of a name from the platform layer. A result that does not
// fit the full-path work buffer counts as a failure: the name is then kept as
// typed, so that a later directory operation reports the real error.
bool full_path_of(sv name, std::u16string& out) {
    uint32_t error = 0;
    if (!platform::current().full_path(name, out, nullptr, error)) return false;
    if (out.empty() || out.size() >= FULL_PATH_UNITS) return false;
    return true;
}

// Steps shared by the three Windows-style long-path operations. `respell`
// says whether the result goes through canonical_path; `prefix` whether the
// \\?\ or \\?\UNC\ prefix is added.
std::optional<std::u16string> windows_long_path(sv name, bool prefix, bool respell) {
    const path_style style = path_style::windows;
    if (name.empty()) return std::u16string();
    if (name == u"\\\\" || name == u"\\\\?" || name == u"\\\\?\\") return std::u16string(name);

    std::u16string full;
    if (is_device_path(name) || !full_path_of(name, full)) return std::u16string(name);

    auto finish = [&](std::u16string text) -> std::optional<std::u16string> {
        if (!respell) return text;
        return canonical_path(text, style);
    };

    if (has_drive_prefix(full) && full.size() >= 3 && full[2] == u'\\') {
        full[0] = platform::ascii_upper(full[0]);
        if (prefix) return finish(u"\\\\?\\" + full);
        return finish(std::move(full));
    }
    if (full.size() >= 2 && full[0] == u'\\' && full[1] == u'\\' && (full.size() < 3 || full[2] != u'?')) {
        if (prefix) return finish(u"\\\\?\\UNC\\" + full.substr(2));
        return finish(std::move(full));
    }
    if (starts_with_long_prefix(full) && full.size() >= 7 && has_drive_prefix(sv(full).substr(4)) && full[6] == u'\\') {
        full[4] = platform::ascii_upper(full[4]);
    }
    return finish(std::move(full));
}

// Where parent_dir may cut a path: the length of its root part.
size_t root_length(sv s, path_style style) {
    if (style == path_style::posix) return (!s.empty() && s[0] == u'/') ? 1 : 0;
    if (s.size() >= 2 && is_separator(s[0], style) && is_separator(s[1], style)) return 2;
    if (!s.empty() && is_separator(s[0], style)) return 1;
    if (has_drive_prefix(s) && s.size() >= 3 && is_separator(s[2], style)) return 3;
    if (has_drive_prefix(s)) return 2;
    return 0;
}

// Shared by the joins: whether the folder is a root form that takes the name
// without a separator in between.
bool joins_without_separator(sv folder, path_style style, bool long_drive_rule) {
    if (style == path_style::posix) return folder == u"/";
    if (is_lone_separator(folder, style) || is_drive_only(folder) || is_drive_root(folder)) return true;
    return long_drive_rule && is_long_drive_root(folder);
}

std::u16string join_with(sv folder, sv name, path_style style, bool long_drive_rule) {
    std::u16string out;
    out.reserve(folder.size() + name.size() + 1);
    out.append(folder);
    if (!joins_without_separator(folder, style, long_drive_rule))
        out.push_back(style == path_style::posix ? u'/' : u'\\');
    out.append(name);
    return out;
}

// Simple upper-case mapping of one UTF-16 unit: the one-to-one letter pairs of
// Basic Latin, Latin-1, Latin Extended-A, Greek, Cyrillic (with its
// supplement) and the full-width Latin letters. Letters whose case pairs are
// not one-to-one (dotless i, long s, kra, final sigma aside) keep their value.
char16_t simple_upper(char16_t c) {
    if (c < 0x80) return platform::ascii_upper(c);
    if (c < 0x100) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char16_t(c - 0x20);
        if (c == 0xFF) return 0x178;
        return c;
    }
    if (c < 0x180) {
        // Pairs with the capital on the even code point ...
        if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
            return char16_t(c & ~1u);
        // ... and on the odd one.
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1u) ? c : char16_t(c - 1);
        return c;
    }
    if (c >= 0x370 && c < 0x400) {
        if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return char16_t(c - 0x20);
        if (c == 0x3C2) return 0x3A3;
        if (c == 0x3AC) return 0x386;
        if (c >= 0x3AD && c <= 0x3AF) return char16_t(c - 0x25);
        if (c == 0x3CC) return 0x38C;
        if (c == 0x3CD || c == 0x3CE) return char16_t(c - 0x3F);
        return c;
    }
    if (c >= 0x400 && c < 0x530) {
        if (c >= 0x430 && c <= 0x44F) return char16_t(c - 0x20);
        if (c >= 0x450 && c <= 0x45F) return char16_t(c - 0x50);
        if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
            return char16_t(c & ~1u);
        if (c >= 0x4C1 && c <= 0x4CE) return (c & 1u) ? c : char16_t(c - 1);
        if (c == 0x4CF) return 0x4C0;
        return c;
    }
    if (c >= 0xFF41 && c <= 0xFF5A) return char16_t(c - 0x20);
    return c;
}

}  // namespace

bool is_separator(char16_t c, path_style style) {
    if (style == path_style::posix) return c == u'/';
    return c == u'\\' || c == u'/';
}

bool is_drive_letter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool has_drive_prefix(std::u16string_view s) { return s.size() >= 2 && is_drive_letter(s[0]) && s[1] == u':'; }

bool starts_with_long_prefix(std::u16string_view s) { return s.size() >= 4 && s.substr(0, 4) == u"\\\\?\\"; }

bool has_long_unc_prefix(std::u16string_view s) {
    return s.size() >= 8 && starts_with_long_prefix(s) && equal_ignore_case(s.substr(4, 4), u"UNC\\");
}

bool is_drive_only(std::u16string_view s) { return s.size() == 2 && has_drive_prefix(s); }

bool is_drive_root(std::u16string_view s) {
    return s.size() == 3 && has_drive_prefix(s) && is_separator(s[2], path_style::windows);
}

bool is_long_drive_root(std::u16string_view s) {
    return s.size() == 7 && starts_with_long_prefix(s) && has_drive_prefix(s.substr(4)) &&
           is_separator(s[6], path_style::windows);
}

bool ends_with_separator(std::u16string_view path, path_style style) {
    bool last_was_separator = false;
    for (size_t i = 0; i < path.size(); ++i) {
        const char16_t c = path[i];
        if (is_lead_surrogate(c) && i + 1 < path.size()) {
            ++i;
            last_was_separator = false;
            continue;
        }
        last_was_separator = is_separator(c, style);
    }
    return last_was_separator;
}

std::optional<std::u16string> make_long_path(std::u16string_view name, path_style style) {
    if (style == path_style::windows) return windows_long_path(name, true, true);
    if (name.empty()) return std::u16string();
    std::u16string full;
    if (!full_path_of(name, full)) return std::u16string(name);
    return canonical_path(full, style);
}

std::u16string make_long_path_as_spelled(std::u16string_view name, path_style style) {
    if (style == path_style::windows) return *windows_long_path(name, true, false);
    if (name.empty()) return std::u16string();
    std::u16string full;
    if (!full_path_of(name, full)) return std::u16string(name);
    return full;
}

std::optional<std::u16string> make_display_path(std::u16string_view name, path_style style) {
    if (style == path_style::windows) return windows_long_path(name, false, true);
    return make_long_path(name, style);
}

std::optional<std::u16string> canonical_path(std::u16string_view path, path_style style) {
    std::u16string copy(path);
    if (is_canonical_root(copy, style)) return copy;

    // The entry of exactly this path: its name as the file system spells it
    // (a name is never taken as a pattern, so "a?" cannot turn into "ab").
    platform::find_entry entry;
    uint32_t error = 0;
    // A path that does not exist keeps its spelling.
    if (!platform::current().entry_of(copy, entry, error)) return copy;
    if (platform::is_dot_name(entry.name)) return copy;

    std::u16string parent = parent_dir(copy, style);
    // A path that is its own folder part (`C:`, `\`, an empty text) has nothing
    // above it to respell; stopping here keeps the recursion finite.
    if (parent.size() >= copy.size()) return copy;
    std::optional<std::u16string> canonical_parent = canonical_path(parent, style);
    if (!canonical_parent) return std::nullopt;
    return join_path_new(*canonical_parent, entry.name, style);
}

std::u16string parent_dir(std::u16string_view path, path_style style) {
    const size_t start = root_length(path, style);
    size_t cut = start;
    for (size_t i = start; i < path.size(); i = next_index(path, i)) {
        if (is_separator(path[i], style)) cut = i;
    }
    return std::u16string(path.substr(0, cut));
}

std::u16string join_path(std::u16string_view folder, std::u16string_view name, path_style style) {
    return join_with(folder, name, style, true);
}

std::u16string join_path_new(std::u16string_view folder, std::u16string_view name, path_style style) {
    if (folder.empty()) return std::u16string(name);
    if (style == path_style::windows && is_lone_separator(folder, style)) return u"\\" + std::u16string(name);
    return join_with(folder, name, style, true);
}

std::u16string join_path_plain(std::u16string_view folder, std::u16string_view name, path_style style) {
    if (folder.empty()) return std::u16string(name);
    return join_with(folder, name, style, false);
}

std::optional<size_t> file_extension(std::u16string_view path, path_style style) {
    size_t i = (style == path_style::windows && has_drive_prefix(path)) ? 2 : 0;
    std::optional<size_t> dot;
    for (; i < path.size(); i = next_index(path, i)) {
        if (path[i] == u'.')
            dot = i;
        else if (is_separator(path[i], style))
            dot.reset();
    }
    return dot;
}

std::u16string listing_pattern(std::u16string_view folder, path_style style) {
    if (style == path_style::posix) {
        if (folder == u"/") return u"/*.*";
        return std::u16string(folder) + u"/*.*";
    }
    if (is_lone_separator(folder, style)) return u"\\*.*";
    if (is_drive_only(folder) || is_drive_root(folder) || is_long_drive_root(folder))
        return std::u16string(folder) + u"*.*";
    return std::u16string(folder) + u"\\*.*";
}

std::u16string listing_pattern_plain(std::u16string_view folder, path_style style) {
    if (folder.empty()) return u"*.*";
    return listing_pattern(folder, style);
}

void strip_trailing_backslash(std::u16string& path, path_style style) {
    if (path.empty()) return;
    if (style == path_style::posix) {
        if (path.back() == u'/' && path != u"/") path.pop_back();
        return;
    }
    // A trail surrogate can never equal `\`, so the last unit alone decides.
    if (path.back() == u'\\') path.pop_back();
}

void parse_ext_list(ext_list& list, const std::u16string* value) {
    list.entries.clear();
    if (value == nullptr) return;
    const sv text(*value);
    size_t pos = 0;  // the introducing character of the current entry
    while (pos < text.size()) {
        const size_t first = next_index(text, pos);
        size_t end = first;
        while (end < text.size() && text[end] != u'.') end = next_index(text, end);
        list.entries.emplace_back(text.substr(first, end - first));
        pos = end;
    }
}

void free_ext_list(ext_list& list) {
    list.entries.clear();
    list.entries.shrink_to_fit();
}

bool equal_ignore_case(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && simple_upper(a[i]) != simple_upper(b[i])) return false;
    }
    return true;
}

bool same_path_text(std::u16string_view a, std::u16string_view b, path_style style) {
    if (style == path_style::windows) return equal_ignore_case(a, b);
    return a == b;
}

}  // namespace zub
