/* SPDX-License-Identifier: MIT */
// The form description format: a text tree of objects and their properties.
//
//   object FMain: TFMain
//     Caption = 'TCR7750 DLL Test'
//     Font.Height = -11
//     Font.Style = [fsBold]
//     OnCreate = FormCreate
//     object ListBox1: TListBox
//       Items.Strings = (
//         'first'
//         'second')
//     end
//   end
//
// Values: integers (decimal, or $hex), strings in single quotes ('' is a
// quote, #39-style character codes may be glued to quoted parts, '+' joins
// parts across lines), identifiers (True, clRed, bvLowered), sets [a, b] and
// string lists ( 'a' 'b' ).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "forms/sysutils.h"

namespace forms {

// A malformed description; the message starts with "line N: ".
class EFormDescriptionError : public Exception {
public:
    EFormDescriptionError(int line, const std::string& message);
    int Line() const { return line_; }

private:
    int line_;
};

struct DescriptionIdent {
    std::string name;
    bool operator==(const DescriptionIdent&) const = default;
};
struct DescriptionSet {
    std::vector<std::string> members;
    bool operator==(const DescriptionSet&) const = default;
};
struct DescriptionList {
    std::vector<std::string> items;
    bool operator==(const DescriptionList&) const = default;
};

using DescriptionValue =
    std::variant<std::int64_t, std::string, DescriptionIdent, DescriptionSet, DescriptionList>;

struct DescriptionProperty {
    std::string name;  // may be dotted: "Font.Height", "Items.Strings"
    DescriptionValue value;
    int line = 0;
};

struct DescriptionObject {
    std::string name;
    std::string className;
    std::vector<DescriptionProperty> properties;
    std::vector<DescriptionObject> children;
    int line = 0;

    const DescriptionProperty* Find(std::string_view propertyName) const;
};

// Parses one top-level object; raises EFormDescriptionError.
DescriptionObject ParseFormDescription(std::string_view text);

}  // namespace forms
