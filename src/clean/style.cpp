// Presentational markup to style rules: the always-on simplifications, the
// b/i promotion, the rule chain that turns font, center, align and lone
// emphasis wrappers into style properties, and the generated class rules
// with the style element that carries them.
#include "clean/style.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/config.h"
#include "base/util.h"
#include "input/lexer.h"
#include "model/attrs.h"
#include "model/node.h"
#include "model/tags.h"

namespace varnel {

namespace {

// ---------------------------------------------------------------------------
// Style property lists: (name, value) pairs in ascending byte order of the
// name, each name once; the first value seen for a name wins.

using PropertyList = std::vector<std::pair<std::string, std::string>>;

void add_property(PropertyList& list, std::string name, std::string value) {
    auto it = list.begin();
    while (it != list.end() && it->first < name)
        ++it;
    if (it != list.end() && it->first == name) return;
    list.insert(it, {std::move(name), std::move(value)});
}

// Adds the pairs of a style text such as "color: red; font-size: 80%".
void parse_properties(PropertyList& list, std::string_view text) {
    size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
        size_t colon = text.find(':', pos);
        if (colon == std::string_view::npos) return;
        std::string name(text.substr(pos, colon - pos));
        pos = colon + 1;
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
        size_t semi = text.find(';', pos);
        if (semi == std::string_view::npos) semi = text.size();
        add_property(list, std::move(name), std::string(text.substr(pos, semi - pos)));
        pos = semi < text.size() ? semi + 1 : semi;
    }
}

std::string serialise_properties(const PropertyList& list) {
    std::string out;
    for (const auto& [name, value] : list) {
        if (!out.empty()) out += "; ";
        out += name;
        out += ": ";
        out += value;
    }
    return out;
}

// The merge of two style texts: the pairs of `first`, then those of `second`.
std::string merge_styles(std::string_view first, std::string_view second) {
    PropertyList list;
    parse_properties(list, first);
    parse_properties(list, second);
    return serialise_properties(list);
}

// A new style attribute at the front of the list (printed last).
void prepend_style_attribute(Node* node, std::string value) {
    NodeAttribute* attribute = new_attribute();
    name_attribute(attribute, "style");
    attribute->value = std::move(value);
    attribute->delimiter = '"';
    attribute->next = node->attributes();
    node->set_attributes(attribute);
}

// ---------------------------------------------------------------------------
// Small tree helpers.

bool has_tag(const Node* node, TagPtr tag) {
    return node != nullptr && tag != nullptr && node->tag() == tag;
}

bool has_model(const Node* node, ContentModelBits bits) {
    return node->tag() != nullptr && (node->tag()->model & bits) != 0;
}

bool has_one_child(const Node* node) {
    return node->first_child() != nullptr && node->first_child() == node->last_child();
}

// Gives the node another tag; the element name follows the tag's name.
void rename_node(Node* node, TagPtr tag) {
    node->set_element(tag, tag->name);
}

// Moves the node's children, in order, into its place and releases the node.
// Returns the first former child, or the node's former next sibling when it
// had none.
Node* replace_by_children(Node* node) {
    Node* first = node->first_child();
    Node* next = node->next;
    lift_children(node);
    discard_node(node);
    return first != nullptr ? first : next;
}

// Joins the pieces into one string.
std::string concat(std::initializer_list<std::string_view> pieces) {
    std::string out;
    for (std::string_view piece : pieces)
        out += piece;
    return out;
}

// Appends bytes (already UTF-8) to the TextBuffer unchanged.
void append_bytes(Lexer* lexer, std::string_view bytes) {
    if (lexer->text.size() + bytes.size() >= 0xFFFFFFF0u) fatal_error("Out of memory!");
    lexer->text.append(bytes);
}

// True when every attribute of the element is one that folding it into its
// parent carries over (style, and for a font its colour, size and face).
// Anything else, an id or a title say, would be lost with the stripped
// element, so such an element is left in place.
bool foldable(const Node* child) {
    const bool font = child->tag() == tag_font;
    for (const NodeAttribute* a = child->attributes(); a != nullptr; a = a->next) {
        if (a->name() == "style") continue;
        if (font && (a->name() == "color" || a->name() == "size" || a->name() == "face")) continue;
        return false;
    }
    return true;
}

// Folds a lone b, i or font child into the node's style and strips the child.
void fold_child_style(Node* node, Node* child, const char* property) {
    combine_styles(node, child);
    if (property != nullptr) {
        set_style_property(node, property);
    } else {
        font_attrs_to_style(node, child->attributes());
    }
    hoist_only_child(node);
}

// ---------------------------------------------------------------------------
// The rule chain. Each rule answers whether it rewrote the node; `node` is
// updated to whatever now stands in its place (null when the chain is to
// end).

using ChainRule = bool (*)(Lexer* lexer, Node*& node);

bool dir_to_div(Lexer*, Node*& node) {
    if (!has_tag(node, tag_dir) && !has_tag(node, tag_ul) && !has_tag(node, tag_ol)) return false;
    if (!has_one_child(node)) return false;
    Node* child = node->first_child();
    if (!has_tag(child, tag_li) || !child->implicit) return false;
    rename_node(node, tag_div);
    set_style_property(node, "margin-left: 2em");
    hoist_only_child(node);
    return true;
}

// A list whose single item holds nothing but a list of the same kind: the
// inner list replaces the outer one. The item's other content, if any, keeps
// the outer list in place so that nothing is lost.
bool nested_list(Lexer*, Node*& node) {
    if (!has_tag(node, tag_ul) && !has_tag(node, tag_ol)) return false;
    if (!has_one_child(node)) return false;
    Node* item = node->first_child();
    Node* inner = item->first_child();
    if (inner == nullptr || inner->tag() != node->tag() || inner->next != nullptr) return false;
    remove_node(inner);
    insert_node_before(node, inner);
    discard_node(node);
    Node* prev = inner->prev();
    if (prev != nullptr && (has_tag(prev, tag_ul) || has_tag(prev, tag_ol))) {
        Node* last = prev->last_child();
        if (last != nullptr && is_element(last)) {
            remove_node(inner);
            insert_node_at_end(last, inner);
        }
    }
    node = inner;
    return true;
}

bool center_rule(Lexer* lexer, Node*& node) {
    if (!has_tag(node, tag_center)) return false;
    if (lexer->options.drop_font_tags) {
        Node* br = infer_tag(lexer, "br");
        insert_node_after(node, br);
        Node* first = node->first_child();
        replace_by_children(node);
        // The former children were cleaned already; the chain looks at the
        // first of them once more in its new place.
        node = (first != nullptr && is_element(first)) ? first : nullptr;
        return true;
    }
    rename_node(node, tag_div);
    set_style_property(node, "text-align: center");
    return true;
}

bool merge_divisions(Lexer*, Node*& node) {
    if (!has_tag(node, tag_div) || !has_one_child(node)) return false;
    Node* child = node->first_child();
    if (!has_tag(child, tag_div) || !foldable(child)) return false;
    combine_styles(node, child);
    hoist_only_child(node);
    return true;
}

bool block_style(Lexer*, Node*& node) {
    if (!has_model(node, ModelBlock | ModelList | ModelDefList | ModelTable)) return false;
    if (has_tag(node, tag_table) || has_tag(node, tag_tr) || has_tag(node, tag_li)) return false;
    bool changed = false;
    if (!has_tag(node, tag_caption)) {
        if (NodeAttribute* align = get_attribute(node, "align")) {
            const AttrValue value = std::move(align->value);
            remove_attribute(node, align);
            if (value)
                set_style_property(node, concat({"text-align: ", lower_ascii(*value)}).c_str());
            changed = true;
        }
    }
    if (has_one_child(node) && foldable(node->first_child())) {
        Node* child = node->first_child();
        if (has_tag(child, tag_b)) {
            fold_child_style(node, child, "font-weight: bold");
            changed = true;
        } else if (has_tag(child, tag_i)) {
            fold_child_style(node, child, "font-style: italic");
            changed = true;
        } else if (has_tag(child, tag_font)) {
            fold_child_style(node, child, nullptr);
            changed = true;
        }
    }
    return changed;
}

bool inline_style(Lexer* lexer, Node*& node) {
    if (has_tag(node, tag_font) || !has_model(node, ModelInline | ModelRow)) return false;
    if (!has_one_child(node) || !foldable(node->first_child())) return false;
    Node* child = node->first_child();
    if (has_tag(child, tag_b) && lexer->options.logical_emphasis) {
        fold_child_style(node, child, "font-weight: bold");
        return true;
    }
    if (has_tag(child, tag_i) && lexer->options.logical_emphasis) {
        fold_child_style(node, child, "font-style: italic");
        return true;
    }
    if (has_tag(child, tag_font)) {
        fold_child_style(node, child, nullptr);
        return true;
    }
    return false;
}

// True when the parent of a lone font folds it into its own style: a block
// other than a table, row or list item, or an inline element or row, and
// only when nothing of the font would be lost.
bool parent_folds_font(const Node* font) {
    const Node* parent = font->parent;
    if (parent == nullptr || !foldable(font)) return false;
    const bool block_rule = has_model(parent, ModelBlock | ModelList | ModelDefList | ModelTable) &&
                            !has_tag(parent, tag_table) && !has_tag(parent, tag_tr) &&
                            !has_tag(parent, tag_li);
    // A font parent turns into a span and then folds its lone font the
    // same way.
    const bool inline_rule = has_model(parent, ModelInline | ModelRow);
    return block_rule || inline_rule;
}

bool font_rule(Lexer* lexer, Node*& node) {
    if (!has_tag(node, tag_font)) return false;
    if (lexer->options.drop_font_tags) {
        replace_by_children(node);
        node = nullptr;
        return true;
    }
    // A lone font is left to its parent when the parent's rules fold it;
    // otherwise (a list item, a table, a font with other attributes ...) it
    // becomes a span here, or its colour and size would be lost.
    if (node->prev() == nullptr && node->next == nullptr && parent_folds_font(node)) return false;
    font_attrs_to_style(node, node->attributes());
    // The presentational attributes are now in the style; the others (id,
    // class, title ...) stay with the span.
    PackedPtr<NodeAttribute>* link = &node->attribute_link();
    while (*link != nullptr) {
        NodeAttribute* attribute = *link;
        if (attribute->name() == "color" || attribute->name() == "size" ||
            attribute->name() == "face") {
            *link = attribute->next;
            free_attribute(attribute);
        } else {
            link = &attribute->next;
        }
    }
    rename_node(node, tag_span);
    return true;
}

constexpr ChainRule chain_rules[] = {
    dir_to_div, nested_list, center_rule, merge_divisions, block_style, inline_style, font_rule,
};

// Applies the rules to an element until none applies.
void apply_rule_chain(Lexer* lexer, Node* node) {
    while (node != nullptr && is_element(node)) {
        bool rewritten = false;
        for (ChainRule rule : chain_rules) {
            if (rule(lexer, node)) {
                rewritten = true;
                break;
            }
        }
        if (!rewritten) return;
    }
}

// Bottom-up walk: the children of each node first, then the node itself.
// Every node present before the walk is visited once: nodes lifted out of a
// removed element were visited as its children, and the sibling that follows
// a replaced node is walked in the ordinary way.
void walk_presentation(Lexer* lexer, Node* node) {
    for (Node* child = node->first_child(); child != nullptr;) {
        Node* next = child->next;
        walk_presentation(lexer, child);
        child = next;
    }
    apply_rule_chain(lexer, node);
}

// Rules by element name and style text, so that finding a node's rule does
// not scan the whole list.
using RuleIndex = std::unordered_map<std::string, StyleRule*>;

std::string rule_key(std::string_view tag_name, std::string_view properties) {
    std::string key(tag_name);
    key += '\0';
    key += properties;
    return key;
}

void collect_style_classes(Lexer* lexer, Node* node, RuleIndex& index) {
    for (Node* child = node->first_child(); child != nullptr; child = child->next) {
        collect_style_classes(lexer, child, index);
    }
    NodeAttribute* style = get_attribute(node, "style");
    if (style == nullptr || !style->value) return;
    StyleRule*& rule = index[rule_key(node->element_name(), *style->value)];
    if (rule == nullptr) {
        // Class numbers go on from the documents before this one in the run.
        if (lexer->next_class_number == 0) {
            lexer->next_class_number = lexer->first_class_number ? lexer->first_class_number() : 1;
        }
        rule = new StyleRule();
        rule->tag_name = node->element_name();
        rule->class_name = concat({"c", std::to_string(lexer->next_class_number)});
        ++lexer->next_class_number;
        rule->properties = *style->value;
        rule->next = lexer->styles;
        lexer->styles = rule;
    }
    NodeAttribute* klass = get_attribute(node, "class");
    if (klass != nullptr) {
        klass->value = concat({klass->value.value_or(""), " ", rule->class_name});
        remove_attribute(node, style);
    } else {
        name_attribute(style, "class");
        style->value = rule->class_name;
    }
}

// Gives every styled element the class of the rule for its name and style,
// making rules as needed (bottom-up, children first).
void collect_style_classes(Lexer* lexer, Node* root) {
    RuleIndex index;
    // Rules already on the lexer are matched first; the oldest duplicate
    // would never be reached through the list either.
    for (StyleRule* rule = lexer->styles; rule != nullptr; rule = rule->next) {
        index.emplace(rule_key(rule->tag_name, rule->properties), rule);
    }
    collect_style_classes(lexer, root, index);
}

// Removes the first attribute of that name; returns its value, if it had one
// (the bool says whether the attribute was there at all).
std::pair<bool, std::optional<std::string>> take_attribute(Node* node, const char* name) {
    NodeAttribute* attribute = get_attribute(node, name);
    if (attribute == nullptr) return {false, std::nullopt};
    std::optional<std::string> value;
    if (attribute->value) value = std::string(*attribute->value);
    remove_attribute(node, attribute);
    return {true, std::move(value)};
}

bool has_body_colours(const Node* body) {
    for (const char* name : {"background", "bgcolor", "text", "link", "vlink", "alink"}) {
        if (get_attribute(body, name) != nullptr) return true;
    }
    return false;
}

void emit_style_element(Lexer* lexer, Node* root) {
    Node* body = find_body(root);
    if (lexer->styles == nullptr) {
        if (body == nullptr || !has_body_colours(body)) return;
        lexer->usage_flags |= UsingBodyColors;
    }
    Node* style = infer_tag(lexer, "style");
    add_attribute(style, "type", "text/css");

    uint32_t start = lexer->text_length();
    if (body != nullptr) {
        auto background = take_attribute(body, "background").second;
        auto bgcolor = take_attribute(body, "bgcolor").second;
        auto text = take_attribute(body, "text").second;
        if (background || bgcolor || text) {
            append_bytes(lexer, " body {\n");
            if (background) {
                append_bytes(lexer, "  background-image: url(");
                append_bytes(lexer, *background);
                append_bytes(lexer, ");\n");
            }
            if (bgcolor) {
                append_bytes(lexer, "  background-color: ");
                append_bytes(lexer, *bgcolor);
                append_bytes(lexer, ";\n");
            }
            if (text) {
                append_bytes(lexer, "  color: ");
                append_bytes(lexer, *text);
                append_bytes(lexer, ";\n");
            }
            append_bytes(lexer, " }\n");
        }
        const std::pair<const char*, const char*> links[] = {
            {"link", " :link"}, {"vlink", " :visited"}, {"alink", " :active"}};
        for (const auto& [name, selector] : links) {
            auto value = take_attribute(body, name).second;
            if (!value) continue;
            append_bytes(lexer, selector);
            append_bytes(lexer, " { color: ");
            append_bytes(lexer, *value);
            append_bytes(lexer, " }\n");
        }
    }
    for (const StyleRule* rule = lexer->styles; rule != nullptr; rule = rule->next) {
        append_bytes(lexer, " ");
        append_bytes(lexer, rule->tag_name);
        append_bytes(lexer, ".");
        append_bytes(lexer, rule->class_name);
        append_bytes(lexer, " {");
        append_bytes(lexer, rule->properties);
        append_bytes(lexer, "}\n");
    }
    Node* text = new_node();
    text->start = start;
    text->set_end(lexer->text_length());
    insert_node_at_end(style, text);

    Node* head = find_head(root);
    if (head != nullptr) {
        insert_node_at_end(head, style);
    } else {
        free_node(style); // nowhere to put it
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Always-on simplifications.

void collapse_nested_emphasis(Node* node) {
    while (node != nullptr) {
        if ((has_tag(node, tag_b) || has_tag(node, tag_i)) && node->parent != nullptr &&
            node->parent->tag() == node->tag()) {
            node = replace_by_children(node);
            continue;
        }
        if (node->first_child() != nullptr) collapse_nested_emphasis(node->first_child());
        node = node->next;
    }
}

void promote_logical_emphasis(Node* node) {
    for (; node != nullptr; node = node->next) {
        if (has_tag(node, tag_i)) {
            rename_node(node, tag_em);
        } else if (has_tag(node, tag_b)) {
            rename_node(node, tag_strong);
        }
        promote_logical_emphasis(node->first_child());
    }
}

bool lone_item_list_to_quote(Node* node) {
    if (node == nullptr) return false;
    bool quoted = false;
    for (Node* child = node->first_child(); child != nullptr; child = child->next) {
        if (lone_item_list_to_quote(child)) quoted = true;
    }
    if (node->tag() != nullptr && node->tag()->builder == BuilderList && has_one_child(node) &&
        node->first_child()->implicit) {
        hoist_only_child(node);
        rename_node(node, tag_blockquote);
        node->implicit = true;
        quoted = true;
    }
    return quoted;
}

void quote_nest_to_div(Node* node) {
    for (; node != nullptr; node = node->next) {
        if (has_tag(node, tag_blockquote) && node->implicit) {
            int depth = 1;
            while (has_one_child(node) && has_tag(node->first_child(), tag_blockquote)) {
                ++depth;
                hoist_only_child(node);
            }
            quote_nest_to_div(node->first_child());
            rename_node(node, tag_div);
            std::string margin = concat({"margin-left: ", std::to_string(2 * depth), "em"});
            // A list that carried its own style keeps one style attribute: the
            // margin joins it instead of standing beside it as a duplicate.
            if (get_attribute(node, "style") != nullptr) {
                set_style_property(node, margin.c_str());
            } else {
                add_attribute(node, "style", margin.c_str());
            }
        } else {
            quote_nest_to_div(node->first_child());
        }
    }
}

void presentation_to_style(Lexer* lexer, Node* root) {
    if (root == nullptr) return;
    walk_presentation(lexer, root);
    if (lexer->options.clean) {
        collect_style_classes(lexer, root);
        emit_style_element(lexer, root);
    }
}

// ---------------------------------------------------------------------------
// Shared operations.

void set_style_property(Node* node, const char* text) {
    NodeAttribute* style = get_attribute(node, "style");
    if (style != nullptr) {
        style->value = merge_styles(style->value.value_or(""), text);
    } else {
        prepend_style_attribute(node, text);
    }
}

void combine_styles(Node* node, Node* child) {
    NodeAttribute* child_style = get_attribute(child, "style");
    if (child_style == nullptr || !child_style->value) return;
    NodeAttribute* style = get_attribute(node, "style");
    if (style != nullptr && style->value) {
        style->value = merge_styles(*style->value, *child_style->value);
    } else {
        prepend_style_attribute(node, std::string(*child_style->value));
    }
}

namespace {

// The font-size property for a size attribute value; empty when none.
std::string font_size_property(std::string_view value) {
    static const char* const absolute[] = {"60%", "70%", "80%", nullptr, "120%", "150%", "200%"};
    char first = value.empty() ? '\0' : value[0];
    if (first >= '0' && first <= '6') {
        const char* size = absolute[first - '0'];
        return size != nullptr ? concat({"font-size: ", size}) : std::string();
    }
    char second = value.size() > 1 ? value[1] : '\0';
    unsigned n = static_cast<unsigned char>(static_cast<unsigned char>(second) - '0');
    bool smaller = first == '-';
    if (n > 6) return smaller ? "font-size: smaller" : "font-size: larger";
    if (n == 0) return "font-size: 100%";
    double factor = 1.0;
    for (unsigned i = 0; i < n; ++i)
        factor *= smaller ? 0.8 : 1.2;
    return concat({"font-size: ", std::to_string(static_cast<int>(factor * 100.0)), "%"});
}

} // namespace

void font_attrs_to_style(Node* node, NodeAttribute* attributes) {
    for (NodeAttribute* attribute = attributes; attribute != nullptr; attribute = attribute->next) {
        if (!attribute->value) continue; // a bare name says nothing about the font
        const std::string_view value = *attribute->value;
        if (attribute->name() == "face") {
            set_style_property(node, concat({"font-family: ", value}).c_str());
        } else if (attribute->name() == "color") {
            set_style_property(node, concat({"color: ", value}).c_str());
        } else if (attribute->name() == "size") {
            if (has_tag(node, tag_p) && (value == "6" || value == "5" || value == "4")) {
                const char* heading = value == "6" ? "h1" : value == "5" ? "h2" : "h3";
                node->set_element(lookup_builtin_tag(heading), heading);
                continue;
            }
            std::string property = font_size_property(value);
            if (!property.empty()) set_style_property(node, property.c_str());
        }
    }
}

void hoist_only_child(Node* node) {
    Node* child = node->first_child();
    if (child == nullptr || child->next != nullptr) return;
    remove_node(child);
    take_children(node, child);
    free_node(child);
}

void add_class(Node* node, const char* name) {
    NodeAttribute* klass = get_attribute(node, "class");
    if (klass == nullptr) {
        add_attribute(node, "class", name);
    } else if (klass->value) {
        klass->value = concat({*klass->value, " ", name});
    } else {
        klass->value = name;
    }
}

} // namespace varnel
