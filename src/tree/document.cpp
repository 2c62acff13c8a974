// The document skeleton builders: root, html, head (with title and the raw
// content of script and style), body, frameset and noframes. They give every
// HTML document the shape root -> html -> head, then body or frameset,
// inferring what the source left out and moving what came too late.
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

// Moves a doctype met inside the document in front of the html element.
void move_doctype_before_html(Lexer* lexer, Node* element, Node* doctype) {
    report_warning(lexer, element, doctype, DoctypeAfterElements);
    Node* html = enclosing_html(element);
    if (html == nullptr) {
        release_token(lexer, doctype);
        return;
    }
    insert_node_before(html, doctype);
}

// The last noframes child of a frameset, or null.
Node* last_noframes_child(Node* frameset) {
    for (Node* child = frameset->last_child(); child != nullptr; child = child->prev()) {
        if (child->tag() == tag_noframes) return child;
    }
    return nullptr;
}

} // namespace

Node* build_document(Lexer* lexer) {
    Node* root = new_node();
    root->set_kind(RootNode);
    bool seen_doctype = false;
    for (;;) {
        Node* node = get_token(lexer, TrimSpace);
        if (node == nullptr) return root;
        if (node->kind() == DoctypeNode) {
            if (seen_doctype) {
                discard_token(lexer, nullptr, node);
            } else {
                seen_doctype = true;
                insert_node_at_end(root, node);
            }
            continue;
        }
        if (is_pass_through(node)) {
            insert_node_at_end(root, node);
            continue;
        }
        if (node->kind() == EndTagNode) {
            discard_token(lexer, nullptr, node);
            continue;
        }
        Node* html = node;
        if (!(node->kind() == StartTagNode && node->tag() == tag_html)) {
            push_back_token(lexer, node);
            html = infer_tag(lexer, "html");
        }
        insert_node_at_end(root, html);
        build_child(lexer, html, TrimSpace);
        return root;
    }
}

void build_html(Lexer* lexer, Node* html, WhitespaceMode mode) {
    lexer->options.input_xml = false;
    lexer->body_state = 0;

    // Head phase: up to the head element, explicit or implied.
    for (;;) {
        Node* node = get_token(lexer, TrimSpace);
        Node* head = nullptr;
        if (node != nullptr && node->tag() == tag_head) {
            if (node->kind() == StartTagNode) {
                head = node;
            } else {
                // </head> or <head/> before any head: an element that printed
                // as an end tag or as an empty tag would lose the head's
                // content, so an ordinary implied head takes its place.
                release_token(lexer, node);
                head = infer_tag(lexer, "head");
            }
        } else if (node != nullptr && node->kind() == EndTagNode && node->tag() == tag_html) {
            discard_token(lexer, html, node);
            continue;
        } else if (node != nullptr && is_pass_through(node)) {
            insert_node_at_end(html, node);
            continue;
        } else {
            if (node != nullptr) push_back_token(lexer, node);
            head = infer_tag(lexer, "head");
        }
        insert_node_at_end(html, head);
        run_builder(lexer, head, BuilderHead, TrimSpace);
        break;
    }

    // Body phase.
    Node* frameset = nullptr;
    Node* noframes = nullptr;
    for (;;) {
        Node* node = get_token(lexer, TrimSpace);
        if (node == nullptr) return;
        TagPtr tag = node->tag();
        if (tag == tag_html) {
            if (!is_start_tag(node) && frameset == nullptr) {
                report_warning(lexer, html, node, DiscardingUnexpected);
            }
            release_token(lexer, node);
            continue;
        }
        if (is_pass_through(node)) {
            insert_node_at_end(html, node);
            continue;
        }
        if (tag == tag_body) {
            if (node->kind() != StartTagNode) {
                discard_token(lexer, html, node);
                continue;
            }
            if (frameset == nullptr) {
                insert_node_at_end(html, node);
                build_child(lexer, node, mode);
                return;
            }
            push_back_token(lexer, node);
            if (noframes == nullptr) {
                noframes = infer_tag(lexer, "noframes");
                insert_node_at_end(frameset, noframes);
                report_warning(lexer, html, noframes, InsertingImplicit);
            }
            parse_inferred(lexer, html, noframes, node, mode);
            continue;
        }
        if (tag == tag_frameset) {
            if (node->kind() != StartTagNode) {
                discard_token(lexer, html, node);
                continue;
            }
            if (frameset != nullptr) report_error(lexer, html, node, RepeatedFrameset);
            insert_node_at_end(html, node);
            build_child(lexer, node, mode);
            if (frameset == nullptr) frameset = node;
            if (Node* last = last_noframes_child(frameset)) noframes = last;
            continue;
        }
        if (tag == tag_noframes) {
            if (node->kind() != StartTagNode) {
                discard_token(lexer, html, node);
                continue;
            }
            if (frameset == nullptr) {
                discard_token(lexer, html, node);
                Node* body = infer_tag(lexer, "body");
                insert_node_at_end(html, body);
                build_child(lexer, body, mode);
                return;
            }
            if (noframes != nullptr) {
                release_token(lexer, node);
                build_child(lexer, noframes, mode);
            } else {
                insert_node_at_end(frameset, node);
                build_child(lexer, node, mode);
                noframes = node;
            }
            continue;
        }
        if (is_start_tag(node) && has_model(node, ModelHead)) {
            relocate_to_head(lexer, html, node);
            continue;
        }
        if (frameset == nullptr) {
            push_back_token(lexer, node);
            Node* body = infer_tag(lexer, "body");
            insert_node_at_end(html, body);
            build_child(lexer, body, mode);
            return;
        }
        if (tag == tag_frame) {
            // A frame after the frameset: noframes would hand it straight
            // back, so it is dropped here rather than passed round forever.
            discard_token(lexer, html, node);
            continue;
        }
        push_back_token(lexer, node);
        if (noframes != nullptr) {
            report_warning(lexer, html, node, NotInsideNoframes);
        } else {
            noframes = infer_tag(lexer, "noframes");
            insert_node_at_end(frameset, noframes);
        }
        parse_inferred(lexer, html, noframes, node, mode);
    }
}

