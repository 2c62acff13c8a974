// The input stream: turns the bytes of one input file into characters for the
// lexer, decoding the configured encoding, mapping Windows-1252 codes with a
// warning, keeping tab stops for the column count, dropping control characters, counting lines and
// columns, and allowing one character of push-back. UTF-8 is decoded
// strictly: every invalid sequence becomes U+FFFD with a warning, and a byte
// that does not continue a sequence is read again as the start of the next
// character. A file that starts with a UTF-16 byte order mark is decoded as
// UTF-16 whatever the configured encoding. Also the UTF-8 encoder and
// decoder shared with the lexer's TextBuffer and the printer.
//
// The driver opens one stream per document over a FILE* it owns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "base/config.h"

namespace varnel {

struct Lexer;

constexpr int EndOfStream = -1;
// The character that stands for bytes that decode to no character.
constexpr int ReplacementChar = 0xFFFD;

// The byte order of a document that starts with a UTF-16 byte order mark.
enum class Utf16Order : uint8_t { None, LittleEndian, BigEndian };

struct InputStream {
    int iso_state = 0;
    bool char_pushed = false;
    int pushed_value = 0;
    int last_column = 1;
    int column = 1;
    int line = 1;
    CharEncoding encoding = CharEncoding::Ascii;
    FILE* file = nullptr; // not owned
    Lexer* lexer = nullptr;
    uint64_t bytes_read = 0;             // bytes taken from the file so far
    Utf16Order utf16 = Utf16Order::None; // set by a UTF-16 byte order mark
    // Bytes read ahead and given back (byte order marks that were not,
    // bytes that ended a sequence they did not belong to), next one last.
    int held_count = 0;
    unsigned char held[8] = {};
};

InputStream* new_input_stream(FILE* file, CharEncoding encoding);
void free_input_stream(InputStream* stream);

int read_char(InputStream* stream);
void unread_char(int c, InputStream* stream);
bool is_end_of_stream(InputStream* stream);

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
