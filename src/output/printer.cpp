// The HTML/XHTML and XML tree printers.
#include "output/printer.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "base/config.h"
#include "base/short_list.h"
#include "base/util.h"
#include "input/lexer.h"
#include "model/attrs.h"
#include "model/node.h"
#include "model/tags.h"
#include "output/slides.h"
#include "tree/builders.h"

namespace varnel {

namespace {

// Wrap column used by server blocks and CDATA that must not wrap.
constexpr int32_t NoWrapColumn = 0xFFFFFF;

uint32_t indent_step(const OutputStream* out) {
    const Config& options = *out->options;
    return options.indent_spaces > 0 ? static_cast<uint32_t>(options.indent_spaces) : 0;
}

bool indent_content_on(const OutputStream* out) {
    const Config& options = *out->options;
    return options.indent_content || options.smart_indent;
}

ContentModelBits model_of(const Node* node) {
    return node->tag() != nullptr ? node->tag()->model : 0;
}

// Sets the wrap column from the wrap option (0 means never wrap).
void set_wrap_column(OutputStream* out) {
    out->wrap_column = out->options->wrap == 0 ? 0x7FFFFFFF : out->options->wrap;
}

// Marks the current end of the pending line as a place to break it.
void set_wrap_point(OutputStream* out) {
    out->line.wrap_point = out->line.length;
}

// Appends a tag or attribute name with its case folded; names hold UTF-8,
// and letters beyond ASCII are left as they are. (Out of line: the part of
// a name from its first byte beyond ASCII on.)
void add_folded_rest(OutputStream* out, std::string_view name, bool upper, bool keep_case) {
    const auto* s = reinterpret_cast<const unsigned char*>(name.data());
    const size_t n = name.size();
    // A name has at most as many characters as bytes: room for all of them
    // is made once.
    LineBuffer& line = out->line;
    if (line.length + n >= line.capacity) grow_line(out, static_cast<uint32_t>(line.length + n));
    const bool xml = out->options->input_xml;
    uint32_t* to = line.chars + line.length;
    for (size_t i = 0; i < n; ++i) {
        if (keep_case && s[i] < 0x80) {
            *to++ = s[i];
        } else if (s[i] < 0x80) {
            *to++ = static_cast<uint32_t>(fold_case(s[i], upper, xml));
        } else {
            // (A copy of the position, so that the loop's stays in a register.)
            size_t at = i;
            *to++ = decode_char_at(s, &at, n);
            i = at;
        }
    }
    line.length = static_cast<uint32_t>(to - line.chars);
}

// The same, inline for names of ASCII letters (nearly all of them).
inline void add_folded_name(OutputStream* out, std::string_view name, bool upper,
                            bool keep_case = false) {
    LineBuffer& line = out->line;
    const size_t n = name.size();
    if (line.length + n >= line.capacity) grow_line(out, static_cast<uint32_t>(line.length + n));
    const bool fold = !keep_case && !out->options->input_xml;
    uint32_t* const to = line.chars + line.length;
    for (size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c >= 0x80) {
            line.length += static_cast<uint32_t>(i);
            add_folded_rest(out, name.substr(i), upper, keep_case);
            return;
        }
        to[i] = static_cast<uint32_t>(fold ? (upper ? to_upper(c) : to_lower(c)) : c);
    }
    line.length += static_cast<uint32_t>(n);
}

// The first attribute named exactly `name`, skipping ASP and PHP entries.
const NodeAttribute* attribute_named(const Node* node, const char* name) {
    for (const NodeAttribute* a = node->attributes(); a != nullptr; a = a->next) {
        if (!a->has_block && a->name() == name) return a;
    }
    return nullptr;
}

// The dictionary entry of an attribute, looked up again when the record
// does not carry one.
const AttrDef* definition_of(const NodeAttribute* attribute) {
    return attribute->attr_def() != nullptr ? attribute->attr_def() : find_attr_def(attribute);
}

bool is_script_def(const AttrDef* def) {
    return def != nullptr && def->checker == check_script_value;
}

bool is_boolean_def(const AttrDef* def) {
    return def != nullptr && def->checker == check_bool_value;
}

bool is_preformatted_element(const Node* node) {
    return node->tag() != nullptr && node->tag()->builder == BuilderPre;
}

void print_text_span(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer,
                     const Node* node) {
    print_text(out, mode, indent, lexer, node->start, node->end());
}

// The text bytes of a node's span (empty when the span is out of range).
bool span_ends_with(Lexer* lexer, const Node* node, unsigned char byte) {
    if (node->end() <= node->start || node->end() > lexer->text_length()) return false;
    return static_cast<unsigned char>(lexer->text[node->end() - 1]) == byte;
}

// Which neighbour of a node white_space_at looks at.
enum class Side : uint8_t { Before, After };

// True when, on `side` of `node` as the text flows, there is white space, a
// block or a br, or the edge of a block: a line end placed there reads back
// as nothing a reader sees. Between two letters it would split a word.
bool white_space_at(Lexer* lexer, const Node* node, Side side) {
    for (const Node* n = node; n != nullptr; n = n->parent) {
        if (n != node && (model_of(n) & ModelInline) == 0) return true;
        const Node* other = side == Side::Before ? n->prev() : n->next.get();
        if (other == nullptr) continue;
        if (other->kind() == TextNode) {
            if (other->end() <= other->start || other->end() > lexer->text_length()) return false;
            const char c = lexer->text[side == Side::Before ? other->end() - 1 : other->start];
            return c == ' ' || c == '\n';
        }
        // A comment followed by a line end in the source ends its line.
        if (other->kind() == CommentNode) return side == Side::Before && other->newline_after;
        if (other->tag() == nullptr) return false;
        return (model_of(other) & ModelInline) == 0 || other->tag() == tag_br;
    }
    return true;
}

void print_comment(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer, Node* node) {
    if ((mode & PrintPreformatted) == 0 && line_fits(out, indent) &&
        white_space_at(lexer, node, Side::Before)) {
        set_wrap_point(out);
    }
    add_string(out, "<!--");
    print_text_span(out, PrintComment, indent, lexer, node);
    add_char(out, '>');
    if (node->newline_after) flush_line(out, indent);
}

void print_doctype(OutputStream* out, uint32_t indent, Lexer* lexer, Node* node) {
    // Quote marks in the identifiers are the declaration's own.
    Config doctype_options = *out->options;
    doctype_options.quote_marks = false;
    const Config* const saved_options = out->options;
    out->options = &doctype_options;
    if (line_fits(out, indent)) set_wrap_point(out);
    flush_pending_line(out, indent);
    add_string(out, "<!DOCTYPE ");
    if (line_fits(out, indent)) set_wrap_point(out);
    // The line may break at spaces between the parts of the declaration but
    // not inside a quoted identifier: a line end there changes the
    // identifier, and the document type is no longer recognised.
    // A doctype with an internal subset ("[...]", XML) holds declarations,
    // written as they stand: "<" and "&" there are markup, not text.
    const std::string_view whole(lexer->text.data() + node->start,
                                 std::min<size_t>(node->end(), lexer->text_length()) - node->start);
    const PrintMode raw = whole.find('[') != std::string_view::npos ? PrintCData : PrintNormal;
    uint32_t from = node->start;
    bool quoted = false;
    for (uint32_t i = node->start; i < node->end() && i < lexer->text_length(); ++i) {
        if (lexer->text[i] != '"') continue;
        print_text(out, raw | (quoted ? PrintPreformatted : PrintNormal), indent, lexer, from, i);
        from = i;
        quoted = !quoted;
    }
    print_text(out, raw | (quoted ? PrintPreformatted : PrintNormal), indent, lexer, from,
               node->end());
    if (static_cast<int64_t>(out->line.length) < out->wrap_column) set_wrap_point(out);
    add_char(out, '>');
    out->options = saved_options;
    flush_pending_line(out, indent);
}

void print_procins(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer, Node* node) {
    const Config& options = *out->options;
    // In XHTML an instruction must begin with the name of its target: an
    // HTML one without ("<? x>") is nothing XML can hold, and is left out.
    if (options.output_xml && !options.input_xml &&
        (node->end() <= node->start || node->start >= lexer->text_length() ||
         !(is_letter(static_cast<unsigned char>(lexer->text[node->start])) ||
           lexer->text[node->start] == '_' || lexer->text[node->start] == ':'))) {
        return;
    }
    if ((mode & PrintPreformatted) == 0 && line_fits(out, indent) &&
        white_space_at(lexer, node, Side::Before)) {
        set_wrap_point(out);
    }
    add_string(out, "<?");
    print_text_span(out, PrintCData, indent, lexer, node);
    if (!span_ends_with(lexer, node, '?')) add_char(out, '?');
    add_char(out, '>');
    if ((mode & PrintPreformatted) == 0) flush_pending_line(out, indent);
}

// A CDATA section stands on lines of its own only where line ends around it
// read back as white space that is there already.
void print_cdata(OutputStream* out, uint32_t indent, Lexer* lexer, Node* node) {
    if (white_space_at(lexer, node, Side::Before)) flush_pending_line(out, indent);
    const int32_t saved = out->wrap_column;
    out->wrap_column = NoWrapColumn;
    add_string(out, "<![CDATA[");
    print_text_span(out, PrintComment, indent, lexer, node);
    add_string(out, "]]>");
    if (white_space_at(lexer, node, Side::After)) flush_pending_line(out, indent);
    out->wrap_column = saved;
}

// A marked section or server block: its delimiters around its text, wrapped
// only when `wrap` allows it.
void print_delimited_block(OutputStream* out, uint32_t indent, Lexer* lexer, Node* node,
                           const char* open, const char* close, bool wrap, PrintMode mode) {
    const int32_t saved = out->wrap_column;
    if (!wrap) out->wrap_column = NoWrapColumn;
    add_string(out, open);
    print_text_span(out, mode, indent, lexer, node);
    add_string(out, close);
    out->wrap_column = saved;
}

// Inside preformatted content (`mode`) no block is ever wrapped: a line
// end added there is a line the browser shows.
bool wraps_in(PrintMode mode, bool option) {
    return option && (mode & PrintPreformatted) == 0;
}

// A marked section written as comments for XHTML output, where "<![" is
// not markup: "<![if ...]>" becomes "<!--[if ...]><!-->" and "<![endif]>"
// becomes "<!--<![endif]-->", the forms that browsers reading conditional
// markup take the same way; any other section becomes "<!--[...]-->".
// Two hyphens in a row, which a comment cannot hold, get a space between.
void print_section_as_comment(OutputStream* out, uint32_t indent, Lexer* lexer, Node* node) {
    const uint32_t end = std::min<uint32_t>(node->end(), lexer->text_length());
    const std::string_view text(lexer->text.data() + node->start,
                                end > node->start ? end - node->start : 0);
    const bool is_if = text.starts_with("if");
    const bool is_endif = text.starts_with("endif");
    add_string(out, is_endif ? "<!--<![" : "<!--[");
    const auto* bytes = reinterpret_cast<const unsigned char*>(lexer->text.data());
    uint32_t previous = 0;
    for (size_t i = node->start; i < end; ++i) {
        const uint32_t c = decode_char_at(bytes, &i, end);
        if (c == '-' && previous == '-') add_char(out, ' ');
        if (c == '\n') {
            flush_line(out, indent);
            out->line.verbatim = true;
        } else {
            print_char(out, c, PrintComment);
        }
        previous = c;
    }
    if (previous == '-') add_char(out, ' ');
    add_string(out, is_if ? "]><!-->" : "]-->");
}

void print_section(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer, Node* node) {
    const Config& options = *out->options;
    if (options.output_xml && !options.input_xml) {
        print_section_as_comment(out, indent, lexer, node);
        return;
    }
    print_delimited_block(out, indent, lexer, node, "<![", "]>",
                          wraps_in(mode, options.wrap_sections),
                          options.wrap_sections ? PrintCData : PrintComment);
}

// A server block written as text for XHTML output, where "<%" and "<#"
// are not markup: escaped, and spaced as text read back is ("<%= x %>" in
// a page that is no server page shows just so in a browser).
void print_block_as_text(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer,
                         Node* node, const char* open, const char* close) {
    const bool exact = (mode & PrintPreformatted) != 0;
    for (const char* c = open; *c != '\0'; ++c)
        print_char(out, static_cast<unsigned char>(*c), mode);
    const uint32_t end = std::min<uint32_t>(node->end(), lexer->text_length());
    const auto* bytes = reinterpret_cast<const unsigned char*>(lexer->text.data());
    bool after_white = false;
    for (size_t i = node->start; i < end; ++i) {
        if (!line_fits(out, indent)) break_line_at_wrap_point(out, indent);
        const uint32_t c = decode_char_at(bytes, &i, end);
        if (exact && c == '\n') {
            flush_line(out, indent);
            continue;
        }
        const bool white = c < 0x80 && is_white(static_cast<int>(c));
        if (!exact && white) {
            if (!after_white) print_char(out, ' ', mode);
            after_white = true;
            continue;
        }
        after_white = false;
        print_char(out, c, mode);
    }
    for (const char* c = close; *c != '\0'; ++c)
        print_char(out, static_cast<unsigned char>(*c), mode);
}

void print_asp(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer, Node* node) {
    const Config& options = *out->options;
    if (options.output_xml && !options.input_xml) {
        print_block_as_text(out, mode, indent, lexer, node, "<%", "%>");
        return;
    }
    print_delimited_block(out, indent, lexer, node, "<%", "%>",
                          wraps_in(mode, options.wrap_asp && options.wrap_jste),
                          options.wrap_asp ? PrintCData : PrintComment);
}

void print_jste(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer, Node* node) {
    const Config& options = *out->options;
    if (options.output_xml && !options.input_xml) {
        print_block_as_text(out, mode, indent, lexer, node, "<#", "#>");
        return;
    }
    print_delimited_block(out, indent, lexer, node, "<#", "#>", wraps_in(mode, options.wrap_asp),
                          options.wrap_jste ? PrintCData : PrintComment);
}

void print_php(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer, Node* node) {
    const Config& options = *out->options;
    print_delimited_block(out, indent, lexer, node, "<?", "?>", wraps_in(mode, options.wrap_php),
                          options.wrap_php ? PrintCData : PrintComment);
}

void print_text_node(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer, Node* node) {
    // Text after a br (or after a text area whose value ended a line)
    // starts a fresh line: a space it begins with would only stand in front
    // of the words there (and it is what the line end or the line's own
    // indentation reads back as).
    uint32_t start = node->start;
    const Node* prev = node->prev();
    const bool leading_space = (mode & PrintPreformatted) == 0 && start < node->end() &&
                               start < lexer->text_length() && lexer->text[start] == ' ';
    const bool ended_line =
        prev != nullptr && (prev->tag() == tag_br || prev->tag() == tag_textarea ||
                            (prev->kind() == CommentNode && prev->newline_after));
    if (leading_space && ended_line && out->line.length == 0) {
        ++start;
    }
    // Two texts meet where an element between them was dropped ("a <code>
    // </code> b"): the second space would read back into the first one, so
    // a second run would print the line differently.
    if (leading_space && start == node->start && out->line.length > 0 &&
        out->line.chars[out->line.length - 1] == ' ') {
        ++start;
    }
    print_text(out, mode, indent, lexer, start, node->end());
}

// Printers of the kinds that are not elements, indexed by NodeKind; the
// element kinds and the root are handled by the tree walkers.
using KindPrinter = void (*)(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer,
                             Node* node);

template <void (*Print)(OutputStream*, uint32_t, Lexer*, Node*)>
void ignore_mode(OutputStream* out, PrintMode, uint32_t indent, Lexer* lexer, Node* node) {
    Print(out, indent, lexer, node);
}

const KindPrinter kind_printers[] = {
    nullptr,                    // RootNode
    ignore_mode<print_doctype>, // DoctypeNode
    print_comment,              // CommentNode
    print_procins,              // ProcInsNode
    print_text_node,            // TextNode
    nullptr,                    // StartTagNode
    nullptr,                    // EndTagNode
    nullptr,                    // StartEndTagNode
    ignore_mode<print_cdata>,   // CDataNode
    print_section,              // SectionNode
    print_asp,                  // AspNode
    print_jste,                 // JsteNode
    print_php,                  // PhpNode
};

KindPrinter kind_printer(const Node* node) {
    const auto k = static_cast<size_t>(node->kind());
    return k < sizeof kind_printers / sizeof kind_printers[0] ? kind_printers[k] : nullptr;
}

// Writes an attribute value with "=" and its quotes, breaking long values
// at their spaces when `wrappable`. In a script attribute a line feed inside
// a quoted string is written as a backslash continuation: the reader turns
// that back into the same line feed, and the script stays valid.
void print_attr_value(OutputStream* out, uint32_t indent, std::string_view value, int delimiter,
                      bool wrappable, bool script = false) {
    const Config& options = *out->options;
    PrintMode mode = PrintAttrValue;
    if (!wrappable) mode |= PrintPreformatted;
    // A server block in a value is copied as it stands, except in XHTML,
    // where "<" in a value is not well-formed.
    if ((value.starts_with("<%") || value.starts_with("<@") || value.starts_with("<?php")) &&
        !(options.output_xml && !options.input_xml)) {
        mode |= PrintCData;
    }
    const uint32_t quote = delimiter == '\'' ? '\'' : '"';

    add_char(out, '=');
    if (!options.output_xml) {
        if (line_fits(out, indent)) {
            set_wrap_point(out);
        } else {
            break_line_at_wrap_point(out, indent);
            if (!line_fits(out, indent)) flush_pending_line(out, indent);
        }
    }
    add_char(out, quote);

    LineBuffer& line = out->line;
    line.in_string = false;
    bool string_at_wrap = false;
    // Where the value begins: a break point before it (in front of the
    // attribute) is an ordinary one, with no space written at the break.
    const uint32_t value_start = line.length;
    const auto* s = reinterpret_cast<const unsigned char*>(value.data());
    const size_t n = value.size();
    // Runs of bytes that print_char would append as they are go in at once;
    // not quotes, which turn the string state over, nor spaces, which make
    // wrap points.
    const uint8_t run_plain = PlainAlways | ((mode & PrintCData) != 0 ? PlainMarkup : 0);
    // The line fits while its length stays below this.
    const int64_t room = static_cast<int64_t>(out->wrap_column) - indent;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t c = s[i];
        if ((plain_byte_classes[c] & run_plain) != 0) {
            size_t run_end = i + 1;
            while (run_end < n && (plain_byte_classes[s[run_end]] & run_plain) != 0)
                ++run_end;
            // As character by character: a wrappable value breaks at its
            // wrap point before a character that finds the line full.
            while (i < run_end) {
                size_t count = run_end - i;
                if (wrappable && static_cast<int64_t>(line.length) >= room) {
                    if (line.wrap_point > 0) {
                        if (line.wrap_point >= value_start) {
                            break_in_attr_value(out, indent, string_at_wrap);
                        } else {
                            break_line_at_wrap_point(out, indent);
                        }
                        continue;
                    }
                } else if (wrappable) {
                    count = static_cast<size_t>(
                        std::min<int64_t>(static_cast<int64_t>(count), room - line.length));
                }
                add_bytes(out, s + i, count);
                i += count;
            }
            --i; // the loop steps to the byte after the run
            continue;
        }
        if (wrappable) {
            if (c == ' ' && line_fits(out, indent)) {
                set_wrap_point(out);
                string_at_wrap = line.in_string;
            }
            if (line.wrap_point > 0 && !line_fits(out, indent)) {
                if (line.wrap_point >= value_start) {
                    break_in_attr_value(out, indent, string_at_wrap);
                } else {
                    break_line_at_wrap_point(out, indent);
                }
            }
        }
        if (c == ' ') {
            add_char(out, c);
        } else if (c == quote) {
            add_string(out, quote == '"' ? "&quot;" : "&#39;");
        } else if (c == '"') {
            add_string(out, options.quote_marks ? "&quot;" : "\"");
            if (quote == '\'') line.in_string = !line.in_string;
        } else if (c == '\'') {
            add_string(out, options.quote_marks ? "&#39;" : "'");
            if (quote == '"') line.in_string = !line.in_string;
        } else {
            const uint32_t code = decode_char_at(s, &i, n);
            if (code == '\n') {
                if (script && line.in_string) add_char(out, '\\');
                flush_line(out, indent);
                line.verbatim = true;
            } else if (code == '&' && bare_ampersand_in_xml(out, s, i, n, mode)) {
                add_string(out, "&amp;");
            } else {
                print_char(out, code, mode);
            }
        }
    }
    line.in_string = false;
    add_char(out, quote);
}

