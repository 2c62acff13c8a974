// Configuration: the value parsers, configuration-file syntax, options given
// as name and value strings, "~" expansion and the derived options.
#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/config.h"
#include "base/util.h"
#include "model/tags.h"
#include "test_support.h"

namespace varnel {
namespace {

const char* const malformed = "Warning - missing or malformed argument for option: ";

class ConfigTest : public ::testing::Test {
  protected:
    void SetUp() override {
        options = Config{};
        char dir_template[] = "/tmp/varnel-config-XXXXXX";
        ASSERT_NE(mkdtemp(dir_template), nullptr);
        dir_ = dir_template;
    }
    void TearDown() override {
        options = Config{};
        std::string command = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }

    // Writes `text` to a file in the scratch directory and returns its path.
    std::string write_file(const std::string& name, const std::string& text) {
        std::string path = dir_ + "/" + name;
        FILE* f = fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
        return path;
    }

    // Reads `text` as a configuration file; returns the warnings (what the
    // program prints on standard error).
    std::string read_config(const std::string& text) {
        std::string path = write_file("config", text);
        std::string messages;
        read_config_file(options, path.c_str(), messages);
        return messages;
    }

    // Applies one option from strings; returns the warnings.
    std::string apply(const char* name, const char* value, bool* result = nullptr) {
        std::string messages;
        bool r = apply_option_string(options, name, value, messages);
        if (result != nullptr) *result = r;
        return messages;
    }

    // A tag as a document with the options read so far knows it.
    TagPtr lookup_tag(const char* name) {
        tags_ = std::make_unique<TagTable>(options.declared_tags);
        return tags_->find(name);
    }

