#!/usr/bin/env python3
"""Data sets and page-cache helpers for bench/run.sh.

  bench_data.py make KIND DIR PARAMS...   make a data set in DIR (DIR/src, DIR/dst)
  bench_data.py expect KIND PARAMS...     print the numbers of identical pairs, of different pairs and
                                          of source files missing on the destination
  bench_data.py results DIR ROOT LOCAL LOCAL_ROOT
                                          compare the result lists of a run in DIR over ROOT with those
                                          of a run in LOCAL over LOCAL_ROOT; exit 1 if they differ
  bench_data.py evict PATH...             drop the cached pages of every file under PATH
  bench_data.py cached PATH...            print the bytes of those files in the page cache

KIND and PARAMS:
  same  PAIRS SIZE          PAIRS identical pairs of SIZE bytes (set A)
  small PAIRS SIZE          PAIRS identical pairs of SIZE bytes in three folder levels (set B)
  mixed PAIRS MAX           PAIRS pairs of 0..MAX bytes, log-uniform; one byte changed in 20%,
                            the destination one byte shorter in 5% (set C)
  deep  LEVELS              a chain of LEVELS folders with one file in each, on both sides
  flat  PAIRS SIZE FOLDERS  PAIRS pairs of SIZE bytes spread over FOLDERS folders; one byte
                            changed in 2% (set S, on the share)
  gaps  PAIRS MAX           PAIRS pairs of 0..MAX bytes, log-uniform; one byte changed in 15%,
                            the destination one byte shorter in 5%, the destination file
                            missing in 5% (set M, on the share)

Everything is drawn from one fixed seed, so a set comes out the same each time it is made.
File contents are slices of one random pool, so writing them costs no more than the disk.
"""
import ctypes
import ctypes.util
import math
import mmap
import os
import random
import sys

SEED = 7
POOL = 64 << 20
CHUNK = 8 << 20


def pool():
    return memoryview(random.Random(SEED).randbytes(POOL))


def write_file(path, data, offset, size, change=None, cut=False):
    """Write SIZE bytes of the pool from OFFSET (wrapping), with the byte at
    CHANGE inverted, or without the last byte when CUT."""
    if cut:
        size -= 1
    with open(path, "wb") as f:
        pos = 0
        while pos < size:
            start = (offset + pos) % POOL
            n = min(size - pos, POOL - start, CHUNK)
            piece = data[start:start + n]
            if change is not None and pos <= change < pos + n:
                piece = bytearray(piece)
                piece[change - pos] ^= 0xFF
            f.write(piece)
            pos += n


MISSING = "missing"  # the cut field of a pair whose destination file is not made


