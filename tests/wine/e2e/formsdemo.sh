# SPDX-License-Identifier: MIT
# The window toolkit's demo program: proves that the toolkit's Win32 back end
# and the driver agree on how forms, controls and menu items are found, before
# the window programs are built on it.

formsdemo_scenario() {
  if [[ -z $FORMS_DEMO_EXE || ! -f $FORMS_DEMO_EXE ]]; then
    skip "formsdemo: forms_demo.exe is not built yet (looked under $BUILD)"
    return
  fi
  local output
  launch formsdemo "$FORMS_DEMO_EXE"

  ui_check "the form opens, found by its name" wait-window DemoForm
  output=$(ui list DemoForm)
  expect_match "controls carry their names and toolkit classes" "$output" $'BtnAdd\tButton\t"&Add".*\tclass=TButton'
  expect_match "radio items are named after their group" "$output" $'RGrpColour.1\tButton\t"Lime"'

  ui_check "click Add with a text that is no number" click DemoForm BtnAdd
  output=$(ui msgbox 2>&1)
  expect_eq "the toolkit's conversion error" "$output" $'Toolkit demo\n\'20x8\' is not a valid integer value.\nOK'
  ui_check "type a number" set-text DemoForm EdNumber 42
  ui_check "click Add" click DemoForm BtnAdd
  ui_check "the list shows it" wait-items DemoForm ListBox1 --last-equals '42 = $002A' --timeout 3000

  ui_check "choose Lime" click DemoForm RGrpColour:1
  ui_check "Lime is selected" state DemoForm RGrpColour --expect selected=1
  shot formsdemo
  expect_eq "the panel turned lime" "$(colour_in "$LAST_SHOT" DemoForm PnlState field)" 00FF00

  ui_check "menu File > Exit" menu DemoForm "&File>E&xit"
  ui_check "the form is gone" wait-gone DemoForm
  wait_exit "$PROGRAM_PID" "the program ended"
}
