// Input stream: decoding, tab expansion, control-character dropping, line and
// column counting and one character of push-back.
#include "input/stream.h"

#include "driver/messages.h"
#include "input/lexer.h"
#include "model/entities.h"

namespace varnel {

InputStream* new_input_stream(FILE* file, CharEncoding encoding) {
    InputStream* stream = new InputStream();
    stream->file = file;
    stream->encoding = encoding;
    return stream;
}

void free_input_stream(InputStream* stream) {
    delete stream;
}

static int next_file_byte(InputStream* stream) {
    if (stream->file == nullptr) return EndOfStream;
    int c = getc_unlocked(stream->file);
    if (c == EOF) return EndOfStream;
    ++stream->bytes_read;
    return c;
}

// Looks at the first bytes of the input once: a UTF-8 byte order mark
// (EF BB BF) is skipped, whatever the input encoding, because as text it
// would open the body before the head could be read. Other bytes read to
// decide are held and delivered in order.
static void skip_byte_order_mark(InputStream* stream) {
    stream->started = true;
    if (stream->encoding == CharEncoding::Iso2022) return;
    static const unsigned char mark[3] = {0xEF, 0xBB, 0xBF};
    for (int i = 0; i < 3; ++i) {
        int b = next_file_byte(stream);
        if (b == EndOfStream) return;
        stream->held[stream->held_bytes++] = static_cast<unsigned char>(b);
        if (b != mark[i]) return;
    }
    stream->held_bytes = 0; // the whole mark: drop it
}

static inline int read_byte(InputStream* stream) {
    if (stream->held_next < stream->held_bytes) return stream->held[stream->held_next++];
    if (!stream->started) {
        skip_byte_order_mark(stream);
        return read_byte(stream);
    }
    return next_file_byte(stream);
}

// Reads the continuation bytes of a UTF-8 sequence whose lead byte is `c`.
// The payload of each following byte is taken without checking its form.
static int read_utf8(InputStream* stream, int c) {
    int count;
    int value;
    if ((c & 0xE0) == 0xC0) {
        count = 1;
        value = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        count = 2;
        value = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        count = 3;
        value = c & 0x07;
    } else if ((c & 0xFC) == 0xF8) {
        count = 4;
        value = c & 0x03;
    } else if ((c & 0xFE) == 0xFC) {
        count = 5;
        value = c & 0x01;
    } else {
        return c;
    }
    for (int i = 0; i < count; ++i) {
        int b = read_byte(stream);
        if (b == EndOfStream) return EndOfStream;
        value = (value << 6) | (b & 0x3F);
    }
    return value;
}

int read_char(InputStream* stream) {
    if (stream->char_pushed) {
        stream->char_pushed = false;
        int c = stream->pushed_value;
        // The end of input has one position, however often it is read.
        if (c == EndOfStream) return c;
        if (c == '\n') {
            stream->column = 1;
            stream->line++;
            return c;
        }
        stream->column++;
        return c;
    }
    stream->last_column = stream->column;
    if (stream->pending_spaces > 0) {
        stream->pending_spaces--;
        stream->column++;
        return ' ';
    }
    for (;;) {
        int c = read_byte(stream);
        // Printable ASCII means itself in every encoding but ISO-2022,
        // whose shift state can change it: the common case goes straight out.
        if (c >= 0x20 && c < 0x7F && stream->encoding != CharEncoding::Iso2022) {
            stream->column++;
            return c;
        }
        if (c == EndOfStream) return EndOfStream;
        switch (stream->encoding) {
        case CharEncoding::Utf8:
            if (c >= 0x80) c = read_utf8(stream, c);
            break;
        case CharEncoding::Iso2022:
            if (c == 27) {
                stream->iso_state = 1;
                return c;
            }
            switch (stream->iso_state) {
            case 1:
                if (c == '$') {
                    stream->iso_state = 2;
                    stream->column++;
                    return c;
                }
                if (c == '(') {
                    stream->iso_state = 4;
                    stream->column++;
                    return c;
                }
                stream->iso_state = 0;
                break;
            case 2:
                if (c == '(') {
                    stream->iso_state = 3;
                    stream->column++;
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
            break;
        default:
            break;
        }
        if (c < 0) return EndOfStream;
        if (c == '\t') {
            int tab = options.tab_size;
            // A tab size below 1 expands a tab to a single space.
            stream->pending_spaces = tab > 0 ? tab - ((stream->column - 1) % tab) - 1 : 0;
            stream->column++;
            return ' ';
        }
        if (c == 27) return c;
        // A carriage return ends a line: with the line feed after it the
        // pair is one line end, and alone (old Macintosh files) it is one
        // too, so that the words on either side are not run together.
        if (c == '\r') {
            const int held_before = stream->held_next;
            int next = read_byte(stream);
            if (next != '\n' && next != EndOfStream) {
                if (stream->held_next != held_before) {
                    --stream->held_next;
                } else {
                    ungetc(next, stream->file);
                }
            }
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
        if (stream->encoding == CharEncoding::MacRoman && c < 256)
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
    stream->pushed_value = c;
    if (c == '\n') stream->line--;
    stream->column = stream->last_column;
}

// True once a read has met the end of the byte source (not merely when the
// next read would): the attribute scanner relies on reading the end itself
// to report a tag cut off by the end of input.
bool is_end_of_stream(InputStream* stream) {
    if (stream->char_pushed) return stream->pushed_value == EndOfStream;
    if (stream->held_next < stream->held_bytes) return false;
    return stream->file == nullptr || feof(stream->file) != 0;
}

namespace {

// The payload of a UTF-8 lead byte and the number of bytes that follow it;
// 0 following bytes for a byte that leads no sequence.
int utf8_lead(uint32_t* c) {
    if ((*c & 0xE0) == 0xC0) {
        *c &= 0x1F;
        return 1;
    }
    if ((*c & 0xF0) == 0xE0) {
        *c &= 0x0F;
        return 2;
    }
    if ((*c & 0xF8) == 0xF0) {
        *c &= 0x07;
        return 3;
    }
    if ((*c & 0xFC) == 0xF8) {
        *c &= 0x03;
        return 4;
    }
    if ((*c & 0xFE) == 0xFC) {
        *c &= 0x01;
        return 5;
    }
    return 0;
}

} // namespace

int decode_utf8(const unsigned char* bytes, uint32_t* code) {
    uint32_t c = bytes[0];
    int count = utf8_lead(&c);
    for (int i = 1; i <= count; ++i)
        c = (c << 6) | (bytes[i] & 0x3F);
    *code = c;
    return count;
}

uint32_t decode_char_at(const unsigned char* text, size_t* i, size_t end) {
    uint32_t c = text[*i];
    if (c < 0x80) return c;
    int extra = utf8_lead(&c);
    for (int k = 0; k < extra; ++k) {
        size_t next = *i + 1;
        if (next >= end || (text[next] & 0xC0) != 0x80) break;
        c = (c << 6) | (text[next] & 0x3F);
        *i = next;
    }
    return c;
}

unsigned char* encode_utf8(unsigned char* buffer, uint32_t c) {
    if (c < 0x80) {
        *buffer++ = static_cast<unsigned char>(c);
    } else if (c <= 0x7FF) {
        *buffer++ = static_cast<unsigned char>(0xC0 | (c >> 6));
        *buffer++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else if (c <= 0xFFFF) {
        *buffer++ = static_cast<unsigned char>(0xE0 | (c >> 12));
        *buffer++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        *buffer++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else if (c <= 0x1FFFFF) {
        *buffer++ = static_cast<unsigned char>(0xF0 | (c >> 18));
        *buffer++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
        *buffer++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        *buffer++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else {
        *buffer++ = static_cast<unsigned char>(0xF8 | (c >> 24));
        *buffer++ = static_cast<unsigned char>(0x80 | ((c >> 18) & 0x3F));
        *buffer++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
        *buffer++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        *buffer++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
    return buffer;
}

} // namespace varnel
