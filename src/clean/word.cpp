// Cleanup of documents saved as HTML by the Word 2000 word processor:
// conditional sections go, the processor's attributes, styles, comments and
// file-list links are dropped, and bullet and code paragraphs are gathered
// into real lists and preformatted blocks.
#include "clean/word.h"

#include <cstring>
#include <string>
#include <string_view>

#include "model/reports.h"
#include "input/lexer.h"
#include "model/attrs.h"
#include "model/node.h"
#include "model/tags.h"

namespace varnel {

namespace {

bool has_tag(const Node* node, TagPtr tag) {
    return node != nullptr && tag != nullptr && node->tag() == tag;
}

// Whether the node's text in the TextBuffer begins with `prefix`.
bool text_starts_with(const Lexer* lexer, const Node* node, const char* prefix) {
    size_t length = std::strlen(prefix);
    if (node->end() < node->start || node->end() > lexer->text.size()) return false;
    if (node->end() - node->start < length) return false;
    return lexer->text.compare(node->start, length, prefix) == 0;
}

bool attribute_is(const Node* node, const char* name, const char* value) {
    const NodeAttribute* attribute = get_attribute(node, name);
    return attribute != nullptr && attribute->value && *attribute->value == value;
}

// An element whose name has a namespace prefix ("o:p").
bool is_namespaced_element(const Node* node) {
    return (node->kind() == StartTagNode || node->kind() == StartEndTagNode) &&
           node->element_name().find(':') != std::string::npos;
}

bool is_bullet_paragraph(const Node* node) {
    return has_tag(node, tag_p) && attribute_is(node, "class", "MsoListBullet");
}

// The condition of an "if" section ("if !vml" gives "!vml"), without the
// white space around it.
std::string_view section_condition(const Lexer* lexer, const Node* section) {
    std::string_view text(lexer->text.data() + section->start, section->end() - section->start);
    text.remove_prefix(2);
    while (!text.empty() && is_white(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && is_white(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

bool condition_is(std::string_view condition, std::string_view name) {
    if (condition.size() != name.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (to_lower(static_cast<unsigned char>(condition[i])) !=
            to_lower(static_cast<unsigned char>(name[i]))) {
            return false;
        }
    }
    return true;
}

// Whether the content of an "if" section goes with it. A browser without
// Office takes the markers for unknown declarations and shows what lies
// between them: Word puts there what such a browser should show instead of
// what Office draws itself, such as the picture of a drawing ("!vml"), the
// second line break at the end of a paragraph ("!supportLineBreakNewLine")
// or the number of a numbered paragraph ("!supportLists"), so the content
// stays. Two kinds go: the no-break space that only keeps an empty
// paragraph open ("!supportEmptyParas"), since empty paragraphs are
// removed, and the bullet of a bullet paragraph, which becomes a list item
// whose marker the list draws.
bool section_content_goes(const Lexer* lexer, const Node* section) {
    std::string_view condition = section_condition(lexer, section);
    if (condition_is(condition, "!supportEmptyParas")) return true;
    if (!condition_is(condition, "!supportLists")) return false;
    for (const Node* up = section->parent; up != nullptr; up = up->parent) {
        if (has_tag(up, tag_p)) return is_bullet_paragraph(up);
        if (up->tag() == nullptr || (up->tag()->model & ModelInline) == 0) return false;
    }
    return false;
}

// Whether a cleaned paragraph still holds something: any node but text made
// of white space alone (which a browser does not show, and which a second
// run would trim away, leaving the paragraph empty).
bool holds_content(const Lexer* lexer, const Node* p) {
    for (const Node* child = p->first_child(); child != nullptr; child = child->next) {
        if (child->kind() != TextNode) return true;
        for (uint32_t i = child->start; i < child->end() && i < lexer->text.size(); ++i) {
            if (!is_white(static_cast<unsigned char>(lexer->text[i]))) return true;
        }
    }
    return false;
}

// The walk state of one sibling list: the container that consecutive bullet
// or code paragraphs gather into.
enum class Container { None, List, Pre };

void strip_word_list(Lexer* lexer, Node* node, bool converted);
Node* strip_element_in(Lexer* lexer, Node* node, bool converted);

// A bullet paragraph, its content already cleaned, becomes an item of the
// current list (made when needed). Returns the node from which the walk
// goes on.
Node* bullet_to_item(Lexer* lexer, Node* p, Node*& container, Container& kind) {
    NodeRecord record; // (a record with a tag, as an element has)
    Node& replacement = record.node;
    replacement.set_kind(StartTagNode);
    replacement.set_element(tag_li, "li");
    report_warning(lexer, p, &replacement, ReplacingElement);
    retag_element(lexer, p, tag_li);
    p->set_element_name("li");
    p->set_kind(StartTagNode);
    p->implicit = true;
    if (kind != Container::List) {
        container = infer_tag(lexer, "ul");
        insert_node_before(p, container);
        kind = Container::List;
    }
    drop_word_attributes(p);
    remove_node(p);
    insert_node_at_end(container, p);
    return container->next;
}

// A code paragraph, its content already cleaned, becomes lines of the
// current pre (made when needed).
Node* code_to_lines(Lexer* lexer, Node* p, Node*& container, Container& kind, bool& converted) {
    Node* line = new_line_node(lexer);
    if (!converted) {
        // Converts this paragraph and every later sibling; once done for a
        // sibling list, later calls in the same list would find nothing.
        nbsp_to_spaces(lexer, p);
        converted = true;
    }
    if (kind != Container::Pre) {
        container = infer_tag(lexer, "pre");
        insert_node_before(p, container);
        kind = Container::Pre;
    }
    remove_node(p);
    insert_node_at_end(container, p);
    lift_children(p);
    discard_node(p);
    insert_node_at_end(container, line);
    return container->next;
}

// The cleanup walk over a sibling list. `converted` is true when the list
// lies inside content whose non-breaking spaces were already replaced.
void strip_word_list(Lexer* lexer, Node* node, bool converted) {
    Node* container = nullptr;
    Container kind = Container::None;
    while (node != nullptr) {
        if (has_tag(node, tag_style) || has_tag(node, tag_meta) || node->kind() == CommentNode) {
            node = discard_node(node);
            continue;
        }
        // Elements of Word's namespaces (o:p) lose their namespace
        // declaration with the html element's attributes below: like spans,
        // they go and their content stays.
        if (has_tag(node, tag_span) || is_namespaced_element(node)) {
            node = strip_element_in(lexer, node, converted);
            continue;
        }
        if (has_tag(node, tag_html)) {
            if (get_attribute(node, "xmlns:o") == nullptr) return;
            free_attributes(node);
        } else if (has_tag(node, tag_link) && attribute_is(node, "rel", "File-List")) {
            node = discard_node(node);
            continue;
        } else if (has_tag(node, tag_p)) {
            // A paragraph is judged empty by what is left once its content
            // is cleaned: spans, comments and styles that held nothing else
            // leave nothing, while a picture or a word still counts.
            strip_word_list(lexer, node->first_child(), converted);
            if (!holds_content(lexer, node)) {
                node = discard_node(node);
                continue;
            }
            if (is_bullet_paragraph(node)) {
                node = bullet_to_item(lexer, node, container, kind);
                continue;
            }
            if (attribute_is(node, "class", "Code")) {
                node = code_to_lines(lexer, node, container, kind, converted);
                continue;
            }
            container = nullptr;
            kind = Container::None;
            drop_word_attributes(node);
            node = node->next;
            continue;
        }
        container = nullptr;
        kind = Container::None;
        if (is_element(node)) drop_word_attributes(node);
        if (node->first_child() != nullptr) strip_word_list(lexer, node->first_child(), converted);
        node = node->next;
    }
}

Node* strip_element_in(Lexer* lexer, Node* node, bool converted) {
    strip_word_list(lexer, node->first_child(), converted);
    Node* next = node->next;
    lift_children(node);
    discard_node(node);
    return next;
}

// Replaces the UTF-8 encoding of U+00A0 (C2 A0) by a space inside one span.
void nbsp_in_text(Lexer* lexer, Node* text) {
    if (text->end() <= text->start || text->end() > lexer->text.size()) return;
    char* bytes = lexer->text.data();
    uint32_t out = text->start;
    for (uint32_t in = text->start; in < text->end(); ++in) {
        if (static_cast<unsigned char>(bytes[in]) == 0xC2 && in + 1 < text->end() &&
            static_cast<unsigned char>(bytes[in + 1]) == 0xA0) {
            bytes[out++] = ' ';
            ++in;
        } else {
            bytes[out++] = bytes[in];
        }
    }
    text->set_end(out);
}

} // namespace

bool has_word_namespace(Node* root) {
    Node* html = find_html(root);
    return html != nullptr && get_attribute(html, "xmlns:o") != nullptr;
}

void remove_conditional_sections(Lexer* lexer, Node* node) {
    while (node != nullptr) {
        if (node->kind() == SectionNode) {
            if (text_starts_with(lexer, node, "if") && section_content_goes(lexer, node)) {
                node = skip_conditional_section(lexer, node);
            } else {
                // The markers of a section whose content stays, a stray
                // "endif" and any other marked section go alone.
                node = discard_node(node);
            }
            continue;
        }
        if (node->first_child() != nullptr) remove_conditional_sections(lexer, node->first_child());
        node = node->next;
    }
}

// Nested "if" sections are counted so that each "endif" closes its own "if";
// the count keeps deep nesting off the call stack.
Node* skip_conditional_section(Lexer* lexer, Node* node) {
    uint32_t open = 1;
    Node* current = discard_node(node);
    while (current != nullptr) {
        if (current->kind() == SectionNode) {
            if (text_starts_with(lexer, current, "if")) {
                ++open;
            } else if (text_starts_with(lexer, current, "endif")) {
                --open;
                if (open == 0) return discard_node(current);
            }
        }
        current = discard_node(current);
    }
    return nullptr;
}

void strip_word_markup(Lexer* lexer, Node* node) {
    strip_word_list(lexer, node, false);
}

void drop_word_attributes(Node* node) {
    bool sized_cell = has_tag(node, tag_td) || has_tag(node, tag_tr) || has_tag(node, tag_th);
    PackedPtr<NodeAttribute>* link = &node->attribute_link();
    while (*link != nullptr) {
        NodeAttribute* attribute = *link;
        const std::string_view name = attribute->name();
        bool drop = false;
        if (name == "class") {
            drop = !(attribute->value && *attribute->value == "Code");
        } else if (name == "style" || name == "lang" || name.rfind("x:", 0) == 0) {
            drop = true;
        } else if (sized_cell && (name == "height" || name == "width")) {
            drop = true;
        }
        if (drop) {
            *link = attribute->next;
            free_attribute(attribute);
        } else {
            link = &attribute->next;
        }
    }
}

Node* strip_element(Lexer* lexer, Node* node) {
    return strip_element_in(lexer, node, false);
}

void nbsp_to_spaces(Lexer* lexer, Node* node) {
    for (; node != nullptr; node = node->next) {
        if (node->first_child() != nullptr) nbsp_to_spaces(lexer, node->first_child());
        if (node->kind() == TextNode) nbsp_in_text(lexer, node);
    }
}

} // namespace varnel
