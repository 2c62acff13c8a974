// The attribute dictionary (a constant table, indexed by name on first use),
// attribute lookups and edits, and the attribute and element checks the
// lexer runs on every HTML start tag.
#include "model/attrs.h"

#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "base/chars.h"
#include "base/config.h"
#include "base/name_index.h"
#include "base/short_list.h"
#include "base/util.h"
#include "model/document.h"
#include "model/node.h"
#include "model/reports.h"

namespace varnel {

namespace {

constexpr VersionBits VersionLooseFrames = VersionHTML40Loose | VersionFrames; // 0x18

// The built-in table, in its order.
constexpr AttrDef builtin_attrs[] = {
    {"abbr", VersionHTML40 | VersionHTML5, nullptr},
    {"accept-charset", VersionHTML40 | VersionHTML5, nullptr},
    {"accept", VersionAll | VersionHTML5, nullptr},
    {"accesskey", VersionHTML40 | VersionHTML5, nullptr},
    {"action", VersionAll | VersionHTML5, check_url_value},
    {"add_date", VersionProprietaryA, nullptr},
    {"align", VersionAll, check_align_value},
    {"alink", VersionLoose, nullptr},
    {"alt", VersionAll | VersionHTML5, nullptr, true},
    {"archive", VersionHTML40, nullptr},
    {"axis", VersionHTML40, nullptr},
    {"background", VersionLoose, check_url_value},
    {"bgcolor", VersionLoose, nullptr},
    {"bgproperties", VersionProprietary, nullptr},
    {"border", VersionAll | VersionHTML5, check_bool_value},
    {"bordercolor", VersionProprietaryB, nullptr},
    {"bottommargin", VersionProprietaryB, nullptr},
    {"cellpadding", VersionFromHTML32, nullptr},
    {"cellspacing", VersionFromHTML32, nullptr},
    {"char", VersionHTML40, nullptr},
    {"charoff", VersionHTML40, nullptr},
    {"charset", VersionHTML40 | VersionHTML5, nullptr},
    {"checked", VersionAll | VersionHTML5, check_bool_value},
    {"cite", VersionHTML40 | VersionHTML5, check_url_value},
    {"class", VersionHTML40 | VersionHTML5, nullptr},
    {"classid", VersionHTML40, check_url_value},
    {"clear", VersionLoose, nullptr},
    {"code", VersionLoose, nullptr},
    {"codebase", VersionHTML40, check_url_value},
    {"codetype", VersionHTML40, nullptr},
    {"color", VersionLoose | VersionHTML5, nullptr},
    {"cols", VersionLooseFrames | VersionHTML5, nullptr},
    {"colspan", VersionFromHTML32 | VersionHTML5, nullptr},
    {"compact", VersionAll, check_bool_value},
    {"content", VersionAll | VersionHTML5, nullptr, true},
    {"coords", VersionFromHTML32 | VersionHTML5, nullptr},
    {"data", VersionHTML40 | VersionHTML5, check_url_value},
    {"datafld", VersionProprietaryB, nullptr},
    {"dataformatas", VersionProprietaryB, nullptr},
    {"datapagesize", VersionProprietaryB, nullptr},
    {"datasrc", VersionProprietaryB, check_url_value},
    {"datetime", VersionHTML40 | VersionHTML5, nullptr},
    {"declare", VersionHTML40, check_bool_value},
    {"defer", VersionHTML40 | VersionHTML5, check_bool_value},
    {"dir", VersionHTML40 | VersionHTML5, nullptr},
    {"disabled", VersionHTML40 | VersionHTML5, check_bool_value},
    {"enctype", VersionAll | VersionHTML5, nullptr},
    {"face", VersionLoose, nullptr},
    {"for", VersionHTML40 | VersionHTML5, nullptr},
    {"frame", VersionHTML40, nullptr},
    {"frameborder", VersionFrames, nullptr},
    {"framespacing", VersionProprietary, nullptr},
    {"gridx", VersionProprietary, nullptr},
    {"gridy", VersionProprietary, nullptr},
    {"headers", VersionHTML40 | VersionHTML5, nullptr},
    {"height", VersionAll | VersionHTML5, nullptr},
    {"href", VersionAll | VersionHTML5, check_url_value},
    {"hreflang", VersionHTML40 | VersionHTML5, nullptr},
    {"hspace", VersionAll, nullptr},
    {"http-equiv", VersionAll | VersionHTML5, nullptr},
    {"id", VersionHTML40 | VersionHTML5, check_id_value},
    {"ismap", VersionAll | VersionHTML5, check_bool_value},
    {"label", VersionHTML40 | VersionHTML5, nullptr},
    {"lang", VersionHTML40 | VersionHTML5, nullptr},
    {"language", VersionLoose, nullptr},
    {"last_modified", VersionProprietaryA, nullptr},
    {"last_visit", VersionProprietaryA, nullptr},
    {"leftmargin", VersionProprietaryB, nullptr},
    {"link", VersionLoose, nullptr},
    {"longdesc", VersionHTML40, check_url_value},
    {"lowsrc", VersionProprietary, check_url_value},
    {"marginheight", VersionLooseFrames, nullptr},
    {"marginwidth", VersionLooseFrames, nullptr},
    {"maxlength", VersionAll | VersionHTML5, nullptr},
    {"media", VersionHTML40 | VersionHTML5, nullptr},
    {"method", VersionAll | VersionHTML5, nullptr},
    {"multiple", VersionAll | VersionHTML5, check_bool_value},
    {"name", VersionAll | VersionHTML5, check_name_value},
    {"nohref", VersionFromHTML32, check_bool_value},
    {"noresize", VersionFrames, check_bool_value},
    {"noshade", VersionLoose, check_bool_value},
    {"nowrap", VersionLoose, check_bool_value},
    {"object", VersionHTML40Loose, nullptr},
    {"onblur", VersionHTML40 | VersionHTML5, check_script_value},
    // HTML 4.01 declares onfocus beside onblur, on the same elements.
    {"onfocus", VersionHTML40 | VersionHTML5, check_script_value},
    {"onchange", VersionHTML40 | VersionHTML5, check_script_value},
    {"onclick", VersionHTML40 | VersionHTML5, check_script_value},
    {"ondblclick", VersionHTML40 | VersionHTML5, check_script_value},
    {"onkeydown", VersionHTML40 | VersionHTML5, check_script_value},
    {"onkeypress", VersionHTML40 | VersionHTML5, check_script_value},
    {"onkeyup", VersionHTML40 | VersionHTML5, check_script_value},
    {"onload", VersionHTML40 | VersionHTML5, check_script_value},
    {"onmousedown", VersionHTML40 | VersionHTML5, check_script_value},
    {"onmousemove", VersionHTML40 | VersionHTML5, check_script_value},
    {"onmouseout", VersionHTML40 | VersionHTML5, check_script_value},
    {"onmouseover", VersionHTML40 | VersionHTML5, check_script_value},
    {"onmouseup", VersionHTML40 | VersionHTML5, check_script_value},
    {"onsubmit", VersionHTML40 | VersionHTML5, check_script_value},
    {"onreset", VersionHTML40 | VersionHTML5, check_script_value},
    {"onselect", VersionHTML40 | VersionHTML5, check_script_value},
    {"onunload", VersionHTML40 | VersionHTML5, check_script_value},
    {"onafterupdate", VersionProprietaryB, check_script_value},
    {"onbeforeupdate", VersionProprietaryB, check_script_value},
    {"onerrorupdate", VersionProprietaryB, check_script_value},
    {"onrowenter", VersionProprietaryB, check_script_value},
    {"onrowexit", VersionProprietaryB, check_script_value},
    {"onbeforeunload", VersionProprietaryB | VersionHTML5, check_script_value},
    {"ondatasetchanged", VersionProprietaryB, check_script_value},
    {"ondataavailable", VersionProprietaryB, check_script_value},
    {"ondatasetcomplete", VersionProprietaryB, check_script_value},
    {"profile", VersionHTML40, check_url_value},
    {"prompt", VersionLoose, nullptr},
    {"readonly", VersionHTML40 | VersionHTML5, check_bool_value},
    {"rel", VersionAll | VersionHTML5, nullptr},
    {"rev", VersionAll, nullptr},
    {"rightmargin", VersionProprietaryB, nullptr},
    {"rows", VersionAll | VersionHTML5, nullptr},
    {"rowspan", VersionAll | VersionHTML5, nullptr},
    {"rules", VersionHTML40, nullptr},
    {"scheme", VersionHTML40, nullptr},
    {"scope", VersionHTML40 | VersionHTML5, nullptr},
    {"scrolling", VersionLooseFrames, nullptr},
    {"selected", VersionAll | VersionHTML5, check_bool_value},
    {"shape", VersionFromHTML32 | VersionHTML5, nullptr},
    {"showgrid", VersionProprietary, check_bool_value},
    {"showgridx", VersionProprietary, check_bool_value},
    {"showgridy", VersionProprietary, check_bool_value},
    {"size", VersionLoose | VersionHTML5, nullptr},
    {"span", VersionHTML40 | VersionHTML5, nullptr},
    {"src", VersionAll | VersionHTML5, check_url_value},
    {"standby", VersionHTML40, nullptr},
    {"start", VersionAll | VersionHTML5, nullptr},
    {"style", VersionHTML40 | VersionHTML5, nullptr},
    {"summary", VersionHTML40, nullptr},
    {"tabindex", VersionHTML40 | VersionHTML5, nullptr},
    {"target", VersionHTML40 | VersionHTML5, nullptr},
    {"text", VersionLoose, nullptr},
    {"title", VersionHTML40 | VersionHTML5, nullptr},
    {"topmargin", VersionProprietaryB, nullptr},
    {"type", VersionFromHTML32 | VersionHTML5, nullptr},
    {"usemap", VersionAll | VersionHTML5, check_bool_value},
    {"valign", VersionFromHTML32, check_valign_value},
    {"value", VersionAll | VersionHTML5, nullptr, true},
    {"valuetype", VersionHTML40, nullptr},
    {"version", VersionAll, nullptr},
    {"vlink", VersionLoose, nullptr},
    {"vspace", VersionLoose, nullptr},
    {"width", VersionAll | VersionHTML5, nullptr},
    {"wrap", VersionProprietaryA | VersionHTML5, nullptr},
    {"xml:lang", VersionXml, nullptr},
    {"xmlns", VersionAll | VersionHTML5, nullptr},
    // HTML5: the global attributes and those of its new elements and features.
    {"allowfullscreen", VersionHTML5, check_bool_value},
    {"as", VersionHTML5, nullptr},
    {"async", VersionHTML5, check_bool_value},
    {"autocapitalize", VersionHTML5, nullptr},
    {"autocomplete", VersionHTML5, nullptr},
    {"autocorrect", VersionHTML5, nullptr},
    {"autofocus", VersionHTML5, check_bool_value},
    {"autoplay", VersionHTML5, check_bool_value},
    {"blocking", VersionHTML5, nullptr},
    {"command", VersionHTML5, nullptr},
    {"commandfor", VersionHTML5, nullptr},
    {"contenteditable", VersionHTML5, nullptr},
    {"controls", VersionHTML5, check_bool_value},
    {"crossorigin", VersionHTML5, nullptr},
    {"decoding", VersionHTML5, nullptr},
    {"default", VersionHTML5, check_bool_value},
    {"dirname", VersionHTML5, nullptr},
    {"draggable", VersionHTML5, nullptr},
    {"enterkeyhint", VersionHTML5, nullptr},
    {"fetchpriority", VersionHTML5, nullptr},
    {"form", VersionHTML5, nullptr},
    {"formaction", VersionHTML5, check_url_value},
    {"formenctype", VersionHTML5, nullptr},
    {"formmethod", VersionHTML5, nullptr},
    {"formnovalidate", VersionHTML5, check_bool_value},
    {"formtarget", VersionHTML5, nullptr},
    {"hidden", VersionHTML5, check_bool_value},
    {"high", VersionHTML5, nullptr},
    {"imagesizes", VersionHTML5, nullptr},
    {"imagesrcset", VersionHTML5, nullptr},
    {"inert", VersionHTML5, check_bool_value},
    {"inputmode", VersionHTML5, nullptr},
    {"integrity", VersionHTML5, nullptr},
    {"is", VersionHTML5, nullptr},
    {"itemid", VersionHTML5, check_url_value},
    {"itemprop", VersionHTML5, nullptr},
    {"itemref", VersionHTML5, nullptr},
    {"itemscope", VersionHTML5, check_bool_value},
    {"itemtype", VersionHTML5, check_url_value},
    {"kind", VersionHTML5, nullptr},
    {"list", VersionHTML5, nullptr},
    {"loading", VersionHTML5, nullptr},
    {"loop", VersionHTML5, check_bool_value},
    {"low", VersionHTML5, nullptr},
    {"manifest", VersionHTML5, check_url_value},
    {"max", VersionHTML5, nullptr},
    {"min", VersionHTML5, nullptr},
    {"minlength", VersionHTML5, nullptr},
    {"muted", VersionHTML5, check_bool_value},
    {"nomodule", VersionHTML5, check_bool_value},
    {"nonce", VersionHTML5, nullptr},
    {"novalidate", VersionHTML5, check_bool_value},
    {"open", VersionHTML5, check_bool_value},
    {"optimum", VersionHTML5, nullptr},
    {"pattern", VersionHTML5, nullptr},
    {"ping", VersionHTML5, check_url_value},
    {"placeholder", VersionHTML5, nullptr},
    {"playsinline", VersionHTML5, check_bool_value},
    {"popover", VersionHTML5, nullptr},
    {"popovertarget", VersionHTML5, nullptr},
    {"popovertargetaction", VersionHTML5, nullptr},
    {"poster", VersionHTML5, check_url_value},
    {"preload", VersionHTML5, nullptr},
    {"referrerpolicy", VersionHTML5, nullptr},
    {"required", VersionHTML5, check_bool_value},
    {"reversed", VersionHTML5, check_bool_value},
    {"role", VersionHTML5, nullptr},
    {"sandbox", VersionHTML5, nullptr},
    {"shadowrootclonable", VersionHTML5, check_bool_value},
    {"shadowrootdelegatesfocus", VersionHTML5, check_bool_value},
    {"shadowrootmode", VersionHTML5, nullptr},
    {"shadowrootserializable", VersionHTML5, check_bool_value},
    {"sizes", VersionHTML5, nullptr},
    {"slot", VersionHTML5, nullptr},
    {"spellcheck", VersionHTML5, nullptr},
    {"srcdoc", VersionHTML5, nullptr},
    {"srclang", VersionHTML5, nullptr},
    {"srcset", VersionHTML5, nullptr},
    {"step", VersionHTML5, nullptr},
    {"translate", VersionHTML5, nullptr},
    {"writingsuggestions", VersionHTML5, nullptr},
    {"allow", VersionHTML5, nullptr},
};

// The 151 rows of the HTML 4.01 era and those HTML5 adds.
static_assert(sizeof(builtin_attrs) / sizeof(builtin_attrs[0]) == 233);

// The row of a built-in name (found at compile time for the handles).
constexpr size_t builtin_index(std::string_view name) {
    for (size_t i = 0; i < sizeof(builtin_attrs) / sizeof(builtin_attrs[0]); ++i) {
        if (builtin_attrs[i].name == name) return i;
    }
    throw "not a built-in attribute"; // never reached for the handles below
}

constexpr const AttrDef* builtin(std::string_view name) {
    return &builtin_attrs[builtin_index(name)];
}

// Entries for the attribute families HTML5 names by prefix: data-* (the
// page's own data), aria-* (accessibility) and on* (event handlers).
constexpr AttrDef prefixed_entries[] = {
    {"data-*", VersionHTML5, nullptr},
    {"aria-*", VersionHTML5, nullptr},
    {"on*", VersionHTML5, check_script_value},
};

// The built-in table by name, made by the compiler.
constexpr auto attr_name = [](const AttrDef& attr) { return attr.name; };
using BuiltinAttrIndex = FixedNameIndex<AttrDef, std::size(builtin_attrs), decltype(attr_name)>;
constexpr BuiltinAttrIndex builtin_attr_index(builtin_attrs, std::size(builtin_attrs), attr_name,
                                              BuiltinAttrIndex::Repeats::FirstWins);

const AttrDef* find_entry(std::string_view name) {
    return builtin_attr_index.find(name);
}

// Entries for ASP and PHP blocks standing among the attributes are not
// attributes: name comparisons skip them.
bool is_server_entry(const NodeAttribute* a) {
    return a->has_block;
}

// Number of attributes after `attribute` whose names equal its name,
// ignoring ASCII case.
int count_later_duplicates(const NodeAttribute* attribute) {
    int count = 0;
    for (const NodeAttribute* b = attribute->next; b != nullptr; b = b->next) {
        if (is_server_entry(b)) continue;
        if (equals_ignore_case(b->name().c_str(), attribute->name().c_str())) ++count;
    }
    return count;
}

// A node's attributes in list order, each flagged when its name occurs
// again later in the list (ASCII case ignored). Tags have a handful of
// attributes: up to Few are kept in place and compared pairwise; more go to
// the heap and one hash pass from the end keeps the flagging linear even for
// a tag with a very large number of attributes.
class AttributeList {
  public:
    explicit AttributeList(const Node* node) {
        for (NodeAttribute* a = node->attributes(); a != nullptr; a = a->next)
            list_.push_back(a);
        repeated_.assign(list_.size(), 0);
        if (list_.size() <= Few) {
            flag_pairwise();
        } else {
            flag_by_hash();
        }
    }

