// SPDX-License-Identifier: MIT
// The Win32 back end: every control becomes a real window at its bounds, with
// its font and colours; Synchronize and posted calls go through the window
// thread's message queue.
//
// Each control's window carries two window properties that a test driver in
// another process can read: "TCR7750.Name" and "TCR7750.Class", each a global
// atom (read it with GlobalGetAtomNameA) naming the control and its class.
// A radio group's buttons are named "<group>.<index>".  Each menu item's
// command identifier is stored on its form's window as the property
// "TCR7750.Menu.<item name>"; posting WM_COMMAND with it chooses the item.
#include "forms/wintypes.h"  // <windows.h> before <commctrl.h>

#include <commctrl.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>

#include "forms/backend.h"
#include "forms/call_queue.h"
#include "forms/forms.h"
#include "forms/timer.h"

namespace forms {

namespace {

constexpr char kControlProp[] = "TCR7750.Control";
constexpr char kNameProp[] = "TCR7750.Name";
constexpr char kClassProp[] = "TCR7750.Class";
constexpr char kMenuPropPrefix[] = "TCR7750.Menu.";
constexpr UINT kServeQueue = WM_APP + 1;
constexpr UINT kQuit = WM_APP + 2;
constexpr UINT kFirstMenuId = 100;

// ---- Window thread queue ------------------------------------------------------

struct WindowThread {
    const DWORD id = GetCurrentThreadId();  // static initialisation runs on the main thread
    CallQueue calls;
    HWND appWindow = nullptr;  // set on the window thread, under the queue's lock

    WindowThread()
    {
        // Before the application window exists, the message loop's start serves the queue.
        calls.queued = [this] {
            if (appWindow)
                PostMessageA(appWindow, kServeQueue, 0, 0);
        };
    }
};

// Never destroyed: worker threads may still call Synchronize while the process exits.
WindowThread& windowThread = *new WindowThread();

void ServeQueue()
{
    windowThread.calls.Serve();
}

// ---- Fonts, brushes and names ----------------------------------------------------

HFONT FontHandle(const TFont& font)
{
    static std::map<std::tuple<std::string, int, unsigned>, HFONT> fonts;
    const auto key = std::make_tuple(font.Name, font.Height, font.Style);
    auto& handle = fonts[key];
    if (!handle)
        handle = CreateFontA(font.Height, 0, 0, 0, font.Has(fsBold) ? FW_BOLD : FW_NORMAL, font.Has(fsItalic),
                             font.Has(fsUnderline), font.Has(fsStrikeOut), DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, font.Name.c_str());
    return handle;
}

COLORREF SystemAwareRGB(TColor color)
{
    return (color & clSystemColor) ? GetSysColor(static_cast<int>(color & 0xFF)) : color;
}

HBRUSH BrushFor(TColor color)
{
    static std::map<COLORREF, HBRUSH> brushes;
    const COLORREF rgb = SystemAwareRGB(color);
    auto& brush = brushes[rgb];
    if (!brush)
        brush = CreateSolidBrush(rgb);
    return brush;
}

TControl* ControlOf(HWND window)
{
    return static_cast<TControl*>(GetPropA(window, kControlProp));
}

void NameWindow(HWND window, const std::string& name, const char* className)
{
    SetPropA(window, kNameProp, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GlobalAddAtomA(name.c_str()))));
    SetPropA(window, kClassProp, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GlobalAddAtomA(className))));
}

void ForgetWindowName(HWND window)
{
    for (const char* prop : {kNameProp, kClassProp})
        if (const auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(RemovePropA(window, prop))))
            GlobalDeleteAtom(atom);
}

// ---- Menus -------------------------------------------------------------------------

std::map<UINT, TMenuItem*> menuItems;
UINT nextMenuId = kFirstMenuId;

UINT MenuIdOf(const TMenuItem* item)
{
    for (const auto& [id, known] : menuItems)
        if (known == item)
            return id;
    return 0;
}

void RegisterMenuItems(HWND form, TMenuItem& parent)
{
    for (int i = 0; i < parent.Count(); ++i) {
        TMenuItem* item = parent.Items(i);
        const UINT id = nextMenuId++;
        menuItems[id] = item;
        SetPropA(form, (kMenuPropPrefix + item->Name()).c_str(), reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(id)));
        RegisterMenuItems(form, *item);
    }
}

