// Token and tree tests shared by the HTML tree builders.
#include "tree/build_common.h"

#include "model/reports.h"
#include "input/lexer.h"
#include "model/attrs.h"
#include "tree/inline_stack.h"

namespace varnel {

bool ends_moved_content(const Lexer* lexer, const Node* node) {
    return lexer->moved_before_table && node->kind() == EndTagNode && node->tag() != nullptr &&
           (node->tag() == tag_table || (node->tag()->model & (ModelTable | ModelRow)) != 0);
}

bool is_pass_through(const Node* node) {
    switch (node->kind()) {
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

bool has_ancestor_tag(const Node* element, TagPtr tag) {
    if (tag == nullptr) return false;
    for (const Node* p = element->parent; p != nullptr; p = p->parent) {
        if (p->tag() == tag) return true;
    }
    return false;
}

bool is_single_space(const Lexer* lexer, const Node* text) {
    return text->kind() == TextNode && text->end() == text->start + 1 &&
           text->start < lexer->text.size() && lexer->text[text->start] == ' ';
}

void release_token(Lexer* lexer, Node* token) {
    if (lexer->last_token == token) lexer->last_token = nullptr;
    free_node(token);
}

void discard_token(Lexer* lexer, Node* element, Node* token) {
    report_warning(lexer, element, token, DiscardingUnexpected);
    release_token(lexer, token);
}

Node* enclosing_html(Node* node) {
    for (Node* p = node; p != nullptr; p = p->parent) {
        if (p->tag() == tag_html) return p;
    }
    return nullptr;
}

bool parse_inferred(Lexer* lexer, Node* element, Node* inferred, Node* token, WhitespaceMode mode) {
    // Only a token read from the input waits in the lexer; the position
    // tells it apart from a later token that reuses its memory: every token
    // read after it starts further on.
    bool from_input = lexer->pushed_back && lexer->last_token == token;
    uint32_t line = lexer->token_line;
    uint32_t column = lexer->token_column;
    build_child(lexer, inferred, mode);
    if (from_input && lexer->pushed_back && lexer->last_token == token &&
        lexer->token_line == line && lexer->token_column == column) {
        lexer->pushed_back = false;
        discard_token(lexer, element, token);
        return true;
    }
    return false;
}

void add_noindent_class(Lexer*, Node* node) {
    NodeAttribute* cls = get_attribute(node, "class");
    if (cls == nullptr) {
        add_attribute(node, "class", "noindent");
    } else if (cls->value.has_value() && !cls->value->empty()) {
        cls->value = std::string(*cls->value) + " noindent";
    } else {
        cls->value = "noindent";
    }
}

} // namespace varnel
