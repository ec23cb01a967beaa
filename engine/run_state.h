// The state of one run: options, counters, open result logs, comparison
// details, the extension list and dst_prefix_len. One record, owned by the run
// driver (run_engine), reset at the start of every run and passed to the
// functions that use it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>

#include "host.h"
#include "paths.h"
#include "text_output.h"

namespace zub {

class side_reader;

struct run_options {
    bool delete_src = false;        // -s
    bool delete_dst = false;        // -d
    bool remove_readonly = false;   // -r
    bool empty_instead = false;     // -z
    bool check_timestamp = false;   // -t
    bool ext_filter = false;        // -e
    std::u16string ext_filter_value;
    bool partial_compare = false;   // -p
    bool delete_part = false;       // -q
    bool append_logs = false;       // -a
    bool verbose = false;           // -v
    bool long_log = false;          // -l
    bool skip_dir_check = false;    // -c
    bool move_script = false;       // -b
    bool rename_suffix_on = false;  // -f
    std::u16string rename_suffix;
    bool find_all_diffs = false;    // -n (only with -l)
    bool file_log = false;          // -g
    bool yield_each_block = false;  // -k
    bool title_progress = false;    // -w
    bool large_first_block = false; // -i
    bool full_log = false;          // -m
};

// The open result streams of a run. A stream whose file could not be created
// stays closed and swallows writes.
struct log_set {
    text_stream aer;    // zubaer.log, the run log (always appended)
    text_stream full;   // zublog.txt (-m)
    text_stream ssame, dsame, sdif, ddif, sfnf, dfnf, sdnf, ddnf, srm, drm, serr, derr;
    text_stream part;   // zubpart.log (-p)
    text_stream lng;    // zublong.log (-l)
    text_stream file;   // zubfile.log (-g)
    text_stream move;   // zubmove.bat (-b)
    text_stream move_sh;  // zubmove.sh (-b, POSIX builds)
};

// Compare results.
inline constexpr int64_t RESULT_SAME = -1;
inline constexpr int64_t RESULT_SRC_ERROR = -2;
inline constexpr int64_t RESULT_DST_ERROR = -3;
inline constexpr int64_t RESULT_LENGTH_MISMATCH = -12;

struct run_state {
    explicit run_state(host& h);
    ~run_state();
    run_state(const run_state&) = delete;
    run_state& operator=(const run_state&) = delete;

    host& out;
    run_options options;
    int load_level = 4;  // kept from run to run
    std::u16string program_name;
    log_set logs;

    int32_t same_count = 0;
    int32_t different_count = 0;
    int32_t src_error_count = 0;
    int32_t dst_error_count = 0;
    int32_t file_not_found_count = 0;
    int32_t dir_not_found_count = 0;
    int32_t src_removed_count = 0;
    int32_t dst_removed_count = 0;
    uint64_t bytes_compared = 0;

    uint64_t diff_byte_count = 0;
    uint64_t last_diff_pos = 0;
    uint8_t first_diff_src_byte = 0;
    uint8_t first_diff_dst_byte = 0;
    uint32_t last_os_error = 0;
    uint32_t io_failed = 0;

    ext_list extensions;
    int32_t dst_prefix_len = 0;

    // What the last comparison saw of its two files, read through the
    // handles it compared (removals check against it).
    platform::file_state compared_src, compared_dst;
    // Set when a result file could not be written: nothing more is removed
    // and the run ends with 1.
    bool removals_halted = false;
    // Identities of the source folders walked so far: a linked folder that
    // leads to one of them is not walked a second time.
    struct id_hash {
        size_t operator()(const platform::file_id& id) const {
            return static_cast<size_t>(id.index * 0x9E3779B97F4A7C15ULL ^ id.device);
        }
    };
    std::unordered_set<platform::file_id, id_hash> walked_folders;

    // The thread that reads the destination's large blocks (byte_compare.h).
    std::unique_ptr<side_reader> reader;

    // Set once a stop request (the dialog's Stop, Ctrl+C) was seen in this run.
    bool stopped = false;

    bool dialog() const { return out.kind() == build_kind::dialog; }
    // Polls the host (the dialog's Stop, the console's Ctrl+C) and remembers a stop.
    bool stop_requested() {
        if (!stopped && out.stop_requested()) stopped = true;
        return stopped;
    }
    // Resets everything a run starts from, except load_level.
    void reset();
};

// Writers: format once, hand the text to the host or the stream.
int vreport_out(run_state& run, std::u16string_view format, fmt_args args);
int vreport_err(run_state& run, std::u16string_view format, fmt_args args);
int vreport_verbose(run_state& run, std::u16string_view format, fmt_args args);

template <typename... A>
int report_out(run_state& run, std::u16string_view format, const A&... a) {
    return vreport_out(run, format, {fmt_arg(a)...});
}
template <typename... A>
int report_err(run_state& run, std::u16string_view format, const A&... a) {
    return vreport_err(run, format, {fmt_arg(a)...});
}
template <typename... A>
int report_verbose(run_state& run, std::u16string_view format, const A&... a) {
    return vreport_verbose(run, format, {fmt_arg(a)...});
}
// A log line: print_to on the stream (a closed stream writes nothing).
template <typename... A>
int log_line(text_stream& stream, std::u16string_view format, const A&... a) {
    return print_to(stream, format, a...);
}

// The destination path shown relative to the destination root.
std::u16string_view relative_dst(const run_state& run, std::u16string_view dst_path);

}  // namespace zub
