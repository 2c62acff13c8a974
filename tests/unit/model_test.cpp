// The node tree (constructors, edits, release) and the tag dictionary
// (built-in rows, lookups, user-declared tags, the XML entry).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "base/util.h"
#include "model/document.h"
#include "model/entities.h"
#include "model/packed_ptr.h"
#include "model/record_region.h"
#include "model/pool.h"
#include "tree/inline_stack.h"
#include "fresh_process.h"
#include "test_support.h"

namespace varnel {
namespace {

class NodeTreeTest : public ::testing::Test {
  protected:
    void SetUp() override { test::fresh_globals(); }
};

// "a(b,c)" style outline of element names under `parent`.
std::string outline(const Node* parent) {
    std::string out;
    for (const Node* n = parent->first_child(); n != nullptr; n = n->next) {
        if (!out.empty()) out += ',';
        out += n->element_name();
        if (n->first_child() != nullptr) out += "(" + outline(n) + ")";
    }
    return out;
}

// A document with the default options, whose tags elements are looked up in.
const DocumentState& plain_document() {
    static const DocumentState document;
    return document;
}

Node* element(const char* name) {
    Node* node = new_node();
    node->set_kind(StartTagNode);
    node->set_element_name(name);
    find_tag(&plain_document(), node);
    return node;
}

TEST_F(NodeTreeTest, InsertionsKeepEveryLinkConsistent) {
    Node* root = new_node();
    root->set_kind(RootNode);
    Node* b = element("b");
    insert_node_at_end(root, b);
    Node* a = element("a");
    insert_node_at_start(root, a);
    Node* d = element("div");
    insert_node_after(b, d);
    Node* c = element("center");
    insert_node_before(d, c);
    EXPECT_EQ(outline(root), "a,b,center,div");
    EXPECT_EQ(root->first_child(), a);
    EXPECT_EQ(root->last_child(), d);
    EXPECT_EQ(d->prev(), c);
    EXPECT_EQ(c->prev(), b);
    EXPECT_EQ(b->next, c);
    EXPECT_EQ(a->prev(), nullptr);
    EXPECT_EQ(d->next, nullptr);

    Node* before_first = element("p");
    insert_node_before(a, before_first);
    EXPECT_EQ(root->first_child(), before_first);
    EXPECT_EQ(outline(root), "p,a,b,center,div");
    free_node(root);
}

// Random edits of every kind against a plain list of each parent's
// children: after each, every list reads back in both directions as the
// model has it (the first child's link naming the last child, prev() null
// for the first), every parent link holds, a node out of the tree has no
// links, and the link check agrees.
TEST_F(NodeTreeTest, RandomEditsKeepEverySiblingListWhole) {
    std::mt19937 random(20261211);
    Node* root = new_node();
    root->set_kind(RootNode);
    std::vector<Node*> parents = {root};
    std::map<Node*, std::vector<Node*>> lists = {{root, {}}};
    for (int i = 0; i < 4; ++i) {
        Node* p = element("div");
        insert_node_at_end(root, p);
        lists[root].push_back(p);
        lists[p] = {};
        parents.push_back(p);
    }
    std::vector<Node*> loose;
    for (int i = 0; i < 12; ++i)
        loose.push_back(element("b"));
    const auto pick = [&random](size_t n) { return static_cast<size_t>(random() % n); };
    const auto placed = [&]() {
        std::vector<std::pair<Node*, size_t>> at; // (parent, index) of each leaf
        for (Node* p : parents)
            for (size_t i = 0; i < lists[p].size(); ++i)
                if (std::find(parents.begin(), parents.end(), lists[p][i]) == parents.end())
                    at.push_back({p, i});
        return at;
    };
    const auto agrees = [&]() {
        for (Node* p : parents) {
            const std::vector<Node*>& want = lists[p];
            if (p->first_child() != (want.empty() ? nullptr : want.front())) return false;
            if (p->last_child() != (want.empty() ? nullptr : want.back())) return false;
            const Node* n = p->first_child();
            for (size_t i = 0; i < want.size(); ++i, n = n->next) {
                if (n != want[i] || n->parent != p) return false;
                if (n->prev() != (i == 0 ? nullptr : want[i - 1])) return false;
            }
            if (n != nullptr) return false;
        }
        for (Node* n : loose)
            if (n->parent != nullptr || n->next != nullptr || n->prev_link() != nullptr)
                return false;
        return check_tree_links(root);
    };
    for (int step = 0; step < 4000; ++step) {
        const int edit = static_cast<int>(pick(7));
        const std::vector<std::pair<Node*, size_t>> at = placed();
        if (edit <= 3 && !loose.empty()) {
            const size_t k = pick(loose.size());
            Node* node = loose[k];
            if (edit <= 1 || at.empty()) {
                Node* p = parents[pick(parents.size())];
                if (edit == 0) {
                    insert_node_at_start(p, node);
                    lists[p].insert(lists[p].begin(), node);
                } else {
                    insert_node_at_end(p, node);
                    lists[p].push_back(node);
                }
            } else {
                const auto [p, i] = at[pick(at.size())];
                if (edit == 2) {
                    insert_node_before(lists[p][i], node);
                    lists[p].insert(lists[p].begin() + static_cast<long>(i), node);
                } else {
                    insert_node_after(lists[p][i], node);
                    lists[p].insert(lists[p].begin() + static_cast<long>(i) + 1, node);
                }
            }
            loose.erase(loose.begin() + static_cast<long>(k));
        } else if (edit == 4 && !at.empty()) {
            const auto [p, i] = at[pick(at.size())];
            remove_node(lists[p][i]);
            loose.push_back(lists[p][i]);
            lists[p].erase(lists[p].begin() + static_cast<long>(i));
        } else if (edit == 5) {
            Node* from = parents[1 + pick(parents.size() - 1)];
            Node* to = parents[1 + pick(parents.size() - 1)];
            if (from != to && lists[to].empty()) {
                take_children(to, from);
                lists[to].swap(lists[from]);
            }
        } else if (edit == 6) {
            Node* p = parents[1 + pick(parents.size() - 1)];
            lift_children(p);
            std::vector<Node*>& top = lists[root];
            top.insert(std::find(top.begin(), top.end(), p), lists[p].begin(), lists[p].end());
            lists[p].clear();
        }
        ASSERT_TRUE(agrees()) << "after step " << step << ", edit " << edit;
    }
    for (Node* n : loose)
        free_node(n);
    free_node(root);
}

TEST_F(NodeTreeTest, RemovingAndDiscarding) {
    Node* root = new_node();
    Node* only = element("p");
    insert_node_at_end(root, only);
    remove_node(only);
    EXPECT_EQ(root->first_child(), nullptr);
    EXPECT_EQ(root->last_child(), nullptr);
    EXPECT_EQ(only->parent, nullptr);

    insert_node_at_end(root, only);
    insert_node_at_end(only, element("b"));
    Node* second = element("div");
    insert_node_at_end(root, second);
    Node* third = element("hr");
    insert_node_at_end(root, third);
    // Discarding releases the node with its content, not its siblings.
    EXPECT_EQ(discard_node(only), second);
    EXPECT_EQ(outline(root), "div,hr");
    EXPECT_EQ(discard_node(third), nullptr);
    EXPECT_EQ(root->last_child(), second);
    free_node(root);
}

TEST_F(NodeTreeTest, FreeingReleasesFollowingSiblingsAndDeepTrees) {
    // Under the sanitizer build a leak or a deep recursion would show here.
    Node* first = element("p");
    Node* parent = new_node();
    insert_node_at_end(parent, first);
    for (int i = 0; i < 100000; ++i)
        insert_node_at_end(parent, element("p"));
    remove_node(first);
    first->next = parent->first_child(); // a free-standing chain
    parent->set_first_child(nullptr);
    free_node(first);
    free_node(parent);

    Node* top = element("div");
    Node* cur = top;
    for (int i = 0; i < 1000000; ++i) {
        Node* child = element("div");
        insert_node_at_end(cur, child);
        cur = child;
    }
    free_node(top);
}

// Records are taken and given back in a random order, with whole
// releases (every record back) among them: no record is handed out while
// it is still held, each keeps what was written into it, and after a whole
// release the pool starts again from its first record and goes on in
// address order, as a fresh pool does.
TEST(RecordPoolTest, NoRecordIsHandedOutTwiceAndReleasesStartOver) {
    using Pool = RecordPool<40, 8>;
    Pool pool;
    std::mt19937 random(7);
    std::map<unsigned char*, unsigned> held; // record -> the stamp written into it
    unsigned stamp = 0;
    unsigned char* very_first = nullptr;
    for (int round = 0; round < 40; ++round) {
        const int steps = 1 + static_cast<int>(random() % 3000);
        for (int i = 0; i < steps; ++i) {
            if (held.empty() || random() % 3 != 0) {
                auto* record = static_cast<unsigned char*>(pool.take());
                if (very_first == nullptr) very_first = record;
                ASSERT_EQ(held.count(record), 0u) << "handed out while held";
                ++stamp;
                std::memcpy(record, &stamp, sizeof stamp);
                std::memcpy(record + 36, &stamp, sizeof stamp);
                held[record] = stamp;
            } else {
                auto it = held.begin();
                std::advance(it, random() % held.size());
                pool.give_back(it->first);
                held.erase(it);
            }
        }
        for (const auto& [record, value] : held) {
            unsigned front = 0;
            unsigned back = 0;
            std::memcpy(&front, record, sizeof front);
            std::memcpy(&back, record + 36, sizeof back);
            ASSERT_EQ(front, value);
            ASSERT_EQ(back, value);
        }
        if (round % 4 != 3) continue;
        // A whole release: the pool starts over in address order.
        for (const auto& entry : held)
            pool.give_back(entry.first);
        held.clear();
#ifndef VARNEL_POOL_OFF
        auto* first = static_cast<unsigned char*>(pool.take());
        auto* second = static_cast<unsigned char*>(pool.take());
        EXPECT_EQ(first, very_first);
        EXPECT_EQ(second, first + 40);
        pool.give_back(second);
        pool.give_back(first);
#endif
    }
    for (const auto& entry : held)
        pool.give_back(entry.first);
}

// Enough records to fill blocks that are mapped a stretch at a time
// (5 MB of them, through blocks of 1 and 2 MiB): every one is distinct
// and keeps what was written into it, and a second document after a whole
// release gets the same records in the same order.
TEST(RecordPoolTest, LargeDocumentsFillEveryStretchOfTheirBlocks) {
    RecordPool<40, 8> pool;
    constexpr unsigned Count = 130000;
    std::vector<unsigned char*> records;
    for (int document = 0; document < 2; ++document) {
        std::vector<unsigned char*> taken;
        for (unsigned i = 0; i < Count; ++i) {
            auto* record = static_cast<unsigned char*>(pool.take());
            std::memcpy(record, &i, sizeof i);
            std::memcpy(record + 36, &i, sizeof i);
            taken.push_back(record);
        }
        for (unsigned i = 0; i < Count; ++i) {
            unsigned front = 0;
            unsigned back = 0;
            std::memcpy(&front, taken[i], sizeof front);
            std::memcpy(&back, taken[i] + 36, sizeof back);
            ASSERT_EQ(front, i);
            ASSERT_EQ(back, i);
        }
        std::vector<unsigned char*> sorted = taken;
        std::sort(sorted.begin(), sorted.end());
        ASSERT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
#ifndef VARNEL_POOL_OFF
        if (document == 1) {
            EXPECT_EQ(taken, records);
        }
#endif
        records = taken;
        for (unsigned char* record : taken)
            pool.give_back(record);
    }
}

// Pools of three record sizes take records in a random interleaving, as
// the node, text and attribute pools of a document do, cutting their
// stretches from the same blocks: no two records overlap, each keeps what
// was written over the whole of it, and after a whole release each pool
// hands out the same records again in the same order.
TEST(RecordPoolTest, PoolsOfOneThreadShareBlocksWithoutOverlap) {
    RecordPool<28, 4> text;
    RecordPool<40, 8> nodes;
    RecordPool<32, 4> attributes;
    struct Taken {
        unsigned char* at;
        unsigned size;
    };
    std::vector<Taken> first;
    for (int document = 0; document < 2; ++document) {
        std::mt19937 random(11);
        std::vector<Taken> taken;
        for (unsigned i = 0; i < 150000; ++i) {
            const unsigned which = random() % 10; // about as often as in tag soup
            void* at = which < 4 ? text.take() : which < 8 ? nodes.take() : attributes.take();
            const unsigned size = which < 4 ? 28 : which < 8 ? 40 : 32;
            std::memset(at, static_cast<int>(i & 0xFF), size);
            taken.push_back(Taken{static_cast<unsigned char*>(at), size});
        }
        for (size_t i = 0; i < taken.size(); ++i) {
            for (unsigned k = 0; k < taken[i].size; ++k)
                ASSERT_EQ(taken[i].at[k], i & 0xFF);
        }
        std::vector<Taken> sorted = taken;
        std::sort(sorted.begin(), sorted.end(),
                  [](const Taken& x, const Taken& y) { return x.at < y.at; });
        for (size_t i = 0; i + 1 < sorted.size(); ++i)
            ASSERT_LE(sorted[i].at + sorted[i].size, sorted[i + 1].at);
#ifndef VARNEL_POOL_OFF
        if (document == 1) {
            for (size_t i = 0; i < taken.size(); ++i)
                ASSERT_EQ(taken[i].at, first[i].at);
        }
#endif
        first = taken;
        for (const Taken& t : taken) {
            if (t.size == 28) text.give_back(t.at);
            if (t.size == 40) nodes.give_back(t.at);
            if (t.size == 32) attributes.give_back(t.at);
        }
    }
}

// A thread's source cuts stretches one after another from its blocks,
// whichever pool asks, and hands a stretch given back out again for one of
// the same size (a fresh thread: a source of its own).
TEST(RecordPoolTest, StretchesFollowEachOtherInTheirBlocks) {
    std::thread([] {
        constexpr size_t K16 = size_t{16} << 10;
        StretchSource& source = stretch_source();
        auto* a = static_cast<char*>(source.take(K16)); // the first block, whole
        auto* b = static_cast<char*>(source.take(K16)); // the second (32 KiB) ...
        auto* c = static_cast<char*>(source.take(K16)); // ... shared
        EXPECT_EQ(c, b + K16);
        source.give_back(b, K16);
        EXPECT_NE(source.take(2 * K16), static_cast<void*>(b)); // another size: a new stretch
        EXPECT_EQ(source.take(K16), static_cast<void*>(b));
        // Every byte of a stretch is usable.
        std::memset(a, 1, K16);
        std::memset(b, 2, K16);
        std::memset(c, 3, K16);
        EXPECT_EQ(a[K16 - 1], 1);
        EXPECT_EQ(b[0], 2);
        EXPECT_EQ(c[K16 - 1], 3);
    }).join();
}

// Links of six bytes give back the pointer they were given, for any
// address of 48 bits (the highest one included) and for null; a pointer
// beyond 48 bits ends the program instead of being cut short.
TEST(PackedLinkTest, PointersOfFortyEightBitsComeBackWhole) {
    int on_stack = 0;
    auto on_heap = std::make_unique<int>(0);
    std::vector<int*> pointers{&on_stack, on_heap.get(), nullptr};
    if constexpr (sizeof(void*) == 8) {
        pointers.push_back(reinterpret_cast<int*>((uint64_t{1} << 48) - 4));
    }
    for (int* pointer : pointers) {
        PackedPtr<int> link(pointer);
        EXPECT_EQ(link.get(), pointer);
        PackedPtr<int> other;
        EXPECT_EQ(other.get(), nullptr);
        other = link;
        EXPECT_EQ(static_cast<int*>(other), pointer);
    }
    PackedPtr<int> link(&on_stack);
    link = nullptr;
    EXPECT_EQ(link.get(), nullptr);
    if constexpr (sizeof(void*) == 8) {
        EXPECT_THROW(link = reinterpret_cast<int*>(uint64_t{1} << 48), FatalError);
    }
}

// An entry and a name kept together behave as two fields of their own,
// whatever the order of the changes: random sequences of setting the
// entry, the name (also to a view of itself), both, and copying from
// another, checked against plain fields after every step. A name that is
// its entry's own is read from the entry.
template <typename Ref>
void check_named_entries_against_two_fields(const std::vector<Ref>& entries,
                                            const std::vector<std::string>& names) {
    struct Model {
        Ref entry{};
        std::string name;
    };
    std::mt19937 random(11);
    constexpr int Count = 4;
    std::vector<std::unique_ptr<NamedEntry<Ref>>> held;
    std::vector<Model> model(Count);
    for (int i = 0; i < Count; ++i)
        held.push_back(std::make_unique<NamedEntry<Ref>>());
    for (int step = 0; step < 4000; ++step) {
        const size_t i = random() % Count;
        NamedEntry<Ref>& e = *held[i];
        const Ref entry = entries[random() % entries.size()];
        const std::string& name = names[random() % names.size()];
        switch (random() % 5) {
        case 0:
            e.set_entry(entry);
            model[i].entry = entry;
            break;
        case 1:
            e.set_name(name);
            model[i].name = name;
            break;
        case 2:
            e.set(entry, name);
            model[i] = {entry, name};
            break;
        case 3: {
            const size_t from = random() % Count;
            e.copy_from(*held[from]);
            model[i] = model[from];
            break;
        }
        default: {
            const std::string_view own = e.name();
            const size_t cut = own.empty() ? 0 : random() % own.size();
            e.set_name(own.substr(cut));
            model[i].name = model[i].name.substr(cut);
            break;
        }
        }
        for (int k = 0; k < Count; ++k) {
            const NamedEntry<Ref>& h = *held[k];
            ASSERT_TRUE(entry_address(h.entry()) == entry_address(model[k].entry)) << step;
            ASSERT_EQ(h.name(), model[k].name) << step;
            ASSERT_EQ(h.name().data()[h.name().size()], '\0') << step;
            if (model[k].entry != nullptr && model[k].name == model[k].entry->name) {
                ASSERT_EQ(h.name().data(), model[k].entry->name.data()) << step;
            }
        }
    }
}

TEST(NamedEntryTest, TagsAndNamesBehaveAsTwoFields) {
    check_named_entries_against_two_fields<TagPtr>(
        {nullptr, tag_p, tag_span, tag_blockquote, foreign_tag_def, xml_tag_def},
        {"", "p", "span", "blockquote", "linearGradient", "my-widget", "SPAN"});
}

TEST(NamedEntryTest, AttributeEntriesAndNamesBehaveAsTwoFields) {
    check_named_entries_against_two_fields<const AttrDef*>(
        {nullptr, lookup_attr_def("id"), lookup_attr_def("cellspacing"),
         lookup_attr_def("data-role")},
        {"", "id", "cellspacing", "data-role", "data-x", "onclick", "ID"});
}

// Where record links are offsets an attribute keeps its entry as a
// distance from the attribute tables: an entry far from them is refused
// through the fatal-error exit, and the attribute keeps what it had,
// rather than keeping a wrong entry.
TEST(NamedEntryTest, AnAttributeEntryFarFromTheTablesIsRefused) {
    if constexpr (!RecordLinksAreOffsets) GTEST_SKIP() << "entries are kept as pointers";
    void* far = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(far, MAP_FAILED);
    const auto distance = static_cast<int64_t>(reinterpret_cast<uintptr_t>(far)) -
                          static_cast<int64_t>(reinterpret_cast<uintptr_t>(attr_entry_anchor()));
    if (distance > -(int64_t{1} << 31) && distance < (int64_t{1} << 31)) {
        munmap(far, 4096);
        GTEST_SKIP() << "the system mapped the page near the tables";
    }
    const AttrDef* def = new (far) AttrDef{"far", VersionAll, nullptr, false};
    {
        NamedEntry<const AttrDef*> entry;
        entry.set(lookup_attr_def("id"), "id");
        EXPECT_THROW(entry.set(def, "far"), FatalError);
        EXPECT_EQ(entry.entry(), lookup_attr_def("id"));
        EXPECT_EQ(entry.name(), "id");
    }
    munmap(far, 4096);
}

// An element named as its tag entry reads its name from the table (for
// every length, the copy of a clone too); any other name is the element's
// own and a clone's copy is the clone's. Setting the tag keeps the name and
// setting the name keeps the tag, even as the representation switches
// between the two forms.
TEST_F(NodeTreeTest, ElementNamesComeFromTheTagOrAreTheElementsOwn) {
    DocumentState doc;
    for (const char* name : {"blockquote", "my-widget", "td", "noscript", "x"}) {
        doc.text = name;
        doc.text_start = 0;
        doc.text_end = static_cast<uint32_t>(doc.text.size());
        Node* node = new_tag_node(&doc, StartTagNode);
        EXPECT_EQ(node->element_name().view(), name);
        EXPECT_STREQ(node->element_name().c_str(), name);
        const bool builtin = std::string_view(name) != "my-widget" && std::string_view(name) != "x";
        EXPECT_EQ(node->tag() != nullptr, builtin) << name;
        if (builtin) {
            EXPECT_EQ(node->element_name().data(), node->tag()->name.data()) << name;
        }

        Node* copy = clone_node(&doc, node);
        EXPECT_EQ(copy->element_name().view(), name);
        EXPECT_EQ(copy->tag(), node->tag());
        EXPECT_EQ(copy->element_name().data() == node->element_name().data(), builtin) << name;
        copy->set_element_name(std::string("x-") + name); // the copy's own from now on
        EXPECT_EQ(copy->element_name().view(), std::string("x-") + name);
        EXPECT_EQ(copy->tag(), node->tag());
        EXPECT_EQ(node->element_name().view(), name);
        copy->set_element_name(copy->element_name().view().substr(2)); // a view of itself
        EXPECT_EQ(copy->element_name().view(), name);
        EXPECT_STREQ(copy->element_name().c_str(), name);
        free_node(copy);
        free_node(node);
    }

    // A retagged element keeps the name it had; named as its new tag, it
    // reads the table's name again.
    Node* font = element("font");
    font->set_tag(tag_span);
    EXPECT_EQ(font->tag(), tag_span);
    EXPECT_EQ(font->element_name(), "font");
    Node* kept = clone_node(&doc, font);
    EXPECT_EQ(kept->element_name(), "font");
    EXPECT_EQ(kept->tag(), tag_span);
    font->set_element_name("span");
    EXPECT_EQ(font->element_name().data(), tag_span->name.data());
    font->set_tag(tag_div); // back to a name of its own
    EXPECT_EQ(font->element_name(), "span");
    EXPECT_EQ(font->tag(), tag_div);
    font->set_tag(tag_span); // named as its tag once more
    EXPECT_EQ(font->element_name().data(), tag_span->name.data());
    font->set_tag(nullptr);
    EXPECT_EQ(font->tag(), nullptr);
    EXPECT_EQ(font->element_name(), "span");
    free_node(kept);
    free_node(font);

    // Foreign content and XML keep the element's spelling under an entry
    // with no name.
    Node* rect = element("rect");
    rect->set_element(foreign_tag_def, "linearGradient");
    EXPECT_EQ(rect->tag(), foreign_tag_def);
    EXPECT_EQ(rect->element_name(), "linearGradient");
    rect->set_element(tag_table, "table");
    EXPECT_EQ(rect->element_name().data(), tag_table->name.data());
    free_node(rect);
}

// A node of another kind than a tag has no tag and an empty name, keeps
// the end of its text range, and takes no tag (the internal fault); made
// an element it has the null tag and an empty range at its start, and
// made text again it gives its tag up and keeps an empty range.
TEST_F(NodeTreeTest, OnlyElementsHaveTagsAndOnlyOtherNodesHaveTextRanges) {
    DocumentState doc;
    Node* node = new_node();
    node->start = 3;
    node->set_end(8);
    EXPECT_EQ(node->tag(), nullptr);
    EXPECT_STREQ(node->element_name().c_str(), "");
    node->set_tag(nullptr);
    node->set_element_name("");
    EXPECT_EQ(node->end(), 8u);
    EXPECT_THROW(node->set_tag(tag_p), FatalError);
    EXPECT_THROW(node->set_element_name("p"), FatalError);
    EXPECT_THROW(node->set_element(tag_p, "p"), FatalError);
    EXPECT_EQ(node->end(), 8u);

    node->set_kind(StartTagNode);
    EXPECT_EQ(node->tag(), nullptr);
    EXPECT_STREQ(node->element_name().c_str(), "");
    EXPECT_EQ(node->end(), 3u);
    node->set_element(foreign_tag_def, "linearGradient"); // a name of its own
    node->set_end(20);                                    // an element's range stays empty
    EXPECT_EQ(node->end(), 3u);
    EXPECT_EQ(node->element_name(), "linearGradient");
    node->set_kind(EndTagNode); // one tag kind to another keeps the tag
    EXPECT_EQ(node->tag(), foreign_tag_def);
    EXPECT_EQ(node->element_name(), "linearGradient");

    Node* copy = clone_node(&doc, node);
    EXPECT_EQ(copy->kind(), EndTagNode);
    EXPECT_EQ(copy->element_name(), "linearGradient");

    node->set_kind(CommentNode);
    EXPECT_EQ(node->tag(), nullptr);
    EXPECT_STREQ(node->element_name().c_str(), "");
    EXPECT_EQ(node->end(), 3u);
    node->set_end(5);
    EXPECT_EQ(node->end(), 5u);
    EXPECT_EQ(copy->element_name(), "linearGradient"); // the copy's name is its own
    node->set_kind(StartTagNode);
    copy->copy_element_of(*node); // the null tag and no name
    EXPECT_EQ(copy->tag(), nullptr);
    EXPECT_TRUE(copy->element_name().empty());
    free_node(copy);
    free_node(node);

    // The text the lexer makes has no room for a tag: it never becomes an
    // element.
    doc.text = "word";
    doc.text_end = 4;
    Node* text = new_text_node(&doc);
    text->set_kind(CommentNode);
    EXPECT_EQ(text->end(), 4u);
    EXPECT_THROW(text->set_kind(StartTagNode), FatalError);
    free_node(text);
}

// An attribute's name is the table's own when it is exactly its entry's
// name, whatever its length. Names of a family entry (on* for the handlers
// HTML5 added, data-*) and unknown names are the record's. Names read by
// the lexer and names the program adds are kept the same way.
TEST_F(NodeTreeTest, AttributeNamesAreTheirEntrysWhenTheyAreItsName) {
    struct Case {
        const char* name;
        const char* entry; // the table entry's name, or null when unknown
    };
    const Case cases[] = {{"height", "height"},           {"bgcolor", "bgcolor"},
                          {"cellspacing", "cellspacing"}, {"oninput", "on*"},
                          {"data-role", "data-*"},        {"x-frobnicate", nullptr}};
    std::string source = "<table";
    for (const Case& c : cases)
        source += std::string(" ") + c.name + "=1";
    source += ">";
    test::LexerOver lx(source);
    Node* lexed = get_token(lx.lexer, CollapseSpace);
    ASSERT_NE(lexed, nullptr);
    Node* added = element("table");
    for (const Case& c : cases)
        add_attribute(added, c.name, "1");

    for (Node* node : {lexed, added}) {
        for (const Case& c : cases) {
            const NodeAttribute* a = get_attribute(node, c.name);
            ASSERT_NE(a, nullptr) << c.name;
            EXPECT_EQ(a->name().view(), c.name);
            EXPECT_EQ(std::strlen(a->name().c_str()), std::strlen(c.name)) << c.name;
            ASSERT_EQ(a->attr_def() != nullptr, c.entry != nullptr) << c.name;
            if (a->attr_def() == nullptr) continue;
            EXPECT_EQ(a->attr_def()->name, c.entry);
            const bool borrowed = std::string_view(c.name) == c.entry;
            EXPECT_EQ(a->name().data() == a->attr_def()->name.data(), borrowed) << c.name;
        }
        // A copy shares the entry's name until it is given another, which
        // leaves its entry as it was.
        Node* copy = clone_node(lx.lexer, node);
        NodeAttribute* copied = get_attribute(copy, "cellspacing");
        ASSERT_NE(copied, nullptr);
        EXPECT_EQ(copied->name().data(), get_attribute(node, "cellspacing")->name().data());
        const AttrDef* entry = copied->attr_def();
        copied->set_name("cellpadding");
        EXPECT_EQ(copied->name().view(), "cellpadding");
        EXPECT_EQ(copied->attr_def(), entry);
        copied->set_attr_def(lookup_attr_def("cellpadding"));
        EXPECT_EQ(copied->name().data(), copied->attr_def()->name.data());
        EXPECT_NE(get_attribute(node, "cellspacing"), nullptr);
        const NodeAttribute* family = get_attribute(copy, "data-role");
        ASSERT_NE(family, nullptr);
        EXPECT_EQ(family->name().view(), "data-role");
        EXPECT_EQ(family->attr_def()->name, "data-*");
        free_node(copy);
    }
    free_node(added);
    free_node(lexed);
}

TEST_F(NodeTreeTest, ClonesOwnTheirAttributes) {
    test::LexerOver lx("");
    Node* font = element("font");
    add_attribute(font, "color", "red");
    Node* copy = clone_node(lx.lexer, font);
    ASSERT_NE(copy->attributes(), nullptr);
    copy->attributes()->value = "blue";
    EXPECT_EQ(*font->attributes()->value, "red");
    EXPECT_EQ(copy->tag(), tag_font);
    EXPECT_EQ(copy->element_name(), "font");
    EXPECT_EQ(copy->first_child(), nullptr);
    free_node(copy);
    free_node(font);
}

TEST_F(NodeTreeTest, InferredAndLineNodes) {
    test::LexerOver lx("");
    Node* unknown = infer_tag(lx.lexer, "frob");
    EXPECT_EQ(unknown->tag(), nullptr);
    EXPECT_EQ(unknown->element_name(), "frob");
    EXPECT_TRUE(unknown->implicit);
    free_node(unknown);

    Node* one = new_line_node(lx.lexer);
    Node* two = new_line_node(lx.lexer);
    EXPECT_EQ(lx.text(one), "\n");
    EXPECT_EQ(lx.text(two), "\n");
    EXPECT_NE(one->start, two->start);
    free_node(one);
    free_node(two);
}

// The lexer's text nodes are records without child and attribute links:
// they read as having none, tree edits around them work as around any
// node, a link written there is refused (never written past the record),
// and each kind of record goes back to the pool it came from.
TEST_F(NodeTreeTest, TextNodesHaveNoLinksOfTheirOwn) {
    test::LexerOver lx("");
    append_string(lx.lexer, "words");
    lx.lexer->text_start = 0;
    lx.lexer->text_end = 5;
    Node* text = new_text_node(lx.lexer);
    Node* line = new_line_node(lx.lexer);
    Node* p = element("p");
    EXPECT_FALSE(text->has_links);
    EXPECT_FALSE(line->has_links);
    EXPECT_TRUE(p->has_links);
    EXPECT_EQ(lx.text(text), "words");
    for (Node* node : {text, line}) {
        node->set_first_child(nullptr);
        node->set_attributes(nullptr);
        EXPECT_EQ(node->first_child(), nullptr);
        EXPECT_EQ(node->last_child(), nullptr);
        EXPECT_EQ(node->attributes(), nullptr);
        EXPECT_THROW(node->set_first_child(p), FatalError);
        NodeAttribute* attribute = new_attribute();
        EXPECT_THROW(node->set_attributes(attribute), FatalError);
        EXPECT_THROW(node->attribute_link(), FatalError);
        free_attribute(attribute);
        remove_attribute(node, nullptr); // nothing to remove, nothing written
    }
    // Text between elements: inserted, moved out of an element, removed.
    Node* root = new_node();
    root->set_kind(RootNode);
    insert_node_at_end(root, text);
    insert_node_at_end(root, p);
    insert_node_at_start(p, line);
    insert_node_after(line, element("b"));
    EXPECT_EQ(root->first_child(), text);
    EXPECT_EQ(p->first_child(), line);
    EXPECT_EQ(line->parent, p);
    lift_children(p);
    // (outline names elements only: the two text nodes come first.)
    EXPECT_EQ(outline(root), "b,p");
    EXPECT_EQ(text->next, line);
    EXPECT_EQ(line->next->element_name(), "b");
    EXPECT_EQ(line->parent, root);
    EXPECT_EQ(p->first_child(), nullptr);
    remove_node(text);
    EXPECT_EQ(root->first_child(), line);
    free_node(text);
    free_node(root);

    if constexpr (RecordLinksAreOffsets) {
        // A record handed back is the next one of its own kind handed out,
        // and never one of the other kind (a text record is too small to
        // be an element).
        Node* t = new_text_node(lx.lexer);
        free_node(t);
        Node* e = element("i");
        EXPECT_NE(e, t);
        Node* t2 = new_text_node(lx.lexer);
        EXPECT_EQ(t2, t);
        free_node(e);
        Node* t3 = new_line_node(lx.lexer);
        EXPECT_NE(t3, e);
        Node* e2 = new_node();
        EXPECT_EQ(e2, e);
        free_node(t2);
        free_node(t3);
        free_node(e2);
    }
}

TEST_F(NodeTreeTest, DocumentQueries) {
    Node* root = new_node();
    root->set_kind(RootNode);
    EXPECT_EQ(find_html(root), nullptr);
    EXPECT_EQ(find_head(root), nullptr);
    Node* doctype = new_node();
    doctype->set_kind(DoctypeNode);
    insert_node_at_end(root, doctype);
    Node* html = element("html");
    insert_node_at_end(root, html);
    Node* head = element("head");
    Node* body = element("body");
    insert_node_at_end(html, head);
    insert_node_at_end(html, body);
    EXPECT_EQ(find_doctype(root), doctype);
    EXPECT_EQ(find_html(root), html);
    EXPECT_EQ(find_head(root), head);
    EXPECT_EQ(find_body(root), body);
    free_node(root);
}

class TagDictionaryTest : public ::testing::Test {
  protected:
    void SetUp() override { test::fresh_globals(); }

