// Entity names and character-code tables, and the lookups over them.
#include "model/entities.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/name_index.h"

namespace varnel {

// HTML 4.01: the Latin-1 set, the symbols and Greek letters, the special
// characters, each in the standard's order.
constexpr EntityDef entity_table[] = {
    {"nbsp", 160},    {"iexcl", 161},    {"cent", 162},    {"pound", 163},   {"curren", 164},
    {"yen", 165},     {"brvbar", 166},   {"sect", 167},    {"uml", 168},     {"copy", 169},
    {"ordf", 170},    {"laquo", 171},    {"not", 172},     {"shy", 173},     {"reg", 174},
    {"macr", 175},    {"deg", 176},      {"plusmn", 177},  {"sup2", 178},    {"sup3", 179},
    {"acute", 180},   {"micro", 181},    {"para", 182},    {"middot", 183},  {"cedil", 184},
    {"sup1", 185},    {"ordm", 186},     {"raquo", 187},   {"frac14", 188},  {"frac12", 189},
    {"frac34", 190},  {"iquest", 191},   {"Agrave", 192},  {"Aacute", 193},  {"Acirc", 194},
    {"Atilde", 195},  {"Auml", 196},     {"Aring", 197},   {"AElig", 198},   {"Ccedil", 199},
    {"Egrave", 200},  {"Eacute", 201},   {"Ecirc", 202},   {"Euml", 203},    {"Igrave", 204},
    {"Iacute", 205},  {"Icirc", 206},    {"Iuml", 207},    {"ETH", 208},     {"Ntilde", 209},
    {"Ograve", 210},  {"Oacute", 211},   {"Ocirc", 212},   {"Otilde", 213},  {"Ouml", 214},
    {"times", 215},   {"Oslash", 216},   {"Ugrave", 217},  {"Uacute", 218},  {"Ucirc", 219},
    {"Uuml", 220},    {"Yacute", 221},   {"THORN", 222},   {"szlig", 223},   {"agrave", 224},
    {"aacute", 225},  {"acirc", 226},    {"atilde", 227},  {"auml", 228},    {"aring", 229},
    {"aelig", 230},   {"ccedil", 231},   {"egrave", 232},  {"eacute", 233},  {"ecirc", 234},
    {"euml", 235},    {"igrave", 236},   {"iacute", 237},  {"icirc", 238},   {"iuml", 239},
    {"eth", 240},     {"ntilde", 241},   {"ograve", 242},  {"oacute", 243},  {"ocirc", 244},
    {"otilde", 245},  {"ouml", 246},     {"divide", 247},  {"oslash", 248},  {"ugrave", 249},
    {"uacute", 250},  {"ucirc", 251},    {"uuml", 252},    {"yacute", 253},  {"thorn", 254},
    {"yuml", 255},    {"fnof", 402},     {"Alpha", 913},   {"Beta", 914},    {"Gamma", 915},
    {"Delta", 916},   {"Epsilon", 917},  {"Zeta", 918},    {"Eta", 919},     {"Theta", 920},
    {"Iota", 921},    {"Kappa", 922},    {"Lambda", 923},  {"Mu", 924},      {"Nu", 925},
    {"Xi", 926},      {"Omicron", 927},  {"Pi", 928},      {"Rho", 929},     {"Sigma", 931},
    {"Tau", 932},     {"Upsilon", 933},  {"Phi", 934},     {"Chi", 935},     {"Psi", 936},
    {"Omega", 937},   {"alpha", 945},    {"beta", 946},    {"gamma", 947},   {"delta", 948},
    {"epsilon", 949}, {"zeta", 950},     {"eta", 951},     {"theta", 952},   {"iota", 953},
    {"kappa", 954},   {"lambda", 955},   {"mu", 956},      {"nu", 957},      {"xi", 958},
    {"omicron", 959}, {"pi", 960},       {"rho", 961},     {"sigmaf", 962},  {"sigma", 963},
    {"tau", 964},     {"upsilon", 965},  {"phi", 966},     {"chi", 967},     {"psi", 968},
    {"omega", 969},   {"thetasym", 977}, {"upsih", 978},   {"piv", 982},     {"bull", 8226},
    {"hellip", 8230}, {"prime", 8242},   {"Prime", 8243},  {"oline", 8254},  {"frasl", 8260},
    {"weierp", 8472}, {"image", 8465},   {"real", 8476},   {"trade", 8482},  {"alefsym", 8501},
    {"larr", 8592},   {"uarr", 8593},    {"rarr", 8594},   {"darr", 8595},   {"harr", 8596},
    {"crarr", 8629},  {"lArr", 8656},    {"uArr", 8657},   {"rArr", 8658},   {"dArr", 8659},
    {"hArr", 8660},   {"forall", 8704},  {"part", 8706},   {"exist", 8707},  {"empty", 8709},
    {"nabla", 8711},  {"isin", 8712},    {"notin", 8713},  {"ni", 8715},     {"prod", 8719},
    {"sum", 8721},    {"minus", 8722},   {"lowast", 8727}, {"radic", 8730},  {"prop", 8733},
    {"infin", 8734},  {"ang", 8736},     {"and", 8743},    {"or", 8744},     {"cap", 8745},
    {"cup", 8746},    {"int", 8747},     {"there4", 8756}, {"sim", 8764},    {"cong", 8773},
    {"asymp", 8776},  {"ne", 8800},      {"equiv", 8801},  {"le", 8804},     {"ge", 8805},
    {"sub", 8834},    {"sup", 8835},     {"nsub", 8836},   {"sube", 8838},   {"supe", 8839},
    {"oplus", 8853},  {"otimes", 8855},  {"perp", 8869},   {"sdot", 8901},   {"lceil", 8968},
    {"rceil", 8969},  {"lfloor", 8970},  {"rfloor", 8971}, {"lang", 9001},   {"rang", 9002},
    {"loz", 9674},    {"spades", 9824},  {"clubs", 9827},  {"hearts", 9829}, {"diams", 9830},
    {"quot", 34},     {"amp", 38},       {"lt", 60},       {"gt", 62},       {"OElig", 338},
    {"oelig", 339},   {"Scaron", 352},   {"scaron", 353},  {"Yuml", 376},    {"circ", 710},
    {"tilde", 732},   {"ensp", 8194},    {"emsp", 8195},   {"thinsp", 8201}, {"zwnj", 8204},
    {"zwj", 8205},    {"lrm", 8206},     {"rlm", 8207},    {"ndash", 8211},  {"mdash", 8212},
    {"lsquo", 8216},  {"rsquo", 8217},   {"sbquo", 8218},  {"ldquo", 8220},  {"rdquo", 8221},
    {"bdquo", 8222},  {"dagger", 8224},  {"Dagger", 8225}, {"permil", 8240}, {"lsaquo", 8249},
    {"rsaquo", 8250}, {"euro", 8364},    {nullptr, 0},
};

const uint32_t windows1252_table[32] = {
    0x20AC, 0x0000, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x0000, 0x017D, 0x0000, 0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x0000, 0x017E, 0x0178,
};

const uint32_t mac_roman_table[256] = {
    0x0000, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007, 0x0008, 0x0009, 0x000A, 0x000B,
    0x000C, 0x000D, 0x000E, 0x000F, 0x0010, 0x0011, 0x0012, 0x0013, 0x0014, 0x0015, 0x0016, 0x0017,
    0x0018, 0x0019, 0x001A, 0x001B, 0x001C, 0x001D, 0x001E, 0x001F, 0x0020, 0x0021, 0x0022, 0x0023,
    0x0024, 0x0025, 0x0026, 0x0027, 0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B,
    0x003C, 0x003D, 0x003E, 0x003F, 0x0040, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F, 0x0050, 0x0051, 0x0052, 0x0053,
    0x0054, 0x0055, 0x0056, 0x0057, 0x0058, 0x0059, 0x005A, 0x005B, 0x005C, 0x005D, 0x005E, 0x005F,
    0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067, 0x0068, 0x0069, 0x006A, 0x006B,
    0x006C, 0x006D, 0x006E, 0x006F, 0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,
    0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x007F, 0x00C4, 0x00C5, 0x00C7, 0x00C9,
    0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8,
    0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, 0x00F2, 0x00F4, 0x00F6, 0x00F5,
    0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF,
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, 0x221E, 0x00B1, 0x2264, 0x2265,
    0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8,
    0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, 0x00BB, 0x2026, 0x00A0, 0x00C0,
    0x00C3, 0x00D5, 0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA,
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x2021, 0x00B7, 0x201A, 0x201E,
    0x2030, 0x00C2, 0x00CA, 0x00C1, 0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4,
    0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC, 0x00AF, 0x02D8, 0x02D9, 0x02DA,
    0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

namespace {

// The entity names, made by the compiler; a name listed twice takes its
// later code.
constexpr auto entity_row_name = [](const EntityDef& e) { return std::string_view(e.name); };
constexpr size_t entity_count = std::size(entity_table) - 1; // without the end row
using EntityIndex = FixedNameIndex<EntityDef, entity_count, decltype(entity_row_name)>;
constexpr EntityIndex entity_index(entity_table, entity_count, entity_row_name,
                                   EntityIndex::Repeats::LastWins);

// The row of the first entity of each code, by code, for every code up to
// the largest entity's; NoEntityRow where no entity has the code. Made by
// the compiler: the printer names characters through it.
constexpr uint8_t NoEntityRow = 0xFF;
static_assert(entity_count < NoEntityRow);
constexpr uint32_t largest_entity_code = [] {
    uint32_t largest = 0;
    for (size_t r = 0; r < entity_count; ++r)
        largest = std::max(largest, entity_table[r].code);
    return largest;
}();
constexpr auto entity_rows_by_code = [] {
    std::array<uint8_t, largest_entity_code + 1> rows{};
    rows.fill(NoEntityRow);
    for (size_t r = entity_count; r-- > 0;)
        rows[entity_table[r].code] = static_cast<uint8_t>(r);
    return rows;
}();

const uint32_t* lookup_entity(const char* name) {
    const EntityDef* row = entity_index.find(name);
    return row != nullptr ? &row->code : nullptr;
}

// Reads a number the way a "%d" or "%x" conversion does (optional sign after
// leading white space, and for hexadecimal an optional 0x); 0 when no digits
// are read or the value does not fit in 32 bits, so that such references
// count as unknown. (Read here rather than by strtoll, which looks the
// characters up in the C library's tables of character classes: pages of
// memory that a run would otherwise never touch.)
int32_t read_number(const char* s, int base) {
    auto digit_value = [base](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    const char* p = s;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    if (digit_value(*p) < 0) return 0;
    if (base == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digit_value(p[2]) >= 0) p += 2;
    // The magnitude, given up as soon as it is past what 32 bits hold.
    constexpr uint64_t Limit = uint64_t{1} << 31;
    uint64_t magnitude = 0;
    for (int d = digit_value(*p); d >= 0; d = digit_value(*++p)) {
        magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (magnitude > Limit) return 0;
    }
    if (negative) return magnitude == Limit ? INT32_MIN : -static_cast<int32_t>(magnitude);
    return magnitude == Limit ? 0 : static_cast<int32_t>(magnitude);
}

} // namespace

int32_t entity_code(const char* text, bool xml) {
    if (text[0] == '\0') return 0;
    const char* p = text + 1;
    if (*p == '#') {
        if (p[1] == 'x') return read_number(p + 2, 16);
        return read_number(p + 1, 10);
    }
    if (const uint32_t* code = lookup_entity(p)) return static_cast<int32_t>(*code);
    // XML predefines the apostrophe, which HTML 4 lacks.
    if (xml && std::strcmp(p, "apos") == 0) return '\'';
    return 0;
}

const char* entity_name(uint32_t code) {
    if (code >= entity_rows_by_code.size() || entity_rows_by_code[code] == NoEntityRow)
        return nullptr;
    return entity_table[entity_rows_by_code[code]].name;
}

} // namespace varnel
