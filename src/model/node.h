// The node record that every token and every element of a document tree
// uses, the attribute record, and the small tree edits and queries shared by
// the builders, cleaners and printers.
//
// Ownership: a node owns its first child, its next sibling, its attribute
// list and its element name. Character data is not copied into nodes: it is
// the byte range start..end of the document's TextBuffer, which outlives the
// tree. ASP/PHP blocks found among attributes are owned by the lexer.
//
// Node and attribute records come from per-thread pools (pool.h) whose
// blocks lie in one reserved stretch of address space (record_region.h), so
// that links between records take four bytes: a document's records are
// made and released on the thread that processes it.
// free_node and check-style walks never recurse on input depth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "base/attr_value.h"
#include "base/short_name.h"
#include "model/packed_ptr.h"
#include "model/tags.h"

namespace varnel {

struct AttrDef;
struct DocumentState;

enum NodeKind : uint8_t {
    RootNode = 0,
    DoctypeNode = 1,
    CommentNode = 2,
    ProcInsNode = 3,
    TextNode = 4,
    StartTagNode = 5,
    EndTagNode = 6,
    StartEndTagNode = 7,
    CDataNode = 8,
    SectionNode = 9,
    AspNode = 10,
    JsteNode = 11,
    PhpNode = 12,
};

struct Node;
struct NodeAttribute;

// Both come from the record pools (node.cpp), so links to them are offsets
// into the record region.
template <> inline constexpr bool is_pooled_record<Node> = true;
template <> inline constexpr bool is_pooled_record<NodeAttribute> = true;

struct NodeAttribute {
    PackedPtr<NodeAttribute> next;
    PackedPtr<const AttrDef> attr_def;
    // A server block standing in place of an attribute: "<% ... %>" (an
    // AspNode) or "<?php ... ?>" (a PhpNode).
    PackedPtr<Node> block;
    AttrValue value; // without a value: the attribute is a bare name
    AttrName name;   // empty for an ASP or PHP entry
    char delimiter = '"';

    Node* asp() const;
    Node* php() const;

    // Records come from a pool (see pool.h).
    static void* operator new(std::size_t size);
    static void operator delete(void* record);
};

struct Node {
    uint32_t start = 0; // TextBuffer range of the node's text
    uint32_t end = 0;
    PackedPtr<Node> parent;
    PackedPtr<Node> prev;
    PackedPtr<Node> next;
    PackedPtr<Node> first_child;
    PackedPtr<Node> last_child;
    PackedPtr<NodeAttribute> attributes; // newest first (reverse source order)
    PackedTag tag;
    ElementName element_name; // empty for kinds other than tags
    NodeKind kind = TextNode;
    bool closed : 1 = false;
    bool implicit : 1 = false;
    bool newline_after : 1 = false;
    // The element was given another tag (see retag_element); the document
    // keeps the tag it had.
    bool retagged : 1 = false;

    // Records come from a pool (see pool.h).
    static void* operator new(std::size_t size);
    static void operator delete(void* record);
};

// Constructors.
Node* new_node();
Node* new_text_node(DocumentState* doc);
Node* new_line_node(DocumentState* doc);
Node* new_token_node(DocumentState* doc, NodeKind kind); // a node of `kind` over the current token
inline Node* new_comment_node(DocumentState* doc) {
    return new_token_node(doc, CommentNode);
}
inline Node* new_doctype_node(DocumentState* doc) {
    return new_token_node(doc, DoctypeNode);
}
inline Node* new_procins_node(DocumentState* doc) {
    return new_token_node(doc, ProcInsNode);
}
inline Node* new_cdata_node(DocumentState* doc) {
    return new_token_node(doc, CDataNode);
}
inline Node* new_section_node(DocumentState* doc) {
    return new_token_node(doc, SectionNode);
}
inline Node* new_asp_node(DocumentState* doc) {
    return new_token_node(doc, AspNode);
}
inline Node* new_jste_node(DocumentState* doc) {
    return new_token_node(doc, JsteNode);
}
inline Node* new_php_node(DocumentState* doc) {
    return new_token_node(doc, PhpNode);
}
Node* new_tag_node(DocumentState* doc, NodeKind kind);
Node* infer_tag(DocumentState* doc, const char* name);
Node* clone_node(DocumentState* doc, const Node* element);
NodeAttribute* new_attribute();
NodeAttribute* copy_attribute_list(const NodeAttribute* list);

// Destructors. free_node releases the node, its content and every following
// sibling; unlink first (or use discard_node) to release one node alone.
void free_node(Node* node);
void free_attributes(Node* node);
void free_attribute(NodeAttribute* attribute);
void free_attribute_list(NodeAttribute* list);
void remove_attribute(Node* node, NodeAttribute* attribute);

// Tree edits.
void insert_node_at_start(Node* parent, Node* node);
void insert_node_at_end(Node* parent, Node* node);
void insert_node_before(Node* target, Node* node);
void insert_node_after(Node* target, Node* node);
void remove_node(Node* node);
Node* discard_node(Node* node); // returns the former next sibling
// Moves the node's children, in order, to stand just before it.
void lift_children(Node* node);

// Queries.
Node* find_doctype(Node* root);
Node* find_html(Node* root);
Node* find_head(Node* root);
Node* find_body(Node* root);

// Every node and attribute a document holds is one of these records, and
// every 4 KiB of them costs the page fault that brings the memory in.
static_assert(RecordLinksAreOffsets ? sizeof(Node) <= 48 && sizeof(NodeAttribute) <= 38
                                    : sizeof(Node) <= 60 && sizeof(NodeAttribute) <= 42);

inline Node* NodeAttribute::asp() const {
    return block != nullptr && block->kind == AspNode ? block : nullptr;
}
inline Node* NodeAttribute::php() const {
    return block != nullptr && block->kind == PhpNode ? block : nullptr;
}

// True for svg, math and the elements inside them.
inline bool is_foreign(const Node* node) {
    return node->tag != nullptr && (node->tag->model & ModelForeign) != 0;
}

inline bool is_element(const Node* node) {
    return node->kind == StartTagNode || node->kind == StartEndTagNode;
}

} // namespace varnel
