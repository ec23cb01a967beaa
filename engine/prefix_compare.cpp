// Partial-file comparison: reads both files from offset 0 up to the smaller
// listed size in growing blocks and compares them. It shares the open, read,
// progress and failure report primitives of the byte comparison; its
// "error 12" lines have their own wording.
//
// Every block, full or final, must deliver the whole length that is
// compared from both files. A file that shrank after it was listed therefore
// ends the comparison with "error 12" instead of a verdict drawn from bytes
// the buffer held before (the final block is read rounded up to 4096 bytes,
// so its short read is otherwise invisible).
#include "engine/prefix_compare.h"

#include <algorithm>
#include <cstring>

#include "engine/byte_compare.h"
#include "foundation/text_output.h"

namespace zub {

namespace {

uint64_t round_up_4096(uint64_t n) { return (n + 4095) & ~static_cast<uint64_t>(4095); }

}  // namespace

int64_t compare_prefix(run_state& run, std::u16string_view src, std::u16string_view dst, int64_t limit) {
    platform::handle src_file, dst_file;
    if (int64_t opened = open_pair(run, src, dst, src_file, dst_file); opened != RESULT_SAME) return opened;
    compare_progress progress(run, src, dst);
    progress.begin();

    int64_t result = RESULT_SAME;
    int64_t offset = 0;
    uint64_t block_size = run.options.large_first_block ? LARGEST_BLOCK_BYTES : FIRST_BLOCK_BYTES;
    int64_t percent = -1;

    for (;;) {
        progress.before_block(percent, block_size);
        int64_t remaining = limit - offset;
        bool final_block = remaining < static_cast<int64_t>(block_size);
        // The length compared in this pass, and the size asked of both reads.
        uint64_t length = final_block ? static_cast<uint64_t>(std::max<int64_t>(remaining, 0)) : block_size;
        uint64_t request = final_block ? round_up_4096(length) : block_size;

        block_reads reads = read_both_blocks(run, src_file, dst_file, request);
        if (reads.stopped) {
            result = RESULT_STOPPED;
            break;
        }
        // A failing final block reports the length it was to compare.
        int64_t failed_count = final_block ? static_cast<int64_t>(length) : 0;
        if (reads.src.failed) {
            report_read_failure(run, side::src, src, offset, failed_count);
            result = RESULT_SRC_ERROR;
            break;
        }
        if (reads.dst.failed) {
            report_read_failure(run, side::dst, dst, offset, failed_count);
            result = RESULT_DST_ERROR;
            break;
        }
        if (reads.src.count < length || reads.dst.count < length) {
            report_length_mismatch(run, PREFIX_COMPARE_WORDING, src, dst,
                                   static_cast<int64_t>(std::min(reads.src.count, length)),
                                   static_cast<int64_t>(std::min(reads.dst.count, length)), offset);
            result = RESULT_LENGTH_MISMATCH;
            break;
        }
        // Both counts cover the length here; a large block was compared as it was read.
        if (reads.compared) {
            if (reads.first_difference < length) {
                result = offset + static_cast<int64_t>(reads.first_difference);
                break;
            }
        } else if (length != 0 && std::memcmp(src_buffer, dst_buffer, length) != 0) {
            result = offset + (std::mismatch(src_buffer, src_buffer + length, dst_buffer).first - src_buffer);
            break;
        }
        if (block_size < LARGEST_BLOCK_BYTES) block_size *= 2;
        offset += static_cast<int64_t>(length);
        if (limit > 100) percent = offset / (limit / 100);
        if (run.options.yield_each_block) platform::current().sleep_ms(0);
        if (length == 0) break;
    }

    platform::current().close(src_file);
    platform::current().close(dst_file);
    return result;
}

}  // namespace zub
