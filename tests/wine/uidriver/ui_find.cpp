// SPDX-License-Identifier: MIT
#include "ui_find.h"

#include <cstdlib>

#include "control_name.h"

namespace ui {

std::string toUtf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring fromUtf8(const std::string& text)
{
    if (text.empty())
        return {};
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

static std::string atomProperty(HWND window, const char* property)
{
    auto atom = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(GetPropA(window, property)));
    if (atom == 0)
        return {};
    wchar_t name[256];
    UINT length = GlobalGetAtomNameW(atom, name, 256);
    return toUtf8(std::wstring(name, length));
}

std::string controlName(HWND window)
{
    return atomProperty(window, TCR7750_NAME_PROPERTY);
}

std::string toolkitClass(HWND window)
{
    return atomProperty(window, TCR7750_CLASS_PROPERTY);
}

std::string className(HWND window)
{
    wchar_t name[256];
    int length = GetClassNameW(window, name, 256);
    return toUtf8(std::wstring(name, static_cast<size_t>(length > 0 ? length : 0)));
}

std::string caption(HWND window)
{
    wchar_t text[512];
    int length = GetWindowTextW(window, text, 512);
    return toUtf8(std::wstring(text, static_cast<size_t>(length > 0 ? length : 0)));
}

static BOOL CALLBACK collectWindow(HWND window, LPARAM list)
{
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> topLevelWindows()
{
    std::vector<HWND> windows;
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> descendants(HWND parent)
{
    std::vector<HWND> windows;
    EnumChildWindows(parent, collectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::optional<HWND> findWindow(const std::string& query)
{
    if (query.rfind("0x", 0) == 0) {
        auto window = reinterpret_cast<HWND>(static_cast<INT_PTR>(std::strtoll(query.c_str(), nullptr, 16)));
        if (IsWindow(window))
            return window;
        return std::nullopt;
    }
    std::optional<HWND> best;
    int bestRank = -1;
    for (HWND window : topLevelWindows()) {
        std::string name = controlName(window);
        if (caption(window) != query && name != query)
            continue;
        int rank = (name.empty() ? 0 : 2) + (IsWindowVisible(window) ? 1 : 0);
        if (rank > bestRank) {
            best = window;
            bestRank = rank;
        }
    }
    return best;
}

ControlRef parseControlRef(const std::string& query)
{
    auto colon = query.rfind(':');
    if (colon == std::string::npos || colon + 1 == query.size())
        return {query, -1};
    char* end = nullptr;
    long item = std::strtol(query.c_str() + colon + 1, &end, 10);
    if (*end != '\0' || item < 0)
        return {query, -1};
    return {query.substr(0, colon), static_cast<int>(item)};
}

bool hasClass(HWND window, const wchar_t* cls)
{
    wchar_t name[256];
    return GetClassNameW(window, name, 256) > 0 && lstrcmpiW(name, cls) == 0;
}

static DWORD buttonType(HWND window)
{
    if (!hasClass(window, L"Button"))
        return static_cast<DWORD>(-1);
    return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)) & BS_TYPEMASK;
}

bool isRadioButton(HWND window)
{
    DWORD type = buttonType(window);
    return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

bool isCheckable(HWND window)
{
    DWORD type = buttonType(window);
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE ||
           type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

static bool inside(const RECT& outer, const RECT& inner)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

std::vector<HWND> radioItems(HWND group)
{
    std::vector<HWND> items;
    for (HWND child = GetWindow(group, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (isRadioButton(child))
            items.push_back(child);
    if (!items.empty())
        return items;

    RECT groupRect;
    GetWindowRect(group, &groupRect);
    for (HWND sibling = GetWindow(GetParent(group), GW_CHILD); sibling; sibling = GetWindow(sibling, GW_HWNDNEXT)) {
        RECT rect;
        if (sibling != group && isRadioButton(sibling) && GetWindowRect(sibling, &rect) && inside(groupRect, rect))
            items.push_back(sibling);
    }
    return items;
}

std::optional<HWND> findControl(HWND form, const ControlRef& query)
{
    for (HWND window : descendants(form)) {
        if (controlName(window) != query.name)
            continue;
        if (query.item < 0)
            return window;
        auto items = radioItems(window);
        if (static_cast<size_t>(query.item) < items.size())
            return items[static_cast<size_t>(query.item)];
        return std::nullopt;
    }
    return std::nullopt;
}

std::vector<HWND> visibleWindowsOfClass(const wchar_t* cls)
{
    std::vector<HWND> found;
    DWORD self = GetCurrentProcessId();
    for (HWND window : topLevelWindows()) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid != self && IsWindowVisible(window) && hasClass(window, cls))
            found.push_back(window);
    }
    return found;
}

} // namespace ui
