// The versions a printed page fits: the DTD tables against the program's
// own tables, and the walk's rule families on small pages.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "build_support.h"
#include "input/dtd_tables.h"
#include "input/html_dtds.h"
#include "input/versions.h"

namespace varnel {
namespace {

class VersionsTest : public ::testing::Test {
  protected:
    void SetUp() override { test::fresh_globals(); }
};

// True when `name` is one of the space-separated words of `list`.
bool has_word(std::string_view list, std::string_view name) {
    size_t at = 0;
    while ((at = list.find(name, at)) != std::string_view::npos) {
        const bool starts = at == 0 || list[at - 1] == ' ';
        const bool ends = at + name.size() == list.size() || list[at + name.size()] == ' ';
        if (starts && ends) return true;
        at += name.size();
    }
    return false;
}

// The words of a space-separated list.
std::vector<std::string_view> words_of(std::string_view list) {
    std::vector<std::string_view> words;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(' ', start);
        if (end == std::string_view::npos) end = list.size();
        if (end > start) words.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

// The place of `name` in a table of `count` names (found one by one), or -1.
int place_in(const std::string_view* table, size_t count, std::string_view name) {
    for (size_t i = 0; i < count; ++i) {
        if (table[i] == name) return static_cast<int>(i);
    }
    return -1;
}

int symbol_named(std::string_view name) {
    return place_in(dtd_symbol_names, dtd_symbol_count, name);
}

// Feeds the children named in `children` to the content model of `element`
// in `version` (0 to 4): the state reached, or DtdNoState.
uint16_t state_after(std::string_view element, int version,
                     std::initializer_list<std::string_view> children) {
    uint16_t state = dtd_symbols[symbol_named(element)].start[version];
    for (std::string_view child : children) {
        state = dtd_moves[size_t{state} * DtdMaxSymbols + static_cast<size_t>(symbol_named(child))];
        if (state == DtdNoState) break;
    }
    return state;
}

bool accepts_after(std::string_view element, int version,
                   std::initializer_list<std::string_view> children) {
    const uint16_t state = state_after(element, version, children);
    return state != DtdNoState && dtd_accepts[state];
}

// The versions whose DTD defines the general entity `name`.
VersionBits entity_versions(std::string_view name) {
    VersionBits versions = 0;
    for (size_t i = 0; i < dtd_entity_count; ++i) {
        if (has_word(dtd_entities[i].names, name)) versions |= dtd_entities[i].versions;
    }
    return versions;
}

TEST_F(VersionsTest, EveryDtdElementIsKnownAndAgreesWithTheTagTable) {
    for (size_t i = 0; i < dtd_element_count; ++i) {
        std::string_view names = dtd_elements[i].names;
        size_t start = 0;
        while (start < names.size()) {
            size_t end = names.find(' ', start);
            if (end == std::string_view::npos) end = names.size();
            const std::string name(names.substr(start, end - start));
            EXPECT_TRUE(is_dtd_element(name.c_str())) << name;
            // An element of the program's table is standard in some version
            // that declares it (nextid, which only HTML 2.0 has, is not in
            // the program's table).
            if (const TagPtr tag = lookup_builtin_tag(name)) {
                VersionBits declared = 0;
                for (size_t j = 0; j < dtd_element_count; ++j) {
                    if (has_word(dtd_elements[j].names, name)) declared |= dtd_elements[j].versions;
                }
                EXPECT_NE(tag->versions & declared, 0u) << name;
            }
            start = end + 1;
        }
    }
    EXPECT_FALSE(is_dtd_element("blink"));
    EXPECT_FALSE(is_dtd_element("#pcdata"));
}

TEST_F(VersionsTest, NamesThePrinterWritesAreDefinedWhereTheirCharactersAre) {
    // Latin-1 names are defined by every version, the others by HTML 4.01.
    for (uint32_t c = 0xA0; c <= 0xFF; ++c) {
        const char* name = entity_name(c);
        ASSERT_NE(name, nullptr) << c;
        EXPECT_EQ(entity_versions(name), VersionAll) << name;
    }
    for (const EntityDef* e = entity_table; e->name != nullptr; ++e) {
        if (e->code <= 0xFF) continue;
        EXPECT_EQ(entity_versions(e->name) & VersionHTML40, VersionHTML40) << e->name;
    }
    for (const char* name : {"amp", "lt", "gt"})
        EXPECT_EQ(entity_versions(name), VersionAll) << name;
    EXPECT_EQ(entity_versions("quot"), VersionAll & ~VersionHTML32);
}

// The tables compiled at build time say what the declarations say: each
// element's versions, its text or empty content, its inclusions and
// exclusions, each attribute's type and whether it is required.
TEST_F(VersionsTest, TheCompiledTablesAgreeWithTheDeclarations) {
    ASSERT_LT(dtd_symbol_count, size_t{DtdMaxSymbols});
    EXPECT_EQ(dtd_symbol_names[0], "#pcdata");
    for (size_t s = 2; s < dtd_symbol_count; ++s)
        EXPECT_LT(dtd_symbol_names[s - 1], dtd_symbol_names[s]); // sorted, for binary search
    for (size_t a = 1; a < dtd_attribute_name_count; ++a)
        EXPECT_LT(dtd_attribute_names[a - 1], dtd_attribute_names[a]);

    std::vector<VersionBits> declared(dtd_symbol_count, 0);
    for (size_t r = 0; r < dtd_element_count; ++r) {
        const DtdElement& row = dtd_elements[r];
        const std::string_view content = row.content;
        for (std::string_view name : words_of(row.names)) {
            const int s = symbol_named(name);
            ASSERT_GT(s, 0) << name;
            declared[static_cast<size_t>(s)] |= row.versions;
            const DtdSymbol& data = dtd_symbols[s];
            for (int v = 0; v < DtdVersionCount; ++v) {
                const VersionBits bit = VersionBits{1} << v;
                if ((row.versions & bit) == 0) continue;
                // Empty content takes no child, text content any.
                if (content == "EMPTY" || content == "CDATA" || content == "RCDATA") {
                    for (size_t c = 0; c < DtdMaxSymbols; ++c) {
                        EXPECT_EQ(dtd_names_child[s][c] & bit, content == "EMPTY" ? 0u : bit)
                            << name << " " << c;
                    }
                    EXPECT_EQ(data.ordered_content & bit, 0u) << name;
                }
                // "(a|b|c)*" takes its names in any order: no automaton.
                if (content.front() == '(' && content.ends_with(")*") &&
                    content.find_first_of(",&?+", 1) == std::string_view::npos &&
                    content.find('(', 1) == std::string_view::npos) {
                    EXPECT_EQ(data.ordered_content & bit, 0u) << name;
                }
                for (std::string_view included : words_of(row.inclusions)) {
                    ASSERT_GE(data.exceptions, 0) << name;
                    EXPECT_EQ(dtd_exceptions[data.exceptions]
                                      .included[static_cast<size_t>(symbol_named(included))] &
                                  bit,
                              bit)
                        << name << " +" << included;
                }
                for (std::string_view excluded : words_of(row.exclusions)) {
                    ASSERT_GE(data.exceptions, 0) << name;
                    EXPECT_EQ(dtd_exceptions[data.exceptions]
                                      .excluded[static_cast<size_t>(symbol_named(excluded))] &
                                  bit,
                              bit)
                        << name << " -" << excluded;
                }
            }
        }
    }
    for (size_t s = 1; s < dtd_symbol_count; ++s)
        EXPECT_EQ(dtd_symbols[s].declared, declared[s]) << dtd_symbol_names[s];

    for (size_t r = 0; r < dtd_attribute_count; ++r) {
        const DtdAttribute& row = dtd_attributes[r];
        const int number = place_in(dtd_attribute_names, dtd_attribute_name_count, row.name);
        ASSERT_GE(number, 0) << row.name;
        for (std::string_view element : words_of(row.elements)) {
            const int s = symbol_named(element);
            if (s < 0) continue; // an element no content model names
            const uint16_t at =
                dtd_attribute_index[static_cast<size_t>(s) * dtd_attribute_name_count +
                                    static_cast<size_t>(number)];
            ASSERT_NE(at, DtdNoAttribute) << element << " " << row.name;
            const DtdSymbol& data = dtd_symbols[s];
            for (int v = 0; v < DtdVersionCount; ++v) {
                const VersionBits bit = VersionBits{1} << v;
                if ((row.versions & bit) == 0) continue;
                const int16_t type = dtd_attribute_decls[at].type[v];
                ASSERT_GE(type, 0) << element << " " << row.name;
                const DtdValueType& t = dtd_value_types[type];
                const std::string_view declared_type = row.type;
                if (declared_type.front() == '(') {
                    ASSERT_EQ(t.kind, DtdValueKind::Enumeration) << row.name;
                    std::string values = "(";
                    for (uint16_t i = 0; i < t.value_count; ++i) {
                        if (i > 0) values += '|';
                        values += dtd_enumerated_values[t.first_value + i];
                    }
                    EXPECT_EQ(values + ")", declared_type) << element << " " << row.name;
                } else if (declared_type == "CDATA") {
                    EXPECT_EQ(t.kind, DtdValueKind::Cdata) << row.name;
                } else if (declared_type == "NUMBER") {
                    EXPECT_EQ(t.kind, DtdValueKind::Number) << row.name;
                }
                bool required = false;
                for (size_t i = data.first_required; i < data.first_required + data.required_count;
                     ++i) {
                    if (dtd_required_attributes[i].name == std::string_view(row.name) &&
                        (dtd_required_attributes[i].versions & bit) != 0)
                        required = true;
                }
                EXPECT_EQ(required, row.required) << element << " " << row.name;
            }
        }
    }
    EXPECT_EQ(dtd_quot_versions, entity_versions("quot"));
    EXPECT_EQ(dtd_symbol_names[dtd_tr_symbol], "tr");
    EXPECT_EQ(dtd_symbol_names[dtd_tbody_symbol], "tbody");
}

// The content automata follow their models: (head,body,plaintext?) in HTML
// 2.0, (head,body) in 4.01 Strict, (head,frameset) in Frameset,
// (caption?,tr+) for a table in 3.2 and a table body required in 4.01,
// where a row straight in a table stands in a body the parser infers.
TEST_F(VersionsTest, TheContentAutomataFollowTheirModels) {
    const int html20 = 0, html32 = 1, strict = 2, frameset = 4;
    EXPECT_TRUE(accepts_after("html", html20, {"head", "body"}));
    EXPECT_TRUE(accepts_after("html", html20, {"head", "body", "plaintext"}));
    EXPECT_FALSE(accepts_after("html", html20, {"head"}));
    EXPECT_EQ(state_after("html", html20, {"body"}), DtdNoState);
    EXPECT_EQ(state_after("html", html20, {"head", "body", "plaintext", "plaintext"}), DtdNoState);
    EXPECT_TRUE(accepts_after("html", strict, {"head", "body"}));
    EXPECT_EQ(state_after("html", strict, {"head", "frameset"}), DtdNoState);
    EXPECT_TRUE(accepts_after("html", frameset, {"head", "frameset"}));
    EXPECT_EQ(state_after("html", frameset, {"head", "body"}), DtdNoState);

    EXPECT_TRUE(accepts_after("table", html32, {"caption", "tr", "tr"}));
    EXPECT_FALSE(accepts_after("table", html32, {"caption"}));
    EXPECT_EQ(state_after("table", html32, {"tr", "caption"}), DtdNoState);
    EXPECT_FALSE(accepts_after("table", strict, {}));
    EXPECT_TRUE(accepts_after("table", strict, {"caption", "colgroup", "thead", "tbody", "tbody"}));
    EXPECT_EQ(state_after("table", strict, {"tr"}), DtdNoState);
    EXPECT_EQ(state_after("table", strict, {"tbody", "thead"}), DtdNoState);
    const DtdSymbol& table = dtd_symbols[symbol_named("table")];
    EXPECT_EQ(table.infers_body, VersionHTML40);
    EXPECT_EQ(table.ordered_content & VersionHTML40, VersionHTML40);
}

struct PageCase {
    const char* source;
    bool clean;
    VersionBits expected;
};

TEST_F(VersionsTest, TheWalkJudgesThePageAsPrinted) {
    const VersionBits H5 = VersionHTML5;
    const VersionBits Html20 = VersionHTML20, Html32 = VersionHTML32, Strict = VersionHTML40Strict,
                      Loose = VersionHTML40Loose, Frames = VersionFrames;
    const PageCase cases[] = {
        // Frameset takes a frameset where the others take a body.
        {"<title>t</title><p>x</p>", false, Html20 | Html32 | Strict | Loose | H5},
        {"<title>t</title><frameset><frame src=a></frameset>", false, Frames | H5},
        // Text straight in the body: neither Strict nor (in its recommended
        // form) HTML 2.0; in a div it is Strict, and white space is nothing.
        {"<title>t</title>x", false, Html32 | Loose | H5},
        {"<title>t</title><div>x</div>", false, Html32 | Strict | Loose | H5},
        {"<title>t</title><div>\n  <p>x</p>\n  </div>\n", false, Html32 | Strict | Loose | H5},
        // HTML 2.0 takes form controls in a form only.
        {"<title>t</title><p><input name=a></p>", false, Html32 | Strict | Loose | H5},
        {"<title>t</title><form action=a><p><input name=a></p></form>", false,
         Html20 | Html32 | Strict | Loose | H5},
        // Characters beyond Latin-1, unless -clean folds them to ASCII.
        {"<title>t</title><p>&#8220;x&#8221;</p>", false, Strict | Loose | H5},
        {"<title>t</title><p>&#8220;x&#8221;</p>", true, Html20 | Html32 | Strict | Loose | H5},
        {"<title>t</title><p>&#8364;</p>", true, Strict | Loose | H5},
        // Attribute values by the element's declaration.
        {"<title>t</title><p align=center>x</p>", false, Html32 | Loose | H5},
        {"<title>t</title><p align=justify>x</p>", false, Loose | H5},
        {"<title>t</title><p foo=1>x</p>", false, Html20 | Html32 | Strict | Loose | H5},
        // A row straight in a table stands in an inferred table body.
        {"<title>t</title><table><tr><td>x</td></tr></table>", false, Html32 | Strict | Loose | H5},
        // Required content and attributes choose among the versions whose
        // vocabulary covers the page, and give way when none is left.
        {"<title>t</title><blockquote></blockquote>", false, Html20 | Html32 | Loose | H5},
        {"<title>t</title><p><img src=x></p>", false, Html20 | Html32 | H5},
        {"<title>t</title><p><span><img src=x></span></p>", false, Strict | Loose | H5},
        // Font is written without its tags under -clean; blink is proprietary.
        {"<title>t</title><p><font color=red>x</font></p>", false, Html32 | Loose | H5},
        {"<title>t</title><p><font color=red>x</font></p>", true,
         Html20 | Html32 | Strict | Loose | H5},
        {"<title>t</title><p><blink>x</blink></p>", false, 0},
        // HTML5 knows every element of the earlier versions (frames and
        // font among them, as obsolete ones) but no proprietary one. Its
        // own elements and attributes, meta charset and the new input types
        // rule the earlier versions out; wbr and embed are HTML5's.
        {"<title>t</title><p bordercolor=red>x</p>", false, 0},
        {"<title>t</title><p><nobr>x</nobr></p>", false, 0},
        {"<title>t</title><section><p>x</p></section>", false, H5},
        {"<title>t</title><div data-x=1 aria-hidden=true role=note>x</div>", false, H5},
        {"<title>t</title><p data-x=1>x</p>", false, H5},
        {"<meta charset=utf-8><title>t</title><p>x</p>", false, H5},
        {"<title>t</title><form action=a><p><input type=email name=a></p></form>", false, H5},
        {"<title>t</title><form action=a><p><input type=text name=a></p></form>", false,
         Html20 | Html32 | Strict | Loose | H5},
        {"<title>t</title><script type=module src=a></script><p>x</p>", false, H5},
        {"<title>t</title><p>a<wbr>b</p>", false, H5},
        {"<title>t</title><p><svg viewBox='0 0 1 1'><path d=''/></svg></p>", false, H5},
        {"<title>t</title><p><math><mi>x</mi></math></p>", false, H5},
        // An attribute HTML 4.01 has, allowed by HTML5 on more elements, is
        // not counted (no earlier version accepts it there either).
        {"<title>t</title><script id=a type=text/javascript></script><p>x</p>", false,
         Strict | Loose | H5},
    };
    for (const PageCase& c : cases) {
        options.clean = c.clean;
        EXPECT_EQ(test::parse_html(c.source).versions, c.expected)
            << c.source << (c.clean ? " (clean)" : "");
    }
}

} // namespace
} // namespace varnel
