// Character classes of the first 128 code points (digits, letters, name
// characters, white space, line ends, case), built at compile time, and the
// ASCII case mappings built on them. Used by every layer: the lexer, the
// attribute scanner, the configuration reader and the string routines.
#pragma once

#include <array>
#include <cstdint>

namespace varnel {

constexpr uint32_t ClassDigit = 1;
constexpr uint32_t ClassLetter = 2;
constexpr uint32_t ClassNameChar = 4;
constexpr uint32_t ClassWhite = 8;
constexpr uint32_t ClassNewline = 16;
constexpr uint32_t ClassLower = 32;
constexpr uint32_t ClassUpper = 64;

constexpr std::array<uint32_t, 128> make_char_classes() {
    std::array<uint32_t, 128> t{};
    for (int c = '0'; c <= '9'; ++c)
        t[c] |= ClassDigit | ClassNameChar;
    for (int c = 'a'; c <= 'z'; ++c)
        t[c] |= ClassLetter | ClassNameChar | ClassLower;
    for (int c = 'A'; c <= 'Z'; ++c)
        t[c] |= ClassLetter | ClassNameChar | ClassUpper;
    for (char c : {'-', '.', ':', '_'})
        t[static_cast<unsigned char>(c)] |= ClassNameChar;
    for (int c : {' ', '\t', '\n', '\f', '\r'})
        t[c] |= ClassWhite;
    for (int c : {'\n', '\f', '\r'})
        t[c] |= ClassNewline;
    return t;
}

// The class bits of the first 128 code points.
inline constexpr std::array<uint32_t, 128> char_class_table = make_char_classes();

// 0 for c < 0 or c >= 128.
inline uint32_t char_class(int c) {
    return static_cast<unsigned>(c) < 128 ? char_class_table[c] : 0;
}
inline bool is_white(int c) {
    return (char_class(c) & ClassWhite) != 0;
}
inline bool is_digit(int c) {
    return (char_class(c) & ClassDigit) != 0;
}
inline bool is_letter(int c) {
    return (char_class(c) & ClassLetter) != 0;
}
inline bool is_name_char(int c) {
    return (char_class(c) & ClassNameChar) != 0;
}
inline int to_lower(int c) {
    return (char_class(c) & ClassUpper) ? c + 32 : c;
}
inline int to_upper(int c) {
    return (char_class(c) & ClassLower) ? c - 32 : c;
}

} // namespace varnel
