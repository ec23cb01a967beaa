// The fault-injecting platform layer: forwards every call to the native layer
// unless a rule for the exact path says otherwise. Files opened through it get
// handles of their own that map to the real handles, so that the layer knows
// the path and read offset of each and can make reads fail or end early. The
// two standard streams can be captured (as redirected files, or posing as
// consoles); the folder picker never reaches the real one (unscripted calls
// answer "cancelled"), so tests cannot block on a prompt or a dialog.
#include "tests/support/faulty_os.h"

#include <algorithm>

namespace zub::test {

using handle = platform::file_handle;
using platform::INVALID_HANDLE;
using platform::std_stream;

namespace {

constexpr intptr_t STD_OUTPUT_ID = 0x6F000001;
constexpr intptr_t STD_ERROR_ID = 0x6F000002;
// The code of a handle that is not open: EBADF (9) on POSIX,
// ERROR_INVALID_HANDLE (6) on Windows.
uint32_t invalid_handle_code() { return platform::native_path_style() == platform::path_style::posix ? 9u : 6u; }

int index_of(std_stream which) { return which == std_stream::output ? 0 : 1; }

}  // namespace

faulty_os::faulty_os() : forwarding_os(&platform::native_os()) {}

bool faulty_os::refuse(uint32_t& error, uint32_t code) {
    error = code;
    return false;
}

template <class Map>
const uint32_t* faulty_os::rule_for(const Map& rules, std::u16string_view path) {
    const auto it = rules.find(path);
    return it == rules.end() ? nullptr : &it->second;
}

handle faulty_os::add_open(handle real, std::u16string_view path) {
    if (!real.valid()) return real;
    const intptr_t id = next_handle_++;
    open_files_[id] = open_file{real, std::u16string(path), 0};
    return handle{id};
}

faulty_os::open_file* faulty_os::find_open(handle file) {
    const auto it = open_files_.find(file.value);
    return it == open_files_.end() ? nullptr : &it->second;
}

// ---- rules ----

void faulty_os::fail_open(std::u16string path, uint32_t code) { set_rule(open_fail_, std::move(path), code); }
void faulty_os::fail_read(std::u16string path, uint64_t offset, uint32_t code) {
    set_rule(read_fail_, std::move(path), read_failure{offset, code});
}
void faulty_os::cut_at(std::u16string path, uint64_t length) { set_rule(cut_, std::move(path), length); }
void faulty_os::fail_delete(std::u16string path, uint32_t code) { set_rule(delete_fail_, std::move(path), code); }
void faulty_os::fail_set_read_only(std::u16string path, uint32_t code) {
    set_rule(read_only_fail_, std::move(path), code);
}
void faulty_os::fail_truncate(std::u16string path, uint32_t code) { set_rule(truncate_fail_, std::move(path), code); }
void faulty_os::fail_find(std::u16string pattern, uint32_t code) { set_rule(find_fail_, std::move(pattern), code); }
void faulty_os::fail_open_write(std::u16string path, uint32_t code) {
    set_rule(write_open_fail_, std::move(path), code);
}
void faulty_os::before_first_read(std::u16string path, std::function<void()> action) {
    set_rule(first_read_actions_, std::move(path), std::move(action));
}
void faulty_os::before_change(std::u16string path, std::function<void()> action) {
    set_rule(change_actions_, std::move(path), std::move(action));
}
void faulty_os::fail_write(std::u16string path, uint32_t code) { set_rule(write_fail_, std::move(path), code); }

// ---- standard streams and process ----

void faulty_os::capture_std_streams(bool pose_as_console) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    capturing_ = true;
    pose_as_console_ = pose_as_console;
}
const std::string& faulty_os::captured_bytes(std_stream which) const { return captured_[index_of(which)]; }
const std::u16string& faulty_os::console_text(std_stream which) const { return console_[index_of(which)]; }
std::u16string faulty_os::last_title() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return title_;
}
void faulty_os::set_executable_path(std::u16string path) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    exe_path_ = std::move(path);
}
void faulty_os::fail_executable_path() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    exe_fail_ = true;
}
void faulty_os::script_picker(std::vector<std::optional<std::u16string>> answers) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    picker_answers_.assign(answers.begin(), answers.end());
}
std::vector<std::pair<std::u16string, std::u16string>> faulty_os::picker_calls() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return picker_calls_;
}

