// Per-position reports with their counting and suppression rules, node
// descriptions, the count line and the advice paragraphs. Message texts are
// kept in tables indexed by code.
#include "model/reports.h"

#include <cstring>
#include <initializer_list>

#include "base/config.h"
#include "model/reports.h"
#include "model/document.h"
#include "model/node.h"
#include "model/tags.h"

namespace varnel {

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
    const TagPtr* tag;
    uint8_t flag;
};

const ApprovalFlag approval_flags[] = {
    {&tag_layer, UsingLayer},
    {&tag_spacer, UsingSpacer},
    {&tag_nobr, UsingNobr},
};

// Writes a report at the current token's position (or at line, column).
void emit(DocumentState* doc, Severity severity, const std::string& text) {
    write_report(doc->messages, doc->diagnostics, doc->label, doc->options.gnu_emacs,
                 doc->token_line, doc->token_column, severity, text);
}

void emit_at(DocumentState* doc, uint32_t line, uint32_t column, Severity severity,
             const std::string& text) {
    write_report(doc->messages, doc->diagnostics, doc->label, doc->options.gnu_emacs, line, column,
                 severity, text);
}

// Whether anyone takes the reports.
bool reported(const DocumentState* doc) {
    return doc->messages != nullptr || doc->diagnostics != nullptr;
}

const char* name_of(const Node* node) {
    return node != nullptr ? node->element_name().c_str() : "";
}

