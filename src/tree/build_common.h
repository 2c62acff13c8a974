// Small token and tree tests shared by the HTML tree builders (document,
// block, inline, list and preformatted builders): which tokens pass through
// every builder unchanged, ancestor searches, discarding a token with its
// warning, and the class attribute given to implied lists. Internal to
// src/tree; the table builders may use it too.
#pragma once

#include "model/node.h"
#include "model/tags.h"

namespace varnel {

struct Lexer;

// A start tag in either form: <x> or <x/>.
inline bool is_start_tag(const Node* node) {
    return node->kind() == StartTagNode || node->kind() == StartEndTagNode;
}

// True when the node has a tag carrying any of `bits`.
inline bool has_model(const Node* node, ContentModelBits bits) {
    return node->tag() != nullptr && (node->tag()->model & bits) != 0;
}

// Comments, processing instructions, CDATA and marked sections and server
// blocks: every builder appends them where it meets them.
bool is_pass_through(const Node* node);

// True when `node` is an end tag that ends content moved in front of a
// table: the table's own end tag or that of any of its parts (row groups,
// rows, cells, captions, column groups).
bool ends_moved_content(const Lexer* lexer, const Node* node);

// True when some node strictly above `element` has `tag`.
bool has_ancestor_tag(const Node* element, TagPtr tag);

// True when the text node holds exactly one space.
bool is_single_space(const Lexer* lexer, const Node* text);

// Releases a token; the lexer forgets it when it was its last token, so
// that nothing can push back a released node.
void release_token(Lexer* lexer, Node* token);

// Reports "discarding unexpected" for the token and releases it.
void discard_token(Lexer* lexer, Node* element, Node* token);

// The html element above `node` (or `node` itself), or null.
Node* enclosing_html(Node* node);

// Parses `inferred`, an element implied to take `token`, which the caller
// has just pushed back (build_child with `mode`). When the element ends
// without taking the token (it ends an ancestor of the element, say), the
// caller would only imply the element again, for ever: the token is then
// discarded here, reported against `element`. Returns true in that case.
bool parse_inferred(Lexer* lexer, Node* element, Node* inferred, Node* token, WhitespaceMode mode);

// Gives an implied list the class "noindent" (appended to an existing class).
void add_noindent_class(Lexer* lexer, Node* node);

} // namespace varnel
