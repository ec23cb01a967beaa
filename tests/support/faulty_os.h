// A platform layer for tests that stands in front of the real one. By default
// it forwards every call (forwarding_os, so it overrides only the calls its
// rules touch); rules make chosen calls fail with a chosen OS error code, so
// that refused opens, failing reads, files that read shorter than
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
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/os_layers.h"

namespace zub::test {

class faulty_os : public forwarding_os {
public:
    faulty_os();

    // --- rules (code is an OS error code as the real layer would report it) ---
    // open_read and open_lock of the path fail.
    void fail_open(std::u16string path, uint32_t code);
    // The read that reaches `offset` of the file fails: the bytes before the
    // offset are put into the buffer (and counted in `got`), then the call
    // returns false with the code; every later read fails at once.
    void fail_read(std::u16string path, uint64_t offset, uint32_t code);
    // The file reads as if it ended at `length` (end of file there).
    void cut_at(std::u16string path, uint64_t length);
    // Deleting, clearing the read-only attribute of, or emptying the file fails.
    void fail_delete(std::u16string path, uint32_t code);
    void fail_set_read_only(std::u16string path, uint32_t code);
    void fail_truncate(std::u16string path, uint32_t code);
    void fail_find(std::u16string pattern, uint32_t code);
    void fail_open_write(std::u16string path, uint32_t code);
    // Writes to the file opened for writing from `path` fail (a full disk).
    void fail_write(std::u16string path, uint32_t code);
    // Runs `action` just before the first read of `path` (to change a file
    // between listing/comparison and a later step).
    void before_first_read(std::u16string path, std::function<void()> action);
    // Runs `action` once, just before the file is opened to be removed,
    // emptied or made writable (to swap something into its place).
    void before_change(std::u16string path, std::function<void()> action);

    // --- standard streams ---
    // Capture both standard streams (as redirected files unless pose_as_console).
    void capture_std_streams(bool pose_as_console = false);
    // Bytes written to a redirected stream, or text written to the console.
    const std::string& captured_bytes(platform::std_stream which) const;
    const std::u16string& console_text(platform::std_stream which) const;
    std::u16string last_title() const;

    // --- process ---
    void set_executable_path(std::u16string path);
    // Every path lies on storage of this kind.
    void report_storage(platform::storage_kind kind) { storage_ = kind; }
    // Every file opened for comparison is read around the cache (by default
    // none is, whatever the system below does).
    void read_around_cache() { around_cache_ = true; }
    void fail_executable_path();
    // Answers of the folder picker, in order; nullopt = cancel. The real
    // picker is never shown: a call beyond the script is cancelled.
    void script_picker(std::vector<std::optional<std::u16string>> answers);
    std::vector<std::pair<std::u16string, std::u16string>> picker_calls() const;

    // Calls seen (for asserting that something did not happen).
    int open_count(const std::u16string& path) const;
    // The most files open for reading at one time so far.
    int most_read_open() const;
    int read_calls() const;
    std::vector<uint32_t> read_sizes(const std::u16string& path) const;
    int delete_count() const;
    int sleep_calls() const;