// Writes the text of a tag message from its pieces.
void write_tag_message(std::string& out, const TagMessageRow& row, const Node* element,
                       const Node* node) {
    for (const Piece& piece : row.pieces) {
        switch (piece.kind) {
        case PieceEnd:
            return;
        case PieceText:
            out += piece.text;
            break;
        case PieceNodeDesc:
            describe_node(out, node);
            break;
        case PieceElementDesc:
            describe_node(out, element);
            break;
        case PieceNodeName:
            out += name_of(node);
            break;
        case PieceElementName:
            out += name_of(element);
            break;
        case PieceInElement:
            if (element != nullptr) {
                out += " in <";
                out += element->element_name().c_str();
                out += ">";
            }
            break;
        case PieceReplacing:
            if (element != nullptr && element->tag() != nullptr &&
                (element->tag()->model & ModelObsolete) != 0) {
                out += "Warning: replacing obsolete element ";
            } else {
                out += "Warning: replacing element ";
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
void position_at_stream(DocumentState* doc) {
    if (doc->stream_line == nullptr || doc->stream_column == nullptr) return;
    doc->token_line = static_cast<uint32_t>(*doc->stream_line);
    doc->token_column = static_cast<uint32_t>(*doc->stream_column);
}

// Writes a tag message (or only the prefix and line end when `kind` may not
// print this code).
void print_tag_report(DocumentState* doc, Node* element, Node* node, TagMessage code,
                      uint8_t kind) {
    if (!reported(doc)) return;
    std::string text;
    const TagMessageRow* row = tag_message(code);
    if (row != nullptr && (row->printed_by & kind) != 0) {
        write_tag_message(text, *row, element, node);
    }
    emit(doc, kind == AsError ? Severity::Error : Severity::Warning, text);
}

void write_lines(FILE* out, std::initializer_list<const char*> lines) {
    for (const char* line : lines)
        fputs(line, out);
}

} // namespace

void describe_node(std::string& out, const Node* node) {
    if (node == nullptr) return;
    switch (node->kind()) {
    case DoctypeNode:
        out += "<!DOCTYPE>";
        break;
    case TextNode:
        out += "plain text";
        break;
    case StartTagNode:
        out += "<";
        out += node->element_name().c_str();
        out += ">";
        break;
    case EndTagNode:
        out += "</";
        out += node->element_name().c_str();
        out += ">";
        break;
    default:
        out += node->element_name().c_str();
        break;
    }
}

void describe_node(FILE* out, const Node* node) {
    std::string text;
    describe_node(text, node);
    fputs(text.c_str(), out);
}

void report_warning(DocumentState* doc, Node* element, Node* node, TagMessage code) {
    if (code == UnexpectedEof) position_at_stream(doc);
    ++doc->warnings;
    if (doc->errors > MaxPrintedErrors || !doc->options.show_warnings) return;
    print_tag_report(doc, element, node, code, AsWarning);
    if (code == NotApproved && node != nullptr && node->tag() != nullptr) {
        for (const ApprovalFlag& a : approval_flags) {
            if (*a.tag != nullptr && node->tag() == *a.tag) doc->usage_flags |= a.flag;
        }
    }
}

void report_error(DocumentState* doc, Node* element, Node* node, TagMessage code) {
    ++doc->warnings;
    if (doc->errors > MaxPrintedErrors) return;
    ++doc->errors;
    print_tag_report(doc, element, node, code, AsError);
}

void report_attribute_warning(DocumentState* doc, Node* node, const char* text, AttrMessage code) {
    if (code == EofInAttributes) position_at_stream(doc);
    ++doc->warnings;
    bool is_error = code == MissingGt;
    if (doc->errors > MaxPrintedErrors) return;
    if (!is_error && !doc->options.show_warnings) return;
    if (is_error) ++doc->errors;
    if (code == ServerSideMap) doc->access_flags |= MissingImageMap;

    if (!reported(doc)) return;
    std::string message;
    for (const AttrMessageRow& row : attr_messages) {
        if (row.code != code) continue;
        message += row.head;
        if (row.tag) describe_node(message, node);
        message += row.middle;
        if (row.text && text != nullptr) message += text;
        message += row.tail;
        break;
    }
    emit(doc, is_error ? Severity::Error : Severity::Warning, message);
}

void report_entity_warning(DocumentState* doc, EntityMessage code, const char* entity) {
    ++doc->warnings;
    if (!doc->options.show_warnings) return;
    if (!reported(doc)) return;
    std::string message;
    for (const EntityMessageRow& row : entity_messages) {
        if (row.code != code) continue;
        message += row.head;
        if (row.text && entity != nullptr) message += entity;
        message += row.tail;
        break;
    }
    emit(doc, Severity::Warning, message);
}

void report_encoding_warning(DocumentState* doc, CharMessage code, uint32_t c) {
    ++doc->warnings;
    if (!doc->options.show_warnings) return;
    doc->bad_chars |= WindowsChars;
    if (!reported(doc)) return;
    std::string message;
    if (code == IllegalCharCode)
        message = "Warning: replacing illegal character code " + std::to_string(c);
    emit(doc, Severity::Warning, message);
}

void report_decoding_warning(DocumentState* doc, CharMessage code, uint32_t line, uint32_t column,
                             const uint32_t* values, int count) {
    ++doc->warnings;
    if (!doc->options.show_warnings) return;
    if (!reported(doc)) return;
    std::string message;
    char hex[16];
    switch (code) {
    case InvalidUtf8:
        message = count == 1 ? "Warning: replacing invalid UTF-8 byte"
                             : "Warning: replacing invalid UTF-8 bytes";
        for (int i = 0; i < count; ++i) {
            snprintf(hex, sizeof hex, " %02X", values[i]);
            message += hex;
        }
        message += " by U+FFFD";
        break;
    case UnpairedSurrogate:
        snprintf(hex, sizeof hex, "%04X", values[0]);
        message = std::string("Warning: replacing unpaired UTF-16 surrogate ") + hex + " by U+FFFD";
        break;
    case IncompleteUtf16:
        snprintf(hex, sizeof hex, "%02X", values[0]);
        message =
            std::string("Warning: replacing incomplete UTF-16 code unit ") + hex + " by U+FFFD";
        break;
    default:
        break;
    }
    // The report points at the replacement character, not at the token
    // being read, which may have started lines earlier.
    emit_at(doc, line, column, Severity::Warning, message);
}

void report_unsupported_encoding(DocumentState* doc, uint32_t line, uint32_t column,
                                 const char* label) {
    ++doc->warnings;
    if (!doc->options.show_warnings) return;
    if (!reported(doc)) return;
    emit_at(doc, line, column, Severity::Warning,
            std::string("Warning: character encoding \"") + label +
                "\" is not supported; its bytes and entities are copied unchanged");
}

void report_count(FILE* out, DocumentState* doc) {
    if (doc->warnings != 0) {
        fprintf(out, "%u warnings/errors were found!\n\n", doc->warnings);
    } else {
        fputs("no warnings or errors were found\n\n", out);
    }
}

void report_advice(DocumentState* doc) {
    // Frames with a noframes alternative need no advice about frames.
    if ((doc->access_flags & UsingNoframes) != 0) {
        doc->access_flags &= static_cast<uint8_t>(~(UsingFrames | UsingNoframes));
    }
    FILE* out = doc->messages;
    if (out == nullptr) return;

    if ((doc->bad_chars & WindowsChars) != 0) {
        write_lines(out, {"Characters codes for the Microsoft Windows fonts in the range\n",
                          "128 - 159 may not be recognized on other platforms. You are\n",
                          "instead recommended to use named entities, e.g. &trade; rather\n",
                          "than Windows character code 153 (0x2122 in Unicode). Note that\n",
                          "as of February 1998 few browsers support the new entities.\n\n"});
    }
    if (doc->bad_form) {
        write_lines(out, {"You may need to move one or both of the <form> and </form>\n",
                          "tags. HTML elements should be properly nested and form elements\n",
                          "are no exception. For instance you should not place the <form>\n",
                          "in one table cell and the </form> in another. If the <form> is\n",
                          "placed before a table, the </form> cannot be placed inside the\n",
                          "table! Note that one form can't be nested inside another!\n\n"});
    }

    uint8_t access = doc->access_flags;
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

    uint8_t usage = doc->usage_flags;
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
