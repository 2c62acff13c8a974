// The lexer: cuts the character stream of one document into tokens (text,
// start/end/empty tags with attributes, comments, doctype, processing
// instructions, CDATA and marked sections, ASP/JSTE/PHP blocks). It extends
// the document's state (model/document.h: options, reports, TextBuffer,
// versions) with the state of reading: the token being read, the pushed
// back token, the inline stack and the foreign content being read.
//
// The tree builders pull tokens with get_token (tree/inline_stack.h, which
// hands out re-opened inline elements first and then calls read_token),
// passing the white-space mode of the element being parsed, and may push
// the last one back. The pipeline creates one lexer per document and
// releases it after the tree.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/chars.h"
#include "input/obsolete_uses.h"
#include "model/document.h"
#include "model/node.h"
#include "model/tags.h"

namespace varnel {

struct InputStream;

// Case of tag and attribute names on output: unchanged for XML input
// (`xml`), else upper or lower case.
inline int fold_case(int c, bool upper, bool xml) {
    if (xml) return c;
    return upper ? to_upper(c) : to_lower(c);
}

// One open inline element remembered for re-opening after block boundaries.
struct InlineStackEntry {
    TagPtr tag = nullptr;
    std::string element_name;
    NodeAttribute* attributes = nullptr; // owned deep copy
    uint32_t cost = 0;                   // bytes a re-opened copy adds to the page
};

constexpr int32_t ReopenNone = -1;

// Which foreign content the lexer is reading (set by the foreign builder).
enum ForeignContent : uint8_t { ForeignNone = 0, ForeignSvg = 1, ForeignMath = 2 };

struct Lexer : DocumentState {
    explicit Lexer(const Config& document_options) : DocumentState(document_options) {}

    InputStream* input = nullptr;
    bool after_space = false;
    bool pushed_back = false;
    bool space_pending = false;
    bool blocks_barred = false;
    bool moved_before_table = false;
    // The encoding a document declares but the program cannot read; the
    // document is then copied byte for byte, and XML output must name it.
    std::string raw_encoding_label;
    // The size of the input file (0 when not known), and how far into the
    // TextBuffer's capacity large pages have been decided on (see the input
    // stream's advise_text_pages).
    uint64_t input_size = 0;
    size_t text_pages_decided = 0;
    int scan_state = 0;
    Node* last_token = nullptr;
    // An element written "<a .../>" that is closed at once: its end tag is
    // the next token, unless the element's content reader takes it first.
    TagPtr pending_end_tag = nullptr;
    Node* reopen_held = nullptr;
    int32_t reopen_next = ReopenNone;
    std::vector<InlineStackEntry> inline_stack;
    uint32_t inline_base = 0;
    // Bytes of markup re-opened so far, and whether re-opening has stopped
    // because it outgrew the input (see schedule_reopen).
    uint64_t reopen_spent = 0;
    bool reopen_stopped = false;

    // ASP/PHP nodes found among attributes; attribute records (and their
    // copies) refer to them without owning them.
    std::vector<Node*> attribute_blocks;
    // Number of builders active on the call stack (bounds parse recursion).
    uint32_t depth = 0;
    // The state the html and body builders share: 0 before </body>, 1
    // after it, 2 once content after it has been reported.
    int body_state = 0;

    // Inside svg or math: tags there are foreign elements, their names keep
    // their case and nothing is checked against HTML. `foreign_breakout`:
    // the current element is not one whose content is HTML text, so that
    // the start tag of a paragraph, division, br ... ends the foreign
    // content.
    ForeignContent foreign = ForeignNone;
    bool foreign_breakout = false;
    // Obsolete elements read before the page was known to be HTML5, and
    // whether they have been reported.
    ObsoleteUses obsolete_uses;
    bool obsolete_reported = false;
    // The output declares HTML5 (<!DOCTYPE html>): written as XML, it has no
    // DTD to define entity names.
    bool writes_html5 = false;

    uint32_t inline_count() const { return static_cast<uint32_t>(inline_stack.size()); }
};

// A lexer over `input` for a document processed with `options`; its
// reports go nowhere until the caller sets `messages`.
Lexer* new_lexer(InputStream* input, const Config& options);
void free_lexer(Lexer* lexer);

// Reads the next token from the input (the builders call get_token,
// which serves re-opened and pushed-back tokens first).
Node* read_token(Lexer* lexer, WhitespaceMode mode);
void unget_token(Lexer* lexer);
// Releases the entries of the inline stack.
void clear_inline_entries(Lexer* lexer);

// Reads the raw content of script, style or server up to its end tag.
Node* read_script_content(Lexer* lexer, Node* element);

} // namespace varnel
