// Placeholder bodies until this module is built.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "clean/word.h"
#include "input/lexer.h"
#include "model/node.h"
#include "model/attrs.h"
#include "clean/style.h"

namespace varnel {


bool has_word_namespace(Node* root) { return {}; }
void remove_conditional_sections(Lexer* lexer, Node* node) {}
Node* skip_conditional_section(Lexer* lexer, Node* node) { return {}; }
void strip_word_markup(Lexer* lexer, Node* node) {}
void drop_word_attributes(Node* node) {}
Node* strip_element(Lexer* lexer, Node* node) { return {}; }
void nbsp_to_spaces(Lexer* lexer, Node* node) {}

} // namespace varnel
