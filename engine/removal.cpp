// Removal of one file of a compared pair. The file is opened without
// following a final link and checked through that handle; the change is then
// made through the handle (or, for a deletion on POSIX, relative to the
// folder the walk listed), so that nothing swapped into the path after the
// checks is what gets changed. A removal is made only while its record can
// be written.
#include "removal.h"

#include "result_logs.h"

namespace zub {

namespace {

// The failure lines of a removal, with the C library's text for `number`.
void report_removal_failure(run_state& run, std::u16string_view path, int number) {
    std::u16string text = errno_message_text(number);
    log_line(run.logs.aer, u"%s: %s\n", path, text);
    report_err(run, u"\"%s\" %s\n", path, text);
    if (run.options.long_log) log_line(run.logs.lng, u"\"%s\" %s\n", path, text);
    if (run.options.full_log) log_line(run.logs.full, u"\"%s\" %s\n", path, text);
}

// A removal refused by a safety check: the same line shapes as a removal
// failure, with the reason instead of the C library's text.
void report_refusal(run_state& run, std::u16string_view path, std::u16string_view quoted_reason,
                    std::u16string_view plain_reason) {
    report_err(run, u"\"%s\" %s\n", path, quoted_reason);
    log_line(run.logs.aer, u"%s: %s\n", path, plain_reason);
    if (run.options.long_log) log_line(run.logs.lng, u"\"%s\" %s\n", path, quoted_reason);
    if (run.options.full_log) log_line(run.logs.full, u"\"%s\" %s\n", path, quoted_reason);
}

void refuse(run_state& run, std::u16string_view path, std::u16string_view reason) {
    report_refusal(run, path, reason, reason);
}

constexpr std::u16string_view CHANGED = u"changed since it was compared";

// The same file in the same state: identity, size, last-write and change time.
bool unchanged(const platform::file_state& now, const platform::file_state& compared) {
    return now.id == compared.id && now.size == compared.size && now.written == compared.written &&
           now.changed == compared.changed && now.regular;
}

// Nothing is removed off the record: once a result file has failed to take
// a write, or when the removal list itself could not be opened, the run
// removes nothing more.
bool records_writable(run_state& run, const text_stream& removal_log) {
    if (run.removals_halted) return false;
    std::u16string_view failed = failed_result_file(run);
    if (failed.empty() && !removal_log.is_open())
        failed = &removal_log == &run.logs.srm ? u"zubsrm.log" : u"zubdrm.log";
    if (failed.empty()) return true;
    run.removals_halted = true;
    report_err(run, u"%s cannot be written: no more files are removed\n", failed);
    log_line(run.logs.aer, u"%s cannot be written: no more files are removed\n", failed);
    return false;
}

// The checks and the change itself, through the opened file. 0 when changed.
int change_opened(run_state& run, const removal_guard& guard, platform::handle file, bool read_only) {
    const compared_file& target = guard.target;
    const compared_file& kept = guard.kept;
    const bool empty = run.options.empty_instead;

    if (target.state.id == kept.state.id) {
        report_refusal(run, target.path, sformat(u"is the same file as \"%s\"", kept.path),
                       sformat(u"is the same file as %s", kept.path));
        return 1;
    }
    platform::file_state now;
    if (!platform::current().state_of(file, now)) {
        report_removal_failure(run, target.path, platform::errno_from_os_error(platform::last_error()));
        return 1;
    }
    if (!unchanged(now, target.state)) {
        refuse(run, target.path, CHANGED);
        return 1;
    }
    platform::file_state kept_now;
    if (!platform::current().path_state(kept.path, kept_now)) {
        uint32_t code = platform::last_error();
        run.last_os_error = code;
        std::u16string text = system_message_text(code);
        int32_t c = static_cast<int32_t>(code);
        report_refusal(run, target.path, sformat(u"cannot be told apart from \"%s\", %s (%d)", kept.path, text, c),
                       sformat(u"cannot be told apart from %s, %s (%d)", kept.path, text, c));
        return 1;
    }
    if (!unchanged(kept_now, kept.state)) {
        report_refusal(run, target.path, sformat(u"is kept: \"%s\" %s", kept.path, CHANGED),
                       sformat(u"is kept: %s %s", kept.path, CHANGED));
        return 1;
    }
    // Emptying a file with other names would empty them all, some perhaps
    // outside the tree or on the other side.
    if (empty && now.links > 1) {
        refuse(run, target.path, u"has other names: not emptied");
        return 1;
    }
    if (read_only && !platform::current().set_read_only(file, false)) {
        report_removal_failure(run, target.path, platform::errno_from_os_error(platform::last_error()));
        return 1;
    }
    if (empty) {
        if (platform::current().truncate_opened(file)) return 0;
        report_removal_failure(run, target.path, platform::errno_from_open_failure(platform::last_error()));
        return 1;
    }
    if (platform::current().delete_opened(file, target.path, target.folder)) return 0;
    const uint32_t code = platform::last_error();
    if (platform::is_changed_refusal(code) || platform::is_not_found(code))
        refuse(run, target.path, CHANGED);
    else
        report_removal_failure(run, target.path, platform::errno_from_os_error(code));
    return 1;
}

}  // namespace

int remove_matched_file(run_state& run, const removal_guard& guard, bool read_only, text_stream& removal_log,
                        int32_t& removal_counter) {
    if (read_only && !run.options.remove_readonly) return 1;
    if (!records_writable(run, removal_log)) return 1;
    const std::u16string_view path = guard.target.path;

    platform::handle file = platform::current().open_for_change(path);
    if (!file.valid()) {
        const uint32_t code = platform::last_error();
        if (platform::is_link_refusal(code))
            refuse(run, path, u"is a link: not removed");
        else if (platform::is_not_found(code))
            refuse(run, path, CHANGED);
        else if (run.options.empty_instead)
            report_removal_failure(run, path, platform::errno_from_open_failure(code));
        else
            report_removal_failure(run, path, platform::errno_from_os_error(code));
        return 1;
    }
    const int result = change_opened(run, guard, file, read_only);
    platform::current().close(file);  // a deletion by handle takes effect here
    if (result != 0) return 1;

    // The record reaches the system before anything else is removed.
    log_line(removal_log, u"%s\n", path);
    removal_log.flush();
    ++removal_counter;
    if (removal_log.failed()) {
        // Said where it can be: the path is not lost with the record.
        report_err(run, u"\"%s\" was removed but could not be recorded\n", path);
        log_line(run.logs.aer, u"%s: was removed but could not be recorded\n", path);
        records_writable(run, removal_log);
    }
    return 0;
}

}  // namespace zub
