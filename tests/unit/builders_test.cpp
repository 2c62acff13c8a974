// The document, body, block, inline, list, definition-list and pre
// builders, driven by the real lexer over small documents. Each case gives
// the expected tree and the exact report lines, worked out from the rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>

#include "build_support.h"

namespace varnel {
namespace {

using test::body_of;
using test::lines;
using test::parse_html;

constexpr const char* kTitle = "line 1 column 1 - Warning: inserting missing 'title' element";

class BuildersTest : public ::testing::Test {
  protected:
    void SetUp() override { test::fresh_globals(); }
};

TEST_F(BuildersTest, SkeletonIsInferredAroundContent) {
    {
        auto r = parse_html("");
        EXPECT_EQ(r.tree, "");
        EXPECT_EQ(r.messages, "");
    }
    {
        auto r = parse_html("<!-- c -->");
        EXPECT_EQ(r.tree, "<!-- c -->");
        EXPECT_EQ(r.messages, "");
    }
    {
        auto r = parse_html("hello");
        EXPECT_EQ(r.tree, "html(head(title) body(\"hello\"))");
        EXPECT_EQ(r.messages, lines({kTitle}));
        EXPECT_TRUE(r.links_ok);
    }
    {
        // A given head and title: nothing to report; no body without content.
        auto r = parse_html("<html><head><title>t</title></head></html>");
        EXPECT_EQ(r.tree, "html(head(title(\"t\")))");
        EXPECT_EQ(r.messages, lines({"line 1 column 36 - Warning: discarding unexpected </html>"}));
    }
}

TEST_F(BuildersTest, HeadCountsTitlesAndTakesHeadElementsFromTheBody) {
    {
        // A title met only in the body takes the place of the empty one
        // the head was given.
        auto r = parse_html("x<title>late</title>");
        EXPECT_EQ(r.tree, "html(head(title(\"late\")) body(\"x\"))");
    }
    {
        // A second title is read, reported and dropped: the first stands,
        // as browsers take it.
        auto r = parse_html("<title>a</title><title>b</title>");
        EXPECT_EQ(r.tree, "html(head(title(\"a\")))");
        EXPECT_EQ(r.messages,
                  lines({"line 1 column 17 - Warning: too many title elements in <head>"}));
    }
    {
        // The title is trimmed at both ends.
        auto r = parse_html("<title>  a  b </title>x");
        EXPECT_EQ(r.tree, "html(head(title(\"a b\")) body(\"x\"))");
    }
    {
        auto r = parse_html("<p>x</p><meta name=a>");
        EXPECT_EQ(r.tree, "html(head(title meta[name=\"a\"]) body(p(\"x\")))");
        EXPECT_EQ(
            r.messages,
            lines({kTitle, "line 1 column 9 - Warning: <meta> isn't allowed in <body> elements"}));
    }
    {
        // A title met in the body goes to the head and is read there; the
        // head has one already, so it goes.
        auto r = parse_html("<title>t</title>x<title>u</title>");
        EXPECT_EQ(r.tree, "html(head(title(\"t\")) body(\"x\"))");
        EXPECT_EQ(r.messages,
                  lines({"line 1 column 19 - Warning: <title> isn't allowed in <body> elements"}));
    }
}

TEST_F(BuildersTest, DoctypesAfterElementsMoveInFrontOfHtml) {
    auto r = parse_html("x<!DOCTYPE html>y");
    EXPECT_EQ(r.tree, "<!DOCTYPE html> html(head(title) body(\"x\" \"y\"))");
    EXPECT_EQ(
        r.messages,
        lines({kTitle, "line 1 column 12 - Warning: <!DOCTYPE> isn't allowed after elements"}));
    EXPECT_TRUE(r.links_ok);

    // Inside an inline element a doctype is simply an unexpected token.
    auto p = parse_html("<p>x<!DOCTYPE html>");
    EXPECT_EQ(body_of(p), "p(\"x\")");
    EXPECT_EQ(p.messages,
              lines({kTitle, "line 1 column 15 - Warning: discarding unexpected <!DOCTYPE>"}));

    // A second doctype before the document is dropped.
    auto two = parse_html("<!DOCTYPE a><!DOCTYPE b>x");
    EXPECT_EQ(two.tree, "<!DOCTYPE a> html(head(title) body(\"x\"))");
    EXPECT_EQ(two.messages,
              lines({"line 1 column 13 - Warning: discarding unexpected <!DOCTYPE>",
                     "line 1 column 25 - Warning: inserting missing 'title' element"}));
}

TEST_F(BuildersTest, ContentAfterBodyStaysInTheBody) {
    {
        auto r = parse_html("<body>x</body>y");
        EXPECT_EQ(r.tree, "html(head(title) body(\"x\" \"y\"))");
        EXPECT_EQ(r.messages,
                  lines({kTitle, "line 1 column 15 - Warning: content occurs after end of body"}));
    }
    {
        // A lone space after </body> is no content; </html> is dropped silently.
        auto r = parse_html("<body>x</body> </html>");
        EXPECT_EQ(r.tree, "html(head(title) body(\"x\"))");
        EXPECT_EQ(r.messages, lines({kTitle}));
    }
}

TEST_F(BuildersTest, LaterBodyTagGivesItsAttributesToTheImpliedBody) {
    auto r = parse_html("x<body bgcolor=red>");
    EXPECT_EQ(r.tree, "html(head(title) body[bgcolor=\"red\"](\"x\"))");
    EXPECT_EQ(
        r.messages,
        lines({kTitle, "line 1 column 3 - Warning: <body> isn't allowed in <body> elements"}));
}

TEST_F(BuildersTest, FramesetsTakeNoframesAndTheBody) {
    {
        auto r = parse_html("<frameset><frame src=a></frameset><body>x");
        EXPECT_EQ(r.tree, "html(head(title) frameset(frame[src=\"a\"] noframes(body(\"x\"))))");
        EXPECT_EQ(r.messages,
                  lines({kTitle, "line 1 column 35 - Warning: inserting implicit <noframes>",
                         "line 1 column 42 - Warning: missing </noframes>"}));
        EXPECT_TRUE(r.links_ok);
    }
    {
        auto r = parse_html("<frameset></frameset><frameset>");
        EXPECT_EQ(r.tree, "html(head(title) frameset frameset)");
        EXPECT_EQ(r.messages, lines({kTitle, "line 1 column 22 - Error: repeated FRAMESET element",
                                     "line 1 column 32 - Warning: missing </frameset>"}));
    }
    {
        // Content after the frameset continues in its noframes, with a
        // warning once a noframes exists; a stray frame there is dropped.
        auto r = parse_html("<frameset></frameset><noframes>a</noframes><frame>b");
        EXPECT_EQ(r.tree, "html(head(title) frameset(noframes(body(\"a\") body(\"b\"))))");
        EXPECT_EQ(r.messages,
                  lines({kTitle, "line 1 column 44 - Warning: discarding unexpected <frame>",
                         "line 1 column 51 - Warning: plain text not inside 'noframes' element",
                         "line 1 column 52 - Warning: missing </noframes>"}));
    }
    {
        // A frame in the body is dropped after its warning; the rest of the
        // document is still read.
        auto r = parse_html("a<frame>b");
        EXPECT_EQ(r.tree, "html(head(title) body(\"a\" \"b\"))");
        EXPECT_EQ(
            r.messages,
            lines({kTitle, "line 1 column 3 - Warning: <frame> isn't allowed in <body> elements"}));
    }
}

TEST_F(BuildersTest, InlineElementsAreReopenedInsideFollowingBlocks) {
    {
        auto r = parse_html("<b>x<div>y</div>");
        EXPECT_EQ(body_of(r), "b(\"x\") div(b(\"y\"))");
        EXPECT_EQ(r.messages, lines({kTitle, "line 1 column 6 - Warning: missing </b> before <div>",
                                     "line 1 column 10 - Warning: inserting implicit <b>"}));
    }
    {
        auto r = parse_html("<b>one<p>two</p></b>");
        EXPECT_EQ(body_of(r), "b(\"one\") p(b(\"two\"))");
        EXPECT_EQ(r.messages, lines({kTitle, "line 1 column 8 - Warning: missing </b> before <p>",
                                     "line 1 column 10 - Warning: inserting implicit <b>",
                                     "line 1 column 17 - Warning: discarding unexpected </b>"}));
    }
    {
        // Each font has an entry of its own and comes back with its attributes.
        auto r = parse_html("<font size=1><font color=red>x<p>y");
        EXPECT_EQ(body_of(r), "font[size=\"1\"](font[color=\"red\"](\"x\")) "
                              "p(font[size=\"1\"](font[color=\"red\"](\"y\")))");
    }
    {
        // A stray </i> inside an anchor empties the stack: nothing re-opens.
        auto r = parse_html("<b>x<a href=y>z</i>w</a><p>v");
        EXPECT_EQ(body_of(r), "b(\"x\" a[href=\"y\"](\"z\" \"w\")) p(\"v\")");
    }
}

TEST_F(BuildersTest, SpaceBeforeABlockIsDropped) {
    // The space that ends the text in front of a block goes; a text that
    // was nothing but that space goes with it.
    {
        auto r = parse_html("x <div>y</div>");
        EXPECT_EQ(body_of(r), "\"x\" div(\"y\")");
    }
    {
        auto r = parse_html("<ul><li>Two <i>it</i> <ul><li>n</ul></ul>");
        EXPECT_EQ(body_of(r), "ul(li(\"Two \" i(\"it\") ul(li(\"n\"))))");
    }
    {
        // Spaces before inline elements stay, and so does the space that
        // ends a pre split by a block.
        auto r = parse_html("<p>a <b>b</b> c</p><pre>d <div>e</div></pre>");
        EXPECT_EQ(body_of(r), "p(\"a \" b(\"b\") \" c\") pre(\"d \") div(\"e\")");
    }
}

TEST_F(BuildersTest, ImpliedClassesAndStylesRuleOutVersionsBeforeHtml4) {
    // The class of an implied list and the style of an implied item are
    // HTML 4 attributes that the printed page will carry.
    const VersionBits before_html4 = VersionHTML20 | VersionHTML32;
    EXPECT_NE(parse_html("<ul><li>a</ul>").versions & before_html4, 0u);
    EXPECT_EQ(parse_html("<li>a").versions & before_html4, 0u);
    EXPECT_EQ(parse_html("<ul>text</ul>").versions & before_html4, 0u);
}

TEST_F(BuildersTest, StrayEndTags) {
    {
        // </p> without a paragraph gives two line breaks.
        auto r = parse_html("<div>a</p>b</div>");
        EXPECT_EQ(body_of(r), "div(\"a\" br br \"b\")");
        EXPECT_EQ(r.messages,
                  lines({kTitle, "line 1 column 7 - Warning: replacing element </p> by <br>",
                         "line 1 column 7 - Warning: inserting implicit <br>"}));
    }
    {
        auto r = parse_html("x</div>y");
        EXPECT_EQ(body_of(r), "\"x\" \"y\"");
        EXPECT_EQ(r.messages,
                  lines({kTitle, "line 1 column 2 - Warning: discarding unexpected </div>"}));
    }
    {
        // </br> is a line break wherever it stands.
        auto r = parse_html("<p>a</br>b");
        EXPECT_EQ(body_of(r), "p(\"a\" br \"b\")");
        EXPECT_EQ(r.messages, lines({kTitle}));
    }
    {
        // An inline end tag closes the inline element it meets.
        auto r = parse_html("<b>x</i>y");
        EXPECT_EQ(body_of(r), "b(\"x\") \"y\"");
        EXPECT_EQ(r.messages,
                  lines({kTitle, "line 1 column 5 - Warning: replacing unexpected </i> by </b>"}));
    }
    {
        auto r = parse_html("<a href=x>a</i>b</a>");
        EXPECT_EQ(body_of(r), "a[href=\"x\"](\"a\" \"b\")");
        EXPECT_EQ(r.messages,
                  lines({kTitle, "line 1 column 12 - Warning: discarding unexpected </i>"}));
    }
    {
        // Every report at the end of input names the same place, just
        // after the last character, however many elements it ends.
        auto r = parse_html("<div><span>x");
        EXPECT_EQ(body_of(r), "div(span(\"x\"))");
        EXPECT_EQ(r.messages, lines({kTitle, "line 1 column 13 - Warning: missing </span>",
                                     "line 1 column 13 - Warning: missing </div>"}));
    }
}

TEST_F(BuildersTest, RepeatedEmphasis) {
    {
        auto r = parse_html("<b>a<b>b");
        EXPECT_EQ(body_of(r), "b(\"a\") \"b\"");
        EXPECT_EQ(r.messages,
                  lines({kTitle, "line 1 column 6 - Warning: <b> is probably intended as </b>"}));
    }
    {
        auto r = parse_html("<b><b>a");
        EXPECT_EQ(body_of(r), "b(b(\"a\"))");
        EXPECT_EQ(r.messages, lines({kTitle, "line 1 column 4 - Warning: nested emphasis <b>",
                                     "line 1 column 8 - Warning: missing </b>",
                                     "line 1 column 8 - Warning: missing </b>"}));
    }
    {
        // With attributes the second tag nests instead.
        auto r = parse_html("<i>a<i class=x>b</i></i>");
        EXPECT_EQ(body_of(r), "i(\"a\" i[class=\"x\"](\"b\"))");
        EXPECT_EQ(r.messages, lines({kTitle, "line 1 column 6 - Warning: nested emphasis <i>"}));
    }
}

TEST_F(BuildersTest, HeadingsSplitAroundCenterAndHr) {
    {
        auto r = parse_html("<h1>a<h1>b");
        EXPECT_EQ(body_of(r), "h1(\"a\") \"b\"");
        EXPECT_EQ(r.messages,
                  lines({kTitle, "line 1 column 7 - Warning: replacing unexpected <h1> by </h1>"}));
    }
    {
        auto r = parse_html("<h1>a<h2>b</h2>");
        EXPECT_EQ(body_of(r), "h1(\"a\") h2(\"b\")");
        EXPECT_EQ(r.messages,
                  lines({kTitle, "line 1 column 7 - Warning: missing </h1> before <h2>"}));
    }
    {
        auto r = parse_html("<h1>a<center>b</center></h1>");
        EXPECT_EQ(body_of(r), "h1(\"a\") center(h1(\"b\"))");
        EXPECT_EQ(
            r.messages,
            lines({kTitle, "line 1 column 7 - Warning: <center> isn't allowed in <h1> elements",
                   "line 1 column 15 - Warning: discarding unexpected </center>"}));
        EXPECT_TRUE(r.links_ok);
    }
    {
        // Still empty: the center takes the heading's place and holds it.
        auto r = parse_html("<h2><div>b</h2>");
        EXPECT_EQ(body_of(r), "div(h2(\"b\"))");
        EXPECT_EQ(
            r.messages,
            lines({kTitle, "line 1 column 5 - Warning: <div> isn't allowed in <h2> elements"}));
    }
    {
        auto r = parse_html("<h1><hr>x</h1>");
        EXPECT_EQ(body_of(r), "hr h1(\"x\")");
        EXPECT_EQ(
            r.messages,
            lines({kTitle, "line 1 column 5 - Warning: <hr> isn't allowed in <h1> elements"}));
    }
    {
        auto r = parse_html("<h3>a<hr>b</h3>");
        EXPECT_EQ(body_of(r), "h3(\"a\") hr h3(\"b\")");
        EXPECT_TRUE(r.links_ok);
    }
}

TEST_F(BuildersTest, AnchorsWithoutAttributesOrBeforeHeadings) {
    {
        auto r = parse_html("<a>text</a>");
        EXPECT_EQ(body_of(r), "\"text\"");
        EXPECT_EQ(r.messages, lines({kTitle, "line 1 column 1 - Warning: discarding unexpected <a>",
                                     "line 1 column 8 - Warning: discarding unexpected </a>"}));
    }
    {
        // An anchor with attributes stays in front of the heading even when
        // empty: its name may be the target of links.
        auto r = parse_html("<a name=top><h2>x</h2>");
        EXPECT_EQ(body_of(r), "a[name=\"top\"] h2(\"x\")");
        EXPECT_EQ(r.messages,
                  lines({kTitle, "line 1 column 13 - Warning: missing </a> before <h2>"}));
    }
    {
        auto r = parse_html("<a name=top></a><h2>x</h2>");
        EXPECT_EQ(body_of(r), "a[name=\"top\"] h2(\"x\")");
        EXPECT_EQ(r.messages, lines({kTitle}));
    }
    {
        // With content the anchor ends before the heading and stays.
        auto r = parse_html("<a href=x>y<h2>z</h2>");
        EXPECT_EQ(body_of(r), "a[href=\"x\"](\"y\") h2(\"z\")");
    }
}

TEST_F(BuildersTest, FontAroundAnchorMovesInside) {
    auto r = parse_html("<font color=red><a href=x>y</a></font>");
    EXPECT_EQ(body_of(r), "a[href=\"x\"](font[color=\"red\"](\"y\"))");
    EXPECT_EQ(r.messages, lines({kTitle}));
    EXPECT_TRUE(r.links_ok);
}

TEST_F(BuildersTest, EmptyParagraphs) {
    {
        auto r = parse_html("<p></p>x");
        EXPECT_EQ(body_of(r), "\"x\"");
        EXPECT_EQ(r.messages, lines({kTitle, "line 1 column 4 - Warning: trimming empty <p>"}));
    }
    {
        options.drop_empty_paras = false;
        auto r = parse_html("<p></p>x");
        EXPECT_EQ(body_of(r), "br br \"x\"");
        EXPECT_EQ(r.messages,
                  lines({kTitle, "line 1 column 4 - Warning: replacing element <p> by <br>"}));
    }
}

TEST_F(BuildersTest, SpacesMoveOutOfInlineElements) {
    {
        // The trailing space of "b " is owed after </b>; the leading space
        // of " c" moves in front of the i element.
        auto r = parse_html("<p>a<b>b </b>x<i> c</i></p>");
        EXPECT_EQ(body_of(r), "p(\"a\" b(\"b\") \" x \" i(\"c\"))");
    }
    {
        auto r = parse_html("<p>a <b> b</b></p>");
        EXPECT_EQ(body_of(r), "p(\"a \" b(\"b\"))");
    }
}

TEST_F(BuildersTest, ListsGetTheirItems) {
    {
        auto r = parse_html("<ul><li>a<li>b</ul>");
        EXPECT_EQ(body_of(r), "ul(li(\"a\") li(\"b\"))");
        EXPECT_EQ(r.messages, lines({kTitle}));
    }
    {
        auto r = parse_html("<ul>x</ul>");
        EXPECT_EQ(body_of(r), "ul(li[style=\"list-style: none\"](\"x\"))");
        EXPECT_EQ(r.messages, lines({kTitle, "line 1 column 5 - Warning: missing <li>"}));
    }
    {
        auto r = parse_html("<div><li>x</div>");
        EXPECT_EQ(body_of(r), "div(ul[class=\"noindent\"](li(\"x\")))");
        EXPECT_EQ(r.messages,
                  lines({kTitle, "line 1 column 6 - Warning: missing </div> before <li>",
                         "line 1 column 6 - Warning: inserting implicit <ul>",
                         "line 1 column 11 - Warning: missing </ul> before </div>"}));
    }
    {
        auto r = parse_html("<dir><li>a</dir>");
        EXPECT_EQ(body_of(r), "ul(li(\"a\"))");
        EXPECT_EQ(r.messages,
                  lines({kTitle,
                         "line 1 column 11 - Warning: replacing obsolete element <dir> by <ul>"}));
    }
    {
        auto r = parse_html("<menu><li>a");
        EXPECT_EQ(body_of(r), "ul(li(\"a\"))");
        EXPECT_EQ(
            r.messages,
            lines({kTitle, "line 1 column 12 - Warning: replacing obsolete element <menu> by <ul>",
                   "line 1 column 12 - Warning: missing </ul>"}));
    }
    {
        // An li directly in the body gets a list around it.
        auto r = parse_html("<li>a</li>b");
        EXPECT_EQ(body_of(r),
                  "ul[class=\"noindent\"](li(\"a\") li[style=\"list-style: none\"](\"b\"))");
        EXPECT_EQ(r.messages,
                  lines({kTitle, "line 1 column 1 - Warning: <li> isn't allowed in <body> elements",
                         "line 1 column 1 - Warning: inserting implicit <ul>",
                         "line 1 column 11 - Warning: missing <li>",
                         "line 1 column 12 - Warning: missing </ul>"}));
    }
    {
        // A field in a list cannot go into any item: the list drops it.
        auto r = parse_html("<ul><option>x</ul>");
        EXPECT_EQ(body_of(r), "ul(li[style=\"list-style: none\"](\"x\"))");
        EXPECT_EQ(r.messages, lines({kTitle, "line 1 column 5 - Warning: missing <li>",
                                     "line 1 column 5 - Warning: trimming empty <li>",
                                     "line 1 column 5 - Warning: discarding unexpected <option>",
                                     "line 1 column 13 - Warning: missing <li>"}));
    }
}

TEST_F(BuildersTest, DefinitionLists) {
    {
        auto r = parse_html("<dl>a<dd>b</dl>");
        EXPECT_EQ(body_of(r), "dl(dt(\"a\") dd(\"b\"))");
        EXPECT_EQ(r.messages, lines({kTitle, "line 1 column 5 - Warning: missing <dt>"}));
    }
    {
        auto r = parse_html("<dl><b>x</b></dl>");
        EXPECT_EQ(body_of(r), "dl(dd(b(\"x\")))");
        EXPECT_EQ(r.messages, lines({kTitle, "line 1 column 5 - Warning: missing <dd>"}));
    }
    {
        auto r = parse_html("<dl><dt>a<center>b</center><dd>c</dl>");
        EXPECT_EQ(body_of(r), "dl(dt(\"a\")) center(\"b\") dl(dd(\"c\"))");
        EXPECT_EQ(r.messages, lines({kTitle}));
        EXPECT_TRUE(r.links_ok);
    }
    {
        // An empty list in front of a center goes away; an empty center is
        // trimmed without harm to the list that follows it.
        auto r = parse_html("<dl><center></center><dt>x</dl>");
        EXPECT_EQ(body_of(r), "dl(dt(\"x\"))");
        EXPECT_EQ(r.messages,
                  lines({kTitle, "line 1 column 13 - Warning: trimming empty <center>"}));
        EXPECT_TRUE(r.links_ok);
    }
    {
        auto r = parse_html("<dl><dt>a<hr>b</dl>");
        EXPECT_EQ(body_of(r), "dl(dt(\"a\") dd(hr) dt(\"b\"))");
        EXPECT_EQ(
            r.messages,
            lines({kTitle, "line 1 column 11 - Warning: <hr> isn't allowed in <dt> elements"}));
    }
    {
        // A <p> inside a dt is a line break.
        auto r = parse_html("<dl><dt>a<p>b</dl>");
        EXPECT_EQ(body_of(r), "dl(dt(\"a\" br \"b\"))");
    }
}

TEST_F(BuildersTest, PreformattedText) {
    {
        // Only the line feed right after <pre> is dropped, as browsers do:
        // the blank first line after it is content.
        auto r = parse_html("<pre>\n\nx  y\n</pre>");
        EXPECT_EQ(body_of(r), "pre(\"\nx  y\n\")");
        EXPECT_EQ(r.messages, lines({kTitle}));
    }
    {
        auto r = parse_html("<pre>a<p>b</pre>");
        EXPECT_EQ(body_of(r), "pre(\"a\" br \"b\")");
        EXPECT_EQ(r.messages,
                  lines({kTitle, "line 1 column 8 - Warning: using <br> in place of <p>",
                         "line 1 column 8 - Warning: replacing element <p> by <br>"}));
    }
    {
        auto r = parse_html("<pre>a<div>b</div>c</pre>");
        EXPECT_EQ(body_of(r), "pre(\"a\") div(\"b\") pre(\"c\")");
        EXPECT_EQ(r.messages,
                  lines({kTitle, "line 1 column 8 - Warning: missing </pre> before <div>"}));
        EXPECT_TRUE(r.links_ok);
    }
    {
        // xmp becomes pre, and its own end tag still closes it.
        auto r = parse_html("<xmp>a</xmp>b");
        EXPECT_EQ(body_of(r), "pre(\"a\") \"b\"");
        EXPECT_EQ(r.messages,
                  lines({kTitle,
                         "line 1 column 1 - Warning: replacing obsolete element <xmp> by <pre>"}));
    }
    {
        // Inline markup inside keeps the spaces, at its edges too: in
        // preformatted text they are shown.
        auto r = parse_html("<pre><b> a  b </b></pre>");
        EXPECT_EQ(body_of(r), "pre(b(\" a  b \"))");
    }
}

TEST_F(BuildersTest, BlockElementRules) {
    {
        // The inner start tag is dropped, as browsers do: its end tag ends
        // the form, and the outer one is then unexpected.
        auto r = parse_html("<form><form>x</form></form>");
        EXPECT_EQ(body_of(r), "form(\"x\")");
        EXPECT_EQ(r.messages,
                  lines({kTitle, "line 1 column 7 - Warning: <form> shouldn't be nested",
                         "line 1 column 21 - Warning: discarding unexpected </form>"}));
    }
    {
        auto r = parse_html("<p>a<ul><li>b</ul>");
        EXPECT_EQ(body_of(r), "p(\"a\") ul(li(\"b\"))");
        EXPECT_EQ(r.messages, lines({kTitle}));
    }
    {
        // param is kept in objects only.
        auto r = parse_html("x<object><param name=a></object><div><param name=b></div>");
        EXPECT_EQ(body_of(r), "\"x\" object(param[name=\"a\"])");
        EXPECT_EQ(r.messages,
                  lines({kTitle, "line 1 column 38 - Warning: discarding unexpected <param>",
                         "line 1 column 52 - Warning: trimming empty <div>"}));
    }
    {
        // object may stand in the head, and is read there.
        auto r = parse_html("<object><param name=a></object><p>x</p>");
        EXPECT_EQ(r.tree, "html(head(object(param[name=\"a\"]) title) body(p(\"x\")))");
        EXPECT_EQ(r.messages,
                  lines({"line 1 column 32 - Warning: inserting missing 'title' element"}));
    }
    {
        // Unknown elements are dropped with their end tags.
        auto r = parse_html("<div><foo>x</foo></div>");
        EXPECT_EQ(body_of(r), "div(\"x\")");
        EXPECT_EQ(r.messages, lines({kTitle, "line 1 column 6 - Error: <foo> is not recognized!",
                                     "line 1 column 6 - Warning: discarding unexpected <foo>",
                                     "line 1 column 12 - Warning: discarding unexpected </foo>"}));
    }
    {
        // Inline elements inside an object are not re-opened from outside.
        auto r = parse_html("<b>x<object><div>y</div></object>");
        EXPECT_EQ(body_of(r), "b(\"x\" object(div(\"y\")))");
    }
}

TEST_F(BuildersTest, EncloseOptionsWrapLooseText) {
    {
        options.enclose_text = true;
        auto r = parse_html("x<p>y");
        EXPECT_EQ(body_of(r), "p(\"x\") p(\"y\")");
        EXPECT_EQ(r.messages, lines({kTitle}));
    }
    {
        options.enclose_text = false;
        options.enclose_block_text = true;
        auto r = parse_html("<div>text</div><div><b>x</b> </div>");
        EXPECT_EQ(body_of(r), "div(p(\"text\")) div(b(\"x\"))");
        EXPECT_EQ(r.messages, lines({kTitle}));
    }
}

TEST_F(BuildersTest, ScriptsStylesAndCommentsKeepTheirPlaces) {
    {
        auto r = parse_html("<style>p{}</style><p>x");
        EXPECT_EQ(r.tree, "html(head(style[type=\"text/css\"](\"p{}\") title) body(p(\"x\")))");
        EXPECT_EQ(r.messages,
                  lines({"line 1 column 1 - Warning: <style> lacks \"type\" attribute",
                         "line 1 column 19 - Warning: inserting missing 'title' element"}));
    }
    {
        // Script content is read raw; inside JavaScript "</" becomes "<\/".
        auto r = parse_html("x<script>a</b>c</script>y");
        EXPECT_EQ(body_of(r), "\"x\" script[type=\"text/javascript\"](\"a<\\/b>c\") \"y\"");
    }
    {
        auto r = parse_html("<ul><!-- c --><li>a</ul><dl><!-- d --></dl>");
        EXPECT_EQ(body_of(r), "ul(<!-- c --> li(\"a\")) dl(<!-- d -->)");
    }
}

TEST_F(BuildersTest, VersionsNarrowForTextInBody) {
    test::LexerOver lx("x");
    Node* root = build_document(lx.lexer);
    EXPECT_EQ(printed_versions(lx.lexer, root) & (VersionHTML20 | VersionHTML40Strict), 0u);
    EXPECT_NE(printed_versions(lx.lexer, root) & VersionHTML40Loose, 0u);
    free_node(root);

    test::LexerOver in_p("<p>x</p>");
    root = build_document(in_p.lexer);
    EXPECT_NE(printed_versions(in_p.lexer, root) & VersionHTML40Strict, 0u);
    free_node(root);
}

} // namespace
} // namespace varnel

