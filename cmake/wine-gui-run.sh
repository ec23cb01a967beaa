#!/usr/bin/env bash
# Runs a Windows program that opens windows under Wine on a virtual X display:
# `wine-gui-run.sh ARCH PREFIX program args...`. The Wine prefix is the
# caller's own (one per build tree): Wine serves all windows of a prefix from
# one desktop process, and one started by a program without a display (any
# console test in the shared prefix) cannot show a window. The prefix's
# Wine processes are waited for before the display goes away. Wine takes
# the user's language from the Unix locale, so the locales the language
# tests start the dialog in are made beside the prefix; the driver hands
# them to the program it starts (LOCPATH).
set -u
arch=$1; prefix=$2; shift 2
export ZUB_LOCALE_DIR=$prefix-locales
mkdir -p "$ZUB_LOCALE_DIR"
for locale in ja_JP en_US de_DE; do
  [ -d "$ZUB_LOCALE_DIR/$locale.UTF-8" ] ||
    localedef -i "$locale" -f UTF-8 "$ZUB_LOCALE_DIR/$locale.UTF-8" 2>/dev/null || true
done
case "$arch" in
  i686) export ZUB_WINEPREFIX_32=$prefix ;;
  *)    export ZUB_WINEPREFIX_64=$prefix ;;
esac
export WINEPREFIX=$prefix
here=$(cd "$(dirname "$0")" && pwd)
# A desktop process left from an earlier run would still point at its ended display.
[ -d "$prefix" ] && timeout 60 wineserver -w 2>/dev/null
exec xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$0" "$@"; status=$?
  timeout 60 wineserver -w 2>/dev/null
  exit $status' "$here/wine-run.sh" "$arch" "$@"
