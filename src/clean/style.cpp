// Placeholder bodies until this module is built.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "clean/style.h"
#include "input/lexer.h"
#include "model/node.h"
#include "model/attrs.h"
#include "clean/style.h"

namespace varnel {

int style_class_counter = 1;

void free_style_rules(StyleRule* rules) {}
void collapse_nested_emphasis(Node* node) {}
void lone_item_list_to_quote(Node* node) {}
void quote_nest_to_div(Node* node) {}
void promote_logical_emphasis(Node* node) {}
void presentation_to_style(Lexer* lexer, Node* root) {}
void set_style_property(Node* node, const char* text) {}
void combine_styles(Node* node, Node* child) {}
void font_attrs_to_style(Node* node, NodeAttribute* attributes) {}
void hoist_only_child(Node* node) {}
void add_class(Node* node, const char* name) {}

} // namespace varnel
