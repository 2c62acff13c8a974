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
#include <string_view>

#include "model/tags.h"

namespace varnel {

struct Node;
struct NodeAttribute;
struct DocumentState;

using AttrCheckFn = void (*)(DocumentState* doc, Node* node, NodeAttribute* attribute);

// An entry of the attribute dictionary: a constant table shared by every
// document.
struct AttrDef {
    std::string_view name;
    VersionBits versions = 0;
    AttrCheckFn checker = nullptr;
    bool nowrap = false;
};

// The first entry of the attribute tables: every entry lies near it (see
// AttrEntryBits in node.h).
const AttrDef* attr_entry_anchor();

const AttrDef* lookup_attr_def(const char* name); // null when unknown
const AttrDef* lookup_attr_def(std::string_view name);
const AttrDef* find_attr_def(const NodeAttribute* attribute);
// Gives `attribute` the name `name` and the table entry of that name.
void name_attribute(NodeAttribute* attribute, std::string_view name);

NodeAttribute* get_attribute(const Node* node, const char* name);
void add_attribute(Node* node, const char* name, const char* value);
bool is_url_attribute(const char* name);
bool is_script_attribute(const char* name);
bool is_boolean_attribute(const NodeAttribute* attribute);

void check_repeated_attributes(DocumentState* doc, Node* node);
const AttrDef* check_attribute(DocumentState* doc, Node* node, NodeAttribute* attribute);
void check_generic_attributes(DocumentState* doc, Node* node);

// Value checks.
void check_url_value(DocumentState* doc, Node* node, NodeAttribute* attribute);
void check_script_value(DocumentState* doc, Node* node, NodeAttribute* attribute);
void check_bool_value(DocumentState* doc, Node* node, NodeAttribute* attribute);
void check_name_value(DocumentState* doc, Node* node, NodeAttribute* attribute);
void check_id_value(DocumentState* doc, Node* node, NodeAttribute* attribute);
void check_align_value(DocumentState* doc, Node* node, NodeAttribute* attribute);
void check_valign_value(DocumentState* doc, Node* node, NodeAttribute* attribute);
// True for a value that only proprietary browsers take: the extra vertical
// alignments ("texttop", "absmiddle", ...) of valign, and of align on images.
bool is_proprietary_value(const Node* node, const NodeAttribute* attribute);

// Element checks, installed in the tag dictionary.
void check_hr(DocumentState* doc, Node* node);
void check_img(DocumentState* doc, Node* node);
void check_anchor(DocumentState* doc, Node* node);
void check_map(DocumentState* doc, Node* node);
void check_table_cell(DocumentState* doc, Node* node);
void check_caption(DocumentState* doc, Node* node);
void check_html(DocumentState* doc, Node* node);
void check_area(DocumentState* doc, Node* node);
void check_table(DocumentState* doc, Node* node);
void check_script(DocumentState* doc, Node* node);
void check_style(DocumentState* doc, Node* node);
void check_link(DocumentState* doc, Node* node);
// Checks an element's name against its id (reports a mismatch); for XML
// output, gives an element with a name that is a valid identifier and no id
// that name as its id.
void reconcile_id_name(DocumentState* doc, Node* element);
// Whether a value may serve as an id: an ASCII letter, then ASCII letters,
// digits, "-", "_", ":" and ".".
bool is_identifier(std::string_view value);
// svg and math: their attributes are those of their own vocabularies and
// are not checked (the lexer's check for repeated ones still runs).
void check_foreign_root(DocumentState* doc, Node* node);

// Well-known attribute handles into the built-in table.
extern const AttrDef *const attr_href,
    *const attr_src, *const attr_id,
                         *const attr_name,
                             *const attr_summary,
                                 *const attr_alt,
                                     *const attr_longdesc,
                                         *const attr_usemap,
                                             *const attr_ismap,
                                                 *const attr_language,
                                                     *const attr_type,
                                                         *const attr_title,
                                                             *const attr_xmlns,
                                                                 *const attr_datafld,
                                                                     *const attr_value,
                                                                         *const attr_content,
                                                                             *const attr_width,
                                                                                 *const attr_height;

} // namespace varnel
