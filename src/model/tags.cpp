// The tag dictionary: the built-in table, user-declared tags and lookups.
#include "model/tags.h"

#include <cstring>

#include "build/builders.h"
#include "driver/config.h"
#include "model/attrs.h"
#include "model/node.h"

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
    {"html", VersionAll, ModelHtml | ModelOptionalEnd | ModelOptionalStart, build_html, check_html},
    {"head", VersionAll, ModelHtml | ModelOptionalEnd | ModelOptionalStart, build_head, nullptr},
    {"title", VersionAll, ModelHead, build_title, nullptr},
    {"base", VersionAll, ModelEmpty | ModelHead, nullptr, nullptr},
    {"link", VersionAll, ModelEmpty | ModelHead, nullptr, check_link},
    {"meta", VersionAll, ModelEmpty | ModelHead, nullptr, nullptr},
    {"style", VersionFromHTML32, ModelHead, build_script, check_style},
    {"script", VersionFromHTML32, ModelHead | ModelBlock | ModelInline | ModelMixed, build_script,
     check_script},
    {"server", VersionProprietaryA, ModelHead | ModelBlock | ModelInline | ModelMixed, build_script,
     nullptr},
    {"body", VersionAll, ModelHtml | ModelOptionalEnd | ModelOptionalStart, build_body, nullptr},
    {"frameset", VersionFrames, ModelHtml | ModelFrames, build_frameset, nullptr},
    {"p", VersionAll, ModelBlock | ModelOptionalEnd, build_inline, nullptr},
    {"h1", VersionAll, ModelBlock | ModelHeading, build_inline, nullptr},
    {"h2", VersionAll, ModelBlock | ModelHeading, build_inline, nullptr},
    {"h3", VersionAll, ModelBlock | ModelHeading, build_inline, nullptr},
    {"h4", VersionAll, ModelBlock | ModelHeading, build_inline, nullptr},
    {"h5", VersionAll, ModelBlock | ModelHeading, build_inline, nullptr},
    {"h6", VersionAll, ModelBlock | ModelHeading, build_inline, nullptr},
    {"ul", VersionAll, ModelBlock, build_list, nullptr},
    {"ol", VersionAll, ModelBlock, build_list, nullptr},
    {"dl", VersionAll, ModelBlock, build_deflist, nullptr},
    {"dir", VersionLoose, ModelBlock | ModelObsolete, build_list, nullptr},
    {"menu", VersionLoose, ModelBlock | ModelObsolete, build_list, nullptr},
    {"pre", VersionAll, ModelBlock, build_pre, nullptr},
    {"listing", VersionAll, ModelBlock | ModelObsolete, build_pre, nullptr},
    {"xmp", VersionAll, ModelBlock | ModelObsolete, build_pre, nullptr},
    {"plaintext", VersionAll, ModelBlock | ModelObsolete, build_pre, nullptr},
    {"address", VersionAll, ModelBlock, build_block, nullptr},
    {"blockquote", VersionAll, ModelBlock, build_block, nullptr},
    {"form", VersionAll, ModelBlock, build_block, nullptr},
    {"isindex", VersionLoose, ModelEmpty | ModelBlock, nullptr, nullptr},
    {"fieldset", VersionHTML40, ModelBlock, build_block, nullptr},
    {"table", VersionFromHTML32, ModelBlock, build_table, check_table},
    {"hr", VersionAll, ModelEmpty | ModelBlock, nullptr, check_hr},
    {"div", VersionFromHTML32, ModelBlock, build_block, nullptr},
    {"multicol", VersionProprietaryA, ModelBlock, build_block, nullptr},
    {"nosave", VersionProprietaryA, ModelBlock, build_block, nullptr},
    {"layer", VersionProprietaryA, ModelBlock, build_block, nullptr},
    {"ilayer", VersionProprietaryA, ModelInline, build_inline, nullptr},
    {"nolayer", VersionProprietaryA, ModelBlock | ModelInline | ModelMixed, build_block, nullptr},
    {"align", VersionProprietaryA, ModelBlock, build_block, nullptr},
    {"center", VersionLoose, ModelBlock, build_block, nullptr},
    {"ins", VersionHTML40, ModelBlock | ModelInline | ModelMixed, build_inline, nullptr},
    {"del", VersionHTML40, ModelBlock | ModelInline | ModelMixed, build_inline, nullptr},
    {"li", VersionAll, ModelList | ModelOptionalEnd | ModelNoIndent, build_block, nullptr},
    {"dt", VersionAll, ModelDefList | ModelOptionalEnd | ModelNoIndent, build_inline, nullptr},
    {"dd", VersionAll, ModelDefList | ModelOptionalEnd | ModelNoIndent, build_block, nullptr},
    {"caption", VersionFromHTML32, ModelTable, build_inline, check_caption},
    {"colgroup", VersionHTML40, ModelTable | ModelOptionalEnd, build_colgroup, nullptr},
    {"col", VersionHTML40, ModelEmpty | ModelTable, nullptr, nullptr},
    {"thead", VersionHTML40, ModelTable | ModelRowGroup | ModelOptionalEnd, build_rowgroup,
     nullptr},
    {"tfoot", VersionHTML40, ModelTable | ModelRowGroup | ModelOptionalEnd, build_rowgroup,
     nullptr},
    {"tbody", VersionHTML40, ModelTable | ModelRowGroup | ModelOptionalEnd, build_rowgroup,
     nullptr},
    {"tr", VersionFromHTML32, ModelTable | ModelOptionalEnd, build_row, nullptr},
    {"td", VersionFromHTML32, ModelRow | ModelOptionalEnd | ModelNoIndent, build_block,
     check_table_cell},
    {"th", VersionFromHTML32, ModelRow | ModelOptionalEnd | ModelNoIndent, build_block,
     check_table_cell},
    {"q", VersionHTML40, ModelInline, build_inline, nullptr},
    {"a", VersionAll, ModelInline, build_inline, check_anchor},
    {"br", VersionAll, ModelEmpty | ModelInline, nullptr, nullptr},
    {"img", VersionAll, ModelEmpty | ModelInline | ModelImage, nullptr, check_img},
    {"object", VersionHTML40, ModelHead | ModelInline | ModelObject | ModelPlugin | ModelImage,
     build_block, nullptr},
    {"applet", VersionLoose, ModelInline | ModelObject | ModelPlugin | ModelImage, build_block,
     nullptr},
    {"servlet", VersionProprietaryC, ModelInline | ModelObject | ModelPlugin | ModelImage,
     build_block, nullptr},
    {"param", VersionFromHTML32, ModelEmpty | ModelInline, nullptr, nullptr},
    {"embed", VersionProprietaryA, ModelEmpty | ModelInline | ModelImage, nullptr, nullptr},
    {"noembed", VersionProprietaryA, ModelInline, build_inline, nullptr},
    {"iframe", VersionHTML40Loose, ModelInline, build_block, nullptr},
    {"frame", VersionFrames, ModelEmpty | ModelFrames, nullptr, nullptr},
    {"noframes", VersionHTML40Loose | VersionFrames, ModelBlock | ModelFrames, build_noframes,
     nullptr},
    {"noscript", VersionHTML40, ModelBlock | ModelInline | ModelMixed, build_block, nullptr},
    {"b", VersionAll, ModelInline, build_inline, nullptr},
    {"i", VersionAll, ModelInline, build_inline, nullptr},
    {"u", VersionLoose, ModelInline, build_inline, nullptr},
    {"tt", VersionAll, ModelInline, build_inline, nullptr},
    {"s", VersionLoose, ModelInline, build_inline, nullptr},
    {"strike", VersionLoose, ModelInline, build_inline, nullptr},
    {"big", VersionFromHTML32, ModelInline, build_inline, nullptr},
    {"small", VersionFromHTML32, ModelInline, build_inline, nullptr},
    {"sub", VersionFromHTML32, ModelInline, build_inline, nullptr},
    {"sup", VersionFromHTML32, ModelInline, build_inline, nullptr},
    {"em", VersionAll, ModelInline, build_inline, nullptr},
    {"strong", VersionAll, ModelInline, build_inline, nullptr},
    {"dfn", VersionAll, ModelInline, build_inline, nullptr},
    {"code", VersionAll, ModelInline, build_inline, nullptr},
    {"samp", VersionAll, ModelInline, build_inline, nullptr},
    {"kbd", VersionAll, ModelInline, build_inline, nullptr},
    {"var", VersionAll, ModelInline, build_inline, nullptr},
    {"cite", VersionAll, ModelInline, build_inline, nullptr},
    {"abbr", VersionHTML40, ModelInline, build_inline, nullptr},
    {"acronym", VersionHTML40, ModelInline, build_inline, nullptr},
    {"span", VersionFromHTML32, ModelInline, build_inline, nullptr},
    {"blink", VersionProprietary, ModelInline, build_inline, nullptr},
    {"nobr", VersionProprietary, ModelInline, build_inline, nullptr},
    {"wbr", VersionProprietary, ModelEmpty | ModelInline, nullptr, nullptr},
    {"marquee", VersionProprietaryB, ModelInline | ModelOptionalEnd, build_inline, nullptr},
    {"bgsound", VersionProprietaryB, ModelEmpty | ModelHead, nullptr, nullptr},
    {"comment", VersionProprietaryB, ModelInline, build_inline, nullptr},
    {"spacer", VersionProprietaryA, ModelEmpty | ModelInline, nullptr, nullptr},
    {"keygen", VersionProprietaryA, ModelEmpty | ModelInline, nullptr, nullptr},
    {"nolayer", VersionProprietaryA, ModelBlock | ModelInline | ModelMixed, build_block, nullptr},
    {"ilayer", VersionProprietaryA, ModelInline, build_inline, nullptr},
    {"map", VersionFromHTML32, ModelInline, build_block, check_map},
    {"area", VersionAll, ModelEmpty | ModelBlock, nullptr, check_area},
    {"input", VersionAll, ModelEmpty | ModelInline | ModelImage, nullptr, nullptr},
    {"select", VersionAll, ModelInline | ModelField, build_select, nullptr},
    {"option", VersionAll, ModelField | ModelOptionalEnd, build_text, nullptr},
    {"optgroup", VersionHTML40, ModelField | ModelOptionalEnd, build_optgroup, nullptr},
    {"textarea", VersionAll, ModelInline | ModelField, build_text, nullptr},
    {"label", VersionHTML40, ModelInline, build_inline, nullptr},
    {"legend", VersionHTML40, ModelInline, build_inline, nullptr},
    {"button", VersionHTML40, ModelInline, build_inline, nullptr},
    {"basefont", VersionLoose, ModelEmpty | ModelInline, nullptr, nullptr},
    {"font", VersionLoose, ModelInline, build_inline, nullptr},
    {"bdo", VersionHTML40, ModelInline, build_inline, nullptr},
};

