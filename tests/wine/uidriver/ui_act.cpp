// SPDX-License-Identifier: MIT
#include "ui_act.h"

#include <cwctype>
#include <set>

#include "control_name.h"
#include "ui_find.h"
#include "ui_read.h"

namespace ui {

// How long a click or a text waits for the program's answer; a handler that
// takes longer runs on after the driver has exited.
constexpr DWORD kAnswerWaitMs = 10000;
constexpr DWORD kPollMs = 50;

static std::string withoutAmpersands(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out;
}

bool sameCaption(const std::string& shown, const std::string& wanted)
{
    return shown == wanted || withoutAmpersands(shown) == withoutAmpersands(wanted);
}

static bool waitUntil(DWORD timeoutMs, auto condition)
{
    for (DWORD waited = 0;; waited += kPollMs) {
        if (condition())
            return true;
        if (waited >= timeoutMs)
            return false;
        Sleep(kPollMs);
    }
}

// Messages are sent from a thread of their own, without a timeout: Wine
// drops a sent message whose timeout runs out before its thread took it up,
// so a busy program would lose it.  A sender still waiting when the driver
// exits leaves the message queued, and the program still gets it.
struct SentMessage {
    HWND window;
    UINT message;
    std::wstring text; // WM_SETTEXT's text
    LRESULT result = 0;
};

static DWORD WINAPI sendMessageThread(void* parameter)
{
    auto* sent = static_cast<SentMessage*>(parameter);
    LPARAM text = sent->message == WM_SETTEXT ? reinterpret_cast<LPARAM>(sent->text.c_str()) : 0;
    sent->result = SendMessageW(sent->window, sent->message, 0, text);
    return 0;
}

// What became of a message sent by sendAndWait: whether it went out at all,
// and its result once answered.
struct Delivery {
    bool sent = false;
    std::optional<LRESULT> result;
};

// Sends the message and waits until it is answered, until stop() holds (the
// handler went on in a message loop of its own) or until the time is up.
static Delivery sendAndWait(HWND window, UINT message, const std::wstring& text, auto stop)
{
    auto* sent = new SentMessage{window, message, text};
    HANDLE sender = CreateThread(nullptr, 0, sendMessageThread, sent, 0, nullptr);
    if (!sender) {
        delete sent;
        return {};
    }
    bool answered = false;
    waitUntil(kAnswerWaitMs, [&] { return (answered = WaitForSingleObject(sender, 0) == WAIT_OBJECT_0) || stop(); });
    CloseHandle(sender);
    if (!answered)
        return {true, std::nullopt}; // the sender still uses it
    LRESULT result = sent->result;
    delete sent;
    return {true, result};
}

static std::set<HWND> messageBoxesOf(DWORD process)
{
    std::set<HWND> boxes;
    for (HWND box : visibleWindowsOfClass(L"#32770")) {
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        if (owner == process)
            boxes.insert(box);
    }
    return boxes;
}

Outcome click(HWND control)
{
    if (!IsWindowVisible(control))
        return {false, "control is hidden"};
    if (!IsWindowEnabled(control))
        return {false, "control is disabled"};
    DWORD process = 0;
    GetWindowThreadProcessId(control, &process);
    std::set<HWND> boxesBefore = messageBoxesOf(process);
    Delivery click = sendAndWait(control, BM_CLICK, {}, [&] { return messageBoxesOf(process) != boxesBefore; });
    if (!click.sent)
        return {false, "the driver could not send the click"};
    return {true, click.result ? "clicked" : "clicked, handler pending"};
}

Outcome setText(HWND control, const std::string& text)
{
    Delivery delivery = sendAndWait(control, WM_SETTEXT, fromUtf8(text), [] { return false; });
    if (!delivery.result)
        return {false, "the control's window does not answer"};
    if (!*delivery.result)
        return {false, "the control refused the text"};
    return {true, "text set"};
}

static std::vector<std::string> splitPath(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t sep; (sep = path.find('>', start)) != std::string::npos; start = sep + 1)
        parts.push_back(path.substr(start, sep - start));
    parts.push_back(path.substr(start));
    return parts;
}

static std::string menuItemCaption(HMENU menu, UINT position)
{
    wchar_t text[256] = {};
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING;
    info.dwTypeData = text;
    info.cch = 256;
    if (!GetMenuItemInfoW(menu, position, TRUE, &info))
        return {};
    return toUtf8(text);
}

// The command identifier at the end of the path, when the menu is readable.
static std::optional<UINT> commandOf(HMENU menu, const std::vector<std::string>& path)
{
    for (size_t level = 0; level < path.size(); ++level) {
        int count = GetMenuItemCount(menu);
        if (count < 0)
            return std::nullopt;
        bool found = false;
        for (int i = 0; i < count && !found; ++i) {
            if (!sameCaption(menuItemCaption(menu, static_cast<UINT>(i)), path[level]))
                continue;
            found = true;
            if (level + 1 == path.size())
                return GetMenuItemID(menu, i);
            menu = GetSubMenu(menu, i);
        }
        if (!found)
            return std::nullopt;
    }
    return std::nullopt;
}

