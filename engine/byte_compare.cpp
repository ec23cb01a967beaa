// Byte comparison of a file pair, and the open, read, progress and failure
// report primitives it shares with the prefix comparison.
//
// The hot loop reads one block of each side (read_both_blocks), compares the
// two blocks with memcmp and scans byte by byte only a block that differs.
// The two reads are kept together in one function with per-side results so
// that they can later be issued at the same time.
#include "engine/byte_compare.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "foundation/text_output.h"

namespace zub {

unsigned char* src_buffer = nullptr;
unsigned char* dst_buffer = nullptr;

bool reserve_compare_buffers() {
    if (src_buffer == nullptr) src_buffer = static_cast<unsigned char*>(reserve_block(COMPARE_BUFFER_BYTES));
    if (src_buffer == nullptr) return false;
    if (dst_buffer == nullptr) dst_buffer = static_cast<unsigned char*>(reserve_block(COMPARE_BUFFER_BYTES));
    return dst_buffer != nullptr;
}

void release_compare_buffers() {
    release_block(src_buffer, COMPARE_BUFFER_BYTES);
    src_buffer = nullptr;
    release_block(dst_buffer, COMPARE_BUFFER_BYTES);
    dst_buffer = nullptr;
}

void release_buffers_and_exit_out_of_memory() {
    // 32 MiB given back first, so that the message itself finds memory.
    release_compare_buffers();
    exit_out_of_memory();
}

namespace {

int32_t code_of(uint32_t error) { return static_cast<int32_t>(error); }

// Reads up to `count` bytes in calls of at most 1 MiB, pausing by load level
// after each full call (a request of 0 bytes is one full call), asking
// `place` where each call goes (given the bytes read so far) and telling
// `after_chunk` the bytes read so far after each call that delivered some.
// True on success (a short call is the end of the file); `total` receives
// the bytes read in either case, `error` the OS code of a failed call.
template <class Place, class After>
bool read_chunks(int load_level, uint32_t chunk_bytes, platform::file_handle file, Place place, uint64_t count,
                 uint64_t& total, uint32_t& error, After after_chunk) {
    total = 0;
    uint64_t remaining = count;
    do {
        uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(remaining, chunk_bytes));
        uint32_t got = 0;
        // A request of 0 bytes (the empty last pass of a prefix comparison)
        // reads nothing, but is a complete call all the same: it pauses.
        if (chunk != 0 && !platform::current().read(file, place(total), chunk, got, error)) return false;
        total += got;
        remaining -= got;
        if (got > 0) after_chunk(total);
        if (got < chunk) return true;  // end of the file
        if (load_level == 1)
            platform::current().sleep_ms(1);
        else if (load_level == 2)
            platform::current().sleep_ms(0);
    } while (remaining > 0);
    return true;
}

// Where read calls go: straight on through the buffer, or round a ring at its
// start (every call but a file's last delivers a whole chunk, so a place
// never straddles the ring's end).
auto places(unsigned char* buffer, uint64_t ring = 0) {
    return [buffer, ring](uint64_t total) { return buffer + (ring == 0 ? total : total % ring); };
}

// Reads without touching the run-wide error values, so that the two sides
// can be read on two threads.
template <class Place, class After>
side_read read_side(int load_level, platform::file_handle file, Place place, uint64_t request, After after_chunk,
                    uint32_t chunk_bytes = CHUNK_BYTES) {
    side_read r;
    uint64_t total = 0;
    if (read_chunks(load_level, chunk_bytes, file, place, request, total, r.error, after_chunk)) {
        r.count = total;
        return r;
    }
    r.failed = r.error != 0;  // a failure without an OS error is the end of the file
    r.count = 0;
    return r;
}

side_read read_side(int load_level, platform::file_handle file, unsigned char* buffer, uint64_t request) {
    return read_side(load_level, file, places(buffer), request, [](uint64_t) {});
}

// The index of the first byte at which two buffers differ (count when none).
size_t first_difference(const unsigned char* a, const unsigned char* b, size_t count) {
    return static_cast<size_t>(std::mismatch(a, a + count, b).first - a);
}

}  // namespace

platform::file_handle open_for_compare(std::u16string_view path, uint64_t listed_size, uint32_t& error) {
    platform::os& os = platform::current();
    error = 0;
    return listed_size > 0 ? os.open_listed(path, listed_size, error)
                           : os.open_read(path, platform::read_mode::compare, error);
}

