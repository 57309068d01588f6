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
scripts/check_probedesk_imports.sh i686-w64-mingw32 build/windows-x86/testbench/probedesk.exe
scripts/check_probedesk_imports.sh x86_64-w64-mingw32 build/windows-x64/testbench/probedesk.exe

echo "== benchmarks"
cmake --preset linux-release
cmake --build --preset linux-release
build/linux-release/bench/model_bench --benchmark_min_time=0.2
build/linux-release/bench/boardlib_bench --benchmark_min_time=0.2
