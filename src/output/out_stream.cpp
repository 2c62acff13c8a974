// The pending line, character escaping and the byte encoders of the output.
#include "output/out_stream.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/util.h"
#include "input/lexer.h"
#include "input/stream.h"
#include "model/entities.h"

namespace varnel {

namespace {

constexpr uint32_t Space = ' ';
constexpr uint32_t LineFeed = '\n';
constexpr uint32_t NoBreakSpace = 0xA0;

// The MacRoman byte for `c`, or -1 when the character set has none.
int mac_roman_byte(uint32_t c) {
    if (c < 0x80) return static_cast<int>(c);
    using Entry = std::pair<uint32_t, uint8_t>;
    static const std::array<Entry, 128> by_code = [] {
        std::array<Entry, 128> t{};
        for (uint32_t b = 0x80; b < 0x100; ++b)
            t[b - 0x80] = {mac_roman_table[b], static_cast<uint8_t>(b)};
        std::sort(t.begin(), t.end());
        return t;
    }();
    auto it = std::lower_bound(by_code.begin(), by_code.end(), Entry{c, 0});
    return it != by_code.end() && it->first == c ? it->second : -1;
}

// True when the output encoding has bytes for `c`. Raw and ISO-2022 output
// (whose characters are the bytes read) and the Latin-1 range of ASCII
// output write one byte per character up to 0xFF; MacRoman has its own
// table; UTF-8 carries every Unicode scalar value.
bool output_carries(CharEncoding encoding, uint32_t c) {
    switch (encoding) {
    case CharEncoding::Utf8:
        return is_unicode_scalar(c);
    case CharEncoding::MacRoman:
        return mac_roman_byte(c) >= 0;
    case CharEncoding::Raw:
    case CharEncoding::Ascii:
    case CharEncoding::Latin1:
    case CharEncoding::Iso2022:
        break;
    }
    return c <= 0xFF;
}

// Appends "&#<decimal>;".
void add_numeric_entity(OutputStream* out, uint32_t c) {
    char text[16];
    int n = snprintf(text, sizeof text, "&#%u;", c);
    for (int i = 0; i < n; ++i)
        add_char(out, static_cast<unsigned char>(text[i]));
}

// Appends "&name;".
void add_named_entity(OutputStream* out, const char* name) {
    add_char(out, '&');
    add_string(out, name);
    add_char(out, ';');
}

// Appends a character that goes out as it is, or its numeric reference when
// the output encoding has no bytes for it.
void add_carried(OutputStream* out, uint32_t c) {
    const Config& options = *out->options;
    if (!is_unicode_scalar(c)) c = ReplacementChar;
    if (output_carries(options.char_encoding, c)) {
        add_char(out, c);
    } else {
        add_numeric_entity(out, c);
    }
}

// Whether characters are written as numeric references only. XML knows no
// HTML entity names: XML input always gets numbers, and so does XML output
// unless it declares an XHTML doctype, whose DTD defines the names.
bool numeric_references(const OutputStream* out) {
    const Config& options = *out->options;
    return options.numeric_entities || options.input_xml ||
           (options.output_xml && (!options.output_xhtml || options.doctype_mode == DoctypeOmit ||
                                   out->entity_names_undeclared));
}

// Appends the named entity when names are wanted and one exists, else the
// numeric reference.
void add_entity(OutputStream* out, uint32_t c) {
    const bool numeric = numeric_references(out);
    const char* name = numeric ? nullptr : entity_name(c);
    if (name != nullptr) {
        add_named_entity(out, name);
    } else {
        add_numeric_entity(out, c);
    }
}

// Writes "&#<decimal>;" into `buffer` (at least 14 bytes) for a character
// the encoding cannot carry; returns the number of bytes.
int encode_reference(uint32_t c, unsigned char* buffer) {
    if (!is_unicode_scalar(c)) c = ReplacementChar;
    char text[16];
    const int n = snprintf(text, sizeof text, "&#%u;", c);
    memcpy(buffer, text, static_cast<size_t>(n));
    return n;
}

// Encodes one code point into `buffer` (at least 16 bytes) in the stream's
// encoding, advancing the ISO-2022 state; returns the number of bytes. A
// character the encoding cannot carry is written as a numeric character
// reference (U+FFFD in UTF-8, where only a non-character value gets here),
// never as a part of its value: the low byte of U+263C is "<".
int encode_char(OutputStream* out, uint32_t c, unsigned char* buffer) {
    if (!output_carries(out->encoding, c)) {
        if (out->encoding != CharEncoding::Utf8) return encode_reference(c, buffer);
        c = ReplacementChar;
    }
    switch (out->encoding) {
    case CharEncoding::Utf8:
        if (c <= 0x7F) {
            buffer[0] = static_cast<unsigned char>(c);
            return 1;
        }
        if (c <= 0x7FF) {
            buffer[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
            buffer[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            return 2;
        }
        if (c <= 0xFFFF) {
            buffer[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
            buffer[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            buffer[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            return 3;
        }
        buffer[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
        buffer[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
        buffer[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        buffer[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 4;
    case CharEncoding::Iso2022:
        if (c == 0x1B) {
            out->iso2022_state = Iso2022Esc;
        } else {
            switch (out->iso2022_state) {
            case Iso2022Esc:
                out->iso2022_state = c == '('   ? Iso2022EscParen
                                     : c == '$' ? Iso2022EscDollar
                                                : Iso2022Ascii;
                break;
            case Iso2022EscDollar:
                out->iso2022_state = c == '(' ? Iso2022EscDollarParen : Iso2022NonAscii;
                break;
            case Iso2022EscDollarParen:
                out->iso2022_state = Iso2022NonAscii;
                break;
            case Iso2022EscParen:
                out->iso2022_state = Iso2022Ascii;
                break;
            case Iso2022NonAscii:
                c &= ~0x80u;
                break;
            case Iso2022Ascii:
                break;
            }
        }
        buffer[0] = static_cast<unsigned char>(c & 0xFF);
        return 1;
    case CharEncoding::MacRoman:
        buffer[0] = static_cast<unsigned char>(mac_roman_byte(c));
        return 1;
    case CharEncoding::Raw:
    case CharEncoding::Ascii:
    case CharEncoding::Latin1:
        break;
    }
    buffer[0] = static_cast<unsigned char>(c);
    return 1;
}

// Encoded bytes on their way to the sink. They collect in the stream's
// buffer, which goes to the sink in one write when it is full and when the
// output is done (flush_output). A batch keeps the fill level while it
// works; only one is open at a time.
struct ByteBatch {
    OutputStream* out;
    unsigned char* bytes;
    size_t used;

    explicit ByteBatch(OutputStream* stream) : out(stream) {
        if (out->buffer == nullptr) {
            out->buffer = static_cast<unsigned char*>(mem_alloc(OutputBufferSize));
            out->buffer_used = 0;
        }
        bytes = out->buffer;
        used = out->buffer_used;
    }
    // Without a sink the bytes go nowhere, at once, as a write would.
    ~ByteBatch() { out->buffer_used = out->sink != nullptr ? used : 0; }
    ByteBatch(const ByteBatch&) = delete;
    ByteBatch& operator=(const ByteBatch&) = delete;

    void flush() {
        if (used > 0 && out->sink != nullptr) fwrite(bytes, 1, used, out->sink);
        used = 0;
    }
    void put_char(uint32_t c) {
        if (used + 16 > OutputBufferSize) flush();
        // ASCII is itself in every encoding but ISO-2022, whose escape
        // state every character has to pass.
        if (c < 0x80 && out->encoding != CharEncoding::Iso2022) {
            bytes[used++] = static_cast<unsigned char>(c);
            return;
        }
        used += static_cast<size_t>(encode_char(out, c, bytes + used));
    }
    void put_spaces(uint32_t count) {
        while (count > 0) {
            if (used == OutputBufferSize) flush();
            size_t n = OutputBufferSize - used;
            if (n > count) n = count;
            memset(bytes + used, ' ', n);
            used += n;
            count -= static_cast<uint32_t>(n);
        }
    }
};

// Writes indentation spaces. Spaces are ASCII in every encoding; in
// ISO-2022 output they still pass the state machine like any character.
void write_indent(ByteBatch& batch, uint32_t indent) {
    if (batch.out->encoding == CharEncoding::Iso2022) {
        for (uint32_t i = 0; i < indent; ++i)
            batch.put_char(Space);
    } else {
        batch.put_spaces(indent);
    }
}

// Narrows the characters of `from` to bytes in `to` sixteen at a time while
// a block of them is all ASCII; returns how many it wrote (the caller goes
// on one by one). The last block of a line overlaps the one before it
// rather than leaving a tail.
size_t ascii_prefix_to_bytes(const uint32_t* from, size_t n, unsigned char* to) {
    constexpr size_t Block = 16;
    size_t k = 0;
#if defined(__SSE2__)
    const __m128i high = _mm_set1_epi32(~0x7F);
    // Writes the block at `at` when it is all ASCII.
    const auto narrow16 = [&](size_t at) {
        const auto* p = reinterpret_cast<const __m128i*>(from + at);
        const __m128i a = _mm_loadu_si128(p);
        const __m128i b = _mm_loadu_si128(p + 1);
        const __m128i c = _mm_loadu_si128(p + 2);
        const __m128i d = _mm_loadu_si128(p + 3);
        const __m128i any = _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d));
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(any, high), _mm_setzero_si128())) !=
            0xFFFF) {
            return false;
        }
        // Every value is below 0x80: the saturating packs keep them as they are.
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + at), bytes);
        return true;
    };
    for (; k + Block <= n; k += Block) {
        if (!narrow16(k)) return k;
    }
    if (k < n && n >= Block && narrow16(n - Block)) return n;
#else
    for (; k + Block <= n; k += Block) {
        uint32_t any = 0;
        for (size_t j = 0; j < Block; ++j)
            any |= from[k + j];
        if (any >= 0x80) break;
        for (size_t j = 0; j < Block; ++j)
            to[k + j] = static_cast<unsigned char>(from[k + j]);
    }
#endif
    return k;
}

// Writes `count` characters of the pending line from index `from`. Runs of
// ASCII (itself in every encoding but ISO-2022) are copied straight into
// the batch; every other character goes through the encoder.
void write_chars(ByteBatch& batch, uint32_t from, uint32_t count) {
    const uint32_t* p = batch.out->line.chars + from;
    const uint32_t* const end = p + count;
    const bool ascii_as_is = batch.out->encoding != CharEncoding::Iso2022;
    while (p < end) {
        if (ascii_as_is) {
            const size_t room = OutputBufferSize - batch.used;
            const size_t n = std::min(room, static_cast<size_t>(end - p));
            unsigned char* const to = batch.bytes + batch.used;
            size_t k = ascii_prefix_to_bytes(p, n, to);
            while (k < n && p[k] < 0x80) {
                to[k] = static_cast<unsigned char>(p[k]);
                ++k;
            }
            batch.used += k;
            p += k;
            if (p == end) break;
            if (k == n) {
                batch.flush();
                continue;
            }
        }
        batch.put_char(*p++);
    }
}

// Writes the part before the wrap point, then `tail` (a space and maybe a
// backslash), a line feed, and keeps the rest of the line.
void break_at_wrap_point(OutputStream* out, uint32_t indent, const char* tail) {
    LineBuffer& line = out->line;
    {
        ByteBatch batch(out);
        write_indent(batch, line.verbatim ? 0 : indent);
        line.verbatim = false;
        write_chars(batch, 0, line.wrap_point);
        for (const char* t = tail; *t != '\0'; ++t)
            batch.put_char(static_cast<unsigned char>(*t));
        batch.put_char(LineFeed);
    }
    if (line.length > line.wrap_point) {
        uint32_t from = line.wrap_point;
        if (line.chars[from] == Space) ++from;
        uint32_t moved = line.length - from;
        memmove(line.chars, line.chars + from, moved * sizeof(uint32_t));
        line.length = moved;
    } else {
        line.length = 0;
    }
    line.wrap_point = 0;
}

} // namespace

void write_char(OutputStream* out, uint32_t c) {
    ByteBatch batch(out);
    batch.put_char(c);
}

void flush_output(OutputStream* out) {
    if (out->buffer_used > 0 && out->sink != nullptr)
        fwrite(out->buffer, 1, out->buffer_used, out->sink);
    out->buffer_used = 0;
}

void grow_line(OutputStream* out, uint32_t needed) {
    uint64_t capacity = out->line.capacity == 0 ? 256 : out->line.capacity;
    while (capacity <= needed)
        capacity *= 2;
    // Allocation sizes are 32-bit: a longer line cannot be held, whatever
    // memory is free.
    if (capacity * sizeof(uint32_t) > UINT32_MAX) fatal_error("Output line too long!");
    out->line.chars = static_cast<uint32_t*>(
        mem_realloc(out->line.chars, static_cast<uint32_t>(capacity * sizeof(uint32_t))));
    out->line.capacity = static_cast<uint32_t>(capacity);
}

namespace {

// Widens `n` bytes to characters. Blocks of sixteen (or four) bytes go at
// once; the last block of a run overlaps the one before it rather than
// leaving a tail to go one by one.
void widen_bytes(const unsigned char* from, size_t n, uint32_t* to) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const auto widen16 = [&](size_t k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k));
        const __m128i low = _mm_unpacklo_epi8(v, zero);
        const __m128i high = _mm_unpackhi_epi8(v, zero);
        auto* at = reinterpret_cast<__m128i*>(to + k);
        _mm_storeu_si128(at, _mm_unpacklo_epi16(low, zero));
        _mm_storeu_si128(at + 1, _mm_unpackhi_epi16(low, zero));
        _mm_storeu_si128(at + 2, _mm_unpacklo_epi16(high, zero));
        _mm_storeu_si128(at + 3, _mm_unpackhi_epi16(high, zero));
    };
    const auto widen4 = [&](size_t k) {
        int32_t four;
        std::memcpy(&four, from + k, sizeof four);
        const __m128i v = _mm_unpacklo_epi8(_mm_cvtsi32_si128(four), zero);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + k), _mm_unpacklo_epi16(v, zero));
    };
    if (n >= 16) {
        for (size_t k = 0; k + 16 <= n; k += 16)
            widen16(k);
        if (n % 16 != 0) widen16(n - 16);
        return;
    }
    if (n >= 4) {
        for (size_t k = 0; k + 4 <= n; k += 4)
            widen4(k);
        if (n % 4 != 0) widen4(n - 4);
        return;
    }
