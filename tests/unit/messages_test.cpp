// Reports: exact texts of every message table, prefixes, node descriptions,
// the counting and seven-error suppression rules, the flags set by printed
// reports, the document type summary, the count line and the advice.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/config.h"
#include "base/messages.h"
#include "input/doctype.h"
#include "input/lexer.h"
#include "input/stream.h"
#include "model/attrs.h"
#include "model/node.h"
#include "model/reports.h"
#include "model/tags.h"

namespace varnel {
namespace {

// Collects everything written to a FILE*.
class Capture {
  public:
    Capture() : file_(open_memstream(&buffer_, &size_)) {}
    ~Capture() {
        fclose(file_);
        free(buffer_);
    }
    FILE* file() const { return file_; }
    std::string text() {
        fflush(file_);
        return std::string(buffer_, size_);
    }

  private:
    char* buffer_ = nullptr;
    size_t size_ = 0;
    FILE* file_;
};

class MessageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        source_ = fmemopen(const_cast<char*>(source_text_), sizeof(source_text_) - 1, "r");
        stream_ = new_input_stream(source_, CharEncoding::Ascii);
        lexer_ = new_lexer(stream_, Config{});
        lexer_->messages = reports_.file();
        lexer_->token_line = 3;
        lexer_->token_column = 14;
    }

    void TearDown() override {
        for (Node* n : nodes_)
            free_node(n);
        free_lexer(lexer_);
        free_input_stream(stream_);
        fclose(source_);
    }

    Node* node(NodeKind kind, const char* name) {
        Node* n = new_node();
        n->set_kind(kind);
        n->set_element_name(name);
        find_tag(lexer_, n);
        nodes_.push_back(n);
        return n;
    }

    std::string reports() { return reports_.text(); }

    static constexpr char source_text_[] = "abc";
    FILE* source_ = nullptr;
    InputStream* stream_ = nullptr;
    Lexer* lexer_ = nullptr;
    Capture reports_;
    std::vector<Node*> nodes_;
};

TEST_F(MessageTest, DescribeNodeByKind) {
    struct Case {
        NodeKind kind;
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {DoctypeNode, "", "<!DOCTYPE>"},      {TextNode, "", "plain text"},
        {StartTagNode, "p", "<p>"},           {EndTagNode, "table", "</table>"},
        {StartEndTagNode, "br", "br"},        {CommentNode, "", ""},
        {StartTagNode, "madeup", "<madeup>"},
    };
    for (const Case& c : cases) {
        Capture out;
        describe_node(out.file(), node(c.kind, c.name));
        EXPECT_EQ(out.text(), c.expected) << c.kind;
    }
    Capture none;
    describe_node(none.file(), nullptr);
    EXPECT_EQ(none.text(), "");
}

TEST_F(MessageTest, EveryTagMessageAsWarning) {
    Node* ul = node(StartTagNode, "ul");
    Node* li = node(StartTagNode, "li");
    const char* const expected[] = {
        nullptr,
        "Warning: missing </ul>",
        "Warning: missing </ul> before <li>",
        "Warning: discarding unexpected <li>",
        "Warning: nested emphasis <li>",
        "Warning: replacing unexpected <li> by </ul>",
        "Warning: <li> isn't allowed in <ul> elements",
        "Warning: missing <li>",
        "Warning: unexpected </li> in <ul>",
        "Warning: using <br> in place of <li>",
        "Warning: inserting implicit <li>",
        "", // error only
        "Warning: inserting missing 'title' element",
        "", // error only
        "Warning: <li> can't be nested",
        "Warning: replacing element <ul> by <li>",
        "Warning: <li> is not approved by W3C",
        "", // error only
        "Warning: trimming empty <ul>",
        "Warning: <li> is probably intended as </li>",
        "Warning: <ul> shouldn't be nested",
        "Warning: <li> not inside 'noframes' element",
        "Warning: content occurs after end of body",
        "Warning: html doctype doesn't match content",
        "Warning: adjacent hyphens within comment",
        "Warning: expecting -- or >",
        "Warning: XML comments can't contain --",
        "Warning: '<' + '/' + letter not allowed here",
        "Warning: html namespace doesn't match content",
        "Warning: <!DOCTYPE> isn't allowed after elements",
        "Warning: expected \"html PUBLIC\" or \"html SYSTEM\"",
        nullptr, // end of file: its own test
        "Warning: SYSTEM, PUBLIC, W3C, DTD, EN must be upper case",
        "Warning: too many li elements in <ul>",
    };
    std::string all;
    for (int code = 1; code <= 33; ++code) {
        if (expected[code] == nullptr) continue;
        report_warning(lexer_, ul, li, static_cast<TagMessage>(code));
        all += std::string("line 3 column 14 - ") + expected[code] + "\n";
    }
    EXPECT_EQ(reports(), all);
    EXPECT_EQ(lexer_->warnings, 32u);
    EXPECT_EQ(lexer_->errors, 0u);
}

