// Table, form-control and select builders: tables get their row and cell
// structure (implied rows and cells, content between rows moved in front of
// the table), select and optgroup take only options, and option and
// textarea take only text.
#include <cstdint>
#include <string>
#include <vector>

#include "model/reports.h"
#include "input/lexer.h"
#include "model/node.h"
#include "model/tags.h"
#include "tree/build_common.h"
#include "tree/builders.h"
#include "tree/inline_stack.h"

namespace varnel {

namespace {

bool is_empty_element(const Node* element) {
    return has_model(element, ModelEmpty);
}

bool is_end_tag(const Node* node, TagPtr tag) {
    return node->kind() == EndTagNode && tag != nullptr && node->tag() == tag;
}

// Whether some node above the element carries the token's tag.
bool is_ancestor_tag(const Node* element, const Node* node) {
    return has_ancestor_tag(element, node->tag());
}

// A </form> where no form can end.
void discard_form_end(Lexer* lexer, Node* element, Node* node) {
    lexer->bad_form = true;
    discard_token(lexer, element, node);
}

// Puts a token that cannot stand in a table, row group or row in front of
// the table and parses it there.
void move_before_table(Lexer* lexer, Node* element, Node* node) {
    Node* table = element;
    while (table != nullptr && table->tag() != tag_table)
        table = table->parent;
    // A row parsed with no table above it has its content put before the
    // row itself; detached, the content has nowhere to go.
    Node* anchor = table != nullptr ? table : element;
    // A form inside a form is dropped as anywhere else.
    if (node->tag() == tag_form && is_start_tag(node) && has_ancestor_tag(anchor, tag_form)) {
        report_warning(lexer, node, node, ShouldntBeNested);
        release_token(lexer, node);
        return;
    }
    if (anchor->parent == nullptr) {
        discard_token(lexer, element, node);
        return;
    }
    insert_node_before(anchor, node);
    report_warning(lexer, element, node, NotAllowedIn);
    // The flag is restored rather than cleared, so that content moved out of
    // a table nested in moved content still ends on the outer table's tags.
    bool saved = lexer->moved_before_table;
    lexer->moved_before_table = true;
    if (node->kind() != TextNode) build_child(lexer, node, TrimSpace);
    lexer->moved_before_table = saved;
}

// Appends an implied row for a cell or other token met outside a row; the
// token has just been pushed back for the row to read.
void open_implied_row(Lexer* lexer, Node* element, Node* token) {
    Node* row = infer_tag(lexer, "tr");
    report_warning(lexer, element, row, MissingStartTag);
    insert_node_at_end(element, row);
    parse_inferred(lexer, element, row, token, TrimSpace);
}

// Gives a row without content its one implied cell.
void fill_empty_row(Lexer* lexer, Node* row) {
    if (row->first_child() != nullptr) return;
    Node* cell = infer_tag(lexer, "td");
    insert_node_at_end(row, cell);
    report_warning(lexer, row, cell, MissingStartTag);
}

// Parses a cell; lists implied in it bar blocks only inside the cell, and
// inline elements left open in it do not reach the next cell. `token` is the
// pushed-back token an implied cell was made for, or null.
void parse_cell(Lexer* lexer, Node* row, Node* cell, Node* token) {
    insert_node_at_end(row, cell);
    bool saved = lexer->blocks_barred;
    lexer->blocks_barred = false;
    if (token != nullptr) {
        parse_inferred(lexer, row, cell, token, TrimSpace);
    } else {
        build_child(lexer, cell, TrimSpace);
    }
    lexer->blocks_barred = saved;
    while (lexer->inline_count() > lexer->inline_base)
        forget_inline(lexer, nullptr);
}

// Where a part stands in a table: the caption, the column groups and
// columns, the head and the foot come before the rows and bodies, in that
// order, in every version.
int table_part_rank(const Node* node) {
    if (node->tag() == nullptr) return -1;
    const std::string_view name = node->tag()->name;
    if (node->tag() == tag_caption) return 0;
    if (node->tag() == tag_col || name == "colgroup") return 1;
    if (name == "thead") return 2;
    if (name == "tfoot") return 3;
    return 4;
}

// Puts the parts of a finished table in that order (browsers show them so
// whatever the source order), each kind keeping its own order; a comment
// goes with the part that follows it. Then prunes the table if empty.
void end_table(Lexer* lexer, Node* table) {
    std::vector<Node*> children;
    bool ordered = true;
    int last = 0;
    for (Node* child = table->first_child(); child != nullptr; child = child->next) {
        children.push_back(child);
        const int rank = table_part_rank(child);
        if (rank < 0) continue;
        if (rank < last) ordered = false;
        last = rank;
    }
    if (!ordered) {
        std::vector<int> ranks(children.size(), 4);
        int next_rank = 4;
        for (size_t i = children.size(); i > 0; --i) {
            const int rank = table_part_rank(children[i - 1]);
            if (rank >= 0) next_rank = rank;
            ranks[i - 1] = next_rank;
        }
        for (Node* child : children)
            remove_node(child);
        for (int rank = 0; rank <= 4; ++rank) {
            for (size_t i = 0; i < children.size(); ++i) {
                if (ranks[i] == rank) insert_node_at_end(table, children[i]);
            }
        }
    }
    prune_if_empty(lexer, table);
}

} // namespace

void build_table(Lexer* lexer, Node* table, WhitespaceMode) {
    if (is_empty_element(table)) return;
    cancel_reopen(lexer);
    uint32_t saved_base = lexer->inline_base;
    lexer->inline_base = lexer->inline_count();

    for (;;) {
        Node* node = get_token(lexer, TrimSpace);
        if (node == nullptr) {
            report_warning(lexer, table, nullptr, MissingEndTag);
            end_table(lexer, table);
            break;
        }
        if (is_end_tag(node, table->tag())) {
            release_token(lexer, node);
            table->closed = true;
            end_table(lexer, table);
            break;
        }
        if (is_pass_through(node)) {
            insert_node_at_end(table, node);
            continue;
        }
        if (node->tag() == nullptr && node->kind() != TextNode) {
            discard_token(lexer, table, node);
            continue;
        }
        if (node->kind() == EndTagNode) {
            if (node->tag() == tag_form) {
                discard_form_end(lexer, table, node);
                continue;
            }
            if (has_model(node, ModelTable | ModelRow)) {
                discard_token(lexer, table, node);
                continue;
            }
            if (is_ancestor_tag(table, node)) {
                report_warning(lexer, table, node, MissingEndTagBefore);
            } else {
                report_warning(lexer, table, node, NotAllowedIn);
            }
            push_back_token(lexer, node);
            end_table(lexer, table);
            break;
        }
        if (node->tag() == tag_td || node->tag() == tag_th || node->tag() == tag_table) {
            push_back_token(lexer, node);
            open_implied_row(lexer, table, node);
            continue;
        }
        if (node->kind() == TextNode || has_model(node, ModelBlock | ModelInline)) {
            move_before_table(lexer, table, node);
            continue;
        }
        if (has_model(node, ModelHead)) {
            relocate_to_head(lexer, table, node);
            continue;
        }
        if (has_model(node, ModelTable)) {
            if (is_start_tag(node)) {
                insert_node_at_end(table, node);
                build_child(lexer, node, TrimSpace);
            } else {
                discard_token(lexer, table, node);
            }
            continue;
        }
        report_warning(lexer, table, node, NotAllowedIn);
        push_back_token(lexer, node);
        end_table(lexer, table);
        break;
    }
    lexer->inline_base = saved_base;
}

void build_colgroup(Lexer* lexer, Node* colgroup, WhitespaceMode) {
    if (is_empty_element(colgroup)) return;
    for (;;) {
        Node* node = get_token(lexer, TrimSpace);
        if (node == nullptr) return;
        if (is_end_tag(node, colgroup->tag())) {
            release_token(lexer, node);
            colgroup->closed = true;
            return;
        }
        if (is_pass_through(node)) {
            insert_node_at_end(colgroup, node);
        } else if (is_end_tag(node, tag_form)) {
            discard_form_end(lexer, colgroup, node);
        } else if (node->kind() == EndTagNode && is_ancestor_tag(colgroup, node)) {
            push_back_token(lexer, node);
            return;
        } else if (node->kind() == TextNode) {
            push_back_token(lexer, node);
            return;
        } else if (node->tag() == nullptr) {
            discard_token(lexer, colgroup, node);
        } else if (is_end_tag(node, tag_col)) {
            discard_token(lexer, colgroup, node);
        } else if (node->tag() == tag_col && is_start_tag(node)) {
            insert_node_at_end(colgroup, node);
            build_child(lexer, node, TrimSpace);
        } else {
            push_back_token(lexer, node);
            return;
        }
    }
}

void build_rowgroup(Lexer* lexer, Node* group, WhitespaceMode) {
    if (is_empty_element(group)) return;
    for (;;) {
        Node* node = get_token(lexer, TrimSpace);
        if (node == nullptr) {
            prune_if_empty(lexer, group);
            return;
        }
        if (is_end_tag(node, group->tag())) {
            group->closed = true;
            prune_if_empty(lexer, group);
            release_token(lexer, node);
            return;
        }
        if (node->tag() != nullptr && node->tag() == group->tag()) {
            push_back_token(lexer, node);
            return;
        }
        if (is_end_tag(node, tag_table)) {
            push_back_token(lexer, node);
            prune_if_empty(lexer, group);
            return;
        }
        if (is_pass_through(node)) {
            insert_node_at_end(group, node);
            continue;
        }
        if (node->tag() == nullptr && node->kind() != TextNode) {
            discard_token(lexer, group, node);
            continue;
        }
        if (node->kind() == EndTagNode) {
            if (node->tag() == tag_form) {
                discard_form_end(lexer, group, node);
            } else if (node->tag() == tag_tr || node->tag() == tag_td || node->tag() == tag_th) {
                discard_token(lexer, group, node);
            } else if (is_ancestor_tag(group, node)) {
                push_back_token(lexer, node);
                prune_if_empty(lexer, group);
                return;
            } else if (has_model(node, ModelRowGroup)) {
                release_token(lexer, node);
                prune_if_empty(lexer, group);
                return;
            } else {
                discard_token(lexer, group, node);
            }
            continue;
        }
        if (node->tag() == tag_td || node->tag() == tag_th) {
            push_back_token(lexer, node);
            open_implied_row(lexer, group, node);
            continue;
        }
        if (node->kind() == TextNode || has_model(node, ModelBlock | ModelInline)) {
            move_before_table(lexer, group, node);
            continue;
        }
        if (has_model(node, ModelHead)) {
            report_warning(lexer, group, node, NotAllowedIn);
            relocate_to_head(lexer, group, node);
            continue;
        }
        if (has_model(node, ModelRowGroup)) {
            push_back_token(lexer, node);
            prune_if_empty(lexer, group);
            return;
        }
        if (node->tag() == tag_tr) {
            insert_node_at_end(group, node);
            build_child(lexer, node, TrimSpace);
            continue;
        }
        push_back_token(lexer, node);
        open_implied_row(lexer, group, node);
    }
}

void build_row(Lexer* lexer, Node* row, WhitespaceMode) {
    if (is_empty_element(row)) return;
    for (;;) {
        Node* node = get_token(lexer, TrimSpace);
        if (node == nullptr) {
            prune_if_empty(lexer, row);
            return;
        }
        if (is_end_tag(node, row->tag())) {
            release_token(lexer, node);
            row->closed = true;
            fill_empty_row(lexer, row);
            return;
        }
        if (node->tag() != nullptr && node->tag() == row->tag()) {
            push_back_token(lexer, node);
            fill_empty_row(lexer, row);
            return;
        }
        if (is_pass_through(node)) {
            insert_node_at_end(row, node);
            continue;
        }
        if (node->kind() == EndTagNode) {
            if (node->tag() == tag_form) {
                discard_form_end(lexer, row, node);
                continue;
            }
            if (node->tag() != nullptr && (node->tag() == tag_td || node->tag() == tag_th)) {
                discard_token(lexer, row, node);
                continue;
            }
            if (is_ancestor_tag(row, node)) {
                push_back_token(lexer, node);
                prune_if_empty(lexer, row);
                return;
            }
        }
        if (node->kind() == TextNode) {
            move_before_table(lexer, row, node);
            continue;
        }
        if (node->tag() == nullptr || (node->tag() == tag_table && node->kind() != EndTagNode)) {
            discard_token(lexer, row, node);
            continue;
        }
        if (has_model(node, ModelRowGroup)) {
            push_back_token(lexer, node);
            prune_if_empty(lexer, row);
            return;
        }
        if (node->kind() == EndTagNode) {
            discard_token(lexer, row, node);
            continue;
        }
        if (node->tag() == tag_form && is_start_tag(node)) {
            push_back_token(lexer, node);
            Node* cell = infer_tag(lexer, "td");
            report_warning(lexer, row, cell, MissingStartTag);
            parse_cell(lexer, row, cell, node);
            continue;
        }
        if (has_model(node, ModelBlock | ModelInline)) {
            move_before_table(lexer, row, node);
            continue;
        }
        if (has_model(node, ModelHead)) {
            report_warning(lexer, row, node, NotAllowedIn);
            relocate_to_head(lexer, row, node);
            continue;
        }
        if (node->tag() == tag_td || node->tag() == tag_th) {
            parse_cell(lexer, row, node, nullptr);
            continue;
        }
        report_warning(lexer, row, node, NotAllowedIn);
        release_token(lexer, node);
    }
}

void build_select(Lexer* lexer, Node* select, WhitespaceMode) {
    if (is_empty_element(select)) return;
    lexer->reopen_next = ReopenNone;
    for (;;) {
        Node* node = get_token(lexer, TrimSpace);
        if (node == nullptr) {
            report_warning(lexer, select, nullptr, MissingEndTag);
            return;
        }
        if (is_end_tag(node, select->tag())) {
            release_token(lexer, node);
            select->closed = true;
            trim_outer_spaces(lexer, select);
            return;
        }
        if (is_pass_through(node)) {
            insert_node_at_end(select, node);
        } else if (node->kind() == StartTagNode &&
                   (node->tag() == tag_option || node->tag() == tag_optgroup ||
                    node->tag() == tag_script)) {
            insert_node_at_end(select, node);
            build_child(lexer, node, TrimSpace);
        } else {
            discard_token(lexer, select, node);
        }
    }
}

void build_optgroup(Lexer* lexer, Node* optgroup, WhitespaceMode) {
    if (is_empty_element(optgroup)) return;
    lexer->reopen_next = ReopenNone;
    for (;;) {
        Node* node = get_token(lexer, TrimSpace);
        if (node == nullptr) return;
        if (is_end_tag(node, optgroup->tag())) {
            release_token(lexer, node);
            optgroup->closed = true;
            trim_outer_spaces(lexer, optgroup);
            return;
        }
        if (is_pass_through(node)) {
            insert_node_at_end(optgroup, node);
        } else if (node->kind() == StartTagNode && node->tag() == tag_option) {
            insert_node_at_end(optgroup, node);
            build_child(lexer, node, CollapseSpace);
        } else if (node->kind() == StartTagNode && node->tag() == tag_optgroup) {
            report_warning(lexer, optgroup, node, CantBeNested);
            insert_node_at_end(optgroup, node);
            build_child(lexer, node, CollapseSpace);
        } else if (node->kind() == EndTagNode && is_ancestor_tag(optgroup, node)) {
            // The end tag of the select (or of anything above it) ends the
            // group, so that the select sees it and nothing after it is lost.
            push_back_token(lexer, node);
            trim_outer_spaces(lexer, optgroup);
            return;
        } else {
            discard_token(lexer, optgroup, node);
        }
    }
}

void build_text(Lexer* lexer, Node* field, WhitespaceMode mode) {
    if (is_empty_element(field)) return;
    lexer->reopen_next = ReopenNone;
    WhitespaceMode read_mode = field->tag() == tag_textarea ? KeepSpace : mode;
    bool optional_end = has_model(field, ModelOptionalEnd);
    for (;;) {
        Node* node = get_token(lexer, read_mode);
        if (node == nullptr) {
            if (!optional_end) report_warning(lexer, field, nullptr, MissingEndTag);
            return;
        }
        if (is_end_tag(node, field->tag())) {
            release_token(lexer, node);
            field->closed = true;
            // A text area's content is the field's value, read as written:
            // trimming it would take one more space off each end on every
            // run over the output.
            if (field->tag() != tag_textarea) trim_outer_spaces(lexer, field);
            return;
        }
        if (is_pass_through(node)) {
            insert_node_at_end(field, node);
        } else if (node->kind() == TextNode) {
            if (node->end() == node->start) {
                release_token(lexer, node);
            } else {
                insert_node_at_end(field, node);
            }
        } else if (node->tag() != nullptr && node->tag() == tag_font) {
            discard_token(lexer, field, node);
        } else {
            if (!optional_end) report_warning(lexer, field, node, MissingEndTagBefore);
            push_back_token(lexer, node);
            trim_outer_spaces(lexer, field);
            return;
        }
    }
}

} // namespace varnel
