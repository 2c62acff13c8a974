// The attribute dictionary and the attribute and element checks: table
// contents, lookups, reports (exact lines), version narrowing, flags and the
// attributes the checks add.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/config.h"
#include "base/messages.h"
#include "input/lexer.h"
#include "input/stream.h"
#include "model/attrs.h"
#include "model/entities.h"
#include "model/node.h"
#include "model/tags.h"
#include "test_support.h"

namespace varnel {
namespace {

using AttrList = std::vector<std::pair<const char*, const char*>>; // value null: none

class AttrTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::fresh_globals();
        lx_ = std::make_unique<test::LexerOver>("<p>x</p>");
        lexer_ = lx_->lexer;
    }

    void TearDown() override {
        for (Node* n : nodes_)
            free_node(n);
        lx_.reset();
        options = Config{};
    }

    // An element with the attributes in source order; the list is stored
    // newest first, as the attribute scanner builds it.
    Node* element(const char* name, const AttrList& attrs = {}) {
        // The checks read the options as the test has set them.
        lexer_->options = options;
        Node* node = new_node();
        node->set_kind(StartTagNode);
        node->set_element_name(name);
        find_tag(lexer_, node);
        for (const auto& [attr_name, value] : attrs) {
            NodeAttribute* a = new_attribute();
            a->set_name(attr_name);
            if (value != nullptr) a->value = value;
            a->set_attr_def(find_attr_def(a));
            a->next = node->attributes();
            node->set_attributes(a);
        }
        nodes_.push_back(node);
        return node;
    }

    // Puts an embedded ASP block at the head of the attribute list.
    void add_asp_entry(Node* node) {
        Node* block = new_node();
        block->set_kind(AspNode);
        lexer_->attribute_blocks.push_back(block);
        NodeAttribute* a = new_block_attribute(block);
        a->next = node->attributes();
        node->set_attributes(a);
    }

    // The checks in the order the lexer runs them on a start tag.
    void run_checks(Node* node) {
        if (node->tag() != nullptr && node->tag()->check_attributes != nullptr) {
            check_repeated_attributes(lexer_, node);
            node->tag()->check_attributes(lexer_, node);
        } else if (node->tag() != nullptr) {
            check_generic_attributes(lexer_, node);
        }
    }

    std::string output() { return lx_->messages(); }

    // Attribute names in list order, with "=value" when there is a value.
    static std::string attribute_list(const Node* node) {
        std::string s;
        for (const NodeAttribute* a = node->attributes(); a != nullptr; a = a->next) {
            if (!s.empty()) s += ' ';
            s += a->asp() != nullptr ? std::string_view("[asp]") : a->name().view();
            if (a->value) (s += "=") += *a->value;
        }
        return s;
    }

    std::unique_ptr<test::LexerOver> lx_;
    Lexer* lexer_ = nullptr;
    std::vector<Node*> nodes_;
};

// The 151 names in table order, then the version groups and checker groups
// as listed for the dictionary; every row must agree with both lists.
const char* const all_names =
    "abbr accept-charset accept accesskey action add_date align alink alt archive axis "
    "background bgcolor bgproperties border bordercolor bottommargin cellpadding cellspacing "
    "char charoff charset checked cite class classid clear code codebase codetype color cols "
    "colspan compact content coords data datafld dataformatas datapagesize datasrc datetime "
    "declare defer dir disabled enctype face for frame frameborder framespacing gridx gridy "
    "headers height href hreflang hspace http-equiv id ismap label lang language last_modified "
    "last_visit leftmargin link longdesc lowsrc marginheight marginwidth maxlength media method "
    "multiple name nohref noresize noshade nowrap object onblur onfocus onchange onclick "
    "ondblclick "
    "onkeydown onkeypress onkeyup onload onmousedown onmousemove onmouseout onmouseover "
    "onmouseup onsubmit onreset onselect onunload onafterupdate onbeforeupdate onerrorupdate "
    "onrowenter onrowexit onbeforeunload ondatasetchanged ondataavailable ondatasetcomplete "
    "profile prompt readonly rel rev rightmargin rows rowspan rules scheme scope scrolling "
    "selected shape showgrid showgridx showgridy size span src standby start style summary "
    "tabindex target text title topmargin type usemap valign value valuetype version vlink "
    "vspace width wrap xml:lang xmlns";

