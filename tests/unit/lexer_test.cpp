// Token recognition: each scan state, white-space mode, push-back and the
// raw reader of script content.
#include <gtest/gtest.h>

#include <random>

#include "input/obsolete_uses.h"
#include "tree/inline_stack.h"
#include "test_support.h"

namespace varnel {
namespace {

// The log of obsolete uses gives back every use as added, in order: lines
// that go back as well as forward, the extremes of both numbers, a name
// seen before after others, names that share a prefix, the empty name;
// and it starts afresh after clear.
TEST(ObsoleteUsesTest, GivesBackEveryUseInOrder) {
    struct Use {
        uint32_t line;
        uint32_t column;
        std::string name;
        bool operator==(const Use&) const = default;
    };
    const std::vector<std::string> names = {
        "font", "center", "", "fontx", "big", "tt", std::string(300, 'n')};
    std::mt19937 random(12);
    for (int round = 0; round < 3; ++round) {
        ObsoleteUses log;
        std::vector<Use> added = {{0, 0, "font"},
                                  {UINT32_MAX, UINT32_MAX, "center"},
                                  {0, 1, "font"},
                                  {127, 128, ""},
                                  {128, 16383, "fontx"}};
        for (int i = 0; i < 5000; ++i) {
            const auto line = static_cast<uint32_t>(random() % 4 == 0 ? random() : random() % 300);
            const auto column =
                static_cast<uint32_t>(random() % 3 == 0 ? random() : random() % 200);
            added.push_back({line, column, names[random() % names.size()]});
        }
        for (const Use& use : added)
            log.add(use.line, use.column, use.name);
        std::vector<Use> given;
        log.for_each([&](uint32_t line, uint32_t column, std::string_view name) {
            given.push_back({line, column, std::string(name)});
        });
        EXPECT_EQ(given, added);
        log.clear();
        EXPECT_TRUE(log.empty());
        log.add(5, 6, "big");
        given.clear();
        log.for_each([&](uint32_t line, uint32_t column, std::string_view name) {
            given.push_back({line, column, std::string(name)});
        });
        EXPECT_EQ(given, (std::vector<Use>{{5, 6, "big"}}));
    }
}

using test::all_tokens;
using test::LexerOver;
using Tokens = std::vector<std::string>;

class LexerTest : public ::testing::Test {
  protected:
    void SetUp() override { test::fresh_globals(); }
};

TEST_F(LexerTest, WhiteSpaceModesShapeText) {
    {
        LexerOver lx("a  b");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"text:a b"});
    }
    {
        LexerOver lx("a  b");
        EXPECT_EQ(all_tokens(lx, KeepSpace), Tokens{"text:a  b"});
    }
    {
        LexerOver lx("  x");
        EXPECT_EQ(all_tokens(lx, TrimSpace), Tokens{"text:x"});
    }
    {
        // Tabs and line feeds collapse to one space; one trailing space is
        // dropped at the end of input.
        LexerOver lx("a\t\n b ");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"text:a b"});
    }
    {
        // Preformatted text keeps its tabs.
        LexerOver lx("a\n\tb");
        EXPECT_EQ(all_tokens(lx, KeepSpace), Tokens{"text:a\n\tb"});
    }
    {
        // Raw text keeps "&" and tags other than end tags.
        LexerOver lx("x<b>&amp;</b>");
        EXPECT_EQ(all_tokens(lx, RawText), (Tokens{"text:x<b>&amp;", "end:b"}));
    }
}

