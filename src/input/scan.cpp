// Character references and start-tag attributes.
#include "input/scan.h"

#include "base/config.h"
#include "model/reports.h"
#include "input/lexer.h"
#include "input/stream.h"
#include "model/attrs.h"
#include "model/entities.h"
#include "model/node.h"

namespace varnel {

namespace {

void truncate_text(Lexer* lexer, uint32_t length) {
    lexer->text.resize(length);
}

inline void add_code(Lexer* lexer, int c) {
    if (c >= 0 && c < 0x80) {
        lexer->text.push_back(static_cast<char>(c));
    } else {
        append_char(lexer, static_cast<uint32_t>(c));
    }
}

// Appends bytes taken from the input as they are (printable ASCII).
inline void add_bytes(Lexer* lexer, std::string_view bytes) {
    lexer->text.append(bytes);
}

// Reports an entity message at the position of its "&". The token keeps its
// own position: later messages about the same tag or text (an attribute
// check, a misplaced text) still point at the token.
void report_entity_at(Lexer* lexer, uint32_t line, uint32_t column, EntityMessage code,
                      const char* entity) {
    const uint32_t saved_line = lexer->token_line;
    const uint32_t saved_column = lexer->token_column;
    lexer->token_line = line;
    lexer->token_column = column;
    report_entity_warning(lexer, code, entity);
    lexer->token_line = saved_line;
    lexer->token_column = saved_column;
}

// How a byte of an attribute value is taken in a run (see
// scan_plain_value): 0 a character that is copied, 1 a space, 2 a byte that
// ends the run. Tables for values in double quotes, in single quotes and
// unquoted. In a quoted value the run takes anything printable but the
// quote mark, markup ("<", ">"), escapes, references and a second space;
// unquoted, no space at all, nor quote marks or "/".
constexpr std::array<uint8_t, 256> make_value_run_classes(int delimiter) {
    std::array<uint8_t, 256> t{};
    for (int b = 0; b < 256; ++b) {
        const bool stop = b == delimiter || b == '<' || b == '>' || b == '\\' || b == '&' ||
                          b < 0x20 || b > 0x7E ||
                          (delimiter == 0 && (b == '"' || b == '\'' || b == '/' || b == ' '));
        t[b] = stop ? 2 : b == ' ' ? 1 : 0;
    }
    return t;
}
constexpr std::array<uint8_t, 256> value_run_classes[3] = {
    make_value_run_classes('"'), make_value_run_classes('\''), make_value_run_classes(0)};

// Reads "<?...?>" or "<%...%>" among the attributes. Returns false when the
// block is empty (the attribute list then ends).
bool scan_embedded_block(Lexer* lexer, int opener, NodeAttribute** list) {
    InputStream* in = lexer->input;
    lexer->text_start = lexer->text_length();
    bool closed = false;
    int prev = 0;
    for (;;) {
        int c = read_char(in);
        if (c == EndOfStream) {
            unread_char(c, in);
            break;
        }
        add_code(lexer, c);
        if (prev == opener && c == '>') {
            closed = true;
            break;
        }
        prev = c;
    }
    if (closed) truncate_text(lexer, lexer->text_length() - 2);
    lexer->text_end = lexer->text_length();
    if (lexer->text_end == lexer->text_start) {
        lexer->text_start = lexer->text_length();
        return false;
    }
    Node* block = new_token_node(lexer, opener == '?' ? PhpNode : AspNode);
    lexer->attribute_blocks.push_back(block);
    lexer->text_start = lexer->text_end;
    NodeAttribute* attribute = new_block_attribute(block);
    attribute->next = *list;
    *list = attribute;
    return true;
}

// What scan_attribute_name returns when the character after the name is
// still to be read.
constexpr int NothingPending = -2;

// Appends to the TextBuffer an attribute name that begins with `first`
// (the caller notes where it starts: `name_start`). Returns the
// character that ended it, when that is "=", ">", "<" or the end of input,
// and NothingPending when it was white space or "/>" follows (the caller
// reads on). Sets *valid when the name is one: a letter followed by name
// characters.
int scan_attribute_name(Lexer* lexer, int first, bool* is_empty, bool* valid) {
    InputStream* in = lexer->input;
    bool xml = lexer->options.input_xml;
    std::string& text = lexer->text;
    const size_t name_start = text.size();
    // Whether the characters stored one at a time keep the name valid (those
    // taken in runs are name characters).
    bool fits = is_letter(first);
    int c = first;
    for (;;) {
        if (c == '=' || c == '>' || c == '<' || c == EndOfStream) {
            *valid = fits && text.size() > name_start;
            return c;
        }
        if (is_white(c)) break;
        // "/>" right after a name ends the tag as empty, as it does after a
        // value: `<input checked/>` keeps its attribute.
        if (c == '/' && text.size() > name_start) {
            int next = read_char(in);
            unread_char(next, in);
            if (next == '>') {
                *is_empty = true;
                break;
            }
        }
        if (text.size() > name_start && !is_name_char(c)) fits = false;
        int folded = xml ? c : to_lower(c);
        if (folded < 0x80) {
            text.push_back(static_cast<char>(folded));
        } else {
            unsigned char bytes[8];
            unsigned char* end = encode_utf8(bytes, static_cast<uint32_t>(folded));
            text.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(end - bytes));
        }
        // Letters, digits and the like that follow go in at once.
        bool capitals = false;
        const std::string_view run = take_name_run(in, &capitals);
        if (!run.empty()) {
            const size_t from = text.size();
            text.append(run);
            if (capitals && !xml)
                lower_ascii_in_place(text.data() + from, text.data() + text.size());
        }
        c = read_char(in);
    }
    *valid = fits && text.size() > name_start;
    return NothingPending;
}

// Where the name of the attribute being read stands in the TextBuffer (the
// buffer may move while its value is read).
struct NameSpan {
    uint32_t start;
    uint32_t size;
    std::string str(const Lexer* lexer) const { return lexer->text.substr(start, size); }
};

// Reports a quoted value that the end of input cut off, at its opening quote
// mark: the rest of the page went into it. When it took in markup (a ">"),
// the missing quote mark is an error, so that the page is not written out
// with its end buried in an attribute value.
void report_unclosed_value(Lexer* lexer, const std::string& name, bool seen_gt, uint32_t line,
                           uint32_t column) {
    const uint32_t saved_line = lexer->token_line;
    const uint32_t saved_column = lexer->token_column;
    lexer->token_line = line;
    lexer->token_column = column;
    report_attribute_warning(lexer, lexer->last_token, name.c_str(), UnclosedValue);
    if (seen_gt) report_error(lexer, nullptr, lexer->last_token, MissingQuotemark);
    lexer->token_line = saved_line;
    lexer->token_column = saved_column;
}

// Reads a quoted (delimiter '"' or '\'') or unquoted (delimiter 0) value
// into the TextBuffer from `saved` on; a quoted value's opening quote mark
// stands at `open_line`, `open_column`. Returns true when the end of input
// cut it off (already reported).
bool scan_plain_value(Lexer* lexer, NameSpan name, int delimiter, bool* is_empty,
                      uint32_t open_line, uint32_t open_column) {
    InputStream* in = lexer->input;
    int last = 0;       // last character stored
    uint32_t marks = 0; // line feeds, "<" and ">" in a quoted value
    bool seen_gt = false;
    bool cut_off = false;
    uint32_t saved = lexer->text_length();
    for (;;) {
        int c = read_char(in);
        if (c == EndOfStream) {
            report_attribute_warning(lexer, lexer->last_token, nullptr, EofInAttributes);
            unread_char(c, in);
            cut_off = true;
            break;
        }
        if (delimiter != 0) {
            if (c == delimiter) break;
            if (c == '\n' || c == '<' || c == '>') ++marks;
            if (c == '>') seen_gt = true;
        } else {
            if (c == '"' || c == '\'') {
                report_attribute_warning(lexer, lexer->last_token, nullptr, UnexpectedQuote);
                break;
            }
            if (c == '/') {
                int d = read_char(in);
                if (d == '>' && !is_url_attribute(name.str(lexer).c_str())) {
                    *is_empty = true;
                    unread_char(d, in);
                    break;
                }
                unread_char(d, in);
                add_code(lexer, c);
                last = c;
                continue;
            }
            if (c == '<') {
                report_attribute_warning(lexer, lexer->last_token, nullptr, MissingGt);
            } else if (c == '>') {
                unread_plain_char(c, in);
                break;
            }
        }
        if (c == '\\') {
            int d = read_char(in);
            if (d == '\n') {
                add_code(lexer, '\n');
                last = '\n';
            } else {
                add_code(lexer, c);
                last = c;
                unread_char(d, in);
            }
            continue;
        }
        if (c == '&') {
            add_code(lexer, c);
            scan_entity(lexer, TrimSpace);
            last = static_cast<unsigned char>(lexer->text.back());
            continue;
        }
        if (c < 128 && is_white(c)) {
            if (delimiter == 0) break;
            if (lexer->options.literal_attributes) {
                add_code(lexer, c);
                last = c;
            } else if (last != ' ') {
                add_code(lexer, ' ');
                last = ' ';
            }
            continue;
        }
        add_code(lexer, c);
        last = c;
        // Characters that need nothing but copying follow in a run (see
        // value_run_classes).
        const std::array<uint8_t, 256>& classes = delimiter == '"'    ? value_run_classes[0]
                                                  : delimiter == '\'' ? value_run_classes[1]
                                                                      : value_run_classes[2];
        unsigned space = 0; // c, just stored, is not white space
        // Quoted values, often long (addresses, titles), go sixteen bytes at
        // a time first; unquoted ones are short.
        bool ended = false;
        std::string_view run;
        if (delimiter == '"') {
            run = take_run16(in, "\"<>\\&", false, &space, &ended);
        } else if (delimiter == '\'') {
            run = take_run16(in, "'<>\\&", false, &space, &ended);
        }
        if (!ended) {
            add_bytes(lexer, run);
            if (!run.empty()) last = static_cast<unsigned char>(run.back());
            run = take_plain_run(in, [&classes, &space](unsigned char b) {
                // A space after a space sums to 2 as well.
                const unsigned kind = classes[b];
                if (kind + space >= 2) return false;
                space = kind;
                return true;
            });
        }
        if (!run.empty()) last = static_cast<unsigned char>(run.back());
        add_bytes(lexer, run);
    }

    if (cut_off && delimiter != 0) {
        report_unclosed_value(lexer, name.str(lexer), seen_gt, open_line, open_column);
        return cut_off;
    }
    if (!lexer->options.literal_attributes && marks > 10 && seen_gt &&
        !is_script_attribute(name.str(lexer).c_str())) {
        bool javascript_url = is_url_attribute(name.str(lexer).c_str()) &&
                              lexer->text.compare(saved, 11, "javascript:") == 0;
        if (!javascript_url) report_error(lexer, nullptr, lexer->last_token, MissingQuotemark);
    }
    return cut_off;
}

// Reads a value that begins with "<" (a server-side block such as
// "<%= x %>"). Returns the delimiter to print it with.
int scan_markup_value(Lexer* lexer) {
    InputStream* in = lexer->input;
    add_code(lexer, '<');
    int k = read_char(in);
    if (k == EndOfStream) {
        unread_char(k, in);
        return '"';
    }
    add_code(lexer, k);
    bool server = k == '%' || k == '?' || k == '@';
    bool double_quoted_run = false;
    for (;;) {
        int c = read_char(in);
        if (c == EndOfStream) {
            unread_char(c, in);
            break;
        }
        if (c == '>') {
            if (server) {
                add_code(lexer, c);
            } else {
                unread_char(c, in);
            }
            break;
        }
        if (c < 128 && is_white(c) && !server) break;
        add_code(lexer, c);
        if (c == '"' || c == '\'') {
            if (c == '"') double_quoted_run = true;
            for (;;) {
                int d = read_char(in);
                if (d == EndOfStream) {
                    unread_char(d, in);
                    break;
                }
                add_code(lexer, d);
                if (d == c) break;
            }
        }
    }
    return double_quoted_run ? '\'' : '"';
}

} // namespace

