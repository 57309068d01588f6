# SPDX-License-Identifier: MIT
# The x86 build's checks, run by tests/wine/run-x86-checks in the 32-bit
# Wine guest (bash, a fresh win32 prefix, a display without a window manager;
# no xdotool or imagemagick there: the tray is worked through its callback
# message and screenshots are the display's frame buffer, cut on the host).
#
#   checks.sh SETUP.exe     (beside it: the programs, uidriver.exe, tphost.exe,
#                            lib.sh, horalign.sh, timeprovider.sh and the
#                            DLLs in sim/ and prod/)
# Only what depends on the build is checked here; tests/wine/run-e2e holds
# the programs' whole scenarios.
set -u
SETUP=$1
HERE=$PWD
UIDRIVER=$HERE/uidriver.exe
ARTEFACTS=/out
SHOTS_DIR=
# The first window program of the emulated guest starts the desktop slowly.
DESKTOP_TIMEOUT_MS=180000
SIM_DLL=$HERE/sim/tcr7750.dll
PRODUCTION_DLL=$HERE/prod/tcr7750.dll
HORALIGN_EXE=$HERE/horalign.exe
PROBEDESK_EXE=$HERE/probedesk.exe
mkdir -p /out/shots /out/logs /out/run
TPHOST_EXE=$HERE/tphost.exe
TP_SIM_DLL=$HERE/sim/tcr7750tp.dll
source ./lib.sh
source ./horalign.sh
source ./timeprovider.sh

shot() {
  SHOT_NUMBER=$((SHOT_NUMBER + 1))
  LAST_SHOT=$(printf '/out/shots/%02d-%s.xwd' "$SHOT_NUMBER" "$1")
  cp "$SCREEN_FILE" "$LAST_SHOT"
}
# crop_window NAME WINDOW: the last screenshot and the window's rectangle,
# cut to NAME.png on the host.
crop_window() {
  cp "$LAST_SHOT" "/out/shots/$1.xwd"
  ui rect "$2" >"/out/shots/$1.rect"
}

started=$(now_ms)
start_wine
echo "Wine prefix and desktop ready in $((($(now_ms) - started) / 1000)) s"

echo "== dllcheck: every export of the simulator DLL, from a 32-bit program"
launch dllcheck-sim "$HERE/dllcheck.exe" "$SIM_DLL"
wait "$PROGRAM_PID"
status=$?
checks_from "$(cat /out/logs/dllcheck-sim.log)"
expect_eq "dllcheck ends with status 0" "$status" 0

echo "== the production DLL without WinDriver"
mkdir -p /out/run/dllcheck-prod
cp "$HERE/dllcheck.exe" "$PRODUCTION_DLL" /out/run/dllcheck-prod/
(cd /out/run/dllcheck-prod && exec "$WINE" ./dllcheck.exe open) >/out/logs/dllcheck-prod.log 2>&1 &
PROGRAM_PID=$!
output=$(ui msgbox --timeout 15000 2>&1)
expect_eq "OpenBoard's message box (caption, text, button)" "$output" $'Erreur\nNe peut ouvrir WinDriver!\nOK'
wait "$PROGRAM_PID"
expect_eq "OpenBoard returns -1" "$(tr -d '\r' </out/logs/dllcheck-prod.log)" "OpenBoard -1"

echo "== the Windows Time provider (simulator build) driven as the time service does"
timeprovider_scenario

echo "== probedesk with the simulator DLL"
W="TCR7750 DLL Test"
launch probedesk "$PROBEDESK_EXE" "$SIM_DLL"
ui_check "the window opens" wait-window "$W" --timeout 20000
ui_check "click Open device" click "$W" BtnOpen
ui_check "status bar: Device opened" wait-text "$W" StatusBar1 --equals "Device opened" --timeout 3000
ui_check "click Get Date & Time" click "$W" BtnDate
ui_check "the board's date line" wait-text "$W" Edit2 \
  --matches '[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{3} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} [0-9]{6}' --timeout 3000
ui_check "click Get version" click "$W" Button1
ui_check "the board's version text" wait-text "$W" EdVersion --matches '.{7} .{7}' --timeout 3000
ui_check "click Get TD" click "$W" Button9
ui_check "the TD reading" wait-text "$W" Edit6 --matches '[SR] [+-][0-9]{2}:[0-9]{2}:[0-9]{2,3}\.[0-9]{6,7}' --timeout 3000
ui_check "click Get H0" click "$W" Button10
ui_check "the H0 reading" wait-text "$W" Edit7 --matches '[SR] [0-9]{3} [0-9]{2}:[0-9]{2}:[0-9]{2}' --timeout 3000
ui_check "period 5 (half a second)" set-text "$W" Edit3 5
ui_check "click Enable interrupt (periodic)" click "$W" Button6
ui_check "periodic events are listed" wait-items "$W" ListBox1 --min-count 4 \
  --last-matches 'P\[[0-9]{4}\]: [0-9]{4}/.*' --timeout 8000
shot probedesk
crop_window probedesk "$W"
ui_check "click Disable interrupts" click "$W" Button3
ui_check "the monitor ended: periodic Enable enabled again" wait-state "$W" Button6 --expect enabled=1 --timeout 3000
ui_check "menu File > Exit" menu "$W" "&File>E&xit"
ui_check "the window is gone" wait-gone "$W"
wait_exit "$PROGRAM_PID" "the program ended"

