// The platform's string type. Text is held as UTF-8; positions and counts are in
// characters (Unicode code points), the first character at position 1, so that no
// operation can split a character. c_str() is never null.
#pragma once

#include <concepts>
#include <iosfwd>
#include <string>
#include <string_view>

class AnsiString {
public:
    AnsiString() = default;
    AnsiString(const char* text); // null gives the empty string
    AnsiString(std::string_view text) : Text(text) {}
    AnsiString(std::string text) : Text(std::move(text)) {}
    // One character.
    AnsiString(char c) : Text(1, c) {}
    // The value in decimal, with a leading "-" when negative.
    template <std::integral I>
    requires(!std::same_as<I, char> && !std::same_as<I, bool>) AnsiString(I value)
        : Text(std::to_string(value)) {}

    // Number of characters.
    int Length() const;
    bool IsEmpty() const { return Text.empty(); }
    // Position of the first occurrence of `sub`, counted from 1; 0 when absent or empty.
    int Pos(const AnsiString& sub) const;
    // `count` characters from position `start` (a start below 1 counts as 1), clipped to
    // the end of the text; empty when `start` lies past the end or `count` is not positive.
    AnsiString SubString(int start, int count) const;

    const char* c_str() const noexcept { return Text.c_str(); }
    const std::string& Utf8() const noexcept { return Text; }

    AnsiString& operator+=(const AnsiString& other) {
        Text += other.Text;
        return *this;
    }
    friend AnsiString operator+(AnsiString a, const AnsiString& b) { return a += b; }
    friend bool operator==(const AnsiString& a, const AnsiString& b) { return a.Text == b.Text; }

private:
    std::string Text;
};

using String = AnsiString;

std::ostream& operator<<(std::ostream& out, const AnsiString& s);
