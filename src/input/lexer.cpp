// The lexer: token recognition over the input stream, the TextBuffer, and
// the reader of raw script and style content.
#include "input/lexer.h"

#include "base/config.h"
#include "base/util.h"
#include "input/doctype.h"
#include "input/html5_vocabulary.h"
#include "input/scan.h"
#include "input/stream.h"
#include "model/attrs.h"
#include "model/node.h"
#include "model/reports.h"
#include "model/tags.h"

namespace varnel {

namespace {

// States of the token recognizer, kept between calls.
enum ScanState : int {
    StateContent = 0,
    StateAfterLt = 1,
    StateEndTag = 2,
    StateStartTag = 3,
    StateComment = 4,
    StateDoctype = 5,
    StateProcIns = 6,
    StateCData = 8,
    StateSection = 9,
    StateAsp = 10,
    StateJste = 11,
    StatePhp = 12,
};

void take_position(Lexer* lexer) {
    lexer->token_line = static_cast<uint32_t>(lexer->input->line);
    lexer->token_column = static_cast<uint32_t>(lexer->input->column);
}

void truncate_text(Lexer* lexer, uint32_t length) {
    lexer->text.resize(length);
}

// Appends one code point; ASCII takes the short way.
inline void add_code(Lexer* lexer, int c) {
    if (c >= 0 && c < 0x80) {
        if (lexer->text.size() >= 0xFFFFFFF0u) fatal_error("Out of memory!");
        lexer->text.push_back(static_cast<char>(c));
    } else {
        append_char(lexer, static_cast<uint32_t>(c));
    }
}

// Appends bytes taken from the input as they are (printable ASCII).
inline void add_bytes(Lexer* lexer, std::string_view bytes) {
    if (lexer->text.size() + bytes.size() > 0xFFFFFFF0u) fatal_error("Out of memory!");
    lexer->text.append(bytes);
}

// How a byte of text is taken in a run (see take_text_run): 0 a character
// that is copied, 1 a space, 2 a byte that ends the run.
constexpr std::array<uint8_t, 256> make_text_run_classes() {
    std::array<uint8_t, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[b] = b > 0x20 && b < 0x7F && b != '<' && b != '&' ? 0 : 2;
    t[' '] = 1;
    return t;
}
constexpr std::array<uint8_t, 256> text_run_classes = make_text_run_classes();

// After a character of text that is not white space: takes the text that
// follows as far as nothing in it needs more than copying, and returns
// whether it ended in a space. That is printable ASCII but "<" and "&",
// with single spaces between the words (a second one would collapse).
bool take_text_run(Lexer* lexer) {
    unsigned space = 0;
    // First sixteen bytes at a time, as long as the buffer holds them.
    bool ended = false;
    add_bytes(lexer, take_run16(lexer->input, "<&", false, &space, &ended));
    if (ended) return space != 0;
    add_bytes(lexer, take_plain_run(lexer->input, [&space](unsigned char b) {
                  // A space after a space sums to 2 as well.
                  const unsigned kind = text_run_classes[b];
                  if (kind + space >= 2) return false;
                  space = kind;
                  return true;
              }));
    return space != 0;
}

// In white space that collapses, after a white-space character: skips the
// spaces that follow it (those the buffer holds) and returns whether there
// were any.
inline bool skip_spaces(InputStream* in) {
    // (A look at the next byte first: most often there is no space to skip.)
    if (in->next == in->end || *in->next != ' ') return false;
    return !take_plain_run(in, [](unsigned char b) { return b == ' '; }).empty();
}

// Makes the token of a finished text or markup construct and records it as
// the last token handed out.
Node* finish_token(Lexer* lexer, Node* node) {
    lexer->last_token = node;
    return node;
}

Node* text_token(Lexer* lexer) {
    return finish_token(lexer, new_text_node(lexer));
}

// Reads the rest of a tag name whose first letter was just appended; returns
// the character that ended it (consumed).
int scan_tag_name(Lexer* lexer) {
    bool xml = lexer->options.input_xml;
    if (!xml) {
        char& first = lexer->text.back();
        first = static_cast<char>(to_lower(static_cast<unsigned char>(first)));
    }
    int c;
    for (;;) {
        // The letters of a name come in runs, folded after they are copied
        // when there are capitals among them.
        bool capitals = false;
        const std::string_view run = take_name_run(lexer->input, &capitals);
        if (!run.empty()) {
            const size_t from = lexer->text.size();
            add_bytes(lexer, run);
            if (capitals && !xml)
                lower_ascii_in_place(lexer->text.data() + from,
                                     lexer->text.data() + lexer->text.size());
        }
        c = read_char(lexer->input);
        if (c < 0 || c >= 128 || !is_name_char(c)) break;
        add_code(lexer, xml ? c : to_lower(c));
    }
    lexer->text_end = lexer->text_length();
    return c;
}

// Entering a markup state: hand out pending text first, if any.
Node* enter_markup(Lexer* lexer, int state) {
    lexer->scan_state = state;
    lexer->text_end = lexer->text_length();
    if (lexer->text_end > lexer->text_start) return text_token(lexer);
    lexer->text_start = lexer->text_end;
    return nullptr;
}

// Skips characters up to and including the next ">"; end of input is pushed
// back.
void skip_to_gt(Lexer* lexer) {
    for (;;) {
        int c = read_char(lexer->input);
        if (c == '>') return;
        if (c == EndOfStream) {
            unread_char(c, lexer->input);
            return;
        }
    }
}

// The "<" (or "</") just read starts no markup: it is text, and `c`, the
// character after it, is read again as content, so that white space there
// is collapsed, a reference is resolved and a "<" may start a tag ("a <= b",
// "1 <<b>").
// `from` is where the bytes of `c` begin in the TextBuffer.
void back_to_content(Lexer* lexer, int c, uint32_t from) {
    truncate_text(lexer, from);
    unread_char(c, lexer->input);
    lexer->scan_state = StateContent;
    lexer->after_space = false;
}

// A markup token is complete: back to content.
Node* markup_token(Lexer* lexer, Node* node) {
    lexer->scan_state = StateContent;
    lexer->after_space = false;
    return finish_token(lexer, node);
}

// Column for a warning about "</" inside script content: three before the
// stream's column, but never before the start of the line.
uint32_t script_warning_column(const InputStream* in) {
    return in->column > 3 ? static_cast<uint32_t>(in->column - 3) : 1;
}

// Reports a warning at a position other than the current token's.
void warn_at(Lexer* lexer, uint32_t line, uint32_t column, TagMessage code) {
    uint32_t saved_line = lexer->token_line;
    uint32_t saved_column = lexer->token_column;
    lexer->token_line = line;
    lexer->token_column = column;
    report_warning(lexer, nullptr, nullptr, code);
    lexer->token_line = saved_line;
    lexer->token_column = saved_column;
}

// Elements that "/>" closes at once in HTML. An anchor should not take the
// text after it into a link. The others hold content that a browser does
// not show as page text: it is read as script, style, title or field value,
// or stays hidden while the frame, object, script or list box is shown.
// Taken as a start tag, as browsers take it, "/>" would bury the rest of
// the page in them.
constexpr const char* closed_at_once_names[] = {
    "a",      "script", "style",  "server",  "title",    "textarea", "select",
    "iframe", "object", "applet", "servlet", "noscript", "noembed",  "noframes",
};

bool closes_at_once(TagPtr tag) {
    for (const char* name : closed_at_once_names) {
        if (tag->name == name) return true;
    }
    return false;
}

// A start tag of an element with content written with "/>" in HTML: browsers
// ignore the "/", and so does this reader (the element takes what follows),
// except for the elements that are closed at once. An XHTML document keeps
// the XML meaning of "/>".
void take_empty_syntax(Lexer* lexer, Node* node) {
    // (svg and math, like the elements inside them, may be empty elements
    // written "<svg/>".)
    if (node->kind() != StartEndTagNode || lexer->is_xhtml ||
        (node->tag()->model & ModelEmpty) != 0 || is_foreign(node)) {
        return;
    }
    node->set_kind(StartTagNode);
    if (closes_at_once(node->tag())) {
        report_warning(lexer, nullptr, node, ClosedAtOnce);
        lexer->pending_end_tag = node->tag();
    } else {
        report_warning(lexer, nullptr, node, SlashIgnored);
    }
}

// The end tag of an element closed at once, handed out right after its start
// tag.
Node* pending_end_token(Lexer* lexer) {
    Node* node = new_node(EndTagNode);
    node->set_element(lexer->pending_end_tag, lexer->pending_end_tag->name);
    node->start = lexer->text_length();
    lexer->pending_end_tag = nullptr;
    return markup_token(lexer, node);
}

// Gives the attributes of an element of foreign content (or of svg or math
// itself) the names that vocabulary spells in mixed case.
void adjust_foreign_attributes(Node* node, ForeignContent kind) {
    for (NodeAttribute* a = node->attributes(); a != nullptr; a = a->next) {
        if (a->name().empty()) continue;
        const std::string_view name =
            kind == ForeignSvg ? svg_attribute_name(a->name()) : mathml_attribute_name(a->name());
        if (name != a->name()) name_attribute(a, name);
    }
}

// True when a tag read inside foreign content is an HTML start tag that ends
// that content.
bool breaks_out(const Lexer* lexer, const Node* node) {
    if (!lexer->foreign_breakout) return false;
    const bool presentational =
        node->element_name() == "font" &&
        (get_attribute(node, "color") != nullptr || get_attribute(node, "face") != nullptr ||
         get_attribute(node, "size") != nullptr);
    return breaks_out_of_foreign(node->element_name(), presentational);
}

// A tag inside svg or math: a foreign element, named as its vocabulary
// spells it, checked against nothing.
void take_foreign_tag(Lexer* lexer, Node* node) {
    const std::string_view name = node->element_name();
    node->set_element(foreign_tag_def,
                      lexer->foreign == ForeignSvg ? svg_element_name(name) : name);
    adjust_foreign_attributes(node, lexer->foreign);
}

// An element HTML5 made obsolete: reported at once in a page declared as
// HTML5 (or made one by the doctype option), noted for later otherwise.
void note_obsolete(Lexer* lexer, Node* node) {
    if (lexer->given_version == VersionHTML5 || lexer->options.doctype_mode == DoctypeHtml5) {
        lexer->obsolete_reported = true;
        report_warning(lexer, nullptr, node, ObsoleteInHtml5);
        return;
    }
    lexer->obsolete_uses.add(lexer->token_line, lexer->token_column, node->element_name().view());
}

// Finishes a start tag whose name has been scanned.
Node* finish_start_tag(Lexer* lexer, int ended_by, WhitespaceMode mode) {
    Node* node = new_tag_node(lexer, StartTagNode);
    lexer->last_token = node;
    InputStream* in = lexer->input;
    if (ended_by != '>') {
        if (ended_by == '/') unread_plain_char(ended_by, in);
        bool is_empty = false;
        node->set_attributes(scan_attributes(lexer, &is_empty));
        if (is_empty) node->set_kind(StartEndTagNode);
    }
    truncate_text(lexer, lexer->text_start);
    lexer->text_end = lexer->text_start;

    if (lexer->foreign != ForeignNone && !lexer->options.input_xml && !breaks_out(lexer, node)) {
        take_foreign_tag(lexer, node);
        return markup_token(lexer, node);
    }

    // A line feed right after the start tag of a block, or after a br
    // however it is written, belongs to the markup, not to the text that
    // follows: there it could only be leading white space. After an inline
    // start tag it separates words as a browser reads them
    // ("word<a href=x>" + line feed + "link"), and inside preformatted text
    // it is content, so it stays. After the start tag of a pre or a text
    // area it goes, as browsers drop it (inline elements re-opened inside
    // the pre come after it). Script content is not text, and the printer
    // puts a line feed after the script start tag, so it goes there too. In
    // preformatted content a line feed after a br is a second line break,
    // and stays.
    const TagPtr tag = node->tag();
    bool expects_content = node->kind() == StartTagNode &&
                           (tag == nullptr || !(tag->model & ModelEmpty)) &&
                           (tag == nullptr || !(tag->model & ModelInline) || tag == tag_textarea ||
                            tag->builder == BuilderScript) &&
                           (tag == nullptr || tag->builder != BuilderPre || !lexer->is_xhtml);
    // XML has no such rule: there the line feed is the content's own.
    if (!lexer->options.input_xml &&
        (expects_content || (tag != nullptr && tag == tag_br && mode != KeepSpace))) {
        skip_one_line_feed(in);
    }
    markup_token(lexer, node);

    if (tag == nullptr) {
        report_error(lexer, nullptr, node, NotRecognized);
        return node;
    }
    if (lexer->options.input_xml) return node;
    if (tag == tag_html && get_attribute(node, "xmlns:o") != nullptr) {
        lexer->word_namespace = true;
    }
    // Word's namespace elements do not narrow the versions when the Word
    // cleanup will remove them: the document is judged as it is written out.
    if (!(lexer->options.word_2000 && lexer->word_namespace &&
          node->element_name().find(':') != std::string::npos)) {
        lexer->possible_versions &= tag->versions;
    }
    // (HTML5 has wbr.)
    if ((tag->versions & VersionProprietary) && !lexer->options.clean &&
        (tag == tag_nobr || (tag == tag_wbr && lexer->given_version != VersionHTML5))) {
        report_warning(lexer, nullptr, node, NotApproved);
    }
    if (is_obsolete_in_html5(tag)) note_obsolete(lexer, node);
    if (tag == tag_svg) adjust_foreign_attributes(node, ForeignSvg);
    if (tag == tag_math) adjust_foreign_attributes(node, ForeignMath);
    if (tag->check_attributes != nullptr) {
        check_repeated_attributes(lexer, node);
        tag->check_attributes(lexer, node);
    } else {
        check_generic_attributes(lexer, node);
    }
    take_empty_syntax(lexer, node);
    return node;
}

// Reads an end tag whose first letter has just been appended, up to its
// ">". Returns the token, or nothing when the end of input cuts it off.
Node* read_end_tag(Lexer* lexer) {
    InputStream* in = lexer->input;
    lexer->text_start = lexer->text_length() - 1;
    int ended_by = scan_tag_name(lexer);
    Node* node = new_tag_node(lexer, EndTagNode);
    lexer->last_token = node;
    if (lexer->foreign != ForeignNone && !lexer->options.input_xml) {
        // The foreign builder matches it by name; an HTML element's
        // end tag keeps its entry for the builders outside.
        if (lexer->foreign == ForeignSvg)
            node->set_element_name(svg_element_name(node->element_name()));
        if (node->tag() == nullptr) node->set_tag(foreign_tag_def);
    }
    truncate_text(lexer, lexer->text_start);
    lexer->text_end = lexer->text_start;
    if (ended_by != '>') {
        for (;;) {
            int d = ended_by == EndOfStream ? EndOfStream : read_char(in);
            if (d == '>') break;
            if (d == EndOfStream) {
                // The end tag is cut off by the end of input: it is
                // lost, and this call ends with nothing; the report
                // says so.
                unread_char(d, in);
                report_warning(lexer, nullptr, nullptr, UnexpectedEof);
                free_node(node);
                lexer->last_token = nullptr;
                lexer->scan_state = StateContent;
                return nullptr;
            }
            ended_by = d;
        }
    }
    return markup_token(lexer, node);
}

// Handles the character after "<!": comment, doctype, marked section, or a
// declaration that is dropped. Returns a pending text token when one must
// be handed out first.
Node* after_lt_bang(Lexer* lexer, bool* handed) {
    InputStream* in = lexer->input;
    int c = read_char(in);
    if (c == '-') {
        int d = read_char(in);
        if (d == '-') {
            truncate_text(lexer, lexer->text_length() - 2);
            Node* t = enter_markup(lexer, StateComment);
            *handed = t != nullptr;
            return t;
        }
        if (d == EndOfStream) unread_char(d, in);
        report_warning(lexer, nullptr, nullptr, AdjacentHyphens);
        if (d != '>' && d != EndOfStream) skip_to_gt(lexer);
        truncate_text(lexer, lexer->text_length() - 2);
        lexer->scan_state = StateContent;
        return nullptr;
    }
    if (c == 'D' || c == 'd') {
        truncate_text(lexer, lexer->text_length() - 2);
        // Skip the rest of the keyword and the white space after it.
        for (;;) {
            c = read_char(in);
            if (c == EndOfStream || c == '>' || is_white(c)) break;
        }
        while (is_white(c))
            c = read_char(in);
        unread_char(c, in);
        Node* t = enter_markup(lexer, StateDoctype);
        *handed = t != nullptr;
        return t;
    }
    if (c == '[') {
        truncate_text(lexer, lexer->text_length() - 2);
        Node* t = enter_markup(lexer, StateSection);
        *handed = t != nullptr;
        return t;
    }
    if (c == EndOfStream) {
        unread_char(c, in);
    } else if (c != '>') {
        skip_to_gt(lexer);
    }
    truncate_text(lexer, lexer->text_length() - 2);
    lexer->scan_state = StateContent;
    return nullptr;
}

} // namespace

Lexer* new_lexer(InputStream* input, const Config& options) {
    Lexer* lexer = new Lexer(options);
    lexer->input = input;
    if (input != nullptr) {
        lexer->stream_line = &input->line;
        lexer->stream_column = &input->column;
    }
    lexer->text.reserve(8192);
    return lexer;
}

void clear_inline_entries(Lexer* lexer) {
    for (InlineStackEntry& entry : lexer->inline_stack)
        free_attribute_list(entry.attributes);
    lexer->inline_stack.clear();
}

void free_lexer(Lexer* lexer) {
    if (lexer == nullptr) return;
    if (lexer->pushed_back && lexer->last_token != nullptr) free_node(lexer->last_token);
    clear_inline_entries(lexer);
    for (Node* block : lexer->attribute_blocks)
        free_node(block);
    delete lexer;
}

void unget_token(Lexer* lexer) {
    lexer->pushed_back = true;
}

Node* read_token(Lexer* lexer, WhitespaceMode mode) {
    InputStream* in = lexer->input;
    take_position(lexer);
    lexer->after_space = false;
    lexer->text_start = lexer->text_end = lexer->text_length();
    if (lexer->pending_end_tag != nullptr) return pending_end_token(lexer);

    // A comment is read within one call; these note its first pair of
    // hyphens that was not followed by ">".
    bool comment_bad = false;
    uint32_t bad_line = 0;
    uint32_t bad_column = 0;
    bool eof_reported = false; // an instruction cut off after "?" said so
    // An XML doctype's internal subset: its declarations end in ">" too.
    int subset_depth = 0;
    int subset_quote = 0;

    int c;
    while ((c = read_char(in)) != EndOfStream) {
        if (lexer->space_pending) {
            if (mode != TrimSpace) {
                add_code(lexer, ' ');
                lexer->after_space = true;
                lexer->space_pending = false;
            } else if (lexer->scan_state == StateContent && c != '<' && !is_white(c)) {
                // Text begins where leading white space is trimmed: the
                // owed space goes with it. Kept, it would land after this
                // first character once the mode turns to collapsing
                // ("s econd").
                lexer->space_pending = false;
            }
        }
        uint32_t char_start = lexer->text_length();
        add_code(lexer, c);

        switch (lexer->scan_state) {
        case StateContent: {
            bool white = is_white(c);
            if (white && mode == TrimSpace && lexer->text_length() == lexer->text_start + 1) {
                // Spaces that follow are dropped the same way: at once.
                truncate_text(lexer, lexer->text_start);
                skip_spaces(in);
                take_position(lexer);
                continue;
            }
            if (c != '<') {
                if (white) {
                    if (lexer->after_space) {
                        if (mode != KeepSpace && mode != RawText) {
                            truncate_text(lexer, lexer->text_length() - 1);
                            skip_spaces(in);
                            take_position(lexer);
                        }
                    } else {
                        lexer->after_space = true;
                        if (mode != KeepSpace && mode != RawText) lexer->text.back() = ' ';
                    }
                    continue;
                }
                if (c == '&' && mode != RawText && !lexer->options.preserve_entities)
                    scan_entity(lexer, mode);
                if (mode == TrimSpace) mode = CollapseSpace;
                // Nothing is pending now, and the white-space mode no longer
                // trims: the words that follow go in as they are.
                lexer->after_space = take_text_run(lexer);
                continue;
            }
            // The character after the "<" decides what it starts: it is read
            // at once, as the next pass would read it.
            lexer->scan_state = StateAfterLt;
            c = read_char(in);
            if (c == EndOfStream) goto end_of_input;
            char_start = lexer->text_length();
            add_code(lexer, c);
            [[fallthrough]];
        }

        case StateAfterLt: {
            if (c == '/') {
                c = read_char(in);
                if (c == EndOfStream) {
                    unread_char(c, in);
                    continue;
                }
                const uint32_t after_slash = lexer->text_length();
                add_code(lexer, c);
                if (is_letter(c)) {
                    truncate_text(lexer, lexer->text_length() - 3);
                    lexer->text_end = lexer->text_length();
                    if (lexer->text_end > lexer->text_start) {
                        // The text before it goes first; the next call reads
                        // the end tag, whose position is that of its "<".
                        unread_plain_char(c, in);
                        lexer->scan_state = StateEndTag;
                        in->column -= 2;
                        return text_token(lexer);
                    }
                    // Nothing to hand out first: the name is read at once.
                    add_code(lexer, c);
                    return read_end_tag(lexer);
                }
                back_to_content(lexer, c, after_slash);
                continue;
            }
            if (mode == RawText) {
                back_to_content(lexer, c, char_start);
                continue;
            }
            if (c == '!') {
                bool handed = false;
                Node* t = after_lt_bang(lexer, &handed);
                if (handed) return t;
                continue;
            }
            int next_state = -1;
            if (c == '#') next_state = StateJste;
            if (c == '%') next_state = StateAsp;
            if (c == '?') next_state = StateProcIns;
            if (next_state >= 0) {
                truncate_text(lexer, lexer->text_length() - 2);
                Node* t = enter_markup(lexer, next_state);
                if (t != nullptr) return t;
                continue;
            }
            if (is_letter(c)) {
                truncate_text(lexer, lexer->text_length() - 2);
                if (lexer->text_length() > lexer->text_start) {
                    // The text before it goes first; the next call reads
                    // the tag.
                    unread_plain_char(c, in);
                    return enter_markup(lexer, StateStartTag);
                }
                // Nothing to hand out first: the name is read at once.
                enter_markup(lexer, StateStartTag);
                add_code(lexer, c);
                lexer->text_start = lexer->text_length() - 1;
                const int ended_by = scan_tag_name(lexer);
                return finish_start_tag(lexer, ended_by, mode);
            }
            back_to_content(lexer, c, char_start);
            continue;
        }

        case StateEndTag:
            // Back from handing out the text before the tag.
            in->column += 2;
            return read_end_tag(lexer);

        case StateStartTag: {
            lexer->text_start = lexer->text_length() - 1;
            int ended_by = scan_tag_name(lexer);
            return finish_start_tag(lexer, ended_by, mode);
        }

        case StateComment: {
            if (c != '-') {
                add_bytes(lexer, take_plain_run(in, [](unsigned char b) {
                              return b >= 0x20 && b < 0x7F && b != '-';
                          }));
                continue;
            }
            int d = read_char(in);
            if (d == EndOfStream) goto end_of_input;
            add_code(lexer, d);
            if (d != '-') continue;
            // Two hyphens: the comment ends if ">" follows. A warning about
            // them points at the first of the pair, which is noted before
            // the next character (maybe a line feed) moves the position on.
            const int pair_line = in->line;
            const int pair_column = in->column - 2;
            for (;;) {
                d = read_char(in);
                if (d == EndOfStream) goto end_of_input;
                if (d == '>') break;
                if (!comment_bad) {
                    comment_bad = true;
                    bad_line = static_cast<uint32_t>(pair_line);
                    bad_column = static_cast<uint32_t>(pair_column > 0 ? pair_column : 1);
                }
                if (lexer->options.fix_bad_comments) lexer->text[lexer->text_length() - 2] = '=';
                add_code(lexer, d);
                if (d == '-') continue;
                if (lexer->options.fix_bad_comments) lexer->text[lexer->text_length() - 2] = '=';
                break;
            }
            if (d != '>') continue;
            if (comment_bad) warn_at(lexer, bad_line, bad_column, AdjacentHyphens);
            lexer->text_end = lexer->text_length();
            Node* node = new_comment_node(lexer);
            int e = read_char(in);
            if (e == '\n') {
                node->newline_after = true;
            } else {
                unread_char(e, in);
            }
            return markup_token(lexer, node);
        }

        case StateDoctype: {
            bool white = is_white(c);
            if (c >= 128) lexer->after_space = false;
            if (white && lexer->after_space) {
                truncate_text(lexer, lexer->text_length() - 1);
                continue;
            }
            lexer->after_space = white;
            if (lexer->options.input_xml) {
                // In XML the doctype may hold an internal subset in "[...]",
                // whose declarations and quoted values contain ">": only a
                // ">" after the subset ends the doctype.
                if (subset_quote != 0) {
                    if (c == subset_quote) subset_quote = 0;
                    continue;
                }
                if (c == '[') {
                    ++subset_depth;
                } else if (c == ']' && subset_depth > 0) {
                    --subset_depth;
                } else if (subset_depth > 0 && (c == '"' || c == '\'')) {
                    subset_quote = c;
                }
                if (subset_depth > 0) continue;
            }
            if (c != '>') continue;
            truncate_text(lexer, lexer->text_length() - 1);
            lexer->text_end = lexer->text_length();
            Node* node = new_doctype_node(lexer);
            markup_token(lexer, node);
            lexer->given_version = read_declared_version(lexer, node);
            return node;
        }

        case StateProcIns: {
            if (lexer->text_length() - lexer->text_start == 3 &&
                lexer->text.compare(lexer->text_start, 3, "php") == 0) {
                lexer->scan_state = StatePhp;
                continue;
            }
            if (lexer->options.assume_xml_procins) {
                // Only "?>" ends the instruction; in a run such as "??>" the
                // last "?" is the one that counts, so the rest of the
                // document is not swallowed.
                if (c != '?') continue;
                while (c == '?') {
                    int d = read_char(in);
                    if (d == EndOfStream) {
                        report_warning(lexer, nullptr, nullptr, UnexpectedEof);
                        eof_reported = true;
                        unread_char(d, in);
                        break;
                    }
                    add_code(lexer, d);
                    c = d;
                }
            }
            if (c != '>') continue;
            truncate_text(lexer, lexer->text_length() - 1);
            lexer->text_end = lexer->text_length();
            return markup_token(lexer, new_procins_node(lexer));
        }

        case StateCData: {
            // "]]>" ends the section wherever it stands; every other "]"
            // belongs to the content, also in runs such as "]]]>".
            if (c != ']') continue;
            int brackets = 1;
            int d;
            while ((d = read_char(in)) == ']')
                ++brackets;
            if (brackets >= 2 && d == '>') {
                truncate_text(lexer, lexer->text_length() - 1);
                for (int i = 0; i < brackets - 2; ++i)
                    add_code(lexer, ']');
                lexer->text_end = lexer->text_length();
                return markup_token(lexer, new_cdata_node(lexer));
            }
            for (int i = 1; i < brackets; ++i)
                add_code(lexer, ']');
            unread_char(d, in);
            continue;
        }

        case StateSection: {
            if (c == '[' && lexer->text_length() - lexer->text_start == 6 &&
                lexer->text.compare(lexer->text_start, 6, "CDATA[") == 0) {
                truncate_text(lexer, lexer->text_start);
                lexer->scan_state = StateCData;
                continue;
            }
            if (c != ']') continue;
            int d = read_char(in);
            if (d != '>') {
                unread_char(d, in);
                continue;
            }
            truncate_text(lexer, lexer->text_length() - 1);
            lexer->text_end = lexer->text_length();
            return markup_token(lexer, new_section_node(lexer));
        }

        case StateAsp:
        case StateJste:
        case StatePhp: {
            int closer = lexer->scan_state == StateAsp    ? '%'
                         : lexer->scan_state == StateJste ? '#'
                                                          : '?';
            if (c != closer) continue;
            int d = read_char(in);
            if (d != '>') {
                unread_char(d, in);
                continue;
            }
            truncate_text(lexer, lexer->text_length() - 1);
            lexer->text_end = lexer->text_length();
            NodeKind kind = lexer->scan_state == StateAsp    ? AspNode
                            : lexer->scan_state == StateJste ? JsteNode
                                                             : PhpNode;
            return markup_token(lexer, new_token_node(lexer, kind));
        }

        default:
            lexer->scan_state = StateContent;
            continue;
        }
    }

end_of_input:
    if (lexer->scan_state == StateComment) {
        report_warning(lexer, nullptr, nullptr, AdjacentHyphens);
        lexer->text_end = lexer->text_length();
        return markup_token(lexer, new_comment_node(lexer));
    }
    if (lexer->scan_state == StateContent || lexer->scan_state == StateAfterLt) {
        // Text cut off by the end of input, a lone "<" or "</" included, is
        // still handed out.
        lexer->scan_state = StateContent;
        if (lexer->text_length() > lexer->text_start) {
            unread_char(EndOfStream, in);
            if (lexer->text.back() == ' ') truncate_text(lexer, lexer->text_length() - 1);
            lexer->text_end = lexer->text_length();
            if (lexer->text_end > lexer->text_start) return text_token(lexer);
        }
        return nullptr;
    }
    // Any other construct cut off by the end of input (a doctype, an
    // instruction, a marked section, a server block, an end tag) is
    // dropped, and the report says so: a truncated file should not lose
    // its last part unnoticed.
    if (!eof_reported) report_warning(lexer, nullptr, nullptr, UnexpectedEof);
    lexer->scan_state = StateContent;
    return nullptr;
}

namespace {

// Whether script content is JavaScript: no attributes at all, or a
// language or type attribute whose value mentions javascript.
bool is_javascript(const Node* element) {
    if (element->attributes() == nullptr) return true;
    for (const NodeAttribute* a = element->attributes(); a != nullptr; a = a->next) {
        if (!a->value) continue;
        if (equals_ignore_case(a->name().c_str(), "language") ||
            equals_ignore_case(a->name().c_str(), "type")) {
            if (str_case_contains(a->value.c_str(), "javascript")) return true;
        }
    }
    return false;
}

} // namespace

Node* read_script_content(Lexer* lexer, Node* element) {
    // "<script .../>" has no content: its end tag is taken here.
    if (lexer->pending_end_tag != nullptr && lexer->pending_end_tag == element->tag()) {
        lexer->pending_end_tag = nullptr;
        return nullptr;
    }
    InputStream* in = lexer->input;
    take_position(lexer);
    lexer->after_space = false;
    lexer->text_start = lexer->text_end = lexer->text_length();

    bool seen_end_start = false; // "</" met in this content
    bool in_end_tag = false;     // an end tag has been started
    uint32_t name_start = 0;
    int prev = 0;
    const NameView name = element->element_name();
    int c;
    while ((c = read_char(in)) != EndOfStream) {
        if (c == '/' && prev == '<') {
            if (seen_end_start) {
                warn_at(lexer, static_cast<uint32_t>(in->line), script_warning_column(in),
                        SlashLetterNotAllowed);
            }
            add_code(lexer, c);
            name_start = lexer->text_length();
            in_end_tag = true;
            seen_end_start = true;
        } else if (c == '>' && in_end_tag) {
            // White space may stand between the name and the ">" of an end
            // tag ("</script >"); without this the end tag would be missed
            // and the rest of the document read as script.
            uint32_t name_end = lexer->text_length();
            while (name_end > name_start &&
                   is_white(static_cast<unsigned char>(lexer->text[name_end - 1])))
                --name_end;
            uint32_t len = name_end - name_start;
            if (len == name.size() &&
                str_ncase_compare(lexer->text.c_str() + name_start, name.c_str(),
                                  static_cast<int32_t>(len)) == 0) {
                lexer->text_end = name_start - 2;
                truncate_text(lexer, lexer->text_end);
                if (lexer->text_end > lexer->text_start) return text_token(lexer);
                return nullptr;
            }
            warn_at(lexer, static_cast<uint32_t>(in->line), script_warning_column(in),
                    SlashLetterNotAllowed);
            if (is_javascript(element)) lexer->text.insert(name_start - 1, 1, '\\');
            add_code(lexer, c);
            in_end_tag = false;
        } else {
            add_code(lexer, c);
            // What follows up to the next "<", "/" or ">" is copied as it
            // is.
            const std::string_view run = take_plain_run(in, [](unsigned char b) {
                return b >= 0x20 && b < 0x7F && b != '<' && b != '/' && b != '>';
            });
            add_bytes(lexer, run);
            if (!run.empty()) c = static_cast<unsigned char>(run.back());
        }
        lexer->text_end = lexer->text_length();
        prev = c;
    }
    report_warning(lexer, element, nullptr, MissingEndTag);
    lexer->text_end = lexer->text_length();
    if (lexer->text_end > lexer->text_start) return text_token(lexer);
    return nullptr;
}

} // namespace varnel