#endif
    for (size_t k = 0; k < n; ++k)
        to[k] = from[k];
}

} // namespace

void add_bytes(OutputStream* out, const unsigned char* bytes, size_t n) {
    LineBuffer& line = out->line;
    const size_t needed = line.length + n;
    if (needed >= line.capacity) grow_line(out, static_cast<uint32_t>(needed));
    widen_bytes(bytes, n, line.chars + line.length);
    line.length += static_cast<uint32_t>(n);
}

void add_string(OutputStream* out, const char* s) {
    for (; *s != '\0'; ++s)
        add_char(out, static_cast<unsigned char>(*s));
}

void flush_line(OutputStream* out, uint32_t indent) {
    LineBuffer& line = out->line;
    // A line that had characters gets its indentation even when a break
    // leaves nothing of it after the wrap point.
    const bool had_chars = line.length > 0;
    if (had_chars && !line_fits(out, indent)) break_line_at_wrap_point(out, indent);
    {
        ByteBatch batch(out);
        if (had_chars) {
            write_indent(batch, line.verbatim ? 0 : indent);
            write_chars(batch, 0, line.length);
        }
        batch.put_char(LineFeed);
    }
    line.length = 0;
    line.wrap_point = 0;
    line.verbatim = false;
}

void flush_pending_line(OutputStream* out, uint32_t indent) {
    if (out->line.length > 0) flush_line(out, indent);
}

