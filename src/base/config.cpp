// The option table, its lookup table, the configuration-file reader, the value
// parsers that every option row names, and the rules that derive some options
// from others before each document.
//
// All parsers read from one character source: the open configuration file,
// or the value string of a "--name value" command-line option.
#include "base/config.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "input/lexer.h"
#include "model/tags.h"

namespace varnel {

Config options;

namespace {

constexpr int EndOfInput = -1;
// Longest option name read from a configuration file.
constexpr size_t MaxNameLength = 60;
// Longest word kept by the indent, encoding and doctype parsers.
constexpr size_t MaxWordLength = 62;
// Longest value of a name option (slide-style).
constexpr size_t MaxNameValueLength = 254;
// Longest string value.
constexpr size_t MaxStringLength = 8190;
// Longest tag name in a tag list.
constexpr size_t MaxTagNameLength = 1022;
constexpr uint32_t LookupBuckets = 101;

// Where the parsers take their characters from.
struct CharSource {
    FILE* file = nullptr;       // the configuration file being read, or null
    const char* text = nullptr; // the value string of a command-line option
    int current = EndOfInput;   // the current character
    uint32_t bytes_read = 0;    // bytes taken from the file so far
    bool file_ended = false;    // the file reached its end or its size limit
    bool cut = false;           // the file went on past the size limit
};

CharSource source;

// Reads the next byte of the configuration file, stopping for good at its
// end or after MaxConfigFileBytes bytes (a device such as /dev/zero never
// ends).
int next_file_byte() {
    if (source.file_ended) return EndOfInput;
    int c = getc(source.file);
    if (c == EOF) {
        source.file_ended = true;
        return EndOfInput;
    }
    if (source.bytes_read == MaxConfigFileBytes) {
        source.file_ended = true;
        source.cut = true;
        return EndOfInput;
    }
    ++source.bytes_read;
    return c;
}

// Reads the next character of the source into `current` and returns it.
int advance() {
    if (source.file != nullptr) {
        source.current = next_file_byte();
    } else if (source.text != nullptr && *source.text != '\0') {
        source.current = static_cast<unsigned char>(*source.text++);
    } else {
        source.current = EndOfInput;
    }
    return source.current;
}

bool white(int c) {
    return is_white(c);
}
bool line_end(int c) {
    return c == '\n' || c == '\r';
}

// Consumes the line end at the current character (LF, CR LF or a lone CR);
// the first character of the next line becomes current.
void consume_line_end() {
    if (source.current == '\r') {
        if (advance() == '\n') advance();
    } else {
        advance();
    }
}

// Skips the rest of the current line and every continuation line (a line
// that begins with white space, empty lines included).
void skip_to_next_option_line() {
    for (;;) {
        while (source.current != EndOfInput && !line_end(source.current))
            advance();
        if (source.current == EndOfInput) return;
        consume_line_end();
        if (source.current == EndOfInput || !white(source.current)) return;
    }
}

void skip_white() {
    while (white(source.current))
        advance();
}

void report_malformed(const char* option) {
    report_bad_value(option);
}

// Reads one word: the characters up to white space or end of input, keeping
// at most `limit` of them.
std::string read_word(size_t limit) {
    std::string word;
    while (source.current != EndOfInput && !white(source.current)) {
        if (word.size() < limit) word.push_back(static_cast<char>(source.current));
        advance();
    }
    return word;
}

bool equals_ascii_ignore_case(const std::string& a, const char* b) {
    size_t n = strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (to_lower(static_cast<unsigned char>(a[i])) !=
            to_lower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

struct OptionRow;
using ValueParser = void (*)(const OptionRow& row);

// One row of the option table: the option's name, its value parser and the
// variable it sets (for tag lists, the routine that declares each name).
struct OptionRow {
    const char* name;
    ValueParser parse;
    void* variable;
    void (*declare)(const char* name);
};

int32_t& int_of(const OptionRow& row) {
    return *static_cast<int32_t*>(row.variable);
}
bool& bool_of(const OptionRow& row) {
    return *static_cast<bool*>(row.variable);
}
std::optional<std::string>& string_of(const OptionRow& row) {
    return *static_cast<std::optional<std::string>*>(row.variable);
}

// Decimal digits, no sign, from 0 to `Max`. Without digits: the warning and
// 0. Above `Max`: the warning, and the option keeps its value.
template <int32_t Max> void parse_integer(const OptionRow& row) {
    skip_white();
    if (!is_digit(source.current)) {
        report_malformed(row.name);
        int_of(row) = 0;
    } else {
        int64_t value = 0;
        while (is_digit(source.current)) {
            if (value <= Max) value = value * 10 + (source.current - '0');
            advance();
        }
        if (value > Max) {
            report_malformed(row.name);
        } else {
            int_of(row) = static_cast<int32_t>(value);
        }
    }
    skip_to_next_option_line();
}

// The first character decides: 1/T/Y/t/y yes, 0/F/N/f/n no.
void parse_boolean(const OptionRow& row) {
    skip_white();
    int c = source.current;
    if (c != EndOfInput && strchr("1TYty", c) != nullptr) {
        bool_of(row) = true;
    } else if (c != EndOfInput && strchr("0FNfn", c) != nullptr) {
        bool_of(row) = false;
    } else {
        report_malformed(row.name);
        bool_of(row) = false;
    }
    skip_to_next_option_line();
}

// Like a boolean, but digits are not accepted.
void parse_markup_flag(const OptionRow& row) {
    skip_white();
    int c = source.current;
    if (c != EndOfInput && strchr("TYty", c) != nullptr) {
        bool_of(row) = true;
    } else if (c != EndOfInput && strchr("FNfn", c) != nullptr) {
        bool_of(row) = false;
    } else {
        report_malformed(row.name);
        bool_of(row) = false;
    }
    skip_to_next_option_line();
}

// yes/true, no/false or auto; auto turns on both indentation and its
// per-element decision.
void parse_indent(const OptionRow& row) {
    skip_white();
    std::string word = read_word(MaxWordLength);
    if (equals_ascii_ignore_case(word, "yes") || equals_ascii_ignore_case(word, "true")) {
        options.indent_content = true;
        options.smart_indent = false;
    } else if (equals_ascii_ignore_case(word, "no") || equals_ascii_ignore_case(word, "false")) {
        options.indent_content = false;
        options.smart_indent = false;
    } else if (equals_ascii_ignore_case(word, "auto")) {
        options.indent_content = true;
        options.smart_indent = true;
    } else {
        report_malformed(row.name);
    }
    skip_to_next_option_line();
}

struct EncodingName {
    const char* name;
    CharEncoding encoding;
};

constexpr EncodingName encoding_names[] = {
    {"ascii", CharEncoding::Ascii},     {"latin1", CharEncoding::Latin1},
    {"raw", CharEncoding::Raw},         {"utf8", CharEncoding::Utf8},
    {"iso2022", CharEncoding::Iso2022}, {"mac", CharEncoding::MacRoman},
};

void parse_encoding(const OptionRow& row) {
    skip_white();
    std::string word = read_word(MaxWordLength);
    bool found = false;
    for (const EncodingName& e : encoding_names) {
        if (equals_ascii_ignore_case(word, e.name)) {
            *static_cast<CharEncoding*>(row.variable) = e.encoding;
            options.char_encoding_given = true;
            found = true;
            break;
        }
    }
    if (!found) report_malformed(row.name);
    skip_to_next_option_line();
}

// Reads a string value into `target`: the rest of the logical line, or up to
// the closing quote when the value starts with a quote. Continuation lines
// join the value; white space is kept as spaces once something is stored.
void read_string_value(std::optional<std::string>& target) {
    skip_white();
    int delimiter = 0;
    if (source.current == '"' || source.current == '\'') {
        delimiter = source.current;
        advance();
    }
    std::string value;
    bool closed = false;
    while (value.size() < MaxStringLength && source.current != EndOfInput) {
        int c = source.current;
        if (line_end(c)) {
            consume_line_end();
            if (source.current == EndOfInput || !white(source.current)) break;
            continue;
        }
        if (delimiter != 0 && c == delimiter) {
            closed = true;
            break;
        }
        if (white(c)) {
            if (!value.empty()) value.push_back(' ');
        } else {
            value.push_back(static_cast<char>(c));
        }
        advance();
    }
    // After a closing quote, or when the value was cut at its limit, the rest
    // of the line is not another option: skip it.
    if (closed || value.size() >= MaxStringLength) skip_to_next_option_line();
    target = std::move(value);
}

void parse_string(const OptionRow& row) {
    read_string_value(string_of(row));
}

// One word of non-white characters; an empty word warns and stores "".
void parse_name(const OptionRow& row) {
    skip_white();
    std::string word = read_word(MaxNameValueLength);
    if (word.empty()) report_malformed(row.name);
    string_of(row) = std::move(word);
    skip_to_next_option_line();
}

// A quoted public identifier (mode user), or omit/strict/loose/transitional/html5;
// any other word means auto.
void parse_doctype(const OptionRow& row) {
    skip_white();
    if (source.current == '"') {
        read_string_value(options.doctype_str);
        options.doctype_mode = DoctypeUser;
        return;
    }
    std::string word = read_word(MaxWordLength);
    options.doctype_mode = DoctypeAuto;
    if (word.empty()) {
        report_malformed(row.name);
    } else if (equals_ascii_ignore_case(word, "omit")) {
        options.doctype_mode = DoctypeOmit;
    } else if (equals_ascii_ignore_case(word, "strict")) {
        options.doctype_mode = DoctypeStrict;
    } else if (equals_ascii_ignore_case(word, "loose") ||
               equals_ascii_ignore_case(word, "transitional")) {
        options.doctype_mode = DoctypeLoose;
    } else if (equals_ascii_ignore_case(word, "html5")) {
        options.doctype_mode = DoctypeHtml5;
    }
    skip_to_next_option_line();
}

// Names separated by white space or commas, over continuation lines; each is
// lower-cased and declared as a tag of the row's kind.
void parse_tag_list(const OptionRow& row) {
    skip_white();
    for (;;) {
        while (source.current == ',' || source.current == ' ' || source.current == '\t' ||
               source.current == '\f')
            advance();
        if (source.current == EndOfInput) return;
        if (line_end(source.current)) {
            consume_line_end();
            if (source.current == EndOfInput || !white(source.current)) return;
            continue;
        }
        std::string name;
        while (source.current != EndOfInput && !white(source.current) && source.current != ',') {
            if (name.size() < MaxTagNameLength) {
                name.push_back(static_cast<char>(to_lower(source.current)));
            }
            advance();
        }
        row.declare(name.c_str());
    }
}

Config& o = options;

// The option table, in its fixed order.
const OptionRow option_rows[] = {
    {"indent-spaces", parse_integer<MaxIndentSpaces>, &o.indent_spaces, nullptr},
    {"wrap", parse_integer<MaxWrap>, &o.wrap, nullptr},
    {"wrap-attributes", parse_boolean, &o.wrap_attributes, nullptr},
    {"wrap-script-literals", parse_boolean, &o.wrap_script_literals, nullptr},
    {"wrap-sections", parse_boolean, &o.wrap_sections, nullptr},
    {"wrap-asp", parse_boolean, &o.wrap_asp, nullptr},
    {"wrap-jste", parse_boolean, &o.wrap_jste, nullptr},
    {"wrap-php", parse_boolean, &o.wrap_php, nullptr},
    {"literal-attributes", parse_boolean, &o.literal_attributes, nullptr},
    {"tab-size", parse_integer<MaxTabSize>, &o.tab_size, nullptr},
    {"markup", parse_markup_flag, &o.markup, nullptr},
    {"quiet", parse_boolean, &o.quiet, nullptr},
    {"varnel-mark", parse_boolean, &o.varnel_mark, nullptr},
    {"indent", parse_indent, &o.indent_content, nullptr},
    {"indent-attributes", parse_boolean, &o.indent_attributes, nullptr},
    {"hide-endtags", parse_boolean, &o.hide_endtags, nullptr},
    {"input-xml", parse_boolean, &o.input_xml, nullptr},
    {"output-xml", parse_boolean, &o.output_xml, nullptr},
    {"output-xhtml", parse_boolean, &o.output_xhtml, nullptr},
    {"add-xml-pi", parse_boolean, &o.add_xml_decl, nullptr},
    {"add-xml-decl", parse_boolean, &o.add_xml_decl, nullptr},
    {"assume-xml-procins", parse_boolean, &o.assume_xml_procins, nullptr},
    {"raw", parse_boolean, &o.raw, nullptr},
    {"uppercase-tags", parse_boolean, &o.uppercase_tags, nullptr},
    {"uppercase-attributes", parse_boolean, &o.uppercase_attributes, nullptr},
    {"clean", parse_boolean, &o.clean, nullptr},
    {"logical-emphasis", parse_boolean, &o.logical_emphasis, nullptr},
    {"word-2000", parse_boolean, &o.word_2000, nullptr},
    {"drop-empty-paras", parse_boolean, &o.drop_empty_paras, nullptr},
    {"drop-font-tags", parse_boolean, &o.drop_font_tags, nullptr},
    {"enclose-text", parse_boolean, &o.enclose_text, nullptr},
    {"enclose-block-text", parse_boolean, &o.enclose_block_text, nullptr},
    {"alt-text", parse_string, &o.alt_text, nullptr},
    {"add-xml-space", parse_boolean, &o.add_xml_space, nullptr},
    {"fix-bad-comments", parse_boolean, &o.fix_bad_comments, nullptr},
    {"split", parse_boolean, &o.split, nullptr},
    {"break-before-br", parse_boolean, &o.break_before_br, nullptr},
    {"numeric-entities", parse_boolean, &o.numeric_entities, nullptr},
    {"quote-marks", parse_boolean, &o.quote_marks, nullptr},
    {"quote-nbsp", parse_boolean, &o.quote_nbsp, nullptr},
    {"quote-ampersand", parse_boolean, &o.quote_ampersand, nullptr},
    {"write-back", parse_boolean, &o.write_back, nullptr},
    {"keep-time", parse_boolean, &o.keep_time, nullptr},
    {"show-warnings", parse_boolean, &o.show_warnings, nullptr},
    {"error-file", parse_string, &o.error_file, nullptr},
    {"slide-style", parse_name, &o.slide_style, nullptr},
    {"new-inline-tags", parse_tag_list, nullptr, define_inline_tag},
    {"new-blocklevel-tags", parse_tag_list, nullptr, define_block_tag},
    {"new-empty-tags", parse_tag_list, nullptr, define_empty_tag},
    {"new-pre-tags", parse_tag_list, nullptr, define_pre_tag},
    {"char-encoding", parse_encoding, &o.char_encoding, nullptr},
    {"doctype", parse_doctype, &o.doctype_mode, nullptr},
    {"fix-backslash", parse_boolean, &o.fix_backslash, nullptr},
    {"gnu-emacs", parse_boolean, &o.gnu_emacs, nullptr},
    {"preserve-entities", parse_boolean, &o.preserve_entities, nullptr},
};

static_assert(sizeof(option_rows) / sizeof(option_rows[0]) == 55);

// A chain entry of the lookup table.
struct LookupEntry {
    LookupEntry* next;
    std::string name;
    const OptionRow* row;
};

LookupEntry* lookup_buckets[LookupBuckets] = {};
bool lookup_built = false;

// h = h * 31 + byte, each byte upper-cased, unsigned 32-bit, modulo 101.
uint32_t option_hash(const std::string& name) {
    uint32_t h = 0;
    for (char ch : name) {
        uint32_t c = static_cast<unsigned char>(ch);
        if (c >= 'a' && c <= 'z') c -= 32u;
        h = h * 31u + c;
    }
    return h % LookupBuckets;
}

void install_option(const OptionRow& row) {
    uint32_t bucket = option_hash(row.name);
    for (LookupEntry* e = lookup_buckets[bucket]; e != nullptr; e = e->next) {
        if (e->name == row.name) {
            e->row = &row;
            return;
        }
    }
    lookup_buckets[bucket] = new LookupEntry{lookup_buckets[bucket], row.name, &row};
}

// Names compare exactly, over their whole length.
const OptionRow* lookup_option(const std::string& name) {
    for (LookupEntry* e = lookup_buckets[option_hash(name)]; e != nullptr; e = e->next) {
        if (e->name == name) return e->row;
    }
    return nullptr;
}

// What -help-config says about one kind of option value: its type and how
// its value reads.
struct ValueKind {
    ValueParser parse;
    const char* type;
    std::string (*show)(const OptionRow& row);
};

std::string show_integer(const OptionRow& row) {
    return std::to_string(int_of(row));
}
std::string show_boolean(const OptionRow& row) {
    return bool_of(row) ? "yes" : "no";
}
std::string show_indent(const OptionRow&) {
    if (options.smart_indent) return "auto";
    return options.indent_content ? "yes" : "no";
}
std::string show_string(const OptionRow& row) {
    const std::optional<std::string>& value = string_of(row);
    if (!value) return "none";
    return "\"" + *value + "\"";
}
std::string show_none(const OptionRow&) {
    return "none";
}
std::string show_encoding(const OptionRow& row) {
    CharEncoding encoding = *static_cast<const CharEncoding*>(row.variable);
    std::string name;
    for (const EncodingName& e : encoding_names) {
        if (e.encoding == encoding) name = e.name;
    }
    // Until an encoding is given, each document's own declaration or bytes
    // choose, and this one is only the fallback.
    return options.char_encoding_given ? name : "detected, else " + name;
}
std::string show_doctype(const OptionRow&) {
    switch (options.doctype_mode) {
    case DoctypeOmit:
        return "omit";
    case DoctypeAuto:
        return "auto";
    case DoctypeStrict:
        return "strict";
    case DoctypeLoose:
        return "loose";
    case DoctypeHtml5:
        return "html5";
    case DoctypeUser:
        break;
    }
    return "\"" + options.doctype_str.value_or("") + "\"";
}

const ValueKind value_kinds[] = {
    {parse_integer<MaxIndentSpaces>, "integer 0-1000", show_integer},
    {parse_integer<MaxWrap>, "integer 0-2147483647", show_integer},
    {parse_boolean, "boolean", show_boolean},
    {parse_markup_flag, "boolean", show_boolean},
    {parse_indent, "no|yes|auto", show_indent},
    {parse_string, "string", show_string},
    {parse_name, "word", show_string},
    {parse_tag_list, "tag names", show_none},
    {parse_encoding, "raw|ascii|latin1|utf8|iso2022|mac", show_encoding},
    {parse_doctype, "omit|auto|strict|loose|html5|\"...\"", show_doctype},
};

} // namespace

void reset_options() {
    options = Config{};
}

void init_options() {
    if (!lookup_built) {
        for (const OptionRow& row : option_rows)
            install_option(row);
        lookup_built = true;
    }
    source.current = EndOfInput;
}

void free_options() {
    for (LookupEntry*& bucket : lookup_buckets) {
        while (bucket != nullptr) {
            LookupEntry* next = bucket->next;
            delete bucket;
            bucket = next;
        }
    }
    lookup_built = false;
    options.slide_style.reset();
    options.doctype_str.reset();
    options.error_file.reset();
}

namespace {

// Opens a configuration file for reading: a regular file or a device (such
// as /dev/null), never a pipe, socket or directory, whose reading could
// wait forever or means nothing. Null after the message when it cannot.
FILE* open_config_file(const std::string& path) {
    // Without O_NONBLOCK, opening a pipe waits for a writer.
    int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        fprintf(stderr, "Can't open \"%s\"\n", path.c_str());
        return nullptr;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 ||
        !(S_ISREG(info.st_mode) || S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))) {
        close(fd);
        fprintf(stderr, "Can't open \"%s\" - not a regular file or device\n", path.c_str());
        return nullptr;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    FILE* file = fdopen(fd, "r");
    if (file == nullptr) {
        close(fd);
        fprintf(stderr, "Can't open \"%s\"\n", path.c_str());
    }
    return file;
}

} // namespace

void read_config_file(const char* name) {
    init_options();
    std::string path = expand_home(name);
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return; // a missing file is not an error
    FILE* file = open_config_file(path);
    if (file == nullptr) return;
    CharSource saved = source;
    source = CharSource{};
    source.file = file;
    advance();
    while (source.current != EndOfInput) {
        while (source.current == '/')
            skip_to_next_option_line();
        if (source.current == EndOfInput) break;
        std::string option_name;
        while (source.current != ':' && source.current != EndOfInput &&
               option_name.size() < MaxNameLength) {
            option_name.push_back(static_cast<char>(source.current));
            advance();
        }
        const OptionRow* row = lookup_option(option_name);
        if (row != nullptr && source.current == ':') {
            advance();
            row->parse(*row);
        } else {
            skip_to_next_option_line();
        }
    }
    fclose(file);
    if (source.cut) {
        fprintf(stderr, "Warning - configuration file cut after %u bytes: %s\n", MaxConfigFileBytes,
                path.c_str());
    }
    source = saved;
}

void show_option_help(FILE* out) {
    fputs("Configuration options: write \"name: value\" in a configuration file,\n", out);
    fputs("or \"--name value\" on the command line.\n\n", out);
    fprintf(out, "%-22s%-36s%s\n", "option", "type", "default");
    // The defaults are those of a run that has read no configuration.
    Config current = std::move(options);
    options = Config{};
    for (const OptionRow& row : option_rows) {
        for (const ValueKind& kind : value_kinds) {
            if (kind.parse == row.parse) {
                fprintf(out, "%-22s%-36s%s\n", row.name, kind.type, kind.show(row).c_str());
                break;
            }
        }
    }
    options = std::move(current);
}

bool option_exists(const char* name) {
    return name != nullptr && lookup_option(name) != nullptr;
}

void report_bad_value(const char* option) {
    fprintf(stderr, "Warning - missing or malformed argument for option: %s\n", option);
}

bool apply_option_string(const char* name, const char* value) {
    if (name == nullptr || value == nullptr) return true;
    const OptionRow* row = lookup_option(name);
    if (row == nullptr) {
        fprintf(stderr, "Warning - unknown option: %s\n", name);
        return false;
    }
    CharSource saved = source;
    source = CharSource{};
    source.text = value;
    advance();
    row->parse(*row);
    source = saved;
    return true;
}

void derive_options() {
    if (options.enclose_block_text) options.enclose_text = true;
    if (options.smart_indent) options.indent_content = true;
    if (options.wrap == 0) options.wrap = 2147483647;
    if (options.word_2000) define_inline_tag("o:p");
    if (options.output_xhtml) {
        options.output_xml = true;
        options.uppercase_tags = false;
        options.uppercase_attributes = false;
    }
    if (options.input_xml) {
        options.output_xml = true;
        options.assume_xml_procins = true;
    }
    if (options.input_xml || options.output_xml) {
        options.quote_ampersand = true;
        options.hide_endtags = false;
    }
    if (options.preserve_entities) options.quote_ampersand = false;
}

std::string expand_home(const char* path) {
    if (path == nullptr) return std::string();
    if (path[0] != '~') return std::string(path);
    const char* rest = strchr(path, '/');
    if (rest == nullptr) rest = path + strlen(path);
    std::string user(path + 1, rest);
    const char* home = nullptr;
    if (user.empty()) {
        home = getenv("HOME");
    } else {
        struct passwd* entry = getpwnam(user.c_str());
        if (entry == nullptr) return std::string(path); // unknown user
        home = entry->pw_dir;
    }
    if (home == nullptr) return std::string(rest);
    return std::string(home) + rest;
}

} // namespace varnel