const std::vector<std::pair<VersionBits, const char*>> version_groups = {
    {0x1F,
     "accept action align alt border checked compact content enctype height href hspace "
     "http-equiv ismap maxlength method multiple name rel rev rows rowspan selected src start "
     "usemap value version width xmlns"},
    {0x1E, "cellpadding cellspacing colspan coords nohref shape type valign"},
    {0x1C,
     "abbr accept-charset accesskey archive axis char charoff charset cite class classid "
     "codebase codetype data datetime declare defer dir disabled for frame headers hreflang id "
     "label lang longdesc media onblur onfocus onchange onclick ondblclick onkeydown onkeypress "
     "onkeyup "
     "onload onmousedown onmousemove onmouseout onmouseover onmouseup onsubmit onreset onselect "
     "onunload profile readonly rules scheme scope span standby style summary tabindex target "
     "title valuetype"},
    {0x1A,
     "alink background bgcolor clear code color face language link noshade nowrap prompt size "
     "text vlink vspace"},
    {0x18, "cols marginheight marginwidth scrolling"},
    {0x10, "frameborder noresize"},
    {0x08, "object"},
    {0x20, "xml:lang"},
    {0x40, "add_date last_modified last_visit wrap"},
    {0x80, "bordercolor bottommargin datafld dataformatas datapagesize datasrc leftmargin "
           "rightmargin topmargin onafterupdate onbeforeupdate onerrorupdate onrowenter onrowexit "
           "onbeforeunload ondatasetchanged ondataavailable ondatasetcomplete"},
    {0x1C0, "bgproperties framespacing gridx gridy lowsrc showgrid showgridx showgridy"},
};

const std::vector<std::pair<AttrCheckFn, const char*>> checker_groups = {
    {check_url_value,
     "action background cite classid codebase data datasrc href longdesc lowsrc profile src"},
    {check_script_value,
     "onblur onfocus onchange onclick ondblclick onkeydown onkeypress onkeyup onload onmousedown "
     "onmousemove onmouseout onmouseover onmouseup onsubmit onreset onselect onunload "
     "onafterupdate onbeforeupdate onerrorupdate onrowenter onrowexit onbeforeunload "
     "ondatasetchanged ondataavailable ondatasetcomplete"},
    {check_bool_value,
     "border checked compact declare defer disabled ismap multiple nohref noresize noshade "
     "nowrap readonly selected showgrid showgridx showgridy usemap"},
    {check_name_value, "name"},
    {check_id_value, "id"},
    {check_align_value, "align"},
    {check_valign_value, "valign"},
};

// The names of the table that HTML5 keeps (on some element): their rows
// carry VersionHTML5 besides the versions above.
const char* const kept_by_html5 =
    "abbr accept-charset accept accesskey action alt charset checked cite class cols colspan "
    "content coords data datetime defer dir disabled enctype for headers height href hreflang "
    "http-equiv id ismap label lang maxlength media method multiple name readonly rel rows "
    "rowspan scope selected shape size span src start style tabindex target title type usemap "
    "value width xmlns border wrap color onblur onfocus onchange onclick ondblclick onkeydown "
    "onkeypress onkeyup onload onmousedown onmousemove onmouseout onmouseover onmouseup "
    "onsubmit onreset onselect onunload onbeforeunload";

std::vector<std::string> words(const char* text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

TEST_F(AttrTest, DictionaryHoldsEveryRowWithItsVersionsCheckerAndWrapFlag) {
    std::vector<std::string> names = words(all_names);
    ASSERT_EQ(names.size(), 151u);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 151u);

    std::map<std::string, VersionBits> versions;
    for (const auto& [bits, list] : version_groups) {
        for (const std::string& n : words(list))
            versions[n] = bits;
    }
    std::map<std::string, AttrCheckFn> checkers;
    for (const auto& [fn, list] : checker_groups) {
        for (const std::string& n : words(list))
            checkers[n] = fn;
    }
    EXPECT_EQ(versions.size(), 151u);
    EXPECT_EQ(checkers.size(), 12u + 27u + 18u + 4u);

    const std::vector<std::string> kept_list = words(kept_by_html5);
    const std::set<std::string> kept(kept_list.begin(), kept_list.end());
    for (const std::string& n : names) {
        SCOPED_TRACE(n);
        const AttrDef* d = lookup_attr_def(n.c_str());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->name, n);
        EXPECT_EQ(d->versions, versions.at(n) | (kept.count(n) != 0 ? VersionHTML5 : 0));
        auto c = checkers.find(n);
        EXPECT_EQ(d->checker, c == checkers.end() ? nullptr : c->second);
        EXPECT_EQ(d->nowrap, n == "alt" || n == "value" || n == "content");
    }
}