TEST_F(LexerTest, StartAndEndTags) {
    {
        LexerOver lx("<p>\nx</P>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), (Tokens{"start:p", "text:x", "end:p"}));
    }
    {
        // A line feed after an empty element's tag is text, except after br.
        LexerOver lx("<img src=a>\nx<br>\ny");
        EXPECT_EQ(all_tokens(lx, CollapseSpace),
                  (Tokens{"start:img[src=\"a\"]", "text: x", "start:br", "text:y"}));
    }
    {
        LexerOver lx("<br/>\nx");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), (Tokens{"empty:br", "text:x"}));
    }
    {
        // In preformatted content the line feed after a br is a line of its
        // own, and one after an inline start tag is content.
        LexerOver lx("a<br>\nb<b>\nc");
        EXPECT_EQ(all_tokens(lx, KeepSpace),
                  (Tokens{"text:a", "start:br", "text:\nb", "start:b", "text:\nc"}));
    }
    {
        // After an inline start tag the line feed separates words; after a
        // block's start tag it is dropped.
        LexerOver lx("w<a href=x>\nlink</a><div>\nd");
        EXPECT_EQ(all_tokens(lx, CollapseSpace),
                  (Tokens{"text:w", "start:a[href=\"x\"]", "text: link", "end:a", "start:div",
                          "text:d"}));
    }
    {
        LexerOver lx("<br/><P CLASS=x>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), (Tokens{"empty:br", "start:p[class=\"x\"]"}));
    }
    {
        options.input_xml = true;
        LexerOver lx("<P Class='x'>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"start:P[Class='x']"});
        options.input_xml = false;
    }
    {
        // "<" that does not start markup is text.
        LexerOver lx("a<3 </ p> b");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"text:a<3 </ p> b"});
    }
    {
        // Junk after an end tag's name is skipped up to ">".
        LexerOver lx("</p junk>x");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), (Tokens{"end:p", "text:x"}));
    }
    {
        // An unknown element is still handed out, without a tag.
        LexerOver lx("<blah>");
        Node* node = get_token(lx.lexer, CollapseSpace);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->kind(), StartTagNode);
        EXPECT_EQ(node->element_name(), "blah");
        EXPECT_EQ(node->tag(), nullptr);
        free_node(node);
        LexerOver known("<p>");
        node = get_token(known.lexer, CollapseSpace);
        EXPECT_EQ(node->tag(), tag_p);
        free_node(node);
    }
}

TEST_F(LexerTest, EmptySyntaxOfElementsWithContent) {
    {
        // An anchor written with "/>" is closed at once: its end tag comes
        // next, and the text after it stays outside.
        LexerOver lx("<a name=x/>Text<br/>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace),
                  (Tokens{"start:a[name=\"x\"]", "end:a", "text:Text", "empty:br"}));
    }
    {
        // Other elements take what follows, as browsers read them.
        LexerOver lx("<div/>x<span class=c/>y");
        EXPECT_EQ(all_tokens(lx, CollapseSpace),
                  (Tokens{"start:div", "text:x", "start:span[class=\"c\"]", "text:y"}));
    }
    {
        // A pushed-back start tag still comes before its end tag.
        LexerOver lx("<a name=x/>y");
        Node* a = get_token(lx.lexer, CollapseSpace);
        unget_token(lx.lexer);
        EXPECT_EQ(get_token(lx.lexer, CollapseSpace), a);
        EXPECT_EQ(all_tokens(lx, CollapseSpace), (Tokens{"end:a", "text:y"}));
        free_node(a);
    }
    {
        // An XHTML document and XML input keep the empty element.
        LexerOver lx("<div/>x<a name=x/>");
        lx.lexer->is_xhtml = true;
        EXPECT_EQ(all_tokens(lx, CollapseSpace),
                  (Tokens{"empty:div", "text:x", "empty:a[name=\"x\"]"}));
        options.input_xml = true;
        LexerOver xml("<a/>x");
        EXPECT_EQ(all_tokens(xml, CollapseSpace), (Tokens{"empty:a", "text:x"}));
        options.input_xml = false;
    }
}

TEST_F(LexerTest, EndOfInputInsideConstructs) {
    {
        // Text before a lone "<" at the end of input is not lost.
        LexerOver lx("hello <");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"text:hello <"});
    }
    {
        LexerOver lx("x</");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"text:x</"});
    }
    {
        // An end tag cut off by the end of input is dropped.
        LexerOver lx("x</p");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"text:x"});
    }
    {
        LexerOver lx("text<!--");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), (Tokens{"text:text", "comment:"}));
    }
    {
        // A section cut off by the end of input is dropped with the text
        // that followed its "<".
        LexerOver lx("<![if x");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{});
    }
    {
        LexerOver lx("");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{});
    }
}

