// Placeholder bodies until this module is built.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "input/doctype.h"
#include "input/lexer.h"
#include "model/node.h"
#include "model/attrs.h"
#include "clean/style.h"

namespace varnel {

const char* const xhtml_namespace = "http://www.w3.org/1999/xhtml";
const char* const generator_name = "HTML Varnel";
const char* const program_home_host = "www.varnel.org";

VersionBits read_declared_version(Lexer* lexer, Node* doctype) { return {}; }
bool doctype_keywords_upper(Lexer* lexer, Node* doctype) { return {}; }
VersionBits lowest_version(Lexer* lexer) { return {}; }
VersionBits infer_content_version(Lexer* lexer) { return {}; }
const char* version_label(Lexer* lexer) { return {}; }
void repair_doctype(Lexer* lexer, Node* root) {}
void make_xhtml_doctype(Lexer* lexer, Node* root) {}
void set_html_namespace(Lexer* lexer, Node* root, const char* name_space) {}
bool ensure_xml_declaration(Lexer* lexer, Node* root) { return {}; }
void add_generator_meta(Lexer* lexer, Node* root) {}

} // namespace varnel
