// The node record that every token and every element of a document tree
// uses, the attribute record, and the small tree edits and queries shared by
// the builders, cleaners and printers.
//
// Ownership: a node owns its first child, its next sibling, its attribute
// list and its element name (see ElementTag). Character data is not copied
// into nodes: it is the byte range start..end of the document's TextBuffer,
// which outlives the tree. ASP/PHP blocks found among attributes are owned
// by the lexer.
//
// Node and attribute records come from per-thread pools (pool.h) whose
// blocks lie in one reserved stretch of address space (record_region.h), so
// that links between records take four bytes: a document's records are
// made and released on the thread that processes it.
// free_node and check-style walks never recurse on input depth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <type_traits>

#include "base/attr_value.h"
#include "base/short_name.h"
#include "model/attrs.h"
#include "model/packed_ptr.h"
#include "model/tags.h"

namespace varnel {

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

// A record's name as Node::element_name and NodeAttribute::name give it:
// a view of text that a NUL follows.
class NameView : public std::string_view {
  public:
    explicit NameView(std::string_view name) : std::string_view(name) {}
    const char* c_str() const { return data(); }
    std::string_view view() const { return *this; }
};

// The address of a table entry, and whether it lives as long as the program
// (a record may then borrow its name): built-in tags do, tags a run
// declares do not, and every attribute entry lies in the constant tables.
inline const TagDef* entry_address(TagPtr tag) {
    return tag.get();
}
inline const AttrDef* entry_address(const AttrDef* def) {
    return def;
}
inline bool entry_lives_forever(TagPtr tag) {
    return is_builtin_tag(tag);
}
inline bool entry_lives_forever(const AttrDef*) {
    return true;
}

// An attribute's table entry kept in four bytes. Every attribute entry
// lies in the program's constant tables, within 2 GiB of the first
// (attr_entry_anchor), and a name record (see NamedEntry) in the record
// region: 0 stands for null, an odd value for the link of a name record
// (the low bit marks it, as in a stored pointer: name records lie 8 bytes
// apart, so their links are even), an even one for the entry's distance
// from the anchor, shifted by half the range. Used where record links are
// offsets (elsewhere the pointer is kept, in PackedBits).
class AttrEntryBits {
  public:
    template <typename T> T* get() const {
        uint32_t value;
        std::memcpy(&value, bytes_, sizeof value);
        if (value == 0) return nullptr;
        uintptr_t address;
        if ((value & 1) != 0) {
            address = reinterpret_cast<uintptr_t>(record_at<char>(value - 1)) + 1;
        } else {
            address = reinterpret_cast<uintptr_t>(attr_entry_anchor()) +
                      static_cast<uintptr_t>(static_cast<int64_t>(value) - DistanceBias);
        }
        return reinterpret_cast<T*>(address);
    }
    void set(const void* pointer);

