#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Windows installers with NSIS into build/installers/:
# tcr7750-setup-VERSION-x86.exe from the windows-x86 build and
# tcr7750-setup-VERSION-x64.exe from the windows-x64 build (both built here
# first, incrementally).  Installs what it needs when it is missing.
#
#   scripts/build-installers.sh     prints the two installers' paths last
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/installers

"$root/scripts/install-missing.sh" nsis cmake ninja-build g++-mingw-w64-i686-posix \
  g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64

version=$(sed -n 's/^project(tcr7750 VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
# The clock keeper's own default, from its form description.
interval=$(sed -n "/object EdInterval:/,/end/s/^ *Text = '\([0-9]*\)'$/\1/p" "$root/clockkeeper/Main1.dfm")
[ -n "$version" ] && [ -n "$interval" ] || { echo "build-installers: no version or interval default" >&2; exit 1; }

mkdir -p "$out"
for arch in x86 x64; do
  preset=windows-$arch
  echo "build-installers: building $preset (from scratch several minutes)" >&2
  (cd "$root" && cmake --preset "$preset" >/dev/null &&
     cmake --build --preset "$preset" -j2 | sed -n 's/^\[\([0-9]*\)\/\([0-9]*\)\].*/\1 \2/p' |
       awk -v p="$preset" '$1 % 100 == 0 { print "build-installers: " p " " $1 "/" $2; fflush() }' >&2)
  echo "build-installers: makensis $arch" >&2
  installer=$out/tcr7750-setup-$version-$arch.exe
  makensis -V2 -DARCH="$arch" -DBUILD="$root/build/$preset" -DINTERVAL="$interval" \
    -DVERSION="$version" -DOUTFILE="$installer" "$root/installer/tcr7750.nsi"
done
ls "$out"/tcr7750-setup-"$version"-{x86,x64}.exe
