# SPDX-License-Identifier: MIT
# The test bench, probedesk: with the simulator DLL every button shows its
# result in its fixed format; with the production DLL (no WinDriver here)
# the open fails with the library's own message.

PROBEDESK_CAPTION="TCR7750 DLL Test"
DATE_LINE='[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{3} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} [0-9]{6}'

# probedesk_ready DLL NAME: stages and starts the program with that library,
# or says why it cannot.  Sets PROGRAM_PID.
probedesk_ready() {
  ready_to_run probedesk "$PROBEDESK_EXE" "$1" || return 1
  launch "$2" "$PROBEDESK_EXE" "$1"
}

# probedesk_click BUTTON STATUS-TEXT: one button and the status bar text it
# must leave.
probedesk_click() {
  ui_check "click $1" click "$PROBEDESK_CAPTION" "$1"
  ui_check "status bar: $2" wait-text "$PROBEDESK_CAPTION" StatusBar1 --equals "$2" --timeout 3000
}

# check_date_line DESCRIPTION LINE: the date line of "Get Date &Time", also
# checked against itself (milliseconds are the microseconds' first digits,
# the day of the year follows the date) and against the host's UTC clock
# (the simulated board follows it).
check_date_line() {
  local line=$2
  expect_match "$1: format" "$line" "^$DATE_LINE\$"
  [[ $line =~ ^([0-9]{4})/([0-9]{2})/([0-9]{2})\ ([0-9]{3})\ ([0-9]{2}):([0-9]{2}):([0-9]{2})\.([0-9]{3})\ ([0-9]{6})$ ]] || return
  local m=("${BASH_REMATCH[@]}")
  expect_eq "$1: milliseconds are microseconds / 1000" "${m[8]}" "${m[9]:0:3}"
  expect_eq "$1: day of the year matches the date" "${m[4]}" "$(date -u -d "${m[1]}-${m[2]}-${m[3]}" +%j)"
  local board host drift
  board=$(date -u -d "${m[1]}-${m[2]}-${m[3]} ${m[5]}:${m[6]}:${m[7]}" +%s)
  host=$(date -u +%s)
  drift=$((host - board))
  expect_between "$1: within seconds of the host's UTC clock (s)" "${drift#-}" 0 10
}