void break_line_at_wrap_point(OutputStream* out, uint32_t indent) {
    if (out->line.wrap_point == 0) return;
    break_at_wrap_point(out, indent, out->line.in_string ? " \\" : "");
}

void break_in_attr_value(OutputStream* out, uint32_t indent, bool in_string) {
    if (out->line.wrap_point == 0) return; // callers set one first
    break_at_wrap_point(out, indent, in_string ? " \\" : " ");
}

bool bare_ampersand_in_xml(const OutputStream* out, const unsigned char* bytes, size_t i,
                           size_t end, PrintMode mode) {
    const Config& options = *out->options;
    if (options.quote_ampersand || !options.output_xml || (mode & (PrintCData | PrintComment)) != 0)
        return false;
    size_t k = i + 1;
    const bool numeric = k < end && bytes[k] == '#';
    const bool hex = numeric && k + 1 < end && (bytes[k + 1] == 'x' || bytes[k + 1] == 'X');
    k += numeric ? (hex ? 2 : 1) : 0;
    const size_t first = k;
    while (k < end) {
        const unsigned char b = bytes[k];
        const bool digit = b >= '0' && b <= '9';
        const bool letter = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
        const bool hex_letter = (b >= 'a' && b <= 'f') || (b >= 'A' && b <= 'F');
        if (!(digit || (hex && hex_letter) ||
              (!numeric && (letter || (k > first && (b == '.' || b == '-' || b == '_'))))))
            break;
        if (!numeric && k == first && digit) break;
        ++k;
    }
    return k == first || k >= end || bytes[k] != ';';
}

