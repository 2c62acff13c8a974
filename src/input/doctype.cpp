// Document type handling: the version named by a doctype, the version the
// content fits, and the doctype, namespace, XML declaration and generator
// fix-ups run after parsing.
#include "input/doctype.h"

#include <cstring>
#include <string>
#include <string_view>

#include "driver/config.h"
#include "driver/messages.h"
#include "driver/util.h"
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

// True for exactly one of the five HTML version bits.
bool is_single_version(VersionBits v) {
    return v == VersionHTML20 || v == VersionHTML32 || v == VersionHTML40Strict ||
           v == VersionHTML40Loose || v == VersionFrames;
}

std::string_view node_text(const Lexer* lexer, const Node* node) {
    uint32_t size = lexer->text_length();
    uint32_t start = node->start < size ? node->start : size;
    uint32_t end = node->end < size ? node->end : size;
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

// A new doctype node at the start of the root.
Node* insert_doctype(Node* root) {
    Node* d = new_node();
    d->kind = DoctypeNode;
    insert_node_at_start(root, d);
    return d;
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
    node->end = lexer->text_end;
}

Node* first_child_with_tag(Node* parent, const TagDef* tag) {
    if (parent == nullptr || tag == nullptr) return nullptr;
    for (Node* n = parent->first_child; n != nullptr; n = n->next) {
        if (n->tag == tag) return n;
    }
    return nullptr;
}

// A meta element that already names this program as the generator.
bool is_generator_mark(const Node* meta) {
    const NodeAttribute* name = get_attribute(meta, "name");
    const NodeAttribute* content = get_attribute(meta, "content");
    return name != nullptr && name->value &&
           equals_ignore_case(name->value->c_str(), "generator") && content != nullptr &&
           content->value && starts_with_ignore_case(content->value->c_str(), generator_name);
}

} // namespace

VersionBits read_declared_version(Lexer* lexer, Node* doctype) {
    std::string_view text = node_text(lexer, doctype);
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
    for (VersionBits v :
         {VersionHTML20, VersionHTML32, VersionHTML40Strict, VersionHTML40Loose, VersionFrames}) {
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
    const DoctypeRow* row = row_for(infer_content_version(lexer));
    if (row == nullptr) return nullptr;
    return lexer->is_xhtml ? row->xhtml_name : row->html_name;
}

void repair_doctype(Lexer* lexer, Node* root) {
    if (lexer->doctype_malformed) report_warning(lexer, nullptr, nullptr, ExpectedHtmlPublic);
    if (options.output_xml) return;

    Node* d = find_doctype(root);
    VersionBits v = 0;
    switch (options.doctype_mode) {
    case DoctypeOmit:
        if (d != nullptr) discard_node(d);
        return;
    case DoctypeAuto:
        if (d != nullptr) {
            VersionBits given = lexer->given_version;
            if (given == 0) return;
            if (is_single_version(given) && (lexer->possible_versions & given) != 0) return;
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
    }

    if (v == 0) return;

    // XHTML is written without a doctype here; the namespace says it all.
    if (options.input_xml || lexer->is_xhtml) {
        if (d != nullptr) discard_node(d);
        if (row_for(v) != nullptr) set_html_namespace(lexer, root, xhtml_namespace);
        return;
    }

    if (d == nullptr) d = insert_doctype(root);
    begin_text(lexer);
    append_string(lexer, "html PUBLIC ");
    if (options.doctype_mode == DoctypeUser && options.doctype_str) {
        append_quoted(lexer, options.doctype_str->c_str());
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

void make_xhtml_doctype(Lexer* lexer, Node* root) {
    Node* d = find_doctype(root);
    const char* public_id = strict_public_id;
    const char* system_id = strict_system_id;
    switch (options.doctype_mode) {
    case DoctypeOmit:
        if (d != nullptr) discard_node(d);
        return;
    case DoctypeLoose:
        public_id = loose_public_id;
        system_id = loose_system_id;
        break;
    case DoctypeAuto:
        // Strict when the page fits it; a page that fits only the frameset
        // version (it has a frameset) is a Frameset document; any other is
        // Transitional.
        if ((lexer->possible_versions & VersionHTML40Strict) != 0) break;
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
    if (d == nullptr) d = insert_doctype(root);
    if (options.doctype_mode == DoctypeUser && options.doctype_str) {
        public_id = options.doctype_str->c_str();
        system_id = "";
    }

    begin_text(lexer);
    append_string(lexer, "html PUBLIC ");
    append_quoted(lexer, public_id);
    append_char(lexer, '\n');
    if (static_cast<int64_t>(std::strlen(system_id)) + 6 < options.wrap) {
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
    a->name = "xmlns";
    a->value = name_space;
    a->delimiter = '"';
    a->attr_def = find_attr_def(a);
    a->next = html->attributes;
    html->attributes = a;
}

bool ensure_xml_declaration(Lexer* lexer, Node* root) {
    Node* first = root->first_child;
    // Only "xml" as a whole name is a declaration: "xml-stylesheet" and the
    // like are other instructions, which the declaration must precede.
    if (first != nullptr && first->kind == ProcInsNode) {
        const std::string_view text = node_text(lexer, first);
        if (text.compare(0, 3, "xml") == 0 &&
            (text.size() == 3 || text[3] == ' ' || text[3] == '\t' || text[3] == '\n' ||
             text[3] == '\r' || text[3] == '?')) {
            return true;
        }
    }
    Node* pi = new_node();
    pi->kind = ProcInsNode;
    insert_node_at_start(root, pi);
    begin_text(lexer);
    append_string(lexer, "xml version=\"1.0\"");
    end_text(lexer, pi);
    return false;
}

void add_generator_meta(Lexer* lexer, Node* root) {
    Node* head = first_child_with_tag(find_html(root), tag_head);
    if (head == nullptr) return;
    for (Node* n = head->first_child; n != nullptr; n = n->next) {
        if (n->tag != nullptr && n->tag == tag_meta && is_generator_mark(n)) return;
    }

    Node* meta = new_node();
    meta->kind = StartTagNode;
    meta->implicit = true;
    meta->element_name = "meta";
    meta->start = lexer->text_start;
    meta->end = lexer->text_end;
    find_tag(meta);
    std::string content = std::string(generator_name) + ", see " + program_home_host;
    add_attribute(meta, "content", content.c_str());
    add_attribute(meta, "name", "generator");
    insert_node_at_start(head, meta);
}

} // namespace varnel
