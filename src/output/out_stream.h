// The character layer of the printer: the OutputStream that encodes code
// points into bytes of the output encoding and holds the pending line
// (LineBuffer) with its wrap point, print_char which escapes each character
// by print mode, output encoding and entity options, and print_text for
// spans of the TextBuffer, which appends runs of bytes needing none of that
// at once. Encoded bytes collect in the stream's buffer and go to the sink
// a buffer at a time. Each print makes a stream of its own, so that
// documents printed at once share nothing. A character the encoding cannot hold is written as a
// numeric character reference, never cut down to a byte, and UTF-8 output is always well-formed.
// Line ends are always a single line feed.
#pragma once

#include <array>
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

struct SlideState;

struct OutputStream {
    OutputStream() = default;
    OutputStream(const OutputStream&) = delete;
    OutputStream& operator=(const OutputStream&) = delete;
    ~OutputStream();

    CharEncoding encoding = CharEncoding::Ascii;
    Iso2022State iso2022_state = Iso2022Ascii;
    FILE* sink = nullptr;            // not owned
    const Config* options = nullptr; // the document's options; not owned
    // The pending line.
    LineBuffer line;
    // The wrap column in force (the wrap option; printers change it for a
    // while).
    int32_t wrap_column = 68;
    // XML output whose doctype defines no entity names (<!DOCTYPE html>):
    // every character reference is numeric. Set by the printer for each
    // document.
    bool entity_names_undeclared = false;
    // The slide being printed, when the document is split into slides.
    SlideState* slides = nullptr;
    // Encoded bytes not yet handed to the sink (OutputBufferSize bytes,
    // made on the first write).
    unsigned char* buffer = nullptr;
    size_t buffer_used = 0;
};

// The bytes collected before one write to the sink.
constexpr size_t OutputBufferSize = 16384;

// Print modes passed with every character.
using PrintMode = uint32_t;
constexpr PrintMode PrintNormal = 0;
constexpr PrintMode PrintPreformatted = 1;
constexpr PrintMode PrintComment = 2;
constexpr PrintMode PrintAttrValue = 4;
constexpr PrintMode PrintNoWrap = 8;
constexpr PrintMode PrintCData = 16;

void write_char(OutputStream* out, uint32_t c);
// Hands the bytes collected so far to the sink: done when the output is
// complete (and by the destructor), before the sink is closed or written
// to otherwise.
void flush_output(OutputStream* out);
// Grows the pending line so that it holds at least `needed` slots plus the
// spare one.
void grow_line(OutputStream* out, uint32_t needed);
inline void add_char(OutputStream* out, uint32_t c) {
    LineBuffer& line = out->line;
    if (line.length + 1 >= line.capacity) grow_line(out, line.length + 1);
    line.chars[line.length++] = c;
}
// Appends bytes each of which is one character (ASCII or a byte of a raw
// encoding).
void add_bytes(OutputStream* out, const unsigned char* bytes, size_t n);
void add_string(OutputStream* out, const char* s);
void flush_line(OutputStream* out, uint32_t indent);
void flush_pending_line(OutputStream* out, uint32_t indent);
void break_line_at_wrap_point(OutputStream* out, uint32_t indent);
void break_in_attr_value(OutputStream* out, uint32_t indent, bool in_string);
void print_char(OutputStream* out, uint32_t c, PrintMode mode);
// Whether the "&" at bytes[i] must be written "&amp;" although ampersands
// are written as they stand (entities kept as written): in XML output one
// that starts no complete reference is not well-formed.
bool bare_ampersand_in_xml(const OutputStream* out, const unsigned char* bytes, size_t i,
                           size_t end, PrintMode mode);
void print_text(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer, uint32_t start,
                uint32_t end);

// Classes of the bytes that print_char appends as they are: visible ASCII
// other than markup characters and quotes, and tab, always; the others in
// some modes and with some options only (plain_byte_mask tells which).
enum PlainByte : uint8_t {
    PlainAlways = 1,
    PlainSpace = 2,
    PlainQuote = 4,
    PlainMarkup = 8,
};
extern const std::array<uint8_t, 256> plain_byte_classes;
// The classes of bytes that are plain in `mode` with the stream's options.
uint8_t plain_byte_mask(const OutputStream* out, PrintMode mode);
// Appends the run of plain bytes (by `plain`, from plain_byte_mask) that
// starts at bytes[i], breaking the line at its wrap point and marking new
// wrap points at spaces just as print_text does character by character;
// returns the index of the first byte not appended.
size_t add_plain_run(OutputStream* out, uint32_t indent, const unsigned char* bytes, size_t i,
                     size_t end, uint8_t plain, PrintMode mode);
// True while indent + length < wrap column.
inline bool line_fits(const OutputStream* out, uint32_t indent) {
    return static_cast<int64_t>(indent) + out->line.length < static_cast<int64_t>(out->wrap_column);
}

} // namespace varnel
