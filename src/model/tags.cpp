// The tag dictionary: the built-in table, user-declared tags and lookups.
#include "model/tags.h"

#include <cstring>

#include "base/config.h"
#include "model/attrs.h"
#include "model/node.h"
#include "tree/builders.h"

namespace varnel {

namespace {

constexpr uint32_t TagBuckets = 357;
TagDef* tag_buckets[TagBuckets];

struct TagRow {
    const char* name;
    VersionBits versions;
    ContentModelBits model;
    ParserFn parser;
    CheckAttributesFn checker;
};

// The built-in table, in its order. nolayer and ilayer appear twice with the
// same values; the second row updates the first entry.
const TagRow tag_rows[] = {
    {"html", VersionAllHTML5, ModelHtml | ModelOptionalEnd | ModelOptionalStart, build_html,
     check_html},
    {"head", VersionAllHTML5, ModelHtml | ModelOptionalEnd | ModelOptionalStart, build_head,
     nullptr},
    {"title", VersionAllHTML5, ModelHead, build_title, nullptr},
    {"base", VersionAllHTML5, ModelEmpty | ModelHead, nullptr, nullptr},
    {"link", VersionAllHTML5, ModelEmpty | ModelHead, nullptr, check_link},
    {"meta", VersionAllHTML5, ModelEmpty | ModelHead, nullptr, nullptr},
    {"style", VersionFromHTML32HTML5, ModelHead, build_script, check_style},
    {"script", VersionFromHTML32HTML5, ModelHead | ModelBlock | ModelInline | ModelMixed,
     build_script, check_script},
    {"server", VersionProprietaryA, ModelHead | ModelBlock | ModelInline | ModelMixed, build_script,
     nullptr},
    {"body", VersionAllHTML5, ModelHtml | ModelOptionalEnd | ModelOptionalStart, build_body,
     nullptr},
    {"frameset", VersionFrames, ModelHtml | ModelFrames, build_frameset, nullptr},
    {"p", VersionAllHTML5, ModelBlock | ModelOptionalEnd, build_inline, nullptr},
    {"h1", VersionAllHTML5, ModelBlock | ModelHeading, build_inline, nullptr},
    {"h2", VersionAllHTML5, ModelBlock | ModelHeading, build_inline, nullptr},
    {"h3", VersionAllHTML5, ModelBlock | ModelHeading, build_inline, nullptr},
    {"h4", VersionAllHTML5, ModelBlock | ModelHeading, build_inline, nullptr},
    {"h5", VersionAllHTML5, ModelBlock | ModelHeading, build_inline, nullptr},
    {"h6", VersionAllHTML5, ModelBlock | ModelHeading, build_inline, nullptr},
    {"ul", VersionAllHTML5, ModelBlock, build_list, nullptr},
    {"ol", VersionAllHTML5, ModelBlock, build_list, nullptr},
    {"dl", VersionAllHTML5, ModelBlock, build_deflist, nullptr},
    {"dir", VersionLoose, ModelBlock | ModelObsolete, build_list, nullptr},
    {"menu", VersionLoose | VersionHTML5, ModelBlock | ModelObsolete, build_list, nullptr},
    {"pre", VersionAllHTML5, ModelBlock, build_pre, nullptr},
    {"listing", VersionAll, ModelBlock | ModelObsolete, build_pre, nullptr},
    {"xmp", VersionAll, ModelBlock | ModelObsolete, build_pre, nullptr},
    {"plaintext", VersionAll, ModelBlock | ModelObsolete, build_pre, nullptr},
    {"address", VersionAllHTML5, ModelBlock, build_block, nullptr},
    {"blockquote", VersionAllHTML5, ModelBlock, build_block, nullptr},
    {"form", VersionAllHTML5, ModelBlock, build_block, nullptr},
    {"isindex", VersionLoose, ModelEmpty | ModelBlock, nullptr, nullptr},
    {"fieldset", VersionHTML40HTML5, ModelBlock, build_block, nullptr},
    {"table", VersionFromHTML32HTML5, ModelBlock, build_table, check_table},
    {"hr", VersionAllHTML5, ModelEmpty | ModelBlock, nullptr, check_hr},
    {"div", VersionFromHTML32HTML5, ModelBlock, build_block, nullptr},
    {"multicol", VersionProprietaryA, ModelBlock, build_block, nullptr},
    {"nosave", VersionProprietaryA, ModelBlock, build_block, nullptr},
    {"layer", VersionProprietaryA, ModelBlock, build_block, nullptr},
    {"ilayer", VersionProprietaryA, ModelInline, build_inline, nullptr},
    {"nolayer", VersionProprietaryA, ModelBlock | ModelInline | ModelMixed, build_block, nullptr},
    {"align", VersionProprietaryA, ModelBlock, build_block, nullptr},
    {"center", VersionLoose, ModelBlock, build_block, nullptr},
    {"ins", VersionHTML40HTML5, ModelBlock | ModelInline | ModelMixed, build_inline, nullptr},
    {"del", VersionHTML40HTML5, ModelBlock | ModelInline | ModelMixed, build_inline, nullptr},
    {"li", VersionAllHTML5, ModelList | ModelOptionalEnd | ModelNoIndent, build_block, nullptr},
    {"dt", VersionAllHTML5, ModelDefList | ModelOptionalEnd | ModelNoIndent, build_inline, nullptr},
    {"dd", VersionAllHTML5, ModelDefList | ModelOptionalEnd | ModelNoIndent, build_block, nullptr},
    {"caption", VersionFromHTML32HTML5, ModelTable, build_inline, check_caption},
    {"colgroup", VersionHTML40HTML5, ModelTable | ModelOptionalEnd, build_colgroup, nullptr},
    {"col", VersionHTML40HTML5, ModelEmpty | ModelTable, nullptr, nullptr},
    {"thead", VersionHTML40HTML5, ModelTable | ModelRowGroup | ModelOptionalEnd, build_rowgroup,
     nullptr},
    {"tfoot", VersionHTML40HTML5, ModelTable | ModelRowGroup | ModelOptionalEnd, build_rowgroup,
     nullptr},
    {"tbody", VersionHTML40HTML5, ModelTable | ModelRowGroup | ModelOptionalEnd, build_rowgroup,
     nullptr},
    {"tr", VersionFromHTML32HTML5, ModelTable | ModelOptionalEnd, build_row, nullptr},
    {"td", VersionFromHTML32HTML5, ModelRow | ModelOptionalEnd | ModelNoIndent, build_block,
     check_table_cell},
    {"th", VersionFromHTML32HTML5, ModelRow | ModelOptionalEnd | ModelNoIndent, build_block,
     check_table_cell},
    {"q", VersionHTML40HTML5, ModelInline, build_inline, nullptr},
    {"a", VersionAllHTML5, ModelInline, build_inline, check_anchor},
    {"br", VersionAllHTML5, ModelEmpty | ModelInline, nullptr, nullptr},
    {"img", VersionAllHTML5, ModelEmpty | ModelInline | ModelImage, nullptr, check_img},
    {"object", VersionHTML40HTML5, ModelHead | ModelInline | ModelObject | ModelPlugin | ModelImage,
     build_block, nullptr},
    {"applet", VersionLoose, ModelInline | ModelObject | ModelPlugin | ModelImage, build_block,
     nullptr},
    {"servlet", VersionProprietaryC, ModelInline | ModelObject | ModelPlugin | ModelImage,
     build_block, nullptr},
    {"param", VersionFromHTML32, ModelEmpty | ModelInline, nullptr, nullptr},
    {"embed", VersionProprietaryA | VersionHTML5, ModelEmpty | ModelInline | ModelImage, nullptr,
     nullptr},
    {"noembed", VersionProprietaryA, ModelInline, build_inline, nullptr},
    {"iframe", VersionHTML40Loose | VersionHTML5, ModelInline, build_block, nullptr},
    {"frame", VersionFrames, ModelEmpty | ModelFrames, nullptr, nullptr},
    {"noframes", VersionHTML40Loose | VersionFrames, ModelBlock | ModelFrames, build_noframes,
     nullptr},
    {"noscript", VersionHTML40HTML5, ModelBlock | ModelInline | ModelMixed, build_block, nullptr},
    {"b", VersionAllHTML5, ModelInline, build_inline, nullptr},
    {"i", VersionAllHTML5, ModelInline, build_inline, nullptr},
    {"u", VersionLoose | VersionHTML5, ModelInline, build_inline, nullptr},
    {"tt", VersionAll, ModelInline, build_inline, nullptr},
    {"s", VersionLoose | VersionHTML5, ModelInline, build_inline, nullptr},
    {"strike", VersionLoose, ModelInline, build_inline, nullptr},
    {"big", VersionFromHTML32, ModelInline, build_inline, nullptr},
    {"small", VersionFromHTML32HTML5, ModelInline, build_inline, nullptr},
    {"sub", VersionFromHTML32HTML5, ModelInline, build_inline, nullptr},
    {"sup", VersionFromHTML32HTML5, ModelInline, build_inline, nullptr},
    {"em", VersionAllHTML5, ModelInline, build_inline, nullptr},
    {"strong", VersionAllHTML5, ModelInline, build_inline, nullptr},
    {"dfn", VersionAllHTML5, ModelInline, build_inline, nullptr},
    {"code", VersionAllHTML5, ModelInline, build_inline, nullptr},
    {"samp", VersionAllHTML5, ModelInline, build_inline, nullptr},
    {"kbd", VersionAllHTML5, ModelInline, build_inline, nullptr},
    {"var", VersionAllHTML5, ModelInline, build_inline, nullptr},
    {"cite", VersionAllHTML5, ModelInline, build_inline, nullptr},
    {"abbr", VersionHTML40HTML5, ModelInline, build_inline, nullptr},
    {"acronym", VersionHTML40, ModelInline, build_inline, nullptr},
    {"span", VersionFromHTML32HTML5, ModelInline, build_inline, nullptr},
    {"blink", VersionProprietary, ModelInline, build_inline, nullptr},
    {"nobr", VersionProprietary, ModelInline, build_inline, nullptr},
    {"wbr", VersionProprietary | VersionHTML5, ModelEmpty | ModelInline, nullptr, nullptr},
    {"marquee", VersionProprietaryB, ModelInline | ModelOptionalEnd, build_inline, nullptr},
    {"bgsound", VersionProprietaryB, ModelEmpty | ModelHead, nullptr, nullptr},
    {"comment", VersionProprietaryB, ModelInline, build_inline, nullptr},
    {"spacer", VersionProprietaryA, ModelEmpty | ModelInline, nullptr, nullptr},
    {"keygen", VersionProprietaryA, ModelEmpty | ModelInline, nullptr, nullptr},
    {"nolayer", VersionProprietaryA, ModelBlock | ModelInline | ModelMixed, build_block, nullptr},
    {"ilayer", VersionProprietaryA, ModelInline, build_inline, nullptr},
    {"map", VersionFromHTML32HTML5, ModelInline, build_block, check_map},
    {"area", VersionAllHTML5, ModelEmpty | ModelBlock, nullptr, check_area},
    {"input", VersionAllHTML5, ModelEmpty | ModelInline | ModelImage, nullptr, nullptr},
    {"select", VersionAllHTML5, ModelInline | ModelField, build_select, nullptr},
    {"option", VersionAllHTML5, ModelField | ModelOptionalEnd, build_text, nullptr},
    {"optgroup", VersionHTML40HTML5, ModelField | ModelOptionalEnd, build_optgroup, nullptr},
    {"textarea", VersionAllHTML5, ModelInline | ModelField, build_text, nullptr},
    {"label", VersionHTML40HTML5, ModelInline, build_inline, nullptr},
    {"legend", VersionHTML40HTML5, ModelInline, build_inline, nullptr},
    {"button", VersionHTML40HTML5, ModelInline, build_inline, nullptr},
    {"basefont", VersionLoose, ModelEmpty | ModelInline, nullptr, nullptr},
    {"font", VersionLoose, ModelInline, build_inline, nullptr},
    {"bdo", VersionHTML40HTML5, ModelInline, build_inline, nullptr},
    // HTML5. Sectioning and grouping content is parsed like a division,
    // phrasing content like the inline elements, media elements with their
    // fallback content like objects (inline elements outside them are not
    // re-opened inside), sources and tracks like images, a datalist like a
    // select, a template like a script that may stand in head or body.
    {"article", VersionHTML5, ModelBlock, build_block, nullptr},
    {"aside", VersionHTML5, ModelBlock, build_block, nullptr},
    {"header", VersionHTML5, ModelBlock, build_block, nullptr},
    {"footer", VersionHTML5, ModelBlock, build_block, nullptr},
    {"nav", VersionHTML5, ModelBlock, build_block, nullptr},
    {"main", VersionHTML5, ModelBlock, build_block, nullptr},
    {"section", VersionHTML5, ModelBlock, build_block, nullptr},
    {"hgroup", VersionHTML5, ModelBlock, build_block, nullptr},
    {"search", VersionHTML5, ModelBlock, build_block, nullptr},
    {"figure", VersionHTML5, ModelBlock, build_block, nullptr},
    {"figcaption", VersionHTML5, ModelBlock, build_block, nullptr},
    {"details", VersionHTML5, ModelBlock, build_block, nullptr},
    {"summary", VersionHTML5, ModelBlock, build_block, nullptr},
    {"dialog", VersionHTML5, ModelBlock, build_block, nullptr},
    {"mark", VersionHTML5, ModelInline, build_inline, nullptr},
    {"time", VersionHTML5, ModelInline, build_inline, nullptr},
    {"data", VersionHTML5, ModelInline, build_inline, nullptr},
    {"output", VersionHTML5, ModelInline, build_inline, nullptr},
    {"meter", VersionHTML5, ModelInline, build_inline, nullptr},
    {"progress", VersionHTML5, ModelInline, build_inline, nullptr},
    {"bdi", VersionHTML5, ModelInline, build_inline, nullptr},
    {"ruby", VersionHTML5, ModelInline, build_inline, nullptr},
    {"rt", VersionHTML5, ModelInline, build_inline, nullptr},
    {"rp", VersionHTML5, ModelInline, build_inline, nullptr},
    {"slot", VersionHTML5, ModelInline, build_inline, nullptr},
    {"picture", VersionHTML5, ModelInline | ModelObject, build_block, nullptr},
    {"video", VersionHTML5, ModelInline | ModelObject, build_block, nullptr},
    {"audio", VersionHTML5, ModelInline | ModelObject, build_block, nullptr},
    {"canvas", VersionHTML5, ModelInline | ModelObject, build_block, nullptr},
    {"source", VersionHTML5, ModelEmpty | ModelInline, nullptr, nullptr},
    {"track", VersionHTML5, ModelEmpty | ModelInline, nullptr, nullptr},
    {"template", VersionHTML5, ModelHead | ModelBlock | ModelInline | ModelMixed, build_block,
     nullptr},
    {"datalist", VersionHTML5, ModelInline | ModelField, build_select, nullptr},
    // Foreign content: svg and math hold elements of their own vocabularies.
    {"svg", VersionHTML5, ModelInline, build_foreign, check_foreign_root},
    {"math", VersionHTML5, ModelInline, build_foreign, check_foreign_root},
};

// The 114 rows of the HTML 4.01 era and the 35 of HTML5.
static_assert(sizeof(tag_rows) / sizeof(tag_rows[0]) == 149, "the built-in table has 149 rows");

struct Handle {
    TagDef** handle;
    const char* name;
};

} // namespace

TagDef* xml_tag_def = nullptr;
TagDef* foreign_tag_def = nullptr;

TagDef *tag_html, *tag_head, *tag_body, *tag_frameset, *tag_frame, *tag_noframes, *tag_meta,
    *tag_title, *tag_base, *tag_hr, *tag_pre, *tag_listing, *tag_h1, *tag_h2, *tag_p, *tag_ul,
    *tag_ol, *tag_dir, *tag_li, *tag_dl, *tag_dt, *tag_dd, *tag_td, *tag_th, *tag_tr, *tag_col,
    *tag_br, *tag_a, *tag_link, *tag_b, *tag_i, *tag_strong, *tag_em, *tag_big, *tag_small,
    *tag_param, *tag_option, *tag_optgroup, *tag_img, *tag_map, *tag_area, *tag_nobr, *tag_wbr,
    *tag_font, *tag_spacer, *tag_layer, *tag_center, *tag_style, *tag_script, *tag_noscript,
    *tag_table, *tag_caption, *tag_form, *tag_textarea, *tag_blockquote, *tag_applet, *tag_object,
    *tag_div, *tag_span, *tag_svg, *tag_math, *tag_template;

uint32_t name_hash(const char* name) {
    uint32_t h = 0;
    for (const char* p = name; *p != '\0'; ++p) {
        h = h * 31u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
    }
    return h;
}

TagDef* lookup_tag(const char* name) {
    if (name == nullptr) return nullptr;
    for (TagDef* t = tag_buckets[name_hash(name) % TagBuckets]; t != nullptr; t = t->chain) {
        if (t->name == name) return t;
    }
    return nullptr;
}

TagDef* define_tag(const char* name, VersionBits versions, ContentModelBits model, ParserFn parser,
                   CheckAttributesFn checker) {
    uint32_t bucket = name_hash(name) % TagBuckets;
    TagDef* entry = nullptr;
    for (TagDef* t = tag_buckets[bucket]; t != nullptr; t = t->chain) {
        if (t->name == name) {
            entry = t;
            break;
        }
    }
    if (entry == nullptr) {
        entry = new TagDef();
        entry->name = name;
        entry->chain = tag_buckets[bucket];
        tag_buckets[bucket] = entry;
    }
    entry->versions = versions;
    entry->model |= model;
    entry->parser = parser;
    entry->check_attributes = checker;
    return entry;
}

void init_tags() {
    if (xml_tag_def != nullptr) return;
    for (const TagRow& row : tag_rows) {
        define_tag(row.name, row.versions, row.model, row.parser, row.checker);
    }
    const Handle handles[] = {
        {&tag_html, "html"},
        {&tag_head, "head"},
        {&tag_body, "body"},
        {&tag_frameset, "frameset"},
        {&tag_frame, "frame"},
        {&tag_noframes, "noframes"},
        {&tag_meta, "meta"},
        {&tag_title, "title"},
        {&tag_base, "base"},
        {&tag_hr, "hr"},
        {&tag_pre, "pre"},
        {&tag_listing, "listing"},
        {&tag_h1, "h1"},
        {&tag_h2, "h2"},
        {&tag_p, "p"},
        {&tag_ul, "ul"},
        {&tag_ol, "ol"},
        {&tag_dir, "dir"},
        {&tag_li, "li"},
        {&tag_dl, "dl"},
        {&tag_dt, "dt"},
        {&tag_dd, "dd"},
        {&tag_td, "td"},
        {&tag_th, "th"},
        {&tag_tr, "tr"},
        {&tag_col, "col"},
        {&tag_br, "br"},
        {&tag_a, "a"},
        {&tag_link, "link"},
        {&tag_b, "b"},
        {&tag_i, "i"},
        {&tag_strong, "strong"},
        {&tag_em, "em"},
        {&tag_big, "big"},
        {&tag_small, "small"},
        {&tag_param, "param"},
        {&tag_option, "option"},
        {&tag_optgroup, "optgroup"},
        {&tag_img, "img"},
        {&tag_map, "map"},
        {&tag_area, "area"},
        {&tag_nobr, "nobr"},
        {&tag_wbr, "wbr"},
        {&tag_font, "font"},
        {&tag_spacer, "spacer"},
        {&tag_layer, "layer"},
        {&tag_center, "center"},
        {&tag_style, "style"},
        {&tag_script, "script"},
        {&tag_noscript, "noscript"},
        {&tag_table, "table"},
        {&tag_caption, "caption"},
        {&tag_form, "form"},
        {&tag_textarea, "textarea"},
        {&tag_blockquote, "blockquote"},
        {&tag_applet, "applet"},
        {&tag_object, "object"},
        {&tag_div, "div"},
        {&tag_span, "span"},
        {&tag_svg, "svg"},
        {&tag_math, "math"},
        {&tag_template, "template"},
    };
    xml_tag_def = new TagDef();
    for (const Handle& h : handles)
        *h.handle = lookup_tag(h.name);
    xml_tag_def->versions = VersionAll;
    xml_tag_def->model = ModelBlock;
    foreign_tag_def = new TagDef();
    foreign_tag_def->versions = VersionHTML5;
    foreign_tag_def->model = ModelInline;
    foreign_tag_def->parser = build_foreign;
}

void free_tags() {
    for (TagDef*& bucket : tag_buckets) {
        while (bucket != nullptr) {
            TagDef* next = bucket->chain;
            delete bucket;
            bucket = next;
        }
    }
    delete xml_tag_def;
    xml_tag_def = nullptr;
    delete foreign_tag_def;
    foreign_tag_def = nullptr;
}

bool is_foreign(const Node* node) {
    const TagDef* tag = node->tag;
    return tag != nullptr && (tag == foreign_tag_def || tag == tag_svg || tag == tag_math);
}

bool is_obsolete_in_html5(const TagDef* tag) {
    return tag != nullptr && (tag->versions & VersionHTML5) == 0 &&
           (tag->versions & VersionAll) != 0 && tag != xml_tag_def;
}

bool find_tag(Node* node) {
    if (options.input_xml) {
        node->tag = xml_tag_def;
        return true;
    }
    if (node->element_name.empty()) return false;
    TagDef* t = lookup_tag(node->element_name.c_str());
    if (t == nullptr) return false;
    node->tag = t;
    return true;
}

ParserFn find_parser(const Node* node) {
    if (node->element_name.empty()) return nullptr;
    TagDef* t = lookup_tag(node->element_name.c_str());
    return t != nullptr ? t->parser : nullptr;
}

void define_inline_tag(const char* name) {
    define_tag(name, VersionProprietary, ModelUserDefined | ModelNoIndent | ModelInline,
               build_block, nullptr);
}

void define_block_tag(const char* name) {
    define_tag(name, VersionProprietary, ModelUserDefined | ModelNoIndent | ModelBlock, build_block,
               nullptr);
}

// Declared empty elements stand in text like img: without the inline bit a
// builder would end the open blocks at them and then drop them.
void define_empty_tag(const char* name) {
    define_tag(name, VersionProprietary,
               ModelUserDefined | ModelNoIndent | ModelEmpty | ModelInline, build_block, nullptr);
}

void define_pre_tag(const char* name) {
    define_tag(name, VersionProprietary, ModelUserDefined | ModelNoIndent | ModelBlock, build_pre,
               nullptr);
}

} // namespace varnel