void print_char(OutputStream* out, uint32_t c, PrintMode mode) {
    const Config& options = *out->options;
    // XML has no control characters other than tab and line ends, nor
    // U+FFFE and U+FFFF, not even as references: one that came in by a
    // reference is shown as U+FFFD.
    // (In ISO-2022 and raw output the escape character belongs to the
    // encoding.)
    if (options.output_xml && options.char_encoding != CharEncoding::Raw &&
        options.char_encoding != CharEncoding::Iso2022 &&
        ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE || c == 0xFFFF)) {
        c = ReplacementChar;
    }
    // Rule 1: a plain space in ordinary text.
    if (c == Space && (mode & (PrintPreformatted | PrintComment | PrintAttrValue)) == 0) {
        if (mode & PrintNoWrap) {
            add_string(out, numeric_references(out) ? "&#160;" : "&nbsp;");
            return;
        }
        out->line.wrap_point = out->line.length;
    }
    // Rule 2: comments and unwrapped server blocks are copied.
    if (mode & PrintComment) {
        add_carried(out, c);
        return;
    }
    // A control character can only come from a character reference
    // (&#13;): written as itself it would be read back as a line end or
    // dropped, so it stays a reference. So do the C1 controls (&#151;):
    // read back as bytes they would be taken for the Windows characters of
    // those codes.
    const bool c1 = c >= 0x7F && c < 0xA0 && options.char_encoding != CharEncoding::Raw &&
                    options.char_encoding != CharEncoding::Iso2022;
    if ((c < Space && c != '\t' && c != LineFeed && c != 27) || c1) {
        char reference[16];
        snprintf(reference, sizeof reference, "&#%u;", c);
        add_string(out, reference);
        return;
    }
    const CharEncoding encoding = options.char_encoding;
    // Rule 3: markup characters.
    if ((mode & PrintCData) == 0) {
        switch (c) {
        case '<':
            add_string(out, "&lt;");
            return;
        case '>':
            add_string(out, "&gt;");
            return;
        case '&':
            if (options.quote_ampersand) {
                add_string(out, "&amp;");
                return;
            }
            break;
        case '"':
            if (options.quote_marks) {
                add_string(out, "&quot;");
                return;
            }
            break;
        case '\'':
            if (options.quote_marks) {
                add_string(out, "&#39;");
                return;
            }
            break;
        case NoBreakSpace:
            if (encoding != CharEncoding::Raw) {
                if (options.quote_nbsp) {
                    add_string(out, numeric_references(out) ? "&#160;" : "&nbsp;");
                } else {
                    add_char(out, c);
                }
                return;
            }
            break;
        default:
            break;
        }
    }
    // Rule 4: raw and ISO-2022 output pass everything else through, as far
    // as a byte holds it.
    if (encoding == CharEncoding::Raw || encoding == CharEncoding::Iso2022) {
        add_carried(out, c);
        return;
    }
    // Rule 5: a no-break space in script or style content.
    if (c == NoBreakSpace && (mode & PrintPreformatted)) {
        add_char(out, Space);
        return;
    }
    // Rule 6: typographic punctuation folded to ASCII, in text only: in an
    // attribute value a folded quote would end the value and a folded dash
    // would change a link, and in script and style it would change the code.
    if (options.clean && c >= 0x2013 && c <= 0x201E &&
        (mode & (PrintAttrValue | PrintCData)) == 0) {
        switch (c) {
        case 0x2013:
        case 0x2014:
            c = '-';
            break;
        case 0x2018:
        case 0x2019:
        case 0x201A:
            c = '\'';
            break;
        case 0x201C:
        case 0x201D:
        case 0x201E:
            c = '"';
            break;
        default:
            break;
        }
        // A quote made by folding is escaped as a quote in the text would be.
        if (options.quote_marks && (c == '"' || c == '\'')) {
            add_string(out, c == '"' ? "&quot;" : "&#39;");
            return;
        }
    }
    // Rule 7.
    if (encoding == CharEncoding::Utf8) {
        add_carried(out, c);
        return;
    }
    // Rule 8.
    if (encoding == CharEncoding::Latin1) {
        if (c > 255) {
            add_entity(out, c);
        } else if (c >= 127 && c <= 159) {
            add_numeric_entity(out, c);
        } else {
            add_char(out, c);
        }
        return;
    }
    // Rule 9: XML has no named entities. Both single-byte encodings left
    // here (ASCII and MacRoman, which is not converted on output) get
    // references above 127, so no character is cut to its low byte.
    if (options.input_xml) {
        if (c > 127) {
            add_numeric_entity(out, c);
        } else {
            add_char(out, c);
        }
        return;
    }
    // Rule 10: ASCII and MacRoman.
    if (c > 126 || (c < 32 && c != '\t')) {
        add_entity(out, c);
        return;
    }
    add_char(out, c);
}

