#!/usr/bin/env bash
# Sets up the machine, builds every target and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

echo "== native tests (AddressSanitizer, UBSan)"
cmake --preset linux
cmake --build --preset linux
ctest --preset linux

echo "== threaded tests (ThreadSanitizer)"
cmake --preset linux-tsan
cmake --build --preset linux-tsan
ctest --preset linux-tsan --no-tests=ignore

echo "== Windows cross builds"
for preset in windows-x86 windows-x64; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
done
for folder in boardlib sim-dll; do
  scripts/check_dll_exports.sh i686-w64-mingw32 "build/windows-x86/$folder"
  scripts/check_dll_exports.sh x86_64-w64-mingw32 "build/windows-x64/$folder"
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

echo "== kernel module in QEMU (tests/kernel)"
tests/kernel/run

echo "== Debian packages: DKMS builds the module for the guest's kernel, the guest runs it and the packaged tools"
tests/packages/dkms-guest

echo "== kernel module in QEMU under a kernel with KASAN and lockdep, every group and the stress run"
tests/kernel/debug-kernel
TCR7750_KERNEL_TREE=build/kernel-debug/linux-source-6.1 tests/kernel/run '*'

echo "== benchmarks"
cmake --preset linux-release
cmake --build --preset linux-release
build/linux-release/bench/model_bench --benchmark_min_time=0.2
build/linux-release/bench/boardlib_bench --benchmark_min_time=0.2
tests/kernel/guest-run --root "$(tests/kernel/peers chrony linuxptp)" -- \
  sh -c 'latency_bench && tickprint_bench 60 && clock_bench 60'
tests/kernel/run 'ReliabilityStress.*' # a minute of readers, pollers and commands

echo "== Windows programs end to end under Wine"
cmake --preset windows-x64
cmake --build --preset windows-x64
tests/wine/run-e2e

echo "== Windows installers: x86 built and checked, x64 installed and uninstalled under wine64"
tests/packages/installer-wine

echo "== The 32-bit Windows build under 32-bit Wine in the guest: its DLLs, programs and installer"
tests/wine/run-x86-checks
