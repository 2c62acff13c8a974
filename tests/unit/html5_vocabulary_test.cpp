// HTML5's attribute tables, the values only HTML5 gives a meaning, the case
// of foreign names and the HTML start tags that end foreign content.
#include <gtest/gtest.h>

#include "input/html5_vocabulary.h"

namespace varnel {
namespace {

TEST(Html5VocabularyTest, GlobalAndElementAttributes) {
    // Global attributes and the families go on any element.
    for (const char* a : {"id", "class", "hidden", "role", "tabindex", "translate", "popover",
                          "data-x", "aria-label", "onclick", "oninput"}) {
        EXPECT_TRUE(html5_allows_attribute("span", a)) << a;
    }
    EXPECT_FALSE(html5_allows_attribute("span", "data-"));
    EXPECT_FALSE(html5_allows_attribute("span", "on"));
    // An element's own attributes go on it alone.
    EXPECT_TRUE(html5_allows_attribute("meta", "charset"));
    EXPECT_FALSE(html5_allows_attribute("div", "charset"));
    EXPECT_TRUE(html5_allows_attribute("script", "async"));
    EXPECT_FALSE(html5_allows_attribute("img", "async"));
    EXPECT_TRUE(html5_allows_attribute("img", "srcset"));
    EXPECT_TRUE(html5_allows_attribute("input", "placeholder"));
    EXPECT_TRUE(html5_allows_attribute("table", "border"));
    // Obsolete attributes are not HTML5's.
    for (const char* a : {"align", "bgcolor", "valign", "width", "summary", "name"}) {
        EXPECT_FALSE(html5_allows_attribute("td", a)) << a;
    }
    EXPECT_FALSE(html5_allows_attribute("a", "name"));
    // xmlns and xml:lang are XHTML's, not new in HTML5.
    EXPECT_FALSE(html5_allows_attribute("html", "xmlns"));
    EXPECT_FALSE(html5_allows_attribute("p", "xml:lang"));
}

TEST(Html5VocabularyTest, ValuesOnlyHtml5Has) {
    for (const char* type : {"email", "DATE", "datetime-local", "number", "range", "color"}) {
        EXPECT_TRUE(is_html5_only_value("input", "type", type)) << type;
    }
    for (const char* type : {"text", "password", "checkbox", "hidden", "dates", "", "e"}) {
        EXPECT_FALSE(is_html5_only_value("input", "type", type)) << type;
    }
    EXPECT_TRUE(is_html5_only_value("script", "type", "module"));
    EXPECT_FALSE(is_html5_only_value("script", "type", "text/javascript"));
    EXPECT_FALSE(is_html5_only_value("button", "type", "email"));
}

TEST(Html5VocabularyTest, ForeignNamesAndBreakout) {
    EXPECT_EQ(svg_element_name("foreignobject"), "foreignObject");
    EXPECT_EQ(svg_element_name("lineargradient"), "linearGradient");
    EXPECT_EQ(svg_element_name("path"), "path");
    EXPECT_EQ(svg_element_name("textpat"), "textpat");
    EXPECT_EQ(svg_attribute_name("viewbox"), "viewBox");
    EXPECT_EQ(svg_attribute_name("preserveaspectratio"), "preserveAspectRatio");
    EXPECT_EQ(svg_attribute_name("zoomandpan"), "zoomAndPan");
    EXPECT_EQ(svg_attribute_name("fill"), "fill");
    EXPECT_EQ(mathml_attribute_name("definitionurl"), "definitionURL");
    EXPECT_EQ(mathml_attribute_name("viewbox"), "viewbox");

    // The HTML parsing rules' list of start tags that end foreign content,
    // in that list's order.
    for (const char* tag :
         {"b",      "big",  "blockquote", "body",  "br",   "center", "code",    "dd",   "div",
          "dl",     "dt",   "em",         "embed", "h1",   "h2",     "h3",      "h4",   "h5",
          "h6",     "head", "hr",         "i",     "img",  "li",     "listing", "menu", "meta",
          "nobr",   "ol",   "p",          "pre",   "ruby", "s",      "small",   "span", "strong",
          "strike", "sub",  "sup",        "table", "tt",   "u",      "ul",      "var"}) {
        EXPECT_TRUE(breaks_out_of_foreign(tag, false)) << tag;
    }
    // Neighbours of those names in byte order, and names of the foreign
    // vocabularies.
    for (const char* tag :
         {"",   "a",  "g",   "path",  "title",  "span2",   "script", "style", "text", "bb", "h",
          "h0", "h7", "bod", "bodyx", "tables", "strongs", "va",     "vars",  "z",    "B"}) {
        EXPECT_FALSE(breaks_out_of_foreign(tag, false)) << tag;
    }
    EXPECT_FALSE(breaks_out_of_foreign("font", false));
    EXPECT_TRUE(breaks_out_of_foreign("font", true));
}

} // namespace
} // namespace varnel
