// The character layer: byte encoders, the pending line and its wrap point,
// escaping by print mode, encoding and entity options, and text spans.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "output/out_stream.h"
#include "output_test_support.h"

namespace varnel::test {
namespace {

class OutStreamTest : public OutputTest {
  protected:
    // Writes each code point with write_char in `encoding`.
    static std::string encode(CharEncoding encoding, std::initializer_list<uint32_t> codes) {
        MemorySink sink(encoding);
        for (uint32_t c : codes)
            write_char(&sink.out, c);
        return sink.bytes();
    }

    // Escapes each code point with print_char and flushes the line without
    // wrapping (wrap column huge), in the configured output encoding; the
    // line feed of the flush is not part of the result.
    static std::string escape(std::u32string_view codes, PrintMode mode = PrintNormal) {
        stream().wrap_column = 0x7FFFFFFF;
        for (char32_t c : codes)
            print_char(&stream(), static_cast<uint32_t>(c), mode);
        MemorySink sink;
        flush_pending_line(&sink.out, 0);
        std::string bytes = sink.bytes();
        if (!bytes.empty() && bytes.back() == '\n') bytes.pop_back();
        return bytes;
    }

    static void add(std::string_view s) {
        for (char c : s)
            add_char(&stream(), static_cast<unsigned char>(c));
    }

