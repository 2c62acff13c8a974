// Node and attribute records: constructors, destructors, tree edits and
// queries.
#include "model/node.h"

#include <algorithm>
#include <new>
#include <vector>

#include "base/util.h"
#include "model/document.h"
#include "model/attrs.h"
#include "model/pool.h"
#include "model/tags.h"

namespace varnel {

namespace {

// Each thread has pools of its own, so that documents processed at once
// never share one; a thread's pools are released when it ends. They are a
// cache of the allocator, not state of any document: what a document does
// never depends on them.
// A record starts a whole number of link units from the region's start, as
// a link counts in those units.
using NodePool = RecordPool<sizeof(NodeRecord), std::max(alignof(NodeRecord), RecordLinkUnit)>;
using TextPool = RecordPool<sizeof(Node), std::max(alignof(Node), RecordLinkUnit)>;
using AttributePool =
    RecordPool<sizeof(NodeAttribute), std::max(alignof(NodeAttribute), RecordLinkUnit)>;
using BlockAttributePool =
    RecordPool<sizeof(BlockAttribute), std::max(alignof(BlockAttribute), RecordLinkUnit)>;

NodePool& node_pool() {
    thread_local NodePool pool;
    return pool;
}

TextPool& text_pool() {
    thread_local TextPool pool;
    return pool;
}

AttributePool& attribute_pool() {
    thread_local AttributePool pool;
    return pool;
}

BlockAttributePool& block_attribute_pool() {
    thread_local BlockAttributePool pool;
    return pool;
}

// The records of names kept beside their entries (NamedEntry), of elements
// and attributes alike.
constexpr std::size_t NamedSlotBytes = 16;
constexpr std::size_t NamedSlotAlign = 8;
using NamedPool = RecordPool<NamedSlotBytes, NamedSlotAlign>;

NamedPool& named_pool() {
    thread_local NamedPool pool;
    return pool;
}

// Ends the life of a record that is either the head of a `Whole` record
// (a node with links, an attribute with a block) or a record of its own,
// and gives it back to the pool that `whole_pool` or `head_pool` returns.
// (Not a delete expression: seeing the record reached from the start of
// the record region, the compiler would take the delete for one of memory
// that did not come from the heap.)
template <typename Whole, typename Head, typename WholePool, typename HeadPool>
void release_head_or_whole(Head* head, bool whole, WholePool whole_pool, HeadPool head_pool) {
    if (whole) {
        Whole* record = reinterpret_cast<Whole*>(head);
        record->~Whole();
        whole_pool().give_back(record);
    } else {
        head->~Head();
        head_pool().give_back(head);
    }
}

void release_record(Node* node) {
    release_head_or_whole<NodeRecord>(node, node->has_links, node_pool, text_pool);
}

// A node without links: the lexer's text.
Node* new_text_record() {
    return new (text_pool().take()) Node();
}

void release_record(NodeAttribute* attribute) {
    release_head_or_whole<BlockAttribute>(attribute, attribute->has_block, block_attribute_pool,
                                          attribute_pool);
}

} // namespace

void Node::change_tag_kind(NodeKind kind) {
    if (is_tag_kind(kind)) {
        if (!has_links) node_without_tag();
        reinterpret_cast<NodeRecord*>(this)->make_tag();
    } else {
        element_tag().~ElementTag();
        new (&end_) TextOffset();
        end_ = start;
    }
}

void Node::node_without_links() {
    fatal_error("Internal fault: a text node given children or attributes");
}

void Node::node_without_tag() {
    fatal_error("Internal fault: a node that is no element given a tag");
}

void* NodeAttribute::operator new(std::size_t) {
    return attribute_pool().take();
}

void NodeAttribute::operator delete(void* record) {
    if (record != nullptr) attribute_pool().give_back(record);
}

// Entries lie at even addresses, so the low bit of a stored pointer is
// free to mark a Named record (which lies at an even address too).
static_assert(alignof(TagDef) >= 2 && alignof(AttrDef) >= 2);
static_assert(alignof(NamedEntry<TagPtr>::Named) >= 2 &&
              alignof(NamedEntry<const AttrDef*>::Named) >= 2);
// An attribute's entry keeps the link of its name record with the low bit
// set (AttrEntryBits), so the link itself must be even.
static_assert(NamedSlotAlign % (2 * RecordLinkUnit) == 0);

void AttrEntryBits::set(const void* pointer) {
    const auto bits = reinterpret_cast<uintptr_t>(pointer);
    uint32_t value = 0;
    if ((bits & 1) != 0) {
        const uint32_t link = record_link_of(reinterpret_cast<const void*>(bits - 1));
        if ((link & 1) != 0) fatal_error("Internal fault: a name record out of place");
        value = link | 1;
    } else if (bits != 0) {
        const int64_t distance =
            static_cast<int64_t>(bits) -
            static_cast<int64_t>(reinterpret_cast<uintptr_t>(attr_entry_anchor()));
        if (distance <= -DistanceBias || distance >= DistanceBias)
            fatal_error("Internal fault: an attribute entry outside the tables");
        value = static_cast<uint32_t>(distance + DistanceBias);
    }
    std::memcpy(bytes_, &value, sizeof value);
}

template <typename Ref> void NamedEntry<Ref>::set_entry(Ref entry) {
    if (const Named* named = named_record()) {
        set(entry, named->name.view());
        return;
    }
    const Ref current = this->entry();
    if (entry_address(current) == entry_address(entry)) return;
    const std::string_view kept = current != nullptr ? current->name : std::string_view();
    if (kept == (entry != nullptr ? entry->name : std::string_view())) {
        store_entry(entry);
    } else {
        // A name of an entry that lives as long as the program is borrowed.
        const bool borrow = current != nullptr && entry_lives_forever(current);
        store_named(entry, kept, borrow ? &current->name : nullptr);
    }
}

template <typename Ref> void NamedEntry<Ref>::set_name(std::string_view name) {
    set(this->entry(), name);
}

template <typename Ref> void NamedEntry<Ref>::set(Ref entry, std::string_view name) {
    Named* named = named_record();
    if (entry != nullptr ? entry->name == name : name.empty()) {
        if (named != nullptr) release_named(named);
        store_entry(entry);
    } else if (named != nullptr) {
        named->entry = entry;
        named->name = name;
    } else {
        store_named(entry, name, nullptr);
    }
}

template <typename Ref> void NamedEntry<Ref>::copy_from(const NamedEntry& other) {
    if (this == &other) return;
    if (Named* named = named_record()) release_named(named);
    if (const Named* theirs = other.named_record()) {
        store_named(theirs->entry, {}, nullptr);
        named_record()->name = theirs->name; // shares a borrowed name
    } else {
        store_entry(other.entry());
    }
}

template <typename Ref>
void NamedEntry<Ref>::store_named(Ref entry, std::string_view name,
                                  const std::string_view* borrowed) {
    static_assert(sizeof(Named) <= NamedSlotBytes && alignof(Named) <= NamedSlotAlign);
    Named* named = new (named_pool().take()) Named{entry, {}};
    if (borrowed != nullptr) {
        named->name.borrow(borrowed);
    } else {
        named->name = name;
    }
    bits_.set(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(named) + NamedBit));
}

