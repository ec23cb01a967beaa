// File-pair judgement: decides whether a source file and its destination
// counterpart are the same, different or (with -p) one a part of the other,
// writes the verdict lines and counts them, and removes the chosen side.
//
// A removal is refused (and reported as an error of the removing side) when
// the two paths of the pair are the same file (a hard link, or a destination
// reached through a link to the source), or when the file's size or
// last-write time is no longer the one it was judged with.
#pragma once

#include <cstdint>
#include <string_view>

#include "enumeration.h"
#include "run_state.h"
#include "text_output.h"

namespace zub {

// Judges one pair: the source's directory entry and the destination's status.
void judge_pair(run_state& run, std::u16string_view src, std::u16string_view dst, const file_info& src_info,
                const path_status_record& dst_status);

// The source root given to the run is a file: judges it against `dst`.
void judge_single_file(run_state& run, std::u16string_view src, std::u16string_view dst);

// What a removal is checked against before anything is changed: the other
// file of the pair (not the same file) and the size and last-write time the
// file was judged with (unchanged since).
struct removal_guard {
    std::u16string_view counterpart;
    int64_t size = 0;
    uint64_t written = 0;
};

// Removes (deletes, or with -z empties) a file judged removable. A read-only
// file is refused without -r (silently: the caller lists and counts it);
// with -r its read-only attribute is cleared first. With a guard, the
// same-file and unchanged checks come before any change. Writes the path to
// `removal_log` and counts it on success. 0 when removed, 1 when not.
int remove_matched_file(run_state& run, std::u16string_view path, bool read_only, text_stream& removal_log,
                        int32_t& removal_counter, const removal_guard* guard = nullptr);

// Deletes the file, or with -z truncates it to length 0 (a hidden file's
// attributes are reset first). 0 on success, 1 on failure with errno set.
int remove_or_empty(run_state& run, std::u16string_view path);

}  // namespace zub