  private:
    static constexpr int64_t DistanceBias = int64_t{1} << 31;
    unsigned char bytes_[sizeof(uint32_t)] = {};
};

// How a NamedEntry keeps its entry: six bytes (a packed pointer), four for
// an attribute's where record links are offsets.
template <typename Ref> struct EntryBits { using type = PackedBits; };
template <> struct EntryBits<const AttrDef*> {
    using type = std::conditional_t<RecordLinksAreOffsets, AttrEntryBits, PackedBits>;
};

// A table entry and a name in six bytes (four for an attribute's: see
// AttrEntryBits), for the tag and name of an element and the entry and
// name of an attribute. Nearly every element and
// attribute is named as its entry is, and then the entry alone is kept and
// the name read from it; one named otherwise (XML, foreign content, a name
// no table knows, a family entry such as data-*, an entry given without its
// name) keeps the entry and its name in a small record of its own
// (`Named`), which the low bit of the stored pointer marks (entries lie at
// even addresses). Setting the entry keeps the name and setting the name
// keeps the entry, as if both were fields of their own.
template <typename Ref> class NamedEntry {
    using Def = std::remove_cvref_t<decltype(*entry_address(Ref()))>;

  public:
    NamedEntry() = default;
    NamedEntry(const NamedEntry&) = delete;
    NamedEntry& operator=(const NamedEntry&) = delete;
    ~NamedEntry() {
        if (Named* named = named_record()) release_named(named);
    }

    Ref entry() const {
        const uintptr_t bits = stored();
        if ((bits & NamedBit) != 0) return reinterpret_cast<Named*>(bits - NamedBit)->entry;
        return Ref(reinterpret_cast<const Def*>(bits));
    }
    // The name: the entry's own unless the record keeps one. It is
    // followed by a NUL. Empty when there is neither.
    std::string_view name() const {
        const uintptr_t bits = stored();
        if ((bits & NamedBit) != 0) return reinterpret_cast<Named*>(bits - NamedBit)->name.view();
        if (bits == 0) return std::string_view("", 0);
        return reinterpret_cast<const Def*>(bits)->name;
    }
    // Sets the entry; the name stays what it was.
    void set_entry(Ref entry);
    // Sets the name (which may be a view of this name itself); the entry
    // stays what it was.
    void set_name(std::string_view name);
    // Sets both.
    void set(Ref entry, std::string_view name);
    // Makes this entry and name those of `other`.
    void copy_from(const NamedEntry& other);

    // A name kept beside its entry.
    struct Named {
        Ref entry;
        RecordName name;
    };

  private:
    static constexpr uintptr_t NamedBit = 1;

    uintptr_t stored() const {
        return reinterpret_cast<uintptr_t>(bits_.template get<const void>());
    }
    Named* named_record() const {
        const uintptr_t bits = stored();
        return (bits & NamedBit) != 0 ? reinterpret_cast<Named*>(bits - NamedBit) : nullptr;
    }
    void store_entry(Ref entry) { bits_.set(entry_address(entry)); }
    void store_named(Ref entry, std::string_view name, const std::string_view* borrowed);
    static void release_named(Named* named);

    typename EntryBits<Ref>::type bits_;
};

// A node's tag and element name (see NamedEntry), read and compared as the
// TagPtr it holds.
class ElementTag : public NamedEntry<TagPtr> {
  public:
    TagPtr tag() const { return entry(); }
    operator TagPtr() const { return tag(); }
    const TagDef* get() const { return tag().get(); }
    const TagDef* operator->() const { return get(); }
    const TagDef& operator*() const { return *get(); }
    explicit operator bool() const { return tag() != nullptr; }

    // Sets the tag; the element's name stays what it was.
    ElementTag& operator=(TagPtr tag) {
        set_entry(tag);
        return *this;
    }

    friend bool operator==(const ElementTag& a, TagPtr b) { return a.tag() == b; }
    friend bool operator==(const ElementTag& a, const ElementTag& b) { return a.tag() == b.tag(); }
    friend bool operator==(const ElementTag& a, std::nullptr_t) { return a.tag() == nullptr; }
};

// An attribute. The few that are server blocks standing in place of an
// attribute are made as a BlockAttribute, this record followed by the
// link to the block.
struct NodeAttribute {
    PackedPtr<NodeAttribute> next;
    AttrValue value; // without a value: the attribute is a bare name
    // The table entry (null when none is known, or none looked up yet) and
    // the name, empty for an ASP or PHP entry.
    NamedEntry<const AttrDef*> entry_and_name;
    char delimiter = '"';
    // The record is the head of a BlockAttribute.
    bool has_block = false;

    NodeAttribute() = default;
    NodeAttribute(const NodeAttribute&) = delete;
    NodeAttribute& operator=(const NodeAttribute&) = delete;

    // The server block standing in place of an attribute: "<% ... %>" (an
    // AspNode) or "<?php ... ?>" (a PhpNode); null for any other attribute.
    Node* block() const;

