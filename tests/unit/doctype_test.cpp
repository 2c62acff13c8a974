// Document type handling: the declared version and keyword case, the
// apparent version and its name, and the doctype, namespace, XML
// declaration and generator fix-ups.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/config.h"
#include "base/messages.h"
#include "input/doctype.h"
#include "input/lexer.h"
#include "input/stream.h"
#include "model/attrs.h"
#include "model/node.h"
#include "model/tags.h"
#include "test_support.h"

namespace varnel {
namespace {

class DoctypeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::fresh_globals();
        lx_ = std::make_unique<test::LexerOver>("x");
        lexer_ = lx_->lexer;
    }

    void TearDown() override {
        for (Node* n : owned_)
            free_node(n);
        lx_.reset();
        options = Config{};
    }

    // A doctype token whose text (after "<!DOCTYPE ") is `text`.
    Node* doctype(const char* text) {
        Node* d = new_node();
        d->set_kind(DoctypeNode);
        d->start = lexer_->text_length();
        append_string(lexer_, text);
        d->set_end(lexer_->text_length());
        return d;
    }

    Node* element(const char* name) {
        Node* n = new_node();
        n->set_kind(StartTagNode);
        n->set_element_name(name);
        find_tag(lexer_, n);
        return n;
    }

    // root > [doctype] html > head, body; released by TearDown.
    Node* document(const char* doctype_text = nullptr) {
        Node* root = new_node();
        root->set_kind(RootNode);
        if (doctype_text != nullptr) insert_node_at_end(root, doctype(doctype_text));
        Node* html = element("html");
        insert_node_at_end(root, html);
        insert_node_at_end(html, element("head"));
        insert_node_at_end(html, element("body"));
        owned_.push_back(root);
        return root;
    }

    std::string text_of(const Node* node) const {
        return lexer_->text.substr(node->start, node->end() - node->start);
    }

    int count_kind(const Node* parent, NodeKind kind) const {
        int n = 0;
        for (const Node* c = parent->first_child(); c != nullptr; c = c->next)
            n += c->kind() == kind;
        return n;
    }

    std::string reports() { return lx_->messages(); }

    std::unique_ptr<test::LexerOver> lx_;
    // The fixture's lexer, with the options as the test has set them.
    Lexer* lexer() {
        lexer_->options = options;
        return lexer_;
    }
    Lexer* lexer_ = nullptr;
    std::vector<Node*> owned_;
};

const char* const keyword_case_warning =
    "line 1 column 1 - Warning: SYSTEM, PUBLIC, W3C, DTD, EN must be upper case\n";

TEST_F(DoctypeTest, DeclaredVersionFromThePublicIdentifier) {
    struct Case {
        const char* text;
        VersionBits version;
    };
    const Case cases[] = {
        {"html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" "
         "\"http://www.w3.org/TR/html4/loose.dtd\"",
         VersionHTML40Loose},
        {"html PUBLIC \"-//W3C//DTD HTML 4.01//EN\"", VersionHTML40Strict},
        {"HTML PUBLIC \"-//W3C//DTD HTML 4.0 Frameset//EN\"", VersionFrames},
        {"html PUBLIC \"-//W3C//DTD HTML 3.2//EN\"", VersionHTML32},
        {"html PUBLIC \"-//IETF//DTD HTML 2.0//EN\"", VersionHTML20},
        // HTML 3.2's published identifier names it with "Final".
        {"HTML PUBLIC \"-//W3C//DTD HTML 3.2 Final//EN\"", VersionHTML32},
        {"HTML PUBLIC \"-//W3C//DTD HTML 3.2 Draft//EN\"", 0},
        {"html PUBLIC \"-//W3C//DTD HTML 4.01\"", 0}, // the name runs to the end
        {"html PUBLIC \"-//ACME//DTD HTML 4.01//EN\"", 0},
        {"html PUBLIC x", 0},
        {"HTML SYSTEM \"about.dtd\"", 0},
        {"foo PUBLIC \"-//W3C//DTD HTML 4.01//EN\"", 0},
    };
    for (const Case& c : cases) {
        Node* d = doctype(c.text);
        EXPECT_EQ(read_declared_version(lexer(), d), c.version) << c.text;
        EXPECT_EQ(text_of(d), c.text);
        free_node(d);
    }
    EXPECT_EQ(reports(), "");
    EXPECT_FALSE(lexer()->doctype_malformed);
}

