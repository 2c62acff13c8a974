// The inline stack and the repair helpers shared by every tree builder.
#include "tree/inline_stack.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/config.h"
#include "model/reports.h"
#include "input/lexer.h"
#include "input/stream.h"
#include "model/attrs.h"
#include "model/node.h"
#include "tree/build_common.h"
#include "tree/builders.h"

namespace varnel {

namespace {

// Tags the inline stack tracks: inline, but not objects (object, applet and
// servlet open a scope of their own).
bool is_stackable(TagPtr tag) {
    return tag != nullptr && (tag->model & ModelInline) != 0 && (tag->model & ModelObject) == 0;
}

// Extends a text node by one trailing space. Normally the byte right after
// the text is the space being moved (it starts the text that follows), so
// the range simply grows over it. Only a byte that is already a space is
// taken over in place; any other byte belongs to some other node and is left
// alone: the space then goes into a new text node of its own.
void extend_text_by_space(Lexer* lexer, Node* text) {
    if (text->end() < lexer->text_length() && lexer->text[text->end()] == ' ') {
        text->set_end(text->end() + 1);
        return;
    }
    if (text->end() == lexer->text_length()) {
        append_char(lexer, ' ');
        text->set_end(text->end() + 1);
        return;
    }
    Node* space = new_node();
    space->start = lexer->text_length();
    append_char(lexer, ' ');
    space->set_end(lexer->text_length());
    insert_node_after(text, space);
}

// Puts a one-space text node in front of `element`. Its byte is the one at
// the element's start when that is a space (the usual case: the element's
// first text follows its tag directly), else a fresh byte at the end of the
// TextBuffer, so that no other node's text is overwritten.
void insert_space_before(Lexer* lexer, Node* element) {
    Node* space = new_node();
    if (element->start < lexer->text_length() && lexer->text[element->start] == ' ') {
        space->start = element->start;
        space->set_end(element->start + 1);
        ++element->start;
    } else {
        space->start = lexer->text_length();
        append_char(lexer, ' ');
        space->set_end(lexer->text_length());
    }
    insert_node_before(element, space);
}

// At the depth bound: the token that the caller pushed back for `node` goes
// inside it unparsed (text, pass-through nodes and start tags) or is
// discarded (anything else).
void place_pending_token(Lexer* lexer, Node* node) {
    if (!lexer->pushed_back || lexer->last_token == nullptr) return;
    Node* token = lexer->last_token;
    lexer->pushed_back = false;
    if (token->kind() == TextNode || is_pass_through(token) || is_start_tag(token)) {
        insert_node_at_end(node, token);
    } else {
        discard_token(lexer, node, token);
    }
}

// What a re-opened copy of `node` adds to the printed page, roughly: its
// start and end tags and its attributes.
uint32_t reopen_cost(const Node* node) {
    uint64_t cost = 5 + 2 * node->element_name().size();
    for (const NodeAttribute* a = node->attributes(); a != nullptr; a = a->next) {
        cost += 4 + a->name().size() + (a->value ? a->value->size() : 0);
    }
    return static_cast<uint32_t>(std::min<uint64_t>(cost, UINT32_MAX));
}

// Re-opening may add this much markup, plus ReopenPerInputByte for every
// byte read so far. Ordinary pages stay far below; a page that leaves
// large inline elements open across thousands of blocks would otherwise
// multiply its size (and the memory of its tree) by their number.
constexpr uint64_t ReopenAllowance = 1 << 20;
constexpr uint64_t ReopenPerInputByte = 4;

} // namespace

void remember_inline(Lexer* lexer, Node* node) {
    const TagPtr tag = node->tag();
    if (node->implicit || !is_stackable(tag)) return;
    auto& stack = lexer->inline_stack;
    if (tag != tag_font) {
        for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
            if (it->tag == tag) return;
        }
    }
    if (stack.size() >= MaxInlineEntries) return;
    if (stack.size() == stack.capacity()) {
        stack.reserve(stack.capacity() == 0 ? 12 : stack.capacity() * 2);
    }
    InlineStackEntry entry;
    entry.tag = tag;
    entry.element_name = node->element_name();
    entry.attributes = copy_attribute_list(node->attributes());
    entry.cost = reopen_cost(node);
    stack.push_back(std::move(entry));
}