void scan_entity(Lexer* lexer, WhitespaceMode) {
    InputStream* in = lexer->input;
    uint32_t start = lexer->text_length();
    uint32_t amp_column = static_cast<uint32_t>(in->column - 1);
    bool semicolon = false;
    bool first = true;
    for (;;) {
        int c = read_char(in);
        if (c == EndOfStream) {
            unread_char(c, in);
            break;
        }
        if (c == ';') {
            semicolon = true;
            break;
        }
        if ((first && c == '#') || (c < 128 && is_name_char(c))) {
            add_code(lexer, c);
            first = false;
            continue;
        }
        unread_char(c, in);
        break;
    }

    // XML input and XHTML (read or written) know XML's own names too.
    const bool xml = lexer->options.input_xml || lexer->options.output_xml || lexer->is_xhtml;
    int32_t code = entity_code(lexer->text.c_str() + start - 1, xml);
    // A reference to a surrogate or to a number beyond Unicode names no
    // character: it is kept as written, like a reference to 0, rather than
    // stored as bytes that no encoding can write.
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0;
    const uint32_t line = static_cast<uint32_t>(in->line);
    const char* written = lexer->text.c_str() + start - 1;
    if (code <= 0) {
        report_entity_at(lexer, line, amp_column,
                         lexer->text_length() > start ? UnknownEntity : UnescapedAmpersand,
                         written);
        if (semicolon) add_code(lexer, ';');
        return;
    }
    if (!semicolon) report_entity_at(lexer, line, amp_column, MissingSemicolon, written);
    truncate_text(lexer, start - 1);
    // A no-break space stays one in preformatted text too: it is the
    // character the page holds (the printer writes it back as &nbsp;), and
    // turned into a space it would differ from the same character written
    // as a byte.
    uint32_t ch = static_cast<uint32_t>(code);
    append_char(lexer, ch);
    if (ch == '&' && !lexer->options.quote_ampersand) append_string(lexer, "amp;");
}

