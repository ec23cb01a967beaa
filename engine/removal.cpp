// Removal of one file of a compared pair. The file is opened without
// following a final link and checked through that handle; the change is then
// made through the handle (or, for a deletion on POSIX, relative to the
// folder the walk listed), so that nothing swapped into the path after the
// checks is what gets changed. A removal is made only while its record can
// be written.
#include "engine/removal.h"

#include "engine/pair_window.h"
#include "engine/result_logs.h"

namespace zub {

namespace {

// The failure lines of a removal: the path and the C library's text.
constexpr event_wording REMOVAL_FAILED{
    .err = u"\"%s\" %s\n", .aer = u"%s: %s\n", .lng = u"\"%s\" %s\n", .full = u"\"%s\" %s\n"};

void report_removal_failure(run_state& run, std::u16string_view path, int number) {
    report_event(run, REMOVAL_FAILED, {path, errno_message_text(number)});
}

// A removal refused by a safety check: the line shapes of a removal failure
// with the reason instead of the C library's text. zubaer.log names the
// other file of the pair without quotes.
constexpr event_wording refusal(std::u16string_view quoted, std::u16string_view plain) {
    return {.err = quoted, .aer = plain, .lng = quoted, .full = quoted};
}
// Arguments: the path; the kept path where the reason names it.
constexpr event_wording SAME_FILE = refusal(u"\"%s\" is the same file as \"%s\"\n", u"%s: is the same file as %s\n");
constexpr event_wording CHANGED =
    refusal(u"\"%s\" changed since it was compared\n", u"%s: changed since it was compared\n");
constexpr event_wording KEPT_CHANGED = refusal(u"\"%s\" is kept: \"%s\" changed since it was compared\n",
                                               u"%s: is kept: %s changed since it was compared\n");
// The path, the kept path, the system's text and code.
constexpr event_wording KEPT_UNREADABLE =
    refusal(u"\"%s\" cannot be told apart from \"%s\", %s (%d)\n", u"%s: cannot be told apart from %s, %s (%d)\n");
constexpr event_wording OTHER_NAMES =
    refusal(u"\"%s\" has other names: not emptied\n", u"%s: has other names: not emptied\n");
constexpr event_wording IS_LINK = refusal(u"\"%s\" is a link: not removed\n", u"%s: is a link: not removed\n");
// A file of the pair is one of this run's result files (an empty list equals
// an empty copy of it, in a backup of the folder the run writes into).
constexpr event_wording RESULT_FILE =
    refusal(u"\"%s\" is a result file of this run: not removed\n", u"%s: is a result file of this run: not removed\n");
constexpr event_wording KEPT_RESULT_FILE = refusal(u"\"%s\" is kept: \"%s\" is a result file of this run\n",
                                                   u"%s: is kept: %s is a result file of this run\n");

// The removed path whose record failed.
constexpr event_wording NOT_RECORDED{.err = u"\"%s\" was removed but could not be recorded\n",
                                     .aer = u"%s: was removed but could not be recorded\n"};

// The same file in the same state: identity, size, last-write and change time.
bool unchanged(const platform::file_state& now, const platform::file_state& compared) {
    return now.id == compared.id && now.size == compared.size && now.written == compared.written &&
           now.changed == compared.changed && now.regular;
}

// The checks and the change itself, through the opened file. True when changed.
bool change_opened(run_state& run, const removal_guard& guard, platform::file_handle file, bool read_only) {
    const compared_file& target = guard.target;
    const compared_file& kept = guard.kept;
    const bool empty = run.options.empty_instead;

    if (target.state.id == kept.state.id) {
        report_event(run, SAME_FILE, {target.path, kept.path});
        return false;
    }
    platform::file_state now;
    uint32_t error = 0;
    if (!platform::current().state_of(file, now, error)) {
        report_removal_failure(run, target.path, platform::errno_from_os_error(error));
        return false;
    }
    if (!unchanged(now, target.state)) {
        report_event(run, CHANGED, {target.path});
        return false;
    }
    platform::file_state kept_now;
    uint32_t code = 0;
    if (!platform::current().path_state(kept.path, kept_now, code)) {
        report_event(run, KEPT_UNREADABLE,
                     {target.path, kept.path, system_message_text(code), static_cast<int32_t>(code)});
        return false;
    }
    if (!unchanged(kept_now, kept.state)) {
        report_event(run, KEPT_CHANGED, {target.path, kept.path});
        return false;
    }
    // Emptying a file with other names would empty them all, some perhaps
    // outside the tree or on the other side.
    if (empty && now.links > 1) {
        report_event(run, OTHER_NAMES, {target.path});
        return false;
    }
    if (read_only && !platform::current().set_read_only(file, false, code)) {
        report_removal_failure(run, target.path, platform::errno_from_os_error(code));
        return false;
    }
    if (empty ? platform::current().truncate_opened(file, code)
              : platform::current().delete_opened(file, target.path, target.folder, code))
        return true;
    if (empty && !platform::is_changed_refusal(code)) {
        report_removal_failure(run, target.path, platform::errno_from_open_failure(code));
        return false;
    }
    if (platform::is_changed_refusal(code) || platform::is_not_found(code))
        report_event(run, CHANGED, {target.path});
    else
        report_removal_failure(run, target.path, platform::errno_from_os_error(code));
    return false;
}

}  // namespace

bool remove_matched_file(run_state& run, const removal_guard& guard, bool read_only, log_id removal_log,
                         int32_t& removal_counter) {
    if (read_only && !run.options.remove_readonly) return false;
    if (!records_intact(run)) return false;
    const std::u16string_view path = guard.target.path;
    // Known from the comparison, before anything is opened (Windows would
    // refuse the open of a file this program holds for writing).
    if (is_result_file(run, guard.target.state.id)) {
        report_event(run, RESULT_FILE, {path});
        return false;
    }
    if (is_result_file(run, guard.kept.state.id)) {
        report_event(run, KEPT_RESULT_FILE, {path, guard.kept.path});
        return false;
    }
    // A second Ctrl+C ends the program at once, but not between a removal
    // and its record.
    const platform::interrupt_hold hold;

    const platform::change_kind kind =
        run.options.empty_instead ? platform::change_kind::empty : platform::change_kind::remove;
    uint32_t code = 0;
    platform::owned_handle file(platform::current().open_for_change(path, kind, code));
    if (!file.valid()) {
        if (platform::is_link_refusal(code))
            report_event(run, IS_LINK, {path});
        else if (platform::is_not_found(code))
            report_event(run, CHANGED, {path});
        else if (run.options.empty_instead)
            report_removal_failure(run, path, platform::errno_from_open_failure(code));
        else
            report_removal_failure(run, path, platform::errno_from_os_error(code));
        return false;
    }
    const bool changed = change_opened(run, guard, file.get(), read_only);
    file.reset();  // a deletion by handle takes effect here
    // Pairs compared ahead of the walk that read this file are compared again.
    if (run.window) run.window->note_removed(guard.target.state.id);
    if (!changed) return false;

    // The record reaches the system before anything else is removed.
    text_stream& record = run.logs[removal_log];
    list_path(run, removal_log, path);
    record.flush();
    ++removal_counter;
    if (record.failed()) {
        // Said where it can be: the path is not lost with the record.
        report_event(run, NOT_RECORDED, {path});
        records_intact(run);
    }
    return true;
}

}  // namespace zub
