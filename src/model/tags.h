// The tag dictionary: for every known element name, the HTML versions that
// allow it, its content model, the builder that parses its content and the
// routine that checks its attributes. The built-in entries form a constant
// table shared by every document and every thread; the elements a
// configuration declares (new-*-tags) belong to the run, and each document
// gets a TagTable that adds them to the built-in ones. Other modules
// compare tags against the well-known handles (tag_html, tag_br, ...).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace varnel {

struct Node;
struct DocumentState;
struct TagDeclaration;

using VersionBits = uint32_t;
constexpr VersionBits VersionHTML20 = 0x1;
constexpr VersionBits VersionHTML32 = 0x2;
constexpr VersionBits VersionHTML40Strict = 0x4;
constexpr VersionBits VersionHTML40Loose = 0x8;
constexpr VersionBits VersionFrames = 0x10;
constexpr VersionBits VersionXml = 0x20;
constexpr VersionBits VersionProprietaryA = 0x40;
constexpr VersionBits VersionProprietaryB = 0x80;
constexpr VersionBits VersionProprietaryC = 0x100;
// HTML5 (the living standard): a version of its own beside the five of the
// doctype table; its elements and attributes carry this bit.
constexpr VersionBits VersionHTML5 = 0x200;
constexpr VersionBits VersionAll = 0x1F;
constexpr VersionBits VersionFromHTML32 = 0x1E;
constexpr VersionBits VersionHTML40 = 0x1C;
constexpr VersionBits VersionLoose = 0x1A;
constexpr VersionBits VersionProprietary = 0x1C0;
// Elements and attributes that every version from HTML 2.0 on has and that
// HTML5 keeps, and the same for 3.2 on and for 4.01 on.
constexpr VersionBits VersionAllHTML5 = VersionAll | VersionHTML5;
constexpr VersionBits VersionFromHTML32HTML5 = VersionFromHTML32 | VersionHTML5;
constexpr VersionBits VersionHTML40HTML5 = VersionHTML40 | VersionHTML5;

using ContentModelBits = uint32_t;
constexpr ContentModelBits ModelEmpty = 0x1;
constexpr ContentModelBits ModelHtml = 0x2;
constexpr ContentModelBits ModelHead = 0x4;
constexpr ContentModelBits ModelBlock = 0x8;
constexpr ContentModelBits ModelInline = 0x10;
constexpr ContentModelBits ModelList = 0x20;
constexpr ContentModelBits ModelDefList = 0x40;
constexpr ContentModelBits ModelTable = 0x80;
constexpr ContentModelBits ModelRowGroup = 0x100;
constexpr ContentModelBits ModelRow = 0x200;
constexpr ContentModelBits ModelField = 0x400;
constexpr ContentModelBits ModelObject = 0x800;
constexpr ContentModelBits ModelPlugin = 0x1000;
constexpr ContentModelBits ModelFrames = 0x2000;
constexpr ContentModelBits ModelHeading = 0x4000;
constexpr ContentModelBits ModelOptionalEnd = 0x8000;
constexpr ContentModelBits ModelImage = 0x10000;
constexpr ContentModelBits ModelMixed = 0x20000;
constexpr ContentModelBits ModelNoIndent = 0x40000;
constexpr ContentModelBits ModelObsolete = 0x80000;
constexpr ContentModelBits ModelUserDefined = 0x100000;
constexpr ContentModelBits ModelOptionalStart = 0x200000;
// svg, math and the elements inside them (is_foreign in node.h). Kept
// by an element a run declares under one of these names.
constexpr ContentModelBits ModelForeign = 0x400000;

// How the lexer treats white space in text, chosen by the builder that asks
// for the next token.
enum WhitespaceMode : int { TrimSpace = 0, CollapseSpace = 1, KeepSpace = 2, RawText = 3 };

// The builder that parses an element's content (tree/builders.h holds
// them; the tree layer maps each kind to its routine).
enum BuilderKind : uint8_t {
    BuilderNone = 0,
    BuilderHtml,
    BuilderHead,
    BuilderTitle,
    BuilderScript,
    BuilderBody,
    BuilderFrameset,
    BuilderNoframes,
    BuilderBlock,
    BuilderInline,
    BuilderList,
    BuilderDeflist,
    BuilderPre,
    BuilderTable,
    BuilderColgroup,
    BuilderRowgroup,
    BuilderRow,
    BuilderSelect,
    BuilderOptgroup,
    BuilderText,
    BuilderForeign,
};

using CheckAttributesFn = void (*)(DocumentState* doc, Node* node);

struct TagDef {
    std::string_view name; // empty only for the XML entry
    VersionBits versions = 0;
    ContentModelBits model = 0;
    BuilderKind builder = BuilderNone;
    CheckAttributesFn check_attributes = nullptr;
    // For an element a run declares under a built-in name: the built-in
    // entry, whose element it still is (see TagPtr).
    const TagDef* base = nullptr;

