// Cleanup of the markup that the Word 2000 word processor writes when it
// saves HTML: conditional sections, o: namespace, style/class/lang
// attributes, file-list links, empty paragraphs; bullet and code paragraphs
// become real lists and preformatted blocks.
#pragma once

namespace varnel {

struct Lexer;
struct Node;

bool has_word_namespace(Node* root);
void remove_conditional_sections(Lexer* lexer, Node* node);
Node* skip_conditional_section(Lexer* lexer, Node* node);
void strip_word_markup(Lexer* lexer, Node* node);
void drop_word_attributes(Node* node);
Node* strip_element(Lexer* lexer, Node* node);
void nbsp_to_spaces(Lexer* lexer, Node* node);

} // namespace varnel
