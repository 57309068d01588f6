// SPDX-License-Identifier: MIT
#include "forms/classes.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace forms {

namespace {

bool SameText(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

[[noreturn]] void WrongValue(const DescriptionProperty& property, const std::string& expected)
{
    throw EFormDescriptionError(property.line, "property " + property.name + ": expected " + expected);
}

}  // namespace

COLORREF ColorToRGB(TColor color)
{
    if ((color & clSystemColor) == 0)
        return color;
    switch (color & 0xFF) {
    case 5:  // window background
        return 0xFFFFFF;
    case 8:  // window text
    case 18:  // button text
        return 0x000000;
    default:  // button face and the other 3-D colours
        return 0xC8D0D4;
    }
}

bool IdentToColor(std::string_view name, TColor& color)
{
    static const std::pair<std::string_view, TColor> names[] = {
        {"clBlack", clBlack},   {"clMaroon", clMaroon},         {"clGreen", clGreen},
        {"clOlive", clOlive},   {"clNavy", clNavy},             {"clPurple", clPurple},
        {"clTeal", clTeal},     {"clGray", clGray},             {"clSilver", clSilver},
        {"clRed", clRed},       {"clLime", clLime},             {"clYellow", clYellow},
        {"clBlue", clBlue},     {"clFuchsia", clFuchsia},       {"clAqua", clAqua},
        {"clWhite", clWhite},   {"clWindow", clWindow},         {"clWindowText", clWindowText},
        {"clBtnFace", clBtnFace}, {"clBtnText", clBtnText},
    };
    for (const auto& [colorName, value] : names)
        if (SameText(colorName, name)) {
            color = value;
            return true;
        }
    return false;
}

int TStrings::Add(std::string text)
{
    items_.push_back(std::move(text));
    Changed();
    return Count() - 1;
}

void TStrings::Clear()
{
    items_.clear();
    Changed();
}

void TStrings::Assign(std::vector<std::string> items)
{
    items_ = std::move(items);
    Changed();
}

int TStrings::IndexOf(std::string_view text) const
{
    for (int i = 0; i < Count(); ++i)
        if (SameText(items_[static_cast<std::size_t>(i)], text))
            return i;
    return -1;
}

void TStrings::Changed()
{
    if (OnChange)
        OnChange();
}

void HandlerTable::Add(std::string name, TNotifyEvent handler)
{
    handlers_.emplace_back(std::move(name), std::move(handler));
}

const TNotifyEvent& HandlerTable::Find(const std::string& name, int line) const
{
    for (const auto& [handlerName, handler] : handlers_)
        if (SameText(handlerName, name))
            return handler;
    throw EFormDescriptionError(line, "no handler named " + name);
}

TComponent::TComponent(TComponent* owner) : owner_(owner)
{
    if (owner_)
        owner_->components_.emplace_back(this);
}

TComponent::~TComponent()
{
    // Owned components go first, newest first, each unhooked from us so
    // that it does not try to leave our list while we empty it.
    while (!components_.empty()) {
        std::unique_ptr<TComponent> child = std::move(components_.back());
        components_.pop_back();
        child->owner_ = nullptr;
    }
    if (owner_) {
        auto& siblings = owner_->components_;
        const auto mine = std::ranges::find_if(siblings, [this](const auto& c) { return c.get() == this; });
        if (mine != siblings.end()) {
            (void)mine->release();
            siblings.erase(mine);
        }
    }
}

TComponent* TComponent::FindComponent(std::string_view name) const
{
    for (const auto& component : components_)
        if (SameText(component->Name(), name))
            return component.get();
    return nullptr;
}

bool TComponent::SetProperty(const DescriptionProperty& property, const HandlerTable&)
{
    // Design-time properties: non-visual components keep their place on
    // the designer's sheet in Left and Top.
    static constexpr std::string_view ignored[] = {"Tag", "Left", "Top", "DesignSize"};
    if (property.name == "Name") {
        name_ = PropertyString(property);
        return true;
    }
    return std::ranges::any_of(ignored, [&](std::string_view n) { return n == property.name; });
}

int PropertyInt(const DescriptionProperty& property)
{
    if (const auto* value = std::get_if<std::int64_t>(&property.value))
        return static_cast<int>(*value);
    WrongValue(property, "an integer");
}

bool PropertyBool(const DescriptionProperty& property)
{
    const std::string ident = PropertyIdent(property);
    if (SameText(ident, "True"))
        return true;
    if (SameText(ident, "False"))
        return false;
    WrongValue(property, "True or False");
}

std::string PropertyString(const DescriptionProperty& property)
{
    if (const auto* value = std::get_if<std::string>(&property.value))
        return *value;
    WrongValue(property, "a string");
}

std::string PropertyIdent(const DescriptionProperty& property)
{
    if (const auto* value = std::get_if<DescriptionIdent>(&property.value))
        return value->name;
    WrongValue(property, "an identifier");
}

TColor PropertyColor(const DescriptionProperty& property)
{
    if (const auto* value = std::get_if<std::int64_t>(&property.value))
        return static_cast<TColor>(*value);
    TColor color = 0;
    if (const auto* value = std::get_if<DescriptionIdent>(&property.value); value && IdentToColor(value->name, color))
        return color;
    WrongValue(property, "a colour");
}

std::vector<std::string> PropertyList(const DescriptionProperty& property)
{
    if (const auto* value = std::get_if<DescriptionList>(&property.value))
        return value->items;
    WrongValue(property, "a list of strings");
}

unsigned PropertySet(const DescriptionProperty& property, const std::vector<std::string_view>& allowed)
{
    const auto* value = std::get_if<DescriptionSet>(&property.value);
    if (!value)
        WrongValue(property, "a set");
    unsigned bits = 0;
    for (const auto& member : value->members) {
        const auto found = std::ranges::find_if(allowed, [&](std::string_view a) { return SameText(a, member); });
        if (found == allowed.end())
            throw EFormDescriptionError(property.line, "property " + property.name + ": unknown member " + member);
        bits |= 1u << (found - allowed.begin());
    }
    return bits;
}

int PropertyEnum(const DescriptionProperty& property, const std::vector<std::string_view>& allowed)
{
    const std::string ident = PropertyIdent(property);
    const auto found = std::ranges::find_if(allowed, [&](std::string_view a) { return SameText(a, ident); });
    if (found == allowed.end())
        throw EFormDescriptionError(property.line, "property " + property.name + ": unknown value " + ident);
    return static_cast<int>(found - allowed.begin());
}

bool SetFontProperty(TFont& font, const DescriptionProperty& property)
{
    if (property.name == "Font.Name")
        font.Name = PropertyString(property);
    else if (property.name == "Font.Height")
        font.Height = PropertyInt(property);
    else if (property.name == "Font.Color")
        font.Color = PropertyColor(property);
    else if (property.name == "Font.Style")
        font.Style = PropertySet(property, {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"});
    else if (property.name == "Font.Charset")
        (void)PropertyIdent(property);  // the programs use the default character set
    else
        return false;
    return true;
}

}  // namespace forms
