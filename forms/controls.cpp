// SPDX-License-Identifier: MIT
#include "forms/controls.h"

#include <algorithm>
#include <atomic>

#include "forms/backend.h"
#include "forms/forms.h"
#include "forms/menus.h"

namespace forms {

namespace {

std::uintptr_t NextStandInHandle()
{
    // Stand-in handles are small, distinct and never 0.
    static std::atomic<std::uintptr_t> next{0x10000};
    return next.fetch_add(4);
}

const std::vector<std::string_view> kAlignments = {"taLeftJustify", "taRightJustify", "taCenter"};

}  // namespace

// ---- TControl ------------------------------------------------------------

TControl::TControl(TComponent* owner) : TComponent(owner), standInHandle_(NextStandInHandle()) {}

TControl::~TControl()
{
    peer_.reset();
    SetParent(nullptr);
}

void TControl::SetBounds(int left, int top, int width, int height)
{
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    Changed(TChange::Bounds);
}

void TControl::SetVisible(bool visible)
{
    if (visible_ == visible)
        return;
    visible_ = visible;
    Changed(TChange::Visible);
}

bool TControl::Showing() const
{
    for (const TControl* control = this; control; control = control->parent_)
        if (!control->visible_)
            return false;
    return true;
}

void TControl::SetEnabled(bool enabled)
{
    if (enabled_ == enabled)
        return;
    enabled_ = enabled;
    Changed(TChange::Enabled);
}

void TControl::SetText(const std::string& text)
{
    if (text_ == text)
        return;
    text_ = text;
    Changed(TChange::Text);
}

TColor TControl::Color() const
{
    return parentColor_ && parent_ ? parent_->Color() : color_;
}

void TControl::SetColor(TColor color)
{
    color_ = color;
    parentColor_ = false;
    Changed(TChange::Color);
}

const TFont& TControl::Font() const
{
    return parentFont_ && parent_ ? parent_->Font() : font_;
}

void TControl::SetFont(const TFont& font)
{
    font_ = font;
    parentFont_ = false;
    Changed(TChange::Font);
}

void TControl::SetParent(TWinControl* parent)
{
    if (parent_) {
        auto& siblings = parent_->controls_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    parent_ = parent;
    if (parent_)
        parent_->controls_.push_back(this);
}

HWND TControl::Handle() const
{
    return peer_ ? peer_->Handle() : reinterpret_cast<HWND>(standInHandle_);
}

// A control's own font starts as a copy of the one it had from its parent.
void TControl::TakeOwnFont()
{
    if (parentFont_ && parent_)
        font_ = parent_->Font();
    parentFont_ = false;
}

bool TControl::CanUserInteract() const
{
    for (const TControl* control = this; control; control = control->parent_)
        if (!control->enabled_ || !control->visible_)
            return false;
    return true;
}

bool TControl::Click()
{
    if (!CanUserInteract())
        return false;
    if (OnClick)
        Application->Dispatch([&] { OnClick(this); });
    return true;
}

void TControl::Changed(TChange what)
{
    if (peer_)
        peer_->Changed(what);
}

void TControl::ParentChanged(TChange what)
{
    if ((what == TChange::Color && parentColor_) || (what == TChange::Font && parentFont_))
        Changed(what);
}

bool TControl::SetProperty(const DescriptionProperty& property, const HandlerTable& handlers)
{
    const std::string& name = property.name;
    if (name == "Left")
        left_ = PropertyInt(property);
    else if (name == "Top")
        top_ = PropertyInt(property);
    else if (name == "Width")
        width_ = PropertyInt(property);
    else if (name == "Height")
        height_ = PropertyInt(property);
    else if (name == "Visible")
        visible_ = PropertyBool(property);
    else if (name == "Enabled")
        enabled_ = PropertyBool(property);
    else if (name == "Caption" || name == "Text")
        text_ = PropertyString(property);
    else if (name == "Color") {
        color_ = PropertyColor(property);
        parentColor_ = false;
    } else if (name == "ParentColor")
        parentColor_ = PropertyBool(property);
    else if (name == "ParentFont") {
        if (!PropertyBool(property))
            TakeOwnFont();
        else
            parentFont_ = true;
    } else if (name.starts_with("Font.")) {
        TakeOwnFont();
        return SetFontProperty(font_, property);
    } else if (name == "TabOrder")
        tabOrder_ = PropertyInt(property);
    else if (name == "TabStop" || name == "ShowHint" || name == "ParentShowHint")
        (void)PropertyBool(property);
    else if (name == "Hint")
        (void)PropertyString(property);
    else if (name == "OnClick")
        OnClick = handlers.Find(PropertyIdent(property), property.line);
    else if (name == "PopupMenu") {
        const std::string menuName = PropertyIdent(property);
        // Menus belong to the form: the control's owner, or the form itself.
        const TComponent* form = dynamic_cast<TForm*>(this) ? this : Owner();
        popupMenu_ = form ? dynamic_cast<TPopupMenu*>(form->FindComponent(menuName)) : nullptr;
        if (!popupMenu_)
            throw EFormDescriptionError(property.line, "no popup menu named " + menuName);
    } else
        return TComponent::SetProperty(property, handlers);
    return true;
}

// ---- TWinControl -----------------------------------------------------------

TWinControl::~TWinControl()
{
    for (TControl* child : controls_)
        child->parent_ = nullptr;
}

void TWinControl::Changed(TChange what)
{
    TControl::Changed(what);
    if (what == TChange::Color || what == TChange::Font)
        for (TControl* child : controls_)
            child->ParentChanged(what);
}

void TWinControl::ParentChanged(TChange what)
{
    TControl::ParentChanged(what);
}

// ---- Simple controls -----------------------------------------------------------

TButton::TButton(TComponent* owner) : TWinControl(owner) {}

TEdit::TEdit(TComponent* owner) : TWinControl(owner)
{
    SetColor(clWindow);
}

void TEdit::SetReadOnly(bool readOnly)
{
    if (readOnly_ == readOnly)
        return;
    readOnly_ = readOnly;
    Changed(TChange::ReadOnly);
}

void TEdit::SetText(const std::string& text)
{
    if (text == Text())
        return;
    TWinControl::SetText(text);
    if (OnChange)
        OnChange(this);
}

bool TEdit::SetProperty(const DescriptionProperty& property, const HandlerTable& handlers)
{
    if (property.name == "ReadOnly")
        readOnly_ = PropertyBool(property);
    else if (property.name == "OnChange")
        OnChange = handlers.Find(PropertyIdent(property), property.line);
    else if (property.name == "MaxLength" || property.name == "AutoSize")
        return true;
    else
        return TWinControl::SetProperty(property, handlers);
    return true;
}

TLabel::TLabel(TComponent* owner) : TControl(owner)
{
    SetParentColor(true);
}

bool TLabel::SetProperty(const DescriptionProperty& property, const HandlerTable& handlers)
{
    if (property.name == "Alignment")
        alignment_ = static_cast<TAlignment>(PropertyEnum(property, kAlignments));
    else if (property.name == "WordWrap")
        wordWrap_ = PropertyBool(property);
    else if (property.name == "AutoSize")
        autoSize_ = PropertyBool(property);
    else if (property.name == "Transparent")
        transparent_ = PropertyBool(property);
    else
        return TControl::SetProperty(property, handlers);
    return true;
}

TPanel::TPanel(TComponent* owner) : TWinControl(owner) {}

bool TPanel::SetProperty(const DescriptionProperty& property, const HandlerTable& handlers)
{
    static const std::vector<std::string_view> bevels = {"bvNone", "bvLowered", "bvRaised", "bvSpace"};
    if (property.name == "BevelOuter")
        bevelOuter_ = static_cast<TPanelBevel>(PropertyEnum(property, bevels));
    else if (property.name == "BevelInner")
        bevelInner_ = static_cast<TPanelBevel>(PropertyEnum(property, bevels));
    else if (property.name == "Alignment")
        alignment_ = static_cast<TAlignment>(PropertyEnum(property, kAlignments));
    else
        return TWinControl::SetProperty(property, handlers);
    return true;
}

TBevel::TBevel(TComponent* owner) : TControl(owner) {}

bool TBevel::SetProperty(const DescriptionProperty& property, const HandlerTable& handlers)
{
    if (property.name == "Shape")
        shape_ = static_cast<TBevelShape>(PropertyEnum(
            property, {"bsBox", "bsFrame", "bsTopLine", "bsBottomLine", "bsLeftLine", "bsRightLine", "bsSpacer"}));
    else if (property.name == "Style")
        style_ = static_cast<TBevelStyle>(PropertyEnum(property, {"bsLowered", "bsRaised"}));
    else
        return TControl::SetProperty(property, handlers);
    return true;
}

void TIcon::LoadFromResourceName(const std::string& name)
{
    resourceName_ = name;
    handle_ = backend::LoadIconResource(name);
}

TImage::TImage(TComponent* owner) : TControl(owner) {}

bool TImage::SetProperty(const DescriptionProperty& property, const HandlerTable& handlers)
{
    if (property.name == "Picture.Icon")
        picture_.Icon.LoadFromResourceName(PropertyString(property));
    else if (property.name == "Stretch")
        stretch_ = PropertyBool(property);
    else if (property.name == "Center")
        center_ = PropertyBool(property);
    else if (property.name == "Transparent" || property.name == "AutoSize")
        (void)PropertyBool(property);
    else
        return TControl::SetProperty(property, handlers);
    return true;
}

TGroupBox::TGroupBox(TComponent* owner) : TWinControl(owner) {}

// ---- Lists -----------------------------------------------------------------

TRadioGroup::TRadioGroup(TComponent* owner) : TWinControl(owner)
{
    items_.OnChange = [this] { Changed(TChange::Items); };
}

void TRadioGroup::SetItemIndex(int index)
{
    if (index < -1 || index >= items_.Count())
        index = -1;
    if (itemIndex_ == index)
        return;
    itemIndex_ = index;
    Changed(TChange::ItemIndex);
}

bool TRadioGroup::ClickItem(int index)
{
    if (!CanUserInteract() || index < 0 || index >= items_.Count())
        return false;
    SetItemIndex(index);
    if (OnClick)
        Application->Dispatch([&] { OnClick(this); });
    return true;
}

bool TRadioGroup::SetProperty(const DescriptionProperty& property, const HandlerTable& handlers)
{
    if (property.name == "Items.Strings")
        items_.Assign(PropertyList(property));
    else if (property.name == "ItemIndex")
        itemIndex_ = PropertyInt(property);
    else if (property.name == "Columns")
        columns_ = PropertyInt(property);
    else
        return TWinControl::SetProperty(property, handlers);
    return true;
}

TListBox::TListBox(TComponent* owner) : TWinControl(owner)
{
    SetColor(clWindow);
    items_.OnChange = [this] {
        if (itemIndex_ >= items_.Count())
            itemIndex_ = -1;
        Changed(TChange::Items);
    };
}

void TListBox::SetItemIndex(int index)
{
    itemIndex_ = index >= 0 && index < items_.Count() ? index : -1;
    Changed(TChange::ItemIndex);
}

bool TListBox::SetProperty(const DescriptionProperty& property, const HandlerTable& handlers)
{
    if (property.name == "Items.Strings")
        items_.Assign(PropertyList(property));
    else if (property.name == "ItemHeight")
        itemHeight_ = PropertyInt(property);
    else
        return TWinControl::SetProperty(property, handlers);
    return true;
}

TStatusBar::TStatusBar(TComponent* owner) : TWinControl(owner) {}

void TStatusBar::SetSimplePanel(bool simplePanel)
{
    simplePanel_ = simplePanel;
    Changed(TChange::Style);
}

void TStatusBar::SetSimpleText(const std::string& text)
{
    simpleText_ = text;
    Changed(TChange::Text);
}

bool TStatusBar::SetProperty(const DescriptionProperty& property, const HandlerTable& handlers)
{
    if (property.name == "SimplePanel")
        simplePanel_ = PropertyBool(property);
    else if (property.name == "SimpleText")
        simpleText_ = PropertyString(property);
    else
        return TWinControl::SetProperty(property, handlers);
    return true;
}

}  // namespace forms
