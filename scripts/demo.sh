#!/usr/bin/env bash
# Sets up the machine, builds, and runs the board model in real time.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset linux-release
cmake --build --preset linux-release --target model_demo
build/linux-release/demo/model_demo
