// Windows wildcard matching of one name (wildcard_match.h).
#include "platform/wildcard_match.h"

#include "platform/utf.h"

namespace zub::platform {

namespace {

// Windows wildcard matching of one name: '*' any run of units, '?' one
// character (a surrogate pair counts as one). Exact comparison otherwise.
bool match_units(std::u16string_view p, std::u16string_view n) {
    size_t pi = 0, ni = 0;
    size_t star_p = std::u16string_view::npos, star_n = 0;
    auto char_len = [](std::u16string_view s, size_t i) -> size_t {
        return (is_lead_surrogate(s[i]) && i + 1 < s.size() && is_trail_surrogate(s[i + 1])) ? 2 : 1;
    };
    while (ni < n.size()) {
        if (pi < p.size() && p[pi] == u'*') {
            star_p = ++pi;
            star_n = ni;
        } else if (pi < p.size() && p[pi] == u'?') {
            ++pi;
            ni += char_len(n, ni);
        } else if (pi < p.size() && p[pi] == n[ni]) {
            ++pi;
            ++ni;
        } else if (star_p != std::u16string_view::npos) {
            pi = star_p;
            star_n += char_len(n, star_n);
            ni = star_n;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == u'*') ++pi;
    return pi == p.size();
}

}  // namespace

// The DOS rules on top: a pattern ending in ".*" also matches names without
// a dot ("*.*" matches every name), a pattern ending in "." matches names
// without a dot by the rest of the pattern.
bool wildcard_match(std::u16string_view pattern, std::u16string_view name) {
    if (pattern == u"*" || pattern == u"*.*") return true;  // the listing of a whole folder
    if (match_units(pattern, name)) return true;
    const bool has_dot = name.find(u'.') != std::u16string_view::npos;
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == u".*") {
        if (match_units(pattern.substr(0, pattern.size() - 2), name)) return true;
    }
    if (!has_dot && !pattern.empty() && pattern.back() == u'.') {
        if (match_units(pattern.substr(0, pattern.size() - 1), name)) return true;
    }
    return false;
}

}  // namespace zub::platform
