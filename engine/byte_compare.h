// Byte comparison of a file pair: reads both files block by block into the
// two page-aligned compare buffers and finds the first differing byte (with
// -n -l the whole disagreement range). The open and read primitives and the
// failure reports here are shared with the prefix comparison.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <thread>

#include "engine/run_state.h"
#include "platform/platform.h"

namespace zub {

// How a comparison of two files ended. A failure (of the source, of the
// destination, or two reads of one block that delivered different lengths)
// has been reported and counted by the comparison. A stop request ends a
// comparison without a verdict: the caller drops the pair and does not count
// it (it has also seen the stop in run.stopped).
enum class outcome { same, differs, src_error, dst_error, length_mismatch, stopped };
struct compare_outcome {
    outcome kind = outcome::same;
    uint64_t offset = 0;  // of the first differing byte (outcome::differs)
    bool operator==(const compare_outcome&) const = default;
    bool failed() const { return kind != outcome::same && kind != outcome::differs; }
};
inline constexpr compare_outcome differs_at(uint64_t offset) { return {outcome::differs, offset}; }

// The first block size, the largest block and the size of one read call.
inline constexpr uint64_t FIRST_BLOCK_BYTES = 8192;
inline constexpr uint64_t LARGEST_BLOCK_BYTES = 16777216;
inline constexpr uint32_t CHUNK_BYTES = 1048576;

// The two page-aligned compare buffers, reserved by the program before its
// first run and held to its end: each holds the largest block.
inline constexpr size_t COMPARE_BUFFER_BYTES = 16777216;
static_assert(COMPARE_BUFFER_BYTES >= LARGEST_BLOCK_BYTES, "a buffer holds the largest block");
extern unsigned char* src_buffer;
extern unsigned char* dst_buffer;
// True when both buffers exist (the second is not tried when the first
// fails).
bool reserve_compare_buffers();
void release_compare_buffers();
// For a program's out-of-memory handler: gives the buffers back, says
// "inadequate memory." and ends the program.
[[noreturn]] void release_buffers_and_exit_out_of_memory();

// Opens a file for sequential reading that leaves the page cache as it was,
// sharing read and write; `listed_size` (when not 0) is the size the file
// was listed with as a regular file (platform::os::open_listed). On failure
// returns INVALID_HANDLE with the OS error in `error`.
platform::file_handle open_for_compare(std::u16string_view path, uint64_t listed_size, uint32_t& error);

// Compares two files of equal listed size, to their real end. Without
// compare buffers it reports the fact and ends as a source error.
compare_outcome compare_files(run_state& run, std::u16string_view src, std::u16string_view dst, int64_t size);

// --- shared with the prefix comparison and the pair window ---

enum class side { src, dst };

class side_reader;

// Where a comparison reads its blocks to: the program's two compare buffers,
// whose large blocks pass through a ring of RING_BYTES in read calls of
// CHUNK_BYTES with the destination read on a side reader at the same time;
// or a worker's small buffers (pair_window.h), whose two sides are read in
// turn, a chunk at a time.
struct block_buffers {
    unsigned char* src = nullptr;
    unsigned char* dst = nullptr;
    uint64_t ring = 0;              // bytes of the ring at the start of each buffer
    uint32_t chunk = CHUNK_BYTES;   // bytes asked of one read call
    side_reader* reader = nullptr;  // nullptr: the two sides of a large block are read in turn
};

// Who runs a comparison and what it may ask while it reads: the walk's own
// thread (the run's stop polls, its display and its side reader), or a
// worker of the pair window, which only heeds a cancel flag.
struct compare_runner {
    block_buffers buffers;
    run_state* run = nullptr;                   // the walk's thread: stop polls, progress, the side reader
    const std::atomic<bool>* cancel = nullptr;  // a worker: set when its work is no longer wanted
    int load_level = 4;
    bool yield_each_block = false;   // -k
    bool large_first_block = false;  // -i
    bool removes = false;            // the run removes files: the compared state of both files is taken
    bool stop() const { return run != nullptr ? run->stop_requested() : cancel->load(std::memory_order_relaxed); }
};
// The walk thread's runner of `run`, on the program's compare buffers.
compare_runner walk_runner(run_state& run);

// What a comparison found, complete enough to be reported later: a worker
// compares a pair ahead of the walk, and the walk reports the record when it
// reaches the pair, as if it had compared it then (report_comparison).
struct compare_record {
    compare_outcome result;
    // A source or destination failure: at the open (`at_open`), for want of
    // compare buffers, or of a read (the block's offset and the count its
    // line shows); `error` is its OS code.
    bool at_open = false;
    bool no_buffers = false;
    uint32_t error = 0;
    int64_t pos = 0, count = 0;
    // outcome::length_mismatch: the two counts delivered (pos: the block's offset).
    int64_t src_count = 0, dst_count = 0;
    // outcome::differs: the two bytes at the first difference.
    unsigned char src_byte = 0, dst_byte = 0;
    // A removing run: the state of both files as the comparison read them.
    platform::file_state src_state, dst_state;
    // The blocks begun and the offset the last one began at (progress replay).
    uint32_t blocks = 0;
    uint64_t last_offset = 0;
    // Either file was read around the system's cache: its reads waited for
    // the storage.
    bool around_cache = false;
};

// The result of reading one block of each file. The destination is read only
// after the source read succeeded; `stopped` is set when a stop request came
// before either read.
struct side_read {
    uint64_t count = 0;
    bool failed = false;  // a failure with a non-zero OS error
    uint32_t error = 0;
};
struct block_reads {
    side_read src, dst;
    bool stopped = false;
    // Set when the block's bytes were compared while they were read (a large
    // block): `first_difference` is then the index of the first byte that
    // differs within both counts, or NO_DIFFERENCE.
    bool compared = false;
    uint64_t first_difference = NO_DIFFERENCE;
    unsigned char src_byte = 0, dst_byte = 0;  // the bytes at first_difference
    static constexpr uint64_t NO_DIFFERENCE = ~uint64_t(0);
};
// A large block is read through the ring unless the caller needs the whole
// block in the buffers afterwards (`keep_block`). `around_cache`: both files
// are read around the system's cache (compare_record::around_cache says
// whether either is).
block_reads read_both_blocks(const compare_runner& runner, platform::file_handle src_file,
                             platform::file_handle dst_file, uint64_t request, bool keep_block, bool around_cache);

// Blocks of at least this size are read on both sides at the same time (on
// the walk's thread), or in turn a chunk at a time (on a worker).
inline constexpr uint64_t PARALLEL_BLOCK_BYTES = 131072;

// The ring a large block passes through when its bytes are not kept: each
// read call lands in the next of four 1 MiB places, so the bytes are still in
// the processor's cache when they are compared, and the copies out of the
// page cache do not go all the way to memory and back.
inline constexpr uint64_t RING_BYTES = 4 * uint64_t{CHUNK_BYTES};

// Reads one side's blocks on a thread of its own, so that the two files of a
// pair are read at the same time: on two disks (a backup drive) both are busy,
// and from the page cache the two copies are made on two processors. The
// thread is started with the first large block of a run and ends with the run.
class side_reader {
public:
    side_reader() = default;
    ~side_reader();
    side_reader(const side_reader&) = delete;
    side_reader& operator=(const side_reader&) = delete;

