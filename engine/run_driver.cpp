// The run driver: one whole run from an argument vector. It takes the dialog
// build's run lock, opens the run log, parses the options, settles the two
// folders, opens the result logs, refuses a run over one folder, remembers the
// pair in the settings file, walks the trees and writes the summary, and
// returns the exit code (0 after a completed walk, 1 for every early end; the
// dialog build adds 54 for a held lock and 1 after a stop request).
#include "engine/run_driver.h"

#include <optional>
#include <utility>

#include "engine/byte_compare.h"
#include "engine/options.h"
#include "engine/result_logs.h"
#include "engine/tree_walk.h"
#include "foundation/settings.h"

namespace zub {

namespace {

// A line for the error stream, zubaer.log and (with -m) zublog.txt.
template <typename... A>
void report_three(run_state& run, std::u16string_view format, const A&... a) {
    report_event(run, {.err = format, .aer = format, .full = format}, {fmt_arg(a)...});
}

// A folder typed with a trailing separator ("dst/", D:\b\ ) keeps it in
// its long form. The walk joins names onto the root with a separator of its
// own, and an extended-length path with a doubled separator names nothing, so
// every counterpart would be missing. Such separators are removed; the root
// forms that are joined without a separator ("/", \\?\C:\ ) keep theirs.
void strip_joining_separators(std::u16string& root) {
    while (ends_with_separator(root) && join_path(root, u"x") != root + u"x") root.pop_back();
}

// Two roots are one folder when their long texts are equal (without regard
// to case in the Windows style, exactly in the POSIX style) or when the
// system reports the same identity for both (a link, a junction, a second
// spelling the text comparison does not see).
bool same_folder(std::u16string_view long_src, std::u16string_view long_dst) {
    if (same_path_text(long_src, long_dst)) return true;
    platform::file_id src_id, dst_id;
    platform::os& os = platform::current();
    return os.file_identity(long_src, src_id) && os.file_identity(long_dst, dst_id) && src_id == dst_id;
}

void write_summary(run_state& run, const std::u16string& src_text, const std::u16string& dst_text) {
    const run_counts& c = run.counts;
    // The figures on standard output, in zubaer.log and (with -m) in zublog.txt.
    auto line = [&](std::u16string_view format, int32_t count, const std::u16string* folder = nullptr) {
        const event_wording summary{.out = format, .aer = format, .full = format};
        if (folder)
            report_event(run, summary, {count, *folder});
        else
            report_event(run, summary, {count});
    };
    line(u"%d same file(s)\n", c.same_count);
    line(u"%d different file(s)\n", c.different_count);
    line(u"%d file(s) error in \"%s\"\n", c.src_error_count, &src_text);
    line(u"%d file(s) error in \"%s\"\n", c.dst_error_count, &dst_text);
    line(u"%d file(s) not found\n", c.file_not_found_count);
    line(u"%d directory(s) not found\n", c.dir_not_found_count);
    line(u"%d file(s) delete from \"%s\"\n", c.src_removed_count, &src_text);
    line(u"%d file(s) delete from \"%s\"\n", c.dst_removed_count, &dst_text);
}

// Compare buffers are reserved by the program before the run. Without them
// no pair can be compared, so such a run ends before any result file is
// touched rather than walking the trees and failing on every pair.
bool compare_buffers_present() { return src_buffer != nullptr && dst_buffer != nullptr; }

int run_body(run_state& run, const std::vector<std::u16string>& args) {
    text_stream& aer = run.logs[log_id::aer];
    for (size_t i = 0; i < args.size(); ++i) log_line(aer, u"%d=[%s] ", static_cast<int>(i), args[i]);
    log_line(aer, u"\n");

    run.out.take_console_record();

    const parse_result parsed = parse_options(run, args);
    switch (parsed.outcome) {
    case parse_outcome::PARSED: break;
    case parse_outcome::HELP:
    case parse_outcome::BAD_USAGE:
        if (run.out.rules().usage) report_err(run, usage_text, program_name());
        return 1;
    case parse_outcome::BAD_OPTION:
        if (run.out.rules().usage) report_err(run, u"for more infomation: %s /?\n", program_name());
        return 1;
    }

    if (!compare_buffers_present()) {
        report_event(run, {.err = u"%s: inadequate memory.\n", .aer = u"%s: inadequate memory.\n"}, {program_name()});
        return 1;
    }

    std::u16string src_text, dst_text;
    if (parsed.folder_count == 2) {
        src_text = args[parsed.first_folder];
        dst_text = args[parsed.first_folder + 1];
    } else {
        std::optional<std::pair<std::u16string, std::u16string>> picked = run.out.resolve_folders(run);
        if (!picked) return 1;
        src_text = std::move(picked->first);
        dst_text = std::move(picked->second);
    }

    open_logs(run);

    run.counts = {};

    if (run.options.ext_filter) parse_ext_list(run.extensions, &run.options.ext_filter_value);

    // An empty folder name would make an empty long path, which the walk
    // would list as the root of the current drive (or of the file system):
    // it counts as a name that cannot be made absolute.
    std::optional<std::u16string> long_src = make_long_path(src_text);
    if (!long_src || long_src->empty()) {
        close_logs(run);
        return 1;
    }
    std::optional<std::u16string> long_dst = make_long_path(dst_text);
    if (!long_dst || long_dst->empty()) {
        close_logs(run);
        return 1;
    }

    strip_joining_separators(*long_src);
    strip_joining_separators(*long_dst);

    if (same_folder(*long_src, *long_dst)) {
        report_three(run, u"src(%s) = dst(%s)", src_text, dst_text);
        if (!same_path_text(src_text, dst_text)) report_three(run, u" = %s = %s", *long_src, *long_dst);
        report_three(run, u"\n");
        close_logs(run);
        return 1;
    }

    write_setting(u"history0", u"source", src_text);
    write_setting(u"history0", u"destination", dst_text);

    run.dst_prefix_len = static_cast<int32_t>(long_dst->size()) + (ends_with_separator(*long_dst) ? 0 : 1);

    run.out.show_counts(0, 0, 0);
    const bool walked = walk_tree(run, *long_src, *long_dst);
    long_src.reset();
    long_dst.reset();
    if (!walked) {
        close_logs(run);
        return 1;
    }

    if (run.options.verbose) report_out(run, u"\n");

    if (run.stop_requested()) {
        report_event(run, {.out = u"program abort\n", .full = u"program abort\n"}, {});
    }

    write_summary(run, src_text, dst_text);
    close_logs(run);
    // A result file that could not be written (to its last line: the final
    // writes happen here) means the run has not done what was asked, also
    // when it removed nothing.
    return records_intact(run) ? 0 : 1;
}

}  // namespace

int run_engine(run_state& run, const std::vector<std::u16string>& args) {
    const host_rules rules = run.out.rules();
    platform::owned_lock lock;
    if (rules.run_lock) {
        uint32_t error = 0;
        lock = platform::owned_lock(platform::current().open_lock(u"__LOCK__", error));
        if (!lock.valid()) return EXIT_LOCK_HELD;
    }

    run.reset();
    set_program_name(args.empty() ? std::u16string_view() : std::u16string_view(args[0]));
    // UTF-8 or UTF-16LE for the result files (and the console build's
    // redirected streams), chosen again for every run.
    choose_output_encoding(read_setting(u"options", u"encoding"));
    open_run_log(run);

    int code = run_body(run, args);

    run.logs[log_id::full].close();
    log_line(run.logs[log_id::aer], u"exit code = %d\n\n", code);
    close_run_log(run);
    // The run log's last line: the one failure said only on standard error.
    if (code == 0 && !records_intact(run)) code = 1;
    free_ext_list(run.extensions);

    lock.reset();
    // A stopped run is not a completed one. The dialog asks once more (a
    // Stop pressed while the run ended); a console run counts the Ctrl+C
    // that its walk saw.
    if (rules.late_stop_fails ? run.stop_requested() : run.stopped) return 1;
    return code;
}

}  // namespace zub