probedesk_with_simulator() {
  probedesk_ready "$SIM_DLL" probedesk-sim || return
  local W=$PROBEDESK_CAPTION lines count

  ui_check "the window opens" wait-window "$PROBEDESK_CAPTION"

  ui_check "status bar at start" text "$W" StatusBar1 --equals "Device closed"
  ui_check "Disable interrupts is disabled at start" state "$W" Button3 --expect enabled=0
  ui_check "the period starts at 10" text "$W" Edit3 --equals "10"
  ui_check "the year box holds the UTC year" text "$W" Edit4 --equals "$(date -u +%Y)"
  ui_check "Edge select starts on Raising" state "$W" RadioGroup1 --expect selected=0

  probedesk_click BtnOpen "Device opened"
  probedesk_click BtnStat "Status read ok"
  ui_check "Get Status: status [control]" text "$W" Edit1 --matches '[0-9A-F]{4} \[[0-9A-F]{4}\]'

  probedesk_click BtnDate "Date & Time read ok"
  ui_check "Get Date & Time: status word" text "$W" Edit1 --matches '[0-9A-F]{4}'
  check_date_line "Get Date & Time" "$(ui text "$W" Edit2)"

  ui_check "click Get version" click "$W" Button1
  ui_check "Get version: the board's version text" wait-text "$W" EdVersion --matches '.{7} .{7}' --timeout 3000

  ui_check "click Get TD" click "$W" Button9
  ui_check "Get TD: state, sign and time" wait-text "$W" Edit5 --matches '[SR] [+-][0-9]{2}:[0-9]{2}:[0-9]{2,3}' --timeout 3000
  ui_check "Get TD: extended, with microseconds" text "$W" Edit6 --matches '[SR] [+-][0-9]{2}:[0-9]{2}:[0-9]{2,3}\.[0-9]{6,7}'
  ui_check "Get TD: status word" text "$W" Edit1 --matches '[0-9A-F]{4}'

  ui_check "click Get H0" click "$W" Button10
  ui_check "Get H0: state, day and time" wait-text "$W" Edit7 --matches '[SR] [0-9]{3} [0-9]{2}:[0-9]{2}:[0-9]{2}' --timeout 3000

  ui_check "click Clear" click "$W" Button4
  ui_check "the list is empty" items "$W" ListBox1 --count 0
  ui_check "click Read timestamp" click "$W" Button5
  ui_check "Read timestamp lists both edges" wait-items "$W" ListBox1 --count 1 \
    --last-matches 'R: -?[0-9]{5,}\.-?[0-9]{6,}     F: -?[0-9]{5,}\.-?[0-9]{6,}' --timeout 3000

  ui_check "click Clear" click "$W" Button4
  ui_check "period 5 (half a second)" set-text "$W" Edit3 5
  ui_check "click Enable interrupt (periodic)" click "$W" Button6
  ui_check "monitoring: time-stamp Enable disabled" wait-state "$W" Button2 --expect enabled=0 --timeout 3000
  ui_check "monitoring: periodic Enable disabled" state "$W" Button6 --expect enabled=0
  ui_check "monitoring: Disable interrupts enabled" state "$W" Button3 --expect enabled=1
  ui_check "periodic events are listed" wait-items "$W" ListBox1 --min-count 4 --timeout 6000
  shot probedesk-periodic
  crop_window probedesk "$W"
  ui_check "click Disable interrupts" click "$W" Button3
  ui_check "idle: Disable interrupts disabled" wait-state "$W" Button3 --expect enabled=0 --timeout 3000
  ui_check "idle: time-stamp Enable enabled" state "$W" Button2 --expect enabled=1
  ui_check "idle: periodic Enable enabled" state "$W" Button6 --expect enabled=1

  # At most one event whose wait completed before the disable may still come.
  lines=$(ui items "$W" ListBox1)
  count=$(($(wc -l <<<"$lines") + 1))
  ui_refuses "no events after the one in flight" wait-items "$W" ListBox1 --min-count $((count + 1)) --timeout 2000
  lines=$(ui items "$W" ListBox1)
  local number=0 line numbered=1 formatted=1
  while IFS= read -r line; do
    number=$((number + 1))
    [[ $line == "$(printf 'P[%04d]: ' "$number")"* ]] || numbered=0
    [[ $line =~ ^P\[[0-9]{4}\]:\ $DATE_LINE$ ]] || formatted=0
  done <<<"$lines"
  expect_eq "events numbered from P[0001] one by one" "$numbered" 1
  expect_eq "every event line holds the date line" "$formatted" 1
  [[ $formatted == 1 ]] || fail "event lines" "$lines"

  probedesk_click BtnClose "Device closed"
  probedesk_click BtnClose "Close error"
  probedesk_click BtnStat "Status read error"

  ui_check "menu File > Exit" menu "$W" "&File>E&xit"
  ui_check "the window is gone" wait-gone "$PROBEDESK_CAPTION"
  wait_exit "$PROGRAM_PID" "the program ended"
}

probedesk_without_windriver() {
  probedesk_ready "$PRODUCTION_DLL" probedesk-nowindriver || return
  local W=$PROBEDESK_CAPTION output

  ui_check "the window opens" wait-window "$W"
  ui_check "click Open device" click "$W" BtnOpen
  output=$(ui msgbox --timeout 10000 2>&1)
  expect_eq "the library's message box (caption, text, button)" "$output" $'Erreur\nNe peut ouvrir WinDriver!\nOK'
  ui_check "status bar: Open error" wait-text "$W" StatusBar1 --equals "Open error" --timeout 3000
  shot probedesk-nowindriver
  crop_window probedesk-nowindriver "$W"

  ui_check "click Enable interrupt (time stamps)" click "$W" Button2
  ui_check "status bar: Device not open" wait-text "$W" StatusBar1 --equals "Device not open" --timeout 3000
  ui_check "the buttons stay idle" state "$W" Button3 --expect enabled=0
  ui_check "click Get Status" click "$W" BtnStat
  ui_check "status bar: Status read error" wait-text "$W" StatusBar1 --equals "Status read error" --timeout 3000

  ui_check "menu File > Exit" menu "$W" "&File>E&xit"
  ui_check "the window is gone" wait-gone "$W"
  wait_exit "$PROGRAM_PID" "the program ended"
}
