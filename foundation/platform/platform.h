// The operating-system boundary. Everything above this header reaches the
// system only through the `os` interface below, so that tests can put a
// fault-injecting layer in front of the real one (tests/support/faulty_os.h)
// and every failure path can be exercised as root and on every platform.
//
// The vocabulary is the Win32 one (attribute bits, FILETIME values, error
// codes). A call whose failure code its callers use hands it back in an
// `error` argument, set on failure and left as it was on success; the others
// tell success only. No code travels beside a result (no per-thread "last
// error"), so that calls on several threads keep their codes apart. The POSIX
// implementation gives each concept the meaning described in posix/README.md. Text is UTF-16 in
// char16_t units on both sides; on POSIX, file names are converted with the
// lossless scheme of foundation/utf.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bit_set.h"

namespace zub::platform {

// Raw Win32 attribute bits as the system reports them (the same values, so
// the Win32 layer converts the system's word with one cast).
enum class attr_bits : uint32_t {
    READONLY = 0x1,
    HIDDEN = 0x2,
    SYSTEM = 0x4,
    DIRECTORY = 0x10,
    ARCHIVE = 0x20,
    NORMAL = 0x80,
    SPARSE = 0x200,
    REPARSE_POINT = 0x400,
    COMPRESSED = 0x800,
    ENCRYPTED = 0x4000,
};
inline constexpr attr_bits INVALID_ATTRIBUTES = static_cast<attr_bits>(0xFFFFFFFFu);

}  // namespace zub::platform

template <>
struct zub::enable_bit_set<zub::platform::attr_bits> : std::true_type {};

namespace zub::platform {

// Windows error codes. On POSIX the layer reports errno values instead (the
// mapping is the identity), so code above this layer never compares a code
// with these constants directly: it asks is_not_found() / is_access_denied().
// They are used by the Win32 layer and by tests that inject Windows codes.
inline constexpr uint32_t ERR_FILE_NOT_FOUND = 2;
inline constexpr uint32_t ERR_PATH_NOT_FOUND = 3;
inline constexpr uint32_t ERR_ACCESS_DENIED = 5;
inline constexpr uint32_t ERR_NOT_ENOUGH_MEMORY = 8;
inline constexpr uint32_t ERR_NO_MORE_FILES = 18;

// 100 ns intervals since 1601-01-01 UTC.
using file_time = uint64_t;

// Attribute bits and the three facts the programs read of them: the base of
// every record that carries an entry's attributes (the listed entry, and above
// this layer a path's status).
struct entry_attributes {
    attr_bits attributes{};  // raw attribute bits
    bool is_folder() const { return has(attributes, attr_bits::DIRECTORY); }
    // A symbolic link, junction or other reparse point; a link to a folder is a folder too.
    bool is_link() const { return has(attributes, attr_bits::REPARSE_POINT); }
    bool is_read_only() const { return has(attributes, attr_bits::READONLY); }
};

// One directory entry as the search returns it.
struct find_entry : entry_attributes {
    file_time written = 0;
    uint64_t size = 0;
    std::u16string name;
};

// "." or "..": the entries a listing returns for the folder itself and its
// parent, in any string type (file names as bytes or as UTF-16).
template <class Name>
constexpr bool is_dot_name(const Name& name) {
    return !name.empty() && name.size() <= 2 && name[0] == '.' && name[name.size() - 1] == '.';
}

// Calendar time with milliseconds, as SYSTEMTIME holds it.
struct system_time {
    int year = 0, month = 0, weekday = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Identity of a file: device and inode, or volume serial and file index.
struct file_id {
    uint64_t device = 0;
    uint64_t index = 0;
    bool operator==(const file_id&) const = default;
};

// The state of one file as read through an open handle: what a comparison
// saw, and what a removal checks again before it acts.
struct file_state {
    file_id id;
    uint64_t size = 0;
    file_time written = 0;
    file_time changed = 0;  // status-change time: st_ctime, or ChangeTime on Windows
    uint32_t links = 1;     // number of names the file has
    bool read_only = false;
    bool regular = true;  // a plain file (not a folder, device or link)
    bool operator==(const file_state&) const = default;
};

// The value every kind of handle takes for "none" or a failure.
struct invalid_handle_t {};
inline constexpr invalid_handle_t INVALID_HANDLE{};

// Opaque handles. `value` is what the implementation needs (a descriptor, a
// HANDLE, an index into a table); -1 is the failure value everywhere. Each
// kind is a type of its own, so that a search cannot be read or a file closed
// as a search.
template <class Tag>
struct basic_handle {
    intptr_t value = -1;
    constexpr basic_handle() = default;
    constexpr explicit basic_handle(intptr_t v) : value(v) {}
    constexpr basic_handle(invalid_handle_t) {}  // INVALID_HANDLE converts to every kind
    bool valid() const { return value != -1; }
    bool operator==(const basic_handle&) const = default;
};
using file_handle = basic_handle<struct file_tag>;      // an open file or standard stream
using search_handle = basic_handle<struct search_tag>;  // a directory search
using lock_handle = basic_handle<struct lock_tag>;      // the run lock

enum class std_stream { output, error };

enum class path_style { windows, posix };

// How a file is opened for reading.
enum class read_mode {
    compare,    // sequential reading that leaves the page cache as it was; shares read and write
    exclusive,  // no sharing (used to probe a size; fails while another process holds the file)
};

enum class write_mode { truncate, append };

// What a file is opened for change for: to be deleted (its read-only
// attribute cleared first where asked), or to be emptied, which needs write
// access from the open on, so that the file checked is the file emptied.
enum class change_kind { remove, empty };

// The storage a path lies on, as far as it matters to how many requests are
// worth keeping in flight (os::storage_of).
enum class storage_kind { other, rotational, remote };

class os {
public:
    virtual ~os() = default;

