#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest: `wine-run.sh ARCH program args...`.
# Each architecture has its own prefix (a 32-bit one for i686), created on
# first use. Wine's own diagnostics are silenced; the program's streams pass through.
set -u
arch=$1; shift
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
case "$arch" in
  i686) export WINEARCH=win32; export WINEPREFIX=${ZUB_WINEPREFIX_32:-$HOME/.wine-zub32}; loader=wine ;;
  *)    export WINEARCH=win64; export WINEPREFIX=${ZUB_WINEPREFIX_64:-$HOME/.wine-zub64}
        loader=$(command -v wine64 || echo /usr/lib/wine/wine64) ;;
esac
if [ ! -d "$WINEPREFIX" ]; then
  "$loader" wineboot --init >/dev/null 2>&1 || true
  wineserver -w 2>/dev/null || true
fi
exec "$loader" "$@"
