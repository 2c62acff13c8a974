// The HTML and XML printers: line ends, blank lines, indentation, wrap
// points after tags and inside attributes, element rules and node kinds.
#include <gtest/gtest.h>

#include <string>

#include "output/printer.h"
#include "output_test_support.h"
#include "test_support.h"

namespace varnel::test {
namespace {

// Dictionary entries made locally, so that the attribute tests do not
// depend on the contents of the attribute table.
const AttrDef plain_def{"title", VersionAll, nullptr, false};
const AttrDef nowrap_def{"alt", VersionAll, nullptr, true};
const AttrDef script_def{"onclick", VersionHTML40, check_script_value, false};
const AttrDef bool_def{"checked", VersionAll, check_bool_value, false};

using PrinterTest = OutputTest;

TEST_F(PrinterTest, BlocksGetOwnLinesAndBlankLinesBetweenThem) {
    Node* html = element(root, "html");
    Node* head = element(html, "head");
    text(element(head, "title"), "t");
    Node* body = element(html, "body");
    text(element(body, "p"), "one");
    text(element(body, "p"), "two");
    EXPECT_EQ(print(), "<html>\n"
                       "<head>\n"
                       "<title>t</title>\n"
                       "</head>\n"
                       "<body>\n"
                       "<p>one</p>\n"
                       "\n"
                       "<p>two</p>\n"
                       "</body>\n"
                       "</html>\n"
                       "\n");
}

TEST_F(PrinterTest, TextBeforeABlockEndsItsLineAndLeavesABlankLine) {
    Node* body = element(root, "body");
    text(body, "a");
    text(element(body, "p"), "b");
    EXPECT_EQ(print(), "<body>\na\n\n<p>b</p>\n</body>\n\n");
}

TEST_F(PrinterTest, TextIsEscaped) {
    text(element(root, "p"), "a < b & c > d");
    EXPECT_EQ(print(), "<p>a &lt; b &amp; c &gt; d</p>\n\n");
}

TEST_F(PrinterTest, LineMayBreakAfterTheSpaceBeforeAnInlineElement) {
    options.wrap = 12;
    Node* p = element(root, "p");
    text(p, "aaaa ");
    text(element(p, "b"), "bold");
    // "<p>aaaa <b>bo" no longer fits: the break falls at the space.
    EXPECT_EQ(print(), "<p>aaaa\n<b>bold</b></p>\n\n");
}

TEST_F(PrinterTest, NoBreakBeforeAnInlineElementThatFollowsText) {
    options.wrap = 12;
    Node* p = element(root, "p");
    text(p, "aaaa");
    text(element(p, "b"), "bold");
    // The only wrap point is the one after "<p>"; none before "<b>" and
    // none before "</b>".
    EXPECT_EQ(print(), "<p>\naaaa<b>bold</b></p>\n\n");
}

TEST_F(PrinterTest, LongWordsAreNeverBroken) {
    options.wrap = 10;
    text(element(root, "div"), "abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(print(), "<div>\nabcdefghijklmnopqrstuvwxyz</div>\n\n");
}

TEST_F(PrinterTest, WrapZeroMeansNoWrapping) {
    options.wrap = 0;
    std::string words;
    for (int i = 0; i < 40; ++i)
        words += "word ";
    words.pop_back();
    text(element(root, "p"), words);
    EXPECT_EQ(print(), "<p>" + words + "</p>\n\n");
}

TEST_F(PrinterTest, BreakEndsTheLine) {
    Node* p = element(root, "p");
    text(p, "a");
    element(p, "br");
    text(p, "b");
    EXPECT_EQ(print(), "<p>a<br>\nb</p>\n\n");
}

TEST_F(PrinterTest, TextAfterABreakDoesNotStartItsLineWithASpace) {
    Node* p = element(root, "p");
    text(p, "a");
    element(p, "br");
    text(p, " b");
    EXPECT_EQ(print(), "<p>a<br>\nb</p>\n\n");
}

TEST_F(PrinterTest, BreakBeforeBreakStartsANewLineOnceForARun) {
    options.break_before_br = true;
    Node* p = element(root, "p");
    text(p, "a");
    element(p, "br");
    element(p, "br");
    text(p, "b");
    EXPECT_EQ(print(), "<p>a\n<br>\n<br>\nb</p>\n\n");
}

TEST_F(PrinterTest, IndentPutsContentOneStepDeeper) {
    options.indent_content = true;
    text(element(element(root, "ul"), "li"), "a");
    EXPECT_EQ(print(), "<ul>\n  <li>\n    a\n  </li>\n</ul>\n\n");
}

TEST_F(PrinterTest, TextAreaValueIsWrittenAsItStands) {
    // Never wrapped, and its lines get no indentation: a line break or
    // spaces added there would change the field's value.
    options.wrap = 5;
    options.indent_content = true;
    text(element(element(root, "div"), "textarea"), "a\n b c");
    EXPECT_EQ(print(), "<div>\n<textarea>a\n b c</textarea>\n</div>\n\n");
}

TEST_F(PrinterTest, SmartIndentKeepsParagraphTextOnTheTagLine) {
    options.indent_content = true;
    options.smart_indent = true;
    options.indent_spaces = 3;
    Node* div = element(root, "div");
    text(element(div, "p"), "x");
    text(element(div, "p"), "y");
    text(element(element(div, "ul"), "li"), "z");
    // Siblings are separated by a blank line; li holds no block, so its
    // content stays on its line.
    EXPECT_EQ(print(), "<div>\n"
                       "   <p>x</p>\n"
                       "\n"
                       "   <p>y</p>\n"
                       "\n"
                       "   <ul>\n"
                       "      <li>z</li>\n"
                       "   </ul>\n"
                       "</div>\n"
                       "\n");
}

TEST_F(PrinterTest, IndentsContentFollowsModelAndSmartRules) {
    options.indent_content = true;
    Node* h1 = element(root, "h1");
    Node* select = element(root, "select");
    Node* map = element(root, "map");
    Node* b = element(root, "b");
    Node* td = element(root, "td");
    Node* td_text = element(root, "td");
    text(td_text, "x");
    element(td, "div");
    EXPECT_TRUE(indents_content(&stream(), h1));
    EXPECT_TRUE(indents_content(&stream(), select)); // a field, although inline
    EXPECT_TRUE(indents_content(&stream(), map));
    EXPECT_FALSE(indents_content(&stream(), b));
    EXPECT_TRUE(indents_content(&stream(), td_text));

    options.smart_indent = true;
    EXPECT_FALSE(indents_content(&stream(), h1));
    EXPECT_TRUE(indents_content(&stream(), td));       // holds a block
    EXPECT_FALSE(indents_content(&stream(), td_text)); // holds only text
    EXPECT_FALSE(indents_content(&stream(), element(root, "p")));
    EXPECT_FALSE(indents_content(&stream(), element(root, "title")));

    options.indent_content = false;
    options.smart_indent = false;
    EXPECT_FALSE(indents_content(&stream(), td));
}

TEST_F(PrinterTest, FollowsWhiteSpaceLooksAtTheTextBeforeInlineElements) {
    Node* p = element(root, "p");
    Node* first = element(p, "b");
    EXPECT_TRUE(follows_white_space(&lexer, first)); // p is not inline
    text(p, "x ");
    Node* after_space = element(p, "i");
    text(p, "x\n");
    Node* after_newline = element(p, "i");
    text(p, "x\xC2\xA0");
    Node* after_nbsp = element(p, "i");
    text(p, "x");
    Node* after_letter = element(p, "i");
    // U+00E0 is stored as C3 A0: its last byte is no white space.
    text(p, "\xC3\xA0");
    Node* after_a_grave = element(p, "i");
    Node* span = element(p, "span");
    Node* nested = element(span, "b");
    element(p, "i"); // follows an element, not text
    EXPECT_TRUE(follows_white_space(&lexer, after_space));
    EXPECT_TRUE(follows_white_space(&lexer, after_newline));
    EXPECT_TRUE(follows_white_space(&lexer, after_nbsp));
    EXPECT_FALSE(follows_white_space(&lexer, after_letter));
    EXPECT_FALSE(follows_white_space(&lexer, after_a_grave));
    // The first child of an inline element asks about its parent.
    EXPECT_FALSE(follows_white_space(&lexer, nested));
    EXPECT_FALSE(follows_white_space(&lexer, p->last_child()));
}

TEST_F(PrinterTest, PreIsWrittenFromColumnZeroAndNeverWrapped) {
    options.indent_content = true;
    options.wrap = 10;
    Node* div = element(root, "div");
    text(element(div, "pre"), "a  b\xC2\xA0"
                              "c dddd eeee\nf");
    EXPECT_EQ(print(), "<div>\n<pre>\na  b&nbsp;c dddd eeee\nf\n</pre>\n</div>\n\n");
}

TEST_F(PrinterTest, PreFollowedByASiblingGetsABlankLineWithoutIndent) {
    Node* body = element(root, "body");
    text(element(body, "pre"), "x");
    text(element(body, "p"), "y");
    EXPECT_EQ(print(), "<body>\n<pre>\nx\n</pre>\n\n<p>y</p>\n</body>\n\n");
}

TEST_F(PrinterTest, ScriptContentIsNotEscaped) {
    text(element(root, "script"), "if (a < b && c) x = '\xC2\xA0';");
    EXPECT_EQ(print(), "<script>\nif (a < b && c) x = ' ';\n</script>\n\n");
    options.char_encoding = CharEncoding::Raw;
    EXPECT_EQ(print(), "<script>\nif (a < b && c) x = '\xA0';\n</script>\n\n");
}

TEST_F(PrinterTest, CommentsKeepTheLineBreakThatFollowedThem) {
    Node* p = element(root, "p");
    text(p, "a");
    Node* comment = span(p, CommentNode, " x <y> --");
    text(p, "b");
    EXPECT_EQ(print(), "<p>a<!-- x <y> -->b</p>\n\n");
    comment->newline_after = true;
    EXPECT_EQ(print(), "<p>a<!-- x <y> -->\nb</p>\n\n");
}

TEST_F(PrinterTest, HiddenEndTagsAndOptionalStartTags) {
    options.hide_endtags = true;
    Node* html = element(root, "html");
    Node* body = element(html, "body");
    text(element(body, "p"), "a");
    text(element(element(body, "ul"), "li"), "b");
    // html and body lose both tags, p and li their end tags; every element
    // still ends its line, so body and html leave empty lines.
    EXPECT_EQ(print(), "<p>a\n<ul>\n<li>b\n</ul>\n\n\n\n");
}

TEST_F(PrinterTest, UppercaseTagsAndAttributes) {
    options.uppercase_tags = true;
    Node* p = element(root, "p");
    attribute(p, "class", "x");
    text(p, "a");
    EXPECT_EQ(print(), "<P class=\"x\">a</P>\n\n");
    options.uppercase_attributes = true;
    EXPECT_EQ(print(), "<P CLASS=\"x\">a</P>\n\n");
}

TEST_F(PrinterTest, AttributesPrintInSourceOrderWithTheirQuotes) {
    Node* img = element(root, "img");
    attribute(img, "src", "a.png");
    attribute(img, "alt", "it's", '\'');
    attribute(img, "title", "say \"hi\"");
    // An inline element at the top: only the final flush ends its line.
    EXPECT_EQ(print(), "<img src=\"a.png\" alt='it&#39;s' title=\"say &quot;hi&quot;\">\n");
}

TEST_F(PrinterTest, OtherQuotesInValuesFollowQuoteMarks) {
    Node* p = element(root, "p");
    attribute(p, "title", "a'b", '"');
    attribute(p, "lang", "c\"d", '\'');
    EXPECT_EQ(print(), "<p title=\"a'b\" lang='c\"d'></p>\n\n");
    options.quote_marks = true;
    EXPECT_EQ(print(), "<p title=\"a&#39;b\" lang='c&quot;d'></p>\n\n");
}

TEST_F(PrinterTest, ValuesAreEscapedLikeTextUnlessTheyHoldServerCode) {
    Node* a = element(root, "a");
    attribute(a, "href", "?a=1&b=<2>");
    attribute(a, "title", "<%= x & y %>");
    EXPECT_EQ(print(), "<a href=\"?a=1&amp;b=&lt;2&gt;\" title=\"<%= x & y %>\"></a>\n");
}

TEST_F(PrinterTest, AttributesWithoutValues) {
    Node* input = element(root, "input");
    attribute(input, "checked", std::nullopt, '"', &bool_def);
    attribute(input, "name", std::nullopt);
    EXPECT_EQ(print(), "<input checked name=\"\">\n");

    // Elements of unknown or user-defined tags keep bare attributes.
    options.output_xml = false;
    Node* unknown = element(root, "x-unknown");
    attribute(unknown, "flag", std::nullopt);
    EXPECT_EQ(print(unknown), "<x-unknown flag></x-unknown>\n\n");

    // XML output spells the name as the value.
    options.output_xml = true;
    EXPECT_EQ(print(input), "<input checked=\"checked\" name=\"name\" />\n");
}

TEST_F(PrinterTest, EmptyElementsCloseThemselvesInXmlAndXhtml) {
    Node* p = element(root, "p");
    text(p, "a");
    element(p, "br");
    text(p, "b");
    Node* img = element(p, "img");
    attribute(img, "src", "x");
    options.output_xml = true;
    EXPECT_EQ(print(), "<p>a<br />\nb<img src=\"x\" /></p>\n\n");
    options.output_xml = false;
    lexer.is_xhtml = true;
    EXPECT_EQ(print(), "<p>a<br />\nb<img src=\"x\" /></p>\n\n");
}

TEST_F(PrinterTest, AddXmlSpaceMarksPreservingElementsOnce) {
    options.output_xml = true;
    options.add_xml_space = true;
    // Each element alone in its div, so that no sibling adds a blank line.
    Node* pre = element(element(root, "div"), "pre");
    attribute(pre, "class", "c");
    text(pre, "x");
    Node* marked = element(element(root, "div"), "pre");
    attribute(marked, "xml:space", "preserve");
    Node* p = element(element(root, "div"), "p");
    attribute(p, "class", "c");
    // In XML output no line end is added inside a pre.
    EXPECT_EQ(print(pre), "<pre class=\"c\" xml:space=\"preserve\">x</pre>\n\n");
    EXPECT_EQ(print(marked), "<pre xml:space=\"preserve\"></pre>\n\n");
    EXPECT_EQ(print(p), "<p class=\"c\"></p>\n\n");
}

TEST_F(PrinterTest, LongLinesBreakAfterTheEqualsSign) {
    options.wrap = 16;
    Node* p = element(root, "p");
    attribute(p, "title", "aaa bbb ccc", '"', &plain_def);
    // The value may not be wrapped: the line breaks after "=", then after
    // the start tag.
    EXPECT_EQ(print(), "<p title=\n\"aaa bbb ccc\">\n</p>\n\n");
}

TEST_F(PrinterTest, WrapAttributesBreaksInsideValuesAtSpaces) {
    options.wrap = 16;
    options.wrap_attributes = true;
    Node* p = element(root, "p");
    attribute(p, "title", "aaa bbb ccc", '"', &plain_def);
    EXPECT_EQ(print(), "<p title=\"aaa \nbbb ccc\"></p>\n\n");
    // alt, value and content are never wrapped.
    p->attributes()->set_attr_def(&nowrap_def);
    EXPECT_EQ(print(), "<p title=\n\"aaa bbb ccc\">\n</p>\n\n");
}

TEST_F(PrinterTest, WrappedValuesBreakInsideLongRunsBeforeTheCharacterThatFindsTheLineFull) {
    options.wrap = 16;
    options.wrap_attributes = true;
    // The line fills inside the word: it breaks at the point after "=",
    // before the value.
    Node* p = element(root, "p");
    attribute(p, "title", "abcdefghijklmn", '"', &plain_def);
    EXPECT_EQ(print(), "<p title=\n\"abcdefghijklmn\">\n</p>\n\n");
    // A space found past the column makes no break point: the line stays
    // long.
    p->attributes()->value = "abcdefghijklmnopqrst uv wx";
    EXPECT_EQ(print(), "<p title=\n\"abcdefghijklmnopqrst uv wx\">\n</p>\n\n");
    // A space inside the value that still fits is where the value breaks,
    // with the space kept at the end of the line.
    p->attributes()->value = "ab cdefghij";
    EXPECT_EQ(print(), "<p title=\"ab \ncdefghij\"></p>\n\n");
}

TEST_F(PrinterTest, WrapScriptLiteralsContinuesStringsWithABackslash) {
    options.wrap = 30;
    options.wrap_script_literals = true;
    Node* p = element(root, "p");
    attribute(p, "onclick", "alert('aaa bbb ccc')", '"', &script_def);
    EXPECT_EQ(print(), "<p onclick=\"alert('aaa bbb \\\nccc')\"></p>\n\n");
    // wrap-attributes alone does not wrap event handlers.
    options.wrap_script_literals = false;
    options.wrap_attributes = true;
    options.wrap = 40;
    EXPECT_EQ(print(), "<p onclick=\"alert('aaa bbb ccc')\"></p>\n\n");
}

// The reader stores a backslash continuation inside an attribute value as a
// bare line feed; written back bare, the script string would end at the line
// and no longer parse. Only a line feed inside a quoted string of a script
// attribute gets the backslash again; other line feeds stay plain.
TEST_F(PrinterTest, LineFeedsInsideScriptStringsKeepTheirContinuation) {
    Node* p = element(root, "p");
    attribute(p, "onclick", "alert('aaa \nbbb'); x();\ny()", '"', &script_def);
    EXPECT_EQ(print(), "<p onclick=\"alert('aaa \\\nbbb'); x();\ny()\"></p>\n\n");
    // The apostrophe-delimited form tracks double-quoted strings instead.
    Node* q = element(root, "p");
    attribute(q, "onclick", "alert(\"aaa \nbbb\")", '\'', &script_def);
    EXPECT_EQ(print(q), "<p onclick='alert(\"aaa \\\nbbb\")'></p>\n\n");
    // A title with a quoted phrase across lines is not script: no backslash.
    Node* t = element(root, "p");
    attribute(t, "title", "say 'aaa\nbbb'", '"', &plain_def);
    EXPECT_EQ(print(t), "<p title=\"say 'aaa\nbbb'\"></p>\n\n");
}
TEST_F(PrinterTest, TheAttributeDictionaryDecidesWrappingAndBareNames) {
    Node* input = element(root, "input");
    add_attribute(input, "checked", nullptr);
    add_attribute(input, "value", nullptr);
    // Appended attributes print last appended first.
    EXPECT_EQ(print(input), "<input value=\"\" checked>\n");

    options.wrap = 30;
    options.wrap_script_literals = true;
    Node* p = element(element(root, "div"), "p");
    add_attribute(p, "onclick", "alert('aaa bbb ccc')");
    EXPECT_EQ(print(p), "<p onclick=\"alert('aaa bbb \\\nccc')\"></p>\n\n");

    options.wrap = 16;
    options.wrap_attributes = true;
    Node* titled = element(element(root, "div"), "p");
    add_attribute(titled, "title", "aaa bbb ccc");
    EXPECT_EQ(print(titled), "<p title=\"aaa \nbbb ccc\"></p>\n\n");
    Node* content = element(element(root, "div"), "p");
    add_attribute(content, "content", "aaa bbb ccc");
    EXPECT_EQ(print(content), "<p content=\n\"aaa bbb ccc\">\n</p>\n\n");
}

TEST_F(PrinterTest, TagsFromTheLexerPrintInSourceOrder) {
    LexerOver lx("<a href='x' title=\"y z\" checked id=q>");
    Node* a = get_token(lx.lexer, CollapseSpace);
    ASSERT_NE(a, nullptr);
    insert_node_at_end(root, a);
    MemorySink sink;
    print_tree(&sink.out, PrintNormal, 0, lx.lexer, root);
    flush_line(&sink.out, 0);
    // The delimiters are kept; an unquoted value gets double quotes.
    EXPECT_EQ(sink.bytes(), "<a href='x' title=\"y z\" checked id=\"q\"></a>\n");
}

TEST_F(PrinterTest, ATagTooLongForTheLineIsFlushedWhole) {
    options.wrap = 10;
    Node* img = element(element(root, "div"), "img");
    attribute(img, "src", "aaaaaaaaaaaa");
    EXPECT_EQ(print(), "<div><img\nsrc=\n\"aaaaaaaaaaaa\">\n</div>\n\n");
}

TEST_F(PrinterTest, IndentAttributesPutsEachAttributeOnItsOwnLine) {
    options.indent_attributes = true;
    Node* p = element(root, "p");
    attribute(p, "id", "a");
    attribute(p, "class", "b");
    text(p, "t");
    EXPECT_EQ(print(), "<p\n id=\"a\"\n class=\"b\">t</p>\n\n");
}

TEST_F(PrinterTest, CleanDropsFontAndNobrAndTurnsWbrIntoASpace) {
    Node* p = element(root, "p");
    text(element(p, "font"), "a b");
    text(element(p, "nobr"), "c d");
    text(p, "e");
    element(p, "wbr");
    text(p, "f");
    EXPECT_EQ(print(), "<p><font>a b</font><nobr>c d</nobr>e<wbr>f</p>\n\n");
    options.clean = true;
    EXPECT_EQ(print(), "<p>a bc&nbsp;de f</p>\n\n");
}

TEST_F(PrinterTest, DoctypeKeepsItsQuotesWhateverQuoteMarksSays) {
    options.quote_marks = true;
    span(root, DoctypeNode, "html PUBLIC \"-//W3C//DTD HTML 4.01//EN\"");
    text(element(root, "p"), "\"q\"");
    EXPECT_EQ(print(), "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01//EN\">\n"
                       "<p>&quot;q&quot;</p>\n\n");
    EXPECT_TRUE(options.quote_marks);
}

TEST_F(PrinterTest, DoctypeBreaksBetweenItsPartsButNeverInsideAQuotedIdentifier) {
    options.wrap = 30;
    span(root, DoctypeNode,
         "html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" "
         "\"http://www.w3.org/TR/html4/loose.dtd\"");
    EXPECT_EQ(print(), "<!DOCTYPE html PUBLIC\n"
                       "\"-//W3C//DTD HTML 4.01 Transitional//EN\"\n"
                       "\"http://www.w3.org/TR/html4/loose.dtd\">\n\n");
}

TEST_F(PrinterTest, DoctypeInternalSubsetIsWrittenAsItStands) {
    span(root, DoctypeNode, "n [\n<!ENTITY w \"a & b\">\n]");
    EXPECT_EQ(print(), "<!DOCTYPE n [\n<!ENTITY w \"a & b\">\n]>\n\n");
}

TEST_F(PrinterTest, ProcessingInstructionsEndWithOneQuestionMark) {
    span(root, ProcInsNode, "xml version=\"1.0\"");
    span(root, ProcInsNode, "php echo 1 ?");
    EXPECT_EQ(print(), "<?xml version=\"1.0\"?>\n<?php echo 1 ?>\n\n");
}

TEST_F(PrinterTest, CDataIsNeverWrappedOrEscaped) {
    options.wrap = 10;
    Node* div = element(root, "div");
    span(div, CDataNode, "a < b && c > d");
    EXPECT_EQ(print(), "<div>\n<![CDATA[a < b && c > d]]>\n</div>\n\n");
    EXPECT_EQ(stream().wrap_column, 10);
}

TEST_F(PrinterTest, ServerBlocksWrapOnlyWhenTheirOptionAllows) {
    options.wrap = 10;
    span(root, AspNode, " aaaa bbbb cccc ");
    EXPECT_EQ(print(), "<% aaaa\nbbbb cccc\n%>\n");
    options.wrap_asp = false;
    EXPECT_EQ(print(), "<% aaaa bbbb cccc %>\n");
    // JSTE blocks follow wrap-asp for their wrapping: none inside the
    // block, so only the final flush breaks the line, at its last space.
    Node* jste = span(root, JsteNode, " aaaa bbbb cccc ");
    EXPECT_EQ(print(jste), "<# aaaa bbbb cccc\n#>\n");
    options.wrap_asp = true;
    EXPECT_EQ(print(jste), "<# aaaa\nbbbb cccc\n#>\n");
}

TEST_F(PrinterTest, SectionsAndPhpInsideText) {
    Node* p = element(root, "p");
    text(p, "a ");
    span(p, SectionNode, "if IE]><b>x</b><![endif");
    span(p, PhpNode, "php echo $x; ");
    EXPECT_EQ(print(), "<p>a <![if IE]><b>x</b><![endif]><?php echo $x; ?></p>\n\n");
}

TEST_F(PrinterTest, ServerBlocksInsideTags) {
    Node* p = element(root, "p");
    Node* asp = new_node();
    asp->set_kind(AspNode);
    auto [start, end] = store(" if x ");
    asp->start = start;
    asp->set_end(end);
    NodeAttribute* block = new_block_attribute(asp);
    block->set_name("");
    attribute(p, "id", "a");
    block->next = p->attributes();
    p->set_attributes(block);
    EXPECT_EQ(print(), "<p id=\"a\" <% if x %>></p>\n\n");
    p->set_attributes(block->next);
    free_attribute(block);
    free_node(asp);
}

TEST_F(PrinterTest, XmlElementsWithTextStartAtColumnZero) {
    options.input_xml = true;
    options.output_xml = true;
    Node* doc = element(root, "doc");
    text(element(doc, "item"), "text");
    Node* group = element(doc, "group");
    text(element(group, "Sub"), "t");
    Node* empty = element(group, "e", StartEndTagNode);
    attribute(empty, "flag", std::nullopt);
    EXPECT_EQ(print_xml(), "<doc>\n"
                           "<item>text</item>\n"
                           "\n"
                           "  <group>\n"
                           "<Sub>t</Sub>\n"
                           "\n"
                           "    <e flag=\"flag\" />\n"
                           "  </group>\n"
                           "</doc>\n"
                           "\n");
}

TEST_F(PrinterTest, XmlCommentsStandAtColumnZero) {
    options.input_xml = true;
    options.output_xml = true;
    Node* doc = element(root, "doc");
    Node* group = element(doc, "group");
    span(group, CommentNode, " c --");
    element(group, "e", StartEndTagNode);
    EXPECT_EQ(print_xml(), "<doc>\n  <group>\n<!-- c -->\n    <e />\n  </group>\n</doc>\n\n");
}

TEST_F(PrinterTest, XmlSpacePreserveControlsTheIndentation) {
    options.input_xml = true;
    options.output_xml = true;
    Node* doc = element(root, "doc");
    Node* kept = element(doc, "block");
    attribute(kept, "xml:space", "preserve");
    element(kept, "e", StartEndTagNode);
    Node* xsl = element(doc, "XSL:TEXT");
    EXPECT_TRUE(preserves_white_space(kept));
    EXPECT_TRUE(preserves_white_space(xsl));
    EXPECT_FALSE(preserves_white_space(doc));
    // Preserved content runs from the start tag to the end tag as it
    // stands: no line end is added inside it.
    EXPECT_EQ(print_xml(), "<doc>\n"
                           "<block xml:space=\"preserve\"><e /></block>\n"
                           "\n"
                           "<XSL:TEXT></XSL:TEXT>\n"
                           "</doc>\n"
                           "\n");
}

TEST_F(PrinterTest, PreservesWhiteSpaceByNameParserAndAttribute) {
    Node* pre = element(root, "pre");
    Node* listing = element(root, "listing");
    Node* script = element(root, "script");
    Node* p = element(root, "p");
    EXPECT_TRUE(preserves_white_space(pre));
    EXPECT_TRUE(preserves_white_space(listing));
    EXPECT_TRUE(preserves_white_space(script));
    EXPECT_FALSE(preserves_white_space(p));
    attribute(pre, "xml:space", "default");
    attribute(p, "xml:space", "preserve");
    EXPECT_FALSE(preserves_white_space(pre));
    EXPECT_TRUE(preserves_white_space(p));
}

TEST_F(PrinterTest, AHugeAttributeListPrintsInOrderWithoutDeepCalls) {
    options.wrap = 0;
    Node* p = element(root, "p");
    std::string expected = "<p";
    for (int i = 0; i < 30000; ++i) {
        std::string name = "a" + std::to_string(i);
        attribute(p, name.c_str(), std::nullopt);
        expected += " " + name + "=\"\"";
    }
    expected += "></p>\n\n";
    EXPECT_EQ(print(), expected);
}

TEST_F(PrinterTest, DeepNestingCostsNoCallDepth) {
    constexpr int Depth = 100000;
    Node* parent = root;
    for (int i = 0; i < Depth; ++i)
        parent = element(parent, "div");
    text(parent, "x");
    // Each start tag waits on the pending line until the next block flushes
    // it; the innermost holds the text and its end tag.
    std::string expected;
    for (int i = 1; i < Depth; ++i)
        expected += "<div>\n";
    expected += "<div>x</div>\n";
    for (int i = 1; i < Depth; ++i)
        expected += "</div>\n";
    expected += "\n";
    EXPECT_EQ(print(), expected);

    options.input_xml = true;
    options.output_xml = true;
    options.indent_spaces = 0;
    // The same tree in the XML layout: no step, the text element at 0.
    std::string xml;
    for (int i = 1; i < Depth; ++i)
        xml += "<div>\n";
    xml += "<div>x</div>\n";
    for (int i = 1; i < Depth; ++i)
        xml += "</div>\n";
    xml += "\n";
    EXPECT_EQ(print_xml(), xml);
}

TEST_F(PrinterTest, EveryPrintLeavesThePendingLineEmpty) {
    Node* p = element(root, "p");
    text(p, "a b c");
    print();
    EXPECT_EQ(stream().line.length, 0u);
    EXPECT_EQ(stream().line.wrap_point, 0u);
    EXPECT_FALSE(stream().line.in_string);
}

} // namespace
} // namespace varnel::test