void build_head(Lexer* lexer, Node* head, WhitespaceMode) {
    int titles = 0;
    int bases = 0;
    for (;;) {
        Node* node = get_token(lexer, TrimSpace);
        if (node == nullptr) break;
        if (node->kind() == EndTagNode && node->tag() == tag_head) {
            release_token(lexer, node);
            head->closed = true;
            break;
        }
        if (is_pass_through(node)) {
            insert_node_at_end(head, node);
            continue;
        }
        if (node->kind() == DoctypeNode) {
            move_doctype_before_html(lexer, head, node);
            continue;
        }
        if (node->kind() == TextNode) {
            push_back_token(lexer, node);
            break;
        }
        if (node->tag() != nullptr && (node->tag()->model & ModelHead) == 0) {
            push_back_token(lexer, node);
            break;
        }
        if (node->tag() == nullptr || !is_start_tag(node)) {
            discard_token(lexer, head, node);
            continue;
        }
        bool extra = false;
        if (node->tag() == tag_title) {
            if (titles > 0) report_warning(lexer, head, node, TooMany);
            extra = titles++ > 0;
        } else if (node->tag() == tag_base) {
            if (bases > 0) report_warning(lexer, head, node, TooMany);
            extra = bases++ > 0;
        }
        insert_node_at_end(head, node);
        build_child(lexer, node, TrimSpace);
        // A document has one title and one base (browsers take the first):
        // a further one, once read, goes.
        if (extra) discard_node(node);
    }
    if (titles == 0) {
        report_warning(lexer, head, nullptr, InsertingMissingTitle);
        insert_node_at_end(head, infer_tag(lexer, "title"));
    }
}

void build_title(Lexer* lexer, Node* title, WhitespaceMode) {
    for (;;) {
        Node* node = get_token(lexer, CollapseSpace);
        if (node == nullptr) {
            report_warning(lexer, title, nullptr, MissingEndTag);
            return;
        }
        if (node->kind() == EndTagNode && node->tag() == tag_title) {
            release_token(lexer, node);
            title->closed = true;
            trim_outer_spaces(lexer, title);
            return;
        }
        if (is_pass_through(node)) {
            insert_node_at_end(title, node);
            continue;
        }
        if (node->kind() == TextNode) {
            if (title->first_child() == nullptr) trim_leading_space(lexer, title, node);
            if (node->start >= node->end()) {
                release_token(lexer, node);
            } else {
                insert_node_at_end(title, node);
            }
            continue;
        }
        if (node->tag() != nullptr) {
            report_warning(lexer, title, node, MissingEndTagBefore);
            push_back_token(lexer, node);
            trim_outer_spaces(lexer, title);
            return;
        }
        discard_token(lexer, title, node);
    }
}

void build_script(Lexer* lexer, Node* element, WhitespaceMode) {
    if (Node* content = read_script_content(lexer, element)) insert_node_at_end(element, content);
}

