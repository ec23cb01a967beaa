// Command-line wildcard expansion of the console comparer. A shell that hands
// patterns on unexpanded (as the Windows command interpreter does) still
// yields plain names: every argument holding * or ? is replaced by the entries
// the directory search finds for it, in the order the file system returns
// them, each joined onto the pattern's folder part. A pattern that matches
// nothing is kept as typed, so that the option parser or the run driver
// reports it later.
#include "foundation/wildcards.h"

#include "foundation/enumeration.h"
#include "foundation/paths.h"

namespace zub {

bool has_wildcard(std::u16string_view argument) {
    if (argument == u"/?" || argument == u"-?") return false;  // the help request
    size_t i = (argument.substr(0, 4) == u"\\\\?\\") ? 4 : 0;
    while (i < argument.size()) {
        const char16_t c = argument[i];
        if (c == u'*' || c == u'?') return true;
        if (is_lead_surrogate(c) && i + 1 < argument.size())
            i += 2;
        else
            ++i;
    }
    return false;
}

std::vector<std::u16string> expand_wildcards(const std::vector<std::u16string>& arguments) {
    bool any = false;
    for (size_t i = 1; i < arguments.size() && !any; ++i) any = has_wildcard(arguments[i]);
    if (!any) return arguments;

    std::vector<std::u16string> out;
    out.reserve(arguments.size());
    if (!arguments.empty()) out.push_back(arguments[0]);
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        if (!has_wildcard(argument)) {
            out.push_back(argument);
            continue;
        }
        file_info info;
        uint32_t error = 0;
        platform::search_handle search = find_first(argument, info, error);
        if (!search.valid()) {
            out.push_back(argument);
            continue;
        }
        const std::u16string folder = parent_dir(argument);
        const size_t before = out.size();
        do {
            if (!platform::is_dot_name(info.name)) out.push_back(join_path_new(folder, info.name));
        } while (find_next(search, info, error));
        find_close(search, error);
        // A pattern whose only matches are "." and ".." (such as * in an empty
        // folder) matched no name either: keep it as typed rather than let the
        // argument vanish and shift the ones after it.
        if (out.size() == before) out.push_back(argument);
    }
    return out;
}

}  // namespace zub