    // --- directory search (FindFirstFileW / FindNextFileW / FindClose) ---
    // These calls hand their OS error code back in `error` when they fail
    // (find_next at the end of a listing too); on success it is left as it was.
    // The last component of `pattern` may hold the wildcards * and ?.
    // "." and ".." are returned like any other entry when a folder is listed.
    virtual search_handle find_first(std::u16string_view pattern, find_entry& entry, uint32_t& error) = 0;
    virtual bool find_next(search_handle search, find_entry& entry, uint32_t& error) = 0;
    virtual bool find_close(search_handle search, uint32_t& error) = 0;
    // The directory entry of exactly this path, as a search would return it.
    // No wildcards: on POSIX a name may hold * or ?, and then it is a name.
    virtual bool entry_of(std::u16string_view path, find_entry& entry, uint32_t& error) = 0;

    // --- attributes and names ---
    // INVALID_ATTRIBUTES on failure, with the code in `error`.
    virtual attr_bits get_attributes(std::u16string_view path, uint32_t& error) = 0;
    // GetFullPathNameW: absolute form of a name, "." and ".." resolved by text.
    // Returns false, with the code in `error`, when the system cannot form it
    // (then `out` is unspecified). `has_file_part` tells whether the result
    // ends in a name (not a separator).
    virtual bool full_path(std::u16string_view name, std::u16string& out, bool* has_file_part, uint32_t& error) = 0;
    // The identity of the file a path leads to (links followed); false when
    // there is none. No code: no caller tells one failure from another.
    virtual bool file_identity(std::u16string_view path, file_id& id) = 0;
    // The state of the file a path leads to (links followed), as state_of
    // gives it, or false with the code in `error`. The whole path is resolved
    // now, never from a folder handle kept by an earlier lookup: a removal
    // asks it which file the other path of its pair leads to at this moment.
    virtual bool path_state(std::u16string_view path, file_state& state, uint32_t& error) = 0;

    // --- files ---
    // Each of these calls hands its OS error code back in `error` when it
    // fails; on success it is left as it was.
    virtual file_handle open_read(std::u16string_view path, read_mode mode, uint32_t& error) = 0;
    // Opens for a comparison (read_mode::compare) a file that the caller
    // listed a moment ago as a regular file of `listed_size` bytes (more than
    // 0), for a run that removes nothing. A system where the open itself does
    // not tell the file's kind and size may take the listing's word for them
    // and spare a status call per file: the file is still read to its real
    // end, but a file replaced by a folder or a device since it was listed
    // then fails at its first read instead of at the open. The status of
    // such a handle (state_of) is taken when it is asked for.
    virtual file_handle open_listed(std::u16string_view path, uint64_t listed_size, uint32_t& error) {
        (void)listed_size;
        return open_read(path, read_mode::compare, error);
    }
    // Reads up to `count` bytes; `got` < count only at the end of the file.
    virtual bool read(file_handle file, void* buffer, uint32_t count, uint32_t& got, uint32_t& error) = 0;
    // True when the reads of a file opened for comparison go around the
    // system's cache, straight to the storage. The system splits one large
    // read call into several requests in flight at once, so that a share's
    // or a disk's wait is paid once for the call; from the cache, smaller
    // calls keep the bytes in the processor's cache for the comparison.
    virtual bool reads_around_cache(file_handle file) = 0;
    virtual bool size_of(file_handle file, uint64_t& size, uint32_t& error) = 0;
    virtual bool state_of(file_handle file, file_state& state, uint32_t& error) = 0;
    virtual file_handle open_write(std::u16string_view path, write_mode mode, uint32_t& error) = 0;
    virtual bool write(file_handle file, const void* data, size_t count, uint32_t& error) = 0;
    virtual bool close(file_handle file, uint32_t& error) = 0;

