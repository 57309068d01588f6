/* SPDX-License-Identifier: MIT */
// The visual controls.  Each keeps its state in memory; when a back end has
// given it a native window (a peer), every change is passed on to it, and
// what the user does in that window comes back through the same setters.
#pragma once

#include <memory>
#include <string>

#include "forms/classes.h"

namespace forms {

class TWinControl;
class TPopupMenu;

// What a setter changed, for the back end's peer.
enum class TChange { Bounds, Text, Visible, Enabled, Color, Font, ReadOnly, Items, ItemIndex, Picture, Style };

// A control's native counterpart (the Win32 back end's window).
class ControlPeer {
public:
    virtual ~ControlPeer() = default;
    virtual HWND Handle() const = 0;
    virtual void Changed(TChange what) = 0;
};

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

class TControl : public TComponent {
public:
    explicit TControl(TComponent* owner);
    ~TControl() override;

    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetBounds(int left, int top, int width, int height);

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible, and so are all its parents.
    bool Showing() const;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    // Caption and Text are the same text, as in the classic toolkit.
    const std::string& Caption() const { return text_; }
    void SetCaption(const std::string& caption) { SetText(caption); }
    const std::string& Text() const { return text_; }
    virtual void SetText(const std::string& text);

    // The colour, or the parent's while ParentColor is set.
    TColor Color() const;
    void SetColor(TColor color);
    bool ParentColor() const { return parentColor_; }

    // The font, or the parent's while ParentFont is set.
    const TFont& Font() const;
    void SetFont(const TFont& font);
    bool ParentFont() const { return parentFont_; }

    TWinControl* Parent() const { return parent_; }
    void SetParent(TWinControl* parent);

    TPopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu* menu) { popupMenu_ = menu; }

    int TabOrder() const { return tabOrder_; }

    // The native window: the peer's, or a stable stand-in value headless.
    HWND Handle() const;
    ControlPeer* Peer() const { return peer_.get(); }
    void AttachPeer(std::unique_ptr<ControlPeer> peer) { peer_ = std::move(peer); }

    TNotifyEvent OnClick;

    // A click by the user: runs OnClick (through the application's exception
    // display) and returns true, or does nothing and returns false when the
    // control is disabled or not showing, as a real click would.
    virtual bool Click();

    bool SetProperty(const DescriptionProperty& property, const HandlerTable& handlers) override;

protected:
    virtual void Changed(TChange what);
    // Tells this control that its parent's colour or font changed.
    virtual void ParentChanged(TChange what);
    bool CanUserInteract() const;
    void TakeOwnFont();
    void SetParentColor(bool parentColor) { parentColor_ = parentColor; }

private:
    friend class TWinControl;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = true;
    bool enabled_ = true;
    std::string text_;
    TColor color_ = clBtnFace;
    bool parentColor_ = false;
    TFont font_;
    bool parentFont_ = true;
    TWinControl* parent_ = nullptr;
    TPopupMenu* popupMenu_ = nullptr;
    int tabOrder_ = -1;
    std::unique_ptr<ControlPeer> peer_;
    std::uintptr_t standInHandle_;
};

class TWinControl : public TControl {
public:
    using TControl::TControl;
    ~TWinControl() override;
    int ControlCount() const { return static_cast<int>(controls_.size()); }
    TControl* Controls(int index) const { return controls_.at(static_cast<std::size_t>(index)); }

protected:
    void Changed(TChange what) override;
    void ParentChanged(TChange what) override;

private:
    friend class TControl;
    std::vector<TControl*> controls_;  // in creation order
};

class TButton : public TWinControl {
public:
    explicit TButton(TComponent* owner);
};

class TEdit : public TWinControl {
public:
    explicit TEdit(TComponent* owner);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);
    void SetText(const std::string& text) override;  // also runs OnChange

    TNotifyEvent OnChange;

    bool SetProperty(const DescriptionProperty& property, const HandlerTable& handlers) override;

private:
    bool readOnly_ = false;
};