    // A tag as a document with the options declared so far knows it.
    TagPtr lookup_tag(const char* name) {
        tables_.push_back(std::make_unique<TagTable>(options.declared_tags));
        return tables_.back()->find(name);
    }
    std::vector<std::unique_ptr<TagTable>> tables_;
};

TEST_F(TagDictionaryTest, LookupsAreExactAndCaseSensitive) {
    Node* upper = new_node();
    upper->set_kind(StartTagNode);
    upper->set_element_name("P");
    EXPECT_FALSE(find_tag(&plain_document(), upper));
    EXPECT_EQ(upper->tag(), nullptr);
    upper->set_element_name("p");
    EXPECT_TRUE(find_tag(&plain_document(), upper));
    EXPECT_EQ(upper->tag(), tag_p);
    free_node(upper);

    TagPtr p = lookup_tag("p");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->versions, VersionAll | VersionHTML5);
    EXPECT_EQ(p->model, ModelBlock | ModelOptionalEnd);
    EXPECT_EQ(p->builder, BuilderInline);
    TagPtr td = lookup_tag("td");
    EXPECT_EQ(td->model, ModelRow | ModelOptionalEnd | ModelNoIndent);
    EXPECT_EQ(td->check_attributes, check_table_cell);
    EXPECT_EQ(lookup_tag("object")->model,
              ModelHead | ModelInline | ModelObject | ModelPlugin | ModelImage);
    EXPECT_EQ(lookup_tag("iframe")->versions, VersionHTML40Loose | VersionHTML5);
    EXPECT_EQ(lookup_tag("noframes")->versions, VersionHTML40Loose | VersionFrames);
    EXPECT_EQ(lookup_tag("servlet")->versions, VersionProprietaryC);
    EXPECT_EQ(lookup_tag("br")->builder, BuilderNone);
    EXPECT_EQ(lookup_tag("frobnicate"), nullptr);
}

// HTML5's elements map onto the builders of the elements they resemble;
// the elements it made obsolete are those of the earlier versions without
// its bit (proprietary ones are not counted among them).
TEST_F(TagDictionaryTest, Html5ElementsAndObsoleteOnes) {
    for (const char* name : {"section", "article", "nav", "header", "footer", "main", "aside",
                             "figure", "details", "summary", "dialog", "search", "hgroup"}) {
        SCOPED_TRACE(name);
        TagPtr t = lookup_tag(name);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->versions, VersionHTML5);
        EXPECT_EQ(t->model, ModelBlock);
        EXPECT_EQ(t->builder, BuilderBlock);
    }
    for (const char* name : {"mark", "time", "data", "bdi", "ruby", "rt", "rp", "meter"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(lookup_tag(name)->model, ModelInline);
        EXPECT_EQ(lookup_tag(name)->builder, BuilderInline);
    }
    EXPECT_EQ(lookup_tag("source")->model, ModelEmpty | ModelInline);
    EXPECT_EQ(lookup_tag("video")->model, ModelInline | ModelObject);
    EXPECT_EQ(lookup_tag("datalist")->builder, BuilderSelect);
    EXPECT_EQ(lookup_tag("svg")->builder, BuilderForeign);
    EXPECT_EQ(lookup_tag("wbr")->versions, VersionProprietary | VersionHTML5);
    EXPECT_EQ(lookup_tag("embed")->versions, VersionProprietaryA | VersionHTML5);
    EXPECT_EQ(foreign_tag_def->builder, BuilderForeign);
    for (const char* name :
         {"font", "center", "big", "tt", "strike", "acronym", "applet", "frame", "frameset",
          "noframes", "basefont", "dir", "isindex", "listing", "xmp", "plaintext", "param"}) {
        EXPECT_TRUE(is_obsolete_in_html5(lookup_tag(name))) << name;
    }
    for (const char* name : {"p", "menu", "u", "s", "small", "iframe", "embed", "wbr", "nobr",
                             "blink", "layer", "section"}) {
        EXPECT_FALSE(is_obsolete_in_html5(lookup_tag(name))) << name;
    }
}

TEST_F(TagDictionaryTest, WellKnownHandlesPointAtTheirRows) {
    const std::pair<TagPtr, const char*> handles[] = {
        {tag_html, "html"},   {tag_listing, "listing"},   {tag_dir, "dir"},
        {tag_col, "col"},     {tag_optgroup, "optgroup"}, {tag_spacer, "spacer"},
        {tag_layer, "layer"}, {tag_applet, "applet"},     {tag_span, "span"},
    };
    for (const auto& [handle, name] : handles) {
        ASSERT_NE(handle, nullptr) << name;
        EXPECT_EQ(handle->name, name);
    }
}

TEST_F(TagDictionaryTest, UserDeclaredTagsAddToExistingEntries) {
    declare_tag(options, DeclaredKind::Block, "p");
    TagPtr p = lookup_tag("p");
    EXPECT_EQ(p->model, ModelBlock | ModelOptionalEnd | ModelUserDefined | ModelNoIndent);
    EXPECT_EQ(p->versions, VersionProprietary);
    EXPECT_EQ(p->builder, BuilderBlock);
    EXPECT_EQ(p->check_attributes, nullptr);
    // It is still the element p (the well-known handle says so), and the
    // built-in entry itself is unchanged: the declaration is the run's.
    EXPECT_EQ(p, tag_p);
    EXPECT_EQ(tag_p->model, ModelBlock | ModelOptionalEnd);
    EXPECT_EQ(lookup_builtin_tag("p")->versions, VersionAll | VersionHTML5);

    declare_tag(options, DeclaredKind::Empty, "stamp");
    declare_tag(options, DeclaredKind::Empty, "stamp");
    TagPtr stamp = lookup_tag("stamp");
    ASSERT_NE(stamp, nullptr);
    // Declared empty elements are inline, as img is.
    EXPECT_EQ(stamp->model, ModelUserDefined | ModelNoIndent | ModelEmpty | ModelInline);
    declare_tag(options, DeclaredKind::Pre, "code-block");
    EXPECT_EQ(lookup_tag("code-block")->builder, BuilderPre);
    declare_tag(options, DeclaredKind::Inline, "mark");
    EXPECT_EQ(lookup_tag("mark")->builder, BuilderBlock);
    EXPECT_EQ(lookup_tag("mark")->model, ModelUserDefined | ModelNoIndent | ModelInline);

    // The option declares every listed name, lower-cased.
    std::string messages;
    ASSERT_TRUE(apply_option_string(options, "new-blocklevel-tags", "Foo, bar", messages));
    EXPECT_NE(lookup_tag("foo"), nullptr);
    EXPECT_NE(lookup_tag("bar"), nullptr);
    EXPECT_EQ(lookup_tag("Foo"), nullptr);
}

TEST_F(TagDictionaryTest, XmlInputGivesEveryElementTheXmlEntry) {
    options.input_xml = true;
    const DocumentState xml(options);
    Node* node = new_node();
    node->set_kind(StartTagNode);
    node->set_element_name("pre");
    EXPECT_TRUE(find_tag(&xml, node));
    EXPECT_EQ(node->tag(), xml_tag_def);
    EXPECT_EQ(xml_tag_def->model, ModelBlock);
    EXPECT_EQ(find_builder(&xml, node), BuilderPre);
    node->set_element_name("anything:at-all");
    EXPECT_TRUE(find_tag(&xml, node));
    EXPECT_EQ(find_builder(&xml, node), BuilderNone);
    free_node(node);
}

// Tags one run declares are unknown to another: each document's table adds
// its own run's declarations to the shared built-in entries.
TEST_F(TagDictionaryTest, DeclaredTagsBelongToTheirRun) {
    Config first;
    Config second;
    declare_tag(first, DeclaredKind::Block, "x-box");
    declare_tag(second, DeclaredKind::Inline, "x-box");
    const TagTable first_tags(first.declared_tags);
    const TagTable second_tags(second.declared_tags);
    ASSERT_NE(first_tags.find("x-box"), nullptr);
    ASSERT_NE(second_tags.find("x-box"), nullptr);
    EXPECT_NE(first_tags.find("x-box")->model & ModelBlock, 0u);
    EXPECT_EQ(second_tags.find("x-box")->model & ModelBlock, 0u);
    EXPECT_NE(first_tags.find("x-box"), second_tags.find("x-box"));
    EXPECT_EQ(TagTable().find("x-box"), nullptr);
    EXPECT_EQ(lookup_builtin_tag("x-box"), nullptr);
}

TEST_F(TagDictionaryTest, HashMatchesTheSignedByteRule) {
    EXPECT_EQ(name_hash(""), 0u);
    EXPECT_EQ(name_hash("a"), 97u);
    EXPECT_EQ(name_hash("ab"), 97u * 31u + 98u);
    // A byte above 127 counts as a negative value.
    EXPECT_EQ(name_hash("\xe9"), static_cast<uint32_t>(-23));
}

// Links between records are offsets into the record region: they give
// back every record of a tree that spans many blocks, null stays null, and
// a record that did not come from a pool (one on the stack) cannot be
// linked to: the program ends rather than keep a wrong link.
TEST(PackedLinkTest, RecordLinksReachEveryPooledRecord) {
    std::vector<Node*> nodes; // 2.4 MB of records: blocks from 16 KiB to 2 MiB
    for (int i = 0; i < 50000; ++i)
        nodes.push_back(new_node());
    for (size_t i = 0; i + 1 < nodes.size(); ++i) {
        nodes[i]->next = nodes[i + 1];
        nodes[i + 1]->prev_link() = nodes[i];
        nodes[i]->set_first_child(nodes[nodes.size() - 1 - i]);
    }
    NodeAttribute* attribute = new_block_attribute(nodes.back());
    nodes.front()->set_attributes(attribute);
    for (size_t i = 0; i + 1 < nodes.size(); ++i) {
        ASSERT_EQ(nodes[i]->next.get(), nodes[i + 1]);
        ASSERT_EQ(nodes[i + 1]->prev_link().get(), nodes[i]);
        ASSERT_EQ(nodes[i]->first_child(), nodes[nodes.size() - 1 - i]);
        ASSERT_EQ(nodes[i]->parent.get(), nullptr);
    }
    EXPECT_EQ(nodes.front()->attributes(), attribute);
    EXPECT_EQ(nodes.front()->attributes()->block(), nodes.back());
    EXPECT_EQ(nodes.back()->next.get(), nullptr);
    if constexpr (RecordLinksAreOffsets) {
        EXPECT_EQ(sizeof nodes.front()->parent, 4u);
        Node on_stack;
        EXPECT_THROW(nodes.front()->parent = &on_stack, FatalError);
    }
    for (Node* node : nodes)
        node->set_first_child(nullptr);
    free_node(nodes.front()); // with its following siblings
}

// Blocks given back to the region are handed out again, emptied; blocks
// in use are distinct, and a link reaches every byte of them.
TEST(RecordRegionTest, BlocksGivenBackAreTakenAgainEmpty) {
    constexpr size_t Bytes = size_t{64} << 10;
    auto* first = static_cast<unsigned char*>(take_record_block(Bytes));
    auto* second = static_cast<unsigned char*>(take_record_block(Bytes));
    ASSERT_NE(first, second);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(first) % 4096, 0u);
    EXPECT_GE(first >= second ? first - second : second - first, static_cast<ptrdiff_t>(Bytes));
    for (unsigned char* at : {first, first + Bytes - RecordLinkUnit, second}) {
        EXPECT_EQ(record_at<unsigned char>(record_link_of(at)), at);
    }
    std::memset(first, 0x5A, Bytes);
    std::memset(second, 0xA5, Bytes);
    give_back_record_block(first, Bytes);
    auto* again = static_cast<unsigned char*>(take_record_block(Bytes));
    EXPECT_EQ(again, first);
    EXPECT_EQ(std::count(again, again + Bytes, 0), static_cast<ptrdiff_t>(Bytes));
    EXPECT_EQ(second[Bytes - 1], 0xA5);
    give_back_record_block(again, Bytes);
    give_back_record_block(second, Bytes);
}