void FillMenu(HMENU menu, const TMenuItem& parent)
{
    for (int i = 0; i < parent.Count(); ++i) {
        const TMenuItem* item = parent.Items(i);
        if (!item->Visible())
            continue;
        if (item->IsLine()) {
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        UINT flags = MF_STRING | (item->Enabled() ? 0 : MF_GRAYED) | (item->Checked() ? MF_CHECKED : 0);
        if (item->Count() > 0) {
            HMENU sub = CreatePopupMenu();
            FillMenu(sub, *item);
            AppendMenuA(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), item->Caption().c_str());
        } else {
            AppendMenuA(menu, flags, MenuIdOf(item), item->Caption().c_str());
        }
    }
}

bool ChooseMenuItem(UINT id)
{
    const auto item = menuItems.find(id);
    if (item == menuItems.end())
        return false;
    item->second->Click();
    return true;
}

// ---- Peers ------------------------------------------------------------------------

std::set<TTimer*> liveTimers;

class WindowPeer : public ControlPeer {
public:
    WindowPeer(TControl& control, HWND window) : control_(control), window_(window)
    {
        SetPropA(window_, kControlProp, &control_);
    }
    ~WindowPeer() override
    {
        for (HWND item : radioButtons_)
            ForgetWindowName(item);
        ForgetWindowName(window_);
        RemovePropA(window_, kControlProp);
        if (IsWindow(window_))
            DestroyWindow(window_);
    }

    HWND Handle() const override { return window_; }

    void Changed(TChange what) override
    {
        switch (what) {
        case TChange::Bounds:
            MoveWindow(window_, control_.Left(), control_.Top(), control_.Width(), control_.Height(), TRUE);
            if (dynamic_cast<TRadioGroup*>(&control_))
                ArrangeRadioButtons();
            break;
        case TChange::Visible:
            ShowWindow(window_, control_.Visible() ? SW_SHOW : SW_HIDE);
            break;
        case TChange::Enabled:
            EnableWindow(window_, control_.Enabled());
            for (HWND item : radioButtons_)
                EnableWindow(item, control_.Enabled());
            break;
        case TChange::Text:
            UpdateText();
            break;
        case TChange::Color:
            InvalidateRect(window_, nullptr, TRUE);
            break;
        case TChange::Font:
            ApplyFont();
            break;
        case TChange::ReadOnly:
            if (auto* edit = dynamic_cast<TEdit*>(&control_))
                SendMessageA(window_, EM_SETREADONLY, edit->ReadOnly(), 0);
            InvalidateRect(window_, nullptr, TRUE);
            break;
        case TChange::Items:
            UpdateItems();
            break;
        case TChange::ItemIndex:
            UpdateItemIndex();
            break;
        case TChange::Picture:
            if (auto* image = dynamic_cast<TImage*>(&control_))
                SendMessageA(window_, STM_SETICON, reinterpret_cast<WPARAM>(image->Picture().Icon.Handle()), 0);
            break;
        case TChange::Style:
            if (auto* bar = dynamic_cast<TStatusBar*>(&control_))
                SendMessageA(window_, SB_SIMPLE, bar->SimplePanel(), 0);
            break;
        }
    }

    // Called once the window exists, to bring it in line with the control.
    void Initialise()
    {
        ApplyFont();
        if (auto* group = dynamic_cast<TRadioGroup*>(&control_))
            CreateRadioButtons(*group);
        if (dynamic_cast<TListBox*>(&control_))
            UpdateItems();
        Changed(TChange::Style);
        Changed(TChange::Picture);
        UpdateText();
        UpdateItemIndex();
        if (!control_.Enabled())
            Changed(TChange::Enabled);
    }

    // The user changed the window: take its state into the control.
    void Command(HWND from, WORD code)
    {
        if (auto* group = dynamic_cast<TRadioGroup*>(&control_)) {
            const auto item = std::ranges::find(radioButtons_, from);
            if (code == BN_CLICKED && item != radioButtons_.end())
                group->ClickItem(static_cast<int>(item - radioButtons_.begin()));
        } else if (auto* edit = dynamic_cast<TEdit*>(&control_); edit && code == EN_CHANGE && !updating_) {
            char text[1024] = {};
            GetWindowTextA(window_, text, sizeof text);
            edit->SetText(text);
        } else if (auto* list = dynamic_cast<TListBox*>(&control_); list && code == LBN_SELCHANGE) {
            list->SetItemIndex(static_cast<int>(SendMessageA(window_, LB_GETCURSEL, 0, 0)));
        } else if (dynamic_cast<TButton*>(&control_) && code == BN_CLICKED) {
            control_.Click();
        }
    }

private:
    TControl& control_;
    HWND window_;
    std::vector<HWND> radioButtons_;
    int listedItems_ = 0;
    bool updating_ = false;