namespace varnel {
namespace {

// Depth of the deepest element below `node` (the node itself counts 0),
// walked without recursion.
size_t tree_depth(const Node* node) {
    size_t best = 0;
    std::vector<std::pair<const Node*, size_t>> pending{{node, 0}};
    while (!pending.empty()) {
        auto [n, d] = pending.back();
        pending.pop_back();
        best = std::max(best, d);
        for (const Node* c = n->first_child(); c != nullptr; c = c->next)
            pending.push_back({c, d + 1});
    }
    return best;
}

size_t count_lines(const std::string& text) {
    return std::count(text.begin(), text.end(), '\n');
}

class DeepNestingTest : public ::testing::Test {
  protected:
    void SetUp() override { test::fresh_globals(); }
    static std::string repeat(const std::string& piece, size_t times) {
        std::string out;
        out.reserve(piece.size() * times);
        for (size_t i = 0; i < times; ++i)
            out += piece;
        return out;
    }
};

TEST_F(DeepNestingTest, AMillionNestedElementsAreFlattenedAtTheBound) {
    test::LexerOver lx(repeat("<div>", 1000000));
    Node* root = build_document(lx.lexer);
    // root > html > body > div1 ... div510 are parsed (builders at depth 1 to
    // 512); div511 and every later div are empty children of div510.
    EXPECT_EQ(tree_depth(root), 2 + 511u);
    const Node* div = find_body(root)->first_child();
    size_t chain = 0;
    while (div->first_child() != nullptr) {
        div = div->first_child();
        ++chain;
    }
    EXPECT_EQ(chain, 510u);
    size_t siblings = 0;
    for (const Node* d = div; d != nullptr; d = d->next)
        ++siblings;
    EXPECT_EQ(siblings, 1000000u - 510u);
    EXPECT_TRUE(check_tree_links(root));
    EXPECT_EQ(lx.lexer->depth, 0u);
    // The title, then one missing end tag for each div that was parsed.
    EXPECT_EQ(count_lines(lx.messages()), 1u + 510u);
    free_node(root);
}

TEST_F(DeepNestingTest, DeepInlineListAndDefinitionNestingStaysBounded) {
    for (const char* piece : {"<b>", "<font>", "<ul>", "<dl>", "<span>x", "<blockquote><p>"}) {
        test::LexerOver lx(repeat(piece, 200000));
        Node* root = build_document(lx.lexer);
        EXPECT_LE(tree_depth(root), 2 + MaxParseDepth) << piece;
        EXPECT_TRUE(check_tree_links(root)) << piece;
        free_node(root);
    }
}

TEST_F(DeepNestingTest, BlocksInsideHeadingsDoNotDeepenTheTreeWithoutBound) {
    // center and div move the heading down one level each, without any
    // builder call; past the bound they end the heading instead.
    for (const char* piece : {"<center>b", "<div>", "<center>"}) {
        test::LexerOver lx("<h1>a" + repeat(piece, 5000));
        Node* root = build_document(lx.lexer);
        EXPECT_LE(tree_depth(root), 2 + MaxParseDepth + 2) << piece;
        EXPECT_TRUE(check_tree_links(root)) << piece;
        free_node(root);
    }
}

TEST_F(DeepNestingTest, TokensMeantForAnImpliedElementAtTheBoundAreNotLost) {
    // At the bound implied elements cannot be read into: the item goes into
    // the implied list and each text into its implied paragraph, unparsed,
    // and parsing goes on to the end of the document.
    options.enclose_block_text = true;
    test::LexerOver lx(repeat("<div>", 600) + "<li>x</li>text<dl>y" + repeat("</div>", 600) + "z");
    Node* root = build_document(lx.lexer);
    const Node* deepest = find_body(root)->first_child();
    while (deepest->first_child() != nullptr && deepest->first_child()->first_child() != nullptr)
        deepest = deepest->first_child();
    EXPECT_EQ(test::dump_children(lx, deepest),
              repeat("div ", 90) + "ul[class=\"noindent\"](li) p(\"x\") p(\"text\") dl p(\"y\")");
    EXPECT_EQ(test::dump_node(lx, find_body(root)->last_child()), "\"z\"");
    EXPECT_TRUE(check_tree_links(root));
    free_node(root);
}

} // namespace
} // namespace varnel

