// The base of the platform layers tests put in front of the real one, so that
// a layer overrides only the calls it changes. forwarding_os passes every call
// to the layer behind it (the fault layer stands before the native one); with
// no layer behind it, it refuses every call as a system without files would
// (the table layer answers a few calls from its tables and lets the base
// refuse the rest). layer_scope installs a layer for the lifetime of a scope.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace zub::test {

class forwarding_os : public platform::os {
protected:
    using handle = platform::file_handle;
    using search = platform::search_handle;
    using sv = std::u16string_view;
    using u16 = std::u16string;
    using entry = platform::find_entry;
    using state = platform::file_state;
    static constexpr auto NO_HANDLE = platform::INVALID_HANDLE;

public:
    // `next` is the layer behind this one; nullptr: none, every call is refused.
    explicit forwarding_os(platform::os* next) : next_(next) {}

    search find_first(sv pattern, entry& e, uint32_t& error) override {
        return next_ ? next_->find_first(pattern, e, error) : refuse(error, NO_HANDLE);
    }
    bool find_next(search s, entry& e, uint32_t& error) override {
        return next_ ? next_->find_next(s, e, error) : refuse(error, false);
    }
    bool find_close(search s, uint32_t& error) override {
        return next_ ? next_->find_close(s, error) : refuse(error, false);
    }
    bool entry_of(sv path, entry& e, uint32_t& error) override {
        return next_ ? next_->entry_of(path, e, error) : refuse(error, false);
    }
    platform::attr_bits get_attributes(sv path, uint32_t& error) override {
        return next_ ? next_->get_attributes(path, error) : refuse(error, platform::INVALID_ATTRIBUTES);
    }
    bool full_path(sv name, u16& out, bool* has_file_part, uint32_t& error) override {
        return next_ ? next_->full_path(name, out, has_file_part, error) : refuse(error, false);
    }
    bool file_identity(sv path, platform::file_id& id) override { return next_ && next_->file_identity(path, id); }
    bool path_state(sv path, state& s, uint32_t& error) override {
        return next_ ? next_->path_state(path, s, error) : refuse(error, false);
    }
    handle open_read(sv path, platform::read_mode mode, uint32_t& error) override {
        return next_ ? next_->open_read(path, mode, error) : refuse(error, NO_HANDLE);
    }
    bool read(handle file, void* buffer, uint32_t count, uint32_t& got, uint32_t& error) override {
        return next_ ? next_->read(file, buffer, count, got, error) : refuse(error, false);
    }
    bool reads_around_cache(handle file) override { return next_ && next_->reads_around_cache(file); }
    bool size_of(handle file, uint64_t& size, uint32_t& error) override {
        return next_ ? next_->size_of(file, size, error) : refuse(error, false);
    }
    bool state_of(handle file, state& s, uint32_t& error) override {
        return next_ ? next_->state_of(file, s, error) : refuse(error, false);
    }
    handle open_write(sv path, platform::write_mode mode, uint32_t& error) override {
        return next_ ? next_->open_write(path, mode, error) : refuse(error, NO_HANDLE);
    }
    bool write(handle file, const void* data, size_t count, uint32_t& error) override {
        return next_ ? next_->write(file, data, count, error) : refuse(error, false);
    }
    bool close(handle file, uint32_t& error) override {
        return next_ ? next_->close(file, error) : refuse(error, false);
    }
    handle open_for_change(sv path, platform::change_kind kind, uint32_t& error) override {
        return next_ ? next_->open_for_change(path, kind, error) : refuse(error, NO_HANDLE);
    }
    bool set_read_only(handle file, bool on, uint32_t& error) override {
        return next_ ? next_->set_read_only(file, on, error) : refuse(error, false);
    }
    bool truncate_opened(handle file, uint32_t& error) override {
        return next_ ? next_->truncate_opened(file, error) : refuse(error, false);
    }
    bool delete_opened(handle file, sv path, const platform::file_id& folder, uint32_t& error) override {
        return next_ ? next_->delete_opened(file, path, folder, error) : refuse(error, false);
    }
    platform::lock_handle open_lock(sv path, uint32_t& error) override {
        return next_ ? next_->open_lock(path, error) : refuse(error, NO_HANDLE);
    }
    bool release_lock(platform::lock_handle lock) override { return next_ && next_->release_lock(lock); }
    bool can_write(sv path) override { return next_ && next_->can_write(path); }
    platform::storage_kind storage_of(sv path) override {
        return next_ ? next_->storage_of(path) : platform::storage_kind::other;
    }
    bool current_dir(u16& out) override { return next_ && next_->current_dir(out); }
    bool set_current_dir(sv path) override { return next_ && next_->set_current_dir(path); }
    bool executable_path(u16& out, uint32_t& error) override {
        return next_ ? next_->executable_path(out, error) : refuse(error, false);
    }
    u16 profile_read(sv section, sv key, sv file) override {
        return next_ ? next_->profile_read(section, key, file) : u16();
    }
    bool profile_write(sv section, sv key, sv value, sv file) override {
        return next_ && next_->profile_write(section, key, value, file);
    }
    void* reserve_pages(size_t bytes) override { return next_ ? next_->reserve_pages(bytes) : nullptr; }
    bool release_pages(void* block, size_t bytes) override { return next_ && next_->release_pages(block, bytes); }
    u16 error_text(uint32_t code) override { return next_ ? next_->error_text(code) : u16(); }
    u16 errno_text(int number) override { return next_ ? next_->errno_text(number) : u16(); }
    bool local_time(platform::file_time time, platform::system_time& out) override {
        return next_ && next_->local_time(time, out);
    }
    void sleep_ms(uint32_t milliseconds) override {
        if (next_) next_->sleep_ms(milliseconds);
    }
    uint64_t tick_ms() override { return next_ ? next_->tick_ms() : 0; }
    bool is_console(platform::std_stream which) override { return next_ && next_->is_console(which); }
    int console_columns(platform::std_stream which) override { return next_ ? next_->console_columns(which) : 0; }
    bool console_write(platform::std_stream which, sv text) override {
        return next_ && next_->console_write(which, text);
    }
    handle std_handle(platform::std_stream which) override { return next_ ? next_->std_handle(which) : NO_HANDLE; }
    void set_console_title(sv title) override {
        if (next_) next_->set_console_title(title);
    }
    std::optional<u16> pick_folder(sv title, sv initial) override {
        return next_ ? next_->pick_folder(title, initial) : std::nullopt;
    }

protected:
    // Hands ERR_ACCESS_DENIED back in `error` and returns `value`.
    template <typename T>
    static T refuse(uint32_t& error, T value) {
        return fail(error, platform::ERR_ACCESS_DENIED, value);
    }
    // Hands `code` back in `error` and returns `value`.
    template <class T>
    static T fail(uint32_t& error, uint32_t code, T value) {
        error = code;
        return value;
    }

    platform::os* next_;
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
