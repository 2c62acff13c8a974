// Token and tree tests shared by the HTML tree builders.
#include "build/build_common.h"

#include "driver/messages.h"
#include "input/lexer.h"
#include "model/attrs.h"

namespace varnel {

bool is_pass_through(const Node* node) {
    switch (node->kind) {
    case CommentNode:
    case ProcInsNode:
    case CDataNode:
    case SectionNode:
    case AspNode:
    case JsteNode:
    case PhpNode:
        return true;
    default:
        return false;
    }
}

bool has_ancestor_tag(const Node* element, const TagDef* tag) {
    if (tag == nullptr) return false;
    for (const Node* p = element->parent; p != nullptr; p = p->parent) {
        if (p->tag == tag) return true;
    }
    return false;
}

bool is_single_space(const Lexer* lexer, const Node* text) {
    return text->kind == TextNode && text->end == text->start + 1 &&
           text->start < lexer->text.size() && lexer->text[text->start] == ' ';
}

void discard_token(Lexer* lexer, Node* element, Node* token) {
    report_warning(lexer, element, token, DiscardingUnexpected);
    free_node(token);
}

Node* enclosing_html(Node* node) {
    for (Node* p = node; p != nullptr; p = p->parent) {
        if (p->tag == tag_html) return p;
    }
    return nullptr;
}

void add_noindent_class(Node* node) {
    NodeAttribute* cls = get_attribute(node, "class");
    if (cls == nullptr) {
        add_attribute(node, "class", "noindent");
    } else if (cls->value.has_value() && !cls->value->empty()) {
        cls->value->append(" noindent");
    } else {
        cls->value = "noindent";
    }
}

} // namespace varnel
