// The option values of a run (one field per option, in a Config record the
// run owns) and the readers that set them: configuration files, "--name
// value" command-line options, and the rules that derive some options from
// others before each document.
//
// Each document is processed with a copy of the run's Config (see
// DocumentState), so a run can hand documents to several threads, each with
// the options in force at its place in the argument list. The option table
// with its value parsers lives in config.cpp; it is built once and never
// changes. The readers never print: their warnings are appended, one line
// each, to a string the caller passes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace varnel {

// Character encodings, shared by input decoding and output encoding; the
// numbers are the values of the char-encoding option.
enum class CharEncoding : int {
    Raw = 0,
    Ascii = 1,
    Latin1 = 2,
    Utf8 = 3,
    Iso2022 = 4,
    MacRoman = 5
};

enum DoctypeMode : int {
    DoctypeOmit = 0,
    DoctypeAuto = 1,
    DoctypeStrict = 2,
    DoctypeLoose = 3,
    DoctypeUser = 4,
    DoctypeHtml5 = 5
};

// The kinds of element a configuration may declare (new-inline-tags,
// new-blocklevel-tags, new-empty-tags, new-pre-tags).
enum class DeclaredKind : uint8_t { Inline, Block, Empty, Pre };

// One declared element name, in the order the declarations were read.
struct TagDeclaration {
    DeclaredKind kind;
    std::string name;

    bool operator==(const TagDeclaration&) const = default;
};

struct Config {
    int32_t indent_spaces = 2;
    int32_t wrap = 68;
    bool wrap_attributes = false;
    bool wrap_script_literals = false;
    bool wrap_sections = true;
    bool wrap_asp = true;
    bool wrap_jste = true;
    bool wrap_php = true;
    bool literal_attributes = false;
    int32_t tab_size = 4;
    bool markup = true;
    bool quiet = false;
    bool varnel_mark = true;
    bool indent_content = false; // the "indent" option: yes/no
    bool smart_indent = false;   // set by indent "auto"
    bool indent_attributes = false;
    bool hide_endtags = false;
    bool input_xml = false;
    bool output_xml = false;
    bool output_xhtml = false;
    bool add_xml_decl = false; // add-xml-pi and add-xml-decl share it
    bool assume_xml_procins = false;
    bool raw = false;
    bool uppercase_tags = false;
    bool uppercase_attributes = false;
    bool clean = false;
    bool logical_emphasis = false;
    bool word_2000 = false;
    bool drop_empty_paras = true;
    bool drop_font_tags = false;
    bool enclose_text = false;
    bool enclose_block_text = false;
    std::optional<std::string> alt_text;
    bool add_xml_space = false;
    bool fix_bad_comments = true;
    bool split = false;
    bool break_before_br = false;
    bool numeric_entities = false;
    bool quote_marks = false;
    bool quote_nbsp = true;
    bool quote_ampersand = true;
    bool write_back = false;
    bool keep_time = true;
    bool show_warnings = true;
    std::optional<std::string> error_file;
    std::optional<std::string> slide_style;
    CharEncoding char_encoding = CharEncoding::Ascii;
    // Set once char-encoding has been given (a switch such as -utf8, a
    // configuration file, "--char-encoding"): from then on every document is
    // read and written in it. Until then each document's own declaration
    // or bytes choose (charset.h), and char_encoding is only the fallback.
    bool char_encoding_given = false;
    DoctypeMode doctype_mode = DoctypeAuto;
    std::optional<std::string> doctype_str; // public identifier for DoctypeUser
    bool fix_backslash = true;
    bool gnu_emacs = false;
    bool preserve_entities = false;
    // The elements the configuration declared, in order: they belong to
    // the run, and each document's tag table adds them to the built-in
    // ones (tags.h).
    std::vector<TagDeclaration> declared_tags;
};

// Reads a configuration file into `options`; a missing file is skipped
// silently. Warnings are appended to `messages`.
void read_config_file(Config& options, const char* name, std::string& messages);

// Applies one option given as name and value string; false (after the
// "unknown option" warning) when no option has that name.
bool apply_option_string(Config& options, const char* name, const char* value,
                         std::string& messages);

// True when an option has this name (as "--name value" looks it up).
bool option_exists(const char* name);

// Lists every option with the type of its value and its built-in default
// (the -help-config switch).
void show_option_help(FILE* out);

// Appends the warning for a missing, malformed or out-of-range option value.
void report_bad_value(std::string& messages, const char* option);

// Declares an element of `kind`; a declaration that repeats the last one of
// the same name changes nothing and is not stored again.
void declare_tag(Config& options, DeclaredKind kind, const std::string& name);

// Largest values of the numeric options. A larger value is refused with the
// bad-value warning and the option keeps its value.
constexpr int32_t MaxIndentSpaces = 1000;
constexpr int32_t MaxTabSize = 1000;
constexpr int32_t MaxWrap = INT32_MAX;

// A configuration file is read up to this many bytes; the rest is ignored
// with a warning.
constexpr uint32_t MaxConfigFileBytes = 1u << 20;

// Derives dependent options; run before every document.
void derive_options(Config& options);

// Expands a leading "~" or "~user" to the home directory.
std::string expand_home(const char* path);

} // namespace varnel
