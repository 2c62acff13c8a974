// The inline stack (remember, forget, schedule and hand out re-opened start
// tags) and the repair helpers, on small trees built by hand.
#include <gtest/gtest.h>

#include "build_support.h"

namespace varnel {
namespace {

using test::dump_children;
using test::dump_node;
using test::LexerOver;
using test::lines;

class InlineStackTest : public ::testing::Test {
  protected:
    void SetUp() override { test::fresh_globals(); }

    // An element as the source would give it (not implicit).
    Node* element(const char* name) {
        Node* node = infer_tag(lx.lexer, name);
        node->implicit = false;
        return node;
    }
    // A text node over fresh bytes at the end of the TextBuffer.
    Node* text(const char* content) {
        Node* node = new_node();
        node->start = lx.lexer->text_length();
        append_string(lx.lexer, content);
        node->set_end(lx.lexer->text_length());
        return node;
    }
    Node* root() {
        Node* node = new_node();
        node->set_kind(RootNode);
        return node;
    }
    std::vector<std::string> stack_names() {
        std::vector<std::string> out;
        for (const auto& entry : lx.lexer->inline_stack)
            out.push_back(entry.element_name);
        return out;
    }

    LexerOver lx{""};
};

using Names = std::vector<std::string>;

TEST_F(InlineStackTest, RememberPushesInlineElementsOnce) {
    Node* b = element("b");
    Node* b2 = element("b");
    Node* implicit_i = infer_tag(lx.lexer, "i");
    Node* p = element("p");
    Node* object = element("object");
    Node* font1 = element("font");
    Node* font2 = element("font");
    add_attribute(font1, "size", "1");

    remember_inline(lx.lexer, b);
    remember_inline(lx.lexer, b2);         // same tag: no second entry
    remember_inline(lx.lexer, implicit_i); // implied elements are never pushed
    remember_inline(lx.lexer, p);          // not inline
    remember_inline(lx.lexer, object);     // objects have a scope of their own
    remember_inline(lx.lexer, font1);
    remember_inline(lx.lexer, font2); // every font is pushed
    EXPECT_EQ(stack_names(), (Names{"b", "font", "font"}));
    EXPECT_TRUE(inline_is_open(lx.lexer, b2));
    EXPECT_FALSE(inline_is_open(lx.lexer, implicit_i));

    // The entry owns a copy of the attributes.
    ASSERT_NE(lx.lexer->inline_stack[1].attributes, nullptr);
    EXPECT_NE(lx.lexer->inline_stack[1].attributes, font1->attributes());
    EXPECT_EQ(*lx.lexer->inline_stack[1].attributes->value, "1");

    for (Node* n : {b, b2, implicit_i, p, object, font1, font2})
        free_node(n);
}

TEST_F(InlineStackTest, StackGrowsByDoublingAndStopsAtItsBound) {
    Node* font = element("font");
    remember_inline(lx.lexer, font);
    EXPECT_EQ(lx.lexer->inline_stack.capacity(), 12u);
    for (int i = 0; i < 12; ++i)
        remember_inline(lx.lexer, font);
    EXPECT_EQ(lx.lexer->inline_stack.capacity(), 24u);
    for (uint32_t i = 0; i < 2 * MaxInlineEntries; ++i)
        remember_inline(lx.lexer, font);
    EXPECT_EQ(lx.lexer->inline_count(), MaxInlineEntries);
    free_node(font);
}

TEST_F(InlineStackTest, ForgetPopsTheTopOrThroughTheAnchor) {
    // The inline builder never remembers an anchor, but the stack itself
    // takes one like any inline element.
    Node* nodes[] = {element("b"), element("i"), element("a"), element("u"), element("tt")};
    for (Node* n : nodes)
        remember_inline(lx.lexer, n);
    EXPECT_EQ(stack_names(), (Names{"b", "i", "a", "u", "tt"}));

    Node* end_b = element("b");
    end_b->set_kind(EndTagNode);
    forget_inline(lx.lexer, end_b); // pops the top entry, whatever it is
    EXPECT_EQ(stack_names(), (Names{"b", "i", "a", "u"}));

    Node* div = element("div");
    forget_inline(lx.lexer, div); // not inline: nothing happens
    EXPECT_EQ(stack_names(), (Names{"b", "i", "a", "u"}));

    Node* end_a = element("a");
    end_a->set_kind(EndTagNode);
    forget_inline(lx.lexer, end_a); // through the topmost a
    EXPECT_EQ(stack_names(), (Names{"b", "i"}));
    forget_inline(lx.lexer, end_a); // no a left: the stack empties
    EXPECT_TRUE(lx.lexer->inline_stack.empty());
    forget_inline(lx.lexer, nullptr); // empty stack: nothing to do
    EXPECT_TRUE(lx.lexer->inline_stack.empty());

    for (Node* n : nodes)
        free_node(n);
    free_node(end_b);
    free_node(div);
    free_node(end_a);
}

TEST_F(InlineStackTest, ScheduledEntriesComeBackBottomFirstThenTheHeldToken) {
    Node* b = element("b");
    Node* font = element("font");
    add_attribute(font, "color", "red");
    remember_inline(lx.lexer, b);
    remember_inline(lx.lexer, font);

    // Nothing above the base: nothing is scheduled and the token not kept.
    Node* held = text("x");
    lx.lexer->inline_base = 2;
    EXPECT_EQ(schedule_reopen(lx.lexer, held), 0);
    EXPECT_EQ(lx.lexer->reopen_next, ReopenNone);
    EXPECT_EQ(lx.lexer->reopen_held, nullptr);

    lx.lexer->inline_base = 0;
    EXPECT_EQ(schedule_reopen(lx.lexer, held), 2);
    Node* first = next_reopened_token(lx.lexer);
    Node* second = next_reopened_token(lx.lexer);
    Node* third = next_reopened_token(lx.lexer);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->element_name(), "b");
    EXPECT_EQ(first->kind(), StartTagNode);
    EXPECT_TRUE(first->implicit);
    EXPECT_EQ(first->tag(), tag_b);
    EXPECT_EQ(second->element_name(), "font");
    ASSERT_NE(second->attributes(), nullptr);
    EXPECT_EQ(*second->attributes()->value, "red");
    // Each re-opened element owns its attributes.
    EXPECT_NE(second->attributes(), lx.lexer->inline_stack[1].attributes);
    EXPECT_EQ(third, held);
    EXPECT_EQ(lx.lexer->reopen_next, ReopenNone);
    EXPECT_EQ(lx.lexer->reopen_held, nullptr);
    // Re-opened elements are implicit, so remembering them adds nothing.
    remember_inline(lx.lexer, first);
    EXPECT_EQ(lx.lexer->inline_count(), 2u);

