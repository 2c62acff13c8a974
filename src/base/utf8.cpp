// The UTF-8 encoder and decoders.
#include "base/utf8.h"

namespace varnel {

bool utf8_lead(unsigned lead, Utf8Lead* info) {
    if (lead >= 0xC2 && lead <= 0xDF) {
        *info = {1, lead & 0x1Fu, 0x80, 0xBF};
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        *info = {2, lead & 0x0Fu, lead == 0xE0 ? 0xA0u : 0x80u, lead == 0xED ? 0x9Fu : 0xBFu};
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        *info = {3, lead & 0x07u, lead == 0xF0 ? 0x90u : 0x80u, lead == 0xF4 ? 0x8Fu : 0xBFu};
    } else {
        return false;
    }
    return true;
}

namespace {

// The payload of a UTF-8 lead byte and the number of bytes that follow it,
// by the lead byte's bit pattern alone; 0 following bytes for a byte that
// leads no sequence.
int utf8_lead_bits(uint32_t* c) {
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
    int count = utf8_lead_bits(&c);
    for (int i = 1; i <= count; ++i)
        c = (c << 6) | (bytes[i] & 0x3F);
    *code = c;
    return count;
}

uint32_t decode_char_at(const unsigned char* text, size_t* i, size_t end) {
    const uint32_t lead = text[*i];
    Utf8Lead info;
    if (lead < 0x80 || !utf8_lead(lead, &info)) return lead;
    if (end - *i <= static_cast<size_t>(info.following)) return lead;
    uint32_t c = info.payload;
    unsigned lower = info.lower;
    unsigned upper = info.upper;
    for (int k = 1; k <= info.following; ++k) {
        const unsigned b = text[*i + static_cast<size_t>(k)];
        if (b < lower || b > upper) return lead;
        c = (c << 6) | (b & 0x3F);
        lower = 0x80;
        upper = 0xBF;
    }
    *i += static_cast<size_t>(info.following);
    return c;
}

unsigned char* encode_utf8(unsigned char* buffer, uint32_t c) {
    if (!is_unicode_scalar(c)) c = ReplacementChar;
    if (c < 0x80) {
        *buffer++ = static_cast<unsigned char>(c);
    } else if (c <= 0x7FF) {
        *buffer++ = static_cast<unsigned char>(0xC0 | (c >> 6));
        *buffer++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else if (c <= 0xFFFF) {
        *buffer++ = static_cast<unsigned char>(0xE0 | (c >> 12));
        *buffer++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        *buffer++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else {
        *buffer++ = static_cast<unsigned char>(0xF0 | (c >> 18));
        *buffer++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
        *buffer++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        *buffer++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
    return buffer;
}

} // namespace varnel