    // The entry that stands for this element: the built-in one for a
    // declaration that reuses a built-in name.
    constexpr const TagDef* identity() const { return base != nullptr ? base : this; }
};

// A reference to a tag entry. Two references are equal when they stand for
// the same element: an entry a run declares under a built-in name is that
// element (with the values the declaration gave it), as it was when
// declarations changed the shared entry itself.
//
// Entries are compared by address; only once some run has declared an
// element under a built-in name (which no run does unless asked) can two
// different entries stand for one element, and only then is the slower
// comparison through `identity` made. The flag is never cleared: a later
// comparison is then merely slower, never wrong.
extern std::atomic<bool> builtin_names_declared;

class TagPtr {
  public:
    constexpr TagPtr() = default;
    constexpr TagPtr(std::nullptr_t) {}
    constexpr TagPtr(const TagDef* def) : def_(def) {}

    constexpr const TagDef* get() const { return def_; }
    constexpr const TagDef* operator->() const { return def_; }
    constexpr const TagDef& operator*() const { return *def_; }
    constexpr explicit operator bool() const { return def_ != nullptr; }

    friend constexpr bool operator==(TagPtr a, TagPtr b) {
        if (a.def_ == b.def_) return true;
        if (!std::is_constant_evaluated() &&
            !builtin_names_declared.load(std::memory_order_relaxed)) {
            return false;
        }
        return a.def_ != nullptr && b.def_ != nullptr && a.def_->identity() == b.def_->identity();
    }
    friend constexpr bool operator==(TagPtr a, std::nullptr_t) { return a.def_ == nullptr; }

  private:
    const TagDef* def_ = nullptr;
};

// The tags a document knows: the built-in table, and the elements its
// run declared (in the order declared; a later declaration of a name
// changes the values of the earlier one as it changes a built-in entry:
// versions, builder and check replaced, content model added to).
class TagTable {
  public:
    TagTable() = default; // the built-in tags only
    explicit TagTable(const std::vector<TagDeclaration>& declared);
    TagTable(const TagTable&) = delete;
    TagTable& operator=(const TagTable&) = delete;
    TagTable(TagTable&&) = default;
    TagTable& operator=(TagTable&&) = default;

    // Exact, case-sensitive lookup; null when absent.
    TagPtr find(std::string_view name) const;

  private:
    std::vector<std::unique_ptr<TagDef>> entries_;
    std::vector<std::unique_ptr<std::string>> names_;
    std::unordered_map<std::string_view, const TagDef*> declared_;
};

// A built-in entry by name; null when absent.
TagPtr lookup_builtin_tag(std::string_view name);
// True for an entry of the built-in table (which lives as long as the
// program), false for null, the XML entry and declared elements.
bool is_builtin_tag(TagPtr tag);

// Looks up the node's element name in the document's tags (XML input: the
// one XML entry) and sets node->tag(); false when the name is unknown.
bool find_tag(const DocumentState* doc, Node* node);
BuilderKind find_builder(const DocumentState* doc, const Node* node);

// The one entry given to every element of XML input.
extern const TagPtr xml_tag_def;
// The one entry given to every element inside svg or math in HTML input
// (foreign content): its names keep their case and nothing in it is checked
// against the HTML vocabulary.
extern const TagPtr foreign_tag_def;
// True for elements HTML5 made obsolete (font, center, big, tt, frame ...):
// known to earlier versions, not to HTML5.
bool is_obsolete_in_html5(TagPtr tag);

// Well-known handles into the built-in table.
extern const TagPtr tag_html, tag_head, tag_body, tag_frameset, tag_frame, tag_noframes, tag_meta,
    tag_title, tag_base, tag_hr, tag_pre, tag_listing, tag_h1, tag_h2, tag_p, tag_ul, tag_ol,
    tag_dir, tag_li, tag_dl, tag_dt, tag_dd, tag_td, tag_th, tag_tr, tag_col, tag_br, tag_a,
    tag_link, tag_b, tag_i, tag_strong, tag_em, tag_big, tag_small, tag_param, tag_option,
    tag_optgroup, tag_img, tag_map, tag_area, tag_nobr, tag_wbr, tag_font, tag_spacer, tag_layer,
    tag_center, tag_style, tag_script, tag_noscript, tag_table, tag_caption, tag_form, tag_textarea,
    tag_blockquote, tag_applet, tag_object, tag_div, tag_span, tag_svg, tag_math, tag_template;

// Hash used by the tag, attribute and entity tables: h = h * 31 + (signed
// byte), modulo 2^32.
uint32_t name_hash(const char* name);

} // namespace varnel