// How long a waiting thread keeps looking before it sleeps, and how long of
// that it spins without giving the processor up. The other side usually
// answers within a read call, and a sleeping thread takes far longer to wake
// (tens of microseconds on a virtual machine) than that.
constexpr auto SPIN_TIME = std::chrono::microseconds(50);
constexpr auto PAUSE_TIME = std::chrono::microseconds(5);

template <class Done>
void side_reader::await(Done done, std::chrono::steady_clock::duration& spin) {
    // First a busy wait; then the processor is offered to whatever else is
    // ready to run; at last a sleep. How long the thread looks before it
    // sleeps (`spin`, one for each kind of wait) adapts: a wait that ended in
    // a sleep halves it, one that ended while looking restores it. On a busy
    // machine, where the other thread may not be running at all, the threads
    // then sleep and wake like any others and the system places them.
    const auto start = std::chrono::steady_clock::now();
    bool yielding = false;
    for (unsigned i = 1; !done(); ++i) {
        if (yielding) {
            std::this_thread::yield();
        } else {
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
            if (i % 64 != 0) continue;
        }
        const auto waited = std::chrono::steady_clock::now() - start;
        if (waited > spin) {
            spin /= 2;
            std::unique_lock<std::mutex> guard(lock_);
            changed_.wait(guard, done);
            return;
        }
        yielding = waited > PAUSE_TIME;
    }
    spin = SPIN_TIME;
}

template <class Change>
void side_reader::change(Change apply) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        apply();
    }
    changed_.notify_all();
}

side_reader::~side_reader() {
    if (!thread_.joinable()) return;
    change([this] { quit_ = true; });
    thread_.join();
}

void side_reader::start(int load_level, platform::file_handle file, unsigned char* buffer, uint64_t request,
                        uint64_t ring, uint32_t chunk) {
    load_level_ = load_level;
    chunk_ = chunk;
    file_ = file;
    buffer_ = buffer;
    request_ = request;
    ring_ = ring;
    ready_ = false;
    released_ = false;
    progress_ = 0;
    consumed_ = 0;
    change([this] { pending_ = true; });
    if (!thread_.joinable()) thread_ = std::thread([this] { loop(); });
}

uint64_t side_reader::wait_for(uint64_t bytes) {
    thread_local std::chrono::steady_clock::duration spin = SPIN_TIME;
    await([&] { return progress_ >= bytes || ready_; }, spin);
    return progress_;
}

void side_reader::consumed(uint64_t bytes) {
    change([&] { consumed_ = bytes; });
}

void side_reader::release() {
    change([this] { released_ = true; });
}

side_read side_reader::finish() {
    thread_local std::chrono::steady_clock::duration spin = SPIN_TIME;
    await([this] { return ready_.load(); }, spin);
    ready_ = false;
    return result_;
}

void side_reader::loop() {
    std::chrono::steady_clock::duration idle_spin = SPIN_TIME, ring_spin = SPIN_TIME;
    for (;;) {
        await([this] { return pending_ || quit_; }, idle_spin);
        if (quit_) return;
        pending_ = false;
        auto publish = [this](uint64_t total) { change([&] { progress_ = total; }); };
        // With a ring, a place is read into again only when the bytes it
        // held were used.
        auto place = [this, &ring_spin, at = places(buffer_, ring_)](uint64_t total) {
            if (ring_ != 0 && total >= ring_)
                await([&] { return released_ || quit_ || total < consumed_ + ring_; }, ring_spin);
            return at(total);
        };
        result_ = read_side(load_level_, file_, place, request_, publish, chunk_);
        change([this] { ready_ = true; });
    }
}

