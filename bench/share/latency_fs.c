/* A simulated file share for bench/run.sh: a read-only FUSE passthrough of a
 * backing folder that waits a set time on each request before answering and
 * serves at most a set number of requests at once, as a small file server
 * behind a network does. Names and attributes are cached by the kernel for
 * one second, file contents by the mount's page cache (kept while a file's
 * size and time are unchanged), as a network client does.
 *
 *   latency_fs [-f] [-l MS] [-n MAX] [-s STATS] BACKING MOUNTPOINT
 *
 *   -f        stay in the foreground (the caller knows the server's process)
 *   -l MS     wait on each request, in milliseconds (default 0.5)
 *   -n MAX    requests served at once (default 10)
 *   -s STATS  on unmount, write request counts, the most requests seen in
 *             service at once and the largest read to the file STATS
 *
 * It mounts, then serves until unmounted (fusermount3 -u).
 * Reads of files opened with O_DIRECT come as direct requests of the
 * kernel; the backing file is opened without O_DIRECT, as a server reads
 * its disk through its own cache whatever its client asked.
 */
#define FUSE_USE_VERSION 314
#define _GNU_SOURCE
#include <fuse.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <semaphore.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

static int root_fd = -1;
static struct timespec latency = {0, 500000};
static unsigned max_at_once = 10;
static sem_t slots;
static const char* stats_path;

enum {
    R_GETATTR,
    R_OPENDIR,
    R_READDIR,
    R_RELEASEDIR,
    R_OPEN,
    R_READ,
    R_FLUSH,
    R_RELEASE,
    R_STATFS,
    R_READLINK,
    R_COUNT
};
static const char* const request_names[R_COUNT] = {"getattr", "opendir", "readdir", "releasedir", "open",
                                                   "read",    "flush",   "release", "statfs",     "readlink"};
static atomic_ulong counts[R_COUNT];
static atomic_ulong direct_opens;
static atomic_uint in_service, most_in_service;
static atomic_ulong largest_read;

/* Every request starts here: it takes one of the server's slots, then waits
 * the latency (the round trip), and gives the slot back in done(). */
static void begin(int request) {
    while (sem_wait(&slots) != 0 && errno == EINTR) {
    }
    atomic_fetch_add(&counts[request], 1);
    unsigned now = atomic_fetch_add(&in_service, 1) + 1;
    unsigned most = atomic_load(&most_in_service);
    while (now > most && !atomic_compare_exchange_weak(&most_in_service, &most, now)) {
    }
    struct timespec left = latency;
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

static int done(int result) {
    atomic_fetch_sub(&in_service, 1);
    sem_post(&slots);
    return result;
}

/* The backing path of a path of the mount: relative to the backing root. */
static const char* rel(const char* path) {
    while (*path == '/') path++;
    return *path ? path : ".";
}

static int fs_getattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
    begin(R_GETATTR);
    int r = fi ? fstat((int)fi->fh, st) : fstatat(root_fd, rel(path), st, AT_SYMLINK_NOFOLLOW);
    return done(r == 0 ? 0 : -errno);
}

static int fs_readlink(const char* path, char* buf, size_t size) {
    begin(R_READLINK);
    ssize_t n = readlinkat(root_fd, rel(path), buf, size - 1);
    if (n < 0) return done(-errno);
    buf[n] = '\0';
    return done(0);
}

struct dir_handle {
    DIR* dir;
    struct dirent* entry;
    off_t offset;
};

