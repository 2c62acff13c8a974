// Declared and detected encodings: labels, the scan of the first bytes for
// a meta or XML declaration, the UTF-8 check fed in pieces, and meta
// elements renamed for the output encoding.
#include <gtest/gtest.h>

#include <string>

#include "input/charset.h"
#include "tree/builders.h"
#include "test_support.h"

namespace varnel {
namespace {

std::string meta_label(const std::string& head) {
    return prescan_meta_charset(head).label;
}

TEST(CharsetLabels, FamiliesAndAliases) {
    struct Row {
        const char* label;
        CharEncoding encoding;
    };
    const Row rows[] = {
        {"utf-8", CharEncoding::Utf8},
        {" UTF8 ", CharEncoding::Utf8},
        {"unicode-1-1-utf-8", CharEncoding::Utf8},
        // A UTF-16 label inside ASCII-compatible bytes: read as UTF-8.
        {"utf-16", CharEncoding::Utf8},
        {"UTF-16LE", CharEncoding::Utf8},
        {"iso-8859-1", CharEncoding::Latin1},
        {"ISO_8859-1", CharEncoding::Latin1},
        {"latin1", CharEncoding::Latin1},
        {"windows-1252", CharEncoding::Latin1},
        {"cp1252", CharEncoding::Latin1},
        {"us-ascii", CharEncoding::Ascii},
        {"ascii", CharEncoding::Ascii},
        {"macintosh", CharEncoding::MacRoman},
        {"x-mac-roman", CharEncoding::MacRoman},
        {"iso-2022-jp", CharEncoding::Iso2022},
        {"csISO2022JP", CharEncoding::Iso2022},
    };
    for (const Row& row : rows) {
        CharEncoding encoding = CharEncoding::Raw;
        EXPECT_TRUE(encoding_for_label(row.label, &encoding)) << row.label;
        EXPECT_EQ(encoding, row.encoding) << row.label;
    }
    for (const char* unsupported :
         {"euc-kr", "shift_jis", "iso-8859-2", "windows-1251", "", "utf"}) {
        CharEncoding encoding = CharEncoding::Raw;
        EXPECT_FALSE(encoding_for_label(unsupported, &encoding)) << unsupported;
    }
}

TEST(CharsetPrescan, MetaCharsetAndPragmaInAnyForm) {
    EXPECT_EQ(meta_label("<meta charset=\"utf-8\">"), "utf-8");
    EXPECT_EQ(meta_label("<META CHARSET=UTF-8>"), "utf-8");
    EXPECT_EQ(meta_label("<meta charset='Windows-1252'/>"), "windows-1252");
    EXPECT_EQ(meta_label("<meta/charset=utf-8>"), "utf-8");
    EXPECT_EQ(
        meta_label("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=ISO-8859-1\">"),
        "iso-8859-1");
    // Attributes in any order, values quoted or not, blanks around "=".
    EXPECT_EQ(meta_label("<meta content='text/html;charset=\"utf-8\"' http-equiv = content-type>"),
              "utf-8");
    EXPECT_EQ(meta_label("<meta content=text/html;charset=utf-8 http-equiv=Content-Type>"),
              "utf-8");
    // The position of the declaring element.
    EXPECT_EQ(prescan_meta_charset("<html>\n<meta charset=utf-8>").offset, 7u);
}

TEST(CharsetPrescan, WhatDoesNotDeclare) {
    // A content charset counts only with http-equiv="Content-Type".
    EXPECT_EQ(meta_label("<meta content=\"text/html; charset=utf-8\">"), "");
    EXPECT_EQ(meta_label("<meta http-equiv=refresh content=\"charset=utf-8\">"), "");
    EXPECT_EQ(meta_label("<meta http-equiv=content-type content=\"text/html\">"), "");
    // "charset" not followed by "=" is passed over.
    EXPECT_EQ(meta_label("<meta http-equiv=content-type content=\"charset; charset=utf-8\">"),
              "utf-8");
    // Other names than meta, and "<meta" not followed by a blank or "/".
    EXPECT_EQ(meta_label("<metal charset=utf-8><xmeta charset=utf-8>"), "");
    // Comments, including the shortest one, and markup declarations.
    EXPECT_EQ(meta_label("<!-- <meta charset=utf-8> --><meta charset=latin1>"), "latin1");
    EXPECT_EQ(meta_label("<!--><meta charset=latin1>"), "latin1");
    EXPECT_EQ(meta_label("<!-- <meta charset=utf-8>"), "");
    // "<?" and "<!" run to the first ">", wherever it stands.
    EXPECT_EQ(meta_label("<!DOCTYPE html><?pi <meta charset=x>?><meta charset=utf-8>"), "utf-8");
    // A ">" or a meta inside another tag's quoted attribute value is not
    // markup.
    EXPECT_EQ(meta_label("<a title='<meta charset=utf-8>'><meta charset=latin1>"), "latin1");
    EXPECT_EQ(meta_label("<p title=\"a>b\" charset=utf-8><meta charset=ascii>"), "ascii");
    // The first declaration wins; a repeated attribute is ignored.
    EXPECT_EQ(meta_label("<meta charset=utf-8 charset=latin1><meta charset=ascii>"), "utf-8");
}

TEST(CharsetPrescan, OnlyTheFirst1024BytesAreScanned) {
    const std::string declaration = "<meta charset=utf-8>";
    const std::string before(CharsetPrescanBytes - declaration.size(), ' ');
    EXPECT_EQ(meta_label(before + declaration), "utf-8");
    // One byte later the element no longer ends within the scanned bytes.
    EXPECT_EQ(meta_label(before + " " + declaration), "");
}

TEST(CharsetPrescan, XmlDeclaration) {
    EXPECT_EQ(xml_declaration_charset("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>").label,
              "iso-8859-1");
    EXPECT_EQ(xml_declaration_charset("<?xml version='1.0' encoding = 'utf-8' ?>").label, "utf-8");
    // Not at the very start, without an encoding, or with an odd value.
    EXPECT_EQ(xml_declaration_charset(" <?xml version=\"1.0\" encoding=\"utf-8\"?>").label, "");
    EXPECT_EQ(xml_declaration_charset("<?xml version=\"1.0\"?>").label, "");
    EXPECT_EQ(xml_declaration_charset("<?xml encoding=utf-8?>").label, "");
    EXPECT_EQ(xml_declaration_charset("<?xml encoding=\"utf 8\"?>").label, "");
}

TEST(CharsetContent, FindsTheNameInAContentValue) {
    size_t start = 0;
    size_t end = 0;
    const std::string content = "text/html; Charset = \"UTF-8\"; x";
    ASSERT_TRUE(find_content_charset(content, &start, &end));
    EXPECT_EQ(content.substr(start, end - start), "UTF-8");
    const std::string bare = "text/html;charset=latin1;x";
    ASSERT_TRUE(find_content_charset(bare, &start, &end));
    EXPECT_EQ(bare.substr(start, end - start), "latin1");
    EXPECT_FALSE(find_content_charset("text/html; charset=\"utf-8", &start, &end));
    EXPECT_FALSE(find_content_charset("text/html; charset=", &start, &end));
    EXPECT_FALSE(find_content_charset("text/html", &start, &end));
}

// The verdict on `bytes` fed in pieces of `piece` bytes.
Utf8Check check_in_pieces(const std::string& bytes, size_t piece) {
    Utf8Check check;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t at = 0; at < bytes.size(); at += piece)
        check.feed(data + at, std::min(piece, bytes.size() - at));
    return check;
}

TEST(Utf8CheckTest, SequencesSplitAcrossPiecesAndStrictForms) {
    struct Row {
        const char* bytes;
        bool valid;
        bool multibyte;
    };
    const Row rows[] = {
        {"plain ascii text, long enough for the fast path", true, false},
        {"caf\xC3\xA9", true, true},
        {"\xE2\x82\xAC and \xF0\x9F\x98\x80", true, true},
        {"caf\xE9 au lait", false, false},          // a Latin-1 byte
        {"\xC0\xBC", false, false},                 // overlong
        {"\xED\xA0\x80", false, false},             // a surrogate
        {"\xF4\x90\x80\x80", false, false},         // beyond U+10FFFF
        {"\xC3\xA9\x80", false, true},              // a stray continuation byte
        {"\xC3\xA9 then cut \xE2\x82", true, true}, // cut off by the end
    };
    for (const Row& row : rows) {
        for (size_t piece : {size_t{1}, size_t{2}, size_t{3}, size_t{64}}) {
            const Utf8Check check = check_in_pieces(row.bytes, piece);
            EXPECT_EQ(check.valid(), row.valid) << row.bytes << " in pieces of " << piece;
            if (row.valid) {
                EXPECT_EQ(check.has_multibyte(), row.multibyte) << row.bytes;
            }
        }
    }
    // Bytes beyond ASCII are noticed whether or not they are UTF-8.
    EXPECT_TRUE(check_in_pieces("abc\xE9", 64).has_high_bytes());
    EXPECT_FALSE(check_in_pieces("abc", 64).has_high_bytes());
}

class MetaCharsetTest : public ::testing::Test {
  protected:
    void SetUp() override { test::fresh_globals(); }
    void TearDown() override { options = Config{}; }
};

// The attribute values of the meta elements of `source` after the meta
// elements are settled for `output`, and the changes reported.
std::string settled(const std::string& source, CharEncoding output, size_t* changes) {
    test::LexerOver lx(source);
    Node* root = build_document(lx.lexer);
    lx.lexer->options.char_encoding = output;
    *changes = settle_meta_charsets(lx.lexer, root).size();
    std::string values;
    for (Node* n = root; n != nullptr;) {
        if (is_element(n) && n->element_name() == "meta") {
            // The list holds the attributes newest first.
            std::string meta;
            for (NodeAttribute* a = n->attributes(); a != nullptr; a = a->next)
                meta = std::string(a->name()) + "=" + std::string(a->value.value_or("")) +
                       (meta.empty() ? "" : " ") + meta;
            values += "|" + meta;
        }
        if (n->first_child() != nullptr) {
            n = n->first_child();
            continue;
        }
        while (n != nullptr && n->next == nullptr)
            n = n->parent;
        if (n != nullptr) n = n->next;
    }
    free_node(root);
    return values;
}

TEST_F(MetaCharsetTest, DeclarationsNameTheOutputEncoding) {
    size_t changes = 0;
    EXPECT_EQ(settled("<meta charset=iso-8859-1><title>t</title>", CharEncoding::Utf8, &changes),
              "|charset=utf-8");
    EXPECT_EQ(changes, 1u);
    EXPECT_EQ(settled("<meta http-equiv=Content-Type content='text/html; charset=\"UTF-8\"; x'>"
                      "<title>t</title>",
                      CharEncoding::Latin1, &changes),
              "|http-equiv=Content-Type content=text/html; charset=\"iso-8859-1\"; x");
    EXPECT_EQ(changes, 1u);
    // Names of the same family stand: windows-1252 describes Latin-1 output,
    // and ASCII reads the same under any encoding built on ASCII.
    EXPECT_EQ(
        settled("<meta charset=windows-1252><title>t</title>", CharEncoding::Latin1, &changes),
        "|charset=windows-1252");
    EXPECT_EQ(settled("<meta charset=utf-8><title>t</title>", CharEncoding::Ascii, &changes),
              "|charset=utf-8");
    EXPECT_EQ(changes, 0u);
    // Unless the ASCII output copies Latin-1 bytes (in a comment).
    EXPECT_EQ(settled("<meta charset=utf-8><title>t</title><!-- caf\xC3\xA9 -->",
                      CharEncoding::Ascii, &changes),
              "|charset=iso-8859-1");
    EXPECT_EQ(settled("<meta charset=utf-16><title>t</title>", CharEncoding::Ascii, &changes),
              "|charset=us-ascii");
    EXPECT_EQ(settled("<meta charset=utf-8><title>t</title>", CharEncoding::MacRoman, &changes),
              "|charset=macintosh");
    EXPECT_EQ(settled("<meta charset=utf-8><title>t</title>", CharEncoding::Iso2022, &changes),
              "|charset=iso-2022-jp");
    // Raw output holds whatever bytes the input held: nothing is renamed.
    EXPECT_EQ(settled("<meta charset=utf-8><title>t</title>", CharEncoding::Raw, &changes),
              "|charset=utf-8");
    EXPECT_EQ(changes, 0u);
    // A content charset without http-equiv="Content-Type" declares nothing.
    EXPECT_EQ(settled("<meta name=x content='charset=latin1'><title>t</title>", CharEncoding::Utf8,
                      &changes),
              "|name=x content=charset=latin1");
    EXPECT_EQ(changes, 0u);
}

} // namespace
} // namespace varnel