    NameView name() const { return NameView(entry_and_name.name()); }
    const AttrDef* attr_def() const { return entry_and_name.entry(); }
    void set_name(std::string_view name) { entry_and_name.set_name(name); }
    void set_attr_def(const AttrDef* def) { entry_and_name.set_entry(def); }

    Node* asp() const;
    Node* php() const;

    // Records come from a pool (see pool.h).
    static void* operator new(std::size_t size);
    static void operator delete(void* record);
};

// An attribute record with its block (see NodeAttribute).
struct BlockAttribute {
    NodeAttribute attribute;
    PackedPtr<Node> block;
    BlockAttribute() { attribute.has_block = true; }
};

inline Node* NodeAttribute::block() const {
    // An attribute that has a block is the first member of a
    // BlockAttribute, and so shares its address.
    return has_block ? reinterpret_cast<const BlockAttribute*>(this)->block.get() : nullptr;
}

// A TextBuffer offset kept in four bytes of its own, so that the records
// holding it need no alignment: the node record then ends without padding.
class TextOffset {
  public:
    TextOffset() = default;
    TextOffset(const TextOffset&) = delete;
    operator uint32_t() const {
        uint32_t value;
        std::memcpy(&value, bytes_, sizeof value);
        return value;
    }
    TextOffset& operator=(uint32_t value) {
        std::memcpy(bytes_, &value, sizeof value);
        return *this;
    }
    TextOffset& operator=(const TextOffset& other) { return *this = uint32_t(other); }
    TextOffset& operator+=(uint32_t step) { return *this = uint32_t(*this) + step; }
    TextOffset& operator-=(uint32_t step) { return *this = uint32_t(*this) - step; }
    TextOffset& operator++() { return *this += 1; }
    TextOffset& operator--() { return *this -= 1; }

  private:
    unsigned char bytes_[sizeof(uint32_t)] = {};
};

// The links of a node that may hold children and attributes: elements,
// the root, and every other kind but the text of the source. (The last
// child is the one the first child's previous-sibling link names.)
struct ElementLinks {
    PackedPtr<Node> first_child;
    PackedPtr<NodeAttribute> attributes; // newest first (reverse source order)
};

// The kinds of the nodes of elements, which have a tag and an element name.
constexpr bool is_tag_kind(NodeKind kind) {
    return kind == StartTagNode || kind == EndTagNode || kind == StartEndTagNode;
}

// What every node has. Most nodes are made as a NodeRecord, this record
// followed by an element's tag and the ElementLinks; the text nodes the
// lexer makes (about half the nodes of a page) are made as this record
// alone, 10 bytes smaller. The end of the text range is the record's last
// field, and in the record of an element (a node of a tag kind), whose text
// range is empty, the element's tag lies in its place. The kind, the end,
// the tag and the links are read and written through the routines below,
// which know which kind of record they are on: a record without links reads
// as one with no children and no attributes, a node of another kind than
// a tag as one with no tag and no element name, an element as one whose
// text range ends where it starts.
//
// The siblings under a parent form a list linked both ways in which the
// first child's previous-sibling link names the last child, so that the
// parent needs no link of its own to the end of the list: prev() is null
// for a first child (the node its link names is not followed by it), and
// last_child() is the node the first child's link names. A chain of
// siblings without a parent has a first node whose link is null.
struct Node {
    TextOffset start; // TextBuffer range of the node's text: start .. end()
    PackedPtr<Node> parent;
    PackedPtr<Node> next;
    bool closed : 1 = false;
    bool implicit : 1 = false;
    bool newline_after : 1 = false;
    // The element was given another tag (see retag_element); the document
    // keeps the tag it had.
    bool retagged : 1 = false;
    // The record is the head of a NodeRecord (and so has ElementLinks).
    bool has_links : 1 = false;

