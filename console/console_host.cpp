// The console program's host: standard streams through the printers (a
// console receives characters, a redirected stream UTF-16LE with CR LF), the
// window title, and the interactive choice of the two folders.
#include "console/console_host.h"

#include "foundation/settings.h"
#include "foundation/text_output.h"
#include "platform/platform.h"

namespace zub {

// Every line first takes the status line off the screen.
int console_host::write_out(std::u16string_view text) {
    status_.erase();
    return print_out(u"%s", text);
}

int console_host::write_err(std::u16string_view text) {
    status_.erase();
    return print_to(text_stream::err(), u"%s", text);
}

int console_host::write_verbose(std::u16string_view text) {
    status_.erase();
    return print_verbose(u"%s", text);
}

void console_host::watch(const run_state& run, std::u16string_view variable, std::u16string_view setting) {
    watched_ = &run;
    variable_ = variable;
    setting_ = setting;
}

void console_host::watch_pair(std::u16string_view path, uint64_t bytes) {
    // Decided once, at the first pair, when the options are known.
    if (!decided_ && watched_ != nullptr) {
        decided_ = true;
        status_.enable(status_line_allowed(platform::current().is_console(platform::std_stream::error),
                                           watched_->options.verbose, variable_, setting_));
    }
    status_.pair(path, bytes);
}

void console_host::watch_bytes(uint64_t bytes) { status_.advance(bytes); }

void console_host::take_console_record() { zub::take_console_record(); }

void console_host::set_title(std::u16string_view title) { platform::current().set_console_title(title); }

bool console_host::stop_requested() { return platform::interrupt_requested(); }

namespace {

bool is_existing_folder(const std::u16string& path) {
    if (path.empty()) return false;
    uint32_t error = 0;
    const platform::attr_bits attributes = platform::current().get_attributes(path, error);
    return attributes != platform::INVALID_ATTRIBUTES && has(attributes, platform::attr_bits::DIRECTORY);
}

// The picker starts on the remembered folder when it still exists.
std::optional<std::u16string> pick(const std::u16string& remembered, std::u16string_view title) {
    return pick_folder(is_existing_folder(remembered) ? std::u16string_view(remembered) : std::u16string_view(), title);
}

}  // namespace

std::optional<std::pair<std::u16string, std::u16string>> console_host::resolve_folders(run_state& run) {
    // read_setting returns a fresh string each time, so both are kept as read.
    const std::u16string remembered_src = read_setting(u"history0", u"source");
    const std::u16string remembered_dst = read_setting(u"history0", u"destination");

    std::optional<std::u16string> src = pick(remembered_src, u"select srcdir");
    if (!src) return std::nullopt;
    report_out(run, u"srcdir=%s\n", *src);
    log_line(run.logs[log_id::aer], u"srcdir=%s\n", *src);

    std::optional<std::u16string> dst = pick(remembered_dst, u"select dstdir");
    // The picked source is remembered whether or not a destination follows.
    write_setting(u"history0", u"source", *src);
    if (!dst) return std::nullopt;
    report_out(run, u"dstdir=%s\n", *dst);
    log_line(run.logs[log_id::aer], u"dstdir=%s\n", *dst);
    write_setting(u"history0", u"destination", *dst);
    return std::make_pair(std::move(*src), std::move(*dst));
}

}  // namespace zub
