// Word 2000 cleanup: conditional sections, the processor's attributes and
// markup, and bullet and code paragraphs gathered into lists and pre blocks.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/config.h"
#include "clean/word.h"
#include "input/lexer.h"
#include "model/attrs.h"
#include "model/entities.h"
#include "model/node.h"
#include "model/tags.h"
#include "tree_text.h"

namespace varnel {
namespace {

using tree_text::dump_tree;
using tree_text::links_ok;
using tree_text::parse_tree;

constexpr const char* word_html = "<html xmlns:o=\"urn:schemas-microsoft-com:office:office\" "
                                  "lang=\"EN-US\">";

class WordTest : public ::testing::Test {
  protected:
    void SetUp() override {
        lexer = new_lexer(nullptr, Config{});
        message_stream = open_memstream(&message_buffer, &message_size);
        lexer->messages = message_stream;
    }
    void TearDown() override {
        free_node(root);
        free_lexer(lexer);
        std::fclose(message_stream);
        std::free(message_buffer);
    }
    Node* parse(std::string_view markup) {
        free_node(root);
        root = parse_tree(lexer, markup);
        return root;
    }
    // A Word document around the given body content.
    Node* parse_word_body(std::string_view body) {
        return parse(std::string(word_html) + "<head><title>t</title></head><body>" +
                     std::string(body) + "</body></html>");
    }
    std::string dump() const { return dump_tree(lexer, root); }
    std::string body_text() const { return dump_tree(lexer, find_body(root)); }
    std::string messages() {
        std::fflush(lexer->messages);
        return std::string(message_buffer, message_size);
    }
    void clean() {
        remove_conditional_sections(lexer, root);
        strip_word_markup(lexer, root);
    }

