// SPDX-License-Identifier: MIT
#include "forms/description.h"

#include <cctype>

namespace forms {

EFormDescriptionError::EFormDescriptionError(int line, const std::string& message)
    : Exception("line " + std::to_string(line) + ": " + message), line_(line)
{
}

const DescriptionProperty* DescriptionObject::Find(std::string_view propertyName) const
{
    for (const auto& property : properties)
        if (property.name == propertyName)
            return &property;
    return nullptr;
}

namespace {

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    DescriptionObject ParseRoot()
    {
        SkipBlanks();
        DescriptionObject root = ParseObject();
        SkipBlanks();
        if (!AtEnd())
            Fail("text after the final 'end'");
        return root;
    }

private:
    std::string_view text_;
    std::size_t at_ = 0;
    int line_ = 1;

    [[noreturn]] void Fail(const std::string& message) const { throw EFormDescriptionError(line_, message); }

    bool AtEnd() const { return at_ >= text_.size(); }
    char Peek() const { return AtEnd() ? '\0' : text_[at_]; }

    void SkipBlanks()
    {
        while (!AtEnd()) {
            const char c = text_[at_];
            if (c == '\n')
                ++line_;
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
                break;
            ++at_;
        }
    }

    void Expect(char c)
    {
        SkipBlanks();
        if (Peek() != c)
            Fail(std::string("expected '") + c + "'");
        ++at_;
    }

    static bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

    // A name, possibly dotted (Font.Height).
    std::string Name()
    {
        SkipBlanks();
        const std::size_t start = at_;
        while (!AtEnd() && (IsNameChar(text_[at_]) || (text_[at_] == '.' && at_ > start)))
            ++at_;
        if (at_ == start)
            Fail("expected a name");
        return std::string(text_.substr(start, at_ - start));
    }

    DescriptionObject ParseObject()
    {
        DescriptionObject object;
        object.line = line_;
        if (!EqualNoCase(Name(), "object"))
            Fail("expected 'object'");
        object.name = Name();
        Expect(':');
        object.className = Name();
        for (;;) {
            SkipBlanks();
            if (AtEnd())
                Fail("missing 'end' of object " + object.name);
            const std::size_t mark = at_;
            const int markLine = line_;
            const std::string word = Name();
            if (EqualNoCase(word, "end"))
                return object;
            if (EqualNoCase(word, "object")) {
                at_ = mark;
                line_ = markLine;
                object.children.push_back(ParseObject());
                continue;
            }
            DescriptionProperty property;
            property.name = word;
            property.line = markLine;
            Expect('=');
            property.value = ParseValue();
            object.properties.push_back(std::move(property));
        }
    }

    DescriptionValue ParseValue()
    {
        SkipBlanks();
        const char c = Peek();
        if (c == '\'' || c == '#')
            return ParseString();
        if (c == '[')
            return ParseSet();
        if (c == '(')
            return ParseList();
        if (c == '-' || c == '+' || c == '$' || std::isdigit(static_cast<unsigned char>(c)))
            return ParseInteger();
        if (IsNameChar(c))
            return DescriptionIdent{Name()};
        Fail("expected a value");
    }

    std::int64_t ParseInteger()
    {
        bool negative = false;
        if (Peek() == '-' || Peek() == '+')
            negative = text_[at_++] == '-';
        const bool hex = Peek() == '$';
        if (hex)
            ++at_;
        const std::size_t start = at_;
        std::int64_t value = 0;
        while (!AtEnd() && std::isxdigit(static_cast<unsigned char>(text_[at_]))) {
            const char d = text_[at_];
            if (!hex && !std::isdigit(static_cast<unsigned char>(d)))
                break;
            const int digit = std::isdigit(static_cast<unsigned char>(d)) ? d - '0' : std::toupper(d) - 'A' + 10;
            value = value * (hex ? 16 : 10) + digit;
            if (value > 0xFFFFFFFFLL)
                Fail("number out of range");
            ++at_;
        }
        if (at_ == start || IsNameChar(Peek()) || Peek() == '.')
            Fail("malformed number");
        return negative ? -value : value;
    }

    // One string: quoted parts and #nn characters, joined by '+'.
    std::string ParseString()
    {
        std::string result;
        for (;;) {
            SkipBlanks();
            if (Peek() != '\'' && Peek() != '#')
                Fail("expected a string");
            while (Peek() == '\'' || Peek() == '#') {
                if (Peek() == '\'')
                    result += QuotedPart();
                else
                    result += CharacterCode();
            }
            SkipBlanks();
            if (Peek() != '+')
                return result;
            ++at_;
        }
    }

    std::string QuotedPart()
    {
        ++at_;  // opening quote
        std::string part;
        for (;;) {
            if (AtEnd() || Peek() == '\n')
                Fail("unterminated string");
            const char c = text_[at_++];
            if (c != '\'') {
                part += c;
                continue;
            }
            if (Peek() != '\'')
                return part;
            part += '\'';
            ++at_;
        }
    }

    std::string CharacterCode()
    {
        ++at_;  // '#'
        const std::size_t start = at_;
        int code = 0;
        while (!AtEnd() && std::isdigit(static_cast<unsigned char>(Peek()))) {
            code = code * 10 + (text_[at_++] - '0');
            if (code > 255)
                Fail("character code out of range");
        }
        if (at_ == start)
            Fail("expected a character code after '#'");
        return std::string(1, static_cast<char>(code));
    }

    DescriptionSet ParseSet()
    {
        ++at_;  // '['
        DescriptionSet set;
        SkipBlanks();
        if (Peek() == ']') {
            ++at_;
            return set;
        }
        for (;;) {
            set.members.push_back(Name());
            SkipBlanks();
            if (Peek() == ']') {
                ++at_;
                return set;
            }
            Expect(',');
        }
    }

    DescriptionList ParseList()
    {
        ++at_;  // '('
        DescriptionList list;
        for (;;) {
            SkipBlanks();
            if (AtEnd())
                Fail("missing ')'");
            if (Peek() == ')') {
                ++at_;
                return list;
            }
            list.items.push_back(ParseString());
        }
    }
};

}  // namespace

DescriptionObject ParseFormDescription(std::string_view text)
{
    return Parser(text).ParseRoot();
}

}  // namespace forms