TEST_F(AttrTest, LookupsAreExactAndHandlesAreResolved) {
    EXPECT_EQ(lookup_attr_def("HREF"), nullptr);
    EXPECT_EQ(lookup_attr_def("hre"), nullptr);
    EXPECT_EQ(lookup_attr_def("bogus"), nullptr);
    EXPECT_EQ(lookup_attr_def(nullptr), nullptr);
    EXPECT_EQ(find_attr_def(nullptr), nullptr);
    NodeAttribute blank;
    EXPECT_EQ(find_attr_def(&blank), nullptr);

    const std::vector<std::pair<const AttrDef*, const char*>> handles = {
        {attr_href, "href"},         {attr_src, "src"},         {attr_id, "id"},
        {attr_name, "name"},         {attr_summary, "summary"}, {attr_alt, "alt"},
        {attr_longdesc, "longdesc"}, {attr_usemap, "usemap"},   {attr_ismap, "ismap"},
        {attr_language, "language"}, {attr_type, "type"},       {attr_title, "title"},
        {attr_xmlns, "xmlns"},       {attr_datafld, "datafld"}, {attr_value, "value"},
        {attr_content, "content"},   {attr_width, "width"},     {attr_height, "height"},
    };
    for (const auto& [handle, name] : handles) {
        ASSERT_NE(handle, nullptr) << name;
        EXPECT_EQ(handle, lookup_attr_def(name)) << name;
    }

    EXPECT_TRUE(is_url_attribute("href"));
    EXPECT_TRUE(is_url_attribute("lowsrc"));
    EXPECT_FALSE(is_url_attribute("title"));
    EXPECT_FALSE(is_url_attribute("HREF"));
    EXPECT_TRUE(is_script_attribute("onclick"));
    EXPECT_TRUE(is_script_attribute("ondatasetcomplete"));
    // Not in the table: an HTML5 event handler, by its prefix.
    EXPECT_TRUE(is_script_attribute("onfocus"));
    EXPECT_FALSE(is_script_attribute("on"));
    EXPECT_FALSE(is_script_attribute("on-"));
    EXPECT_FALSE(is_script_attribute("href"));

    Node* input = element("input", {{"checked", nullptr}, {"value", "v"}, {"foo", nullptr}});
    // Newest first: foo, value, checked.
    EXPECT_FALSE(is_boolean_attribute(input->attributes()));
    EXPECT_FALSE(is_boolean_attribute(input->attributes()->next));
    EXPECT_TRUE(is_boolean_attribute(input->attributes()->next->next));
}

// HTML5's attributes: the new names carry only VersionHTML5; the boolean
// ones are printed bare; data-*, aria-* and on* are families by prefix,
// which need at least a letter after it.
TEST_F(AttrTest, Html5AttributesAndPrefixFamilies) {
    for (const char* n : {"role", "placeholder", "srcset", "sizes", "loading", "decoding",
                          "crossorigin", "integrity", "nonce", "contenteditable", "translate",
                          "popover", "autocomplete", "pattern", "min", "max", "step"}) {
        SCOPED_TRACE(n);
        const AttrDef* d = lookup_attr_def(n);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->name, n);
        EXPECT_EQ(d->versions, VersionHTML5);
        EXPECT_EQ(d->checker, nullptr);
    }
    for (const char* n : {"async", "hidden", "autofocus", "inert", "required", "controls",
                          "novalidate", "open", "reversed", "playsinline", "muted"}) {
        SCOPED_TRACE(n);
        const AttrDef* d = lookup_attr_def(n);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->versions, VersionHTML5);
        EXPECT_EQ(d->checker, check_bool_value);
    }
    EXPECT_TRUE(is_url_attribute("poster"));
    EXPECT_TRUE(is_url_attribute("formaction"));

    const AttrDef* data = lookup_attr_def("data-x");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->name, "data-*");
    EXPECT_EQ(data->versions, VersionHTML5);
    EXPECT_EQ(lookup_attr_def("data-long-name"), data);
    EXPECT_EQ(lookup_attr_def("data-"), nullptr);
    EXPECT_EQ(lookup_attr_def("data-1"), nullptr);
    EXPECT_EQ(lookup_attr_def("data")->versions, VersionHTML40 | VersionHTML5);
    const AttrDef* aria = lookup_attr_def("aria-label");
    ASSERT_NE(aria, nullptr);
    EXPECT_EQ(aria->name, "aria-*");
    EXPECT_NE(aria, data);
    const AttrDef* on = lookup_attr_def("oninput");
    ASSERT_NE(on, nullptr);
    EXPECT_EQ(on->name, "on*");
    EXPECT_EQ(on->checker, check_script_value);
    // A name of the table is never taken for a family.
    EXPECT_EQ(lookup_attr_def("onclick")->name, "onclick");
}