    static std::string pending() {
        std::string s;
        for (uint32_t i = 0; i < stream().line.length; ++i) {
            s.push_back(static_cast<char>(stream().line.chars[i]));
        }
        return s;
    }
};

TEST_F(OutStreamTest, Utf8WritesEachLengthClass) {
    EXPECT_EQ(encode(CharEncoding::Utf8, {0x41, 0x7F}), "\x41\x7F");
    EXPECT_EQ(encode(CharEncoding::Utf8, {0x80, 0xE9, 0x7FF}), "\xC2\x80\xC3\xA9\xDF\xBF");
    EXPECT_EQ(encode(CharEncoding::Utf8, {0x800, 0x20AC, 0xFFFF}),
              "\xE0\xA0\x80\xE2\x82\xAC\xEF\xBF\xBF");
    EXPECT_EQ(encode(CharEncoding::Utf8, {0x10000, 0x1F600}), "\xF0\x90\x80\x80\xF0\x9F\x98\x80");
    EXPECT_EQ(encode(CharEncoding::Utf8, {0x10FFFF}), "\xF4\x8F\xBF\xBF");
    // UTF-8 output is always well-formed: what is no Unicode character is
    // written as U+FFFD.
    EXPECT_EQ(encode(CharEncoding::Utf8, {0x110000, 0x200000, 0xD800, 0xDFFF}),
              "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

// Lines are written in blocks of sixteen characters while a block is
// ASCII: a non-ASCII character anywhere in a line of any length (inside a
// block, at either end of one, in the tail) is encoded where it stands.
TEST_F(OutStreamTest, FlushedLinesEncodeEveryCharacterWhereverBlocksEnd) {
    for (uint32_t length = 0; length <= 70; ++length) {
        for (const uint32_t at : {length, 0u, 15u, 16u, 17u, 31u, 32u, length - 1}) {
            if (length > 0 && at > length) continue;
            stream().wrap_column = 0x7FFFFFFF;
            std::string expected;
            for (uint32_t k = 0; k < length; ++k) {
                if (k == at) {
                    add_char(&stream(), 0xE9);
                    expected += "\xC3\xA9";
                } else {
                    const char c = static_cast<char>('a' + k % 26);
                    add_char(&stream(), static_cast<unsigned char>(c));
                    expected += c;
                }
            }
            MemorySink sink(CharEncoding::Utf8);
            flush_pending_line(&sink.out, 0);
            if (length > 0) expected += '\n';
            ASSERT_EQ(sink.bytes(), expected) << "length " << length << " at " << at;
        }
    }
}

// A character beyond what the encoding holds is written as a numeric
// reference, never as its low byte (that of U+263C is "<").
TEST_F(OutStreamTest, SingleByteEncodingsWriteReferencesBeyondTheirRange) {
    for (CharEncoding e :
         {CharEncoding::Raw, CharEncoding::Ascii, CharEncoding::Latin1, CharEncoding::Iso2022}) {
        EXPECT_EQ(encode(e, {'a', 0xE9, 0x1E9, 0x263C, 0x4E2D}), "a\xE9&#489;&#9788;&#20013;");
        EXPECT_EQ(encode(e, {0xD800, 0x110000}), "&#65533;&#65533;");
    }
    // MacRoman writes what its table holds with its own bytes.
    EXPECT_EQ(encode(CharEncoding::MacRoman, {'a', 0xC4, 0xE9, 0x2122, 0x20AC, 0xFB01, 0x2C7}),
              "a\x80\x8E\xAA\xDB\xDE\xFF");
    EXPECT_EQ(encode(CharEncoding::MacRoman, {0xA4, 0x1E9, 0x263C}), "&#164;&#489;&#9788;");
}

TEST_F(OutStreamTest, Iso2022ClearsTheTopBitInsideMultiByteRuns) {
    // ESC $ B switches to a two-byte set until ESC ( B returns to ASCII.
    EXPECT_EQ(encode(CharEncoding::Iso2022, {0x1B, '$', 'B', 0xB0, 0xA1, 0x1B, '(', 'B', 0xC1}),
              "\x1B$B\x30\x21\x1B(B\xC1");
    // ESC $ ( D also enters a multi-byte run.
    EXPECT_EQ(encode(CharEncoding::Iso2022, {0x1B, '$', '(', 'D', 0xB0}), "\x1B$(D\x30");
    // ESC followed by anything else leaves the state ASCII.
    EXPECT_EQ(encode(CharEncoding::Iso2022, {0x1B, 'N', 0xB0}), "\x1BN\xB0");
}

TEST_F(OutStreamTest, PendingLineGrowsByDoublingAndKeepsItsContents) {
    EXPECT_EQ(stream().line.capacity, 0u);
    add_char(&stream(), 'x');
    EXPECT_EQ(stream().line.capacity, 256u);
    for (uint32_t i = 1; i < 255; ++i)
        add_char(&stream(), 'a' + i % 26);
    EXPECT_EQ(stream().line.length, 255u);
    EXPECT_EQ(stream().line.capacity, 256u);
    add_char(&stream(), 'y'); // the 256th character needs the spare slot
    EXPECT_EQ(stream().line.capacity, 512u);
    EXPECT_EQ(stream().line.chars[0], static_cast<uint32_t>('x'));
    EXPECT_EQ(stream().line.chars[254], static_cast<uint32_t>('a' + 254 % 26));
    EXPECT_EQ(stream().line.chars[255], static_cast<uint32_t>('y'));
    reset_line();
    EXPECT_EQ(stream().line.capacity, 0u);
    EXPECT_EQ(stream().line.length, 0u);
}

TEST_F(OutStreamTest, FlushWritesIndentAndWrapsOnlyWhenTheLineDoesNotFit) {
    stream().wrap_column = 10;
    {
        // 2 + 7 < 10: written as is.
        add("abc def");
        stream().line.wrap_point = 3;
        MemorySink sink;
        flush_line(&sink.out, 2);
        EXPECT_EQ(sink.bytes(), "  abc def\n");
        EXPECT_EQ(stream().line.length, 0u);
        EXPECT_EQ(stream().line.wrap_point, 0u);
    }
    {
        // 2 + 8 = 10: broken at the wrap point, which eats the space.
        add("abcd efg");
        stream().line.wrap_point = 4;
        MemorySink sink;
        flush_line(&sink.out, 2);
        EXPECT_EQ(sink.bytes(), "  abcd\n  efg\n");
    }
    {
        // No wrap point: an overlong word goes out whole.
        add("abcdefghijkl");
        MemorySink sink;
        flush_line(&sink.out, 2);
        EXPECT_EQ(sink.bytes(), "  abcdefghijkl\n");
    }
    {
        // A wrap point at the very end: the break takes everything and the
        // flush still writes the (empty) indented line: 4 + 6 = 10.
        add("abcdef");
        stream().line.wrap_point = 6;
        MemorySink sink;
        flush_line(&sink.out, 4);
        EXPECT_EQ(sink.bytes(), "    abcdef\n    \n");
    }
}

TEST_F(OutStreamTest, EmptyLinesFlushAsALineFeedOrNothing) {
    MemorySink sink;
    flush_pending_line(&sink.out, 4);
    flush_line(&sink.out, 4);
    flush_pending_line(&sink.out, 4);
    EXPECT_EQ(sink.bytes(), "\n");
}

TEST_F(OutStreamTest, BreakAtWrapPointKeepsTheRestPending) {
    {
        // Without a wrap point nothing happens.
        add("abc def");
        MemorySink sink;
        break_line_at_wrap_point(&sink.out, 3);
        EXPECT_EQ(sink.bytes(), "");
        EXPECT_EQ(pending(), "abc def");
        reset_line();
    }
    {
        // Only one space is consumed; the second starts the rest.
        add("ab  cd");
        stream().line.wrap_point = 2;
        MemorySink sink;
        break_line_at_wrap_point(&sink.out, 1);
        EXPECT_EQ(sink.bytes(), " ab\n");
        EXPECT_EQ(pending(), " cd");
        EXPECT_EQ(stream().line.wrap_point, 0u);
        reset_line();
    }
    {
        // A break inside a script string ends with " \".
        add("x='a b'");
        stream().line.wrap_point = 4;
        stream().line.in_string = true;
        MemorySink sink;
        break_line_at_wrap_point(&sink.out, 0);
        EXPECT_EQ(sink.bytes(), "x='a \\\n");
        EXPECT_EQ(pending(), "b'");
        stream().line.in_string = false;
        reset_line();
    }
    {
        // Inside attribute values the line always ends with a space, and a
        // backslash only when asked.
        add("abc def");
        stream().line.wrap_point = 3;
        MemorySink plain;
        break_in_attr_value(&plain.out, 0, false);
        EXPECT_EQ(plain.bytes(), "abc \n");
        EXPECT_EQ(pending(), "def");
        add(" ghi");
        stream().line.wrap_point = 3;
        MemorySink quoted;
        break_in_attr_value(&quoted.out, 0, true);
        EXPECT_EQ(quoted.bytes(), "def \\\n");
        EXPECT_EQ(pending(), "ghi");
    }
}

TEST_F(OutStreamTest, MarkupCharactersAndQuotes) {
    EXPECT_EQ(escape(U"<a & 'b' \"c\">"), "&lt;a &amp; 'b' \"c\"&gt;");
    options.quote_marks = true;
    EXPECT_EQ(escape(U"'b' \"c\""), "&#39;b&#39; &quot;c&quot;");
    options.quote_ampersand = false;
    EXPECT_EQ(escape(U"a&b"), "a&b");
    // CDATA content keeps markup but not quotes rules either.
    options.quote_ampersand = true;
    EXPECT_EQ(escape(U"<x a=\"1\"> & y", PrintCData), "<x a=\"1\"> & y");
    // Comment content is copied whatever the encoding.
    EXPECT_EQ(escape(U"<é>", PrintComment), "<\xE9>");
}

TEST_F(OutStreamTest, NoBreakSpaceByEncodingAndOptions) {
    EXPECT_EQ(escape(U"a\u00A0b"), "a&nbsp;b");
    options.numeric_entities = true;
    EXPECT_EQ(escape(U"a\u00A0b"), "a&#160;b");
    options.numeric_entities = false;
    options.quote_nbsp = false;
    EXPECT_EQ(escape(U"a\u00A0b"), "a\xA0"
                                   "b");
    options.quote_nbsp = true;
    options.char_encoding = CharEncoding::Raw;
    EXPECT_EQ(escape(U"a\u00A0b"), "a\xA0"
                                   "b");
    // Script and style: a plain space, except in raw and ISO-2022 output.
    options.char_encoding = CharEncoding::Ascii;
    EXPECT_EQ(escape(U"\u00A0", PrintPreformatted | PrintNoWrap | PrintCData), " ");
    options.char_encoding = CharEncoding::Utf8;
    EXPECT_EQ(escape(U"\u00A0", PrintPreformatted | PrintNoWrap | PrintCData), " ");
    options.char_encoding = CharEncoding::Iso2022;
    EXPECT_EQ(escape(U"\u00A0", PrintPreformatted | PrintNoWrap | PrintCData), "\xA0");
    // In pre (no CDATA) it is still an entity.
    options.char_encoding = CharEncoding::Ascii;
    EXPECT_EQ(escape(U"\u00A0", PrintPreformatted | PrintNoWrap), "&nbsp;");
}

TEST_F(OutStreamTest, SpacesSetWrapPointsOrBecomeEntitiesInNoWrapRuns) {
    print_char(&stream(), 'a', PrintNormal);
    print_char(&stream(), ' ', PrintNormal);
    EXPECT_EQ(stream().line.wrap_point, 1u);
    print_char(&stream(), ' ', PrintPreformatted);
    print_char(&stream(), ' ', PrintAttrValue);
    print_char(&stream(), ' ', PrintComment);
    EXPECT_EQ(stream().line.wrap_point, 1u);
    EXPECT_EQ(pending(), "a    ");
    reset_line();

    EXPECT_EQ(escape(U"a b", PrintNoWrap), "a&nbsp;b");
    options.input_xml = true;
    EXPECT_EQ(escape(U"a b", PrintNoWrap), "a&#160;b");
    options.input_xml = false;
    options.numeric_entities = true;
    EXPECT_EQ(escape(U"a b", PrintNoWrap), "a&#160;b");
    // Preformatted no-wrap text keeps its spaces.
    EXPECT_EQ(escape(U"a b", PrintNoWrap | PrintPreformatted), "a b");
}

TEST_F(OutStreamTest, AsciiOutputUsesEntitiesAboveTilde) {
    EXPECT_EQ(escape(U"\t~\u001F\u007F"), "\t~&#31;&#127;");
    EXPECT_EQ(escape(U"é\u2022\u4E2D"), "&eacute;&bull;&#20013;");
    options.numeric_entities = true;
    EXPECT_EQ(escape(U"é\u2022"), "&#233;&#8226;");
}

TEST_F(OutStreamTest, Latin1OutputKeepsItsRangeAndNamesTheRest) {
    options.char_encoding = CharEncoding::Latin1;
    EXPECT_EQ(escape(U"\u0080\u009F\u007F"), "&#128;&#159;&#127;");
    EXPECT_EQ(escape(U"\u00E9\u00FF\u00A1"), "\xE9\xFF\xA1");
    EXPECT_EQ(escape(U"\u2022\u4E2D"), "&bull;&#20013;");
    options.numeric_entities = true;
    EXPECT_EQ(escape(U"\u2022"), "&#8226;");
}

TEST_F(OutStreamTest, Utf8AndRawPassCharactersThrough) {
    options.char_encoding = CharEncoding::Utf8;
    EXPECT_EQ(escape(U"é\u201C\u4E2D"), "\xC3\xA9\xE2\x80\x9C\xE4\xB8\xAD");
    options.char_encoding = CharEncoding::Raw;
    EXPECT_EQ(escape(U"é\u4E2D"), "\xE9&#20013;");
    EXPECT_EQ(escape(U"\u263Cb\u263E"), "&#9788;b&#9790;");
    EXPECT_EQ(escape(U"\u2622", PrintAttrValue), "&#9762;");
    options.char_encoding = CharEncoding::Iso2022;
    EXPECT_EQ(escape(U"\u263C\u00E9"), "&#9788;\xE9");
}

// Comments are copied unescaped, yet their characters still have to fit the
// output encoding.
TEST_F(OutStreamTest, CommentCharactersBeyondTheEncodingBecomeReferences) {
    EXPECT_EQ(escape(U"<\u00E9\u2122\u263C", PrintComment), "<\xE9&#8482;&#9788;");
    options.char_encoding = CharEncoding::Latin1;
    EXPECT_EQ(escape(U"\u201C\u00FF", PrintComment), "&#8220;\xFF");
    options.char_encoding = CharEncoding::MacRoman;
    EXPECT_EQ(escape(U"\u00C4\u2122\u263C", PrintComment), "\x80\xAA&#9788;");
    options.char_encoding = CharEncoding::Utf8;
    EXPECT_EQ(escape(U"\u263C", PrintComment), "\xE2\x98\xBC");
}

TEST_F(OutStreamTest, CleanFoldsTypographicPunctuation) {
    options.clean = true;
    options.char_encoding = CharEncoding::Utf8;
    EXPECT_EQ(escape(U"\u2013\u2014\u2018\u2019\u201A\u201C\u201D\u201E"), "--'''\"\"\"");
    // Neighbours that are not folded.
    EXPECT_EQ(escape(U"\u2015\u201B"), "\xE2\x80\x95\xE2\x80\x9B");
    options.char_encoding = CharEncoding::Ascii;
    EXPECT_EQ(escape(U"\u201C"), "\"");
    // Preformatted and no-wrap text is text too.
    EXPECT_EQ(escape(U"\u2014\u2019", PrintPreformatted | PrintNoWrap), "-'");
    // A folded quote is escaped as a typed one would be.
    options.quote_marks = true;
    EXPECT_EQ(escape(U"\u201C\u2019\u2013"), "&quot;&#39;-");
    options.quote_marks = false;
    // Attribute values, script and style keep their characters: a folded
    // quote would end the value, a folded dash would change a link.
    EXPECT_EQ(escape(U"\u201C\u2014", PrintAttrValue), "&ldquo;&mdash;");
    EXPECT_EQ(escape(U"\u201C\u2014", PrintAttrValue | PrintCData), "&ldquo;&mdash;");
    EXPECT_EQ(escape(U"\u201C", PrintCData | PrintPreformatted), "&ldquo;");
    options.char_encoding = CharEncoding::Utf8;
    EXPECT_EQ(escape(U"\u201C\u2014", PrintAttrValue), "\xE2\x80\x9C\xE2\x80\x94");
    options.clean = false;
    options.char_encoding = CharEncoding::Ascii;
    EXPECT_EQ(escape(U"\u201C"), "&ldquo;");
}

TEST_F(OutStreamTest, XmlInputUsesNumericReferencesOnly) {
    options.input_xml = true;
    EXPECT_EQ(escape(U"é\u2022"), "&#233;&#8226;");
    options.char_encoding = CharEncoding::MacRoman;
    EXPECT_EQ(escape(U"é\u4E2D"), "&#233;&#20013;");
    // XML declares no HTML entity names, whatever the output encoding.
    options.char_encoding = CharEncoding::Latin1;
    EXPECT_EQ(escape(U"é\u2022"), "\xE9&#8226;");
    EXPECT_EQ(escape(U"\u00A0"), "&#160;");
}

TEST_F(OutStreamTest, PrintTextDecodesUtf8AndEndsLinesAtLineFeeds) {
    auto [start, end] = store("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\nb");
    {
        MemorySink sink;
        print_text(&sink.out, PrintNormal, 2, &lexer, start, end);
        flush_pending_line(&sink.out, 2);
        EXPECT_EQ(sink.bytes(), "  a&eacute;&euro;&#128512;\n  b\n");
    }
    options.char_encoding = CharEncoding::Utf8;
    {
        MemorySink sink;
        print_text(&sink.out, PrintNormal, 0, &lexer, start, end);
        flush_pending_line(&sink.out, 0);
        EXPECT_EQ(sink.bytes(), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\nb\n");
    }
}

TEST_F(OutStreamTest, PrintTextTakesStrayBytesAsCodePoints) {
    options.char_encoding = CharEncoding::Latin1;
    auto [start, end] = store("\x80x\xFF");
    MemorySink sink;
    print_text(&sink.out, PrintNormal, 0, &lexer, start, end);
    flush_pending_line(&sink.out, 0);
    EXPECT_EQ(sink.bytes(), "&#128;x\xFF\n");
}

TEST_F(OutStreamTest, PrintTextNeverReadsPastTheSpan) {
    options.char_encoding = CharEncoding::Utf8;
    // The span ends inside the two-byte sequence of é: the byte after it
    // and the "b" beyond must not be printed.
    auto [start, end] = store("a\xC3\xA9"
                              "b");
    MemorySink sink;
    print_text(&sink.out, PrintNormal, 0, &lexer, start, end - 2);
    flush_pending_line(&sink.out, 0);
    const std::string bytes = sink.bytes();
    EXPECT_EQ(bytes.substr(0, 1), "a");
    EXPECT_EQ(bytes.find('b'), std::string::npos);
    EXPECT_EQ(bytes.find("\xC3\xA9"), std::string::npos);
}

TEST_F(OutStreamTest, PrintTextWrapsAtSpacesBeforeEachCharacter) {
    stream().wrap_column = 10;
    auto [start, end] = store("aaaa bbbb cccc");
    {
        MemorySink sink;
        print_text(&sink.out, PrintNormal, 0, &lexer, start, end);
        flush_line(&sink.out, 0);
        EXPECT_EQ(sink.bytes(), "aaaa bbbb\ncccc\n");
    }
    {
        MemorySink sink;
        print_text(&sink.out, PrintNormal, 3, &lexer, start, end);
        flush_line(&sink.out, 3);
        EXPECT_EQ(sink.bytes(), "   aaaa\n   bbbb\n   cccc\n");
    }
    {
        // Preformatted text sets no wrap points and is never broken.
        MemorySink sink;
        print_text(&sink.out, PrintPreformatted | PrintNoWrap, 0, &lexer, start, end);
        flush_line(&sink.out, 0);
        EXPECT_EQ(sink.bytes(), "aaaa bbbb cccc\n");
    }
}

TEST_F(OutStreamTest, PrintTextRunsPastTheColumnUntilASpaceGivesABreak) {
    stream().wrap_column = 10;
    // A word longer than the line has no break point: it runs on, and the
    // line breaks at the first space after it, before the next character.
    auto [start, end] = store("abcdefghijklmno pq rs");
    {
        MemorySink sink;
        print_text(&sink.out, PrintNormal, 0, &lexer, start, end);
        flush_line(&sink.out, 0);
        EXPECT_EQ(sink.bytes(), "abcdefghijklmno\npq rs\n");
    }
    // A wrap point made before the text is used once the text no longer
    // fits; a tab and quotes (not escaped here) are ordinary characters.
    options.quote_marks = false;
    auto [from, to] = store("a\t\"b\" 'c'");
    add("xx yyyyy");
    stream().line.wrap_point = 2;
    MemorySink sink;
    print_text(&sink.out, PrintNormal, 0, &lexer, from, to);
    flush_line(&sink.out, 0);
    EXPECT_EQ(sink.bytes(), "xx\nyyyyya\t\"b\"\n'c'\n");
}

// Reference for the property below: the text one character at a time, the
// line breaking at its wrap point before a character that finds the line
// full, each character escaped by print_char.
void print_text_by_character(OutputStream* out, PrintMode mode, uint32_t indent,
                             const std::string& text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size(); ++i) {
        if (!line_fits(out, indent)) break_line_at_wrap_point(out, indent);
        const uint32_t c = decode_char_at(bytes, &i, text.size());
        if (c == '\n') {
            flush_line(out, indent);
            if ((mode & (PrintComment | PrintCData | PrintAttrValue)) != 0)
                out->line.verbatim = true;
        } else {
            print_char(out, c, mode);
        }
    }
}

TEST_F(OutStreamTest, PrintTextMatchesPrintingCharacterByCharacter) {
    // Texts of words, runs of spaces, tabs, quotes, markup characters, line
    // feeds and a few non-ASCII letters, in every mode, with and without
    // quote escaping, at narrow and wide columns and various indents, after
    // a pending line with or without a wrap point.
    const char* const pieces[] = {"a", "word", "longerword", " ", "  ", "\t", "\"", "'", "<", ">",
                                  "\n", "\xC3\xA9", "\xE2\x80\x94", "&#", "\xC2\xA0", "&",
                                  // The edges of printable ASCII, and control bytes.
                                  "!", "~", "\x7F", "\x01", "\x1F", "\r",
                                  // Longer than the blocks of sixteen that runs are copied in.
                                  "abcdefghijklmnopqrstuvwxyz0123456789"};
    const PrintMode modes[] = {PrintNormal,
                               PrintPreformatted,
                               PrintComment,
                               PrintAttrValue,
                               PrintCData,
                               PrintNoWrap,
                               PrintPreformatted | PrintNoWrap};
    const CharEncoding encodings[] = {CharEncoding::Ascii, CharEncoding::Utf8,
                                      CharEncoding::Latin1};
    std::mt19937 random(12);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int count = static_cast<int>(random() % 40);
        for (int k = 0; k < count; ++k)
            text += pieces[random() % (sizeof pieces / sizeof pieces[0])];
        const PrintMode mode = modes[random() % (sizeof modes / sizeof modes[0])];
        options.quote_marks = random() % 2 == 0;
        options.char_encoding = encodings[random() % 3];
        const int32_t column = static_cast<int32_t>(1 + random() % 90);
        const uint32_t indent = random() % 6;
        const std::string before = random() % 2 == 0 ? "" : "ab cd";
        const uint32_t wrap_point = before.empty() ? 0 : static_cast<uint32_t>(random() % 3);

        auto run = [&](bool by_character) {
            reset_line();
            stream().wrap_column = column;
            add(before);
            stream().line.wrap_point = wrap_point;
            MemorySink sink(options.char_encoding);
            if (by_character) {
                print_text_by_character(&sink.out, mode, indent, text);
            } else {
                auto [start, end] = store(text);
                print_text(&sink.out, mode, indent, &lexer, start, end);
            }
            flush_line(&sink.out, indent);
            return sink.bytes();
        };
        ASSERT_EQ(run(false), run(true)) << "text \"" << text << "\" mode " << mode << " column "
                                         << column << " indent " << indent;
    }
}

TEST_F(OutStreamTest, FitTestDoesNotOverflowWithHugeColumns) {
    stream().wrap_column = 0x7FFFFFFF;
    add("abc");
    EXPECT_TRUE(line_fits(&stream(), 0xFFFFFFF0u) == false);
    EXPECT_TRUE(line_fits(&stream(), 0x7FFFFFF0u));
    stream().wrap_column = -5;
    EXPECT_FALSE(line_fits(&stream(), 0));
}

} // namespace
} // namespace varnel::test
