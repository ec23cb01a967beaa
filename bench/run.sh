#!/usr/bin/env bash
# The zub64 benchmark: speed against diff -rq, rsync -rcn and cat on the same
# data in one run, peak memory, and what a run does to the page cache.
# See bench/README.md for what it prints and the targets it checks.
#
#   bench/run.sh [ZUB64] [--sets A,B,C,deep] [--share [MS]] [--cold] [--quick] [--runs N] [--drop-all]
#   bench/run.sh [ZUB64] --callgrind [PAIRS]
set -euo pipefail
export LC_ALL=C
{  # read to the end before running: the script may be edited during a long run
here=$(cd "$(dirname "$0")" && pwd)

usage() {
  sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'
  cat <<'EOF'

  ZUB64        the program to measure (default: build/native/console/zub64)
  --sets LIST  the sets to run, comma-separated, of A, B, C and deep (default: all)
  --share [MS] the sets S and M on a simulated file share (a FUSE passthrough) that
               waits MS (default 0.5) milliseconds on each request; a fresh mount a run
  --cold       B and C with the whole page cache dropped before each run (root)
               With none of --sets, --share and --cold: everything, share and cold
               only when running as root.
  --quick      smaller sets and fewer runs, for iterating on a change
  --runs N     timed runs per tool (default 10, or 3 with --quick; share and cold: 3, or 1)
  --drop-all   for the cold figures, drop the whole page cache (root; disturbs other
               users of the machine) instead of only the pages of the set's files
  --callgrind  instead of timing: count zub64's instructions and system calls per
               file pair on PAIRS (default 500) identical pairs of 4 KiB
EOF
}

zub64=$here/../build/native/console/zub64
sets=A,B,C,deep
share=0
share_ms=0.5
cold=0
chosen_sets=0
quick=0
runs=
drop_all=0
callgrind=0
cg_pairs=500
while [ $# -gt 0 ]; do
  case $1 in
    --sets) sets=${2:?--sets needs a list}; chosen_sets=1; shift ;;
    --share)
      share=1
      if [[ ${2:-} =~ ^[0-9]*\.?[0-9]+$ ]]; then share_ms=$2; shift; fi ;;
    --cold) cold=1 ;;
    --quick) quick=1 ;;
    --runs) runs=${2:?--runs needs a number}; shift ;;
    --drop-all) drop_all=1 ;;
    --callgrind)
      callgrind=1
      if [[ ${2:-} =~ ^[0-9]+$ ]]; then cg_pairs=$2; shift; fi ;;
    -h|--help) usage; exit 0 ;;
    -*) echo "unknown option $1" >&2; usage >&2; exit 2 ;;
    *) zub64=$1 ;;
  esac
  shift
done
if [ "$chosen_sets" = 0 ] && [ "$share" = 0 ] && [ "$cold" = 0 ]; then
  if [ "$(id -u)" = 0 ]; then share=1; cold=1; else skipped_root=1; fi
elif [ "$chosen_sets" = 0 ]; then
  sets=
fi
zub64=$(realpath -m "$zub64")
if [ ! -x "$zub64" ]; then
  echo "zub64 not found at $zub64 (cmake --preset native && cmake --build --preset native)" >&2
  exit 1
fi

# Set sizes. The full run is the one the targets are about.
MiB=$((1 << 20))
if [ "$quick" = 1 ]; then
  a_size=$((64 * MiB)); b_pairs=2000; c_pairs=300; warmup=1; slow_runs=${runs:-1}; runs=${runs:-3}
  s_pairs=500; s_folders=25; m_pairs=100
else
  a_size=$((512 * MiB)); b_pairs=20000; c_pairs=2000; warmup=2; slow_runs=${runs:-3}; runs=${runs:-10}
  s_pairs=2000; s_folders=100; m_pairs=400
