// Per-position reports with their counting and suppression rules, node
// descriptions, the document type summary, the count line and the advice
// paragraphs. Message texts are kept in tables indexed by code.
#include "base/messages.h"

#include <cstring>

#include "base/config.h"
#include "input/charset.h"
#include "input/doctype.h"
#include "input/lexer.h"
#include "input/stream.h"
#include "model/node.h"
#include "model/tags.h"

namespace varnel {

const char* current_input_name = "stdin";

namespace {

// A report after this many printed errors is counted but not printed.
constexpr uint32_t MaxPrintedErrors = 6;

// One piece of a tag message: fixed text, or a part taken from the two
// nodes the report names.
enum PieceKind : int {
    PieceEnd = 0,
    PieceText,        // the fixed text
    PieceNodeDesc,    // the node described
    PieceElementDesc, // the element described
    PieceNodeName,    // the node's element name
    PieceElementName, // the element's element name
    PieceInElement,   // " in <name>" when there is an element
    PieceReplacing,   // the opening words of ReplacingElement
};

struct Piece {
    PieceKind kind;
    const char* text;
};

// Which report operation may print a tag message's text.
constexpr uint8_t AsWarning = 1;
constexpr uint8_t AsError = 2;

struct TagMessageRow {
    uint8_t printed_by;
    Piece pieces[7];
};

constexpr Piece T(const char* text) {
    return {PieceText, text};
}
constexpr Piece NodeDesc{PieceNodeDesc, nullptr};
constexpr Piece ElementDesc{PieceElementDesc, nullptr};
constexpr Piece NodeName{PieceNodeName, nullptr};
constexpr Piece ElementName{PieceElementName, nullptr};
constexpr Piece InElement{PieceInElement, nullptr};
constexpr Piece Replacing{PieceReplacing, nullptr};

// Indexed by TagMessage code; row 0 is unused.
const TagMessageRow tag_messages[] = {
    {0, {}},
    /* 1 */ {AsWarning, {T("Warning: missing </"), ElementName, T(">")}},
    /* 2 */ {AsWarning, {T("Warning: missing </"), ElementName, T("> before "), NodeDesc}},
    /* 3 */ {AsWarning, {T("Warning: discarding unexpected "), NodeDesc}},
    /* 4 */ {AsWarning, {T("Warning: nested emphasis "), NodeDesc}},
    /* 5 */
    {AsWarning, {T("Warning: replacing unexpected "), NodeDesc, T(" by </"), ElementName, T(">")}},
    /* 6 */
    {AsWarning, {T("Warning: "), NodeDesc, T(" isn't allowed in <"), ElementName, T("> elements")}},
    /* 7 */ {AsWarning, {T("Warning: missing <"), NodeName, T(">")}},
    /* 8 */ {AsWarning | AsError, {T("Warning: unexpected </"), NodeName, T(">"), InElement}},
    /* 9 */ {AsWarning, {T("Warning: using <br> in place of "), NodeDesc}},
    /* 10 */ {AsWarning, {T("Warning: inserting implicit <"), NodeName, T(">")}},
    /* 11 */ {AsError, {T("Error: missing quotemark for attribute value")}},
    /* 12 */ {AsWarning, {T("Warning: inserting missing 'title' element")}},
    /* 13 */ {AsError, {T("Error: repeated FRAMESET element")}},
    /* 14 */ {AsWarning, {T("Warning: "), NodeDesc, T(" can't be nested")}},
    /* 15 */ {AsWarning, {Replacing, ElementDesc, T(" by "), NodeDesc}},
    /* 16 */ {AsWarning, {T("Warning: "), NodeDesc, T(" is not approved by W3C")}},
    /* 17 */ {AsError, {T("Error: "), NodeDesc, T(" is not recognized!")}},
    /* 18 */ {AsWarning, {T("Warning: trimming empty "), ElementDesc}},
    /* 19 */
    {AsWarning, {T("Warning: <"), NodeName, T("> is probably intended as </"), NodeName, T(">")}},
    /* 20 */ {AsWarning, {T("Warning: "), ElementDesc, T(" shouldn't be nested")}},
    /* 21 */ {AsWarning, {T("Warning: "), NodeDesc, T(" not inside 'noframes' element")}},
    /* 22 */ {AsWarning, {T("Warning: content occurs after end of body")}},
    /* 23 */ {AsWarning, {T("Warning: html doctype doesn't match content")}},
    /* 24 */ {AsWarning, {T("Warning: adjacent hyphens within comment")}},
    /* 25 */ {AsWarning, {T("Warning: expecting -- or >")}},
    /* 26 */ {AsWarning, {T("Warning: XML comments can't contain --")}},
    /* 27 */ {AsWarning, {T("Warning: '<' + '/' + letter not allowed here")}},
    /* 28 */ {AsWarning, {T("Warning: html namespace doesn't match content")}},
    /* 29 */ {AsWarning, {T("Warning: <!DOCTYPE> isn't allowed after elements")}},
    /* 30 */ {AsWarning, {T("Warning: expected \"html PUBLIC\" or \"html SYSTEM\"")}},
    /* 31 */ {AsWarning, {T("Warning: unexpected end of file"), ElementDesc}},
    /* 32 */ {AsWarning, {T("Warning: SYSTEM, PUBLIC, W3C, DTD, EN must be upper case")}},
    /* 33 */ {AsWarning, {T("Warning: too many "), NodeName, T(" elements"), InElement}},
    /* 34 */
    {AsWarning,
     {T("Warning: too much markup to re-open: inline elements no longer continue after blocks")}},
    /* 35 */
    {AsWarning,
     {T("Warning: <"), NodeName, T("/> isn't an empty element, taken as <"), NodeName, T("></"),
      NodeName, T(">")}},
    /* 36 */
    {AsWarning,
     {T("Warning: <"), NodeName, T("/> isn't an empty element, taken as <"), NodeName, T(">")}},
    /* 37 */ {AsWarning, {T("Warning: "), NodeDesc, T(" is obsolete in HTML5")}},
};

constexpr int TagMessageCount = static_cast<int>(sizeof(tag_messages) / sizeof(tag_messages[0]));

// An attribute message: opening words, the element described (when `tag`),
// middle words, the text argument (when `text`), closing words.
struct AttrMessageRow {
    int code;
    const char* head;
    bool tag;
    const char* middle;
    bool text;
    const char* tail;
};

const AttrMessageRow attr_messages[] = {
    {UnknownAttribute, "Warning: unknown attribute \"", false, "", true, "\""},
    {LacksAttribute, "Warning: ", true, " lacks \"", true, "\" attribute"},
    {LacksValue, "Warning: ", true, " attribute \"", true, "\" lacks value"},
    {UnknownValue, "Warning: ", true, " unknown attribute value \"", true, "\""},
    {MissingGt, "Error: ", true, " missing '>' for end of tag", false, ""},
    {ProprietaryValue, "Warning: ", true, " proprietary attribute value \"", true, "\""},
    {RepeatedAttribute, "Warning: ", true, " repeated attribute \"", true, "\""},
    {ServerSideMap, "Warning: ", true, " should use client-side image map", false, ""},
    {XmlAttribute, "Warning: ", true, " has XML attribute \"", true, "\""},
    {UnexpectedQuote, "Warning: ", true, " unexpected or duplicate quote mark", false, ""},
    {IdNameMismatch, "Warning: ", true, " id and name attribute value mismatch", false, ""},
    {UnclosedValue, "Warning: ", true, " attribute \"", true,
     "\" lacks closing quote mark, value runs to end of file"},
    {EofInAttributes, "Warning: end of file while parsing attributes", false, "", false, ""},
};

struct EntityMessageRow {
    int code;
    const char* head;
    bool text;
    const char* tail;
};

const EntityMessageRow entity_messages[] = {
    {MissingSemicolon, "Warning: entity \"", true, "\" doesn't end in ';'"},
    {UnknownEntity, "Warning: unescaped & or unknown entity \"", true, "\""},
    {UnescapedAmpersand, "Warning: unescaped & which should be written as &amp;", false, ""},
};

// Usage flags set by a printed NotApproved report, by the node's tag.
struct ApprovalFlag {
    TagDef** tag;
    uint8_t flag;
};

const ApprovalFlag approval_flags[] = {
    {&tag_layer, UsingLayer},
    {&tag_spacer, UsingSpacer},
    {&tag_nobr, UsingNobr},
};

// The position prefix of every per-position report.
void write_prefix(FILE* out, const Lexer* lexer) {
    if (options.gnu_emacs) {
        fprintf(out, "%s:%u:%u: ", current_input_name, lexer->token_line, lexer->token_column);
    } else {
        fprintf(out, "line %u column %u - ", lexer->token_line, lexer->token_column);
    }
}

const char* name_of(const Node* node) {
    return node != nullptr ? node->element_name.c_str() : "";
}

// Writes the text of a tag message from its pieces.
void write_tag_message(FILE* out, const TagMessageRow& row, const Node* element, const Node* node) {
    for (const Piece& piece : row.pieces) {
        switch (piece.kind) {
        case PieceEnd:
            return;
        case PieceText:
            fputs(piece.text, out);
            break;
        case PieceNodeDesc:
            describe_node(out, node);
            break;
        case PieceElementDesc:
            describe_node(out, element);
            break;
        case PieceNodeName:
            fputs(name_of(node), out);
            break;
        case PieceElementName:
            fputs(name_of(element), out);
            break;
        case PieceInElement:
            if (element != nullptr) fprintf(out, " in <%s>", element->element_name.c_str());
            break;
        case PieceReplacing:
            if (element != nullptr && element->tag != nullptr &&
                (element->tag->model & ModelObsolete) != 0) {
                fputs("Warning: replacing obsolete element ", out);
            } else {
                fputs("Warning: replacing element ", out);
            }
            break;
        }
    }
}

const TagMessageRow* tag_message(TagMessage code) {
    if (code <= 0 || code >= TagMessageCount) return nullptr;
    return &tag_messages[code];
}

// Takes the report position from the input stream: the end-of-file reports
// show where the input ended.
void position_at_stream(Lexer* lexer) {
    if (lexer->input == nullptr) return;
    lexer->token_line = static_cast<uint32_t>(lexer->input->line);
    lexer->token_column = static_cast<uint32_t>(lexer->input->column);
}

// Writes a tag message (or only the prefix and line end when `kind` may not
// print this code).
void print_tag_report(Lexer* lexer, Node* element, Node* node, TagMessage code, uint8_t kind) {
    if (lexer->messages == nullptr) return;
    write_prefix(lexer->messages, lexer);
    const TagMessageRow* row = tag_message(code);
    if (row != nullptr && (row->printed_by & kind) != 0) {
        write_tag_message(lexer->messages, *row, element, node);
    }
    fputc('\n', lexer->messages);
}

void write_lines(FILE* out, std::initializer_list<const char*> lines) {
    for (const char* line : lines)
        fputs(line, out);
}

} // namespace

void describe_node(FILE* out, const Node* node) {
    if (node == nullptr) return;
    switch (node->kind) {
    case DoctypeNode:
        fputs("<!DOCTYPE>", out);
        break;
    case TextNode:
        fputs("plain text", out);
        break;
    case StartTagNode:
        fprintf(out, "<%s>", node->element_name.c_str());
        break;
    case EndTagNode:
        fprintf(out, "</%s>", node->element_name.c_str());
        break;
    default:
        fputs(node->element_name.c_str(), out);
        break;
    }
}

void report_warning(Lexer* lexer, Node* element, Node* node, TagMessage code) {
    if (code == UnexpectedEof) position_at_stream(lexer);
    ++lexer->warnings;
    if (lexer->errors > MaxPrintedErrors || !options.show_warnings) return;
    print_tag_report(lexer, element, node, code, AsWarning);
    if (code == NotApproved && node != nullptr && node->tag != nullptr) {
        for (const ApprovalFlag& a : approval_flags) {
            if (*a.tag != nullptr && node->tag == *a.tag) lexer->usage_flags |= a.flag;
        }
    }
}

void report_error(Lexer* lexer, Node* element, Node* node, TagMessage code) {
    ++lexer->warnings;
    if (lexer->errors > MaxPrintedErrors) return;
    ++lexer->errors;
    print_tag_report(lexer, element, node, code, AsError);
}

void report_attribute_warning(Lexer* lexer, Node* node, const char* text, AttrMessage code) {
    if (code == EofInAttributes) position_at_stream(lexer);
    ++lexer->warnings;
    bool is_error = code == MissingGt;
    if (lexer->errors > MaxPrintedErrors) return;
    if (!is_error && !options.show_warnings) return;
    if (is_error) ++lexer->errors;
    if (code == ServerSideMap) lexer->access_flags |= MissingImageMap;

    FILE* out = lexer->messages;
    if (out == nullptr) return;
    write_prefix(out, lexer);
    for (const AttrMessageRow& row : attr_messages) {
        if (row.code != code) continue;
        fputs(row.head, out);
        if (row.tag) describe_node(out, node);
        fputs(row.middle, out);
        if (row.text && text != nullptr) fputs(text, out);
        fputs(row.tail, out);
        break;
    }
    fputc('\n', out);
}

void report_entity_warning(Lexer* lexer, EntityMessage code, const char* entity) {
    ++lexer->warnings;
    if (!options.show_warnings) return;
    FILE* out = lexer->messages;
    if (out == nullptr) return;
    write_prefix(out, lexer);
    for (const EntityMessageRow& row : entity_messages) {
        if (row.code != code) continue;
        fputs(row.head, out);
        if (row.text && entity != nullptr) fputs(entity, out);
        fputs(row.tail, out);
        break;
    }
    fputc('\n', out);
}

void report_encoding_warning(Lexer* lexer, CharMessage code, uint32_t c) {
    ++lexer->warnings;
    if (!options.show_warnings) return;
    lexer->bad_chars |= WindowsChars;
    FILE* out = lexer->messages;
    if (out == nullptr) return;
    write_prefix(out, lexer);
    if (code == IllegalCharCode) fprintf(out, "Warning: replacing illegal character code %u", c);
    fputc('\n', out);
}

void report_decoding_warning(Lexer* lexer, CharMessage code, uint32_t line, uint32_t column,
                             const uint32_t* values, int count) {
    ++lexer->warnings;
    if (!options.show_warnings) return;
    FILE* out = lexer->messages;
    if (out == nullptr) return;
    // The report points at the replacement character, not at the token
    // being read, which may have started lines earlier.
    const uint32_t saved_line = lexer->token_line;
    const uint32_t saved_column = lexer->token_column;
    lexer->token_line = line;
    lexer->token_column = column;
    write_prefix(out, lexer);
    lexer->token_line = saved_line;
    lexer->token_column = saved_column;
    switch (code) {
    case InvalidUtf8:
        fputs(count == 1 ? "Warning: replacing invalid UTF-8 byte"
                         : "Warning: replacing invalid UTF-8 bytes",
              out);
        for (int i = 0; i < count; ++i)
            fprintf(out, " %02X", values[i]);
        fputs(" by U+FFFD", out);
        break;
    case UnpairedSurrogate:
        fprintf(out, "Warning: replacing unpaired UTF-16 surrogate %04X by U+FFFD", values[0]);
        break;
    case IncompleteUtf16:
        fprintf(out, "Warning: replacing incomplete UTF-16 code unit %02X by U+FFFD", values[0]);
        break;
    default:
        break;
    }
    fputc('\n', out);
}

void report_doctype_summary(FILE* out, Lexer* lexer, const char* label, bool has_doctype,
                            uint32_t doctype_start, uint32_t doctype_end) {
    // The apparent version may itself report a doctype mismatch; doing this
    // first keeps that report on a line of its own.
    const char* version = version_label(lexer);
    if (has_doctype) {
        fprintf(out, "\n%s: Doctype given is \"", label);
        const std::string& text = lexer->text;
        uint32_t end = doctype_end < text.size() ? doctype_end : lexer->text_length();
        uint32_t i = doctype_start;
        int quotes = 0;
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
        while (i < end && quotes < 2) {
            size_t at = i;
            uint32_t c = decode_char_at(bytes, &at, end);
            i = static_cast<uint32_t>(at) + 1;
            if (c == '"') {
                ++quotes;
            } else if (quotes == 1) {
                fputc(static_cast<int>(c & 0xFF), out);
            }
        }
        fputc('"', out);
    }
    fprintf(out, "\n%s: Document content looks like %s\n", label,
            version != nullptr ? version : "HTML proprietary");
}

void report_unsupported_encoding(Lexer* lexer, uint32_t line, uint32_t column, const char* label) {
    ++lexer->warnings;
    if (!options.show_warnings) return;
    FILE* out = lexer->messages;
    if (out == nullptr) return;
    const uint32_t saved_line = lexer->token_line;
    const uint32_t saved_column = lexer->token_column;
    lexer->token_line = line;
    lexer->token_column = column;
    write_prefix(out, lexer);
    lexer->token_line = saved_line;
    lexer->token_column = saved_column;
    fprintf(out,
            "Warning: character encoding \"%s\" is not supported; its bytes and entities are "
            "copied unchanged\n",
            label);
}

void report_encoding_summary(FILE* out, const char* label, bool read_as_utf8,
                             const std::vector<CharsetChange>& changes) {
    if (read_as_utf8)
        fprintf(out, "%s: Document encoding looks like UTF-8 (no known encoding is declared)\n",
                label);
    for (const CharsetChange& change : changes) {
        fprintf(out, "%s: Declared character encoding \"%s\" changed to \"%s\" for the output\n",
                label, change.from.c_str(), change.to.c_str());
    }
}

void report_count(FILE* out, Lexer* lexer) {
    if (lexer->warnings != 0) {
        fprintf(out, "%u warnings/errors were found!\n\n", lexer->warnings);
    } else {
        fputs("no warnings or errors were found\n\n", out);
    }
}

void report_advice(Lexer* lexer) {
    // Frames with a noframes alternative need no advice about frames.
    if ((lexer->access_flags & UsingNoframes) != 0) {
        lexer->access_flags &= static_cast<uint8_t>(~(UsingFrames | UsingNoframes));
    }
    FILE* out = lexer->messages;
    if (out == nullptr) return;

    if ((lexer->bad_chars & WindowsChars) != 0) {
        write_lines(out, {"Characters codes for the Microsoft Windows fonts in the range\n",
                          "128 - 159 may not be recognized on other platforms. You are\n",
                          "instead recommended to use named entities, e.g. &trade; rather\n",
                          "than Windows character code 153 (0x2122 in Unicode). Note that\n",
                          "as of February 1998 few browsers support the new entities.\n\n"});
    }
    if (lexer->bad_form) {
        write_lines(out, {"You may need to move one or both of the <form> and </form>\n",
                          "tags. HTML elements should be properly nested and form elements\n",
                          "are no exception. For instance you should not place the <form>\n",
                          "in one table cell and the </form> in another. If the <form> is\n",
                          "placed before a table, the </form> cannot be placed inside the\n",
                          "table! Note that one form can't be nested inside another!\n\n"});
    }

    uint8_t access = lexer->access_flags;
    if (access != 0) {
        if ((access & MissingSummary) != 0) {
            write_lines(out, {"The table summary attribute should be used to describe\n",
                              "the table structure. It is very helpful for people using\n",
                              "non-visual browsers. The scope and headers attributes for\n",
                              "table cells are useful for specifying which headers apply\n",
                              "to each table cell, enabling non-visual browsers to provide\n",
                              "a meaningful context for each cell.\n\n"});
        }
        if ((access & MissingImageAlt) != 0) {
            write_lines(out, {"The alt attribute should be used to give a short description\n",
                              "of an image; longer descriptions should be given with the\n",
                              "longdesc attribute which takes a URL linked to the description.\n",
                              "These measures are needed for people using non-graphical "
                              "browsers.\n\n"});
        }
        if ((access & MissingImageMap) != 0) {
            write_lines(out, {"Use client-side image maps in preference to server-side image\n",
                              "maps as the latter are inaccessible to people using non-\n",
                              "graphical browsers. In addition, client-side maps are easier\n",
                              "to set up and provide immediate feedback to users.\n\n"});
        }
        if ((access & MissingLinkAlt) != 0) {
            write_lines(out, {"For hypertext links defined using a client-side image map, you\n",
                              "need to use the alt attribute to provide a textual description\n",
                              "of the link for people using non-graphical browsers.\n\n"});
        }
        if ((access & UsingFrames) != 0 && (access & UsingNoframes) == 0) {
            write_lines(out, {"Pages designed using frames presents problems for\n",
                              "people who are either blind or using a browser that\n",
                              "doesn't support frames. A frames-based page should always\n",
                              "include an alternative layout inside a NOFRAMES element.\n\n"});
        }
        write_lines(out, {"For further advice on how to make your pages accessible\n",
                          "see \"http://www.w3.org/WAI/GL\". You may also want to try\n",
                          "the free online checking service at \"http://www.cast.org/bobby/\",\n",
                          "which tests web pages for accessibility.\n\n"});
    }

    uint8_t usage = lexer->usage_flags;
    if (usage != 0) {
        if ((usage & UsingLayer) != 0) {
            write_lines(out, {"The Cascading Style Sheets (CSS) Positioning mechanism\n",
                              "is recommended in preference to the proprietary <LAYER>\n",
                              "element due to limited vendor support for LAYER.\n\n"});
        }
        if ((usage & UsingSpacer) != 0) {
            write_lines(out, {"You are recommended to use CSS for controlling white\n",
                              "space (e.g. for indentation, margins and line spacing).\n",
                              "The proprietary <SPACER> element has limited vendor support.\n\n"});
        }
        if ((usage & UsingFont) != 0) {
            write_lines(out, {"You are recommended to use CSS to specify the font and\n",
                              "properties such as its size and color. This will reduce\n",
                              "the size of HTML files and make them easier maintain\n",
                              "compared with using <FONT> elements.\n\n"});
        }
        if ((usage & UsingNobr) != 0) {
            write_lines(out, {"You are recommended to use CSS to control line wrapping.\n",
                              "Use \"white-space: nowrap\" to inhibit wrapping in place\n",
                              "of inserting <NOBR>...</NOBR> into the markup.\n\n"});
        }
        if ((usage & UsingBodyColors) != 0) {
            fputs("You are recommended to use CSS to specify page and link colors\n", out);
        }
    }
}

} // namespace varnel
