// The builder of foreign content: svg and math in an HTML page, and every
// element inside them. Their elements nest as their tags say (an element
// written "<path/>" is empty), nothing is implied, and an end tag that
// belongs to an element further out ends the ones it passes. The start tag
// of an HTML paragraph, division, br ... outside the elements whose content
// is HTML text ends the foreign content, as browsers read it.
#include "model/reports.h"
#include "base/util.h"
#include "input/lexer.h"
#include "model/node.h"
#include "model/tags.h"
#include "tree/build_common.h"
#include "tree/builders.h"
#include "tree/inline_stack.h"

namespace varnel {

namespace {

bool same_name(const Node* a, const Node* b) {
    return equals_ignore_case(a->element_name().c_str(), b->element_name().c_str());
}

// An element above `element` (foreign or HTML) whose name the end tag names.
bool ends_an_ancestor(const Node* element, const Node* end_tag) {
    for (const Node* n = element->parent; n != nullptr; n = n->parent) {
        if (n->kind() != RootNode && same_name(n, end_tag)) return true;
    }
    return false;
}

// SVG elements whose content is text of the page (and where HTML start tags
// therefore do not end the drawing), and MathML's token elements.
bool holds_html_text(const Node* element) {
    for (const char* name :
         {"foreignObject", "desc", "title", "mi", "mo", "mn", "ms", "mtext", "annotation-xml"}) {
        if (element->element_name() == name) return true;
    }
    return false;
}

} // namespace

void build_foreign(Lexer* lexer, Node* element, WhitespaceMode mode) {
    const ForeignContent saved = lexer->foreign;
    const bool saved_breakout = lexer->foreign_breakout;
    if (element->tag() == tag_svg) lexer->foreign = ForeignSvg;
    if (element->tag() == tag_math) lexer->foreign = ForeignMath;
    if (holds_html_text(element))
        lexer->foreign_breakout = false;
    else if (element->tag() == tag_svg || element->tag() == tag_math)
        lexer->foreign_breakout = true;
    const WhitespaceMode read_mode = mode == KeepSpace ? KeepSpace : CollapseSpace;

    for (;;) {
        Node* node = get_token(lexer, read_mode);
        if (node == nullptr) {
            report_warning(lexer, element, nullptr, MissingEndTag);
            break;
        }
        if (node->kind() == EndTagNode) {
            if (same_name(node, element)) {
                release_token(lexer, node);
                element->closed = true;
                break;
            }
            if (ends_an_ancestor(element, node)) {
                report_warning(lexer, element, node, MissingEndTagBefore);
                unget_token(lexer);
                break;
            }
            discard_token(lexer, element, node);
            continue;
        }
        if (is_start_tag(node)) {
            if (node->tag() != foreign_tag_def) {
                // An HTML start tag that ends the foreign content.
                report_warning(lexer, element, node, MissingEndTagBefore);
                unget_token(lexer);
                break;
            }
            insert_node_at_end(element, node);
            if (node->kind() == StartTagNode) build_child(lexer, node, mode);
            continue;
        }
        if (node->kind() == TextNode || is_pass_through(node)) {
            insert_node_at_end(element, node);
            continue;
        }
        discard_token(lexer, element, node);
    }

    lexer->foreign = saved;
    lexer->foreign_breakout = saved_breakout;
}

} // namespace varnel
