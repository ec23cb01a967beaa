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

// The prefix comparison's part of the block loop: blocks up to `limit`, the
// last one read rounded up to 4096 bytes; both reads must deliver the whole
// length compared.
class prefix_comparison {
public:
    prefix_comparison(const compare_runner& runner, int64_t limit) : runner_(runner), limit_(limit) {}

    block_step plan(uint64_t offset, uint64_t block_size) const {
        const int64_t remaining = limit_ - static_cast<int64_t>(offset);
        const bool final_block = remaining < static_cast<int64_t>(block_size);
        const uint64_t length = final_block ? static_cast<uint64_t>(std::max<int64_t>(remaining, 0)) : block_size;
        // A failing final block reports the length it was to compare.
        return {.request = final_block ? round_up_4096(length) : block_size,
                .length = length,
                .failed_count = final_block ? static_cast<int64_t>(length) : 0};
    }

    bool judge(const block_reads& reads, const block_buffers& b, uint64_t offset, const block_step& step,
               uint64_t& advance, compare_record& record) const {
        const uint64_t length = step.length;
        if (reads.src.count < length || reads.dst.count < length) {
            record.result = {outcome::length_mismatch};
            record.src_count = static_cast<int64_t>(std::min(reads.src.count, length));
            record.dst_count = static_cast<int64_t>(std::min(reads.dst.count, length));
            record.pos = static_cast<int64_t>(offset);
            return false;
        }
        // Both counts cover the length here; a large block was compared as it was read.
        if (reads.compared) {
            if (reads.first_difference < length) {
                record.result = differs_at(offset + reads.first_difference);
                return false;
            }
        } else if (length != 0 && std::memcmp(b.src, b.dst, length) != 0) {
            record.result =
                differs_at(offset + static_cast<uint64_t>(std::mismatch(b.src, b.src + length, b.dst).first - b.src));
            return false;
        }
        advance = length;
        return true;
    }

    void pause() const {
        if (runner_.yield_each_block) platform::current().sleep_ms(0);
    }

private:
    const compare_runner& runner_;
    int64_t limit_;
};

}  // namespace

compare_outcome compare_prefix(run_state& run, std::u16string_view src, std::u16string_view dst, int64_t limit) {
    const compare_runner runner = walk_runner(run);
    prefix_comparison comparison(runner, limit);
    const uint64_t length = static_cast<uint64_t>(std::max<int64_t>(limit, 0));
    compare_progress progress(run, src, dst, length);
    const compare_record record = compare_blocks(runner, src, dst, 0, &progress, comparison);
    return report_comparison(run, record, src, dst, length, PREFIX_COMPARE_WORDING);
}

}  // namespace zub
