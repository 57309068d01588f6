#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-only
# The driver as a kernel maintainer reviews it:
#  - built with W=1 against Debian's 6.1 headers for amd64 (with sparse,
#    C=2), i386 (686-pae: a 32-bit kernel, no 64-bit division of its own)
#    and arm64, not one warning;
#  - checkpatch.pl --strict and every Coccinelle script of Debian's 6.1
#    source (linux-source-6.1): nothing but the findings listed below, which
#    the driver keeps on purpose;
#  - the attributes' ABI file: every Contact an address.
# The other architectures' headers and the arm64 cross compiler come from
# Debian's packages, downloaded (apt-get download, with an apt list folder
# of their own for each architecture) and unpacked, never installed: this
# machine's dpkg architectures stay as they are, and installing a cross
# compiler with apt would remove gcc-multilib.  They are kept in
# $TCR7750_CACHE/review (default /var/cache/tcr7750/review), shared by every
# clone; a run with them there needs no network.
#
#   scripts/kernel-review.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${TCR7750_CACHE:-/var/cache/tcr7750}/review
driver=$root/linux/driver
failed=0
fail() { echo "review: $*" >&2; failed=1; }

# What the review may still find, and why it stays:
#  - CamelCase: the driver's state keeps the names the system has always
#    used for it (First, baseAddress, Ctlreg, Ready, StoredTs);
#  - LINUX_VERSION_CODE: DKMS builds the one source for every kernel, and
#    from 6.16 the PTP core needs the channel's flags declared.
allowed_checkpatch='CHECK: Avoid CamelCase: <(First|baseAddress|Ctlreg|Ready|StoredTs)>
WARNING: LINUX_VERSION_CODE should be avoided, code should be for the version to which it is merged
WARNING: Comparisons should place the constant on the right side of the test'

needed=(linux-source-6.1 sparse coccinelle ocaml-nox)
missing=()
for package in "${needed[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  "$root/scripts/install-missing.sh" "${missing[@]}" >/dev/null
fi

# The review's own tools from the kernel source, unpacked once per version.
source_version=$(dpkg-query -W -f='${Version}' linux-source-6.1)
tools=$cache/linux-source-6.1
if [ "$(cat "$tools/.version" 2>/dev/null)" != "$source_version" ]; then
  rm -rf "$tools"
  mkdir -p "$cache"
  tar -xf /usr/src/linux-source-6.1.tar.xz -C "$cache" --wildcards \
    'linux-source-6.1/scripts/checkpatch.pl' 'linux-source-6.1/scripts/spelling.txt' \
    'linux-source-6.1/scripts/const_structs.checkpatch' 'linux-source-6.1/scripts/coccinelle/*'
  echo "$source_version" >"$tools/.version"
fi

