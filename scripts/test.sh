#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up the machine, builds every target and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each stage's wall time, and each kernel's kit result, printed at the end
# (also when a stage fails).
suite_started=$(date +%s)
stage_started=$suite_started
stage_name=
summary=()
stage() { # the next stage's name; ends the current one
  local now
  now=$(date +%s)
  [ -z "$stage_name" ] || summary+=("$(printf '%5d s  %s' $((now - stage_started)) "$stage_name")")
  stage_name=$1
  stage_started=$now
  [ -z "$stage_name" ] || echo "== $stage_name"
}
print_summary() {
  stage ""
  echo "== stage times"
  printf '%s\n' "${summary[@]}"
  printf '%5d s  the whole suite\n' $(( $(date +%s) - suite_started ))
}
trap print_summary EXIT
# The kernel kit in one kernel, its result line kept for the summary.
kernel_kit() { # label, then tests/kernel/run's arguments
  local label=$1 log status=0
  shift
  log=$(mktemp)
  "$@" 2>&1 | tee "$log" || status=$?
  summary+=("         kernel kit in $label: $(tail -1 "$log")")
  rm -f "$log"
  return "$status"
}

stage "setup"
scripts/setup.sh

stage "native tests (AddressSanitizer, UBSan)"
cmake --preset linux
cmake --build --preset linux
ctest --preset linux

stage "threaded tests (ThreadSanitizer)"
cmake --preset linux-tsan
cmake --build --preset linux-tsan
ctest --preset linux-tsan --no-tests=ignore

stage "Windows cross builds"
for preset in windows-x86 windows-x64; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
done
for folder in boardlib sim-dll; do
  scripts/check_dll_exports.sh i686-w64-mingw32 "build/windows-x86/$folder"
  scripts/check_dll_exports.sh x86_64-w64-mingw32 "build/windows-x64/$folder"
done
# The Windows Time provider: the three names the service asks for, undecorated.
for dll in build/windows-{x86,x64}/{timeprovider,sim-dll}/tcr7750tp.dll; do
  exports=$(objdump -p "$dll" | sed -n '/Name Pointer\] Table/,/^$/s/^\t\[ *[0-9]*\] //p' | tr '\n' ' ')
  [ "$exports" = "TimeProvClose TimeProvCommand TimeProvOpen " ] || { echo "$dll exports: $exports" >&2; exit 1; }
done
probedesk_imports=(OpenBoard CloseBoard GetBoardStatus GetBoardDateTime GetTD GetTDEx GetH0 GetBoardVersion
  SetBoardInitialYear SetIrigMode GetBoardTimestamp EnableTimestampInterrupt EnablePeriodicInterrupt
  WaitForTimestampInterrupt WaitForPeriodicInterrupt DisableBoardInterrupts)
horalign_imports=(OpenBoard CloseBoard GetBoardDateTime GetBoardVersion SetBoardInitialYear SetIrigMode)
for target in i686-w64-mingw32:windows-x86 x86_64-w64-mingw32:windows-x64; do
  triplet=${target%%:*} preset=${target#*:}
  scripts/check_imports.sh "$triplet" "build/$preset/testbench/probedesk.exe" "${probedesk_imports[@]}"
  scripts/check_exe_resources.sh "$triplet" "build/$preset/testbench/probedesk.exe" MAINICON 2.0.0.0 2.0.0.0 0x040C 1252
  scripts/check_imports.sh "$triplet" "build/$preset/clockkeeper/horalign.exe" "${horalign_imports[@]}"
  scripts/check_exe_resources.sh "$triplet" "build/$preset/clockkeeper/horalign.exe" \
    MAINICON,CLOCK_GREEN,CLOCK_YELLOW,CLOCK_RED 5.0.0.0 5.0.0.0 0x0409 1252
done

stage "kernel module review: W=1 for amd64, i386 and arm64, sparse, checkpatch --strict, Coccinelle (scripts/kernel-review.sh)"
scripts/kernel-review.sh

stage "QEMU with the board as a PCI device, for every kernel stage (sim/qemu/build-qemu)"
qemu_log=$(mktemp)
sim/qemu/build-qemu 2>&1 >/dev/null | tee "$qemu_log"
built=$(sed -n 's/^qemu: .* total \([0-9]*\) s.*/\1/p' "$qemu_log")
summary+=("         QEMU: $([ -n "$built" ] && echo "built fresh in $built s" || echo "cached, not built")")
rm -f "$qemu_log"

for kernel in $(tests/kernel/kernels); do
  stage "kernel module in QEMU, Debian's kernel $kernel (tests/kernel)"
  kernel_kit "$kernel" env TCR7750_KERNEL="$kernel" tests/kernel/run
done

kernel_612=$(tests/kernel/kernels | sed -n 2p)
stage "Debian packages: DKMS builds the module for two kernels, the guest ($kernel_612) runs it and the packaged tools"
TCR7750_KERNEL=$kernel_612 tests/packages/dkms-guest

stage "kernel module in QEMU under a kernel with KASAN and lockdep, every group and the stress run"
debug_tree=$(tests/kernel/debug-kernel)
kernel_kit "the debugging kernel" env TCR7750_KERNEL_TREE="$debug_tree" tests/kernel/run '*'

stage "benchmarks"
cmake --preset linux-release
cmake --build --preset linux-release
build/linux-release/bench/model_bench --benchmark_min_time=0.2
build/linux-release/bench/boardlib_bench --benchmark_min_time=0.2
build/linux-release/bench/timekeeping_bench
# A host thread for each virtual CPU: a wake-up across CPUs is timed as it
# happens on a machine, not after the other CPU's turn on one host thread.
TCR7750_GUEST_ACCEL=tcg,thread=multi \
tests/kernel/guest-run --root "$(tests/kernel/peers chrony linuxptp)" -- \
  sh -c 'latency_bench && tickprint_bench 60 && clock_bench 60'
tests/kernel/run 'ReliabilityStress.*' # a minute of readers, pollers and commands

stage "Windows programs end to end under Wine"
cmake --preset windows-x64
cmake --build --preset windows-x64
tests/wine/run-e2e

stage "Windows installers: x86 built and checked, x64 installed and uninstalled under wine64"
tests/packages/installer-wine

stage "The 32-bit Windows build under 32-bit Wine in the guest: its DLLs, programs and installer"
tests/wine/run-x86-checks
