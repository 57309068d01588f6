// SPDX-License-Identifier: MIT
#include "ui_read.h"

#include <commctrl.h>

#include "ui_find.h"

namespace ui {

static std::optional<LRESULT> sendTimed(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &result))
        return std::nullopt;
    return static_cast<LRESULT>(result);
}

static std::optional<std::string> windowText(HWND window)
{
    auto length = sendTimed(window, WM_GETTEXTLENGTH, 0, 0);
    if (!length)
        return std::nullopt;
    std::wstring text(static_cast<size_t>(*length) + 1, L'\0');
    auto copied = sendTimed(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    if (!copied)
        return std::nullopt;
    text.resize(static_cast<size_t>(*copied));
    return toUtf8(text);
}

// Messages outside the system's own range carry raw pointers, which must
// point into the receiving process: this sends one with a buffer allocated
// there and copies the answer back.
static std::optional<std::wstring> remoteText(HWND window, UINT message, WPARAM wParam, size_t characters)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return std::nullopt;
    size_t bytes = (characters + 1) * sizeof(wchar_t);
    void* remote = VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    std::optional<std::wstring> text;
    if (remote) {
        if (sendTimed(window, message, wParam, reinterpret_cast<LPARAM>(remote))) {
            std::wstring buffer(characters + 1, L'\0');
            SIZE_T read = 0;
            if (ReadProcessMemory(process, remote, buffer.data(), bytes, &read))
                text = buffer.substr(0, buffer.find(L'\0'));
        }
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return text;
}

// A simple status bar shows its simple text; Wine answers for it as part 0,
// Windows as part SB_SIMPLEID, so both are asked.
static std::optional<std::string> statusBarText(HWND window)
{
    auto simple = sendTimed(window, SB_ISSIMPLE, 0, 0);
    if (!simple)
        return std::nullopt;
    std::vector<WPARAM> parts = {0};
    if (*simple)
        parts.push_back(SB_SIMPLEID);
    for (WPARAM part : parts) {
        auto length = sendTimed(window, SB_GETTEXTLENGTHW, part, 0);
        if (!length)
            return std::nullopt;
        if (LOWORD(*length) == 0)
            continue;
        auto text = remoteText(window, SB_GETTEXTW, part, LOWORD(*length));
        if (!text)
            return std::nullopt;
        return toUtf8(*text);
    }
    return std::string();
}

std::optional<std::string> controlText(HWND window)
{
    if (hasClass(window, STATUSCLASSNAMEW))
        return statusBarText(window);
    return windowText(window);
}

std::optional<std::vector<std::string>> listItems(HWND window)
{
    auto count = sendTimed(window, LB_GETCOUNT, 0, 0);
    if (!count || *count < 0)
        return std::nullopt;
    std::vector<std::string> lines;
    for (LRESULT i = 0; i < *count; ++i) {
        auto length = sendTimed(window, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        if (!length || *length < 0)
            return std::nullopt;
        // The system copies list box strings between processes itself.
        std::wstring line(static_cast<size_t>(*length) + 1, L'\0');
        auto copied = sendTimed(window, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(line.data()));
        if (!copied || *copied < 0)
            return std::nullopt;
        line.resize(static_cast<size_t>(*copied));
        lines.push_back(toUtf8(line));
    }
    return lines;
}

ControlState controlState(HWND window)
{
    ControlState state;
    state.enabled = IsWindowEnabled(window);
    state.visible = IsWindowVisible(window);
    if (isCheckable(window)) {
        if (auto check = sendTimed(window, BM_GETCHECK, 0, 0))
            state.checked = static_cast<int>(*check);
    } else {
        auto items = radioItems(window);
        for (size_t i = 0; i < items.size(); ++i)
            if (sendTimed(items[i], BM_GETCHECK, 0, 0).value_or(0) == BST_CHECKED)
                state.selected = static_cast<int>(i);
    }
    return state;
}

RECT screenRect(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

RECT boundsInParent(HWND window)
{
    RECT rect = screenRect(window);
    if (HWND parent = GetAncestor(window, GA_PARENT); parent && parent != GetDesktopWindow())
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::vector<RECT> trayIconRects()
{
    std::vector<RECT> icons;
    for (HWND tray : topLevelWindows()) {
        if (!hasClass(tray, L"__winex11_standalone_tray") || !IsWindowVisible(tray))
            continue;
        for (HWND icon = GetWindow(tray, GW_CHILD); icon; icon = GetWindow(icon, GW_HWNDNEXT))
            if (IsWindowVisible(icon))
                icons.push_back(screenRect(icon));
    }
    return icons;
}

std::string oneLine(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

} // namespace ui
