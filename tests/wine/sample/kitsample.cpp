// SPDX-License-Identifier: MIT
// kitsample: a tiny plain Win32 program that stands in for the real window
// programs while the end-to-end kit is checked.  It has what the kit must
// handle in them: named buttons, an edit box, a list box, a radio group, a
// coloured panel, a simple status bar, a main menu, a modal message box with
// Windows-1252 text, a registry setting, a tray icon with its popup menu and
// a window that hides itself on a timer.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "control_name.h"

namespace {

constexpr UINT kTrayMessage = WM_USER + 1;
constexpr UINT kTrayId = 1;
constexpr UINT_PTR kTickTimer = 1;
constexpr UINT_PTR kHideTimer = 2;

enum Command : int {
    CmdAdd = 101, CmdClear, CmdBox, CmdStart, CmdStop, CmdIconize, CmdAlpha, CmdBeta,
    CmdFileExit = 201, CmdHelpAbout, CmdTraySettings, CmdTrayExit,
};

const COLORREF kTeal = RGB(0, 128, 128);
const COLORREF kBrightGreen = RGB(0, 255, 0);

struct Sample {
    HWND form = nullptr;
    HWND edResult = nullptr;
    HWND listBox = nullptr;
    HWND pnlState = nullptr;
    HWND lblCount = nullptr;
    HWND btnStart = nullptr;
    HWND btnStop = nullptr;
    HWND statusBar = nullptr;
    HMENU trayMenu = nullptr;
    COLORREF panelColour = kTeal;
    HBRUSH panelBrush = nullptr;
    NOTIFYICONDATAA tray{};
    int ticks = 0;
};

Sample app;

void nameWindow(HWND window, const char* name)
{
    SetPropA(window, TCR7750_NAME_PROPERTY,
             reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(GlobalAddAtomA(name))));
}

BOOL CALLBACK forgetName(HWND window, LPARAM = 0)
{
    auto atom = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(RemovePropA(window, TCR7750_NAME_PROPERTY)));
    if (atom != 0)
        GlobalDeleteAtom(atom);
    return TRUE;
}

HWND addControl(const char* name, const char* cls, const char* text, DWORD style,
                int x, int y, int w, int h, int id)
{
    HWND control = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, app.form,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleA(nullptr), nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    if (name)
        nameWindow(control, name);
    return control;
}

void setStatus(const char* text)
{
    SendMessageA(app.statusBar, SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(text));
}

void setPanelColour(COLORREF colour)
{
    app.panelColour = colour;
    if (app.panelBrush)
        DeleteObject(app.panelBrush);
    app.panelBrush = CreateSolidBrush(colour);
    InvalidateRect(app.pnlState, nullptr, TRUE);
}

void showLineCount()
{
    auto count = SendMessageA(app.listBox, LB_GETCOUNT, 0, 0);
    std::string text = std::to_string(count) + (count == 1 ? " line" : " lines");
    SetWindowTextA(app.lblCount, text.c_str());
}

void addLine(const std::string& line)
{
    SendMessageA(app.listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    showLineCount();
}

void createControls()
{
    addControl("BtnAdd", "BUTTON", "Add line", BS_PUSHBUTTON, 16, 16, 97, 25, CmdAdd);
    addControl("BtnClear", "BUTTON", "Clear", BS_PUSHBUTTON, 16, 48, 97, 25, CmdClear);
    addControl("BtnBox", "BUTTON", "Message box", BS_PUSHBUTTON, 16, 80, 97, 25, CmdBox);
    app.btnStart = addControl("BtnStart", "BUTTON", "Start ticks", BS_PUSHBUTTON, 16, 112, 97, 25, CmdStart);
    app.btnStop = addControl("BtnStop", "BUTTON", "Stop ticks", BS_PUSHBUTTON, 16, 144, 97, 25, CmdStop);
    EnableWindow(app.btnStop, FALSE);
    addControl("BtnIcon", "BUTTON", "Iconize", BS_PUSHBUTTON, 16, 176, 97, 25, CmdIconize);
    app.edResult = addControl("EdResult", "EDIT", "ready", WS_BORDER | ES_AUTOHSCROLL, 128, 16, 185, 21, 0);
    app.lblCount = addControl("LblCount", "STATIC", "0 lines", SS_LEFT, 128, 48, 97, 13, 0);
    addControl("RGrpMode", "BUTTON", "Mode", BS_GROUPBOX, 128, 72, 185, 57, 0);
    // The radio items are unnamed siblings of their group box: the driver finds them by the group.
    HWND alpha = addControl(nullptr, "BUTTON", "Alpha", BS_AUTORADIOBUTTON | WS_GROUP, 136, 88, 80, 17, CmdAlpha);
    addControl(nullptr, "BUTTON", "Beta", BS_AUTORADIOBUTTON, 136, 106, 80, 17, CmdBeta);
    SendMessageA(alpha, BM_SETCHECK, BST_CHECKED, 0);
    app.pnlState = addControl("PnlState", "STATIC", "", SS_NOTIFY | WS_BORDER, 128, 144, 185, 57, 0);
    app.listBox = addControl("ListBox1", "LISTBOX", "", WS_BORDER | WS_VSCROLL | LBS_NOINTEGRALHEIGHT,
                             328, 16, 177, 185, 0);
    app.statusBar = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, app.form,
                                    nullptr, GetModuleHandleA(nullptr), nullptr);
    nameWindow(app.statusBar, "StatusBar1");
    SendMessageA(app.statusBar, SB_SIMPLE, TRUE, 0);
    setStatus("Sample ready");
    setPanelColour(kTeal);
}