TEST_F(AttrTest, GetAndAddAttribute) {
    Node* a = element("a", {{"href", "x"}, {"Title", "t"}, {"href", "y"}});
    add_asp_entry(a);
    // The first match in list order is the later href of the source.
    ASSERT_NE(get_attribute(a, "href"), nullptr);
    EXPECT_EQ(*get_attribute(a, "href")->value, "y");
    EXPECT_EQ(get_attribute(a, "title"), nullptr); // exact match only
    EXPECT_NE(get_attribute(a, "Title"), nullptr);
    EXPECT_EQ(get_attribute(a, ""), nullptr); // the ASP entry is not an attribute

    add_attribute(a, "type", "text/css");
    add_attribute(a, "nohref", nullptr);
    // Appended at the end of the list, so the printer writes them first.
    EXPECT_EQ(attribute_list(a), "[asp] href=y Title=t href=x type=text/css nohref");
    NodeAttribute* last = a->attributes();
    while (last->next != nullptr)
        last = last->next;
    EXPECT_EQ(last->attr_def(), lookup_attr_def("nohref"));
    EXPECT_EQ(last->delimiter, '"');
    EXPECT_FALSE(last->value.has_value());
    EXPECT_EQ(output(), "");
}

TEST_F(AttrTest, RepeatedAttributesAreCountedPerLaterDuplicate) {
    lexer_->token_line = 4;
    lexer_->token_column = 2;
    // Two src attributes on img: the lexer's check, the check inside the img
    // check and the check of the first src.
    Node* img = element("img", {{"src", "a"}, {"alt", "x"}, {"src", "b"}});
    run_checks(img);
    EXPECT_EQ(output(), "line 4 column 2 - Warning: <img> repeated attribute \"src\"\n"
                        "line 4 column 2 - Warning: <img> repeated attribute \"src\"\n"
                        "line 4 column 2 - Warning: <img> repeated attribute \"src\"\n");
    EXPECT_EQ(lexer_->warnings, 3u);
    EXPECT_EQ(lexer_->errors, 0u);
}

TEST_F(AttrTest, RepeatedAttributesOnElementsWithAndWithoutChecks) {
    run_checks(element("p", {{"class", "a"}, {"CLASS", "b"}}));
    EXPECT_EQ(lexer_->warnings, 2u); // one repeat, one unknown "CLASS"
    run_checks(element("hr", {{"size", "1"}, {"size", "2"}}));
    EXPECT_EQ(output(),
              // list order: CLASS first, then class
              "line 1 column 1 - Warning: <p> repeated attribute \"CLASS\"\n"
              "line 1 column 1 - Warning: unknown attribute \"CLASS\"\n"
              "line 1 column 1 - Warning: <hr> repeated attribute \"size\"\n");

    // Three occurrences give two reports from one repeated check; the ASP
    // entry between them is skipped.
    Node* td = element("td", {{"nowrap", nullptr}, {"nowrap", nullptr}});
    add_asp_entry(td);
    NodeAttribute* third = new_attribute();
    third->set_name("nowrap");
    third->next = td->attributes();
    td->set_attributes(third);
    uint32_t before = lexer_->warnings;
    check_repeated_attributes(lexer_, td);
    EXPECT_EQ(lexer_->warnings - before, 2u);

    // Two anchors' hrefs: the lexer's check and the anchor check's.
    before = lexer_->warnings;
    run_checks(element("a", {{"href", "a"}, {"href", "b"}}));
    EXPECT_EQ(lexer_->warnings - before, 2u);
}

