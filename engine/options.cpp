// Option parsing for one run. Letters are upper-cased (ASCII letters only)
// before they are looked at; value letters (E, F) take the following whole
// arguments in the order the letters appear in their cluster; "--" ends the
// options; the first argument that is not an option cluster ends them too.
#include "engine/options.h"

#include "platform/utf.h"

namespace zub {

namespace {

bool begins_cluster(const std::u16string& arg, path_style style) {
    if (arg.empty()) return false;
    if (arg[0] == u'-') return true;
    return style == path_style::windows && arg[0] == u'/';
}

// The flag a plain letter sets, or null when it is not a flag letter.
bool* flag_of(run_options& o, char16_t letter) {
    switch (letter) {
    case u'S': return &o.delete_src;
    case u'D': return &o.delete_dst;
    case u'R': return &o.remove_readonly;
    case u'T': return &o.check_timestamp;
    case u'C': return &o.skip_dir_check;
    case u'A': return &o.append_logs;
    case u'V': return &o.verbose;
    case u'P': return &o.partial_compare;
    case u'Q': return &o.delete_part;
    case u'L': return &o.long_log;
    case u'B': return &o.move_script;
    case u'Z': return &o.empty_instead;
    case u'N': return &o.find_all_diffs;
    case u'G': return &o.file_log;
    case u'K': return &o.yield_each_block;
    case u'W': return &o.title_progress;
    case u'I': return &o.large_first_block;
    case u'M': return &o.full_log;
    default: return nullptr;
    }
}

}  // namespace

parse_result parse_options(run_state& run, const std::vector<std::u16string>& args, path_style style) {
    parse_result result;
    run_options& o = run.options;
    const size_t count = args.size();
    size_t pos = 1;
    bool value_missing = false;

    while (pos < count && begins_cluster(args[pos], style)) {
        if (args[pos] == u"--") {
            ++pos;
            break;
        }
        const std::u16string& cluster = args[pos];
        ++pos;
        for (size_t i = 1; i < cluster.size(); ++i) {
            char16_t c = platform::ascii_upper(cluster[i]);
            if (c == u'-' || c == u'/') continue;
            if (bool* flag = flag_of(o, c)) {
                *flag = true;
                continue;
            }
            if (c >= u'1' && c <= u'4') {
                run.load_level = c - u'0';
                continue;
            }
            if (c == u'E' || c == u'F') {
                if (c == u'E')
                    o.ext_filter = true;
                else
                    o.rename_suffix_on = true;
                if (pos < count) {
                    (c == u'E' ? o.ext_filter_value : o.rename_suffix) = args[pos];
                    ++pos;
                } else {
                    value_missing = true;
                }
                continue;
            }
            if ((c == u'H' || c == u'?') && run.out.rules().usage) {
                result.outcome = parse_outcome::HELP;
                return result;
            }
            // Unknown letter (in the dialog build also H and ?).
            const std::u16string_view line = u"%s: bad option %c\n";
            report_err(run, line, program_name(), c);
            log_line(run.logs[log_id::aer], line, program_name(), c);
            result.outcome = parse_outcome::BAD_OPTION;
            return result;
        }
    }

    if (!o.long_log) o.find_all_diffs = false;

    const size_t remaining = count > pos ? count - pos : 0;
    result.first_folder = pos;
    result.folder_count = remaining;
    if (remaining != 0 && remaining != 2) return result;
    if (value_missing) return result;
    if (o.delete_src && o.delete_dst) return result;
    if (o.skip_dir_check && o.move_script) return result;
    result.outcome = parse_outcome::PARSED;
    return result;
}

}  // namespace zub
