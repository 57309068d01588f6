#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks a Windows build's tcr7750.dll (production and simulator): exactly
# the sixteen names _OpenBoard ... _DisableBoardInterrupts with ordinals 1 to
# 16, and a caller that declares them cdecl and links libtcr7750.a imports
# them under those names.
# Usage: scripts/check_dll_exports.sh <triplet> <folder holding tcr7750.dll and libtcr7750.a>
set -euo pipefail
triplet=$1
folder=$2
cd "$(dirname "$0")/.."

names=(OpenBoard CloseBoard GetBoardStatus GetBoardDateTime GetTD GetTDEx GetH0 GetBoardVersion
       SetBoardInitialYear SetIrigMode GetBoardTimestamp EnableTimestampInterrupt
       EnablePeriodicInterrupt WaitForTimestampInterrupt WaitForPeriodicInterrupt DisableBoardInterrupts)

expected=$(for i in "${!names[@]}"; do echo "$((i + 1)) _${names[$i]}"; done)
# "[   0] _OpenBoard": the index is the ordinal minus one.
actual=$("$triplet-objdump" -p "$folder/tcr7750.dll" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^\s*\[\s*\([0-9]*\)\] \(.*\)$/\1 \2/p' |
  awk '{ print $1 + 1, $2 }' | sort -n)
if [[ "$actual" != "$expected" ]]; then
  echo "FAIL: $folder/tcr7750.dll exports differ:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
{
    for name in "${names[@]}"; do echo "extern \"C\" int __cdecl $name(void);"; done
  echo 'int (*volatile exports[])(void) = {'
  for name in "${names[@]}"; do echo "  $name,"; done
  echo '};'
  echo 'int main(int argc, char **) { return exports[argc](); }'
} > "$work/caller.cpp"
"$triplet-g++-posix" -o "$work/caller.exe" "$work/caller.cpp" -L"$folder" -ltcr7750
imported=$("$triplet-objdump" -p "$work/caller.exe" |
  sed -n '/DLL Name: tcr7750.dll/,/^$/p' | awk 'NF == 3 && $2 ~ /^[0-9]+$/ { print $3 }' | sort)
if [[ "$imported" != "$(printf '_%s\n' "${names[@]}" | sort)" ]]; then
  echo "FAIL: a caller linked with $folder/libtcr7750.a imports:"
  echo "$imported"
  exit 1
fi
echo "ok: $folder/tcr7750.dll exports and imports the sixteen names, ordinals 1-16"