    std::string dir_;
    std::unique_ptr<TagTable> tags_;
};

// ---- integer -------------------------------------------------------------

TEST_F(ConfigTest, IntegerTakesDigitsAfterAnyBlanks) {
    EXPECT_EQ(read_config("wrap:72\n"), "");
    EXPECT_EQ(options.wrap, 72);
    EXPECT_EQ(read_config("wrap:     80\n"), "");
    EXPECT_EQ(options.wrap, 80);
    // Anything after the number on its line is ignored.
    EXPECT_EQ(read_config("indent-spaces: 7 and more\ntab-size: 12x\n"), "");
    EXPECT_EQ(options.indent_spaces, 7);
    EXPECT_EQ(options.tab_size, 12);
}

TEST_F(ConfigTest, IntegerWithoutDigitsWarnsAndGivesZero) {
    EXPECT_EQ(read_config("wrap: abc\n"), std::string(malformed) + "wrap\n");
    EXPECT_EQ(options.wrap, 0);
    // No sign is accepted.
    options.tab_size = 4;
    EXPECT_EQ(apply("tab-size", "-3"), std::string(malformed) + "tab-size\n");
    EXPECT_EQ(options.tab_size, 0);
    options.tab_size = 4;
    EXPECT_EQ(apply("tab-size", "abc"), std::string(malformed) + "tab-size\n");
    EXPECT_EQ(options.tab_size, 0);
    options.indent_spaces = 2;
    EXPECT_EQ(apply("indent-spaces", ""), std::string(malformed) + "indent-spaces\n");
    EXPECT_EQ(options.indent_spaces, 0);
}

// Each numeric option has a largest value; a larger one is refused with the
// bad-value warning and the option keeps the value it had.
TEST_F(ConfigTest, IntegerAboveItsBoundWarnsAndKeepsTheValue) {
    const std::string warning = std::string(malformed);
    EXPECT_EQ(apply("wrap", "2147483647"), "");
    EXPECT_EQ(options.wrap, 2147483647);
    options.wrap = 68;
    EXPECT_EQ(apply("wrap", "2147483648"), warning + "wrap\n"); // 2^31
    EXPECT_EQ(options.wrap, 68);
    EXPECT_EQ(apply("wrap", "4294967297"), warning + "wrap\n"); // 2^32 + 1 does not wrap to 1
    EXPECT_EQ(options.wrap, 68);
    EXPECT_EQ(apply("wrap", "99999999999999999999999999"), warning + "wrap\n");
    EXPECT_EQ(options.wrap, 68);

    EXPECT_EQ(apply("indent-spaces", "1000"), "");
    EXPECT_EQ(options.indent_spaces, 1000);
    options.indent_spaces = 2;
    EXPECT_EQ(apply("indent-spaces", "1001"), warning + "indent-spaces\n");
    EXPECT_EQ(apply("indent-spaces", "2000000000"), warning + "indent-spaces\n");
    EXPECT_EQ(options.indent_spaces, 2);

    EXPECT_EQ(apply("tab-size", "1000"), "");
    EXPECT_EQ(options.tab_size, 1000);
    options.tab_size = 4;
    EXPECT_EQ(read_config("tab-size: 1001\nindent-spaces: 3\n"), warning + "tab-size\n");
    EXPECT_EQ(options.tab_size, 4);
    EXPECT_EQ(options.indent_spaces, 3); // the next line is read as usual
}

TEST_F(ConfigTest, EmptyValueTakesTheNextNonBlankLine) {
    EXPECT_EQ(read_config("wrap:\n\n   \n90\nindent-spaces: 5\n"), "");
    EXPECT_EQ(options.wrap, 90);
    EXPECT_EQ(options.indent_spaces, 5);
    // The next option line is used up as the value.
    EXPECT_EQ(read_config("tab-size:\nindent-spaces: 9\n"), std::string(malformed) + "tab-size\n");
    EXPECT_EQ(options.tab_size, 0);
    EXPECT_EQ(options.indent_spaces, 5);
}

// ---- boolean and markup flag ---------------------------------------------

TEST_F(ConfigTest, BooleanLooksAtTheFirstCharacterOnly) {
    for (const char* yes : {"1", "T", "Y", "t", "y", "yes and more words", "true"}) {
        options.quiet = false;
        EXPECT_EQ(apply("quiet", yes), "") << yes;
        EXPECT_TRUE(options.quiet) << yes;
    }
    for (const char* no : {"0", "F", "N", "f", "n", "no", "false"}) {
        options.quiet = true;
        EXPECT_EQ(apply("quiet", no), "") << no;
        EXPECT_FALSE(options.quiet) << no;
    }
}

TEST_F(ConfigTest, MalformedBooleanWarnsAndGivesNo) {
    options.wrap_sections = true;
    EXPECT_EQ(apply("wrap-sections", "maybe"), std::string(malformed) + "wrap-sections\n");
    EXPECT_FALSE(options.wrap_sections);
    options.quote_nbsp = true;
    EXPECT_EQ(apply("quote-nbsp", ""), std::string(malformed) + "quote-nbsp\n");
    EXPECT_FALSE(options.quote_nbsp);
    options.fix_backslash = true;
    EXPECT_EQ(read_config("fix-backslash: 2\n"), std::string(malformed) + "fix-backslash\n");
    EXPECT_FALSE(options.fix_backslash);
}

TEST_F(ConfigTest, MarkupFlagRejectsDigits) {
    for (const char* yes : {"T", "t", "Y", "y"}) {
        options.markup = false;
        EXPECT_EQ(apply("markup", yes), "") << yes;
        EXPECT_TRUE(options.markup) << yes;
    }
    for (const char* no : {"F", "f", "N", "n"}) {
        options.markup = true;
        EXPECT_EQ(apply("markup", no), "") << no;
        EXPECT_FALSE(options.markup) << no;
    }
    for (const char* bad : {"1", "0", "x", ""}) {
        options.markup = true;
        EXPECT_EQ(apply("markup", bad), std::string(malformed) + "markup\n") << bad;
        EXPECT_FALSE(options.markup) << bad;
    }
}

// Every boolean option name reaches its own variable.
TEST_F(ConfigTest, EveryBooleanNameSetsItsVariable) {
    struct Row {
        const char* name;
        bool Config::*field;
    };
    const Row rows[] = {
        {"wrap-attributes", &Config::wrap_attributes},
        {"wrap-script-literals", &Config::wrap_script_literals},
        {"wrap-sections", &Config::wrap_sections},
        {"wrap-asp", &Config::wrap_asp},
        {"wrap-jste", &Config::wrap_jste},
        {"wrap-php", &Config::wrap_php},
        {"literal-attributes", &Config::literal_attributes},
        {"quiet", &Config::quiet},
        {"varnel-mark", &Config::varnel_mark},
        {"indent-attributes", &Config::indent_attributes},
        {"hide-endtags", &Config::hide_endtags},
        {"input-xml", &Config::input_xml},
        {"output-xml", &Config::output_xml},
        {"output-xhtml", &Config::output_xhtml},
        {"add-xml-pi", &Config::add_xml_decl},
        {"add-xml-decl", &Config::add_xml_decl},
        {"assume-xml-procins", &Config::assume_xml_procins},
        {"raw", &Config::raw},
        {"uppercase-tags", &Config::uppercase_tags},
        {"uppercase-attributes", &Config::uppercase_attributes},
        {"clean", &Config::clean},
        {"logical-emphasis", &Config::logical_emphasis},
        {"word-2000", &Config::word_2000},
        {"drop-empty-paras", &Config::drop_empty_paras},
        {"drop-font-tags", &Config::drop_font_tags},
        {"enclose-text", &Config::enclose_text},
        {"enclose-block-text", &Config::enclose_block_text},
        {"add-xml-space", &Config::add_xml_space},
        {"fix-bad-comments", &Config::fix_bad_comments},
        {"split", &Config::split},
        {"break-before-br", &Config::break_before_br},
        {"numeric-entities", &Config::numeric_entities},
        {"quote-marks", &Config::quote_marks},
        {"quote-nbsp", &Config::quote_nbsp},
        {"quote-ampersand", &Config::quote_ampersand},
        {"write-back", &Config::write_back},
        {"keep-time", &Config::keep_time},
        {"show-warnings", &Config::show_warnings},
        {"fix-backslash", &Config::fix_backslash},
        {"gnu-emacs", &Config::gnu_emacs},
        {"preserve-entities", &Config::preserve_entities},
    };
    for (const Row& row : rows) {
        options = Config{};
        const Config defaults = options;
        bool flipped = !(defaults.*row.field);
        EXPECT_EQ(apply(row.name, flipped ? "yes" : "no"), "") << row.name;
        EXPECT_EQ(options.*row.field, flipped) << row.name;
        // No other boolean moved.
        int changed = 0;
        for (const Row& other : rows) {
            if (other.field != row.field && options.*other.field != defaults.*other.field)
                ++changed;
        }
        EXPECT_EQ(changed, 0) << row.name;
    }
}

// ---- words: indent, encoding, doctype, name --------------------------------

TEST_F(ConfigTest, IndentModeWordsIgnoreCase) {
    EXPECT_EQ(apply("indent", "AUTO"), "");
    EXPECT_TRUE(options.indent_content);
    EXPECT_TRUE(options.smart_indent);
    EXPECT_EQ(apply("indent", "yes"), "");
    EXPECT_TRUE(options.indent_content);
    EXPECT_FALSE(options.smart_indent);
    EXPECT_EQ(apply("indent", "Auto"), "");
    EXPECT_EQ(apply("indent", "False"), "");
    EXPECT_FALSE(options.indent_content);
    EXPECT_FALSE(options.smart_indent);
    EXPECT_EQ(apply("indent", "TRUE"), "");
    EXPECT_TRUE(options.indent_content);
    EXPECT_EQ(apply("indent", "no"), "");
    EXPECT_FALSE(options.indent_content);
    // An unknown word warns and changes nothing.
    EXPECT_EQ(apply("indent", "auto"), "");
    EXPECT_EQ(apply("indent", "sometimes"), std::string(malformed) + "indent\n");
    EXPECT_TRUE(options.indent_content);
    EXPECT_TRUE(options.smart_indent);
    // "y" is not a word this parser knows, unlike a boolean.
    EXPECT_EQ(apply("indent", "y"), std::string(malformed) + "indent\n");
    // One word only: the rest of the line is ignored.
    EXPECT_EQ(read_config("indent: no auto\n"), "");
    EXPECT_FALSE(options.indent_content);
    EXPECT_FALSE(options.smart_indent);
}

TEST_F(ConfigTest, EncodingNames) {
    struct Row {
        const char* word;
        CharEncoding encoding;
    };
    const Row rows[] = {
        {"raw", CharEncoding::Raw},         {"ASCII", CharEncoding::Ascii},
        {"latin1", CharEncoding::Latin1},   {"Utf8", CharEncoding::Utf8},
        {"iso2022", CharEncoding::Iso2022}, {"MAC", CharEncoding::MacRoman},
    };
    for (const Row& row : rows) {
        options.char_encoding = CharEncoding::Ascii;
        if (row.encoding == CharEncoding::Ascii) options.char_encoding = CharEncoding::Raw;
        EXPECT_EQ(apply("char-encoding", row.word), "") << row.word;
        EXPECT_EQ(options.char_encoding, row.encoding) << row.word;
    }
    options.char_encoding = CharEncoding::Latin1;
    EXPECT_EQ(apply("char-encoding", "utf-8"), std::string(malformed) + "char-encoding\n");
    EXPECT_EQ(options.char_encoding, CharEncoding::Latin1);
    EXPECT_EQ(read_config("char-encoding:   mac   \n"), "");
    EXPECT_EQ(options.char_encoding, CharEncoding::MacRoman);
}

TEST_F(ConfigTest, DoctypeModes) {
    EXPECT_EQ(apply("doctype", "Strict"), "");
    EXPECT_EQ(options.doctype_mode, DoctypeStrict);
    EXPECT_EQ(apply("doctype", "omit"), "");
    EXPECT_EQ(options.doctype_mode, DoctypeOmit);
    EXPECT_EQ(apply("doctype", "LOOSE"), "");
    EXPECT_EQ(options.doctype_mode, DoctypeLoose);
    EXPECT_EQ(apply("doctype", "strict"), "");
    EXPECT_EQ(apply("doctype", "transitional"), "");
    EXPECT_EQ(options.doctype_mode, DoctypeLoose);
    // An unknown word silently means auto.
    EXPECT_EQ(apply("doctype", "html4"), "");
    EXPECT_EQ(options.doctype_mode, DoctypeAuto);
    // An empty value warns and also gives auto.
    EXPECT_EQ(apply("doctype", "omit"), "");
    EXPECT_EQ(apply("doctype", ""), std::string(malformed) + "doctype\n");
    EXPECT_EQ(options.doctype_mode, DoctypeAuto);
}

TEST_F(ConfigTest, QuotedDoctypeIsAPublicIdentifier) {
    EXPECT_EQ(apply("doctype", "\"-//W3C//DTD HTML 4.01//EN\""), "");
    EXPECT_EQ(options.doctype_mode, DoctypeUser);
    ASSERT_TRUE(options.doctype_str.has_value());
    EXPECT_EQ(*options.doctype_str, "-//W3C//DTD HTML 4.01//EN");
    // In a file, what follows the closing quote on its line is skipped and
    // the next line is read as an option.
    EXPECT_EQ(read_config("doctype: \"-//ACME//DTD X//EN\" trailing words\nwrap: 33\n"), "");
    EXPECT_EQ(options.doctype_mode, DoctypeUser);
    EXPECT_EQ(*options.doctype_str, "-//ACME//DTD X//EN");
    EXPECT_EQ(options.wrap, 33);
    // A word after a quoted identifier goes back to a named mode.
    EXPECT_EQ(apply("doctype", "strict"), "");
    EXPECT_EQ(options.doctype_mode, DoctypeStrict);
}

TEST_F(ConfigTest, NameIsOneWord) {
    EXPECT_EQ(read_config("slide-style:   my style sheet\n"), "");
    ASSERT_TRUE(options.slide_style.has_value());
    EXPECT_EQ(*options.slide_style, "my");
    // An empty word warns and leaves an empty string, not "no value".
    EXPECT_EQ(apply("slide-style", ""), std::string(malformed) + "slide-style\n");
    ASSERT_TRUE(options.slide_style.has_value());
    EXPECT_EQ(*options.slide_style, "");
    // At most 254 characters are kept.
    std::string long_word(300, 'a');
    EXPECT_EQ(apply("slide-style", long_word.c_str()), "");
    EXPECT_EQ(*options.slide_style, std::string(254, 'a'));
}

// ---- strings ---------------------------------------------------------------

TEST_F(ConfigTest, StringKeepsInnerAndTrailingBlanks) {
    EXPECT_EQ(read_config("alt-text:   a  picture \t\n"), "");
    ASSERT_TRUE(options.alt_text.has_value());
    EXPECT_EQ(*options.alt_text, "a  picture  ");
    // Through a command-line value, the whole string counts, blanks included.
    EXPECT_EQ(apply("alt-text", "  two words here "), "");
    EXPECT_EQ(*options.alt_text, "two words here ");
    // The previous value is replaced.
    EXPECT_EQ(apply("error-file", "first.txt"), "");
    EXPECT_EQ(apply("error-file", "second.txt"), "");
    EXPECT_EQ(*options.error_file, "second.txt");
    // An empty value gives an empty string.
    EXPECT_EQ(apply("alt-text", ""), "");
    ASSERT_TRUE(options.alt_text.has_value());
    EXPECT_EQ(*options.alt_text, "");
}

TEST_F(ConfigTest, StringContinuesOverIndentedLines) {
    EXPECT_EQ(read_config("alt-text: one\n   two\nwrap: 50\n"), "");
    EXPECT_EQ(*options.alt_text, "one   two");
    EXPECT_EQ(options.wrap, 50);
    // Carriage returns end lines too, alone or before a line feed.
    EXPECT_EQ(read_config("alt-text: x\r\n y\r\tz\rwrap: 9\r\n"), "");
    EXPECT_EQ(*options.alt_text, "x y z");
    EXPECT_EQ(options.wrap, 9);
    // An empty line continues the value; the next unindented line ends it
    // and is read as an option.
    EXPECT_EQ(read_config("alt-text: a\n\nquiet: y\n"), "");
    EXPECT_EQ(*options.alt_text, "a");
    EXPECT_TRUE(options.quiet);
}

TEST_F(ConfigTest, QuotedString) {
    EXPECT_EQ(read_config("alt-text: 'say \"hi\" now' ignored\nquiet: y\n"), "");
    EXPECT_EQ(*options.alt_text, "say \"hi\" now");
    EXPECT_TRUE(options.quiet);
    EXPECT_EQ(read_config("alt-text: \"it's\"\n"), "");
    EXPECT_EQ(*options.alt_text, "it's");
    // A quoted value may go on over continuation lines.
    EXPECT_EQ(read_config("alt-text: \"one\n  two\"\nwrap: 20\n"), "");
    EXPECT_EQ(*options.alt_text, "one  two");
    EXPECT_EQ(options.wrap, 20);
    // An unclosed quote ends with its logical line.
    EXPECT_EQ(read_config("alt-text: \"open\nwrap: 21\n"), "");
    EXPECT_EQ(*options.alt_text, "open");
    EXPECT_EQ(options.wrap, 21);
}

TEST_F(ConfigTest, StringIsCutAtItsLimit) {
    std::string text = "alt-text: " + std::string(9000, 'a') + "\nwrap: 7\n";
    EXPECT_EQ(read_config(text), "");
    EXPECT_EQ(*options.alt_text, std::string(8190, 'a'));
    EXPECT_EQ(options.wrap, 7);
}

// ---- tag lists -------------------------------------------------------------

TEST_F(ConfigTest, TagListOverContinuationLines) {
    EXPECT_EQ(read_config("new-blocklevel-tags: Foo, bar\n  baz\nwrap: 50\n"), "");
    for (const char* name : {"foo", "bar", "baz"}) {
        TagPtr tag = lookup_tag(name);
        ASSERT_NE(tag, nullptr) << name;
        EXPECT_NE(tag->model & ModelBlock, 0u) << name;
        EXPECT_NE(tag->model & ModelUserDefined, 0u) << name;
    }
    EXPECT_EQ(lookup_tag("Foo"), nullptr);
    EXPECT_EQ(lookup_tag("wrap:"), nullptr);
    EXPECT_EQ(options.wrap, 50);
}

TEST_F(ConfigTest, TagListKinds) {
    EXPECT_EQ(apply("new-inline-tags", "x-one,,x-two"), "");
    EXPECT_EQ(apply("new-empty-tags", "\tX-Empty "), "");
    EXPECT_EQ(apply("new-pre-tags", "x-pre"), "");
    ASSERT_NE(lookup_tag("x-one"), nullptr);
    ASSERT_NE(lookup_tag("x-two"), nullptr);
    EXPECT_NE(lookup_tag("x-two")->model & ModelInline, 0u);
    ASSERT_NE(lookup_tag("x-empty"), nullptr);
    EXPECT_NE(lookup_tag("x-empty")->model & ModelEmpty, 0u);
    ASSERT_NE(lookup_tag("x-pre"), nullptr);
    EXPECT_EQ(lookup_tag("x-pre")->builder, BuilderPre);
    // Lists accumulate.
    EXPECT_EQ(read_config("new-inline-tags: x-three\n\n  x-four\r\nwrap: 3\n"), "");
    EXPECT_NE(lookup_tag("x-one"), nullptr);
    EXPECT_NE(lookup_tag("x-three"), nullptr);
    EXPECT_NE(lookup_tag("x-four"), nullptr);
    EXPECT_EQ(options.wrap, 3);
}

// ---- file syntax -------------------------------------------------------------

TEST_F(ConfigTest, CommentsAndContinuationLines) {
    std::string text = "// a comment\n"
                       "/wrap: 1\n"
                       "// another, continued\n"
                       "   wrap: 2\n"
                       "wrap: 40\n"
                       "   tab-size: 9\n"
                       "\n"
                       "indent-spaces: 6\n";
    EXPECT_EQ(read_config(text), "");
    EXPECT_EQ(options.wrap, 40);
    EXPECT_EQ(options.tab_size, 4);
    EXPECT_EQ(options.indent_spaces, 6);
}

TEST_F(ConfigTest, OptionNameIsLiteral) {
    // A blank before the colon makes another name.
    EXPECT_EQ(read_config("wrap : 72\n"), "");
    EXPECT_EQ(options.wrap, 68);
    // Names are case-sensitive.
    EXPECT_EQ(read_config("Wrap: 72\n"), "");
    EXPECT_EQ(options.wrap, 68);
    // A line that begins with white space never starts an option.
    EXPECT_EQ(read_config("  wrap: 72\n"), "");
    EXPECT_EQ(options.wrap, 68);
    // A name runs on over line ends up to the colon.
    EXPECT_EQ(read_config("quiet\nwrap: 72\n"), "");
    EXPECT_EQ(options.wrap, 68);
    // A NUL byte is part of the name, not its end.
    EXPECT_EQ(read_config(std::string("wrap\0x: 72\n", 11)), "");
    EXPECT_EQ(options.wrap, 68);
    // Unknown names are skipped silently, with their continuation lines.
    EXPECT_EQ(read_config("no-such-option: 1\n  wrap: 5\ntab-size: 8\n"), "");
    EXPECT_EQ(options.wrap, 68);
    EXPECT_EQ(options.tab_size, 8);
}

TEST_F(ConfigTest, OptionNameStopsAtSixtyCharacters) {
    // Sixty characters end the name before the line end, so the next line
    // is an option of its own.
    EXPECT_EQ(read_config(std::string(60, 'x') + "\nwrap: 5\n"), "");
    EXPECT_EQ(options.wrap, 5);
    // Fifty-nine and the line end make sixty: the next line is then the rest
    // of that overlong line and is skipped.
    EXPECT_EQ(read_config(std::string(59, 'x') + "\nwrap: 6\n"), "");
    EXPECT_EQ(options.wrap, 5);
}

TEST_F(ConfigTest, MalformedValuesInAFileKeepReading) {
    std::string text = "wrap: abc\n"
                       "quiet: maybe\n"
                       "   quiet: also\n"
                       "markup: 1\n"
                       "indent: sometimes\n"
                       "tab-size: 3\n";
    EXPECT_EQ(read_config(text), std::string(malformed) + "wrap\n" + malformed + "quiet\n" +
                                     malformed + "markup\n" + malformed + "indent\n");
    EXPECT_EQ(options.wrap, 0);
    EXPECT_FALSE(options.markup);
    EXPECT_EQ(options.tab_size, 3);
}

TEST_F(ConfigTest, MissingFileIsSilent) {
    std::string messages;
    read_config_file(options, (dir_ + "/absent").c_str(), messages);
    EXPECT_EQ(messages, "");
    EXPECT_EQ(options.wrap, 68);
}

TEST_F(ConfigTest, UnreadableFileIsReported) {
    if (geteuid() == 0) GTEST_SKIP() << "the superuser can read any file";
    std::string path = write_file("locked", "wrap: 5\n");
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    std::string messages;
    read_config_file(options, path.c_str(), messages);
    EXPECT_EQ(messages, "Can't open \"" + path + "\"\n");
    EXPECT_EQ(options.wrap, 68);
}

TEST_F(ConfigTest, FileNameIsExpanded) {
    write_file("rc", "wrap: 44\n");
    const char* old_home = getenv("HOME");
    std::string saved = old_home != nullptr ? old_home : "";
    setenv("HOME", dir_.c_str(), 1);
    std::string messages;
    read_config_file(options, "~/rc", messages);
    if (old_home != nullptr) {
        setenv("HOME", saved.c_str(), 1);
    } else {
        unsetenv("HOME");
    }
    EXPECT_EQ(options.wrap, 44);
}

// ---- apply_option_string -----------------------------------------------------

TEST_F(ConfigTest, ApplyOptionString) {
    bool result = false;
    EXPECT_EQ(apply("wrap", "99", &result), "");
    EXPECT_TRUE(result);
    EXPECT_EQ(options.wrap, 99);
    EXPECT_EQ(apply("no-such", "99", &result), "Warning - unknown option: no-such\n");
    EXPECT_FALSE(result);
    EXPECT_EQ(apply("WRAP", "12", &result), "Warning - unknown option: WRAP\n");
    EXPECT_FALSE(result);
    EXPECT_EQ(options.wrap, 99);
    // A missing name or value is taken as consumed and does nothing.
    EXPECT_EQ(apply(nullptr, "1", &result), "");
    EXPECT_TRUE(result);
    EXPECT_EQ(apply("wrap", nullptr, &result), "");
    EXPECT_TRUE(result);
    EXPECT_EQ(options.wrap, 99);
    // The next argument is always the value: a file name starting with "f"
    // reads as "no", one starting with "m" is malformed, and both are consumed.
    options.quiet = true;
    EXPECT_EQ(apply("quiet", "file.html", &result), "");
    EXPECT_TRUE(result);
    EXPECT_FALSE(options.quiet);
    options.quiet = true;
    EXPECT_EQ(apply("quiet", "main.html", &result), std::string(malformed) + "quiet\n");
    EXPECT_TRUE(result);
    EXPECT_FALSE(options.quiet);
}

// ---- expand_home ---------------------------------------------------------------

TEST_F(ConfigTest, ExpandHome) {
    const char* old_home = getenv("HOME");
    std::string saved = old_home != nullptr ? old_home : "";
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(expand_home("~/.varnelrc"), "/home/someone/.varnelrc");
    EXPECT_EQ(expand_home("~"), "/home/someone");
    EXPECT_EQ(expand_home("plain/path"), "plain/path");
    EXPECT_EQ(expand_home("/abs/~x"), "/abs/~x");
    EXPECT_EQ(expand_home(""), "");
    EXPECT_EQ(expand_home(nullptr), "");
    unsetenv("HOME");
    EXPECT_EQ(expand_home("~/.varnelrc"), "/.varnelrc");
    if (old_home != nullptr) setenv("HOME", saved.c_str(), 1);

    struct passwd* root = getpwnam("root");
    ASSERT_NE(root, nullptr);
    std::string root_home = root->pw_dir;
    EXPECT_EQ(expand_home("~root/x/y"), root_home + "/x/y");
    EXPECT_EQ(expand_home("~root"), root_home);
    EXPECT_EQ(expand_home("~no-such-user-here/x"), "~no-such-user-here/x");
}

// ---- derive_options --------------------------------------------------------------

TEST_F(ConfigTest, DeriveLeavesDefaultsAlone) {
    derive_options(options);
    const Config defaults;
    EXPECT_EQ(options.wrap, defaults.wrap);
    EXPECT_EQ(options.enclose_text, defaults.enclose_text);
    EXPECT_EQ(options.indent_content, defaults.indent_content);
    EXPECT_EQ(options.output_xml, defaults.output_xml);
    EXPECT_EQ(options.quote_ampersand, defaults.quote_ampersand);
    EXPECT_EQ(options.hide_endtags, defaults.hide_endtags);
    EXPECT_EQ(options.assume_xml_procins, defaults.assume_xml_procins);
    EXPECT_EQ(lookup_tag("o:p"), nullptr);
}

TEST_F(ConfigTest, DeriveSimpleRules) {
    options.enclose_block_text = true;
    options.smart_indent = true;
    options.indent_content = false;
    options.wrap = 0;
    options.word_2000 = true;
    derive_options(options);
    EXPECT_TRUE(options.enclose_text);
    EXPECT_TRUE(options.indent_content);
    EXPECT_EQ(options.wrap, 2147483647);
    TagPtr op = lookup_tag("o:p");
    ASSERT_NE(op, nullptr);
    EXPECT_NE(op->model & ModelInline, 0u);
    // A wrap other than 0 is kept.
    options.wrap = 5;
    derive_options(options);
    EXPECT_EQ(options.wrap, 5);
}

TEST_F(ConfigTest, DeriveXhtmlOutput) {
    options.output_xhtml = true;
    options.uppercase_tags = true;
    options.uppercase_attributes = true;
    options.hide_endtags = true;
    options.quote_ampersand = false;
    derive_options(options);
    EXPECT_TRUE(options.output_xml);
    EXPECT_FALSE(options.uppercase_tags);
    EXPECT_FALSE(options.uppercase_attributes);
    EXPECT_TRUE(options.quote_ampersand);
    EXPECT_FALSE(options.hide_endtags);
    EXPECT_FALSE(options.assume_xml_procins);
}

TEST_F(ConfigTest, DeriveXmlInput) {
    options.input_xml = true;
    options.hide_endtags = true;
    options.uppercase_tags = true;
    derive_options(options);
    EXPECT_TRUE(options.output_xml);
    EXPECT_TRUE(options.assume_xml_procins);
    EXPECT_FALSE(options.hide_endtags);
    EXPECT_TRUE(options.uppercase_tags); // only XHTML output clears it
}

TEST_F(ConfigTest, DerivePreserveEntitiesWinsOverXml) {
    options.output_xml = true;
    options.preserve_entities = true;
    options.quote_ampersand = true;
    derive_options(options);
    EXPECT_FALSE(options.quote_ampersand);
    options = Config{};
    options.preserve_entities = true;
    derive_options(options);
    EXPECT_FALSE(options.quote_ampersand);
}

TEST_F(ConfigTest, OptionsBelongToTheirRecord) {
    EXPECT_EQ(apply("slide-style", "deck"), "");
    EXPECT_EQ(apply("error-file", "errs"), "");
    EXPECT_EQ(apply("doctype", "\"-//X//EN\""), "");
    EXPECT_EQ(apply("new-inline-tags", "x-mine"), "");
    // Another run's options start from the defaults: nothing set on one
    // record, tags declared included, reaches another.
    Config other;
    EXPECT_FALSE(other.slide_style.has_value());
    EXPECT_FALSE(other.error_file.has_value());
    EXPECT_FALSE(other.doctype_str.has_value());
    EXPECT_TRUE(other.declared_tags.empty());
    EXPECT_EQ(TagTable(other.declared_tags).find("x-mine"), nullptr);
    std::string messages;
    EXPECT_TRUE(apply_option_string(other, "wrap", "12", messages));
    EXPECT_EQ(other.wrap, 12);
    EXPECT_EQ(options.wrap, 68);
    EXPECT_EQ(*options.slide_style, "deck");
}

} // namespace
} // namespace varnel
