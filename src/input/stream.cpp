// Input stream: decoding, tab stops, control-character dropping, line and
// column counting and one character of push-back.
#include "input/stream.h"

#include "base/util.h"
#include "input/lexer.h"
#include "model/reports.h"
#include "model/entities.h"

namespace varnel {

static void read_byte_order_mark(InputStream* stream);

// Sets `direct` from the three conditions it stands for.
static inline void update_direct(InputStream* stream) {
    stream->direct = stream->plain_ascii && !stream->char_pushed && stream->held_count == 0;
}

// How many bytes are read from the file at a time.
constexpr size_t InputBufferSize = size_t{1} << 14;

// The byte order mark, if any, is read when the stream is opened: it decides
// how everything after it is decoded.
InputStream* new_input_stream(FILE* file, CharEncoding encoding, int32_t tab_size) {
    InputStream* stream = new InputStream();
    stream->file = file;
    stream->encoding = encoding;
    stream->tab_size = tab_size;
    if (file != nullptr) stream->buffer.reset(new unsigned char[InputBufferSize]);
    read_byte_order_mark(stream);
    stream->plain_ascii =
        stream->utf16 == Utf16Order::None && stream->encoding != CharEncoding::Iso2022;
    update_direct(stream);
    return stream;
}

void free_input_stream(InputStream* stream) {
    delete stream;
}

// The column after a tab read at `column`: the next tab stop of the
// tab-size option (a size below 1 counts a tab as one column).
static int next_tab_column(const InputStream* stream, int column) {
    const int tab = stream->tab_size;
    return tab > 0 ? column + tab - (column - 1) % tab : column + 1;
}

// Large pages for the TextBuffer of a large input, decided a 2 MiB stretch
// at a time as the text comes near it: a stretch gets them when the text,
// growing as it has so far for each byte of input, will fill it by the
// end of the input. A large page is backed whole at its first write, so
// the one the text ends in would hold up to 2 MiB that no text uses; that
// stretch stays in small pages, of which only those written take memory.
// (Stretches the text passed before they were decided on stay in small
// pages too: a matter of speed only.)
static void advise_text_pages(Lexer* lexer, uint64_t read) {
    // How far ahead of the text a stretch is decided on: more than the
    // text one buffer of input can add.
    constexpr size_t Ahead = 8 * InputBufferSize;
    // Before this much input the text's rate says little yet.
    constexpr uint64_t Settled = uint64_t{1} << 20;
    std::string& text = lexer->text;
    const auto base = reinterpret_cast<uintptr_t>(text.data());
    const size_t filled = text.size();
    while (lexer->text_pages_decided < text.capacity()) {
        const uintptr_t from = (base + lexer->text_pages_decided + LargePageBytes - 1) &
                               ~(uintptr_t{LargePageBytes} - 1);
        const size_t to = from + LargePageBytes - base; // the stretch's end, as an offset
        if (to > text.capacity()) {
            lexer->text_pages_decided = text.capacity();
            break;
        }
        if (filled + Ahead < from - base) break;
        bool filled_by_end = read < Settled;
        if (!filled_by_end && read < lexer->input_size) {
            const double rate = static_cast<double>(filled) / static_cast<double>(read);
            filled_by_end = static_cast<double>(filled) +
                                rate * static_cast<double>(lexer->input_size - read) >=
                            static_cast<double>(to);
        }
        if (filled_by_end) advise_large_pages(reinterpret_cast<void*>(from), LargePageBytes);
        lexer->text_pages_decided = to;
    }
}

// Fills the buffer with the next bytes of the file; false when there are
// none.
static bool fill_buffer(InputStream* stream) {
    if (stream->file == nullptr) return false;
    const size_t got = fread(stream->buffer.get(), 1, InputBufferSize, stream->file);
    stream->start_offset += static_cast<uint64_t>(stream->end - stream->start);
    if (stream->lexer != nullptr && stream->lexer->input_size != 0)
        advise_text_pages(stream->lexer, stream->start_offset + got);
    stream->start = stream->next = stream->buffer.get();
    stream->end = stream->next + got;
    stream->stepped_back = nullptr;
    if (got > 0) return true;
    // An error is not the end: the next read tries again, as with getc.
    if (feof(stream->file) != 0) stream->met_end = true;
    return false;
}

static int next_file_byte(InputStream* stream) {
    if (stream->next == stream->end && !fill_buffer(stream)) return EndOfStream;
    return *stream->next++;
}

// Gives back a byte that was read ahead; it is the next one read_byte
// delivers.
static void unread_byte(InputStream* stream, int b) {
    if (b == EndOfStream) return;
    // A byte is only given back right after it was read, so the store
    // never holds more than the byte order mark test put there.
    if (stream->held_count < static_cast<int>(sizeof stream->held))
        stream->held[stream->held_count++] = static_cast<unsigned char>(b);
    stream->direct = false;
}

// Looks at the first bytes of the input. A UTF-8 byte order mark
// (EF BB BF) is skipped, whatever the input encoding but ISO-2022, because as
// text it would open the body before the head could be read. A UTF-16 mark
// (FF FE little-endian, FE FF big-endian) is skipped too and makes the stream
// decode UTF-16: read as single bytes, such a file is nothing but garbage and
// NUL characters. Other bytes read to decide are given back in order.
static void read_byte_order_mark(InputStream* stream) {
    const int first = next_file_byte(stream);
    if (first == 0xFF || first == 0xFE) {
        const int second = next_file_byte(stream);
        if (second == (first ^ 0x01)) {
            stream->utf16 = first == 0xFF ? Utf16Order::LittleEndian : Utf16Order::BigEndian;
            return;
        }
        unread_byte(stream, second);
    } else if (first == 0xEF && stream->encoding != CharEncoding::Iso2022) {
        const int second = next_file_byte(stream);
        if (second == 0xBB) {
            const int third = next_file_byte(stream);
            if (third == 0xBF) return; // the whole mark: drop it
            unread_byte(stream, third);
        }
        unread_byte(stream, second);
    }
    unread_byte(stream, first);
}

// The next byte of the input.
static inline int read_byte(InputStream* stream) {
    if (stream->held_count > 0) {
        const int b = stream->held[--stream->held_count];
        update_direct(stream);
        return b;
    }
    return next_file_byte(stream);
}

// Reports input replaced by U+FFFD at the position the replacement takes.
static void report_replaced(InputStream* stream, CharMessage code, const uint32_t* values,
                            int count) {
    if (stream->lexer == nullptr) return;
    report_decoding_warning(stream->lexer, code, static_cast<uint32_t>(stream->line),
                            static_cast<uint32_t>(stream->column), values, count);
}

// Reads the rest of a UTF-8 sequence whose lead byte (0x80 or above) is
// `lead`. Bytes that form no character (the longest start of a sequence
// that cannot be completed, or a byte that starts none) become one U+FFFD
// with a warning; the byte that broke the sequence is read again as the
// start of the next character.
static int read_utf8(InputStream* stream, int lead) {
    uint32_t seen[4] = {static_cast<uint32_t>(lead)};
    int count = 1;
    Utf8Lead info;
    if (!utf8_lead(static_cast<unsigned>(lead), &info)) {
        report_replaced(stream, InvalidUtf8, seen, count);
        return ReplacementChar;
    }
    uint32_t value = info.payload;
    unsigned lower = info.lower;
    unsigned upper = info.upper;
    for (int i = 0; i < info.following; ++i) {
        const int b = read_byte(stream);
        if (b == EndOfStream || static_cast<unsigned>(b) < lower ||
            static_cast<unsigned>(b) > upper) {
            unread_byte(stream, b);
            report_replaced(stream, InvalidUtf8, seen, count);
            return ReplacementChar;
        }
        seen[count++] = static_cast<uint32_t>(b);
        value = (value << 6) | (static_cast<uint32_t>(b) & 0x3F);
        lower = 0x80;
        upper = 0xBF;
    }
    return static_cast<int>(value);
}

// The code unit of two bytes in the stream's UTF-16 byte order.
static int utf16_unit(const InputStream* stream, int first, int second) {
    return stream->utf16 == Utf16Order::LittleEndian ? (second << 8) | first
                                                     : (first << 8) | second;
}

// Reads one UTF-16 character: a code unit, or a pair of surrogates. A
// surrogate without its partner, and a last byte that is only half a code
// unit, become U+FFFD with a warning; a unit that follows a lone high
// surrogate is read again on its own.
static int read_utf16(InputStream* stream) {
    const int first = read_byte(stream);
    if (first == EndOfStream) return EndOfStream;
    const int second = read_byte(stream);
    if (second == EndOfStream) {
        const uint32_t lone = static_cast<uint32_t>(first);
        report_replaced(stream, IncompleteUtf16, &lone, 1);
        return ReplacementChar;
    }
    const int unit = utf16_unit(stream, first, second);
    if (unit < 0xD800 || unit > 0xDFFF) return unit;
    if (unit <= 0xDBFF) {
        const int third = read_byte(stream);
        const int fourth = third == EndOfStream ? EndOfStream : read_byte(stream);
        if (fourth != EndOfStream) {
            const int low = utf16_unit(stream, third, fourth);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            }
        }
        unread_byte(stream, fourth);
        unread_byte(stream, third);
    }
    const uint32_t lone = static_cast<uint32_t>(unit);
    report_replaced(stream, UnpairedSurrogate, &lone, 1);
    return ReplacementChar;
}