echo "== horalign with the simulator DLL"
W=$HORALIGN_CAPTION
horalign_ready "$SIM_DLL" horalign
ui_check "the window opens" wait-window "$W" --timeout 20000
ui_check "the board's time" wait-text "$W" LblTime \
  --matches '[ 0-9]{4}/[0-9]{2}/[0-9]{2} - [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}' --timeout 5000
shot horalign
crop_window horalign "$W"
ui_check "the interval comes from the registry" text "$W" EdInterval --equals "$HORALIGN_INTERVAL"
ui_check "the board's version text" text "$W" LblVersion --matches '.{7} .{7}'
ui_check "one tray icon" tray-icons --count 1
ui_check "the window hides itself" wait-hidden "$W" --timeout 20000
ui_check "the tray callback (right click) opens the menu; choose Settings" tray "$W" rclick
ui_check "Settings" popup Settings --nth 0
ui_check "the window is shown" wait-window "$W" --timeout 5000
# The guest's own clock: the board follows it, so Wine accepts the setting.
ui_check "click Force System Clock Update" click "$W" BtnMajClk
ui_refuses "the clock is set: no failure message" msgbox --keep --timeout 3000
ui_check "the tray callback (right click) opens the menu; choose Exit" tray "$W" rclick
ui_check "Exit" popup Exit --nth 1
ui_check "the window is gone" wait-gone "$W"
ui_check "the tray icon is gone" tray-icons --count 0
wait_exit "$PROGRAM_PID" "the program ended"

echo "== the x86 installer in the 32-bit prefix"
PARAMS='HKLM\SOFTWARE\Corvane\TCR7750\Params'
INSTALLED='/tmp/prefix/drive_c/Program Files/TCR7750'
PROVIDER='HKLM\SYSTEM\CurrentControlSet\Services\W32Time\TimeProviders\TCR7750'
interval() {
  "$WINE" reg query "$PARAMS" /v Interval 2>/dev/null | tr -d '\r' | awk '$1 == "Interval" { print $3 }'
}
provider_dll() {
  "$WINE" reg query "$PROVIDER" /v DllName 2>/dev/null | tr -d '\r' | sed -n 's/^ *DllName *REG_SZ *//p'
}
# start_installed: horalign from its installed folder, on the simulator DLL
# (the production one never opens the board here, and the Interval is read
# once it has).
start_installed() {
  cp "$SIM_DLL" "$INSTALLED/tcr7750.dll"
  (cd "$INSTALLED" && exec "$WINE" ./horalign.exe) >>/out/logs/installed-horalign.log 2>&1 &
  PROGRAM_PID=$!
  PROGRAM_PIDS+=("$PROGRAM_PID")
  ui_check "$1: horalign from its folder opens" wait-window "$W" --timeout 20000
}
"$WINE" reg delete "$PARAMS" /f >/dev/null 2>&1
"$WINE" "$HERE/$SETUP" /S >/out/logs/setup.log 2>&1
expect_eq "the silent installation ends with status 0" "$?" 0
expect_eq "the programs under Program Files" "$(cd "$INSTALLED" 2>/dev/null && ls | tr '\n' ' ')" \
  "horalign.exe probedesk.exe tcr7750.dll tcr7750tp.dll uninstall.exe "
expect_eq "Interval: the clock keeper's default" "$(interval)" 0x3c
"$WINE" reg add "$PARAMS" /v Interval /t REG_DWORD /d "$HORALIGN_INTERVAL" /f >/dev/null 2>&1
start_installed "installed"
ui_check "it reads Interval" text "$W" EdInterval --equals "$HORALIGN_INTERVAL"
"$WINE" "$HERE/$SETUP" /S /KEEPER=w32time >>/out/logs/setup.log 2>&1
expect_eq "installed again over the running program, Windows Time keeping the clock: status 0" "$?" 0
expect_eq "the 32-bit time provider registered" "$(provider_dll)" 'C:\Program Files\TCR7750\tcr7750tp.dll'
wait_exit "$PROGRAM_PID" "the installer closed the running horalign"
expect_eq "Interval stays the user's" "$(interval)" "$(printf '0x%x' "$HORALIGN_INTERVAL")"
start_installed "upgraded"
"$WINE" "C:\\Program Files\\TCR7750\\uninstall.exe" /S >/out/logs/uninstall.log 2>&1
deadline=$(($(now_ms) + 30000))
while [[ -e $INSTALLED ]] && (($(now_ms) < deadline)); do sleep 0.2; done
wait_exit "$PROGRAM_PID" "the uninstaller closed the running horalign"
expect_eq "the uninstaller removes the program folder" "$([[ -e $INSTALLED ]] || echo gone)" gone
expect_eq "and the time provider's registration" "$(provider_dll)" ""
expect_eq "Interval stays" "$(interval)" "$(printf '0x%x' "$HORALIGN_INTERVAL")"

stop_programs
echo "x86 checks: $((($(now_ms) - started) / 1000)) s in the guest"
echo "$PASSED passed, $FAILED failed"
((FAILED == 0))