// The region is made usable a stretch at a time: blocks on both sides of
// a stretch's end, and blocks larger than a stretch, are usable in every
// page and apart. The region starts on a large-page boundary, and so does
// a block of large-page size from the third on (after smaller blocks too),
// unless the whole region is backed by large pages. Once the process is
// ending, a block given back keeps its memory and is not handed out again.
// (That part runs in a child process: the setting lasts for the rest of
// the process.)
TEST(RecordRegionTest, BlocksAcrossStretchesAndGivenBackAtTheEnd) {
    constexpr size_t Small = size_t{48} << 10;
    constexpr size_t Large = size_t{3} << 20;
    std::vector<std::pair<unsigned char*, size_t>> blocks;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(record_region_start()) % LargePageBytes, 0u);
    int large = 0;
    for (size_t bytes : {Small, Large, Small, Large, Small, Small, Large, Small, Large, Small}) {
        auto* block = static_cast<unsigned char*>(take_record_block(bytes));
        const bool aligned = reinterpret_cast<uintptr_t>(block) % LargePageBytes == 0;
        const bool checked = bytes == Large && ++large > 2;
        EXPECT_TRUE(!checked || aligned || record_region_all_large_pages()) << large;
        std::memset(block, static_cast<int>(blocks.size() + 1), bytes); // every page of it
        blocks.emplace_back(block, bytes);
    }
    for (size_t i = 0; i < blocks.size(); ++i) {
        const auto [block, bytes] = blocks[i];
        EXPECT_EQ(std::count(block, block + bytes, static_cast<unsigned char>(i + 1)),
                  static_cast<ptrdiff_t>(bytes));
    }
    const auto give_back_at_the_end = [](unsigned char* block, size_t bytes) {
        std::memset(block, 0x3C, bytes);
        keep_record_blocks_to_the_end();
        give_back_record_block(block, bytes);
        const bool kept = std::count(block, block + bytes, 0x3C) == static_cast<ptrdiff_t>(bytes);
        const bool fresh = take_record_block(bytes) != block;
        std::exit(kept && fresh ? 0 : 1);
    };
    EXPECT_EXIT(give_back_at_the_end(blocks.back().first, blocks.back().second),
                ::testing::ExitedWithCode(0), "");
    for (const auto& [block, bytes] : blocks)
        give_back_record_block(block, bytes);
}

