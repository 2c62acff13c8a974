// The input stream: turns the bytes of one input file into characters for the
// lexer, decoding the configured encoding, mapping Windows-1252 codes with a
// warning, keeping tab stops for the column count, dropping control characters, counting lines and
// columns, and allowing one character of push-back. UTF-8 is decoded
// strictly: every invalid sequence becomes U+FFFD with a warning, and a byte
// that does not continue a sequence is read again as the start of the next
// character. A file that starts with a UTF-16 byte order mark is decoded as
// UTF-16 whatever the configured encoding.
//
// The file is read through a large buffer of the stream's own. Printable
// ASCII, in every encoding that reads it as itself, takes a short way out
// of read_char, and the lexer may take whole runs of such bytes at once
// (take_plain_run) instead of one character per call.
//
// The pipeline opens one stream per document over a FILE* it owns.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

#include "base/config.h"
#include "base/utf8.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace varnel {

struct Lexer;

constexpr int EndOfStream = -1;

// The byte order of a document that starts with a UTF-16 byte order mark.
enum class Utf16Order : uint8_t { None, LittleEndian, BigEndian };

struct InputStream {
    int iso_state = 0;
    bool char_pushed = false;
    int pushed_value = 0;
    // The column before the last character read, when that was not
    // printable ASCII (which always moves the column on by one).
    int last_column = 1;
    int column = 1;
    int line = 1;
    CharEncoding encoding = CharEncoding::Ascii;
    // The tab stops columns are counted with (the tab-size option).
    int32_t tab_size = 4;
    FILE* file = nullptr; // not owned
    Lexer* lexer = nullptr;
    Utf16Order utf16 = Utf16Order::None; // set by a UTF-16 byte order mark
    // Bytes read ahead and given back (byte order marks that were not,
    // bytes that ended a sequence they did not belong to), next one last.
    int held_count = 0;
    unsigned char held[8] = {};
    // Printable ASCII bytes stand for themselves: not so in UTF-16, nor
    // in ISO-2022, whose shift state can change them.
    bool plain_ascii = false;
    // A read found the file at its end.
    bool met_end = false;
    // The next character comes straight from the buffer when it is
    // printable ASCII: plain_ascii holds, nothing is pushed back and no
    // byte is held. Kept up to date by whatever changes those three, so
    // that the short ways test one flag.
    bool direct = false;
    // The bytes read from the file and not yet taken: [next, end) of
    // `buffer`, whose bytes from `start` on came with the last read;
    // `start_offset` is the number of bytes the file gave before them.
    std::unique_ptr<unsigned char[]> buffer;
    const unsigned char* start = nullptr;
    const unsigned char* next = nullptr;
    const unsigned char* end = nullptr;
    uint64_t start_offset = 0;
    // Where a character given back by stepping over its byte again (see
    // unread_plain_char) stands while it has not been read again; it still
    // counts as taken then. Cleared when the buffer is filled anew.
    const unsigned char* stepped_back = nullptr;
};

// The bytes taken from the file so far (those held or pushed back too).
inline uint64_t bytes_read(const InputStream* stream) {
    return stream->start_offset + static_cast<uint64_t>(stream->next - stream->start) +
           (stream->next == stream->stepped_back ? 1 : 0);
}

InputStream* new_input_stream(FILE* file, CharEncoding encoding, int32_t tab_size = 4);
void free_input_stream(InputStream* stream);

// Every case of read_char but the short way for printable ASCII.
int read_char_decoded(InputStream* stream);
// Delivers the character that was pushed back.
int read_pushed_char(InputStream* stream);

// The next character of the input, or EndOfStream.
inline int read_char(InputStream* stream) {
    if (stream->direct && stream->next != stream->end) {
        const unsigned b = *stream->next;
        if (b - 0x20u < 0x5Fu) {
            ++stream->next;
            ++stream->column; // (unread_char knows it was one column)
            return static_cast<int>(b);
        }
    }
    // (A character pushed back, common after a look at the next one, has a
    // short way of its own.)
    if (stream->char_pushed) return read_pushed_char(stream);
    return read_char_decoded(stream);
}

// Pushes back `c`, which must be the character read last (or the end of
// input), and moves the position back to where it stood before it.
void unread_char(int c, InputStream* stream);
bool is_end_of_stream(InputStream* stream);

