/* SPDX-License-Identifier: MIT */
// How a window program's forms and controls make themselves findable from
// another process.  Each form window and each control window carries a window
// property TCR7750_NAME_PROPERTY whose value is a global atom holding the name
// the form description gives it ("BtnOpen", "FMain", ...), and may carry
// TCR7750_CLASS_PROPERTY, an atom holding its class ("TButton").  A test
// driver reads them with GetPropA and GlobalGetAtomNameA.  A form window may
// also carry, for each menu item, the property TCR7750_MENU_PROPERTY_PREFIX
// followed by the item's name ("TCR7750.Menu.Quitter1"), whose value is the
// item's command identifier: WM_COMMAND with it chooses the item.
#ifndef TCR7750_TESTS_WINE_CONTROL_NAME_H
#define TCR7750_TESTS_WINE_CONTROL_NAME_H

#define TCR7750_NAME_PROPERTY "TCR7750.Name"
#define TCR7750_CLASS_PROPERTY "TCR7750.Class"
#define TCR7750_MENU_PROPERTY_PREFIX "TCR7750.Menu."

#endif
