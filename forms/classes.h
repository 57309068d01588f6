/* SPDX-License-Identifier: MIT */
// The toolkit's base classes: objects, owned components, string lists,
// colours and fonts, and the property readers of the form description.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "forms/description.h"
#include "forms/wintypes.h"

namespace forms {

class TObject {
public:
    virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

// A colour: a COLORREF ($00BBGGRR) or, with the top bit set, a system colour
// (the low byte is the COLOR_xxx index), as the classic toolkit stores them.
using TColor = std::uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clSystemColor = 0x80000000;
inline constexpr TColor clWindow = clSystemColor | 5;
inline constexpr TColor clWindowText = clSystemColor | 8;
inline constexpr TColor clBtnFace = clSystemColor | 15;
inline constexpr TColor clBtnText = clSystemColor | 18;

// The RGB value of a colour; system colours resolve to the classic defaults.
COLORREF ColorToRGB(TColor color);
// The colour a name such as "clTeal" stands for; false if unknown.
bool IdentToColor(std::string_view name, TColor& color);

enum class TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using enum TFontStyle;

struct TFont {
    std::string Name = "MS Sans Serif";
    int Height = -11;  // negative: character height in pixels at 96 dots per inch
    unsigned Style = 0;  // bits of TFontStyle
    TColor Color = clWindowText;

    bool Has(TFontStyle style) const { return (Style & static_cast<unsigned>(style)) != 0; }
    bool operator==(const TFont&) const = default;
};

// A list of strings that tells its owner when it changes.
class TStrings {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& operator[](int index) const { return items_.at(static_cast<std::size_t>(index)); }
    const std::vector<std::string>& Strings() const { return items_; }
    int Add(std::string text);
    void Clear();
    void Assign(std::vector<std::string> items);
    int IndexOf(std::string_view text) const;

    std::function<void()> OnChange;

private:
    std::vector<std::string> items_;
    void Changed();
};

class TComponent;

// Resolves the handler names of event properties while a form loads.
class HandlerTable {
public:
    void Add(std::string name, TNotifyEvent handler);
    // The handler `name`; raises EFormDescriptionError (at `line`) if none.
    const TNotifyEvent& Find(const std::string& name, int line) const;

private:
    std::vector<std::pair<std::string, TNotifyEvent>> handlers_;
};

// Components form the ownership tree: an owner deletes what it owns.
class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }
    TComponent* Owner() const { return owner_; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const { return components_.at(static_cast<std::size_t>(index)).get(); }
    // The owned component of that name (case-insensitive), or nullptr.
    TComponent* FindComponent(std::string_view name) const;

    // Applies one property of the form description; false if the class has
    // no such property.
    virtual bool SetProperty(const DescriptionProperty& property, const HandlerTable& handlers);
    // Called once every component of the form has its properties.
    virtual void Loaded() {}

private:
    std::string name_;
    TComponent* owner_;
    std::vector<std::unique_ptr<TComponent>> components_;
};

// Typed readers of description values; each raises EFormDescriptionError
// naming the property and its line when the value has another type.
int PropertyInt(const DescriptionProperty& property);
bool PropertyBool(const DescriptionProperty& property);
std::string PropertyString(const DescriptionProperty& property);
std::string PropertyIdent(const DescriptionProperty& property);
TColor PropertyColor(const DescriptionProperty& property);
std::vector<std::string> PropertyList(const DescriptionProperty& property);
// A set's members, each of which must be in `allowed`; returns their bits
// (member i of `allowed` is bit i).
unsigned PropertySet(const DescriptionProperty& property, const std::vector<std::string_view>& allowed);
// The index of an identifier among `allowed`.
int PropertyEnum(const DescriptionProperty& property, const std::vector<std::string_view>& allowed);
// Applies Font.Name, Font.Height, Font.Style, Font.Color; false if not a font property.
bool SetFontProperty(TFont& font, const DescriptionProperty& property);

}  // namespace forms
