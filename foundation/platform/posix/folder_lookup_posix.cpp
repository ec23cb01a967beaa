// The folder descriptors behind the lookups of folder_lookup_posix.h: a few
// kept per thread, and those of the folders the thread is listing.
#include "platform/posix/folder_lookup_posix.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <vector>

#include "platform/posix/common_posix.h"

namespace zub::platform::posix {

namespace {

// Descriptors (O_PATH) of the folders that the last lookups of the calling
// thread went to. A file looked up in one of them is found from its folder
// instead of walking its whole path again: in a tree a few levels deep the
// walk costs more than the call itself. A folder is opened again when it
// has fallen out of the list.
class folder_cache {
public:
    folder_cache() = default;
    folder_cache(const folder_cache&) = delete;
    folder_cache& operator=(const folder_cache&) = delete;
    ~folder_cache() {
        for (entry& e : entries_)
            if (e.fd >= 0) ::close(e.fd);
    }
    // The folder's descriptor, or -1 when it cannot be opened.
    int descriptor(std::string_view folder) {
        entry* oldest = &entries_[0];
        for (entry& e : entries_) {
            if (e.fd >= 0 && e.path == folder) {
                e.used = ++clock_;
                return e.fd;
            }
            if (e.used < oldest->used) oldest = &e;
        }
        const int fd = ::open(std::string(folder).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return -1;
        if (oldest->fd >= 0) ::close(oldest->fd);
        oldest->path.assign(folder);
        oldest->fd = fd;
        oldest->used = ++clock_;
        return fd;
    }

    void clear() {
        for (entry& e : entries_) {
            if (e.fd >= 0) ::close(e.fd);
            e = entry{};
        }
    }

private:
    struct entry {
        std::string path;
        int fd = -1;
        uint64_t used = 0;
    };
    entry entries_[4];
    uint64_t clock_ = 0;
};

folder_cache& thread_folders() {
    static thread_local folder_cache folders;
    return folders;
}

// The folders the calling thread is listing (open searches, innermost last),
// with the descriptors their listings read: a lookup in one of them goes
// from the folder being listed.
struct listed_folder {
    std::string path;
    int fd;
};
std::vector<listed_folder>& thread_listings() {
    static thread_local std::vector<listed_folder> listings;
    return listings;
}

// The descriptor of a folder for lookups in it: the listing's, else a kept one.
int folder_descriptor(std::string_view folder) {
    const std::vector<listed_folder>& listings = thread_listings();
    for (auto it = listings.rbegin(); it != listings.rend(); ++it)
        if (it->path == folder) return it->fd;
    return thread_folders().descriptor(folder);
}

}  // namespace

at_path native_at(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (path.size() >= PATH_MAX || path.empty() || path[0] != '/' || slash == 0 || slash + 1 >= path.size())
        return {AT_FDCWD, path.c_str(), path};
    const int dir = folder_descriptor(std::string_view(path).substr(0, slash));
    if (dir < 0) return {AT_FDCWD, path.c_str(), path};
    return {dir, path.c_str() + slash + 1, path};
}

void forget_folders() { thread_folders().clear(); }

void enter_listing(std::string folder, int fd) { thread_listings().push_back({std::move(folder), fd}); }

void leave_listing(int fd) {
    std::vector<listed_folder>& listings = thread_listings();
    listings.erase(
        std::remove_if(listings.begin(), listings.end(), [fd](const listed_folder& f) { return f.fd == fd; }),
        listings.end());
}

bool stat_following(std::u16string_view path, struct stat& st) {
    return at_call(native_scratch(path), [&](int dir, const char* name) { return fstatat(dir, name, &st, 0) == 0; });
}

int open_for_reading(std::u16string_view path) {
    int fd = -1;
    at_call(native_scratch(path), [&](int dir, const char* name) {
        return (fd = ::openat(dir, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)) >= 0;
    });
    return fd;
}

}  // namespace zub::platform::posix