TEST_F(MessageTest, TagMessageVariants) {
    Node* li = node(EndTagNode, "li");
    report_warning(lexer_, nullptr, li, UnexpectedEndTag);
    report_warning(lexer_, nullptr, node(StartTagNode, "title"), TooMany);
    report_warning(lexer_, node(StartTagNode, "xmp"), node(StartTagNode, "pre"), ReplacingElement);
    report_warning(lexer_, nullptr, node(StartTagNode, "li"), ReplacingElement);
    report_warning(lexer_, nullptr, node(TextNode, ""), DiscardingUnexpected);
    report_warning(lexer_, nullptr, nullptr, static_cast<TagMessage>(99));
    report_warning(lexer_, nullptr, node(StartTagNode, "a"), ClosedAtOnce);
    report_warning(lexer_, nullptr, node(StartTagNode, "div"), SlashIgnored);
    EXPECT_EQ(reports(),
              "line 3 column 14 - Warning: unexpected </li>\n"
              "line 3 column 14 - Warning: too many title elements\n"
              "line 3 column 14 - Warning: replacing obsolete element <xmp> by <pre>\n"
              "line 3 column 14 - Warning: replacing element  by <li>\n"
              "line 3 column 14 - Warning: discarding unexpected plain text\n"
              "line 3 column 14 - \n"
              "line 3 column 14 - Warning: <a/> isn't an empty element, taken as <a></a>\n"
              "line 3 column 14 - Warning: <div/> isn't an empty element, taken as <div>\n");
}

TEST_F(MessageTest, EndOfFileReportsTakeTheStreamPosition) {
    stream_->line = 9;
    stream_->column = 5;
    report_warning(lexer_, node(StartTagNode, "p"), nullptr, UnexpectedEof);
    EXPECT_EQ(lexer_->token_line, 9u);
    EXPECT_EQ(lexer_->token_column, 5u);
    stream_->line = 10;
    stream_->column = 1;
    report_attribute_warning(lexer_, node(StartTagNode, "a"), nullptr, EofInAttributes);
    lexer_->token_line = 2;
    report_warning(lexer_, nullptr, nullptr, UnexpectedEof);
    EXPECT_EQ(reports(), "line 9 column 5 - Warning: unexpected end of file<p>\n"
                         "line 10 column 1 - Warning: end of file while parsing attributes\n"
                         "line 10 column 1 - Warning: unexpected end of file\n");
}

TEST_F(MessageTest, ErrorsPrintOnlyTheirOwnTexts) {
    Node* ul = node(StartTagNode, "ul");
    report_error(lexer_, ul, node(EndTagNode, "li"), UnexpectedEndTag);
    report_error(lexer_, nullptr, nullptr, MissingQuotemark);
    report_error(lexer_, nullptr, nullptr, RepeatedFrameset);
    report_error(lexer_, nullptr, node(StartTagNode, "foo"), NotRecognized);
    report_error(lexer_, ul, nullptr, MissingEndTag);
    EXPECT_EQ(reports(), "line 3 column 14 - Warning: unexpected </li> in <ul>\n"
                         "line 3 column 14 - Error: missing quotemark for attribute value\n"
                         "line 3 column 14 - Error: repeated FRAMESET element\n"
                         "line 3 column 14 - Error: <foo> is not recognized!\n"
                         "line 3 column 14 - \n");
    EXPECT_EQ(lexer_->errors, 5u);
    EXPECT_EQ(lexer_->warnings, 5u);
}