    void ApplyFont()
    {
        const HFONT font = FontHandle(control_.Font());
        SendMessageA(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        for (HWND item : radioButtons_)
            SendMessageA(item, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        FitLabel();
        InvalidateRect(window_, nullptr, TRUE);
    }

    void UpdateText()
    {
        if (auto* bar = dynamic_cast<TStatusBar*>(&control_)) {
            SendMessageA(window_, SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(bar->SimpleText().c_str()));
            return;
        }
        char current[1024] = {};
        GetWindowTextA(window_, current, sizeof current);
        if (control_.Text() != current) {
            updating_ = true;
            SetWindowTextA(window_, control_.Text().c_str());
            updating_ = false;
        }
        FitLabel();
        if (dynamic_cast<TWinControl*>(&control_) && !dynamic_cast<TEdit*>(&control_))
            InvalidateRect(window_, nullptr, TRUE);  // containers paint their caption
    }

    // An auto-size label takes the size of its text, as the classic toolkit's
    // does; a word-wrapped one keeps its width and takes the height of its
    // wrapped lines.
    void FitLabel()
    {
        auto* label = dynamic_cast<TLabel*>(&control_);
        if (!label || !label->AutoSize())
            return;
        const bool wrapped = label->WordWrap();
        HDC dc = GetDC(window_);
        const HGDIOBJ old = SelectObject(dc, FontHandle(label->Font()));
        RECT bounds{0, 0, wrapped ? label->Width() : 0, 0};
        DrawTextA(dc, label->Caption().empty() ? " " : label->Caption().c_str(), -1, &bounds,
                  DT_CALCRECT | (wrapped ? DT_WORDBREAK : DT_SINGLELINE));
        SelectObject(dc, old);
        ReleaseDC(window_, dc);
        const int width = wrapped ? label->Width() : bounds.right;
        if (width != label->Width() || bounds.bottom != label->Height())
            label->SetBounds(label->Left(), label->Top(), width, bounds.bottom);
    }

    void CreateRadioButtons(TRadioGroup& group)
    {
        for (int i = 0; i < group.Items().Count(); ++i) {
            HWND item = CreateWindowExA(0, "BUTTON", group.Items()[i].c_str(),
                                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON, 0, 0, 0, 0, window_,
                                        nullptr, GetModuleHandleA(nullptr), nullptr);
            NameWindow(item, group.Name() + "." + std::to_string(i), "TRadioButton");
            SendMessageA(item, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle(group.Font())), TRUE);
            radioButtons_.push_back(item);
        }
        ArrangeRadioButtons();
    }

    // Items fill the columns from the top, column by column, below the caption.
    void ArrangeRadioButtons()
    {
        auto* group = dynamic_cast<TRadioGroup*>(&control_);
        if (!group || radioButtons_.empty())
            return;
        const int count = static_cast<int>(radioButtons_.size());
        const int columns = std::max(1, group->Columns());
        const int perColumn = (count + columns - 1) / columns;
        const int captionHeight = std::abs(group->Font().Height) + 3;
        const int columnWidth = (group->Width() - 10) / columns;
        const int rowHeight = std::max(1, (group->Height() - captionHeight - 4) / perColumn);
        for (int i = 0; i < count; ++i) {
            const int height = std::min(rowHeight, 17);
            MoveWindow(radioButtons_[static_cast<std::size_t>(i)], 8 + (i / perColumn) * columnWidth,
                       captionHeight + (i % perColumn) * rowHeight + (rowHeight - height) / 2, columnWidth - 4,
                       height, TRUE);
        }
    }

    void UpdateItems()
    {
        auto* list = dynamic_cast<TListBox*>(&control_);
        if (!list)
            return;
        const TStrings& items = list->Items();
        // Lines are mostly appended one at a time: add just the new one.
        if (items.Count() == listedItems_ + 1) {
            SendMessageA(window_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(items[items.Count() - 1].c_str()));
        } else {
            SendMessageA(window_, WM_SETREDRAW, FALSE, 0);
            SendMessageA(window_, LB_RESETCONTENT, 0, 0);
            for (const std::string& line : items.Strings())
                SendMessageA(window_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
            SendMessageA(window_, WM_SETREDRAW, TRUE, 0);
            InvalidateRect(window_, nullptr, TRUE);
        }
        listedItems_ = items.Count();
    }

    void UpdateItemIndex()
    {
        if (auto* group = dynamic_cast<TRadioGroup*>(&control_)) {
            for (std::size_t i = 0; i < radioButtons_.size(); ++i)
                SendMessageA(radioButtons_[i], BM_SETCHECK,
                             static_cast<int>(i) == group->ItemIndex() ? BST_CHECKED : BST_UNCHECKED, 0);
        } else if (auto* list = dynamic_cast<TListBox*>(&control_)) {
            SendMessageA(window_, LB_SETCURSEL, static_cast<WPARAM>(list->ItemIndex()), 0);
        }
    }
};

// ---- Painting -------------------------------------------------------------------------

void PaintBevel(HDC dc, const TBevel& bevel)
{
    RECT box{bevel.Left(), bevel.Top(), bevel.Left() + bevel.Width(), bevel.Top() + bevel.Height()};
    const UINT edge = bevel.Style() == bsLowered ? BDR_SUNKENOUTER : BDR_RAISEDINNER;
    switch (bevel.Shape()) {
    case bsBox:
        DrawEdge(dc, &box, edge, BF_RECT);
        break;
    case bsFrame:
        DrawEdge(dc, &box, bevel.Style() == bsLowered ? EDGE_ETCHED : EDGE_BUMP, BF_RECT);
        break;
    case bsTopLine:
        DrawEdge(dc, &box, EDGE_ETCHED, BF_TOP);
        break;
    case bsBottomLine:
        DrawEdge(dc, &box, EDGE_ETCHED, BF_BOTTOM);
        break;
    case bsLeftLine:
        DrawEdge(dc, &box, EDGE_ETCHED, BF_LEFT);
        break;
    case bsRightLine:
        DrawEdge(dc, &box, EDGE_ETCHED, BF_RIGHT);
        break;
    case bsSpacer:
        break;
    }
}

UINT PanelEdge(TPanelBevel bevel)
{
    switch (bevel) {
    case bvLowered:
        return BDR_SUNKENOUTER;
    case bvRaised:
        return BDR_RAISEDINNER;
    default:
        return 0;
    }
}

void PaintContainer(HWND window, TControl& control)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, BrushFor(control.Color()));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, SystemAwareRGB(control.Font().Color));
    const HGDIOBJ oldFont = SelectObject(dc, FontHandle(control.Font()));

    if (auto* panel = dynamic_cast<TPanel*>(&control)) {
        if (const UINT outer = PanelEdge(panel->BevelOuter()))
            DrawEdge(dc, &client, outer, BF_RECT | BF_ADJUST);
        if (const UINT inner = PanelEdge(panel->BevelInner()))
            DrawEdge(dc, &client, inner, BF_RECT | BF_ADJUST);
        const UINT align = panel->Alignment() == taCenter ? DT_CENTER
                           : panel->Alignment() == taRightJustify ? DT_RIGHT : DT_LEFT;
        DrawTextA(dc, panel->Caption().c_str(), -1, &client, align | DT_VCENTER | DT_SINGLELINE);
    } else if (dynamic_cast<TGroupBox*>(&control) || dynamic_cast<TRadioGroup*>(&control)) {
        SIZE text{0, 0};
        GetTextExtentPoint32A(dc, control.Caption().c_str(), static_cast<int>(control.Caption().size()), &text);
        RECT frame = client;
        frame.top += text.cy / 2;
        DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
        if (!control.Caption().empty()) {
            RECT label{8, 0, 8 + text.cx + 4, text.cy};
            FillRect(dc, &label, BrushFor(control.Color()));
            TextOutA(dc, 10, 0, control.Caption().c_str(), static_cast<int>(control.Caption().size()));
        }
    }
    // Bevels have no window of their own: their parent draws them.
    if (auto* container = dynamic_cast<TWinControl*>(&control))
        for (int i = 0; i < container->ControlCount(); ++i)
            if (auto* bevel = dynamic_cast<TBevel*>(container->Controls(i)); bevel && bevel->Visible())
                PaintBevel(dc, *bevel);
    SelectObject(dc, oldFont);
    EndPaint(window, &paint);
}