int faulty_os::open_count(const std::u16string& path) const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const auto it = open_counts_.find(path);
    return it == open_counts_.end() ? 0 : it->second;
}
int faulty_os::most_read_open() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return most_read_open_;
}
int faulty_os::read_calls() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return read_calls_;
}
std::vector<uint32_t> faulty_os::read_sizes(const std::u16string& path) const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const auto it = read_sizes_.find(path);
    return it == read_sizes_.end() ? std::vector<uint32_t>{} : it->second;
}
int faulty_os::delete_count() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return delete_calls_;
}
int faulty_os::sleep_calls() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return sleep_calls_;
}

// ---- platform::os ----

platform::search_handle faulty_os::find_first(std::u16string_view pattern, platform::find_entry& entry,
                                              uint32_t& error) {
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        if (const uint32_t* code = rule_for(find_fail_, pattern)) return fail(error, *code, INVALID_HANDLE);
    }
    return next_->find_first(pattern, entry, error);
}

bool faulty_os::entry_of(std::u16string_view path, platform::find_entry& entry, uint32_t& error) {
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        if (const uint32_t* code = rule_for(find_fail_, path)) return fail(error, *code, false);
    }
    return next_->entry_of(path, entry, error);
}

handle faulty_os::open_read(std::u16string_view path, platform::read_mode mode, uint32_t& error) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    ++open_counts_[std::u16string(path)];
    if (const uint32_t* code = rule_for(open_fail_, path)) {
        refuse(error, *code);
        return INVALID_HANDLE;
    }
    const handle file = add_open(next_->open_read(path, mode, error), path);
    if (file.valid()) {
        open_files_[file.value].reading = true;
        most_read_open_ = std::max(most_read_open_, ++read_open_);
    }
    return file;
}

bool faulty_os::read(handle file, void* buffer, uint32_t count, uint32_t& got, uint32_t& error) {
    std::unique_lock<std::recursive_mutex> guard(lock_);
    got = 0;
    open_file* open = find_open(file);
    if (!open) {
        guard.unlock();
        return next_->read(file, buffer, count, got, error);
    }
    ++read_calls_;
    read_sizes_[open->path].push_back(count);

    const auto action = first_read_actions_.find(open->path);
    if (action != first_read_actions_.end()) {
        std::function<void()> run = std::move(action->second);
        first_read_actions_.erase(action);
        // Run without the lock: the action may wait for another thread that
        // uses this layer.
        guard.unlock();
        if (run) run();
        guard.lock();
        open = find_open(file);  // the table may have changed meanwhile
        if (!open) return refuse(error, invalid_handle_code());
    }

    uint32_t wanted = count;
    if (const auto cut = cut_.find(open->path); cut != cut_.end()) {
        const uint64_t left = cut->second > open->offset ? cut->second - open->offset : 0;
        wanted = static_cast<uint32_t>(std::min<uint64_t>(wanted, left));
    }
    const read_failure* failure = nullptr;
    if (const auto f = read_fail_.find(open->path); f != read_fail_.end()) {
        if (open->offset + wanted > f->second.offset || open->offset >= f->second.offset) failure = &f->second;
    }
    if (failure) {
        // The bytes before the failing offset reach the buffer, then the read fails.
        const uint32_t before =
            failure->offset > open->offset ? static_cast<uint32_t>(failure->offset - open->offset) : 0;
        uint32_t delivered = 0;
        if (before > 0 && !next_->read(open->real, buffer, before, delivered, error)) return false;
        open->offset += delivered;
        got = delivered;
        if (delivered < before) return true;  // the file ended before the failing offset
        return refuse(error, failure->code);
    }
    if (wanted == 0) return true;
    const bool ok = next_->read(open->real, buffer, wanted, got, error);
    open->offset += got;
    return ok;
}

bool faulty_os::size_of(handle file, uint64_t& size, uint32_t& error) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return next_->size_of(real_of(file), size, error);
}

bool faulty_os::state_of(handle file, platform::file_state& state, uint32_t& error) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return next_->state_of(real_of(file), state, error);
}

handle faulty_os::open_write(std::u16string_view path, platform::write_mode mode, uint32_t& error) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (const uint32_t* code = rule_for(write_open_fail_, path)) {
        refuse(error, *code);
        return INVALID_HANDLE;
    }
    return add_open(next_->open_write(path, mode, error), path);
}

bool faulty_os::write(handle file, const void* data, size_t count, uint32_t& error) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (capturing_ && (file.value == STD_OUTPUT_ID || file.value == STD_ERROR_ID)) {
        captured_[file.value == STD_OUTPUT_ID ? 0 : 1].append(static_cast<const char*>(data), count);
        return true;
    }
    if (open_file* open = find_open(file)) {
        if (const uint32_t* code = rule_for(write_fail_, open->path)) return refuse(error, *code);
        const bool ok = next_->write(open->real, data, count, error);
        if (ok) open->offset += count;
        return ok;
    }
    return next_->write(file, data, count, error);
}