static_assert(sizeof(tag_rows) / sizeof(tag_rows[0]) == 114, "the built-in table has 114 rows");

struct Handle {
    TagDef** handle;
    const char* name;
};

} // namespace

TagDef* xml_tag_def = nullptr;

TagDef *tag_html, *tag_head, *tag_body, *tag_frameset, *tag_frame, *tag_noframes, *tag_meta,
    *tag_title, *tag_base, *tag_hr, *tag_pre, *tag_listing, *tag_h1, *tag_h2, *tag_p, *tag_ul,
    *tag_ol, *tag_dir, *tag_li, *tag_dl, *tag_dt, *tag_dd, *tag_td, *tag_th, *tag_tr, *tag_col,
    *tag_br, *tag_a, *tag_link, *tag_b, *tag_i, *tag_strong, *tag_em, *tag_big, *tag_small,
    *tag_param, *tag_option, *tag_optgroup, *tag_img, *tag_map, *tag_area, *tag_nobr, *tag_wbr,
    *tag_font, *tag_spacer, *tag_layer, *tag_center, *tag_style, *tag_script, *tag_noscript,
    *tag_table, *tag_caption, *tag_form, *tag_textarea, *tag_blockquote, *tag_applet, *tag_object,
    *tag_div, *tag_span;

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
    };
    xml_tag_def = new TagDef();
    for (const Handle& h : handles)
        *h.handle = lookup_tag(h.name);
    xml_tag_def->versions = VersionAll;
    xml_tag_def->model = ModelBlock;
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