TEST_F(LexerTest, Comments) {
    {
        LexerOver lx("<!-- a -- b -->");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"comment: a == b --"});
    }
    {
        options.fix_bad_comments = false;
        LexerOver lx("<!-- a -- b -->");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"comment: a -- b --"});
    }
    {
        LexerOver lx("<!---->x");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), (Tokens{"comment:--", "text:x"}));
    }
    {
        // A line feed right after a comment is taken by it.
        LexerOver lx("<!-- c -->\nx");
        Node* node = get_token(lx.lexer, KeepSpace);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->kind(), CommentNode);
        EXPECT_TRUE(node->newline_after);
        free_node(node);
        EXPECT_EQ(all_tokens(lx, KeepSpace), Tokens{"text:x"});
    }
    {
        // Malformed and unknown declarations are dropped.
        LexerOver lx("a<!-x>b<!foo>c");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"text:abc"});
    }
}

TEST_F(LexerTest, DeclarationsAndServerBlocks) {
    {
        LexerOver lx("<!DOCTYPE   html  PUBLIC\n \"-//W3C//DTD HTML 4.01//EN\">");
        EXPECT_EQ(all_tokens(lx, TrimSpace),
                  Tokens{"doctype:html PUBLIC\n\"-//W3C//DTD HTML 4.01//EN\""});
    }
    {
        // An XML internal subset, its quoted values included, belongs to
        // the doctype; in HTML the first ">" ends the doctype as before.
        options.input_xml = true;
        LexerOver xml("<!DOCTYPE n [<!ENTITY w \"a>b\"> <!-- c -->]><n/>");
        EXPECT_EQ(all_tokens(xml, TrimSpace),
                  (Tokens{"doctype:n [<!ENTITY w \"a>b\"> <!-- c -->]", "empty:n"}));
        options.input_xml = false;
        LexerOver html("<!DOCTYPE n [<!ENTITY w \"a\">]>");
        EXPECT_EQ(all_tokens(html, TrimSpace), (Tokens{"doctype:n [<!ENTITY w \"a\"", "text:]>"}));
    }
    {
        LexerOver lx("<?php echo 1 ?><?xml version='1.0'?>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace),
                  (Tokens{"php:php echo 1 ", "pi:xml version='1.0'?"}));
    }
    {
        options.assume_xml_procins = true;
        LexerOver lx("<?xml a>b?>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"pi:xml a>b?"});
    }
    {
        // A run of question marks before ">" still ends the instruction;
        // a lone "?" inside it does not.
        LexerOver lx("<?x a?b?"
                     "?>c<?y?"
                     "?"
                     "?>d");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), (Tokens{"pi:x a?b?"
                                                         "?",
                                                         "text:c",
                                                         "pi:y?"
                                                         "?"
                                                         "?",
                                                         "text:d"}));
        options.assume_xml_procins = false;
    }
    {
        LexerOver lx("<![CDATA[x<y]]]>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"cdata:x<y]"});
    }
    {
        // Brackets that do not close the section stay in its text.
        LexerOver lx("<![CDATA[a]]b]c]]>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"cdata:a]]b]c"});
    }
    {
        LexerOver lx("<![if IE]>x<![endif]>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace),
                  (Tokens{"section:if IE", "text:x", "section:endif"}));
    }
    {
        LexerOver lx("<% a %><# b #><%%>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), (Tokens{"asp: a ", "jste: b ", "asp:"}));
    }
}

