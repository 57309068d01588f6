# SPDX-License-Identifier: MIT
# Helpers of the end-to-end run: the display and the prefix, results, the UI
# driver, programs under test, screenshots and colours.  Sourced by
# tests/wine/run-e2e (and tests/packages/installer-wine), which set WINE,
# WINESERVER, WINEPREFIX, UIDRIVER, ARTEFACTS and SHOTS_DIR, start the display
# and the prefix with start_display and start_wine, and end them.

PASSED=0
FAILED=0
SKIPPED=0
PROGRAM_PIDS=()
SHOT_NUMBER=0

pass() {
  PASSED=$((PASSED + 1))
  echo "  ok    $1"
}

fail() {
  FAILED=$((FAILED + 1))
  echo "  FAIL  $1"
  shift
  local line
  for line in "$@"; do
    [[ -n $line ]] && printf '        %s\n' "$line"
  done
  return 0
}

skip() {
  SKIPPED=$((SKIPPED + 1))
  echo "  skip  $1"
}

# ui ARGS...: the UI driver, output on stdout, errors on stderr.  Each call
# is logged with its exit status and time in logs/uidriver.log.
ui() {
  local started status
  started=$(now_ms)
  "$WINE" "$UIDRIVER" "$@"
  status=$?
  printf '%s %6d ms  status %d  %s\n' "$(date +%T.%3N)" $(($(now_ms) - started)) "$status" "$*" \
    >>"$ARTEFACTS/logs/uidriver.log"
  return "$status"
}

# ui_check DESCRIPTION ARGS...: one assertion made by the driver.
ui_check() {
  local description=$1 output status started
  shift
  started=$(now_ms)
  output=$(ui "$@" 2>&1)
  status=$?
  if ((status == 0)); then
    pass "$description"
  else
    fail "$description" "uidriver $* (exit status $status after $(($(now_ms) - started)) ms)" "$output"
  fi
}

# ui_refuses DESCRIPTION ARGS...: the driver must fail (a refused action, a
# state that must not come).
ui_refuses() {
  local description=$1 output
  shift
  if output=$(ui "$@" 2>&1); then
    fail "$description" "uidriver $* succeeded" "$output"
  else
    pass "$description"
  fi
}

# expect_eq DESCRIPTION ACTUAL EXPECTED
expect_eq() {
  if [[ $2 == "$3" ]]; then
    pass "$1"
  else
    fail "$1" "got:      $2" "expected: $3"
  fi
}

# expect_match DESCRIPTION ACTUAL REGEX
expect_match() {
  if [[ $2 =~ $3 ]]; then
    pass "$1"
  else
    fail "$1" "got:      $2" "expected: /$3/"
  fi
}

# expect_between DESCRIPTION VALUE LOW HIGH (integers)
expect_between() {
  if (($2 >= $3 && $2 <= $4)); then
    pass "$1 ($2)"
  else
    fail "$1" "got $2, expected $3 to $4"
  fi
}

# checks_from LINES: a check program's "ok"/"FAIL" lines as results.
checks_from() {
  local verdict what
  while read -r verdict what; do
    case $verdict in
      ok) pass "$what" ;;
      FAIL) fail "$what" ;;
    esac
  done <<<"$1"
}

now_ms() {
  echo $(($(date +%s%N) / 1000000))
}

# find_built NAME: the first file of that name under the build folder.
find_built() {
  find "$BUILD" -name "$1" -type f 2>/dev/null | sort | head -n 1
}

# ready_to_run PROGRAM EXE DLL: whether the program and the board library it
# is to load are built; says which one is missing and skips otherwise.
ready_to_run() {
  if [[ -z $2 || ! -f $2 ]]; then
    skip "$1: $1.exe is not built yet (looked under $BUILD)"
    return 1
  fi
  if [[ ! -f $3 ]]; then
    skip "$1: $3 is not built yet"
    return 1
  fi
}

# launch NAME EXE [DLL]: copies the program, and the board library it is to
# load, into a scratch folder (the loader looks beside the .exe first) and
# starts it there in the background.  Sets PROGRAM_PID and PROGRAM_STARTED.
launch() {
  local folder=$ARTEFACTS/run/$1
  rm -rf "$folder"
  mkdir -p "$folder"
  cp "$2" "$folder/"
  [[ -n ${3:-} ]] && cp "$3" "$folder/"
  PROGRAM_STARTED=$(now_ms)
  (cd "$folder" && exec "$WINE" "./$(basename "$2")") >"$ARTEFACTS/logs/$1.log" 2>&1 &
  PROGRAM_PID=$!
  PROGRAM_PIDS+=("$PROGRAM_PID")
}

# wait_exit PID DESCRIPTION: the program must end within five seconds.
wait_exit() {
  local deadline=$(($(now_ms) + 5000))
  while kill -0 "$1" 2>/dev/null; do
    if (($(now_ms) > deadline)); then
      fail "$2" "process $1 is still running"
      return
    fi
    sleep 0.1
  done
  pass "$2"
}

# stop_programs: ends whatever a scenario left running.
stop_programs() {
  local pid
  for pid in "${PROGRAM_PIDS[@]}"; do
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
    fi
  done
  PROGRAM_PIDS=()
}

# shot NAME: a screenshot of the whole display; its path is in LAST_SHOT.
shot() {
  SHOT_NUMBER=$((SHOT_NUMBER + 1))
  LAST_SHOT=$(printf '%s/shots/%02d-%s.png' "$ARTEFACTS" "$SHOT_NUMBER" "$1")
  import -window root "$LAST_SHOT"
}