    // Starts reading `request` bytes of `file` into `buffer`, or through a
    // ring of `ring` bytes at its start (0: straight on), in calls of `chunk`
    // bytes; finish() waits for it.
    void start(int load_level, platform::file_handle file, unsigned char* buffer, uint64_t request, uint64_t ring = 0,
               uint32_t chunk = CHUNK_BYTES);
    // Waits until at least `bytes` have been read, or the read has ended;
    // returns the bytes read so far (they are in the buffer).
    uint64_t wait_for(uint64_t bytes);
    // With a ring: the first `bytes` have been used, their places may be
    // read into again; release() says no more will be used.
    void consumed(uint64_t bytes);
    void release();
    side_read finish();

private:
    void loop();
    // Waits until `done` holds; change() makes a change the other thread waits for.
    template <class Done>
    void await(Done done, std::chrono::steady_clock::duration& spin);
    template <class Change>
    void change(Change apply);

    // The block to read, set by start() before it raises pending_.
    int load_level_ = 4;
    platform::file_handle file_;
    unsigned char* buffer_ = nullptr;
    uint64_t request_ = 0, ring_ = 0;
    uint32_t chunk_ = CHUNK_BYTES;
    side_read result_;  // set by the thread before it raises ready_

    std::mutex lock_;
    std::condition_variable changed_;
    std::atomic<bool> pending_{false}, ready_{false}, quit_{false}, released_{false};
    std::atomic<uint64_t> progress_{0}, consumed_{0};
    std::thread thread_;
};

// A failure of one side: the path in the side's error list and 1 more on the
// side's error counter.
void count_error(run_state& run, side which, std::u16string_view path);

// The lines of a failed open or read ("pos" is the offset of the block,
// `count` the byte count printed with it); they count a failure of the side.
// `error` is the OS error code the failure came with.
void report_open_failure(run_state& run, side which, std::u16string_view path, uint32_t error);
void report_read_failure(run_state& run, side which, std::u16string_view path, int64_t pos, int64_t count,
                         uint32_t error);
// Without compare buffers: a source-side error line for the pair.
void report_missing_buffers(run_state& run, std::u16string_view src);

// "error 12": the two reads of one block delivered different byte counts.
// Both paths go to their error lists and both error counters rise; the lines
// (arguments: the path of the side that delivered fewer bytes, the two
// counts, the offset of the block) name the side that delivered fewer.
struct length_mismatch_wording {
    event_wording smaller, larger;  // the source delivered fewer bytes, or more
};
extern const length_mismatch_wording BYTE_COMPARE_WORDING;
extern const length_mismatch_wording PREFIX_COMPARE_WORDING;

// compare_files on a thread of the pair window: nothing is reported or
// shown; the record is reported when the walk reaches the pair.
compare_record compare_files_ahead(const compare_runner& runner, std::u16string_view src, std::u16string_view dst,
                                   uint64_t size);

// Reports what a comparison found as the walk reaches its pair: the failure
// lines and counts, the bytes at the first difference, the compared state
// of both files, and (for a pair compared ahead of the walk) the progress
// its blocks would have shown. Returns the outcome.
compare_outcome report_comparison(run_state& run, const compare_record& record, std::u16string_view src,
                                  std::u16string_view dst, uint64_t size, const length_mismatch_wording& wording,
                                  bool replay_progress = false);

// The block loop both comparisons share: opens the pair (the source first,
// then the destination; `listed_size`, when not 0, is the size both were
// listed with as regular files, and a run that removes nothing then opens
// them with open_listed), reads both files block by block (8 KiB doubling to
// 16 MiB, or 16 MiB from the start with -i), shows progress over `size`
// bytes when `progress` is given, and hands each block to the comparison's
// own part:
//   block_step plan(uint64_t offset, uint64_t block_size)
//   bool judge(const block_reads&, const block_buffers&, uint64_t offset, const block_step&,
//              uint64_t& advance, compare_record&)
//       (false ends the comparison; `advance` 0 ends it after the pause)
//   void pause()            after each block
// Failures are written into the record, not reported.
struct block_step {
    uint64_t request = 0;      // bytes asked of each file
    uint64_t length = 0;       // bytes compared of them
    int64_t failed_count = 0;  // the count a failed read's line shows
    bool keep_block = false;   // the whole block is needed in the buffers afterwards
};
class compare_progress;
template <class Comparison>
compare_record compare_blocks(const compare_runner& runner, std::u16string_view src, std::u16string_view dst,
                              uint64_t listed_size, compare_progress* progress, Comparison& comparison);

// Progress of one comparison: the terminal title with -w, show_progress (the
// dialog's progress bar) always, and the bytes read of the pair's `size` for
// a host that watches the run (watch_bytes).
class compare_progress {
public:
    compare_progress(run_state& run, std::u16string_view src, std::u16string_view dst, uint64_t size);
    // After both files are open.
    void begin();
    // Before the reads of a block: shows `percent` when it changed since the
    // last call and the block is at least 64 KiB.
    void before_block(int64_t percent, uint64_t block_size);
    // The percentage the loop shows before the block after one that ended at `offset`.
    int64_t percent_at(uint64_t offset) const;

private:
    run_state& run_;
    std::u16string_view src_;
    std::u16string_view rel_dst_;
    bool title_ = false;
    int64_t shown_ = -1;
    uint64_t size_ = 0;  // the pair's listed size (the prefix's length)
    uint64_t read_ = 0;  // bytes of the pair asked for so far
};

// Pause after a block: level 1 sleeps 1 ms; level 2, or -k, yields.
void pause_after_block(const compare_runner& runner);

// Opens both files of a pair (see compare_blocks). A failure is written into
// the record, and nothing is left open.
bool open_pair(const compare_runner& runner, std::u16string_view src, std::u16string_view dst,
               platform::owned_handle& src_file, platform::owned_handle& dst_file, uint64_t listed_size,
               compare_record& record);

// The first block's size and the next one's after `block_size`.
inline uint64_t first_block_size(const compare_runner& runner) {
    return runner.large_first_block ? LARGEST_BLOCK_BYTES : FIRST_BLOCK_BYTES;
}
inline uint64_t next_block_size(uint64_t block_size) {
    return block_size < LARGEST_BLOCK_BYTES ? block_size * 2 : block_size;
}

template <class Comparison>
compare_record compare_blocks(const compare_runner& runner, std::u16string_view src, std::u16string_view dst,
                              uint64_t listed_size, compare_progress* progress, Comparison& comparison) {
    compare_record record;
    platform::owned_handle src_file, dst_file;
    if (!open_pair(runner, src, dst, src_file, dst_file, listed_size, record)) return record;
    if (progress) progress->begin();
    platform::os& os = platform::current();
    const bool src_around = os.reads_around_cache(src_file.get());
    const bool dst_around = os.reads_around_cache(dst_file.get());
    record.around_cache = src_around || dst_around;

    uint64_t offset = 0;
    uint64_t block_size = first_block_size(runner);
    for (;;) {
        ++record.blocks;
        record.last_offset = offset;
        if (progress) progress->before_block(progress->percent_at(offset), block_size);
        const block_step step = comparison.plan(offset, block_size);
        const block_reads reads = read_both_blocks(runner, src_file.get(), dst_file.get(), step.request,
                                                   step.keep_block, src_around && dst_around);
        if (reads.stopped) {
            record.result = {outcome::stopped};
            break;
        }
        const side_read* failed = reads.src.failed ? &reads.src : reads.dst.failed ? &reads.dst : nullptr;
        if (failed) {
            record.result = {failed == &reads.src ? outcome::src_error : outcome::dst_error};
            record.error = failed->error;
            record.pos = static_cast<int64_t>(offset);
            record.count = step.failed_count;
            break;
        }
        uint64_t advance = 0;
        if (!comparison.judge(reads, runner.buffers, offset, step, advance, record)) break;
        block_size = next_block_size(block_size);
        offset += advance;
        comparison.pause();
        if (advance == 0) break;
    }
    return record;
}

}  // namespace zub
