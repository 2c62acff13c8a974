// The attribute dictionary and the attribute checks.
//
// Every attribute name the program knows, the HTML versions that allow it,
// its value check and whether the printer may wrap its value. The lexer runs
// the checks on every start tag of HTML input: they report repeated, unknown
// and malformed attributes, add attributes a document must have, and narrow
// the document's candidate HTML versions. Also answers small questions for
// the scanners, cleaners and printer (URL, script and boolean attributes;
// find or add an attribute).
#pragma once

#include <cstdint>
#include <string>

#include "model/tags.h"

namespace varnel {

struct Node;
struct NodeAttribute;
struct Lexer;

using AttrCheckFn = void (*)(Lexer* lexer, Node* node, NodeAttribute* attribute);

struct AttrDef {
    AttrDef* chain = nullptr; // next entry of the same hash bucket
    std::string name;
    VersionBits versions = 0;
    AttrCheckFn checker = nullptr;
    bool nowrap = false;
};

void init_attribute_dictionary();
void free_attribute_dictionary();
const AttrDef* lookup_attr_def(const char* name); // null when unknown
const AttrDef* find_attr_def(const NodeAttribute* attribute);

NodeAttribute* get_attribute(const Node* node, const char* name);
void add_attribute(Node* node, const char* name, const char* value);
bool is_url_attribute(const char* name);
bool is_script_attribute(const char* name);
bool is_boolean_attribute(const NodeAttribute* attribute);

void check_repeated_attributes(Lexer* lexer, Node* node);
const AttrDef* check_attribute(Lexer* lexer, Node* node, NodeAttribute* attribute);
void check_generic_attributes(Lexer* lexer, Node* node);

// Value checks.
void check_url_value(Lexer* lexer, Node* node, NodeAttribute* attribute);
void check_script_value(Lexer* lexer, Node* node, NodeAttribute* attribute);
void check_bool_value(Lexer* lexer, Node* node, NodeAttribute* attribute);
void check_name_value(Lexer* lexer, Node* node, NodeAttribute* attribute);
void check_id_value(Lexer* lexer, Node* node, NodeAttribute* attribute);
void check_align_value(Lexer* lexer, Node* node, NodeAttribute* attribute);
void check_valign_value(Lexer* lexer, Node* node, NodeAttribute* attribute);
// True for a value that only proprietary browsers take: the extra vertical
// alignments ("texttop", "absmiddle", ...) of valign, and of align on images.
bool is_proprietary_value(const Node* node, const NodeAttribute* attribute);

// Element checks, installed in the tag dictionary.
void check_hr(Lexer* lexer, Node* node);
void check_img(Lexer* lexer, Node* node);
void check_anchor(Lexer* lexer, Node* node);
void check_map(Lexer* lexer, Node* node);
void check_table_cell(Lexer* lexer, Node* node);
void check_caption(Lexer* lexer, Node* node);
void check_html(Lexer* lexer, Node* node);
void check_area(Lexer* lexer, Node* node);
void check_table(Lexer* lexer, Node* node);
void check_script(Lexer* lexer, Node* node);
void check_style(Lexer* lexer, Node* node);
void check_link(Lexer* lexer, Node* node);
// svg and math: their attributes are those of their own vocabularies and
// are not checked (the lexer's check for repeated ones still runs).
void check_foreign_root(Lexer* lexer, Node* node);

// Well-known attribute handles, resolved by init_attribute_dictionary.
extern const AttrDef *attr_href, *attr_src, *attr_id, *attr_name, *attr_summary, *attr_alt,
    *attr_longdesc, *attr_usemap, *attr_ismap, *attr_language, *attr_type, *attr_title, *attr_xmlns,
    *attr_datafld, *attr_value, *attr_content, *attr_width, *attr_height;

} // namespace varnel
