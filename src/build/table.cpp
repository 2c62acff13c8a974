// Placeholder bodies until this module is built.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "build/builders.h"
#include "input/lexer.h"
#include "model/node.h"
#include "model/attrs.h"
#include "clean/style.h"

namespace varnel {

void build_table(Lexer* lexer, Node* table, WhitespaceMode mode) {}
void build_colgroup(Lexer* lexer, Node* colgroup, WhitespaceMode mode) {}
void build_rowgroup(Lexer* lexer, Node* group, WhitespaceMode mode) {}
void build_row(Lexer* lexer, Node* row, WhitespaceMode mode) {}
void build_select(Lexer* lexer, Node* select, WhitespaceMode mode) {}
void build_optgroup(Lexer* lexer, Node* optgroup, WhitespaceMode mode) {}
void build_text(Lexer* lexer, Node* field, WhitespaceMode mode) {}

} // namespace varnel
