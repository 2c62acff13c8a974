// Input decoding: encodings, tabs, control characters, positions and
// push-back.
#include <gtest/gtest.h>

#include <random>

#include "output/out_stream.h"
#include "output_test_support.h"
#include "test_support.h"

namespace varnel {
namespace {

// All characters of `bytes` as decoded under `encoding`.
std::vector<int> decode(const std::string& bytes, CharEncoding encoding) {
    test::LexerOver lx(bytes, encoding);
    std::vector<int> out;
    for (int c = read_char(lx.stream); c != EndOfStream; c = read_char(lx.stream))
        out.push_back(c);
    return out;
}

class StreamTest : public ::testing::Test {
  protected:
    void SetUp() override { test::fresh_globals(); }
};

TEST_F(StreamTest, TabsStayTabsAndMoveTheColumnToTheNextStop) {
    test::LexerOver lx("a\tb\t\tc");
    EXPECT_EQ(read_char(lx.stream), 'a');
    EXPECT_EQ(read_char(lx.stream), '\t');
    EXPECT_EQ(lx.stream->column, 5);
    EXPECT_EQ(read_char(lx.stream), 'b');
    EXPECT_EQ(read_char(lx.stream), '\t');
    EXPECT_EQ(lx.stream->column, 9);
    // A tab read again after a push-back moves the column the same way.
    unread_char('\t', lx.stream);
    EXPECT_EQ(read_char(lx.stream), '\t');
    EXPECT_EQ(lx.stream->column, 9);
    EXPECT_EQ(read_char(lx.stream), '\t');
    EXPECT_EQ(lx.stream->column, 13);
    options.tab_size = 8;
    test::LexerOver eight("\tx\ty");
    read_char(eight.stream);
    EXPECT_EQ(eight.stream->column, 9);
    read_char(eight.stream);
    read_char(eight.stream);
    EXPECT_EQ(eight.stream->column, 17);
    options.tab_size = 0;
    EXPECT_EQ(decode("\tx", CharEncoding::Ascii), (std::vector<int>{'\t', 'x'}));
}

TEST_F(StreamTest, LineFeedPushBackRestoresPosition) {
    test::LexerOver lx("a\nb");
    read_char(lx.stream);
    EXPECT_EQ(read_char(lx.stream), '\n');
    EXPECT_EQ(lx.stream->line, 2);
    unread_char('\n', lx.stream);
    EXPECT_EQ(lx.stream->line, 1);
    EXPECT_EQ(read_char(lx.stream), '\n');
    EXPECT_EQ(lx.stream->line, 2);
    EXPECT_EQ(lx.stream->column, 1);
}

TEST_F(StreamTest, ControlCharactersAreDroppedAndCarriageReturnsEndLines) {
    // CR LF is one line end; a lone CR is one too (words on either side
    // must not run together); other control characters vanish.
    EXPECT_EQ(decode("a\r\nb\rc\x01\x1f\r\r\n", CharEncoding::Ascii),
              (std::vector<int>{'a', '\n', 'b', '\n', 'c', '\n', '\n'}));
    EXPECT_EQ(decode("x\r", CharEncoding::MacRoman), (std::vector<int>{'x', '\n'}));
    {
        test::LexerOver cr("a\rb\r\nc");
        for (int i = 0; i < 4; ++i)
            read_char(cr.stream);
        EXPECT_EQ(cr.stream->line, 3);
        EXPECT_EQ(read_char(cr.stream), 'c');
        EXPECT_EQ(cr.stream->column, 2);
    }
    // NUL is delivered; escape is delivered without a column.
    test::LexerOver lx(std::string("\0\x1b", 2));
    EXPECT_EQ(read_char(lx.stream), 0);
    EXPECT_EQ(read_char(lx.stream), 27);
    EXPECT_EQ(lx.stream->column, 2);
}

TEST_F(StreamTest, ByteOrderMarkAtTheStartIsSkipped) {
    EXPECT_EQ(decode("\xef\xbb\xbf"
                     "ab",
                     CharEncoding::Utf8),
              (std::vector<int>{'a', 'b'}));
    EXPECT_EQ(decode("\xef\xbb\xbf"
                     "ab",
                     CharEncoding::Ascii),
              (std::vector<int>{'a', 'b'}));
    // Only at the start, and only the whole mark; bytes read to decide
    // come out in order.
    EXPECT_EQ(decode("a\xef\xbb\xbf", CharEncoding::Latin1),
              (std::vector<int>{'a', 0xEF, 0xBB, 0xBF}));
    EXPECT_EQ(decode("\xef\xbbx", CharEncoding::Latin1), (std::vector<int>{0xEF, 0xBB, 'x'}));
    EXPECT_EQ(decode("\xef\xbb", CharEncoding::Latin1), (std::vector<int>{0xEF, 0xBB}));
    EXPECT_EQ(decode("\xef\xbb\xbb", CharEncoding::Utf8), std::vector<int>{0xFEFB});
    EXPECT_EQ(decode("\xef\r\rA", CharEncoding::Latin1), (std::vector<int>{0xEF, '\n', '\n', 'A'}));
    EXPECT_EQ(decode("\xef\xbb\xbf", CharEncoding::Utf8), std::vector<int>{});
    {
        test::LexerOver mark_only("\xef\xbb\xbf");
        EXPECT_EQ(read_char(mark_only.stream), EndOfStream);
        EXPECT_TRUE(is_end_of_stream(mark_only.stream));
        test::LexerOver start("\xef\xbb\xbf"
                              "x");
        EXPECT_EQ(read_char(start.stream), 'x');
        EXPECT_EQ(start.stream->column, 2); // the mark takes no columns
    }
}

TEST_F(StreamTest, WindowsCodesAreMappedAndFlagged) {
    test::LexerOver lx("\x93\x81x");
    EXPECT_EQ(read_char(lx.stream), 0x201C);
    EXPECT_EQ(read_char(lx.stream), 'x'); // 0x81 is unassigned and dropped
    EXPECT_EQ(lx.lexer->warnings, 2u);
    EXPECT_EQ(lx.messages(), "line 1 column 1 - Warning: replacing illegal character code 147\n"
                             "line 1 column 1 - Warning: replacing illegal character code 129\n");
    EXPECT_EQ(lx.lexer->bad_chars, WindowsChars);
    EXPECT_EQ(decode("\x93", CharEncoding::Raw), std::vector<int>{0x93});
    EXPECT_EQ(decode("\xc2\x93\xc3\xa9", CharEncoding::Utf8), (std::vector<int>{0x201C, 0xE9}));
    EXPECT_EQ(decode("\xe9", CharEncoding::Latin1), std::vector<int>{0xE9});
}

TEST_F(StreamTest, Utf8IsDecodedStrictly) {
    EXPECT_EQ(decode("\xe2\x82\xac\xf0\x9f\x98\x80", CharEncoding::Utf8),
              (std::vector<int>{0x20AC, 0x1F600}));
    // A stray continuation byte is replaced; so is a sequence cut off by the
    // end of input.
    EXPECT_EQ(decode("\xbfx", CharEncoding::Utf8), (std::vector<int>{0xFFFD, 'x'}));
    EXPECT_EQ(decode("x\xe2\x82", CharEncoding::Utf8), (std::vector<int>{'x', 0xFFFD}));
}

// Byte sequences, the characters they decode to and the number of
// replacements reported. One U+FFFD stands for each longest start of a
// well-formed sequence that cannot be completed, and for each byte that
// starts none; the byte that breaks a sequence is read again.
TEST_F(StreamTest, InvalidUtf8BecomesOneReplacementPerMaximalSubpart) {
    constexpr int R = 0xFFFD;
    struct Row {
        std::string bytes;
        std::vector<int> chars;
        int replaced;
    };
    const Row rows[] = {
        // Overlong forms: "<" as C0 BC, and the shortest 3- and 4-byte
        // overlongs.
        {"\xc0\xbc", {R, R}, 2},
        {"\xc1\xbf", {R, R}, 2},
        {"\xe0\x80\x80", {R, R, R}, 3},
        {"\xf0\x80\x80\x80", {R, R, R, R}, 4},
        {"\xe0\xa0\x80", {0x800}, 0},
        {"\xf0\x90\x80\x80", {0x10000}, 0},
        // Surrogates are no characters; the code points around them are.
        {"\xed\xa0\x80", {R, R, R}, 3},
        {"\xed\xbf\xbf", {R, R, R}, 3},
        {"\xed\x9f\xbf", {0xD7FF}, 0},
        {"\xee\x80\x80", {0xE000}, 0},
        // Beyond U+10FFFF, and bytes that lead nothing any more.
        {"\xf4\x8f\xbf\xbf", {0x10FFFF}, 0},
        {"\xf4\x90\x80\x80", {R, R, R, R}, 4},
        {"\xf5\x80", {R, R}, 2},
        {"\xf8\x88\x80\x80\x80", {R, R, R, R, R}, 5},
        {"x\xfe\xff", {'x', R, R}, 2},
        // A cut-off character never takes the markup after it.
        {"\xe2\x82\"", {R, '"'}, 1},
        {"\xc3<p", {R, '<', 'p'}, 1},
        {"\xf0\x9f\x98", {R}, 1},
        {"\xf0\x9f\x98"
         "A",
         {R, 'A'},
         1},
        {"\xe2\r\nb", {R, '\n', 'b'}, 1},
        // The example of the Unicode standard: a, three replacements, b, one,
        // c, two, d.
        {"a\xf1\x80\x80\xe1\x80\xc2"
         "b\x80"
         "c\x80\xbf"
         "d",
         {'a', R, R, R, 'b', R, 'c', R, R, 'd'},
         6},
        // U+FFFD itself is a character (the first bytes look like a byte
        // order mark and are given back).
        {"\xef\xbf\xbd", {R}, 0},
        {"\xef\xbb", {R}, 1},
        {"\xef\xbb\xbf\xc3", {R}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.bytes));
        test::LexerOver lx(row.bytes, CharEncoding::Utf8);
        std::vector<int> chars;
        for (int c = read_char(lx.stream); c != EndOfStream; c = read_char(lx.stream))
            chars.push_back(c);
        EXPECT_EQ(chars, row.chars);
        EXPECT_EQ(lx.lexer->warnings, static_cast<uint32_t>(row.replaced));
        EXPECT_EQ(lx.lexer->bad_chars, 0); // not the Windows characters advice
    }
}

TEST_F(StreamTest, InvalidUtf8IsReportedWhereItsReplacementStands) {
    test::LexerOver lx("ab\xe2\x82\"cd\n\xc0x\xf0\x9f\x98", CharEncoding::Utf8);
    lx.lexer->token_line = 7; // the token started elsewhere
    lx.lexer->token_column = 9;
    while (read_char(lx.stream) != EndOfStream) {
    }
    EXPECT_EQ(lx.messages(),
              "line 1 column 3 - Warning: replacing invalid UTF-8 bytes E2 82 by U+FFFD\n"
              "line 2 column 1 - Warning: replacing invalid UTF-8 byte C0 by U+FFFD\n"
              "line 2 column 3 - Warning: replacing invalid UTF-8 bytes F0 9F 98 by U+FFFD\n");
    EXPECT_EQ(lx.lexer->token_line, 7u);
    EXPECT_EQ(lx.lexer->token_column, 9u);
    // Counted when warnings are not shown, as every report is.
    options.show_warnings = false;
    test::LexerOver quiet("\xc0", CharEncoding::Utf8);
    EXPECT_EQ(read_char(quiet.stream), 0xFFFD);
    EXPECT_EQ(quiet.lexer->warnings, 1u);
    EXPECT_EQ(quiet.messages(), "");
}

TEST_F(StreamTest, Utf16ByteOrderMarkSelectsUtf16) {
    using S = std::string;
    // Little-endian: "a", "<", then U+1F600 as the pair D83D DE00.
    EXPECT_EQ(decode(S("\xff\xfe"
                       "a\0<\0\x3d\xd8\x00\xde",
                       10),
                     CharEncoding::Ascii),
              (std::vector<int>{'a', '<', 0x1F600}));
    // Big-endian, whatever the configured encoding.
    for (CharEncoding e : {CharEncoding::Utf8, CharEncoding::Latin1, CharEncoding::MacRoman,
                           CharEncoding::Iso2022}) {
        EXPECT_EQ(decode(S("\xfe\xff\0a\x00\xe9\xd8\x3d\xde\x00", 10), e),
                  (std::vector<int>{'a', 0xE9, 0x1F600}));
    }
    // Raw output maps nothing, but still reads UTF-16 code points.
    EXPECT_EQ(decode(S("\xfe\xff\x00\x93\x26\x3c", 6), CharEncoding::Raw),
              (std::vector<int>{0x93, 0x263C}));
    // Otherwise 0x80-0x9F are the Windows characters, as in UTF-8.
    EXPECT_EQ(decode(S("\xfe\xff\x00\x93", 4), CharEncoding::Ascii), (std::vector<int>{0x201C}));
    // Line ends, tabs and control characters as in any encoding.
    EXPECT_EQ(decode(S("\xff\xfe\r\0\n\0x\0\r\0y\0\t\0z\0\x01\0", 18), CharEncoding::Ascii),
              (std::vector<int>{'\n', 'x', '\n', 'y', '\t', 'z'}));
    {
        test::LexerOver lx(S("\xfe\xff\0a\0\n\0b", 8));
        EXPECT_EQ(read_char(lx.stream), 'a');
        EXPECT_EQ(lx.stream->utf16, Utf16Order::BigEndian);
        EXPECT_EQ(read_char(lx.stream), '\n');
        EXPECT_EQ(read_char(lx.stream), 'b');
        EXPECT_EQ(lx.stream->line, 2);
        EXPECT_EQ(lx.stream->column, 2); // the mark takes no columns
    }
    // Not a mark: half of one, the two bytes the wrong way round for the
    // next, or a mark after the start.
    EXPECT_EQ(decode("\xff"
                     "A",
                     CharEncoding::Latin1),
              (std::vector<int>{0xFF, 'A'}));
    EXPECT_EQ(decode("\xfe", CharEncoding::Latin1), std::vector<int>{0xFE});
    EXPECT_EQ(decode("\xfe\xfe", CharEncoding::Latin1), (std::vector<int>{0xFE, 0xFE}));
    EXPECT_EQ(decode("a\xff\xfe", CharEncoding::Latin1), (std::vector<int>{'a', 0xFF, 0xFE}));
}

TEST_F(StreamTest, UnpairedSurrogatesAndAnOddLastByteBecomeReplacements) {
    using S = std::string;
    constexpr int R = 0xFFFD;
    // A lone high surrogate: the unit after it is read on its own.
    test::LexerOver lx(S("\xfe\xff\xd8\x00\x00"
                         "b"
                         "\xdc\x00"
                         "\xd8\x00\xd8\x3d\xde\x00"
                         "\xd8\x00"
                         "A",
                         17));
    std::vector<int> chars;
    for (int c = read_char(lx.stream); c != EndOfStream; c = read_char(lx.stream))
        chars.push_back(c);
    EXPECT_EQ(chars, (std::vector<int>{R, 'b', R, R, 0x1F600, R, R}));
    EXPECT_EQ(lx.lexer->warnings, 5u);
    EXPECT_EQ(lx.messages(),
              "line 1 column 1 - Warning: replacing unpaired UTF-16 surrogate D800 by U+FFFD\n"
              "line 1 column 3 - Warning: replacing unpaired UTF-16 surrogate DC00 by U+FFFD\n"
              "line 1 column 4 - Warning: replacing unpaired UTF-16 surrogate D800 by U+FFFD\n"
              "line 1 column 6 - Warning: replacing unpaired UTF-16 surrogate D800 by U+FFFD\n"
              "line 1 column 7 - Warning: replacing incomplete UTF-16 code unit 41 by U+FFFD\n");
    // A high surrogate at the very end.
    EXPECT_EQ(decode(S("\xff\xfe"
                       "a\0\x00\xd8",
                       6),
                     CharEncoding::Ascii),
              (std::vector<int>{'a', R}));
}

TEST_F(StreamTest, MacRomanAndIso2022) {
    EXPECT_EQ(decode("\x80\xdb\xa5", CharEncoding::MacRoman),
              (std::vector<int>{0xC4, 0x20AC, 0x2022}));
    EXPECT_EQ(decode("\x1b$Bab\x1b(Bc", CharEncoding::Iso2022),
              (std::vector<int>{27, '$', 'B', 'a' | 0x80, 'b' | 0x80, 27, '(', 'B', 'c'}));
}

TEST_F(StreamTest, Utf8EncoderAndDecoderAgree) {
    for (uint32_t c : {0x41u, 0x7FFu, 0x800u, 0xFFFFu, 0x10000u, 0x10FFFFu, 0x1FFFFFu, 0xD800u}) {
        unsigned char buffer[8];
        unsigned char* end = encode_utf8(buffer, c);
        uint32_t back = 0;
        int extra = decode_utf8(buffer, &back);
        // What is no Unicode character is written as U+FFFD.
        EXPECT_EQ(back, is_unicode_scalar(c) ? c : 0xFFFDu);
        EXPECT_EQ(extra + 1, end - buffer);
        size_t at = 0;
        EXPECT_EQ(decode_char_at(buffer, &at, static_cast<size_t>(end - buffer)), back);
        EXPECT_EQ(at + 1, static_cast<size_t>(end - buffer));
    }
}

// Text decoded from internal strings (option values, the TextBuffer) never
// loses a byte: what is not well-formed UTF-8 stands for itself.
TEST_F(StreamTest, DecodeCharAtTakesBrokenSequencesByteByByte) {
    auto chars = [](const std::string& s) {
        const auto* p = reinterpret_cast<const unsigned char*>(s.data());
        std::vector<uint32_t> out;
        for (size_t i = 0; i < s.size(); ++i)
            out.push_back(decode_char_at(p, &i, s.size()));
        return out;
    };
    EXPECT_EQ(chars("\xc3\xa9\xe2\x82\xac"), (std::vector<uint32_t>{0xE9, 0x20AC}));
    EXPECT_EQ(chars("\xc3\""), (std::vector<uint32_t>{0xC3, '"'}));
    EXPECT_EQ(chars("\xc0\xbc"), (std::vector<uint32_t>{0xC0, 0xBC}));
    EXPECT_EQ(chars("\xed\xa0\x80"), (std::vector<uint32_t>{0xED, 0xA0, 0x80}));
    EXPECT_EQ(chars("\xe2\x82"), (std::vector<uint32_t>{0xE2, 0x82}));
}

TEST_F(StreamTest, EndOfStreamOnlyAfterReadingTheEnd) {
    test::LexerOver lx("ab");
    EXPECT_FALSE(is_end_of_stream(lx.stream));
    EXPECT_EQ(read_char(lx.stream), 'a');
    EXPECT_EQ(read_char(lx.stream), 'b');
    // Every byte has been delivered, but no read has met the end yet.
    EXPECT_FALSE(is_end_of_stream(lx.stream));
    EXPECT_EQ(read_char(lx.stream), EndOfStream);
    EXPECT_TRUE(is_end_of_stream(lx.stream));
    // A pushed-back character decides while it is pending.
    unread_char('b', lx.stream);
    EXPECT_FALSE(is_end_of_stream(lx.stream));
    EXPECT_EQ(read_char(lx.stream), 'b');
    unread_char(EndOfStream, lx.stream);
    EXPECT_TRUE(is_end_of_stream(lx.stream));
}

// A character pushed back puts the column back where it stood before it,
// however it was read: straight from the buffer, in a run, after a tab, as
// UTF-16 or pushed back before.
TEST_F(StreamTest, PushBackRestoresTheColumnAfterEveryKindOfRead) {
    for (const std::string& page : {std::string("\tab cd\tx"), test::as_utf16("\tab cd\tx")}) {
        test::LexerOver lx(page);
        EXPECT_EQ(read_char(lx.stream), '\t');
        EXPECT_EQ(lx.stream->column, 5);
        EXPECT_EQ(read_char(lx.stream), 'a');
        EXPECT_EQ(lx.stream->column, 6);
        unread_char('a', lx.stream);
        EXPECT_EQ(lx.stream->column, 5);
        EXPECT_EQ(read_char(lx.stream), 'a');
        unread_char('a', lx.stream);
        EXPECT_EQ(lx.stream->column, 5);
        EXPECT_EQ(read_char(lx.stream), 'a');
        const std::string_view run =
            take_plain_run(lx.stream, [](unsigned char b) { return b != '\t'; });
        // (UTF-16 is decoded one character at a time.)
        const int last = run.empty() ? read_char(lx.stream) : run.back();
        if (run.empty()) {
            EXPECT_EQ(last, 'b');
        } else {
            EXPECT_EQ(run, "b cd");
        }
        unread_char(last, lx.stream);
        EXPECT_EQ(lx.stream->column, run.empty() ? 6 : 9);
        EXPECT_EQ(read_char(lx.stream), last);
        EXPECT_EQ(lx.stream->column, run.empty() ? 7 : 10);
    }
    test::LexerOver tab("a\tb");
    read_char(tab.stream);
    EXPECT_EQ(read_char(tab.stream), '\t');
    unread_char('\t', tab.stream);
    EXPECT_EQ(tab.stream->column, 2);
}

// A printable character read straight from the buffer and given back with
// unread_plain_char is read again as it was, at the same column, and still
// counts as taken while it waits; a run may take it. Any other character
// (a line feed, one pushed back before, one of UTF-16) is pushed back as
// unread_char does.
TEST_F(StreamTest, PlainPushBackStepsOverTheByteAgain) {
    std::string page = "ab\ncd";
    for (const std::string& bytes : {page, test::as_utf16(page)}) {
        const bool wide = bytes != page;
        const uint64_t mark = wide ? 2 : 0;
        const uint64_t width = wide ? 2 : 1;
        test::LexerOver lx(bytes);
        EXPECT_EQ(read_char(lx.stream), 'a');
        EXPECT_EQ(read_char(lx.stream), 'b');
        EXPECT_EQ(bytes_read(lx.stream), mark + 2 * width);
        unread_plain_char('b', lx.stream);
        EXPECT_EQ(lx.stream->column, 2);
        EXPECT_EQ(bytes_read(lx.stream), mark + 2 * width);
        EXPECT_EQ(read_char(lx.stream), 'b');
        EXPECT_EQ(lx.stream->column, 3);
        EXPECT_EQ(bytes_read(lx.stream), mark + 2 * width);
        EXPECT_EQ(read_char(lx.stream), '\n');
        unread_plain_char('\n', lx.stream);
        EXPECT_EQ(lx.stream->line, 1);
        EXPECT_EQ(lx.stream->column, 3);
        EXPECT_EQ(read_char(lx.stream), '\n');
        EXPECT_EQ(lx.stream->line, 2);
        EXPECT_EQ(read_char(lx.stream), 'c');
        // Pushed back the ordinary way, then given back again.
        unread_char('c', lx.stream);
        EXPECT_EQ(read_char(lx.stream), 'c');
        unread_plain_char('c', lx.stream);
        EXPECT_EQ(lx.stream->column, 1);
        EXPECT_EQ(bytes_read(lx.stream), mark + 4 * width);
        const std::string_view run = take_plain_run(lx.stream, [](unsigned char) { return true; });
        if (wide) {
            EXPECT_TRUE(run.empty());
            EXPECT_EQ(read_char(lx.stream), 'c');
            EXPECT_EQ(read_char(lx.stream), 'd');
        } else {
            EXPECT_EQ(run, "cd");
        }
        EXPECT_EQ(lx.stream->column, 3);
        EXPECT_EQ(bytes_read(lx.stream), mark + 5 * width);
        EXPECT_EQ(read_char(lx.stream), EndOfStream);
    }
    // The first byte, given back after the look for a byte order mark, comes
    // from the store of held bytes: stepping back over it reads it again
    // from the buffer, once.
    test::LexerOver held("<p");
    EXPECT_EQ(read_char(held.stream), '<');
    unread_plain_char('<', held.stream);
    EXPECT_EQ(bytes_read(held.stream), 1u);
    EXPECT_EQ(read_char(held.stream), '<');
    EXPECT_EQ(read_char(held.stream), 'p');
    EXPECT_EQ(read_char(held.stream), EndOfStream);
}

// skip_one_line_feed takes a line feed and nothing else; a character it
// leaves counts as taken until it is read, as one read and pushed back does.
TEST_F(StreamTest, SkipOneLineFeedTakesOnlyALineFeed) {
    std::string page = "a\nb\n\n";
    for (const std::string& bytes : {page, test::as_utf16(page)}) {
        const uint64_t mark = bytes != page ? 2 : 0;
        const uint64_t width = bytes != page ? 2 : 1;
        test::LexerOver lx(bytes);
        EXPECT_EQ(read_char(lx.stream), 'a');
        skip_one_line_feed(lx.stream);
        EXPECT_EQ(lx.stream->line, 2);
        EXPECT_EQ(lx.stream->column, 1);
        EXPECT_EQ(bytes_read(lx.stream), mark + 2 * width);
        skip_one_line_feed(lx.stream);
        EXPECT_EQ(lx.stream->column, 1);
        EXPECT_EQ(bytes_read(lx.stream), mark + 3 * width);
        EXPECT_EQ(read_char(lx.stream), 'b');
        EXPECT_EQ(lx.stream->column, 2);
        EXPECT_EQ(bytes_read(lx.stream), mark + 3 * width);
        // One line feed of two.
        skip_one_line_feed(lx.stream);
        EXPECT_EQ(lx.stream->line, 3);
        EXPECT_EQ(read_char(lx.stream), '\n');
        EXPECT_EQ(lx.stream->line, 4);
        skip_one_line_feed(lx.stream);
        EXPECT_EQ(read_char(lx.stream), EndOfStream);
        EXPECT_EQ(bytes_read(lx.stream), mark + 5 * width);
    }
}

// The count of bytes taken from the file goes up with every byte the
// reading takes, one character at a time or in runs, across the ends of the
// buffer the file is read through; a character pushed back stays counted,
// and so do the bytes a byte order mark test gives back.
TEST_F(StreamTest, BytesReadCountsEveryByteTakenFromTheFile) {
    std::string page;
    while (page.size() < 200000)
        page += "word\r\nx" + std::string(page.size() % 7, 'y');
    test::LexerOver lx(page);
    // The first byte was taken to look for a byte order mark, and given
    // back: read as a character, it is not counted again.
    EXPECT_EQ(bytes_read(lx.stream), 1u);
    EXPECT_EQ(read_char(lx.stream), 'w');
    EXPECT_EQ(bytes_read(lx.stream), 1u);
    uint64_t taken = 1;
    int round = 0;
    while (taken < page.size()) {
        const std::string_view run =
            take_plain_run(lx.stream, [](unsigned char b) { return b != 'x'; });
        taken += run.size();
        ASSERT_EQ(bytes_read(lx.stream), taken);
        const int c = read_char(lx.stream);
        ASSERT_NE(c, EndOfStream);
        // A line end written CR LF is one character of two bytes.
        taken += page.compare(taken, 2, "\r\n") == 0 ? 2 : 1;
        ASSERT_EQ(bytes_read(lx.stream), taken);
        if (++round % 3 == 0) {
            unread_char(c, lx.stream);
            ASSERT_EQ(bytes_read(lx.stream), taken);
            ASSERT_EQ(read_char(lx.stream), c);
            ASSERT_EQ(bytes_read(lx.stream), taken);
        }
    }
    EXPECT_EQ(read_char(lx.stream), EndOfStream);
    EXPECT_EQ(bytes_read(lx.stream), page.size());

    // Two bytes that start but do not make a UTF-8 mark were taken to look
    // at them; given back and read again, they are not counted twice.
    test::LexerOver not_a_mark("\xEF\xBBxyz");
    EXPECT_EQ(bytes_read(not_a_mark.stream), 3u);
    read_char(not_a_mark.stream);
    read_char(not_a_mark.stream);
    EXPECT_EQ(bytes_read(not_a_mark.stream), 3u);
    read_char(not_a_mark.stream);
    read_char(not_a_mark.stream);
    EXPECT_EQ(bytes_read(not_a_mark.stream), 4u);
}

// A check of UTF-8 written from the definition: a lead byte's leading ones
// give the length, every further byte is 10xxxxxx, and the value is a
// Unicode scalar value in its shortest form.
bool is_valid_utf8(const std::string& bytes) {
    for (size_t i = 0; i < bytes.size();) {
        const unsigned lead = static_cast<unsigned char>(bytes[i]);
        size_t length = 0;
        while (length < 8 && (lead & (0x80u >> length)) != 0)
            ++length;
        if (length == 0) {
            ++i;
            continue;
        }
        if (length == 1 || length > 4 || i + length > bytes.size()) return false;
        uint32_t value = lead & (0x7Fu >> length);
        for (size_t k = 1; k < length; ++k) {
            const unsigned b = static_cast<unsigned char>(bytes[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            value = (value << 6) | (b & 0x3F);
        }
        const uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < shortest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

// Reads `bytes` as UTF-8 and writes every character to a UTF-8 output
// stream; also gives the characters and the reports.
struct RoundTrip {
    std::vector<int> chars;
    std::string out;
    std::string messages;
};

RoundTrip round_trip(const std::string& bytes) {
    RoundTrip r;
    test::LexerOver lx(bytes, CharEncoding::Utf8);
    test::MemorySink sink(CharEncoding::Utf8);
    for (int c = read_char(lx.stream); c != EndOfStream; c = read_char(lx.stream)) {
        r.chars.push_back(c);
        write_char(&sink.out, static_cast<uint32_t>(c));
    }
    r.out = sink.bytes();
    r.messages = lx.messages();
    return r;
}

size_t count_of(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Random bytes, weighted towards the bytes that make UTF-8 interesting
// (leads, continuations, the boundaries of the narrowed ranges, markup).
TEST_F(StreamTest, RandomBytesDecodeToValidUtf8AndKeepEveryAsciiByte) {
    std::mt19937 random(20240611);
    const unsigned char interesting[] = {0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
                                         0xDF, 0xE0, 0xE1, 0xED, 0xEE, 0xEF, 0xF0, 0xF4, 0xF5,
                                         0xF8, 0xFE, 0xFF, '<',  '"',  'a',  '\n', 0xBB, 0xBD};
    for (int round = 0; round < 4000; ++round) {
        // The leading "x" keeps byte order marks out of the picture.
        std::string bytes = "x";
        const int length = static_cast<int>(random() % 24);
        for (int k = 0; k < length; ++k) {
            if (random() % 2 == 0) {
                bytes.push_back(static_cast<char>(interesting[random() % sizeof interesting]));
            } else {
                bytes.push_back(static_cast<char>(random() % 256));
            }
        }
        SCOPED_TRACE(testing::PrintToString(bytes));
        const RoundTrip r = round_trip(bytes);
        EXPECT_TRUE(is_valid_utf8(r.out));
        // No byte below 0x80 is ever taken into a character before it:
        // the visible ASCII of the input comes out, in order.
        std::string ascii_in;
        std::string ascii_out;
        for (char b : bytes) {
            if (b > ' ' && b < 0x7F) ascii_in.push_back(b);
        }
        for (int c : r.chars) {
            if (c > ' ' && c < 0x7F) ascii_out.push_back(static_cast<char>(c));
        }
        EXPECT_EQ(ascii_in, ascii_out);
        // Each replacement is reported, except a U+FFFD that was in the input.
        const size_t replaced =
            static_cast<size_t>(std::count(r.chars.begin(), r.chars.end(), 0xFFFD));
        EXPECT_EQ(count_of(r.messages, "invalid UTF-8"),
                  replaced - count_of(bytes, "\xEF\xBF\xBD"));
    }
}

// Well-formed UTF-8 of characters that reading leaves alone (no control
// characters but the line feed, none of the Windows range 0x80-0x9F) comes
// out byte for byte.
TEST_F(StreamTest, ValidUtf8RoundTripsUnchanged) {
    std::mt19937 random(7);
    auto encode = [](std::string* out, uint32_t c) {
        if (c < 0x80) {
            out->push_back(static_cast<char>(c));
            return;
        }
        const int length = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        const unsigned marks[] = {0, 0, 0xC0, 0xE0, 0xF0};
        out->push_back(static_cast<char>(marks[length] | (c >> (6 * (length - 1)))));
        for (int k = length - 2; k >= 0; --k)
            out->push_back(static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F)));
    };
    const uint32_t limits[] = {0x80, 0x800, 0x10000, 0x110000};
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = "x";
        const int length = static_cast<int>(random() % 16);
        for (int k = 0; k < length; ++k) {
            uint32_t c = random() % limits[random() % 4];
            if (c < 0x20 && c != '\n') c += 0x20;
            if (c >= 0x80 && c <= 0x9F) c += 0x20;
            if (c >= 0xD800 && c <= 0xDFFF) c += 0x800;
            encode(&bytes, c);
        }
        SCOPED_TRACE(testing::PrintToString(bytes));
        const RoundTrip r = round_trip(bytes);
        EXPECT_EQ(r.out, bytes);
        EXPECT_EQ(r.messages, "");
    }
}

} // namespace
} // namespace varnel
