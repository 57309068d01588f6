#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks that a window program is a GUI program and carries its icons and
# version record: the fixed file and product versions, and the one
# translation (language and code page) of its version strings.
# Usage: scripts/check_exe_resources.sh <triplet> <program.exe> <icon names, comma-separated>
#          <file version a.b.c.d> <product version a.b.c.d> <language, e.g. 0x040C> <code page>
set -euo pipefail
triplet=$1
program=$2
IFS=, read -ra icons <<<"$3"
fileVersion=$4
productVersion=$5
language=$6
codePage=$7

fail() { echo "FAIL: $program: $*"; exit 1; }

# Little-endian bytes in hexadecimal, as od prints them.
le16() { printf '%02x%02x' $(($1 & 255)) $(($1 >> 8 & 255)); }
le32() { le16 $(($1 & 0xFFFF)); le16 $(($1 >> 16 & 0xFFFF)); }
# a.b.c.d as the two version words of the fixed record: (a<<16|b), (c<<16|d).
versionWords() {
  IFS=. read -r a b c d <<<"$1"
  le32 $((a << 16 | b)); le32 $((c << 16 | d))
}

# Whole outputs first: grep -q stopping early would fail the pipe.
headers=$("$triplet-objdump" -p "$program")
texts=$(strings -el "$program")
grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" || fail "not a GUI program"
# The names of the named resources, from the resource directory the headers
# dump lists ("Entry: name: [val: ... len 8]: MAINICON, Value: ...").
names=$(sed -n 's/.*Entry: name: \[[^]]*\]: \([^,]*\),.*/\1/p' <<<"$headers")
for icon in "${icons[@]}"; do
  grep -qx "$icon" <<<"$names" || fail "no icon resource $icon"
done

hex=$(od -An -tx1 -v "$program" | tr -d ' \n')
# The fixed record: its signature and structure version, then the versions.
fixed="bd04effe00000100$(versionWords "$fileVersion")$(versionWords "$productVersion")"
grep -q "$fixed" <<<"$hex" || fail "no version record $fileVersion / $productVersion"
translation=$(printf 'Translation' | od -An -tx1 -v | sed 's/ \(..\)/\100/g' | tr -d ' \n')
grep -Eq "${translation}(00)+$(le16 "$language")$(le16 "$codePage")" <<<"$hex" ||
  fail "no translation $language, code page $codePage"
grep -qx 'StringFileInfo' <<<"$texts" || fail "no version strings"

echo "ok: $program is a GUI program with icons $3 and version $fileVersion / $productVersion ($language, $codePage)"
