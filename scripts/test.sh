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

echo "== benchmarks"
cmake --preset linux-release
cmake --build --preset linux-release
build/linux-release/bench/model_bench --benchmark_min_time=0.2

echo "== Windows programs end to end under Wine"
cmake --preset windows-x64
cmake --build --preset windows-x64
tests/wine/run-e2e