bool inline_is_open(Lexer* lexer, const Node* node) {
    const auto& stack = lexer->inline_stack;
    const TagPtr tag = node->tag();
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
        if (it->tag == tag) return true;
    }
    return false;
}

void pop_inline_entry(Lexer* lexer) {
    auto& stack = lexer->inline_stack;
    if (stack.empty()) return;
    free_attribute_list(stack.back().attributes);
    stack.pop_back();
    // A scheduled re-opening never points past the end of the stack.
    if (lexer->reopen_next != ReopenNone &&
        static_cast<uint32_t>(lexer->reopen_next) >= lexer->inline_count()) {
        lexer->reopen_next = ReopenNone;
    }
}

void clear_inline_stack(Lexer* lexer) {
    while (!lexer->inline_stack.empty())
        pop_inline_entry(lexer);
    lexer->reopen_next = ReopenNone;
}

Node* get_token(Lexer* lexer, WhitespaceMode mode) {
    // Pushed-back and re-opened tokens come before any new input. A pushed
    // back text token waits until the re-opened inline start tags are out.
    if (lexer->pushed_back && lexer->last_token == nullptr) lexer->pushed_back = false;
    if (lexer->pushed_back) {
        if (lexer->last_token->kind() != TextNode) {
            lexer->pushed_back = false;
            return lexer->last_token;
        }
        if (lexer->reopen_next != ReopenNone) return next_reopened_token(lexer);
        if (lexer->reopen_held == nullptr) {
            lexer->pushed_back = false;
            return lexer->last_token;
        }
    } else if (lexer->reopen_next != ReopenNone) {
        return next_reopened_token(lexer);
    }
    if (lexer->reopen_held != nullptr) return next_reopened_token(lexer);
    return read_token(lexer, mode);
}

void forget_inline(Lexer* lexer, Node* node) {
    if (node != nullptr) {
        if (!is_stackable(node->tag())) return;
        if (node->tag() == tag_a) {
            // Pop through the topmost <a> entry; the stack empties without one.
            while (!lexer->inline_stack.empty()) {
                bool was_a = lexer->inline_stack.back().tag == tag_a;
                pop_inline_entry(lexer);
                if (was_a) break;
            }
            return;
        }
    }
    pop_inline_entry(lexer);
}

int32_t schedule_reopen(Lexer* lexer, Node* held) {
    int32_t n =
        static_cast<int32_t>(lexer->inline_count()) - static_cast<int32_t>(lexer->inline_base);
    if (n > 0) {
        if (lexer->reopen_stopped) return 0;
        // A re-opening under way (an element it handed out starts a
        // re-opening of its own) is not restarted: that would drop the token
        // it holds back and hand the same elements out again inside them.
        if (lexer->reopen_held != nullptr && lexer->reopen_held != held) return 0;
        uint64_t cost = 0;
        for (uint32_t i = lexer->inline_base; i < lexer->inline_count(); ++i) {
            cost += lexer->inline_stack[i].cost;
        }
        const uint64_t read = lexer->input != nullptr ? bytes_read(lexer->input) : 0;
        if (lexer->reopen_spent + cost > ReopenAllowance + ReopenPerInputByte * read) {
            // Past the allowance nothing is re-opened any more: the text
            // stays, only the inline elements do not carry on after blocks.
            lexer->reopen_stopped = true;
            report_warning(lexer, nullptr, held, ReopenLimit);
            return 0;
        }
        lexer->reopen_spent += cost;
        lexer->reopen_next = static_cast<int32_t>(lexer->inline_base);
        lexer->reopen_held = held;
    }
    return n;
}

void cancel_reopen(Lexer* lexer) {
    lexer->reopen_next = ReopenNone;
    lexer->reopen_held = nullptr;
}

