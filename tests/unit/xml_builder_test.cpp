// The XML tree builder: exact nesting, mismatched end tags, white space at
// element edges, preserved elements, the top level and very deep input.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tree/builders.h"
#include "tree/inline_stack.h"
#include "test_support.h"
#include "tree_text.h"

namespace varnel {
namespace {

using test::LexerOver;
using tree_text::dump_tree;
using tree_text::links_ok;

class XmlBuilderTest : public ::testing::Test {
  protected:
    void SetUp() override { test::fresh_globals(); }
    void TearDown() override { options = Config{}; }

    // Parses `source` as XML; returns the tree written back as markup.
    std::string build(const std::string& source) {
        lx = std::make_unique<LexerOver>(source);
        free_node(root);
        root = build_xml_document(lx->lexer);
        EXPECT_TRUE(links_ok(root));
        return dump_tree(lx->lexer, root);
    }
    ~XmlBuilderTest() override { free_node(root); }

    std::unique_ptr<LexerOver> lx;
    Node* root = nullptr;
};

TEST_F(XmlBuilderTest, ElementsNestExactlyAsWritten) {
    EXPECT_EQ(build("<doc><P>a</P><p>b<br>c</br></p></doc>"),
              "<doc><P>a</P><p>b<br>c</br></p></doc>");
    EXPECT_TRUE(lx->lexer->options.input_xml); // the document is read as XML
    Node* doc = root->first_child();
    EXPECT_EQ(doc->tag(), xml_tag_def);
    EXPECT_EQ(doc->first_child()->tag(), xml_tag_def);
    EXPECT_TRUE(doc->closed);
    EXPECT_EQ(lx->lexer->warnings, 0u);
    EXPECT_EQ(lx->messages(), "");
}

TEST_F(XmlBuilderTest, MismatchedEndTagIsAnErrorAndReadingGoesOn) {
    EXPECT_EQ(build("<a><b>x</a>"), "<a><b>x</b></a>");
    Node* a = root->first_child();
    EXPECT_FALSE(a->closed);
    EXPECT_FALSE(a->first_child()->closed);
    EXPECT_EQ(lx->lexer->errors, 1u);
    EXPECT_EQ(lx->lexer->warnings, 1u);
    EXPECT_EQ(lx->messages(), "line 1 column 8 - Warning: unexpected </a> in <b>\n");
}

TEST_F(XmlBuilderTest, SpaceAtElementEdgesIsTrimmedUnlessPreserved) {
    EXPECT_EQ(build("<a> x </a>"), "<a>x</a>");
    EXPECT_EQ(build("<a xml:space=\"preserve\"> x </a>"), "<a xml:space=\"preserve\"> x </a>");
    // The child's name alone asks for preserved space.
    EXPECT_EQ(build("<a xml:space=\"default\"><pre> x </pre></a>"),
              "<a xml:space=\"default\"><pre> x </pre></a>");
    EXPECT_EQ(build("<a><pre xml:space=\"default\"> x </pre></a>"),
              "<a><pre xml:space=\"default\">x</pre></a>");
    // Preserved space is handed down to children.
    EXPECT_EQ(build("<a xml:space=\"preserve\"><b> y </b></a>"),
              "<a xml:space=\"preserve\"><b> y </b></a>");
    // A text that was one space disappears.
    EXPECT_EQ(build("<a><b/> </a>"), "<a><b/></a>");
}

TEST_F(XmlBuilderTest, TopLevelKeepsMarkupAndEmptyTagsAndDropsText) {
    // A root element written as an empty tag is the document.
    EXPECT_EQ(build("<doc/>"), "<doc/>");
    EXPECT_EQ(build("x<!--c--><?pi y?><a>t<e/></a>z<![CDATA[d]]>"),
              "<!--c--><?pi y?><a>t<e/></a><![CDATA[d]]>");
    EXPECT_EQ(lx->lexer->warnings, 0u);
}

TEST_F(XmlBuilderTest, StrayEndTagsAndLaterDoctypesAtTopLevelAreWarnings) {
    EXPECT_EQ(build("<!DOCTYPE doc SYSTEM \"d.dtd\"></x><doc/><!DOCTYPE other>"),
              "<!DOCTYPE doc SYSTEM \"d.dtd\"><doc/>");
    EXPECT_EQ(lx->lexer->errors, 0u);
    EXPECT_EQ(lx->lexer->warnings, 2u);
    const std::string text = lx->messages();
    EXPECT_NE(text.find("Warning: unexpected </x>\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Warning: discarding unexpected <!DOCTYPE>\n"), std::string::npos) << text;
}

TEST_F(XmlBuilderTest, DoctypeKeywordsMustBeUpperCase) {
    build("<!DOCTYPE doc system \"d.dtd\"><doc/>");
    EXPECT_NE(lx->messages().find("Warning: SYSTEM, PUBLIC, W3C, DTD, EN must be upper case\n"),
              std::string::npos);
    build("<!DOCTYPE doc SYSTEM \"d.dtd\"><doc/>");
    EXPECT_EQ(lx->messages(), "");
}

TEST_F(XmlBuilderTest, XmlDeclarationIsAddedOnRequest) {
    options.add_xml_decl = true;
    EXPECT_EQ(build("<doc>x</doc>"), "<?xml version=\"1.0\"><doc>x</doc>");
    EXPECT_EQ(build("<?xml version=\"1.0\"?><doc/>"), "<?xml version=\"1.0\"?><doc/>");
}

TEST_F(XmlBuilderTest, XslTextIsReadWithItsSpace) {
    // Its content is its own, spaces included, and its end tag ends it.
    EXPECT_EQ(build("<r><XSL:TEXT> t </XSL:TEXT></r>"), "<r><XSL:TEXT> t </XSL:TEXT></r>");
    EXPECT_EQ(lx->lexer->errors, 0u);
    EXPECT_EQ(lx->messages(), "");

    EXPECT_EQ(build("<r><x:text> t </x:text></r>"), "<r><x:text>t</x:text></r>");
    EXPECT_EQ(lx->lexer->errors, 0u);
}

TEST_F(XmlBuilderTest, PreservesSpaceByAttributeOrName) {
    auto preserves = [](const char* markup) {
        Lexer* lexer = new_lexer(nullptr, options);
        Node* root = tree_text::parse_tree(lexer, markup);
        bool result = preserves_space(lexer, root->first_child());
        free_node(root);
        free_lexer(lexer);
        return result;
    };
    EXPECT_TRUE(preserves("<a xml:space=\"preserve\"></a>"));
    EXPECT_FALSE(preserves("<a xml:space=\"Preserve\"></a>"));
    EXPECT_FALSE(preserves("<pre xml:space=\"default\"></pre>"));
    EXPECT_FALSE(preserves("<pre xml:space></pre>"));
    EXPECT_TRUE(preserves("<PRE></PRE>"));
    EXPECT_TRUE(preserves("<Script></Script>"));
    EXPECT_TRUE(preserves("<STYLE></STYLE>"));
    EXPECT_TRUE(preserves("<xsl:Text></xsl:Text>"));
    EXPECT_TRUE(preserves("<xmp></xmp>")) << "the dictionary parses xmp as preformatted";
    EXPECT_FALSE(preserves("<XMP></XMP>")) << "dictionary names are matched exactly";
    EXPECT_FALSE(preserves("<p></p>"));
    EXPECT_FALSE(preserves("<x:text></x:text>"));
    declare_tag(options, DeclaredKind::Pre, "verbatim");
    EXPECT_TRUE(preserves("<verbatim></verbatim>"));
}

TEST_F(XmlBuilderTest, VeryDeepNestingIsFlattenedPastTheDepthBound) {
    const int levels = 20000;
    std::string source;
    for (int i = 0; i < levels; ++i)
        source += "<a>";
    source += "x";
    build(source);
    // Walk down the first children: MaxParseDepth elements nest, and the
    // deepest of them holds the remaining ones side by side.
    int depth = 0;
    Node* deepest = root;
    while (deepest->first_child() != nullptr && deepest->first_child()->kind() == StartTagNode) {
        deepest = deepest->first_child();
        ++depth;
        if (depth == static_cast<int>(MaxParseDepth)) break;
    }
    EXPECT_EQ(depth, static_cast<int>(MaxParseDepth));
    int siblings = 0;
    Node* last = nullptr;
    for (Node* child = deepest->first_child(); child != nullptr; child = child->next) {
        ++siblings;
        last = child;
    }
    EXPECT_EQ(siblings, levels - static_cast<int>(MaxParseDepth) + 1); // the elements and "x"
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->kind(), TextNode);
    EXPECT_EQ(lx->lexer->depth, 0u);
}

TEST_F(XmlBuilderTest, DeepNestingClosedByEndTagsEndsAtTopLevel) {
    const int levels = 1000;
    std::string source;
    for (int i = 0; i < levels; ++i)
        source += "<a>";
    for (int i = 0; i < levels; ++i)
        source += "</a>";
    build(source);
    // The deepest parsed element is closed by the first end tag; the end
    // tags left over after the top element closes are stray at top level.
    EXPECT_TRUE(root->first_child()->closed);
    EXPECT_EQ(root->first_child()->next, nullptr);
    EXPECT_EQ(lx->lexer->errors, 0u);
    EXPECT_EQ(lx->lexer->warnings, static_cast<uint32_t>(levels) - MaxParseDepth);
}

} // namespace
} // namespace varnel
