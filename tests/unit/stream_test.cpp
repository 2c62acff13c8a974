// Input decoding: encodings, tabs, control characters, positions and
// push-back.
#include <gtest/gtest.h>

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

TEST_F(StreamTest, TabsExpandToTheNextStop) {
    test::LexerOver lx("a\tb");
    EXPECT_EQ(read_char(lx.stream), 'a');
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(read_char(lx.stream), ' ');
    EXPECT_EQ(lx.stream->column, 5);
    EXPECT_EQ(read_char(lx.stream), 'b');
    options.tab_size = 8;
    EXPECT_EQ(decode("\tx", CharEncoding::Ascii),
              (std::vector<int>{' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 'x'}));
    options.tab_size = 0;
    EXPECT_EQ(decode("\tx", CharEncoding::Ascii), (std::vector<int>{' ', 'x'}));
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

TEST_F(StreamTest, Utf8IsDecodedLeniently) {
    EXPECT_EQ(decode("\xe2\x82\xac\xf0\x9f\x98\x80", CharEncoding::Utf8),
              (std::vector<int>{0x20AC, 0x1F600}));
    // A stray continuation byte stands for itself; a sequence cut off by the
    // end of input ends the stream.
    EXPECT_EQ(decode("\xbfx", CharEncoding::Utf8), (std::vector<int>{0xBF, 'x'}));
    EXPECT_EQ(decode("x\xe2\x82", CharEncoding::Utf8), std::vector<int>{'x'});
}

TEST_F(StreamTest, MacRomanAndIso2022) {
    EXPECT_EQ(decode("\x80\xdb\xa5", CharEncoding::MacRoman),
              (std::vector<int>{0xC4, 0x20AC, 0x2022}));
    EXPECT_EQ(decode("\x1b$Bab\x1b(Bc", CharEncoding::Iso2022),
              (std::vector<int>{27, '$', 'B', 'a' | 0x80, 'b' | 0x80, 27, '(', 'B', 'c'}));
}

TEST_F(StreamTest, Utf8EncoderAndDecoderAgree) {
    for (uint32_t c : {0x41u, 0x7FFu, 0x800u, 0xFFFFu, 0x10000u, 0x10FFFFu, 0x1FFFFFu}) {
        unsigned char buffer[8];
        unsigned char* end = encode_utf8(buffer, c);
        uint32_t back = 0;
        int extra = decode_utf8(buffer, &back);
        EXPECT_EQ(back, c);
        EXPECT_EQ(extra + 1, end - buffer);
    }
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

} // namespace
} // namespace varnel
