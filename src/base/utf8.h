// UTF-8: the encoder and the decoders shared by the input stream, the
// lexer's TextBuffer, the reports and the printer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnel {

// The character that stands for bytes that decode to no character.
constexpr int ReplacementChar = 0xFFFD;

// The well-formed UTF-8 sequences: for each lead byte, the number of bytes
// that follow, the payload of the lead, and the range the first following
// byte must lie in (narrower than 80-BF after E0, ED, F0 and F4, which
// rules out overlong forms, surrogates and values beyond U+10FFFF).
struct Utf8Lead {
    int following;
    uint32_t payload;
    unsigned lower;
    unsigned upper;
};

// Describes the sequence `lead` starts; false for a byte that starts none.
bool utf8_lead(unsigned lead, Utf8Lead* info);

// Number of bytes after the first that belong to the sequence starting at
// `bytes` (0 for a single byte); stores the code point.
int decode_utf8(const unsigned char* bytes, uint32_t* code);
// Decodes the character at text[*i] (never reading at or past `end`) and
// leaves *i on its last byte. A byte that does not start a well-formed
// sequence (a stray or cut-off one, an overlong form, a surrogate, a value
// beyond U+10FFFF) stands for itself as a Latin-1 character, so the result
// is always a Unicode scalar value and no byte is ever swallowed.
uint32_t decode_char_at(const unsigned char* text, size_t* i, size_t end);
// True for the code points that UTF-8 can carry: not a surrogate, not
// beyond U+10FFFF.
inline bool is_unicode_scalar(uint32_t code) {
    return code < 0xD800 || (code > 0xDFFF && code <= 0x10FFFF);
}
// Writes 1 to 4 bytes and returns the position after the last one; a code
// point that is not a Unicode scalar value is written as U+FFFD.
unsigned char* encode_utf8(unsigned char* buffer, uint32_t code);

} // namespace varnel
