// Placeholder bodies until this module is built.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "build/inline_stack.h"
#include "input/lexer.h"
#include "model/node.h"
#include "model/attrs.h"
#include "clean/style.h"

namespace varnel {


void remember_inline(Lexer* lexer, Node* node) {}
bool inline_is_open(Lexer* lexer, const Node* node) { return {}; }
void forget_inline(Lexer* lexer, Node* node) {}
int32_t schedule_reopen(Lexer* lexer, Node* held) { return {}; }
void cancel_reopen(Lexer* lexer) {}
Node* next_reopened_token(Lexer* lexer) { return {}; }
void pop_inline_entry(Lexer* lexer) {}
void clear_inline_stack(Lexer* lexer) {}
void retag_node(Lexer* lexer, Node* node, TagDef* tag) {}
void build_child(Lexer* lexer, Node* node, WhitespaceMode mode) {}
void trim_leading_space(Lexer* lexer, Node* element, Node* text) {}
void trim_outer_spaces(Lexer* lexer, Node* element) {}
void prune_if_empty(Lexer* lexer, Node* element) {}
void relocate_to_head(Lexer* lexer, Node* element, Node* node) {}
bool check_tree_links(const Node* node) { return {}; }
bool is_user_tag_node(const Node* node) { return {}; }
void reconcile_id_name(Lexer* lexer, Node* element) {}

} // namespace varnel
