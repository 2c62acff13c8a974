// The attribute tables of HTML5, made into hash sets of global attributes
// and of (element, attribute) pairs when the program is compiled.
#include "input/html5_vocabulary.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/name_index.h"
#include "base/util.h"
#include "input/lexer.h"

namespace varnel {

namespace {

// Attributes every HTML element takes.
constexpr const char* global_attributes =
    "accesskey autocapitalize autocorrect autofocus class contenteditable dir draggable "
    "enterkeyhint hidden id inert inputmode is itemid itemprop itemref itemscope itemtype lang "
    "nonce popover role slot spellcheck style tabindex title translate writingsuggestions";

struct ElementAttributes {
    const char* element;
    const char* attributes; // separated by spaces
};

// Each element's own attributes, as HTML5 defines them (obsolete ones left
// out).
constexpr ElementAttributes element_attributes[] = {
    {"html", "manifest"},
    {"base", "href target"},
    {"link", "as blocking color crossorigin disabled fetchpriority href hreflang imagesizes "
             "imagesrcset integrity media referrerpolicy rel sizes type"},
    {"meta", "charset content http-equiv media name"},
    {"style", "blocking media type"},
    {"script", "async blocking crossorigin defer fetchpriority integrity nomodule "
               "referrerpolicy src type"},
    {"template",
     "shadowrootclonable shadowrootdelegatesfocus shadowrootmode shadowrootserializable"},
    {"slot", "name"},
    {"blockquote", "cite"},
    {"q", "cite"},
    {"ins", "cite datetime"},
    {"del", "cite datetime"},
    {"ol", "reversed start type"},
    {"li", "value"},
    {"a", "download href hreflang ping referrerpolicy rel target type"},
    {"area", "alt coords download href ping referrerpolicy rel shape target"},
    {"data", "value"},
    {"time", "datetime"},
    {"img", "alt crossorigin decoding fetchpriority height ismap loading referrerpolicy sizes "
            "src srcset usemap width"},
    {"source", "height media sizes src srcset type width"},
    {"iframe", "allow allowfullscreen height loading name referrerpolicy sandbox src srcdoc "
               "width"},
    {"embed", "height src type width"},
    {"object", "data form height name type width"},
    {"video", "autoplay controls crossorigin height loop muted playsinline poster preload src "
              "width"},
    {"audio", "autoplay controls crossorigin loop muted preload src"},
    {"track", "default kind label src srclang"},
    {"map", "name"},
    {"canvas", "height width"},
    {"colgroup", "span"},
    {"col", "span"},
    {"td", "colspan headers rowspan"},
    {"th", "abbr colspan headers rowspan scope"},
    {"table", "border"},
    {"form", "accept-charset action autocomplete enctype method name novalidate rel target"},
    {"label", "for"},
    {"input", "accept alt autocomplete checked dirname disabled form formaction formenctype "
              "formmethod formnovalidate formtarget height list max maxlength min minlength "
              "multiple name pattern placeholder popovertarget popovertargetaction readonly "
              "required size src step type value width"},
    {"button", "command commandfor disabled form formaction formenctype formmethod "
               "formnovalidate formtarget name popovertarget popovertargetaction type value"},
    {"select", "autocomplete disabled form multiple name required size"},
    {"optgroup", "disabled label"},
    {"option", "disabled label selected value"},
    {"textarea", "autocomplete cols dirname disabled form maxlength minlength name placeholder "
                 "readonly required rows wrap"},
    {"output", "for form name"},
    {"progress", "max value"},
    {"meter", "high low max min optimum value"},
    {"fieldset", "disabled form name"},
    {"details", "name open"},
    {"dialog", "open"},
};

constexpr size_t word_count(std::string_view list) {
    size_t count = 0;
    for_each_word(list, [&](std::string_view) { ++count; });
    return count;
}

constexpr size_t pair_count() {
    size_t count = 0;
    for (const ElementAttributes& row : element_attributes)
        count += word_count(row.attributes);
    return count;
}

// The global attributes (as pairs with an empty element name) and every
// element's own attributes, as an open addressing hash table filled when
// the program is compiled. A slot names its pair by where its names lie in
// the lists above: the row of element_attributes plus one (or GlobalRow,
// for global_attributes), and the attribute's place in that row's list.
// So the table holds no pointers, and lies among the constants (six bytes
// a slot) rather than among the data the program relocates at start-up.
using NamePair = std::pair<std::string_view, std::string_view>;

constexpr uint64_t hash_of(const NamePair& key) {
    return fnv1a(key.second, fnv1a(" ", fnv1a(key.first))); // with a separator
}

constexpr size_t GlobalRow = std::size(element_attributes) + 1;

constexpr std::string_view row_element(size_t row) {
    return row == GlobalRow ? std::string_view()
                            : std::string_view(element_attributes[row - 1].element);
}
constexpr std::string_view row_list(size_t row) {
    return row == GlobalRow ? std::string_view(global_attributes)
                            : std::string_view(element_attributes[row - 1].attributes);
}

struct PairSlot {
    uint16_t row = 0; // 0: a free slot
    uint16_t at = 0;
    uint16_t length = 0;
};

template <size_t Size> struct PairSet {
    static_assert((Size & (Size - 1)) == 0, "a power of two");
    std::array<PairSlot, Size> slots{};

    static constexpr NamePair key_of(const PairSlot& slot) {
        return {row_element(slot.row), row_list(slot.row).substr(slot.at, slot.length)};
    }
    // Adds the attribute `word`, a part of row `row`'s list.
    constexpr void add(size_t row, std::string_view word) {
        const NamePair key{row_element(row), word};
        size_t at = hash_of(key) & (Size - 1);
        while (slots[at].row != 0 && key_of(slots[at]) != key)
            at = (at + 1) & (Size - 1);
        slots[at] = PairSlot{static_cast<uint16_t>(row),
                             static_cast<uint16_t>(word.data() - row_list(row).data()),
                             static_cast<uint16_t>(word.size())};
    }
    constexpr bool contains(const NamePair& key) const {
        for (size_t at = hash_of(key) & (Size - 1); slots[at].row != 0;
             at = (at + 1) & (Size - 1)) {
            if (key_of(slots[at]) == key) return true;
        }
        return false;
    }
};

// At most five eighths full.
constexpr auto pair_set = [] {
    static_assert(pair_count() + word_count(global_attributes) <= 640);
    PairSet<1024> set;
    for (size_t row = 1; row <= GlobalRow; ++row)
        for_each_word(row_list(row), [&](std::string_view word) { set.add(row, word); });
    return set;
}();

bool has_prefix_and_more(std::string_view name, std::string_view prefix) {
    return name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix;
}

constexpr const char* svg_element_names =
    "altGlyph altGlyphDef altGlyphItem animateColor animateMotion animateTransform "
    "clipPath feBlend feColorMatrix feComponentTransfer feComposite feConvolveMatrix "
    "feDiffuseLighting feDisplacementMap feDistantLight feDropShadow feFlood feFuncA "
    "feFuncB feFuncG feFuncR feGaussianBlur feImage feMerge feMergeNode feMorphology "
    "feOffset fePointLight feSpecularLighting feSpotLight feTile feTurbulence "
    "foreignObject glyphRef linearGradient radialGradient textPath";

constexpr const char* svg_attribute_names =
    "attributeName attributeType baseFrequency baseProfile calcMode clipPathUnits "
    "diffuseConstant edgeMode filterUnits glyphRef gradientTransform gradientUnits "
    "kernelMatrix kernelUnitLength keyPoints keySplines keyTimes lengthAdjust "
    "limitingConeAngle markerHeight markerUnits markerWidth maskContentUnits "
    "maskUnits numOctaves pathLength patternContentUnits patternTransform "
    "patternUnits pointsAtX pointsAtY pointsAtZ preserveAlpha preserveAspectRatio "
    "primitiveUnits refX refY repeatCount repeatDur requiredExtensions "
    "requiredFeatures specularConstant specularExponent spreadMethod startOffset "
    "stdDeviation stitchTiles surfaceScale systemLanguage tableValues targetX "
    "targetY textLength viewBox viewTarget xChannelSelector yChannelSelector "
    "zoomAndPan";

// In byte order, for the binary search.
constexpr std::string_view breakout_names[] = {
    "b",      "big",  "blockquote", "body",  "br",   "center", "code",    "dd",   "div",
    "dl",     "dt",   "em",         "embed", "h1",   "h2",     "h3",      "h4",   "h5",
    "h6",     "head", "hr",         "i",     "img",  "li",     "listing", "menu", "meta",
    "nobr",   "ol",   "p",          "pre",   "ruby", "s",      "small",   "span", "strike",
    "strong", "sub",  "sup",        "table", "tt",   "u",      "ul",      "var"};
static_assert(std::ranges::is_sorted(breakout_names));

// The words of a space-separated list of mixed-case names, found by their
// lower-case form.
class MixedCaseNames {
  public:
    explicit MixedCaseNames(std::string_view names) {
        for_each_word(names, [&](std::string_view n) { rows_.push_back({lower_ascii(n), n}); });
        index_ = std::make_unique<NameIndex<Row>>(
            rows_.data(), rows_.size(), [](const Row& r) { return std::string_view(r.lower); },
            NameIndex<Row>::Repeats::LastWins);
    }
    MixedCaseNames(const MixedCaseNames&) = delete;
    MixedCaseNames& operator=(const MixedCaseNames&) = delete;

