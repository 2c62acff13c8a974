// Helpers for the tree-builder tests: parse a document from a string and
// dump the resulting tree compactly, e.g. html(head(title) body(p("x"))).
#pragma once

#include <string>
#include <vector>

#include "input/versions.h"
#include "tree/builders.h"
#include "tree/inline_stack.h"
#include "test_support.h"

namespace varnel::test {

// Attributes in source order (the list holds them newest first).
inline std::string dump_attributes(const Node* node) {
    std::vector<const NodeAttribute*> attrs;
    for (const NodeAttribute* a = node->attributes(); a != nullptr; a = a->next)
        attrs.insert(attrs.begin(), a);
    if (attrs.empty()) return "";
    std::string out = "[";
    for (size_t i = 0; i < attrs.size(); ++i) {
        if (i) out += ' ';
        out += attrs[i]->name();
        if (attrs[i]->value) ((out += "=\"") += *attrs[i]->value) += "\"";
    }
    return out + "]";
}

// Children of `node`, separated by spaces. Elements print as their name,
// attributes and content in parentheses; text in double quotes.
inline std::string dump_children(const LexerOver& lx, const Node* node);

inline std::string dump_node(const LexerOver& lx, const Node* node) {
    switch (node->kind()) {
    case TextNode:
        return "\"" + lx.text(node) + "\"";
    case CommentNode:
        return "<!--" + lx.text(node) + ">";
    case DoctypeNode:
        return "<!DOCTYPE " + lx.text(node) + ">";
    case StartTagNode:
    case StartEndTagNode:
    case EndTagNode: {
        std::string out = node->kind() == EndTagNode ? "/" : "";
        out += node->element_name();
        out += dump_attributes(node);
        if (node->first_child() != nullptr) out += "(" + dump_children(lx, node) + ")";
        return out;
    }
    default:
        return std::string(kind_label(node->kind())) + ":" + lx.text(node);
    }
}

inline std::string dump_children(const LexerOver& lx, const Node* node) {
    std::string out;
    for (const Node* c = node->first_child(); c != nullptr; c = c->next) {
        if (!out.empty()) out += ' ';
        out += dump_node(lx, c);
    }
    return out;
}

// A whole HTML document parsed from a string: its tree dump and reports.
struct Parsed {
    std::string tree;
    std::string messages;
    bool links_ok = false;
    VersionBits versions = 0; // the versions the page fits as it will be printed
};

inline Parsed parse_html(const std::string& source) {
    LexerOver lx(source);
    Node* root = build_document(lx.lexer);
    Parsed out;
    out.tree = dump_children(lx, root);
    out.messages = lx.messages();
    out.links_ok = check_tree_links(root);
    out.versions = printed_versions(lx.lexer, root);
    free_node(root);
    return out;
}

// The body's content alone, for tests that care about nothing else.
inline std::string body_of(const Parsed& parsed) {
    const std::string open = "body(";
    size_t at = parsed.tree.find(open);
    if (at == std::string::npos) {
        bool empty_body = parsed.tree.size() >= 6 &&
                          parsed.tree.compare(parsed.tree.size() - 6, 6, " body)") == 0;
        return empty_body ? "" : "<no body>";
    }
    // The body is the last child of html: its content runs to the two
    // closing parentheses of body and html.
    return parsed.tree.substr(at + open.size(), parsed.tree.size() - at - open.size() - 2);
}

// Report lines joined as the reports write them, each ending in a line feed.
inline std::string lines(std::initializer_list<const char*> items) {
    std::string out;
    for (const char* item : items)
        out += std::string(item) + "\n";
    return out;
}

} // namespace varnel::test
