// SPDX-License-Identifier: MIT
#include "forms/menus.h"

#include "forms/backend.h"
#include "forms/forms.h"

namespace forms {

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {}

void TMenuItem::Add(TMenuItem* item)
{
    item->parent_ = this;
    items_.push_back(item);
}

bool TMenuItem::Click()
{
    if (!enabled_ || !visible_ || IsLine())
        return false;
    if (OnClick)
        Application->Dispatch([&] { OnClick(this); });
    return true;
}

bool TMenuItem::SetProperty(const DescriptionProperty& property, const HandlerTable& handlers)
{
    if (property.name == "Caption")
        caption_ = PropertyString(property);
    else if (property.name == "Enabled")
        enabled_ = PropertyBool(property);
    else if (property.name == "Visible")
        visible_ = PropertyBool(property);
    else if (property.name == "Checked")
        checked_ = PropertyBool(property);
    else if (property.name == "OnClick")
        OnClick = handlers.Find(PropertyIdent(property), property.line);
    else
        return TComponent::SetProperty(property, handlers);
    return true;
}

TMenu::TMenu(TComponent* owner) : TComponent(owner) {}

void TPopupMenu::Popup(int x, int y)
{
    ++popupCount_;
    lastPoint_ = POINT{x, y};
    if (OnPopup)
        OnPopup(this);
    backend::PopupMenu(*this, x, y);
}

bool TPopupMenu::SetProperty(const DescriptionProperty& property, const HandlerTable& handlers)
{
    if (property.name == "OnPopup")
        OnPopup = handlers.Find(PropertyIdent(property), property.line);
    else
        return TMenu::SetProperty(property, handlers);
    return true;
}

}  // namespace forms
