// Declared and detected character encodings: labels, the scan of a
// document's first bytes for a declaration, the UTF-8 check, and the meta
// elements brought in line with the output encoding.
#include "input/charset.h"

#include <cstring>
#include <initializer_list>

#include "input/lexer.h"
#include "model/attrs.h"
#include "model/node.h"
#include "model/tags.h"

namespace varnel {

namespace {

// The labels browsers accept for the encodings this program reads.
constexpr const char* utf8_labels[] = {
    "unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8", "utf-8", "utf8", "x-unicode20utf8"};
constexpr const char* ascii_labels[] = {"ansi_x3.4-1968", "ascii", "us-ascii"};
constexpr const char* latin1_labels[] = {
    "cp1252",     "cp819",        "csisolatin1", "ibm819",         "iso-8859-1",
    "iso-ir-100", "iso8859-1",    "iso88591",    "iso_8859-1",     "l1",
    "latin1",     "windows-1252", "x-cp1252",    "x-user-defined", "iso_8859-1:1987"};
constexpr const char* mac_labels[] = {"csmacintosh", "mac", "macintosh", "x-mac-roman"};
constexpr const char* iso2022_labels[] = {"csiso2022jp", "iso-2022-jp"};
// UTF-16 cannot declare itself in ASCII bytes: a document whose meta says
// UTF-16 and which could be read that far is ASCII-compatible, and browsers
// read it as UTF-8.
constexpr const char* utf16_labels[] = {"csunicode", "iso-10646-ucs-2", "ucs-2",
                                        "unicode",   "unicodefeff",     "unicodefffe",
                                        "utf-16",    "utf-16be",        "utf-16le"};
// Labels of encodings in which ASCII bytes do not stand for ASCII text
// (wide forms, EBCDIC, and the ISO-2022 forms that browsers refuse to read).
constexpr const char* not_ascii_labels[] = {
    "utf-32", "utf32",       "ucs-4",       "ucs4",        "iso-10646-ucs-4", "ebcdic",    "ibm037",
    "cp037",  "iso-2022-kr", "csiso2022kr", "iso-2022-cn", "iso-2022-cn-ext", "hz-gb-2312"};

bool is_space(unsigned char c) {
    return c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x20;
}

unsigned char lower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

// The label without blanks around it, in lower case.
std::string normal_label(std::string_view label) {
    size_t from = 0;
    size_t to = label.size();
    while (from < to && is_space(static_cast<unsigned char>(label[from])))
        ++from;
    while (to > from && is_space(static_cast<unsigned char>(label[to - 1])))
        --to;
    std::string out;
    out.reserve(to - from);
    for (size_t i = from; i < to; ++i)
        out += static_cast<char>(lower(static_cast<unsigned char>(label[i])));
    return out;
}

template <size_t N> bool in_list(const std::string& label, const char* const (&list)[N]) {
    for (const char* name : list) {
        if (label == name) return true;
    }
    return false;
}

// True when `text` at `at` starts with `word` (given in lower case),
// ignoring ASCII case.
bool starts_with_at(std::string_view text, size_t at, std::string_view word) {
    if (at > text.size() || text.size() - at < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        if (lower(static_cast<unsigned char>(text[at + i])) != static_cast<unsigned char>(word[i]))
            return false;
    }
    return true;
}

bool is_letter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// One attribute of a tag as the scan reads it: the name and value in lower
// case.
struct ScanAttribute {
    std::string name;
    std::string value;
};

// What looking for the next attribute of a tag found.
enum class ScanResult {
    Found,      // an attribute; the position is after it
    TagEnd,     // no further attribute; the position is at the ">"
    OutOfBytes, // the scanned bytes end inside the tag
};

ScanResult next_attribute(std::string_view s, size_t* at, ScanAttribute* attribute) {
    size_t i = *at;
    const size_t n = s.size();
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    while (i < n && (is_space(byte(i)) || byte(i) == '/'))
        ++i;
    if (i >= n) return ScanResult::OutOfBytes;
    if (byte(i) == '>') {
        *at = i;
        return ScanResult::TagEnd;
    }
    attribute->name.clear();
    attribute->value.clear();
    // The name runs to "=" (unless that is its first byte), a blank, "/" or
    // ">"; blanks may stand around the "=".
    for (;; ++i) {
        if (i >= n) return ScanResult::OutOfBytes;
        const unsigned char c = byte(i);
        if (c == '=' && !attribute->name.empty()) break;
        if (is_space(c)) {
            while (i < n && is_space(byte(i)))
                ++i;
            if (i >= n) return ScanResult::OutOfBytes;
            if (byte(i) != '=') {
                *at = i;
                return ScanResult::Found;
            }
            break;
        }
        if (c == '/' || c == '>') {
            *at = i;
            return ScanResult::Found;
        }
        attribute->name += static_cast<char>(lower(c));
    }
    ++i; // past "="
    while (i < n && is_space(byte(i)))
        ++i;
    if (i >= n) return ScanResult::OutOfBytes;
    const unsigned char first = byte(i);
    if (first == '"' || first == '\'') {
        for (++i; i < n && byte(i) != first; ++i)
            attribute->value += static_cast<char>(lower(byte(i)));
        if (i >= n) return ScanResult::OutOfBytes;
        *at = i + 1;
        return ScanResult::Found;
    }
    if (first == '>') {
        *at = i;
        return ScanResult::Found;
    }
    for (; i < n && !is_space(byte(i)) && byte(i) != '>'; ++i)
        attribute->value += static_cast<char>(lower(byte(i)));
    if (i >= n) return ScanResult::OutOfBytes;
    *at = i;
    return ScanResult::Found;
}

// Reads the attributes of a meta element from `*at` (just after "<meta")
// and leaves `*at` at its ">": the label it declares, or an empty string.
// `complete` is false when the scanned bytes end inside the element.
std::string meta_declaration(std::string_view s, size_t* at, bool* complete) {
    std::vector<std::string> seen;
    bool got_pragma = false;
    int need_pragma = -1; // -1: not known, 0: no, 1: yes
    std::string charset;
    ScanAttribute attribute;
    for (;;) {
        const ScanResult result = next_attribute(s, at, &attribute);
        if (result == ScanResult::OutOfBytes) {
            *complete = false;
            return std::string();
        }
        if (result == ScanResult::TagEnd) break;
        bool repeated = false;
        for (const std::string& name : seen)
            repeated = repeated || name == attribute.name;
        if (repeated) continue;
        seen.push_back(attribute.name);
        if (attribute.name == "http-equiv") {
            if (attribute.value == "content-type") got_pragma = true;
        } else if (attribute.name == "content") {
            size_t start = 0;
            size_t end = 0;
            if (charset.empty() && find_content_charset(attribute.value, &start, &end)) {
                charset = attribute.value.substr(start, end - start);
                need_pragma = 1;
            }
        } else if (attribute.name == "charset") {
            charset = attribute.value;
            need_pragma = 0;
        }
    }
    *complete = true;
    if (need_pragma < 0 || (need_pragma == 1 && !got_pragma)) return std::string();
    return normal_label(charset);
}

} // namespace

bool encoding_for_label(std::string_view label, CharEncoding* encoding) {
    const std::string name = normal_label(label);
    if (in_list(name, utf8_labels) || in_list(name, utf16_labels)) {
        *encoding = CharEncoding::Utf8;
    } else if (in_list(name, ascii_labels)) {
        *encoding = CharEncoding::Ascii;
    } else if (in_list(name, latin1_labels)) {
        *encoding = CharEncoding::Latin1;
    } else if (in_list(name, mac_labels)) {
        *encoding = CharEncoding::MacRoman;
    } else if (in_list(name, iso2022_labels)) {
        *encoding = CharEncoding::Iso2022;
    } else {
        return false;
    }
    return true;
}

bool find_content_charset(std::string_view content, size_t* start, size_t* end) {
    size_t at = 0;
    for (;;) {
        size_t found = std::string_view::npos;
        for (size_t i = at; i + 7 <= content.size(); ++i) {
            if (starts_with_at(content, i, "charset")) {
                found = i;
                break;
            }
        }
        if (found == std::string_view::npos) return false;
        size_t i = found + 7;
        while (i < content.size() && is_space(static_cast<unsigned char>(content[i])))
            ++i;
        if (i >= content.size() || content[i] != '=') {
            at = i;
            continue;
        }
        ++i;
        while (i < content.size() && is_space(static_cast<unsigned char>(content[i])))
            ++i;
        if (i >= content.size()) return false;
        if (content[i] == '"' || content[i] == '\'') {
            const size_t close = content.find(content[i], i + 1);
            if (close == std::string_view::npos) return false;
            *start = i + 1;
            *end = close;
            return true;
        }
        size_t stop = i;
        while (stop < content.size() && !is_space(static_cast<unsigned char>(content[stop])) &&
               content[stop] != ';')
            ++stop;
        if (stop == i) return false;
        *start = i;
        *end = stop;
        return true;
    }
}

CharsetDeclaration prescan_meta_charset(std::string_view head) {
    CharsetDeclaration found;
    const std::string_view s = head.substr(0, CharsetPrescanBytes);
    const size_t n = s.size();
    size_t i = 0;
    while (i < n) {
        if (s[i] != '<') {
            ++i;
            continue;
        }
        const size_t tag = i;
        if (s.compare(i, 4, "<!--") == 0) {
            // The comment ends at the first "-->", which may share its
            // dashes with the opening: "<!-->" is a whole comment.
            const size_t close = s.find("-->", i + 2);
            if (close == std::string_view::npos) break;
            i = close + 3;
        } else if (starts_with_at(s, i, "<meta") && i + 5 < n &&
                   (is_space(static_cast<unsigned char>(s[i + 5])) || s[i + 5] == '/')) {
            i += 5;
            bool complete = true;
            std::string label = meta_declaration(s, &i, &complete);
            if (!complete) break;
            ++i;
            if (!label.empty()) {
                found.label = label;
                found.offset = tag;
                return found;
            }
        } else if (i + 1 < n && (is_letter(static_cast<unsigned char>(s[i + 1])) ||
                                 (s[i + 1] == '/' && i + 2 < n &&
                                  is_letter(static_cast<unsigned char>(s[i + 2]))))) {
            // Any other tag: its name, then its attributes, which may hold
            // a ">" inside quotes.
            while (i < n && !is_space(static_cast<unsigned char>(s[i])) && s[i] != '>')
                ++i;
            ScanAttribute attribute;
            ScanResult result = ScanResult::Found;
            while (result == ScanResult::Found)
                result = next_attribute(s, &i, &attribute);
            if (result == ScanResult::OutOfBytes) break;
            ++i;
        } else if (i + 1 < n && (s[i + 1] == '!' || s[i + 1] == '/' || s[i + 1] == '?')) {
            const size_t close = s.find('>', i + 1);
            if (close == std::string_view::npos) break;
            i = close + 1;
        } else {
            ++i;
        }
    }
    return found;
}

CharsetDeclaration xml_declaration_charset(std::string_view head) {
    CharsetDeclaration found;
    if (head.substr(0, 5) != "<?xml") return found;
    const size_t end = head.find('>');
    if (end == std::string_view::npos) return found;
    const std::string_view declaration = head.substr(0, end);
    const size_t name = declaration.find("encoding");
    if (name == std::string_view::npos) return found;
    size_t i = name + 8;
    auto blank = [&](size_t k) { return static_cast<unsigned char>(declaration[k]) <= 0x20; };
    while (i < declaration.size() && blank(i))
        ++i;
    if (i >= declaration.size() || declaration[i] != '=') return found;
    ++i;
    while (i < declaration.size() && blank(i))
        ++i;
    if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\'')) return found;
    const size_t close = declaration.find(declaration[i], i + 1);
    if (close == std::string_view::npos) return found;
    const std::string_view value = declaration.substr(i + 1, close - i - 1);
    for (size_t k = 0; k < value.size(); ++k) {
        if (static_cast<unsigned char>(value[k]) <= 0x20) return found;
    }
    found.label = normal_label(value);
    return found;
}

