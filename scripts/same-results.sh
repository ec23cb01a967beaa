#!/usr/bin/env bash
# scripts/same-results.sh OLD_ZUB64 NEW_ZUB64
# Runs the same comparisons with two builds of zub64 (say, one from before a change that should not change
# behaviour, and one from after it), each in a fresh copy of the same fixture and from the same path, and
# diffs every result file, standard output and error, the exit status and the trees left behind (removals).
# Windows builds (.exe) run under Wine. Prints one line per option set; exits 1 on any difference.
set -u
if [ $# -ne 2 ]; then echo "usage: scripts/same-results.sh OLD_ZUB64 NEW_ZUB64" >&2; exit 2; fi
ref=$(readlink -f "$1"); new=$(readlink -f "$2")
# A Windows build runs under Wine, in the 64-bit prefix the tests use (a 32-bit build in the 32-bit one).
arch=x86_64; if file "$new" 2>/dev/null | grep -q 'Intel 80386\|Intel i386'; then arch=i686; fi
case "$new" in *.exe) run="$(cd "$(dirname "$0")/.." && pwd)/cmake/wine-run.sh $arch";; *) run="";; esac
w=$(mktemp -d /tmp/same_results.XXXX)
fx=$w/fixture
# The fixture: pairs that are the same, differ (early, late, in length, in time), one part of the other or not,
# a file or folder missing or of the other kind, read-only files, links, a dangling link, and names with %, $,
# spaces and letters outside ASCII; every time fixed, so that two runs see the same trees.
mkdir -p $fx/src/a/b $fx/dst/a/b $fx/src/onlydir/x $fx/src/c $fx/dst/c
cd $fx
printf 'same\n' > src/same.txt; cp src/same.txt dst/same.txt
printf 'ver A\n' > src/diff.txt; printf 'ver B\n' > dst/diff.txt
head -c 300000 /dev/zero | tr '\0' 'q' > src/a/big.bin; cp src/a/big.bin dst/a/big.bin
head -c 300000 /dev/zero | tr '\0' 'q' > src/a/bigdiff.bin; cp src/a/bigdiff.bin dst/a/bigdiff.bin
printf 'X' | dd of=dst/a/bigdiff.bin bs=1 seek=200000 conv=notrunc 2>/dev/null
printf 'Y' | dd of=dst/a/bigdiff.bin bs=1 seek=250001 conv=notrunc 2>/dev/null
head -c 5000 /dev/zero | tr '\0' 'p' > src/a/b/long.bin; head -c 2000 src/a/b/long.bin > dst/a/b/long.bin
head -c 2000 /dev/zero | tr '\0' 'p' > src/a/b/short.bin; head -c 5000 /dev/zero | tr '\0' 'p' > dst/a/b/short.bin
head -c 2000 /dev/zero | tr '\0' 'p' > src/a/b/notpart.bin; { head -c 1000 /dev/zero | tr '\0' 'p'; printf Z; head -c 3000 /dev/zero; } > dst/a/b/notpart.bin
printf 'abc' > src/c/time.txt; printf 'abc' > dst/c/time.txt
printf 'only\n' > src/only.txt; printf 'x' > src/onlydir/x/f.dat
printf 'ro\n' > src/c/ro.txt; cp src/c/ro.txt dst/c/ro.txt; chmod a-w dst/c/ro.txt src/c/ro.txt
printf 'extra' > dst/extra.txt
: > src/empty; : > dst/empty
printf 'n%%ame' > 'src/per%cent $x.txt'; cp 'src/per%cent $x.txt' 'dst/per%cent $x.txt'
printf 'ü' > "src/ünï.txt"; printf 'ü' > "dst/ünï.txt"
ln -s /nowhere/at/all src/dangling; printf 'f' > src/a/isdir; mkdir dst/a/isdir; mkdir src/a/isfile; printf 'f' > dst/a/isfile
ln -s ../same.txt src/c/link.txt; printf 'same\n' > dst/c/link.txt
find src dst -exec touch -h -d '2024-01-02 03:04:05' {} +
touch -d '2024-05-06 07:08:09' dst/c/time.txt
sets=(
 "" "-l" "-m" "-g" "-l -m -g" "-l -n" "-l -m -n" "-p" "-p -l -m -g" "-t" "-t -l -m -g" "-v" "-c" "-e txt"
 "-e txt -l" "-b -p -d" "-d" "-s" "-s -r" "-d -r" "-d -z" "-s -z -l -m" "-p -q" "-p -q -l -m -g -b" "-k -i"
 "-f .old -b -d" "-a" "-w -v"
)
rc=0
# Runs one build over a fresh copy of the fixture and keeps what it left in $w/TAG.
one() { # BIN TAG OPTIONS...
  local tag=$2; mkdir -p "$w/bin"; local bin="$w/bin/$(basename "$1")"; cp "$1" "$bin"; shift 2
  rm -rf "$w/$tag" "$w/run"; cp -a $fx "$w/run"; cd "$w/run"
  if [ "${1:-}" = "-a" ]; then printf 'prior line\r\n' > zublong.log; fi
  $run "$bin" "$@" src dst > out.bin 2> err.bin < /dev/null; echo $? > rc.txt
  [ -n "$run" ] && sed -i '/^[0-9a-f]*:\(fixme\|err\|warn\):/d' err.bin 2>/dev/null
  ( cd src && find . | sort ) > tree_src.txt; ( cd dst && find . | sort ) > tree_dst.txt
  find src dst -type f -print0 | sort -z | xargs -0 md5sum > sums.txt
  rm -rf src dst; cd "$w"; mv "$w/run" "$w/$tag"
}
for s in "${sets[@]}"; do
  read -ra opts <<< "$s"
  one "$ref" ref "${opts[@]}"; one "$new" new "${opts[@]}"
  if ! d=$(diff -r "$w/ref" "$w/new" 2>&1); then
    echo "DIFF for options '$s':"; echo "$d" | head -20; rc=1
  else
    echo "same: '$s' ($(ls $w/new | wc -l) files, rc $(cat $w/new/rc.txt))"
  fi
done
rm -rf "$w"
exit $rc
