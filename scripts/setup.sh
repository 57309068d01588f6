#!/usr/bin/env bash
# Installs what the builds, the tests and the demo need (Debian 12 packages).
set -euo pipefail

packages=(
  build-essential cmake ninja-build
  googletest libgtest-dev libbenchmark-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64
  linux-headers-amd64 linux-image-amd64 qemu-system-x86 busybox-static cpio kmod strace
  gcc-multilib g++-multilib
  wine64 xvfb imagemagick xdotool fonts-wine
  mmdebstrap squashfs-tools
  dkms debhelper dh-dkms lintian nsis p7zip-full
)

export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${packages[@]}"
