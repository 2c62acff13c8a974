// Attribute and character-reference scanning, called by the lexer while it
// reads characters: scan_entity replaces a reference in the TextBuffer by the
// character it stands for; scan_attributes reads everything between a start
// tag's name and its ">" into an attribute list (newest first).
#pragma once

#include "model/tags.h"

namespace varnel {

struct Lexer;

// Lowers the ASCII capitals among the bytes [first, last) (names that were
// just read; without a branch per byte).
inline void lower_ascii_in_place(char* first, char* last) {
    for (; first != last; ++first) {
        const auto b = static_cast<unsigned char>(*first);
        *first = static_cast<char>(b + (static_cast<unsigned char>(b - 'A') < 26 ? 32 : 0));
    }
}
struct NodeAttribute;

// Called right after "&" has been appended to the TextBuffer.
void scan_entity(Lexer* lexer, WhitespaceMode mode);

// Called after the tag name; sets *is_empty when the tag ended with "/>".
NodeAttribute* scan_attributes(Lexer* lexer, bool* is_empty);

} // namespace varnel
