/* SPDX-License-Identifier: MIT */
// Finding another process's windows: top-level windows by caption, form name
// or handle, and their controls by the name the form description gives them.
#ifndef TCR7750_UIDRIVER_UI_FIND_H
#define TCR7750_UIDRIVER_UI_FIND_H

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace ui {

std::string toUtf8(const std::wstring& text);
std::wstring fromUtf8(const std::string& text);

// The name a window carries in the naming property, or "" when it has none.
std::string controlName(HWND window);
// Its class as the program's toolkit names it ("TButton"), or "".
std::string toolkitClass(HWND window);
std::string className(HWND window);
bool hasClass(HWND window, const wchar_t* cls);
// The caption as the window manager keeps it (no message sent).
std::string caption(HWND window);

std::vector<HWND> topLevelWindows();
std::vector<HWND> descendants(HWND parent);

// "0x1A2B" (a handle), a caption, or a form name.  Among several matches a
// named window (a form) wins over an unnamed one (a toolkit's application
// window may carry the same caption), then a visible one over a hidden one.
// Empty when nothing matches.
std::optional<HWND> findWindow(const std::string& query);

// A control given as "Name", or "Name:N" for item N of a radio group.
struct ControlRef {
    std::string name;
    int item = -1;
};
ControlRef parseControlRef(const std::string& query);

// The control, or for a radio item the radio button; empty when missing.
std::optional<HWND> findControl(HWND form, const ControlRef& query);

// The radio buttons of a radio group, in item order: its own radio children,
// or else the radio buttons of its parent that lie inside its rectangle.
std::vector<HWND> radioItems(HWND group);

bool isRadioButton(HWND window);
bool isCheckable(HWND window);

// Visible message boxes and popup menus of other processes.
std::vector<HWND> visibleWindowsOfClass(const wchar_t* cls);

} // namespace ui

#endif
