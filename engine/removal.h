// Removal of one file of a compared pair: deleting it, or with -z emptying it,
// and with -r clearing its read-only attribute first. Every change acts on
// exactly the file that was compared: the file is opened without following a
// final link, checked through that handle against what the comparison saw
// (identity, size, last-write and change time), and only then changed through
// the handle (a deletion on POSIX relative to the folder the walk listed, whose
// identity is checked too). The other file of the pair must also still be as
// compared, and must not be the same file. A check that fails keeps the file
// and reports the reason on the removing side.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/run_state.h"
#include "foundation/text_output.h"
#include "platform/platform.h"

namespace zub {

// One file of a compared pair: its path, its state as the comparison read it
// through its handle, and the identity of the folder that holds it as the
// walk listed it.
struct compared_file {
    std::u16string_view path;
    platform::file_state state;
    platform::file_id folder;
};

// What a removal is checked against: `target` is the file to remove, `kept`
// the other file of the pair.
struct removal_guard {
    compared_file target;
    compared_file kept;
};

// Removes (deletes, or with -z empties) the guard's target. A read-only file
// is refused without -r (silently: the caller lists and counts it); with -r
// its read-only attribute is cleared through the verified handle. Writes the
// path to `removal_log` and counts it on success. True when removed.
// Once a result file could not be written, nothing more is removed in the
// run (said once on standard error and in the run log; the run ends with 1).
bool remove_matched_file(run_state& run, const removal_guard& guard, bool read_only, log_id removal_log,
                         int32_t& removal_counter);

}  // namespace zub