TEST_F(DoctypeTest, KeywordCaseIsReportedAndMended) {
    Node* d1 = doctype("html public \"-//W3C//DTD HTML 4.0//EN\"");
    EXPECT_EQ(read_declared_version(lexer(), d1), VersionHTML40Strict);
    EXPECT_EQ(text_of(d1), "html PUBLIC \"-//W3C//DTD HTML 4.0//EN\"");

    Node* d2 = doctype("html system \"x.dtd\"");
    EXPECT_EQ(read_declared_version(lexer(), d2), 0u);
    EXPECT_EQ(text_of(d2), "html SYSTEM \"x.dtd\"");

    // The owner's name is compared exactly, so a lower-case one names no
    // version.
    Node* d3 = doctype("html PUBLIC \"-//w3c//DTD HTML 4.01//EN\"");
    EXPECT_EQ(read_declared_version(lexer(), d3), 0u);

    EXPECT_EQ(reports(),
              std::string(keyword_case_warning) + keyword_case_warning + keyword_case_warning);
    EXPECT_FALSE(lexer()->doctype_malformed);
    for (Node* d : {d1, d2, d3})
        free_node(d);
}

TEST_F(DoctypeTest, KeywordSearch) {
    struct Case {
        const char* text;
        bool upper;
    };
    const Case cases[] = {
        {"html PUBLIC \"-//W3C//DTD HTML 4.01//EN\"", true},
        {"html PUBLIC \"-//W3C//DTD HTML 4.01//en\"", false},
        {"html PUBLIC \"-//W3C//dtd HTML 4.01//EN\"", false},
        {"html Public \"x\"", false},
        {"html SyStEm \"x\"", false},
        // A keyword must be followed by at least one more character.
        {"html PUBLIC \"x\" //en", true},
        {"html PUBLIC \"x\" //en ", false},
        {"html", true},
        {"", true},
        // Only the first occurrence counts.
        {"html PUBLIC \"-//W3C//DTD//dtd\"", true},
    };
    for (const Case& c : cases) {
        Node* d = doctype(c.text);
        EXPECT_EQ(doctype_keywords_upper(lexer(), d), c.upper) << c.text;
        free_node(d);
    }
}

TEST_F(DoctypeTest, MalformedDoctypeIsNotedAndReportedByTheRepair) {
    Node* d = doctype("html foo");
    EXPECT_EQ(read_declared_version(lexer(), d), 0u);
    EXPECT_TRUE(lexer()->doctype_malformed);
    EXPECT_EQ(reports(), "");
    free_node(d);

    Node* root = document("html foo");
    repair_doctype(lexer(), root);
    EXPECT_EQ(reports(),
              "line 1 column 1 - Warning: expected \"html PUBLIC\" or \"html SYSTEM\"\n");
    // Auto mode keeps a doctype that names no version.
    EXPECT_EQ(text_of(root->first_child()), "html foo");
}

TEST_F(DoctypeTest, ApparentVersionAndItsName) {
    struct Case {
        VersionBits possible;
        VersionBits lowest;
        const char* html_name;
        const char* xhtml_name;
    };
    const Case cases[] = {
        {0x1DF, VersionHTML20, "HTML 2.0", "XHTML 1.0 Strict"},
        {0x1DE, VersionHTML32, "HTML 3.2", "XHTML 1.0 Transitional"},
        {0x1C, VersionHTML40Strict, "HTML 4.01", "XHTML 1.0 Strict"},
        {0x18, VersionHTML40Loose, "HTML 4.01 Transitional", "XHTML 1.0 Transitional"},
        {0x10, VersionFrames, "HTML 4.01 Frameset", "XHTML 1.0 Frameset"},
        {0x1C0, 0, nullptr, nullptr},
        {0, 0, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.possible);
        lexer()->possible_versions = c.possible;
        EXPECT_EQ(lowest_version(lexer()), c.lowest);
        EXPECT_EQ(infer_content_version(lexer()), c.lowest);
        lexer()->is_xhtml = false;
        const char* html = version_label(lexer());
        EXPECT_STREQ(html, c.html_name);
        lexer()->is_xhtml = true;
        EXPECT_STREQ(version_label(lexer()), c.xhtml_name);
    }
    EXPECT_EQ(reports(), "");
}

TEST_F(DoctypeTest, DeclaredVersionWinsWhileTheContentFitsIt) {
    lexer()->given_version = VersionHTML40Loose;
    lexer()->possible_versions = 0x1A;
    EXPECT_EQ(infer_content_version(lexer()), VersionHTML40Loose);
    EXPECT_STREQ(version_label(lexer()), "HTML 4.01 Transitional");
    EXPECT_EQ(reports(), "");

    lexer()->given_version = VersionHTML40Strict;
    EXPECT_EQ(infer_content_version(lexer()), VersionHTML32);
    EXPECT_EQ(reports(), "line 1 column 1 - Warning: html doctype doesn't match content\n");
    EXPECT_EQ(lexer()->warnings, 1u);
}