void Utf8Check::feed(const unsigned char* bytes, size_t count) {
    if (!valid_) return;
    size_t i = 0;
    while (i < count) {
        const unsigned c = bytes[i];
        if (pending_ > 0) {
            if (c < lower_ || c > upper_) {
                valid_ = false;
                return;
            }
            lower_ = 0x80;
            upper_ = 0xBF;
            if (--pending_ == 0) multibyte_ = true;
            ++i;
            continue;
        }
        if (c < 0x80) {
            // Runs of ASCII are the common case: step over them quickly.
            ++i;
            while (i + 8 <= count) {
                uint64_t word;
                std::memcpy(&word, bytes + i, sizeof word);
                if ((word & 0x8080808080808080ull) != 0) break;
                i += 8;
            }
            continue;
        }
        high_ = true;
        if (c >= 0xC2 && c <= 0xDF) {
            pending_ = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            pending_ = 2;
            lower_ = c == 0xE0 ? 0xA0 : 0x80;
            upper_ = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            pending_ = 3;
            lower_ = c == 0xF0 ? 0x90 : 0x80;
            upper_ = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            valid_ = false;
            return;
        }
        ++i;
    }
}

namespace {

// The name written for an output encoding, and whether a declared label
// already describes that output.
struct OutputCharset {
    const char* name; // null: any declaration stands (raw output)
    CharEncoding family;
};

// Whether the text that the printer copies as it stands (comments, CDATA,
// marked sections, server blocks) holds characters beyond ASCII, which
// ASCII output writes as Latin-1 bytes.
bool copies_beyond_ascii(const Lexer* lexer, Node* root) {
    for (Node* n = root->first_child(); n != nullptr;) {
        if (n->kind() == CommentNode || n->kind() == CDataNode || n->kind() == SectionNode ||
            n->kind() == AspNode || n->kind() == JsteNode || n->kind() == PhpNode) {
            for (uint32_t i = n->start; i < n->end() && i < lexer->text.size(); ++i) {
                if (static_cast<unsigned char>(lexer->text[i]) >= 0x80) return true;
            }
        }
        if (n->first_child() != nullptr) {
            n = n->first_child();
            continue;
        }
        while (n != root && n->next == nullptr)
            n = n->parent;
        n = n == root ? nullptr : n->next;
    }
    return false;
}

OutputCharset output_charset(const Lexer* lexer, Node* root) {
    switch (lexer->options.char_encoding) {
    case CharEncoding::Ascii:
        if (copies_beyond_ascii(lexer, root)) return {"iso-8859-1", CharEncoding::Latin1};
        return {"us-ascii", CharEncoding::Ascii};
    case CharEncoding::Latin1:
        return {"iso-8859-1", CharEncoding::Latin1};
    case CharEncoding::Utf8:
        return {"utf-8", CharEncoding::Utf8};
    case CharEncoding::Iso2022:
        return {"iso-2022-jp", CharEncoding::Iso2022};
    case CharEncoding::MacRoman:
        return {"macintosh", CharEncoding::MacRoman};
    case CharEncoding::Raw:
        break;
    }
    return {nullptr, CharEncoding::Raw};
}

// Whether bytes written in `family` read right under the declared label.
bool label_fits(std::string_view declared, CharEncoding family) {
    const std::string label = normal_label(declared);
    switch (family) {
    case CharEncoding::Raw:
        return true;
    case CharEncoding::Ascii:
        // ASCII reads the same in every encoding built on it.
        return !in_list(label, utf16_labels) && !in_list(label, not_ascii_labels) &&
               !label.starts_with("utf-32") && !label.starts_with("ucs-4");
    case CharEncoding::Latin1:
        return in_list(label, latin1_labels);
    case CharEncoding::Utf8:
        return in_list(label, utf8_labels);
    case CharEncoding::Iso2022:
        return in_list(label, iso2022_labels);
    case CharEncoding::MacRoman:
        return in_list(label, mac_labels);
    }
    return true;
}

bool name_is(const NodeAttribute* attribute, std::string_view name) {
    return attribute->value.has_value() && attribute->name().size() == name.size() &&
           starts_with_at(attribute->name(), 0, name);
}

NodeAttribute* attribute_named(Node* node, std::string_view name) {
    for (NodeAttribute* a = node->attributes(); a != nullptr; a = a->next) {
        if (name_is(a, name)) return a;
    }
    return nullptr;
}

} // namespace

