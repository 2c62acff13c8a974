// The state of one document while it is processed, as far as the document
// model needs it: its options and tags, where its reports go and how many
// there were, the findings that choose the advice paragraphs, the candidate
// HTML versions, the TextBuffer that holds all its text, and the style rules
// the cleaner makes. The lexer (input/lexer.h) extends it with the state of
// reading; the pipeline creates one per document and releases it after the
// tree. Nothing here is shared between documents, so documents can be
// processed on several threads at once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/config.h"
#include "base/messages.h"
#include "model/tags.h"

namespace varnel {

// Accessibility findings (access_flags).
constexpr uint8_t MissingImageAlt = 0x01;
constexpr uint8_t MissingLinkAlt = 0x02;
constexpr uint8_t MissingSummary = 0x04;
constexpr uint8_t MissingImageMap = 0x08;
constexpr uint8_t UsingFrames = 0x10;
constexpr uint8_t UsingNoframes = 0x20;
// Presentational-markup findings (usage_flags).
constexpr uint8_t UsingSpacer = 0x01;
constexpr uint8_t UsingLayer = 0x02;
constexpr uint8_t UsingNobr = 0x04;
constexpr uint8_t UsingFont = 0x08;
constexpr uint8_t UsingBodyColors = 0x10;
// bad_chars.
constexpr uint8_t WindowsChars = 0x01;

// A generated class rule; the document's `styles` list holds them newest
// first.
struct StyleRule {
    std::string tag_name;
    std::string class_name;
    std::string properties;
    StyleRule* next = nullptr;
};

void free_style_rules(StyleRule* rules);

struct Node;

struct DocumentState {
    DocumentState() = default;
    // Sets the document's options and the tags they declare.
    explicit DocumentState(const Config& document_options);
    DocumentState(const DocumentState&) = delete;
    DocumentState& operator=(const DocumentState&) = delete;
    ~DocumentState();

    // This document's options: a copy of the run's, which the document's
    // passes may adjust (the encoding chosen for it, XML input).
    Config options;
    // The built-in tags and those the run declared.
    TagTable tags;

    // Where the reports go (null: nowhere), and where messages about files
    // go (standard error, or what stands for it).
    FILE* messages = nullptr;
    FILE* error_messages = stderr;
    // Records of the positional reports, when the caller wants them.
    std::vector<Diagnostic>* diagnostics = nullptr;
    // The document's label ("stdin" for standard input), used by the
    // gnu-emacs prefix.
    std::string label = "stdin";
    // The position of the input stream (line, column), which the
    // end-of-file reports show; null when there is no stream.
    const int* stream_line = nullptr;
    const int* stream_column = nullptr;

    uint8_t access_flags = 0;
    uint8_t usage_flags = 0;
    uint8_t bad_chars = 0;
    bool bad_form = false;
    uint32_t warnings = 0;
    uint32_t errors = 0;
    // The position reports are made at: the start of the current token.
    uint32_t token_line = 1;
    uint32_t token_column = 1;
    bool is_xhtml = false;
    // The html element declares Word's office namespace (xmlns:o): with
    // word-2000 its prefixed elements (o:p) are removed by the cleanup.
    bool word_namespace = false;
    // A tag named meta was read. Only such elements can declare an
    // encoding, so without one the search for them is spared.
    bool meta_read = false;
    // Narrowed by each tag and attribute as it is read; before the doctype
    // is set, the flow replaces its standard bits by the versions the
    // printed page fits (versions.h).
    VersionBits possible_versions = 0x1DF;
    VersionBits given_version = 0;
    bool doctype_malformed = false;
    // The current token's range of the TextBuffer.
    uint32_t text_start = 0;
    uint32_t text_end = 0;
    std::string text; // the TextBuffer: UTF-8; text_length is text.size()
    StyleRule* styles = nullptr;

    // The number of the first style class the document makes: classes are
    // numbered on from the documents before it in the run ("c1", "c2",
    // ...). Asked once, when the first class is made; the run's answer may
    // wait for the documents before it. Unset: numbers start at 1.
    std::function<int()> first_class_number;
    // The number the next class gets; 0 until the first class is made.
    int next_class_number = 0;
    // The tag each element given another one had before (see
    // retag_element): <xmp> read as <pre> still ends at </xmp>. Kept here
    // rather than in every node, as few elements ever have one.
    std::unordered_map<const Node*, TagPtr> former_tags;

    uint32_t text_length() const { return static_cast<uint32_t>(text.size()); }
};

// Appends a character to the TextBuffer in UTF-8.
void append_char(DocumentState* doc, uint32_t c);
void append_string(DocumentState* doc, const char* s);

// Gives `element` the tag `tag`, remembering the one it had.
void retag_element(DocumentState* doc, Node* element, TagPtr tag);
// The tag `element` had before it was last given another; null when none.
TagPtr former_tag(const DocumentState* doc, const Node* element);

} // namespace varnel