template <typename Ref> void NamedEntry<Ref>::release_named(Named* named) {
    named->~Named();
    named_pool().give_back(named);
}

template class NamedEntry<TagPtr>;
template class NamedEntry<const AttrDef*>;

Node* new_node() {
    return &(new (node_pool().take()) NodeRecord())->node;
}

Node* new_node(NodeKind kind) {
    if (!is_tag_kind(kind)) {
        Node* node = new_node();
        node->set_kind(kind);
        return node;
    }
    return &(new (node_pool().take()) NodeRecord(kind))->node;
}

Node* new_text_node(DocumentState* doc) {
    Node* node = new_text_record();
    node->start = doc->text_start;
    node->set_end(doc->text_end);
    return node;
}

Node* new_line_node(DocumentState* doc) {
    Node* node = new_text_record();
    node->start = doc->text_length();
    append_char(doc, '\n');
    node->set_end(doc->text_length());
    return node;
}

Node* new_token_node(DocumentState* doc, NodeKind kind) {
    Node* node = new_node(kind);
    node->start = doc->text_start;
    node->set_end(doc->text_end);
    return node;
}

Node* new_tag_node(DocumentState* doc, NodeKind kind) {
    Node* node = new_node(kind);
    const std::string_view name(doc->text.data() + doc->text_start,
                                doc->text_end - doc->text_start);
    node->start = doc->text_start;
    const bool looked_up = kind == StartTagNode || kind == EndTagNode;
    if (looked_up && !doc->options.input_xml) {
        // A known element is named as its entry is: the node keeps the
        // entry alone.
        node->set_element(doc->tags.find(name), name);
    } else {
        node->set_element_name(name);
        if (looked_up) find_tag(doc, node);
    }
    if (node->element_name() == "meta" || (node->tag() != nullptr && node->tag() == tag_meta))
        doc->meta_read = true;
    return node;
}