Node* next_reopened_token(Lexer* lexer) {
    if (lexer->reopen_next == ReopenNone ||
        static_cast<uint32_t>(lexer->reopen_next) >= lexer->inline_count()) {
        lexer->reopen_next = ReopenNone;
        Node* held = lexer->reopen_held;
        lexer->reopen_held = nullptr;
        return held;
    }
    if (lexer->reopen_held == nullptr && lexer->input != nullptr) {
        lexer->token_line = static_cast<uint32_t>(lexer->input->line);
        lexer->token_column = static_cast<uint32_t>(lexer->input->column);
    }
    const InlineStackEntry& entry = lexer->inline_stack[static_cast<size_t>(lexer->reopen_next)];
    Node* node = new_node(StartTagNode);
    node->implicit = true;
    node->start = lexer->text_start;
    node->set_element(entry.tag, entry.element_name);
    node->set_attributes(copy_attribute_list(entry.attributes));
    ++lexer->reopen_next;
    if (static_cast<uint32_t>(lexer->reopen_next) >= lexer->inline_count()) {
        lexer->reopen_next = ReopenNone;
    }
    return node;
}

bool is_reopened_token(const Lexer* lexer, const Node* node) {
    return node != lexer->last_token && node->implicit && node->kind() == StartTagNode;
}

void push_back_token(Lexer* lexer, Node* node) {
    if (!is_reopened_token(lexer, node)) {
        unget_token(lexer);
        return;
    }
    // The entry handed out last sits just below the next one to hand out
    // (or is the top entry once the schedule has run through).
    int32_t count = static_cast<int32_t>(lexer->inline_count());
    int32_t index = (lexer->reopen_next == ReopenNone ? count : lexer->reopen_next) - 1;
    if (index >= 0 && index < count &&
        lexer->inline_stack[static_cast<size_t>(index)].tag == node->tag()) {
        lexer->reopen_next = index;
    }
    free_node(node);
}

void retag_node(Lexer* lexer, Node* node, TagPtr tag) {
    // The report describes the replacement as an implied start tag.
    NodeRecord record; // (a record with a tag, as an element has)
    Node& replacement = record.node;
    replacement.set_kind(StartTagNode);
    replacement.implicit = true;
    replacement.set_element(tag, tag->name);
    report_warning(lexer, node, &replacement, ReplacingElement);

    retag_element(lexer, node, tag);
    node->set_kind(StartTagNode);
    node->implicit = true;
    node->set_element_name(tag->name);
}

void run_builder(Lexer* lexer, Node* node, BuilderKind builder, WhitespaceMode mode) {
    // Builders recurse once per open element. At the bound the element stays
    // in the tree, empty, and the tokens that would have been its content are
    // read by the enclosing builder instead, as browsers flatten over-deep
    // trees; the call stack therefore never grows past MaxParseDepth
    // builders, whatever the input.
    if (lexer->depth >= MaxParseDepth) {
        place_pending_token(lexer, node);
        return;
    }
    ++lexer->depth;
    builder_routine(builder)(lexer, node, mode);
    --lexer->depth;
}

// A space that ends the text just before a block is not content: the block
// starts a new line anyway. Dropping it keeps the line free of a trailing
// blank, and a second run over the output gives the same output (the line
// end written before the block reads back as exactly such a space).
void trim_space_before_block(Lexer* lexer, Node* node, WhitespaceMode mode) {
    TagPtr tag = node->tag();
    if (mode == KeepSpace || tag == nullptr || (tag->model & ModelInline) != 0 ||
        (tag->model & (ModelBlock | ModelList | ModelDefList | ModelTable)) == 0) {
        return;
    }
    if (node->parent != nullptr && node->parent->tag() == tag_pre) return;
    // A text that was only a space goes, and the text before it may end in
    // a space too (an empty inline element stood between them and went).
    for (;;) {
        Node* text = node->prev();
        if (text == nullptr || text->kind() != TextNode || text->end() <= text->start ||
            text->end() > lexer->text_length() || lexer->text[text->end() - 1] != ' ') {
            return;
        }
        text->set_end(text->end() - 1);
        if (text->end() != text->start) return;
        discard_node(text);
    }
}

