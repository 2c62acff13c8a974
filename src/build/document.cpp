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

} // namespace varnel