// A small tree's records share the heap's large page: the region then
// begins at that page, the first blocks come from the heap inside it
// (zeroed, though the heap wrote there before), links reach them, and a
// block that cannot fit there comes from the region's own memory. Asking
// for large record pages then changes nothing. Runs in a fresh process:
// the region must not be reserved yet, and the heap's move lasts.
TEST(RecordRegionTest, SmallTreesShareTheHeapsLargePage) {
    if (!HeapMovesToLargePage || !RecordLinksAreOffsets)
        GTEST_SKIP() << "the heap is not glibc's own here, or links are pointers";
    const auto shared = [] {
        int fails = 0;
        void* const page = move_heap_to_large_page();
        const uintptr_t from = reinterpret_cast<uintptr_t>(page);
        const uintptr_t to = from + LargePageBytes;
        if (page == nullptr) std::exit(1);
        // Memory of the page the heap wrote and took back.
        void* used = malloc(100000);
        std::memset(used, 0x77, 100000);
        asm volatile("" : : "r"(used) : "memory");
        free(used);
        share_large_page_with_heap(page);
        constexpr size_t Small = size_t{16} << 10;
        std::vector<std::pair<unsigned char*, size_t>> blocks;
        for (size_t bytes : {Small, 2 * Small, 4 * Small})
            blocks.emplace_back(static_cast<unsigned char*>(take_record_block(bytes)), bytes);
        if (!record_region_shares_heap_page() || record_region_start() != page) fails |= 2;
        for (const auto& [block, bytes] : blocks) {
            const uintptr_t at = reinterpret_cast<uintptr_t>(block);
            if (at < from + 4096 || at + bytes > to) fails |= 4;
            if (std::count(block, block + bytes, 0) != static_cast<ptrdiff_t>(bytes)) fails |= 8;
            if (record_at<unsigned char>(record_link_of(block + bytes - RecordLinkUnit)) !=
                block + bytes - RecordLinkUnit)
                fails |= 16;
        }
        auto* large = static_cast<unsigned char*>(take_record_block(LargePageBytes));
        if (reinterpret_cast<uintptr_t>(large) < to) fails |= 32;
        std::memset(large, 0x5A, LargePageBytes);
        if (record_at<unsigned char>(record_link_of(large)) != large) fails |= 64;
        advise_large_record_pages();
        if (record_region_all_large_pages()) fails |= 128;
        // The region lies 64 MiB above the page, where the heap would grow:
        // blocks past that room must still come (from elsewhere) and hold
        // what is written into them.
        constexpr size_t Chunk = size_t{256} << 10;
        std::vector<unsigned char*> chunks;
        for (size_t total = 0; total < (size_t{160} << 20); total += Chunk) {
            auto* chunk = static_cast<unsigned char*>(malloc(Chunk));
            if (chunk == nullptr) {
                fails |= 256;
                break;
            }
            std::memset(chunk, static_cast<int>(chunks.size() & 0xFF), Chunk);
            chunks.push_back(chunk);
        }
        const uintptr_t room = uintptr_t{64} << 20;
        if (std::none_of(chunks.begin(), chunks.end(), [&](const unsigned char* chunk) {
                const uintptr_t at = reinterpret_cast<uintptr_t>(chunk);
                return at < from - room || at >= from + room;
            }))
            fails |= 2048; // (then the heap did not meet the region: nothing was tried)
        for (size_t i = 0; i < chunks.size(); ++i) {
            if (chunks[i][0] != (i & 0xFF) || chunks[i][Chunk - 1] != (i & 0xFF)) fails |= 512;
            free(chunks[i]);
        }
        if (large[LargePageBytes - 1] != 0x5A) fails |= 1024;
        test::exit_with_failures(fails);
    };
    test::expect_clean_exit_in_fresh_process(shared);
}

