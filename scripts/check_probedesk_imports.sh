#!/usr/bin/env bash
# Checks a Windows build's probedesk.exe: a GUI program that imports all
# sixteen exports from tcr7750.dll by name (linked at load time), and that
# carries its icon and version record (file version 2.0.0.0, product
# version 2.0, French with code page 1252).
# Usage: scripts/check_probedesk_imports.sh <triplet> <path of probedesk.exe>
set -euo pipefail
triplet=$1
exe=$2

names=(OpenBoard CloseBoard GetBoardStatus GetBoardDateTime GetTD GetTDEx GetH0 GetBoardVersion
       SetBoardInitialYear SetIrigMode GetBoardTimestamp EnableTimestampInterrupt
       EnablePeriodicInterrupt WaitForTimestampInterrupt WaitForPeriodicInterrupt DisableBoardInterrupts)

fail() { echo "FAIL: $exe: $*"; exit 1; }

headers=$("$triplet-objdump" -p "$exe")
imported=$(sed -n '/DLL Name: tcr7750.dll/,/^$/p' <<<"$headers" |
  awk 'NF == 3 && $2 ~ /^[0-9]+$/ { print $3 }' | sort)
if [[ "$imported" != "$(printf '_%s\n' "${names[@]}" | sort)" ]]; then
  echo "imports from tcr7750.dll:"
  echo "$imported"
  fail "does not import exactly the sixteen exports from tcr7750.dll"
fi
grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" || fail "not a GUI program"

# The resources, as bytes: the fixed version record (signature, structure
# version, file version 2.0.0.0, product version 2.0.0.0) and the
# translation value 0x040C, 1252.
hex=$(od -An -tx1 -v "$exe" | tr -d ' \n')
grep -q 'bd04effe0000010000000200000000000000020000000000' <<<"$hex" || fail "no version record 2.0.0.0 / 2.0"
translation=$(printf 'Translation' | od -An -tx1 -v | sed 's/ \(..\)/\100/g' | tr -d ' \n')
grep -Eq "${translation}(00)+0c04e404" <<<"$hex" || fail "no translation 0x040C, 1252"
strings -el "$exe" | grep -qx 'ProductVersion' || fail "no string file information"
strings -el "$exe" | grep -qx 'MAINICON' || fail "no MAINICON"

echo "ok: $exe imports the sixteen exports from tcr7750.dll; GUI; icon and version record"
