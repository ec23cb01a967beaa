// The result files of a run, all in the current folder: the run log
// zubaer.log (appended by every run), the twelve path lists, and the optional
// zublog.txt, zubpart.log, zublong.log, zubfile.log and zubmove.bat. Opening
// (emptied, or appended with -a), the byte-order marks the settings may ask
// for, and closing. A file that cannot be created leaves its stream closed;
// every later write to it is then harmless and the run goes on, but it
// removes nothing and ends with 1 (records_intact).
#pragma once

#include <string>
#include <string_view>

#include "engine/run_state.h"

namespace zub {

// The file name of a result stream.
std::u16string_view log_file_name(log_id log);

// Opens zubaer.log for appending.
void open_run_log(run_state& run);

// Opens zublog.txt (-m), the twelve lists, zubpart.log (-p), zublong.log (-l),
// zubfile.log (-g) and zubmove.bat (-b; on POSIX also zubmove.sh), emptied or
// appended (-a), then writes the byte-order marks when the settings key
// "options"/"BOM" begins with "1".
void open_logs(run_state& run);

// Closes the twelve lists, then zubpart.log, zublong.log, zubfile.log,
// zubmove.bat and zubmove.sh when open.
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