// Attributes whose values XHTML enumerates, and so spells in lower case
// (HTML reads them ignoring case). `element` null: on any element.
struct EnumeratedAttribute {
    const char* attribute;
    const char* element;
    const char* values; // separated by spaces
};

const EnumeratedAttribute enumerated_attributes[] = {
    {"align", nullptr, "left center right justify top middle bottom char"},
    {"valign", nullptr, "top middle bottom baseline"},
    {"method", nullptr, "get post"},
    {"shape", nullptr, "rect circle poly default"},
    {"type", "input", "text password checkbox radio submit reset file hidden image button"},
    {"type", "button", "button submit reset"},
    {"type", "ul", "disc square circle"},
    {"clear", nullptr, "left all right none"},
    {"dir", nullptr, "ltr rtl"},
    {"frame", nullptr, "void above below hsides lhs rhs vsides box border"},
    {"rules", nullptr, "none groups rows cols all"},
    {"scope", nullptr, "row col rowgroup colgroup"},
    {"scrolling", nullptr, "yes no auto"},
    {"valuetype", nullptr, "data ref object"},
    // Boolean attributes: the one value is the attribute's own name.
    {"checked", nullptr, "checked"},
    {"compact", nullptr, "compact"},
    {"declare", nullptr, "declare"},
    {"defer", nullptr, "defer"},
    {"disabled", nullptr, "disabled"},
    {"ismap", nullptr, "ismap"},
    {"multiple", nullptr, "multiple"},
    {"nohref", nullptr, "nohref"},
    {"noresize", nullptr, "noresize"},
    {"noshade", nullptr, "noshade"},
    {"nowrap", nullptr, "nowrap"},
    {"readonly", nullptr, "readonly"},
    {"selected", nullptr, "selected"},
};

