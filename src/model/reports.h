// The reports about a document's content, raised while it is read and
// repaired, with their counting and seven-error suppression rules, the
// descriptions of the nodes they name, the count line and the advice
// paragraphs. Message texts are kept in tables indexed by code.
//
// Reports go to the document's `messages` stream (and its diagnostic
// records); counts and advice flags live on the DocumentState.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace varnel {

struct DocumentState;
struct Node;

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

void report_warning(DocumentState* doc, Node* element, Node* node, TagMessage code);
void report_error(DocumentState* doc, Node* element, Node* node, TagMessage code);
void report_attribute_warning(DocumentState* doc, Node* node, const char* text, AttrMessage code);
void report_entity_warning(DocumentState* doc, EntityMessage code, const char* entity);
void report_encoding_warning(DocumentState* doc, CharMessage code, uint32_t c);
// Reports input that decodes to no character and is replaced by U+FFFD, at
// the position of the replacement: `values` are the bytes (InvalidUtf8,
// IncompleteUtf16) or the one code unit (UnpairedSurrogate), shown in hex.
void report_decoding_warning(DocumentState* doc, CharMessage code, uint32_t line, uint32_t column,
                             const uint32_t* values, int count);
// Reports a declared character encoding that the program cannot read, at
// the position of the declaration: the document's bytes and entity
// references are then copied unchanged.
void report_unsupported_encoding(DocumentState* doc, uint32_t line, uint32_t column,
                                 const char* label);
// Appends (or writes) the description of a node ("<p>", "</p>", "plain
// text", ...).
void describe_node(std::string& out, const Node* node);
void describe_node(FILE* out, const Node* node);

void report_count(FILE* out, DocumentState* doc);
void report_advice(DocumentState* doc);

} // namespace varnel
