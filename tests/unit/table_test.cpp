// Table, select and form-field builders, run through the whole HTML tree
// builder: implied rows and cells, content moved in front of tables, stray
// end tags, options and text areas.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tree/builders.h"
#include "tree/inline_stack.h"
#include "test_support.h"
#include "tree_text.h"

namespace varnel {
namespace {

using test::LexerOver;
using tree_text::dump_tree;
using tree_text::links_ok;
using Messages = std::vector<std::string>;

struct Parsed {
    std::string body;  // content of the body element
    std::string head;  // content of the head element
    Messages messages; // report texts without the position prefix
    bool bad_form = false;
};

// Parses an HTML document whose head is given (so that no title is implied)
// and whose body content is `body`. The attribute check's request for a
// table summary is left out of the messages: it is not the builders' work.
Parsed parse_html(const std::string& body) {
    LexerOver lx("<title>t</title>" + body);
    Node* root = build_document(lx.lexer);
    Parsed out;
    if (root == nullptr) {
        ADD_FAILURE() << "no tree was built";
        return out;
    }
    EXPECT_TRUE(links_ok(root));
    out.body = dump_tree(lx.lexer, find_body(root));
    out.head = dump_tree(lx.lexer, find_head(root));
    out.bad_form = lx.lexer->bad_form;
    const std::string text = lx.messages();
    size_t line_start = 0;
    while (line_start < text.size()) {
        size_t line_end = text.find('\n', line_start);
        if (line_end == std::string::npos) line_end = text.size();
        std::string line = text.substr(line_start, line_end - line_start);
        size_t dash = line.find(" - ");
        if (dash != std::string::npos) line = line.substr(dash + 3);
        if (line != "Warning: <table> lacks \"summary\" attribute") out.messages.push_back(line);
        line_start = line_end + 1;
    }
    free_node(root);
    return out;
}

class TableTest : public ::testing::Test {
  protected:
    void SetUp() override { test::fresh_globals(); }
    void TearDown() override { options = Config{}; }
};

TEST_F(TableTest, CellsAndRowsAreImplied) {
    Parsed p = parse_html("<table><td>x</table>");
    EXPECT_EQ(p.body, "<table><tr!><td>x</td></tr></table>");
    EXPECT_EQ(p.messages, Messages{"Warning: missing <tr>"});

    p = parse_html("<table><tr></tr></table>");
    EXPECT_EQ(p.body, "<table><tr><td!></td></tr></table>");
    EXPECT_EQ(p.messages, Messages{"Warning: missing <td>"});

    p = parse_html("<table><tbody><td>a</td><caption>c</caption></tbody></table>");
    EXPECT_EQ(p.body, "c<table><tbody><tr!><td>a</td></tr></tbody></table>");
    EXPECT_EQ(p.messages, (Messages{"Warning: missing <tr>",
                                    "Warning: <caption> isn't allowed in <tr> elements",
                                    "Warning: plain text isn't allowed in <tr> elements",
                                    "Warning: discarding unexpected </caption>"}));
}

TEST_F(TableTest, ContentBetweenRowsMovesInFrontOfTheTable) {
    Parsed p = parse_html("<table>text<tr><td>a</td></tr></table>");
    EXPECT_EQ(p.body, "text<table><tr><td>a</td></tr></table>");
    EXPECT_EQ(p.messages, Messages{"Warning: plain text isn't allowed in <table> elements"});

    p = parse_html("<table><b>x</b><tr><td>a</td></tr></table>");
    EXPECT_EQ(p.body, "<b>x</b><table><tr><td>a</td></tr></table>");
    EXPECT_EQ(p.messages, Messages{"Warning: <b> isn't allowed in <table> elements"});

    p = parse_html("<table><tr>text<td>a</td></tr></table>");
    EXPECT_EQ(p.body, "text<table><tr><td>a</td></tr></table>");
    EXPECT_EQ(p.messages, Messages{"Warning: plain text isn't allowed in <tr> elements"});
}

TEST_F(TableTest, MovedContentNestedInMovedContentStillEndsOnTableTags) {
    // The div is moved out of the outer table; inside it a second table
    // moves its own text out. Back in the div, the outer table's </tr> still
    // ends the div, so the last row stays in the outer table.
    Parsed p = parse_html("<table><div><table>t<tr><td>a</td></tr></table>u</tr>"
                          "<tr><td>b</td></tr></table>");
    EXPECT_EQ(p.body, "<div>t<table><tr><td>a</td></tr></table>u</div>"
                      "<table><tr><td>b</td></tr></table>");
    EXPECT_EQ(p.messages, (Messages{"Warning: <div> isn't allowed in <table> elements",
                                    "Warning: plain text isn't allowed in <table> elements",
                                    "Warning: discarding unexpected </tr>"}));
}

TEST_F(TableTest, FormsInRowsGetACell) {
    Parsed p = parse_html("<table><tr><form>x</form></tr></table>");
    EXPECT_EQ(p.body, "<table><tr><td!><form>x</form></td></tr></table>");
    EXPECT_EQ(p.messages, Messages{"Warning: missing <td>"});

    p = parse_html("<form><table></form><tr><td>a</td></tr></table></form>");
    EXPECT_EQ(p.body, "<form><table><tr><td>a</td></tr></table></form>");
    EXPECT_EQ(p.messages, Messages{"Warning: discarding unexpected </form>"});
    EXPECT_TRUE(p.bad_form);
}

TEST_F(TableTest, RowGroupsEndAtTheNextGroup) {
    Parsed p = parse_html("<table><tbody><tr><td>a<tbody><tr><td>b</table>");
    EXPECT_EQ(p.body, "<table><tbody><tr><td>a</td></tr></tbody>"
                      "<tbody><tr><td>b</td></tr></tbody></table>");
    EXPECT_EQ(p.messages, Messages{});
}

TEST_F(TableTest, ColumnGroupsTakeColumnsOnly) {
    Parsed p = parse_html("<table><colgroup><col><col></col>x<tr><td>a</table>");
    EXPECT_EQ(p.body, "x<table><colgroup><col><col></colgroup><tr><td>a</td></tr></table>");
    EXPECT_EQ(p.messages, (Messages{"Warning: discarding unexpected </col>",
                                    "Warning: plain text isn't allowed in <table> elements"}));
}

TEST_F(TableTest, StrayTableEndTagsAreDiscarded) {
    Parsed p = parse_html("<table><tr></td><td>a</td></tr></tbody></tr></table>");
    EXPECT_EQ(p.body, "<table><tr><td>a</td></tr></table>");
    EXPECT_EQ(p.messages, (Messages{"Warning: discarding unexpected </td>",
                                    "Warning: discarding unexpected </tbody>",
                                    "Warning: discarding unexpected </tr>"}));
}

TEST_F(TableTest, TableEndsOnMissingEndOrAnEnclosingEndTag) {
    Parsed p = parse_html("<table><tr><td>a");
    EXPECT_EQ(p.body, "<table><tr><td>a</td></tr></table>");
    EXPECT_EQ(p.messages, Messages{"Warning: missing </table>"});

    p = parse_html("<div><table><tr><td>a</td></tr></div>x");
    EXPECT_EQ(p.body, "<div><table><tr><td>a</td></tr></table></div>x");
    EXPECT_EQ(p.messages, Messages{"Warning: missing </table> before </div>"});
}

TEST_F(TableTest, InlineElementsDoNotLeakIntoTheNextCell) {
    Parsed p = parse_html("<table><tr><td><b>x<td>y</table>");
    EXPECT_EQ(p.body, "<table><tr><td><b>x</b></td><td>y</td></tr></table>");
    EXPECT_EQ(p.messages, Messages{"Warning: missing </b> before <td>"});
}

TEST_F(TableTest, HeadElementsInTablesMoveToTheHead) {
    Parsed p = parse_html("<table><style type=\"text/css\">s</style><tr><td>a</table>");
    EXPECT_EQ(p.body, "<table><tr><td>a</td></tr></table>");
    EXPECT_EQ(p.head, "<title>t</title><style type=\"text/css\">s</style>");
    EXPECT_EQ(p.messages, Messages{"Warning: <style> isn't allowed in <table> elements"});

    // A row group reports first, and relocating reports again.
    p = parse_html("<table><tbody><style type=\"text/css\">s</style><tr><td>a</table>");
    EXPECT_EQ(p.head, "<title>t</title><style type=\"text/css\">s</style>");
    EXPECT_EQ(p.messages, (Messages{"Warning: <style> isn't allowed in <tbody> elements",
                                    "Warning: <style> isn't allowed in <tbody> elements"}));
}

TEST_F(TableTest, SelectTakesOptionsOnly) {
    Parsed p = parse_html("<select>text<option>a<option>b</select>");
    EXPECT_EQ(p.body, "<select><option>a</option><option>b</option></select>");
    EXPECT_EQ(p.messages, Messages{"Warning: discarding unexpected plain text"});

    p = parse_html("<select><option>a<b>b</b></select>");
    EXPECT_EQ(p.body, "<select><option>a</option></select>");
    EXPECT_EQ(p.messages, (Messages{"Warning: discarding unexpected <b>",
                                    "Warning: discarding unexpected plain text",
                                    "Warning: discarding unexpected </b>"}));

    p = parse_html("<select><option>a");
    EXPECT_EQ(p.body, "<select><option>a</option></select>");
    EXPECT_EQ(p.messages, Messages{"Warning: missing </select>"});
}

TEST_F(TableTest, OptionGroupsNestWithAWarningAndEndWithTheSelect) {
    Parsed p = parse_html("<select><optgroup label=x><optgroup label=y><option>a</select>after");
    EXPECT_EQ(p.body, "<select><optgroup label=\"x\"><optgroup label=\"y\"><option>a</option>"
                      "</optgroup></optgroup></select>after");
    EXPECT_EQ(p.messages, Messages{"Warning: <optgroup> can't be nested"});
}

TEST_F(TableTest, OptionsAndTextAreasHoldText) {
    Parsed p = parse_html("<select><option>a<font color=red>b</font>c</select>");
    EXPECT_EQ(p.body, "<select><option>abc</option></select>");
    EXPECT_EQ(p.messages, (Messages{"Warning: discarding unexpected <font>",
                                    "Warning: discarding unexpected </font>"}));

    // A text area keeps its value as written, outer spaces included.
    p = parse_html("<textarea> a  b </textarea>");
    EXPECT_EQ(p.body, "<textarea> a  b </textarea>");
    EXPECT_EQ(p.messages, Messages{});

    p = parse_html("<textarea>a");
    EXPECT_EQ(p.body, "<textarea>a</textarea>");
    EXPECT_EQ(p.messages, Messages{"Warning: missing </textarea>"});
}

TEST_F(TableTest, DeeplyNestedTablesStayWithinTheParseDepth) {
    std::string source;
    for (int i = 0; i < 5000; ++i)
        source += "<table><tr><td>";
    source += "x";
    LexerOver lx(source);
    Node* root = build_document(lx.lexer);
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(links_ok(root));
    EXPECT_EQ(lx.lexer->depth, 0u);
    free_node(root);
}

} // namespace
} // namespace varnel