// Whether `values` (words separated by spaces) holds `value`, ignoring case.
bool has_value_ignoring_case(const char* values, std::string_view value) {
    for (const char* word = values; *word != '\0';) {
        const char* end = std::strchr(word, ' ');
        const size_t size = end != nullptr ? static_cast<size_t>(end - word) : std::strlen(word);
        if (size == value.size()) {
            bool same = true;
            for (size_t i = 0; i < size && same; ++i) {
                same = to_lower(static_cast<unsigned char>(value[i])) ==
                       static_cast<unsigned char>(word[i]);
            }
            if (same) return true;
        }
        if (end == nullptr) break;
        word = end + 1;
    }
    return false;
}

// For XHTML output: the lower-case spelling of an enumerated attribute's
// value, when the value is one of its enumeration in another case.
bool lower_enumerated_value(const Node* node, const NodeAttribute* attribute,
                            std::string* lowered) {
    const std::string_view value = *attribute->value;
    for (const EnumeratedAttribute& row : enumerated_attributes) {
        if (attribute->name() != row.attribute) continue;
        if (row.element != nullptr && node->element_name() != row.element) continue;
        if (!has_value_ignoring_case(row.values, value)) continue;
        *lowered = lower_ascii(value);
        return *lowered != value;
    }
    return false;
}

