// Placeholder bodies until this module is built.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "build/builders.h"
#include "input/lexer.h"
#include "model/node.h"
#include "model/attrs.h"
#include "clean/style.h"

namespace varnel {

void build_block(Lexer* lexer, Node* element, WhitespaceMode mode) {}
void build_inline(Lexer* lexer, Node* element, WhitespaceMode mode) {}
void build_list(Lexer* lexer, Node* list, WhitespaceMode mode) {}
void build_deflist(Lexer* lexer, Node* dl, WhitespaceMode mode) {}
void build_pre(Lexer* lexer, Node* pre, WhitespaceMode mode) {}

} // namespace varnel
