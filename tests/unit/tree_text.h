// Test helpers shared by the cleaner and builder tests: build a small tree
// from a compact markup, and write a tree back as text so that a whole
// result can be compared in one assertion.
//
// Markup accepted by parse_tree (well-formed, no entities):
//   <name a="v" b=w c>  start tag; attributes end up newest first, as the
//                       lexer stores them; the tag comes from the dictionary
//   <name! ...>         the same element marked implicit
//   <name/>             a start-end tag
//   </name>             closes the innermost open element (must match)
//   <!--text-->         comment;  <![text]>  marked section
//   anything else       text, copied byte for byte into the TextBuffer
// Elements whose tag has ModelEmpty take no content and need no end tag.
//
// dump_tree writes the children of a node the same way: attributes in
// printing order (the list from its last record to its first), implicit
// elements with "!", end tags for every element that may have content.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "input/lexer.h"
#include "model/attrs.h"
#include "model/node.h"
#include "model/tags.h"

namespace varnel::tree_text {

inline void append_raw(Lexer* lexer, std::string_view bytes) {
    lexer->text.append(bytes);
}

// A text node holding `bytes`, appended to the TextBuffer.
inline Node* make_text(Lexer* lexer, std::string_view bytes) {
    Node* text = new_node();
    text->start = lexer->text_length();
    append_raw(lexer, bytes);
    text->set_end(lexer->text_length());
    return text;
}

inline Node* make_kind(Lexer* lexer, NodeKind kind, std::string_view bytes) {
    Node* node = make_text(lexer, bytes);
    node->set_kind(kind);
    return node;
}

inline bool is_space(char c) {
    return c == ' ' || c == '\n' || c == '\t';
}

// Parses "<name ...>" starting after '<'; returns the new node and moves pos
// past '>'.
inline Node* parse_start_tag(Lexer* lexer, std::string_view markup, size_t& pos) {
    size_t name_start = pos;
    while (pos < markup.size() && !is_space(markup[pos]) && markup[pos] != '>' &&
           markup[pos] != '/' && markup[pos] != '!') {
        ++pos;
    }
    std::string name(markup.substr(name_start, pos - name_start));
    Node* node = infer_tag(lexer, name.c_str());
    node->implicit = false;
    if (pos < markup.size() && markup[pos] == '!') {
        node->implicit = true;
        ++pos;
    }
    for (;;) {
        while (pos < markup.size() && is_space(markup[pos]))
            ++pos;
        if (pos >= markup.size()) break;
        if (markup[pos] == '>') {
            ++pos;
            break;
        }
        if (markup[pos] == '/') {
            node->set_kind(StartEndTagNode);
            pos += 2;
            break;
        }
        size_t attr_start = pos;
        while (pos < markup.size() && !is_space(markup[pos]) && markup[pos] != '=' &&
               markup[pos] != '>' && markup[pos] != '/') {
            ++pos;
        }
        NodeAttribute* attribute = new_attribute();
        attribute->set_name(std::string(markup.substr(attr_start, pos - attr_start)));
        if (pos < markup.size() && markup[pos] == '=') {
            ++pos;
            if (markup[pos] == '"') {
                size_t close = markup.find('"', pos + 1);
                attribute->value = std::string(markup.substr(pos + 1, close - pos - 1));
                pos = close + 1;
            } else {
                size_t value_start = pos;
                while (pos < markup.size() && !is_space(markup[pos]) && markup[pos] != '>')
                    ++pos;
                attribute->value = std::string(markup.substr(value_start, pos - value_start));
            }
        }
        attribute->set_attr_def(lookup_attr_def(attribute->name().c_str()));
        attribute->next = node->attributes(); // newest first
        node->set_attributes(attribute);
    }
    return node;
}

// Builds a root node holding the parsed markup.
inline Node* parse_tree(Lexer* lexer, std::string_view markup) {
    Node* root = new_node();
    root->set_kind(RootNode);
    std::vector<Node*> open{root};
    size_t pos = 0;
    while (pos < markup.size()) {
        Node* parent = open.back();
        if (markup.substr(pos, 4) == "<!--") {
            size_t close = markup.find("-->", pos + 4);
            // Like the lexer, the node's text keeps the closing hyphens.
            insert_node_at_end(
                parent, make_kind(lexer, CommentNode, markup.substr(pos + 4, close - pos - 2)));
            pos = close + 3;
        } else if (markup.substr(pos, 3) == "<![") {
            size_t close = markup.find("]>", pos + 3);
            insert_node_at_end(
                parent, make_kind(lexer, SectionNode, markup.substr(pos + 3, close - pos - 3)));
            pos = close + 2;
        } else if (markup.substr(pos, 2) == "</") {
            size_t close = markup.find('>', pos);
            std::string name(markup.substr(pos + 2, close - pos - 2));
            EXPECT_EQ(parent->element_name(), name) << "badly nested test markup";
            if (open.size() > 1) open.pop_back();
            pos = close + 1;
        } else if (markup[pos] == '<') {
            ++pos;
            Node* node = parse_start_tag(lexer, markup, pos);
            insert_node_at_end(parent, node);
            bool empty = node->tag() != nullptr && (node->tag()->model & ModelEmpty) != 0;
            if (node->kind() == StartTagNode && !empty) open.push_back(node);
        } else {
            size_t next = markup.find('<', pos);
            if (next == std::string_view::npos) next = markup.size();
            insert_node_at_end(parent, make_text(lexer, markup.substr(pos, next - pos)));
            pos = next;
        }
    }
    return root;
}

inline void dump_attributes(std::string& out, const NodeAttribute* attribute) {
    if (attribute == nullptr) return;
    dump_attributes(out, attribute->next); // the printer writes the list from its end
    out += ' ';
    out += attribute->name();
    if (attribute->value) {
        out += "=\"";
        out += *attribute->value;
        out += '"';
    }
}

inline void dump_node(std::string& out, const Lexer* lexer, const Node* node);

inline void dump_children(std::string& out, const Lexer* lexer, const Node* node) {
    for (const Node* child = node->first_child(); child != nullptr; child = child->next) {
        dump_node(out, lexer, child);
    }
}

inline void dump_node(std::string& out, const Lexer* lexer, const Node* node) {
    std::string_view text;
    if (node->end() > node->start && node->end() <= lexer->text.size()) {
        text = std::string_view(lexer->text).substr(node->start, node->end() - node->start);
    }
    switch (node->kind()) {
    case TextNode:
        out += text;
        return;
    case CommentNode: // the text ends with the closing hyphens
        out += "<!--";
        out += text;
        out += ">";
        return;
    case SectionNode:
        out += "<![";
        out += text;
        out += "]>";
        return;
    case CDataNode:
        out += "<![CDATA[";
        out += text;
        out += "]]>";
        return;
    case ProcInsNode:
        out += "<?";
        out += text;
        out += ">";
        return;
    case DoctypeNode:
        out += "<!DOCTYPE ";
        out += text;
        out += ">";
        return;
    case RootNode:
        dump_children(out, lexer, node);
        return;
    default:
        break;
    }
    out += '<';
    if (node->kind() == EndTagNode) out += '/';
    out += node->element_name();
    if (node->implicit) out += '!';
    dump_attributes(out, node->attributes());
    if (node->kind() == StartEndTagNode) {
        out += "/>";
        return;
    }
    out += '>';
    bool empty = node->tag() != nullptr && (node->tag()->model & ModelEmpty) != 0 &&
                 node->first_child() == nullptr;
    if (node->kind() != StartTagNode || empty) return;
    dump_children(out, lexer, node);
    out += "</";
    out += node->element_name();
    out += '>';
}

// The children of `node` as markup.
inline std::string dump_tree(const Lexer* lexer, const Node* node) {
    std::string out;
    if (node != nullptr) dump_children(out, lexer, node);
    return out;
}

} // namespace varnel::tree_text

namespace varnel::tree_text {

// Whether every link below `node` agrees with its neighbours and parent.
inline bool links_ok(const Node* node) {
    const Node* prev = nullptr;
    for (const Node* child = node->first_child(); child != nullptr; child = child->next) {
        if (child->parent != node || child->prev() != prev) return false;
        // (The first child's link names the last child.)
        if (prev != nullptr && child->prev_link() != prev) return false;
        if (!links_ok(child)) return false;
        prev = child;
    }
    return node->last_child() == prev;
}

} // namespace varnel::tree_text
