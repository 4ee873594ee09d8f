#include "vcl_string.h"

#include <ostream>

namespace {

bool StartsCharacter(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
}

// Byte offset of the character with zero-based index `index`; the text's size when the
// text has fewer characters.
std::size_t ByteOffset(const std::string& text, int index) {
    std::size_t i = 0;
    for (int seen = -1; i < text.size(); ++i) {
        if (StartsCharacter(text[i]) && ++seen == index)
            return i;
    }
    return text.size();
}

int CharacterCount(std::string_view text) {
    int n = 0;
    for (char c : text)
        n += StartsCharacter(c) ? 1 : 0;
    return n;
}

} // namespace

AnsiString::AnsiString(const char* text) : Text(text ? text : "") {}

int AnsiString::Length() const {
    return CharacterCount(Text);
}

int AnsiString::Pos(const AnsiString& sub) const {
    if (sub.Text.empty())
        return 0;
    const std::size_t at = Text.find(sub.Text);
    if (at == std::string::npos)
        return 0;
    return CharacterCount(std::string_view(Text).substr(0, at)) + 1;
}

AnsiString AnsiString::SubString(int start, int count) const {
    if (start < 1)
        start = 1;
    if (count <= 0)
        return {};
    const std::size_t from = ByteOffset(Text, start - 1);
    // Characters past the end clip to it; computed in a wider type so that a huge count
    // cannot overflow.
    const long long last = static_cast<long long>(start) - 1 + count;
    const std::size_t to =
        last >= CharacterCount(Text) ? Text.size() : ByteOffset(Text, static_cast<int>(last));
    return AnsiString(Text.substr(from, to - from));
}

std::ostream& operator<<(std::ostream& out, const AnsiString& s) {
    return out << s.Utf8();
}