void build_child(Lexer* lexer, Node* node, WhitespaceMode mode) {
    trim_space_before_block(lexer, node, mode);
    TagPtr tag = node->tag();
    const bool block = tag == nullptr || (tag->model & ModelInline) == 0;
    if (tag != nullptr && (tag->model & ModelEmpty) != 0) {
        lexer->after_space = false;
        // A space owed after an inline element does not cross a block
        // boundary: text after a rule starts afresh.
        if (block) lexer->space_pending = false;
        return;
    }
    if (block) lexer->space_pending = false;
    if (tag != nullptr && tag->builder != BuilderNone && node->kind() != StartEndTagNode) {
        run_builder(lexer, node, tag->builder, mode);
    }
    // Nor does it leave the block it was owed in: `<div><i>one </i></div>`
    // owes nothing to the text after the division.
    if (block) lexer->space_pending = false;
}

void trim_leading_space(Lexer* lexer, Node* element, Node* text) {
    if (text == nullptr || text->kind() != TextNode || text->start >= text->end() ||
        text->start >= lexer->text_length() || lexer->text[text->start] != ' ') {
        return;
    }
    auto is_plain_inline = [](const Node* n) {
        return has_model(n, ModelInline) && !has_model(n, ModelField);
    };
    // The space leaves every inline element that it starts: from
    // `x<b><i> y` it goes in front of the b, not away with the i's edge.
    Node* outer = element;
    while (is_plain_inline(outer) && outer->parent != nullptr &&
           outer->parent->first_child() == outer && is_plain_inline(outer->parent)) {
        outer = outer->parent;
    }
    bool moves_out =
        is_plain_inline(outer) && outer->parent != nullptr && outer->parent->first_child() != outer;
    // After a block or a br the space would only start a line: it goes.
    Node* prev = outer->prev();
    if (moves_out && prev != nullptr && prev->tag() != nullptr && prev->kind() != TextNode &&
        (!has_model(prev, ModelInline) || prev->tag() == tag_br)) {
        moves_out = false;
    }
    if (moves_out) {
        if (prev != nullptr && prev->kind() == TextNode) {
            bool ends_in_space = prev->end() > prev->start && prev->end() <= lexer->text_length() &&
                                 lexer->text[prev->end() - 1] == ' ';
            if (!ends_in_space) extend_text_by_space(lexer, prev);
        } else {
            insert_space_before(lexer, outer);
        }
    }
    ++text->start;
}

void trim_outer_spaces(Lexer* lexer, Node* element) {
    Node* first = element->first_child();
    if (first != nullptr && first->kind() == TextNode && element->tag() != tag_pre) {
        trim_leading_space(lexer, element, first);
        // A text that was only that space is gone, so that an element left
        // without content is pruned now and not on a second run.
        if (first->start >= first->end()) prune_if_empty(lexer, first);
    }
    // A text that was only the trailing space goes, and the text before it
    // may end in a space as well (texts on both sides of a dropped end tag).
    for (;;) {
        Node* last = element->last_child();
        if (last == nullptr || last->kind() != TextNode || last->end() <= last->start ||
            last->end() > lexer->text_length() || lexer->text[last->end() - 1] != ' ') {
            return;
        }
        // A cell keeps a space that is all it holds; one after other
        // content goes like anywhere else.
        if ((element->tag() == tag_td || element->tag() == tag_th) &&
            last->end() - last->start == 1 && last->prev() == nullptr) {
            return;
        }
        if (element->tag() == tag_td || element->tag() == tag_th) {
            last->set_end(last->end() - 1);
            if (last->start != last->end()) return;
            prune_if_empty(lexer, last);
            continue;
        }
        // Spaces that follow the last line feed of a pre make a line of
        // their own, which a browser shows: they stay, all of them.
        if (element->tag() == tag_pre) {
            uint32_t k = last->end();
            while (k > last->start && lexer->text[k - 1] == ' ')
                --k;
            if (k > last->start && lexer->text[k - 1] == '\n') return;
        }
        last->set_end(last->end() - 1);
        // At the end of a pre every trailing space goes (none is shown):
        // trimmed one at a time, a pre of spaces would lose one on each run.
        if (element->tag() == tag_pre) {
            while (last->end() > last->start && lexer->text[last->end() - 1] == ' ')
                last->set_end(last->end() - 1);
        }
        // A space that was all there was after a br stood at the start of
        // a line: nothing is owed for it.
        const bool after_break = last->start == last->end() &&
                                 (last->prev() == nullptr || last->prev()->tag() == tag_br);
        if (has_model(element, ModelInline) && !has_model(element, ModelField) && !after_break) {
            lexer->space_pending = true;
        }
        if (last->start != last->end()) return;
        prune_if_empty(lexer, last);
    }
}

