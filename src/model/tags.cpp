// The tag dictionary: the built-in table, the tags a run declares and
// lookups.
#include "model/tags.h"

#include <cstring>
#include <iterator>

#include "base/config.h"
#include "base/name_index.h"
#include "model/attrs.h"
#include "model/document.h"
#include "model/node.h"

namespace varnel {

namespace {

// The built-in table, in its order.
constexpr TagDef builtin_tags[] = {
    {"html", VersionAllHTML5, ModelHtml | ModelOptionalEnd | ModelOptionalStart, BuilderHtml,
     check_html},
    {"head", VersionAllHTML5, ModelHtml | ModelOptionalEnd | ModelOptionalStart, BuilderHead,
     nullptr},
    {"title", VersionAllHTML5, ModelHead, BuilderTitle, nullptr},
    {"base", VersionAllHTML5, ModelEmpty | ModelHead, BuilderNone, nullptr},
    {"link", VersionAllHTML5, ModelEmpty | ModelHead, BuilderNone, check_link},
    {"meta", VersionAllHTML5, ModelEmpty | ModelHead, BuilderNone, nullptr},
    {"style", VersionFromHTML32HTML5, ModelHead, BuilderScript, check_style},
    {"script", VersionFromHTML32HTML5, ModelHead | ModelBlock | ModelInline | ModelMixed,
     BuilderScript, check_script},
    {"server", VersionProprietaryA, ModelHead | ModelBlock | ModelInline | ModelMixed,
     BuilderScript, nullptr},
    {"body", VersionAllHTML5, ModelHtml | ModelOptionalEnd | ModelOptionalStart, BuilderBody,
     nullptr},
    {"frameset", VersionFrames, ModelHtml | ModelFrames, BuilderFrameset, nullptr},
    {"p", VersionAllHTML5, ModelBlock | ModelOptionalEnd, BuilderInline, nullptr},
    {"h1", VersionAllHTML5, ModelBlock | ModelHeading, BuilderInline, nullptr},
    {"h2", VersionAllHTML5, ModelBlock | ModelHeading, BuilderInline, nullptr},
    {"h3", VersionAllHTML5, ModelBlock | ModelHeading, BuilderInline, nullptr},
    {"h4", VersionAllHTML5, ModelBlock | ModelHeading, BuilderInline, nullptr},
    {"h5", VersionAllHTML5, ModelBlock | ModelHeading, BuilderInline, nullptr},
    {"h6", VersionAllHTML5, ModelBlock | ModelHeading, BuilderInline, nullptr},
    {"ul", VersionAllHTML5, ModelBlock, BuilderList, nullptr},
    {"ol", VersionAllHTML5, ModelBlock, BuilderList, nullptr},
    {"dl", VersionAllHTML5, ModelBlock, BuilderDeflist, nullptr},
    {"dir", VersionLoose, ModelBlock | ModelObsolete, BuilderList, nullptr},
    {"menu", VersionLoose | VersionHTML5, ModelBlock | ModelObsolete, BuilderList, nullptr},
    {"pre", VersionAllHTML5, ModelBlock, BuilderPre, nullptr},
    {"listing", VersionAll, ModelBlock | ModelObsolete, BuilderPre, nullptr},
    {"xmp", VersionAll, ModelBlock | ModelObsolete, BuilderPre, nullptr},
    {"plaintext", VersionAll, ModelBlock | ModelObsolete, BuilderPre, nullptr},
    {"address", VersionAllHTML5, ModelBlock, BuilderBlock, nullptr},
    {"blockquote", VersionAllHTML5, ModelBlock, BuilderBlock, nullptr},
    {"form", VersionAllHTML5, ModelBlock, BuilderBlock, nullptr},
    {"isindex", VersionLoose, ModelEmpty | ModelBlock, BuilderNone, nullptr},
    {"fieldset", VersionHTML40HTML5, ModelBlock, BuilderBlock, nullptr},
    {"table", VersionFromHTML32HTML5, ModelBlock, BuilderTable, check_table},
    {"hr", VersionAllHTML5, ModelEmpty | ModelBlock, BuilderNone, check_hr},
    {"div", VersionFromHTML32HTML5, ModelBlock, BuilderBlock, nullptr},
    {"multicol", VersionProprietaryA, ModelBlock, BuilderBlock, nullptr},
    {"nosave", VersionProprietaryA, ModelBlock, BuilderBlock, nullptr},
    {"layer", VersionProprietaryA, ModelBlock, BuilderBlock, nullptr},
    {"ilayer", VersionProprietaryA, ModelInline, BuilderInline, nullptr},
    {"nolayer", VersionProprietaryA, ModelBlock | ModelInline | ModelMixed, BuilderBlock, nullptr},
    {"align", VersionProprietaryA, ModelBlock, BuilderBlock, nullptr},
    {"center", VersionLoose, ModelBlock, BuilderBlock, nullptr},
    {"ins", VersionHTML40HTML5, ModelBlock | ModelInline | ModelMixed, BuilderInline, nullptr},
    {"del", VersionHTML40HTML5, ModelBlock | ModelInline | ModelMixed, BuilderInline, nullptr},
    {"li", VersionAllHTML5, ModelList | ModelOptionalEnd | ModelNoIndent, BuilderBlock, nullptr},
    {"dt", VersionAllHTML5, ModelDefList | ModelOptionalEnd | ModelNoIndent, BuilderInline,
     nullptr},
    {"dd", VersionAllHTML5, ModelDefList | ModelOptionalEnd | ModelNoIndent, BuilderBlock, nullptr},
    {"caption", VersionFromHTML32HTML5, ModelTable, BuilderInline, check_caption},
    {"colgroup", VersionHTML40HTML5, ModelTable | ModelOptionalEnd, BuilderColgroup, nullptr},
    {"col", VersionHTML40HTML5, ModelEmpty | ModelTable, BuilderNone, nullptr},
    {"thead", VersionHTML40HTML5, ModelTable | ModelRowGroup | ModelOptionalEnd, BuilderRowgroup,
     nullptr},
    {"tfoot", VersionHTML40HTML5, ModelTable | ModelRowGroup | ModelOptionalEnd, BuilderRowgroup,
     nullptr},
    {"tbody", VersionHTML40HTML5, ModelTable | ModelRowGroup | ModelOptionalEnd, BuilderRowgroup,
     nullptr},
    {"tr", VersionFromHTML32HTML5, ModelTable | ModelOptionalEnd, BuilderRow, nullptr},
    {"td", VersionFromHTML32HTML5, ModelRow | ModelOptionalEnd | ModelNoIndent, BuilderBlock,
     check_table_cell},
    {"th", VersionFromHTML32HTML5, ModelRow | ModelOptionalEnd | ModelNoIndent, BuilderBlock,
     check_table_cell},
    {"q", VersionHTML40HTML5, ModelInline, BuilderInline, nullptr},
    {"a", VersionAllHTML5, ModelInline, BuilderInline, check_anchor},
    {"br", VersionAllHTML5, ModelEmpty | ModelInline, BuilderNone, nullptr},
    {"img", VersionAllHTML5, ModelEmpty | ModelInline | ModelImage, BuilderNone, check_img},
    {"object", VersionHTML40HTML5, ModelHead | ModelInline | ModelObject | ModelPlugin | ModelImage,
     BuilderBlock, nullptr},
    {"applet", VersionLoose, ModelInline | ModelObject | ModelPlugin | ModelImage, BuilderBlock,
     nullptr},
    {"servlet", VersionProprietaryC, ModelInline | ModelObject | ModelPlugin | ModelImage,
     BuilderBlock, nullptr},
    {"param", VersionFromHTML32, ModelEmpty | ModelInline, BuilderNone, nullptr},
    {"embed", VersionProprietaryA | VersionHTML5, ModelEmpty | ModelInline | ModelImage,
     BuilderNone, nullptr},
    {"noembed", VersionProprietaryA, ModelInline, BuilderInline, nullptr},
    {"iframe", VersionHTML40Loose | VersionHTML5, ModelInline, BuilderBlock, nullptr},
    {"frame", VersionFrames, ModelEmpty | ModelFrames, BuilderNone, nullptr},
    {"noframes", VersionHTML40Loose | VersionFrames, ModelBlock | ModelFrames, BuilderNoframes,
     nullptr},
    {"noscript", VersionHTML40HTML5, ModelBlock | ModelInline | ModelMixed, BuilderBlock, nullptr},
    {"b", VersionAllHTML5, ModelInline, BuilderInline, nullptr},
    {"i", VersionAllHTML5, ModelInline, BuilderInline, nullptr},
    {"u", VersionLoose | VersionHTML5, ModelInline, BuilderInline, nullptr},
    {"tt", VersionAll, ModelInline, BuilderInline, nullptr},
    {"s", VersionLoose | VersionHTML5, ModelInline, BuilderInline, nullptr},
    {"strike", VersionLoose, ModelInline, BuilderInline, nullptr},
    {"big", VersionFromHTML32, ModelInline, BuilderInline, nullptr},
    {"small", VersionFromHTML32HTML5, ModelInline, BuilderInline, nullptr},
    {"sub", VersionFromHTML32HTML5, ModelInline, BuilderInline, nullptr},
    {"sup", VersionFromHTML32HTML5, ModelInline, BuilderInline, nullptr},
    {"em", VersionAllHTML5, ModelInline, BuilderInline, nullptr},
    {"strong", VersionAllHTML5, ModelInline, BuilderInline, nullptr},
    {"dfn", VersionAllHTML5, ModelInline, BuilderInline, nullptr},
    {"code", VersionAllHTML5, ModelInline, BuilderInline, nullptr},
    {"samp", VersionAllHTML5, ModelInline, BuilderInline, nullptr},
    {"kbd", VersionAllHTML5, ModelInline, BuilderInline, nullptr},
    {"var", VersionAllHTML5, ModelInline, BuilderInline, nullptr},
    {"cite", VersionAllHTML5, ModelInline, BuilderInline, nullptr},
    {"abbr", VersionHTML40HTML5, ModelInline, BuilderInline, nullptr},
    {"acronym", VersionHTML40, ModelInline, BuilderInline, nullptr},
    {"span", VersionFromHTML32HTML5, ModelInline, BuilderInline, nullptr},
    {"blink", VersionProprietary, ModelInline, BuilderInline, nullptr},
    {"nobr", VersionProprietary, ModelInline, BuilderInline, nullptr},
    {"wbr", VersionProprietary | VersionHTML5, ModelEmpty | ModelInline, BuilderNone, nullptr},
    {"marquee", VersionProprietaryB, ModelInline | ModelOptionalEnd, BuilderInline, nullptr},
    {"bgsound", VersionProprietaryB, ModelEmpty | ModelHead, BuilderNone, nullptr},
    {"comment", VersionProprietaryB, ModelInline, BuilderInline, nullptr},
    {"spacer", VersionProprietaryA, ModelEmpty | ModelInline, BuilderNone, nullptr},
    {"keygen", VersionProprietaryA, ModelEmpty | ModelInline, BuilderNone, nullptr},
    {"map", VersionFromHTML32HTML5, ModelInline, BuilderBlock, check_map},
    {"area", VersionAllHTML5, ModelEmpty | ModelBlock, BuilderNone, check_area},
    {"input", VersionAllHTML5, ModelEmpty | ModelInline | ModelImage, BuilderNone, nullptr},
    {"select", VersionAllHTML5, ModelInline | ModelField, BuilderSelect, nullptr},
    {"option", VersionAllHTML5, ModelField | ModelOptionalEnd, BuilderText, nullptr},
    {"optgroup", VersionHTML40HTML5, ModelField | ModelOptionalEnd, BuilderOptgroup, nullptr},
    {"textarea", VersionAllHTML5, ModelInline | ModelField, BuilderText, nullptr},
    {"label", VersionHTML40HTML5, ModelInline, BuilderInline, nullptr},
    {"legend", VersionHTML40HTML5, ModelInline, BuilderInline, nullptr},
    {"button", VersionHTML40HTML5, ModelInline, BuilderInline, nullptr},
    {"basefont", VersionLoose, ModelEmpty | ModelInline, BuilderNone, nullptr},
    {"font", VersionLoose, ModelInline, BuilderInline, nullptr},
    {"bdo", VersionHTML40HTML5, ModelInline, BuilderInline, nullptr},
    // HTML5. Sectioning and grouping content is parsed like a division,
    // phrasing content like the inline elements, media elements with their
    // fallback content like objects (inline elements outside them are not
    // re-opened inside), sources and tracks like images, a datalist like a
    // select, a template like a script that may stand in head or body.
    {"article", VersionHTML5, ModelBlock, BuilderBlock, nullptr},
    {"aside", VersionHTML5, ModelBlock, BuilderBlock, nullptr},
    {"header", VersionHTML5, ModelBlock, BuilderBlock, nullptr},
    {"footer", VersionHTML5, ModelBlock, BuilderBlock, nullptr},
    {"nav", VersionHTML5, ModelBlock, BuilderBlock, nullptr},
    {"main", VersionHTML5, ModelBlock, BuilderBlock, nullptr},
    {"section", VersionHTML5, ModelBlock, BuilderBlock, nullptr},
    {"hgroup", VersionHTML5, ModelBlock, BuilderBlock, nullptr},
    {"search", VersionHTML5, ModelBlock, BuilderBlock, nullptr},
    {"figure", VersionHTML5, ModelBlock, BuilderBlock, nullptr},
    {"figcaption", VersionHTML5, ModelBlock, BuilderBlock, nullptr},
    {"details", VersionHTML5, ModelBlock, BuilderBlock, nullptr},
    {"summary", VersionHTML5, ModelBlock, BuilderBlock, nullptr},
    {"dialog", VersionHTML5, ModelBlock, BuilderBlock, nullptr},
    {"mark", VersionHTML5, ModelInline, BuilderInline, nullptr},
    {"time", VersionHTML5, ModelInline, BuilderInline, nullptr},
    {"data", VersionHTML5, ModelInline, BuilderInline, nullptr},
    {"output", VersionHTML5, ModelInline, BuilderInline, nullptr},
    {"meter", VersionHTML5, ModelInline, BuilderInline, nullptr},
    {"progress", VersionHTML5, ModelInline, BuilderInline, nullptr},
    {"bdi", VersionHTML5, ModelInline, BuilderInline, nullptr},
    {"ruby", VersionHTML5, ModelInline, BuilderInline, nullptr},
    {"rt", VersionHTML5, ModelInline, BuilderInline, nullptr},
    {"rp", VersionHTML5, ModelInline, BuilderInline, nullptr},
    {"slot", VersionHTML5, ModelInline, BuilderInline, nullptr},
    {"picture", VersionHTML5, ModelInline | ModelObject, BuilderBlock, nullptr},
    {"video", VersionHTML5, ModelInline | ModelObject, BuilderBlock, nullptr},
    {"audio", VersionHTML5, ModelInline | ModelObject, BuilderBlock, nullptr},
    {"canvas", VersionHTML5, ModelInline | ModelObject, BuilderBlock, nullptr},
    {"source", VersionHTML5, ModelEmpty | ModelInline, BuilderNone, nullptr},
    {"track", VersionHTML5, ModelEmpty | ModelInline, BuilderNone, nullptr},
    {"template", VersionHTML5, ModelHead | ModelBlock | ModelInline | ModelMixed, BuilderBlock,
     nullptr},
    {"datalist", VersionHTML5, ModelInline | ModelField, BuilderSelect, nullptr},
    // Foreign content: svg and math hold elements of their own vocabularies.
    {"svg", VersionHTML5, ModelInline | ModelForeign, BuilderForeign, check_foreign_root},
    {"math", VersionHTML5, ModelInline | ModelForeign, BuilderForeign, check_foreign_root},
};

// The 114 rows of the HTML 4.01 era and the 35 of HTML5.
static_assert(sizeof(builtin_tags) / sizeof(builtin_tags[0]) == 147,
              "the built-in table has 147 rows");

// The row of a built-in name (found at compile time for the handles).
constexpr size_t builtin_index(std::string_view name) {
    for (size_t i = 0; i < sizeof(builtin_tags) / sizeof(builtin_tags[0]); ++i) {
        if (builtin_tags[i].name == name) return i;
    }
    throw "not a built-in tag"; // never reached for the handles below
}

constexpr TagPtr builtin(std::string_view name) {
    return TagPtr(&builtin_tags[builtin_index(name)]);
}

constexpr TagDef xml_entry{"", VersionAll, ModelBlock, BuilderNone, nullptr};
constexpr TagDef foreign_entry{"", VersionHTML5, ModelInline | ModelForeign, BuilderForeign,
                               nullptr};

// The built-in table by name, made by the compiler.
constexpr auto tag_name = [](const TagDef& tag) { return tag.name; };
using BuiltinTagIndex = FixedNameIndex<TagDef, std::size(builtin_tags), decltype(tag_name)>;
constexpr BuiltinTagIndex builtin_tag_index(builtin_tags, std::size(builtin_tags), tag_name,
                                            BuiltinTagIndex::Repeats::FirstWins);

// The values a declaration of each kind gives its element.
struct DeclaredValues {
    ContentModelBits model;
    BuilderKind builder;
};

DeclaredValues declared_values(DeclaredKind kind) {
    switch (kind) {
    case DeclaredKind::Inline:
        return {ModelUserDefined | ModelNoIndent | ModelInline, BuilderBlock};
    case DeclaredKind::Block:
        return {ModelUserDefined | ModelNoIndent | ModelBlock, BuilderBlock};
    case DeclaredKind::Empty:
        // Declared empty elements stand in text like img: without the inline
        // bit a builder would end the open blocks at them and then drop them.
        return {ModelUserDefined | ModelNoIndent | ModelEmpty | ModelInline, BuilderBlock};
    case DeclaredKind::Pre:
        return {ModelUserDefined | ModelNoIndent | ModelBlock, BuilderPre};
    }
    return {0, BuilderNone};
}

} // namespace

constinit const TagPtr xml_tag_def{&xml_entry};
constinit const TagPtr foreign_tag_def{&foreign_entry};

constinit const TagPtr tag_html = builtin("html"), tag_head = builtin("head"),
                       tag_body = builtin("body"), tag_frameset = builtin("frameset"),
                       tag_frame = builtin("frame"), tag_noframes = builtin("noframes"),
                       tag_meta = builtin("meta"), tag_title = builtin("title"),
                       tag_base = builtin("base"), tag_hr = builtin("hr"), tag_pre = builtin("pre"),
                       tag_listing = builtin("listing"), tag_h1 = builtin("h1"),
                       tag_h2 = builtin("h2"), tag_p = builtin("p"), tag_ul = builtin("ul"),
                       tag_ol = builtin("ol"), tag_dir = builtin("dir"), tag_li = builtin("li"),
                       tag_dl = builtin("dl"), tag_dt = builtin("dt"), tag_dd = builtin("dd"),
                       tag_td = builtin("td"), tag_th = builtin("th"), tag_tr = builtin("tr"),
                       tag_col = builtin("col"), tag_br = builtin("br"), tag_a = builtin("a"),
                       tag_link = builtin("link"), tag_b = builtin("b"), tag_i = builtin("i"),
                       tag_strong = builtin("strong"), tag_em = builtin("em"),
                       tag_big = builtin("big"), tag_small = builtin("small"),
                       tag_param = builtin("param"), tag_option = builtin("option"),
                       tag_optgroup = builtin("optgroup"), tag_img = builtin("img"),
                       tag_map = builtin("map"), tag_area = builtin("area"),
                       tag_nobr = builtin("nobr"), tag_wbr = builtin("wbr"),
                       tag_font = builtin("font"), tag_spacer = builtin("spacer"),
                       tag_layer = builtin("layer"), tag_center = builtin("center"),
                       tag_style = builtin("style"), tag_script = builtin("script"),
                       tag_noscript = builtin("noscript"), tag_table = builtin("table"),
                       tag_caption = builtin("caption"), tag_form = builtin("form"),
                       tag_textarea = builtin("textarea"), tag_blockquote = builtin("blockquote"),
                       tag_applet = builtin("applet"), tag_object = builtin("object"),
                       tag_div = builtin("div"), tag_span = builtin("span"),
                       tag_svg = builtin("svg"), tag_math = builtin("math"),
                       tag_template = builtin("template");

uint32_t name_hash(const char* name) {
    uint32_t h = 0;
    for (const char* p = name; *p != '\0'; ++p) {
        h = h * 31u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
    }
    return h;
}

std::atomic<bool> builtin_names_declared{false};

TagPtr lookup_builtin_tag(std::string_view name) {
    return TagPtr(builtin_tag_index.find(name));
}

TagTable::TagTable(const std::vector<TagDeclaration>& declared) {
    for (const TagDeclaration& d : declared) {
        TagDef* entry = nullptr;
        auto found = declared_.find(d.name);
        if (found != declared_.end()) {
            entry = const_cast<TagDef*>(found->second);
        } else {
            auto def = std::make_unique<TagDef>();
            if (TagPtr known = lookup_builtin_tag(d.name)) {
                *def = *known;
                def->base = known.get();
                builtin_names_declared.store(true, std::memory_order_relaxed);
            }
            names_.push_back(std::make_unique<std::string>(d.name));
            def->name = *names_.back();
            entry = def.get();
            entries_.push_back(std::move(def));
            declared_.emplace(entry->name, entry);
        }
        const DeclaredValues values = declared_values(d.kind);
        entry->versions = VersionProprietary;
        entry->model |= values.model;
        entry->builder = values.builder;
        entry->check_attributes = nullptr;
    }
}

TagPtr TagTable::find(std::string_view name) const {
    if (!declared_.empty()) {
        auto found = declared_.find(name);
        if (found != declared_.end()) return TagPtr(found->second);
    }
    return lookup_builtin_tag(name);
}

bool is_builtin_tag(TagPtr tag) {
    return tag.get() >= std::begin(builtin_tags) && tag.get() < std::end(builtin_tags);
}

bool is_obsolete_in_html5(TagPtr tag) {
    return tag != nullptr && (tag->versions & VersionHTML5) == 0 &&
           (tag->versions & VersionAll) != 0 && tag != xml_tag_def;
}

bool find_tag(const DocumentState* doc, Node* node) {
    if (doc->options.input_xml) {
        node->set_tag(xml_tag_def);
        return true;
    }
    if (node->element_name().empty()) return false;
    TagPtr t = doc->tags.find(node->element_name());
    if (t == nullptr) return false;
    node->set_tag(t);
    return true;
}

BuilderKind find_builder(const DocumentState* doc, const Node* node) {
    if (node->element_name().empty()) return BuilderNone;
    TagPtr t = doc->tags.find(node->element_name());
    return t != nullptr ? t->builder : BuilderNone;
}

} // namespace varnel