// The flags the system keeps for the mapping that holds `address`
// (/proc/self/smaps' "VmFlags" line), or "" when none is found.
std::string mapping_flags(uintptr_t address) {
    FILE* smaps = fopen("/proc/self/smaps", "r");
    if (smaps == nullptr) return "";
    char line[512];
    bool inside = false;
    std::string flags;
    while (fgets(line, sizeof line, smaps) != nullptr) {
        unsigned long from = 0, to = 0;
        if (sscanf(line, "%lx-%lx ", &from, &to) == 2 && strchr(line, '-') < strchr(line, ' ')) {
            inside = address >= from && address < to;
        } else if (inside && strncmp(line, "VmFlags:", 8) == 0) {
            flags = line + 8;
            break;
        }
    }
    fclose(smaps);
    return flags;
}

// A small page's records lie in a region reserved above the heap: it
// begins at the base given, below the heap's free top, and every block
// comes from its own stretch 64 MiB higher (none from the heap), zeroed,
// with links that reach them. Asking for large record pages then advises
// that stretch, not the heap below it. In a fresh process: the region must
// not be reserved yet.
TEST(RecordRegionTest, SmallTreesLieAboveTheHeap) {
    if (!HeapMovesToLargePage || !RecordLinksAreOffsets)
        GTEST_SKIP() << "the heap is not glibc's own here, or links are pointers";
    const auto above = [] {
        int fails = 0;
        void* const base = heap_free_top_floor();
        const uintptr_t from = reinterpret_cast<uintptr_t>(base);
        const uintptr_t own = from + (uintptr_t{64} << 20);
        if (base == nullptr || from % LargePageBytes != 0 ||
            from > reinterpret_cast<uintptr_t>(sbrk(0)))
            std::exit(1);
        reserve_records_above_heap(base);
        constexpr size_t Small = size_t{16} << 10;
        for (size_t bytes : {Small, 2 * Small, LargePageBytes}) {
            auto* block = static_cast<unsigned char*>(take_record_block(bytes));
            const uintptr_t at = reinterpret_cast<uintptr_t>(block);
            if (at < own || at + bytes > own + 4 * LargePageBytes) fails |= 2;
            if (std::count(block, block + bytes, 0) != static_cast<ptrdiff_t>(bytes)) fails |= 4;
            std::memset(block, 0x6B, bytes);
            unsigned char* last = block + bytes - RecordLinkUnit;
            if (record_at<unsigned char>(record_link_of(last)) != last) fails |= 8;
        }
        if (record_region_start() != base || record_region_shares_heap_page()) fails |= 16;
        // The heap, below, still hands out blocks that keep what they hold.
        std::vector<unsigned char*> pieces;
        for (int i = 0; i < 64; ++i) {
            pieces.push_back(static_cast<unsigned char*>(malloc(1000)));
            std::memset(pieces.back(), i, 1000);
        }
        for (int i = 0; i < 64; ++i) {
            if (pieces[i][0] != i || pieces[i][999] != i) fails |= 32;
            free(pieces[i]);
        }
        advise_large_record_pages();
        if (!record_region_all_large_pages()) fails |= 64;
        if (test::large_pages_offered() && mapping_flags(own).find(" hg") == std::string::npos)
            fails |= 128;
        const std::string heap = mapping_flags(reinterpret_cast<uintptr_t>(sbrk(0)) - 1);
        if (heap.empty() || heap.find(" hg") != std::string::npos) fails |= 256;
        test::exit_with_failures(fails);
    };
    test::expect_clean_exit_in_fresh_process(above);
}

