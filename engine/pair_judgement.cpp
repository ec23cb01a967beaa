// File-pair judgement and removal. One pair: sizes, then (-t) last-write
// times, then the bytes (or, with -p and differing sizes, the prefix); the
// verdict goes to the lists, the readable and comma-separated reports and
// the counters, and -s, -d or -q remove one side.
//
// A removal is checked and made by removal.cpp against what the comparison
// saw of both files; a refused removal is an error of the removing side: its
// error list and counter, and a line naming the reason.
#include "engine/pair_judgement.h"

#include <algorithm>
#include <iterator>

#include "engine/byte_compare.h"
#include "engine/prefix_compare.h"
#include "engine/removal.h"
#include "engine/result_logs.h"
#include "foundation/timestamps.h"

namespace zub {

namespace {

// A file time as its local calendar text, every field zero when it cannot
// be converted. Made only for the lines that show it: a conversion costs.
class stamp_text {
public:
    stamp_text() = default;
    explicit stamp_text(uint64_t file_time) {
        const platform::system_time t = local_time_of(file_time).value_or(platform::system_time{});
        const int n = format_to(text_, std::size(text_), u"%4d-%02d-%02d %02d:%02d:%02d.%03d",
                                {t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond});
        length_ = n > 0 ? static_cast<size_t>(n) : 0;
    }
    std::u16string_view view() const { return {text_, length_}; }

private:
    char16_t text_[48] = {};
    size_t length_ = 0;
};

// zublong.log and zublog.txt show the times of a pair that differs.
bool shows_times(const run_state& run) { return run.logs[log_id::lng].is_open() || run.logs[log_id::full].is_open(); }

char16_t time_sign(uint64_t src, uint64_t dst) { return src > dst ? u'>' : (src == dst ? u'=' : u'<'); }

// The verdicts. zublong.log names the pair by a full path, zublog.txt and
// zubfile.log by the destination relative to its root.
constexpr event_wording SAME{.full = u"\"%s\", same\n", .file = u"\"%s\", same\n"};
// Arguments: the offset of the first difference, the two bytes there, the two times and their sign.
constexpr event_wording DIFFERENT{.lng = u"\"%s\" disagreement at %I64u 0x%02x 0x%02x , timestamp %s %c %s\n",
                                  .full = u"\"%s\", disagreement at %I64u 0x%02x 0x%02x , timestamp %s %c %s\n",
                                  .file = u"\"%s\", disagreement\n"};
// -n: the offset of the first and of the last difference, their number and the size, the times.
constexpr event_wording DIFFERENT_ALL{
    .lng = u"\"%s\" disagreement at %I64u - %I64u (%I64u / %I64u) , timestamp %s %c %s\n",
    .full = u"\"%s\", disagreement at %I64u - %I64u (%I64u / %I64u) , timestamp %s %c %s\n",
    .file = u"\"%s\", disagreement\n"};
// The two sizes with their sign, the two times with theirs.
constexpr event_wording SIZES_DIFFER{.lng = u"\"%s\" size %I64d %c %I64d , timestamp %s %c %s\n",
                                     .full = u"\"%s\", size %I64d %c %I64d , timestamp %s %c %s\n",
                                     .file = u"\"%s\", size, %I64d, \"%c\", %I64d\n"};
// zublong.log: the times with their sign; the others add each time as a number.
constexpr event_wording TIMES_DIFFER{.lng = u"\"%s\" timestamp %s %c %s\n",
                                     .full = u"\"%s\", timestamp, %s, %I64u, \"%c\", %s, %I64u\n",
                                     .file = u"\"%s\", timestamp, %s, %I64u, \"%c\", %s, %I64u\n"};
// -p, indexed by the smaller side: it is the beginning of the other file (zublong.log names it), or
// not (zublong.log names the source, and the offset of the first difference follows).
constexpr event_wording PART[] = {
    {.lng = u"\"%s\" is a part of dst\n", .full = u"\"%s\", src is a part of dst\n"},
    {.lng = u"\"%s\" is a part of src\n", .full = u"\"%s\", dst is a part of src\n"},
};
constexpr event_wording NOT_PART[] = {
    {.lng = u"\"%s\" not a part at %I64u\n", .full = u"\"%s\", src is not a part of dst at %I64u\n"},
    {.lng = u"\"%s\" not a superset at %I64u\n", .full = u"\"%s\", dst is not a part of src at %I64u\n"},
};

// A source root that is a file and cannot be read.
constexpr event_wording SRC_FILE_FAILED{
    .err = u"\"%s\" %s (%d)\n", .aer = u"%s: %s\n", .lng = u"\"%s\" %s (%d)\n", .full = u"\"%s\" error %s (%d)\n"};

// A verdict line: `path` in zublong.log, `shown` in zublog.txt and zubfile.log.
// Most pairs are the same and go to no file but the lists: they cost a look at
// whether those files are open.
template <typename... A>
void report_verdict(run_state& run, const event_wording& event, std::u16string_view path, std::u16string_view shown,
                    const A&... a) {
    if (reaches(run, event)) report_event(run, event, {fmt_arg(path), fmt_arg(a)...}, {fmt_arg(shown), fmt_arg(a)...});
}

void show_counts(run_state& run) {
    run.out.show_counts(static_cast<uint32_t>(run.counts.same_count), static_cast<uint32_t>(run.counts.different_count),
                        static_cast<int64_t>(run.counts.bytes_compared));
}

void count_different(run_state& run, std::u16string_view src, std::u16string_view dst, int64_t size) {
    list_path(run, log_id::sdif, src);
    list_path(run, log_id::ddif, dst);
    ++run.counts.different_count;
    run.counts.bytes_compared += static_cast<uint64_t>(size);
}

removal_guard guard_of(const run_state& run, std::u16string_view src, std::u16string_view dst,
                       const pair_folders& folders, bool target_is_src) {
    compared_file s{src, run.compared_src, folders.src};
    compared_file d{dst, run.compared_dst, folders.dst};
    return target_is_src ? removal_guard{s, d} : removal_guard{d, s};
}

void remove_src(run_state& run, std::u16string_view src, std::u16string_view dst, const file_info& info,
                const pair_folders& folders) {
    if (!remove_matched_file(run, guard_of(run, src, dst, folders, true), info.is_read_only(), log_id::srm,
                             run.counts.src_removed_count))
        count_error(run, side::src, src);
}

// Returns true when the destination was removed.
bool remove_dst(run_state& run, std::u16string_view src, std::u16string_view dst, const path_status_record& status,
                const pair_folders& folders) {
    if (!remove_matched_file(run, guard_of(run, src, dst, folders, false), status.is_read_only(), log_id::drm,
                             run.counts.dst_removed_count)) {
        count_error(run, side::dst, dst);
        return false;
    }
    return true;
}

// -p: whether the smaller file of the pair is the beginning of the larger
// one; when it is, -q (or the smaller side's -s / -d) removes it.
void judge_part(run_state& run, std::u16string_view src, std::u16string_view dst, const file_info& info,
                const path_status_record& status, const pair_folders& folders) {
    const run_options& o = run.options;
    const side smaller = info.size < status.size ? side::src : side::dst;
    const size_t index = smaller == side::src ? 0 : 1;
    const compare_outcome result = compare_prefix(run, src, dst, std::min(info.size, status.size));
    if (run.stop_requested() || result.failed()) return;
    std::u16string_view rel = relative_dst(run, dst);
    if (result.kind == outcome::differs) {
        report_verdict(run, NOT_PART[index], src, rel, result.offset);
        return;
    }
    const std::u16string_view part = smaller == side::src ? src : dst;
    list_path(run, log_id::part, part);
    report_verdict(run, PART[index], part, rel);
    if (smaller == side::src) {
        if (o.delete_src || o.delete_part) remove_src(run, src, dst, info, folders);
    } else if ((o.delete_dst || o.delete_part) && remove_dst(run, src, dst, status, folders) && o.move_script) {
        write_move(run, src, dst);
    }
}

void judge_sizes_differ(run_state& run, std::u16string_view src, std::u16string_view dst, const file_info& info,
                        const path_status_record& status, const pair_folders& folders) {
    count_different(run, src, dst, info.size);
    show_counts(run);
    stamp_text st, dt;
    if (shows_times(run)) st = stamp_text(info.written), dt = stamp_text(status.written);
    report_verdict(run, SIZES_DIFFER, src, relative_dst(run, dst), info.size, info.size > status.size ? u'>' : u'<',
                   status.size, st.view(), time_sign(info.written, status.written), dt.view());
    if (run.options.partial_compare) judge_part(run, src, dst, info, status, folders);
}

void judge_times_differ(run_state& run, std::u16string_view src, std::u16string_view dst, const file_info& info,
                        const path_status_record& status) {
    count_different(run, src, dst, info.size);
    show_counts(run);
    if (!reaches(run, TIMES_DIFFER)) return;
    const stamp_text st(info.written), dt(status.written);
    const char16_t ts = info.written > status.written ? u'>' : u'<';
    report_event(run, TIMES_DIFFER, {src, st.view(), ts, dt.view()},
                 {relative_dst(run, dst), st.view(), info.written, ts, dt.view(), status.written});
}

// The lines of a pair whose bytes differ at `at`.
void report_different(run_state& run, std::u16string_view src, std::u16string_view rel, const file_info& info,
                      const path_status_record& status, uint64_t at) {
    const run_options& o = run.options;
    stamp_text st, dt;
    if (shows_times(run)) st = stamp_text(info.written), dt = stamp_text(status.written);
    const char16_t ts = time_sign(info.written, status.written);
    if (o.find_all_diffs && o.long_log)
        report_verdict(run, DIFFERENT_ALL, src, rel, at, run.last_diff_pos, run.diff_byte_count,
                       static_cast<uint64_t>(info.size), st.view(), ts, dt.view());
    else
        report_verdict(run, DIFFERENT, src, rel, at, static_cast<unsigned>(run.first_diff_src_byte),
                       static_cast<unsigned>(run.first_diff_dst_byte), st.view(), ts, dt.view());
}

void judge_contents(run_state& run, std::u16string_view src, std::u16string_view dst, const file_info& info,
                    const path_status_record& status, const pair_folders& folders, const compare_record* ahead) {
    const run_options& o = run.options;
    const compare_outcome result =
        ahead ? report_comparison(run, *ahead, src, dst, static_cast<uint64_t>(info.size), BYTE_COMPARE_WORDING, true)
              : compare_files(run, src, dst, info.size);
    if (run.stop_requested() || result.failed()) return;  // a failure was reported and counted
    std::u16string_view rel = relative_dst(run, dst);
    if (result.kind == outcome::same) {
        list_path(run, log_id::ssame, src);
        list_path(run, log_id::dsame, dst);
        ++run.counts.same_count;
        run.counts.bytes_compared += static_cast<uint64_t>(info.size);
        show_counts(run);
        // The common case: a look at whether zublog.txt or zubfile.log is open.
        if (reaches(run, SAME)) report_event(run, SAME, {rel});
        if (o.delete_src) remove_src(run, src, dst, info, folders);
        if (o.delete_dst) remove_dst(run, src, dst, status, folders);
        return;
    }
    report_different(run, src, rel, info, status, result.offset);
    count_different(run, src, dst, info.size);
    show_counts(run);
}

}  // namespace

void judge_pair(run_state& run, std::u16string_view src, std::u16string_view dst, const file_info& src_info,
                const path_status_record& dst_status, const pair_folders& folders, const compare_record* ahead) {
    if (run.stop_requested()) return;
    run.out.watch_pair(relative_dst(run, dst), run.counts.bytes_compared);
    if (judged_by_bytes(run.options, src_info.size, src_info.written, dst_status))
        judge_contents(run, src, dst, src_info, dst_status, folders, ahead);
    else if (src_info.size != dst_status.size)
        judge_sizes_differ(run, src, dst, src_info, dst_status, folders);
    else
        judge_times_differ(run, src, dst, src_info, dst_status);
}

const event_wording PATH_MISSING{.lng = u"\"%s\" %s (%d)\n", .full = u"\"%s\" %s (%d)\n"};
const event_wording NOT_A_FILE{.lng = u"\"%s\" not a file\n", .full = u"\"%s\" not a file\n"};

void judge_single_file(run_state& run, std::u16string_view src, std::u16string_view dst) {
    path_status_record status;
    uint32_t code = 0;
    if (!path_status(dst, status, code)) {
        report_event(run, PATH_MISSING, {dst, system_message_text(code), static_cast<int32_t>(code)});
        ++run.counts.file_not_found_count;
        return;
    }
    if (status.is_folder()) {
        report_event(run, NOT_A_FILE, {dst});
        return;
    }
    file_info info;
    if (!file_entry(src, info, code)) {
        report_event(run, SRC_FILE_FAILED, {src, system_message_text(code), static_cast<int32_t>(code)});
        return;
    }
    run.dst_prefix_len = 0;
    if (run.options.verbose) report_verbose(run, u"%s\n", src);
    pair_folders folders;
    if (run_removes(run)) {
        platform::os& os = platform::current();
        os.file_identity(parent_dir(src), folders.src);
        os.file_identity(parent_dir(dst), folders.dst);
    }
    judge_pair(run, src, dst, info, status, folders);
}

}  // namespace zub
