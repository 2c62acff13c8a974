// Presentational markup to style rules: property merging, font sizes, the
// always-on simplifications, the rule chain and the generated class rules.
#include <gtest/gtest.h>

#include <string>

#include "base/config.h"
#include "clean/style.h"
#include "input/lexer.h"
#include "model/attrs.h"
#include "model/entities.h"
#include "model/node.h"
#include "cli/batch.h"
#include "model/tags.h"
#include "test_support.h"
#include "tree_text.h"

namespace varnel {
namespace {

using tree_text::dump_tree;
using tree_text::links_ok;
using tree_text::parse_tree;

class StyleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        options = Config{};
        lexer = new_lexer(nullptr, options);
    }
    void TearDown() override {
        free_node(root);
        free_lexer(lexer);
        options = Config{};
    }
    Node* parse(std::string_view markup) {
        free_node(root);
        lexer->options = options;
        root = parse_tree(lexer, markup);
        return root;
    }
    // The cleaning pass with the options as the test has set them.
    void clean() {
        lexer->options = options;
        presentation_to_style(lexer, root);
    }
    std::string dump() const { return dump_tree(lexer, root); }
    // The first element child of the root.
    Node* first() const { return root->first_child(); }
    // Wraps body content in a document with a head, for the clean pass.
    Node* parse_document(std::string_view body_markup) {
        return parse("<html><head><title>t</title></head><body>" + std::string(body_markup) +
                     "</body></html>");
    }
    std::string body_text() const { return dump_tree(lexer, find_body(root)); }
    std::string head_text() const { return dump_tree(lexer, find_head(root)); }

    Lexer* lexer = nullptr;
    Node* root = nullptr;
};

TEST_F(StyleTest, SetStylePropertyMergesSortedPairsAndKeepsExistingValues) {
    parse("<p style=\"font-size: 80%; color: red\">x</p>");
    set_style_property(first(), "color: blue");
    set_style_property(first(), "background: white");
    EXPECT_EQ(dump(), "<p style=\"background: white; color: red; font-size: 80%\">x</p>");

    // Spaces after the name's start and after the colon are skipped, spaces
    // before ";" belong to the value, and a text without a colon adds nothing.
    parse("<p style=\"  b:2 ;a:  1\">x</p>");
    set_style_property(first(), "c");
    EXPECT_EQ(dump(), "<p style=\"a: 1; b: 2 \">x</p>");

    // Without a style attribute the text is put, unparsed, at the front of
    // the list, so it is printed last.
    parse("<p class=\"k\" id=\"n\">x</p>");
    set_style_property(first(), "text-align: center");
    EXPECT_EQ(dump(), "<p class=\"k\" id=\"n\" style=\"text-align: center\">x</p>");
    EXPECT_EQ(first()->attributes()->name(), "style");
}

TEST_F(StyleTest, CombineStylesPutsTheNodePairsFirst) {
    parse(
        "<div style=\"color: red\"><span style=\"color: blue; font-weight: bold\">x</span></div>");
    combine_styles(first(), first()->first_child());
    EXPECT_EQ(first()->attributes()->value, "color: red; font-weight: bold");

    // No style on the node: the child's value is copied as it is.
    parse("<div id=\"a\"><span style=\"z:1;y:2\">x</span></div>");
    combine_styles(first(), first()->first_child());
    EXPECT_EQ(dump(), "<div id=\"a\" style=\"z:1;y:2\"><span style=\"z:1;y:2\">x</span></div>");

    // A style attribute without a value does not take the merge: a new one
    // goes in front of it.
    parse("<div style><span style=\"x: 1\">x</span></div>");
    combine_styles(first(), first()->first_child());
    EXPECT_EQ(dump(), "<div style style=\"x: 1\"><span style=\"x: 1\">x</span></div>");

    // Nothing to take from a child without a style value.
    parse("<div style=\"a: 1\"><span style>x</span></div>");
    combine_styles(first(), first()->first_child());
    EXPECT_EQ(dump(), "<div style=\"a: 1\"><span style>x</span></div>");
}