// Prints one attribute record (a named attribute or an embedded server
// block) with its leading space.
void print_attribute(OutputStream* out, uint32_t indent, Lexer* lexer, const Node* node,
                     const NodeAttribute* attribute) {
    const Config& options = *out->options;
    if (attribute->name().empty()) {
        if (attribute->asp() != nullptr) {
            add_char(out, ' ');
            print_asp(out, PrintNormal, indent, lexer, attribute->asp());
        } else if (attribute->php() != nullptr) {
            add_char(out, ' ');
            print_php(out, PrintNormal, indent, lexer, attribute->php());
        }
        return;
    }
    uint32_t attr_indent = indent;
    if (options.indent_attributes) {
        flush_line(out, indent);
        attr_indent = indent + indent_step(out);
    }
    if (!line_fits(out, attr_indent)) break_line_at_wrap_point(out, attr_indent);

    const AttrDef* def = definition_of(attribute);
    bool wrappable = false;
    if (!options.output_xml && !options.input_xml && def != nullptr) {
        wrappable = is_script_def(def) ? options.wrap_script_literals
                                       : options.wrap_attributes && !def->nowrap;
    }

    if (line_fits(out, attr_indent)) {
        set_wrap_point(out);
    } else {
        flush_pending_line(out, indent);
    }
    add_char(out, ' ');

    // The names of foreign content keep their case (viewBox).
    add_folded_name(out, attribute->name(), options.uppercase_attributes, is_foreign(node));
    if (!line_fits(out, attr_indent)) break_line_at_wrap_point(out, attr_indent);

    if (attribute->value.has_value()) {
        std::string lowered;
        const bool lower = options.output_xml && !options.input_xml &&
                           lower_enumerated_value(node, attribute, &lowered);
        print_attr_value(out, attr_indent, lower ? std::string_view(lowered) : *attribute->value,
                         attribute->delimiter, wrappable, is_script_def(def));
    } else if (options.output_xml || options.input_xml) {
        print_attr_value(out, attr_indent, attribute->name().view(), attribute->delimiter, true);
    } else if (is_boolean_def(def) || node->tag() == nullptr ||
               (node->tag()->model & ModelUserDefined) != 0) {
        if (line_fits(out, attr_indent)) set_wrap_point(out);
    } else {
        print_attr_value(out, attr_indent, std::string_view(), attribute->delimiter, wrappable);
    }
}

// Prints the attribute list in source order (the list is kept newest
// first), then the xml:space attribute when one is to be added.
// Prints the attributes of a list of more than one, in source order.
void print_attribute_list(OutputStream* out, uint32_t indent, Lexer* lexer, const Node* node) {
    const Config& options = *out->options;
    // The list is walked once into a local array so that a huge list costs
    // no call depth.
    constexpr size_t Inline = 32;
    ShortList<const NodeAttribute*, Inline> list;
    for (const NodeAttribute* a = node->attributes(); a != nullptr; a = a->next)
        list.push_back(a);
    const size_t count = list.size();
    // An attribute stands once in an element: a repeated one (already
    // reported) is left out, the first standing as browsers read it. (XML
    // allows no repeat at all, and no HTML version does either.)
    const bool once = !options.input_xml;
    // A short list is searched for an earlier (already printed) name; a
    // long one keeps the names printed in a set.
    std::unordered_set<std::string_view> printed;
    for (size_t i = count; i > 0; --i) {
        const NodeAttribute* attribute = list[i - 1];
        if (once && !attribute->name().empty()) {
            if (count <= Inline) {
                bool repeated = false;
                for (size_t j = i; j < count && !repeated; ++j)
                    repeated = list[j]->name() == attribute->name();
                if (repeated) continue;
            } else if (!printed.insert(attribute->name()).second) {
                continue;
            }
        }
        print_attribute(out, indent, lexer, node, attribute);
    }
}

void print_attributes(OutputStream* out, uint32_t indent, Lexer* lexer, const Node* node) {
    const Config& options = *out->options;
    if (const NodeAttribute* first = node->attributes(); first != nullptr) {
        // One attribute (the most an element has, as a rule) cannot repeat.
        if (first->next == nullptr) {
            print_attribute(out, indent, lexer, node, first);
        } else {
            print_attribute_list(out, indent, lexer, node);
        }
    }

    if (options.output_xml && options.add_xml_space && preserves_white_space(node) &&
        attribute_named(node, "xml:space") == nullptr) {
        add_string(out, " xml:space=\"preserve\"");
    }
}

// The tree walkers keep their own stack of open elements, so that deep
// documents cost heap, not call depth. Each element is opened (everything
// before its content), its children are visited in order, and it is closed
// (everything after its content) by the rule that opened it.

// What to do when an open element's children are done.
enum class Closing : uint8_t {
    Nothing,        // root, and inline elements printed without tags
    Preformatted,   // pre-like elements, script and style
    Inline,         // inline element, content at the same indent
    InlineIndented, // inline element whose content is indented
    Block,          // every other element of the HTML printer
    XmlElement,     // element of the XML printer
    Foreign,        // svg, math and the elements inside them
};