fi
a_pairs=2; b_size=4096; c_max=$((8 * MiB)); deep_levels=2000
cache_left_max=$((8 * MiB))   # what a run over uncached files may leave cached
second_run_max=1.25           # a second warm run against the first
mem_max_kib=$((48 * 1024))

# Tools: installed from Debian when missing and we may.
apt_updated=0
apt_install() {  # apt_install WHAT PACKAGE
  if [ "$(id -u)" != 0 ]; then echo "$1 is missing: apt-get install $2" >&2; exit 1; fi
  if [ "$apt_updated" = 0 ]; then apt-get update -qq >/dev/null; apt_updated=1; fi
  echo "installing $2"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$2" >/dev/null
}
need() {  # need COMMAND PACKAGE
  [ -x "$(command -v "$1" || true)" ] && return 0
  apt_install "$@"
}
need python3 python3
data_py=(python3 "$here/bench_data.py")

# make_set NAME KIND PARAMS... : echoes the set's folder, making it unless it
# already holds the same set.
make_set() {
  local name=$1 kind=$2; shift 2
  local dir=$here/data/$name-$(IFS=-; echo "$*")
  if [ ! -f "$dir/.made-1" ]; then
    local need_kib avail_kib
    case $kind in
      same|small|flat) need_kib=$(($1 * $2 * 2 / 1024 + $1 * 8)) ;;
      mixed|gaps) need_kib=$(($1 * 1200 * 2)) ;;   # the mean size is about 530 KiB
      *) need_kib=$(($1 * 16)) ;;
    esac
    mkdir -p "$here/data"
    avail_kib=$(df -Pk "$here/data" | awk 'NR==2 {print $4}')
    if [ "$avail_kib" -lt $((need_kib + 2 * 1024 * 1024)) ]; then
      echo "not enough disk for set $name: $((need_kib / 1024)) MiB needed, $((avail_kib / 1024)) MiB free" >&2
      exit 1
    fi
    echo "making set $name in $dir" >&2
    rm -rf "$dir"
    "${data_py[@]}" make "$kind" "$dir" "$@" >&2
    sync -f "$dir/src"
    touch "$dir/.made-1"
  fi
  echo "$dir"
}