    // --- changes that act on exactly one file ---
    // Each of these calls hands its OS error code back in `error` when it
    // fails; on success it is left as it was.
    // Opens what a removal acts on without following a final link: a link
    // itself is refused with the code for which is_link_refusal() is true.
    // The handle allows state_of and the three calls below; close it with close().
    virtual file_handle open_for_change(std::u16string_view path, change_kind kind, uint32_t& error) = 0;
    // Clears or sets the read-only attribute through the handle.
    virtual bool set_read_only(file_handle file, bool read_only, uint32_t& error) = 0;
    // Truncates the opened file to length 0 (opened with change_kind::empty).
    // Where the handle itself cannot write (a file that was read-only when it
    // was opened) the file is opened again for writing, and refused with the
    // code for which is_changed_refusal() is true unless that is the same file.
    virtual bool truncate_opened(file_handle file, uint32_t& error) = 0;
    // Deletes the opened file, whose path is `path`. The folder that holds it
    // must have the identity `folder` (the folder the walk listed), and the
    // name must still lead to the opened file; otherwise nothing is deleted
    // and the call fails with the code for which is_changed_refusal() is true.
    virtual bool delete_opened(file_handle file, std::u16string_view path, const file_id& folder, uint32_t& error) = 0;
    // Opens (creating when missing) without sharing and keeps it open: the run
    // lock, held until release_lock(). INVALID_HANDLE on failure, with the
    // code in `error` (another holder of the lock, for one).
    virtual lock_handle open_lock(std::u16string_view path, uint32_t& error) = 0;
    virtual bool release_lock(lock_handle lock) = 0;
    // True when the file exists and this process may write it (an access test).
    virtual bool can_write(std::u16string_view path) = 0;
    // What kind of storage holds `path`: a device that reports that it seeks
    // (a spinning disk), where requests in flight at once cost more than they
    // save; a file system reached over a network or through a user-space
    // server (a share), where every request waits a round trip; or another
    // kind, or one the system cannot tell.
    virtual storage_kind storage_of(std::u16string_view path) = 0;

    // --- process ---
    // The current folder, and its change; false when the system refuses.
    virtual bool current_dir(std::u16string& out) = 0;
    virtual bool set_current_dir(std::u16string_view path) = 0;
    // The path of the running program, or false with the code in `error`.
    virtual bool executable_path(std::u16string& out, uint32_t& error) = 0;

    // --- profile (settings) file: sections, key=value, replaced in place ---
    // An empty value when the key or the file is missing or unreadable.
    virtual std::u16string profile_read(std::u16string_view section, std::u16string_view key,
                                        std::u16string_view file) = 0;
    // False when the file could not be written.
    virtual bool profile_write(std::u16string_view section, std::u16string_view key, std::u16string_view value,
                               std::u16string_view file) = 0;

    // --- memory: whole committed read-write pages ---
    // reserve_pages gives nullptr, release_pages false, when the system refuses.
    virtual void* reserve_pages(size_t bytes) = 0;
    virtual bool release_pages(void* block, size_t bytes) = 0;

    // --- texts and time ---
    // The system's message for an OS error code, as the system gives it
    // (line breaks included); empty when it has none.
    virtual std::u16string error_text(uint32_t code) = 0;
    // The C library's text for an errno value (strerror).
    virtual std::u16string errno_text(int number) = 0;
    // File time to local calendar time by the zone rules at that date; false
    // for a time the system cannot convert.
    virtual bool local_time(file_time time, system_time& out) = 0;
    virtual void sleep_ms(uint32_t milliseconds) = 0;
    // Milliseconds from a fixed point that only moves forward: cheap enough to
    // read once per compared pair (no system call where the system keeps the
    // clock in user space).
    virtual uint64_t tick_ms() = 0;

    // --- console ---
    virtual bool is_console(std_stream which) = 0;
    // False when the text could not be written.
    virtual bool console_write(std_stream which, std::u16string_view text) = 0;
    virtual file_handle std_handle(std_stream which) = 0;
    virtual void set_console_title(std::u16string_view title) = 0;
    // Width in columns of the terminal or console window behind a standard
    // stream; 0 when the stream is not one or the width is unknown.
    virtual int console_columns(std_stream which) = 0;