// Publishes a menu item's command under its name, as the toolkit does.
void publishMenuItem(const char* name, int command)
{
    std::string property = std::string(TCR7750_MENU_PROPERTY_PREFIX) + name;
    SetPropA(app.form, property.c_str(), reinterpret_cast<HANDLE>(static_cast<INT_PTR>(command)));
}

HMENU createMainMenu()
{
    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, CmdFileExit, "E&xit");
    HMENU help = CreatePopupMenu();
    AppendMenuA(help, MF_STRING, CmdHelpAbout, "&About");
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "&Help");
    return bar;
}

void addTrayIcon()
{
    app.trayMenu = CreatePopupMenu();
    AppendMenuA(app.trayMenu, MF_STRING, CmdTraySettings, "Settings");
    AppendMenuA(app.trayMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(app.trayMenu, MF_STRING, CmdTrayExit, "Exit");

    app.tray.cbSize = sizeof app.tray;
    app.tray.hWnd = app.form;
    app.tray.uID = kTrayId;
    app.tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    app.tray.uCallbackMessage = kTrayMessage;
    app.tray.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    lstrcpynA(app.tray.szTip, "Kit sample", sizeof app.tray.szTip);
    Shell_NotifyIconA(NIM_ADD, &app.tray);
}

// Seconds after which the window hides itself; 0 (no value) keeps it shown.
DWORD hideDelayFromRegistry()
{
    DWORD seconds = 0;
    DWORD size = sizeof seconds;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TCR7750Kit\\Sample", "HideAfter", RRF_RT_REG_DWORD, nullptr,
                     &seconds, &size) != ERROR_SUCCESS)
        return 0;
    return seconds;
}

void onTrayMessage(LPARAM action)
{
    if (action == WM_LBUTTONDBLCLK) {
        ShowWindow(app.form, SW_SHOW);
    } else if (action == WM_RBUTTONDOWN) {
        POINT at{};
        GetCursorPos(&at);
        SetForegroundWindow(app.form);
        TrackPopupMenu(app.trayMenu, TPM_LEFTALIGN | TPM_BOTTOMALIGN, at.x, at.y, 0, app.form, nullptr);
    }
}

void exitProgram()
{
    Shell_NotifyIconA(NIM_DELETE, &app.tray);
    DestroyWindow(app.form);
}

void onCommand(int id)
{
    switch (id) {
    case CmdAdd: {
        char line[32];
        std::snprintf(line, sizeof line, "Line %02d", static_cast<int>(SendMessageA(app.listBox, LB_GETCOUNT, 0, 0)) + 1);
        addLine(line);
        setStatus("Line added");
        setPanelColour(kBrightGreen);
        break;
    }
    case CmdClear:
        SendMessageA(app.listBox, LB_RESETCONTENT, 0, 0);
        showLineCount();
        setPanelColour(kTeal);
        break;
    case CmdBox:
        // "Carte non trouvée" in Windows-1252, as the board library stores its texts.
        MessageBoxA(nullptr, "Carte non trouv\xe9" "e", "Erreur", MB_OK);
        SetWindowTextA(app.edResult, "Box closed");
        setStatus("Box answered");
        break;
    case CmdStart:
        app.ticks = 0;
        SetTimer(app.form, kTickTimer, 200, nullptr);
        EnableWindow(app.btnStart, FALSE);
        EnableWindow(app.btnStop, TRUE);
        break;
    case CmdStop:
        KillTimer(app.form, kTickTimer);
        EnableWindow(app.btnStop, FALSE);
        EnableWindow(app.btnStart, TRUE);
        break;
    case CmdIconize:
        ShowWindow(app.form, SW_HIDE);
        break;
    case CmdAlpha:
    case CmdBeta:
        SetWindowTextA(app.edResult, id == CmdAlpha ? "Mode 0" : "Mode 1");
        break;
    case CmdHelpAbout:
        MessageBoxA(nullptr, "Kit sample", "About", MB_OK);
        break;
    case CmdTraySettings:
        ShowWindow(app.form, SW_SHOW);
        break;
    case CmdFileExit:
    case CmdTrayExit:
        exitProgram();
        break;
    }
}

LRESULT CALLBACK formProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: {
        app.form = window;
        nameWindow(window, "FSample");
        publishMenuItem("MnuAbout", CmdHelpAbout);
        createControls();
        addTrayIcon();
        if (DWORD seconds = hideDelayFromRegistry())
            SetTimer(window, kHideTimer, seconds * 1000, nullptr);
        return 0;
    }
    case WM_COMMAND:
        onCommand(LOWORD(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == kHideTimer) {
            KillTimer(window, kHideTimer);
            ShowWindow(window, SW_HIDE);
        } else if (wParam == kTickTimer) {
            char line[32];
            std::snprintf(line, sizeof line, "T[%04d]", ++app.ticks);
            addLine(line);
        }
        return 0;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == app.pnlState) {
            SetBkColor(reinterpret_cast<HDC>(wParam), app.panelColour);
            return reinterpret_cast<LRESULT>(app.panelBrush);
        }
        break;
    case WM_SIZE:
        SendMessageA(app.statusBar, WM_SIZE, 0, 0);
        return 0;
    case kTrayMessage:
        onTrayMessage(lParam);
        return 0;
    case WM_CLOSE:
        exitProgram();
        return 0;
    case WM_DESTROY:
        EnumChildWindows(window, forgetName, 0);
        forgetName(window);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    WNDCLASSA cls{};
    cls.lpfnWndProc = formProc;
    cls.hInstance = instance;
    cls.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = "TFSample";
    RegisterClassA(&cls);

    HWND form = CreateWindowExA(0, "TFSample", "TCR7750 Kit Sample", WS_OVERLAPPEDWINDOW, 120, 100, 530, 290,
                                nullptr, createMainMenu(), instance, nullptr);
    if (!form)
        return 1;
    ShowWindow(form, show);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