TEST_F(DoctypeTest, AutoModeCreatesTheDoctypeTheContentFits) {
    struct Case {
        VersionBits possible;
        const char* text;
    };
    const Case cases[] = {
        {0x1DF, "html PUBLIC \"-//IETF//DTD HTML 2.0//EN\""},
        {0x1A, "html PUBLIC \"-//W3C//DTD HTML 3.2//EN\""},
        {0x1C, "html PUBLIC \"-//W3C//DTD HTML 4.01//EN\""},
        {0x18, "html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\""},
        {0x10, "html PUBLIC \"-//W3C//DTD HTML 4.01 Frameset//EN\""},
    };
    for (const Case& c : cases) {
        lexer()->possible_versions = c.possible;
        Node* root = document();
        repair_doctype(lexer(), root);
        ASSERT_EQ(root->first_child()->kind(), DoctypeNode);
        EXPECT_EQ(text_of(root->first_child()), c.text);
        EXPECT_EQ(root->first_child()->next, find_html(root));
        EXPECT_EQ(root->first_child()->parent, root);
    }
    // No version fits: nothing is made.
    lexer()->possible_versions = 0x1C0;
    Node* root = document();
    repair_doctype(lexer(), root);
    EXPECT_EQ(count_kind(root, DoctypeNode), 0);
    EXPECT_EQ(reports(), "");
}

