// The input stream: turns the bytes of one input file into characters for the
// lexer, decoding the configured encoding, mapping Windows-1252 codes with a
// warning, expanding tabs, dropping control characters, counting lines and
// columns, and allowing one character of push-back. Also the UTF-8 encoder
// and decoder shared with the lexer's TextBuffer and the printer.
//
// The driver opens one stream per document over a FILE* it owns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "driver/config.h"

namespace varnel {

struct Lexer;

constexpr int EndOfStream = -1;

struct InputStream {
    int iso_state = 0;
    bool char_pushed = false;
    int pushed_value = 0;
    int pending_spaces = 0;
    int last_column = 1;
    int column = 1;
    int line = 1;
    CharEncoding encoding = CharEncoding::Ascii;
    FILE* file = nullptr; // not owned
    Lexer* lexer = nullptr;
    bool started = false;    // the first byte has been asked for
    uint64_t bytes_read = 0; // bytes taken from the file so far
    int held_bytes = 0;      // bytes read ahead at the start, not yet delivered
    int held_next = 0;       // index of the next of them to deliver
    unsigned char held[3] = {};
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
// leaves *i on its last byte. A sequence cut short, or broken by a byte that
// does not continue it, ends there; a byte that leads no sequence stands for
// itself.
uint32_t decode_char_at(const unsigned char* text, size_t* i, size_t end);
// Writes 1 to 5 bytes and returns the position after the last one.
unsigned char* encode_utf8(unsigned char* buffer, uint32_t code);

} // namespace varnel