struct OpenElement {
    Node* node = nullptr;
    // Foreign content (svg, math): element content laid out one element a
    // line, or character data written as it runs.
    bool foreign_layout = false;
    bool foreign_runs_on = false;
    Node* next_child = nullptr;
    PrintMode child_mode = PrintNormal;
    uint32_t indent = 0;       // the element's own indentation
    uint32_t child_indent = 0; // the indentation of its content
    Closing closing = Closing::Nothing;
    bool blank_before_blocks = false; // a block after text starts after a blank line
    bool xml_runs_on = false;         // an XML element whose content is written as it runs
    bool xml_inline = false;          // an XML element inside such content
    bool xml_has_next = false;        // an XML element followed by a printed sibling
};

struct Walk {
    OutputStream* out;
    Lexer* lexer;
    std::vector<OpenElement> open;

    void push(Node* node, PrintMode child_mode, uint32_t indent, uint32_t child_indent,
              Closing closing) {
        OpenElement e;
        e.node = node;
        e.next_child = node->first_child();
        e.child_mode = child_mode;
        e.indent = indent;
        e.child_indent = child_indent;
        e.closing = closing;
        open.push_back(e);
    }
};

// Rule for elements without content (br, img, hr, ...).
void print_empty_element(Walk& w, PrintMode mode, uint32_t indent, Node* node) {
    OutputStream* const out = w.out;
    const Config& options = *out->options;
    TagPtr tag = node->tag();
    if ((model_of(node) & ModelInline) == 0) flush_pending_line(w.out, indent);
    // In preformatted content every line end is one the browser shows: a br
    // there is the line break, and no line end goes before or after it.
    const bool preformatted = (mode & PrintPreformatted) != 0;
    if (tag == tag_br && options.break_before_br && !preformatted && node->prev() != nullptr &&
        node->prev()->tag() != tag_br) {
        flush_line(w.out, indent);
    }
    if (options.clean && tag == tag_wbr) {
        print_char(out, ' ', mode);
    } else {
        print_tag(w.lexer, w.out, mode, indent, node);
    }
    if (tag == tag_param || tag == tag_area) {
        flush_pending_line(w.out, indent);
    } else if ((tag == tag_br && !preformatted) || tag == tag_hr) {
        flush_line(w.out, indent);
    }
}

// Pre-like elements, script and style: written from column 0, content never
// wrapped.
// True when `node` is text or an inline element other than a script: a line
// end between it and a script next to it would read back as a space that
// the source did not have ("one<script>...</script>two").
bool is_running_text(const Node* node) {
    if (node == nullptr) return false;
    if (node->kind() == TextNode) return true;
    return node->tag() != nullptr && (node->tag()->model & ModelInline) != 0 &&
           node->tag() != tag_script && node->tag() != tag_style;
}

// A script or style element amid running text stays on the line of the
// text before it and lets the text after it follow its end tag.
bool is_script_in_text(const Node* node) {
    return node->tag() != nullptr && (node->tag() == tag_script || node->tag() == tag_style) &&
           (is_running_text(node->prev()) || is_running_text(node->next));
}

// Whether the text of a script or style element must be put in a CDATA
// section to be read back as it stands in XML: it holds "<" or "&" (markup
// to an XML reader), or "]]>", outside the CDATA sections it already has.
bool needs_cdata(const Lexer* lexer, const Node* element) {
    constexpr std::string_view open = "<![CDATA[";
    constexpr std::string_view close = "]]>";
    for (const Node* child = element->first_child(); child != nullptr; child = child->next) {
        if (child->kind() != TextNode) continue;
        const uint32_t end = std::min<uint32_t>(child->end(), lexer->text_length());
        const std::string_view text(lexer->text.data() + child->start,
                                    end > child->start ? end - child->start : 0);
        for (size_t i = 0; i < text.size(); ++i) {
            if (text.substr(i, open.size()) == open) {
                const size_t stop = text.find(close, i + open.size());
                if (stop == std::string_view::npos) return true;
                i = stop + close.size() - 1;
            } else if (text[i] == '<' || text[i] == '&' || text.substr(i, close.size()) == close) {
                return true;
            }
        }
    }
    return false;
}

// Writes the text children of a script or style inside a CDATA section
// whose markers are hidden from the script or style language by its
// comments; a "]]>" in the text is split across two sections.
void print_cdata_content(Walk& w, PrintMode mode, const Node* element) {
    OutputStream* const out = w.out;
    const bool script = element->tag() == tag_script;
    add_string(out, script ? "//<![CDATA[" : "/*<![CDATA[*/");
    flush_line(w.out, 0);
    for (const Node* child = element->first_child(); child != nullptr; child = child->next) {
        if (child->kind() != TextNode) continue;
        const uint32_t end = std::min<uint32_t>(child->end(), w.lexer->text_length());
        uint32_t from = child->start;
        for (uint32_t i = child->start; i + 2 < end; ++i) {
            if (w.lexer->text.compare(i, 3, "]]>") != 0) continue;
            print_text(w.out, mode, 0, w.lexer, from, i + 2);
            add_string(out, "]]><![CDATA[");
            from = i + 2;
        }
        print_text(w.out, mode, 0, w.lexer, from, end);
    }
    flush_pending_line(w.out, 0);
    add_string(out, script ? "//]]>" : "/*]]>*/");
    flush_line(w.out, 0);
}

// Whether a pre-like element is written with XML's reading of its content:
// every character between the tags is content, the line ends next to them
// included, so none is added there.
bool has_exact_edges(const OutputStream* out, const Lexer* lexer, const Node* node) {
    return (out->options->output_xml || lexer->is_xhtml) && is_preformatted_element(node);
}

void open_preformatted(Walk& w, PrintMode mode, uint32_t indent, Node* node,
                       PrintMode content_mode) {
    OutputStream* const out = w.out;
    const Config& options = *out->options;
    if (has_exact_edges(w.out, w.lexer, node)) {
        flush_pending_line(w.out, indent);
        print_tag(w.lexer, w.out, mode | PrintPreformatted, 0, node);
        // An HTML page made XHTML: browsers reading it as HTML drop a line
        // feed right after <pre>, so content that begins with one gets one
        // more, which they drop. (A document that is XHTML already keeps
        // that line feed as content, and is written as it stands.)
        const Node* first = node->first_child();
        if (!w.lexer->is_xhtml && first != nullptr && first->kind() == TextNode &&
            first->start < first->end() && first->start < w.lexer->text_length() &&
            w.lexer->text[first->start] == '\n') {
            flush_line(w.out, 0);
        }
        w.push(node, mode | content_mode, indent, 0, Closing::Preformatted);
        return;
    }
    // A script that follows text on its line ends that line, which keeps
    // the indentation of the text.
    const bool after_text = is_script_in_text(node) && is_running_text(node->prev());
    if (!after_text) flush_pending_line(w.out, indent);
    print_tag(w.lexer, w.out, mode, after_text ? indent : 0, node);
    flush_line(w.out, after_text ? indent : 0);
    w.push(node, mode | content_mode, indent, 0, Closing::Preformatted);
    // In XHTML, script and style text with markup characters goes into a
    // CDATA section, written here in one piece.
    if (options.output_xml && (content_mode & PrintCData) != 0 && needs_cdata(w.lexer, node)) {
        print_cdata_content(w, mode | content_mode, node);
        w.open.back().next_child = nullptr;
    }
}

// True when the last text inside `node` (however deep) ends with a line
// feed.
bool content_ends_with_line_feed(const Lexer* lexer, const Node* node) {
    const Node* last = node->last_child();
    while (last != nullptr && last->kind() != TextNode && last->last_child() != nullptr)
        last = last->last_child();
    return last != nullptr && last->kind() == TextNode && last->end() > last->start &&
           last->end() <= lexer->text_length() && lexer->text[last->end() - 1] == '\n';
}

