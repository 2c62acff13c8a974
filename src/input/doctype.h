// Document type handling: the version a document's doctype names, the version
// its content fits (from the lexer's possible_versions, which the processing
// flow sets from the printed page, versions.h), the name used in the summary,
// and the fix-ups run after parsing and cleaning: the HTML or XHTML doctype,
// the html namespace, the XML declaration and the generator meta element.
#pragma once

#include <cstdint>
#include <cstdio>

#include "model/tags.h"

namespace varnel {

struct Lexer;
struct Node;

VersionBits read_declared_version(Lexer* lexer, Node* doctype);
bool doctype_keywords_upper(Lexer* lexer, Node* doctype);
VersionBits lowest_version(Lexer* lexer);
VersionBits infer_content_version(Lexer* lexer);
// Name of the apparent version, or null when no version fits.
const char* version_label(Lexer* lexer);
void repair_doctype(Lexer* lexer, Node* root);
// XHTML output; also gives svg and math their namespaces (and the XLink
// prefix its declaration) when the page leaves them implied, as HTML may.
void make_xhtml_doctype(Lexer* lexer, Node* root);
void set_foreign_namespaces(Node* root);
void set_html_namespace(Lexer* lexer, Node* root, const char* name_space);
// Makes sure the root starts with an XML declaration that names the output
// encoding where XML needs it; true when one was there already.
bool ensure_xml_declaration(Lexer* lexer, Node* root);
// For XML output: moves a declaration found after other top-level nodes to
// the start (or drops it when one is there), and adds one when asked to or
// when the output encoding must be named.
void settle_xml_declaration(Lexer* lexer, Node* root);
void add_generator_meta(Lexer* lexer, Node* root);
// The summary of the document type: the doctype as the document gave it
// (`doctype_start`/`doctype_end`, its text noted before the fix-ups;
// has_doctype false when the document had none) and the version its
// content looks like.
void report_doctype_summary(FILE* out, Lexer* lexer, const char* label, bool has_doctype,
                            uint32_t doctype_start, uint32_t doctype_end);
// Reports the elements HTML5 made obsolete that the page used before it was
// known to be HTML5 (once).
void report_obsolete_elements(Lexer* lexer);
// For XML output: an id that repeats another one and only copies its
// element's name (see reconcile_id_name) is dropped, so that every id names
// one element; the name stays.
void drop_copied_duplicate_ids(Node* root);
// For XML output: an attribute whose namespace prefix ("v:shapes") is
// declared neither on its element nor on the html element is dropped, as
// XML with namespaces cannot hold it ("xml:" needs no declaration).
void drop_undeclared_prefixed_attributes(Node* root);

// Fixed texts.
extern const char* const xhtml_namespace;   // "http://www.w3.org/1999/xhtml"
extern const char* const generator_name;    // "HTML Varnel"
extern const char* const program_home_host; // host named in the generator meta

} // namespace varnel