mkdir -p "$here/data"
work=$(mktemp -d)
mnt=
share_pid=
cleanup() {
  unmount_share
  if [ -n "$mnt" ]; then rmdir "$mnt" 2>/dev/null || echo "the share is still mounted on $mnt" >&2; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
cd "$work"   # zub64 writes its result files into the current folder

cached() { "${data_py[@]}" cached "$@"; }
evict() {
  if [ "$drop_all" = 1 ]; then sync; echo 3 > /proc/sys/vm/drop_caches; else "${data_py[@]}" evict "$@"; fi
}
secs() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", b - a}'; }
time_one() {  # time_one COMMAND-STRING: seconds of one run
  local s=$EPOCHREALTIME
  sh -c "$1" >/dev/null 2>&1 || true
  secs "$s" "$EPOCHREALTIME"
}
tree_bytes() { find "$@" -type f -printf '%s\n' | awk '{t += $1} END {print t + 0}'; }
tree_pages() {  # the page cache holds whole pages
  find "$@" -type f -printf '%s\n' | awk -v p="$(getconf PAGESIZE)" '{t += int(($1 + p - 1) / p) * p} END {print t + 0}'
}
mib() { awk -v b="$1" 'BEGIN {printf "%.1f", b / 1048576}'; }

results=()
check() {  # check LABEL PASSED(0/1) DETAIL
  local verdict=FAIL
  [ "$2" = 1 ] && verdict=PASS
  printf '  %-4s %-47s %s\n' "$verdict" "$1" "$3"
  results+=("$verdict $1")
}
le() { awk -v a="$1" -v b="$2" 'BEGIN {exit !(a <= b)}' && echo 1 || echo 0; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}'; }

header() {
  local src commit
  src=$(cd "$(dirname "$zub64")" && git rev-parse --show-toplevel 2>/dev/null || true)
  if [ -n "$src" ]; then   # the last commit of the code, the benchmark itself left out
    commit=$(git -C "$src" log -1 --format='%h (%cs) %s' -- . ':(exclude)bench')
    git -C "$src" diff --quiet HEAD -- . ':(exclude)bench' || commit="$commit, with uncommitted changes"
  else
    commit="unknown (not in a git tree)"
  fi
  echo "== zub64 benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')$([ "$quick" = 1 ] && echo ', quick sets')"
  echo "zub64:   $zub64"
  echo "         built $(date -u -r "$zub64" '+%Y-%m-%d %H:%M UTC'); code at commit $commit"
  echo "machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo) memory," \
    "$(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo), kernel $(uname -r)"
  echo "data:    $here/data on $(df -PT "$here/data" | awk 'NR==2 {print $2 " (" $1 ")"}')"
  echo "tools:   $(hyperfine --version), $(rsync --version | head -1 | awk '{print $1, $2, $3}'), $(diff --version | head -1)"
}

# --- profiling mode ---------------------------------------------------------
if [ "$callgrind" = 1 ]; then
  need valgrind valgrind
  need strace strace
  dir=$(make_set P small "$cg_pairs" 4096)
  mkdir -p empty/src empty/dst
  echo "== instructions and system calls per identical 4 KiB pair ($cg_pairs pairs in three folder levels)"
  echo "zub64: $zub64"
  ir() {  # ir SRC DST: instructions of one run
    valgrind --tool=callgrind --callgrind-out-file="$work/cg.out" "$zub64" "$1" "$2" >/dev/null 2>&1 || true
    awk '/^summary:/ {print $2}' "$work/cg.out"
  }
  calls() {  # calls SRC DST: system calls of one run
    strace -f -c -o "$work/strace.txt" "$zub64" "$1" "$2" >/dev/null 2>&1 || true
    awk '$NF == "total" {print $4}' "$work/strace.txt"
  }
  ir0=$(ir empty/src empty/dst); calls0=$(calls empty/src empty/dst)
  calls1=$(calls "$dir/src" "$dir/dst")
  ir1=$(ir "$dir/src" "$dir/dst")
  echo "instructions: $ir1 in all, $ir0 with no files; per pair $(awk -v a="$ir1" -v b="$ir0" -v n="$cg_pairs" 'BEGIN {printf "%.0f", (a - b) / n}')"
  echo "system calls: $calls1 in all, $calls0 with no files; per pair $(awk -v a="$calls1" -v b="$calls0" -v n="$cg_pairs" 'BEGIN {printf "%.1f", (a - b) / n}')"
  echo
  echo "-- system calls of the run with files (strace -c)"
  head -25 "$work/strace.txt"
  echo
  top() {  # top yes|no: the 25 first functions of callgrind_annotate, names shortened
    callgrind_annotate --inclusive="$1" "$work/cg.out" 2>/dev/null |
      awk 'seen && NF {print; if (++n == 25) exit} /file:function/ {getline; seen = 1}' |
      sed -E -e 's/ \[[^]]*\]$//' -e "s#$(realpath "$here/..")/##g" -e 's#/usr/include/c\+\+/[0-9]+/##g' \
        -e 's/std::basic_string_view<char16_t, std::char_traits<char16_t> >/std::u16string_view/g' \
        -e 's/std::basic_string_view<char, std::char_traits<char> >/std::string_view/g' \
        -e 's/std::__cxx11::basic_string<char16_t, std::char_traits<char16_t>, std::allocator<char16_t> >/std::u16string/g' \
        -e 's/std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >/std::string/g' \
        -e 's/\[abi:cxx11\]//g'
  }
  echo "-- top functions by own instructions (callgrind)"
  top no
  echo
  echo "-- top functions by inclusive instructions"
  top yes
  cp "$work/cg.out" "$here/data/callgrind.out"
  echo "(callgrind output kept in $here/data/callgrind.out for callgrind_annotate)"
  exit 0
fi

# --- timing mode ------------------------------------------------------------
need hyperfine hyperfine
need rsync rsync
[ -x /usr/bin/time ] || need /usr/bin/time time

# peak_kib ARGS...: zub64's maximum resident set in KiB
peak_kib() {
  /usr/bin/time -f %M -o "$work/rss" "$zub64" "$@" >/dev/null 2>&1 || true
  tail -1 "$work/rss"
}
memory() {  # memory SET-NAME SRC DST
  local plain lmg
  plain=$(peak_kib "$2" "$3"); lmg=$(peak_kib -l -m -g "$2" "$3")
  check "$1: peak memory <= 48 MiB" "$(le "$plain" "$mem_max_kib")" "$(mib $((plain * 1024))) MiB"
  check "$1: peak memory of -l -m -g <= 48 MiB" "$(le "$lmg" "$mem_max_kib")" "$(mib $((lmg * 1024))) MiB"
}

# counts NAME DIR KIND PARAMS...: whether zub64 still finds the set's identical
# and different pairs, and the source files missing on the destination (a
# fast run that compares wrongly is no gain).
counts() {
  local want got
  want=$("${data_py[@]}" expect "${@:3}")
  got=$("$zub64" "$2/src" "$2/dst" 2>/dev/null | iconv -f UTF-16LE -t UTF-8 | sed 's/^\xEF\xBB\xBF//' | tr -d '\r' |
    awk '/ same file/ {s = $1} / different file/ {d = $1} / file\(s\) not found/ {m = $1}
      END {print s + 0, d + 0, m + 0}') || true
  check "$1: zub64 counts the same and different pairs" "$([ "$got" = "$want" ] && echo 1 || echo 0)" \
    "$(set -- $got $want
      if [ "$6" = 0 ] && [ "$3" = 0 ]; then echo "$1 same, $2 different (expected $4 and $5)"
      else echo "$1 same, $2 different, $3 missing (expected $4, $5 and $6)"; fi)"
}

run_set() {  # run_set NAME DIR KIND PARAMS...
  local name=$1 dir=$2 s=$2/src d=$2/dst
  local -a names=(zub64 "zub64 -l -m -g" "diff -rq" "rsync -rcn" cat "cat, 2 readers")
  local -a cmds=(
    "'$zub64' '$s' '$d'"
    "'$zub64' -l -m -g '$s' '$d'"
    "diff -rq '$s' '$d'"
    "rsync -rcn '$s/' '$d/'"
    "find '$s' '$d' -type f -print0 | xargs -0 cat > /dev/null"
    "find '$s' -type f -print0 | xargs -0 cat > /dev/null & find '$d' -type f -print0 | xargs -0 cat > /dev/null; wait"
  )
  local files bytes
  files=$(find "$s" -type f | wc -l); bytes=$(tree_bytes "$s")
  echo
  echo "== set $name: $files pairs, $(mib "$bytes") MiB a side; warm page cache, $warmup warm-up and $runs timed runs each"

  counts "$name" "$dir" "${@:3}"

  # A warm cache for every tool: zub64 leaves the cache as it found it, so its
  # own warm-up runs would not warm a set that an earlier cold check emptied.
  sh -c "${cmds[4]}"
  local -a hf=(hyperfine --style none -i --warmup "$warmup" --runs "$runs" --export-json "$work/hf.json")
  local i
  for i in "${!names[@]}"; do hf+=(-n "${names[$i]}" "${cmds[$i]}"); done
  "${hf[@]}" >/dev/null 2>"$work/hf.err" || { cat "$work/hf.err" >&2; exit 1; }
  local -A med
  while IFS=$'\t' read -r n m lo hi; do
    med[$n]=$m
    printf '  %-16s median %8.3f s   min %8.3f s   max %8.3f s\n' "$n" "$m" "$lo" "$hi"
  done < <(python3 -c '
import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    print("%s\t%.4f\t%.4f\t%.4f" % (r["command"], r["median"], r["min"], r["max"]))' "$work/hf.json")
  local z=${med[zub64]}
  echo "  ratios: zub64/diff $(ratio "$z" "${med[diff -rq]}"), zub64/rsync $(ratio "$z" "${med[rsync -rcn]}")," \
    "zub64/cat $(ratio "$z" "${med[cat]}"), (cat, 2 readers)/cat $(ratio "${med[cat, 2 readers]}" "${med[cat]}")," \
    "(zub64 -l -m -g)/zub64 $(ratio "${med[zub64 -l -m -g]}" "$z")"
  case $name in
    A)
      local r; r=$(ratio "$z" "${med[cat]}")
      check "A: zub64 <= 0.85 x cat" "$(le "$r" 0.85)" "$r"
      check "A: zub64 <= 1.10 x cat (the floor)" "$(le "$r" 1.10)" "$r" ;;
    B)
      check "B: zub64 <= diff -rq" "$(le "$z" "${med[diff -rq]}")" "$(ratio "$z" "${med[diff -rq]}")" ;;
    C)
      check "C: zub64 <= 0.6 x diff -rq" "$(le "$(ratio "$z" "${med[diff -rq]}")" 0.6)" "$(ratio "$z" "${med[diff -rq]}")"
      check "C: zub64 < rsync -rcn" "$(awk -v a="$z" -v b="${med[rsync -rcn]}" 'BEGIN {print (a < b) ? 1 : 0}')" \
        "$(ratio "$z" "${med[rsync -rcn]}")" ;;
  esac
  local lr; lr=$(ratio "${med[zub64 -l -m -g]}" "$z")
  check "$name: zub64 -l -m -g <= 1.15 x zub64" "$(le "$lr" 1.15)" "$lr"

  memory "$name" "$s" "$d"

  # The page cache: pages cached before a run stay cached, and a second run
  # is as fast as the first.
  local total before after t1 t2
  sh -c "${cmds[4]}"
  total=$(tree_pages "$s" "$d")
  before=$(cached "$s" "$d")
  t1=$(time_one "${cmds[0]}")
  after=$(cached "$s" "$d")
  t2=$( (for _ in 1 2 3; do time_one "${cmds[0]}"; echo; done) | sort -n | sed -n 2p)
  # Some machines reclaim cold pages on their own (a DAMON "pageout" scheme
  # here): the same pause without a run shows how many go that way, and only
  # pages beyond those (and 1 MiB) count against zub64.
  local idle_before idle_after reclaimed
  sh -c "${cmds[4]}"
  idle_before=$(cached "$s" "$d")
  sleep "$t1"
  idle_after=$(cached "$s" "$d")
  reclaimed=$(( idle_before > idle_after ? idle_before - idle_after : 0 ))
  echo "  (the machine's own reclaim in ${t1} s without a run: $(mib "$reclaimed") MiB)"
  check "$name: cached pages stay cached" "$(le "$before" "$(( after + reclaimed + 1048576 ))")" \
    "$(mib "$before") MiB cached before a run (of $(mib "$total")), $(mib "$after") MiB after"
  check "$name: second warm run <= $second_run_max x first" "$(le "$(ratio "$t2" "$t1")" "$second_run_max")" \
    "first ${t1} s after cat, then ${t2} s (median of 3)"

  # Cold figures: one run of each tool after dropping the set's pages; and
  # zub64 must not leave the pages it read behind.
  echo "  cold page cache$([ "$drop_all" = 1 ] && echo ' (whole cache dropped)' || echo " (the set's file pages dropped; metadata stays cached)"), one run each:"
  local left
  for i in "${!names[@]}"; do
    evict "$s" "$d"
    printf '  %-16s %8.3f s\n' "${names[$i]}" "$(time_one "${cmds[$i]}")"
    if [ "$i" = 0 ]; then left=$(cached "$s" "$d"); fi
  done
  check "$name: uncached files left cached <= $(mib $cache_left_max) MiB" "$(le "$left" "$cache_left_max")" \
    "$(mib "$left") MiB after a run over $(mib "$total") MiB not cached"
}

