#!/usr/bin/env bash
# Runs a Windows program that opens windows under Wine on a virtual X display:
# `wine-gui-run.sh ARCH PREFIX program args...`. The Wine prefix is the
# caller's own (one per build tree): Wine serves all windows of a prefix from
# one desktop process, and one started by a program without a display (any
# console test in the shared prefix) cannot show a window. The prefix's
# Wine processes are waited for before the display goes away. With
# ZUB_LOCALE (ja_JP.UTF-8, say) the session runs in that locale, from which
# Wine takes the user's language; the locale is made beside the prefix.
set -u
arch=$1; prefix=$2; shift 2
if [ -n "${ZUB_LOCALE:-}" ]; then
  export LOCPATH=$prefix-locales
  mkdir -p "$LOCPATH"
  [ -d "$LOCPATH/$ZUB_LOCALE" ] || localedef -i "${ZUB_LOCALE%%.*}" -f UTF-8 "$LOCPATH/$ZUB_LOCALE" 2>/dev/null || true
  export LC_ALL=$ZUB_LOCALE
fi
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