// A tag with very many attributes is checked in linear time: 50,000 names,
// each written twice, draw one repeat and two unknown-attribute reports per
// name.
TEST_F(AttrTest, ManyAttributesAreCheckedInLinearTime) {
    options.show_warnings = false;
    std::vector<std::string> names;
    for (int i = 0; i < 50000; ++i) {
        std::string name = "x";
        name += std::to_string(i);
        names.push_back(name);
    }
    AttrList attrs;
    for (const std::string& n : names)
        attrs.push_back({n.c_str(), nullptr});
    for (const std::string& n : names)
        attrs.push_back({n.c_str(), "v"});
    Node* p = element("p", attrs);
    run_checks(p);
    EXPECT_EQ(lexer_->warnings, 150000u);

    Node* img = element("img", attrs);
    lexer_->warnings = 0;
    run_checks(img);
    // Lexer's repeat check, the img check's own, each attribute's; then the
    // missing alt and src.
    EXPECT_EQ(lexer_->warnings, 50000u * 3 + 100000u + 2);
}

TEST_F(AttrTest, UnknownAttributesAndVersionNarrowing) {
    run_checks(element("p", {{"foo", "1"}, {"class", "c"}}));
    EXPECT_EQ(output(), "line 1 column 1 - Warning: unknown attribute \"foo\"\n");
    EXPECT_EQ(lexer_->possible_versions, 0x1DFu & 0x1C);

    // Proprietary elements and unknown elements draw no unknown-attribute
    // report; unknown attributes do not narrow the versions.
    run_checks(element("blink", {{"foo", "1"}}));
    Node* madeup = element("madeup", {{"foo", "1"}});
    EXPECT_EQ(madeup->tag(), nullptr);
    EXPECT_EQ(check_attribute(lexer_, madeup, madeup->attributes()), nullptr);
    EXPECT_EQ(lexer_->warnings, 1u);
    EXPECT_EQ(lexer_->possible_versions, 0x1Cu);

    // An ASP entry is never reported as unknown.
    Node* p = element("p");
    add_asp_entry(p);
    check_generic_attributes(lexer_, p);
    EXPECT_EQ(lexer_->warnings, 1u);

    // XML input reports no unknown attributes.
    options.input_xml = true;
    Node* xml_p = element("p", {{"bar", nullptr}});
    check_attribute(lexer_, xml_p, xml_p->attributes());
    EXPECT_EQ(lexer_->warnings, 1u);
}

TEST_F(AttrTest, XmlLangIsReportedInHtmlOutputOnly) {
    Node* p = element("p", {{"xml:lang", "en"}});
    EXPECT_EQ(check_attribute(lexer_, p, p->attributes()), lookup_attr_def("xml:lang"));
    EXPECT_EQ(output(), "line 1 column 1 - Warning: <p> has XML attribute \"xml:lang\"\n");
    EXPECT_EQ(lexer_->possible_versions, 0x1DFu); // not narrowed

    lexer_->options.output_xml = true;
    check_attribute(lexer_, p, p->attributes());
    EXPECT_EQ(lexer_->warnings, 1u);
    EXPECT_EQ(lexer_->possible_versions, 0x1DFu);
}

TEST_F(AttrTest, AlignValues) {
    run_checks(element("p", {{"align", "Center"}}));
    run_checks(element("div", {{"align", "JUSTIFY"}}));
    EXPECT_EQ(output(), "");
    run_checks(element("p", {{"align", "middle"}}));
    run_checks(element("p", {{"align", nullptr}}));
    // td and hr do not check their attributes one by one.
    run_checks(element("td", {{"align", "middle"}}));
    run_checks(element("hr", {{"align", "middle"}}));
    EXPECT_EQ(output(), "line 1 column 1 - Warning: <p> unknown attribute value \"middle\"\n"
                        "line 1 column 1 - Warning: <p> attribute \"align\" lacks value\n");
    EXPECT_EQ(lexer_->possible_versions, 0x1Fu); // align is allowed everywhere
}

