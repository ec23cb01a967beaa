// Pairs compared ahead of the walk (pair_window.h).
#include "engine/pair_window.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "engine/pair_judgement.h"
#include "foundation/text_output.h"

namespace zub {

in_flight_plan pairs_in_flight(const run_state& run, std::u16string_view asked, std::u16string_view src_root,
                               std::u16string_view dst_root) {
    in_flight_plan plan{DEFAULT_PAIRS_IN_FLIGHT, !asked.empty(), false};
    if (!asked.empty()) {
        // A number, as typed; anything else keeps the default.
        const bool digits = asked.size() <= 4 &&
                            std::all_of(asked.begin(), asked.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
        size_t n = 0;
        for (char16_t c : asked) n = n * 10 + static_cast<size_t>(c - u'0');
        if (digits) plan.width = std::clamp<size_t>(n, 1, MOST_PAIRS_IN_FLIGHT);
    }
    const in_flight_plan one_at_a_time{1, false, false};
    if (plan.width <= 1 || run.load_level < 4) return one_at_a_time;
    if (run.options.find_all_diffs && run.options.long_log) return one_at_a_time;
    platform::os& os = platform::current();
    const platform::storage_kind src = os.storage_of(src_root);
    const platform::storage_kind dst = os.storage_of(dst_root);
    using platform::storage_kind;
    if (src == storage_kind::rotational || dst == storage_kind::rotational) return one_at_a_time;
    if (src == storage_kind::remote || dst == storage_kind::remote) plan.at_once = true;
    plan.list_destination = dst == storage_kind::remote;
    return plan;
}

// One pair handed over: what the walk knows of it, and what its worker found.
struct pair_window::pair_work {
    uint64_t number = 0;
    std::u16string src, dst;
    uint64_t listed_size = 0;
    uint64_t written = 0;
    // The removals noted before its worker started it: only later ones can
    // have touched the files it read.
    size_t removals_before = 0;
    // Set by the worker, read by the walk once `done` is (both under the lock).
    bool done = false;
    found_pair found;
};

pair_window::pair_window(run_state& run, size_t width)
    : run_(run), width_(std::max<size_t>(width, 2)), ahead_(width_ * PAIRS_AHEAD_PER_WORKER) {
    runner_.load_level = run.load_level;
    runner_.yield_each_block = run.options.yield_each_block;
    runner_.large_first_block = run.options.large_first_block;
    runner_.removes = run_removes(run);
    runner_.cancel = &cancel_;
}

pair_window::~pair_window() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        quit_ = true;
        cancel_ = true;
    }
    work_.notify_all();
    room_.notify_all();
    if (walker_.joinable()) walker_.join();
    for (std::thread& t : threads_) t.join();
    for (unsigned char* block : large_free_) release_block(block, 2 * size_t{WORKER_CHUNK_BYTES});
}

void pair_window::open_with(std::function<void()> walk_ahead, bool now) {
    walk_ahead_ = std::move(walk_ahead);
    if (now) start_walk_ahead();
}

void pair_window::start_walk_ahead() {
    // A system that will not start another thread leaves the window shut:
    // the walk goes on one pair at a time.
    try {
        walker_ = std::thread(walk_ahead_);
        open_ = true;
    } catch (const std::system_error&) {
        cancel_ = true;
    }
}

void pair_window::note_pair(uint64_t size, std::chrono::steady_clock::duration time, bool around_cache) {
    if (open_ || (size > SMALL_PAIR_BYTES && !around_cache)) return;
    // Most of them, not their average: one pair held up by something else
    // on the machine does not open the window.
    waiting_ += around_cache || time > WAITING_PAIR;
    if (++timed_ < PAIRS_TIMED) return;
    if (waiting_ >= PAIRS_TIMED * 3 / 4) start_walk_ahead();
    timed_ = 0;
    waiting_ = 0;
}

bool pair_window::submit(uint64_t number, std::u16string src, std::u16string dst, uint64_t listed_size,
                         uint64_t written) {
    if (number < visited_) return !cancel_;
    auto pair = std::make_shared<pair_work>();
    pair->number = number;
    pair->src = std::move(src);
    pair->dst = std::move(dst);
    pair->listed_size = listed_size;
    pair->written = written;
    {
        std::unique_lock<std::mutex> guard(lock_);
        // A full window is filled again in one go, once the walk has taken
        // a worker's worth of pairs, rather than a pair at every take.
        if (pairs_.size() >= ahead_) room_.wait(guard, [this] { return cancel_ || pairs_.size() + width_ <= ahead_; });
        if (cancel_) return false;
        if (number < visited_) return true;  // the walk got there first
        pairs_.push_back(std::move(pair));
        // A thread for each pair in flight, up to the width.
        // (The threads started so far do the work when no more will start.)
        if (threads_.size() < std::min(pairs_.size(), width_)) {
            try {
                threads_.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                if (threads_.empty()) {
                    pairs_.pop_back();
                    cancel_ = true;
                    return false;
                }
            }
        }
    }
    work_.notify_one();
    return true;
}

namespace {

// The two buffers of one read call of each side, in one block.
block_buffers buffers_in(unsigned char* block, uint32_t side) { return {block, block + side, side, side, nullptr}; }

}  // namespace

