#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what the builds, the tests and the demo need (Debian 12 packages).
set -euo pipefail

packages=(
  build-essential cmake ninja-build
  googletest libgtest-dev libbenchmark-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64
  linux-headers-amd64 linux-image-amd64 qemu-system-x86 busybox-static cpio kmod strace
  linux-source-6.1 sparse coccinelle ocaml-nox
  dpkg-dev meson pkg-config bzip2 libglib2.0-dev libpixman-1-dev libfdt-dev zlib1g-dev python3
  gcc-multilib g++-multilib
  wine64 xvfb imagemagick xdotool fonts-wine
  mmdebstrap squashfs-tools
  dkms debhelper dh-dkms lintian nsis p7zip-full
)

export DEBIAN_FRONTEND=noninteractive
apt-get update
# How much comes, before it comes.
count=$(apt-get install -s --no-install-recommends "${packages[@]}" | grep -c '^Inst ' || true)
size=$(apt-get install --print-uris -qq --no-install-recommends "${packages[@]}" |
         awk '{ n += $3 } END { printf "%.0f", n / 1e6 }')
echo "setup: $count packages to install (with their dependencies), $size MB to download"
apt-get install -y --no-install-recommends "${packages[@]}"
