// File-pair judgement: decides whether a source file and its destination
// counterpart are the same, different or (with -p) one a part of the other,
// writes the verdict lines and counts them, and removes the chosen side.
//
// A removal is refused (and reported as an error of the removing side) when
// the two paths of the pair are the same file, or when either file is no
// longer in the state the comparison saw (removal.h).
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/run_state.h"
#include "foundation/enumeration.h"
#include "foundation/text_output.h"

namespace zub {

// The identities of the two folders that hold a pair, as the walk listed
// them (a deletion checks the folder it deletes in against them). Filled
// only when the run removes files.
struct pair_folders {
    platform::file_id src, dst;
};

// Judges one pair: the source's directory entry and the destination's status.
struct compare_record;

// Whether a pair is judged by its bytes: the sizes agree, and with -t the
// last-write times too (otherwise the sizes or the times decide).
inline bool judged_by_bytes(const run_options& o, int64_t src_size, uint64_t src_written,
                            const path_status_record& dst_status) {
    return src_size == dst_status.size && !(o.check_timestamp && src_written != dst_status.written);
}

// `ahead`: the pair's comparison as a worker of the pair window made it
// (pair_window.h), reported as if the walk had made it now; nullptr: the
// walk compares the pair itself when it needs to.
void judge_pair(run_state& run, std::u16string_view src, std::u16string_view dst, const file_info& src_info,
                const path_status_record& dst_status, const pair_folders& folders,
                const compare_record* ahead = nullptr);

// The lines of a path whose status cannot be taken (arguments: the path, the
// system's text and code): a destination counterpart, a source folder inside
// the tree; and of a destination counterpart that is not a file (the path).
extern const event_wording PATH_MISSING;
extern const event_wording NOT_A_FILE;

// The source root given to the run is a file: judges it against `dst`.
void judge_single_file(run_state& run, std::u16string_view src, std::u16string_view dst);

}  // namespace zub
