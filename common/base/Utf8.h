#pragma once
// UTF-8 as the program keeps its texts: names typed, read from files and
// drawn are bytes in UTF-8. Every reader here stops at a terminator or the
// given end, whichever comes first, and takes a byte that starts no
// well-formed character as a character of its own, so that damaged text
// still measures, draws and cuts one mark per bad byte.
#include <cstddef>

namespace utf8 {

// A code point no character has: what a bad byte decodes to.
constexpr char32_t kBad = 0xFFFFFFFFu;

struct Decoded {
    char32_t code;  // kBad for a byte that starts no well-formed character
    int bytes;      // 1..4; 1 for a bad byte
    bool cutShort;  // a well-formed start that the end cut off
};

// The character at p, reading no further than end (nor past a 0 byte).
// Overlong forms, surrogates and values past U+10FFFF are bad bytes.
Decoded Next(const char* p, const char* end);

// A character that types something: a code point that is no control.
constexpr bool Printable(char32_t c)
{
    return c >= 32 && c != 127 && !(c >= 0x80 && c < 0xA0) && !(c >= 0xD800 && c <= 0xDFFF) && c <= 0x10FFFF;
}

// Inline for the text drawing's sake: ASCII takes no call.
inline Decoded NextFast(const char* p, const char* end)
{
    const auto b = static_cast<unsigned char>(*p);
    return b < 0x80 ? Decoded{b, 1, false} : Next(p, end);
}

// The longest head of text, at most maxBytes long, that ends between two
// characters: a character that would not fit whole is left out.
size_t CutLength(const char* text, size_t maxBytes);

// text cut as CutLength does into out (size bytes with the terminator).
void CopyCut(char* out, size_t size, const char* text);

// Bytes of code point c in UTF-8 written to out (at most 4); 0 for a value
// no character has.
int Encode(char32_t c, char* out);

// Where the character before byte `pos` of text starts (0 at the start).
size_t PreviousStart(const char* text, size_t pos);

// Code point c typed into text (at most maxBytes long, terminated) at byte
// `at`: the bytes it took, 0 when it does not fit whole.
int InsertAt(char* text, size_t maxBytes, size_t at, char32_t c);

}  // namespace utf8
