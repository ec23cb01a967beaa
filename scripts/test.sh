#!/usr/bin/env bash
# The whole test suite: installs what is missing, then configures, builds and
# tests the native build and the two Windows builds (their tests run under
# Wine). Exits non-zero when any build or test fails.
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

for preset in native win64 win32; do
  step "$preset: configure" cmake --preset "$preset" --log-level=WARNING || continue
  step "$preset: build" cmake --build --preset "$preset" || continue
  if [ "$preset" = win32 ] && ! can_run_win32; then
    echo "NOTICE: this machine cannot run 32-bit Windows programs (no 32-bit support in its kernel);"
    echo "        the i686 build was compiled, its tests were not run here."
    continue
  fi
  step "$preset: test" ctest --preset "$preset"
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "All builds and test suites passed."
