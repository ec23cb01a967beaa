// Fuzz target for the long-path builders (make_long_path,
// make_long_path_as_spelled, make_display_path) over the table layer. The input
// is a path style, a name, the full path the layer gives for it and a small
// file system (a list of stored paths, split into components as the toolkit
// splits them); the table answers each directory search the builders make as
// that file system would. The properties checked
// are the ones paths.h documents:
// - a name without a full path comes back as typed;
// - in the Windows style a full path of the forms the system gives (C:\...,
//   \\server\..., \\?\...) comes back with the extended-length prefix;
// - respelling changes only the case of what exists (in the POSIX style
//   nothing), and the display path is the long path without its prefix;
// - a result given back as its own full path builds to itself again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/paths.h"
#include "tests/foundation/table_os.h"

namespace {

using zub::path_style;
using sv = std::u16string_view;

// Bytes below 0x80 are ASCII; the others pick units that the scans treat
// specially (surrogates, letters with case pairs, letters without).
char16_t unit_of(uint8_t b) {
    static const char16_t high[16] = {0xD83D, 0xDE00, 0xD800, 0xDC00, 0x00C9, 0x00E9, 0x03A3, 0x03C3,
                                      0x0130, 0x0131, 0x017F, 0xFF21, 0xFF41, 0x0416, 0x0436, 0xFFFF};
    return b < 0x80 ? char16_t(b) : high[b & 15];
}

// The root part of a stored path, after which its components begin: C:\,
// \\server\share\ (Windows); / (POSIX). Zero: not an absolute path.
size_t stored_root(sv p, path_style style) {
    if (style == path_style::posix) return (!p.empty() && p[0] == u'/') ? 1 : 0;
    if (zub::has_drive_prefix(p) && p.size() >= 3 && p[2] == u'\\') return 3;
    if (p.size() < 3 || p[0] != u'\\' || p[1] != u'\\' || p[2] == u'?' || p[2] == u'\\') return 0;
    const size_t server_end = p.find(u'\\', 2);
    if (server_end == sv::npos || server_end + 1 >= p.size()) return 0;
    const size_t share_end = p.find(u'\\', server_end + 1);
    return share_end == sv::npos ? 0 : share_end + 1;
}

// Where the components of a path end: at each separator of the style and at
// the end. As in every scan of the toolkit, a lead surrogate takes the unit
// after it along, so a separator right after one does not count.
std::vector<size_t> component_ends(sv p, size_t from, path_style style) {
    std::vector<size_t> ends;
    for (size_t i = from; i < p.size(); ++i) {
        if (zub::is_lead_surrogate(p[i]) && i + 1 < p.size())
            ++i;
        else if (zub::is_separator(p[i], style))
            ends.push_back(i);
    }
    ends.push_back(p.size());
    return ends;
}

// A small file system: every stored path and each of its folders exist,
// spelled as stored (up to an empty name, which no file system stores).
struct small_fs {
    path_style style;
    std::vector<std::u16string> nodes;  // existing paths below a root

    void add(sv p) {
        const size_t root = stored_root(p, style);
        if (root == 0) return;
        size_t start = root;
        for (const size_t end : component_ends(p, root, style)) {
            if (end == start) return;
            nodes.emplace_back(p.substr(0, end));
            start = end + 1;
        }
    }