TEST_F(LexerTest, TokenPositions) {
    LexerOver lx("ab</p>\n  <b>x");
    Node* node = get_token(lx.lexer, CollapseSpace);
    EXPECT_EQ(lx.lexer->token_column, 1u);
    free_node(node);
    node = get_token(lx.lexer, CollapseSpace); // </p> at its "<"
    EXPECT_EQ(node->kind(), EndTagNode);
    EXPECT_EQ(lx.lexer->token_line, 1u);
    EXPECT_EQ(lx.lexer->token_column, 3u);
    free_node(node);
    node = get_token(lx.lexer, TrimSpace); // leading white space is skipped
    EXPECT_EQ(node->kind(), StartTagNode);
    EXPECT_EQ(lx.lexer->token_line, 2u);
    EXPECT_EQ(lx.lexer->token_column, 3u);
    free_node(node);
    node = get_token(lx.lexer, TrimSpace);
    EXPECT_EQ(lx.lexer->token_column, 6u);
    free_node(node);
}

TEST_F(LexerTest, PushBackReturnsTheSameToken) {
    LexerOver lx("<p>x");
    Node* first = get_token(lx.lexer, CollapseSpace);
    unget_token(lx.lexer);
    EXPECT_EQ(get_token(lx.lexer, CollapseSpace), first);
    free_node(first);
    Node* text = get_token(lx.lexer, CollapseSpace);
    unget_token(lx.lexer);
    EXPECT_EQ(get_token(lx.lexer, CollapseSpace), text);
    free_node(text);
    EXPECT_EQ(get_token(lx.lexer, CollapseSpace), nullptr);
}

TEST_F(LexerTest, PushedBackTagComesBeforeReopenedTags) {
    LexerOver lx("<b>x<p>y");
    Node* b = get_token(lx.lexer, CollapseSpace);
    remember_inline(lx.lexer, b);
    Node* x = get_token(lx.lexer, CollapseSpace);
    Node* p = get_token(lx.lexer, CollapseSpace);
    ASSERT_EQ(schedule_reopen(lx.lexer, nullptr), 1);
    unget_token(lx.lexer);
    EXPECT_EQ(get_token(lx.lexer, CollapseSpace), p);
    Node* reopened = get_token(lx.lexer, CollapseSpace);
    EXPECT_EQ(test::describe_token(lx, reopened), "start:b");
    EXPECT_TRUE(reopened->implicit);
    EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"text:y"});
    for (Node* n : {b, x, p, reopened})
        free_node(n);
}

TEST_F(LexerTest, PendingSpaceGoesBeforeText) {
    LexerOver lx("x");
    lx.lexer->space_pending = true;
    EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"text: x"});
    LexerOver trimmed("x");
    trimmed.lexer->space_pending = true;
    EXPECT_EQ(all_tokens(trimmed, TrimSpace), Tokens{"text:x"});
}

// Text, comments, names and attribute values are copied from the input in
// runs of plain characters where nothing in them needs a decision; the
// characters around the runs (a second space, a line end, "<", "&", a
// quote mark) still decide as before.
TEST_F(LexerTest, RunsOfPlainCharactersKeepTheirMeaning) {
    {
        // The space before a line end is the one that stays.
        LexerOver lx("word. \nnext  x \t y");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"text:word. next x y"});
    }
    {
        LexerOver lx("a b  c\n<b>d");
        EXPECT_EQ(all_tokens(lx, KeepSpace), (Tokens{"text:a b  c\n", "start:b", "text:d"}));
    }
    {
        // An unquoted "/" before ">" stays in a link (href), where it is
        // part of the address.
        LexerOver lx("<P Title=\"a  b\tc &amp; d\" ALT=x/y href=a/b/>z");
        EXPECT_EQ(all_tokens(lx, CollapseSpace),
                  (Tokens{"start:p[title=\"a b c & d\",alt=\"x/y\",href=\"a/b/\"]", "text:z"}));
    }
    {
        LexerOver lx("<!-- one - two -- three -->x");
        EXPECT_EQ(all_tokens(lx, CollapseSpace),
                  (Tokens{"comment: one - two == three --", "text:x"}));
    }
}

