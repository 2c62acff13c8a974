// Attribute and character-reference scanning, called by the lexer while it
// reads characters: scan_entity replaces a reference in the TextBuffer by the
// character it stands for; scan_attributes reads everything between a start
// tag's name and its ">" into an attribute list (newest first).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "base/chars.h"
#include "input/stream.h"
#include "model/tags.h"

namespace varnel {

struct Lexer;

// How a byte is taken in a run of a tag or attribute name: 0 it is no name
// character, 1 a name character that lowering leaves, 2 a capital.
constexpr std::array<uint8_t, 256> make_name_run_classes() {
    std::array<uint8_t, 256> t{};
    for (int b = 0; b < 128; ++b)
        t[b] = (char_class_table[b] & ClassNameChar) == 0 ? 0
               : (char_class_table[b] & ClassUpper) != 0  ? 2
                                                          : 1;
    return t;
}
inline constexpr std::array<uint8_t, 256> name_run_classes = make_name_run_classes();

// Takes a run of name characters; sets *capitals when there are capitals in
// it.
inline std::string_view take_name_run(InputStream* in, bool* capitals) {
    unsigned seen = 0;
    const std::string_view run = take_plain_run(in, [&seen](unsigned char b) {
        const unsigned kind = name_run_classes[b];
        seen |= kind;
        return kind != 0;
    });
    *capitals = (seen & 2) != 0;
    return run;
}

// Lowers the ASCII capitals among the bytes [first, last).
inline void lower_ascii_in_place(char* first, char* last) {
    for (; first != last; ++first)
        *first = static_cast<char>(to_lower(static_cast<unsigned char>(*first)));
}

struct NodeAttribute;

// Called right after "&" has been appended to the TextBuffer.
void scan_entity(Lexer* lexer, WhitespaceMode mode);

// Called after the tag name; sets *is_empty when the tag ended with "/>".
NodeAttribute* scan_attributes(Lexer* lexer, bool* is_empty);

} // namespace varnel
