// Character classes of the first 128 code points, used by the lexer, the
// attribute scanner and the configuration reader.
#include "base/config.h"
#include "input/lexer.h"

namespace varnel {

namespace {

constexpr std::array<uint32_t, 128> make_classes() {
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

} // namespace

// Built at compile time so that the string routines can fold case before
// start-up has run.
constexpr std::array<uint32_t, 128> char_class_table = make_classes();

void init_char_classes() {}

int fold_case(int c, bool upper) {
    if (options.input_xml) return c;
    return upper ? to_upper(c) : to_lower(c);
}

} // namespace varnel
