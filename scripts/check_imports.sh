#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks that a window program imports from tcr7750.dll exactly the exports
# it is meant to use, by name, and nothing else from it.
# Usage: scripts/check_imports.sh <triplet> <program.exe> <export>...
set -euo pipefail
triplet=$1
program=$2
shift 2

expected=$(printf '_%s\n' "$@" | sort)
# The import table lists each DLL, then "vma  Hint/Ord Member-Name" rows.
imported=$("$triplet-objdump" -p "$program" |
  sed -n '/DLL Name: tcr7750.dll/,/^$/p' | awk 'NF == 3 && $2 ~ /^[0-9]+$/ { print $3 }' | sort)
if [[ "$imported" != "$expected" ]]; then
  echo "FAIL: $program imports from tcr7750.dll:"
  diff <(echo "$expected") <(echo "$imported") || true
  exit 1
fi
echo "ok: $program imports exactly $# exports from tcr7750.dll"
