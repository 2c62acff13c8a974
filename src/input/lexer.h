// The lexer: cuts the character stream of one document into tokens (text,
// start/end/empty tags with attributes, comments, doctype, processing
// instructions, CDATA and marked sections, ASP/JSTE/PHP blocks) and keeps the
// per-document state: the TextBuffer that holds all document text, the report
// counters and advice flags, the candidate HTML versions, the inline stack and
// the generated style rules.
//
// The tree builders pull tokens with get_token, passing the white-space mode
// of the element being parsed, and may push the last one back. The driver
// creates one lexer per document and releases it after the tree.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "model/node.h"
#include "model/tags.h"

namespace varnel {

struct InputStream;
struct StyleRule;

// Character classes of the first 128 code points.
constexpr uint32_t ClassDigit = 1;
constexpr uint32_t ClassLetter = 2;
constexpr uint32_t ClassNameChar = 4;
constexpr uint32_t ClassWhite = 8;
constexpr uint32_t ClassNewline = 16;
constexpr uint32_t ClassLower = 32;
constexpr uint32_t ClassUpper = 64;

void init_char_classes();
// The class bits of the first 128 code points (built at compile time).
extern const std::array<uint32_t, 128> char_class_table;
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
// Case of tag and attribute names on output: unchanged for XML input.
int fold_case(int c, bool upper);

// Accessibility findings (access_flags).
constexpr uint8_t MissingImageAlt = 0x01;
constexpr uint8_t MissingLinkAlt = 0x02;
constexpr uint8_t MissingSummary = 0x04;
constexpr uint8_t MissingImageMap = 0x08;
constexpr uint8_t UsingFrames = 0x10;
constexpr uint8_t UsingNoframes = 0x20;
// Presentational-markup findings (usage_flags).
constexpr uint8_t UsingSpacer = 0x01;
constexpr uint8_t UsingLayer = 0x02;
constexpr uint8_t UsingNobr = 0x04;
constexpr uint8_t UsingFont = 0x08;
constexpr uint8_t UsingBodyColors = 0x10;
// bad_chars.
constexpr uint8_t WindowsChars = 0x01;

// One open inline element remembered for re-opening after block boundaries.
struct InlineStackEntry {
    TagDef* tag = nullptr;
    std::string element_name;
    NodeAttribute* attributes = nullptr; // owned deep copy
    uint32_t cost = 0;                   // bytes a re-opened copy adds to the page
};

constexpr int32_t ReopenNone = -1;

// Which foreign content the lexer is reading (set by the foreign builder).
enum ForeignContent : uint8_t { ForeignNone = 0, ForeignSvg = 1, ForeignMath = 2 };

// An element HTML5 made obsolete, noted where it was read, to be reported
// once the page turns out to be written as HTML5.
struct ObsoleteUse {
    uint32_t line;
    uint32_t column;
    std::string element_name;
};

struct Lexer {
    InputStream* input = nullptr;
    FILE* messages = nullptr;
    uint8_t access_flags = 0;
    uint8_t usage_flags = 0;
    uint8_t bad_chars = 0;
    bool bad_form = false;
    uint32_t warnings = 0;
    uint32_t errors = 0;
    uint32_t token_line = 1;
    uint32_t token_column = 1;
    bool after_space = false;
    bool pushed_back = false;
    bool space_pending = false;
    bool blocks_barred = false;
    bool moved_before_table = false;
    bool is_xhtml = false;
    // The encoding a document declares but the program cannot read; the
    // document is then copied byte for byte, and XML output must name it.
    std::string raw_encoding_label;
    // The html element declares Word's office namespace (xmlns:o): with
    // word-2000 its prefixed elements (o:p) are removed by the cleanup.
    bool word_namespace = false;
    // Narrowed by each tag and attribute as it is read; before the doctype
    // is set, the flow replaces its standard bits by the versions the
    // printed page fits (versions.h).
    VersionBits possible_versions = 0x1DF;
    VersionBits given_version = 0;
    bool doctype_malformed = false;
    uint32_t text_start = 0;
    uint32_t text_end = 0;
    int scan_state = 0;
    Node* last_token = nullptr;
    // An element written "<a .../>" that is closed at once: its end tag is
    // the next token, unless the element's content reader takes it first.
    TagDef* pending_end_tag = nullptr;
    std::string text; // the TextBuffer: UTF-8; text_length is text.size()
    Node* reopen_held = nullptr;
    int32_t reopen_next = ReopenNone;
    std::vector<InlineStackEntry> inline_stack;
    uint32_t inline_base = 0;
    // Bytes of markup re-opened so far, and whether re-opening has stopped
    // because it outgrew the input (see schedule_reopen).
    uint64_t reopen_spent = 0;
    bool reopen_stopped = false;
    StyleRule* styles = nullptr;

    // ASP/PHP nodes found among attributes; attribute records (and their
    // copies) refer to them without owning them.
    std::vector<Node*> attribute_blocks;
    // Number of builders active on the call stack (bounds parse recursion).
    uint32_t depth = 0;

    // Inside svg or math: tags there are foreign elements, their names keep
    // their case and nothing is checked against HTML. `foreign_breakout`:
    // the current element is not one whose content is HTML text, so that
    // the start tag of a paragraph, division, br ... ends the foreign
    // content.
    ForeignContent foreign = ForeignNone;
    bool foreign_breakout = false;
    // Obsolete elements read before the page was known to be HTML5, and
    // whether they have been reported.
    std::vector<ObsoleteUse> obsolete_uses;
    bool obsolete_reported = false;
    // The output declares HTML5 (<!DOCTYPE html>): written as XML, it has no
    // DTD to define entity names.
    bool writes_html5 = false;

    uint32_t text_length() const { return static_cast<uint32_t>(text.size()); }
    uint32_t inline_count() const { return static_cast<uint32_t>(inline_stack.size()); }
};

Lexer* new_lexer(InputStream* input);
void free_lexer(Lexer* lexer);

Node* get_token(Lexer* lexer, WhitespaceMode mode);
void unget_token(Lexer* lexer);

void append_char(Lexer* lexer, uint32_t c);
void append_string(Lexer* lexer, const char* s);

// Reads the raw content of script, style or server up to its end tag.
Node* read_script_content(Lexer* lexer, Node* element);

} // namespace varnel
