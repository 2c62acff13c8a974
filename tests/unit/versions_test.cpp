// The versions a printed page fits: the DTD tables against the program's
// own tables, and the walk's rule families on small pages.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "build_support.h"
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
