// The content builders: block elements (and cells, objects, user tags),
// inline elements (paragraphs and headings included), lists, definition lists
// and preformatted text. Each decides which tokens its element takes, which
// end it, what is implied, moved or dropped, and with which warning.
#include "base/config.h"
#include "model/reports.h"
#include "input/lexer.h"
#include "model/attrs.h"
#include "model/node.h"
#include "tree/build_common.h"
#include "tree/builders.h"
#include "tree/inline_stack.h"

namespace varnel {

namespace {

// Ends an element: trims the spaces at its edges and drops it when empty.
void end_element(Lexer* lexer, Node* element) {
    trim_outer_spaces(lexer, element);
    prune_if_empty(lexer, element);
}

// True when the token is an end tag of some element above `element`.
bool ends_ancestor(const Node* element, const Node* token) {
    return token->kind() == EndTagNode && has_ancestor_tag(element, token->tag());
}

// The inline-stack scope an object element opens: inline elements open
// outside the object are not re-opened inside it.
struct ObjectScope {
    bool active = false;
    uint32_t saved_base = 0;

    void enter(Lexer* lexer, const Node* element) {
        active = has_model(element, ModelObject);
        if (!active) return;
        saved_base = lexer->inline_base;
        lexer->inline_base = lexer->inline_count();
    }
    // Pops what the object left on the stack and restores the outer base.
    void leave(Lexer* lexer) {
        if (!active) return;
        while (lexer->inline_count() > lexer->inline_base)
            forget_inline(lexer, nullptr);
        lexer->inline_base = saved_base;
        active = false;
    }
};

// True when more than `limit` nodes stand above `node` (walks at most
// `limit` + 1 parents).
bool is_deeper_than(const Node* node, uint32_t limit) {
    uint32_t depth = 0;
    for (const Node* p = node->parent; p != nullptr; p = p->parent) {
        if (++depth > limit) return true;
    }
    return false;
}

// Moves a font element inside its only child, an anchor:
// <font><a>x</a></font> becomes <a><font>x</font></a>.
void swap_font_and_anchor(Node* font) {
    Node* a = font->first_child();
    remove_node(a);
    take_children(font, a);
    insert_node_before(font, a);
    remove_node(font);
    insert_node_at_end(a, font);
}

} // namespace

void build_block(Lexer* lexer, Node* element, WhitespaceMode) {
    TagPtr etag = element->tag();
    if (etag == nullptr || (etag->model & ModelEmpty) != 0) return;

    ObjectScope scope;
    scope.enter(lexer, element);
    if ((etag->model & ModelMixed) == 0) schedule_reopen(lexer, nullptr);

    const bool optional_end = (etag->model & ModelOptionalEnd) != 0;
    const bool is_cell = etag == tag_td || etag == tag_th;
    WhitespaceMode token_mode = TrimSpace;
    bool check_stack = true;
    Node* carried = nullptr; // an implied element handled as the next token

    for (;;) {
        Node* node = carried != nullptr ? carried : get_token(lexer, token_mode);
        carried = nullptr;
        // Rule 1: end of input.
        if (node == nullptr) {
            if (!optional_end) report_warning(lexer, element, nullptr, MissingEndTag);
            scope.leave(lexer);
            end_element(lexer, element);
            return;
        }
        TagPtr tag = node->tag();
        // Rule 2: own end tag (or the end tag of the element's former tag).
        if (node->kind() == EndTagNode && tag != nullptr &&
            (tag == etag || tag == former_tag(lexer, element))) {
            release_token(lexer, node);
            scope.leave(lexer);
            element->closed = true;
            end_element(lexer, element);
            return;
        }
        // Rule 3: structural tags of the document.
        if (tag != nullptr && (tag == tag_html || tag == tag_head || tag == tag_body)) {
            if (is_start_tag(node)) {
                discard_token(lexer, element, node);
            } else {
                release_token(lexer, node);
            }
            continue;
        }
        if (node->kind() == EndTagNode) {
            // Rule 4: end tag of an unknown element.
            if (tag == nullptr) {
                discard_token(lexer, element, node);
                continue;
            }
            // Rule 5: </br> is a line break.
            if (tag == tag_br) {
                node->set_kind(StartTagNode);
            } else if (tag == tag_p) {
                // Rule 6: a stray </p> gives two line breaks (and, like any
                // br, takes the space that ends the text before it).
                retag_node(lexer, node, tag_br);
                trim_outer_spaces(lexer, element);
                insert_node_at_end(element, node);
                carried = infer_tag(lexer, "br");
                continue;
            } else if (has_ancestor_tag(element, tag)) {
                // Rule 7: an ancestor ends, and this element with it.
                if (!optional_end) report_warning(lexer, element, node, MissingEndTagBefore);
                push_back_token(lexer, node);
                scope.leave(lexer);
                end_element(lexer, element);
                return;
            } else if (ends_moved_content(lexer, node)) {
                // Rule 8: content moved before a table ends at the table's
                // end tags. The object scope is left on this exit too.
                push_back_token(lexer, node);
                scope.leave(lexer);
                end_element(lexer, element);
                return;
            }
        }
        // Rule 9: pass-through kinds.
        if (is_pass_through(node)) {
            insert_node_at_end(element, node);
            continue;
        }
        // Rule 10: text.
        if (node->kind() == TextNode) {
            uint32_t length = node->end() - node->start;
            bool wrap_in_p = lexer->options.enclose_block_text &&
                             (length > 1 || (length == 1 && !is_single_space(lexer, node)));
            if (wrap_in_p) {
                push_back_token(lexer, node);
                Node* p = infer_tag(lexer, "p");
                insert_node_at_end(element, p);
                // build_child clears space_pending for the paragraph.
                parse_inferred(lexer, element, p, node, CollapseSpace);
                continue;
            }
            if (check_stack && (etag->model & ModelMixed) == 0) {
                check_stack = false;
                if (schedule_reopen(lexer, node) > 0) continue;
            }
            insert_node_at_end(element, node);
            check_stack = false;
            token_mode = CollapseSpace;
            continue;
        }
        // Rule 11: param belongs to plugins only.
        if (tag == tag_param && tag != nullptr) {
            if (is_start_tag(node) && (etag->model & ModelPlugin) != 0) {
                insert_node_at_end(element, node);
            } else {
                discard_token(lexer, element, node);
            }
            continue;
        }
        // Rule 12: area belongs to map only.
        if (tag == tag_area && tag != nullptr) {
            if (is_start_tag(node) && etag == tag_map) {
                insert_node_at_end(element, node);
            } else {
                discard_token(lexer, element, node);
            }
            continue;
        }
        // Rule 13: unknown elements, doctypes and other untagged tokens.
        if (tag == nullptr) {
            discard_token(lexer, element, node);
            continue;
        }

        // A form inside a form: browsers ignore the inner start tag, and the
        // content goes on in the open form (no version allows the nesting).
        if (tag == tag_form && is_start_tag(node) &&
            (element->tag() == tag_form || has_ancestor_tag(element, tag_form))) {
            report_warning(lexer, node, node, ShouldntBeNested);
            release_token(lexer, node);
            continue;
        }

        bool accept = false;
        Node* waiting = nullptr; // the token pushed back for an implied element
        if ((tag->model & ModelInline) != 0) {
            // Rule 14.
            accept = true;
        } else if (!is_start_tag(node)) {
            // Rule 15.
            discard_token(lexer, element, node);
            continue;
        } else if (is_cell) {
            // Rule 16: inside a cell.
            if (tag->model & ModelHead) {
                relocate_to_head(lexer, element, node);
                continue;
            }
            if (tag->model & ModelList) {
                push_back_token(lexer, node);
                waiting = node;
                node = infer_tag(lexer, "ul");
                add_noindent_class(lexer, node);
                lexer->blocks_barred = true;
            } else if (tag->model & ModelDefList) {
                push_back_token(lexer, node);
                waiting = node;
                node = infer_tag(lexer, "dl");
                lexer->blocks_barred = true;
            }
            if (!has_model(node, ModelBlock)) {
                push_back_token(lexer, node);
                scope.leave(lexer);
                end_element(lexer, element);
                return;
            }
            accept = true;
        } else if ((tag->model & ModelBlock) != 0) {
            // Rule 17.
            if (lexer->blocks_barred) {
                if (!optional_end) report_warning(lexer, element, node, MissingEndTagBefore);
                push_back_token(lexer, node);
                // The object scope is left on this exit too (stack popped,
                // base restored), as on every other exit.
                scope.leave(lexer);
                end_element(lexer, element);
                return;
            }
            accept = true;
        } else {
            // Rule 18: a start tag that is neither inline nor block.
            if (!optional_end && !element->implicit) {
                report_warning(lexer, element, node, MissingEndTagBefore);
            }
            if (tag->model & ModelHead) {
                relocate_to_head(lexer, element, node);
                continue;
            }
            push_back_token(lexer, node);
            waiting = node;
            const Node* parent = element->parent;
            if (tag->model & ModelList) {
                if (parent != nullptr && parent->tag() != nullptr &&
                    parent->tag()->builder == BuilderList) {
                    scope.leave(lexer);
                    end_element(lexer, element);
                    return;
                }
                node = infer_tag(lexer, "ul");
                add_noindent_class(lexer, node);
            } else if (tag->model & ModelDefList) {
                if (parent != nullptr && parent->tag() == tag_dl) {
                    scope.leave(lexer);
                    end_element(lexer, element);
                    return;
                }
                node = infer_tag(lexer, "dl");
            } else if (tag->model & (ModelTable | ModelRow)) {
                node = infer_tag(lexer, "table");
            } else {
                scope.leave(lexer);
                end_element(lexer, element);
                return;
            }
            accept = true;
        }
        if (!accept) continue;

        // Accepting the token.
        tag = node->tag();
        if (node->kind() == EndTagNode) {
            forget_inline(lexer, node);
            discard_token(lexer, element, node);
            continue;
        }
        if (!is_start_tag(node)) {
            discard_token(lexer, element, node);
            continue;
        }
        if ((tag->model & ModelInline) != 0) {
            if (check_stack && !node->implicit) {
                check_stack = false;
                if (schedule_reopen(lexer, node) > 0) continue;
            }
            check_stack = check_stack && node->implicit;
            token_mode = CollapseSpace;
        } else {
            check_stack = true;
            token_mode = TrimSpace;
        }
        if (tag == tag_br) trim_outer_spaces(lexer, element);
        insert_node_at_end(element, node);
        if (node->implicit) report_warning(lexer, element, node, InsertingImplicit);
        if (waiting != nullptr) {
            parse_inferred(lexer, element, node, waiting, TrimSpace);
        } else {
            build_child(lexer, node, TrimSpace);
        }
    }
}

void build_inline(Lexer* lexer, Node* element, WhitespaceMode mode) {
    if (element->tag() == nullptr || (element->tag()->model & ModelEmpty) != 0) return;
    const bool preformatted = mode == KeepSpace;
    const WhitespaceMode read_mode = preformatted ? KeepSpace : CollapseSpace;

    // An anchor without attributes does not stay; its content goes to the parent.
    if (element->tag() == tag_a && element->attributes() == nullptr) {
        report_warning(lexer, element->parent, element, DiscardingUnexpected);
        discard_node(element);
        return;
    }
    // (An element that may stand as a block but sits inside an inline
    // element, such as ins in font, is inside what is open: re-opened there,
    // the font would be doubled, and again on every run.)
    const bool inside_inline = has_model(element, ModelMixed) && element->parent != nullptr &&
                               has_model(element->parent, ModelInline);
    if (((element->tag()->model & ModelBlock) != 0 || element->tag() == tag_dt) && !inside_inline) {
        schedule_reopen(lexer, nullptr);
    } else if ((element->tag()->model & ModelInline) != 0 && element->tag() != tag_a &&
               element->tag() != tag_span) {
        remember_inline(lexer, element);
    }
    if (element->tag() == tag_nobr) lexer->usage_flags |= UsingNobr;
    if (element->tag() == tag_font) lexer->usage_flags |= UsingFont;

    // The element parsed; headings and dt split by hr, center or div
    // continue in a clone, which then becomes the element.
    Node* e = element;
    // A font whose only content is an anchor goes inside the anchor,
    // however the font ends (read back, its end tag would move it there).
    auto swap_lone_anchor = [&](Node* node) {
        if (node->tag() == tag_font && node->first_child() != nullptr &&
            node->first_child() == node->last_child() && node->first_child()->tag() == tag_a &&
            is_start_tag(node->first_child())) {
            swap_font_and_anchor(node);
        }
    };
    auto finish = [&](Node* node) {
        if (!preformatted) trim_outer_spaces(lexer, node);
        swap_lone_anchor(node);
        prune_if_empty(lexer, node);
    };
    Node* carried = nullptr; // an implied element handled as the next token

    for (;;) {
        Node* node = carried != nullptr ? carried : get_token(lexer, read_mode);
        carried = nullptr;
        TagPtr etag = e->tag();
        // Rule 1: end of input.
        if (node == nullptr) {
            if ((etag->model & ModelOptionalEnd) == 0) {
                report_warning(lexer, e, nullptr, MissingEndTag);
            }
            // Trimmed as at its end tag: left at the end of input, the
            // edges would be trimmed only on a second run, from the end tag
            // the first one wrote.
            finish(e);
            return;
        }
        TagPtr tag = node->tag();
        bool nested_emphasis = false;
        // Rule 2: a start tag of the element's own inline tag.
        // (Also when the element was re-opened: written out it is read back
        // as an element of the source, and the tag would then be taken for
        // its end tag.)
        if (is_start_tag(node) && tag == etag && inline_is_open(lexer, node) && !node->implicit &&
            (etag->model & ModelInline) != 0 && etag != tag_a && etag != tag_font &&
            etag != tag_big && etag != tag_small) {
            if (e->first_child() != nullptr && node->attributes() == nullptr) {
                report_warning(lexer, e, node, StartTagForEndTag);
                node->set_kind(EndTagNode);
                push_back_token(lexer, node);
                continue;
            }
            report_warning(lexer, e, node, NestedEmphasisFound);
            nested_emphasis = true;
        }
        if (!nested_emphasis) {
            // Rule 3: own end tag.
            if (node->kind() == EndTagNode && tag == etag && tag != nullptr) {
                if ((etag->model & ModelInline) != 0 && etag != tag_a) forget_inline(lexer, node);
                release_token(lexer, node);
                if (!preformatted) trim_outer_spaces(lexer, e);
                swap_lone_anchor(e);
                e->closed = true;
                // Spaces at the edges of an element in preformatted text
                // are shown; they stay where they are.
                if (!preformatted) trim_outer_spaces(lexer, e);
                prune_if_empty(lexer, e);
                return;
            }
            // Rule 4: html.
            if (tag == tag_html && tag != nullptr) {
                if (is_start_tag(node)) {
                    discard_token(lexer, e, node);
                    continue;
                }
                push_back_token(lexer, node);
                finish(e);
                return;
            }
            // Rule 5: pass-through kinds.
            if (is_pass_through(node)) {
                insert_node_at_end(e, node);
                continue;
            }
            // Rule 6: text.
            if (node->kind() == TextNode) {
                if (node->start >= node->end()) {
                    release_token(lexer, node);
                } else {
                    insert_node_at_end(e, node);
                }
                continue;
            }
            // Rule 7: <p> in preformatted content or in a dt is a line break.
            if (node->kind() == StartTagNode && tag == tag_p &&
                (preformatted || etag == tag_dt || has_ancestor_tag(e, tag_dt))) {
                node->set_element(tag_br, "br");
                trim_outer_spaces(lexer, e);
                insert_node_at_end(e, node);
                continue;
            }
            // Rule 8: unknown elements and param.
            if (tag == nullptr || tag == tag_param) {
                discard_token(lexer, e, node);
                continue;
            }
            // Rule 9: </br> is a line break.
            if (node->kind() == EndTagNode && tag == tag_br) node->set_kind(StartTagNode);
            // Rule 10: other end tags.
            if (node->kind() == EndTagNode) {
                if (tag == tag_p && !has_ancestor_tag(e, tag_p)) {
                    retag_node(lexer, node, tag_br);
                    trim_outer_spaces(lexer, e);
                    insert_node_at_end(e, node);
                    carried = infer_tag(lexer, "br");
                    continue;
                }
                // (The end tag of an element that may stand as a block, such
                // as ins, whose element is open above this one, ends it
                // below, like any ancestor's end tag: taken for this
                // element's, it was lost, and the content after it went into
                // the ins.)
                const bool mixed_ancestor =
                    (tag->model & ModelMixed) != 0 && has_ancestor_tag(e, tag);
                if ((tag->model & ModelInline) != 0 && (tag->model & ModelObject) == 0 &&
                    tag != tag_a && (etag->model & ModelInline) != 0 && !mixed_ancestor) {
                    // Any inline end tag ends the current inline element.
                    forget_inline(lexer, e);
                    if (etag == tag_a) {
                        discard_token(lexer, e, node);
                        continue;
                    }
                    report_warning(lexer, e, node, ReplacingUnexpected);
                    release_token(lexer, node);
                    finish(e);
                    return;
                }
                if (ends_moved_content(lexer, node)) {
                    push_back_token(lexer, node);
                    trim_outer_spaces(lexer, e);
                    prune_if_empty(lexer, e);
                    return;
                }
            }
        }

        // Rule 11: headings, anchors and the rest.
        if ((tag->model & ModelHeading) != 0 && (etag->model & ModelHeading) != 0) {
            if (tag == etag) {
                report_warning(lexer, e, node, ReplacingUnexpected);
                release_token(lexer, node);
            } else {
                report_warning(lexer, e, node, MissingEndTagBefore);
                push_back_token(lexer, node);
            }
            finish(e);
            return;
        }
        if ((etag->model & ModelHeading) != 0 && (tag == tag_center || tag == tag_div)) {
            if (!is_start_tag(node)) {
                discard_token(lexer, e, node);
                continue;
            }
            if (is_deeper_than(e, MaxParseDepth)) {
                // Each such block moves the heading one level further down
                // without any builder call, so the tree could deepen without
                // bound. Past the depth bound the block ends the heading
                // instead, as other block start tags do.
                report_warning(lexer, e, node, MissingEndTagBefore);
                push_back_token(lexer, node);
                finish(e);
                return;
            }
            report_warning(lexer, e, node, NotAllowedIn);
            // The block holds the heading, so it must print with content.
            node->set_kind(StartTagNode);
            if (e->first_child() == nullptr) {
                insert_node_before(e, node);
                remove_node(e);
                insert_node_at_end(node, e);
            } else {
                insert_node_after(e, node);
                if (!preformatted) trim_outer_spaces(lexer, e);
                Node* clone = clone_node(lexer, e);
                insert_node_at_end(node, clone);
                e = clone;
            }
            continue;
        }
        if (tag == tag_hr && ((etag->model & ModelHeading) != 0 || etag == tag_dt)) {
            if (!is_start_tag(node)) {
                discard_token(lexer, e, node);
                continue;
            }
            report_warning(lexer, e, node, NotAllowedIn);
            Node* holder = node;
            if (etag == tag_dt) {
                holder = infer_tag(lexer, "dd");
                insert_node_at_end(holder, node);
            }
            if (e->first_child() == nullptr) {
                insert_node_before(e, holder);
            } else {
                insert_node_after(e, holder);
                if (!preformatted) trim_outer_spaces(lexer, e);
                Node* clone = clone_node(lexer, e);
                insert_node_after(holder, clone);
                e = clone;
            }
            continue;
        }
        if (node->kind() == EndTagNode && has_ancestor_tag(e, tag)) {
            if ((etag->model & ModelOptionalEnd) == 0 && !e->implicit) {
                report_warning(lexer, e, node, MissingEndTagBefore);
            }
            if (etag == tag_a) forget_inline(lexer, e);
            push_back_token(lexer, node);
            finish(e);
            return;
        }
        // An anchor cannot hold another anchor: a new one ends the open one
        // (and the inline elements inside it), as browsers read it.
        if (tag == tag_a && is_start_tag(node) && (etag == tag_a || has_ancestor_tag(e, tag_a))) {
            if (etag == tag_a) report_warning(lexer, e, node, MissingEndTagBefore);
            push_back_token(lexer, node);
            finish(e);
            return;
        }
        if ((tag->model & ModelInline) != 0) {
            if (!is_start_tag(node)) {
                discard_token(lexer, e, node);
                continue;
            }
            if (node->implicit) report_warning(lexer, e, node, InsertingImplicit);
            if (tag == tag_br) trim_outer_spaces(lexer, e);
            insert_node_at_end(e, node);
            build_child(lexer, node, read_mode);
            continue;
        }
        if (node->kind() != StartTagNode) {
            discard_token(lexer, e, node);
            continue;
        }
        // A block or other non-inline start tag ends the inline element.
        if ((etag->model & ModelOptionalEnd) == 0) {
            report_warning(lexer, e, node, MissingEndTagBefore);
        }
        if ((tag->model & ModelHead) != 0 && (tag->model & ModelBlock) == 0) {
            relocate_to_head(lexer, e, node);
            continue;
        }
        if (etag == tag_a) {
            if ((tag->model & ModelHeading) == 0) {
                forget_inline(lexer, e);
                push_back_token(lexer, node);
                finish(e);
            } else if (e->first_child() != nullptr || e->attributes() != nullptr) {
                // An anchor with attributes stays even when empty: its name
                // or id may be the target of links.
                push_back_token(lexer, node);
                finish(e);
            } else {
                // An empty anchor in front of a heading is dropped.
                discard_node(e);
                push_back_token(lexer, node);
            }
            return;
        }
        push_back_token(lexer, node);
        finish(e);
        return;
    }
}

void build_list(Lexer* lexer, Node* list, WhitespaceMode) {
    if (list->tag() == nullptr || (list->tag()->model & ModelEmpty) != 0) return;
    lexer->reopen_next = ReopenNone;
    // Obsolete lists (dir, menu) leave as ul.
    auto modernise = [&]() {
        if (has_model(list, ModelObsolete)) retag_node(lexer, list, tag_ul);
    };
    for (;;) {
        Node* node = get_token(lexer, TrimSpace);
        if (node == nullptr) {
            modernise();
            report_warning(lexer, list, nullptr, MissingEndTag);
            prune_if_empty(lexer, list);
            return;
        }
        TagPtr tag = node->tag();
        if (node->kind() == EndTagNode && tag != nullptr && tag == list->tag()) {
            release_token(lexer, node);
            modernise();
            list->closed = true;
            prune_if_empty(lexer, list);
            return;
        }
        if (is_pass_through(node)) {
            insert_node_at_end(list, node);
            continue;
        }
        if (tag == nullptr && node->kind() != TextNode) {
            discard_token(lexer, list, node);
            continue;
        }
        if (node->kind() == EndTagNode) {
            if (tag == tag_form) {
                lexer->bad_form = true;
                report_warning(lexer, list, node, DiscardingUnexpected);
                release_token(lexer, node);
            } else if ((tag->model & ModelInline) != 0) {
                report_warning(lexer, list, node, DiscardingUnexpected);
                forget_inline(lexer, node);
                release_token(lexer, node);
            } else if (has_ancestor_tag(list, tag)) {
                report_warning(lexer, list, node, MissingEndTagBefore);
                push_back_token(lexer, node);
                modernise();
                prune_if_empty(lexer, list);
                return;
            } else {
                discard_token(lexer, list, node);
            }
            continue;
        }
        if (tag == tag_li && is_start_tag(node)) {
            insert_node_at_end(list, node);
            build_child(lexer, node, TrimSpace);
            continue;
        }
        if (is_reopened_token(lexer, node)) {
            // A re-opened inline element offered to the list itself: the
            // next item re-opens the whole stack at its start anyway, so this
            // one and the rest of the schedule are dropped here.
            release_token(lexer, node);
            lexer->reopen_next = ReopenNone;
            continue;
        }
        push_back_token(lexer, node);
        if (tag != nullptr && (tag->model & ModelBlock) != 0 && lexer->blocks_barred) {
            report_warning(lexer, list, node, MissingEndTagBefore);
            prune_if_empty(lexer, list);
            return;
        }
        Node* li = infer_tag(lexer, "li");
        add_attribute(li, "style", "list-style: none");
        report_warning(lexer, list, li, MissingStartTag);
        insert_node_at_end(list, li);
        // An item that ends on the token at once (frame, frameset, option,
        // optgroup) leaves it to the list, which drops it, together with what
        // the item meant to re-open.
        if (parse_inferred(lexer, list, li, node, TrimSpace)) lexer->reopen_next = ReopenNone;
    }
}

void build_deflist(Lexer* lexer, Node* dl, WhitespaceMode mode) {
    if (dl->tag() == nullptr || (dl->tag()->model & ModelEmpty) != 0) return;
    lexer->reopen_next = ReopenNone;
    for (;;) {
        Node* node = get_token(lexer, TrimSpace);
        if (node == nullptr) {
            report_warning(lexer, dl, nullptr, MissingEndTag);
            prune_if_empty(lexer, dl);
            return;
        }
        TagPtr tag = node->tag();
        if (node->kind() == EndTagNode && tag != nullptr && tag == dl->tag()) {
            release_token(lexer, node);
            dl->closed = true;
            prune_if_empty(lexer, dl);
            return;
        }
        if (is_pass_through(node)) {
            insert_node_at_end(dl, node);
            continue;
        }
        if (node->kind() == TextNode) {
            push_back_token(lexer, node);
            Node* dt = infer_tag(lexer, "dt");
            report_warning(lexer, dl, dt, MissingStartTag);
            insert_node_at_end(dl, dt);
            parse_inferred(lexer, dl, dt, node, TrimSpace);
            continue;
        }
        if (tag == nullptr) {
            discard_token(lexer, dl, node);
            continue;
        }
        if (node->kind() == EndTagNode && tag == tag_form) {
            lexer->bad_form = true;
            discard_token(lexer, dl, node);
            continue;
        }
        if (ends_ancestor(dl, node)) {
            report_warning(lexer, dl, node, MissingEndTagBefore);
            push_back_token(lexer, node);
            prune_if_empty(lexer, dl);
            return;
        }
        if (tag == tag_center) {
            if (!is_start_tag(node)) {
                // A </center> whose element is not open: nothing to place.
                discard_token(lexer, dl, node);
                continue;
            }
            // The center goes beside the list; a new implied list follows it.
            bool empty = dl->first_child() == nullptr;
            if (empty) {
                insert_node_before(dl, node);
            } else {
                insert_node_after(dl, node);
            }
            // The new list is linked before the center is parsed, so that a
            // center pruned by its own builder is never referred to again.
            Node* next_dl = infer_tag(lexer, "dl");
            insert_node_after(node, next_dl);
            if (empty) discard_node(dl);
            build_child(lexer, node, mode);
            dl = next_dl;
            continue;
        }
        if (tag == tag_dt || tag == tag_dd) {
            if (!is_start_tag(node)) {
                discard_token(lexer, dl, node);
            } else {
                insert_node_at_end(dl, node);
                build_child(lexer, node, TrimSpace);
            }
            continue;
        }
        if (is_reopened_token(lexer, node)) {
            // As in lists: the next dt or dd re-opens the stack itself.
            release_token(lexer, node);
            lexer->reopen_next = ReopenNone;
            continue;
        }
        push_back_token(lexer, node);
        if ((tag->model & (ModelBlock | ModelInline)) == 0) {
            report_warning(lexer, dl, node, NotAllowedIn);
            prune_if_empty(lexer, dl);
            return;
        }
        if ((tag->model & ModelBlock) != 0 && lexer->blocks_barred) {
            prune_if_empty(lexer, dl);
            return;
        }
        Node* dd = infer_tag(lexer, "dd");
        report_warning(lexer, dl, dd, MissingStartTag);
        insert_node_at_end(dl, dd);
        parse_inferred(lexer, dl, dd, node, TrimSpace);
    }
}

void build_pre(Lexer* lexer, Node* pre, WhitespaceMode) {
    if (pre->tag() == nullptr || (pre->tag()->model & ModelEmpty) != 0) return;
    if (has_model(pre, ModelObsolete)) retag_node(lexer, pre, tag_pre);
    schedule_reopen(lexer, nullptr);
    for (;;) {
        Node* node = get_token(lexer, KeepSpace);
        if (node == nullptr) {
            report_warning(lexer, pre, nullptr, MissingEndTag);
            // Trimmed as at its end tag, which a second run reads.
            trim_outer_spaces(lexer, pre);
            prune_if_empty(lexer, pre);
            return;
        }
        TagPtr tag = node->tag();
        // Own end tag; after <xmp> became <pre>, </xmp> still ends it.
        if (node->kind() == EndTagNode && tag != nullptr &&
            (tag == pre->tag() || tag == former_tag(lexer, pre))) {
            release_token(lexer, node);
            trim_outer_spaces(lexer, pre);
            pre->closed = true;
            prune_if_empty(lexer, pre);
            return;
        }
        if (tag == tag_html && tag != nullptr) {
            if (is_start_tag(node)) {
                discard_token(lexer, pre, node);
            } else {
                release_token(lexer, node);
            }
            continue;
        }
        if (is_pass_through(node)) {
            insert_node_at_end(pre, node);
            continue;
        }
        if (node->kind() == TextNode) {
            // The lexer drops the line feed right after <pre>; a pre that
            // continues one split by a block drops the line feed that
            // follows the block. In XHTML (the namespace given) it is
            // content, as XML reads it.
            if (pre->implicit && !lexer->is_xhtml && pre->first_child() == nullptr &&
                node->start < node->end() && lexer->text[node->start] == '\n') {
                ++node->start;
            }
            if (node->start >= node->end()) {
                release_token(lexer, node);
            } else {
                insert_node_at_end(pre, node);
            }
            continue;
        }
        if (tag == nullptr || tag == tag_param) {
            discard_token(lexer, pre, node);
            continue;
        }
        if (tag == tag_p) {
            if (is_start_tag(node)) {
                report_warning(lexer, pre, node, UsingBrInPlaceOf);
                trim_outer_spaces(lexer, pre);
                retag_node(lexer, node, tag_br);
                insert_node_at_end(pre, node);
            } else {
                discard_token(lexer, pre, node);
            }
            continue;
        }
        if ((tag->model & ModelHead) != 0 && (tag->model & ModelBlock) == 0) {
            relocate_to_head(lexer, pre, node);
            continue;
        }
        if (node->kind() == EndTagNode && tag == tag_form) {
            lexer->bad_form = true;
            discard_token(lexer, pre, node);
            continue;
        }
        if (ends_ancestor(pre, node)) {
            report_warning(lexer, pre, node, MissingEndTagBefore);
            push_back_token(lexer, node);
            trim_outer_spaces(lexer, pre);
            prune_if_empty(lexer, pre);
            return;
        }
        if ((tag->model & ModelInline) != 0) {
            if (!is_start_tag(node)) {
                discard_token(lexer, pre, node);
                continue;
            }
            if (tag == tag_br) trim_outer_spaces(lexer, pre);
            insert_node_at_end(pre, node);
            build_child(lexer, node, KeepSpace);
            continue;
        }
        // Document-structure tags (head, body, frameset, frame) never split a
        // pre: placed after it they would put a frameset, and with it a second
        // body, inside the body.
        const bool structural =
            (tag->model & (ModelHtml | ModelFrames)) != 0 && (tag->model & ModelBlock) == 0;
        if (node->kind() != StartTagNode || structural) {
            discard_token(lexer, pre, node);
            continue;
        }
        // A block inside pre splits it: pre, the block, then a new pre.
        report_warning(lexer, pre, node, MissingEndTagBefore);
        lexer->blocks_barred = true;
        Node* block = node;
        if (tag->model & ModelList) {
            push_back_token(lexer, node);
            block = infer_tag(lexer, "ul");
            add_noindent_class(lexer, block);
        } else if (tag->model & ModelDefList) {
            push_back_token(lexer, node);
            block = infer_tag(lexer, "dl");
        } else if (tag->model & (ModelTable | ModelRow)) {
            // A cell splits the pre like any table part: it gets its table
            // now, not on a second run.
            push_back_token(lexer, node);
            block = infer_tag(lexer, "table");
        }
        insert_node_after(pre, block);
        Node* next_pre = infer_tag(lexer, "pre");
        insert_node_after(block, next_pre);
        if (block != node) {
            parse_inferred(lexer, pre, block, node, TrimSpace);
        } else {
            build_child(lexer, block, TrimSpace);
        }
        lexer->blocks_barred = false;
        pre = next_pre;
    }
}

} // namespace varnel