// ---- Window procedures ------------------------------------------------------------------

LRESULT ColorChild(HDC dc, HWND child)
{
    TControl* control = ControlOf(child);
    if (!control)  // a radio button: its group's colours
        control = ControlOf(GetParent(child));
    if (!control)
        return 0;
    SetTextColor(dc, SystemAwareRGB(control->Font().Color));
    SetBkColor(dc, SystemAwareRGB(control->Color()));
    return reinterpret_cast<LRESULT>(BrushFor(control->Color()));
}

LRESULT CALLBACK ContainerProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    TControl* control = ControlOf(window);
    if (!control)
        return DefWindowProcA(window, msg, wParam, lParam);
    auto* form = dynamic_cast<TForm*>(control);
    if (form && form->HandlesMessage(msg))
        return form->Perform(msg, wParam, lParam);

    switch (msg) {
    case WM_COMMAND:
        if (lParam == 0) {
            if (ChooseMenuItem(LOWORD(wParam)))
                return 0;
        } else if (TControl* child = ControlOf(reinterpret_cast<HWND>(lParam))) {
            static_cast<WindowPeer*>(child->Peer())->Command(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
            return 0;
        } else if (control->Peer()) {  // a radio button of this group
            static_cast<WindowPeer*>(control->Peer())->Command(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
            return 0;
        }
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
        if (const LRESULT brush = ColorChild(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)))
            return brush;
        break;
    case WM_ERASEBKGND:
        return 1;  // WM_PAINT fills the whole client area
    case WM_PAINT:
        PaintContainer(window, *control);
        return 0;
    case WM_CONTEXTMENU:
        // A control without a context menu of its own shows its parent's.
        for (TControl* target = ControlOf(reinterpret_cast<HWND>(wParam)); target; target = target->Parent())
            if (target->PopupMenu()) {
                target->PopupMenu()->Popup(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
                return 0;
            }
        return 0;  // the parents have been asked already
    case WM_SIZE:
        // The status bar keeps itself at the bottom when told of the new size.
        if (auto* container = dynamic_cast<TWinControl*>(control))
            for (int i = 0; i < container->ControlCount(); ++i)
                if (dynamic_cast<TStatusBar*>(container->Controls(i)))
                    SendMessageA(container->Controls(i)->Handle(), WM_SIZE, 0, 0);
        break;
    case WM_CLOSE:
        if (form) {
            form->Close();
            return 0;
        }
        break;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

LRESULT CALLBACK ApplicationProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case kServeQueue:
        ServeQueue();
        return 0;
    case kQuit:
        PostQuitMessage(0);
        return 0;
    case WM_TIMER: {
        auto* timer = reinterpret_cast<TTimer*>(wParam);
        if (liveTimers.contains(timer))
            timer->Tick();
        return 0;
    }
    case WM_CLOSE:
        if (Application->MainForm())
            Application->MainForm()->Close();
        return 0;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

const char* RegisterClasses()
{
    static const char* const containerClass = [] {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSA windowClass{};
        windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
        windowClass.lpfnWndProc = ContainerProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
        windowClass.hIcon = LoadIconA(GetModuleHandleA(nullptr), "MAINICON");
        windowClass.lpszClassName = "TCR7750Container";
        RegisterClassA(&windowClass);
        windowClass.lpfnWndProc = ApplicationProc;
        windowClass.lpszClassName = "TCR7750Application";
        RegisterClassA(&windowClass);
        return "TCR7750Container";
    }();
    return containerClass;
}

HWND AppWindow()
{
    if (!windowThread.appWindow && GetCurrentThreadId() == windowThread.id) {
        RegisterClasses();
        // A zero-size window on the screen: it owns the forms and the taskbar button.
        HWND window = CreateWindowExA(0, "TCR7750Application", Application->Title().c_str(),
                                      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE,
                                      GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                                      nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        std::lock_guard lock(windowThread.calls.mutex);
        windowThread.appWindow = window;
    }
    return windowThread.appWindow;
}

// ---- Creating the windows of a form --------------------------------------------------------------

struct WindowKind {
    const char* windowClass;
    DWORD style;
    DWORD extendedStyle;
    const char* className;  // as the form description names it
};

WindowKind KindOf(TControl& control)
{
    const DWORD child = WS_CHILD | WS_CLIPSIBLINGS;
    if (dynamic_cast<TButton*>(&control))
        return {"BUTTON", child | WS_TABSTOP | BS_PUSHBUTTON, 0, "TButton"};
    if (auto* edit = dynamic_cast<TEdit*>(&control))
        return {"EDIT", child | WS_TABSTOP | ES_AUTOHSCROLL | (edit->ReadOnly() ? ES_READONLY : 0u), WS_EX_CLIENTEDGE,
                "TEdit"};
    if (auto* label = dynamic_cast<TLabel*>(&control)) {
        const DWORD align = label->Alignment() == taCenter        ? SS_CENTER
                            : label->Alignment() == taRightJustify ? SS_RIGHT
                            : label->WordWrap()                   ? SS_LEFT
                                                                  : SS_LEFTNOWORDWRAP;
        return {"STATIC", child | align, 0, "TLabel"};
    }
    if (dynamic_cast<TImage*>(&control))
        return {"STATIC", child | SS_ICON | SS_CENTERIMAGE, 0, "TImage"};
    if (dynamic_cast<TListBox*>(&control))
        return {"LISTBOX", child | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, WS_EX_CLIENTEDGE,
                "TListBox"};
    if (dynamic_cast<TStatusBar*>(&control))
        return {STATUSCLASSNAMEA, child, 0, "TStatusBar"};
    if (dynamic_cast<TPanel*>(&control))
        return {RegisterClasses(), child | WS_CLIPCHILDREN, 0, "TPanel"};
    if (dynamic_cast<TRadioGroup*>(&control))
        return {RegisterClasses(), child | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, "TRadioGroup"};
    if (dynamic_cast<TGroupBox*>(&control))
        return {RegisterClasses(), child | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, "TGroupBox"};
    return {nullptr, 0, 0, nullptr};  // bevels: drawn by their parent
}

void CreateChildWindows(TWinControl& parent)
{
    std::vector<std::pair<int, HWND>> tabOrder;
    for (int i = 0; i < parent.ControlCount(); ++i) {
        TControl& control = *parent.Controls(i);
        const WindowKind kind = KindOf(control);
        if (!kind.windowClass)
            continue;
        HWND window = CreateWindowExA(kind.extendedStyle, kind.windowClass, control.Text().c_str(), kind.style,
                                      control.Left(), control.Top(), control.Width(), control.Height(),
                                      parent.Handle(), nullptr, GetModuleHandleA(nullptr), nullptr);
        NameWindow(window, control.Name(), kind.className);
        auto peer = std::make_unique<WindowPeer>(control, window);
        WindowPeer* created = peer.get();
        control.AttachPeer(std::move(peer));
        created->Initialise();
        if (auto* container = dynamic_cast<TWinControl*>(&control))
            CreateChildWindows(*container);
        if (control.Visible())
            ShowWindow(window, SW_SHOWNA);
        if (control.TabOrder() >= 0)
            tabOrder.emplace_back(control.TabOrder(), window);
    }
    // The dialog manager tabs in window order: put the windows in tab order.
    std::ranges::stable_sort(tabOrder, {}, &std::pair<int, HWND>::first);
    for (const auto& [order, window] : tabOrder)
        SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// Tab and arrow keys move between the controls of a form, as in a dialog.
void DispatchWindowMessage(MSG& msg)
{
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (root && IsDialogMessageA(root, &msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

// Handles the window messages waiting; false when the application quits
// (WM_QUIT is posted again for the message loop).
bool DispatchWaitingMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        DispatchWindowMessage(msg);
    }
    return true;
}

}  // namespace

namespace backend {

bool OnWindowThread()
{
    return GetCurrentThreadId() == windowThread.id;
}

void RunOnWindowThread(const std::function<void()>& call)
{
    if (OnWindowThread())
        call();
    else
        windowThread.calls.RunAndWait(call, false);
}

void PostToWindowThread(std::function<void()> call)
{
    windowThread.calls.Post(std::move(call));
}

void WaitUntil(const std::function<bool()>& done)
{
    // The window stays alive meanwhile: it repaints, takes input and runs
    // its timers.  Once the application quits, only the queue is served.
    bool quitting = false;
    for (;;) {
        ServeQueue();
        if (done())
            return;
        if (!quitting) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            quitting = !DispatchWaitingMessages();
            continue;
        }
        std::unique_lock lock(windowThread.calls.mutex);
        windowThread.calls.windowWakes.wait_for(lock, std::chrono::milliseconds(10),
                                                [] { return !windowThread.calls.Empty(); });
    }
}

void Notify()
{
    std::lock_guard lock(windowThread.calls.mutex);
    windowThread.calls.windowWakes.notify_all();
}

void ThreadStarting() {}
void ThreadBegins() {}
void ThreadEnded() {}

void TimerChanged(TTimer& timer)
{
    HWND window = AppWindow();
    const auto id = reinterpret_cast<UINT_PTR>(&timer);
    KillTimer(window, id);
    liveTimers.erase(&timer);
    if (timer.Enabled() && timer.Interval() > 0) {
        SetTimer(window, id, timer.Interval(), nullptr);
        liveTimers.insert(&timer);
    }
}

void TimerDestroyed(TTimer& timer)
{
    KillTimer(windowThread.appWindow, reinterpret_cast<UINT_PTR>(&timer));
    liveTimers.erase(&timer);
}

HICON LoadIconResource(const std::string& name)
{
    return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), name.c_str(), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
}

void FormLoaded(TForm& form)
{
    RegisterClasses();
    HWND window = CreateWindowExA(WS_EX_CONTROLPARENT, "TCR7750Container", form.Caption().c_str(),
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, form.Left(), form.Top(), form.Width(),
                                  form.Height(), AppWindow(), nullptr, GetModuleHandleA(nullptr), nullptr);
    NameWindow(window, form.Name(), "TForm");
    auto peer = std::make_unique<WindowPeer>(form, window);
    WindowPeer* created = peer.get();
    form.AttachPeer(std::move(peer));
    created->Initialise();
    if (form.Icon().Handle()) {
        SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(form.Icon().Handle()));
        SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(form.Icon().Handle()));
    }
    for (int i = 0; i < form.ComponentCount(); ++i)
        if (auto* menu = dynamic_cast<TMenu*>(form.Components(i)))
            RegisterMenuItems(window, menu->Items());
    if (form.Menu()) {
        HMENU bar = CreateMenu();
        FillMenu(bar, form.Menu()->Items());
        SetMenu(window, bar);
    }
    CreateChildWindows(form);
    if (form.Visible())
        ShowWindow(window, SW_SHOW);
}

void FormDestroying(TForm& form)
{
    for (auto entry = menuItems.begin(); entry != menuItems.end();)
        entry = entry->second->Owner() == &form ? menuItems.erase(entry) : std::next(entry);
    // Children first (they were created after their parents), the form last.
    for (int i = form.ComponentCount() - 1; i >= 0; --i)
        if (auto* control = dynamic_cast<TControl*>(form.Components(i)))
            control->AttachPeer(nullptr);
    form.AttachPeer(nullptr);
}

void PopupMenu(TPopupMenu& menu, int x, int y)
{
    HMENU popup = CreatePopupMenu();
    FillMenu(popup, menu.Items());
    HWND owner = Application->MainForm() ? Application->MainForm()->Handle() : AppWindow();
    const UINT chosen = static_cast<UINT>(
        TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, x, y, 0, owner, nullptr));
    DestroyMenu(popup);
    // Lets the menu close properly when it was opened from the tray.
    PostMessageA(owner, WM_NULL, 0, 0);
    if (chosen)
        ChooseMenuItem(chosen);
}

HWND ApplicationHandle()
{
    return AppWindow();
}

void SetApplicationTitle(const std::string& title)
{
    if (HWND window = AppWindow())
        SetWindowTextA(window, title.c_str());
}

void RunMessageLoop()
{
    AppWindow();
    ServeQueue();
    MSG msg;
    while (!Application->Terminated() && GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchWindowMessage(msg);
}

void ProcessMessages()
{
    ServeQueue();
    DispatchWaitingMessages();
}

void Terminating()
{
    if (windowThread.appWindow)
        PostMessageA(windowThread.appWindow, kQuit, 0, 0);
}

}  // namespace backend

}  // namespace forms