    // --- platform::os: the calls the rules, the captures and the counters touch ---
    platform::search_handle find_first(std::u16string_view pattern, platform::find_entry& entry,
                                       uint32_t& error) override;
    bool entry_of(std::u16string_view path, platform::find_entry& entry, uint32_t& error) override;
    platform::file_handle open_read(std::u16string_view path, platform::read_mode mode, uint32_t& error) override;
    bool read(platform::file_handle file, void* buffer, uint32_t count, uint32_t& got, uint32_t& error) override;
    bool size_of(platform::file_handle file, uint64_t& size, uint32_t& error) override;
    bool state_of(platform::file_handle file, platform::file_state& state, uint32_t& error) override;
    platform::file_handle open_write(std::u16string_view path, platform::write_mode mode, uint32_t& error) override;
    bool write(platform::file_handle file, const void* data, size_t count, uint32_t& error) override;
    bool close(platform::file_handle file, uint32_t& error) override;
    platform::file_handle open_for_change(std::u16string_view path, platform::change_kind kind,
                                          uint32_t& error) override;
    bool set_read_only(platform::file_handle file, bool read_only, uint32_t& error) override;
    bool truncate_opened(platform::file_handle file, uint32_t& error) override;
    bool delete_opened(platform::file_handle file, std::u16string_view path, const platform::file_id& folder,
                       uint32_t& error) override;
    platform::lock_handle open_lock(std::u16string_view path, uint32_t& error) override;
    bool executable_path(std::u16string& out, uint32_t& error) override;
    bool reads_around_cache(platform::file_handle) override { return around_cache_; }
    platform::storage_kind storage_of(std::u16string_view path) override {
        return storage_ ? *storage_ : forwarding_os::storage_of(path);
    }
    void sleep_ms(uint32_t milliseconds) override;
    bool is_console(platform::std_stream which) override;
    // Posing as a console, the console is 80 columns wide.
    int console_columns(platform::std_stream which) override;
    bool console_write(platform::std_stream which, std::u16string_view text) override;
    platform::file_handle std_handle(platform::std_stream which) override;
    void set_console_title(std::u16string_view title) override;
    std::optional<std::u16string> pick_folder(std::u16string_view title, std::u16string_view initial) override;

private:
    // A file opened through this layer: the real handle behind the handle
    // given out, with the path and read offset the read rules act on.
    struct open_file {
        platform::file_handle real;
        std::u16string path;
        uint64_t offset = 0;
        bool reading = false;
    };
    struct read_failure {
        uint64_t offset = 0;
        uint32_t code = 0;
    };

    platform::file_handle add_open(platform::file_handle real, std::u16string_view path);
    open_file* find_open(platform::file_handle file);
    // Hands `code` back in `error` and returns false.
    static bool refuse(uint32_t& error, uint32_t code);
    template <class Map>
    static const uint32_t* rule_for(const Map& rules, std::u16string_view path);
    template <class Map>
    const uint32_t* rule_for_handle(const Map& rules, platform::file_handle file);
    // The real handle behind a handle of this layer.
    platform::file_handle real_of(platform::file_handle file);
    // Stores one rule under the layer's lock.
    template <class Map, class Value>
    void set_rule(Map& rules, std::u16string key, Value value) {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        rules[std::move(key)] = std::move(value);
    }

    // Calls may come from a worker thread, and a before_first_read action may
    // call back into this layer.
    mutable std::recursive_mutex lock_;

    std::map<std::u16string, uint32_t, std::less<>> open_fail_;
    std::map<std::u16string, read_failure, std::less<>> read_fail_;
    std::map<std::u16string, uint64_t, std::less<>> cut_;
    std::map<std::u16string, uint32_t, std::less<>> delete_fail_;
    std::map<std::u16string, uint32_t, std::less<>> read_only_fail_;
    std::map<std::u16string, uint32_t, std::less<>> truncate_fail_;
    std::map<std::u16string, uint32_t, std::less<>> find_fail_;
    std::map<std::u16string, uint32_t, std::less<>> write_open_fail_;
    std::map<std::u16string, uint32_t, std::less<>> write_fail_;
    std::map<std::u16string, std::function<void()>, std::less<>> first_read_actions_;
    std::map<std::u16string, std::function<void()>, std::less<>> change_actions_;

    std::map<intptr_t, open_file> open_files_;
    int read_open_ = 0, most_read_open_ = 0;
    intptr_t next_handle_ = 0x70000000;

    bool capturing_ = false;
    bool pose_as_console_ = false;
    std::string captured_[2];
    std::u16string console_[2];
    std::u16string title_;

    std::u16string exe_path_;
    bool exe_fail_ = false;
    std::optional<platform::storage_kind> storage_;
    bool around_cache_ = false;
    std::deque<std::optional<std::u16string>> picker_answers_;
    std::vector<std::pair<std::u16string, std::u16string>> picker_calls_;

    std::map<std::u16string, int, std::less<>> open_counts_;
    std::map<std::u16string, std::vector<uint32_t>, std::less<>> read_sizes_;
    int read_calls_ = 0;
    int delete_calls_ = 0;
    int sleep_calls_ = 0;
};

// Installs a layer for the lifetime of the scope and restores the previous one.
using faulty_os_scope = layer_scope;

}  // namespace zub::test