namespace {

// The byte classes of plain_byte_classes.
constexpr std::array<uint8_t, 256> make_plain_byte_classes() {
    std::array<uint8_t, 256> t{};
    for (int b = '!'; b < 0x7F; ++b)
        t[static_cast<size_t>(b)] = PlainAlways;
    t['\t'] = PlainAlways;
    t[' '] = PlainSpace;
    t['"'] = PlainQuote;
    t['\''] = PlainQuote;
    t['<'] = PlainMarkup;
    t['>'] = PlainMarkup;
    t['&'] = PlainMarkup;
    return t;
}

} // namespace

const std::array<uint8_t, 256> plain_byte_classes = make_plain_byte_classes();

uint8_t plain_byte_mask(const OutputStream* out, PrintMode mode) {
    uint8_t mask = PlainAlways;
    // A space outside preformatted text, comments and values marks a wrap
    // point, but with no wrapping at all it becomes a no-break space.
    if ((mode & (PrintPreformatted | PrintComment | PrintAttrValue)) != 0 ||
        (mode & PrintNoWrap) == 0) {
        mask |= PlainSpace;
    }
    // Comments and character data are copied; elsewhere quotes are escaped
    // on request, and markup characters always.
    const bool copied = (mode & (PrintComment | PrintCData)) != 0;
    if (copied || !out->options->quote_marks) mask |= PlainQuote;
    if (copied) mask |= PlainMarkup;
    return mask;
}