Node* infer_tag(DocumentState* doc, const char* name) {
    Node* node = new_node(StartTagNode);
    node->implicit = true;
    node->set_element_name(name);
    node->start = doc->text_start;
    find_tag(doc, node);
    return node;
}

NodeAttribute* new_attribute() {
    return new NodeAttribute();
}

NodeAttribute* new_block_attribute(Node* block) {
    BlockAttribute* record = new (block_attribute_pool().take()) BlockAttribute();
    record->block = block;
    return &record->attribute;
}

NodeAttribute* copy_attribute_list(const NodeAttribute* list) {
    PackedPtr<NodeAttribute> head;
    PackedPtr<NodeAttribute>* tail = &head;
    for (const NodeAttribute* a = list; a != nullptr; a = a->next) {
        NodeAttribute* copy = a->has_block ? new_block_attribute(a->block()) : new NodeAttribute();
        copy->delimiter = a->delimiter;
        name_attribute(copy, a->name());
        copy->value = a->value;
        *tail = copy;
        tail = &copy->next;
    }
    return head;
}

Node* clone_node(DocumentState* doc, const Node* element) {
    Node* node = new_node(element->kind());
    node->parent = element->parent;
    node->closed = element->closed;
    node->implicit = element->implicit;
    node->copy_element_of(*element);
    node->set_attributes(copy_attribute_list(element->attributes()));
    node->start = doc->text_length();
    node->set_end(doc->text_length());
    return node;
}

void free_attribute(NodeAttribute* attribute) {
    if (attribute != nullptr) release_record(attribute);
}

void free_attribute_list(NodeAttribute* list) {
    while (list != nullptr) {
        NodeAttribute* next = list->next;
        release_record(list);
        list = next;
    }
}

void free_attributes(Node* node) {
    free_attribute_list(node->attributes());
    node->set_attributes(nullptr);
}

void remove_attribute(Node* node, NodeAttribute* attribute) {
    if (node->attributes() == nullptr) return;
    for (PackedPtr<NodeAttribute>* link = &node->attribute_link(); *link != nullptr;
         link = &(*link)->next) {
        if (*link == attribute) {
            *link = attribute->next;
            free_attribute(attribute);
            return;
        }
    }
}

// Releases the node, its content and its following siblings. The walk keeps
// its own list of pending subtrees so that neither depth nor sibling count
// touches the call stack.
void free_node(Node* node) {
    // The child lists still to free; a token or a leaf (most calls) needs
    // none, and so no allocation.
    std::vector<Node*> pending;
    Node* n = node;
    for (;;) {
        while (n != nullptr) {
            Node* next = n->next;
            if (n->first_child() != nullptr) pending.push_back(n->first_child());
            free_attribute_list(n->attributes());
            release_record(n);
            n = next;
        }
        if (pending.empty()) break;
        n = pending.back();
        pending.pop_back();
    }
}

