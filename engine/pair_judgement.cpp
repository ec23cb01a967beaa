// File-pair judgement and removal. One pair: sizes, then (-t) last-write
// times, then the bytes (or, with -p and differing sizes, the prefix); the
// verdict goes to the lists, the readable and comma-separated reports and
// the counters, and -s, -d or -q remove one side.
//
// A removal is checked and made by removal.cpp against what the comparison
// saw of both files; a refused removal is an error of the removing side: its
// error list and counter, and a line naming the reason.
#include "pair_judgement.h"

#include "byte_compare.h"
#include "prefix_compare.h"
#include "removal.h"
#include "result_logs.h"
#include "timestamps.h"

namespace zub {

namespace {


// Local calendar fields of a file time; all zero when it cannot be converted.
struct stamp {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

stamp stamp_of(uint64_t file_time) {
    const time_fields* t = local_time_of(file_time);
    if (t == nullptr) return {};
    return {t->year + 1900, t->month + 1, t->day, t->hour, t->minute, t->second, t->millisecond};
}

char16_t time_sign(uint64_t src, uint64_t dst) { return src > dst ? u'>' : (src == dst ? u'=' : u'<'); }

// "timestamp <src time> " (with a leading text) and "<sign> <dst time>\n".
void write_src_time(text_stream& s, std::u16string_view lead, const stamp& t) {
    std::u16string format(lead);
    format += u"%4d-%02d-%02d %02d:%02d:%02d.%03d ";
    print_to(s, format, t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
}
void write_dst_time(text_stream& s, char16_t sign, const stamp& t) {
    print_to(s, u"%c %4d-%02d-%02d %02d:%02d:%02d.%03d\n", sign, t.year, t.month, t.day, t.hour, t.minute,
             t.second, t.millisecond);
}

void show_counts(run_state& run) {
    if (run.dialog())
        run.out.show_counts(static_cast<uint32_t>(run.same_count), static_cast<uint32_t>(run.different_count),
                            static_cast<int64_t>(run.bytes_compared));
}

void count_different(run_state& run, std::u16string_view src, std::u16string_view dst, int64_t size) {
    log_line(run.logs.sdif, u"%s\n", src);
    log_line(run.logs.ddif, u"%s\n", dst);
    ++run.different_count;
    run.bytes_compared += static_cast<uint64_t>(size);
}

removal_guard guard_of(const run_state& run, std::u16string_view src, std::u16string_view dst,
                       const pair_folders& folders, bool target_is_src) {
    compared_file s{src, run.compared_src, folders.src};
    compared_file d{dst, run.compared_dst, folders.dst};
    return target_is_src ? removal_guard{s, d} : removal_guard{d, s};
}

void remove_src(run_state& run, std::u16string_view src, std::u16string_view dst, const file_info& info,
                const pair_folders& folders) {
    if (remove_matched_file(run, guard_of(run, src, dst, folders, true), has(info.flags, fi_bits::READONLY),
                            run.logs.srm, run.src_removed_count) != 0) {
        log_line(run.logs.serr, u"%s\n", src);
        ++run.src_error_count;
    }
}

// Returns true when the destination was removed.
bool remove_dst(run_state& run, std::u16string_view src, std::u16string_view dst, const path_status_record& status,
                const pair_folders& folders) {
    if (remove_matched_file(run, guard_of(run, src, dst, folders, false), !has(status.mode, mode_bits::WRITABLE),
                            run.logs.drm, run.dst_removed_count) != 0) {
        log_line(run.logs.derr, u"%s\n", dst);
        ++run.dst_error_count;
        return false;
    }
    return true;
}

void judge_sizes_differ(run_state& run, std::u16string_view src, std::u16string_view dst, const file_info& info,
                        const path_status_record& status, const pair_folders& folders) {
    const run_options& o = run.options;
    count_different(run, src, dst, info.size);
    show_counts(run);
    char16_t size_sign = info.size > status.size ? u'>' : u'<';
    std::u16string_view rel = relative_dst(run, dst);
    if (o.long_log || o.full_log) {
        stamp st = stamp_of(info.written), dt = stamp_of(status.written);
        char16_t ts = time_sign(info.written, status.written);
        if (o.long_log) {
            log_line(run.logs.lng, u"\"%s\" size %I64d %c %I64d , ", src, info.size, size_sign, status.size);
            write_src_time(run.logs.lng, u"timestamp ", st);
            write_dst_time(run.logs.lng, ts, dt);
        }
        if (o.full_log) {
            log_line(run.logs.full, u"\"%s\", size %I64d %c %I64d , ", rel, info.size, size_sign, status.size);
            write_src_time(run.logs.full, u"timestamp ", st);
            write_dst_time(run.logs.full, ts, dt);
        }
    }
    if (o.file_log)
        log_line(run.logs.file, u"\"%s\", size, %I64d, \"%c\", %I64d\n", rel, info.size, size_sign, status.size);
    if (!o.partial_compare) return;

    if (info.size < status.size) {
        int64_t result = compare_prefix(run, src, dst, info.size);
        if (run.stop_requested() || result < RESULT_SAME || result == RESULT_STOPPED) return;
        if (result == RESULT_SAME) {
            log_line(run.logs.part, u"%s\n", src);
            if (o.long_log) log_line(run.logs.lng, u"\"%s\" is a part of dst\n", src);
            if (o.full_log) log_line(run.logs.full, u"\"%s\", src is a part of dst\n", rel);
            if (o.delete_src || o.delete_part) remove_src(run, src, dst, info, folders);
        } else {
            if (o.long_log) log_line(run.logs.lng, u"\"%s\" not a part at %I64u\n", src, static_cast<uint64_t>(result));
            if (o.full_log)
                log_line(run.logs.full, u"\"%s\", src is not a part of dst at %I64u\n", rel,
                         static_cast<uint64_t>(result));
        }
    } else {
        int64_t result = compare_prefix(run, src, dst, status.size);
        if (run.stop_requested() || result < RESULT_SAME || result == RESULT_STOPPED) return;
        if (result == RESULT_SAME) {
            log_line(run.logs.part, u"%s\n", dst);
            if (o.long_log) log_line(run.logs.lng, u"\"%s\" is a part of src\n", dst);
            if (o.full_log) log_line(run.logs.full, u"\"%s\", dst is a part of src\n", rel);
            if ((o.delete_dst || o.delete_part) && remove_dst(run, src, dst, status, folders) && o.move_script)
                write_move(run, src, dst);
        } else {
            if (o.long_log)
                log_line(run.logs.lng, u"\"%s\" not a superset at %I64u\n", src, static_cast<uint64_t>(result));
            if (o.full_log)
                log_line(run.logs.full, u"\"%s\", dst is not a part of src at %I64u\n", rel,
                         static_cast<uint64_t>(result));
        }
    }
}

void judge_times_differ(run_state& run, std::u16string_view src, std::u16string_view dst, const file_info& info,
                        const path_status_record& status) {
    const run_options& o = run.options;
    count_different(run, src, dst, info.size);
    show_counts(run);
    if (!o.long_log && !o.full_log && !o.file_log) return;
    std::u16string_view rel = relative_dst(run, dst);
    stamp st = stamp_of(info.written), dt = stamp_of(status.written);
    char16_t ts = info.written > status.written ? u'>' : u'<';
    auto comma_src = [&](text_stream& s) {
        print_to(s, u"\"%s\", timestamp, %4d-%02d-%02d %02d:%02d:%02d.%03d, %I64u, ", rel, st.year, st.month, st.day,
                 st.hour, st.minute, st.second, st.millisecond, info.written);
    };
    auto comma_dst = [&](text_stream& s) {
        print_to(s, u"\"%c\", %4d-%02d-%02d %02d:%02d:%02d.%03d, %I64u\n", ts, dt.year, dt.month, dt.day, dt.hour,
                 dt.minute, dt.second, dt.millisecond, status.written);
    };
    if (o.long_log) {
        log_line(run.logs.lng, u"\"%s\" ", src);
        write_src_time(run.logs.lng, u"timestamp ", st);
    }
    if (o.file_log) comma_src(run.logs.file);
    if (o.full_log) comma_src(run.logs.full);
    if (o.long_log) write_dst_time(run.logs.lng, ts, dt);
    if (o.file_log) comma_dst(run.logs.file);
    if (o.full_log) comma_dst(run.logs.full);
}

void judge_contents(run_state& run, std::u16string_view src, std::u16string_view dst, const file_info& info,
                    const path_status_record& status, const pair_folders& folders) {
    const run_options& o = run.options;
    int64_t result = compare_files(run, src, dst, info.size);
    if (run.stop_requested() || result == RESULT_STOPPED) return;
    if (result < RESULT_SAME) return;  // reported and counted by the comparison
    std::u16string_view rel = relative_dst(run, dst);
    if (result == RESULT_SAME) {
        log_line(run.logs.ssame, u"%s\n", src);
        log_line(run.logs.dsame, u"%s\n", dst);
        ++run.same_count;
        run.bytes_compared += static_cast<uint64_t>(info.size);
        show_counts(run);
        if (o.file_log) log_line(run.logs.file, u"\"%s\", same\n", rel);
        if (o.full_log) log_line(run.logs.full, u"\"%s\", same\n", rel);
        if (o.delete_src) remove_src(run, src, dst, info, folders);
        if (o.delete_dst) remove_dst(run, src, dst, status, folders);
        return;
    }
    if (o.long_log || o.full_log) {
        const bool all_diffs = o.find_all_diffs && o.long_log;
        stamp st = stamp_of(info.written), dt = stamp_of(status.written);
        char16_t ts = time_sign(info.written, status.written);
        auto rest = [&](text_stream& s) {
            if (all_diffs)
                print_to(s, u"- %I64u (%I64u / %I64u) ", run.last_diff_pos, run.diff_byte_count,
                         static_cast<uint64_t>(info.size));
            else
                print_to(s, u"0x%02x 0x%02x ", static_cast<unsigned>(run.first_diff_src_byte),
                         static_cast<unsigned>(run.first_diff_dst_byte));
            write_src_time(s, u", timestamp ", st);
            write_dst_time(s, ts, dt);
        };
        if (o.long_log) {
            log_line(run.logs.lng, u"\"%s\" disagreement at %I64u ", src, static_cast<uint64_t>(result));
            rest(run.logs.lng);
        }
        if (o.full_log) {
            log_line(run.logs.full, u"\"%s\", disagreement at %I64u ", rel, static_cast<uint64_t>(result));
            rest(run.logs.full);
        }
    }
    count_different(run, src, dst, info.size);
    show_counts(run);
    if (o.file_log) log_line(run.logs.file, u"\"%s\", disagreement\n", rel);
}

}  // namespace

void judge_pair(run_state& run, std::u16string_view src, std::u16string_view dst, const file_info& src_info,
                const path_status_record& dst_status, const pair_folders& folders) {
    if (run.stop_requested()) return;
    if (src_info.size != dst_status.size)
        judge_sizes_differ(run, src, dst, src_info, dst_status, folders);
    else if (run.options.check_timestamp && src_info.written != dst_status.written)
        judge_times_differ(run, src, dst, src_info, dst_status);
    else
        judge_contents(run, src, dst, src_info, dst_status, folders);
}

bool run_removes(const run_state& run) {
    const run_options& o = run.options;
    return o.delete_src || o.delete_dst || o.delete_part;
}

void judge_single_file(run_state& run, std::u16string_view src, std::u16string_view dst) {
    const run_options& o = run.options;
    path_status_record status;
    if (path_status(dst, status) != 0) {
        run.last_os_error = platform::last_error();
        std::u16string text = system_message_text(run.last_os_error);
        int32_t code = static_cast<int32_t>(run.last_os_error);
        if (o.long_log) log_line(run.logs.lng, u"\"%s\" %s (%d)\n", dst, text, code);
        if (o.full_log) log_line(run.logs.full, u"\"%s\" %s (%d)\n", dst, text, code);
        ++run.file_not_found_count;
        return;
    }
    if (!has(status.mode, mode_bits::REGULAR)) {
        if (o.long_log) log_line(run.logs.lng, u"\"%s\" not a file\n", dst);
        if (o.full_log) log_line(run.logs.full, u"\"%s\" not a file\n", dst);
        return;
    }
    file_info info;
    if (file_entry(src, info) != 0) {
        run.last_os_error = platform::last_error();
        std::u16string text = system_message_text(run.last_os_error);
        int32_t code = static_cast<int32_t>(run.last_os_error);
        report_err(run, u"\"%s\" %s (%d)\n", src, text, code);
        log_line(run.logs.aer, u"%s: %s\n", src, text);
        if (o.long_log) log_line(run.logs.lng, u"\"%s\" %s (%d)\n", src, text, code);
        if (o.full_log) log_line(run.logs.full, u"\"%s\" error %s (%d)\n", src, text, code);
        return;
    }
    run.dst_prefix_len = 0;
    if (o.verbose) report_verbose(run, u"%s\n", src);
    pair_folders folders;
    if (run_removes(run)) {
        platform::os& os = platform::current();
        os.file_identity(parent_dir(src), folders.src);
        os.file_identity(parent_dir(dst), folders.dst);
    }
    judge_pair(run, src, dst, info, status, folders);
}

}  // namespace zub