bool faulty_os::close(handle file, uint32_t& error) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (file.value == STD_OUTPUT_ID || file.value == STD_ERROR_ID) return true;
    const auto it = open_files_.find(file.value);
    if (it == open_files_.end()) return next_->close(file, error);
    const handle real = it->second.real;
    read_open_ -= it->second.reading;
    open_files_.erase(it);
    return next_->close(real, error);
}

handle faulty_os::open_for_change(std::u16string_view path, platform::change_kind kind, uint32_t& error) {
    std::unique_lock<std::recursive_mutex> guard(lock_);
    const auto action = change_actions_.find(path);
    if (action != change_actions_.end()) {
        std::function<void()> run = std::move(action->second);
        change_actions_.erase(action);
        guard.unlock();
        if (run) run();
        guard.lock();
    }
    return add_open(next_->open_for_change(path, kind, error), path);
}

// The rule of the path a handle was opened from; nullptr when none applies.
template <class Map>
const uint32_t* faulty_os::rule_for_handle(const Map& rules, handle file) {
    open_file* open = find_open(file);
    return open ? rule_for(rules, open->path) : nullptr;
}

handle faulty_os::real_of(handle file) {
    open_file* open = find_open(file);
    return open ? open->real : file;
}

bool faulty_os::set_read_only(handle file, bool read_only, uint32_t& error) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (const uint32_t* code = rule_for_handle(read_only_fail_, file)) return fail(error, *code, false);
    return next_->set_read_only(real_of(file), read_only, error);
}

bool faulty_os::truncate_opened(handle file, uint32_t& error) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (const uint32_t* code = rule_for_handle(truncate_fail_, file)) return fail(error, *code, false);
    return next_->truncate_opened(real_of(file), error);
}

bool faulty_os::delete_opened(handle file, std::u16string_view path, const platform::file_id& folder, uint32_t& error) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    ++delete_calls_;
    if (const uint32_t* code = rule_for(delete_fail_, path)) return fail(error, *code, false);
    return next_->delete_opened(real_of(file), path, folder, error);
}

platform::lock_handle faulty_os::open_lock(std::u16string_view path, uint32_t& error) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    ++open_counts_[std::u16string(path)];
    if (const uint32_t* code = rule_for(open_fail_, path)) return fail(error, *code, INVALID_HANDLE);
    // The lock is passed through as it is: no rule acts on its handle.
    return next_->open_lock(path, error);
}

bool faulty_os::executable_path(std::u16string& out, uint32_t& error) {
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        if (exe_fail_) return fail(error, platform::ERR_FILE_NOT_FOUND, false);
        if (!exe_path_.empty()) {
            out = exe_path_;
            return true;
        }
    }
    return next_->executable_path(out, error);
}

void faulty_os::sleep_ms(uint32_t milliseconds) {
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        ++sleep_calls_;
    }
    next_->sleep_ms(milliseconds);
}

bool faulty_os::is_console(std_stream which) {
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        if (capturing_) return pose_as_console_;
    }
    return next_->is_console(which);
}

int faulty_os::console_columns(std_stream which) {
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        if (capturing_) return pose_as_console_ ? 80 : 0;
    }
    return next_->console_columns(which);
}

bool faulty_os::console_write(std_stream which, std::u16string_view text) {
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        if (capturing_) {
            console_[index_of(which)].append(text);
            return true;
        }
    }
    return next_->console_write(which, text);
}

handle faulty_os::std_handle(std_stream which) {
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        if (capturing_) return handle{which == std_stream::output ? STD_OUTPUT_ID : STD_ERROR_ID};
    }
    return next_->std_handle(which);
}

void faulty_os::set_console_title(std::u16string_view title) {
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        title_ = std::u16string(title);
        if (capturing_) return;
    }
    next_->set_console_title(title);
}

std::optional<std::u16string> faulty_os::pick_folder(std::u16string_view title, std::u16string_view initial) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    picker_calls_.emplace_back(std::u16string(title), std::u16string(initial));
    if (picker_answers_.empty()) return std::nullopt;
    std::optional<std::u16string> answer = std::move(picker_answers_.front());
    picker_answers_.pop_front();
    return answer;
}

}  // namespace zub::test
