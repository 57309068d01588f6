#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up the machine, builds, runs the board model in real time, then the
# Linux driver and console tools on the simulated board (scripts/kernel-demo.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset linux-release
cmake --build --preset linux-release --target model_demo
build/linux-release/demo/model_demo

echo
TCR7750_SETUP_DONE=1 scripts/kernel-demo.sh