    NodeKind kind() const { return kind_; }
    // Changes the kind. A node that becomes an element gets the null tag
    // and an empty text range at its start; one that stops being an element
    // gives its tag up. (A record without links cannot become an element:
    // that ends the program.)
    void set_kind(NodeKind kind) {
        if (is_tag_kind(kind) != is_tag_kind(kind_)) change_tag_kind(kind);
        kind_ = kind;
    }

    uint32_t end() const { return is_tag_kind(kind_) ? uint32_t(start) : uint32_t(end_); }
    // Sets the end of the text range (an element's range stays empty).
    void set_end(uint32_t end) {
        if (!is_tag_kind(kind_)) end_ = end;
    }

    // The previous sibling; null for the first child.
    Node* prev() const {
        Node* p = prev_;
        return p != nullptr && p->next == this ? p : nullptr;
    }
    // The link itself, for the tree edits (node.cpp) and the link check:
    // the previous sibling, or for a first child the last one.
    PackedPtr<Node>& prev_link() { return prev_; }
    const PackedPtr<Node>& prev_link() const { return prev_; }

    Node* first_child() const { return has_links ? links().first_child : nullptr; }
    Node* last_child() const {
        const Node* first = first_child();
        return first != nullptr ? first->prev_.get() : nullptr;
    }
    NodeAttribute* attributes() const { return has_links ? links().attributes : nullptr; }
    // Setting a link to null on a record without links changes nothing;
    // setting it to a record there ends the program (an internal fault,
    // never a write past the record).
    void set_first_child(Node* child) {
        if (ElementLinks* l = links_for(child)) l->first_child = child;
    }
    void set_attributes(NodeAttribute* list) {
        if (ElementLinks* l = links_for(list)) l->attributes = list;
    }
    // The attribute list's head link, for edits of the list in place (a
    // record without links ends the program, as above).
    PackedPtr<NodeAttribute>& attribute_link() { return links_for(this)->attributes; }

    // The element's tag: null for kinds other than tags.
    TagPtr tag() const { return is_tag_kind(kind_) ? element_tag().tag() : TagPtr(); }
    // Sets the tag; the element's name stays what it was. (On a node of
    // another kind a null tag changes nothing and any other ends the
    // program; the same holds for the name and the routines below.)
    void set_tag(TagPtr tag) {
        if (ElementTag* t = tag_for(tag.get() != nullptr)) *t = tag;
    }
    // The element's name; empty for kinds other than tags.
    NameView element_name() const {
        return NameView(is_tag_kind(kind_) ? element_tag().name() : std::string_view("", 0));
    }
    void set_element_name(std::string_view name) {
        if (ElementTag* t = tag_for(!name.empty())) t->set_name(name);
    }
    void set_element(TagPtr tag, std::string_view name) {
        if (ElementTag* t = tag_for(tag.get() != nullptr || !name.empty())) t->set(tag, name);
    }
    // Gives this element the tag and name of `other`.
    void copy_element_of(const Node& other) {
        if (is_tag_kind(other.kind_)) {
            tag_for(true)->copy_from(other.element_tag());
        } else if (is_tag_kind(kind_)) {
            element_tag().set(TagPtr(), std::string_view());
        }
    }

    Node() = default;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

  private:
    friend struct NodeRecord;

    PackedPtr<Node> prev_;
    NodeKind kind_ = TextNode;
    TextOffset end_; // (the last field: see above)

    const ElementLinks& links() const;
    ElementLinks& links();
    ElementLinks* links_for(const void* value) {
        if (has_links) return &links();
        if (value != nullptr) node_without_links();
        return nullptr;
    }
    const ElementTag& element_tag() const;
    ElementTag& element_tag();
    ElementTag* tag_for(bool setting_something) {
        if (is_tag_kind(kind_)) return &element_tag();
        if (setting_something) node_without_tag();
        return nullptr;
    }
    void change_tag_kind(NodeKind kind);
    [[noreturn]] static void node_without_links();
    [[noreturn]] static void node_without_tag();
};

// A node with its tag and links: the record of every node but the lexer's
// text. An element's tag begins where the node's last field, the end of
// its text range, lies (that field is not kept for an element), so the
// tag takes two bytes beyond the node.
struct NodeRecord {
    static constexpr std::size_t TagAt = sizeof(Node) - sizeof(TextOffset);
    static_assert(alignof(Node) == 1 && alignof(ElementTag) == 1 && alignof(ElementLinks) == 1);