# Debian's headers of a kernel flavour of another architecture, unpacked
# into $cache/ARCH: the default amd64 kernel's ABI when that architecture
# has it, else its newest 6.1.  Prints the headers' folder.
apt_of() { # architecture, apt-get or apt-cache, then its arguments
  local arch=$1 program=$2
  shift 2
  mkdir -p "$cache/apt-$arch/lists/partial" "$cache/apt-$arch/cache/archives/partial"
  "$program" -q -o APT::Architecture="$arch" -o APT::Architectures="$arch" \
    -o Dir::State::Lists="$cache/apt-$arch/lists" -o Dir::Cache="$cache/apt-$arch/cache" "$@"
}
headers_of() { # architecture, flavour
  local arch=$1 flavour=$2 abi package tree
  abi=$("$root/tests/kernel/kernels" | sed -n 1p)
  abi=${abi%-amd64}
  tree=$cache/$arch
  if [ "$(cat "$tree/.abi" 2>/dev/null)" != "$abi" ]; then
    apt_of "$arch" apt-get update >/dev/null 2>&1 || true # an index that fails leaves the others
    package=linux-headers-$abi-$flavour
    if ! apt_of "$arch" apt-cache show "$package" >/dev/null 2>&1; then
      package=$(apt_of "$arch" apt-cache search --names-only "^linux-headers-6\.1\.0-[0-9]+-$flavour\$" 2>/dev/null |
                cut -d' ' -f1 | sort -V | tail -1)
    fi
    [ -n "$package" ] || { echo "review: no $flavour headers in Debian's $arch lists" >&2; return 1; }
    rm -rf "$tree" "$cache/debs-$arch"
    mkdir -p "$tree/usr/lib" "$cache/debs-$arch"
    (cd "$cache/debs-$arch" &&
     apt_of "$arch" apt-get download "$package" "${package%-"$flavour"}-common" >/dev/null 2>&1)
    for deb in "$cache/debs-$arch"/*.deb; do dpkg-deb -x "$deb" "$tree"; done
    # Their scripts are this machine's kbuild; their Makefile names the
    # common headers where a package would have put them.
    ln -s /usr/lib/linux-kbuild-6.1 "$tree/usr/lib/linux-kbuild-6.1"
    [ -f "$tree/usr/src/$package/Makefile" ] || { echo "review: $package did not download" >&2; return 1; }
    sed -i "s|^include /usr/src/|include $tree/usr/src/|" "$tree/usr/src/$package/Makefile"
    echo "$abi" >"$tree/.abi"
  fi
  ls -d "$tree"/usr/src/linux-headers-*-"$flavour"
}

# The arm64 cross compiler, Debian's, unpacked.
cross=$cache/cross-arm64
if [ ! -x "$cross/usr/bin/aarch64-linux-gnu-gcc-12" ]; then
  rm -rf "$cross" "$cache/debs-cross"
  mkdir -p "$cross" "$cache/debs-cross"
  (cd "$cache/debs-cross" &&
   apt-get -q download gcc-12-aarch64-linux-gnu cpp-12-aarch64-linux-gnu gcc-12-aarch64-linux-gnu-base \
     binutils-aarch64-linux-gnu >/dev/null 2>&1)
  for deb in "$cache/debs-cross"/*.deb; do dpkg-deb -x "$deb" "$cross"; done
  [ -x "$cross/usr/bin/aarch64-linux-gnu-gcc-12" ] || fail "Debian's arm64 cross compiler did not download"
fi

# A build of the driver: nothing but the module may come out of it.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build() { # label, headers, make's further arguments
  local label=$1 headers=$2 output
  shift 2
  rm -rf "$work/build"
  mkdir -p "$work/build"
  ln -s "$driver/Kbuild" "$driver/tcr7750_drv.c" "$work/build/"
  output=$(make -s -C "$headers" M="$work/build" TCR7750_ROOT="$root" W=1 "$@" modules 2>&1 |
           grep -v 'Skipping BTF generation' || true)
  if [ -n "$output" ] || [ ! -f "$work/build/tcr7750_drv.ko" ]; then
    fail "the $label build is not clean:"
    echo "$output" >&2
  else
    echo "review: $label: W=1, no warning"
  fi
}
started=$(date +%s)
amd64=/usr/src/linux-headers-$("$root/tests/kernel/kernels" | sed -n 1p)
build "amd64 with sparse" "$amd64" C=2
i386=$(headers_of i386 686-pae) && build i386 "$i386" || fail "no i386 headers"
arm64=$(headers_of arm64 arm64) &&
  LD_LIBRARY_PATH=$cross/usr/lib/x86_64-linux-gnu PATH=$cross/usr/bin:$PATH \
  build arm64 "$arm64" ARCH=arm64 CROSS_COMPILE=aarch64-linux-gnu- || fail "no arm64 headers"
echo "review: builds $(( $(date +%s) - started )) s"

# checkpatch, from a folder of its own (it leaves a file where it runs).
output=$(cd "$work" && perl "$tools/scripts/checkpatch.pl" --strict --no-tree --terse -f "$driver/tcr7750_drv.c" 2>&1 || true)
findings=$(echo "$output" | sed -n 's/^[^:]*:[0-9]*: //p')
unexpected=$(echo "$findings" | grep -v -E -x -e "$allowed_checkpatch" -e '' || true)
if [ -n "$unexpected" ] || ! echo "$output" | grep -q '^total: 0 errors'; then
  fail "checkpatch --strict, beyond what is allowed:"
  echo "${unexpected:-$output}" >&2
else
  echo "review: checkpatch --strict: $(echo "$findings" | grep -c . || true) findings, all allowed"
fi

# Every Coccinelle script, as "make coccicheck MODE=report" runs it.
started=$(date +%s)
headers_common=${amd64%-amd64}-common
mkdir -p "$work/source"
ln -s "$driver/tcr7750_drv.c" "$work/source/"
reports=""
for script in $(find "$tools/scripts/coccinelle" -name '*.cocci' | sort); do
  options=$(sed -n 's/^\/\/ *Options://p' "$script")
  # shellcheck disable=SC2086 # the script's options are words
  report=$(spatch -D report --no-show-diff --very-quiet --cocci-file "$script" $options \
             --dir "$work/source" -I "$root/include" -I "$headers_common/include" \
             -I "$headers_common/arch/x86/include" 2>&1 | grep -v '^warning: line [0-9]*: should .* be a metavariable' || true)
  [ -z "$report" ] || reports+="${script#"$tools"/}: $report"$'\n'
done
if [ -n "$reports" ]; then
  fail "Coccinelle:"
  echo "$reports" >&2
else
  echo "review: $(find "$tools/scripts/coccinelle" -name '*.cocci' | wc -l) Coccinelle scripts, nothing found" \
       "($(( $(date +%s) - started )) s)"
fi

# The ABI file: a Contact is an address.
if grep '^Contact:' "$driver/sysfs-bus-pci-devices-tcr7750" | grep -v -q '<[^>]*@[^>]*>'; then
  fail "sysfs-bus-pci-devices-tcr7750: a Contact without an address"
fi

[ "$failed" -eq 0 ] && echo "review: clean"
exit "$failed"
