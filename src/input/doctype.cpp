// Document type handling: the version named by a doctype, the version the
// content fits, and the doctype, namespace, XML declaration and generator
// fix-ups run after parsing.
#include "input/doctype.h"

#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "base/config.h"
#include "model/reports.h"
#include "base/utf8.h"
#include "base/util.h"
#include "input/lexer.h"
#include "model/attrs.h"
#include "model/node.h"

namespace varnel {

const char* const xhtml_namespace = "http://www.w3.org/1999/xhtml";
const char* const generator_name = "HTML Varnel";
const char* const program_home_host = "www.varnel.org";

namespace {

const char* const strict_public_id = "-//W3C//DTD XHTML 1.0 Strict//EN";
const char* const loose_public_id = "-//W3C//DTD XHTML 1.0 Transitional//EN";
const char* const frameset_public_id = "-//W3C//DTD XHTML 1.0 Frameset//EN";
const char* const strict_system_id = "http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd";
const char* const loose_system_id = "http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd";
const char* const frameset_system_id = "http://www.w3.org/TR/xhtml1/DTD/xhtml1-frameset.dtd";

struct DoctypeRow {
    const char* html_name;
    const char* xhtml_name;
    const char* system_id;
    VersionBits version;
};

const DoctypeRow doctype_rows[] = {
    {"HTML 4.01", "XHTML 1.0 Strict", strict_system_id, VersionHTML40Strict},
    {"HTML 4.01 Transitional", "XHTML 1.0 Transitional", loose_system_id, VersionHTML40Loose},
    {"HTML 4.01 Frameset", "XHTML 1.0 Frameset", frameset_system_id, VersionFrames},
    {"HTML 4.0", "XHTML 1.0 Strict", strict_system_id, VersionHTML40Strict},
    {"HTML 4.0 Transitional", "XHTML 1.0 Transitional", loose_system_id, VersionHTML40Loose},
    {"HTML 4.0 Frameset", "XHTML 1.0 Frameset", frameset_system_id, VersionFrames},
    {"HTML 3.2", "XHTML 1.0 Transitional", loose_system_id, VersionHTML32},
    {"HTML 2.0", "XHTML 1.0 Strict", strict_system_id, VersionHTML20},
};

// The first row for a version, or null.
const DoctypeRow* row_for(VersionBits version) {
    for (const DoctypeRow& row : doctype_rows) {
        if (row.version == version) return &row;
    }
    return nullptr;
}

// True for exactly one of the five HTML version bits, or HTML5.
bool is_single_version(VersionBits v) {
    return v == VersionHTML20 || v == VersionHTML32 || v == VersionHTML40Strict ||
           v == VersionHTML40Loose || v == VersionFrames || v == VersionHTML5;
}

// The HTML5 doctype: "html" alone, or with the system identifier
// "about:legacy-compat" for tools that cannot write a doctype without one;
// any case.
bool names_html5(std::string_view text);

std::string_view node_text(const Lexer* lexer, const Node* node) {
    uint32_t size = lexer->text_length();
    uint32_t start = node->start < size ? node->start : size;
    uint32_t end = node->end() < size ? node->end() : size;
    if (end < start) end = start;
    return std::string_view(lexer->text).substr(start, end - start);
}

bool starts_with_case(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (to_lower(static_cast<unsigned char>(text[i])) !=
            to_lower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

// Whether a processing instruction is the XML declaration: its target is
// "xml" as a whole name ("xml-stylesheet" and the like are other
// instructions).
bool is_xml_declaration(const Lexer* lexer, const Node* node) {
    if (node == nullptr || node->kind() != ProcInsNode) return false;
    const std::string_view text = node_text(lexer, node);
    return text.compare(0, 3, "xml") == 0 &&
           (text.size() == 3 || text[3] == ' ' || text[3] == '\t' || text[3] == '\n' ||
            text[3] == '\r' || text[3] == '?');
}

// A new doctype node at the start of the root, after the XML declaration
// when the document begins with one: the declaration must stay first.
Node* insert_doctype(Lexer* lexer, Node* root) {
    Node* d = new_node();
    d->set_kind(DoctypeNode);
    if (is_xml_declaration(lexer, root->first_child())) {
        insert_node_after(root->first_child(), d);
    } else {
        insert_node_at_start(root, d);
    }
    return d;
}

// Whether a doctype's public identifier is `id`.
bool names_public_id(const Lexer* lexer, const Node* doctype, std::string_view id) {
    const std::string_view text = node_text(lexer, doctype);
    const size_t quote = text.find('"');
    return quote != std::string_view::npos && text.substr(quote + 1).starts_with(id) &&
           text.substr(quote + 1 + id.size()).starts_with("\"");
}

// Whether a doctype names an XHTML document type ("-//W3C//DTD XHTML ...").
bool names_xhtml(const Lexer* lexer, const Node* doctype) {
    const std::string_view text = node_text(lexer, doctype);
    const size_t quote = text.find('"');
    return quote != std::string_view::npos &&
           text.substr(quote + 1).starts_with("-//W3C//DTD XHTML ");
}

// Appends an identifier in double quotes, unless it already begins with one
// (a user's identifier written with its quotes).
void append_quoted(Lexer* lexer, const char* id) {
    if (id[0] == '"') {
        append_string(lexer, id);
        return;
    }
    append_char(lexer, '"');
    append_string(lexer, id);
    append_char(lexer, '"');
}

// Starts new node text at the end of the TextBuffer.
void begin_text(Lexer* lexer) {
    lexer->text_start = lexer->text_length();
    lexer->text_end = lexer->text_start;
}

// Gives `node` the text appended since begin_text.
void end_text(Lexer* lexer, Node* node) {
    lexer->text_end = lexer->text_length();
    node->start = lexer->text_start;
    node->set_end(lexer->text_end);
}

Node* first_child_with_tag(Node* parent, TagPtr tag) {
    if (parent == nullptr || tag == nullptr) return nullptr;
    for (Node* n = parent->first_child(); n != nullptr; n = n->next) {
        if (n->tag() == tag) return n;
    }
    return nullptr;
}

// A meta element that already names this program as the generator.
bool is_generator_mark(const Node* meta) {
    const NodeAttribute* name = get_attribute(meta, "name");
    const NodeAttribute* content = get_attribute(meta, "content");
    return name != nullptr && name->value && equals_ignore_case(name->value.c_str(), "generator") &&
           content != nullptr && content->value &&
           starts_with_ignore_case(content->value.c_str(), generator_name);
}

// Whether `node` or an element around it declares the namespace prefix
// (`declaration` is "xmlns:" and the prefix): an svg declares XLink for
// the elements inside it.
bool declares_prefix(const Node* node, const std::string& declaration) {
    for (const Node* n = node; n != nullptr; n = n->parent) {
        if (get_attribute(n, declaration.c_str()) != nullptr) return true;
    }
    return false;
}

// Every node under `root` in document order, without recursion.
Node* next_in_order(Node* root, Node* n) {
    if (n->first_child() != nullptr) return n->first_child();
    while (n != root && n->next == nullptr)
        n = n->parent;
    return n == root ? nullptr : n->next;
}

// Whether text that the printer copies byte for byte (comments, CDATA,
// marked sections, server blocks) holds characters beyond ASCII: ASCII
// output writes those as Latin-1 bytes, references having no meaning there.
bool copies_beyond_ascii(const Lexer* lexer, Node* root) {
    for (Node* n = root->first_child(); n != nullptr; n = next_in_order(root, n)) {
        if (n->kind() != CommentNode && n->kind() != CDataNode && n->kind() != SectionNode &&
            n->kind() != AspNode && n->kind() != JsteNode && n->kind() != PhpNode) {
            continue;
        }
        for (const char c : node_text(lexer, n)) {
            if (static_cast<unsigned char>(c) >= 0x80) return true;
        }
    }
    return false;
}

// The encoding an XML declaration names for the output: its name (null for
// raw output, whose bytes are whatever the input held), the family of
// names that fit it, and whether it must be named. XML reads a document
// without an encoding declaration as UTF-8, which ASCII output also is
// unless it copies Latin-1 bytes; every other known encoding is named.
struct DeclaredEncoding {
    const char* name;
    CharEncoding family;
    bool must_be_named;
};

DeclaredEncoding encoding_to_declare(const Lexer* lexer, Node* root) {
    switch (lexer->options.char_encoding) {
    case CharEncoding::Ascii:
        if (copies_beyond_ascii(lexer, root)) return {"iso-8859-1", CharEncoding::Latin1, true};
        return {"us-ascii", CharEncoding::Ascii, false};
    case CharEncoding::Latin1:
        return {"iso-8859-1", CharEncoding::Latin1, true};
    case CharEncoding::Utf8:
        return {"utf-8", CharEncoding::Utf8, false};
    case CharEncoding::Iso2022:
        return {"iso-2022-jp", CharEncoding::Iso2022, true};
    case CharEncoding::MacRoman:
        return {"macintosh", CharEncoding::MacRoman, true};
    case CharEncoding::Raw:
        // A page copied byte for byte in an encoding it declares: XML reads
        // bytes beyond ASCII as UTF-8 unless that encoding is named.
        if (!lexer->raw_encoding_label.empty()) {
            return {lexer->raw_encoding_label.c_str(), CharEncoding::Raw, true};
        }
        break;
    }
    return {nullptr, CharEncoding::Raw, false};
}

bool equals_any_ignore_case(std::string_view name, std::initializer_list<const char*> names) {
    for (const char* n : names) {
        if (name.size() == std::strlen(n) && starts_with_case(name, n)) return true;
    }
    return false;
}

// Whether a declared encoding already describes output bytes of `family`.
bool declared_encoding_fits(std::string_view declared, CharEncoding family) {
    switch (family) {
    case CharEncoding::Raw:
        return true;
    case CharEncoding::Ascii:
        // ASCII bytes read the same in every encoding built on ASCII; only
        // the wide Unicode forms and EBCDIC read them otherwise.
        for (const char* wide : {"utf-16", "utf16", "utf-32", "utf32", "ucs-2", "ucs2", "ucs-4",
                                 "ucs4", "iso-10646-ucs", "unicode", "ebcdic", "ibm037", "cp037"}) {
            if (starts_with_case(declared, wide)) return false;
        }
        return true;
    case CharEncoding::Latin1:
        return equals_any_ignore_case(
            declared, {"iso-8859-1", "iso_8859-1", "iso8859-1", "latin1", "latin-1", "l1"});
    case CharEncoding::Utf8:
        return equals_any_ignore_case(declared, {"utf-8", "utf8"});
    case CharEncoding::Iso2022:
        return equals_any_ignore_case(declared, {"iso-2022-jp", "csiso2022jp"});
    case CharEncoding::MacRoman:
        return equals_any_ignore_case(declared, {"macintosh", "mac", "macroman", "x-mac-roman"});
    }
    return true;
}

// Finds the value of a pseudo-attribute (`name`="value") in a declaration's
// text; returns false when there is none.
bool find_pseudo_attribute(std::string_view text, std::string_view name, size_t* value_start,
                           size_t* value_end) {
    for (size_t at = text.find(name); at != std::string_view::npos; at = text.find(name, at + 1)) {
        if (at == 0 || !is_white(static_cast<unsigned char>(text[at - 1]))) continue;
        size_t i = at + name.size();
        while (i < text.size() && is_white(static_cast<unsigned char>(text[i])))
            ++i;
        if (i >= text.size() || text[i] != '=') continue;
        ++i;
        while (i < text.size() && is_white(static_cast<unsigned char>(text[i])))
            ++i;
        if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) continue;
        const size_t close = text.find(text[i], i + 1);
        if (close == std::string_view::npos) return false;
        *value_start = i + 1;
        *value_end = close;
        return true;
    }
    return false;
}

// Makes the encoding named by an XML declaration agree with the output
// encoding: a wrong name is replaced, a missing one added where XML would
// otherwise misread the bytes (after the version, or after "xml").
void name_output_encoding(Lexer* lexer, Node* declaration, const DeclaredEncoding& encoding) {
    if (encoding.name == nullptr) return;
    const std::string text(node_text(lexer, declaration));
    size_t start = 0;
    size_t end = 0;
    std::string rewritten;
    if (find_pseudo_attribute(text, "encoding", &start, &end)) {
        if (declared_encoding_fits(std::string_view(text).substr(start, end - start),
                                   encoding.family)) {
            return;
        }
        rewritten = text.substr(0, start) + encoding.name + text.substr(end);
    } else {
        if (!encoding.must_be_named) return;
        size_t insert_at = 3;
        if (find_pseudo_attribute(text, "version", &start, &end)) insert_at = end + 1;
        rewritten = text.substr(0, insert_at) + " encoding=\"" + encoding.name + "\"" +
                    text.substr(insert_at);
    }
    begin_text(lexer);
    append_string(lexer, rewritten.c_str());
    end_text(lexer, declaration);
}

bool names_html5(std::string_view text) {
    if (text.size() == 4) return starts_with_case(text, "html");
    if (!starts_with_case(text, "html SYSTEM ")) return false;
    const std::string_view id = text.substr(12);
    return id.size() == 21 && (id[0] == '"' || id[0] == '\'') && id[20] == id[0] &&
           starts_with_case(id.substr(1), "about:legacy-compat");
}

// Writes the HTML5 doctype into `d` (a new one at the start of the root when
// null).
void write_html5_doctype(Lexer* lexer, Node* root, Node* d) {
    if (d == nullptr) d = insert_doctype(lexer, root);
    begin_text(lexer);
    append_string(lexer, "html");
    end_text(lexer, d);
}

} // namespace

void report_obsolete_elements(Lexer* lexer) {
    if (lexer->obsolete_reported) return;
    lexer->obsolete_reported = true;
    const uint32_t saved_line = lexer->token_line;
    const uint32_t saved_column = lexer->token_column;
    lexer->obsolete_uses.for_each([&](uint32_t line, uint32_t column, std::string_view name) {
        Node* element = new_node();
        element->set_kind(StartTagNode);
        element->set_element_name(name);
        lexer->token_line = line;
        lexer->token_column = column;
        report_warning(lexer, nullptr, element, ObsoleteInHtml5);
        free_node(element);
    });
    lexer->token_line = saved_line;
    lexer->token_column = saved_column;
    lexer->obsolete_uses.clear();
}

VersionBits read_declared_version(Lexer* lexer, Node* doctype) {
    std::string_view text = node_text(lexer, doctype);
    if (names_html5(text)) return VersionHTML5;
    if (!starts_with_case(text, "html ")) return 0;
    if (!doctype_keywords_upper(lexer, doctype)) {
        report_warning(lexer, nullptr, doctype, DoctypeKeywordCase);
    }

    // Mend the case of the keyword after "html " in place.
    uint32_t keyword_at = doctype->start + 5;
    std::string_view rest = text.substr(5);
    if (starts_with_case(rest, "SYSTEM ")) {
        lexer->text.replace(keyword_at, 6, "SYSTEM");
        return 0; // a system identifier alone names no version
    }
    if (starts_with_case(rest, "PUBLIC ")) {
        lexer->text.replace(keyword_at, 6, "PUBLIC");
    } else {
        lexer->doctype_malformed = true;
    }

    size_t quote = text.find('"');
    if (quote == std::string_view::npos) return 0;
    std::string_view after = text.substr(quote + 1);
    std::string_view name;
    bool owner_found = false;
    for (std::string_view owner : {"-//W3C//DTD ", "-//IETF//DTD "}) {
        if (after.substr(0, owner.size()) == owner) {
            name = after.substr(owner.size());
            owner_found = true;
            break;
        }
    }
    if (!owner_found) return 0;
    name = name.substr(0, name.find('/'));
    for (const DoctypeRow& row : doctype_rows) {
        if (name == row.html_name) return row.version;
    }
    // The identifier HTML 3.2 was published with ends in "Final": it names
    // HTML 3.2 as surely as the short form does. (Unrecognised, it was kept
    // whatever the page held, and the page did not fit it.)
    if (name == "HTML 3.2 Final") return VersionHTML32;
    return 0;
}

bool doctype_keywords_upper(Lexer* lexer, Node* doctype) {
    std::string_view text = node_text(lexer, doctype);
    for (std::string_view keyword : {"SYSTEM", "PUBLIC", "//DTD", "//W3C", "//EN"}) {
        // Only positions followed by more than the keyword's length.
        for (size_t i = 0; text.size() - i > keyword.size(); ++i) {
            std::string_view here = text.substr(i, keyword.size());
            if (!starts_with_case(here, keyword)) continue;
            if (here != keyword) return false;
            break;
        }
    }
    return true;
}

VersionBits lowest_version(Lexer* lexer) {
    // HTML5 comes last: a page is given it only when no earlier version
    // fits, that is when it uses markup that only HTML5 has.
    for (VersionBits v : {VersionHTML20, VersionHTML32, VersionHTML40Strict, VersionHTML40Loose,
                          VersionFrames, VersionHTML5}) {
        if ((lexer->possible_versions & v) != 0) return v;
    }
    return 0;
}

VersionBits infer_content_version(Lexer* lexer) {
    VersionBits given = lexer->given_version;
    if (is_single_version(given) && (lexer->possible_versions & given) != 0) return given;
    if (given != 0) report_warning(lexer, nullptr, nullptr, DoctypeMismatch);
    return lowest_version(lexer);
}

const char* version_label(Lexer* lexer) {
    const VersionBits version = infer_content_version(lexer);
    if (version == VersionHTML5) return "HTML5";
    const DoctypeRow* row = row_for(version);
    if (row == nullptr) return nullptr;
    return lexer->is_xhtml ? row->xhtml_name : row->html_name;
}

void repair_doctype(Lexer* lexer, Node* root) {
    if (lexer->doctype_malformed) report_warning(lexer, nullptr, nullptr, ExpectedHtmlPublic);
    if (lexer->options.output_xml) return;

    Node* d = find_doctype(root);
    VersionBits v = 0;
    switch (lexer->options.doctype_mode) {
    case DoctypeOmit:
        if (d != nullptr) discard_node(d);
        return;
    case DoctypeAuto:
        if (d != nullptr) {
            VersionBits given = lexer->given_version;
            // An XHTML doctype does not describe a document written as
            // HTML (no namespace, HTML output): it gives way to the HTML
            // doctype the content fits, or to none when no version fits.
            if (given == 0 && !lexer->is_xhtml && !lexer->options.input_xml &&
                names_xhtml(lexer, d)) {
                report_warning(lexer, nullptr, nullptr, DoctypeMismatch);
                v = lowest_version(lexer);
                if (v == 0) {
                    discard_node(d);
                    return;
                }
                break;
            }
            if (given == 0) return;
            if (is_single_version(given) && (lexer->possible_versions & given) != 0) {
                if (given == VersionHTML5) lexer->writes_html5 = true;
                return;
            }
        }
        v = lowest_version(lexer);
        if (v == 0) return;
        break;
    case DoctypeStrict:
        if (d != nullptr) discard_node(d);
        d = nullptr;
        v = VersionHTML40Strict;
        break;
    case DoctypeLoose:
        if (d != nullptr) discard_node(d);
        d = nullptr;
        v = VersionHTML40Loose;
        break;
    case DoctypeUser:
        v = VersionHTML40Strict;
        break;
    case DoctypeHtml5:
        if (d != nullptr) discard_node(d);
        d = nullptr;
        v = VersionHTML5;
        break;
    }

    if (v == 0) return;

    // HTML5 has one doctype, for HTML and XHTML alike.
    if (v == VersionHTML5) {
        write_html5_doctype(lexer, root, d);
        lexer->writes_html5 = true;
        report_obsolete_elements(lexer);
        return;
    }

    // XHTML is written without a doctype here; the namespace says it all.
    if (lexer->options.input_xml || lexer->is_xhtml) {
        if (d != nullptr) discard_node(d);
        if (row_for(v) != nullptr) set_html_namespace(lexer, root, xhtml_namespace);
        return;
    }

    if (d == nullptr) d = insert_doctype(lexer, root);
    begin_text(lexer);
    append_string(lexer, "html PUBLIC ");
    if (lexer->options.doctype_mode == DoctypeUser && lexer->options.doctype_str) {
        append_quoted(lexer, lexer->options.doctype_str->c_str());
    } else {
        append_string(lexer, "\"-//");
        if (v == VersionHTML20) {
            append_string(lexer, "IETF//DTD HTML 2.0");
        } else {
            append_string(lexer, "W3C//DTD ");
            append_string(lexer, row_for(v)->html_name);
        }
        append_string(lexer, "//EN\"");
    }
    end_text(lexer, d);
}

void set_foreign_namespaces(Node* root) {
    for (Node* n = root->first_child(); n != nullptr; n = next_in_order(root, n)) {
        if (n->tag() == nullptr || (n->tag() != tag_svg && n->tag() != tag_math)) continue;
        if (get_attribute(n, "xmlns") == nullptr) {
            add_attribute(n, "xmlns",
                          n->tag() == tag_svg ? "http://www.w3.org/2000/svg"
                                              : "http://www.w3.org/1998/Math/MathML");
        }
        // XLink attributes (xlink:href) need their prefix declared.
        bool uses_xlink = false;
        for (Node* d = n; d != nullptr && !uses_xlink; d = next_in_order(n, d)) {
            for (const NodeAttribute* a = d->attributes(); a != nullptr; a = a->next) {
                if (a->name().starts_with("xlink:")) uses_xlink = true;
            }
        }
        if (uses_xlink && get_attribute(n, "xmlns:xlink") == nullptr) {
            add_attribute(n, "xmlns:xlink", "http://www.w3.org/1999/xlink");
        }
    }
}

void make_xhtml_doctype(Lexer* lexer, Node* root) {
    Node* d = find_doctype(root);
    set_foreign_namespaces(root);
    // A page that needs HTML5, or declares it and fits it, keeps the HTML5
    // doctype in XHTML too; its namespace says that it is XHTML.
    const bool html5 = lexer->options.doctype_mode == DoctypeHtml5 ||
                       (lexer->options.doctype_mode == DoctypeAuto &&
                        (lowest_version(lexer) == VersionHTML5 ||
                         (d != nullptr && lexer->given_version == VersionHTML5 &&
                          (lexer->possible_versions & VersionHTML5) != 0)));
    if (html5) {
        set_html_namespace(lexer, root, xhtml_namespace);
        write_html5_doctype(lexer, root, d);
        lexer->writes_html5 = true;
        report_obsolete_elements(lexer);
        return;
    }
    const char* public_id = strict_public_id;
    const char* system_id = strict_system_id;
    switch (lexer->options.doctype_mode) {
    case DoctypeOmit:
        // Without a doctype the namespace is all that says the document is
        // XHTML.
        set_html_namespace(lexer, root, xhtml_namespace);
        if (d != nullptr) discard_node(d);
        return;
    case DoctypeLoose:
        public_id = loose_public_id;
        system_id = loose_system_id;
        break;
    case DoctypeAuto:
        // Strict when the page fits it, unless the document already
        // declares Transitional and fits that too (a run over its own output
        // keeps the doctype it wrote); a page that fits only the frameset
        // version (it has a frameset) is a Frameset document; any other is
        // Transitional.
        if ((lexer->possible_versions & VersionHTML40Strict) != 0 &&
            !(d != nullptr && (lexer->possible_versions & VersionHTML40Loose) != 0 &&
              names_public_id(lexer, d, loose_public_id))) {
            break;
        }
        if ((lexer->possible_versions & (VersionFrames | VersionHTML40Loose)) == VersionFrames) {
            public_id = frameset_public_id;
            system_id = frameset_system_id;
        } else {
            public_id = loose_public_id;
            system_id = loose_system_id;
        }
        break;
    default:
        break;
    }

    set_html_namespace(lexer, root, xhtml_namespace);
    if (d == nullptr) d = insert_doctype(lexer, root);
    if (lexer->options.doctype_mode == DoctypeUser && lexer->options.doctype_str) {
        public_id = lexer->options.doctype_str->c_str();
        system_id = "";
    }

    begin_text(lexer);
    append_string(lexer, "html PUBLIC ");
    append_quoted(lexer, public_id);
    append_char(lexer, '\n');
    if (static_cast<int64_t>(std::strlen(system_id)) + 6 < lexer->options.wrap) {
        append_string(lexer, "    ");
    }
    append_char(lexer, '"');
    append_string(lexer, system_id);
    append_char(lexer, '"');
    end_text(lexer, d);
}

void set_html_namespace(Lexer* lexer, Node* root, const char* name_space) {
    Node* html = find_html(root);
    if (html == nullptr) return;
    NodeAttribute* xmlns = get_attribute(html, "xmlns");
    if (xmlns != nullptr) {
        if (!xmlns->value || *xmlns->value != name_space) {
            report_warning(lexer, html, html, NamespaceMismatch);
            xmlns->value = name_space;
        }
        return;
    }
    NodeAttribute* a = new_attribute();
    name_attribute(a, "xmlns");
    a->value = name_space;
    a->delimiter = '"';
    a->next = html->attributes();
    html->set_attributes(a);
}

bool ensure_xml_declaration(Lexer* lexer, Node* root) {
    const DeclaredEncoding encoding = encoding_to_declare(lexer, root);
    if (is_xml_declaration(lexer, root->first_child())) {
        name_output_encoding(lexer, root->first_child(), encoding);
        return true;
    }
    Node* pi = new_node();
    pi->set_kind(ProcInsNode);
    insert_node_at_start(root, pi);
    begin_text(lexer);
    append_string(lexer, "xml version=\"1.0\"");
    if (encoding.name != nullptr && encoding.must_be_named) {
        append_string(lexer, " encoding=\"");
        append_string(lexer, encoding.name);
        append_char(lexer, '"');
    }
    end_text(lexer, pi);
    return false;
}

void settle_xml_declaration(Lexer* lexer, Node* root) {
    // A declaration anywhere but at the very start is not well-formed. One
    // among the top-level nodes (after a comment or a doctype) goes to the
    // start when none is there; any other goes, as does one inside an
    // element, which declares nothing for the document.
    for (Node* n = root->first_child(); n != nullptr;) {
        if (n == root->first_child() || !is_xml_declaration(lexer, n)) {
            n = next_in_order(root, n);
            continue;
        }
        Node* resume = n->next != nullptr ? n->next.get() : next_in_order(root, n);
        if (n->parent != root || is_xml_declaration(lexer, root->first_child())) {
            discard_node(n);
        } else {
            remove_node(n);
            insert_node_at_start(root, n);
        }
        n = resume;
    }
    if (is_xml_declaration(lexer, root->first_child()) || lexer->options.add_xml_decl ||
        (root->first_child() != nullptr && encoding_to_declare(lexer, root).must_be_named)) {
        ensure_xml_declaration(lexer, root);
    }
}

void drop_copied_duplicate_ids(Node* root) {
    std::unordered_map<std::string, uint32_t> uses;
    for (Node* n = root->first_child(); n != nullptr; n = next_in_order(root, n)) {
        const NodeAttribute* id = get_attribute(n, "id");
        if (id != nullptr && id->value) ++uses[std::string(*id->value)];
    }
    for (Node* n = root->first_child(); n != nullptr; n = next_in_order(root, n)) {
        NodeAttribute* id = get_attribute(n, "id");
        if (id == nullptr || !id->value) continue;
        uint32_t& count = uses[std::string(*id->value)];
        if (count < 2) continue;
        const NodeAttribute* name = get_attribute(n, "name");
        if (name == nullptr || name->value != id->value) continue;
        --count;
        remove_attribute(n, id);
    }
}

void drop_undeclared_prefixed_attributes(Node* root) {
    // Prefixes declared on the html element hold everywhere.
    std::unordered_set<std::string> declared;
    if (const Node* html = find_html(root); html != nullptr) {
        for (const NodeAttribute* a = html->attributes(); a != nullptr; a = a->next) {
            if (a->name().starts_with("xmlns:")) declared.insert(std::string(a->name().substr(6)));
        }
    }
    for (Node* n = root->first_child(); n != nullptr; n = next_in_order(root, n)) {
        NodeAttribute* a = n->attributes();
        while (a != nullptr) {
            NodeAttribute* next = a->next;
            const size_t colon = a->name().find(':');
            if (colon != std::string::npos) {
                const std::string prefix(a->name().substr(0, colon));
                if (prefix != "xml" && prefix != "xmlns" && declared.count(prefix) == 0 &&
                    !declares_prefix(n, "xmlns:" + prefix)) {
                    remove_attribute(n, a);
                }
            }
            a = next;
        }
    }
}

void add_generator_meta(Lexer* lexer, Node* root) {
    Node* head = first_child_with_tag(find_html(root), tag_head);
    if (head == nullptr) return;
    for (Node* n = head->first_child(); n != nullptr; n = n->next) {
        if (n->tag() != nullptr && n->tag() == tag_meta && is_generator_mark(n)) return;
    }

    Node* meta = new_node();
    meta->set_kind(StartTagNode);
    meta->implicit = true;
    meta->set_element_name("meta");
    meta->start = lexer->text_start;
    find_tag(lexer, meta);
    std::string content = std::string(generator_name) + ", see " + program_home_host;
    add_attribute(meta, "content", content.c_str());
    add_attribute(meta, "name", "generator");
    insert_node_at_start(head, meta);
}

void report_doctype_summary(FILE* out, Lexer* lexer, const char* label, bool has_doctype,
                            uint32_t doctype_start, uint32_t doctype_end) {
    // The apparent version may itself report a doctype mismatch; doing this
    // first keeps that report on a line of its own.
    const char* version = version_label(lexer);
    if (has_doctype) {
        fprintf(out, "\n%s: Doctype given is \"", label);
        const std::string& text = lexer->text;
        uint32_t end = doctype_end < text.size() ? doctype_end : lexer->text_length();
        uint32_t i = doctype_start;
        int quotes = 0;
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
        while (i < end && quotes < 2) {
            size_t at = i;
            uint32_t c = decode_char_at(bytes, &at, end);
            i = static_cast<uint32_t>(at) + 1;
            if (c == '"') {
                ++quotes;
            } else if (quotes == 1) {
                fputc(static_cast<int>(c & 0xFF), out);
            }
        }
        fputc('"', out);
    }
    fprintf(out, "\n%s: Document content looks like %s\n", label,
            version != nullptr ? version : "HTML proprietary");
}

} // namespace varnel
