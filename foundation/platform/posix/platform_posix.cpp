// The POSIX implementation of the operating-system boundary: the `posix_os`
// class, which gives each Win32 concept of platform.h its POSIX meaning
// (posix/README.md lists them): errno values are the OS error codes, file
// names are bytes converted losslessly to UTF-16, attributes and FILETIME
// values come from stat. The subjects with rules of their own live beside
// it: lookups from folder descriptors, comparison reads, signals, the
// settings file, and (shared with every build) wildcard matching.
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/common_posix.h"
#include "platform/posix/compare_reading_posix.h"
#include "platform/posix/folder_lookup_posix.h"
#include "platform/posix/profile_posix.h"
#include "platform/utf.h"
#include "platform/wildcard_match.h"

namespace zub::platform {

namespace {

using namespace posix;

// strerror_r comes in two flavours (XSI returns int, GNU returns the text).
[[maybe_unused]] const char* strerror_pick(int, const char* buffer) { return buffer; }
[[maybe_unused]] const char* strerror_pick(const char* text, const char*) { return text; }

std::u16string strerror_text(int number) {
    char buffer[256] = {};
    const char* text = strerror_pick(strerror_r(number, buffer, sizeof buffer), buffer);
    return utf16_from_bytes(text ? text : "");
}

// The code a change refused for a moved or replaced file gives: ESTALE is
// otherwise only met on network file systems, where it means the same.
constexpr int CHANGED_REFUSAL = ESTALE;

// File systems whose every request goes to a server, by their magic
// numbers (statfs): NFS, SMB (three kinds), FUSE (sshfs, cloud mounts and the
// like), 9p, Ceph, AFS, Lustre and Coda.
bool remote_file_system(uint64_t type) {
    constexpr uint64_t REMOTE[] = {0x6969,     0x517B,     0xFF534D42, 0xFE534D42, 0x65735546,
                                   0x01021997, 0x00C36400, 0x5346414F, 0x0BD00BD0, 0x73757245};
    return std::find(std::begin(REMOTE), std::end(REMOTE), type) != std::end(REMOTE);
}

// Attribute bits of an entry: `link` is its own lstat record, `target` the
// followed stat record (equal to `link` when it is not a symbolic link or the
// link dangles).
attr_bits attributes_of(std::string_view name, const struct stat& link, const struct stat& target) {
    attr_bits attributes{};
    if (S_ISDIR(target.st_mode)) {
        attributes |= attr_bits::DIRECTORY;
    } else {
        attributes |= attr_bits::ARCHIVE;
    }
    if (owner_read_only(target.st_mode)) attributes |= attr_bits::READONLY;
    if (!name.empty() && name[0] == '.' && !is_dot_name(name)) attributes |= attr_bits::HIDDEN;
    if (S_ISLNK(link.st_mode)) attributes |= attr_bits::REPARSE_POINT;
    return attributes;
}

// `name16` is `name` converted, when the caller has it already.
void fill_entry(std::string_view name, const struct stat& link, const struct stat& target, find_entry& entry,
                std::u16string* name16 = nullptr) {
    entry.attributes = attributes_of(name, link, target);
    entry.written = file_time_of(target.st_mtim);
    entry.size = S_ISDIR(target.st_mode) ? 0 : static_cast<uint64_t>(target.st_size);
    if (name16 != nullptr)
        entry.name.swap(*name16);
    else
        entry.name = utf16_from_bytes(name);
}

// lstat, then stat through a symbolic link (a dangling link keeps its own record).
bool stat_pair(int dir_fd, const char* path, struct stat& link, struct stat& target) {
    if (fstatat(dir_fd, path, &link, AT_SYMLINK_NOFOLLOW) != 0) return false;
    target = link;
    if (S_ISLNK(link.st_mode)) {
        struct stat followed;
        if (fstatat(dir_fd, path, &followed, 0) == 0) target = followed;
    }
    return true;
}

// The last path component of a byte path (text after the last '/').
std::string_view last_component(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// An open directory search.
struct search {
    DIR* dir = nullptr;      // null for a search of one named entry
    std::u16string pattern;  // the last component of the pattern
};

// What a file handle points to: the descriptor and, for a file opened for a
// comparison, the state of its reading.
struct open_file {
    int fd = -1;
    std::optional<compare_file> compared;
};

file_handle handle_of(open_file* file) { return file_handle{reinterpret_cast<intptr_t>(file)}; }
file_handle new_file_handle(int fd) { return handle_of(new open_file{fd, std::nullopt}); }
open_file& file_of(file_handle file) { return *reinterpret_cast<open_file*>(file.value); }
int descriptor_of(file_handle file) { return file_of(file).fd; }

// The standard streams' handles, never closed by the program.
open_file standard_files[] = {{STDOUT_FILENO, std::nullopt}, {STDERR_FILENO, std::nullopt}};

// Hands `code` to the caller as its error; returns the failure value.
template <class T>
T failed(uint32_t& error, int code, T value) {
    error = static_cast<uint32_t>(code);
    return value;
}
bool failed(uint32_t& error, int code) { return failed(error, code, false); }

// The process's current folder; 0, or the errno value of the failure.
int working_folder(std::u16string& out) {
    std::string buffer(4096, '\0');
    for (;;) {
        if (getcwd(buffer.data(), buffer.size())) break;
        if (errno != ERANGE) return errno;
        buffer.resize(buffer.size() * 2);
    }
    out = utf16_from_bytes(buffer.c_str());
    return 0;
}

// Next matching entry of an open search; false with `error` set at the end (ENOENT).
bool next_match(search& s, find_entry& entry, uint32_t& error) {
    for (;;) {
        errno = 0;
        struct dirent* d = readdir(s.dir);
        if (!d) return failed(error, errno ? errno : ENOENT);
        const std::string_view name = d->d_name;
        std::u16string name16 = utf16_from_bytes(name);
        if (!wildcard_match(s.pattern, name16)) continue;
        struct stat link, target;
        if (!stat_pair(dirfd(s.dir), d->d_name, link, target)) {
            // Removed since readdir saw it: report what the listing knows.
            std::memset(&link, 0, sizeof link);
            link.st_mode = (d->d_type == DT_DIR) ? (S_IFDIR | S_IRWXU) : (S_IFREG | S_IRUSR | S_IWUSR);
            target = link;
        }
        fill_entry(name, link, target, entry, &name16);
        return true;
    }
}

bool has_wildcard(std::u16string_view text) { return text.find_first_of(u"*?") != std::u16string_view::npos; }

// Folder part of a path or pattern, as opendir takes it: "x" -> ".", "/x" -> "/".
std::string folder_of(const std::string& pattern) {
    const size_t slash = pattern.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return pattern.substr(0, slash);
}

// Replaces a path given by its components with its real path when it
// exists; a path that does not (yet) exist is kept as it is.
void resolve_links(std::vector<std::u16string>& parts) {
    std::u16string joined;
    for (const auto& part : parts) {
        joined += u'/';
        joined += part;
    }
    if (joined.empty()) return;
    char* real = ::realpath(bytes_from_utf16(joined).c_str(), nullptr);
    if (!real) return;
    const std::u16string resolved = utf16_from_bytes(real);
    std::free(real);
    parts.clear();
    std::u16string_view rest = resolved;
    while (!rest.empty()) {
        const size_t slash = rest.find(u'/');
        const std::u16string_view part = rest.substr(0, slash);
        rest = slash == std::u16string_view::npos ? std::u16string_view{} : rest.substr(slash + 1);
        if (!part.empty()) parts.emplace_back(part);
    }
}

class posix_os final : public os {
public:
    search_handle find_first(std::u16string_view pattern16, find_entry& entry, uint32_t& error) override {
        const std::string pattern = native(pattern16);
        if (pattern.empty() || pattern.back() == '/') return failed(error, ENOENT, search_handle{});
        const std::u16string last = utf16_from_bytes(last_component(pattern));
        if (!has_wildcard(last)) {
            struct stat link, target;
            if (!stat_pair(AT_FDCWD, pattern.c_str(), link, target)) return failed(error, errno, search_handle{});
            fill_entry(last_component(pattern), link, target, entry);
            return search_handle{reinterpret_cast<intptr_t>(new search{nullptr, last})};
        }
        // A new folder's listing: later lookups find folders as they are now.
        forget_folders();
        DIR* dir = opendir(folder_of(pattern).c_str());
        if (!dir) return failed(error, errno, search_handle{});
        auto* s = new search{dir, last};
        if (!next_match(*s, entry, error)) {
            closedir(dir);
            delete s;
            return INVALID_HANDLE;
        }
        enter_listing(folder_of(pattern), dirfd(dir));
        return search_handle{reinterpret_cast<intptr_t>(s)};
    }

    bool entry_of(std::u16string_view path16, find_entry& entry, uint32_t& error) override {
        const std::string& path = native_scratch(path16);
        if (path.empty() || path.back() == '/') return failed(error, ENOENT);
        struct stat link, target;
        if (!at_call(path, [&](int dir, const char* name) { return stat_pair(dir, name, link, target); }))
            return failed(error, errno);
        fill_entry(last_component(path), link, target, entry);
        return true;
    }

    bool find_next(search_handle h, find_entry& entry, uint32_t& error) override {
        if (!h.valid()) return failed(error, EBADF);
        auto* s = reinterpret_cast<search*>(h.value);
        if (!s->dir) return failed(error, ENOENT);
        return next_match(*s, entry, error);
    }

    bool find_close(search_handle h, uint32_t& error) override {
        if (!h.valid()) return failed(error, EBADF);
        auto* s = reinterpret_cast<search*>(h.value);
        if (s->dir) leave_listing(dirfd(s->dir));
        const bool ok = !s->dir || closedir(s->dir) == 0 || failed(error, errno);
        delete s;
        return ok;
    }

    attr_bits get_attributes(std::u16string_view path16, uint32_t& error) override {
        const std::string path = native(path16);
        struct stat link, target;
        if (path.empty()) return failed(error, ENOENT, INVALID_ATTRIBUTES);
        if (!stat_pair(AT_FDCWD, path.c_str(), link, target)) return failed(error, errno, INVALID_ATTRIBUTES);
        std::string_view name = path;
        while (name.size() > 1 && name.back() == '/') name.remove_suffix(1);
        return attributes_of(last_component(name), link, target);
    }

    bool full_path(std::u16string_view name, std::u16string& out, bool* has_file_part, uint32_t& error) override {
        if (name.empty()) return failed(error, ENOENT);
        std::u16string whole;
        if (name.front() != u'/') {
            if (const int code = working_folder(whole); code != 0) return failed(error, code);
            whole += u'/';
        }
        whole.append(name);
        // Collapse "." and repeated separators. A ".." leads to the parent
        // of the folder the system reaches by the path so far: when that path
        // holds a link, its real path is taken first, so ".." after a link
        // to a folder is the parent of the link's target, as the system means it.
        std::vector<std::u16string> parts;
        std::u16string_view rest = whole;
        while (!rest.empty()) {
            const size_t slash = rest.find(u'/');
            const std::u16string_view part = rest.substr(0, slash);
            rest = slash == std::u16string_view::npos ? std::u16string_view{} : rest.substr(slash + 1);
            if (part.empty() || part == u".") continue;
            if (part == u"..") {
                resolve_links(parts);
                if (!parts.empty()) parts.pop_back();
                continue;
            }
            parts.emplace_back(part);
        }
        out.clear();
        for (const auto& part : parts) {
            out += u'/';
            out.append(part);
        }
        if (out.empty() || name.back() == u'/') out += u'/';
        if (has_file_part) *has_file_part = out.back() != u'/';
        return true;
    }

    bool file_identity(std::u16string_view path, file_id& id) override {
        struct stat st;
        if (!stat_following(path, st)) return false;
        id = identity_of(st);
        return true;
    }

    bool path_state(std::u16string_view path, file_state& state, uint32_t& error) override {
        // The whole path: a kept folder descriptor could lead to a folder
        // that was moved away and replaced since it was opened.
        struct stat st;
        if (::stat(native_scratch(path).c_str(), &st) != 0) return failed(error, errno);
        state = state_from(st);
        return true;
    }

    file_handle open_read(std::u16string_view path, read_mode mode, uint32_t& error) override {
        // Anything that is not a regular file is refused, as Windows refuses
        // to open a folder for reading.
        const int fd = open_for_reading(path);
        if (fd < 0) {
            fail(error, errno);
            return INVALID_HANDLE;
        }
        struct stat st;
        int refusal = 0;
        if (fstat(fd, &st) != 0) {
            refusal = errno;
        } else if (!S_ISREG(st.st_mode)) {
            refusal = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        }
        if (refusal != 0) {
            ::close(fd);
            fail(error, refusal);
            return INVALID_HANDLE;
        }
        auto* file = new open_file{fd, std::nullopt};
        if (mode == read_mode::compare) {
            file->compared.emplace(compare_file{state_from(st)});
            prepare_compare_reading(fd, *file->compared);
        }
        return handle_of(file);
    }

    file_handle open_listed(std::u16string_view path, uint64_t listed_size, uint32_t& error) override {
        if (listed_size == 0) return open_read(path, read_mode::compare, error);
        const int fd = open_for_reading(path);
        if (fd < 0) {
            fail(error, errno);
            return INVALID_HANDLE;
        }
        auto* file = new open_file{fd, compare_file{}};
        file->compared->state.size = listed_size;
        file->compared->listed = true;
        prepare_compare_reading(fd, *file->compared);
        return handle_of(file);
    }

    bool read(file_handle file, void* buffer, uint32_t count, uint32_t& got, uint32_t& error) override {
        got = 0;
        if (!file.valid()) return fail(error, EBADF);
        const int fd = descriptor_of(file);
        auto& compared = file_of(file).compared;
        auto* bytes = static_cast<char*>(buffer);
        while (got < count) {
            // The size taken at the open marks the end: no read is spent on
            // learning it (a file that tells no size is read to its end). A
            // listed size is only the listing's word: where a call starts at
            // it right after a call that ended on it, one more read tells
            // whether the file has grown since.
            if (compared && compared->state.size > 0 && compared->offset >= compared->state.size &&
                !(compared->listed && got == 0 && !compared->ended))
                break;
            const ssize_t n = compared ? read_compared(fd, *compared, bytes + got, count - got)
                                       : ::read(fd, bytes + got, count - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return fail(error, errno);
            if (n == 0) break;
            got += static_cast<uint32_t>(n);
            // Past the listed size the file has grown: its real size marks the end.
            if (compared && compared->listed && compared->offset > compared->state.size &&
                !take_listed_status(fd, *compared, error))
                return false;
        }
        if (compared) compared->ended = got < count;
        return true;
    }

    bool reads_around_cache(file_handle file) override {
        const auto& compared = file_of(file).compared;
        return compared && compared->direct_fd >= 0;
    }

    bool size_of(file_handle file, uint64_t& size, uint32_t& error) override {
        struct stat st;
        if (!file.valid()) return fail(error, EBADF);
        if (fstat(descriptor_of(file), &st) != 0) return fail(error, errno);
        size = static_cast<uint64_t>(st.st_size);
        return true;
    }

    bool state_of(file_handle file, file_state& state, uint32_t& error) override {
        if (!file.valid()) return fail(error, EBADF);
        const int fd = descriptor_of(file);
        if (auto& compared = file_of(file).compared) {
            // A comparison's file: as it was opened, or, opened as listed, now.
            if (compared->listed && !take_listed_status(fd, *compared, error)) return false;
            state = compared->state;
            return true;
        }
        struct stat st;
        if (fstat(fd, &st) != 0) return fail(error, errno);
        state = state_from(st);
        return true;
    }

    file_handle open_write(std::u16string_view path, write_mode mode, uint32_t& error) override {
        const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mode == write_mode::append ? O_APPEND : O_TRUNC);
        const int fd = ::open(native(path).c_str(), flags, 0666);
        if (fd < 0) {
            fail(error, errno);
            return INVALID_HANDLE;
        }
        return new_file_handle(fd);
    }

    bool write(file_handle file, const void* data, size_t count, uint32_t& error) override {
        if (!file.valid()) return fail(error, EBADF);
        if (!write_all(descriptor_of(file), static_cast<const char*>(data), count)) return fail(error, errno);
        return true;
    }

    bool close(file_handle file, uint32_t& error) override {
        if (!file.valid()) return fail(error, EBADF);
        open_file* opened = &file_of(file);
        const int fd = opened->fd;
        if (opened->compared) end_compare(*opened->compared);
        if (opened != &standard_files[0] && opened != &standard_files[1]) delete opened;
        if (::close(fd) != 0) return fail(error, errno);
        return true;
    }

    file_handle open_for_change(std::u16string_view path, change_kind, uint32_t& error) override {
        // O_NOFOLLOW: a link in the file's place fails with ELOOP instead of
        // leading to a file the comparison never saw. Non-blocking, so that
        // a FIFO swapped in cannot hang the run.
        const int fd = ::open(native(path).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) return failed(error, errno, file_handle{});
        return new_file_handle(fd);
    }

    bool set_read_only(file_handle file, bool read_only, uint32_t& error) override {
        struct stat st;
        if (!file.valid()) return failed(error, EBADF);
        const int fd = descriptor_of(file);
        if (fstat(fd, &st) != 0) return failed(error, errno);
        mode_t mode = st.st_mode & 07777;
        mode = read_only ? (mode & ~mode_t(S_IWUSR)) : (mode | S_IWUSR);
        if (mode == (st.st_mode & 07777)) return true;
        if (fchmod(fd, mode) != 0) return failed(error, errno);
        return true;
    }

    bool truncate_opened(file_handle file, uint32_t& error) override {
        if (!file.valid()) return failed(error, EBADF);
        const int fd = descriptor_of(file);
        // The handle was opened for reading; a second descriptor for writing
        // is opened through the process's own descriptor table, which leads
        // to the same file whatever has happened to its name since.
        const int wfd = ::open(self_path(fd).c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (wfd < 0) return failed(error, errno);
        struct stat held, reopened;
        int code = 0;
        // NOLINTBEGIN(bugprone-branch-clone): the checks run in this order, the first failing one gives the error
        if (fstat(fd, &held) != 0 || fstat(wfd, &reopened) != 0) {
            code = errno;
        } else if (identity_of(held) != identity_of(reopened)) {
            code = CHANGED_REFUSAL;  // the reopened file is not the one held
        } else if (ftruncate(wfd, 0) != 0) {
            code = errno;
        }
        // NOLINTEND(bugprone-branch-clone)
        ::close(wfd);
        return code == 0 || failed(error, code);
    }

    bool delete_opened(file_handle file, std::u16string_view path16, const file_id& folder, uint32_t& error) override {
        if (!file.valid()) return failed(error, EBADF);
        const std::string path = native(path16);
        const std::string parent = folder_of(path);
        const std::string name(last_component(path));
        if (name.empty() || is_dot_name(name)) return failed(error, EINVAL);
        const int dir = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0) return failed(error, errno);
        struct stat dir_st, held, named;
        int code = 0;
        // NOLINTBEGIN(bugprone-branch-clone): the checks run in this order, the first failing one gives the error
        if (fstat(dir, &dir_st) != 0 || fstat(descriptor_of(file), &held) != 0) {
            code = errno;
        } else if (identity_of(dir_st) != folder) {
            code = CHANGED_REFUSAL;  // the folder is not the one that was listed
        } else if (fstatat(dir, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) {
            code = errno;
        } else if (identity_of(named) != identity_of(held)) {
            code = CHANGED_REFUSAL;  // another file now has the name
        } else if (unlinkat(dir, name.c_str(), 0) != 0) {
            code = errno;
        }
        // NOLINTEND(bugprone-branch-clone)
        ::close(dir);
        return code == 0 || failed(error, code);
    }

    // The lock's handle is its descriptor itself: nothing reads it.
    lock_handle open_lock(std::u16string_view path, uint32_t& error) override {
        const int fd = ::open(native(path).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) return failed(error, errno, lock_handle{});
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            error = static_cast<uint32_t>(errno);
            ::close(fd);
            return INVALID_HANDLE;
        }
        return lock_handle{fd};
    }

    bool release_lock(lock_handle lock) override { return lock.valid() && ::close(static_cast<int>(lock.value)) == 0; }

    storage_kind storage_of(std::u16string_view path) override {
        const std::string name = native_scratch(path);
        struct statfs fs;
        if (::statfs(name.c_str(), &fs) == 0 && remote_file_system(static_cast<uint64_t>(fs.f_type)))
            return storage_kind::remote;
        // The block device behind the file system, as the kernel describes
        // it: the queue of a disk, or of the disk a partition lies on. A file
        // system without one (tmpfs, for one) has no seeks to fear.
        struct stat st;
        if (::stat(name.c_str(), &st) != 0) return storage_kind::other;
        const std::string device =
            "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
        // A virtual machine's disk (virtio) says "rotational" by default,
        // knowing nothing of the storage behind it; it is not believed.
        if (char* real = realpath(device.c_str(), nullptr)) {
            const bool virtual_disk = std::strstr(real, "/virtio") != nullptr;
            std::free(real);
            if (virtual_disk) return storage_kind::other;
        }
        for (const char* queue : {"/queue/rotational", "/../queue/rotational"}) {
            const int fd = ::open((device + queue).c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) continue;
            char flag = '0';
            const bool read_one = ::read(fd, &flag, 1) == 1;
            ::close(fd);
            return read_one && flag == '1' ? storage_kind::rotational : storage_kind::other;
        }
        return storage_kind::other;
    }

    bool can_write(std::u16string_view path) override { return access(native(path).c_str(), W_OK) == 0; }

    bool current_dir(std::u16string& out) override { return working_folder(out) == 0; }

    bool set_current_dir(std::u16string_view path) override { return chdir(native(path).c_str()) == 0; }

    bool executable_path(std::u16string& out, uint32_t& error) override {
        std::string buffer(4096, '\0');
        for (;;) {
            const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
            if (n < 0) return failed(error, errno);
            if (static_cast<size_t>(n) < buffer.size()) {
                buffer.resize(static_cast<size_t>(n));
                break;
            }
            buffer.resize(buffer.size() * 2);
        }
        out = utf16_from_bytes(buffer);
        return true;
    }

    std::u16string profile_read(std::u16string_view section, std::u16string_view key,
                                std::u16string_view file) override {
        return posix::read_profile(section, key, native(file));
    }

    bool profile_write(std::u16string_view section, std::u16string_view key, std::u16string_view value,
                       std::u16string_view file) override {
        return posix::write_profile(section, key, value, native(file)) == 0;
    }

    void* reserve_pages(size_t bytes) override {
        const size_t page = page_size();
        const size_t length = ((bytes ? bytes : 1) + page - 1) / page * page;
        // Large blocks on a 2 MiB boundary, with huge pages asked for: a
        // 16 MiB compare buffer then costs 8 page faults rather than 4,096.
        constexpr size_t HUGE = size_t{2} * 1024 * 1024;
        const size_t extra = length >= HUGE ? HUGE : 0;
        void* mapped = mmap(nullptr, length + extra, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) return nullptr;
        auto* start = static_cast<char*>(mapped);
        if (extra == 0) return start;
        auto* aligned = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(start) + HUGE - 1) & ~uintptr_t(HUGE - 1));
        if (aligned > start) munmap(start, static_cast<size_t>(aligned - start));
        const size_t tail = static_cast<size_t>(start + length + extra - (aligned + length));
        if (tail > 0) munmap(aligned + length, tail);
        madvise(aligned, length, MADV_HUGEPAGE);
        return aligned;
    }

