// Character entity names and the byte-to-Unicode tables for Windows-1252
// (bytes 0x80..0x9F) and MacRoman. The indexes by name and by code are
// made by the compiler; the lexer resolves references with entity_code and
// the printer names characters with entity_name.
#pragma once

#include <cstdint>

namespace varnel {

struct EntityDef {
    const char* name;
    uint32_t code;
};

// The 252 HTML 4.01 character entities followed by an end row {null, 0}.
extern const EntityDef entity_table[];

// Code points for bytes 0x80..0x9F; 0 marks the unassigned positions.
extern const uint32_t windows1252_table[32];
// Code points for every byte under MacRoman.
extern const uint32_t mac_roman_table[256];

// `text` starts with "&" and lacks the closing ";": "&amp", "&#65", "&#x41".
// Returns the code point, or 0 when there is none; a number too large for
// 32 bits gives 0, as an unknown reference. With `xml`, the names XML
// predefines ("apos") are known as well.
int32_t entity_code(const char* text, bool xml = false);

// The first entity whose code is `code`, or null (a table lookup).
const char* entity_name(uint32_t code);

} // namespace varnel
