// Placeholder bodies until this module is built.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "output/printer.h"
#include "input/lexer.h"
#include "model/node.h"
#include "model/attrs.h"
#include "clean/style.h"

namespace varnel {


void print_tree(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer, Node* node) {}
void print_xml_tree(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer, Node* node) {}
void print_tag(Lexer* lexer, OutputStream* out, PrintMode mode, uint32_t indent, Node* node) {}
void print_end_tag(Node* node) {}
bool indents_content(const Node* node) { return {}; }
bool follows_white_space(Lexer* lexer, const Node* node) { return {}; }
bool preserves_white_space(const Node* node) { return {}; }

} // namespace varnel