# --- the share and the cold disk ----------------------------------------------
# Runs of one tool a round, the tools in turn, so that a slow spell of the
# machine touches all of them; each list of times is printed with its median.
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR] = $1} END {printf "%.3f", NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
print_times() {  # print_times NAME TIMES...
  local name=$1; shift
  printf '  %-22s median %8.3f s   min %8.3f s   max %8.3f s   runs %s\n' "$name" "$(median "$@")" \
    "$(printf '%s\n' "$@" | sort -n | head -1)" "$(printf '%s\n' "$@" | sort -n | tail -1)" "$*"
}
# cat of both trees, 16 at once, in batches small enough that the readers
# stay busy to the end: about what reading every file can take. (Listing both
# trees first also caches the names, as a comparing tool's listing does.)
cats_at_once() {  # cats_at_once FILES SRC DST
  echo "find '$2' '$3' -type f -print0 | xargs -0 -P16 -n $(($1 / 64 + 1)) cat > /dev/null"
}

share_bin=$here/data/latency_fs
build_share() {
  need cc gcc
  need pkg-config pkg-config
  need fusermount3 fuse3
  pkg-config --exists fuse3 || apt_install fuse3.pc libfuse3-dev
  if [ ! -x "$share_bin" ] || [ "$here/share/latency_fs.c" -nt "$share_bin" ]; then
    # shellcheck disable=SC2046  # the flags are words
    cc -O2 -Wall -o "$share_bin" "$here/share/latency_fs.c" $(pkg-config --cflags --libs fuse3) -pthread
  fi
  mnt=$(mktemp -d /tmp/zub-share.XXXXXX)
}
mounted() { awk -v m="$mnt" '$5 == m {found = 1} END {exit !found}' /proc/self/mountinfo; }
mount_share() {  # mount_share BACKING STATS-FILE: the backing folder on $mnt, fresh
  rm -f "$2"
  "$share_bin" -f -l "$share_ms" -n 10 -s "$2" "$1" "$mnt" 2>>"$work/share.err" &
  share_pid=$!
  local i
  for i in $(seq 100); do
    mounted && return 0
    kill -0 "$share_pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "the share did not mount on $mnt:" >&2
  cat "$work/share.err" >&2
  exit 1
}
unmount_share() {
  [ -n "$share_pid" ] || return 0
  local i
  for i in $(seq 20); do   # busy while a tool stopped by Ctrl+C still closes its files
    mounted || break
    fusermount3 -u "$mnt" 2>/dev/null && break
    sleep 0.1
  done
  if mounted; then umount -l "$mnt" 2>/dev/null || true; fi
  for i in $(seq 50); do kill -0 "$share_pid" 2>/dev/null || break; sleep 0.1; done
  kill "$share_pid" 2>/dev/null || true
  wait "$share_pid" 2>/dev/null || true
  share_pid=
}
# One line of what the server saw in a run (latency_fs -s).
share_stats() {  # share_stats NAME STATS-FILE
  [ -f "$2" ] || return 0
  awk -v name="$1" '{v[$1] = $2} $1 !~ /^(most_at_once|largest_read|direct_opens)$/ {total += $2}
    END {printf "  %-22s %d requests: %d getattr/lookup, %d readdir, %d open, %d read (largest %d KiB), %d direct opens; at most %d at once\n",
      name, total, v["getattr"], v["readdir"], v["open"], v["read"], v["largest_read"] / 1024, v["direct_opens"], v["most_at_once"]}' "$2"
}

share_set() {  # share_set NAME DIR KIND PARAMS...
  local name=$1 dir=$2 s=$mnt/src d=$mnt/dst
  local files bytes
  files=$(find "$dir/src" "$dir/dst" -type f | wc -l); bytes=$(tree_bytes "$dir/src")
  echo
  echo "== set $name on the share: $(find "$dir/src" -type f | wc -l) pairs, $(mib "$bytes") MiB a side;" \
    "$share_ms ms a request; a fresh mount a run, $slow_runs runs each"
  counts "$name" "$dir" "${@:3}"
  local -a names=(zub64 "diff -rq" "rsync -rcn" "cat, one after another" "cat, 16 at once")
  local -a cmds=(
    "cd '$work/share-run' && '$zub64' '$s' '$d'"
    "diff -rq '$s' '$d'"
    "rsync -rcn '$s/' '$d/'"
    "find '$s' '$d' -type f -print0 | xargs -0 cat > /dev/null"
    "$(cats_at_once "$files" "$s" "$d")"
  )
  mkdir -p "$work/share-run" "$work/local-run"
  local -a times=()
  local r i
  for r in $(seq "$slow_runs"); do
    for i in "${!names[@]}"; do
      if [ "$i" = 0 ]; then rm -f "$work"/share-run/zub*.log; fi
      find "$dir/src" "$dir/dst" -type f -print0 | xargs -0 cat > /dev/null   # the server's own cache is warm
      mount_share "$dir" "$work/stats.$i"
      times[$i]="${times[$i]:-} $(time_one "${cmds[$i]}")"
      unmount_share
    done
  done
  local -A med
  medians
  local z=${med[zub64]} df=${med[diff -rq]} rs=${med[rsync -rcn]} c16=${med[cat, 16 at once]}
  echo "  ratios: zub64/diff $(ratio "$z" "$df"), zub64/rsync $(ratio "$z" "$rs")," \
    "(cat, 16 at once)/diff $(ratio "$c16" "$df") (the floor), (cat, one after another)/diff" \
    "$(ratio "${med[cat, one after another]}" "$df")"
  echo "  what the server saw in the last run of:"
  share_stats zub64 "$work/stats.0"
  share_stats "diff -rq" "$work/stats.1"
  share_stats "cat, 16 at once" "$work/stats.4"
  case $name in
    S)
      check "S: zub64 <= 0.15 x diff -rq on the share" "$(le "$(ratio "$z" "$df")" 0.15)" "$(ratio "$z" "$df")"
      check "S: zub64 <= 0.15 x rsync -rcn on the share" "$(le "$(ratio "$z" "$rs")" 0.15)" "$(ratio "$z" "$rs")" ;;
    M)
      check "M: zub64 <= 0.25 x diff -rq on the share" "$(le "$(ratio "$z" "$df")" 0.25)" "$(ratio "$z" "$df")" ;;
  esac
  # The last share run of zub64 must have found what a local run finds.
  rm -f "$work"/local-run/zub*.log
  (cd "$work/local-run" && "$zub64" "$dir/src" "$dir/dst" >/dev/null 2>&1) || true
  local out ok=1
  out=$("${data_py[@]}" results "$work/share-run" "$mnt" "$work/local-run" "$dir") || ok=0
  if [ -n "$out" ]; then echo "$out"; fi
  check "$name: share results equal local results" "$ok" \
    "$([ "$ok" = 1 ] && echo "the lists of the last share run" || echo "the lists differ (above)")"
}