TEST_F(MessageTest, AttributeEntityAndEncodingTexts) {
    Node* img = node(StartTagNode, "img");
    const std::vector<std::pair<AttrMessage, std::string>> cases = {
        {UnknownAttribute, "Warning: unknown attribute \"x\""},
        {LacksAttribute, "Warning: <img> lacks \"x\" attribute"},
        {LacksValue, "Warning: <img> attribute \"x\" lacks value"},
        {UnknownValue, "Warning: <img> unknown attribute value \"x\""},
        {MissingGt, "Error: <img> missing '>' for end of tag"},
        {ProprietaryValue, "Warning: <img> proprietary attribute value \"x\""},
        {RepeatedAttribute, "Warning: <img> repeated attribute \"x\""},
        {ServerSideMap, "Warning: <img> should use client-side image map"},
        {XmlAttribute, "Warning: <img> has XML attribute \"x\""},
        {UnexpectedQuote, "Warning: <img> unexpected or duplicate quote mark"},
        {IdNameMismatch, "Warning: <img> id and name attribute value mismatch"},
        {UnclosedValue,
         "Warning: <img> attribute \"x\" lacks closing quote mark, value runs to end of file"},
        {static_cast<AttrMessage>(13), ""},
    };
    std::string all;
    for (const auto& [code, text] : cases) {
        report_attribute_warning(lexer_, img, "x", code);
        all += "line 3 column 14 - " + text + "\n";
    }
    report_entity_warning(lexer_, MissingSemicolon, "&copy");
    report_entity_warning(lexer_, UnknownEntity, "&foo");
    report_entity_warning(lexer_, UnescapedAmpersand, "&");
    report_entity_warning(lexer_, static_cast<EntityMessage>(4), "&");
    report_encoding_warning(lexer_, IllegalCharCode, 150);
    report_encoding_warning(lexer_, static_cast<CharMessage>(2), 150);
    all += "line 3 column 14 - Warning: entity \"&copy\" doesn't end in ';'\n"
           "line 3 column 14 - Warning: unescaped & or unknown entity \"&foo\"\n"
           "line 3 column 14 - Warning: unescaped & which should be written as &amp;\n"
           "line 3 column 14 - \n"
           "line 3 column 14 - Warning: replacing illegal character code 150\n"
           "line 3 column 14 - \n";
    EXPECT_EQ(reports(), all);
    EXPECT_EQ(lexer_->warnings, 19u);
    EXPECT_EQ(lexer_->errors, 1u); // the missing '>'
}

TEST_F(MessageTest, GnuEmacsPrefix) {
    lexer_->options.gnu_emacs = true;
    lexer_->label = "a.html";
    lexer_->token_line = 12;
    lexer_->token_column = 3;
    report_warning(lexer_, nullptr, nullptr, ContentAfterBody);
    report_attribute_warning(lexer_, node(StartTagNode, "p"), "q", UnknownAttribute);
    report_entity_warning(lexer_, UnescapedAmpersand, "&");
    EXPECT_EQ(reports(), "a.html:12:3: Warning: content occurs after end of body\n"
                         "a.html:12:3: Warning: unknown attribute \"q\"\n"
                         "a.html:12:3: Warning: unescaped & which should be written as &amp;\n");
}

TEST_F(MessageTest, WarningsOffStillCountsAndKeepsErrors) {
    lexer_->options.show_warnings = false;
    for (int i = 0; i < 20; ++i)
        report_warning(lexer_, nullptr, nullptr, ContentAfterBody);
    report_attribute_warning(lexer_, node(StartTagNode, "p"), "x", UnknownValue);
    report_entity_warning(lexer_, UnknownEntity, "&x");
    report_encoding_warning(lexer_, IllegalCharCode, 128);
    EXPECT_EQ(reports(), "");
    EXPECT_EQ(lexer_->warnings, 23u);
    EXPECT_EQ(lexer_->bad_chars, 0); // set only when printed

    // The missing '>' is an error: printed and counted regardless.
    report_attribute_warning(lexer_, node(StartTagNode, "p"), nullptr, MissingGt);
    EXPECT_EQ(reports(), "line 3 column 14 - Error: <p> missing '>' for end of tag\n");
    EXPECT_EQ(lexer_->errors, 1u);

    Capture count;
    report_count(count.file(), lexer_);
    EXPECT_EQ(count.text(), "24 warnings/errors were found!\n\n");
}