// The same page read as single bytes, where plain characters are taken in
// runs, and as UTF-16, where every character is decoded on its own, gives
// the same tokens at the same positions with the same reports.
TEST_F(LexerTest, RunsReadAsCharacterByCharacter) {
    const std::vector<std::string> pieces = {
        "word",
        "two words",
        " ",
        "  ",
        "\n",
        "\r\n",
        "\r",
        "\t",
        " \n ",
        "a.",
        "&amp;",
        "&amp",
        "&bogus;",
        "&#169;",
        "x&y",
        "<",
        "a <= b",
        "</ x>",
        "<p>",
        "</p>",
        "<B>",
        "<br/>",
        "<pre>",
        "</pre>",
        "<td\tclass=x>",
        "<a href=\"u v\">",
        "<a href='a  b'>",
        "<img alt=a/b/>",
        "<p title=\"a&amp;b c\\\nd\">",
        "<p x = \"1\"\ny=2 z>",
        "<input checked/>",
        "<p title=\"a\tb  c\">",
        "<!-- c -->",
        "<!-- a -- b -->",
        "<!--x--->",
        "<![CDATA[ a ] b ]]>",
        "<?pi x?>",
        "<% a %>",
        "<script>if (a < b) x = '</b>';</script>",
        "<style>p { color: red }</style>",
        "<!DOCTYPE html>",
        "<title>t</title>",
        "\"quoted\"",
        "it's",
        "/",
        ">",
        "\n    ",
        "words    apart",
        "\t  ",
        "<ul>\n  <li>",
        "</li>\n  ",
        "<a   href=x/y>",
        "<p a='x\"y' b=\"x'y\">",
        "<p a=b\"c>",
        "<p A1=x B-2 _c=y a%b=1 x/y=2>",
        "<P CLASS=\"One  Two\" ID=Z>",
        "a fairly long sentence of plain words, then more of them",
        "Unbrokenwordlongerthansixteenbytes",
        "x\x7Fy",
        "<a href=\"http://example.org/a/long/path/to/page.html?x=1&amp;y=2#part\">",
        "<p title='a long title with  two spaces and \"quotes\" in it'>",
        "<p title=\"a long value with a line\nfeed, a <b> and a back\\slash in it\">",
        "<img alt=\"sixteen bytes ok\" src='sixteen bytes ok'>",
    };
    std::mt19937 random(12);
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(1, 40);
    const WhitespaceMode modes[] = {CollapseSpace, KeepSpace, TrimSpace, RawText};

    // Every token with its position and the count of characters taken from
    // the input after it (UTF-16 takes two bytes for each, after a mark of
    // two), the raw content of script and style, then the reports.
    auto transcript = [](const std::string& bytes, WhitespaceMode mode) {
        LexerOver lx(bytes);
        const bool utf16 = bytes.starts_with("\xFF\xFE");
        std::string out;
        while (Node* node = get_token(lx.lexer, mode)) {
            const uint64_t taken = bytes_read(lx.stream);
            out += test::describe_token(lx, node) + " @" + std::to_string(lx.lexer->token_line) +
                   ":" + std::to_string(lx.lexer->token_column) + " #" +
                   std::to_string(utf16 ? (taken - 2) / 2 : taken) + "\n";
            if (node->kind() == StartTagNode &&
                (node->element_name() == "script" || node->element_name() == "style")) {
                Node* content = read_script_content(lx.lexer, node);
                out += content != nullptr ? "raw:" + lx.text(content) + "\n" : "raw:none\n";
                free_node(content);
            }
            free_node(node);
        }
        return out + lx.messages();
    };

    for (int round = 0; round < 300; ++round) {
        std::string page;
        for (int n = length(random); n > 0; --n)
            page += pieces[pick(random)];
        const WhitespaceMode mode = modes[round % 4];
        EXPECT_EQ(transcript(page, mode), transcript(test::as_utf16(page), mode)) << page;
    }
    // A page many times longer than the buffer the input is read through:
    // runs stop where a buffer ends, and the reading goes on from there.
    std::string long_page;
    while (long_page.size() < 300000)
        long_page += pieces[pick(random)];
    EXPECT_TRUE(transcript(long_page, KeepSpace) ==
                transcript(test::as_utf16(long_page), KeepSpace));
    EXPECT_TRUE(transcript(long_page, CollapseSpace) ==
                transcript(test::as_utf16(long_page), CollapseSpace));
}

