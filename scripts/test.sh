#!/usr/bin/env bash
# The whole test suite: installs what is missing, then configures, builds and
# tests the native build, the native build under AddressSanitizer and
# UndefinedBehaviorSanitizer (debug-asan), the fuzz targets (each for a bounded
# time from its seed corpus), and the two Windows builds (their tests run
# under Wine), then the style checks (clang-format, clang-tidy). Every build
# treats warnings as errors. Exits non-zero when any build, test or check fails.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh || { echo "installing the build tools failed"; exit 1; }

failed=()
step() {  # step NAME command...
  local name=$1; shift
  echo "== $name"
  if ! "$@"; then failed+=("$name"); return 1; fi
}

# Whether this machine can run 32-bit Windows programs under Wine: some kernels
# are built without 32-bit program support, and then Wine's 32-bit loader
# cannot start at all.
can_run_win32() {
  local probe
  probe=$(find build/win32 -name 'foundation_tests.exe' -print -quit 2>/dev/null)
  [ -n "$probe" ] || return 1
  cmake/wine-run.sh i686 "$probe" --gtest_list_tests >/dev/null 2>&1
}

# The package of a build, and its file list against the expected one.
package() {  # package PRESET GENERATOR FILE-GLOB EXPECTED-FILES...
  local dir=build/$1 generator=$2 glob=$3; shift 3
  rm -rf "$dir/packages"
  (cd "$dir" && cpack -G "$generator" >/dev/null) || return 1
  packed=$(ls $dir/packages/$glob) || return 1
  local listed
  if [ "$generator" = DEB ]; then
    listed=$(dpkg-deb -c "$packed" | awk '$1 !~ /^d/ {print $NF}' | sed 's|^\./||' | sort)
  else
    listed=$(cmake -E tar tf "$packed" | grep -v '/$' | sed 's|^[^/]*/||' | sort)
  fi
  [ "$listed" = "$(printf '%s\n' "$@" | sort)" ] || { echo "unexpected files in $packed:"; echo "$listed"; return 1; }
}

# The .deb unpacked into a temporary root, as on a clean system: the
# installed programs start and the pages are found by man.
check_deb() {
  package native DEB 'zub_*.deb' usr/bin/zub64 usr/bin/quarnel usr/share/doc/zub/README.md \
    usr/share/man/man1/zub64.1.gz usr/share/man/man1/quarnel.1.gz \
    usr/share/bash-completion/completions/zub64 usr/share/bash-completion/completions/quarnel || return 1
  local root status
  root=$(mktemp -d)
  dpkg -x "$packed" "$root"
  (cd "$root" && ZUB_ENCODING=utf-8 usr/bin/zub64 "-?" 2>usage)  # its run log lands there too
  status=$?
  grep -q '^usage: .*zub64 \[-s|-d\]' "$root/usage" && [ "$status" = 1 ] || { echo "zub64 -? failed"; cat "$root/usage"; rm -rf "$root"; return 1; }
  MANPATH="$root/usr/share/man" MANWIDTH=80 man -P cat zub64 2>/dev/null | grep -q 'ZUB_ENCODING' \
    && MANWIDTH=80 man -l "$root/usr/share/man/man1/quarnel.1.gz" 2>/dev/null | grep -q '^NAME' \
    || { echo "the manual pages were not found"; rm -rf "$root"; return 1; }
  rm -rf "$root"
  echo "$packed: files, zub64 -? and the manual pages checked"
}

for preset in native debug-asan fuzz win64 win32; do
  step "$preset: configure" cmake --preset "$preset" --log-level=WARNING || continue
  step "$preset: build" cmake --build --preset "$preset" || continue
  if [ "$preset" = native ]; then
    step "native: package" check_deb
  elif [ "$preset" = win64 ] || [ "$preset" = win32 ]; then
    step "$preset: package" package "$preset" ZIP 'zub-*.zip' zub64.exe zub.exe quarnel.exe README.md
  fi
  if [ "$preset" = win32 ] && ! can_run_win32; then
    echo "NOTICE: this machine cannot run 32-bit Windows programs (no 32-bit support in its kernel);"
    echo "        the i686 build was compiled, its tests were not run here."
    continue
  fi
  step "$preset: test" ctest --preset "$preset"
done

# The layout of .clang-format and the clang-tidy checks of .clang-tidy, on
# every source file (the Windows-only ones through the win64 build).
formatted() { find foundation engine console dialog lister tests -name '*.cpp' -o -name '*.h' | xargs clang-format --dry-run --Werror; }
step "style: clang-format" formatted
step "style: clang-tidy" bash scripts/tidy.sh --windows

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "All builds and test suites passed."
