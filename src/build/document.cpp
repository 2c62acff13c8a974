// Placeholder bodies until this module is built.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "build/builders.h"
#include "input/lexer.h"
#include "model/node.h"
#include "model/attrs.h"
#include "clean/style.h"

namespace varnel {

int body_state = 0;

Node* build_document(Lexer* lexer) { return {}; }
void build_html(Lexer* lexer, Node* html, WhitespaceMode mode) {}
void build_head(Lexer* lexer, Node* head, WhitespaceMode mode) {}
void build_title(Lexer* lexer, Node* title, WhitespaceMode mode) {}
void build_script(Lexer* lexer, Node* element, WhitespaceMode mode) {}
void build_body(Lexer* lexer, Node* body, WhitespaceMode mode) {}
void build_frameset(Lexer* lexer, Node* frameset, WhitespaceMode mode) {}
void build_noframes(Lexer* lexer, Node* noframes, WhitespaceMode mode) {}
void build_block(Lexer* lexer, Node* element, WhitespaceMode mode) {}
void build_inline(Lexer* lexer, Node* element, WhitespaceMode mode) {}
void build_list(Lexer* lexer, Node* list, WhitespaceMode mode) {}
void build_deflist(Lexer* lexer, Node* dl, WhitespaceMode mode) {}
void build_pre(Lexer* lexer, Node* pre, WhitespaceMode mode) {}
void build_table(Lexer* lexer, Node* table, WhitespaceMode mode) {}
void build_colgroup(Lexer* lexer, Node* colgroup, WhitespaceMode mode) {}
void build_rowgroup(Lexer* lexer, Node* group, WhitespaceMode mode) {}
void build_row(Lexer* lexer, Node* row, WhitespaceMode mode) {}
void build_select(Lexer* lexer, Node* select, WhitespaceMode mode) {}
void build_optgroup(Lexer* lexer, Node* optgroup, WhitespaceMode mode) {}
void build_text(Lexer* lexer, Node* field, WhitespaceMode mode) {}
Node* build_xml_document(Lexer* lexer) { return {}; }
void build_xml_element(Lexer* lexer, Node* element, WhitespaceMode mode) {}
bool preserves_space(const Node* element) { return {}; }

} // namespace varnel