TEST_F(MessageTest, SevenErrorsThenOnlyCounting) {
    for (int i = 0; i < 7; ++i)
        report_error(lexer_, nullptr, nullptr, RepeatedFrameset);
    EXPECT_EQ(lexer_->errors, 7u);
    std::string seven;
    for (int i = 0; i < 7; ++i)
        seven += "line 3 column 14 - Error: repeated FRAMESET element\n";
    EXPECT_EQ(reports(), seven);

    // From now on tag, attribute and error reports are counted only; entity
    // and encoding warnings have no error limit.
    report_error(lexer_, nullptr, nullptr, RepeatedFrameset);
    report_warning(lexer_, nullptr, nullptr, ContentAfterBody);
    report_attribute_warning(lexer_, node(StartTagNode, "p"), nullptr, MissingGt);
    report_attribute_warning(lexer_, node(StartTagNode, "img"), "ismap", ServerSideMap);
    report_warning(lexer_, nullptr, node(StartTagNode, "layer"), NotApproved);
    EXPECT_EQ(reports(), seven);
    EXPECT_EQ(lexer_->errors, 7u);
    EXPECT_EQ(lexer_->warnings, 12u);
    EXPECT_EQ(lexer_->access_flags, 0);
    EXPECT_EQ(lexer_->usage_flags, 0);

    report_entity_warning(lexer_, UnknownEntity, "&x");
    report_encoding_warning(lexer_, IllegalCharCode, 130);
    EXPECT_EQ(reports(), seven +
                             "line 3 column 14 - Warning: unescaped & or unknown entity \"&x\"\n"
                             "line 3 column 14 - Warning: replacing illegal character code "
                             "130\n");
    EXPECT_EQ(lexer_->bad_chars, WindowsChars);
    EXPECT_EQ(lexer_->warnings, 14u);
}

TEST_F(MessageTest, PrintedReportsSetAdviceFlags) {
    report_warning(lexer_, nullptr, node(StartTagNode, "layer"), NotApproved);
    EXPECT_EQ(lexer_->usage_flags, UsingLayer);
    report_warning(lexer_, nullptr, node(StartTagNode, "spacer"), NotApproved);
    report_warning(lexer_, nullptr, node(StartTagNode, "nobr"), NotApproved);
    report_warning(lexer_, nullptr, node(StartTagNode, "blink"), NotApproved);
    EXPECT_EQ(lexer_->usage_flags, UsingLayer | UsingSpacer | UsingNobr);
    report_attribute_warning(lexer_, node(StartTagNode, "img"), "ismap", ServerSideMap);
    EXPECT_EQ(lexer_->access_flags, MissingImageMap);
    EXPECT_EQ(reports(), "line 3 column 14 - Warning: <layer> is not approved by W3C\n"
                         "line 3 column 14 - Warning: <spacer> is not approved by W3C\n"
                         "line 3 column 14 - Warning: <nobr> is not approved by W3C\n"
                         "line 3 column 14 - Warning: <blink> is not approved by W3C\n"
                         "line 3 column 14 - Warning: <img> should use client-side image map\n");
}

TEST_F(MessageTest, CountLine) {
    Capture none;
    report_count(none.file(), lexer_);
    EXPECT_EQ(none.text(), "no warnings or errors were found\n\n");
    lexer_->warnings = 1;
    Capture one;
    report_count(one.file(), lexer_);
    EXPECT_EQ(one.text(), "1 warnings/errors were found!\n\n");
}

// The doctype summary prints the noted doctype text between its first two
// double quotes, then the apparent version.
TEST_F(MessageTest, DoctypeSummary) {
    auto noted = [&](const char* doctype) {
        uint32_t start = lexer_->text_length();
        append_string(lexer_, doctype);
        return std::make_pair(start, lexer_->text_length());
    };
    lexer_->possible_versions = 0x1C; // HTML 4.01 Strict is the lowest that fits

    auto [s1, e1] = noted("html PUBLIC \"-//W3C//DTD HTML 4.01//EN\" \"x.dtd\"");
    Capture out1;
    report_doctype_summary(out1.file(), lexer_, "a.html", true, s1, e1);
    EXPECT_EQ(out1.text(), "\na.html: Doctype given is \"-//W3C//DTD HTML 4.01//EN\"\n"
                           "a.html: Document content looks like HTML 4.01\n");

    auto [s2, e2] = noted("html SYSTEM");
    Capture out2;
    report_doctype_summary(out2.file(), lexer_, "a.html", true, s2, e2);
    EXPECT_EQ(out2.text(), "\na.html: Doctype given is \"\"\n"
                           "a.html: Document content looks like HTML 4.01\n");

    // Characters are written as the low byte of their code: U+00E9 as 0xE9,
    // U+2122 as 0x22.
    // The TextBuffer holds UTF-8: append code points, not bytes.
    uint32_t s3 = lexer_->text_length();
    append_string(lexer_, "html PUBLIC \"caf");
    append_char(lexer_, 0xE9);
    append_char(lexer_, ' ');
    append_char(lexer_, 0x2122);
    append_char(lexer_, '!');
    uint32_t e3 = lexer_->text_length();
    ASSERT_EQ(lexer_->text.substr(s3 + 16, 6), "\xC3\xA9 \xE2\x84\xA2");
    Capture out3;
    lexer_->is_xhtml = true;
    report_doctype_summary(out3.file(), lexer_, "b.html", true, s3, e3);
    EXPECT_EQ(out3.text(), "\nb.html: Doctype given is \"caf\xE9 \x22!\"\n"
                           "b.html: Document content looks like XHTML 1.0 Strict\n");

    lexer_->possible_versions = 0x1C0;
    Capture out4;
    report_doctype_summary(out4.file(), lexer_, "stdin", false, 0, 0);
    EXPECT_EQ(out4.text(), "\nstdin: Document content looks like HTML proprietary\n");
    EXPECT_EQ(reports(), "");
}

