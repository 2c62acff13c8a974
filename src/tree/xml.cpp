// The XML tree builder: elements nest exactly as the tags say, nothing is
// implied or moved, end tags must match by name, and white space is kept in
// elements that ask for it and trimmed at element edges elsewhere.
#include <cstdint>

#include "base/config.h"
#include "model/reports.h"
#include "base/util.h"
#include "input/doctype.h"
#include "input/lexer.h"
#include "model/attrs.h"
#include "model/node.h"
#include "model/tags.h"
#include "tree/build_common.h"
#include "tree/builders.h"
#include "tree/inline_stack.h"

namespace varnel {

namespace {

// Parses a start tag's content unless the parse is already MaxParseDepth
// elements deep; past that bound the element stays empty and its content
// continues in the enclosing element, which keeps the call stack bounded.
void parse_xml_child(Lexer* lexer, Node* element, WhitespaceMode mode) {
    if (lexer->depth >= MaxParseDepth) return;
    ++lexer->depth;
    build_xml_element(lexer, element, mode);
    --lexer->depth;
}

// Drops one space at the start of the first child and at the end of the
// last child when those are texts; a text left empty is removed.
void trim_xml_edges(Lexer* lexer, Node* element) {
    const std::string& text = lexer->text;
    Node* first = element->first_child();
    if (first != nullptr && first->kind() == TextNode && first->end() > first->start &&
        first->end() <= text.size() && text[first->start] == ' ') {
        ++first->start;
        if (first->start == first->end()) discard_node(first);
    }
    Node* last = element->last_child();
    if (last != nullptr && last->kind() == TextNode && last->end() > last->start &&
        last->end() <= text.size() && text[last->end() - 1] == ' ') {
        last->set_end(last->end() - 1);
        if (last->start == last->end()) discard_node(last);
    }
}

} // namespace

bool preserves_space(const DocumentState* doc, const Node* element) {
    for (const NodeAttribute* attribute = element->attributes(); attribute != nullptr;
         attribute = attribute->next) {
        if (attribute->name() == "xml:space") {
            return attribute->value && *attribute->value == "preserve";
        }
    }
    const char* name = element->element_name().c_str();
    if (equals_ignore_case(name, "pre") || equals_ignore_case(name, "script") ||
        equals_ignore_case(name, "style") || equals_ignore_case(name, "xsl:text")) {
        return true;
    }
    return find_builder(doc, element) == BuilderPre;
}

Node* build_xml_document(Lexer* lexer) {
    Node* root = new_node();
    root->set_kind(RootNode);
    lexer->options.input_xml = true;
    Node* doctype = nullptr;
    while (Node* node = get_token(lexer, TrimSpace)) {
        if (node->kind() == DoctypeNode) {
            if (doctype == nullptr) {
                doctype = node;
                insert_node_at_end(root, node);
            } else {
                report_warning(lexer, nullptr, node, DiscardingUnexpected);
                release_token(lexer, node);
            }
        } else if (is_pass_through(node)) {
            insert_node_at_end(root, node);
        } else if (node->kind() == StartTagNode) {
            insert_node_at_end(root, node);
            parse_xml_child(lexer, node, TrimSpace);
        } else if (node->kind() == EndTagNode) {
            report_warning(lexer, nullptr, node, UnexpectedEndTag);
            release_token(lexer, node);
        } else if (node->kind() == StartEndTagNode) {
            // A root element written as an empty-element tag is the whole
            // document: it stays.
            insert_node_at_end(root, node);
        } else {
            release_token(lexer, node); // text outside the elements
        }
    }
    if (doctype != nullptr && !doctype_keywords_upper(lexer, doctype)) {
        report_warning(lexer, nullptr, doctype, DoctypeKeywordCase);
    }
    if (lexer->options.add_xml_decl) ensure_xml_declaration(lexer, root);
    return root;
}

void build_xml_element(Lexer* lexer, Node* element, WhitespaceMode mode) {
    if (preserves_space(lexer, element)) mode = KeepSpace;

    while (Node* node = get_token(lexer, mode)) {
        if (node->kind() == EndTagNode) {
            if (node->element_name() == element->element_name()) {
                release_token(lexer, node);
                element->closed = true;
                break;
            }
            report_error(lexer, element, node, UnexpectedEndTag);
            release_token(lexer, node);
        } else if (node->kind() == StartTagNode) {
            parse_xml_child(lexer, node, mode);
            insert_node_at_end(element, node);
        } else {
            insert_node_at_end(element, node);
        }
    }

    if (mode != KeepSpace) trim_xml_edges(lexer, element);
}

} // namespace varnel