namespace {

// The two sides of a large block on a thread without a side reader: a chunk
// of the source, then a chunk of the destination, each pair compared while
// it is in the processor's cache, through a ring of one chunk. A side that
// has ended or failed is not read further; the other goes on to the block's
// end, since the counts decide first and a source failure comes before a
// destination one, as when both sides are read at once.
block_reads read_blocks_in_turn(const compare_runner& runner, platform::file_handle src_file,
                                platform::file_handle dst_file, uint64_t request) {
    block_reads r;
    const block_buffers& b = runner.buffers;
    bool src_open = true, dst_open = true;
    while (src_open || dst_open) {
        uint64_t got[2] = {0, 0};
        side_read* sides[2] = {&r.src, &r.dst};
        platform::file_handle files[2] = {src_file, dst_file};
        unsigned char* buffers[2] = {b.src, b.dst};
        bool* open[2] = {&src_open, &dst_open};
        for (int i = 0; i < 2; ++i) {
            if (!*open[i]) continue;
            const uint64_t wanted = std::min<uint64_t>(request - sides[i]->count, b.chunk);
            const side_read piece = read_side(runner.load_level, files[i], buffers[i], wanted);
            if (piece.failed) {
                sides[i]->failed = true;
                sides[i]->error = piece.error;
                sides[i]->count = 0;
                *open[i] = false;
                continue;
            }
            got[i] = piece.count;
            sides[i]->count += piece.count;
            if (piece.count < wanted || sides[i]->count >= request) *open[i] = false;
        }
        // The bytes both sides delivered in this round lie at the start of
        // both buffers; a side that ended earlier delivered none.
        const uint64_t both = std::min(got[0], got[1]);
        if (r.first_difference == block_reads::NO_DIFFERENCE && both != 0 && !r.src.failed && !r.dst.failed &&
            std::memcmp(b.src, b.dst, static_cast<size_t>(both)) != 0) {
            const size_t i = first_difference(b.src, b.dst, static_cast<size_t>(both));
            r.first_difference = std::min(r.src.count - got[0], r.dst.count - got[1]) + i;
            r.src_byte = b.src[i];
            r.dst_byte = b.dst[i];
        }
        if (r.src.failed) break;  // the destination's result is not looked at
    }
    r.compared = !r.src.failed && !r.dst.failed;
    return r;
}

}  // namespace

block_reads read_both_blocks(const compare_runner& runner, platform::file_handle src_file,
                             platform::file_handle dst_file, uint64_t request, bool keep_block, bool around_cache) {
    block_reads r;
    if (runner.stop()) {
        r.stopped = true;
        return r;
    }
    const block_buffers& b = runner.buffers;
    if (request >= PARALLEL_BLOCK_BYTES && b.reader == nullptr) {
        if (runner.stop()) {
            r.stopped = true;
            return r;
        }
        return read_blocks_in_turn(runner, src_file, dst_file, request);
    }
    if (request >= PARALLEL_BLOCK_BYTES) {
        // Both sides at once. The stop poll that comes before the
        // destination's read comes before both here.
        if (runner.stop()) {
            r.stopped = true;
            return r;
        }
        side_reader& reader = *b.reader;
        // Two files read around the cache are read in calls of the whole
        // ring on each side: the system keeps the storage's requests for a
        // call in flight at once, where calls of a chunk would each wait
        // their turn. (Not below load level 4, which keeps one request at a
        // time.)
        const uint64_t ring = keep_block ? 0 : b.ring;
        const bool ring_calls = ring != 0 && runner.load_level >= 4 && around_cache;
        const auto chunk = ring_calls ? static_cast<uint32_t>(std::min(request, ring)) : b.chunk;
        reader.start(runner.load_level, dst_file, b.dst, request, ring, chunk);
        // Each piece is compared as soon as both sides hold it, while it is
        // still in the processor's cache; the reads go on to the block's
        // end in any case (its counts decide first).
        uint64_t compared = 0;
        auto compare_to = [&](uint64_t src_bytes) {
            if (r.first_difference != block_reads::NO_DIFFERENCE) return;
            const uint64_t both = std::min(src_bytes, reader.wait_for(src_bytes));
            if (both <= compared) return;
            // A piece never straddles the ring's end: both sides deliver
            // whole chunks up to a file's last call.
            const uint64_t at = ring == 0 ? compared : compared % ring;
            const auto n = static_cast<size_t>(both - compared);
            const unsigned char* s = b.src + at;
            const unsigned char* d = b.dst + at;
            if (std::memcmp(s, d, n) != 0) {
                const size_t i = first_difference(s, d, n);
                r.first_difference = compared + i;
                r.src_byte = s[i];
                r.dst_byte = d[i];
                reader.release();
            }
            compared = both;
            if (ring != 0) reader.consumed(compared);
        };
        r.src = read_side(runner.load_level, src_file, places(b.src, ring), request, compare_to, chunk);
        reader.release();
        r.dst = reader.finish();
        if (r.src.failed) return r;  // the destination's result is not looked at
        if (!r.dst.failed) {
            compare_to(std::min(r.src.count, r.dst.count));
            r.compared = true;
        }
        return r;
    }
    r.src = read_side(runner.load_level, src_file, b.src, request);
    if (r.src.failed) return r;
    if (runner.stop()) {
        r.stopped = true;
        return r;
    }
    r.dst = read_side(runner.load_level, dst_file, b.dst, request);
    return r;
}