    Lexer* lexer = nullptr;
    Node* root = nullptr;
    FILE* message_stream = nullptr;
    char* message_buffer = nullptr;
    size_t message_size = 0;
};

TEST_F(WordTest, WordNamespaceIsRecognisedOnTheHtmlElement) {
    parse(std::string(word_html) + "</html>");
    EXPECT_TRUE(has_word_namespace(root));
    parse("<html xmlns=\"http://www.w3.org/1999/xhtml\"></html>");
    EXPECT_FALSE(has_word_namespace(root));
    parse("<p xmlns:o=\"x\"></p>");
    EXPECT_FALSE(has_word_namespace(root));
}

TEST_F(WordTest, DocumentWithoutWordNamespaceIsNotTouched) {
    const std::string markup =
        "<html lang=\"en\"><head><style>s</style><!--c--></head><body>"
        "<p class=\"MsoListBullet\">a</p><p></p><span>x</span></body></html>";
    parse(markup);
    strip_word_markup(lexer, root);
    EXPECT_EQ(dump(), "<html lang=\"en\"><head><style>s</style><!--c--></head><body>"
                      "<p class=\"MsoListBullet\">a</p><p></p><span>x</span></body></html>");
}

TEST_F(WordTest, ConditionalSectionMarkersGoAndWhatABrowserShowsStays) {
    // The picture shown instead of a drawing, and the second line break at
    // the end of a paragraph, stay in place without their markers.
    parse("<p><![if !vml]><img src=\"a.gif\"><![endif]></p>"
          "a<br><![if !supportLineBreakNewLine]><br><![endif]>b");
    remove_conditional_sections(lexer, root);
    EXPECT_EQ(dump(), "<p><img src=\"a.gif\"></p>a<br><br>b");

    // List markers stay, except the bullet of a bullet paragraph (at any
    // depth inside it), which its list item will draw; the space that only
    // keeps an empty paragraph open goes. Conditions are compared ignoring
    // case and the white space around them.
    parse("<p class=MsoNormal><![if !supportLists]>1. <![endif]>One</p>"
          "<p class=MsoListBullet><span><![if !supportLists]>\xC2\xB7 <![endif]></span>Item</p>"
          "<h1><![if !supportLists]>2. <![endif]>Head</h1>"
          "<p><![if  !SupportEmptyParas ]>\xC2\xA0<![endif]></p>");
    remove_conditional_sections(lexer, root);
    EXPECT_EQ(dump(), "<p class=\"MsoNormal\">1. One</p><p class=\"MsoListBullet\"><span></span>"
                      "Item</p><h1>2. Head</h1><p></p>");

    // Other marked sections and stray endifs go alone; sections are found at
    // any depth.
    parse("a<![INCLUDE[x]]>b<![endif]>c<div><i>d<![if x]>e<b>f</b><![endif]>g</i></div>");
    remove_conditional_sections(lexer, root);
    EXPECT_EQ(dump(), "abc<div><i>de<b>f</b>g</i></div>");

    // A section whose content goes runs, unclosed, to the end of its sibling
    // list only.
    parse("<p>a<![if !supportEmptyParas]>b<i>c</i></p>d");
    remove_conditional_sections(lexer, root);
    EXPECT_EQ(dump(), "<p>a</p>d");
    EXPECT_TRUE(links_ok(root));
}

TEST_F(WordTest, EachEndifClosesItsOwnIf) {
    parse("<![if !supportEmptyParas]>x<![if b]>y<![endif]><![endif]>keep<![endif]>z");
    remove_conditional_sections(lexer, root);
    EXPECT_EQ(dump(), "keepz");

    // A section that goes inside one that stays takes only its own content.
    parse("<![if !vml]>a<![if !supportEmptyParas]>b<![if c]>c<![endif]>d<![endif]>e<![endif]>f");
    remove_conditional_sections(lexer, root);
    EXPECT_EQ(dump(), "aef");

    parse("<![if a]><![if b]><![if c]>x<![endif]>y<![endif]>w<![endif]>v");
    Node* after = skip_conditional_section(lexer, root->first_child());
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(dump(), "v");
    EXPECT_EQ(after, root->first_child());

    parse("<![if a]>x");
    EXPECT_EQ(skip_conditional_section(lexer, root->first_child()), nullptr);
    EXPECT_EQ(dump(), "");
}

TEST_F(WordTest, DeeplyNestedConditionalSectionsDoNotExhaustTheStack) {
    std::string markup;
    for (int i = 0; i < 200000; ++i)
        markup += "<![if !supportEmptyParas]>";
    markup += "gone";
    for (int i = 0; i < 199999; ++i)
        markup += "<![endif]>";
    markup += "still gone<![endif]>kept";
    parse(markup);
    remove_conditional_sections(lexer, root);
    EXPECT_EQ(dump(), "kept");
}

TEST_F(WordTest, BulletParagraphsGatherIntoLists) {
    parse_word_body(
        "<p class=MsoListBullet style=\"mso-list: l0\">A</p><p class=MsoListBullet>B</p>"
        "<p class=MsoListBullet>C</p><p class=MsoNormal>D</p>"
        "<p class=MsoListBullet>E</p>");
    clean();
    EXPECT_EQ(body_text(), "<ul!><li!>A</li><li!>B</li><li!>C</li></ul><p>D</p>"
                           "<ul!><li!>E</li></ul>");
    Node* item = find_body(root)->first_child()->first_child();
    EXPECT_EQ(item->tag(), tag_li);
    EXPECT_EQ(former_tag(lexer, item), tag_p);
    EXPECT_EQ(item->kind(), StartTagNode);
    EXPECT_EQ(lexer->warnings, 4u);
    const std::string text = messages();
    size_t count = 0;
    for (size_t at = text.find("Warning: replacing element <p> by <li>\n"); at != std::string::npos;
         at = text.find("Warning: replacing element <p> by <li>\n", at + 1)) {
        ++count;
    }
    EXPECT_EQ(count, 4u) << text;
    EXPECT_TRUE(links_ok(root));
}

TEST_F(WordTest, CodeParagraphsGatherIntoOnePre) {
    parse_word_body("<p>x\xC2\xA0</p><p class=Code>a\xC2\xA0"
                    "b</p><p class=Code><span lang=EN>c\xC2\xA0\xC2\xA0"
                    "d</span></p><p>e\xC2\xA0"
                    "f<b>\xC2\xA0</b></p>");
    clean();
    EXPECT_EQ(body_text(), "<p>x\xC2\xA0</p><pre!>a b\nc  d\n</pre><p>e f<b> </b></p>");
    EXPECT_EQ(lexer->warnings, 0u);
    EXPECT_TRUE(links_ok(root));
}

TEST_F(WordTest, BulletAndCodeContainersEndEachOther) {
    parse_word_body("<p class=MsoListBullet>A</p><p class=Code>c</p><p class=MsoListBullet>B</p>");
    clean();
    EXPECT_EQ(body_text(), "<ul!><li!>A</li></ul><pre!>c\n</pre><ul!><li!>B</li></ul>");
}

TEST_F(WordTest, ProcessorMarkupIsDropped) {
    parse(std::string(word_html) +
          "<head><meta name=\"ProgId\" content=\"Word.Document\"><style>p {}</style><!--[if gte]-->"
          "<link rel=\"File-List\" href=\"f_files/filelist.xml\">"
          "<link rel=\"stylesheet\" href=\"s.css\"><title>t</title></head>"
          "<body lang=\"EN-US\" style=\"tab-interval: .5in\"><p></p><p "
          "class=MsoNormal><o:p></o:p></p>"
          "<p>a<span style=\"x\">b<span>c</span></span>d</p></body></html>");
    clean();
    // The o:p goes like a span, and the paragraph it leaves empty goes too.
    EXPECT_EQ(dump(), "<html><head><link rel=\"stylesheet\" href=\"s.css\"><title>t</title></head>"
                      "<body><p>abcd</p></body></html>");
    EXPECT_TRUE(links_ok(root));
}

TEST_F(WordTest, ParagraphsAreEmptyByWhatIsLeftOnceCleaned) {
    parse_word_body(
        "<p class=MsoNormal><span style=\"x\"> </span></p>"
        "<p><!--c--></p>"
        "<p class=MsoNormal><![if !supportEmptyParas]>\xC2\xA0<![endif]></p>"
        "<p class=MsoNormal><![if !vml]><img src=\"a.gif\"><![endif]></p>"
        "<p><span lang=EN>\xC2\xA0</span></p>"
        "<p><br></p>"
        "<p class=MsoListBullet><![if !supportLists]>\xC2\xB7 <![endif]><span> </span></p>"
        "<p class=Code><!--x--></p>"
        "<p class=MsoListBullet>A</p>");
    clean();
    EXPECT_EQ(body_text(),
              "<p><img src=\"a.gif\"></p><p>\xC2\xA0</p><p><br></p><ul!><li!>A</li></ul>");
    EXPECT_EQ(lexer->warnings, 1u);
    EXPECT_TRUE(links_ok(root));
}

TEST_F(WordTest, DropWordAttributesKeepsCodeClassAndSizesOutsideCells) {
    parse(
        "<td class=\"MsoNormal\" style=\"a\" lang=\"en\" x:str=\"1\" width=\"10\" height=\"2\" "
        "valign=\"top\">c</td><img width=\"10\" height=\"5\" class=\"Code\" x:num>"
        "<tr width=\"1\" xml:lang=\"en\"></tr><th height></th><p class></p><p class=\"code\"></p>");
    for (Node* node = root->first_child(); node != nullptr; node = node->next) {
        drop_word_attributes(node);
    }
    EXPECT_EQ(dump(), "<td valign=\"top\">c</td><img width=\"10\" height=\"5\" class=\"Code\">"
                      "<tr xml:lang=\"en\"></tr><th></th><p></p><p></p>");
}

TEST_F(WordTest, StripElementLiftsCleanedChildrenAndReturnsTheFollowingNode) {
    parse("<div>a<span lang=\"en\"><b style=\"x\">x</b><!--c-->y</span><i>z</i></div>");
    Node* span = root->first_child()->first_child()->next;
    Node* after = strip_element(lexer, span);
    EXPECT_EQ(dump(), "<div>a<b>x</b>y<i>z</i></div>");
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->tag(), tag_i);
    EXPECT_TRUE(links_ok(root));

    parse("<div><span>a</span></div>");
    EXPECT_EQ(strip_element(lexer, root->first_child()->first_child()), nullptr);
    EXPECT_EQ(dump(), "<div>a</div>");
    EXPECT_EQ(root->first_child()->last_child(), root->first_child()->first_child());
}

TEST_F(WordTest, NbspBecomesSpaceInPlace) {
    parse("\xC2\xA0x\xC2\xA0<b>\xC3\xA9\xC2\xA0</b>y");
    Node* text = root->first_child();
    uint32_t start = text->start;
    nbsp_to_spaces(lexer, text);
    EXPECT_EQ(dump(), " x <b>\xC3\xA9 </b>y");
    EXPECT_EQ(text->start, start);
    EXPECT_EQ(text->end(), start + 3);
}

} // namespace
} // namespace varnel