TEST_F(DoctypeTest, AutoModeKeepsOrRewritesTheGivenDoctype) {
    const char* given = "html PUBLIC \"-//W3C//DTD HTML 4.01//EN\"";

    // Names no version: kept.
    lexer()->given_version = 0;
    lexer()->possible_versions = 0x18;
    Node* r1 = document("html SYSTEM \"local.dtd\"");
    repair_doctype(lexer(), r1);
    EXPECT_EQ(text_of(r1->first_child()), "html SYSTEM \"local.dtd\"");

    // Names a version the content still fits: kept.
    lexer()->given_version = VersionHTML40Strict;
    lexer()->possible_versions = 0x1C;
    Node* r2 = document(given);
    repair_doctype(lexer(), r2);
    EXPECT_EQ(text_of(r2->first_child()), given);

    // Contradicted by the content: the same node gets the fitting text.
    lexer()->possible_versions = 0x18;
    Node* r3 = document(given);
    Node* d = r3->first_child();
    repair_doctype(lexer(), r3);
    EXPECT_EQ(r3->first_child(), d);
    EXPECT_EQ(text_of(d), "html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"");
    EXPECT_EQ(count_kind(r3, DoctypeNode), 1);
    EXPECT_EQ(reports(), "");
}

TEST_F(DoctypeTest, OmitStrictAndLooseModes) {
    options.doctype_mode = DoctypeOmit;
    Node* r1 = document("html PUBLIC \"-//W3C//DTD HTML 4.01//EN\"");
    repair_doctype(lexer(), r1);
    EXPECT_EQ(count_kind(r1, DoctypeNode), 0);
    EXPECT_EQ(r1->first_child(), find_html(r1));

    // Strict and loose replace the doctype whatever the content is.
    lexer()->possible_versions = 0x1A;
    options.doctype_mode = DoctypeStrict;
    Node* r2 = document("html PUBLIC \"-//W3C//DTD HTML 3.2//EN\"");
    repair_doctype(lexer(), r2);
    EXPECT_EQ(count_kind(r2, DoctypeNode), 1);
    EXPECT_EQ(text_of(r2->first_child()), "html PUBLIC \"-//W3C//DTD HTML 4.01//EN\"");

    options.doctype_mode = DoctypeLoose;
    Node* r3 = document();
    repair_doctype(lexer(), r3);
    EXPECT_EQ(count_kind(r3, DoctypeNode), 1);
    EXPECT_EQ(text_of(r3->first_child()), "html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"");
}

TEST_F(DoctypeTest, UserModeQuotesTheUsersIdentifier) {
    options.doctype_mode = DoctypeUser;
    options.doctype_str = std::string("-//ACME//DTD HTML 3.14//EN");
    Node* r1 = document("html PUBLIC \"-//W3C//DTD HTML 3.2//EN\"");
    Node* d = r1->first_child();
    repair_doctype(lexer(), r1);
    EXPECT_EQ(r1->first_child(), d); // rewritten in place
    EXPECT_EQ(text_of(d), "html PUBLIC \"-//ACME//DTD HTML 3.14//EN\"");

    // Already in quotes: written as given.
    options.doctype_str = std::string("\"-//X//DTD Y//EN\"");
    Node* r2 = document();
    repair_doctype(lexer(), r2);
    EXPECT_EQ(text_of(r2->first_child()), "html PUBLIC \"-//X//DTD Y//EN\"");

    // No identifier: the strict one.
    options.doctype_str.reset();
    Node* r3 = document();
    repair_doctype(lexer(), r3);
    EXPECT_EQ(text_of(r3->first_child()), "html PUBLIC \"-//W3C//DTD HTML 4.01//EN\"");
}

TEST_F(DoctypeTest, XmlOutputAndXhtmlInputTakeNoHtmlDoctype) {
    options.output_xml = true;
    Node* r1 = document("html PUBLIC \"-//W3C//DTD HTML 4.01//EN\"");
    lexer()->given_version = VersionHTML20; // contradicted, yet left alone
    repair_doctype(lexer(), r1);
    EXPECT_EQ(text_of(r1->first_child()), "html PUBLIC \"-//W3C//DTD HTML 4.01//EN\"");
    EXPECT_EQ(get_attribute(find_html(r1), "xmlns"), nullptr);

    // XHTML input written as HTML: the doctype goes, the namespace comes.
    options.output_xml = false;
    options.doctype_mode = DoctypeStrict;
    lexer()->is_xhtml = true;
    Node* r2 = document("html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\"");
    repair_doctype(lexer(), r2);
    EXPECT_EQ(count_kind(r2, DoctypeNode), 0);
    NodeAttribute* xmlns = get_attribute(find_html(r2), "xmlns");
    ASSERT_NE(xmlns, nullptr);
    EXPECT_EQ(*xmlns->value, "http://www.w3.org/1999/xhtml");

    // In auto mode a doctype naming no version is kept even then.
    options.doctype_mode = DoctypeAuto;
    lexer()->given_version = 0;
    Node* r3 = document("html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\"");
    repair_doctype(lexer(), r3);
    EXPECT_EQ(count_kind(r3, DoctypeNode), 1);
    EXPECT_EQ(reports(), "");
}

const char* const xhtml_strict = "html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\"\n"
                                 "    \"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\"";
const char* const xhtml_loose = "html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\"\n"
                                "    \"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\"";

TEST_F(DoctypeTest, XhtmlDoctypeByMode) {
    Node* r1 = document();
    make_xhtml_doctype(lexer(), r1);
    EXPECT_EQ(text_of(r1->first_child()), xhtml_strict);
    NodeAttribute* xmlns = get_attribute(find_html(r1), "xmlns");
    ASSERT_NE(xmlns, nullptr);
    EXPECT_EQ(*xmlns->value, "http://www.w3.org/1999/xhtml");

    lexer()->possible_versions = 0x18;
    Node* r2 = document("html PUBLIC \"-//W3C//DTD HTML 4.01//EN\"");
    Node* d = r2->first_child();
    make_xhtml_doctype(lexer(), r2);
    EXPECT_EQ(r2->first_child(), d);
    EXPECT_EQ(text_of(d), xhtml_loose);

    options.doctype_mode = DoctypeStrict;
    Node* r3 = document();
    make_xhtml_doctype(lexer(), r3);
    EXPECT_EQ(text_of(r3->first_child()), xhtml_strict);

    options.doctype_mode = DoctypeLoose;
    lexer()->possible_versions = 0x1DF;
    Node* r4 = document();
    make_xhtml_doctype(lexer(), r4);
    EXPECT_EQ(text_of(r4->first_child()), xhtml_loose);

    options.doctype_mode = DoctypeOmit;
    Node* r5 = document("html PUBLIC \"-//W3C//DTD HTML 4.01//EN\"");
    make_xhtml_doctype(lexer(), r5);
    EXPECT_EQ(count_kind(r5, DoctypeNode), 0);
    // Without a doctype the namespace still says the document is XHTML.
    ASSERT_NE(get_attribute(find_html(r5), "xmlns"), nullptr);
    EXPECT_EQ(*get_attribute(find_html(r5), "xmlns")->value, "http://www.w3.org/1999/xhtml");
    EXPECT_EQ(reports(), "");
}

TEST_F(DoctypeTest, XhtmlSystemIdentifierIndentDependsOnWrap) {
    // The strict system identifier has 49 characters: indented while
    // 49 + 6 is below the wrap column.
    options.wrap = 56;
    Node* r1 = document();
    make_xhtml_doctype(lexer(), r1);
    EXPECT_EQ(text_of(r1->first_child()), xhtml_strict);

    options.wrap = 55;
    Node* r2 = document();
    make_xhtml_doctype(lexer(), r2);
    EXPECT_EQ(text_of(r2->first_child()), "html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\"\n"
                                          "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\"");
}

TEST_F(DoctypeTest, XhtmlUserMode) {
    options.doctype_mode = DoctypeUser;
    options.doctype_str = std::string("-//ACME//DTD XHTML//EN");
    Node* r1 = document();
    make_xhtml_doctype(lexer(), r1);
    EXPECT_EQ(text_of(r1->first_child()), "html PUBLIC \"-//ACME//DTD XHTML//EN\"\n    \"\"");

    options.doctype_str = std::string("\"-//ACME//DTD XHTML//EN\"");
    Node* r2 = document();
    make_xhtml_doctype(lexer(), r2);
    EXPECT_EQ(text_of(r2->first_child()), "html PUBLIC \"-//ACME//DTD XHTML//EN\"\n    \"\"");

    options.doctype_str.reset();
    Node* r3 = document();
    make_xhtml_doctype(lexer(), r3);
    EXPECT_EQ(text_of(r3->first_child()), xhtml_strict);
}

TEST_F(DoctypeTest, HtmlNamespace) {
    Node* r1 = document();
    Node* html = find_html(r1);
    add_attribute(html, "lang", "en");
    set_html_namespace(lexer(), r1, "urn:a");
    // Put at the head of the list: printed after the source attributes.
    ASSERT_NE(html->attributes(), nullptr);
    EXPECT_EQ(html->attributes()->name(), "xmlns");
    EXPECT_EQ(*html->attributes()->value, "urn:a");
    EXPECT_EQ(html->attributes()->delimiter, '"');
    EXPECT_EQ(html->attributes()->attr_def(), attr_xmlns);
    EXPECT_EQ(html->attributes()->next->name(), "lang");
    EXPECT_EQ(reports(), "");

    set_html_namespace(lexer(), r1, "urn:a"); // same value: nothing to say
    EXPECT_EQ(reports(), "");
    set_html_namespace(lexer(), r1, "urn:b");
    EXPECT_EQ(*get_attribute(html, "xmlns")->value, "urn:b");
    EXPECT_EQ(reports(), "line 1 column 1 - Warning: html namespace doesn't match content\n");
    EXPECT_EQ(html->attributes()->next->next, nullptr); // replaced, not added

    // No html element: nothing happens.
    Node* bare = new_node();
    bare->set_kind(RootNode);
    owned_.push_back(bare);
    set_html_namespace(lexer(), bare, "urn:a");
    EXPECT_EQ(bare->first_child(), nullptr);
}

TEST_F(DoctypeTest, XmlDeclaration) {
    Node* root = document();
    EXPECT_FALSE(ensure_xml_declaration(lexer(), root));
    ASSERT_EQ(root->first_child()->kind(), ProcInsNode);
    EXPECT_EQ(text_of(root->first_child()), "xml version=\"1.0\"");
    EXPECT_EQ(text_of(root->first_child()).size(), 17u);
    EXPECT_TRUE(ensure_xml_declaration(lexer(), root));
    EXPECT_EQ(count_kind(root, ProcInsNode), 1);

    // A first processing instruction of another kind is not a declaration,
    // even when its name begins with "xml"; one named "xml" is.
    auto starting_with_instruction = [&](const char* text) {
        Node* r = document();
        Node* pi = new_node();
        pi->set_kind(ProcInsNode);
        pi->start = lexer()->text_length();
        append_string(lexer(), text);
        pi->set_end(lexer()->text_length());
        insert_node_at_start(r, pi);
        return r;
    };
    for (const char* other : {"php echo 1;", "xml-stylesheet href=\"a.css\"?", "xmlfoo?"}) {
        Node* r = starting_with_instruction(other);
        Node* pi = r->first_child();
        EXPECT_FALSE(ensure_xml_declaration(lexer(), r)) << other;
        EXPECT_EQ(count_kind(r, ProcInsNode), 2) << other;
        EXPECT_EQ(r->first_child()->next, pi) << other;
    }
    for (const char* declaration : {"xml version=\"1.0\"?", "xml?", "xml\nversion=\"1.0\"?"}) {
        Node* r = starting_with_instruction(declaration);
        EXPECT_TRUE(ensure_xml_declaration(lexer(), r)) << declaration;
        EXPECT_EQ(count_kind(r, ProcInsNode), 1) << declaration;
    }
}

TEST_F(DoctypeTest, XmlDeclarationNamesTheOutputEncoding) {
    auto declared = [&](CharEncoding encoding, const char* existing) {
        options.char_encoding = encoding;
        Node* r = document();
        if (existing != nullptr) {
            Node* pi = new_node();
            pi->set_kind(ProcInsNode);
            pi->start = lexer()->text_length();
            append_string(lexer(), existing);
            pi->set_end(lexer()->text_length());
            insert_node_at_start(r, pi);
        }
        ensure_xml_declaration(lexer(), r);
        return text_of(r->first_child());
    };
    // Written new: named where XML would otherwise read UTF-8.
    EXPECT_EQ(declared(CharEncoding::Ascii, nullptr), "xml version=\"1.0\"");
    EXPECT_EQ(declared(CharEncoding::Utf8, nullptr), "xml version=\"1.0\"");
    EXPECT_EQ(declared(CharEncoding::Raw, nullptr), "xml version=\"1.0\"");
    EXPECT_EQ(declared(CharEncoding::Latin1, nullptr),
              "xml version=\"1.0\" encoding=\"iso-8859-1\"");
    EXPECT_EQ(declared(CharEncoding::MacRoman, nullptr),
              "xml version=\"1.0\" encoding=\"macintosh\"");
    EXPECT_EQ(declared(CharEncoding::Iso2022, nullptr),
              "xml version=\"1.0\" encoding=\"iso-2022-jp\"");
    // Already there: a fitting name stays (whatever its case), a wrong one
    // is replaced, a missing one is added after the version.
    EXPECT_EQ(declared(CharEncoding::Latin1, "xml version='1.0' encoding='ISO-8859-1'?"),
              "xml version='1.0' encoding='ISO-8859-1'?");
    EXPECT_EQ(declared(CharEncoding::Latin1, "xml version='1.0' encoding='utf-8' ?"),
              "xml version='1.0' encoding='iso-8859-1' ?");
    EXPECT_EQ(declared(CharEncoding::MacRoman, "xml version=\"1.0\" standalone=\"yes\"?"),
              "xml version=\"1.0\" encoding=\"macintosh\" standalone=\"yes\"?");
    EXPECT_EQ(declared(CharEncoding::Utf8, "xml version=\"1.0\" encoding=\"windows-1252\"?"),
              "xml version=\"1.0\" encoding=\"utf-8\"?");
    EXPECT_EQ(declared(CharEncoding::Utf8, "xml version=\"1.0\"?"), "xml version=\"1.0\"?");
    // ASCII reads the same under any name built on ASCII, not as UTF-16.
    EXPECT_EQ(declared(CharEncoding::Ascii, "xml version=\"1.0\" encoding=\"windows-1252\"?"),
              "xml version=\"1.0\" encoding=\"windows-1252\"?");
    EXPECT_EQ(declared(CharEncoding::Ascii, "xml version=\"1.0\" encoding=\"UTF-16\"?"),
              "xml version=\"1.0\" encoding=\"us-ascii\"?");
    // Raw output has no known encoding: whatever is there stays.
    EXPECT_EQ(declared(CharEncoding::Raw, "xml version=\"1.0\" encoding=\"koi8-r\"?"),
              "xml version=\"1.0\" encoding=\"koi8-r\"?");
}

TEST_F(DoctypeTest, AsciiOutputCopyingLatin1BytesNamesLatin1) {
    // A comment is copied byte for byte: ASCII output writes its é as a
    // Latin-1 byte, so the declaration must say so.
    options.char_encoding = CharEncoding::Ascii;
    options.output_xml = true;
    Node* root = document();
    Node* comment = new_node();
    comment->set_kind(CommentNode);
    comment->start = lexer()->text_length();
    append_string(lexer(), " caf\xc3\xa9 --");
    comment->set_end(lexer()->text_length());
    insert_node_at_end(find_body(root), comment);
    settle_xml_declaration(lexer(), root);
    ASSERT_EQ(root->first_child()->kind(), ProcInsNode);
    EXPECT_EQ(text_of(root->first_child()), "xml version=\"1.0\" encoding=\"iso-8859-1\"");
}

TEST_F(DoctypeTest, XmlDeclarationIsSettledFirst) {
    options.output_xml = true;
    auto declaration = [&]() {
        Node* pi = new_node();
        pi->set_kind(ProcInsNode);
        pi->start = lexer()->text_length();
        append_string(lexer(), "xml version=\"1.0\"?");
        pi->set_end(lexer()->text_length());
        return pi;
    };
    // After a doctype at the top: moved to the start. Inside an element:
    // dropped.
    Node* root = document("html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\"");
    Node* top = declaration();
    insert_node_after(root->first_child(), top);
    insert_node_at_end(find_body(root), declaration());
    settle_xml_declaration(lexer(), root);
    EXPECT_EQ(root->first_child(), top);
    EXPECT_EQ(root->first_child()->next->kind(), DoctypeNode);
    EXPECT_EQ(find_body(root)->first_child(), nullptr);
    // One at the start already: a second one at the top goes.
    Node* again = declaration();
    insert_node_at_end(root, again);
    settle_xml_declaration(lexer(), root);
    EXPECT_EQ(count_kind(root, ProcInsNode), 1);
    EXPECT_EQ(root->first_child(), top);
    // None, and none asked for: none is added for ASCII output.
    Node* plain = document();
    settle_xml_declaration(lexer(), plain);
    EXPECT_EQ(count_kind(plain, ProcInsNode), 0);
    options.add_xml_decl = true;
    settle_xml_declaration(lexer(), plain);
    EXPECT_EQ(count_kind(plain, ProcInsNode), 1);
}

TEST_F(DoctypeTest, DoctypeGoesAfterTheXmlDeclaration) {
    for (const bool xhtml : {false, true}) {
        Node* root = document();
        Node* pi = new_node();
        pi->set_kind(ProcInsNode);
        pi->start = lexer()->text_length();
        append_string(lexer(), "xml version=\"1.0\"?");
        pi->set_end(lexer()->text_length());
        insert_node_at_start(root, pi);
        if (xhtml) {
            make_xhtml_doctype(lexer(), root);
        } else {
            repair_doctype(lexer(), root);
        }
        EXPECT_EQ(root->first_child(), pi) << xhtml;
        ASSERT_NE(pi->next, nullptr) << xhtml;
        EXPECT_EQ(pi->next->kind(), DoctypeNode) << xhtml;
    }
}

TEST_F(DoctypeTest, XhtmlDoctypeOnAnHtmlDocumentGivesWay) {
    const char* const xhtml_strict = "html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
                                     "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\"";
    // Written as HTML: the doctype becomes the HTML one the content fits.
    lexer()->possible_versions = VersionHTML40Strict | VersionHTML40Loose | VersionFrames;
    Node* root = document(xhtml_strict);
    repair_doctype(lexer(), root);
    EXPECT_EQ(text_of(root->first_child()), "html PUBLIC \"-//W3C//DTD HTML 4.01//EN\"");
    EXPECT_NE(reports().find("Warning: html doctype doesn't match content"), std::string::npos);
    // No version fits: the doctype goes.
    lexer()->possible_versions = VersionProprietary;
    Node* proprietary = document(xhtml_strict);
    repair_doctype(lexer(), proprietary);
    EXPECT_EQ(count_kind(proprietary, DoctypeNode), 0);
    // The namespace given: the document is XHTML and keeps its doctype.
    lexer()->possible_versions = 0x1DF;
    lexer()->is_xhtml = true;
    Node* xhtml = document(xhtml_strict);
    repair_doctype(lexer(), xhtml);
    EXPECT_EQ(text_of(xhtml->first_child()), xhtml_strict);
}

TEST_F(DoctypeTest, XhtmlTransitionalDoctypeIsKeptWhileTheContentFitsIt) {
    const char* const loose = "html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\"\n"
                              "    \"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\"";
    Node* root = document(loose);
    make_xhtml_doctype(lexer(), root);
    EXPECT_EQ(text_of(root->first_child()), loose);
    // Without a doctype, content that fits Strict gets Strict.
    Node* bare = document();
    make_xhtml_doctype(lexer(), bare);
    EXPECT_NE(text_of(bare->first_child()).find("Strict"), std::string::npos);
}

TEST_F(DoctypeTest, FramesetContentGetsTheXhtmlFramesetDoctype) {
    lexer()->possible_versions = VersionFrames;
    Node* root = document();
    make_xhtml_doctype(lexer(), root);
    EXPECT_EQ(text_of(root->first_child()),
              "html PUBLIC \"-//W3C//DTD XHTML 1.0 Frameset//EN\"\n"
              "    \"http://www.w3.org/TR/xhtml1/DTD/xhtml1-frameset.dtd\"");
    // Asked for Transitional, it gets Transitional.
    options.doctype_mode = DoctypeLoose;
    Node* loose = document();
    make_xhtml_doctype(lexer(), loose);
    EXPECT_NE(text_of(loose->first_child()).find("Transitional"), std::string::npos);
}

TEST_F(DoctypeTest, CopiedIdThatRepeatsAnotherIsDropped) {
    Node* root = document();
    Node* body = find_body(root);
    Node* p = element("p");
    add_attribute(p, "id", "x");
    insert_node_at_end(body, p);
    Node* copied = element("a");
    add_attribute(copied, "name", "x");
    add_attribute(copied, "id", "x");
    insert_node_at_end(body, copied);
    Node* twice1 = element("a");
    add_attribute(twice1, "name", "y");
    add_attribute(twice1, "id", "y");
    insert_node_at_end(body, twice1);
    Node* twice2 = element("a");
    add_attribute(twice2, "name", "y");
    add_attribute(twice2, "id", "y");
    insert_node_at_end(body, twice2);
    drop_copied_duplicate_ids(root);
    EXPECT_NE(get_attribute(p, "id"), nullptr);
    EXPECT_EQ(get_attribute(copied, "id"), nullptr);
    EXPECT_NE(get_attribute(copied, "name"), nullptr);
    EXPECT_EQ(get_attribute(twice1, "id"), nullptr);
    EXPECT_NE(get_attribute(twice2, "id"), nullptr);
}

TEST_F(DoctypeTest, AttributesOfUndeclaredPrefixesAreDropped) {
    Node* root = document();
    Node* html = find_html(root);
    add_attribute(html, "xmlns:o", "urn:o");
    Node* img = element("img");
    add_attribute(img, "v:shapes", "s1");
    add_attribute(img, "o:title", "t");
    add_attribute(img, "xml:lang", "en");
    add_attribute(img, "w:x", "1");
    add_attribute(img, "xmlns:w", "urn:w");
    add_attribute(img, "alt", "a");
    insert_node_at_end(find_body(root), img);
    drop_undeclared_prefixed_attributes(root);
    EXPECT_EQ(get_attribute(img, "v:shapes"), nullptr);
    EXPECT_NE(get_attribute(img, "o:title"), nullptr); // declared on html
    EXPECT_NE(get_attribute(img, "xml:lang"), nullptr);
    EXPECT_NE(get_attribute(img, "w:x"), nullptr); // declared on itself
    EXPECT_NE(get_attribute(img, "alt"), nullptr);
}

TEST_F(DoctypeTest, GeneratorMeta) {
    Node* root = document();
    lexer()->text_start = 0;
    lexer()->text_end = 0;
    add_generator_meta(lexer(), root);
    add_generator_meta(lexer(), root); // the second call finds the first mark
    Node* head = find_head(root);
    ASSERT_NE(head->first_child(), nullptr);
    Node* meta = head->first_child();
    EXPECT_EQ(meta->next, nullptr);
    EXPECT_EQ(meta->kind(), StartTagNode);
    EXPECT_TRUE(meta->implicit);
    EXPECT_EQ(meta->element_name(), "meta");
    EXPECT_EQ(meta->tag(), tag_meta);
    EXPECT_EQ(meta->parent, head);
    // List order content, name: the printer writes name first.
    ASSERT_NE(meta->attributes(), nullptr);
    EXPECT_EQ(meta->attributes()->name(), "content");
    EXPECT_EQ(*meta->attributes()->value, "HTML Varnel, see www.varnel.org");
    ASSERT_NE(meta->attributes()->next, nullptr);
    EXPECT_EQ(meta->attributes()->next->name(), "name");
    EXPECT_EQ(*meta->attributes()->next->value, "generator");
    EXPECT_EQ(meta->attributes()->next->next, nullptr);
}

TEST_F(DoctypeTest, GeneratorMetaRespectsAnExistingMark) {
    Node* root = document();
    Node* head = find_head(root);
    Node* other = element("meta");
    add_attribute(other, "name", "Generator");
    add_attribute(other, "content", "Someone Else 1.0");
    insert_node_at_end(head, other);
    Node* mine = element("meta");
    add_attribute(mine, "name", "GENERATOR");
    add_attribute(mine, "content", "html varnel 0.9");
    insert_node_at_end(head, mine);
    add_generator_meta(lexer(), root);
    EXPECT_EQ(head->first_child(), other);

    // Another program's mark does not count.
    Node* r2 = document();
    Node* h2 = find_head(r2);
    Node* foreign = element("meta");
    add_attribute(foreign, "name", "generator");
    add_attribute(foreign, "content", "Someone Else 1.0");
    insert_node_at_end(h2, foreign);
    add_generator_meta(lexer(), r2);
    ASSERT_NE(h2->first_child(), foreign);
    EXPECT_EQ(h2->first_child()->next, foreign);

    // Without a head nothing is added.
    Node* r3 = new_node();
    r3->set_kind(RootNode);
    owned_.push_back(r3);
    insert_node_at_end(r3, element("html"));
    add_generator_meta(lexer(), r3);
    EXPECT_EQ(r3->first_child()->first_child(), nullptr);
}

} // namespace
} // namespace varnel

