// A platform layer for tests that stands in front of the real one. By default
// it forwards every call; rules make chosen calls fail with a chosen OS error
// code, so that refused opens, failing reads, files that read shorter than
// listed, refused deletes and attribute changes, and folders that cannot be
// listed are tested as root and on every platform. It can also capture the
// two standard streams, pose as a console, stand in for the executable path
// and answer the folder picker from a script.
//
// Paths in rules are matched exactly against the path the caller passes
// (find patterns included). Install with `faulty_os_scope`.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zub::test {

class faulty_os : public platform::os {
public:
    faulty_os();

    // --- rules (code is an OS error code as the real layer would report it) ---
    void fail_open(std::u16string path, uint32_t code) { open_fail_[std::move(path)] = code; }
    // The read that reaches `offset` of the file fails (the bytes before it are delivered first).
    void fail_read(std::u16string path, uint64_t offset, uint32_t code) { read_fail_[std::move(path)] = {offset, code}; }
    // The file reads as if it ended at `length` (end of file there).
    void cut_at(std::u16string path, uint64_t length) { cut_[std::move(path)] = length; }
    void fail_delete(std::u16string path, uint32_t code) { delete_fail_[std::move(path)] = code; }
    void fail_set_attributes(std::u16string path, uint32_t code) { setattr_fail_[std::move(path)] = code; }
    void fail_truncate(std::u16string path, uint32_t code) { truncate_fail_[std::move(path)] = code; }
    void fail_find(std::u16string pattern, uint32_t code) { find_fail_[std::move(pattern)] = code; }
    void fail_open_write(std::u16string path, uint32_t code) { write_open_fail_[std::move(path)] = code; }
    // Runs `action` just before the first read of `path` (to change a file
    // between listing/comparison and a later step).
    void before_first_read(std::u16string path, std::function<void()> action);

    // --- standard streams ---
    // Capture both standard streams (as redirected files unless pose_as_console).
    void capture_std_streams(bool pose_as_console = false);
    // Bytes written to a redirected stream, or text written to the console.
    const std::string& captured_bytes(platform::std_stream which) const;
    const std::u16string& console_text(platform::std_stream which) const;
    std::u16string last_title() const { return title_; }

    // --- process ---
    void set_executable_path(std::u16string path) { exe_path_ = std::move(path); }
    void fail_executable_path() { exe_fail_ = true; }
    // Answers of the folder picker, in order; nullopt = cancel.
    void script_picker(std::vector<std::optional<std::u16string>> answers);
    const std::vector<std::pair<std::u16string, std::u16string>>& picker_calls() const { return picker_calls_; }

    // Calls seen (for asserting that something did not happen).
    int open_count(const std::u16string& path) const;
    int read_calls() const { return read_calls_; }
    std::vector<uint32_t> read_sizes(const std::u16string& path) const;
    int delete_count() const { return delete_calls_; }
    int sleep_calls() const { return sleep_calls_; }

    // --- platform::os ---
    platform::handle find_first(std::u16string_view pattern, platform::find_entry& entry) override;
    bool find_next(platform::handle search, platform::find_entry& entry) override;
    bool find_close(platform::handle search) override;
    uint32_t get_attributes(std::u16string_view path) override;
    bool set_attributes(std::u16string_view path, uint32_t attributes) override;
    bool full_path(std::u16string_view name, std::u16string& out, bool* has_file_part) override;
    bool file_identity(std::u16string_view path, platform::file_id& id) override;
    platform::handle open_read(std::u16string_view path, platform::read_mode mode) override;
    bool read(platform::handle file, void* buffer, uint32_t count, uint32_t& got) override;
    bool size_of(platform::handle file, uint64_t& size) override;
    platform::handle open_write(std::u16string_view path, platform::write_mode mode) override;
    bool write(platform::handle file, const void* data, size_t count) override;
    bool close(platform::handle file) override;
    bool delete_file(std::u16string_view path) override;
    bool truncate_file(std::u16string_view path) override;
    platform::handle open_lock(std::u16string_view path) override;
    bool can_write(std::u16string_view path) override;
    bool current_dir(std::u16string& out) override;
    bool set_current_dir(std::u16string_view path) override;
    bool executable_path(std::u16string& out) override;
    std::u16string profile_read(std::u16string_view section, std::u16string_view key,
                                std::u16string_view file) override;
    bool profile_write(std::u16string_view section, std::u16string_view key, std::u16string_view value,
                       std::u16string_view file) override;
    void* reserve_pages(size_t bytes) override;
    bool release_pages(void* block, size_t bytes) override;
    std::u16string error_text(uint32_t code) override;
    std::u16string errno_text(int number) override;
    bool local_time(platform::file_time time, platform::system_time& out) override;
    void sleep_ms(uint32_t milliseconds) override;
    bool is_console(platform::std_stream which) override;
    bool console_write(platform::std_stream which, std::u16string_view text) override;
    platform::handle std_handle(platform::std_stream which) override;
    void set_console_title(std::u16string_view title) override;
    std::optional<std::u16string> pick_folder(std::u16string_view title, std::u16string_view initial) override;

private:
    // implementation detail members are declared in faulty_os.cpp's needs
    struct open_file;
    platform::os& real_;
    // (filled in by the implementation)
};

// Installs a layer for the lifetime of the scope and restores the previous one.
class faulty_os_scope {
public:
    explicit faulty_os_scope(platform::os& layer) : previous_(platform::install(&layer)) {}
    ~faulty_os_scope() { platform::install(previous_); }
    faulty_os_scope(const faulty_os_scope&) = delete;
    faulty_os_scope& operator=(const faulty_os_scope&) = delete;

private:
    platform::os* previous_;
};

}  // namespace zub::test
