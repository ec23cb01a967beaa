// The run state's reset and its writers. A writer formats the message once
// (into a buffer of the size print_to uses, dropping a message that does not
// fit, as print_to does) and hands the text to the host, which puts it on the
// console, into the dialog's result box or into a test's capture.
#include "engine/run_state.h"

#include <algorithm>

#include "engine/byte_compare.h"

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
    for (text_stream& s : logs.streams) s.close();
    counts = {};
    diff_byte_count = 0;
    last_diff_pos = 0;
    first_diff_src_byte = 0;
    first_diff_dst_byte = 0;
    last_os_error = 0;
    io_failed = 0;
    free_ext_list(extensions);
    dst_prefix_len = 0;
    compared_src = {};
    compared_dst = {};
    removals_halted = false;
    walked_folders.clear();
    stopped = false;
}

int vreport_out(run_state& run, std::u16string_view format, fmt_args args) {
    return report(format, args, PRINT_BUFFER_UNITS, [&](std::u16string_view t) { return run.out.write_out(t); });
}

int vreport_err(run_state& run, std::u16string_view format, fmt_args args) {
    return report(format, args, PRINT_BUFFER_UNITS, [&](std::u16string_view t) { return run.out.write_err(t); });
}

int vreport_verbose(run_state& run, std::u16string_view format, fmt_args args) {
    return report(format, args, VERBOSE_BUFFER_UNITS, [&](std::u16string_view t) { return run.out.write_verbose(t); });
}

namespace {

// The result files an event may reach, and whether each takes the shown arguments.
struct file_place {
    std::u16string_view event_wording::*wording;
    log_id log;
    bool shown;
};
constexpr file_place FILE_PLACES[] = {
    {&event_wording::aer, log_id::aer, false},
    {&event_wording::lng, log_id::lng, false},
    {&event_wording::full, log_id::full, true},
    {&event_wording::file, log_id::file, true},
};

}  // namespace

void report_event(run_state& run, const event_wording& event, fmt_args args, fmt_args shown) {
    if (!event.out.empty()) vreport_out(run, event.out, args);
    if (!event.err.empty()) vreport_err(run, event.err, args);
    for (const file_place& place : FILE_PLACES) {
        const std::u16string_view wording = event.*place.wording;
        text_stream& stream = run.logs[place.log];
        if (!wording.empty() && stream.is_open()) vprint_to(stream, wording, place.shown ? shown : args);
    }
}

void report_event(run_state& run, const event_wording& event, fmt_args args) { report_event(run, event, args, args); }

std::u16string_view relative_dst(const run_state& run, std::u16string_view dst_path) {
    size_t skip = run.dst_prefix_len > 0 ? static_cast<size_t>(run.dst_prefix_len) : 0;
    return dst_path.substr(std::min(skip, dst_path.size()));
}

}  // namespace zub