// The declared version as the lexer reads it from a doctype token.
namespace varnel::through_lexer {

TEST(LexedDoctypeTest, DoctypeTokenSetsTheGivenVersion) {
    test::fresh_globals();
    {
        test::LexerOver lx("<!DOCTYPE html public \"-//W3C//DTD HTML 4.0//EN\">\n<p>");
        Node* d = get_token(lx.lexer, TrimSpace);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->kind(), DoctypeNode);
        EXPECT_EQ(lx.text(d), "html PUBLIC \"-//W3C//DTD HTML 4.0//EN\"");
        EXPECT_EQ(lx.lexer->given_version, VersionHTML40Strict);
        EXPECT_FALSE(lx.lexer->doctype_malformed);
        EXPECT_EQ(lx.messages(),
                  "line 1 column 1 - Warning: SYSTEM, PUBLIC, W3C, DTD, EN must be upper case\n");
        free_node(d);
    }
    {
        test::LexerOver lx("<!doctype html foo>");
        Node* d = get_token(lx.lexer, TrimSpace);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(lx.lexer->given_version, 0u);
        EXPECT_TRUE(lx.lexer->doctype_malformed);
        EXPECT_EQ(lx.messages(), "");
        free_node(d);
    }
}

} // namespace varnel::through_lexer