    bool release_pages(void* block, size_t bytes) override {
        const size_t page = page_size();
        const size_t length = ((bytes ? bytes : 1) + page - 1) / page * page;
        return munmap(block, length) == 0;
    }

    std::u16string error_text(uint32_t code) override {
        if (code > static_cast<uint32_t>(INT_MAX)) return {};
        return strerror_text(static_cast<int>(code));
    }

    std::u16string errno_text(int number) override { return strerror_text(number); }

    bool local_time(file_time time, system_time& out) override {
        if (time > static_cast<uint64_t>(INT64_MAX)) return false;
        const int64_t seconds = static_cast<int64_t>(time / 10000000ULL) - EPOCH_DIFFERENCE_SECONDS;
        const auto remainder = static_cast<int>(time % 10000000ULL);
        const auto t = static_cast<time_t>(seconds);
        if (static_cast<int64_t>(t) != seconds) return false;
        struct tm fields;
        if (!localtime_r(&t, &fields)) return false;
        out.year = fields.tm_year + 1900;
        out.month = fields.tm_mon + 1;
        out.weekday = fields.tm_wday;
        out.day = fields.tm_mday;
        out.hour = fields.tm_hour;
        out.minute = fields.tm_min;
        out.second = fields.tm_sec;
        out.millisecond = remainder / 10000;
        return true;
    }