void close_preformatted(Walk& w, const OpenElement& e) {
    OutputStream* const out = w.out;
    if (has_exact_edges(w.out, w.lexer, e.node)) {
        print_end_tag(w.out, e.node);
        flush_line(w.out, 0);
        if (!indent_content_on(out) && e.node->next != nullptr) flush_line(w.out, 0);
        return;
    }
    // The end tag goes on a line of its own, unless the content's last line
    // feed has already ended the text and only end tags of inline elements
    // wait on the line: another line end there would be an empty line more.
    if (!content_ends_with_line_feed(w.lexer, e.node)) flush_pending_line(w.out, 0);
    // A script amid text ends its line with the text that follows, and
    // that line is not indented: its start belongs to the script.
    if (is_script_in_text(e.node)) out->line.verbatim = true;
    print_end_tag(w.out, e.node);
    if (is_script_in_text(e.node) && is_running_text(e.node->next)) return;
    flush_line(w.out, 0);
    if (!indent_content_on(out) && e.node->next != nullptr) flush_line(w.out, 0);
}

void open_inline(Walk& w, PrintMode mode, uint32_t indent, Node* node) {
    OutputStream* const out = w.out;
    const Config& options = *out->options;
    if (options.clean && node->tag() == tag_font) {
        w.push(node, mode, indent, indent, Closing::Nothing);
    } else if (options.clean && node->tag() == tag_nobr) {
        w.push(node, mode | PrintNoWrap, indent, indent, Closing::Nothing);
    } else if (node->tag() == tag_textarea) {
        // A text area's content is the field's value: it is written as it
        // stands, never wrapped, and its line ends get no indentation.
        // (Its start tag must not end the line either: a line end there
        // would be read back as part of the value.)
        print_tag(w.lexer, w.out, mode | PrintPreformatted, indent, node);
        w.push(node, mode | PrintPreformatted, indent, 0, Closing::Inline);
    } else {
        print_tag(w.lexer, w.out, mode, indent, node);
        if (indents_content(out, node)) {
            flush_pending_line(w.out, indent);
            w.push(node, mode, indent, indent + indent_step(out), Closing::InlineIndented);
        } else {
            w.push(node, mode, indent, indent, Closing::Inline);
        }
    }
}

// Whether any text directly inside the element holds a line feed.
bool has_line_feed(const Lexer* lexer, const Node* element) {
    for (const Node* child = element->first_child(); child != nullptr; child = child->next) {
        if (child->kind() != TextNode) continue;
        for (uint32_t i = child->start; i < child->end() && i < lexer->text_length(); ++i) {
            if (lexer->text[i] == '\n') return true;
        }
    }
    return false;
}

void close_inline(Walk& w, const OpenElement& e) {
    if (e.closing == Closing::InlineIndented) {
        flush_pending_line(w.out, e.child_indent);
        flush_pending_line(w.out, e.indent);
    }
    print_end_tag(w.out, e.node);
    // The last line of a text area's value ends here, written from column
    // 0 like the lines before it: left pending, it would take the
    // indentation of whatever ends the line later, inside the value.
    if (e.node->tag() == tag_textarea && has_line_feed(w.lexer, e.node)) flush_line(w.out, 0);
}

// html-model elements, noframes and head elements other than title end
// the line after their start tag.
bool has_own_tag_lines(const Node* node) {
    const ContentModelBits model = model_of(node);
    return (model & ModelHtml) != 0 || node->tag() == tag_noframes ||
           ((model & ModelHead) != 0 && node->tag() != tag_title);
}

void open_block(Walk& w, PrintMode mode, uint32_t indent, Node* node) {
    OutputStream* const out = w.out;
    const Config& options = *out->options;
    const ContentModelBits model = model_of(node);
    const uint32_t step = indent_step(out);
    const bool indents = indents_content(out, node);

    flush_pending_line(w.out, indent);
    if (options.smart_indent && node->prev() != nullptr) flush_line(w.out, indent);

    if (!(options.hide_endtags && (model & ModelOptionalStart) != 0)) {
        print_tag(w.lexer, w.out, mode, indent, node);
        if (indents) {
            flush_pending_line(w.out, indent);
        } else if (has_own_tag_lines(node)) {
            flush_line(w.out, indent);
        }
    }

    const uint32_t child_indent = indents ? indent + step : indent;
    w.push(node, mode, indent, child_indent, Closing::Block);
    if (out->slides != nullptr && node == out->slides->body && node != nullptr && options.split) {
        // The slide printer writes this slide's share of the content.
        w.open.back().next_child = nullptr;
        print_slide(w.out, mode, indent_content_on(out) ? indent + step : indent, w.lexer);
    } else {
        w.open.back().blank_before_blocks = !indent_content_on(out);
    }
}

void close_block(Walk& w, const OpenElement& e) {
    OutputStream* const out = w.out;
    const Config& options = *out->options;
    Node* node = e.node;
    const ContentModelBits model = model_of(node);
    const uint32_t indent = e.indent;
    const uint32_t step = indent_step(out);
    const bool hide = options.hide_endtags;
    const bool end_hidden = hide && (model & ModelOptionalEnd) != 0;

    if (indents_content(out, node)) {
        flush_pending_line(w.out, indent + step);
        if (!end_hidden) {
            print_end_tag(out, node);
            flush_line(w.out, indent);
        }
    } else {
        if (!hide && has_own_tag_lines(node)) {
            flush_pending_line(w.out, indent_content_on(out) ? indent + step : indent);
        }
        if (!end_hidden) print_end_tag(out, node);
        flush_line(w.out, indent);
    }

    if (!indent_content_on(out) && !hide && node->next != nullptr &&
        (model & (ModelBlock | ModelList | ModelDefList | ModelTable)) != 0) {
        flush_line(w.out, indent);
    }
}

bool is_layout_text(const Lexer* lexer, const Node* node);
bool holds_character_data(const Lexer* lexer, const Node* element);

// svg, math and their elements, laid out as XML is: an element that holds
// only elements has each of them on a line of its own, one step deeper,
// and its end tag on a line of its own (line ends there are white space
// between elements, which the drawing does not show); one that holds
// character data is written as it runs. svg and math themselves stand in
// the text where they are.
void open_foreign(Walk& w, PrintMode mode, uint32_t indent, Node* node) {
    OutputStream* const out = w.out;
    const OpenElement* parent = w.open.empty() ? nullptr : &w.open.back();
    const bool in_layout = parent != nullptr && parent->foreign_layout;
    const bool runs_on =
        (parent != nullptr && parent->foreign_runs_on) || (mode & PrintPreformatted) != 0;
    if (in_layout) flush_pending_line(w.out, indent);
    print_tag(w.lexer, w.out, (in_layout || runs_on) ? mode | PrintPreformatted : mode, indent,
              node);
    if (node->kind() != StartTagNode) return;
    const bool layout =
        !runs_on && node->first_child() != nullptr && !holds_character_data(w.lexer, node);
    // (The line of svg's start tag is that of the text it stands in.)
    if (layout) flush_line(w.out, indent);
    w.push(node, mode, indent, layout ? indent + indent_step(out) : indent, Closing::Foreign);
    w.open.back().foreign_layout = layout;
    w.open.back().foreign_runs_on = !layout;
}