TEST_F(MessageTest, DoctypeSummaryMismatchReportsFirst) {
    lexer_->given_version = VersionHTML40Strict;
    lexer_->possible_versions = 0x1A;
    append_string(lexer_, "html PUBLIC \"-//W3C//DTD HTML 4.01//EN\"");
    report_doctype_summary(lexer_->messages, lexer_, "c.html", true, 0, lexer_->text_length());
    EXPECT_EQ(reports(), "line 3 column 14 - Warning: html doctype doesn't match content\n"
                         "\nc.html: Doctype given is \"-//W3C//DTD HTML 4.01//EN\"\n"
                         "c.html: Document content looks like HTML 3.2\n");
    EXPECT_EQ(lexer_->warnings, 1u);
}

const char* const windows_paragraph =
    "Characters codes for the Microsoft Windows fonts in the range\n"
    "128 - 159 may not be recognized on other platforms. You are\n"
    "instead recommended to use named entities, e.g. &trade; rather\n"
    "than Windows character code 153 (0x2122 in Unicode). Note that\n"
    "as of February 1998 few browsers support the new entities.\n\n";
const char* const form_paragraph =
    "You may need to move one or both of the <form> and </form>\n"
    "tags. HTML elements should be properly nested and form elements\n"
    "are no exception. For instance you should not place the <form>\n"
    "in one table cell and the </form> in another. If the <form> is\n"
    "placed before a table, the </form> cannot be placed inside the\n"
    "table! Note that one form can't be nested inside another!\n\n";
const char* const summary_paragraph =
    "The table summary attribute should be used to describe\n"
    "the table structure. It is very helpful for people using\n"
    "non-visual browsers. The scope and headers attributes for\n"
    "table cells are useful for specifying which headers apply\n"
    "to each table cell, enabling non-visual browsers to provide\n"
    "a meaningful context for each cell.\n\n";
const char* const image_alt_paragraph =
    "The alt attribute should be used to give a short description\n"
    "of an image; longer descriptions should be given with the\n"
    "longdesc attribute which takes a URL linked to the description.\n"
    "These measures are needed for people using non-graphical browsers.\n\n";
const char* const image_map_paragraph =
    "Use client-side image maps in preference to server-side image\n"
    "maps as the latter are inaccessible to people using non-\n"
    "graphical browsers. In addition, client-side maps are easier\n"
    "to set up and provide immediate feedback to users.\n\n";
const char* const link_alt_paragraph =
    "For hypertext links defined using a client-side image map, you\n"
    "need to use the alt attribute to provide a textual description\n"
    "of the link for people using non-graphical browsers.\n\n";
const char* const frames_paragraph = "Pages designed using frames presents problems for\n"
                                     "people who are either blind or using a browser that\n"
                                     "doesn't support frames. A frames-based page should always\n"
                                     "include an alternative layout inside a NOFRAMES element.\n\n";
const char* const layer_paragraph = "The Cascading Style Sheets (CSS) Positioning mechanism\n"
                                    "is recommended in preference to the proprietary <LAYER>\n"
                                    "element due to limited vendor support for LAYER.\n\n";
const char* const spacer_paragraph =
    "You are recommended to use CSS for controlling white\n"
    "space (e.g. for indentation, margins and line spacing).\n"
    "The proprietary <SPACER> element has limited vendor support.\n\n";
const char* const font_paragraph = "You are recommended to use CSS to specify the font and\n"
                                   "properties such as its size and color. This will reduce\n"
                                   "the size of HTML files and make them easier maintain\n"
                                   "compared with using <FONT> elements.\n\n";