    size_t size() const { return list_.size(); }
    NodeAttribute* operator[](size_t i) const { return list_[i]; }
    bool repeated(size_t i) const { return repeated_[i] != 0; }

  private:
    static constexpr size_t Few = 16;

    void flag_pairwise() {
        for (size_t i = 0; i < list_.size(); ++i) {
            if (is_server_entry(list_[i])) continue;
            for (size_t j = i + 1; j < list_.size() && repeated_[i] == 0; ++j) {
                if (!is_server_entry(list_[j]) &&
                    same_ignoring_case(list_[i]->name(), list_[j]->name()))
                    repeated_[i] = 1;
            }
        }
    }

    void flag_by_hash() {
        std::unordered_set<std::string> seen;
        for (size_t i = list_.size(); i-- > 0;) {
            if (is_server_entry(list_[i])) continue;
            repeated_[i] = seen.insert(lower_ascii(list_[i]->name())).second ? 0 : 1;
        }
    }

    ShortList<NodeAttribute*, Few> list_;
    ShortList<char, Few> repeated_; // 1: the name occurs again later
};

const AttrDef* check_one_attribute(DocumentState* doc, Node* node, NodeAttribute* attribute,
                                   bool repeated);

// check_attribute on every attribute in order, then `found(def)` for each
// AttrDef found, in the same order (null for unknown attributes).
template <typename F> void check_each_attribute(DocumentState* doc, Node* node, F found) {
    // Most elements have one attribute or none, which cannot repeat.
    NodeAttribute* const first = node->attributes();
    if (first == nullptr) return;
    if (first->next == nullptr) {
        found(check_one_attribute(doc, node, first, false));
        return;
    }
    const AttributeList list(node);
    ShortList<const AttrDef*, 16> defs;
    for (size_t i = 0; i < list.size(); ++i)
        defs.push_back(check_one_attribute(doc, node, list[i], list.repeated(i)));
    for (size_t i = 0; i < list.size(); ++i)
        found(defs[i]);
}

void check_each_attribute(DocumentState* doc, Node* node) {
    check_each_attribute(doc, node, [](const AttrDef*) {});
}

// The vertical alignments only proprietary browsers know.
bool is_proprietary_alignment(const char* value) {
    for (const char* proprietary : {"texttop", "absmiddle", "absbottom", "textbottom"}) {
        if (equals_ignore_case(value, proprietary)) return true;
    }
    return false;
}

bool has_model(const Node* node, ContentModelBits model) {
    return node->tag() != nullptr && (node->tag()->model & model) != 0;
}

const char* value_text(const NodeAttribute* attribute) {
    return attribute->value ? attribute->value.c_str() : nullptr;
}

} // namespace

constinit const AttrDef
    *const attr_href = builtin("href"),
           *const attr_src = builtin("src"), *const attr_id = builtin("id"),
           *const attr_name = builtin("name"), *const attr_summary = builtin("summary"),
           *const attr_alt = builtin("alt"), *const attr_longdesc = builtin("longdesc"),
           *const attr_usemap = builtin("usemap"), *const attr_ismap = builtin("ismap"),
           *const attr_language = builtin("language"), *const attr_type = builtin("type"),
           *const attr_title = builtin("title"), *const attr_xmlns = builtin("xmlns"),
           *const attr_datafld = builtin("datafld"), *const attr_value = builtin("value"),
           *const attr_content = builtin("content"), *const attr_width = builtin("width"),
           *const attr_height = builtin("height");

const AttrDef* attr_entry_anchor() {
    return builtin_attrs;
}

const AttrDef* lookup_attr_def(const char* name) {
    if (name == nullptr) return nullptr;
    return lookup_attr_def(std::string_view(name));
}

const AttrDef* lookup_attr_def(std::string_view n) {
    if (const AttrDef* d = find_entry(n)) return d;
    // data-x, aria-x and onx with at least one letter after the prefix.
    for (const AttrDef& family : prefixed_entries) {
        const std::string_view prefix = family.name.substr(0, family.name.size() - 1);
        if (n.size() > prefix.size() && n.starts_with(prefix) &&
            is_letter(static_cast<unsigned char>(n[prefix.size()]))) {
            return &family;
        }
    }
    return nullptr;
}

const AttrDef* find_attr_def(const NodeAttribute* attribute) {
    if (attribute == nullptr || attribute->name().empty()) return nullptr;
    return lookup_attr_def(attribute->name().view());
}

void name_attribute(NodeAttribute* attribute, std::string_view name) {
    attribute->entry_and_name.set(name.empty() ? nullptr : lookup_attr_def(name), name);
}

NodeAttribute* get_attribute(const Node* node, const char* name) {
    if (node == nullptr || name == nullptr) return nullptr;
    for (NodeAttribute* a = node->attributes(); a != nullptr; a = a->next) {
        if (!is_server_entry(a) && a->name() == name) return a;
    }
    return nullptr;
}

void add_attribute(Node* node, const char* name, const char* value) {
    NodeAttribute* a = new_attribute();
    a->delimiter = '"';
    name_attribute(a, name);
    if (value != nullptr) a->value = value;
    PackedPtr<NodeAttribute>* link = &node->attribute_link();
    while (*link != nullptr)
        link = &(*link)->next;
    *link = a;
}

bool is_url_attribute(const char* name) {
    const AttrDef* d = lookup_attr_def(name);
    return d != nullptr && d->checker == check_url_value;
}

bool is_script_attribute(const char* name) {
    const AttrDef* d = lookup_attr_def(name);
    return d != nullptr && d->checker == check_script_value;
}

bool is_boolean_attribute(const NodeAttribute* attribute) {
    const AttrDef* d = find_attr_def(attribute);
    return d != nullptr && d->checker == check_bool_value;
}

// Reports each attribute that occurs again later in the list; two
// occurrences give one report, three give two.
void check_repeated_attributes(DocumentState* doc, Node* node) {
    if (node->attributes() == nullptr || node->attributes()->next == nullptr) return;
    const AttributeList list(node);
    for (size_t i = 0; i < list.size(); ++i) {
        if (list.repeated(i)) {
            report_attribute_warning(doc, node, list[i]->name().c_str(), RepeatedAttribute);
        }
    }
}

const AttrDef* check_attribute(DocumentState* doc, Node* node, NodeAttribute* attribute) {
    bool repeated = !is_server_entry(attribute) && count_later_duplicates(attribute) > 0;
    return check_one_attribute(doc, node, attribute, repeated);
}

namespace {

// check_attribute with the repeat already determined by the caller.
const AttrDef* check_one_attribute(DocumentState* doc, Node* node, NodeAttribute* attribute,
                                   bool repeated) {
    if (repeated) {
        report_attribute_warning(doc, node, attribute->name().c_str(), RepeatedAttribute);
    }

    const AttrDef* def = attribute->attr_def();
    if (def == nullptr) {
        // Unknown attributes of unknown or proprietary elements pass silently,
        // and so do server blocks (ASP or PHP) written among the attributes:
        // they have no name to report.
        if (!doc->options.input_xml && node->tag() != nullptr && !attribute->has_block &&
            (node->tag()->versions & VersionProprietary) == 0) {
            report_attribute_warning(doc, node, attribute->name().c_str(), UnknownAttribute);
        }
        return nullptr;
    }

    if ((def->versions & VersionXml) != 0) {
        if (!doc->options.output_xml && !doc->options.input_xml) {
            report_attribute_warning(doc, node, attribute->name().c_str(), XmlAttribute);
        }
    } else {
        doc->possible_versions &= def->versions;
    }

    if (def->checker != nullptr) def->checker(doc, node, attribute);
    return def;
}

} // namespace

void check_generic_attributes(DocumentState* doc, Node* node) {
    check_each_attribute(doc, node);
}

// Value checks.

void check_url_value(DocumentState* doc, Node* node, NodeAttribute* attribute) {
    if (!attribute->value) {
        report_attribute_warning(doc, node, attribute->name().c_str(), LacksValue);
        return;
    }
    if (doc->options.fix_backslash && attribute->value->find('\\') != std::string_view::npos) {
        std::string fixed(*attribute->value);
        for (char& c : fixed) {
            if (c == '\\') c = '/';
        }
        attribute->value = fixed;
    }
}

void check_script_value(DocumentState*, Node*, NodeAttribute*) {}
void check_bool_value(DocumentState*, Node*, NodeAttribute*) {}
void check_name_value(DocumentState*, Node*, NodeAttribute*) {}
void check_id_value(DocumentState*, Node*, NodeAttribute*) {}

void check_align_value(DocumentState* doc, Node* node, NodeAttribute* attribute) {
    // Images take the vertical alignment values as well.
    if (has_model(node, ModelImage)) {
        check_valign_value(doc, node, attribute);
        return;
    }
    const char* value = value_text(attribute);
    if (value == nullptr) {
        report_attribute_warning(doc, node, attribute->name().c_str(), LacksValue);
        return;
    }
    for (const char* accepted : {"left", "center", "right", "justify"}) {
        if (equals_ignore_case(value, accepted)) return;
    }
    report_attribute_warning(doc, node, value, UnknownValue);
}

void check_valign_value(DocumentState* doc, Node* node, NodeAttribute* attribute) {
    const char* value = value_text(attribute);
    if (value == nullptr) {
        report_attribute_warning(doc, node, attribute->name().c_str(), LacksValue);
        return;
    }
    for (const char* accepted : {"top", "middle", "bottom", "baseline"}) {
        if (equals_ignore_case(value, accepted)) return;
    }
    if (equals_ignore_case(value, "left") || equals_ignore_case(value, "right")) {
        if (has_model(node, ModelImage)) return;
        report_attribute_warning(doc, node, value, UnknownValue);
        return;
    }
    if (is_proprietary_alignment(value)) {
        doc->possible_versions &= VersionProprietary;
        report_attribute_warning(doc, node, value, ProprietaryValue);
        return;
    }
    report_attribute_warning(doc, node, value, UnknownValue);
}

bool is_proprietary_value(const Node* node, const NodeAttribute* attribute) {
    if (attribute->name() != "valign" &&
        (attribute->name() != "align" || !has_model(node, ModelImage)))
        return false;
    const char* value = value_text(attribute);
    return value != nullptr && is_proprietary_alignment(value);
}

// Element checks.

void check_hr(DocumentState* doc, Node* node) {
    if (get_attribute(node, "src") != nullptr) {
        report_attribute_warning(doc, node, "src", ProprietaryValue);
    }
}

void check_img(DocumentState* doc, Node* node) {
    check_repeated_attributes(doc, node);
    bool has_alt = false, has_src = false, has_datafld = false, has_usemap = false,
         has_ismap = false;
    check_each_attribute(doc, node, [&](const AttrDef* def) {
        if (def == nullptr) return;
        if (def == attr_alt)
            has_alt = true;
        else if (def == attr_src)
            has_src = true;
        else if (def == attr_datafld)
            has_datafld = true;
        else if (def == attr_usemap)
            has_usemap = true;
        else if (def == attr_ismap)
            has_ismap = true;
        else if (def == attr_width || def == attr_height)
            doc->possible_versions &= ~VersionHTML20;
    });
    if (!has_alt) {
        doc->access_flags |= MissingImageAlt;
        report_attribute_warning(doc, node, "alt", LacksAttribute);
        if (doc->options.alt_text) add_attribute(node, "alt", doc->options.alt_text->c_str());
    }
    if (!has_src && !has_datafld) report_attribute_warning(doc, node, "src", LacksAttribute);
    if (has_ismap && !has_usemap) report_attribute_warning(doc, node, "ismap", ServerSideMap);
}

void check_anchor(DocumentState* doc, Node* node) {
    check_repeated_attributes(doc, node);
    reconcile_id_name(doc, node);
}

void check_map(DocumentState* doc, Node* node) {
    check_repeated_attributes(doc, node);
    reconcile_id_name(doc, node);
}

void check_table_cell(DocumentState* doc, Node* node) {
    check_repeated_attributes(doc, node);
    if (get_attribute(node, "width") != nullptr || get_attribute(node, "height") != nullptr) {
        doc->possible_versions &= ~VersionHTML40Strict;
    }
}

void check_caption(DocumentState* doc, Node* node) {
    check_repeated_attributes(doc, node);
    for (NodeAttribute* a = node->attributes(); a != nullptr; a = a->next) {
        if (is_server_entry(a) || !equals_ignore_case(a->name().c_str(), "align")) continue;
        const char* value = value_text(a);
        if (value == nullptr) return;
        if (equals_ignore_case(value, "left") || equals_ignore_case(value, "right")) {
            doc->possible_versions &= VersionLooseFrames;
        } else if (equals_ignore_case(value, "top") || equals_ignore_case(value, "bottom")) {
            doc->possible_versions &= VersionFromHTML32;
        } else {
            report_attribute_warning(doc, node, value, UnknownValue);
        }
        return;
    }
}

void check_html(DocumentState* doc, Node* node) {
    check_repeated_attributes(doc, node);
    check_each_attribute(doc, node, [&](const AttrDef* def) {
        if (def != nullptr && def == attr_xmlns) {
            doc->is_xhtml = true;
        }
    });
}

void check_area(DocumentState* doc, Node* node) {
    check_repeated_attributes(doc, node);
    bool has_alt = false, has_href = false;
    check_each_attribute(doc, node, [&](const AttrDef* def) {
        if (def == nullptr) return;
        if (def == attr_alt)
            has_alt = true;
        else if (def == attr_href)
            has_href = true;
    });
    if (!has_alt) {
        doc->access_flags |= MissingLinkAlt;
        report_attribute_warning(doc, node, "alt", LacksAttribute);
    }
    if (!has_href) report_attribute_warning(doc, node, "href", LacksAttribute);
}

void check_table(DocumentState* doc, Node* node) {
    check_repeated_attributes(doc, node);
    bool has_summary = false;
    check_each_attribute(doc, node, [&](const AttrDef* def) {
        if (def != nullptr && def == attr_summary) has_summary = true;
    });
    // HTML 2.0 and 3.2 have no summary attribute to ask for, and HTML5 has
    // none any more.
    if (!has_summary && doc->given_version != VersionHTML20 &&
        doc->given_version != VersionHTML32 && doc->given_version != VersionHTML5) {
        doc->access_flags |= MissingSummary;
        report_attribute_warning(doc, node, "summary", LacksAttribute);
    }
    if (doc->options.output_xml) {
        NodeAttribute* border = get_attribute(node, "border");
        if (border != nullptr && !border->value) border->value = "1";
    }
}

void check_script(DocumentState* doc, Node* node) {
    check_repeated_attributes(doc, node);
    if (get_attribute(node, "type") != nullptr) return;
    // In HTML5 a script without a type is JavaScript.
    if (doc->given_version == VersionHTML5) return;
    report_attribute_warning(doc, node, "type", LacksAttribute);
    NodeAttribute* language = get_attribute(node, "language");
    if (language == nullptr) {
        add_attribute(node, "type", "text/javascript");
        return;
    }
    const char* value = value_text(language);
    if (value == nullptr) return;
    if (starts_with_ignore_case(value, "javascript") || starts_with_ignore_case(value, "jscript")) {
        add_attribute(node, "type", "text/javascript");
    }
}

void check_style(DocumentState* doc, Node* node) {
    check_repeated_attributes(doc, node);
    if (get_attribute(node, "type") != nullptr) return;
    // In HTML5 style sheets are CSS unless they say otherwise.
    if (doc->given_version == VersionHTML5) return;
    report_attribute_warning(doc, node, "type", LacksAttribute);
    add_attribute(node, "type", "text/css");
}

void check_link(DocumentState* doc, Node* node) {
    check_repeated_attributes(doc, node);
    NodeAttribute* rel = get_attribute(node, "rel");
    if (rel == nullptr || !rel->value || *rel->value != "stylesheet") return;
    if (get_attribute(node, "type") != nullptr) return;
    if (doc->given_version == VersionHTML5) return;
    report_attribute_warning(doc, node, "type", LacksAttribute);
    add_attribute(node, "type", "text/css");
}

// The lexer has reported repeated attributes already; nothing else is
// checked on these elements.
void check_foreign_root(DocumentState*, Node*) {}

bool is_identifier(std::string_view value) {
    if (value.empty() || !is_letter(static_cast<unsigned char>(value[0]))) return false;
    for (const char c : value) {
        if (!is_name_char(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

void reconcile_id_name(DocumentState* doc, Node* element) {
    NodeAttribute* name = get_attribute(element, "name");
    if (name == nullptr) return;
    NodeAttribute* id = get_attribute(element, "id");
    if (id != nullptr) {
        // Two absent values agree; an absent value differs from any text.
        if (id->value != name->value) {
            report_attribute_warning(doc, element, "name", IdNameMismatch);
        }
        return;
    }
    // The copy must be a valid identifier (a letter, then letters, digits,
    // "-", "_", ":" and "."): a name such as "foo bar" or "1x" stays a
    // name only.
    if (!doc->options.output_xml || !name->value || !is_identifier(*name->value)) return;
    NodeAttribute* added = new_attribute();
    name_attribute(added, "id");
    added->value = name->value;
    added->delimiter = '"';
    PackedPtr<NodeAttribute>* link = &element->attribute_link();
    while (*link != nullptr)
        link = &(*link)->next;
    *link = added;
}

} // namespace varnel