    // The name whose lower-case form is `lower`, or `lower`.
    std::string_view with_case(std::string_view lower) const {
        const Row* row = index_->find(lower);
        return row != nullptr ? row->name : lower;
    }

  private:
    struct Row {
        std::string lower;
        std::string_view name;
    };
    std::vector<Row> rows_;
    std::unique_ptr<NameIndex<Row>> index_;
};

} // namespace

std::string_view svg_element_name(std::string_view lower) {
    static const MixedCaseNames names(svg_element_names);
    return names.with_case(lower);
}

std::string_view svg_attribute_name(std::string_view lower) {
    static const MixedCaseNames names(svg_attribute_names);
    return names.with_case(lower);
}

std::string_view mathml_attribute_name(std::string_view lower) {
    return lower == "definitionurl" ? std::string_view("definitionURL") : lower;
}

bool breaks_out_of_foreign(std::string_view lower, bool font_with_presentation) {
    if (lower == "font") return font_with_presentation;
    return std::ranges::binary_search(breakout_names, lower);
}

bool html5_allows_attribute(std::string_view element, std::string_view attribute) {
    if (has_prefix_and_more(attribute, "data-") || has_prefix_and_more(attribute, "aria-")) {
        return true;
    }
    // Event handler content attributes: "on" and the event's name.
    if (has_prefix_and_more(attribute, "on")) return true;
    return pair_set.contains({std::string_view(), attribute}) ||
           pair_set.contains({element, attribute});
}

bool is_html5_only_value(std::string_view element, std::string_view attribute,
                         std::string_view value) {
    if (element == "input" && attribute == "type") {
        for (const char* type : {"search", "tel", "url", "email", "date", "month", "week", "time",
                                 "datetime-local", "number", "range", "color"}) {
            if (value.size() == std::string_view(type).size() &&
                starts_with_ignore_case(std::string(value).c_str(), type)) {
                return true;
            }
        }
        return false;
    }
    if (element == "script" && attribute == "type") {
        return value.size() == 6 && starts_with_ignore_case(std::string(value).c_str(), "module");
    }
    return false;
}

} // namespace varnel
