// Character encodings a document declares or its bytes reveal, for the
// documents read without an encoding option: the byte order mark, the
// charset of a meta element or an XML declaration near the start (found as
// browsers find it, by a quick scan of the first 1024 bytes before any
// parsing), and whether the bytes are UTF-8. After parsing, the meta
// elements that declare an encoding are made to name the one the output is
// written in.
//
// The driver chooses each document's encoding with these helpers before it
// opens the input stream, and settles the meta elements before printing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/config.h"

namespace varnel {

struct Lexer;
struct Node;

// How many bytes at the start of a document are searched for a declaration.
constexpr size_t CharsetPrescanBytes = 1024;

// The encoding that reads the bytes labelled `label` (a name as documents
// write it, in any case, blanks around it ignored): false when the label
// names no encoding this program reads. Labels of the Windows-1252 family
// (iso-8859-1 among them, which browsers read as Windows-1252) give Latin1,
// the US-ASCII ones Ascii; UTF-16 labels give Utf8, since a declaration
// inside the document can only be read when its bytes are ASCII-compatible.
bool encoding_for_label(std::string_view label, CharEncoding* encoding);

// The result of a scan of the first bytes for a declared encoding.
struct CharsetDeclaration {
    std::string label; // as declared, in lower case; empty when none was found
    size_t offset = 0; // where the declaring markup starts
};

// Scans `head` as browsers do before parsing: comments and other markup are
// stepped over, and the first meta element with a charset attribute, or an
// http-equiv="Content-Type" with a content that names a charset, gives the
// label. Attributes may come in any order, with or without quotes.
CharsetDeclaration prescan_meta_charset(std::string_view head);

// The encoding named by an XML declaration that starts `head`
// (`<?xml ... encoding="..."?>`); an empty label when there is none.
CharsetDeclaration xml_declaration_charset(std::string_view head);

// The range of the encoding name inside the value of a content attribute
// ("text/html; charset=utf-8"); false when it names none.
bool find_content_charset(std::string_view content, size_t* start, size_t* end);

// Checks bytes fed in pieces for being UTF-8 (strictly: no overlong forms,
// surrogates or values beyond U+10FFFF). A character cut off by the end of
// the input still counts as UTF-8: the decoder reports it, and the rest of
// the document reads as the UTF-8 it is.
class Utf8Check {
  public:
    void feed(const unsigned char* bytes, size_t count);
    // True while every byte fed so far can belong to UTF-8 text.
    bool valid() const { return valid_; }
    // True when a character of more than one byte has been completed.
    bool has_multibyte() const { return multibyte_; }
    // True when any byte above 127 has been fed.
    bool has_high_bytes() const { return high_; }

  private:
    bool valid_ = true;
    bool multibyte_ = false;
    bool high_ = false;
    int pending_ = 0; // continuation bytes still expected
    unsigned lower_ = 0x80;
    unsigned upper_ = 0xBF;
};

// A meta element whose declared encoding was changed for the output.
struct CharsetChange {
    std::string from; // the name as the document declared it
    std::string to;   // the name of the output encoding
};

// Makes every meta element that declares a character encoding (charset, or
// http-equiv="Content-Type" with a charset in its content) name the output
// encoding (the char-encoding option) when what it names does not describe
// the bytes that will be written. Returns the changes made.
std::vector<CharsetChange> settle_meta_charsets(Lexer* lexer, Node* root);

// The summary lines about the character encoding, after the document type
// summary: that the document was read as UTF-8 because its bytes are (no
// known encoding being declared), and each declared encoding that the
// output changes to name its own.
void report_encoding_summary(FILE* out, const char* label, bool read_as_utf8,
                             const std::vector<CharsetChange>& changes);

} // namespace varnel
