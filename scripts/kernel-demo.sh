#!/usr/bin/env bash
# Shows the Linux side working: boots Debian's kernel under QEMU with the
# simulated board and tcr7750_drv, runs tickprint for a few seconds, sets a
# year with annumset, and shows the next records carrying it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
tests/kernel/guest-run --add tests/kernel/demo -- sh demo $(date -u '+%Y %m %d %H %M %S')
