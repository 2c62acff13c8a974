// Every message the program prints: the per-position reports raised while a
// document is read (with their counting and seven-error suppression rules),
// the per-document banner, summaries, notice and advice paragraphs, and the
// help, version and closing texts.
//
// Reports go to the lexer's `messages` stream; counts live on the lexer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace varnel {

struct Lexer;
struct Node;
struct CharsetChange;

enum TagMessage : int {
    MissingEndTag = 1,
    MissingEndTagBefore = 2,
    DiscardingUnexpected = 3,
    NestedEmphasisFound = 4,
    ReplacingUnexpected = 5,
    NotAllowedIn = 6,
    MissingStartTag = 7,
    UnexpectedEndTag = 8,
    UsingBrInPlaceOf = 9,
    InsertingImplicit = 10,
    MissingQuotemark = 11,
    InsertingMissingTitle = 12,
    RepeatedFrameset = 13,
    CantBeNested = 14,
    ReplacingElement = 15,
    NotApproved = 16,
    NotRecognized = 17,
    TrimmingEmpty = 18,
    StartTagForEndTag = 19,
    ShouldntBeNested = 20,
    NotInsideNoframes = 21,
    ContentAfterBody = 22,
    DoctypeMismatch = 23,
    AdjacentHyphens = 24,
    ExpectingDashesOrGt = 25,
    XmlCommentDashes = 26,
    SlashLetterNotAllowed = 27,
    NamespaceMismatch = 28,
    DoctypeAfterElements = 29,
    ExpectedHtmlPublic = 30,
    UnexpectedEof = 31,
    DoctypeKeywordCase = 32,
    TooMany = 33,
    ReopenLimit = 34,
    ClosedAtOnce = 35,
    SlashIgnored = 36,
    ObsoleteInHtml5 = 37,
};

enum AttrMessage : int {
    UnknownAttribute = 1,
    LacksAttribute = 2,
    LacksValue = 3,
    UnknownValue = 4,
    MissingGt = 5,
    ProprietaryValue = 6,
    RepeatedAttribute = 7,
    ServerSideMap = 8,
    XmlAttribute = 9,
    UnexpectedQuote = 10,
    IdNameMismatch = 11,
    UnclosedValue = 12,
    EofInAttributes = 31,
};

enum EntityMessage : int { MissingSemicolon = 1, UnknownEntity = 2, UnescapedAmpersand = 3 };

enum CharMessage : int {
    IllegalCharCode = 1,
    InvalidUtf8 = 2,       // bytes that form no UTF-8 character
    UnpairedSurrogate = 3, // a UTF-16 surrogate without its partner
    IncompleteUtf16 = 4,   // a last byte that is half a UTF-16 code unit
};

// Label of the document being read ("stdin" for standard input), used by the
// gnu-emacs prefix.
extern const char* current_input_name;

// The release date shown by the banner, help and version texts.
extern const char* const release_date;

void report_warning(Lexer* lexer, Node* element, Node* node, TagMessage code);
void report_error(Lexer* lexer, Node* element, Node* node, TagMessage code);
void report_attribute_warning(Lexer* lexer, Node* node, const char* text, AttrMessage code);
void report_entity_warning(Lexer* lexer, EntityMessage code, const char* entity);
void report_encoding_warning(Lexer* lexer, CharMessage code, uint32_t c);
// Reports input that decodes to no character and is replaced by U+FFFD, at
// the position of the replacement: `values` are the bytes (InvalidUtf8,
// IncompleteUtf16) or the one code unit (UnpairedSurrogate), shown in hex.
void report_decoding_warning(Lexer* lexer, CharMessage code, uint32_t line, uint32_t column,
                             const uint32_t* values, int count);
// Reports a declared character encoding that the program cannot read, at
// the position of the declaration: the document's bytes and entity
// references are then copied unchanged.
void report_unsupported_encoding(Lexer* lexer, uint32_t line, uint32_t column, const char* label);
// Writes the description of a node ("<p>", "</p>", "plain text", ...).
void describe_node(FILE* out, const Node* node);

void show_banner(FILE* out, const char* date, const char* label);
// `doctype_start`/`doctype_end` is the doctype text noted before the fix-ups;
// has_doctype false when the document had none.
void report_doctype_summary(FILE* out, Lexer* lexer, const char* label, bool has_doctype,
                            uint32_t doctype_start, uint32_t doctype_end);
// The summary lines about the character encoding, after the document type
// summary: that the document was read as UTF-8 because its bytes are (no
// known encoding being declared), and each declared encoding that the
// output changes to name its own.
void report_encoding_summary(FILE* out, const char* label, bool read_as_utf8,
                             const std::vector<CharsetChange>& changes);
void report_count(FILE* out, Lexer* lexer);
void report_needs_fixing(FILE* out);
void report_advice(Lexer* lexer);
void report_closing_info(FILE* out);
void show_help(FILE* out, const char* program_name);
void show_version(FILE* out);

} // namespace varnel