TEST_F(AttrTest, ImageAlignTakesVerticalValuesAndProprietaryOnes) {
    run_checks(element("img", {{"src", "a"}, {"alt", "b"}, {"align", "left"}}));
    run_checks(element("img", {{"src", "a"}, {"alt", "b"}, {"align", "BaseLine"}}));
    EXPECT_EQ(output(), "");
    EXPECT_EQ(lexer_->possible_versions, 0x1Fu);

    // A proprietary value leaves only the proprietary bits, which the
    // attributes allowed everywhere have already removed: no version fits.
    run_checks(element("img", {{"src", "a"}, {"alt", "b"}, {"align", "absmiddle"}}));
    EXPECT_EQ(output(), "line 1 column 1 - Warning: <img> proprietary attribute value "
                        "\"absmiddle\"\n");
    EXPECT_EQ(lexer_->possible_versions, 0u);
    lexer_->possible_versions = 0x1DF;
    Node* proprietary = element("img", {{"align", "TextTop"}});
    check_valign_value(lexer_, proprietary, proprietary->attributes());
    EXPECT_EQ(lexer_->possible_versions, 0x1C0u);

    run_checks(element("img", {{"src", "a"}, {"alt", "b"}, {"align", "center"}}));
    EXPECT_EQ(lexer_->warnings, 3u);
    EXPECT_NE(output().find("<img> unknown attribute value \"center\"\n"), std::string::npos);
}

TEST_F(AttrTest, ValignValues) {
    run_checks(element("tr", {{"valign", "TOP"}}));
    run_checks(element("col", {{"valign", "middle"}}));
    EXPECT_EQ(output(), "");
    run_checks(element("tr", {{"valign", "left"}}));
    run_checks(element("tr", {{"valign", "texttop"}}));
    run_checks(element("tr", {{"valign", nullptr}}));
    run_checks(element("tr", {{"valign", "sideways"}}));
    EXPECT_EQ(output(), "line 1 column 1 - Warning: <tr> unknown attribute value \"left\"\n"
                        "line 1 column 1 - Warning: <tr> proprietary attribute value \"texttop\"\n"
                        "line 1 column 1 - Warning: <tr> attribute \"valign\" lacks value\n"
                        "line 1 column 1 - Warning: <tr> unknown attribute value \"sideways\"\n");
    EXPECT_EQ(lexer_->possible_versions, 0x1C0u & 0x1Eu);
}

TEST_F(AttrTest, UrlValues) {
    Node* a = element("form", {{"action", "a\\b\\c.cgi"}});
    run_checks(a);
    EXPECT_EQ(*a->attributes()->value, "a/b/c.cgi");

    options.fix_backslash = false;
    Node* b = element("form", {{"action", "a\\b"}});
    run_checks(b);
    EXPECT_EQ(*b->attributes()->value, "a\\b");
    EXPECT_EQ(output(), "");

    run_checks(element("link", {{"href", nullptr}})); // link does not check values
    run_checks(element("base", {{"href", nullptr}}));
    EXPECT_EQ(output(), "line 1 column 1 - Warning: <base> attribute \"href\" lacks value\n");
}

TEST_F(AttrTest, ImageCheck) {
    options.alt_text = std::string("picture");
    Node* img = element("img", {{"src", "a.gif"}, {"width", "10"}});
    run_checks(img);
    EXPECT_EQ(output(), "line 1 column 1 - Warning: <img> lacks \"alt\" attribute\n");
    EXPECT_EQ(attribute_list(img), "width=10 src=a.gif alt=picture");
    EXPECT_EQ(lexer_->access_flags, MissingImageAlt);
    EXPECT_EQ(lexer_->possible_versions, 0x1Eu);

    // datafld stands in for src; ismap without usemap asks for a client-side
    // map and sets the image-map advice when printed.
    lexer_->access_flags = 0;
    run_checks(element("img", {{"datafld", "f"}, {"alt", ""}, {"ismap", nullptr}}));
    EXPECT_EQ(output(), "line 1 column 1 - Warning: <img> lacks \"alt\" attribute\n"
                        "line 1 column 1 - Warning: <img> should use client-side image map\n");
    EXPECT_EQ(lexer_->access_flags, MissingImageMap);
    EXPECT_EQ(lexer_->possible_versions, 0u); // datafld is proprietary

    run_checks(element("img", {{"alt", ""}, {"ismap", nullptr}, {"usemap", "#m"}}));
    EXPECT_NE(output().find("<img> lacks \"src\" attribute\n"), std::string::npos);
    EXPECT_EQ(lexer_->warnings, 3u);
}

