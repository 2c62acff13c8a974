// Presentational markup to style rules: the always-on simplifications
// (doubled emphasis, lists and blockquotes used for indentation), b/i to
// strong/em, and, with clean or drop-font-tags, font, center, align and body
// colours turned into style properties and generated class rules.
#pragma once

#include <cstdint>
#include <string>

#include "model/document.h"

namespace varnel {

struct Lexer;
struct Node;
struct NodeAttribute;

void collapse_nested_emphasis(Node* node);
// Returns true when it turned a list into a quote (only such quotes are
// implicit, which is what quote_nest_to_div looks for).
bool lone_item_list_to_quote(Node* node);
void quote_nest_to_div(Node* node);
void promote_logical_emphasis(Node* node);
void presentation_to_style(Lexer* lexer, Node* root);

void set_style_property(Node* node, const char* text);
void combine_styles(Node* node, Node* child);
void font_attrs_to_style(Node* node, NodeAttribute* attributes);
void hoist_only_child(Node* node);
void add_class(Node* node, const char* name);

} // namespace varnel
