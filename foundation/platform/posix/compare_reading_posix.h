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

// How much of a file the page cache holds when a comparison opens it; a
// small file is found out by its first read instead.
enum class cached { all, none, part, first_read_tells };

// Files up to this size are read whole by a comparison's first read.
constexpr uint64_t SMALL_FILE_BYTES = 8192;

// Descriptors opened for comparison reading: the state taken when each was
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
};

// Publishes the comparison state of a descriptor and prepares its reading.
void start_compare(int fd, const compare_file& opened);
// The comparison state of a descriptor, or null for one not opened for comparison.
compare_file* compared_file(int fd);
// Withdraws the comparison state of a descriptor about to be closed.
void end_compare(int fd);

// One read of a comparison at the offset the file has reached.
ssize_t read_compared(int fd, compare_file& file, char* buffer, size_t count);

// The status of a file opened as listed, taken now in place of the listing's.
bool take_listed_status(int fd, compare_file& file);

}  // namespace zub::platform::posix