    void sleep_ms(uint32_t milliseconds) override {
        if (milliseconds == 0) {
            sched_yield();
            return;
        }
        timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
        struct timespec left;
        while (nanosleep(&wait, &left) != 0 && errno == EINTR) wait = left;
    }

    uint64_t tick_ms() override {
        // The coarse clock is read from the vDSO: no system call.
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
        return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec / 1000000);
    }

    bool is_console(std_stream which) override { return isatty(fd_of(which)) == 1; }

    int console_columns(std_stream which) override {
        winsize size{};
        if (ioctl(fd_of(which), TIOCGWINSZ, &size) != 0) return 0;
        return size.ws_col;
    }

    bool console_write(std_stream which, std::u16string_view text) override {
        const std::string bytes = bytes_from_utf16(text);
        return write_all(fd_of(which), bytes.data(), bytes.size());
    }

    file_handle std_handle(std_stream which) override {
        return handle_of(&standard_files[which == std_stream::output ? 0 : 1]);
    }

    void set_console_title(std::u16string_view title) override {
        if (isatty(STDERR_FILENO) != 1) return;
        // Control characters in a file name must not end the sequence early
        // or start another one.
        std::u16string clean(title);
        for (auto& c : clean) {
            if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F)) c = u'?';
        }
        const std::string sequence = "\033]0;" + bytes_from_utf16(clean) + "\007";
        write_all(STDERR_FILENO, sequence.data(), sequence.size());
    }

    std::optional<std::u16string> pick_folder(std::u16string_view title, std::u16string_view initial) override {
        const std::u16string heading = title.empty() ? std::u16string(u"select folder") : std::u16string(title);
        for (;;) {
            std::string prompt = bytes_from_utf16(heading) + "\n";
            prompt += initial.empty() ? "folder: " : "folder [" + bytes_from_utf16(initial) + "]: ";
            write_prompt(prompt);
            std::string line;
            if (!read_line(line)) {
                write_prompt("\n");
                return std::nullopt;
            }
            const std::u16string typed = utf16_from_bytes(line);
            const std::u16string chosen = typed.empty() ? std::u16string(initial) : typed;
            struct stat st;
            if (!chosen.empty() && ::stat(native(chosen).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                std::u16string absolute;
                uint32_t error = 0;
                if (full_path(chosen, absolute, nullptr, error)) {
                    if (absolute.size() > 1 && absolute.back() == u'/') absolute.pop_back();
                    return absolute;
                }
                return chosen;
            }
            const std::string complaint = "not a folder: " + bytes_from_utf16(chosen) + "\n";
            write_prompt(complaint);
        }
    }

private:
    // The prompt is for a person: it goes to the standard error stream when
    // that is a terminal, else to the controlling terminal, else nowhere, so
    // that UTF-8 prompt text never mixes into a redirected stream that
    // carries the program's UTF-16LE output.
    static void write_prompt(const std::string& text) {
        if (::isatty(STDERR_FILENO)) {
            write_all(STDERR_FILENO, text.data(), text.size());
            return;
        }
        const int tty = ::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (tty < 0) return;
        write_all(tty, text.data(), text.size());
        ::close(tty);
    }

    static int fd_of(std_stream which) { return which == std_stream::output ? STDOUT_FILENO : STDERR_FILENO; }

    // One line of standard input without its line end; false at end of input
    // when nothing was read. Reads byte by byte so nothing beyond the line is
    // taken from a shared input.
    static bool read_line(std::string& line) {
        line.clear();
        bool any = false;
        for (;;) {
            char c;
            const ssize_t n = ::read(STDIN_FILENO, &c, 1);
            if (n < 0 && errno == EINTR && !interrupt_requested()) continue;  // Ctrl+C cancels
            if (n <= 0) return any;
            any = true;
            if (c == '\n') break;
            line.push_back(c);
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }
};

}  // namespace