static int fs_opendir(const char* path, struct fuse_file_info* fi) {
    begin(R_OPENDIR);
    int fd = openat(root_fd, rel(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return done(-errno);
    struct dir_handle* d = calloc(1, sizeof *d);
    if (!d || !(d->dir = fdopendir(fd))) {
        int e = d ? errno : ENOMEM;
        free(d);
        close(fd);
        return done(-e);
    }
    fi->fh = (uintptr_t)d;
    return done(0);
}

/* Each readdir request is one wait: it fills the kernel's buffer from the
 * offset asked, with attributes when the kernel asks for them (readdirplus),
 * so that a listing also answers the lookups of its names. */
static int fs_readdir(const char* path, void* buf, fuse_fill_dir_t fill, off_t offset, struct fuse_file_info* fi,
                      enum fuse_readdir_flags flags) {
    (void)path;
    begin(R_READDIR);
    struct dir_handle* d = (struct dir_handle*)(uintptr_t)fi->fh;
    if (offset != d->offset) {
        seekdir(d->dir, offset);
        d->entry = NULL;
        d->offset = offset;
    }
    for (;;) {
        if (!d->entry) {
            errno = 0;
            d->entry = readdir(d->dir);
            if (!d->entry) return done(errno ? -errno : 0);
        }
        struct stat st;
        memset(&st, 0, sizeof st);
        enum fuse_fill_dir_flags fill_flags = 0;
        if ((flags & FUSE_READDIR_PLUS) && fstatat(dirfd(d->dir), d->entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            fill_flags |= FUSE_FILL_DIR_PLUS;
        } else {
            st.st_ino = d->entry->d_ino;
            st.st_mode = (mode_t)d->entry->d_type << 12;
        }
        off_t next = telldir(d->dir);
        if (fill(buf, d->entry->d_name, &st, next, fill_flags)) break;  // the kernel's buffer is full
        d->entry = NULL;
        d->offset = next;
    }
    return done(0);
}

static int fs_releasedir(const char* path, struct fuse_file_info* fi) {
    (void)path;
    begin(R_RELEASEDIR);
    struct dir_handle* d = (struct dir_handle*)(uintptr_t)fi->fh;
    closedir(d->dir);
    free(d);
    return done(0);
}

static int fs_open(const char* path, struct fuse_file_info* fi) {
    begin(R_OPEN);
    if ((fi->flags & O_ACCMODE) != O_RDONLY) return done(-EROFS);
    if (fi->flags & O_DIRECT) atomic_fetch_add(&direct_opens, 1);
    int fd = openat(root_fd, rel(path), O_RDONLY | O_CLOEXEC | (fi->flags & O_NOFOLLOW));
    if (fd < 0) return done(-errno);
    fi->fh = (uint64_t)fd;
    return done(0);
}

static int fs_read(const char* path, char* buf, size_t size, off_t offset, struct fuse_file_info* fi) {
    (void)path;
    begin(R_READ);
    unsigned long most = atomic_load(&largest_read);
    while (size > most && !atomic_compare_exchange_weak(&largest_read, &most, size)) {
    }
    size_t got = 0;
    while (got < size) {
        ssize_t n = pread((int)fi->fh, buf + got, size - got, offset + (off_t)got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return done(got ? (int)got : -errno);
        if (n == 0) break;
        got += (size_t)n;
    }
    return done((int)got);
}

static int fs_flush(const char* path, struct fuse_file_info* fi) {
    (void)path;
    (void)fi;
    begin(R_FLUSH);
    return done(0);
}

static int fs_release(const char* path, struct fuse_file_info* fi) {
    (void)path;
    begin(R_RELEASE);
    close((int)fi->fh);
    return done(0);
}

static int fs_statfs(const char* path, struct statvfs* st) {
    (void)path;
    begin(R_STATFS);
    return done(fstatvfs(root_fd, st) == 0 ? 0 : -errno);
}

static void* fs_init(struct fuse_conn_info* conn, struct fuse_config* cfg) {
    (void)conn;
    cfg->entry_timeout = 1.0;
    cfg->attr_timeout = 1.0;
    cfg->negative_timeout = 1.0;
    cfg->use_ino = 1;
    cfg->readdir_ino = 1;
    cfg->auto_cache = 1;  // keep cached contents while size and time stay the same
    cfg->nullpath_ok = 1;
    return NULL;
}

static void fs_destroy(void* data) {
    (void)data;
    if (!stats_path) return;
    FILE* f = fopen(stats_path, "w");
    if (!f) return;
    for (int i = 0; i < R_COUNT; i++) fprintf(f, "%s %lu\n", request_names[i], atomic_load(&counts[i]));
    fprintf(f, "direct_opens %lu\n", atomic_load(&direct_opens));
    fprintf(f, "most_at_once %u\n", atomic_load(&most_in_service));
    fprintf(f, "largest_read %lu\n", atomic_load(&largest_read));
    fclose(f);
}

static const struct fuse_operations ops = {
    .getattr = fs_getattr,
    .readlink = fs_readlink,
    .open = fs_open,
    .read = fs_read,
    .statfs = fs_statfs,
    .flush = fs_flush,
    .release = fs_release,
    .opendir = fs_opendir,
    .readdir = fs_readdir,
    .releasedir = fs_releasedir,
    .init = fs_init,
    .destroy = fs_destroy,
};

static void usage(void) {
    fprintf(stderr, "usage: latency_fs [-f] [-l MS] [-n MAX] [-s STATS] BACKING MOUNTPOINT\n");
    exit(2);
}

int main(int argc, char** argv) {
    double ms = 0.5;
    int foreground = 0;
    int opt;
    while ((opt = getopt(argc, argv, "fl:n:s:")) != -1) {
        char* end;
        switch (opt) {
        case 'f': foreground = 1; break;
        case 'l':
            ms = strtod(optarg, &end);
            if (*end || ms < 0) usage();
            break;
        case 'n':
            max_at_once = (unsigned)strtoul(optarg, &end, 10);
            if (*end || max_at_once == 0) usage();
            break;
        case 's': stats_path = optarg; break;
        default: usage();
        }
    }
    if (argc - optind != 2) usage();
    if (stats_path && stats_path[0] != '/') {  // the daemon works from /
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd)) return 1;
        char* full;
        if (asprintf(&full, "%s/%s", cwd, stats_path) < 0) return 1;
        stats_path = full;
    }
    long ns = (long)(ms * 1e6 + 0.5);
    latency.tv_sec = ns / 1000000000L;
    latency.tv_nsec = ns % 1000000000L;
    root_fd = open(argv[optind], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root_fd < 0) {
        perror(argv[optind]);
        return 1;
    }
    sem_init(&slots, 0, max_at_once);

    /* libfuse starts a thread per request waiting, up to max_threads: as many
     * as the server serves at once, so that a request beyond them queues in
     * the kernel as it would on the wire (the semaphore in begin() holds the
     * bound should a libfuse ignore the option). Naming the idle threads too
     * keeps libfuse 3.14 from warning about its own default. */
    char threads[64];
    snprintf(threads, sizeof threads, "max_threads=%u,max_idle_threads=%u", max_at_once, max_at_once);
    char* fuse_argv[] = {
        argv[0], argv[optind + 1],         "-o", "ro,default_permissions,fsname=latency_fs,subtype=latency", "-o",
        threads, foreground ? "-f" : NULL, NULL};
    return fuse_main(foreground ? 7 : 6, fuse_argv, &ops, NULL);
}