    // The stored name of the entry a search for exactly `pattern` finds.
    std::optional<std::u16string> entry(sv pattern) const {
        std::u16string key(pattern);
        if (style == path_style::windows) {
            if (zub::has_long_unc_prefix(key))
                key = u"\\\\" + key.substr(8);
            else if (zub::starts_with_long_prefix(key))
                key = key.substr(4);
        }
        for (const auto& node : nodes) {
            if (!zub::same_path_text(node, key, style)) continue;
            const std::vector<size_t> ends = component_ends(node, 0, style);
            const size_t last_separator = ends.size() > 1 ? ends[ends.size() - 2] : 0;
            return node.substr(last_separator + 1);
        }
        return std::nullopt;
    }
};

// Without the extended-length prefix: \\?\UNC\x -> \\x, \\?\x -> x.
std::u16string without_prefix(sv p) {
    if (zub::has_long_unc_prefix(p)) return u"\\\\" + std::u16string(p.substr(8));
    if (zub::starts_with_long_prefix(p)) return std::u16string(p.substr(4));
    return std::u16string(p);
}

// The full-path forms GetFullPathNameW gives: C:\..., \\server..., \\?\...
bool is_system_full_path(sv p) {
    if (zub::has_drive_prefix(p) && p.size() >= 3 && p[2] == u'\\') return true;
    return p.size() >= 3 && p[0] == u'\\' && p[1] == u'\\' && (p[2] != u'?' || zub::starts_with_long_prefix(p));
}

struct results {
    std::u16string lister;
    std::optional<std::u16string> long_path;
    std::optional<std::u16string> display;
};

// Runs the builders until every search they make has the small file system's answer.
results build(zub::test::table_os& os, const small_fs& fs, sv name) {
    for (;;) {
        os.searched.clear();
        results r{zub::make_long_path_as_spelled(name, fs.style), zub::make_long_path(name, fs.style),
                  zub::make_display_path(name, fs.style)};
        if (os.open_searches != 0) std::abort();  // a search left open
        bool added = false;
        for (const auto& pattern : os.searched) {
            if (os.searches.count(pattern) != 0) continue;
            const auto stored = fs.entry(pattern);
            if (stored) {
                os.add_entry(pattern, *stored);
            } else {
                os.searches[pattern];  // asked and answered: no such entry
            }
            added = added || stored.has_value();
        }
        if (!added) return r;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t flags = data[0];
    const path_style style = (flags & 1) != 0 ? path_style::windows : path_style::posix;
    const bool no_full_path = (flags & 2) != 0;

    // The lines after the flags byte: the name, its full path, the stored paths.
    std::vector<std::u16string> lines(1);
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == '\n')
            lines.emplace_back();
        else
            lines.back().push_back(unit_of(data[i]));
    }
    const std::u16string name = lines[0];
    std::u16string full = lines.size() > 1 ? lines[1] : u"";
    if (style == path_style::windows) {
        // The system gives every separator as `\`.
        for (auto& c : full) c = c == u'/' ? u'\\' : c;
    } else if (!full.empty()) {
        // The POSIX layer gives "/" and the components, without "." or "..",
        // separated by one "/" (and a final one after a final "/").
        std::u16string absolute;
        size_t start = 0;
        while (start <= full.size()) {
            size_t end = full.find(u'/', start);
            if (end == std::u16string::npos) end = full.size();
            const sv part = sv(full).substr(start, end - start);
            if (!part.empty() && part != u"." && part != u"..") absolute += u"/" + std::u16string(part);
            start = end + 1;
        }
        if (absolute.empty() || full.back() == u'/') absolute += u'/';
        full = absolute;
    }
    small_fs fs{style, {}};
    for (size_t i = 2; i < lines.size(); ++i) {
        if (style == path_style::windows)
            for (auto& c : lines[i]) c = c == u'/' ? u'\\' : c;
        fs.add(lines[i]);
    }

    zub::test::table_os os;
    zub::test::layer_scope scope(os);
    if (!no_full_path) os.full_paths[name] = full;
    const results r = build(os, fs, name);

    if (!r.long_path || !r.display) std::abort();  // the table never fails inside the recursion
    if (no_full_path || name.empty()) {
        if (r.lister != name || *r.long_path != name || *r.display != name) std::abort();
        return 0;
    }
    // Respelling changes the case of a name that exists, nothing else.
    if (!zub::same_path_text(*r.long_path, r.lister, style)) std::abort();

    // The names the builders keep as they are, and full paths no system gives.
    const bool fixed_name =
        style == path_style::windows &&
        (name == u"\\\\" || name == u"\\\\?" || name == u"\\\\?\\" ||
         (name.size() >= 4 && zub::is_separator(name[0], style) && zub::is_separator(name[1], style) &&
          name[2] == u'.' && zub::is_separator(name[3], style)));
    const bool resolved = !fixed_name && !full.empty() && full.size() < zub::FULL_PATH_UNITS &&
                          (style == path_style::posix || is_system_full_path(full));
    if (!resolved) return 0;
    if (style == path_style::windows) {
        if (!zub::starts_with_long_prefix(r.lister) || !zub::starts_with_long_prefix(*r.long_path)) std::abort();
        if (!zub::starts_with_long_prefix(full) && *r.display != without_prefix(*r.long_path)) std::abort();
    } else if (*r.display != *r.long_path) {
        std::abort();
    }

    // A result that the system gives back as its own full path builds to itself.
    for (const std::u16string& again : {r.lister, *r.long_path}) {
        zub::test::table_os os2;
        zub::test::layer_scope scope2(os2);
        os2.full_paths[again] = again;
        const results r2 = build(os2, fs, again);
        if (r2.lister != again) std::abort();
        if (again == *r.long_path && r2.long_path != again) std::abort();
    }
    return 0;
}
