// Pairs compared ahead of the walk. On storage where every request waits (a
// file share, a disk whose pages are not cached), one pair at a time leaves
// the storage idle between requests. While the walk judges one pair, worker
// threads already look up, open and compare the next pairs of the same
// folder, so that several requests are in flight.
//
// The walk still takes the pairs one by one in its own order and writes
// everything itself: a worker's comparison is a compare_record that the walk
// reports when it reaches the pair, as if it had compared the pair then. A
// record the walk cannot take as its own is dropped and the walk compares
// the pair itself: when the destination's status the walk takes differs from
// the one the worker saw, or a removal since touched one of its files.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/byte_compare.h"
#include "foundation/enumeration.h"

namespace zub {

// The most pairs in flight a user may ask for, and the default where nothing
// keeps a run to one pair at a time.
inline constexpr size_t MOST_PAIRS_IN_FLIGHT = 64;
inline constexpr size_t DEFAULT_PAIRS_IN_FLIGHT = 16;

// Bytes a worker asks of one read call, and of each of its two large
// buffers. A call of 1 MiB costs a disk or a share one request where two of
// 512 KiB cost two; with the two buffers in one block of 2 MiB, the system
// may give it one huge page, and the request one piece of memory (a cold
// tree of large files is read in two thirds of the time).
inline constexpr uint32_t WORKER_CHUNK_BYTES = 1048576;
// Pairs up to this size go through a worker's two small buffers of this size
// (small pages: a tree of small files holds only the pages they fill).
inline constexpr uint32_t WORKER_SMALL_BYTES = 262144;
// Large buffers are lent to the workers, at most this many sets of two, so
// that a tree of large files costs at most 16 MiB of them however many pairs
// are in flight; a larger pair that finds none free goes through its
// worker's small buffers.
inline constexpr size_t LARGE_BUFFER_SETS = 8;
// A worker compares pairs up to this size. A larger pair is left to the
// walk, whose large buffers read both files at once in large calls: on a
// share, a worker's small calls, one side after the other, would each wait
// a round trip, and the pair would take twice as long as one at a time.
// (The workers go on with the pairs after it meanwhile.)
inline constexpr uint64_t LARGEST_WORKER_PAIR_BYTES = COMPARE_BUFFER_BYTES;

// How many pairs a run may keep in flight: `asked` (the environment's
// ZUB_INFLIGHT, else the settings key "options"/"inflight"; empty for the
// default), 1 below load level 4, with -n -l (each difference is counted by
// the walk) and when either tree lies on a device that reports itself
// rotational, where seeks cost more than the waits saved.
//
// Pairs handed over to the window, done or not, up to this many for each
// worker: a large pair that holds up the walk does not keep the other
// workers idle.
inline constexpr size_t PAIRS_AHEAD_PER_WORKER = 4;
// The window opens at once (`at_once`) when the user asked for it, or when
// either tree lies on a share; otherwise only once pairs are seen to wait.
// A destination on a share is listed ahead too (`list_destination`).
struct in_flight_plan {
    size_t width = 1;
    bool at_once = false;
    bool list_destination = false;
};
in_flight_plan pairs_in_flight(const run_state& run, std::u16string_view asked, std::u16string_view src_root,
                               std::u16string_view dst_root);

// Small pairs the walk takes one at a time, before it knows whether they
// wait: when most of them take longer than this, requests are waiting
// (a share, a disk that reads the pages in) and the window opens. Pairs from
// the page cache take some 20 microseconds, and there handing pairs to
// other threads costs more than it saves. A pair of any size whose files were
// read around the cache (not cached at all) waited for the storage too.
inline constexpr auto WAITING_PAIR = std::chrono::microseconds(75);
inline constexpr uint64_t SMALL_PAIR_BYTES = 65536;
inline constexpr unsigned PAIRS_TIMED = 16;

class pair_window {
public:
    // At most `width` pairs (2 or more) in flight, on as many threads, which
    // start as the first pairs are handed over; up to PAIRS_AHEAD_PER_WORKER
    // times as many handed over.
    pair_window(run_state& run, size_t width);
    ~pair_window();
    pair_window(const pair_window&) = delete;
    pair_window& operator=(const pair_window&) = delete;

