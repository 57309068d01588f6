/* SPDX-License-Identifier: MIT */
// Acting on another process's windows as a user would: clicking buttons and
// radio items, typing into edit boxes, choosing menu items, answering message
// boxes and sending tray icon mouse actions.
#ifndef TCR7750_UIDRIVER_UI_ACT_H
#define TCR7750_UIDRIVER_UI_ACT_H

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace ui {

// Whether an action happened, and what happened or why not (an action that
// did not happen may be retried until the driver's timeout).
struct Outcome {
    bool done = false;
    std::string report;
};

// Clicks an enabled, visible button.  The click is always delivered; when
// its handler has neither returned nor opened a message box within a short
// time the report says "pending" and the handler runs on.
Outcome click(HWND control);
Outcome setText(HWND control, const std::string& text);

// Chooses an item of the window's menus: by the item's name where the form
// publishes its menu items ("Quitter1"), or in the main menu by its caption
// path, given as "&File>E&xit": with the command identifier where the menu
// can be read across processes, else with the path's keyboard mnemonics.
Outcome chooseMenu(HWND form, const std::string& path);

// Chooses an item of the open popup menu by caption, or else (where another
// process's menu cannot be read) by its position among the selectable items.
Outcome choosePopupItem(const std::string& caption, std::optional<int> position);

struct MessageBoxSeen {
    HWND window = nullptr;
    std::string caption;
    std::string text;
    std::vector<std::string> buttons;
};
std::optional<MessageBoxSeen> findMessageBox(const std::optional<std::string>& caption);
// Presses the named button ("OK") and waits until the box has closed.
Outcome answerMessageBox(const MessageBoxSeen& box, const std::string& button);

// Sends the program's tray callback message with a mouse action, as the
// shell does when the user acts on the icon.
Outcome trayAction(HWND form, UINT callbackMessage, UINT iconId, UINT mouseMessage);

// Compares captions as a user reads them: "&File" matches "File" and "&File".
bool sameCaption(const std::string& shown, const std::string& wanted);

} // namespace ui

#endif
