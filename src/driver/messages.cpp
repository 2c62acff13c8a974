// Placeholder bodies until this module is built.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "driver/messages.h"
#include "input/lexer.h"
#include "model/node.h"
#include "model/attrs.h"
#include "clean/style.h"

namespace varnel {

const char* current_input_name = "stdin";

void report_warning(Lexer* lexer, Node* element, Node* node, TagMessage code) {}
void report_error(Lexer* lexer, Node* element, Node* node, TagMessage code) {}
void report_attribute_warning(Lexer* lexer, Node* node, const char* text, AttrMessage code) {}
void report_entity_warning(Lexer* lexer, EntityMessage code, const char* entity) {}
void report_encoding_warning(Lexer* lexer, CharMessage code, uint32_t c) {}
void describe_node(FILE* out, const Node* node) {}
void report_doctype_summary(FILE* out, Lexer* lexer, const char* label, bool has_doctype,
                            uint32_t doctype_start, uint32_t doctype_end) {}
void report_count(FILE* out, Lexer* lexer) {}
void report_advice(Lexer* lexer) {}

} // namespace varnel
