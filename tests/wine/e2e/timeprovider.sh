# SPDX-License-Identifier: MIT
# The Windows Time provider's simulator build driven by tphost as the time
# service drives it, once per board the simulator is told to be
# (sim/simulator_board.h).  Sourced by tests/wine/run-e2e (x64 under
# wine64) and tests/wine/x86/checks.sh (x86 under 32-bit Wine), which set
# TPHOST_EXE and TP_SIM_DLL.

# tphost_case NAME [SETTING=VALUE...]: one tphost run, its checks as results.
tphost_case() {
  local name=$1 folder=$ARTEFACTS/run/tphost-$1 log=$ARTEFACTS/logs/tphost-$1.log status
  shift
  rm -rf "$folder"
  mkdir -p "$folder"
  cp "$TPHOST_EXE" "$TP_SIM_DLL" "$folder/"
  (cd "$folder" && env "$@" timeout 120 "$WINE" ./tphost.exe) >"$log" 2>&1
  status=$?
  checks_from "$(tr -d '\r' <"$log" | sed -E 's/^(ok|FAIL) +/\1 '"$name"': /')"
  expect_eq "$name: tphost ends with status 0" "$status" 0
}

timeprovider_scenario() {
  if ! ready_to_run tphost "$TPHOST_EXE" "$TP_SIM_DLL"; then return; fi
  tphost_case "good frame"
  tphost_case "board 1.5 s ahead" TCR7750_SIM_OFFSET_MS=1500
  tphost_case "bad frame" TCR7750_SIM_FRAME=bad
  tphost_case "no board" TCR7750_SIM_BOARD=none
  tphost_case "power-up year" TCR7750_SIM_YEAR=2008
}
