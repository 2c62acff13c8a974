// The option table, its lookup table, the configuration-file reader, the value
// parsers that every option row names, and the rules that derive some options
// from others before each document.
//
// All parsers read from one character source: the open configuration file,
// or the value string of a "--name value" command-line option. A Reader
// holds the source, the options being set and the messages written so far.
#include "base/config.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

#include "base/chars.h"

namespace varnel {

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

// Where the parsers take their characters from.
struct CharSource {
    FILE* file = nullptr;       // the configuration file being read, or null
    const char* text = nullptr; // the value string of a command-line option
    int current = EndOfInput;   // the current character
    uint32_t bytes_read = 0;    // bytes taken from the file so far
    bool file_ended = false;    // the file reached its end or its size limit
    bool cut = false;           // the file went on past the size limit
};

// The state of one reading: its source, the options it sets, the messages
// it writes.
struct Reader {
    CharSource source;
    Config& options;
    std::string& messages;
};

// Reads the next byte of the configuration file, stopping for good at its
// end or after MaxConfigFileBytes bytes (a device such as /dev/zero never
// ends).
int next_file_byte(CharSource& source) {
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
int advance(Reader& r) {
    CharSource& source = r.source;
    if (source.file != nullptr) {
        source.current = next_file_byte(source);
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
void consume_line_end(Reader& r) {
    if (r.source.current == '\r') {
        if (advance(r) == '\n') advance(r);
    } else {
        advance(r);
    }
}

// Skips the rest of the current line and every continuation line (a line
// that begins with white space, empty lines included).
void skip_to_next_option_line(Reader& r) {
    for (;;) {
        while (r.source.current != EndOfInput && !line_end(r.source.current))
            advance(r);
        if (r.source.current == EndOfInput) return;
        consume_line_end(r);
        if (r.source.current == EndOfInput || !white(r.source.current)) return;
    }
}

void skip_white(Reader& r) {
    while (white(r.source.current))
        advance(r);
}

void report_malformed(Reader& r, const char* option) {
    report_bad_value(r.messages, option);
}

// Reads one word: the characters up to white space or end of input, keeping
// at most `limit` of them.
std::string read_word(Reader& r, size_t limit) {
    std::string word;
    while (r.source.current != EndOfInput && !white(r.source.current)) {
        if (word.size() < limit) word.push_back(static_cast<char>(r.source.current));
        advance(r);
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
using ValueParser = void (*)(Reader& r, const OptionRow& row);
using FieldFn = void* (*)(Config& options);

// One row of the option table: the option's name, its value parser and the
// field it sets (for tag lists, the kind of element each name declares).
struct OptionRow {
    const char* name;
    ValueParser parse;
    FieldFn field;
    DeclaredKind kind;
};

// The address of a field of the options being set.
template <auto Member> void* field(Config& options) {
    return &(options.*Member);
}

int32_t& int_of(Reader& r, const OptionRow& row) {
    return *static_cast<int32_t*>(row.field(r.options));
}
bool& bool_of(Reader& r, const OptionRow& row) {
    return *static_cast<bool*>(row.field(r.options));
}
std::optional<std::string>& string_of(Reader& r, const OptionRow& row) {
    return *static_cast<std::optional<std::string>*>(row.field(r.options));
}

// Decimal digits, no sign, from 0 to `Max`. Without digits: the warning and
// 0. Above `Max`: the warning, and the option keeps its value.
template <int32_t Max> void parse_integer(Reader& r, const OptionRow& row) {
    skip_white(r);
    if (!is_digit(r.source.current)) {
        report_malformed(r, row.name);
        int_of(r, row) = 0;
    } else {
        int64_t value = 0;
        while (is_digit(r.source.current)) {
            if (value <= Max) value = value * 10 + (r.source.current - '0');
            advance(r);
        }
        if (value > Max) {
            report_malformed(r, row.name);
        } else {
            int_of(r, row) = static_cast<int32_t>(value);
        }
    }
    skip_to_next_option_line(r);
}

// The first character decides: 1/T/Y/t/y yes, 0/F/N/f/n no.
void parse_boolean(Reader& r, const OptionRow& row) {
    skip_white(r);
    int c = r.source.current;
    if (c != EndOfInput && strchr("1TYty", c) != nullptr) {
        bool_of(r, row) = true;
    } else if (c != EndOfInput && strchr("0FNfn", c) != nullptr) {
        bool_of(r, row) = false;
    } else {
        report_malformed(r, row.name);
        bool_of(r, row) = false;
    }
    skip_to_next_option_line(r);
}

// Like a boolean, but digits are not accepted.
void parse_markup_flag(Reader& r, const OptionRow& row) {
    skip_white(r);
    int c = r.source.current;
    if (c != EndOfInput && strchr("TYty", c) != nullptr) {
        bool_of(r, row) = true;
    } else if (c != EndOfInput && strchr("FNfn", c) != nullptr) {
        bool_of(r, row) = false;
    } else {
        report_malformed(r, row.name);
        bool_of(r, row) = false;
    }
    skip_to_next_option_line(r);
}

// yes/true, no/false or auto; auto turns on both indentation and its
// per-element decision.
void parse_indent(Reader& r, const OptionRow& row) {
    skip_white(r);
    std::string word = read_word(r, MaxWordLength);
    if (equals_ascii_ignore_case(word, "yes") || equals_ascii_ignore_case(word, "true")) {
        r.options.indent_content = true;
        r.options.smart_indent = false;
    } else if (equals_ascii_ignore_case(word, "no") || equals_ascii_ignore_case(word, "false")) {
        r.options.indent_content = false;
        r.options.smart_indent = false;
    } else if (equals_ascii_ignore_case(word, "auto")) {
        r.options.indent_content = true;
        r.options.smart_indent = true;
    } else {
        report_malformed(r, row.name);
    }
    skip_to_next_option_line(r);
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

void parse_encoding(Reader& r, const OptionRow& row) {
    skip_white(r);
    std::string word = read_word(r, MaxWordLength);
    bool found = false;
    for (const EncodingName& e : encoding_names) {
        if (equals_ascii_ignore_case(word, e.name)) {
            *static_cast<CharEncoding*>(row.field(r.options)) = e.encoding;
            r.options.char_encoding_given = true;
            found = true;
            break;
        }
    }
    if (!found) report_malformed(r, row.name);
    skip_to_next_option_line(r);
}

// Reads a string value into `target`: the rest of the logical line, or up to
// the closing quote when the value starts with a quote. Continuation lines
// join the value; white space is kept as spaces once something is stored.
void read_string_value(Reader& r, std::optional<std::string>& target) {
    skip_white(r);
    int delimiter = 0;
    if (r.source.current == '"' || r.source.current == '\'') {
        delimiter = r.source.current;
        advance(r);
    }
    std::string value;
    bool closed = false;
    while (value.size() < MaxStringLength && r.source.current != EndOfInput) {
        int c = r.source.current;
        if (line_end(c)) {
            consume_line_end(r);
            if (r.source.current == EndOfInput || !white(r.source.current)) break;
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
        advance(r);
    }
    // After a closing quote, or when the value was cut at its limit, the rest
    // of the line is not another option: skip it.
    if (closed || value.size() >= MaxStringLength) skip_to_next_option_line(r);
    target = std::move(value);
}

void parse_string(Reader& r, const OptionRow& row) {
    read_string_value(r, string_of(r, row));
}

// One word of non-white characters; an empty word warns and stores "".
void parse_name(Reader& r, const OptionRow& row) {
    skip_white(r);
    std::string word = read_word(r, MaxNameValueLength);
    if (word.empty()) report_malformed(r, row.name);
    string_of(r, row) = std::move(word);
    skip_to_next_option_line(r);
}

// A quoted public identifier (mode user), or omit/strict/loose/transitional/html5;
// any other word means auto.
void parse_doctype(Reader& r, const OptionRow& row) {
    skip_white(r);
    if (r.source.current == '"') {
        read_string_value(r, r.options.doctype_str);
        r.options.doctype_mode = DoctypeUser;
        return;
    }
    std::string word = read_word(r, MaxWordLength);
    r.options.doctype_mode = DoctypeAuto;
    if (word.empty()) {
        report_malformed(r, row.name);
    } else if (equals_ascii_ignore_case(word, "omit")) {
        r.options.doctype_mode = DoctypeOmit;
    } else if (equals_ascii_ignore_case(word, "strict")) {
        r.options.doctype_mode = DoctypeStrict;
    } else if (equals_ascii_ignore_case(word, "loose") ||
               equals_ascii_ignore_case(word, "transitional")) {
        r.options.doctype_mode = DoctypeLoose;
    } else if (equals_ascii_ignore_case(word, "html5")) {
        r.options.doctype_mode = DoctypeHtml5;
    }
    skip_to_next_option_line(r);
}

// Names separated by white space or commas, over continuation lines; each is
// lower-cased and declared as a tag of the row's kind.
void parse_tag_list(Reader& r, const OptionRow& row) {
    skip_white(r);
    for (;;) {
        while (r.source.current == ',' || r.source.current == ' ' || r.source.current == '\t' ||
               r.source.current == '\f')
            advance(r);
        if (r.source.current == EndOfInput) return;
        if (line_end(r.source.current)) {
            consume_line_end(r);
            if (r.source.current == EndOfInput || !white(r.source.current)) return;
            continue;
        }
        std::string name;
        while (r.source.current != EndOfInput && !white(r.source.current) &&
               r.source.current != ',') {
            if (name.size() < MaxTagNameLength) {
                name.push_back(static_cast<char>(to_lower(r.source.current)));
            }
            advance(r);
        }
        declare_tag(r.options, row.kind, name);
    }
}

// The option table, in its fixed order.
const OptionRow option_rows[] = {
    {"indent-spaces", parse_integer<MaxIndentSpaces>, field<&Config::indent_spaces>,
     DeclaredKind::Inline},
    {"wrap", parse_integer<MaxWrap>, field<&Config::wrap>, DeclaredKind::Inline},
    {"wrap-attributes", parse_boolean, field<&Config::wrap_attributes>, DeclaredKind::Inline},
    {"wrap-script-literals", parse_boolean, field<&Config::wrap_script_literals>,
     DeclaredKind::Inline},
    {"wrap-sections", parse_boolean, field<&Config::wrap_sections>, DeclaredKind::Inline},
    {"wrap-asp", parse_boolean, field<&Config::wrap_asp>, DeclaredKind::Inline},
    {"wrap-jste", parse_boolean, field<&Config::wrap_jste>, DeclaredKind::Inline},
    {"wrap-php", parse_boolean, field<&Config::wrap_php>, DeclaredKind::Inline},
    {"literal-attributes", parse_boolean, field<&Config::literal_attributes>, DeclaredKind::Inline},
    {"tab-size", parse_integer<MaxTabSize>, field<&Config::tab_size>, DeclaredKind::Inline},
    {"markup", parse_markup_flag, field<&Config::markup>, DeclaredKind::Inline},
    {"quiet", parse_boolean, field<&Config::quiet>, DeclaredKind::Inline},
    {"varnel-mark", parse_boolean, field<&Config::varnel_mark>, DeclaredKind::Inline},
    {"indent", parse_indent, field<&Config::indent_content>, DeclaredKind::Inline},
    {"indent-attributes", parse_boolean, field<&Config::indent_attributes>, DeclaredKind::Inline},
    {"hide-endtags", parse_boolean, field<&Config::hide_endtags>, DeclaredKind::Inline},
    {"input-xml", parse_boolean, field<&Config::input_xml>, DeclaredKind::Inline},
    {"output-xml", parse_boolean, field<&Config::output_xml>, DeclaredKind::Inline},
    {"output-xhtml", parse_boolean, field<&Config::output_xhtml>, DeclaredKind::Inline},
    {"add-xml-pi", parse_boolean, field<&Config::add_xml_decl>, DeclaredKind::Inline},
    {"add-xml-decl", parse_boolean, field<&Config::add_xml_decl>, DeclaredKind::Inline},
    {"assume-xml-procins", parse_boolean, field<&Config::assume_xml_procins>, DeclaredKind::Inline},
    {"raw", parse_boolean, field<&Config::raw>, DeclaredKind::Inline},
    {"uppercase-tags", parse_boolean, field<&Config::uppercase_tags>, DeclaredKind::Inline},
    {"uppercase-attributes", parse_boolean, field<&Config::uppercase_attributes>,
     DeclaredKind::Inline},
    {"clean", parse_boolean, field<&Config::clean>, DeclaredKind::Inline},
    {"logical-emphasis", parse_boolean, field<&Config::logical_emphasis>, DeclaredKind::Inline},
    {"word-2000", parse_boolean, field<&Config::word_2000>, DeclaredKind::Inline},
    {"drop-empty-paras", parse_boolean, field<&Config::drop_empty_paras>, DeclaredKind::Inline},
    {"drop-font-tags", parse_boolean, field<&Config::drop_font_tags>, DeclaredKind::Inline},
    {"enclose-text", parse_boolean, field<&Config::enclose_text>, DeclaredKind::Inline},
    {"enclose-block-text", parse_boolean, field<&Config::enclose_block_text>, DeclaredKind::Inline},
    {"alt-text", parse_string, field<&Config::alt_text>, DeclaredKind::Inline},
    {"add-xml-space", parse_boolean, field<&Config::add_xml_space>, DeclaredKind::Inline},
    {"fix-bad-comments", parse_boolean, field<&Config::fix_bad_comments>, DeclaredKind::Inline},
    {"split", parse_boolean, field<&Config::split>, DeclaredKind::Inline},
    {"break-before-br", parse_boolean, field<&Config::break_before_br>, DeclaredKind::Inline},
    {"numeric-entities", parse_boolean, field<&Config::numeric_entities>, DeclaredKind::Inline},
    {"quote-marks", parse_boolean, field<&Config::quote_marks>, DeclaredKind::Inline},
    {"quote-nbsp", parse_boolean, field<&Config::quote_nbsp>, DeclaredKind::Inline},
    {"quote-ampersand", parse_boolean, field<&Config::quote_ampersand>, DeclaredKind::Inline},
    {"write-back", parse_boolean, field<&Config::write_back>, DeclaredKind::Inline},
    {"keep-time", parse_boolean, field<&Config::keep_time>, DeclaredKind::Inline},
    {"show-warnings", parse_boolean, field<&Config::show_warnings>, DeclaredKind::Inline},
    {"error-file", parse_string, field<&Config::error_file>, DeclaredKind::Inline},
    {"slide-style", parse_name, field<&Config::slide_style>, DeclaredKind::Inline},
    {"new-inline-tags", parse_tag_list, nullptr, DeclaredKind::Inline},
    {"new-blocklevel-tags", parse_tag_list, nullptr, DeclaredKind::Block},
    {"new-empty-tags", parse_tag_list, nullptr, DeclaredKind::Empty},
    {"new-pre-tags", parse_tag_list, nullptr, DeclaredKind::Pre},
    {"char-encoding", parse_encoding, field<&Config::char_encoding>, DeclaredKind::Inline},
    {"doctype", parse_doctype, field<&Config::doctype_mode>, DeclaredKind::Inline},
    {"fix-backslash", parse_boolean, field<&Config::fix_backslash>, DeclaredKind::Inline},
    {"gnu-emacs", parse_boolean, field<&Config::gnu_emacs>, DeclaredKind::Inline},
    {"preserve-entities", parse_boolean, field<&Config::preserve_entities>, DeclaredKind::Inline},
};

static_assert(sizeof(option_rows) / sizeof(option_rows[0]) == 55);

// The lookup table from option name to row: names compare exactly, over
// their whole length. Built on first use and never changed.
const OptionRow* lookup_option(const std::string& name) {
    static const std::unordered_map<std::string, const OptionRow*> table = [] {
        std::unordered_map<std::string, const OptionRow*> rows;
        for (const OptionRow& row : option_rows)
            rows[row.name] = &row;
        return rows;
    }();
    auto found = table.find(name);
    return found != table.end() ? found->second : nullptr;
}

// Opens a configuration file for reading: a regular file or a device (such
// as /dev/null), never a pipe, socket or directory, whose reading could
// wait forever or means nothing. Null after the message when it cannot.
FILE* open_config_file(const std::string& path, std::string& messages) {
    // Without O_NONBLOCK, opening a pipe waits for a writer.
    int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        messages += "Can't open \"" + path + "\"\n";
        return nullptr;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 ||
        !(S_ISREG(info.st_mode) || S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))) {
        close(fd);
        messages += "Can't open \"" + path + "\" - not a regular file or device\n";
        return nullptr;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    FILE* file = fdopen(fd, "r");
    if (file == nullptr) {
        close(fd);
        messages += "Can't open \"" + path + "\"\n";
    }
    return file;
}

// What -help-config says about one kind of option value: its type and how
// its value reads in the options `c`.
struct ValueKind {
    ValueParser parse;
    const char* type;
    std::string (*show)(Config& c, const OptionRow& row);
};

std::string show_integer(Config& c, const OptionRow& row) {
    return std::to_string(*static_cast<int32_t*>(row.field(c)));
}
std::string show_boolean(Config& c, const OptionRow& row) {
    return *static_cast<bool*>(row.field(c)) ? "yes" : "no";
}
std::string show_indent(Config& c, const OptionRow&) {
    if (c.smart_indent) return "auto";
    return c.indent_content ? "yes" : "no";
}
std::string show_string(Config& c, const OptionRow& row) {
    const auto& value = *static_cast<std::optional<std::string>*>(row.field(c));
    if (!value) return "none";
    return "\"" + *value + "\"";
}
std::string show_none(Config&, const OptionRow&) {
    return "none";
}
std::string show_encoding(Config& c, const OptionRow& row) {
    const CharEncoding encoding = *static_cast<CharEncoding*>(row.field(c));
    std::string name;
    for (const EncodingName& e : encoding_names) {
        if (e.encoding == encoding) name = e.name;
    }
    // Until an encoding is given, each document's own declaration or bytes
    // choose, and this one is only the fallback.
    return c.char_encoding_given ? name : "detected, else " + name;
}
std::string show_doctype(Config& c, const OptionRow&) {
    switch (c.doctype_mode) {
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
    return "\"" + c.doctype_str.value_or("") + "\"";
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

void show_option_help(FILE* out) {
    fputs("Configuration options: write \"name: value\" in a configuration file,\n", out);
    fputs("or \"--name value\" on the command line.\n\n", out);
    fprintf(out, "%-22s%-36s%s\n", "option", "type", "default");
    // The defaults are those of a run that has read no configuration.
    Config defaults{};
    for (const OptionRow& row : option_rows) {
        for (const ValueKind& kind : value_kinds) {
            if (kind.parse == row.parse) {
                fprintf(out, "%-22s%-36s%s\n", row.name, kind.type,
                        kind.show(defaults, row).c_str());
                break;
            }
        }
    }
}

void read_config_file(Config& options, const char* name, std::string& messages) {
    std::string path = expand_home(name);
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return; // a missing file is not an error
    FILE* file = open_config_file(path, messages);
    if (file == nullptr) return;
    Reader r{CharSource{}, options, messages};
    r.source.file = file;
    advance(r);
    while (r.source.current != EndOfInput) {
        while (r.source.current == '/')
            skip_to_next_option_line(r);
        if (r.source.current == EndOfInput) break;
        std::string option_name;
        while (r.source.current != ':' && r.source.current != EndOfInput &&
               option_name.size() < MaxNameLength) {
            option_name.push_back(static_cast<char>(r.source.current));
            advance(r);
        }
        const OptionRow* row = lookup_option(option_name);
        if (row != nullptr && r.source.current == ':') {
            advance(r);
            row->parse(r, *row);
        } else {
            skip_to_next_option_line(r);
        }
    }
    fclose(file);
    if (r.source.cut) {
        messages += "Warning - configuration file cut after " + std::to_string(MaxConfigFileBytes) +
                    " bytes: " + path + "\n";
    }
}

bool option_exists(const char* name) {
    return name != nullptr && lookup_option(name) != nullptr;
}

void report_bad_value(std::string& messages, const char* option) {
    messages += "Warning - missing or malformed argument for option: ";
    messages += option;
    messages += '\n';
}

bool apply_option_string(Config& options, const char* name, const char* value,
                         std::string& messages) {
    if (name == nullptr || value == nullptr) return true;
    const OptionRow* row = lookup_option(name);
    if (row == nullptr) {
        messages += "Warning - unknown option: ";
        messages += name;
        messages += '\n';
        return false;
    }
    Reader r{CharSource{}, options, messages};
    r.source.text = value;
    advance(r);
    row->parse(r, *row);
    return true;
}

void declare_tag(Config& options, DeclaredKind kind, const std::string& name) {
    for (auto it = options.declared_tags.rbegin(); it != options.declared_tags.rend(); ++it) {
        if (it->name != name) continue;
        if (it->kind == kind) return; // declaring it again changes nothing
        break;
    }
    options.declared_tags.push_back(TagDeclaration{kind, name});
}

void derive_options(Config& options) {
    if (options.enclose_block_text) options.enclose_text = true;
    if (options.smart_indent) options.indent_content = true;
    if (options.wrap == 0) options.wrap = 2147483647;
    if (options.word_2000) declare_tag(options, DeclaredKind::Inline, "o:p");
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
