# SPDX-License-Identifier: MIT
# The clock keeper, horalign: with the simulator DLL it shows the interval
# from the registry and the board's state in its panels, hides itself after
# ten seconds and lives on behind its tray icon; with the production DLL
# (no WinDriver here) it shows the library's message and stays, teal, and a
# worker started by hand shows red panels for its failing reads.
#
# The program must never set the clock in these runs: the interval in the
# registry (300 ticks, five minutes) outlasts every scenario, which ends the
# program well before, and nothing here presses "Force System Clock Update".

HORALIGN_CAPTION="TCR7750 - IRIG B Time code reader"
HORALIGN_INTERVAL=300
TEAL=008080
BRIGHT_GREEN=00FF00
RED=FF0000
WHITE=FFFFFF

# horalign_ready DLL NAME: stages and starts the program with that library
# and the registry interval, or says why it cannot.  Sets PROGRAM_PID and
# PROGRAM_STARTED (ms).
horalign_ready() {
  ready_to_run horalign "$HORALIGN_EXE" "$1" || return 1
  "$WINE" reg add 'HKLM\SOFTWARE\Corvane\TCR7750\Params' /v Interval /t REG_DWORD /d "$HORALIGN_INTERVAL" /f \
    >/dev/null 2>&1
  launch "$2" "$HORALIGN_EXE" "$1"
}

# horalign_exit_from_tray: "Exit" from the tray icon's menu ends the program
# and removes the icon.
horalign_exit_from_tray() {
  if tray_click 3; then
    ui_check "a right click on the tray icon opens the menu; choose Exit" popup Exit --nth 1
  else
    fail "a right click on the tray icon opens the menu" "no tray icon"
  fi
  ui_check "the window is gone" wait-gone "$HORALIGN_CAPTION"
  ui_check "the tray icon is gone" tray-icons --count 0
  wait_exit "$PROGRAM_PID" "the program ended"
}

horalign_with_simulator() {
  horalign_ready "$SIM_DLL" horalign-sim || return
  local W=$HORALIGN_CAPTION status lock hidden_after

  ui_check "the window opens" wait-window "$W"
  ui_check "the interval comes from the registry" text "$W" EdInterval --equals "$HORALIGN_INTERVAL"
  ui_check "the worker runs: Active selected" state "$W" RGrpDriver --expect selected=0
  ui_check "the board's version text" text "$W" LblVersion --matches '.{7} .{7}'
  ui_check "the board's time" wait-text "$W" LblTime \
    --matches '[ 0-9]{4}/[0-9]{2}/[0-9]{2} - [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}' --timeout 3000
  ui_check "one tray icon" tray-icons --count 1

  # The frame panel stays teal until the worker's first tick, a second in.
  if wait_colour_change horalign-first-tick "$W" PnlLock "$TEAL" 5000; then
    pass "the worker's first tick coloured the frame panel"
  else
    fail "the worker's first tick coloured the frame panel" "PnlLock still teal after 5 s"
  fi
  status=$(colour_in "$LAST_SHOT" "$W" PnlStatus)
  lock=$(colour_in "$LAST_SHOT" "$W" PnlLock)
  expect_eq "driver panel bright green" "$(colour_in "$LAST_SHOT" "$W" PnlDriver)" "$BRIGHT_GREEN"
  expect_eq "the simulated board has a good frame: status panel bright green" "$status" "$BRIGHT_GREEN"
  expect_eq "frame panel bright green" "$lock" "$BRIGHT_GREEN"
  expect_eq "the interval box is bright green while the worker runs" \
    "$(colour_in "$LAST_SHOT" "$W" EdInterval field)" "$BRIGHT_GREEN"
  crop_window horalign "$W"

  ui_check "the window hides itself" wait-hidden "$W" --timeout 17000
  hidden_after=$(($(now_ms) - PROGRAM_STARTED))
  expect_between "hidden ten seconds after the start (ms since launch)" "$hidden_after" 9500 16500
  ui_check "the tray icon stays" tray-icons --count 1

  if tray_click 3; then
    ui_check "a right click on the tray icon opens the menu; choose Settings" popup Settings --nth 0
  else
    fail "a right click on the tray icon opens the menu" "no tray icon"
  fi
  ui_check "Settings shows the window" wait-window "$W" --timeout 3000
  ui_check "Iconize hides it" click "$W" BtnIcon
  ui_check "hidden" wait-hidden "$W" --timeout 3000
  if tray_click 1 2; then
    ui_check "a double click on the tray icon shows it" wait-window "$W" --timeout 3000
  else
    fail "a double click on the tray icon shows it" "no tray icon"
  fi

  horalign_exit_from_tray
}

horalign_without_windriver() {
  horalign_ready "$PRODUCTION_DLL" horalign-nowindriver || return
  local W=$HORALIGN_CAPTION output panel still_shown

  output=$(ui msgbox --timeout 10000 2>&1)
  expect_eq "the library's message box (caption, text, button)" "$output" $'Erreur\nNe peut ouvrir WinDriver!\nOK'
  ui_check "the window opens" wait-window "$W"
  ui_check "no worker: Disabled selected" state "$W" RGrpDriver --expect selected=1
  ui_check "the interval keeps its default" text "$W" EdInterval --equals 60
  ui_check "no version text" text "$W" LblVersion --equals ""
  ui_check "one tray icon" tray-icons --count 1

  shot horalign-nowindriver
  for panel in PnlStatus PnlLock PnlDriver; do
    expect_eq "$panel stays teal" "$(colour_in "$LAST_SHOT" "$W" "$panel")" "$TEAL"
  done
  crop_window horalign-nowindriver "$W"

  # The window must still be there when it would have hidden itself.
  still_shown=$((PROGRAM_STARTED + 12000 - $(now_ms)))
  ((still_shown < 0)) && still_shown=0
  ui_refuses "the window stays on the screen past ten seconds" wait-hidden "$W" --timeout "$still_shown"

  # "Active" starts a worker even so; every read fails and turns the panels red.
  ui_check "choose Active" click "$W" RGrpDriver:0
  if wait_colour_change horalign-failed-reads "$W" PnlLock "$TEAL" 5000; then
    pass "the worker's first tick coloured the frame panel"
  else
    fail "the worker's first tick coloured the frame panel" "PnlLock still teal after 5 s"
  fi
  for panel in PnlStatus PnlLock PnlDriver; do
    expect_eq "failed reads: $panel red" "$(colour_in "$LAST_SHOT" "$W" "$panel")" "$RED"
  done
  expect_eq "the interval box is bright green while the worker runs" \
    "$(colour_in "$LAST_SHOT" "$W" EdInterval field)" "$BRIGHT_GREEN"
  ui_check "failed reads empty the time label" text "$W" LblTime --equals ""
  ui_check "choose Disabled" click "$W" RGrpDriver:1
  if wait_colour_change horalign-worker-ended "$W" EdInterval "$BRIGHT_GREEN" 5000 field; then
    expect_eq "the interval box turns white when the worker has ended" \
      "$(colour_in "$LAST_SHOT" "$W" EdInterval field)" "$WHITE"
  else
    fail "the interval box turns white when the worker has ended" "still bright green after 5 s"
  fi

  horalign_exit_from_tray
}
