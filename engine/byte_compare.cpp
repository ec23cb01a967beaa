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
bool read_chunks(run_state& run, platform::file_handle file, Place place, uint64_t count, uint64_t& total,
                 uint32_t& error, After after_chunk) {
    total = 0;
    uint64_t remaining = count;
    do {
        uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(remaining, CHUNK_BYTES));
        uint32_t got = 0;
        // A request of 0 bytes (the empty last pass of a prefix comparison)
        // reads nothing, but is a complete call all the same: it pauses.
        if (chunk != 0 && !platform::current().read(file, place(total), chunk, got, error)) return false;
        total += got;
        remaining -= got;
        if (got > 0) after_chunk(total);
        if (got < chunk) return true;  // end of the file
        if (run.load_level == 1)
            platform::current().sleep_ms(1);
        else if (run.load_level == 2)
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
side_read read_side(run_state& run, platform::file_handle file, Place place, uint64_t request, After after_chunk) {
    side_read r;
    uint64_t total = 0;
    if (read_chunks(run, file, place, request, total, r.error, after_chunk)) {
        r.count = total;
        return r;
    }
    r.failed = r.error != 0;  // a failure without an OS error is the end of the file
    r.count = 0;
    return r;
}

side_read read_side(run_state& run, platform::file_handle file, unsigned char* buffer, uint64_t request) {
    return read_side(run, file, places(buffer), request, [](uint64_t) {});
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

void side_reader::start(run_state& run, platform::file_handle file, unsigned char* buffer, uint64_t request,
                        uint64_t ring) {
    run_ = &run;
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
        result_ = read_side(*run_, file_, place, request_, publish);
        change([this] { ready_ = true; });
    }
}

block_reads read_both_blocks(run_state& run, platform::file_handle src_file, platform::file_handle dst_file,
                             uint64_t request, bool keep_block) {
    block_reads r;
    if (run.stop_requested()) {
        r.stopped = true;
        return r;
    }
    if (request >= PARALLEL_BLOCK_BYTES) {
        // Both sides at once. The stop poll that comes before the
        // destination's read comes before both here.
        if (run.stop_requested()) {
            r.stopped = true;
            return r;
        }
        if (!run.reader) run.reader = std::make_unique<side_reader>();
        side_reader& reader = *run.reader;
        const uint64_t ring = keep_block ? 0 : RING_BYTES;
        reader.start(run, dst_file, dst_buffer, request, ring);
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
            const unsigned char* s = src_buffer + at;
            const unsigned char* d = dst_buffer + at;
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
        r.src = read_side(run, src_file, places(src_buffer, ring), request, compare_to);
        reader.release();
        r.dst = reader.finish();
        if (r.src.failed) return r;  // the destination's result is not looked at
        if (!r.dst.failed) {
            compare_to(std::min(r.src.count, r.dst.count));
            r.compared = true;
        }
        return r;
    }
    r.src = read_side(run, src_file, src_buffer, request);
    if (r.src.failed) return r;
    if (run.stop_requested()) {
        r.stopped = true;
        return r;
    }
    r.dst = read_side(run, dst_file, dst_buffer, request);
    return r;
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

void pause_after_block(const run_state& run) {
    if (run.load_level == 1)
        platform::current().sleep_ms(1);
    else if (run.load_level == 2 || run.options.yield_each_block)
        platform::current().sleep_ms(0);
}

compare_outcome open_pair(run_state& run, std::u16string_view src, std::u16string_view dst,
                          platform::owned_handle& src_file, platform::owned_handle& dst_file, uint64_t listed_size) {
    if (src_buffer == nullptr || dst_buffer == nullptr) {
        report_missing_buffers(run, src);
        return {outcome::src_error};
    }
    // A run that removes nothing needs no state of the compared files, so
    // the listing's word for their kind and size may stand.
    const bool removes = run_removes(run);
    if (removes) listed_size = 0;
    uint32_t error = 0;
    src_file = platform::owned_handle(open_for_compare(src, listed_size, error));
    if (!src_file.valid()) {
        report_open_failure(run, side::src, src, error);
        return {outcome::src_error};
    }
    dst_file = platform::owned_handle(open_for_compare(dst, listed_size, error));
    if (!dst_file.valid()) {
        src_file.reset();
        report_open_failure(run, side::dst, dst, error);
        return {outcome::dst_error};
    }
    // What the comparison sees, through the handles it reads: a removal
    // later acts only on these files in this state. A state that cannot be
    // read stays empty, and then no removal matches it.
    if (removes) {
        uint32_t ignored = 0;
        if (!platform::current().state_of(src_file.get(), run.compared_src, ignored)) run.compared_src = {};
        if (!platform::current().state_of(dst_file.get(), run.compared_dst, ignored)) run.compared_dst = {};
    }
    return {outcome::same};
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

void report_length_mismatch(run_state& run, const length_mismatch_wording& wording, std::u16string_view src,
                            std::u16string_view dst, int64_t src_count, int64_t dst_count, int64_t pos) {
    count_error(run, side::src, src);
    count_error(run, side::dst, dst);
    const bool src_smaller = src_count < dst_count;
    report_event(run, src_smaller ? wording.smaller : wording.larger,
                 {src_smaller ? src : dst, src_count, dst_count, pos});
}

namespace {

// The byte comparison's part of the block loop: blocks of the loop's size,
// compared whole; two reads of one block that deliver different lengths end
// it with "error 12". With -n -l every differing byte is counted (and with -v
// dumped), the first one deciding the outcome.
class byte_comparison {
public:
    byte_comparison(run_state& run, std::u16string_view src, std::u16string_view dst)
        : run_(run),
          src_(src),
          dst_(dst),
          all_diffs_(run.options.find_all_diffs && run.options.long_log),
          dump_(all_diffs_ && run.options.verbose) {
        run.diff_byte_count = 0;
    }

    block_step plan(uint64_t, uint64_t block_size) const {
        return {.request = block_size, .length = block_size, .keep_block = all_diffs_};
    }

    bool judge(const block_reads& reads, uint64_t offset, const block_step&, uint64_t& advance) {
        const uint64_t count = reads.src.count;
        if (count != reads.dst.count) {
            report_length_mismatch(run_, BYTE_COMPARE_WORDING, src_, dst_, static_cast<int64_t>(reads.src.count),
                                   static_cast<int64_t>(reads.dst.count), static_cast<int64_t>(offset));
            result_ = {outcome::length_mismatch};
            return false;
        }
        const bool differs = reads.compared ? reads.first_difference != block_reads::NO_DIFFERENCE
                                            : count != 0 && std::memcmp(src_buffer, dst_buffer, count) != 0;
        if (differs) {
            const size_t first = reads.compared ? static_cast<size_t>(reads.first_difference)
                                                : first_difference(src_buffer, dst_buffer, count);
            if (run_.diff_byte_count == 0 && result_.kind == outcome::same) {
                run_.first_diff_src_byte = reads.compared ? reads.src_byte : src_buffer[first];
                run_.first_diff_dst_byte = reads.compared ? reads.dst_byte : dst_buffer[first];
                result_ = differs_at(offset + first);
                if (!all_diffs_) return false;
            }
            for (size_t j = first; j < count; ++j) {
                if (src_buffer[j] == dst_buffer[j]) continue;
                ++run_.diff_byte_count;
                run_.last_diff_pos = offset + j;
                if (dump_)
                    report_out(run_, u"%I64x: %02x %02x\n", offset + j, static_cast<unsigned>(src_buffer[j]),
                               static_cast<unsigned>(dst_buffer[j]));
            }
        }
        advance = count;
        return true;
    }

    void pause() const { pause_after_block(run_); }
    void after_pair() const {
        if (run_.load_level == 1) platform::current().sleep_ms(30);
    }
    compare_outcome result() const { return result_; }

private:
    run_state& run_;
    std::u16string_view src_, dst_;
    const bool all_diffs_;
    const bool dump_;
    compare_outcome result_;
};

}  // namespace

compare_outcome compare_files(run_state& run, std::u16string_view src, std::u16string_view dst, int64_t size) {
    byte_comparison comparison(run, src, dst);
    return compare_blocks(run, src, dst, static_cast<uint64_t>(size), size, comparison);
}

}  // namespace zub