void close_foreign(Walk& w, const OpenElement& e) {
    if (e.foreign_layout) flush_pending_line(w.out, e.child_indent);
    print_end_tag(w.out, e.node);
}

// Prints a node of the HTML printer; an element is opened and pushed.
void open_html_node(Walk& w, PrintMode mode, uint32_t indent, Node* node) {
    OutputStream* const out = w.out;
    if (node->kind() == RootNode) {
        w.push(node, mode, indent, indent, Closing::Nothing);
        return;
    }
    if (!w.open.empty() && w.open.back().foreign_layout && is_layout_text(w.lexer, node)) return;
    if (is_foreign(node) && node->kind() != EndTagNode) {
        open_foreign(w, mode, indent, node);
        return;
    }
    if (KindPrinter print = kind_printer(node); print != nullptr) {
        print(w.out, mode, indent, w.lexer, node);
        // Spaces inside an instruction or a server block mark places to
        // break the line; in preformatted content no line is broken.
        if ((mode & PrintPreformatted) != 0) out->line.wrap_point = 0;
        return;
    }
    const ContentModelBits model = model_of(node);
    if (node->kind() == EndTagNode) {
        print_tag(w.lexer, w.out, mode, indent, node);
    } else if (node->kind() == StartEndTagNode || (model & ModelEmpty) != 0) {
        print_empty_element(w, mode, indent, node);
    } else if (is_preformatted_element(node)) {
        open_preformatted(w, mode, indent, node, PrintPreformatted | PrintNoWrap);
    } else if (node->tag() != nullptr && (node->tag() == tag_script || node->tag() == tag_style)) {
        open_preformatted(w, mode, indent, node, PrintPreformatted | PrintNoWrap | PrintCData);
    } else if ((model & ModelInline) != 0) {
        open_inline(w, mode, indent, node);
    } else {
        open_block(w, mode, indent, node);
    }
}

void close_html_element(Walk& w, const OpenElement& e) {
    switch (e.closing) {
    case Closing::Preformatted:
        close_preformatted(w, e);
        break;
    case Closing::Inline:
    case Closing::InlineIndented:
        close_inline(w, e);
        break;
    case Closing::Block:
        close_block(w, e);
        break;
    case Closing::Foreign:
        close_foreign(w, e);
        break;
    case Closing::Nothing:
    case Closing::XmlElement:
        break;
    }
}

// Whether a text node holds anything but white space.
bool has_words(const Lexer* lexer, const Node* text) {
    for (uint32_t i = text->start; i < text->end() && i < lexer->text_length(); ++i) {
        if (!is_white(static_cast<unsigned char>(lexer->text[i]))) return true;
    }
    return false;
}

// An XML element holds character data when a child is text with words in
// it or a CDATA section. Its content is then written as it runs, with no
// line end added between its parts: one added next to a word would put a
// space into the data ("<b>big</b>!" read back as "big !").
bool holds_character_data(const Lexer* lexer, const Node* element) {
    for (const Node* child = element->first_child(); child != nullptr; child = child->next) {
        if (child->kind() == CDataNode) return true;
        if (child->kind() == TextNode && has_words(lexer, child)) return true;
    }
    return false;
}

// In element content, text made of white space alone is layout: the line
// ends and indentation of the printer stand in for it.
bool is_layout_text(const Lexer* lexer, const Node* node) {
    return node->kind() == TextNode && !has_words(lexer, node);
}

// The next sibling that is printed in element content.
const Node* next_printed(const Lexer* lexer, const Node* node) {
    const Node* next = node->next;
    while (next != nullptr && is_layout_text(lexer, next))
        next = next->next;
    return next;
}

// Writes a node inside running XML content: no line end is added before or
// after it, and an element's content runs on in the same way.
void open_xml_inline(Walk& w, PrintMode mode, Node* node) {
    OutputStream* const out = w.out;
    switch (node->kind()) {
    case CommentNode:
        // As print_comment, but no place to break the line.
        add_string(out, "<!--");
        print_text_span(w.out, PrintComment, 0, w.lexer, node);
        add_char(out, '>');
        if (node->newline_after) flush_line(w.out, 0);
        return;
    case ProcInsNode:
        print_procins(w.out, mode | PrintPreformatted, 0, w.lexer, node);
        return;
    case CDataNode: {
        const int32_t saved = out->wrap_column;
        out->wrap_column = NoWrapColumn;
        add_string(out, "<![CDATA[");
        print_text_span(w.out, PrintComment, 0, w.lexer, node);
        add_string(out, "]]>");
        out->wrap_column = saved;
        return;
    }
    case StartTagNode:
    case StartEndTagNode:
    case EndTagNode:
        break;
    default:
        if (KindPrinter print = kind_printer(node); print != nullptr) {
            print(w.out, mode, 0, w.lexer, node);
        }
        return;
    }
    // The tag is written where it stands: PrintPreformatted keeps
    // print_tag from breaking the line after it.
    print_tag(w.lexer, w.out, mode | PrintPreformatted, 0, node);
    if (node->kind() != StartTagNode || (model_of(node) & ModelEmpty) != 0) return;
    // Space the element preserves is content, never a place to break.
    const PrintMode child_mode = preserves_white_space(node) ? mode | PrintPreformatted : mode;
    w.push(node, child_mode, 0, 0, Closing::XmlElement);
    w.open.back().xml_runs_on = true;
    w.open.back().xml_inline = true;
}

void open_xml_node(Walk& w, PrintMode mode, uint32_t indent, Node* node) {
    OutputStream* const out = w.out;
    if (node->kind() == RootNode) {
        w.push(node, mode, indent, indent, Closing::Nothing);
        return;
    }
    // Inside running content (character data, or space the document
    // preserves) every line end and space is the document's own.
    if (!w.open.empty() && w.open.back().xml_runs_on) {
        open_xml_inline(w, mode, node);
        return;
    }
    switch (node->kind()) {
    case TextNode:
        if (is_layout_text(w.lexer, node)) return;
        break;
    case CommentNode:
        // Comments between elements stand at column 0.
        flush_pending_line(w.out, indent);
        print_comment(w.out, mode, 0, w.lexer, node);
        flush_pending_line(w.out, 0);
        return;
    default:
        break;
    }
    if (KindPrinter print = kind_printer(node); print != nullptr) {
        print(w.out, mode, indent, w.lexer, node);
        return;
    }
    const bool has_next = next_printed(w.lexer, node) != nullptr;
    if (node->kind() != StartTagNode || (model_of(node) & ModelEmpty) != 0) {
        flush_pending_line(w.out, indent);
        print_tag(w.lexer, w.out, mode, indent, node);
        flush_line(w.out, indent);
        if (has_next) flush_line(w.out, indent);
        return;
    }
    flush_pending_line(w.out, indent);
    const bool preserve = preserves_white_space(node);
    if (preserve || holds_character_data(w.lexer, node)) {
        // Written from column 0, its content running on from the start tag
        // to the end tag exactly as it stands (preserved space) or wrapped
        // at its own spaces (other character data).
        print_tag(w.lexer, w.out, mode | PrintPreformatted, 0, node);
        w.push(node, preserve ? mode | PrintPreformatted : mode, 0, 0, Closing::XmlElement);
        w.open.back().xml_runs_on = true;
        w.open.back().xml_has_next = has_next;
        return;
    }
    // Element content: each child on its own lines, one step deeper.
    print_tag(w.lexer, w.out, mode, indent, node);
    flush_line(w.out, indent);
    w.push(node, mode, indent, indent + indent_step(out), Closing::XmlElement);
    w.open.back().xml_has_next = has_next;
}

