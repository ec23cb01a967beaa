// The run state's reset and its writers. A writer formats the message once
// (into a buffer of the size print_to uses, dropping a message that does not
// fit, as print_to does) and hands the text to the host, which puts it on the
// console, into the dialog's result box or into a test's capture.
#include "engine/run_state.h"

#include <algorithm>

#include "engine/byte_compare.h"
#include "engine/result_logs.h"

namespace zub {

namespace {

// Formats into a per-thread buffer of `capacity` units. Returns the text, or
// nullopt-like empty view with `ok` false when the message does not fit.
std::u16string_view format_message(std::u16string_view format, fmt_args args, size_t capacity, bool& ok) {
    // The engine runs on one thread at a time per process, but the dialog
    // program runs it on a worker thread: a per-thread buffer keeps the
    // writers independent of which thread that is.
    static thread_local std::u16string buffer;
    if (buffer.size() < PRINT_BUFFER_UNITS) buffer.resize(PRINT_BUFFER_UNITS);
    int n = format_to(buffer.data(), capacity, format, args);
    ok = n >= 0;
    if (!ok) return {};
    return std::u16string_view(buffer.data(), static_cast<size_t>(n));
}

template <typename Write>
int report(std::u16string_view format, fmt_args args, size_t capacity, Write write) {
    if (format.empty()) return 0;
    bool ok = false;
    std::u16string_view text = format_message(format, args, capacity, ok);
    if (!ok) return 0;  // too long: dropped, nothing written
    if (text.empty()) return 0;
    int r = write(text);
    return r < 0 ? -1 : static_cast<int>(text.size());
}

}  // namespace

run_state::run_state(host& h) : out(h) {}
run_state::~run_state() = default;

void run_state::reset() {
    options = run_options{};
    for (text_stream& s : logs.streams) {
        s.close();
        s.forget_failure();
    }
    counts = {};
    diff_byte_count = 0;
    last_diff_pos = 0;
    first_diff_src_byte = 0;
    first_diff_dst_byte = 0;
    free_ext_list(extensions);
    dst_prefix_len = 0;
    compared_src = {};
    compared_dst = {};
    compared_around_cache = false;
    removals_halted = false;
    output_failed = false;
    result_files.clear();
    walked_folders.clear();
    stopped = false;
}

// A failed write to standard output is remembered: the run then removes
// nothing more (records_intact).
int vreport_out(run_state& run, std::u16string_view format, fmt_args args) {
    const int written =
        report(format, args, PRINT_BUFFER_UNITS, [&](std::u16string_view t) { return run.out.write_out(t); });
    if (written < 0) run.output_failed = true;
    return written;
}

int vreport_err(run_state& run, std::u16string_view format, fmt_args args) {
    return report(format, args, PRINT_BUFFER_UNITS, [&](std::u16string_view t) { return run.out.write_err(t); });
}

int vreport_verbose(run_state& run, std::u16string_view format, fmt_args args) {
    const int written =
        report(format, args, VERBOSE_BUFFER_UNITS, [&](std::u16string_view t) { return run.out.write_verbose(t); });
    if (written < 0) run.output_failed = true;
    return written;
}

void report_event(run_state& run, const event_wording& event, fmt_args args, fmt_args shown) {
    if (!event.out.empty()) vreport_out(run, event.out, args);
    if (!event.err.empty()) vreport_err(run, event.err, args);
    for (const result_file* place : EVENT_PLACES) {
        const std::u16string_view wording = event.*place->wording;
        text_stream& stream = run.logs[place->id];
        if (!wording.empty() && stream.is_open()) vprint_to(stream, wording, place->shown ? shown : args);
    }
}

bool reaches(const run_state& run, const event_wording& event) {
    if (!event.out.empty() || !event.err.empty()) return true;
    for (const result_file* place : EVENT_PLACES)
        if (!(event.*place->wording).empty() && run.logs[place->id].is_open()) return true;
    return false;
}

void report_event(run_state& run, const event_wording& event, fmt_args args) { report_event(run, event, args, args); }

std::u16string_view relative_dst(const run_state& run, std::u16string_view dst_path) {
    size_t skip = run.dst_prefix_len > 0 ? static_cast<size_t>(run.dst_prefix_len) : 0;
    return dst_path.substr(std::min(skip, dst_path.size()));
}

}  // namespace zub