def make_pairs(root, files, data, rnd):
    """files: (relative path, size, change position or None, cut) tuples."""
    for rel, size, change, cut in files:
        offset = rnd.randrange(POOL)
        for side in ("src", "dst"):
            if side == "dst" and cut == MISSING:
                continue
            path = os.path.join(root, side, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            if side == "src":
                write_file(path, data, offset, size)
            else:
                write_file(path, data, offset, size, change, cut)


def mixed_pair(rnd, top, changed, shorter):
    """A size log-uniform from 0 to TOP; one byte changed below the draw
    CHANGED (its offset), else the destination one byte shorter below SHORTER.
    Also the draw, for a caller's own rarer cases."""
    size = min(int(math.exp(rnd.uniform(0, math.log(top + 1)))) - 1, top)
    r = rnd.random()
    if size and r < changed:
        return size, rnd.randrange(size), False, r
    return size, None, bool(size and r < shorter), r


def plan(kind, params, rnd):
    """The pairs of a set: (relative path, size, change position or None, cut) tuples."""
    files = []
    if kind == "same":
        pairs, size = int(params[0]), int(params[1])
        files = [("f%d.bin" % i, size, None, False) for i in range(pairs)]
    elif kind == "small":
        pairs, size = int(params[0]), int(params[1])
        for i in range(pairs):
            leaf = i // 10  # ten files a folder, twenty folders a level-2 folder, ten of those a top folder
            rel = "a%03d/b%02d/c%02d/f%06d.dat" % (leaf // 200, leaf // 20 % 10, leaf % 20, i)
            files.append((rel, size, None, False))
    elif kind == "mixed":
        pairs, top = int(params[0]), int(params[1])
        for i in range(pairs):
            size, change, cut, _ = mixed_pair(rnd, top, 0.20, 0.25)
            files.append(("d%d/e%d/f%05d.bin" % (i % 10, i % 7, i), size, change, cut))
    elif kind == "flat":
        pairs, size, folders = int(params[0]), int(params[1]), int(params[2])
        for i in range(pairs):
            change = rnd.randrange(size) if size and rnd.random() < 0.02 else None
            files.append(("g%03d/f%05d.dat" % (i % folders, i), size, change, False))
    elif kind == "gaps":
        pairs, top = int(params[0]), int(params[1])
        for i in range(pairs):
            size, change, cut, r = mixed_pair(rnd, top, 0.15, 0.20)
            if change is None and not cut and r < 0.25:
                cut = MISSING
            files.append(("h%d/f%04d.bin" % (i % 20, i), size, change, cut))
    elif kind == "deep":
        files = [("d/" * (level + 1) + "f", 0, None, False) for level in range(int(params[0]))]
    else:
        sys.exit("unknown kind " + kind)
    return files


def expect(kind, params):
    """The numbers of identical pairs, of different pairs and of source files
    missing on the destination in a set."""
    files = plan(kind, params, random.Random(SEED))
    missing = sum(1 for f in files if f[3] == MISSING)
    different = sum(1 for f in files if f[2] is not None or f[3] is True)
    return len(files) - different - missing, different, missing


def make(kind, root, params):
    if kind == "deep":
        levels = int(params[0])
        for side in ("src", "dst"):
            os.makedirs(os.path.join(root, side))
            fd = os.open(os.path.join(root, side), os.O_RDONLY | os.O_DIRECTORY)
            for level in range(levels):  # relative steps: the full path outgrows PATH_MAX
                os.mkdir("d", dir_fd=fd)
                nfd = os.open("d", os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
                os.close(fd)
                fd = nfd
                f = os.open("f", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
                os.write(f, b"level %d\n" % level)
                os.close(f)
            os.close(fd)
        return
    rnd = random.Random(SEED)
    data = pool()
    files = plan(kind, params, rnd)
    if kind in ("mixed", "flat", "gaps"):
        print("  %d pairs: %d with one byte changed, %d one byte shorter, %d missing on the destination" % (
            len(files), sum(1 for f in files if f[2] is not None), sum(1 for f in files if f[3] is True),
            sum(1 for f in files if f[3] == MISSING)))
    make_pairs(root, files, data, rnd)


def tree_files(paths):
    for top in paths:
        if os.path.isfile(top):
            yield top
            continue
        for folder, _, names in os.walk(top):
            for name in names:
                yield os.path.join(folder, name)


def evict(paths):
    for path in tree_files(paths):
        fd = os.open(path, os.O_RDONLY)
        try:
            os.fdatasync(fd)  # dirty pages cannot be dropped
            os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        finally:
            os.close(fd)


libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
libc.mmap.restype = ctypes.c_void_p
libc.mmap.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_long]
libc.munmap.argtypes = [ctypes.c_void_p, ctypes.c_size_t]
libc.mincore.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_char_p]


def cached_bytes(path):
    """Bytes of PATH in the page cache, from mincore over a mapping that is never touched."""
    size = os.path.getsize(path)
    if size == 0:
        return 0
    page = mmap.PAGESIZE
    fd = os.open(path, os.O_RDONLY)
    try:
        addr = libc.mmap(None, size, mmap.PROT_READ, mmap.MAP_SHARED, fd, 0)
        if addr in (None, ctypes.c_void_p(-1).value):
            raise OSError(ctypes.get_errno(), "mmap " + path)
        try:
            pages = (size + page - 1) // page
            vec = ctypes.create_string_buffer(pages)
            if libc.mincore(addr, size, vec) != 0:
                raise OSError(ctypes.get_errno(), "mincore " + path)
            raw = vec.raw
            return (len(raw) - raw.count(0)) * page
        finally:
            libc.munmap(addr, size)
    finally:
        os.close(fd)


# zub64's result lists: the identical, different and missing files of each
# side. zubaer.log is left out: it names the command line.
RESULT_LISTS = ("zubssame.log", "zubdsame.log", "zubsdif.log", "zubddif.log", "zubsfnf.log", "zubdfnf.log",
                "zubserr.log", "zubderr.log", "zubsdnf.log", "zubddnf.log")


def result_lines(folder, root):
    """The lines of each result list in FOLDER, with ROOT made "<root>", in their
    order: the walk's order, which the share (a passthrough) lists as the disk does."""
    lists = {}
    for name in RESULT_LISTS:
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            lists[name] = None
            continue
        raw = open(path, "rb").read()
        if raw.startswith(b"\xff\xfe") or (len(raw) > 1 and raw[1:2] == b"\0"):
            text = raw.decode("utf-16")
        else:
            text = raw.decode("utf-8", "surrogateescape")
        lines = [line.replace(root, "<root>", 1) if line.startswith(root) else line
                 for line in text.replace("\r\n", "\n").split("\n") if line]
        lists[name] = lines
    return lists


def compare_results(folder, root, local, local_root):
    """Prints how the result lists of two runs differ; True when they are equal."""
    mine, theirs = result_lines(folder, root), result_lines(local, local_root)
    equal = True
    for name in RESULT_LISTS:
        a, b = mine[name], theirs[name]
        if a == b:
            continue
        equal = False
        if a is None or b is None:
            print("  %s: only in the %s run" % (name, "local" if a is None else "share"))
            continue
        only_a, only_b = sorted(set(a) - set(b)), sorted(set(b) - set(a))
        print("  %s: %d lines against %d locally; %d only here, %d only locally%s" % (
            name, len(a), len(b), len(only_a), len(only_b),
            (", e.g. " + (only_a or only_b)[0]) if (only_a or only_b) else " (the same lines in another order)"))
    total = sum(len(v) for v in mine.values() if v)
    if equal and total == 0:
        print("  no result lists found in %s" % folder)
        return False
    return equal


def main(argv):
    if len(argv) >= 3 and argv[0] == "make":
        make(argv[1], argv[2], argv[3:])
    elif len(argv) >= 2 and argv[0] == "expect":
        print("%d %d %d" % expect(argv[1], argv[2:]))
    elif len(argv) == 5 and argv[0] == "results":
        sys.exit(0 if compare_results(*argv[1:]) else 1)
    elif argv and argv[0] == "evict":
        evict(argv[1:])
    elif argv and argv[0] == "cached":
        print(sum(cached_bytes(p) for p in tree_files(argv[1:])))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