namespace {

// Appends `n` bytes that go out as they are; a space among them becomes the
// wrap point when `space_breaks`.
void append_bytes(OutputStream* out, const unsigned char* bytes, size_t n, bool space_breaks) {
    LineBuffer& line = out->line;
    if (space_breaks) {
        for (size_t k = n; k > 0; --k) {
            if (bytes[k - 1] == ' ') {
                line.wrap_point = line.length + static_cast<uint32_t>(k - 1);
                break;
            }
        }
    }
    add_bytes(out, bytes, n);
}

} // namespace

size_t add_plain_run(OutputStream* out, uint32_t indent, const unsigned char* bytes, size_t i,
                     size_t end, uint8_t plain, PrintMode mode) {
    // The run is found sixteen bytes a round where the machine has the
    // instructions, then four bytes a round (one branch for four), then
    // byte by byte.
    const auto is_plain = [plain](unsigned char b) { return (plain_byte_classes[b] & plain) != 0; };
    size_t run_end = i;
#if defined(__SSE2__)
    {
        // The classes of plain_byte_classes: printable ASCII and the tab,
        // less the quotes and the markup characters unless the mask takes
        // them, and the space when it does.
        const __m128i bang = _mm_set1_epi8('!');
        const __m128i printable_span = _mm_set1_epi8(0x7E - '!');
        while (run_end + 16 <= end) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + run_end));
            const __m128i from_bang = _mm_sub_epi8(v, bang);
            __m128i ok = _mm_cmpeq_epi8(_mm_min_epu8(from_bang, printable_span), from_bang);
            if ((plain & PlainQuote) == 0) {
                ok = _mm_andnot_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')),
                                                   _mm_cmpeq_epi8(v, _mm_set1_epi8('\''))),
                                      ok);
            }
            if ((plain & PlainMarkup) == 0) {
                const __m128i markup =
                    _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('<')),
                                              _mm_cmpeq_epi8(v, _mm_set1_epi8('>'))),
                                 _mm_cmpeq_epi8(v, _mm_set1_epi8('&')));
                ok = _mm_andnot_si128(markup, ok);
            }
            ok = _mm_or_si128(ok, _mm_cmpeq_epi8(v, _mm_set1_epi8('\t')));
            if ((plain & PlainSpace) != 0)
                ok = _mm_or_si128(ok, _mm_cmpeq_epi8(v, _mm_set1_epi8(' ')));
            const auto plain_bits = static_cast<unsigned>(_mm_movemask_epi8(ok));
            if (plain_bits != 0xFFFFu) {
                run_end += static_cast<size_t>(std::countr_one(plain_bits));
                break;
            }
            run_end += 16;
        }
    }