TEST_F(AttrTest, AreaCheck) {
    run_checks(element("area", {{"shape", "rect"}}));
    EXPECT_EQ(output(), "line 1 column 1 - Warning: <area> lacks \"alt\" attribute\n"
                        "line 1 column 1 - Warning: <area> lacks \"href\" attribute\n");
    EXPECT_EQ(lexer_->access_flags, MissingLinkAlt);
    EXPECT_EQ(lexer_->possible_versions, 0x1Eu);

    lexer_->access_flags = 0;
    run_checks(element("area", {{"alt", "a"}, {"href", "b"}}));
    EXPECT_EQ(lexer_->warnings, 2u);
    EXPECT_EQ(lexer_->access_flags, 0);
}

TEST_F(AttrTest, TableCheck) {
    Node* t = element("table", {{"border", nullptr}});
    run_checks(t);
    EXPECT_EQ(output(), "line 1 column 1 - Warning: <table> lacks \"summary\" attribute\n");
    EXPECT_EQ(lexer_->access_flags, MissingSummary);
    EXPECT_FALSE(t->attributes()->value.has_value());

    // No summary is asked for in a document that declared HTML 3.2 or 2.0.
    lexer_->access_flags = 0;
    for (VersionBits declared : {VersionHTML32, VersionHTML20}) {
        lexer_->given_version = declared;
        run_checks(element("table"));
    }
    EXPECT_EQ(lexer_->warnings, 1u);
    EXPECT_EQ(lexer_->access_flags, 0);

    // XML output gives a bare border the value 1.
    options.output_xml = true;
    Node* x = element("table", {{"border", nullptr}, {"summary", "s"}});
    run_checks(x);
    EXPECT_EQ(attribute_list(x), "summary=s border=1");
    EXPECT_EQ(lexer_->warnings, 1u);
}

TEST_F(AttrTest, TableCellAndCaptionNarrowVersions) {
    run_checks(element("td", {{"bgcolor", "red"}}));
    EXPECT_EQ(lexer_->possible_versions, 0x1DFu); // attributes not examined
    run_checks(element("th", {{"height", "3"}}));
    EXPECT_EQ(lexer_->possible_versions, 0x1DBu);

    lexer_->possible_versions = 0x1DF;
    run_checks(element("caption", {{"align", "Left"}}));
    EXPECT_EQ(lexer_->possible_versions, 0x18u);
    lexer_->possible_versions = 0x1DF;
    run_checks(element("caption", {{"align", "bottom"}}));
    EXPECT_EQ(lexer_->possible_versions, 0x1Eu);
    run_checks(element("caption", {{"align", nullptr}}));
    EXPECT_EQ(output(), "");
    run_checks(element("caption", {{"align", "center"}}));
    EXPECT_EQ(output(), "line 1 column 1 - Warning: <caption> unknown attribute value "
                        "\"center\"\n");
}

TEST_F(AttrTest, HtmlCheckNotesXhtml) {
    run_checks(element("html", {{"lang", "en"}}));
    EXPECT_FALSE(lexer_->is_xhtml);
    EXPECT_EQ(lexer_->possible_versions, 0x1Cu);
    run_checks(element("html", {{"xmlns", "http://www.w3.org/1999/xhtml"}}));
    EXPECT_TRUE(lexer_->is_xhtml);
    EXPECT_EQ(output(), "");
}

TEST_F(AttrTest, ScriptStyleAndLinkGetTheirType) {
    Node* s1 = element("script");
    run_checks(s1);
    EXPECT_EQ(attribute_list(s1), "type=text/javascript");
    Node* s2 = element("script", {{"language", "JavaScript1.2"}});
    run_checks(s2);
    EXPECT_EQ(attribute_list(s2), "language=JavaScript1.2 type=text/javascript");
    Node* s3 = element("script", {{"language", "JScript"}});
    run_checks(s3);
    EXPECT_EQ(attribute_list(s3), "language=JScript type=text/javascript");
    Node* s4 = element("script", {{"language", "VBScript"}});
    run_checks(s4);
    EXPECT_EQ(attribute_list(s4), "language=VBScript");
    Node* s5 = element("script", {{"type", "text/x"}});
    run_checks(s5);
    EXPECT_EQ(attribute_list(s5), "type=text/x");
    EXPECT_EQ(output(), "line 1 column 1 - Warning: <script> lacks \"type\" attribute\n"
                        "line 1 column 1 - Warning: <script> lacks \"type\" attribute\n"
                        "line 1 column 1 - Warning: <script> lacks \"type\" attribute\n"
                        "line 1 column 1 - Warning: <script> lacks \"type\" attribute\n");
    // Attributes of script are not examined one by one.
    EXPECT_EQ(lexer_->possible_versions, 0x1DFu);

    Node* st = element("style", {{"media", "screen"}});
    run_checks(st);
    EXPECT_EQ(attribute_list(st), "media=screen type=text/css");
    Node* l1 = element("link", {{"rel", "stylesheet"}, {"href", "a.css"}});
    run_checks(l1);
    EXPECT_EQ(attribute_list(l1), "href=a.css rel=stylesheet type=text/css");
    Node* l2 = element("link", {{"rel", "Stylesheet"}});
    run_checks(l2);
    EXPECT_EQ(attribute_list(l2), "rel=Stylesheet"); // exact value only
    EXPECT_EQ(lexer_->warnings, 6u);
}