    // --- folder picker ---
    // nullopt when the user cancelled; an empty string when the chosen item is
    // not a file-system folder (the caller then writes
    // "bad folder - not a part of the file system.\n"); otherwise the path.
    // An empty title means the default "select folder". The process's current
    // folder is the same after the call as before it.
    virtual std::optional<std::u16string> pick_folder(std::u16string_view title, std::u16string_view initial) = 0;
};

// The real implementation of this build (win32/ or posix/).
os& native_os();

// The layer every caller uses: the native one unless a test installed another.
os& current();
// Installs a layer (nullptr restores the native one). Returns the previous one.
os* install(os* layer);

// Gives a handle back through the layer in force: a file is closed, the lock released.
// A failure to close is not told: an owner that needs to know closes by hand.
inline bool give_back(file_handle file) {
    uint32_t ignored = 0;
    return current().close(file, ignored);
}
inline bool give_back(lock_handle lock) { return current().release_lock(lock); }

// The one owner of an open handle: given back through the layer in force when
// the owner goes (or is reset), so that no path of a caller leaves it open.
template <class Handle>
class basic_owned {
public:
    basic_owned() = default;
    explicit basic_owned(Handle h) : handle_(h) {}
    basic_owned(basic_owned&& other) noexcept : handle_(other.release()) {}
    basic_owned& operator=(basic_owned&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = other.release();
        }
        return *this;
    }
    basic_owned(const basic_owned&) = delete;
    basic_owned& operator=(const basic_owned&) = delete;
    ~basic_owned() { reset(); }

    Handle get() const { return handle_; }
    bool valid() const { return handle_.valid(); }
    // Gives the handle back now; true when there was none or that succeeded.
    bool reset() {
        if (!handle_.valid()) return true;
        return give_back(release());
    }
    Handle release() {
        const Handle h = handle_;
        handle_ = INVALID_HANDLE;
        return h;
    }

private:
    Handle handle_ = INVALID_HANDLE;
};
using owned_handle = basic_owned<file_handle>;
using owned_lock = basic_owned<lock_handle>;

// errno for an OS error code: 2, 3, 18 -> ENOENT; 5 -> EACCES; 8 -> ENOMEM;
// other -> EINVAL on Windows; the identity on POSIX.
int errno_from_os_error(uint32_t code);
bool is_not_found(uint32_t code);
bool is_access_denied(uint32_t code);
// The code open_for_change gives for a link, and the code delete_opened gives
// when the folder or the name no longer lead to the opened file.
bool is_link_refusal(uint32_t code);
bool is_changed_refusal(uint32_t code);
// errno as the C library's own file open sets it for an OS error code (its
// "w" open maps a sharing or lock violation to EACCES, for instance): the
// identity on POSIX.
int errno_from_open_failure(uint32_t code);

// Whether a directory entry's size can lag behind the file's (Windows updates
// the entry of a file being written only now and then); the size is then
// asked of the file itself. POSIX status is always current.
bool entry_size_can_lag();

// Whether the program itself expands wildcards in its arguments (Windows);
// on POSIX the shell has done it and every argument is taken as typed.
bool expands_command_line_wildcards();

// Console interruption (Ctrl+C, SIGINT, SIGTERM, SIGHUP, a console close
// event): the first one is recorded and the run stops at its next stop poll;
// a second one ends the process at once. watch_interrupts() installs the
// handler once; on POSIX it also ignores SIGPIPE and SIGXFSZ, so that a
// closed pipe or a file-size limit is a failed write like a full disk
// rather than the end of the process.
void watch_interrupts();
bool interrupt_requested();

// While an interrupt_hold exists, an interruption that would end the process
// waits until the hold ends: a removal and its record are made together or
// not at all. Holds are short and do not nest.
void hold_interrupts();
void release_interrupts();
class interrupt_hold {
public:
    interrupt_hold() { hold_interrupts(); }
    ~interrupt_hold() { release_interrupts(); }
    interrupt_hold(const interrupt_hold&) = delete;
    interrupt_hold& operator=(const interrupt_hold&) = delete;
};

// Opens the null device on every standard stream that is closed at start,
// so that no file the program opens later takes its place.
void open_closed_standard_streams();

// The program's arguments as UTF-16 (Windows: the process's wide command
// line; POSIX: argv converted losslessly).
std::vector<std::u16string> command_line(int argc, char** argv);

// Style of the folder picker, decided once per process by the settings layer
// before the first pick (true: the resizable new-style browser with an edit
// box; false: the classic one). The Win32 layer stores it; the POSIX layer's
// terminal prompt has one style and ignores it. Defined by each implementation.
void set_picker_new_style(bool new_style);

// Path style and page size of this build.
path_style native_path_style();
size_t page_size();

}  // namespace zub::platform
