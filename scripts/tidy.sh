#!/usr/bin/env bash
# clang-tidy over the project's sources with the checks in .clang-tidy. The
# POSIX build (foundation, engine, console, lister, tests) is checked from the
# native preset's compile commands; with --windows, the Windows-only files
# (dialog/, the win32 platform layer and their tests) are checked too, from the
# win64 preset's compile commands with clang-tidy aimed at the mingw-w64
# target. Prints each finding once and exits non-zero when there is any (or
# when a file cannot be parsed).
set -uo pipefail
cd "$(dirname "$0")/.."

windows=0
case "${1:-}" in
  --windows) windows=1 ;;
  "") ;;
  *) echo "usage: scripts/tidy.sh [--windows]" >&2; exit 2 ;;
esac

jobs=$(nproc 2>/dev/null || echo 2)
out=$(mktemp)
trap 'rm -f "$out"' EXIT

cmake --preset native -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null || exit 1
run-clang-tidy -quiet -j "$jobs" -p build/native \
  "$PWD/(foundation|engine|console|lister|tests)/.*\.cpp$" >"$out" 2>&1
status=$?

if [ "$windows" = 1 ]; then
  cmake --preset win64 -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null || exit 1
  # clang finds the mingw-w64 C headers by itself, the C++ library headers of
  # the cross compiler only when told.
  cxx=$(sed -n 's/^ *"command": "\([^ ]*\) .*/\1/p' build/win64/compile_commands.json | head -1)
  extra=(-extra-arg=--target=x86_64-w64-mingw32)
  while read -r dir; do extra+=("-extra-arg=-isystem$dir"); done < <(
    echo | "$cxx" -E -x c++ - -v 2>&1 | sed -n 's/^ \(.*\/include\/c++[^ ]*\)$/\1/p')
  run-clang-tidy -quiet -j "$jobs" -p build/win64 "${extra[@]}" \
    "$PWD/(dialog/.*|foundation/platform/win32/.*|tests/.*_win32|tests/dialog/.*)\.cpp$" >>"$out" 2>&1
  [ $? = 0 ] || status=1
fi

# A header's finding is reported once per file that includes it: count each once.
findings=$(sed 's/\x1b\[[0-9;]*m//g' "$out" | grep -E '^/.*: (warning|error): ' | sort -u)
if [ -n "$findings" ]; then
  echo "$findings"
  echo "clang-tidy: $(echo "$findings" | wc -l) finding(s)"
  exit 1
fi
if [ "$status" != 0 ]; then
  sed 's/\x1b\[[0-9;]*m//g' "$out" | tail -20
  echo "clang-tidy did not run cleanly"
  exit 1
fi
echo "clang-tidy: no findings"
