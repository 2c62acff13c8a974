// Character references and start-tag attributes.
#include <gtest/gtest.h>

#include "test_support.h"

namespace varnel {
namespace {

using test::all_tokens;
using test::LexerOver;
using Tokens = std::vector<std::string>;

class ScanTest : public ::testing::Test {
  protected:
    void SetUp() override { test::fresh_globals(); }
};

std::string text_of(const std::string& source, WhitespaceMode mode = CollapseSpace) {
    LexerOver lx(source);
    Tokens tokens = all_tokens(lx, mode);
    return tokens.size() == 1 ? tokens[0] : "?";
}

TEST_F(ScanTest, NamedAndNumericReferences) {
    EXPECT_EQ(text_of("&lt;&gt;&amp;"), "text:<>&");
    EXPECT_EQ(text_of("&copy"), "text:\xc2\xa9");
    EXPECT_EQ(text_of("&nbsp;x"), "text:\xc2\xa0x");
    // In preformatted text too: the no-break space stays what it is.
    EXPECT_EQ(text_of("&nbsp;x", KeepSpace), "text:\xc2\xa0x");
    EXPECT_EQ(text_of("&#150;"), "text:\xc2\x96");
    EXPECT_EQ(text_of("&#x41;&#65;"), "text:AA");
    EXPECT_EQ(text_of("&#X41;"), "text:&#X41;"); // only a small x means hexadecimal
}

TEST_F(ScanTest, UnknownReferencesStayAsWritten) {
    EXPECT_EQ(text_of("&foo; x"), "text:&foo; x");
    EXPECT_EQ(text_of("a & b"), "text:a & b");
    EXPECT_EQ(text_of("&;"), "text:&;");
    EXPECT_EQ(text_of("&#;"), "text:&#;");
    EXPECT_EQ(text_of("&#0;"), "text:&#0;");
    EXPECT_EQ(text_of("&AMP;"), "text:&AMP;");
    // A number too large for 32 bits counts as unknown.
    EXPECT_EQ(text_of("&#99999999999;"), "text:&#99999999999;");
    EXPECT_EQ(text_of("&#x7fffffffff;"), "text:&#x7fffffffff;");
    // So do numbers that name no character: surrogates and values beyond
    // Unicode. The last character and the ones around the surrogates are
    // taken.
    EXPECT_EQ(text_of("&#xD800;&#xdfff;&#55296;"), "text:&#xD800;&#xdfff;&#55296;");
    EXPECT_EQ(text_of("&#x110000;&#x7FFFFFFF;"), "text:&#x110000;&#x7FFFFFFF;");
    EXPECT_EQ(text_of("&#x10FFFF;"), "text:\xf4\x8f\xbf\xbf");
    EXPECT_EQ(text_of("&#xD7FF;&#xE000;"), "text:\xed\x9f\xbf\xee\x80\x80");
}

TEST_F(ScanTest, ApostropheIsKnownInXmlAndXhtmlOnly) {
    // HTML 4 has no &apos;; XML predefines it.
    EXPECT_EQ(text_of("it&apos;s"), "text:it&apos;s");
    options.input_xml = true;
    EXPECT_EQ(text_of("it&apos;s"), "text:it's");
    options.input_xml = false;
    options.output_xml = true;
    EXPECT_EQ(text_of("it&apos;s"), "text:it's");
    options.output_xml = false;
    // A document that is XHTML (its html element has the namespace).
    LexerOver lx("<html xmlns=\"http://www.w3.org/1999/xhtml\">it&apos;s");
    EXPECT_EQ(all_tokens(lx, CollapseSpace).back(), "text:it's");
}

TEST_F(ScanTest, AmpersandKeptAsReferenceWhenNotQuoted) {
    options.quote_ampersand = false;
    EXPECT_EQ(text_of("&amp;"), "text:&amp;");
    options.quote_ampersand = true;
    options.preserve_entities = true;
    EXPECT_EQ(text_of("&eacute;"), "text:&eacute;");
}

TEST_F(ScanTest, AttributeListKeepsSourceOrderWhenReversed) {
    LexerOver lx("<a href=x title='y'>");
    Node* a = get_token(lx.lexer, CollapseSpace);
    ASSERT_NE(a->attributes(), nullptr);
    EXPECT_EQ(a->attributes()->name(), "title"); // newest first
    EXPECT_EQ(a->attributes()->next->name(), "href");
    free_node(a);
}

TEST_F(ScanTest, EmptyElementSyntaxAndUrls) {
    {
        // "/>" after an unquoted value ends the tag as empty, except that a
        // URL keeps its slash.
        LexerOver lx("<img alt=a/>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"empty:img[alt=\"a\"]"});
    }
    {
        LexerOver lx("<img src=a.gif/>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"start:img[src=\"a.gif/\"]"});
    }
    {
        LexerOver lx("<a href=dir/>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"start:a[href=\"dir/\"]"});
    }
    {
        LexerOver lx("<br />x");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), (Tokens{"empty:br", "text:x"}));
    }
    {
        // "/>" straight after a name without a value keeps the attribute.
        LexerOver lx("<input type=checkbox checked/>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"empty:input[type=\"checkbox\",checked]"});
        EXPECT_EQ(lx.messages(), "");
    }
    {
        // A slash inside a name still makes it no name.
        LexerOver lx("<input a/b>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"start:input"});
        EXPECT_EQ(lx.messages(),
                  "line 1 column 1 - Warning: <input> unknown attribute value \"\"\n");
    }
}

TEST_F(ScanTest, ValueWhiteSpaceAndEscapes) {
    {
        LexerOver lx("<p title=\"a    b\" class=''>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"start:p[title=\"a b\",class='']"});
    }
    {
        options.literal_attributes = true;
        // A literal value keeps its tab as it stands.
        LexerOver lx("<p title=\"a  \tb\">");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"start:p[title=\"a  \tb\"]"});
        options.literal_attributes = false;
    }
    {
        LexerOver lx("<p title=\"a\\\nb\\c\" alt=\"&lt;&amp;\">");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"start:p[title=\"a\nb\\c\",alt=\"<&\"]"});
    }
    {
        LexerOver lx("<td nowrap width = 5>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"start:td[nowrap,width=\"5\"]"});
    }
}

TEST_F(ScanTest, ServerBlocksAsValuesAndAttributes) {
    {
        LexerOver lx("<input value=<%= x %>>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"start:input[value=\"<%= x %>\"]"});
    }
    {
        // A double-quoted run makes the value print in single quotes.
        LexerOver lx("<a href=<x\"q y\">");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"start:a[href='<x\"q y\"']"});
    }
    {
        // White space ends a markup value unless it is a server block.
        LexerOver lx("<a href=<x y>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"start:a[href=\"<x\",y]"});
    }
    {
        LexerOver lx("<a <?php echo 1 ?>>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"start:a[<?php echo 1 ?>]"});
    }
}

TEST_F(ScanTest, MalformedAttributes) {
    {
        // A name that is not a name is dropped with its value.
        LexerOver lx("<p 3d=x>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"start:p"});
    }
    {
        // A stray quote is skipped.
        LexerOver lx("<p \"class=x>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"start:p[class=\"x\"]"});
    }
    {
        // "=" without a name ends the attributes; the rest is text.
        LexerOver lx("<p =x>");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), (Tokens{"start:p", "text:=x>"}));
    }
    {
        // A tag cut off by the end of input keeps what was read.
        LexerOver lx("<p class=\"x");
        EXPECT_EQ(all_tokens(lx, CollapseSpace), Tokens{"start:p[class=\"x\"]"});
    }
}

} // namespace
} // namespace varnel
