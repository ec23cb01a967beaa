// The result files of a run, all in the current folder: the run log
// zubaer.log (appended by every run), the twelve path lists, and the optional
// zublog.txt, zubpart.log, zublong.log, zubfile.log and zubmove.bat. Opening
// (emptied, or appended with -a), the byte-order marks the settings may ask
// for, and closing. A file that cannot be created leaves its stream closed;
// every later write to it is then harmless and the run goes on, but it
// removes nothing and ends with 1 (records_intact).
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "engine/run_state.h"

namespace zub {

// One result file: everything the run needs to know of it. Adding a result
// file is a log_id, a row here and the lines that write to it.
struct result_file {
    log_id id;
    std::u16string_view name;
    // The option that asks for the file; nullptr: every run.
    bool run_options::*option = nullptr;
    // Opened with the run log or closed with it (after the exit code line):
    // zubaer.log is opened before the options are read and always appended;
    // zublog.txt is opened with the others but takes the summary's last line.
    bool opened_first = false;
    bool closed_last = false;
    // Takes a byte-order mark when it is empty and the settings ask for one.
    bool marked = true;
    // zubmove.sh: a POSIX build's shell script, always UTF-8 with LF, begun
    // with its header.
    bool shell_script = false;
    // The events' wording for this file (nullptr: no event lines), and
    // whether it names a pair by its relative destination path.
    std::u16string_view event_wording::*wording = nullptr;
    bool shown = false;
};

inline constexpr result_file RESULT_FILES[] = {
    {.id = log_id::aer,
     .name = u"zubaer.log",
     .opened_first = true,
     .closed_last = true,
     .wording = &event_wording::aer},
    {.id = log_id::full,
     .name = u"zublog.txt",
     .option = &run_options::full_log,
     .closed_last = true,
     .wording = &event_wording::full,
     .shown = true},
    {.id = log_id::ssame, .name = u"zubssame.log"},
    {.id = log_id::dsame, .name = u"zubdsame.log"},
    {.id = log_id::sdif, .name = u"zubsdif.log"},
    {.id = log_id::ddif, .name = u"zubddif.log"},
    {.id = log_id::sfnf, .name = u"zubsfnf.log"},
    {.id = log_id::dfnf, .name = u"zubdfnf.log"},
    {.id = log_id::sdnf, .name = u"zubsdnf.log"},
    {.id = log_id::ddnf, .name = u"zubddnf.log"},
    {.id = log_id::srm, .name = u"zubsrm.log"},
    {.id = log_id::drm, .name = u"zubdrm.log"},
    {.id = log_id::serr, .name = u"zubserr.log"},
    {.id = log_id::derr, .name = u"zubderr.log"},
    {.id = log_id::part, .name = u"zubpart.log", .option = &run_options::partial_compare},
    {.id = log_id::lng, .name = u"zublong.log", .option = &run_options::long_log, .wording = &event_wording::lng},
    {.id = log_id::file,
     .name = u"zubfile.log",
     .option = &run_options::file_log,
     .wording = &event_wording::file,
     .shown = true},
    {.id = log_id::move, .name = u"zubmove.bat", .option = &run_options::move_script, .marked = false},
    {.id = log_id::move_sh,
     .name = u"zubmove.sh",
     .option = &run_options::move_script,
     .marked = false,
     .shell_script = true},
};

// The rows that take event lines, in table order.
inline constexpr auto EVENT_PLACES = [] {
    constexpr size_t count = [] {
        size_t n = 0;
        for (const result_file& file : RESULT_FILES) n += file.wording != nullptr;
        return n;
    }();
    std::array<const result_file*, count> places{};
    size_t n = 0;
    for (const result_file& file : RESULT_FILES)
        if (file.wording != nullptr) places[n++] = &file;
    return places;
}();

// The streams of a run are indexed by log_id, so each row sits at its id.
static_assert(std::size(RESULT_FILES) == LOG_COUNT);
static_assert([] {
    for (size_t i = 0; i < LOG_COUNT; ++i)
        if (static_cast<size_t>(RESULT_FILES[i].id) != i) return false;
    return true;
}());

// The file name of a result stream.
inline std::u16string_view log_file_name(log_id log) { return RESULT_FILES[static_cast<size_t>(log)].name; }

// Opens zubaer.log for appending.
void open_run_log(run_state& run);

// Opens zublog.txt (-m), the twelve lists, zubpart.log (-p), zublong.log (-l),
// zubfile.log (-g) and zubmove.bat (-b; on POSIX also zubmove.sh), emptied or
// appended (-a), then writes the byte-order marks when the settings key
// "options"/"BOM" begins with "1".
void open_logs(run_state& run);

// Closes every open result file but zublog.txt and zubaer.log.
void close_logs(run_state& run);

// Nothing is removed off the record. Writes out what every open result file
// has collected, then looks for a result file that could not be opened or
// lost a write, and for a standard output that could not be written. The
// first one found is named on standard error and in the run log (once per
// run); from then on the run removes nothing and ends with 1. True while
// nothing has failed.
bool records_intact(run_state& run);

// Whether `id` is the identity of one of the run's open result files, which
// a run never removes or empties.
bool is_result_file(const run_state& run, const platform::file_id& id);

// Closes zublog.txt when open, then zubaer.log.
void close_run_log(run_state& run);

// A path as it is written between double quotes in the move script: every
// '%' doubled, so that the command interpreter does not expand it as a
// variable reference and the line moves the file that was meant.
std::u16string batch_quote(std::u16string_view path);

// A path as one word of a POSIX shell: in single quotes, each single quote
// written as '\''. Nothing else is special inside single quotes, so spaces,
// '$', newlines and any bytes survive.
std::u16string shell_quote(std::u16string_view path);

// The move scripts' line that moves `from` to `to` (-b).
void write_move(run_state& run, std::u16string_view from, std::u16string_view to);
// The move scripts' line that renames `path` in its folder by appending
// `suffix` to its name (-b with -f).
void write_rename(run_state& run, std::u16string_view path, std::u16string_view suffix);

}  // namespace zub