    Node node;
    unsigned char tag_rest[sizeof(ElementTag) - sizeof(TextOffset)] = {};
    ElementLinks links;

    NodeRecord() { node.has_links = true; }
    // The record of an element of `element_kind` (a tag kind), with the
    // null tag.
    explicit NodeRecord(NodeKind element_kind) : NodeRecord() {
        node.kind_ = element_kind;
        make_tag();
    }
    NodeRecord(const NodeRecord&) = delete;
    NodeRecord& operator=(const NodeRecord&) = delete;
    ~NodeRecord() {
        if (is_tag_kind(node.kind_)) tag()->~ElementTag();
    }

    // Starts the life of the tag in its place (over the end field's bytes).
    void make_tag() { new (reinterpret_cast<unsigned char*>(this) + TagAt) ElementTag(); }
    ElementTag* tag() {
        return std::launder(
            reinterpret_cast<ElementTag*>(reinterpret_cast<unsigned char*>(this) + TagAt));
    }
    const ElementTag* tag() const {
        return std::launder(reinterpret_cast<const ElementTag*>(
            reinterpret_cast<const unsigned char*>(this) + TagAt));
    }
};

inline const ElementLinks& Node::links() const {
    // A Node that has links is the first member of a NodeRecord, and so
    // shares its address.
    return reinterpret_cast<const NodeRecord*>(this)->links;
}
inline ElementLinks& Node::links() {
    return reinterpret_cast<NodeRecord*>(this)->links;
}
inline const ElementTag& Node::element_tag() const {
    return *reinterpret_cast<const NodeRecord*>(this)->tag();
}
inline ElementTag& Node::element_tag() {
    return *reinterpret_cast<NodeRecord*>(this)->tag();
}

// Constructors.
Node* new_node();
// A node of `kind`, made as an element (with the null tag) when it is a tag
// kind.
Node* new_node(NodeKind kind);
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
// An attribute entry standing for the server block `block` (an AspNode or
// a PhpNode), which the lexer owns.
NodeAttribute* new_block_attribute(Node* block);
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
// Moves every child of `from`, in order, to `to`, which has none.
void take_children(Node* to, Node* from);

// Queries.
Node* find_doctype(Node* root);
Node* find_html(Node* root);
Node* find_head(Node* root);
Node* find_body(Node* root);

// Every node and attribute a document holds is one of these records, and
// every 4 KiB of them costs the page fault that brings the memory in.
static_assert(RecordLinksAreOffsets
                  ? sizeof(Node) <= 22 && sizeof(NodeRecord) <= 32 && sizeof(NodeAttribute) <= 22
                  : sizeof(Node) <= 28 && sizeof(NodeRecord) <= 42 && sizeof(NodeAttribute) <= 26);

inline Node* NodeAttribute::asp() const {
    Node* b = block();
    return b != nullptr && b->kind() == AspNode ? b : nullptr;
}
inline Node* NodeAttribute::php() const {
    Node* b = block();
    return b != nullptr && b->kind() == PhpNode ? b : nullptr;
}

// True for svg, math and the elements inside them.
inline bool is_foreign(const Node* node) {
    return node->tag() != nullptr && (node->tag()->model & ModelForeign) != 0;
}

inline bool is_element(const Node* node) {
    return node->kind() == StartTagNode || node->kind() == StartEndTagNode;
}

} // namespace varnel