TEST_F(StyleTest, FontSizesFollowTheAbsoluteAndRelativeTables) {
    struct Case {
        const char* size;
        const char* style; // null: no property
    };
    const Case cases[] = {
        {"0", "font-size: 60%"},      {"1", "font-size: 70%"},
        {"2", "font-size: 80%"},      {"3", nullptr},
        {"4", "font-size: 120%"},     {"5", "font-size: 150%"},
        {"6", "font-size: 200%"},     {"+1", "font-size: 120%"},
        {"+2", "font-size: 144%"},    {"+3", "font-size: 172%"},
        {"+4", "font-size: 207%"},    {"+5", "font-size: 248%"},
        {"+6", "font-size: 298%"},    {"-1", "font-size: 80%"},
        {"-2", "font-size: 64%"},     {"-3", "font-size: 51%"},
        {"-4", "font-size: 40%"},     {"-5", "font-size: 32%"},
        {"-6", "font-size: 26%"},     {"+0", "font-size: 100%"},
        {"-0", "font-size: 100%"},    {"+7", "font-size: larger"},
        {"-9", "font-size: smaller"}, {"7", "font-size: larger"},
        {"9", "font-size: larger"},   {"-", "font-size: smaller"},
        {"+x", "font-size: larger"},  {"3px", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        parse(std::string("<span></span><font size=\"") + c.size + "\">x</font>");
        Node* span = first();
        font_attrs_to_style(span, span->next->attributes());
        NodeAttribute* style = get_attribute(span, "style");
        if (c.style == nullptr) {
            EXPECT_EQ(style, nullptr);
        } else {
            ASSERT_NE(style, nullptr);
            EXPECT_EQ(style->value, c.style);
        }
    }
}

TEST_F(StyleTest, FontAttributesBecomePropertiesAndParagraphSizesBecomeHeadings) {
    parse("<span></span><font face=\"Arial\" color=\"red\" size=\"+1\" class=\"k\" color>x</font>");
    font_attrs_to_style(first(), first()->next->attributes());
    EXPECT_EQ(first()->attributes()->value, "color: red; font-family: Arial; font-size: 120%");

    const std::pair<const char*, const char*> headings[] = {{"6", "h1"}, {"5", "h2"}, {"4", "h3"}};
    for (const auto& [size, name] : headings) {
        parse(std::string("<p></p><font size=\"") + size + "\">x</font>");
        font_attrs_to_style(first(), first()->next->attributes());
        EXPECT_EQ(first()->element_name(), name);
        EXPECT_EQ(first()->tag(), lookup_builtin_tag(name));
        EXPECT_EQ(first()->attributes(), nullptr) << "a heading size adds no property";
    }
    // Other sizes on a paragraph are ordinary properties.
    parse("<p></p><font size=\"2\">x</font>");
    font_attrs_to_style(first(), first()->next->attributes());
    EXPECT_EQ(dump(), "<p style=\"font-size: 80%\"></p><font size=\"2\">x</font>");
}

TEST_F(StyleTest, HoistOnlyChildAndAddClass) {
    parse("<div id=\"d\"><b>x<i>y</i>z</b></div>");
    Node* div = first();
    hoist_only_child(div);
    EXPECT_EQ(dump(), "<div id=\"d\">x<i>y</i>z</div>");
    EXPECT_TRUE(links_ok(root));

    parse("<ul></ul><ul class=\"a\"></ul><ul class></ul>");
    add_class(first(), "noindent");
    add_class(first()->next, "noindent");
    add_class(first()->next->next, "noindent");
    EXPECT_EQ(dump(), "<ul class=\"noindent\"></ul><ul class=\"a noindent\"></ul>"
                      "<ul class=\"noindent\"></ul>");
}

TEST_F(StyleTest, NestedEmphasisCollapses) {
    parse("<b>x<b>y<b>z</b></b></b><i><b>w</b></i><i><i>q</i>r<i></i></i><p><b><b></b>s</b></p>");
    collapse_nested_emphasis(root);
    EXPECT_EQ(dump(), "<b>xyz</b><i><b>w</b></i><i>qr</i><p><b>s</b></p>");
    EXPECT_TRUE(links_ok(root));
}

TEST_F(StyleTest, LogicalEmphasisRenamesTagAndName) {
    parse("<p><b>x</b><i>y<b>z</b></i></p><b>w</b>");
    promote_logical_emphasis(root);
    EXPECT_EQ(dump(), "<p><strong>x</strong><em>y<strong>z</strong></em></p><strong>w</strong>");
    EXPECT_EQ(first()->first_child()->tag(), tag_strong);
    EXPECT_EQ(first()->first_child()->next->tag(), tag_em);
}

TEST_F(StyleTest, ListsUsedForIndentationBecomeIndentedDivisions) {
    // A list holding only an implied item.
    parse("<ul class=\"k\"><li!>text</li></ul>");
    lone_item_list_to_quote(root);
    EXPECT_EQ(dump(), "<blockquote! class=\"k\">text</blockquote>");
    quote_nest_to_div(root);
    EXPECT_EQ(dump(), "<div! style=\"margin-left: 2em\" class=\"k\">text</div>");

    // Nested lone lists give nested implicit blockquotes, then one division
    // with twice the indentation.
    parse("<ol><li!><dir><li!>x</li></dir></li></ol>");
    lone_item_list_to_quote(root);
    EXPECT_EQ(dump(), "<blockquote!><blockquote!>x</blockquote></blockquote>");
    quote_nest_to_div(root);
    EXPECT_EQ(dump(), "<div! style=\"margin-left: 4em\">x</div>");

    // Real items and lists of several items stay lists.
    parse("<ul><li>a</li></ul><ul><li!>a</li><li!>b</li></ul>");
    lone_item_list_to_quote(root);
    quote_nest_to_div(root);
    EXPECT_EQ(dump(), "<ul><li>a</li></ul><ul><li!>a</li><li!>b</li></ul>");

    // A written blockquote stays; an implied one inside it is converted, and
    // an implied one absorbs a written only child whatever its flag.
    parse("<blockquote><blockquote!>y</blockquote></blockquote>"
          "<blockquote!><blockquote>z</blockquote></blockquote>");
    quote_nest_to_div(root);
    EXPECT_EQ(dump(), "<blockquote><div! style=\"margin-left: 2em\">y</div></blockquote>"
                      "<div! style=\"margin-left: 4em\">z</div>");
    EXPECT_TRUE(links_ok(root));
}

TEST_F(StyleTest, IndentationMarginJoinsAnExistingStyleAttribute) {
    // A lone-item list with its own style: the division gets one style
    // attribute holding both properties, sorted by name.
    parse("<ul style=\"color: red\"><li!>text</li></ul>");
    lone_item_list_to_quote(root);
    quote_nest_to_div(root);
    EXPECT_EQ(dump(), "<div! style=\"color: red; margin-left: 2em\">text</div>");

    // A margin the list already set is kept (the first value seen wins).
    parse("<ol style=\"margin-left: 1em\"><li!><ol><li!>x</li></ol></li></ol>");
    lone_item_list_to_quote(root);
    quote_nest_to_div(root);
    EXPECT_EQ(dump(), "<div! style=\"margin-left: 1em\">x</div>");
    EXPECT_TRUE(links_ok(root));
}

TEST_F(StyleTest, CenterBecomesClassedDivisionWithRuleInHead) {
    options.clean = true;
    parse_document("<center>x</center>");
    clean();
    EXPECT_EQ(body_text(), "<div class=\"c1\">x</div>");
    EXPECT_EQ(head_text(),
              "<title>t</title><style! type=\"text/css\"> div.c1 {text-align: center}\n</style>");
    ASSERT_NE(lexer->styles, nullptr);
    EXPECT_EQ(lexer->styles->tag_name, "div");
    EXPECT_EQ(lexer->styles->class_name, "c1");
    EXPECT_EQ(lexer->styles->properties, "text-align: center");
    EXPECT_EQ(lexer->next_class_number, 2); // the number the next class would get
    EXPECT_TRUE(links_ok(root));
}

TEST_F(StyleTest, RulesAreSharedPerElementNameAndStyle) {
    options.clean = true;
    parse_document("<p align=center>a</p><p align=\"CENTER\">b</p><div align=center>c</div>"
                   "<p class=\"x\" align=\"Center\">d</p>");
    clean();
    EXPECT_EQ(body_text(), "<p class=\"c1\">a</p><p class=\"c1\">b</p><div class=\"c2\">c</div>"
                           "<p class=\"x c1\">d</p>");
    EXPECT_EQ(head_text(), "<title>t</title><style! type=\"text/css\">"
                           " div.c2 {text-align: center}\n p.c1 {text-align: center}\n</style>");
}

TEST_F(StyleTest, ParagraphWithLoneBigFontBecomesHeading) {
    options.clean = true;
    parse_document("<p><font size=6>T</font></p>");
    clean();
    EXPECT_EQ(body_text(), "<h1>T</h1>");
    EXPECT_EQ(head_text(), "<title>t</title>") << "no rule, no body colours: no style element";
    EXPECT_EQ(lexer->styles, nullptr);
}

TEST_F(StyleTest, FontAmongTextBecomesSpan) {
    options.clean = true;
    parse_document("<p>a <font size=\"+2\" id=\"f\">big</font> b <font size=\"-1\">s</font>"
                   " <font size=3>n</font></p>");
    clean();
    // Attributes that say nothing about presentation stay with the span.
    EXPECT_EQ(body_text(),
              "<p>a <span id=\"f\" class=\"c1\">big</span> b <span class=\"c2\">s</span>"
              " <span>n</span></p>");
    EXPECT_EQ(head_text(), "<title>t</title><style! type=\"text/css\">"
                           " span.c2 {font-size: 80%}\n span.c1 {font-size: 144%}\n</style>");
}

TEST_F(StyleTest, LoneFontThatNoParentFoldsBecomesSpan) {
    // A list item does not fold its lone font, so the font turns into a span
    // itself; left a font, the printer would drop it with its colour.
    options.clean = true;
    parse_document("<ul><li><font color=red>x</font></li></ul>");
    clean();
    EXPECT_EQ(body_text(), "<ul><li><span class=\"c1\">x</span></li></ul>");
    EXPECT_EQ(head_text(), "<title>t</title><style! type=\"text/css\">"
                           " span.c1 {color: red}\n</style>");

    // A lone font or div with an id is not folded into its parent, which
    // would lose the id; the font becomes a span that keeps it.
    parse_document("<p><font color=red id=f>x</font></p><div><div id=in>y</div></div>");
    clean();
    EXPECT_EQ(body_text(), "<p><span id=\"f\" class=\"c1\">x</span></p>"
                           "<div><div id=\"in\">y</div></div>");
}

TEST_F(StyleTest, NestedFontsFoldIntoOneSpan) {
    options.drop_font_tags = false;
    parse("<p>a<font color=red><font size=2>x</font></font></p>");
    clean();
    EXPECT_EQ(dump(), "<p>a<span style=\"color: red; font-size: 80%\">x</span></p>");
}

TEST_F(StyleTest, DropFontTagsUnwrapsFontAndCenterWithoutStyleElement) {
    options.drop_font_tags = true;
    parse_document("<center>a<font color=red>b</font></center><p>c</p><center></center>d");
    clean();
    EXPECT_EQ(body_text(), "ab<br!><p>c</p><br!>d");
    EXPECT_EQ(head_text(), "<title>t</title>");
    EXPECT_TRUE(links_ok(root));
}

TEST_F(StyleTest, NodeAfterRemovedEmptyFontIsStillCleaned) {
    options.drop_font_tags = true;
    parse("<font></font><center>y<font size=1>z</font></center><font color=red></font>");
    clean();
    EXPECT_EQ(dump(), "yz<br!>");
    EXPECT_TRUE(links_ok(root));
}

TEST_F(StyleTest, BodyColoursGiveStyleElementWithoutRules) {
    options.clean = true;
    parse("<html><head><title>t</title></head>"
          "<body bgcolor=\"#ffffff\" link=\"blue\" vlink=\"purple\" alink onload=\"f()\">x</body>"
          "</html>");
    clean();
    EXPECT_EQ(head_text(), "<title>t</title><style! type=\"text/css\"> body {\n"
                           "  background-color: #ffffff;\n }\n"
                           " :link { color: blue }\n :visited { color: purple }\n</style>");
    EXPECT_EQ(dump_tree(lexer, root).find("bgcolor"), std::string::npos);
    EXPECT_EQ(find_body(root)->attributes()->name(), "onload");
    EXPECT_EQ(find_body(root)->attributes()->next, nullptr) << "all colour attributes removed";
    EXPECT_TRUE(lexer->usage_flags & UsingBodyColors);

    // All three body properties come in a fixed order, before the rules.
    lexer->usage_flags = 0;
    parse("<html><head></head><body text=\"black\" background=\"bg.png\" bgcolor=\"white\">"
          "<center>x</center></body></html>");
    clean();
    EXPECT_EQ(head_text(), "<style! type=\"text/css\"> body {\n"
                           "  background-image: url(bg.png);\n  background-color: white;\n"
                           "  color: black;\n }\n div.c1 {text-align: center}\n</style>");
}

TEST_F(StyleTest, BodyWithoutColoursAndWithoutRulesGetsNothing) {
    options.clean = true;
    parse("<html><head></head><body class=\"b\">x</body></html>");
    clean();
    EXPECT_EQ(dump(), "<html><head></head><body class=\"b\">x</body></html>");
    EXPECT_EQ(lexer->usage_flags & UsingBodyColors, 0);
}

TEST_F(StyleTest, RulesWithoutHeadAreNotPlacedAnywhere) {
    options.clean = true;
    parse("<center>x</center>");
    clean();
    EXPECT_EQ(dump(), "<div class=\"c1\">x</div>");
    EXPECT_NE(lexer->styles, nullptr);
}

TEST_F(StyleTest, ClassNumbersContinueAcrossDocuments) {
    // Three documents of one run: the first makes three classes, the second
    // none, the third goes on from the first.
    ClassNumbering numbering;
    auto number = [&](size_t place) {
        lexer->first_class_number = [&numbering, place] { return numbering.first_for(place); };
    };
    options.clean = true;
    const size_t first = numbering.add();
    number(first);
    parse_document("<p align=left>a</p><p align=right>b</p><center>c</center>");
    clean();
    EXPECT_EQ(body_text(), "<p class=\"c1\">a</p><p class=\"c2\">b</p><div class=\"c3\">c</div>");
    numbering.settle(first, lexer->next_class_number);
    free_node(root);
    root = nullptr;
    free_lexer(lexer);

    const size_t second = numbering.add();
    numbering.settle(second, 0);

    lexer = new_lexer(nullptr, options);
    number(numbering.add());
    parse_document("<center>d</center>");
    clean();
    EXPECT_EQ(body_text(), "<div class=\"c4\">d</div>");
}

TEST_F(StyleTest, ListRulesOfTheChain) {
    options.drop_font_tags = true; // chain without class rules
    parse("<ul><li!>x</li></ul><dir><li!>y</li></dir>");
    clean();
    EXPECT_EQ(dump(), "<div style=\"margin-left: 2em\">x</div>"
                      "<div style=\"margin-left: 2em\">y</div>");

    parse("<ul><li><ul><li>a</li></ul></li></ul>");
    clean();
    EXPECT_EQ(dump(), "<ul><li>a</li></ul>");

    // After the collapse, a list right before it adopts the inner list.
    parse("<ol><li>p</li></ol><ol><li><ol><li>a</li></ol></li></ol>");
    clean();
    EXPECT_EQ(dump(), "<ol><li>p<ol><li>a</li></ol></li></ol>");
    EXPECT_TRUE(links_ok(root));

    // An item with more than the inner list keeps its structure.
    parse("<ul><li><ul><li>a</li></ul>tail</li></ul>");
    clean();
    EXPECT_EQ(dump(), "<ul><li><ul><li>a</li></ul>tail</li></ul>");
}

TEST_F(StyleTest, BlockAndInlineRulesFoldAlignAndLoneChildren) {
    options.drop_font_tags = true;
    parse("<div style=\"color: red\"><div style=\"color: blue; margin: 0\">x</div></div>");
    clean();
    EXPECT_EQ(dump(), "<div style=\"color: red; margin: 0\">x</div>");

    parse("<p align=\"Left\"><b>x</b></p><h2 align=right><i>y</i></h2><caption align=top><i>c</i>"
          "</caption><p align>z</p>");
    clean();
    EXPECT_EQ(dump(), "<p style=\"font-weight: bold; text-align: left\">x</p>"
                      "<h2 style=\"font-style: italic; text-align: right\">y</h2>"
                      "<caption align=\"top\" style=\"font-style: italic\">c</caption><p>z</p>");

    // Tables, rows and items keep their align; a cell folds a lone font.
    options.drop_font_tags = false;
    parse("<table align=\"center\"><tr align=left><td align=right><font color=red>z</font></td>"
          "</tr></table><ul><li align=left>q</li></ul>");
    clean();
    EXPECT_EQ(dump(), "<table align=\"center\"><tr align=\"left\">"
                      "<td align=\"right\" style=\"color: red\">z</td></tr></table>"
                      "<ul><li align=\"left\">q</li></ul>");

    // Lone b and i inside inline elements fold only with logical emphasis.
    parse("<span><b>x</b></span><em><i>y</i></em>");
    clean();
    EXPECT_EQ(dump(), "<span><b>x</b></span><em><i>y</i></em>");
    options.logical_emphasis = true;
    clean();
    EXPECT_EQ(dump(), "<span style=\"font-weight: bold\">x</span>"
                      "<em style=\"font-style: italic\">y</em>");
    EXPECT_TRUE(links_ok(root));
}

} // namespace
} // namespace varnel