std::vector<CharsetChange> settle_meta_charsets(Lexer* lexer, Node* root) {
    std::vector<CharsetChange> changes;
    if (root == nullptr || !lexer->meta_read) return changes;
    bool known = false;
    OutputCharset output{nullptr, CharEncoding::Raw};
    for (Node* n = root->first_child(); n != nullptr;) {
        const bool meta =
            is_element(n) &&
            ((tag_meta != nullptr && n->tag() == tag_meta) ||
             (n->element_name().size() == 4 && starts_with_at(n->element_name(), 0, "meta")));
        if (meta) {
            if (!known) {
                output = output_charset(lexer, root);
                known = true;
            }
            if (output.name == nullptr) return changes;
            if (NodeAttribute* charset = attribute_named(n, "charset")) {
                if (!label_fits(*charset->value, output.family)) {
                    changes.push_back({std::string(*charset->value), output.name});
                    charset->value = output.name;
                }
            }
            NodeAttribute* equiv = attribute_named(n, "http-equiv");
            NodeAttribute* content = attribute_named(n, "content");
            size_t start = 0;
            size_t end = 0;
            if (equiv != nullptr && content != nullptr &&
                normal_label(*equiv->value) == "content-type" &&
                find_content_charset(*content->value, &start, &end)) {
                const std::string declared(content->value->substr(start, end - start));
                if (!label_fits(declared, output.family)) {
                    changes.push_back({declared, output.name});
                    std::string replaced(*content->value);
                    replaced.replace(start, end - start, output.name);
                    content->value = replaced;
                }
            }
        }
        if (n->first_child() != nullptr) {
            n = n->first_child();
            continue;
        }
        while (n != root && n->next == nullptr)
            n = n->parent;
        n = n == root ? nullptr : n->next;
    }
    return changes;
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

} // namespace varnel
