#!/usr/bin/env bash
# The main job: builds zub64 (native) if needed and compares two folder trees.
#   scripts/run.sh                      compare two sample trees made in demo/
#   scripts/run.sh [options] SRC DST    compare your own folders (options as for zub64)
# Result files are written to the current folder of the run: demo/ for the
# sample trees, the folder you call it from otherwise.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

if ! command -v cmake >/dev/null || ! command -v g++ >/dev/null || [ ! -f /usr/include/gtest/gtest.h ]; then
  bash "$top/scripts/install-deps.sh"
fi
cmake --preset native -S "$top" >/dev/null
cmake --build --preset native --target zub64 quarnel >/dev/null
zub64="$top/build/native/console/zub64"

if [ $# -gt 0 ]; then
  exec "$zub64" "$@"
fi

demo="$top/demo"
rm -rf "$demo"
mkdir -p "$demo/src/docs/old" "$demo/dst/docs/old" "$demo/src/photos"
cd "$demo"
# identical files
printf 'the same text\n' > src/same.txt;            cp src/same.txt dst/same.txt
head -c 3000000 /dev/urandom > src/docs/big.bin;   cp src/docs/big.bin dst/docs/big.bin
printf 'report 2024\n' > src/docs/old/report.txt;  cp src/docs/old/report.txt dst/docs/old/report.txt
# different contents, same size
printf 'version A\n' > src/changed.txt;             printf 'version B\n' > dst/changed.txt
# different sizes; the destination copy was cut short (a part of the source)
head -c 200000 /dev/urandom > src/docs/partial.bin; head -c 50000 src/docs/partial.bin > dst/docs/partial.bin
# missing in the destination: a file and a whole folder
printf 'only here\n' > src/only-in-src.txt
printf 'jpeg?\n' > src/photos/one.jpg
# only in the destination: never reported
printf 'extra\n' > dst/only-in-dst.txt

echo "Comparing $demo/src with $demo/dst (zub64 -l -m -p src dst):"
echo
# Redirected, zub64 writes UTF-16LE with CR LF like its result files; shown here as UTF-8.
status=0
"$zub64" -l -m -p src dst > "$demo/.stdout" 2> "$demo/.stderr" || status=$?
utf8() { iconv -f UTF-16LE -t UTF-8 "$1" | sed 's/\r$//'; }
utf8 "$demo/.stderr" >&2
utf8 "$demo/.stdout"
rm -f "$demo/.stdout" "$demo/.stderr"
echo
echo "zub64 exited with status $status. Result files in $demo (UTF-16LE text):"
ls -l --time-style=+ "$demo" | grep -v '^total' | grep -v ' src$' | grep -v ' dst$'
echo
echo "zublong.log (the readable report):"
utf8 zublong.log | sed 's/^/  /'