static std::optional<wchar_t> mnemonic(const std::string& caption)
{
    std::wstring wide = fromUtf8(caption);
    for (size_t i = 0; i + 1 < wide.size(); ++i) {
        if (wide[i] != L'&')
            continue;
        if (wide[i + 1] != L'&')
            return static_cast<wchar_t>(std::towlower(wide[i + 1]));
        ++i;
    }
    return std::nullopt;
}

static std::optional<HWND> openPopupOf(HWND form)
{
    DWORD thread = GetWindowThreadProcessId(form, nullptr);
    for (HWND popup : visibleWindowsOfClass(L"#32768"))
        if (GetWindowThreadProcessId(popup, nullptr) == thread)
            return popup;
    return std::nullopt;
}

Outcome chooseMenu(HWND form, const std::string& path)
{
    std::string published = TCR7750_MENU_PROPERTY_PREFIX + path;
    if (auto id = reinterpret_cast<ULONG_PTR>(GetPropA(form, published.c_str()))) {
        PostMessageW(form, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
        return {true, "chosen by item name"};
    }

    auto parts = splitPath(path);
    HMENU bar = GetMenu(form);
    if (!bar)
        return {false, "the window has no menu"};
    if (GetMenuItemCount(bar) >= 0) {
        auto command = commandOf(bar, parts);
        if (!command)
            return {false, "no menu item " + path};
        PostMessageW(form, WM_COMMAND, MAKEWPARAM(*command, 0), 0);
        return {true, "chosen by command"};
    }

    // Another process's menu cannot be read here: walk it with the keyboard.
    std::vector<wchar_t> keys;
    for (const auto& part : parts) {
        auto key = mnemonic(part);
        if (!key)
            return {false, "menu caption without a mnemonic: " + part};
        keys.push_back(*key);
    }
    PostMessageW(form, WM_SYSCOMMAND, SC_KEYMENU, keys[0]);
    for (size_t i = 1; i < keys.size(); ++i) {
        std::optional<HWND> popup;
        if (!waitUntil(kSendTimeoutMs, [&] { return (popup = openPopupOf(form)).has_value(); }))
            return {false, "the menu did not open"};
        PostMessageW(*popup, WM_CHAR, keys[i], 0);
    }
    return {true, "chosen by mnemonics"};
}

static void pressKey(HWND window, WPARAM key)
{
    PostMessageW(window, WM_KEYDOWN, key, 0);
    PostMessageW(window, WM_KEYUP, key, 0xC0000000);
}

Outcome choosePopupItem(const std::string& caption, std::optional<int> position)
{
    auto popups = visibleWindowsOfClass(L"#32768");
    if (popups.empty())
        return {false, "no popup menu is open"};
    HWND popup = popups.front();
    DWORD_PTR handle = 0;
    SendMessageTimeoutW(popup, MN_GETHMENU, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &handle);
    auto menu = reinterpret_cast<HMENU>(handle);
    int count = menu ? GetMenuItemCount(menu) : -1;

    std::optional<int> selectable;
    if (count >= 0) {
        int index = 0;
        for (int i = 0; i < count; ++i) {
            UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
            if (state & MF_SEPARATOR)
                continue;
            if (sameCaption(menuItemCaption(menu, static_cast<UINT>(i)), caption)) {
                selectable = index;
                break;
            }
            ++index;
        }
        if (!selectable)
            return {false, "the popup menu has no item " + caption};
    } else if (position) {
        selectable = position;
    } else {
        return {false, "the popup menu cannot be read here; give --nth"};
    }

    // The first arrow press selects the first item; separators are skipped.
    for (int i = 0; i <= *selectable; ++i)
        pressKey(popup, VK_DOWN);
    pressKey(popup, VK_RETURN);
    waitUntil(kSendTimeoutMs, [&] { return !IsWindowVisible(popup); });
    return {true, count >= 0 ? "chosen by caption" : "chosen by position"};
}

std::optional<MessageBoxSeen> findMessageBox(const std::optional<std::string>& caption)
{
    for (HWND box : visibleWindowsOfClass(L"#32770")) {
        MessageBoxSeen seen{box, ui::caption(box), {}, {}};
        if (caption && seen.caption != *caption)
            continue;
        for (HWND child : descendants(box)) {
            if (hasClass(child, L"Button")) {
                seen.buttons.push_back(controlText(child).value_or(""));
            } else if (hasClass(child, L"Static") && !(GetWindowLongPtrW(child, GWL_STYLE) & SS_ICON)) {
                std::string text = controlText(child).value_or("");
                if (text.size() > seen.text.size())
                    seen.text = text;
            }
        }
        return seen;
    }
    return std::nullopt;
}

Outcome answerMessageBox(const MessageBoxSeen& box, const std::string& button)
{
    for (HWND child : descendants(box.window)) {
        if (!hasClass(child, L"Button") || !sameCaption(controlText(child).value_or(""), button))
            continue;
        PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(child), BN_CLICKED),
                     reinterpret_cast<LPARAM>(child));
        if (!waitUntil(5000, [&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); }))
            return {false, "the message box did not close"};
        return {true, "answered " + button};
    }
    return {false, "the message box has no button " + button};
}

Outcome trayAction(HWND form, UINT callbackMessage, UINT iconId, UINT mouseMessage)
{
    if (!PostMessageW(form, callbackMessage, iconId, mouseMessage))
        return {false, "the window did not take the message"};
    return {true, "sent"};
}

} // namespace ui
