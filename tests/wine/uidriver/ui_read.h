/* SPDX-License-Identifier: MIT */
// Reading what another process's controls show: texts, list lines, states
// and rectangles.  Every message is sent with a timeout, so a program that is
// stuck in a modal loop or a long handler never hangs the driver.
#ifndef TCR7750_UIDRIVER_UI_READ_H
#define TCR7750_UIDRIVER_UI_READ_H

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace ui {

constexpr UINT kSendTimeoutMs = 2000;

// The text a user sees in the control (for a status bar: its simple text or
// its first part).  Empty when the window does not answer.
std::optional<std::string> controlText(HWND window);

// The lines of a list box.
std::optional<std::vector<std::string>> listItems(HWND window);

struct ControlState {
    bool enabled = false;
    bool visible = false;
    int checked = -1;  // -1: not a check or radio button
    int selected = -1; // a radio group's checked item, -1 for none or not a group
};
ControlState controlState(HWND window);

// Screen rectangle, and the rectangle within the parent's client area.
RECT screenRect(HWND window);
RECT boundsInParent(HWND window);

// Screen rectangles of the notification-area icons, as Wine shows them in
// its own tray window when no desktop offers one.
std::vector<RECT> trayIconRects();

// Escapes tabs and line breaks so that one control stays on one line.
std::string oneLine(const std::string& text);

} // namespace ui

#endif
