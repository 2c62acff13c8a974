// The tree builders: one routine per content model, reached through the
// `builder` field of the tag dictionary. Each is called right after its
// element has been linked into the tree, reads tokens until the element
// ends, and either consumes the token that ended it or pushes it back for an
// ancestor. build_document (HTML) and build_xml_document (XML) are the entry
// points the driver calls.
#pragma once

#include "model/tags.h"

namespace varnel {

struct DocumentState;
struct Lexer;
struct Node;

using ParserFn = void (*)(Lexer* lexer, Node* element, WhitespaceMode mode);

Node* build_document(Lexer* lexer);
void build_html(Lexer* lexer, Node* html, WhitespaceMode mode);
void build_head(Lexer* lexer, Node* head, WhitespaceMode mode);
void build_title(Lexer* lexer, Node* title, WhitespaceMode mode);
void build_script(Lexer* lexer, Node* element, WhitespaceMode mode);
void build_body(Lexer* lexer, Node* body, WhitespaceMode mode);
void build_frameset(Lexer* lexer, Node* frameset, WhitespaceMode mode);
void build_noframes(Lexer* lexer, Node* noframes, WhitespaceMode mode);

void build_block(Lexer* lexer, Node* element, WhitespaceMode mode);
void build_inline(Lexer* lexer, Node* element, WhitespaceMode mode);
void build_list(Lexer* lexer, Node* list, WhitespaceMode mode);
void build_deflist(Lexer* lexer, Node* dl, WhitespaceMode mode);
void build_pre(Lexer* lexer, Node* pre, WhitespaceMode mode);

void build_table(Lexer* lexer, Node* table, WhitespaceMode mode);
void build_colgroup(Lexer* lexer, Node* colgroup, WhitespaceMode mode);
void build_rowgroup(Lexer* lexer, Node* group, WhitespaceMode mode);
void build_row(Lexer* lexer, Node* row, WhitespaceMode mode);
void build_select(Lexer* lexer, Node* select, WhitespaceMode mode);
void build_optgroup(Lexer* lexer, Node* optgroup, WhitespaceMode mode);
void build_text(Lexer* lexer, Node* field, WhitespaceMode mode);

// svg and math in HTML: their content is foreign, nested as its tags say.
void build_foreign(Lexer* lexer, Node* element, WhitespaceMode mode);

Node* build_xml_document(Lexer* lexer);
void build_xml_element(Lexer* lexer, Node* element, WhitespaceMode mode);
bool preserves_space(const DocumentState* doc, const Node* element);

// The builder routine of each kind of the tag table.
ParserFn builder_routine(BuilderKind kind);

} // namespace varnel