// The entity lookups go through tables the compiler makes; they must say
// what a plain reading of the entity list says.
TEST(EntityTableTest, LookupsAgreeWithAScanOfTheList) {
    std::map<std::string, uint32_t> by_name; // a name listed twice takes its later code
    std::map<uint32_t, const char*> by_code; // a code listed twice keeps its first name
    size_t rows = 0;
    for (const EntityDef* e = entity_table; e->name != nullptr; ++e, ++rows) {
        by_name[e->name] = e->code;
        by_code.emplace(e->code, e->name);
    }
    EXPECT_EQ(rows, 252u);
    for (const auto& [name, code] : by_name) {
        EXPECT_EQ(entity_code(("&" + name).c_str()), static_cast<int32_t>(code)) << name;
    }
    for (uint32_t c = 0; c < 0x12000; ++c) {
        const auto found = by_code.find(c);
        const char* name = entity_name(c);
        if (found == by_code.end()) {
            EXPECT_EQ(name, nullptr) << c;
        } else {
            ASSERT_NE(name, nullptr) << c;
            EXPECT_STREQ(name, found->second) << c;
        }
    }
    EXPECT_EQ(entity_name(0xFFFFFFFFu), nullptr);
    for (const char* unknown : {"&", "&Nbsp", "&nbs", "&nbspx", "&apos", "&zwnjj"})
        EXPECT_EQ(entity_code(unknown), 0) << unknown;
    EXPECT_EQ(entity_code("&apos", true), '\'');
}

