#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Shows the Linux side working: boots Debian's kernel under QEMU with the
# board (a PCI device of the emulator) and tcr7750_drv, shows the board as
# lspci sees it, runs tickprint for a few seconds, sets a year with annumset,
# and shows the next records carrying it.
set -euo pipefail
cd "$(dirname "$0")/.."

[ -n "${TCR7750_SETUP_DONE:-}" ] || scripts/setup.sh
echo "(booting the guest: QEMU emulates the CPU in software, 30 to 50 s)"
echo "tcr7750_drv and the console tools in Debian's kernel under QEMU, the board emulated:"
tests/kernel/guest-run --root "$(tests/kernel/peers pciutils pci.ids zlib1g)" --add tests/kernel/demo -- \
  sh demo $(date -u '+%Y %m %d %H %M %S')
