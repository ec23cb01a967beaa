// Partial-file comparison: whether the first `limit` bytes of two files are
// equal, that is, whether the smaller file of a pair is the beginning of the
// larger one (option -p).
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/run_state.h"

namespace zub {

// Compares the first `limit` bytes of the source and the destination (limit:
// the smaller listed size). Returns RESULT_SAME, the offset of the first
// differing byte, RESULT_SRC_ERROR, RESULT_DST_ERROR, RESULT_LENGTH_MISMATCH,
// or (dialog build) RESULT_STOPPED. The final block is read rounded up to a
// multiple of 4096 bytes; a final read that delivers fewer bytes than the
// length compared is reported as "error 12" rather than comparing what the
// buffer held before.
int64_t compare_prefix(run_state& run, std::u16string_view src, std::u16string_view dst, int64_t limit);

}  // namespace zub