// After a carriage return: consumes the line feed that follows it, if one
// does, and otherwise leaves the input as it was.
static void skip_line_feed(InputStream* stream) {
    const int first = read_byte(stream);
    if (stream->utf16 == Utf16Order::None) {
        if (first != '\n') unread_byte(stream, first);
        return;
    }
    const int second = first == EndOfStream ? EndOfStream : read_byte(stream);
    if (second != EndOfStream && utf16_unit(stream, first, second) == '\n') return;
    unread_byte(stream, second);
    unread_byte(stream, first);
}

// Decodes the ISO-2022 escape state for byte `c`. Returns the byte to
// process further, or sets *deliver when the byte goes out at once (an
// escape, or the bytes of a designation).
static int track_iso2022(InputStream* stream, int c, bool* deliver) {
    *deliver = false;
    if (c == 27) {
        stream->iso_state = 1;
        *deliver = true;
        return c;
    }
    switch (stream->iso_state) {
    case 1:
        if (c == '$' || c == '(') {
            stream->iso_state = c == '$' ? 2 : 4;
            stream->column++;
            *deliver = true;
            return c;
        }
        stream->iso_state = 0;
        break;
    case 2:
        if (c == '(') {
            stream->iso_state = 3;
            stream->column++;
            *deliver = true;
            return c;
        }
        stream->iso_state = 5;
        break;
    case 3:
        stream->iso_state = 5;
        break;
    case 4:
        stream->iso_state = 0;
        break;
    case 5:
        c |= 0x80;
        break;
    default:
        break;
    }
    return c;
}