# Prints each tool's times and fills med[TOOL] with its median, from the
# caller's arrays names and times (bash's dynamic scope).
medians() {
  local i
  for i in "${!names[@]}"; do
    # shellcheck disable=SC2086  # the list of times
    print_times "${names[$i]}" ${times[$i]}
    # shellcheck disable=SC2086
    med[${names[$i]}]=$(median ${times[$i]})
  done
}

cold_set() {  # cold_set NAME DIR
  local name=$1 dir=$2 s=$2/src d=$2/dst
  local files
  files=$(find "$s" "$d" -type f | wc -l)
  echo
  echo "== set $name on a cold disk: $((files / 2)) pairs; the whole page cache dropped before each run, $slow_runs runs each"
  local -a names=(zub64 "diff -rq" "cat, one after another" "cat, 16 at once")
  local -a cmds=(
    "'$zub64' '$s' '$d'"
    "diff -rq '$s' '$d'"
    "find '$s' '$d' -type f -print0 | xargs -0 cat > /dev/null"
    "$(cats_at_once "$files" "$s" "$d")"
  )
  local -a times=()
  local r i
  for r in $(seq "$slow_runs"); do
    for i in "${!names[@]}"; do
      sync; echo 3 > /proc/sys/vm/drop_caches
      times[$i]="${times[$i]:-} $(time_one "${cmds[$i]}")"
    done
  done
  local -A med
  medians
  local z=${med[zub64]} df=${med[diff -rq]}
  echo "  ratios: zub64/diff $(ratio "$z" "$df"), (cat, 16 at once)/diff $(ratio "${med[cat, 16 at once]}" "$df") (the floor)," \
    "(cat, one after another)/diff $(ratio "${med[cat, one after another]}" "$df")"
  local target=0.7
  [ "$name" = C ] && target=0.5
  check "$name: zub64 <= $target x diff -rq on a cold disk" "$(le "$(ratio "$z" "$df")" "$target")" "$(ratio "$z" "$df")"
}