void build_body(Lexer* lexer, Node* body, WhitespaceMode) {
    WhitespaceMode token_mode = TrimSpace;
    bool check_stack = true;
    Node* carried = nullptr; // an implied element handled as the next token
    for (;;) {
        Node* node = carried != nullptr ? carried : get_token(lexer, token_mode);
        carried = nullptr;
        if (node == nullptr) {
            // A space that ends the body's text is no content: left, it
            // would go on a second run.
            trim_outer_spaces(lexer, body);
            return;
        }
        TagPtr tag = node->tag();
        bool in_noframes = body->parent != nullptr && body->parent->tag() == tag_noframes;

        if (node->kind() == EndTagNode && tag == tag_body) {
            body->closed = true;
            trim_outer_spaces(lexer, body);
            release_token(lexer, node);
            lexer->body_state = 1;
            if (in_noframes) return;
            token_mode = TrimSpace;
            continue;
        }
        if (node->kind() == StartTagNode && tag == tag_noframes) {
            insert_node_at_end(body, node);
            lexer->space_pending = false;
            run_builder(lexer, node, BuilderBlock, token_mode);
            continue;
        }
        if (in_noframes && ((node->kind() == EndTagNode && tag == tag_noframes) ||
                            tag == tag_frame || tag == tag_frameset)) {
            trim_outer_spaces(lexer, body);
            push_back_token(lexer, node);
            return;
        }
        if (tag == tag_html) {
            if (is_start_tag(node)) report_warning(lexer, body, node, DiscardingUnexpected);
            release_token(lexer, node);
            continue;
        }
        if (is_pass_through(node)) {
            insert_node_at_end(body, node);
            continue;
        }
        if (lexer->body_state == 1 && !is_single_space(lexer, node)) {
            lexer->body_state = 2;
            report_warning(lexer, body, node, ContentAfterBody);
        }
        if (node->kind() == DoctypeNode) {
            move_doctype_before_html(lexer, body, node);
            continue;
        }
        if (node->kind() == TextNode) {
            bool single_space = is_single_space(lexer, node);
            if (single_space && token_mode == TrimSpace) {
                release_token(lexer, node);
                continue;
            }
            if (lexer->options.enclose_text && !single_space) {
                push_back_token(lexer, node);
                Node* p = infer_tag(lexer, "p");
                insert_node_at_end(body, p);
                parse_inferred(lexer, body, p, node, token_mode);
                token_mode = CollapseSpace;
                continue;
            }
            if (check_stack) {
                check_stack = false;
                if (schedule_reopen(lexer, node) > 0) continue;
            }
            insert_node_at_end(body, node);
            token_mode = CollapseSpace;
            continue;
        }
        if (tag == nullptr || tag == tag_param) {
            discard_token(lexer, body, node);
            continue;
        }
        lexer->blocks_barred = false;

        Node* waiting = nullptr; // the token pushed back for an implied element
        if ((tag->model & (ModelBlock | ModelInline)) == 0) {
            if ((tag->model & ModelHead) == 0) report_warning(lexer, body, node, NotAllowedIn);
            if (tag->model & ModelHtml) {
                if (tag == tag_body && body->implicit && body->attributes() == nullptr) {
                    body->set_attributes(node->attributes());
                    node->set_attributes(nullptr);
                }
                release_token(lexer, node);
                continue;
            }
            if (tag->model & ModelHead) {
                relocate_to_head(lexer, body, node);
                continue;
            }
            if (tag->model & (ModelList | ModelDefList | ModelTable | ModelRowGroup | ModelRow)) {
                waiting = node;
            }
            if (tag->model & ModelList) {
                push_back_token(lexer, node);
                node = infer_tag(lexer, "ul");
                add_noindent_class(lexer, node);
                lexer->blocks_barred = true;
            } else if (tag->model & ModelDefList) {
                push_back_token(lexer, node);
                node = infer_tag(lexer, "dl");
                lexer->blocks_barred = true;
            } else if (tag->model & (ModelTable | ModelRowGroup | ModelRow)) {
                push_back_token(lexer, node);
                node = infer_tag(lexer, "table");
                lexer->blocks_barred = true;
            } else {
                // option, optgroup, and frame: a frame would end the body
                // here, and with it the reading of the rest of the document,
                // so it is dropped after the warning like a form field.
                release_token(lexer, node);
                continue;
            }
            tag = node->tag();
        } else if (node->kind() == EndTagNode) {
            if (tag == tag_br) {
                node->set_kind(StartTagNode);
            } else if (tag == tag_p) {
                retag_node(lexer, node, tag_br);
                trim_outer_spaces(lexer, body);
                insert_node_at_end(body, node);
                carried = infer_tag(lexer, "br");
                continue;
            } else if (tag->model & ModelInline) {
                forget_inline(lexer, node);
            }
        }

        if (!is_start_tag(node)) {
            discard_token(lexer, body, node);
            continue;
        }
        // Accepting a start tag in the body.
        WhitespaceMode child_mode = TrimSpace;
        if ((tag->model & ModelInline) != 0 && (tag->model & ModelMixed) == 0) {
            if (check_stack && !node->implicit) {
                check_stack = false;
                if (schedule_reopen(lexer, node) > 0) continue;
            }
            check_stack = check_stack && node->implicit;
            child_mode = CollapseSpace;
        } else {
            check_stack = true;
        }
        if (node->implicit) report_warning(lexer, body, node, InsertingImplicit);
        insert_node_at_end(body, node);
        if (waiting != nullptr) {
            parse_inferred(lexer, body, node, waiting, child_mode);
        } else {
            build_child(lexer, node, child_mode);
        }
        token_mode = child_mode;
    }
}