class ScriptContentTest : public LexerTest {
  protected:
    // Reads the script-like start tag at the front of the source and then
    // its raw content; "<null>" when there is none. Both nodes are released.
    static std::string content_of(LexerOver& lx) {
        Node* element = get_token(lx.lexer, TrimSpace);
        Node* content = read_script_content(lx.lexer, element);
        std::string text = content != nullptr ? lx.text(content) : "<null>";
        free_node(content);
        free_node(element);
        return text;
    }
};

TEST_F(ScriptContentTest, StopsAtOwnEndTagAndEscapesOthersInJavaScript) {
    LexerOver lx("<script>document.write('</b>');</SCRIPT>x");
    EXPECT_EQ(content_of(lx), "document.write('<\\/b>');");
    EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"text:x"});
}

TEST_F(ScriptContentTest, OtherLanguagesKeepEndTagsAsWritten) {
    LexerOver lx("<script language=vbscript>a</b>c</script>");
    EXPECT_EQ(content_of(lx), "a</b>c");
}

TEST_F(ScriptContentTest, EndTagMayHaveWhiteSpaceBeforeItsGt) {
    LexerOver lx("<script>a = 1;</script >x");
    EXPECT_EQ(content_of(lx), "a = 1;");
    EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"text:x"});

    // A line break counts too; a longer or shorter name still does not end
    // the content, and white space before the name is not an end tag.
    LexerOver other("<style>p {}</styles></ style></style\n>y");
    EXPECT_EQ(content_of(other), "p {}</styles></ style>");
}

TEST_F(ScriptContentTest, EmptyAndUnterminatedContent) {
    {
        LexerOver lx("<style></style>");
        Node* style = get_token(lx.lexer, TrimSpace);
        EXPECT_EQ(read_script_content(lx.lexer, style), nullptr);
        free_node(style);
    }
    {
        LexerOver lx("<script>a = 1;\n");
        Node* script = get_token(lx.lexer, TrimSpace);
        Node* content = read_script_content(lx.lexer, script);
        ASSERT_NE(content, nullptr);
        EXPECT_EQ(lx.text(content), "a = 1;\n");
        free_node(content);
        free_node(script);
    }
}

TEST_F(ScriptContentTest, EmptySyntaxHasNoContent) {
    // "<script .../>" is closed at once: the reader takes its end tag and
    // leaves the rest of the page to be read as markup.
    LexerOver lx("<script src=\"a.js\"/>x</script>");
    EXPECT_EQ(content_of(lx), "<null>");
    EXPECT_EQ(all_tokens(lx, CollapseSpace), (Tokens{"text:x", "end:script"}));
}

} // namespace
} // namespace varnel

namespace varnel {
namespace {

// Reports raised while reading: exact lines with their positions.
class LexerReportTest : public ::testing::Test {
  protected:
    void SetUp() override { test::fresh_globals(); }

