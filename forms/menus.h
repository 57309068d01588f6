/* SPDX-License-Identifier: MIT */
// Menus: the form's main menu and context (popup) menus, trees of items.
#pragma once

#include <string>
#include <vector>

#include "forms/classes.h"

namespace forms {

class TMenuItem : public TComponent {
public:
    explicit TMenuItem(TComponent* owner);

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption) { caption_ = caption; }
    bool IsLine() const { return caption_ == "-"; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    bool Visible() const { return visible_; }
    void SetVisible(bool visible) { visible_ = visible; }
    bool Checked() const { return checked_; }
    void SetChecked(bool checked) { checked_ = checked; }

    int Count() const { return static_cast<int>(items_.size()); }
    TMenuItem* Items(int index) const { return items_.at(static_cast<std::size_t>(index)); }
    void Add(TMenuItem* item);
    TMenuItem* ParentItem() const { return parent_; }

    TNotifyEvent OnClick;

    // The user chooses this item: runs OnClick (through the application's
    // exception display) and returns true; false when disabled, hidden or a
    // separator.
    bool Click();

    bool SetProperty(const DescriptionProperty& property, const HandlerTable& handlers) override;

private:
    std::string caption_;
    bool enabled_ = true;
    bool visible_ = true;
    bool checked_ = false;
    std::vector<TMenuItem*> items_;  // owned by the form, like every component
    TMenuItem* parent_ = nullptr;
};

class TMenu : public TComponent {
public:
    explicit TMenu(TComponent* owner);
    // The invisible root whose children are the menu's top-level items.
    TMenuItem& Items() { return root_; }
    const TMenuItem& Items() const { return root_; }

private:
    TMenuItem root_{nullptr};
};

class TMainMenu : public TMenu {
public:
    using TMenu::TMenu;
};

class TPopupMenu : public TMenu {
public:
    using TMenu::TMenu;

    // Opens the menu at screen position (x, y).  On Windows this returns once
    // the user has chosen an item or dismissed the menu; headless it only
    // records the position, and the test then clicks an item.
    void Popup(int x, int y);
    int PopupCount() const { return popupCount_; }
    POINT LastPopupPoint() const { return lastPoint_; }

    TNotifyEvent OnPopup;

    bool SetProperty(const DescriptionProperty& property, const HandlerTable& handlers) override;

private:
    int popupCount_ = 0;
    POINT lastPoint_{0, 0};
};

}  // namespace forms