#endif
    while (run_end + 4 <= end && (is_plain(bytes[run_end]) & is_plain(bytes[run_end + 1]) &
                                  is_plain(bytes[run_end + 2]) & is_plain(bytes[run_end + 3])))
        run_end += 4;
    while (run_end < end && is_plain(bytes[run_end]))
        ++run_end;
    LineBuffer& line = out->line;
    const bool space_breaks = (mode & (PrintPreformatted | PrintComment | PrintAttrValue)) == 0;
    // The line fits while its length stays below this.
    const int64_t room = static_cast<int64_t>(out->wrap_column) - indent;
    // Character by character, the line breaks at its wrap point before a
    // character is added to a line that no longer fits. So the run goes in
    // pieces: what still fits, then (with a wrap point) a break, or
    // (without one) everything up to the next space that makes one.
    while (i < run_end) {
        size_t n = run_end - i;
        if (static_cast<int64_t>(line.length) >= room) {
            if (line.wrap_point != 0) {
                break_line_at_wrap_point(out, indent);
                continue;
            }
            if (space_breaks) {
                const void* space = memchr(bytes + i, ' ', n);
                if (space != nullptr)
                    n = static_cast<size_t>(static_cast<const unsigned char*>(space) -
                                            (bytes + i)) +
                        1;
            }
        } else {
            n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), room - line.length));
        }
        append_bytes(out, bytes + i, n, space_breaks);
        i += n;
    }
    return i;
}

void print_text(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer, uint32_t start,
                uint32_t end) {
    const uint32_t limit = lexer->text_length();
    if (end > limit) end = limit;
    const auto* text = reinterpret_cast<const unsigned char*>(lexer->text.data());
    const uint8_t plain = plain_byte_mask(out, mode);
    for (size_t i = start; i < end; ++i) {
        i = add_plain_run(out, indent, text, i, end, plain, mode);
        if (i >= end) break;
        if (!line_fits(out, indent)) break_line_at_wrap_point(out, indent);
        const uint32_t c = decode_char_at(text, &i, end);
        if (c == LineFeed) {
            flush_line(out, indent);
            // The lines of a comment, a server block or any other text that
            // is copied as it stands keep their own leading white space.
            if ((mode & (PrintComment | PrintCData | PrintAttrValue)) != 0) {
                out->line.verbatim = true;
            }
        } else if (c == '&' && bare_ampersand_in_xml(out, text, i, end, mode)) {
            add_string(out, "&amp;");
        } else {
            print_char(out, c, mode);
        }
    }
}

OutputStream::~OutputStream() {
    flush_output(this);
    mem_free(buffer);
    mem_free(line.chars);
}

} // namespace varnel
