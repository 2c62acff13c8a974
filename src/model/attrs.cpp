// Placeholder bodies until this module is built.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "model/attrs.h"
#include "input/lexer.h"
#include "model/node.h"
#include "model/attrs.h"
#include "clean/style.h"

namespace varnel {

const AttrDef *attr_href, *attr_src, *attr_id, *attr_name, *attr_summary, *attr_alt, *attr_longdesc,
    *attr_usemap, *attr_ismap, *attr_language, *attr_type, *attr_title, *attr_xmlns, *attr_datafld,
    *attr_value, *attr_content, *attr_width, *attr_height;

void init_attribute_dictionary() {}
void free_attribute_dictionary() {}
const AttrDef* lookup_attr_def(const char* name) {
    return {};
}
const AttrDef* find_attr_def(const NodeAttribute* attribute) {
    return {};
}
NodeAttribute* get_attribute(const Node* node, const char* name) {
    return {};
}
void add_attribute(Node* node, const char* name, const char* value) {}
bool is_url_attribute(const char* name) {
    return {};
}
bool is_script_attribute(const char* name) {
    return {};
}
bool is_boolean_attribute(const NodeAttribute* attribute) {
    return {};
}
void check_repeated_attributes(Lexer* lexer, Node* node) {}
const AttrDef* check_attribute(Lexer* lexer, Node* node, NodeAttribute* attribute) {
    return {};
}
void check_generic_attributes(Lexer* lexer, Node* node) {}
void check_url_value(Lexer* lexer, Node* node, NodeAttribute* attribute) {}
void check_script_value(Lexer* lexer, Node* node, NodeAttribute* attribute) {}
void check_bool_value(Lexer* lexer, Node* node, NodeAttribute* attribute) {}
void check_name_value(Lexer* lexer, Node* node, NodeAttribute* attribute) {}
void check_id_value(Lexer* lexer, Node* node, NodeAttribute* attribute) {}
void check_align_value(Lexer* lexer, Node* node, NodeAttribute* attribute) {}
void check_valign_value(Lexer* lexer, Node* node, NodeAttribute* attribute) {}
void check_hr(Lexer* lexer, Node* node) {}
void check_img(Lexer* lexer, Node* node) {}
void check_anchor(Lexer* lexer, Node* node) {}
void check_map(Lexer* lexer, Node* node) {}
void check_table_cell(Lexer* lexer, Node* node) {}
void check_caption(Lexer* lexer, Node* node) {}
void check_html(Lexer* lexer, Node* node) {}
void check_area(Lexer* lexer, Node* node) {}
void check_table(Lexer* lexer, Node* node) {}
void check_script(Lexer* lexer, Node* node) {}
void check_style(Lexer* lexer, Node* node) {}
void check_link(Lexer* lexer, Node* node) {}

} // namespace varnel
