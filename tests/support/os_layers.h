// Bases for the platform layers tests put in front of the real one, so that a
// layer overrides only the calls it changes: forwarding_os passes every call
// to the layer behind it (the fault layer), refusing_os fails every call the
// way a layer without a file system would (the table layer). layer_scope
// installs a layer for the lifetime of a scope.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace zub::test {

class forwarding_os : public platform::os {
public:
    explicit forwarding_os(platform::os& next) : next_(next) {}

    platform::handle find_first(std::u16string_view pattern, platform::find_entry& entry) override {
        return next_.find_first(pattern, entry);
    }
    bool find_next(platform::handle search, platform::find_entry& entry) override {
        return next_.find_next(search, entry);
    }
    bool find_close(platform::handle search) override { return next_.find_close(search); }
    bool entry_of(std::u16string_view path, platform::find_entry& entry) override {
        return next_.entry_of(path, entry);
    }
    uint32_t get_attributes(std::u16string_view path) override { return next_.get_attributes(path); }
    bool set_attributes(std::u16string_view path, uint32_t attributes) override {
        return next_.set_attributes(path, attributes);
    }
    bool full_path(std::u16string_view name, std::u16string& out, bool* has_file_part) override {
        return next_.full_path(name, out, has_file_part);
    }
    bool file_identity(std::u16string_view path, platform::file_id& id) override {
        return next_.file_identity(path, id);
    }
    bool path_state(std::u16string_view path, platform::file_state& state) override {
        return next_.path_state(path, state);
    }
    platform::handle open_read(std::u16string_view path, platform::read_mode mode) override {
        return next_.open_read(path, mode);
    }
    bool read(platform::handle file, void* buffer, uint32_t count, uint32_t& got) override {
        return next_.read(file, buffer, count, got);
    }
    bool size_of(platform::handle file, uint64_t& size) override { return next_.size_of(file, size); }
    bool state_of(platform::handle file, platform::file_state& state) override { return next_.state_of(file, state); }
    platform::handle open_write(std::u16string_view path, platform::write_mode mode) override {
        return next_.open_write(path, mode);
    }
    bool write(platform::handle file, const void* data, size_t count) override {
        return next_.write(file, data, count);
    }
    bool close(platform::handle file) override { return next_.close(file); }
    platform::handle open_for_change(std::u16string_view path) override { return next_.open_for_change(path); }
    bool set_read_only(platform::handle file, bool read_only) override { return next_.set_read_only(file, read_only); }
    bool truncate_opened(platform::handle file) override { return next_.truncate_opened(file); }
    bool delete_opened(platform::handle file, std::u16string_view path, const platform::file_id& folder) override {
        return next_.delete_opened(file, path, folder);
    }
    platform::handle open_lock(std::u16string_view path) override { return next_.open_lock(path); }
    bool can_write(std::u16string_view path) override { return next_.can_write(path); }
    bool current_dir(std::u16string& out) override { return next_.current_dir(out); }
    bool set_current_dir(std::u16string_view path) override { return next_.set_current_dir(path); }
    bool executable_path(std::u16string& out) override { return next_.executable_path(out); }
    std::u16string profile_read(std::u16string_view section, std::u16string_view key,
                                std::u16string_view file) override {
        return next_.profile_read(section, key, file);
    }
    bool profile_write(std::u16string_view section, std::u16string_view key, std::u16string_view value,
                       std::u16string_view file) override {
        return next_.profile_write(section, key, value, file);
    }
    void* reserve_pages(size_t bytes) override { return next_.reserve_pages(bytes); }
    bool release_pages(void* block, size_t bytes) override { return next_.release_pages(block, bytes); }
    std::u16string error_text(uint32_t code) override { return next_.error_text(code); }
    std::u16string errno_text(int number) override { return next_.errno_text(number); }
    bool local_time(platform::file_time time, platform::system_time& out) override {
        return next_.local_time(time, out);
    }
    void sleep_ms(uint32_t milliseconds) override { next_.sleep_ms(milliseconds); }
    bool is_console(platform::std_stream which) override { return next_.is_console(which); }
    bool console_write(platform::std_stream which, std::u16string_view text) override {
        return next_.console_write(which, text);
    }
    platform::handle std_handle(platform::std_stream which) override { return next_.std_handle(which); }
    void set_console_title(std::u16string_view title) override { next_.set_console_title(title); }
    std::optional<std::u16string> pick_folder(std::u16string_view title, std::u16string_view initial) override {
        return next_.pick_folder(title, initial);
    }

protected:
    platform::os& next_;
};

