#!/usr/bin/env bash
# Benchmark: zub64 against other ways of finding identical files in two trees,
# measured in the same run on the same data. Prints each tool's median wall
# time over several runs and its ratio to zub64; only ratios are meaningful on
# shared machines.
#
#   bench/compare_trees.sh [ZUB64] [FILES] [MAX_KIB] [RUNS]
#
# The data set (made once in bench/data/, reused while its parameters match):
# FILES files of random size up to MAX_KIB KiB in nested folders, copied to a
# second tree in which about one file in ten differs (a flipped byte, a cut
# tail, an appended byte) and a few are missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
zub64=$(realpath -m "${1:-$here/../build/native/console/zub64}")
files=${2:-2000}
max_kib=${3:-1024}
runs=${4:-5}
data=$here/data/set-$files-$max_kib

if [ ! -x "$zub64" ]; then echo "zub64 not found at $zub64 (build the native preset first)"; exit 1; fi

if [ ! -f "$data/.done" ]; then
  rm -rf "$data"; mkdir -p "$data/src" "$data/dst"
  python3 - "$data" "$files" "$max_kib" <<'PY'
import os, random, sys
root, n, max_kib = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rnd = random.Random(7)
for i in range(n):
    sub = os.path.join("d%02d" % (i % 17), "e%02d" % (i % 5))
    for side in ("src", "dst"):
        os.makedirs(os.path.join(root, side, sub), exist_ok=True)
    size = rnd.randint(0, max_kib * 1024)
    data = bytearray(rnd.getrandbits(8) for _ in range(min(size, 4096))) * (size // 4096 + 1)
    data = bytes(data[:size])
    name = os.path.join(sub, "f%05d.bin" % i)
    open(os.path.join(root, "src", name), "wb").write(data)
    r = rnd.random()
    if r < 0.03:
        continue                                   # missing in the destination
    if r < 0.06 and size:
        b = bytearray(data); p = rnd.randrange(size); b[p] ^= 1; data = bytes(b)
    elif r < 0.08 and size:
        data = data[:-1]
    elif r < 0.10:
        data = data + b"x"
    open(os.path.join(root, "dst", name), "wb").write(data)
PY
  touch "$data/.done"
fi

work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
measure() {  # measure NAME command...
  local name=$1; shift; local t=()
  "$@" >/dev/null 2>&1 || true   # warm the page cache equally for every tool
  for _ in $(seq "$runs"); do
    local s e; s=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s.%N)
    t+=("$(awk -v a="$s" -v b="$e" "BEGIN{print b-a}")")
  done
  printf '%s\n' "${t[@]}" | median > "$work/$name"
}

cd "$work"
measure zub64 "$zub64" "$data/src" "$data/dst"
measure diff_rq diff -rq "$data/src" "$data/dst"
measure cmp_each bash -c 'cd "$1/src" && find . -type f -print0 | while IFS= read -r -d "" f; do cmp -s "$f" "$1/dst/$f"; done' _ "$data"
base=$(cat "$work/zub64")
total=$(du -sh "$data/src" | cut -f1)
echo "data: $files files, $total per tree, $runs runs each, warm page cache"
printf '%-10s %10s %8s\n' tool "median s" "ratio"
for n in zub64 diff_rq cmp_each; do
  v=$(cat "$work/$n"); printf '%-10s %10.3f %8.2f\n' "$n" "$v" "$(awk -v a="$v" -v b="$base" "BEGIN{print a/b}")"
done
