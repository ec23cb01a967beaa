// Comparison reads that leave the page cache as it was (compare_reading_posix.h).
#include "platform/posix/compare_reading_posix.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/posix/common_posix.h"

namespace zub::platform::posix {

namespace {

#ifndef SYS_cachestat
#define SYS_cachestat 451
#endif

// Which of the pages of [offset, offset + length) the page cache holds (one
// byte a page, bit 0 set when it does). False when the system cannot tell.
bool resident_pages(int fd, uint64_t offset, uint64_t length, std::vector<unsigned char>& pages) {
    const uint64_t page = page_size();
    const uint64_t first = offset / page * page;
    const uint64_t span = offset + length - first;
    pages.assign((span + page - 1) / page, 0);
    void* map = mmap(nullptr, span, PROT_READ, MAP_SHARED, fd, static_cast<off_t>(first));
    if (map == MAP_FAILED) return false;
    const bool ok = mincore(map, span, pages.data()) == 0;
    munmap(map, span);
    return ok;
}

// How much of [offset, offset + length) the cache holds, counted by the
// kernel in one system call (cachestat); unknown where the kernel has none.
// A range past the end of the file counts as cached.
cached cached_range(int fd, uint64_t offset, uint64_t length, uint64_t size) {
    const uint64_t page = page_size();
    const uint64_t end = std::min(offset + length, size);
    if (end <= offset) return cached::all;
    const uint64_t pages = (end + page - 1) / page - offset / page;
    struct {
        uint64_t off, len;
    } range{offset, end - offset};
    struct {
        uint64_t nr_cache, nr_dirty, nr_writeback, nr_evicted, nr_recently_evicted;
    } stat{};
    if (syscall(SYS_cachestat, fd, &range, &stat, 0) != 0) return cached::unknown;
    if (stat.nr_cache >= pages) return cached::all;
    return stat.nr_cache == 0 ? cached::none : cached::part;
}

// How much of the file the cache holds: one system call where the kernel
// counts cached pages (cachestat), else a look at every page (mincore).
cached residency_of(int fd, uint64_t size) {
    const cached counted = cached_range(fd, 0, size, size);
    if (counted != cached::unknown) return counted;
    std::vector<unsigned char> resident;
    if (!resident_pages(fd, 0, size, resident)) return cached::all;  // cannot tell: read normally
    uint64_t in_cache = 0;
    for (unsigned char r : resident) in_cache += r & 1;
    if (in_cache >= resident.size()) return cached::all;
    return in_cache == 0 ? cached::none : cached::part;
}

// Small files this thread counted in a row that the cache held whole. Once
// there are CACHED_IN_A_ROW, a small file's first read takes only cached
// pages (see read_compared) and no count is spent on it, until one that the
// cache does not hold starts the counting again.
constexpr unsigned CACHED_IN_A_ROW = 16;
thread_local unsigned small_files_cached = 0;

}  // namespace

// Starts a comparison's reading of a file so that it leaves the page cache
// as the user had it. A file the cache holds whole is read normally. For one
// it does not hold at all, read-ahead is switched off and a second descriptor
// reads with O_DIRECT, past the cache; where the file system has no direct
// reads, each range is dropped from the cache again after it was read. A
// file held in part is read page run by page run, and only the runs that were
// not cached are dropped again.
void prepare_compare_reading(int fd, compare_file& file) {
    if (file.state.size > 0 && file.state.size <= SMALL_FILE_BYTES) {
        // Counted by the kernel where it can, without a read that would
        // start reading the file in; else the first read finds it out. While
        // small files keep coming from the cache, the first read finds out
        // too, and no call is spent on a count.
        if (small_files_cached >= CACHED_IN_A_ROW) {
            file.residency = cached::unknown;
            return;
        }
        file.residency = cached_range(fd, 0, file.state.size, file.state.size);
        small_files_cached = file.residency == cached::all ? small_files_cached + 1 : 0;
        return;
    }
    file.residency = residency_of(fd, file.state.size);
    if (file.residency == cached::all) return;
    posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    if (file.residency == cached::none) {
        file.direct_fd = ::open(self_path(fd).c_str(), O_RDONLY | O_DIRECT | O_NOCTTY | O_CLOEXEC);
    }
}

namespace {

ssize_t pread_all(int fd, char* buffer, size_t count, uint64_t offset) {
    ssize_t n;
    do {
        n = ::pread(fd, buffer, count, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

}  // namespace

// One read of a comparison (see prepare_compare_reading).
ssize_t read_compared(int fd, compare_file& file, char* buffer, size_t count) {
    const uint64_t offset = file.offset;
    ssize_t n = -1;
    if (file.residency == cached::unknown) {
        // A small file: a read that takes only cached pages (RWF_NOWAIT)
        // costs nothing extra when the file is cached. When it is not, that
        // read has started reading the rest of the file in; it is read whole
        // now and the pages past those the first read found are dropped
        // again, being this run's doing. The thread counts the next small
        // files again.
        iovec vector{buffer, count};
        const ssize_t found = preadv2(fd, &vector, 1, static_cast<off_t>(offset), RWF_NOWAIT);
        const bool whole = found >= 0 && (static_cast<size_t>(found) == count || offset + found >= file.state.size);
        if (whole) {
            file.residency = cached::all;
            n = found;
        } else if (found >= 0 || errno == EAGAIN || errno == EOPNOTSUPP || errno == EINVAL) {
            small_files_cached = 0;
            file.residency = cached::none;
            n = pread_all(fd, buffer, count, offset);
            const uint64_t kept = found > 0 ? (offset + static_cast<uint64_t>(found)) / page_size() * page_size() : 0;
            if (n >= 0) posix_fadvise(fd, static_cast<off_t>(kept), 0, POSIX_FADV_DONTNEED);
        }
    } else if (file.residency == cached::all) {
        n = pread_all(fd, buffer, count, offset);
    } else if (file.direct_fd >= 0 && (n = pread_all(file.direct_fd, buffer, count, offset)) >= 0) {
        // read past the cache
    } else {
        // Without direct reads (or for a piece they cannot take): note which
        // pages were cached, read, and drop the others again. The kernel's
        // count for the range settles the common cases (all of it cached,
        // or none) without a look at each page.
        const cached range =
            file.residency == cached::none ? cached::none : cached_range(fd, offset, count, file.state.size);
        std::vector<unsigned char> resident;
        if (range == cached::none || (range != cached::all && !resident_pages(fd, offset, count, resident)))
            resident.clear();
        n = pread_all(fd, buffer, count, offset);
        if (n > 0 && range != cached::all) {
            const uint64_t page = page_size();
            const uint64_t first = offset / page * page;
            const size_t pages = static_cast<size_t>((offset + static_cast<uint64_t>(n) - first + page - 1) / page);
            for (size_t p = 0; p < pages;) {
                if (p < resident.size() && (resident[p] & 1)) {
                    ++p;
                    continue;
                }
                size_t q = p;
                while (q < pages && !(q < resident.size() && (resident[q] & 1))) ++q;
                posix_fadvise(fd, static_cast<off_t>(first + p * page), static_cast<off_t>((q - p) * page),
                              POSIX_FADV_DONTNEED);
                p = q;
            }
        }
    }
    if (n > 0) file.offset += static_cast<uint64_t>(n);
    return n;
}

// The status of a file opened as listed, taken now in place of the listing's.
bool take_listed_status(int fd, compare_file& file, uint32_t& error) {
    struct stat st;
    if (fstat(fd, &st) != 0) return fail(error, errno);
    file.state = state_from(st);
    file.listed = false;
    return true;
}

void end_compare(compare_file& file) {
    if (file.direct_fd >= 0) ::close(file.direct_fd);
    file.direct_fd = -1;
}

}  // namespace zub::platform::posix