void build_frameset(Lexer* lexer, Node* frameset, WhitespaceMode) {
    lexer->access_flags |= UsingFrames;
    for (;;) {
        Node* node = get_token(lexer, TrimSpace);
        if (node == nullptr) {
            report_warning(lexer, frameset, nullptr, MissingEndTag);
            return;
        }
        if (node->kind() == EndTagNode && node->tag() == tag_frameset) {
            release_token(lexer, node);
            frameset->closed = true;
            trim_outer_spaces(lexer, frameset);
            return;
        }
        if (is_pass_through(node)) {
            insert_node_at_end(frameset, node);
            continue;
        }
        if (node->tag() == nullptr) {
            discard_token(lexer, frameset, node);
            continue;
        }
        if (is_start_tag(node) && has_model(node, ModelHead)) {
            relocate_to_head(lexer, frameset, node);
            continue;
        }
        Node* waiting = nullptr; // the body pushed back for an implied noframes
        if (node->tag() == tag_body) {
            push_back_token(lexer, node);
            waiting = node;
            node = infer_tag(lexer, "noframes");
            report_warning(lexer, frameset, node, InsertingImplicit);
        }
        if (node->kind() == StartTagNode && has_model(node, ModelFrames)) {
            insert_node_at_end(frameset, node);
            lexer->blocks_barred = false;
            if (waiting != nullptr) {
                parse_inferred(lexer, frameset, node, waiting, CollapseSpace);
            } else {
                build_child(lexer, node, CollapseSpace);
            }
            continue;
        }
        if (node->kind() == StartEndTagNode && has_model(node, ModelFrames)) {
            insert_node_at_end(frameset, node);
            continue;
        }
        discard_token(lexer, frameset, node);
    }
}

void build_noframes(Lexer* lexer, Node* noframes, WhitespaceMode mode) {
    // Inside a body (in a div, a list item, a cell ...) noframes holds body
    // content directly, as it does as a child of the body itself; an implied
    // body there would nest one body in another.
    for (const Node* up = noframes->parent; up != nullptr; up = up->parent) {
        if (up->tag() == tag_body) {
            build_block(lexer, noframes, mode);
            return;
        }
    }
    lexer->access_flags |= UsingNoframes;
    for (;;) {
        Node* node = get_token(lexer, TrimSpace);
        if (node == nullptr) {
            report_warning(lexer, noframes, nullptr, MissingEndTag);
            return;
        }
        if (node->kind() == EndTagNode && node->tag() == tag_noframes) {
            release_token(lexer, node);
            noframes->closed = true;
            trim_outer_spaces(lexer, noframes);
            return;
        }
        if (node->tag() == tag_frame || node->tag() == tag_frameset) {
            report_warning(lexer, noframes, node, MissingEndTagBefore);
            trim_outer_spaces(lexer, noframes);
            push_back_token(lexer, node);
            return;
        }
        if (node->tag() == tag_html) {
            if (is_start_tag(node)) report_warning(lexer, noframes, node, DiscardingUnexpected);
            release_token(lexer, node);
            continue;
        }
        if (is_pass_through(node)) {
            insert_node_at_end(noframes, node);
            continue;
        }
        if (node->kind() == StartTagNode && node->tag() == tag_body) {
            insert_node_at_end(noframes, node);
            build_child(lexer, node, TrimSpace);
            continue;
        }
        if (node->tag() == nullptr && node->kind() != TextNode) {
            discard_token(lexer, noframes, node);
            continue;
        }
        push_back_token(lexer, node);
        Node* body = infer_tag(lexer, "body");
        if (lexer->options.output_xml) report_warning(lexer, noframes, body, InsertingImplicit);
        insert_node_at_end(noframes, body);
        parse_inferred(lexer, noframes, body, node, TrimSpace);
    }
}

} // namespace varnel