    static std::string reports_of(const std::string& source, WhitespaceMode mode = CollapseSpace) {
        test::LexerOver lx(source);
        test::all_tokens(lx, mode);
        return lx.messages();
    }
};

TEST_F(LexerReportTest, CommentsAndDeclarations) {
    EXPECT_EQ(reports_of("<!-- a -- b -->"),
              "line 1 column 8 - Warning: adjacent hyphens within comment\n");
    EXPECT_EQ(reports_of("x\n<!-x>"),
              "line 1 column 1 - Warning: adjacent hyphens within comment\n");
    EXPECT_EQ(reports_of("<!-- open"),
              "line 1 column 1 - Warning: adjacent hyphens within comment\n");
    EXPECT_EQ(reports_of("<!foo><!-- fine -->"), "");
    // Hyphens at the end of a line: the report names the line and column
    // of the first hyphen, not a column before the start of the next line.
    EXPECT_EQ(reports_of("<!-- a --\n b -->"),
              "line 1 column 8 - Warning: adjacent hyphens within comment\n");
    EXPECT_EQ(reports_of("x\n--<!--a\n--\n-->"),
              "line 3 column 1 - Warning: adjacent hyphens within comment\n");
}

TEST_F(LexerReportTest, ConstructsCutOffByTheEndOfInputAreReported) {
    // The cut-off part is dropped, and a warning at the end of input says
    // so; the text before it is kept.
    const std::string eof = " - Warning: unexpected end of file\n";
    for (const char* source : {"ab<?php echo", "ab<![CDATA[x", "ab<% x", "ab<!DOCTYPE html",
                               "ab<![if x", "ab</p", "ab</p x"}) {
        test::LexerOver lx(source);
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"text:ab"}) << source;
        const std::string column = std::to_string(std::string(source).size() + 1);
        EXPECT_EQ(lx.messages(), "line 1 column " + column + eof) << source;
    }
    // Under assume-xml-procins the instruction cut off after "?" reports
    // once.
    options.assume_xml_procins = true;
    test::LexerOver pi("<?xml ?");
    EXPECT_EQ(all_tokens(pi, CollapseSpace), Tokens{});
    EXPECT_EQ(pi.messages(), "line 1 column 8" + eof);
}

TEST_F(LexerReportTest, UnknownAndProprietaryElements) {
    EXPECT_EQ(reports_of("<blah>"), "line 1 column 1 - Error: <blah> is not recognized!\n");
    EXPECT_EQ(reports_of("ab<nobr>"), "line 1 column 4 - Warning: <nobr> is not approved by W3C\n");
    options.clean = true;
    EXPECT_EQ(reports_of("<nobr>"), "");
    options.clean = false;
    // Other proprietary elements are accepted silently here.
    EXPECT_EQ(reports_of("<blink>"), "");
}

TEST_F(LexerReportTest, ScriptContent) {
    test::LexerOver lx("<script>document.write('</b>');</SCRIPT>");
    Node* script = get_token(lx.lexer, TrimSpace);
    free_node(read_script_content(lx.lexer, script));
    free_node(script);
    EXPECT_EQ(lx.messages(), "line 1 column 1 - Warning: <script> lacks \"type\" attribute\n"
                             "line 1 column 26 - Warning: '<' + '/' + letter not allowed here\n"
                             "line 1 column 31 - Warning: '<' + '/' + letter not allowed here\n");

    // A "</" at the start of a line is reported at column 1, never 0.
    test::LexerOver line_start("<script type=\"text/javascript\">\n</b>\n</script>");
    script = get_token(line_start.lexer, TrimSpace);
    free_node(read_script_content(line_start.lexer, script));
    free_node(script);
    EXPECT_EQ(line_start.messages(),
              "line 2 column 2 - Warning: '<' + '/' + letter not allowed here\n"
              "line 3 column 1 - Warning: '<' + '/' + letter not allowed here\n");

    test::LexerOver open("<script>a = 1;\n");
    script = get_token(open.lexer, TrimSpace);
    free_node(read_script_content(open.lexer, script));
    free_node(script);
    EXPECT_EQ(open.messages(), "line 1 column 1 - Warning: <script> lacks \"type\" attribute\n"
                               "line 1 column 9 - Warning: missing </script>\n");
}

TEST_F(LexerReportTest, QuotedValueRunningToTheEndOfInput) {
    // The value took in the rest of the page, markup included: the report
    // points at its opening quote mark, and the missing quote mark is an
    // error however few lines the value spans.
    EXPECT_EQ(reports_of("x\n<a href=\"y.html>y</a>\n<p>z\n"),
              "line 4 column 1 - Warning: end of file while parsing attributes\n"
              "line 2 column 9 - Warning: <a> attribute \"href\" lacks closing quote mark, "
              "value runs to end of file\n"
              "line 2 column 9 - Error: missing quotemark for attribute value\n");
    // Neither a script attribute nor literal-attributes makes it sound.
    options.literal_attributes = true;
    EXPECT_EQ(reports_of("<p onclick='a>b"),
              "line 1 column 16 - Warning: end of file while parsing attributes\n"
              "line 1 column 12 - Warning: <p> attribute \"onclick\" lacks closing quote mark, "
              "value runs to end of file\n"
              "line 1 column 12 - Error: missing quotemark for attribute value\n");
    options.literal_attributes = false;
}