// (The edits below keep the sibling lists as node.h describes them: the
// first child's previous-sibling link names the last child.)

void insert_node_at_start(Node* parent, Node* node) {
    Node* first = parent->first_child();
    node->parent = parent;
    node->next = first;
    if (first != nullptr) {
        node->prev_link() = first->prev_link(); // the last child
        first->prev_link() = node;
    } else {
        node->prev_link() = node;
    }
    parent->set_first_child(node);
}

void insert_node_at_end(Node* parent, Node* node) {
    Node* first = parent->first_child();
    node->parent = parent;
    node->next = nullptr;
    if (first != nullptr) {
        Node* last = first->prev_link();
        last->next = node;
        node->prev_link() = last;
        first->prev_link() = node;
    } else {
        node->prev_link() = node;
        parent->set_first_child(node);
    }
}

void insert_node_before(Node* target, Node* node) {
    Node* parent = target->parent;
    Node* before = target->prev();
    node->parent = parent;
    node->next = target;
    // A node put before a first child takes its link to the last child
    // (null in a chain without a parent).
    node->prev_link() = target->prev_link();
    target->prev_link() = node;
    if (before != nullptr) {
        before->next = node;
    } else if (parent != nullptr && parent->first_child() == target) {
        parent->set_first_child(node);
    }
}

void insert_node_after(Node* target, Node* node) {
    Node* parent = target->parent;
    node->parent = parent;
    node->prev_link() = target;
    node->next = target->next;
    if (target->next != nullptr) {
        target->next->prev_link() = node;
    } else if (parent != nullptr && parent->first_child() != nullptr) {
        parent->first_child()->prev_link() = node; // the new last child
    }
    target->next = node;
}

void remove_node(Node* node) {
    Node* parent = node->parent;
    Node* before = node->prev();
    Node* after = node->next;
    if (before != nullptr) {
        before->next = after;
    } else if (parent != nullptr && parent->first_child() == node) {
        parent->set_first_child(after);
    }
    if (after != nullptr) {
        // (A first child's link, naming the last child, passes to the next.)
        after->prev_link() = node->prev_link();
    } else if (before != nullptr && parent != nullptr && parent->first_child() != nullptr) {
        parent->first_child()->prev_link() = before; // the new last child
    }
    node->parent = nullptr;
    node->prev_link() = nullptr;
    node->next = nullptr;
}

Node* discard_node(Node* node) {
    Node* next = node->next;
    remove_node(node);
    free_node(node);
    return next;
}

void lift_children(Node* node) {
    while (node->first_child() != nullptr) {
        Node* child = node->first_child();
        remove_node(child);
        insert_node_before(node, child);
    }
}

void take_children(Node* to, Node* from) {
    Node* first = from->first_child();
    from->set_first_child(nullptr);
    to->set_first_child(first);
    for (Node* child = first; child != nullptr; child = child->next)
        child->parent = to;
}

Node* find_doctype(Node* root) {
    for (Node* n = root ? root->first_child() : nullptr; n != nullptr; n = n->next) {
        if (n->kind() == DoctypeNode) return n;
    }
    return nullptr;
}

Node* find_html(Node* root) {
    for (Node* n = root ? root->first_child() : nullptr; n != nullptr; n = n->next) {
        if (n->tag() != nullptr && n->tag() == tag_html) return n;
    }
    return nullptr;
}

Node* find_head(Node* root) {
    Node* html = find_html(root);
    for (Node* n = html ? html->first_child() : nullptr; n != nullptr; n = n->next) {
        if (n->tag() != nullptr && n->tag() == tag_head) return n;
    }
    return nullptr;
}

Node* find_body(Node* root) {
    Node* html = find_html(root);
    for (Node* n = html ? html->first_child() : nullptr; n != nullptr; n = n->next) {
        if (n->tag() != nullptr && n->tag() == tag_body) return n;
    }
    return nullptr;
}

} // namespace varnel
