// Reading for a comparison that leaves the page cache as the user had it:
// pages cached before a run stay cached, pages the run brought in do not
// stay (posix/README.md, "Reading for a comparison, and the page cache").
// A file opened for comparison keeps its state here: the status taken at the
// open, the offset its reads have reached and how much of it was cached.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace zub::platform::posix {

// How much of a file, or of a range of it, the page cache holds. Unknown for
// a range where the kernel cannot count cached pages, and for a small file
// opened for comparison, whose first read finds it out.
enum class cached { all, none, part, unknown };

// Files up to this size are read whole by a comparison's first read.
constexpr uint64_t SMALL_FILE_BYTES = 8192;

// The reading of a file opened for comparison: the state taken when it was
// opened (its size tells the end of the file without a read that returns
// nothing), the offset its reads have reached, how much of it was cached,
// and for a file that was not cached a second descriptor that reads past
// the page cache.
struct compare_file {
    file_state state;
    uint64_t offset = 0;
    cached residency = cached::all;
    int direct_fd = -1;
    // Opened by open_listed: `state` holds only the listed size until the
    // status is asked for or a read goes past that size.
    bool listed = false;
    // The last read call delivered less than it asked for: the file ended
    // there, and a call that starts at the listed size needs no read to
    // learn it.
    bool ended = false;
};

// Starts the reading of `file`, opened as `fd`, so that it leaves the page
// cache as the user had it.
void prepare_compare_reading(int fd, compare_file& file);
// Ends it before `fd` is closed (closes the descriptor that reads past the cache).
void end_compare(compare_file& file);

// One read of a comparison at the offset the file has reached.
ssize_t read_compared(int fd, compare_file& file, char* buffer, size_t count);

// The status of a file opened as listed, taken now in place of the listing's.
// False with the OS code in `error` when it cannot be taken.
bool take_listed_status(int fd, compare_file& file, uint32_t& error);

}  // namespace zub::platform::posix