void close_xml_element(Walk& w, const OpenElement& e) {
    if (e.closing != Closing::XmlElement) return;
    if (e.xml_inline) {
        print_end_tag(w.out, e.node);
        return;
    }
    if (!e.xml_runs_on) flush_pending_line(w.out, e.child_indent);
    print_end_tag(w.out, e.node);
    flush_pending_line(w.out, e.indent);
    if (e.xml_has_next) flush_line(w.out, e.indent);
}

using OpenFn = void (*)(Walk& w, PrintMode mode, uint32_t indent, Node* node);
using CloseFn = void (*)(Walk& w, const OpenElement& e);

// Visits the subtree of `node` in document order with an explicit stack.
void walk(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer, Node* node,
          OpenFn open_node, CloseFn close_element) {
    if (node == nullptr) return;
    set_wrap_column(out);
    Walk w{out, lexer, {}};
    open_node(w, mode, indent, node);
    while (!w.open.empty()) {
        OpenElement& top = w.open.back();
        Node* child = top.next_child;
        if (child == nullptr) {
            const OpenElement done = top;
            w.open.pop_back();
            close_element(w, done);
            continue;
        }
        top.next_child = child->next;
        if (top.blank_before_blocks && (model_of(child) & ModelBlock) != 0 &&
            child->prev() != nullptr && child->prev()->kind() == TextNode &&
            !is_script_in_text(child)) {
            // The text's line ends and an empty line follows.
            flush_line(out, top.indent);
            flush_line(out, top.indent);
        }
        // `top` may move when the child is pushed: copy what is needed.
        const PrintMode child_mode = top.child_mode;
        const uint32_t child_indent = top.child_indent;
        open_node(w, child_mode, child_indent, child);
    }
}

} // namespace

void print_tree(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer, Node* node) {
    out->entity_names_undeclared = lexer != nullptr && lexer->writes_html5;
    walk(out, mode, indent, lexer, node, open_html_node, close_html_element);
}

void print_xml_tree(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer, Node* node) {
    walk(out, mode, indent, lexer, node, open_xml_node, close_xml_element);
}

void print_tag(Lexer* lexer, OutputStream* out, PrintMode mode, uint32_t indent, Node* node) {
    const Config& options = *out->options;
    const ContentModelBits model = model_of(node);
    add_char(out, '<');
    if (node->kind() == EndTagNode) add_char(out, '/');
    add_folded_name(out, node->element_name(), options.uppercase_tags, is_foreign(node));
    print_attributes(out, indent, lexer, node);
    // An element of foreign content written "<path/>" is empty only while
    // the slash is there, in HTML too.
    if ((options.output_xml || lexer->is_xhtml || (is_foreign(node) && !options.input_xml)) &&
        (node->kind() == StartEndTagNode || (model & ModelEmpty) != 0)) {
        add_string(out, " /");
    }
    add_char(out, '>');

    // An empty HTML element is laid out alike however the source wrote it
    // (`<img>` or `<img />`), so that a second run over XHTML output keeps
    // the line ends of the first.
    if ((mode & PrintPreformatted) != 0 ||
        (node->kind() == StartEndTagNode && (is_foreign(node) || (model & ModelEmpty) == 0))) {
        return;
    }
    const bool after_white = follows_white_space(lexer, node);
    // A line end after a no-break space would show as a second space.
    const bool after_collapsible = after_white && follows_white_space(lexer, node, false);
    if (!line_fits(out, indent)) {
        break_line_at_wrap_point(out, indent);
        // The line is still too long. A line end right after the tag reads
        // back as white space at the start of its content: nothing for a
        // block or a br, but inside a word (`DIR_<var>LIBRARY`) it would
        // split it; such a line is left long. After an inline element
        // without content, such as an image or a field, the line end stands
        // between it and what follows, so that must be white space or the
        // end of a block.
        const bool harmless = (model & ModelEmpty) != 0 ? white_space_at(lexer, node, Side::After)
                                                        : after_collapsible;
        // (A br ends its line right after this anyway.)
        if (node->tag() == tag_br) return;
        if (!line_fits(out, indent) &&
            ((model & ModelInline) == 0 || (harmless && (mode & PrintNoWrap) == 0))) {
            flush_pending_line(out, indent);
            return;
        }
    }
    if (!after_white || (mode & PrintNoWrap) != 0) return;
    // After a block or a br a line end is only white space at the start of
    // a line. (After an image that ends a link it would be a space shown
    // between the image and whatever follows the link.)
    if ((model & ModelInline) == 0 || node->tag() == tag_br) set_wrap_point(out);
}

void print_end_tag(OutputStream* out, Node* node) {
    const Config& options = *out->options;
    add_string(out, "</");
    add_folded_name(out, node->element_name(), options.uppercase_tags, is_foreign(node));
    add_char(out, '>');
}

bool indents_content(const OutputStream* out, const Node* node) {
    const Config& options = *out->options;
    if (!indent_content_on(out)) return false;
    const ContentModelBits model = model_of(node);
    if (options.smart_indent) {
        if (node->first_child() != nullptr && (model & ModelNoIndent) != 0) {
            for (const Node* child = node->first_child(); child != nullptr; child = child->next) {
                if ((model_of(child) & ModelBlock) != 0) return true;
            }
            return false;
        }
        if ((model & ModelHeading) != 0 || node->tag() == tag_p || node->tag() == tag_title) {
            return false;
        }
    }
    if ((model & (ModelField | ModelObject)) != 0) return true;
    if (node->tag() != nullptr && node->tag() == tag_map) return true;
    return (model & ModelInline) == 0;
}

bool follows_white_space(Lexer* lexer, const Node* node, bool nbsp_counts) {
    for (const Node* n = node; n != nullptr; n = n->parent) {
        if ((model_of(n) & ModelInline) == 0) return true;
        const Node* prev = n->prev();
        if (prev == nullptr) continue;
        if (prev->kind() != TextNode || prev->end() <= prev->start ||
            prev->end() > lexer->text_length()) {
            return false;
        }
        const auto last = static_cast<unsigned char>(lexer->text[prev->end() - 1]);
        if (last == ' ' || last == '\n') return true;
        if (!nbsp_counts) return false;
        // A no-break space is stored as the UTF-8 bytes C2 A0; a lone A0
        // byte ends other letters (U+00E0 is C3 A0) and is no white space.
        return last == 0xA0 && prev->end() - prev->start >= 2 &&
               static_cast<unsigned char>(lexer->text[prev->end() - 2]) == 0xC2;
    }
    return true;
}

bool preserves_white_space(const Node* node) {
    if (const NodeAttribute* space = attribute_named(node, "xml:space"); space != nullptr) {
        return space->value.has_value() && *space->value == "preserve";
    }
    const char* name = node->element_name().c_str();
    if (equals_ignore_case(name, "pre") || equals_ignore_case(name, "script") ||
        equals_ignore_case(name, "style") || equals_ignore_case(name, "xsl:text")) {
        return true;
    }
    return is_preformatted_element(node);
}

} // namespace varnel