namespace varnel {
namespace {

using test::body_of;
using test::lines;
using test::parse_html;

class LoopGuardTest : public ::testing::Test {
  protected:
    void SetUp() override { test::fresh_globals(); }
};

TEST_F(LoopGuardTest, ItemEndingAtOnceLeavesTheTokenToTheListWhichDropsIt) {
    // The implied item ends on <option> before the b it meant to re-open is
    // handed out; the list drops both, and the next item re-opens the b.
    auto r = parse_html("<b>x<ul><option>y</ul>");
    EXPECT_EQ(body_of(r), "b(\"x\") ul(li[style=\"list-style: none\"](b(\"y\")))");
    EXPECT_EQ(r.messages, lines({"line 1 column 1 - Warning: inserting missing 'title' element",
                                 "line 1 column 6 - Warning: missing </b> before <ul>",
                                 "line 1 column 9 - Warning: missing <li>",
                                 "line 1 column 9 - Warning: trimming empty <li>",
                                 "line 1 column 9 - Warning: discarding unexpected <option>",
                                 "line 1 column 17 - Warning: missing <li>",
                                 "line 1 column 18 - Warning: inserting implicit <b>"}));
    EXPECT_TRUE(r.links_ok);
}

TEST_F(LoopGuardTest, NoframesInsideBodyContentHoldsItDirectly) {
    // A noframes inside a dd holds body content itself, with no implied
    // body (which would nest one body in another); the </dd> then ends it
    // as the end tag of an ancestor.
    auto r = parse_html("<dl class=c><noframes id=i></dd>");
    EXPECT_EQ(body_of(r), "dl[class=\"c\"](dd(noframes[id=\"i\"]))");
    EXPECT_EQ(r.messages, lines({"line 1 column 1 - Warning: inserting missing 'title' element",
                                 "line 1 column 13 - Warning: missing <dd>",
                                 "line 1 column 28 - Warning: missing </noframes> before </dd>",
                                 "line 1 column 33 - Warning: missing </dl>"}));

    // Frameset tags do not split a pre: they are dropped, and noframes
    // splits it as any block does.
    auto p = parse_html("<pre>a<frameset><frame><noframes>b</noframes></pre>");
    EXPECT_EQ(body_of(p), "pre(\"a\") noframes(\"b\")");
    EXPECT_EQ(p.messages, lines({"line 1 column 1 - Warning: inserting missing 'title' element",
                                 "line 1 column 8 - Warning: discarding unexpected <frameset>",
                                 "line 1 column 17 - Warning: discarding unexpected <frame>",
                                 "line 1 column 24 - Warning: missing </pre> before <noframes>",
                                 "line 1 column 46 - Warning: trimming empty <pre>"}));
}

// Every sequence of tags, texts and markup gives a tree whose links hold,
// with the parse depth back at zero and nothing left over (the sanitizer
// build checks for leaks and stray accesses on the same inputs).
TEST_F(LoopGuardTest, RandomTagSoupGivesSoundTrees) {
    const char* names[] = {
        "html",      "head",     "title",      "base",     "link",    "meta",     "style",
        "script",    "body",     "frameset",   "p",        "h1",      "h2",       "ul",
        "ol",        "dl",       "dir",        "menu",     "pre",     "listing",  "xmp",
        "plaintext", "address",  "blockquote", "form",     "isindex", "fieldset", "table",
        "hr",        "div",      "layer",      "ilayer",   "nolayer", "center",   "ins",
        "del",       "li",       "dt",         "dd",       "q",       "a",        "br",
        "img",       "object",   "applet",     "param",    "embed",   "noembed",  "iframe",
        "frame",     "noframes", "noscript",   "b",        "i",       "u",        "tt",
        "big",       "small",    "em",         "span",     "nobr",    "wbr",      "marquee",
        "spacer",    "map",      "area",       "input",    "select",  "option",   "optgroup",
        "textarea",  "label",    "button",     "basefont", "font",    "foo"};
    const char* texts[] = {"x",      " y ",          "  ",         "\n",
                           "a b",    "&amp;",        "<!-- c -->", "<!DOCTYPE html>",
                           "<?pi?>", "<![CDATA[z]]>"};
    const char* attrs[] = {"", " href=x", " name=n", " id=i", " class=c", " color=red"};
    std::mt19937 rng(20261208);
    for (int doc = 0; doc < 300; ++doc) {
        options = Config{};
        options.enclose_text = rng() % 4 == 0;
        options.enclose_block_text = rng() % 4 == 0;
        options.drop_empty_paras = rng() % 2 == 0;
        std::string source;
        for (int n = static_cast<int>(rng() % 300); n > 0; --n) {
            const char* name = names[rng() % std::size(names)];
            switch (rng() % 10) {
            case 0:
            case 1:
            case 2:
            case 3:
                source += std::string("<") + name + attrs[rng() % std::size(attrs)] + ">";
                break;
            case 4:
            case 5:
            case 6:
                source += std::string("</") + name + ">";
                break;
            case 7:
                source += std::string("<") + name + "/>";
                break;
            default:
                source += texts[rng() % std::size(texts)];
            }
        }
        test::LexerOver lx(source);
        Node* root = build_document(lx.lexer);
        EXPECT_TRUE(check_tree_links(root)) << source;
        EXPECT_EQ(lx.lexer->depth, 0u) << source;
        free_node(root);
    }
}

} // namespace
} // namespace varnel