class TLabel : public TControl {
public:
    explicit TLabel(TComponent* owner);
    TAlignment Alignment() const { return alignment_; }
    bool WordWrap() const { return wordWrap_; }
    bool AutoSize() const { return autoSize_; }
    bool Transparent() const { return transparent_; }

    bool SetProperty(const DescriptionProperty& property, const HandlerTable& handlers) override;

private:
    TAlignment alignment_ = taLeftJustify;
    bool wordWrap_ = false;
    bool autoSize_ = true;
    bool transparent_ = false;
};

enum TPanelBevel { bvNone, bvLowered, bvRaised, bvSpace };

class TPanel : public TWinControl {
public:
    explicit TPanel(TComponent* owner);
    TPanelBevel BevelOuter() const { return bevelOuter_; }
    TPanelBevel BevelInner() const { return bevelInner_; }
    TAlignment Alignment() const { return alignment_; }

    bool SetProperty(const DescriptionProperty& property, const HandlerTable& handlers) override;

private:
    TPanelBevel bevelOuter_ = bvRaised;
    TPanelBevel bevelInner_ = bvNone;
    TAlignment alignment_ = taCenter;
};

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle { bsLowered, bsRaised };

class TBevel : public TControl {
public:
    explicit TBevel(TComponent* owner);
    TBevelShape Shape() const { return shape_; }
    TBevelStyle Style() const { return style_; }

    bool SetProperty(const DescriptionProperty& property, const HandlerTable& handlers) override;

private:
    TBevelShape shape_ = bsBox;
    TBevelStyle style_ = bsLowered;
};

// An icon picture, loaded from the program's resources by name.
class TIcon {
public:
    const std::string& ResourceName() const { return resourceName_; }
    HICON Handle() const { return handle_; }
    void LoadFromResourceName(const std::string& name);

private:
    std::string resourceName_;
    HICON handle_ = nullptr;
};

struct TPicture {
    TIcon Icon;
};

class TImage : public TControl {
public:
    explicit TImage(TComponent* owner);
    TPicture& Picture() { return picture_; }
    const TPicture& Picture() const { return picture_; }
    bool Stretch() const { return stretch_; }
    bool Center() const { return center_; }

    bool SetProperty(const DescriptionProperty& property, const HandlerTable& handlers) override;

private:
    TPicture picture_;
    bool stretch_ = false;
    bool center_ = false;
};

class TGroupBox : public TWinControl {
public:
    explicit TGroupBox(TComponent* owner);
};

class TRadioGroup : public TWinControl {
public:
    explicit TRadioGroup(TComponent* owner);
    TStrings& Items() { return items_; }
    const TStrings& Items() const { return items_; }
    int ItemIndex() const { return itemIndex_; }
    // Selects an item (-1: none).  Unlike ClickItem it runs no handler.
    void SetItemIndex(int index);
    int Columns() const { return columns_; }

    // The user chooses item `index`: selects it and runs OnClick.  Returns
    // false (and does nothing) when the group is disabled or not showing.
    bool ClickItem(int index);

    bool SetProperty(const DescriptionProperty& property, const HandlerTable& handlers) override;

private:
    TStrings items_;
    int itemIndex_ = -1;
    int columns_ = 1;
};

class TListBox : public TWinControl {
public:
    explicit TListBox(TComponent* owner);
    TStrings& Items() { return items_; }
    const TStrings& Items() const { return items_; }
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);
    int ItemHeight() const { return itemHeight_; }

    bool SetProperty(const DescriptionProperty& property, const HandlerTable& handlers) override;

private:
    TStrings items_;
    int itemIndex_ = -1;
    int itemHeight_ = 13;
};

class TStatusBar : public TWinControl {
public:
    explicit TStatusBar(TComponent* owner);
    bool SimplePanel() const { return simplePanel_; }
    void SetSimplePanel(bool simplePanel);
    const std::string& SimpleText() const { return simpleText_; }
    void SetSimpleText(const std::string& text);

    bool SetProperty(const DescriptionProperty& property, const HandlerTable& handlers) override;

private:
    bool simplePanel_ = false;
    std::string simpleText_;
};

}  // namespace forms
