// The state of one run: options, counters, open result logs, comparison
// details, the extension list and dst_prefix_len. One record, owned by the run
// driver (run_engine), reset at the start of every run and passed to the
// functions that use it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/host.h"
#include "foundation/paths.h"
#include "foundation/text_output.h"

namespace zub {

class side_reader;
class pair_window;

struct run_options {
    bool delete_src = false;       // -s
    bool delete_dst = false;       // -d
    bool remove_readonly = false;  // -r
    bool empty_instead = false;    // -z
    bool check_timestamp = false;  // -t
    bool ext_filter = false;       // -e
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
    bool find_all_diffs = false;     // -n (only with -l)
    bool file_log = false;           // -g
    bool yield_each_block = false;   // -k
    bool title_progress = false;     // -w
    bool large_first_block = false;  // -i
    bool full_log = false;           // -m
};

// The result streams of a run. What each file is (its name, when it is
// opened, its mark and encoding rules, the events it takes) is its row in
// RESULT_FILES (result_logs.h).
enum class log_id {
    aer,   // zubaer.log, the run log (always appended)
    full,  // zublog.txt (-m)
    ssame,
    dsame,
    sdif,
    ddif,
    sfnf,
    dfnf,
    sdnf,
    ddnf,
    srm,
    drm,
    serr,
    derr,     // the twelve path lists
    part,     // zubpart.log (-p)
    lng,      // zublong.log (-l)
    file,     // zubfile.log (-g)
    move,     // zubmove.bat (-b)
    move_sh,  // zubmove.sh (-b, POSIX builds)
};
inline constexpr size_t LOG_COUNT = static_cast<size_t>(log_id::move_sh) + 1;

// The open result streams of a run. A stream whose file could not be created
// (or was not asked for) stays closed and swallows writes.
struct log_set {
    std::array<text_stream, LOG_COUNT> streams;
    text_stream& operator[](log_id id) { return streams[static_cast<size_t>(id)]; }
    const text_stream& operator[](log_id id) const { return streams[static_cast<size_t>(id)]; }
};

// The counters of a run: the figures of its summary.
struct run_counts {
    int32_t same_count = 0;
    int32_t different_count = 0;
    int32_t src_error_count = 0;
    int32_t dst_error_count = 0;
    int32_t file_not_found_count = 0;
    int32_t dir_not_found_count = 0;
    int32_t src_removed_count = 0;
    int32_t dst_removed_count = 0;
    uint64_t bytes_compared = 0;
};

struct run_state {
    explicit run_state(host& h);
    ~run_state();
    run_state(const run_state&) = delete;
    run_state& operator=(const run_state&) = delete;

    host& out;
    run_options options;
    int load_level = 4;  // kept from run to run
    log_set logs;
    run_counts counts;

    uint64_t diff_byte_count = 0;
    uint64_t last_diff_pos = 0;
    uint8_t first_diff_src_byte = 0;
    uint8_t first_diff_dst_byte = 0;

    ext_list extensions;
    int32_t dst_prefix_len = 0;

    // What the last comparison saw of its two files, read through the
    // handles it compared (removals check against it).
    platform::file_state compared_src, compared_dst;
    // Either of them was read around the system's cache (see pair_window).
    bool compared_around_cache = false;
    // Set when a result file (or standard output) could not be written, and
    // said once: nothing more is removed and the run ends with 1.
    bool removals_halted = false;
    // A write to standard output failed (a reader that went away).
    bool output_failed = false;
    // The identities of the run's open result files: never removed.
    std::vector<platform::file_id> result_files;
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
    // The pairs compared ahead of the walk, while it walks with more than
    // one pair in flight (pair_window.h).
    pair_window* window = nullptr;

    // Set once a stop request (the dialog's Stop, Ctrl+C) was seen in this run.
    bool stopped = false;

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

// One kind of result line (a failure, a refusal, a verdict, ...): its wording
// for each place it is written, all taking the same arguments. A place
// without a wording does not get the line; a result file that is not open
// (its option not given, or its file not created) is passed over before
// anything is formatted.
struct event_wording {
    std::u16string_view out{};   // standard output (the host)
    std::u16string_view err{};   // standard error (the host)
    std::u16string_view aer{};   // zubaer.log
    std::u16string_view lng{};   // zublong.log
    std::u16string_view full{};  // zublog.txt
    std::u16string_view file{};  // zubfile.log
};

// Writes one event to every place its wording names. A verdict names the
// pair by its destination path relative to the destination root in
// zublog.txt and zubfile.log, with fields of their own: `shown` are the
// arguments of those two.
void report_event(run_state& run, const event_wording& event, fmt_args args);
void report_event(run_state& run, const event_wording& event, fmt_args args, fmt_args shown);
// Whether the event would be written anywhere: arguments that cost (local
// times) are made only when it would.
bool reaches(const run_state& run, const event_wording& event);

// A path's line in one of the twelve lists (or zubpart.log).
// Whether the run's options remove files (-s, -d, -q).
inline bool run_removes(const run_state& run) {
    const run_options& o = run.options;
    return o.delete_src || o.delete_dst || o.delete_part;
}

inline void list_path(run_state& run, log_id list, std::u16string_view path) {
    print_to(run.logs[list], u"%s\n", path);
}

// The destination path shown relative to the destination root.
std::u16string_view relative_dst(const run_state& run, std::u16string_view dst_path);

}  // namespace zub