compare_runner walk_runner(run_state& run) {
    if (!run.reader) run.reader = std::make_unique<side_reader>();
    compare_runner runner;
    runner.buffers = {src_buffer, dst_buffer, RING_BYTES, CHUNK_BYTES, run.reader.get()};
    runner.run = &run;
    runner.load_level = run.load_level;
    runner.yield_each_block = run.options.yield_each_block;
    runner.large_first_block = run.options.large_first_block;
    runner.removes = run_removes(run);
    return runner;
}

void count_error(run_state& run, side which, std::u16string_view path) {
    if (which == side::src) {
        list_path(run, log_id::serr, path);
        ++run.counts.src_error_count;
    } else {
        list_path(run, log_id::derr, path);
        ++run.counts.dst_error_count;
    }
}

namespace {

// Indexed by side. The destination's zublog.txt line carries no code.
constexpr event_wording OPEN_FAILED[] = {
    {.err = u"\"%s\", %s (%d)\n", .lng = u"\"%s\" %s (%d)\n", .full = u"\"%s\", error, %s (%d)\n"},
    {.err = u"\"%s\", %s (%d)\n", .lng = u"\"%s\" %s (%d)\n", .full = u"\"%s\", error, %s\n"},
};
constexpr event_wording READ_FAILED[] = {
    {.err = u"\"%s\", %s (%d) pos=%I64d s=%d\n",
     .aer = u"%s: %s (%d) pos=%I64d s=%d\n",
     .full = u"\"%s\", error, %s (%d) pos=%I64d s=%d\n"},
    {.err = u"\"%s\", %s (%d) pos=%I64d d=%d\n",
     .aer = u"%s: %s (%d) pos=%I64d d=%d\n",
     .full = u"\"%s\", error, %s (%d) pos=%I64d d=%d\n"},
};
constexpr event_wording NO_BUFFERS{.err = u"\"%s\", no compare buffers\n",
                                   .aer = u"%s: no compare buffers\n",
                                   .lng = u"\"%s\" no compare buffers\n",
                                   .full = u"\"%s\", error, no compare buffers\n"};

size_t index_of(side which) { return which == side::src ? 0 : 1; }

}  // namespace

void report_open_failure(run_state& run, side which, std::u16string_view path, uint32_t error) {
    const std::u16string text = system_message_text(error);
    report_event(run, OPEN_FAILED[index_of(which)], {path, text, code_of(error)});
    count_error(run, which, path);
}

void report_read_failure(run_state& run, side which, std::u16string_view path, int64_t pos, int64_t count,
                         uint32_t error) {
    const std::u16string text = system_message_text(error);
    report_event(run, READ_FAILED[index_of(which)], {path, text, code_of(error), pos, count});
    count_error(run, which, path);
}

void report_missing_buffers(run_state& run, std::u16string_view src) {
    report_event(run, NO_BUFFERS, {src});
    count_error(run, side::src, src);
}

compare_progress::compare_progress(run_state& run, std::u16string_view src, std::u16string_view dst, uint64_t size)
    : run_(run), src_(src), rel_dst_(relative_dst(run, dst)), title_(run.options.title_progress), size_(size) {}

void compare_progress::begin() {
    if (title_) run_.out.set_title(src_);
    run_.out.show_progress(rel_dst_, -1);
}

void compare_progress::before_block(int64_t percent, uint64_t block_size) {
    // Every block before this one was read whole.
    run_.out.watch_bytes(std::min(read_, size_));
    read_ += block_size;
    if (percent == shown_) return;
    shown_ = percent;
    if (block_size < 65536 || percent < 0 || percent > 99) return;
    if (title_) run_.out.set_title(sformat(u"%s %2d%%", src_, percent));
    run_.out.show_progress(rel_dst_, static_cast<int>(percent));
}

int64_t compare_progress::percent_at(uint64_t offset) const {
    if (offset == 0 || size_ <= 100) return -1;
    return static_cast<int64_t>(offset) / static_cast<int64_t>(size_ / 100);
}

void pause_after_block(const compare_runner& runner) {
    if (runner.load_level == 1)
        platform::current().sleep_ms(1);
    else if (runner.load_level == 2 || runner.yield_each_block)
        platform::current().sleep_ms(0);
}