header
[ "$share" = 1 ] && build_share
if [ "$share" = 1 ]; then
  echo "share:   latency_fs (bench/share), libfuse $(pkg-config --modversion fuse3): $share_ms ms a request, 10 at once;" \
    "names and attributes cached 1 s"
fi
[ "${skipped_root:-0}" = 1 ] && echo "(not root: the share and the cold disk are left out)"
IFS=, read -r -a chosen <<<"$sets"
for set in "${chosen[@]}"; do
  case $set in
    A) params=(same "$a_pairs" "$a_size") ;;
    B) params=(small "$b_pairs" "$b_size") ;;
    C) params=(mixed "$c_pairs" "$c_max") ;;
    deep) params=(deep "$deep_levels") ;;
    *) echo "unknown set $set (A, B, C or deep)" >&2; exit 2 ;;
  esac
  dir=$(make_set "$set" "${params[@]}")
  if [ "$set" = deep ]; then
    echo
    echo "== $deep_levels-level deep tree, one file a level"
    counts deep "$dir" "${params[@]}"
    memory deep "$dir/src" "$dir/dst"
  else
    run_set "$set" "$dir" "${params[@]}"
  fi
done

if [ "$share" = 1 ]; then
  dir=$(make_set S flat "$s_pairs" 4096 "$s_folders")
  share_set S "$dir" flat "$s_pairs" 4096 "$s_folders"
  dir=$(make_set M gaps "$m_pairs" "$c_max")
  share_set M "$dir" gaps "$m_pairs" "$c_max"
fi
if [ "$cold" = 1 ]; then
  if [ "$(id -u)" != 0 ]; then echo "--cold drops the page cache: it needs root" >&2; exit 1; fi
  cold_set B "$(make_set B small "$b_pairs" "$b_size")"
  cold_set C "$(make_set C mixed "$c_pairs" "$c_max")"
fi

echo
missed=0
for r in "${results[@]}"; do if [[ $r == FAIL* ]]; then missed=$((missed + 1)); fi; done
echo "== $((${#results[@]} - missed)) of ${#results[@]} targets met"
for r in "${results[@]}"; do if [[ $r == FAIL* ]]; then echo "  missed: ${r#FAIL }"; fi; done
exit 0
}