// Pushes back `c` as unread_char does. A printable ASCII character that came
// straight from the buffer is given back by moving back over its byte, so
// that reading it again takes the short way of read_char, and the runs
// (take_plain_run ...) may take it too: callers use this where that makes
// no difference.
inline void unread_plain_char(int c, InputStream* stream) {
    if (stream->direct && stream->next != stream->start &&
        static_cast<unsigned>(c) - 0x20u < 0x5Fu && stream->next[-1] == c) {
        --stream->next;
        --stream->column;
        stream->stepped_back = stream->next;
        return;
    }
    unread_char(c, stream);
}

// Takes the next character when it is a line feed, and leaves any other
// where it is, as reading it and pushing it back would: a printable
// character next in the buffer is only looked at (and counts as taken
// until it is read, as one pushed back does).
inline void skip_one_line_feed(InputStream* stream) {
    if (stream->direct && stream->next != stream->end) {
        const unsigned b = *stream->next;
        if (b - 0x20u < 0x5Fu) {
            stream->stepped_back = stream->next;
            return;
        }
    }
    const int c = read_char(stream);
    if (c != '\n') unread_plain_char(c, stream);
}

// Takes at once the characters that read_char would deliver next, as long
// as `accept` admits them, and returns them. `accept` is asked about each
// byte in turn and may admit only printable ASCII (0x20 to 0x7E): those
// bytes stand for themselves and are one column wide. The run is empty
// when the next character does not come straight from the buffer (one was
// pushed back, bytes are held, the encoding changes ASCII) and it ends
// where the buffer does: read_char then carries on. The bytes stay valid
// until the next read.
// Takes the next `count` bytes of the buffer at once, as take_plain_run
// does; the caller has made sure that read_char would deliver them next
// (`direct`) and that they are printable ASCII.
inline std::string_view take_bytes(InputStream* stream, size_t count) {
    if (count == 0) return {};
    const unsigned char* const first = stream->next;
    stream->next += count;
    stream->column += static_cast<int>(count);
    return {reinterpret_cast<const char*>(first), count};
}

// Takes the first part of a run that take_plain_run would take, looking at
// sixteen bytes at a time where the processor has SSE2 (every x86-64 has).
// The run ends before a byte that is not printable ASCII, before any of
// `ends` (up to eight bytes), and before a space that follows a space (any
// space when `any_space_ends`). `*space` says whether the byte before the
// run was a space and is left saying whether the run's last byte is one.
// Sets *ended when the run ended; when not, fewer than sixteen bytes are
// left in the buffer (or the processor lacks SSE2) and the caller carries
// on byte by byte.
inline std::string_view take_run16(InputStream* stream, std::string_view ends, bool any_space_ends,
                                   unsigned* space, bool* ended) {
    *ended = false;
#if defined(__SSE2__)
    if (!stream->direct) return {};
    __m128i end_bytes[8];
    const size_t end_count = ends.size() < 8 ? ends.size() : 8;
    for (size_t i = 0; i < end_count; ++i)
        end_bytes[i] = _mm_set1_epi8(ends[i]);
    const unsigned char* p = stream->next;
    while (stream->end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // (Compared as signed bytes, those from 0x80 on are below 0x20.)
        __m128i stop = _mm_or_si128(_mm_cmplt_epi8(v, _mm_set1_epi8(0x20)),
                                    _mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F)));
        for (size_t i = 0; i < end_count; ++i)
            stop = _mm_or_si128(stop, _mm_cmpeq_epi8(v, end_bytes[i]));
        const auto spaces =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(' '))));
        const unsigned stops = static_cast<unsigned>(_mm_movemask_epi8(stop)) |
                               (any_space_ends ? spaces : spaces & ((spaces << 1) | *space));
        if (stops == 0) {
            *space = spaces >> 15;
            p += 16;
            continue;
        }
        const int n = std::countr_zero(stops);
        if (n > 0) *space = (spaces >> (n - 1)) & 1;
        p += n;
        *ended = true;
        break;
    }
    return take_bytes(stream, static_cast<size_t>(p - stream->next));
#else
    (void)stream;
    (void)ends;
    (void)any_space_ends;
    (void)space;
    return {};
#endif
}

template <typename Accept>
inline std::string_view take_plain_run(InputStream* stream, Accept accept) {
    if (!stream->direct) return {};
    const unsigned char* const first = stream->next;
    const unsigned char* p = first;
    while (p != stream->end && accept(*p))
        ++p;
    return take_bytes(stream, static_cast<size_t>(p - first));
}

} // namespace varnel
