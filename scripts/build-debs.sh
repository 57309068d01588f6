#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian packages tcr7750-dkms (the module's source, built by DKMS
# on install) and tcr7750-tools (tickprint, annumset, the node script and its
# udev rule) into build/debs/, and checks them with lintian (an error
# fails the build).  Installs the build's own packages when they are missing.
#
#   scripts/build-debs.sh        prints the two .deb paths last
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/debs

"$root/scripts/install-missing.sh" dpkg-dev debhelper dh-dkms cmake g++ lintian

version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
# dpkg-buildpackage writes beside the source folder: build in a copy.
work=$out/work
src=$work/tcr7750-$version
rm -rf "$work" "$out"/tcr7750*
mkdir -p "$src"
tar -C "$root" --exclude=./build --exclude=./.git --exclude=./.cache -cf - . | tar -C "$src" -xf -
(cd "$src" && DEB_BUILD_OPTIONS=noautodbgsym dpkg-buildpackage -us -uc -b -j2 >"$out/build.log" 2>&1) ||
  { tail -40 "$out/build.log" >&2; exit 1; }
mv "$work"/*.deb "$out/"
rm -rf "$work"

debs=("$out"/tcr7750-dkms_"$version"_all.deb "$out"/tcr7750-tools_"$version"_*.deb)
echo "== lintian"
lintian --fail-on error --info "${debs[@]}" || { echo "lintian found errors" >&2; exit 1; }
printf '%s\n' "${debs[@]}"