# crop_window NAME WINDOW: the window cut out of the last screenshot, kept
# with the run's screenshots and, with --shots, in that folder too.
crop_window() {
  local x y w h
  read -r x y w h < <(ui rect "$2") || return 0
  convert "$LAST_SHOT" -crop "${w}x${h}+${x}+${y}" +repage -strip "$ARTEFACTS/shots/$1.png"
  if [[ -n $SHOTS_DIR && $1 != kitsample* ]]; then
    mkdir -p "$SHOTS_DIR"
    cp "$ARTEFACTS/shots/$1.png" "$SHOTS_DIR/$1.png"
  fi
}

# pixel SHOT X Y: the colour there as RRGGBB.
pixel() {
  convert "$1" -format "%[hex:u.p{$2,$3}]" info:
}

# colour_in SHOT WINDOW CONTROL [WHERE]: the colour of a control in a
# screenshot.  WHERE is "panel" (left edge, between a panel's caption and its
# text line, where no label draws) or "field" (right end of an edit box,
# behind short texts).
colour_in() {
  local x y w h
  read -r x y w h < <(ui rect "$2" "$3") || { echo "no-control"; return; }
  case ${4:-panel} in
    panel) pixel "$1" $((x + 6)) $((y + (h > 30 ? 26 : h / 2))) ;;
    field) pixel "$1" $((x + w - 6)) $((y + h / 2)) ;;
  esac
}

# wait_colour_change NAME WINDOW CONTROL FROM TIMEOUT_MS [WHERE]: polls
# screenshots (named NAME) until the control, sampled as colour_in does, is
# no longer FROM; the last one is in LAST_SHOT.
wait_colour_change() {
  local deadline=$(($(now_ms) + $5)) colour
  while :; do
    shot "$1"
    colour=$(colour_in "$LAST_SHOT" "$2" "$3" "${6:-panel}")
    [[ $colour != "$4" ]] && return 0
    (($(now_ms) > deadline)) && return 1
    rm -f "$LAST_SHOT"
    sleep 0.2
  done
}

# tray_icon_centre: "x y" of the first icon in Wine's tray window.
tray_icon_centre() {
  local x y w h
  read -r x y w h < <(ui tray-icons) || return 1
  echo "$((x + w / 2)) $((y + h / 2))"
}

# tray_click BUTTON [REPEAT]: a real mouse click on the tray icon.
tray_click() {
  local centre
  centre=$(tray_icon_centre) || { echo "no tray icon" >&2; return 1; }
  # shellcheck disable=SC2086  # "x y" are two arguments
  xdotool mousemove $centre click --repeat "${2:-1}" --delay 80 "$1"
}

# start_display: a private Xvfb on a free display; sets DISPLAY and XVFB_PID.
start_display() {
  local fd_file=$ARTEFACTS/display deadline=$(($(now_ms) + 10000))
  # Xvfb picks a free display itself and writes its number once it listens.
  # The screen is big enough for the test bench's window at its own place.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fd_file" 2>"$ARTEFACTS/logs/xvfb.log" &
  XVFB_PID=$!
  until [[ -s $fd_file ]]; do
    if (($(now_ms) > deadline)) || ! kill -0 "$XVFB_PID" 2>/dev/null; then
      echo "run-e2e: Xvfb did not start (see $ARTEFACTS/logs/xvfb.log)" >&2
      exit 2
    fi
    sleep 0.1
  done
  DISPLAY=:$(tr -d "\n" <"$fd_file")
  export DISPLAY
}

# start_wine: creates the prefix WINEPREFIX and keeps its wineserver and one
# desktop process (uidriver hold-desktop) running; DESKTOP_TIMEOUT_MS (20 s)
# bounds the desktop's start.
# A prefix made already (tests/wine/x86/init makes its own) is used as it is.
start_wine() {
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    "$WINE" wineboot --init >"$ARTEFACTS/logs/wineboot.log" 2>&1
    local settings
    settings=$(realpath "$(dirname "${BASH_SOURCE[0]}")/../prefix.reg")
    "$WINE" reg import "Z:${settings//\//\\}" >"$ARTEFACTS/logs/prefix-settings.log" 2>&1
    # The first boot's programs, which read the settings before they were
    # made, end before any other starts.  Until then Wine's service manager
    # also starts no other service (the Task Scheduler).
    "$WINESERVER" -w
  fi
  # The prefix lists Wine's own fonts (package fonts-wine) as Windows does,
  # in C:\windows\Fonts, but leaves the folder empty: "MS Sans Serif", the
  # forms' font, then falls back to a wider one and cuts their texts.
  ln -sf /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
  # Keep one wineserver for the whole run, so each program starts at once.
  "$WINESERVER" -p
  # And one desktop process.  Wine starts it for whichever program needs it
  # first and ends it a few seconds after the last one; started by a check,
  # it would hold that check's output pipe open and the check would never
  # return, and between programs it would come and go.
  "$WINE" "$UIDRIVER" hold-desktop >"$ARTEFACTS/logs/desktop.log" 2>&1 </dev/null &
  local deadline=$(($(now_ms) + ${DESKTOP_TIMEOUT_MS:-20000}))
  until grep -q "desktop held" "$ARTEFACTS/logs/desktop.log"; do
    if (($(now_ms) > deadline)); then
      echo "run-e2e: Wine's desktop did not start (see $ARTEFACTS/logs/desktop.log)" >&2
      exit 2
    fi
    sleep 0.1
  done
}