    // The walk ahead, which hands the pairs over (submit), run on a thread of
    // its own once the window opens: at once when the user asked for the
    // window (`now`), otherwise when the walk's own pairs are seen to wait
    // (note_pair): three in four of PAIRS_TIMED.
    void open_with(std::function<void()> walk_ahead, bool now);
    bool is_open() const { return open_; }
    // A pair the walk took itself, of `size` bytes, took `time`; its files
    // were read around the cache (`around_cache`), which counts as waiting
    // whatever the pair's size or time.
    void note_pair(uint64_t size, std::chrono::steady_clock::duration time, bool around_cache);

    // The number of the pair the walk visits now (0, 1, 2, ... in its order).
    uint64_t visit() { return visited_++; }
    // From the walk ahead: hands over the pair numbered `number`, waiting
    // while the window is full. A pair the walk has reached already is
    // passed over. False when the window takes no more pairs (a stop).
    bool submit(uint64_t number, std::u16string src, std::u16string dst, uint64_t listed_size, uint64_t written);
    bool stopped() const { return cancel_; }
    // What a worker found of a pair: the destination's status (or the code
    // it failed with), and the comparison when the sizes (and with -t the
    // times) agreed.
    struct found_pair {
        bool status_taken = false;
        path_status_record status;
        uint32_t error = 0;
        std::optional<compare_record> record;
    };
    // The pair numbered `number`, which the walk has reached. Waits for its
    // worker, answering the run's stop polls meanwhile, and hands back what
    // the worker found; nullopt when it was not handed over (the walk ahead
    // is behind), the walk's order and the walk ahead's parted (then nothing
    // in flight is trusted any more), or on a stop (which drops every pair in
    // flight). A comparison is left out when a removal since touched one of
    // its files.
    std::optional<found_pair> take(uint64_t number, std::u16string_view src);
    // A removal changed the file of this identity: no comparison made before
    // it that read that file is taken.
    void note_removed(const platform::file_id& id);

private:
    struct pair_work;
    void work();
    unsigned char* take_large_buffers();
    void give_back_large_buffers(unsigned char* block);
    void drop_all();
    void start_walk_ahead();

    run_state& run_;
    const size_t width_;
    const size_t ahead_;
    compare_runner runner_;  // without buffers: each worker has its own
    std::function<void()> walk_ahead_;
    std::atomic<bool> open_{false};
    unsigned timed_ = 0;    // small pairs timed since the last decision
    unsigned waiting_ = 0;  // of them, those that took longer than WAITING_PAIR
    std::atomic<uint64_t> visited_{0};

    mutable std::mutex lock_;
    std::condition_variable work_;                  // a pair to start, or the end: the workers wait for it
    std::condition_variable done_;                  // a pair done: the walk waits for it
    std::condition_variable room_;                  // room in the window, or the end: the walk ahead waits for it
    std::deque<std::shared_ptr<pair_work>> pairs_;  // handed over, not yet taken, in the walk's order
    size_t started_ = 0;                            // of pairs_, the first ones a worker has taken up
    uint64_t awaited_ = UINT64_MAX;                 // the pair the walk waits for
    std::atomic<bool> cancel_{false};
    bool quit_ = false;
    std::deque<platform::file_id> removed_;  // noted removals, from number removals_dropped_ on
    size_t removals_noted_ = 0;
    size_t removals_dropped_ = 0;
    std::vector<unsigned char*> large_free_;  // large buffers not lent now
    size_t large_reserved_ = 0;
    std::vector<std::thread> threads_;
    std::thread walker_;
};

}  // namespace zub