// Calls that act or ask about a file fail with ERR_ACCESS_DENIED as the
// thread's last error; the rest answer "nothing" (no text, no memory, no
// console) and leave the last error alone.
class refusing_os : public platform::os {
public:
    platform::handle find_first(std::u16string_view, platform::find_entry&) override {
        return refuse(platform::INVALID_HANDLE);
    }
    bool find_next(platform::handle, platform::find_entry&) override { return refuse(false); }
    bool find_close(platform::handle) override { return refuse(false); }
    bool entry_of(std::u16string_view, platform::find_entry&) override { return refuse(false); }
    uint32_t get_attributes(std::u16string_view) override { return refuse(platform::INVALID_ATTRIBUTES); }
    bool set_attributes(std::u16string_view, uint32_t) override { return refuse(false); }
    bool full_path(std::u16string_view, std::u16string&, bool*) override { return refuse(false); }
    bool file_identity(std::u16string_view, platform::file_id&) override { return refuse(false); }
    bool path_state(std::u16string_view, platform::file_state&) override { return refuse(false); }
    platform::handle open_read(std::u16string_view, platform::read_mode) override {
        return refuse(platform::INVALID_HANDLE);
    }
    bool read(platform::handle, void*, uint32_t, uint32_t&) override { return refuse(false); }
    bool size_of(platform::handle, uint64_t&) override { return refuse(false); }
    bool state_of(platform::handle, platform::file_state&) override { return refuse(false); }
    platform::handle open_write(std::u16string_view, platform::write_mode) override {
        return refuse(platform::INVALID_HANDLE);
    }
    bool write(platform::handle, const void*, size_t) override { return refuse(false); }
    bool close(platform::handle) override { return refuse(false); }
    platform::handle open_for_change(std::u16string_view) override { return refuse(platform::INVALID_HANDLE); }
    bool set_read_only(platform::handle, bool) override { return refuse(false); }
    bool truncate_opened(platform::handle) override { return refuse(false); }
    bool delete_opened(platform::handle, std::u16string_view, const platform::file_id&) override {
        return refuse(false);
    }
    platform::handle open_lock(std::u16string_view) override { return refuse(platform::INVALID_HANDLE); }
    bool can_write(std::u16string_view) override { return false; }
    bool current_dir(std::u16string&) override { return refuse(false); }
    bool set_current_dir(std::u16string_view) override { return refuse(false); }
    bool executable_path(std::u16string&) override { return refuse(false); }
    std::u16string profile_read(std::u16string_view, std::u16string_view, std::u16string_view) override { return {}; }
    bool profile_write(std::u16string_view, std::u16string_view, std::u16string_view, std::u16string_view) override {
        return refuse(false);
    }
    void* reserve_pages(size_t) override { return nullptr; }
    bool release_pages(void*, size_t) override { return false; }
    std::u16string error_text(uint32_t) override { return {}; }
    std::u16string errno_text(int) override { return {}; }
    bool local_time(platform::file_time, platform::system_time&) override { return false; }
    void sleep_ms(uint32_t) override {}
    bool is_console(platform::std_stream) override { return false; }
    bool console_write(platform::std_stream, std::u16string_view) override { return false; }
    platform::handle std_handle(platform::std_stream) override { return platform::INVALID_HANDLE; }
    void set_console_title(std::u16string_view) override {}
    std::optional<std::u16string> pick_folder(std::u16string_view, std::u16string_view) override {
        return std::nullopt;
    }

protected:
    // Sets ERR_ACCESS_DENIED as the thread's last error and returns `value`.
    template <typename T>
    static T refuse(T value) {
        platform::set_last_error(platform::ERR_ACCESS_DENIED);
        return value;
    }
};

// Installs a layer for the lifetime of the scope and restores the previous one.
class layer_scope {
public:
    explicit layer_scope(platform::os& layer) : previous_(platform::install(&layer)) {}
    ~layer_scope() { platform::install(previous_); }
    layer_scope(const layer_scope&) = delete;
    layer_scope& operator=(const layer_scope&) = delete;

private:
    platform::os* previous_;
};

}  // namespace zub::test