void prune_if_empty(Lexer* lexer, Node* element) {
    if (element->kind() == TextNode) {
        discard_node(element);
        return;
    }
    if (element->first_child() != nullptr || element->tag() == nullptr) return;
    TagPtr tag = element->tag();
    bool stays = (tag == tag_a && element->attributes() != nullptr) ||
                 (tag == tag_p && !lexer->options.drop_empty_paras) ||
                 (tag->model & ModelRow) != 0 || tag == tag_applet || tag == tag_object ||
                 get_attribute(element, "id") != nullptr ||
                 get_attribute(element, "name") != nullptr;
    if (!stays) {
        report_warning(lexer, element, element, TrimmingEmpty);
        discard_node(element);
        return;
    }
    if (tag == tag_p) {
        // An empty paragraph keeps its vertical space as two line breaks.
        Node* br = infer_tag(lexer, "br");
        retag_node(lexer, element, tag_br);
        insert_node_after(element, br);
    }
}

void relocate_to_head(Lexer* lexer, Node* element, Node* node) {
    if (!is_start_tag(node)) {
        discard_token(lexer, element, node);
        return;
    }
    report_warning(lexer, element, node, NotAllowedIn);
    Node* head = nullptr;
    if (Node* html = enclosing_html(element)) {
        for (Node* child = html->first_child(); child != nullptr; child = child->next) {
            if (child->tag() == tag_head) {
                head = child;
                break;
            }
        }
    }
    if (head == nullptr) {
        // Only possible for a fragment without a document around it.
        release_token(lexer, node);
        return;
    }
    insert_node_at_end(head, node);
    build_child(lexer, node, TrimSpace);
    // A document has one title and one base: a title that comes late takes
    // the place of the empty one the head was given; any other second one
    // goes, once read.
    if (node->tag() != tag_title && node->tag() != tag_base) return;
    for (Node* other = head->first_child(); other != nullptr; other = other->next) {
        if (other == node || other->tag() != node->tag()) continue;
        if (other->tag() == tag_title && other->implicit && other->first_child() == nullptr) {
            discard_node(other);
        } else {
            discard_node(node);
        }
        return;
    }
}

bool check_tree_links(const Node* node) {
    if (node == nullptr) return true;
    // The starting node against its own siblings and parent. (In a child
    // list the first child's previous-sibling link names the last child.)
    if (node->next != nullptr && node->next->prev_link() != node) return false;
    if (const Node* parent = node->parent) {
        const Node* first = parent->first_child();
        if (first == nullptr) return false;
        bool found = false;
        const Node* c = first;
        for (;; c = c->next) {
            found = found || c == node;
            if (c->next == nullptr) break;
            // (Only the first child's link could name a node that leads
            // back to it: a cycle through it ends the walk here.)
            if (c->next == first || c->next->prev_link() != c) return false;
        }
        if (!found || first->prev_link() != c) return false;
    }
    // Then every node below it, in document order (the order the nodes
    // were made in, so that the walk reads memory mostly front to back). A
    // child must name its parent and its predecessor, so a node can sit at
    // one place only: a cycle or a shared node fails these tests and ends
    // the walk.
    if (node->first_child() == nullptr) return true;
    if (node->first_child()->parent != node) return false;
    const Node* c = node->first_child();
    for (;;) {
        if (c->first_child() != nullptr) {
            if (c->first_child()->parent != c) return false;
            c = c->first_child();
            continue;
        }
        // Climb to the next node, closing each finished child list: its
        // first child must name it as the last.
        while (c->next == nullptr) {
            const Node* parent = c->parent;
            if (parent->last_child() != c) return false;
            if (parent == node) return true;
            c = parent;
        }
        const Node* next = c->next;
        if (next->parent != c->parent || next->prev_link() != c ||
            next == next->parent->first_child())
            return false;
        c = next;
    }
}

bool is_user_tag_node(const Node* node) {
    return node == nullptr || node->tag() == nullptr ||
           (node->tag()->model & ModelUserDefined) != 0;
}

} // namespace varnel
