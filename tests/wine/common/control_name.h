// How a window program's forms and controls make their names findable from
// another process: each form window and each control window carries a window
// property of this name whose value is a global atom holding the name the
// form description gives it ("BtnOpen", "FMain", ...).  A test driver reads it
// with GetPropA and GlobalGetAtomNameA.
#ifndef TCR7750_TESTS_WINE_CONTROL_NAME_H
#define TCR7750_TESTS_WINE_CONTROL_NAME_H

#define TCR7750_NAME_PROPERTY "TCR7750.Name"

#endif