NodeAttribute* scan_attributes(Lexer* lexer, bool* is_empty) {
    InputStream* in = lexer->input;
    NodeAttribute* list = nullptr;
    *is_empty = false;
    // Every pass consumes at least one character, and the end of input
    // returns below with its warning: a tag cut off anywhere (after its
    // name, inside an attribute name or after a value) reports it once.
    for (;;) {
        int c = read_char(in);
        if (c == '"' || c == '\'') {
            report_attribute_warning(lexer, lexer->last_token, nullptr, UnexpectedQuote);
            continue;
        }
        if (c == '/') {
            int d = read_char(in);
            if (d == '>') {
                *is_empty = true;
                return list;
            }
            unread_char(d, in);
        } else if (c == '<') {
            int d = read_char(in);
            if (d == '?' || d == '%') {
                if (!scan_embedded_block(lexer, d, &list)) return list;
                continue;
            }
            unread_char(d, in);
            report_attribute_warning(lexer, lexer->last_token, nullptr, MissingGt);
            return list;
        } else if (c == '>') {
            return list;
        } else if (c == EndOfStream) {
            report_attribute_warning(lexer, lexer->last_token, nullptr, EofInAttributes);
            unread_char(c, in);
            return list;
        } else if (c < 128 && is_white(c)) {
            continue;
        } else if (c == '=') {
            unread_char(c, in);
            return list;
        }

        // The name and then the value are read into the TextBuffer, and
        // copied from there into the attribute.
        const uint32_t name_start = lexer->text_length();
        bool valid = false;
        c = scan_attribute_name(lexer, c, is_empty, &valid);
        const NameSpan name{name_start, lexer->text_length() - name_start};

        // "=" after optional white space introduces the value.
        if (c == NothingPending) c = read_char(in);
        while (c >= 0 && c < 128 && is_white(c))
            c = read_char(in);
        bool has_value = false;
        uint32_t saved = lexer->text_length();
        int delimiter = '"';
        bool cut_off = false;
        if (c == '=') {
            do {
                c = read_char(in);
            } while (c >= 0 && c < 128 && is_white(c));
            bool quoted = c == '"' || c == '\'';
            if (quoted) {
                delimiter = c;
                const uint32_t quote_line = static_cast<uint32_t>(in->line);
                const uint32_t quote_column =
                    in->column > 1 ? static_cast<uint32_t>(in->column - 1) : 1;
                cut_off = scan_plain_value(lexer, name, c, is_empty, quote_line, quote_column);
            } else if (c == '<') {
                delimiter = scan_markup_value(lexer);
            } else {
                unread_plain_char(c, in);
                cut_off = scan_plain_value(lexer, name, 0, is_empty, 0, 0);
            }
            has_value = quoted || lexer->text_length() > saved;
        } else {
            unread_char(c, in);
        }

        if (!valid) {
            // (The value ends the TextBuffer.)
            report_attribute_warning(lexer, lexer->last_token,
                                     has_value ? lexer->text.c_str() + saved : "", UnknownValue);
            truncate_text(lexer, name_start);
            if (cut_off) return list;
            continue;
        }
        NodeAttribute* attribute = new_attribute();
        name_attribute(attribute, std::string_view(lexer->text.data() + name.start, name.size));
        if (has_value) attribute->value = std::string_view(lexer->text).substr(saved);
        truncate_text(lexer, name_start);
        attribute->delimiter = delimiter;
        attribute->next = list;
        list = attribute;
        if (cut_off) return list;
    }
}

} // namespace varnel
