// The inline stack, which re-opens inline elements across block boundaries
// (<b>one<p>two</b> gives a new <b> inside the <p>), and the small repair
// helpers that every tree builder shares: retagging, parsing a child,
// trimming spaces at element edges, pruning empty elements, moving head
// elements into the head and the tree integrity check.
#pragma once

#include <cstdint>
#include <string>

#include "model/tags.h"

namespace varnel {

struct Lexer;
struct Node;

// The next token for a builder: a pushed-back token, a re-opened inline
// start tag, or the next token of the input (read_token).
Node* get_token(Lexer* lexer, WhitespaceMode mode);

void remember_inline(Lexer* lexer, Node* node);
bool inline_is_open(Lexer* lexer, const Node* node);
void forget_inline(Lexer* lexer, Node* node); // node may be null: pop the top entry
int32_t schedule_reopen(Lexer* lexer, Node* held);
void cancel_reopen(Lexer* lexer);
Node* next_reopened_token(Lexer* lexer);
void pop_inline_entry(Lexer* lexer); // releases the top entry
void clear_inline_stack(Lexer* lexer);

// Pushes back the token just received. A token read from the input goes
// back through the lexer (unget_token). A re-opened start tag is not the
// lexer's last token, so the lexer cannot take it back: it is released and
// its stack entry scheduled again, to be handed out anew in its turn.
void push_back_token(Lexer* lexer, Node* node);
// True for a start tag handed out by the re-opening mechanism.
bool is_reopened_token(const Lexer* lexer, const Node* node);

void retag_node(Lexer* lexer, Node* node, TagPtr tag);
void build_child(Lexer* lexer, Node* node, WhitespaceMode mode);
void trim_leading_space(Lexer* lexer, Node* element, Node* text);
void trim_outer_spaces(Lexer* lexer, Node* element);
void prune_if_empty(Lexer* lexer, Node* element);
void relocate_to_head(Lexer* lexer, Node* element, Node* node);
bool check_tree_links(const Node* node);
bool is_user_tag_node(const Node* node);

// Builders nest as deeply as the document's elements. Past this many
// builders on the call stack, build_child appends an element without parsing
// its content there: the content continues in the enclosing element, as
// browsers flatten over-deep trees. This keeps the stack bounded.
constexpr uint32_t MaxParseDepth = 512;

// Runs the builder of kind `builder` on `node` under the depth bound: every builder call goes
// through here (build_child uses it). At the bound the builder is not run;
// a token pushed back for the node is then placed inside it unparsed, so
// that the caller never meets the same token again.
void run_builder(Lexer* lexer, Node* node, BuilderKind builder, WhitespaceMode mode);

// At most this many inline elements are remembered at once. Every block
// re-opens the whole stack, so an unbounded stack (nested font elements are
// each remembered) would multiply the tree by the nesting depth.
constexpr uint32_t MaxInlineEntries = 64;

} // namespace varnel