// A numeric reference reads its number as a "%d" or "%x" conversion of the
// C library does: white space, a sign, for hexadecimal an optional 0x, then
// digits; no digits, or a number that does not fit in 32 bits, reads as 0.
TEST(EntityTableTest, NumericReferencesReadTheirNumbersAsTheCLibraryDoes) {
    const std::pair<const char*, int32_t> cases[] = {
        {"&#169", 169},
        {"&#xA9", 169},
        {"&#xa9;", 169},
        {"&#X41", 0},
        {"&#x0x41", 0x41},
        {"&#x0xZ", 0},
        {"&# \t65", 65},
        {"&#+65", 65},
        {"&#-65", -65},
        {"&#65abc", 65},
        {"&#", 0},
        {"&#x", 0},
        {"&#xg", 0},
        {"&#+", 0},
        {"&#--5", 0},
        {"&#2147483647", INT32_MAX},
        {"&#2147483648", 0},
        {"&#-2147483648", INT32_MIN},
        {"&#-2147483649", 0},
        {"&#x7fffffff", INT32_MAX},
        {"&#x80000000", 0},
        {"&#99999999999999999999999", 0},
        {"&#0000000000000000000000065", 65},
    };
    for (const auto& [ref, code] : cases)
        EXPECT_EQ(entity_code(ref), code) << ref;

    // Random references against the C library's own reading.
    auto c_library = [](const std::string& digits, int base) -> int32_t {
        const char* p = digits.c_str();
        while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
            ++p;
        if (*p == '+' || *p == '-') ++p;
        if (!(base == 16 ? std::isxdigit(static_cast<unsigned char>(*p)) != 0
                         : (*p >= '0' && *p <= '9')))
            return 0;
        errno = 0;
        const long long v = std::strtoll(digits.c_str(), nullptr, base);
        return errno == ERANGE || v > INT32_MAX || v < INT32_MIN ? 0 : static_cast<int32_t>(v);
    };
    std::mt19937 random(12);
    const std::string alphabet = " \t+-0123456789abcdefABCDEFxXg;";
    for (int i = 0; i < 20000; ++i) {
        std::string digits;
        for (int n = static_cast<int>(random() % 14); n > 0; --n)
            digits += alphabet[random() % alphabet.size()];
        if (random() % 4 == 0) digits = std::string(random() % 3, '0') + "2147483" + digits;
        // ("&#x" starts a hexadecimal reference, checked below.)
        if (digits.empty() || digits[0] != 'x') {
            EXPECT_EQ(entity_code(("&#" + digits).c_str()), c_library(digits, 10)) << digits;
        }
        EXPECT_EQ(entity_code(("&#x" + digits).c_str()), c_library(digits, 16)) << "x" << digits;
    }
}

} // namespace
} // namespace varnel