int read_pushed_char(InputStream* stream) {
    stream->char_pushed = false;
    update_direct(stream);
    const int c = stream->pushed_value;
    // The end of input has one position, however often it is read.
    if (c == EndOfStream) return c;
    if (c == '\n') {
        stream->column = 1;
        stream->line++;
        return c;
    }
    stream->column = c == '\t' ? next_tab_column(stream, stream->column) : stream->column + 1;
    return c;
}

int read_char_decoded(InputStream* stream) {
    if (stream->char_pushed) return read_pushed_char(stream);
    // A line feed straight from the buffer means itself in every encoding
    // that reads ASCII as itself, and ends the line.
    if (stream->direct && stream->next != stream->end && *stream->next == '\n') {
        ++stream->next;
        stream->last_column = stream->column;
        stream->column = 1;
        ++stream->line;
        return '\n';
    }
    stream->last_column = stream->column;
    const bool utf16 = stream->utf16 != Utf16Order::None;
    for (;;) {
        int c;
        if (utf16) {
            c = read_utf16(stream);
        } else {
            c = read_byte(stream);
            // Printable ASCII means itself in every encoding but ISO-2022,
            // whose shift state can change it: the common case goes straight
            // out.
            if (c >= 0x20 && c < 0x7F && stream->encoding != CharEncoding::Iso2022) {
                stream->column++;
                return c;
            }
            if (c == EndOfStream) return EndOfStream;
            if (stream->encoding == CharEncoding::Utf8) {
                if (c >= 0x80) c = read_utf8(stream, c);
            } else if (stream->encoding == CharEncoding::Iso2022) {
                bool deliver;
                c = track_iso2022(stream, c, &deliver);
                if (deliver) return c;
            }
        }
        if (c < 0) return EndOfStream;
        if (c == '\t') {
            // A tab is delivered as it is: where white space collapses it
            // becomes a space anyway, and in preformatted text, scripts and
            // comments it stays a tab. Expanded here, its width would count
            // the markup before it on the line, which the browser does not
            // see, and aligned columns of code would come out ragged. Only
            // the column, for reports, moves on to the next tab stop.
            stream->column = next_tab_column(stream, stream->column);
            return c;
        }
        if (c == 27) return c;
        // A carriage return ends a line: with the line feed after it the
        // pair is one line end, and alone (old Macintosh files) it is one
        // too, so that the words on either side are not run together.
        if (c == '\r') {
            skip_line_feed(stream);
            c = '\n';
        }
        if (c == '\n') {
            stream->column = 1;
            stream->line++;
            return c;
        }
        if (c >= 1 && c < 32) continue;
        if (stream->encoding == CharEncoding::Raw || stream->encoding == CharEncoding::Iso2022) {
            stream->column++;
            return c;
        }
        // The MacRoman table maps bytes; UTF-16 gives code points already.
        if (stream->encoding == CharEncoding::MacRoman && !utf16 && c < 256)
            c = static_cast<int>(mac_roman_table[c]);
        if (c >= 0x80 && c <= 0x9F) {
            if (stream->lexer != nullptr) {
                report_encoding_warning(stream->lexer, IllegalCharCode, static_cast<uint32_t>(c));
            }
            c = static_cast<int>(windows1252_table[c - 0x80]);
            if (c == 0) continue;
        }
        stream->column++;
        return c;
    }
}

void unread_char(int c, InputStream* stream) {
    stream->char_pushed = true;
    stream->direct = false;
    stream->pushed_value = c;
    if (c == '\n') stream->line--;
    // Printable ASCII is one column wide however it was read; the short
    // ways of reading it do not note the column before it.
    const bool one_column = static_cast<unsigned>(c) - 0x20u < 0x5Fu;
    stream->column = one_column ? stream->column - 1 : stream->last_column;
}

// True once a read has met the end of the byte source (not merely when the
// next read would): the attribute scanner relies on reading the end itself
// to report a tag cut off by the end of input.
bool is_end_of_stream(InputStream* stream) {
    if (stream->char_pushed) return stream->pushed_value == EndOfStream;
    if (stream->held_count > 0 || stream->next != stream->end) return false;
    return stream->file == nullptr || stream->met_end;
}

} // namespace varnel