TEST_F(AttrTest, HrSourceIsProprietary) {
    run_checks(element("hr", {{"src", "line.gif"}, {"noshade", nullptr}}));
    EXPECT_EQ(output(), "line 1 column 1 - Warning: <hr> proprietary attribute value \"src\"\n");
    EXPECT_EQ(lexer_->possible_versions, 0x1DFu);
}

} // namespace
} // namespace varnel

// The same checks as the lexer runs them on start tags read from text.
namespace varnel::through_lexer {

class LexedAttrTest : public ::testing::Test {
  protected:
    void SetUp() override { test::fresh_globals(); }
    void TearDown() override { options = Config{}; }

    // Reads every token of `source`; returns the reports.
    static std::string reports_for(const std::string& source, DocumentState* kept = nullptr) {
        test::LexerOver lx(source);
        test::all_tokens(lx, CollapseSpace);
        if (kept != nullptr) {
            kept->possible_versions = lx.lexer->possible_versions;
            kept->access_flags = lx.lexer->access_flags;
        }
        return lx.messages();
    }
};

TEST_F(LexedAttrTest, RepeatedAttributeCounts) {
    EXPECT_EQ(reports_for("<img src=a src=b alt=x>"),
              "line 1 column 1 - Warning: <img> repeated attribute \"src\"\n"
              "line 1 column 1 - Warning: <img> repeated attribute \"src\"\n"
              "line 1 column 1 - Warning: <img> repeated attribute \"src\"\n");
    // After pending text the tag's token starts once "<" has been read: the
    // column is the one after it.
    EXPECT_EQ(reports_for("x\n  <p class=a class=b>"),
              "line 2 column 4 - Warning: <p> repeated attribute \"class\"\n");
    EXPECT_EQ(reports_for("<hr size=1 size=2>"),
              "line 1 column 1 - Warning: <hr> repeated attribute \"size\"\n");
}

TEST_F(LexedAttrTest, ValuesAreCheckedOnlyWhereTheElementAsksForIt) {
    EXPECT_EQ(reports_for("<td align=middle><hr align=middle><p align=middle>"),
              "line 1 column 35 - Warning: <p> unknown attribute value \"middle\"\n");
    EXPECT_EQ(reports_for("<a href>x</a>"), "");
    EXPECT_EQ(reports_for("<base href>"),
              "line 1 column 1 - Warning: <base> attribute \"href\" lacks value\n");
}

TEST_F(LexedAttrTest, ImageAndTableFindingsAndVersions) {
    DocumentState kept;
    options.alt_text = std::string("");
    EXPECT_EQ(reports_for("<img src=\"a\\b.gif\" align=absmiddle>", &kept),
              "line 1 column 1 - Warning: <img> proprietary attribute value \"absmiddle\"\n"
              "line 1 column 1 - Warning: <img> lacks \"alt\" attribute\n");
    EXPECT_EQ(kept.possible_versions, 0u);
    EXPECT_EQ(kept.access_flags, MissingImageAlt);

    test::LexerOver lx("<img src=\"a\\b.gif\">");
    Node* img = get_token(lx.lexer, CollapseSpace);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(test::describe_token(lx, img), "start:img[alt=\"\",src=\"a/b.gif\"]");
    free_node(img);

    EXPECT_EQ(reports_for("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2//EN\"><table>"), "");
    EXPECT_EQ(reports_for("<table border>"),
              "line 1 column 1 - Warning: <table> lacks \"summary\" attribute\n");
}

} // namespace varnel::through_lexer