bool open_pair(const compare_runner& runner, std::u16string_view src, std::u16string_view dst,
               platform::owned_handle& src_file, platform::owned_handle& dst_file, uint64_t listed_size,
               compare_record& record) {
    if (runner.buffers.src == nullptr || runner.buffers.dst == nullptr) {
        record.result = {outcome::src_error};
        record.no_buffers = true;
        return false;
    }
    // A run that removes nothing needs no state of the compared files, so
    // the listing's word for their kind and size may stand.
    if (runner.removes) listed_size = 0;
    uint32_t error = 0;
    src_file = platform::owned_handle(open_for_compare(src, listed_size, error));
    if (!src_file.valid()) {
        record.result = {outcome::src_error};
        record.at_open = true;
        record.error = error;
        return false;
    }
    dst_file = platform::owned_handle(open_for_compare(dst, listed_size, error));
    if (!dst_file.valid()) {
        src_file.reset();
        record.result = {outcome::dst_error};
        record.at_open = true;
        record.error = error;
        return false;
    }
    // What the comparison sees, through the handles it reads: a removal
    // later acts only on these files in this state. A state that cannot be
    // read stays empty, and then no removal matches it.
    if (runner.removes) {
        uint32_t ignored = 0;
        if (!platform::current().state_of(src_file.get(), record.src_state, ignored)) record.src_state = {};
        if (!platform::current().state_of(dst_file.get(), record.dst_state, ignored)) record.dst_state = {};
    }
    return true;
}

// The byte comparison shows which side was smaller with < or >; the
// prefix comparison words it its own way.
const length_mismatch_wording BYTE_COMPARE_WORDING{{.err = u"\"%s\", error 12 src=%d < dst=%d\n",
                                                    .aer = u"%s: error 12 src=%d < dst=%d pos=%d\n",
                                                    .lng = u"\"%s\" error 12\n",
                                                    .full = u"\"%s\", error 12, src=%d < dst=%d\n"},
                                                   {.err = u"\"%s\", error 12 src=%d > dst=%d\n",
                                                    .aer = u"%s: error 12 src=%d > dst=%d pos=%d\n",
                                                    .lng = u"\"%s\" error 12\n",
                                                    .full = u"\"%s\", error 12, src=%d > dst=%d\n"}};
const length_mismatch_wording PREFIX_COMPARE_WORDING{{.err = u"\"%s\", error 12 src=%d dst=%d\n",
                                                      .aer = u"%s: error 12 src=%d < dst=%d pos=%d\n",
                                                      .lng = u"\"%s\" error 12\n",
                                                      .full = u"\"%s\", error, 12 src=%d dst=%d\n"},
                                                     {.err = u"\"%s\", error 12 src=%d dst=%d\n",
                                                      .aer = u"%s: error 12 src=%d > dst=%d pos=%d\n",
                                                      .lng = u"\"%s\" error 12\n",
                                                      .full = u"\"%s\", error, 12 src=%d dst=%d\n"}};

namespace {

void report_length_mismatch(run_state& run, const length_mismatch_wording& wording, std::u16string_view src,
                            std::u16string_view dst, int64_t src_count, int64_t dst_count, int64_t pos) {
    count_error(run, side::src, src);
    count_error(run, side::dst, dst);
    const bool src_smaller = src_count < dst_count;
    report_event(run, src_smaller ? wording.smaller : wording.larger,
                 {src_smaller ? src : dst, src_count, dst_count, pos});
}

// Shows the progress a comparison's blocks would have shown had the walk
// read them itself: every block begun but the last was read whole, except
// perhaps the one before the last, which ended where the last began.
void replay_progress(run_state& run, const compare_record& record, std::u16string_view src, std::u16string_view dst,
                     uint64_t size) {
    compare_progress progress(run, src, dst, size);
    progress.begin();
    uint64_t offset = 0;
    uint64_t block_size = run.options.large_first_block ? LARGEST_BLOCK_BYTES : FIRST_BLOCK_BYTES;
    for (uint32_t i = 0; i < record.blocks; ++i) {
        const uint64_t at = std::min(offset, record.last_offset);
        progress.before_block(progress.percent_at(at), block_size);
        offset += block_size;
        block_size = next_block_size(block_size);
    }
}

// The byte comparison's part of the block loop: blocks of the loop's size,
// compared whole; two reads of one block that deliver different lengths end
// it with "error 12". With -n -l every differing byte is counted (and with -v
// dumped), the first one deciding the outcome.
class byte_comparison {
public:
    explicit byte_comparison(const compare_runner& runner)
        : runner_(runner),
          run_(runner.run),
          all_diffs_(run_ != nullptr && run_->options.find_all_diffs && run_->options.long_log),
          dump_(all_diffs_ && run_->options.verbose) {
        if (run_) run_->diff_byte_count = 0;
    }