const char* const nobr_paragraph = "You are recommended to use CSS to control line wrapping.\n"
                                   "Use \"white-space: nowrap\" to inhibit wrapping in place\n"
                                   "of inserting <NOBR>...</NOBR> into the markup.\n\n";
const char* const body_colors_line =
    "You are recommended to use CSS to specify page and link colors\n";

// The closing lines of the accessibility block: a fixed first line, then the
// guidelines and the checking service, ending in an empty line.
void expect_accessibility_closing(const std::string& text) {
    const std::string first = "For further advice on how to make your pages accessible\n";
    size_t at = text.find(first);
    ASSERT_NE(at, std::string::npos);
    std::string rest = text.substr(at + first.size());
    size_t guidelines = rest.find("\"http://www.w3.org/WAI/GL\". You may also want to try\n");
    ASSERT_NE(guidelines, std::string::npos);
    size_t service = rest.find("http://www.cast.org/bobby/", guidelines);
    ASSERT_NE(service, std::string::npos);
    size_t lines = 0;
    for (char c : rest)
        lines += c == '\n';
    EXPECT_EQ(lines, 4u); // three lines and the empty line
    EXPECT_EQ(rest.substr(rest.size() - 2), "\n\n");
}

TEST_F(MessageTest, AdviceParagraphsInOrder) {
    lexer_->bad_chars = WindowsChars;
    lexer_->bad_form = true;
    lexer_->access_flags =
        MissingImageAlt | MissingLinkAlt | MissingSummary | MissingImageMap | UsingFrames;
    lexer_->usage_flags = UsingSpacer | UsingLayer | UsingNobr | UsingFont | UsingBodyColors;
    report_advice(lexer_);
    std::string text = reports();
    std::string before = std::string(windows_paragraph) + form_paragraph + summary_paragraph +
                         image_alt_paragraph + image_map_paragraph + link_alt_paragraph +
                         frames_paragraph;
    std::string after = std::string(layer_paragraph) + spacer_paragraph + font_paragraph +
                        nobr_paragraph + body_colors_line;
    ASSERT_GT(text.size(), before.size() + after.size());
    EXPECT_EQ(text.substr(0, before.size()), before);
    EXPECT_EQ(text.substr(text.size() - after.size()), after);
    expect_accessibility_closing(
        text.substr(before.size(), text.size() - before.size() - after.size()));
}

TEST_F(MessageTest, AdviceForSingleFindings) {
    lexer_->usage_flags = UsingFont;
    report_advice(lexer_);
    EXPECT_EQ(reports(), font_paragraph);

    Capture other;
    lexer_->messages = other.file();
    lexer_->usage_flags = 0;
    lexer_->access_flags = MissingImageMap;
    report_advice(lexer_);
    std::string text = other.text();
    ASSERT_EQ(text.substr(0, std::string(image_map_paragraph).size()), image_map_paragraph);
    expect_accessibility_closing(text.substr(std::string(image_map_paragraph).size()));
    lexer_->messages = reports_.file();
}

TEST_F(MessageTest, NoframesCancelsTheFramesAdvice) {
    // Frames with a noframes alternative: both flags go, and with nothing
    // else found the whole accessibility block is left out.
    lexer_->access_flags = UsingFrames | UsingNoframes;
    report_advice(lexer_);
    EXPECT_EQ(reports(), "");
    EXPECT_EQ(lexer_->access_flags, 0);

    lexer_->access_flags = UsingFrames | UsingNoframes | MissingSummary;
    report_advice(lexer_);
    std::string text = reports();
    EXPECT_EQ(text.find(frames_paragraph), std::string::npos);
    ASSERT_EQ(text.substr(0, std::string(summary_paragraph).size()), summary_paragraph);
    expect_accessibility_closing(text.substr(std::string(summary_paragraph).size()));

    // Frames alone get the frames paragraph.
    Capture frames;
    lexer_->messages = frames.file();
    lexer_->access_flags = UsingFrames;
    report_advice(lexer_);
    EXPECT_EQ(frames.text().substr(0, std::string(frames_paragraph).size()), frames_paragraph);
    lexer_->messages = reports_.file();
}

TEST_F(MessageTest, NoAdviceWithoutFindings) {
    report_advice(lexer_);
    EXPECT_EQ(reports(), "");
}

} // namespace
} // namespace varnel