unsigned char* pair_window::take_large_buffers() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!large_free_.empty()) {
        unsigned char* block = large_free_.back();
        large_free_.pop_back();
        return block;
    }
    if (large_reserved_ >= LARGE_BUFFER_SETS) return nullptr;
    auto* block = static_cast<unsigned char*>(reserve_block(2 * size_t{WORKER_CHUNK_BYTES}));
    if (block != nullptr) ++large_reserved_;
    return block;
}

void pair_window::give_back_large_buffers(unsigned char* block) {
    std::lock_guard<std::mutex> guard(lock_);
    large_free_.push_back(block);
}

void pair_window::work() {
    // A worker's own small buffers, which hold only the pages the pairs
    // fill. A larger pair borrows large buffers from the window while some
    // are free, and otherwise goes through the small ones too.
    auto* small = static_cast<unsigned char*>(reserve_block(2 * size_t{WORKER_SMALL_BYTES}));
    compare_runner runner = runner_;
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        work_.wait(guard, [this] { return quit_ || started_ < pairs_.size(); });
        if (quit_) break;
        std::shared_ptr<pair_work> pair = pairs_[started_++];
        pair->removals_before = removals_noted_;
        guard.unlock();
        // As the walk will: the destination's status, then the bytes when
        // the pair is judged by them.
        found_pair found;
        found.status_taken = !cancel_ && path_status(pair->dst, found.status, found.error);
        if (found.status_taken && !found.status.is_folder() && small != nullptr && !cancel_ &&
            pair->listed_size <= LARGEST_WORKER_PAIR_BYTES &&
            judged_by_bytes(run_.options, static_cast<int64_t>(pair->listed_size), pair->written, found.status)) {
            unsigned char* large = pair->listed_size > WORKER_SMALL_BYTES ? take_large_buffers() : nullptr;
            runner.buffers =
                large != nullptr ? buffers_in(large, WORKER_CHUNK_BYTES) : buffers_in(small, WORKER_SMALL_BYTES);
            found.record = compare_files_ahead(runner, pair->src, pair->dst, pair->listed_size);
            if (large != nullptr) give_back_large_buffers(large);
            if (found.record->result.kind == outcome::stopped) found.record.reset();
        }
        guard.lock();
        pair->found = found;
        pair->done = true;
        // The walk is woken for the pair it waits for, not for every pair
        // (and for each one while it drops them all).
        if (pair->number == awaited_ || cancel_) done_.notify_all();
    }
    guard.unlock();
    if (small != nullptr) release_block(small, 2 * size_t{WORKER_SMALL_BYTES});
}

std::optional<pair_window::found_pair> pair_window::take(uint64_t number, std::u16string_view src) {
    std::unique_lock<std::mutex> guard(lock_);
    // Pairs the walk has passed (it reached them before the walk ahead did)
    // go unused.
    while (!pairs_.empty() && pairs_.front()->number < number) {
        pairs_.pop_front();
        if (started_ > 0) --started_;
    }
    room_.notify_one();
    if (pairs_.empty() || pairs_.front()->number != number) return std::nullopt;
    const std::shared_ptr<pair_work> pair = pairs_.front();
    if (pair->src != src) {
        // The walk's order and the walk ahead's have parted.
        guard.unlock();
        drop_all();
        return std::nullopt;
    }
    // Waits in short steps, so that a stop request is seen promptly.
    awaited_ = number;
    while (!pair->done) {
        done_.wait_for(guard, std::chrono::milliseconds(20));
        if (!pair->done) {
            guard.unlock();
            const bool stop = run_.stop_requested();
            guard.lock();
            if (stop) {
                guard.unlock();
                drop_all();
                return std::nullopt;
            }
        }
    }
    pairs_.pop_front();
    --started_;
    room_.notify_one();
    found_pair found = pair->found;
    const size_t later = pair->removals_before - std::min(pair->removals_before, removals_dropped_);
    if (found.record && std::any_of(removed_.begin() + static_cast<std::ptrdiff_t>(later), removed_.end(),
                                    [&](const platform::file_id& id) {
                                        return id == found.record->src_state.id || id == found.record->dst_state.id;
                                    }))
        found.record.reset();
    // Removals noted before the oldest pair still in flight started are of
    // no more use. (Pairs start in the walk's order.)
    const size_t needed = started_ > 0 ? pairs_.front()->removals_before : removals_noted_;
    while (removals_dropped_ < needed && !removed_.empty()) {
        removed_.pop_front();
        ++removals_dropped_;
    }
    return found;
}

void pair_window::note_removed(const platform::file_id& id) {
    std::lock_guard<std::mutex> guard(lock_);
    removed_.push_back(id);
    ++removals_noted_;
}

void pair_window::drop_all() {
    std::unique_lock<std::mutex> guard(lock_);
    cancel_ = true;
    room_.notify_all();
    // Pairs a worker has taken up finish soon (they heed the cancel flag
    // between reads); the others are never started.
    pairs_.erase(pairs_.begin() + static_cast<std::ptrdiff_t>(started_), pairs_.end());
    done_.wait(guard,
               [this] { return std::all_of(pairs_.begin(), pairs_.end(), [](const auto& p) { return p->done; }); });
    pairs_.clear();
    started_ = 0;
}

}  // namespace zub
