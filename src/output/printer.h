// The pretty printer: walks the repaired tree and writes it as HTML/XHTML
// (print_tree) or XML (print_xml_tree), deciding line ends, indentation,
// wrap points and the spelling of every node kind. All characters go through
// the pending line of out_stream.h.
#pragma once

#include <cstdint>

#include "output/out_stream.h"

namespace varnel {

struct Lexer;
struct Node;
struct NodeAttribute;

void print_tree(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer, Node* node);
void print_xml_tree(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer, Node* node);
void print_tag(Lexer* lexer, OutputStream* out, PrintMode mode, uint32_t indent, Node* node);
void print_end_tag(OutputStream* out, Node* node);
bool indents_content(const OutputStream* out, const Node* node);
// Whether an inline element follows white space (a no-break space counts
// unless `nbsp_counts` is false).
bool follows_white_space(Lexer* lexer, const Node* node, bool nbsp_counts = true);
bool preserves_white_space(const Node* node);

} // namespace varnel
