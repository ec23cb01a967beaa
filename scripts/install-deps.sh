#!/usr/bin/env bash
# Installs what the builds and test suites need on a Debian machine: the native
# toolchain with GoogleTest, clang with libFuzzer and its sanitizer runtimes
# (the fuzz targets), the mingw-w64 cross compilers (posix thread model),
# Wine with its 32-bit part, Xvfb, the locale sources (the dialog's language
# tests make their locales from them), and what the package check uses (dpkg-dev
# for the package's library dependencies, man-db to read the installed
# manual pages), and clang-format and clang-tidy for the style checks. Does nothing for what is already there.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

for p in cmake g++ make ninja-build googletest libgtest-dev clang libclang-rt-14-dev \
         g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
         wine wine64 xvfb xauth locales dpkg-dev man-db clang-format clang-tidy; do
  have "$p" || need+=("$p")
done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need+=("wine32:i386")
elif ! have "wine32:i386"; then
  need+=("wine32:i386")
fi

if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
