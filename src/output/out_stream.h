// The character layer of the printer: the single pending line (LineBuffer)
// with its wrap point, print_char which escapes each character by print mode,
// output encoding and entity options, print_text for spans of the TextBuffer,
// and the OutputStream that encodes code points into bytes of the output
// encoding. A character the encoding cannot hold is written as a numeric
// character reference, never cut down to a byte, and UTF-8 output is always
// well-formed. Line ends are always a single line feed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "base/config.h"
#include "input/stream.h"

namespace varnel {

struct Lexer;

enum Iso2022State : int {
    Iso2022Ascii = 0,
    Iso2022Esc = 1,
    Iso2022EscDollar = 2,
    Iso2022EscDollarParen = 3,
    Iso2022EscParen = 4,
    Iso2022NonAscii = 5,
};

struct OutputStream {
    CharEncoding encoding = CharEncoding::Ascii;
    Iso2022State iso2022_state = Iso2022Ascii;
    FILE* sink = nullptr; // not owned
};

struct LineBuffer {
    uint32_t* chars = nullptr;
    uint32_t capacity = 0;
    uint32_t length = 0;
    uint32_t wrap_point = 0; // 0: no break point
    bool in_string = false;
    // The pending line continues something written as it stands (a
    // comment, a server block, an attribute value, a script's end tag):
    // it is written without indentation, which would otherwise be read
    // back as part of it and grow on every run.
    bool verbatim = false;
};

extern LineBuffer line_buffer;

// Print modes passed with every character.
using PrintMode = uint32_t;
constexpr PrintMode PrintNormal = 0;
constexpr PrintMode PrintPreformatted = 1;
constexpr PrintMode PrintComment = 2;
constexpr PrintMode PrintAttrValue = 4;
constexpr PrintMode PrintNoWrap = 8;
constexpr PrintMode PrintCData = 16;

void write_char(OutputStream* out, uint32_t c);
void add_char(uint32_t c);
void add_string(const char* s);
void flush_line(OutputStream* out, uint32_t indent);
void flush_pending_line(OutputStream* out, uint32_t indent);
void break_line_at_wrap_point(OutputStream* out, uint32_t indent);
void break_in_attr_value(OutputStream* out, uint32_t indent, bool in_string);
void print_char(uint32_t c, PrintMode mode);
// Whether the "&" at bytes[i] must be written "&amp;" although ampersands
// are written as they stand (entities kept as written): in XML output one
// that starts no complete reference is not well-formed.
bool bare_ampersand_in_xml(const unsigned char* bytes, size_t i, size_t end, PrintMode mode);
void print_text(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer, uint32_t start,
                uint32_t end);
void free_line_buffer();

// The wrap column in force (the wrap option; printers change it for a while).
extern int32_t wrap_column;
// XML output whose doctype defines no entity names (<!DOCTYPE html>): every
// character reference is numeric. Set by the printer for each document.
extern bool entity_names_undeclared;
// True while indent + length < wrap column.
bool line_fits(uint32_t indent);

} // namespace varnel
