#!/usr/bin/env bash
# Saves pictures of the dialog program after a finished run, in Japanese as
# docs/dialog-ja.png and in English as docs/dialog-en.png: builds the x86_64
# Windows programs when needed, starts a virtual X display, lets the dialog
# driver run zub.exe on a small tree in a Japanese and then an English locale
# and hold the window, and captures it. The Japanese template's font is
# mapped to a Japanese font from the distribution (IPA P Gothic) in a Wine
# prefix of its own, so that every label is legible.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# The picture alone needs ImageMagick and the Japanese font.
for p in imagemagick fonts-ipafont-gothic; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$p" >/dev/null; }
done

if [ ! -x build/win64/tests/dialog/dialog_tests.exe ] || [ ! -x build/win64/dialog/zub.exe ]; then
  cmake --preset win64 --log-level=WARNING
  cmake --build --preset win64 --target dialog_tests
fi

export ZUB_WINEPREFIX_64=${ZUB_SHOT_PREFIX:-$HOME/.wine-zub-shot}
export WINEPREFIX=$ZUB_WINEPREFIX_64
# Wine takes the user's language from the locale; these are made here.
export LOCPATH=${ZUB_WINEPREFIX_64}-locales
mkdir -p "$LOCPATH"
for locale in ja_JP en_US; do
  [ -d "$LOCPATH/$locale.UTF-8" ] || localedef -i "$locale" -f UTF-8 "$LOCPATH/$locale.UTF-8"
done
export LC_ALL=C.UTF-8
shot_dir=$(mktemp -d)
display_pid=
cleanup() {
  # Wine's desktop process ends before the display it draws on.
  timeout 60 wineserver -w 2>/dev/null || true
  [ -n "$display_pid" ] && kill "$display_pid" 2>/dev/null || true
  rm -rf "$shot_dir"
}
trap cleanup EXIT
[ -d "$WINEPREFIX" ] && { timeout 60 wineserver -w 2>/dev/null || true; }

# A free display number.
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
display_pid=$!
export DISPLAY=":$n"
sleep 1

# Font mapping and window frames drawn by Wine itself (there is no window manager).
cmake/wine-run.sh x86_64 reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /d 'IPAPGothic' /f >/dev/null
cmake/wine-run.sh x86_64 reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null

shoot() {  # locale, picture
  rm -f "$shot_dir/ready" "$shot_dir/taken"
  LC_ALL=$1 ZUB_SHOT_DIR=$shot_dir cmake/wine-run.sh x86_64 build/win64/tests/dialog/dialog_tests.exe \
    --gtest_also_run_disabled_tests --gtest_filter='*HoldAfterRunForScreenshot' >"$shot_dir/driver.log" 2>&1 &
  driver_pid=$!
  for _ in $(seq 1 120); do
    [ -s "$shot_dir/ready" ] && break
    kill -0 "$driver_pid" 2>/dev/null || break
    sleep 0.5
  done
  if [ ! -s "$shot_dir/ready" ]; then
    cat "$shot_dir/driver.log"
    echo "the dialog did not finish its run" >&2
    exit 1
  fi
  sleep 1  # let the last paint land
  mkdir -p docs
  import -display "$DISPLAY" -window root -crop "$(tr -d '\n' <"$shot_dir/ready")" +repage "$2"
  touch "$shot_dir/taken"
  wait "$driver_pid" || { cat "$shot_dir/driver.log"; exit 1; }
  echo "saved $2"
}
shoot ja_JP.UTF-8 docs/dialog-ja.png
shoot en_US.UTF-8 docs/dialog-en.png
