// The input stream: turns the bytes of one input file into characters for the
// lexer, decoding the configured encoding, mapping Windows-1252 codes with a
// warning, keeping tab stops for the column count, dropping control characters, counting lines and
// columns, and allowing one character of push-back. UTF-8 is decoded
// strictly: every invalid sequence becomes U+FFFD with a warning, and a byte
// that does not continue a sequence is read again as the start of the next
// character. A file that starts with a UTF-16 byte order mark is decoded as
// UTF-16 whatever the configured encoding.
//
// The pipeline opens one stream per document over a FILE* it owns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "base/config.h"
#include "base/utf8.h"

namespace varnel {

struct Lexer;

constexpr int EndOfStream = -1;

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
    // The tab stops columns are counted with (the tab-size option).
    int32_t tab_size = 4;
    FILE* file = nullptr; // not owned
    Lexer* lexer = nullptr;
    uint64_t bytes_read = 0;             // bytes taken from the file so far
    Utf16Order utf16 = Utf16Order::None; // set by a UTF-16 byte order mark
    // Bytes read ahead and given back (byte order marks that were not,
    // bytes that ended a sequence they did not belong to), next one last.
    int held_count = 0;
    unsigned char held[8] = {};
};

InputStream* new_input_stream(FILE* file, CharEncoding encoding, int32_t tab_size = 4);
void free_input_stream(InputStream* stream);

int read_char(InputStream* stream);
void unread_char(int c, InputStream* stream);
bool is_end_of_stream(InputStream* stream);

} // namespace varnel