os& native_os() {
    static posix_os instance;
    return instance;
}

int errno_from_os_error(uint32_t code) { return static_cast<int>(code); }
bool is_not_found(uint32_t code) { return code == ENOENT || code == ENOTDIR; }
bool is_access_denied(uint32_t code) { return code == EACCES || code == EPERM; }
bool is_link_refusal(uint32_t code) { return code == ELOOP; }
bool is_changed_refusal(uint32_t code) { return code == static_cast<uint32_t>(CHANGED_REFUSAL); }
int errno_from_open_failure(uint32_t code) { return static_cast<int>(code); }

bool expands_command_line_wildcards() { return false; }
bool entry_size_can_lag() { return false; }
void open_closed_standard_streams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor is the closed one.
        const int null_fd = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null_fd >= 0 && null_fd != fd) ::close(null_fd);
    }
}

std::vector<std::u16string> command_line(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 0; i < argc && argv && argv[i]; ++i) args.push_back(utf16_from_bytes(argv[i]));
    return args;
}

path_style native_path_style() { return path_style::posix; }

// The terminal prompt that stands in for the folder browser has one style.
void set_picker_new_style(bool) {}

size_t page_size() {
    static const size_t size = [] {
        const long value = sysconf(_SC_PAGESIZE);
        return value > 0 ? static_cast<size_t>(value) : size_t(4096);
    }();
    return size;
}

}  // namespace zub::platform