TEST_F(LexerReportTest, EmptySyntaxOfElementsWithContent) {
    EXPECT_EQ(reports_of("<a name=x/><textarea name=t/><p/><br/><img src=a alt=a/>"),
              "line 1 column 1 - Warning: <a/> isn't an empty element, taken as <a></a>\n"
              "line 1 column 12 - Warning: <textarea/> isn't an empty element, taken as "
              "<textarea></textarea>\n"
              "line 1 column 30 - Warning: <p/> isn't an empty element, taken as <p>\n");
}

TEST_F(LexerReportTest, References) {
    EXPECT_EQ(reports_of("x &foo; y"),
              "line 1 column 3 - Warning: unescaped & or unknown entity \"&foo\"\n");
    EXPECT_EQ(reports_of("a & b"),
              "line 1 column 3 - Warning: unescaped & which should be written as &amp;\n");
    EXPECT_EQ(reports_of("\n&copy 2000"),
              "line 2 column 1 - Warning: entity \"&copy\" doesn't end in ';'\n");
    EXPECT_EQ(reports_of("&amp;&#65;"), "");
}

TEST_F(LexerReportTest, Attributes) {
    EXPECT_EQ(reports_of("<p \"class=x>"),
              "line 1 column 1 - Warning: <p> unexpected or duplicate quote mark\n");
    EXPECT_EQ(reports_of("<p 3d=x>"),
              "line 1 column 1 - Warning: <p> unknown attribute value \"x\"\n");
    EXPECT_EQ(reports_of("<a <b>"), "line 1 column 1 - Error: <a> missing '>' for end of tag\n");
    EXPECT_EQ(reports_of("<p class=\"x"),
              "line 1 column 12 - Warning: end of file while parsing attributes\n"
              "line 1 column 10 - Warning: <p> attribute \"class\" lacks closing quote mark, "
              "value runs to end of file\n");
    // Cut off after a complete value: the end is still read and reported,
    // at the stream's position.
    EXPECT_EQ(reports_of("<p class=\"x\""),
              "line 1 column 13 - Warning: end of file while parsing attributes\n");
    EXPECT_EQ(reports_of("<p class=x "),
              "line 1 column 12 - Warning: end of file while parsing attributes\n");
    EXPECT_EQ(reports_of("<p title=\"a\n\n\n\n\n\n\n\n\n\n\n>b\">"),
              "line 1 column 1 - Error: missing quotemark for attribute value\n");
    // A tag cut off inside or right after a name reports the end of input
    // once, at the stream's position; so does one cut off after "=".
    EXPECT_EQ(reports_of("<p class"),
              "line 1 column 9 - Warning: end of file while parsing attributes\n");
    EXPECT_EQ(reports_of("<p"),
              "line 1 column 3 - Warning: end of file while parsing attributes\n");
    EXPECT_EQ(reports_of("<p class="),
              "line 1 column 10 - Warning: end of file while parsing attributes\n");
    EXPECT_EQ(reports_of("<p 3d"),
              "line 1 column 1 - Warning: <p> unknown attribute value \"\"\n"
              "line 1 column 6 - Warning: end of file while parsing attributes\n");
    // An entity report points at its "&"; the tag's later reports keep the
    // tag's own position.
    EXPECT_EQ(reports_of("\n<p title=\"a&b\" bogus=1>", TrimSpace),
              "line 2 column 12 - Warning: unescaped & or unknown entity \"&b\"\n"
              "line 2 column 1 - Warning: unknown attribute \"bogus\"\n");
    // A PHP block among the attributes is not an unknown attribute.
    EXPECT_EQ(reports_of("<p <?php echo 1 ?>>"), "");
}

} // namespace
} // namespace varnel