    // A schedule that is cancelled hands nothing out.
    EXPECT_EQ(schedule_reopen(lx.lexer, nullptr), 2);
    cancel_reopen(lx.lexer);
    EXPECT_EQ(next_reopened_token(lx.lexer), nullptr);

    // Popping below a scheduled position ends the schedule there.
    EXPECT_EQ(schedule_reopen(lx.lexer, nullptr), 2);
    Node* again = next_reopened_token(lx.lexer);
    forget_inline(lx.lexer, nullptr);
    EXPECT_EQ(lx.lexer->reopen_next, ReopenNone);
    EXPECT_EQ(next_reopened_token(lx.lexer), nullptr);

    for (Node* n : {b, font, held, first, second, again})
        free_node(n);
}

TEST_F(InlineStackTest, ReopeningStopsOnceItOutgrowsTheInput) {
    Node* font = element("font");
    add_attribute(font, "color", "red");
    remember_inline(lx.lexer, font);
    Node* held = text("x");

    // Within the allowance the entries are scheduled and their cost counted.
    EXPECT_EQ(schedule_reopen(lx.lexer, held), 1);
    EXPECT_GT(lx.lexer->reopen_spent, 0u);
    cancel_reopen(lx.lexer);

    // Past it nothing is scheduled, the held token is the caller's again,
    // and the warning is given once for the document.
    lx.lexer->reopen_spent = uint64_t{1} << 40;
    EXPECT_EQ(schedule_reopen(lx.lexer, held), 0);
    EXPECT_EQ(lx.lexer->reopen_next, ReopenNone);
    EXPECT_EQ(lx.lexer->reopen_held, nullptr);
    EXPECT_EQ(schedule_reopen(lx.lexer, held), 0);
    EXPECT_EQ(lx.messages(), lines({"line 1 column 1 - Warning: too much markup to re-open: inline "
                                    "elements no longer continue after blocks"}));
    EXPECT_EQ(lx.lexer->warnings, 1u);
    for (Node* n : {font, held})
        free_node(n);
}

TEST_F(InlineStackTest, GetTokenHandsOutReopenedTagsBeforeTheNextToken) {
    LexerOver doc("<b>x</b>y");
    Node* b = get_token(doc.lexer, CollapseSpace);
    remember_inline(doc.lexer, b);
    Node* x = get_token(doc.lexer, CollapseSpace);
    // Push the text back after scheduling: the b comes first, then the text.
    ASSERT_EQ(schedule_reopen(doc.lexer, nullptr), 1);
    unget_token(doc.lexer);
    Node* reopened = get_token(doc.lexer, CollapseSpace);
    EXPECT_EQ(test::describe_token(doc, reopened), "start:b");
    EXPECT_TRUE(reopened->implicit);
    EXPECT_EQ(get_token(doc.lexer, CollapseSpace), x);
    Node* end = get_token(doc.lexer, CollapseSpace);
    EXPECT_EQ(test::describe_token(doc, end), "end:b");
    for (Node* n : {b, x, reopened, end})
        free_node(n);
}

TEST_F(InlineStackTest, RetagReportsAndRenames) {
    Node* end_p = element("p");
    end_p->set_kind(EndTagNode);
    retag_node(lx.lexer, end_p, tag_br);
    EXPECT_EQ(end_p->kind(), StartTagNode);
    EXPECT_EQ(end_p->tag(), tag_br);
    EXPECT_EQ(former_tag(lx.lexer, end_p), tag_p);
    EXPECT_EQ(end_p->element_name(), "br");
    EXPECT_TRUE(end_p->implicit);

    Node* dir = element("dir");
    retag_node(lx.lexer, dir, tag_ul);
    EXPECT_EQ(dir->element_name(), "ul");
    EXPECT_EQ(lx.messages(),
              lines({"line 1 column 1 - Warning: replacing element </p> by <br>",
                     "line 1 column 1 - Warning: replacing obsolete element <dir> by <ul>"}));
    free_node(end_p);
    free_node(dir);
}

TEST_F(InlineStackTest, LeadingSpaceMovesOutOfInlineElements) {
    {
        // Contiguous text: "a" then " b" inside <b>; the previous text grows
        // over the very byte that the inner text drops.
        Node* p = root();
        Node* a = text("a");
        Node* b = element("b");
        Node* inner = text(" b");
        b->start = inner->start;
        insert_node_at_end(p, a);
        insert_node_at_end(p, b);
        insert_node_at_end(b, inner);
        trim_outer_spaces(lx.lexer, b);
        EXPECT_EQ(dump_children(lx, p), "\"a \" b(\"b\")");
        EXPECT_EQ(lx.lexer->text, "a b");
        free_node(p);
    }
    {
        // No text before the element: a one-space text is put in front.
        Node* p = root();
        Node* img = element("img");
        Node* b = element("b");
        Node* inner = text(" c");
        b->start = inner->start;
        insert_node_at_end(p, img);
        insert_node_at_end(p, b);
        insert_node_at_end(b, inner);
        trim_outer_spaces(lx.lexer, b);
        EXPECT_EQ(dump_children(lx, p), "img \" \" b(\"c\")");
        EXPECT_TRUE(check_tree_links(p));
        free_node(p);
    }
    {
        // After a br or a block the space would only start a line: it goes.
        for (const char* before : {"br", "hr"}) {
            Node* p = root();
            Node* b = element("b");
            insert_node_at_end(p, element(before));
            insert_node_at_end(p, b);
            insert_node_at_end(b, text(" c"));
            trim_outer_spaces(lx.lexer, b);
            EXPECT_EQ(dump_children(lx, p), std::string(before) + " b(\"c\")");
            free_node(p);
        }
    }
    {
        // The byte after the previous text belongs to another node: it is
        // left alone and the space gets a byte of its own.
        Node* p = root();
        Node* a = text("a");
        Node* other = text("Z");
        Node* b = element("b");
        Node* inner = text(" d");
        insert_node_at_end(p, a);
        insert_node_at_end(p, b);
        insert_node_at_end(b, inner);
        trim_outer_spaces(lx.lexer, b);
        EXPECT_EQ(lx.text(other), "Z");
        EXPECT_EQ(dump_children(lx, p), "\"a\" \" \" b(\"d\")");
        free_node(p);
        free_node(other);
    }
    {
        // First child of its parent, or a block: the space is just dropped.
        Node* div = element("div");
        Node* inner = text(" e");
        insert_node_at_end(div, inner);
        Node* holder = root();
        insert_node_at_end(holder, text("x"));
        insert_node_at_end(holder, div);
        trim_outer_spaces(lx.lexer, div);
        EXPECT_EQ(dump_children(lx, holder), "\"x\" div(\"e\")");
        free_node(holder);
    }
}

TEST_F(InlineStackTest, TrailingSpaceIsOwedAfterInlineElements) {
    Node* p = root();
    Node* b = element("b");
    insert_node_at_end(p, b);
    insert_node_at_end(b, text("x "));
    lx.lexer->space_pending = false;
    trim_outer_spaces(lx.lexer, b);
    EXPECT_EQ(dump_children(lx, p), "b(\"x\")");
    EXPECT_TRUE(lx.lexer->space_pending);

    // A text emptied by the trim goes away.
    Node* i = element("i");
    insert_node_at_end(p, i);
    insert_node_at_end(i, element("br"));
    insert_node_at_end(i, text(" "));
    trim_outer_spaces(lx.lexer, i);
    EXPECT_EQ(dump_children(lx, p), "b(\"x\") i(br)");

    // Cells never lose their last character to the trim.
    Node* td = element("td");
    insert_node_at_end(p, td);
    insert_node_at_end(td, text(" "));
    lx.lexer->space_pending = false;
    trim_outer_spaces(lx.lexer, td);
    Node* th = element("th");
    insert_node_at_end(p, th);
    insert_node_at_end(th, text("y "));
    trim_outer_spaces(lx.lexer, th);
    // (The cell's lone space is a leading space: it goes, and with it the
    // text that held only that space.)
    EXPECT_EQ(dump_children(lx, p), "b(\"x\") i(br) td th(\"y\")");
    EXPECT_FALSE(lx.lexer->space_pending);

    // pre keeps its leading space.
    Node* pre = element("pre");
    insert_node_at_end(p, pre);
    insert_node_at_end(pre, text(" z"));
    trim_outer_spaces(lx.lexer, pre);
    EXPECT_EQ(dump_node(lx, pre), "pre(\" z\")");
    free_node(p);
}

TEST_F(InlineStackTest, PruneKeepsMeaningfulEmptyElements) {
    Node* body = root();
    const char* kept[] = {"td", "object", "applet"};
    for (const char* name : kept)
        insert_node_at_end(body, element(name));
    Node* a = element("a");
    add_attribute(a, "name", "x");
    insert_node_at_end(body, a);
    Node* span = element("span");
    add_attribute(span, "id", "s");
    insert_node_at_end(body, span);
    for (Node* c = body->first_child(); c != nullptr; c = c->next)
        prune_if_empty(lx.lexer, c);
    EXPECT_EQ(dump_children(lx, body), "td object applet a[name=\"x\"] span[id=\"s\"]");
    EXPECT_EQ(lx.messages(), "");

    Node* b = element("b");
    insert_node_at_end(body, b);
    prune_if_empty(lx.lexer, b);
    Node* bare_a = element("a");
    insert_node_at_end(body, bare_a);
    prune_if_empty(lx.lexer, bare_a);
    EXPECT_EQ(dump_children(lx, body), "td object applet a[name=\"x\"] span[id=\"s\"]");
    EXPECT_EQ(lx.messages(), lines({"line 1 column 1 - Warning: trimming empty <b>",
                                    "line 1 column 1 - Warning: trimming empty <a>"}));
    free_node(body);
}

TEST_F(InlineStackTest, EmptyParagraphBecomesTwoBreaksWhenKept) {
    Node* body = root();
    Node* p = element("p");
    insert_node_at_end(body, p);
    insert_node_at_end(body, text("x"));
    lx.lexer->options.drop_empty_paras = false;
    prune_if_empty(lx.lexer, p);
    EXPECT_EQ(dump_children(lx, body), "br br \"x\"");
    EXPECT_EQ(body->first_child(), p);
    EXPECT_EQ(former_tag(lx.lexer, p), tag_p);
    EXPECT_TRUE(check_tree_links(body));
    EXPECT_EQ(lx.messages(), lines({"line 1 column 1 - Warning: replacing element <p> by <br>"}));

    // With the option on (the default) it is trimmed.
    lx.lexer->options.drop_empty_paras = true;
    Node* p2 = element("p");
    insert_node_at_end(body, p2);
    prune_if_empty(lx.lexer, p2);
    EXPECT_EQ(dump_children(lx, body), "br br \"x\"");
    free_node(body);
}

TEST_F(InlineStackTest, HeadElementsMoveIntoTheHead) {
    Node* doc = root();
    Node* html = element("html");
    Node* head = element("head");
    Node* body = element("body");
    Node* p = element("p");
    insert_node_at_end(doc, html);
    insert_node_at_end(html, head);
    insert_node_at_end(html, body);
    insert_node_at_end(body, p);

    Node* meta = element("meta");
    relocate_to_head(lx.lexer, p, meta);
    Node* end_title = element("title");
    end_title->set_kind(EndTagNode);
    relocate_to_head(lx.lexer, p, end_title);
    EXPECT_EQ(dump_children(lx, doc), "html(head(meta) body(p))");
    EXPECT_EQ(lx.messages(),
              lines({"line 1 column 1 - Warning: <meta> isn't allowed in <p> elements",
                     "line 1 column 1 - Warning: discarding unexpected </title>"}));
    free_node(doc);
}

TEST_F(InlineStackTest, TreeLinkCheckFindsEveryBrokenLink) {
    Node* doc = root();
    Node* a = element("div");
    Node* b = element("p");
    Node* c = element("b");
    insert_node_at_end(doc, a);
    insert_node_at_end(doc, b);
    insert_node_at_end(b, c);
    EXPECT_TRUE(check_tree_links(doc));
    EXPECT_TRUE(check_tree_links(c));

    // (In a child list the first child's previous-sibling link names the
    // last child: here a's names b, b's names a, c's names c.)
    b->prev_link() = nullptr; // a->next still names b
    EXPECT_FALSE(check_tree_links(doc));
    b->prev_link() = a;
    a->prev_link() = a; // the first child naming itself as the last
    EXPECT_FALSE(check_tree_links(doc));
    a->prev_link() = b;
    c->parent = a; // listed under b, naming a
    EXPECT_FALSE(check_tree_links(doc));
    EXPECT_FALSE(check_tree_links(c));
    c->parent = b;
    // A cycle in a sibling chain ends the walk with a failure, also the one
    // back to the first child, whose link names the last one.
    b->next = a;
    EXPECT_FALSE(check_tree_links(doc));
    EXPECT_FALSE(check_tree_links(a));
    b->next = nullptr;
    EXPECT_TRUE(check_tree_links(doc));
    EXPECT_TRUE(check_tree_links(a));
    // Deeper down: a first child that names a predecessor, a child list
    // that leads back up to an ancestor, a first child that does not name
    // the end of its list.
    Node* d = element("i");
    insert_node_at_end(c, d);
    EXPECT_TRUE(check_tree_links(doc));
    d->prev_link() = c;
    EXPECT_FALSE(check_tree_links(doc));
    d->prev_link() = d;
    c->set_first_child(b);
    EXPECT_FALSE(check_tree_links(doc));
    c->set_first_child(d);
    Node* e = element("u");
    insert_node_at_end(c, e);
    EXPECT_TRUE(check_tree_links(doc));
    d->prev_link() = d;
    EXPECT_FALSE(check_tree_links(doc));
    EXPECT_FALSE(check_tree_links(e));
    d->prev_link() = e;
    EXPECT_TRUE(check_tree_links(doc));
    EXPECT_TRUE(check_tree_links(d));
    EXPECT_TRUE(check_tree_links(e));
    free_node(doc);
}

TEST_F(InlineStackTest, TreeLinkCheckHandlesDeepAndWideTrees) {
    Node* doc = root();
    Node* parent = doc;
    for (int i = 0; i < 1000000; ++i) {
        Node* child = element("div");
        insert_node_at_end(parent, child);
        parent = child;
    }
    for (int i = 0; i < 1000000; ++i)
        insert_node_at_end(doc, element("br"));
    EXPECT_TRUE(check_tree_links(doc));
    free_node(doc);
}

TEST_F(InlineStackTest, UserTagsAndIdNameReconciliation) {
    Node* p = element("p");
    EXPECT_FALSE(is_user_tag_node(p));
    EXPECT_TRUE(is_user_tag_node(nullptr));
    Node* unknown = infer_tag(lx.lexer, "blah");
    EXPECT_TRUE(is_user_tag_node(unknown));
    declare_tag(lx.lexer->options, DeclaredKind::Block, "mine");
    lx.lexer->tags = TagTable(lx.lexer->options.declared_tags);
    Node* mine = element("mine");
    EXPECT_TRUE(is_user_tag_node(mine));

    Node* a = element("a");
    add_attribute(a, "name", "x");
    add_attribute(a, "id", "x");
    reconcile_id_name(lx.lexer, a);
    EXPECT_EQ(lx.messages(), "");
    get_attribute(a, "id")->value = "y";
    reconcile_id_name(lx.lexer, a);
    EXPECT_EQ(lx.messages(),
              lines({"line 1 column 1 - Warning: <a> id and name attribute value mismatch"}));

    Node* anchor = element("a");
    add_attribute(anchor, "name", "top");
    reconcile_id_name(lx.lexer, anchor);
    EXPECT_EQ(get_attribute(anchor, "id"), nullptr);
    lx.lexer->options.output_xml = true;
    reconcile_id_name(lx.lexer, anchor);
    ASSERT_NE(get_attribute(anchor, "id"), nullptr);
    EXPECT_EQ(*get_attribute(anchor, "id")->value, "top");

    // A name that is no identifier is not copied.
    Node* spaced = element("a");
    add_attribute(spaced, "name", "two words");
    reconcile_id_name(lx.lexer, spaced);
    EXPECT_EQ(get_attribute(spaced, "id"), nullptr);

    for (Node* n : {p, unknown, mine, a, anchor, spaced})
        free_node(n);
}

TEST_F(InlineStackTest, IdentifiersStartWithALetter) {
    for (const char* good : {"a", "top", "A-b_c:d.e9"})
        EXPECT_TRUE(is_identifier(good)) << good;
    for (const char* bad : {"", "1x", "-a", "_a", "a b", "a#b", "caf\xc3\xa9", "\xc3\xa9t\xc3\xa9"})
        EXPECT_FALSE(is_identifier(bad)) << bad;
}

TEST_F(InlineStackTest, BuildChildClearsFlagsAndSkipsEmptyForms) {
    Node* br = element("br");
    lx.lexer->after_space = true;
    lx.lexer->space_pending = true;
    build_child(lx.lexer, br, TrimSpace);
    EXPECT_FALSE(lx.lexer->after_space);
    EXPECT_TRUE(lx.lexer->space_pending); // an empty element leaves it

    // Inline elements keep the owed space; others clear it. An element in
    // the "/>" form is not read into (the empty input would say nothing).
    Node* b = element("b");
    b->set_kind(StartEndTagNode);
    build_child(lx.lexer, b, TrimSpace);
    EXPECT_TRUE(lx.lexer->space_pending);
    Node* div = element("div");
    div->set_kind(StartEndTagNode);
    build_child(lx.lexer, div, TrimSpace);
    EXPECT_FALSE(lx.lexer->space_pending);
    EXPECT_EQ(lx.messages(), "");
    for (Node* n : {br, b, div})
        free_node(n);
}

TEST_F(InlineStackTest, AtTheDepthBoundThePendingTokenGoesInsideUnparsed) {
    LexerOver doc("x<b>y");
    Node* ul = element("ul");
    Node* token = get_token(doc.lexer, TrimSpace);
    unget_token(doc.lexer);
    doc.lexer->depth = MaxParseDepth;
    build_child(doc.lexer, ul, TrimSpace);
    EXPECT_EQ(ul->first_child(), token);
    EXPECT_FALSE(doc.lexer->pushed_back);
    // The next token is the one after it, not the same again.
    Node* next = get_token(doc.lexer, TrimSpace);
    EXPECT_EQ(test::describe_token(doc, next), "start:b");
    free_node(next);
    free_node(ul);
}

} // namespace
} // namespace varnel