    block_step plan(uint64_t, uint64_t block_size) const {
        return {.request = block_size, .length = block_size, .keep_block = all_diffs_};
    }

    bool judge(const block_reads& reads, const block_buffers& b, uint64_t offset, const block_step&, uint64_t& advance,
               compare_record& record) {
        const uint64_t count = reads.src.count;
        if (count != reads.dst.count) {
            record.result = {outcome::length_mismatch};
            record.src_count = static_cast<int64_t>(reads.src.count);
            record.dst_count = static_cast<int64_t>(reads.dst.count);
            record.pos = static_cast<int64_t>(offset);
            return false;
        }
        const bool differs = reads.compared ? reads.first_difference != block_reads::NO_DIFFERENCE
                                            : count != 0 && std::memcmp(b.src, b.dst, count) != 0;
        if (differs) {
            const size_t first =
                reads.compared ? static_cast<size_t>(reads.first_difference) : first_difference(b.src, b.dst, count);
            if (record.result.kind == outcome::same) {
                record.src_byte = reads.compared ? reads.src_byte : b.src[first];
                record.dst_byte = reads.compared ? reads.dst_byte : b.dst[first];
                record.result = differs_at(offset + first);
                if (!all_diffs_) return false;
            }
            for (size_t j = first; j < count; ++j) {
                if (b.src[j] == b.dst[j]) continue;
                ++run_->diff_byte_count;
                run_->last_diff_pos = offset + j;
                if (dump_)
                    report_out(*run_, u"%I64x: %02x %02x\n", offset + j, static_cast<unsigned>(b.src[j]),
                               static_cast<unsigned>(b.dst[j]));
            }
        }
        advance = count;
        return true;
    }

    void pause() const { pause_after_block(runner_); }

private:
    const compare_runner& runner_;
    run_state* run_;
    const bool all_diffs_;
    const bool dump_;
};

}  // namespace

compare_outcome report_comparison(run_state& run, const compare_record& record, std::u16string_view src,
                                  std::u16string_view dst, uint64_t size, const length_mismatch_wording& wording,
                                  bool replay) {
    if (replay && record.blocks > 0) replay_progress(run, record, src, dst, size);
    run.compared_src = record.src_state;
    run.compared_dst = record.dst_state;
    run.compared_around_cache = record.around_cache;
    const compare_outcome& r = record.result;
    if (r.kind == outcome::differs) {
        run.first_diff_src_byte = record.src_byte;
        run.first_diff_dst_byte = record.dst_byte;
    } else if (r.kind == outcome::src_error || r.kind == outcome::dst_error) {
        const side which = r.kind == outcome::src_error ? side::src : side::dst;
        const std::u16string_view path = which == side::src ? src : dst;
        if (record.no_buffers)
            report_missing_buffers(run, src);
        else if (record.at_open)
            report_open_failure(run, which, path, record.error);
        else
            report_read_failure(run, which, path, record.pos, record.count, record.error);
    } else if (r.kind == outcome::length_mismatch) {
        report_length_mismatch(run, wording, src, dst, record.src_count, record.dst_count, record.pos);
    }
    return r;
}

compare_outcome compare_files(run_state& run, std::u16string_view src, std::u16string_view dst, int64_t size) {
    const compare_runner runner = walk_runner(run);
    byte_comparison comparison(runner);
    const uint64_t listed = static_cast<uint64_t>(std::max<int64_t>(size, 0));
    compare_progress progress(run, src, dst, listed);
    const compare_record record = compare_blocks(runner, src, dst, listed, &progress, comparison);
    // After a pair whose files were opened, level 1 rests a while.
    if (record.blocks > 0 && run.load_level == 1) platform::current().sleep_ms(30);
    return report_comparison(run, record, src, dst, listed, BYTE_COMPARE_WORDING);
}

compare_record compare_files_ahead(const compare_runner& runner, std::u16string_view src, std::u16string_view dst,
                                   uint64_t size) {
    byte_comparison comparison(runner);
    return compare_blocks(runner, src, dst, size, nullptr, comparison);
}

}  // namespace zub
