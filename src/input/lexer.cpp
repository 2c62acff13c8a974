// Placeholder bodies until this module is built.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "input/lexer.h"
#include "input/lexer.h"
#include "model/node.h"
#include "model/attrs.h"
#include "clean/style.h"
#include "build/inline_stack.h"
#include "input/stream.h"
#include "driver/util.h"

namespace varnel {


Node* get_token(Lexer* lexer, WhitespaceMode mode) { return {}; }
void unget_token(Lexer* lexer) {}

Lexer* new_lexer(InputStream* input) {
    Lexer* lexer = new Lexer();
    lexer->input = input;
    return lexer;
}

void free_lexer(Lexer* lexer) {
    if (lexer == nullptr) return;
    if (lexer->pushed_back && lexer->last_token != nullptr) free_node(lexer->last_token);
    clear_inline_stack(lexer);
    free_style_rules(lexer->styles);
    for (Node* block : lexer->attribute_blocks) free_node(block);
    delete lexer;
}

void append_char(Lexer* lexer, uint32_t c) {
    // Node ranges are 32-bit indices into the TextBuffer.
    if (lexer->text.size() >= 0xFFFFFFF0u) fatal_error("Out of memory!");
    unsigned char bytes[8];
    unsigned char* end = encode_utf8(bytes, c);
    lexer->text.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(end - bytes));
}

void append_string(Lexer* lexer, const char* s) {
    for (; *s != '\0'; ++s) append_char(lexer, static_cast<unsigned char>(*s));
}
Node* read_script_content(Lexer* lexer, Node* element) { return {}; }

} // namespace varnel
