// Lookups of files by path that go from a descriptor of the file's folder
// (the *at() calls) instead of walking the whole path again: in a tree a few
// levels deep that walk costs more than the call itself. The folders being
// listed lend their descriptors; a few others are kept per thread.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <string>
#include <string_view>

namespace zub::platform::posix {

// A native path for an *at() call: the descriptor of its folder and its
// last component, or AT_FDCWD and the whole path. Split only where both
// resolve alike: an absolute path within the system's length limit, with a
// name after its last slash. `name` and `path` point into the given path.
struct at_path {
    int dir;
    const char* name;
    std::string_view path;
};
at_path native_at(const std::string& path);

// Drops the folder descriptors the calling thread keeps: later lookups find
// folders as they are now.
void forget_folders();

// The folder the calling thread starts listing, read through `fd`, and the
// end of that listing: while it lasts, lookups in the folder go from it.
// A search is closed on the thread that opened it.
void enter_listing(std::string folder, int fd);
void leave_listing(int fd);

// Runs `call(dir, name)`, true on success, on the path's folder-relative
// form (native_at); when that fails, once more on the whole path. A folder
// removed and made again since its descriptor was opened holds nothing,
// and the whole path finds the new one (the kept descriptors are dropped
// then). A folder moved away and replaced is seen anew from the next
// folder listing on, which drops them too.
template <class Call>
bool at_call(const std::string& path, Call call) {
    const at_path at = native_at(path);
    if (call(at.dir, at.name)) return true;
    if (at.dir == AT_FDCWD || !call(AT_FDCWD, at.path.data())) return false;
    forget_folders();
    return true;
}

// The status of the file a path leads to (links followed); false when there
// is none.
bool stat_following(std::u16string_view path, struct stat& st);

// A descriptor for reading the file a path leads to, or -1 with errno
// set. Non-blocking for the open only, so that a FIFO cannot hang the
// program (reads of a regular file do not heed it); never a controlling
// terminal.
int open_for_reading(std::u16string_view path);

}  // namespace zub::platform::posix
