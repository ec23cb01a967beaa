// Partial-file comparison: whether the first `limit` bytes of two files are
// equal, that is, whether the smaller file of a pair is the beginning of the
// larger one (option -p).
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/byte_compare.h"

namespace zub {

// Compares the first `limit` bytes of the source and the destination (limit:
// the smaller listed size). The final block is read rounded up to a
// multiple of 4096 bytes; a final read that delivers fewer bytes than the
// length compared is reported as "error 12" rather than comparing what the
// buffer held before.
compare_outcome compare_prefix(run_state& run, std::u16string_view src, std::u16string_view dst, int64_t limit);

}  // namespace zub
