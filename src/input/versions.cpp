// The versions a printed page fits: the walk over the final tree, which
// reads the compiled DTD tables (dtd_tables.h).
#include "input/versions.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <span>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/config.h"
#include "base/util.h"
#include "input/html5_vocabulary.h"
#include "input/dtd_tables.h"
#include "input/lexer.h"
#include "model/attrs.h"
#include "model/node.h"

namespace varnel {

namespace {

constexpr int VersionCount = DtdVersionCount;
constexpr VersionBits AllVersions = VersionAll;
constexpr int MaxSymbols = DtdMaxSymbols;
constexpr int PcdataSymbol = DtdPcdataSymbol;

constexpr VersionBits bit_of(int version) {
    return VersionBits{1} << version;
}

// The place of `name` in the sorted `table` of `count` names, from `from`
// on, or -1.
int find_name(const std::string_view* table, size_t count, size_t from, std::string_view name) {
    const std::string_view* end = table + count;
    const std::string_view* at = std::lower_bound(table + from, end, name);
    return at != end && *at == name ? static_cast<int>(at - table) : -1;
}

// The symbol of an element name, or -1 ("#pcdata" names no element).
int symbol_of_name(std::string_view name) {
    return find_name(dtd_symbol_names, dtd_symbol_count, 1, name);
}

// The number of an attribute name in the DTD tables, or -1.
int attribute_number(std::string_view name) {
    return find_name(dtd_attribute_names, dtd_attribute_name_count, 0, name);
}

const DtdSymbol& symbol_data(int symbol) {
    return dtd_symbols[static_cast<size_t>(symbol)];
}

// The declaration of attribute number `id` on `symbol`, or null.
const DtdAttributeDecl* find_attribute(int symbol, int id) {
    if (id < 0) return nullptr;
    const uint16_t at = dtd_attribute_index[static_cast<size_t>(symbol) * dtd_attribute_name_count +
                                            static_cast<size_t>(id)];
    return at == DtdNoAttribute ? nullptr : &dtd_attribute_decls[at];
}

// The values of an enumerated type.
std::span<const std::string_view> enumerated_values(const DtdValueType& type) {
    return {dtd_enumerated_values + type.first_value, type.value_count};
}

// Attribute values as an SGML parser reads them.

bool is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_' || c == ':';
}

bool is_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_separator(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The next white-space separated token of a value from `at` on (empty at
// the end), moving `at` past it.
std::string_view next_token(std::string_view value, size_t& at) {
    while (at < value.size() && is_separator(value[at]))
        ++at;
    const size_t start = at;
    while (at < value.size() && !is_separator(value[at]))
        ++at;
    return value.substr(start, at - start);
}

bool token_fits(DtdValueKind kind, std::string_view token) {
    if (token.empty()) return false;
    switch (kind) {
    case DtdValueKind::Number:
    case DtdValueKind::Numbers:
        return std::all_of(token.begin(), token.end(), is_digit);
    case DtdValueKind::Name:
    case DtdValueKind::Names:
        return is_letter(token[0]) && std::all_of(token.begin(), token.end(), is_name_char);
    case DtdValueKind::Nmtoken:
    case DtdValueKind::Nmtokens:
        return std::all_of(token.begin(), token.end(), is_name_char);
    case DtdValueKind::Nutoken:
    case DtdValueKind::Nutokens:
        return is_digit(token[0]) && std::all_of(token.begin(), token.end(), is_name_char);
    default:
        return true;
    }
}

bool value_fits(const DtdValueType& type, std::string_view value) {
    if (type.kind == DtdValueKind::Cdata || type.kind == DtdValueKind::Other) return true;
    size_t at = 0;
    const std::string_view first = next_token(value, at);
    if (first.empty()) return false;
    switch (type.kind) {
    case DtdValueKind::Enumeration: {
        if (!next_token(value, at).empty()) return false;
        const std::span<const std::string_view> values = enumerated_values(type);
        return std::any_of(values.begin(), values.end(),
                           [&](std::string_view v) { return same_ignoring_case(first, v); });
    }
    case DtdValueKind::Number:
    case DtdValueKind::Name:
    case DtdValueKind::Nmtoken:
    case DtdValueKind::Nutoken:
        return token_fits(type.kind, first) && next_token(value, at).empty();
    default:
        for (std::string_view token = first; !token.empty(); token = next_token(value, at)) {
            if (!token_fits(type.kind, token)) return false;
        }
        return true;
    }
}

// The last answers of a lookup by key, one per slot of a small table that
// the key's hash picks: the walk asks the same few questions (the symbol of
// a tag, the number of an attribute, the context inside an element) over
// and over, and a slot is cheaper to read than a hash map.
template <typename Key, typename Value, size_t Slots = 64> class Memo {
  public:
    // `none` is a key never asked for; it marks an empty slot.
    explicit Memo(Key none) { keys_.fill(none); }

    // The remembered value of `key`, or null.
    const Value* find(Key key) const {
        const size_t slot = slot_of(key);
        return keys_[slot] == key ? &values_[slot] : nullptr;
    }
    void put(Key key, Value value) {
        const size_t slot = slot_of(key);
        keys_[slot] = key;
        values_[slot] = value;
    }

  private:
    static uint64_t bits_of(const void* key) {
        return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(key));
    }
    static uint64_t bits_of(uint64_t key) { return key; }
    template <typename A, typename B> static uint64_t bits_of(const std::pair<A, B>& key) {
        return bits_of(key.first) * 31 + bits_of(key.second);
    }
    static size_t slot_of(const Key& key) {
        return static_cast<size_t>((bits_of(key) * 0x9E3779B97F4A7C15u) >> 56) % Slots;
    }
    std::array<Key, Slots> keys_;
    std::array<Value, Slots> values_{};
};

// The inclusions and exclusions in force inside an element: for each
// symbol, the versions in which it is included, and excluded.
struct Context {
    std::array<VersionBits, MaxSymbols> included{};
    std::array<VersionBits, MaxSymbols> excluded{};
};

// The walk's findings. Faults that the page could avoid by declaring
// another version narrow `vocabulary` (what the page uses) or `structure`
// (what it lacks: required attributes and content, order); a fault no
// version accepts narrows nothing, and proprietary markup rules out every
// version.
struct Verdict {
    VersionBits vocabulary = AllVersions;
    VersionBits structure = AllVersions;

    void uses(VersionBits fitting) {
        if (fitting != 0) vocabulary &= fitting;
    }
    void needs(VersionBits fitting) {
        if (fitting != 0) structure &= fitting;
    }
    void proprietary() { vocabulary = 0; }
};

// An element whose printed content is being checked: its children are
// fed to the content automaton of each version in turn.
struct Frame {
    const Node* element = nullptr;
    int symbol = -1; // -1: content not checked (the root, proprietary elements)
    VersionBits declared = 0;
    VersionBits ordered = 0; // versions whose automaton took every child so far
    uint32_t context = 0;    // inclusions and exclusions inside the element
    std::array<uint16_t, VersionCount> state{};
    VersionBits in_inferred_body = 0; // versions where rows now stand in an inferred tbody
    bool raw_text = false;            // script or style: content written as it stands
};

// One level of the tree walk: the frame that takes the children at this
// level (an element written without its tags passes its children on to the
// frame of its parent), and whether the level made that frame.
struct Level {
    uint32_t frame;
    bool owns;
};

class Walk {
  public:
    explicit Walk(const Lexer* lexer) : lexer_(lexer) { contexts_.emplace_back(); }

    VersionBits run(const Node* root);

  private:
    void enter(const Node* node, std::vector<Level>& levels);
    Frame open_element(const Node* element, uint32_t context);
    void check_attributes(const Node* element, int symbol, VersionBits declared);
    void check_html5_attributes(const Node* element);
    void check_html5_element(const Node* element);
    // html5_allows_attribute for an attribute of an element, remembered for
    // the pair of table entries when both are named as their entries are.
    bool allowed_in_html5(const Node* element, const NodeAttribute* a) {
        const TagDef* tag = element->tag().get();
        const AttrDef* def = a->attr_def();
        const bool cached = tag != nullptr && def != nullptr && def->name == a->name().view() &&
                            tag->name == element->element_name().view();
        const std::pair<const TagDef*, const AttrDef*> key{tag, def};
        if (cached) {
            if (const bool* allowed = allowed_in_html5_.find(key)) return *allowed;
        }
        const bool allowed = html5_allows_attribute(element->element_name(), a->name());
        if (cached) allowed_in_html5_.put(key, allowed);
        return allowed;
    }
    void check_html5_from(const Node* node, const Node* root);
    void add_child(Frame& frame, const Node* child);
    VersionBits place(Frame& frame, int s, VersionBits versions);
    void close_frame(const Frame& frame);
    void check_body_2_0(int symbol);
    uint32_t context_inside(uint32_t context, int symbol);
    void check_text(const Node* node, bool raw);
    void scan_characters(std::string_view text, bool folded);
    void scan_attribute_value(const NodeAttribute* attribute);

    bool is_transparent(const Node* node) const {
        return lexer_->options.clean && node->tag() != nullptr &&
               (node->tag() == tag_font || node->tag() == tag_nobr);
    }
    // An element the printer writes as a space (wbr under -clean).
    bool is_blank(const Node* node) const {
        return lexer_->options.clean && node->tag() != nullptr && node->tag() == tag_wbr;
    }
    bool is_white_text(const Node* node) const;
    // The number of an attribute's name in the DTD tables, or -1.
    // (Remembered by table entry, except for the entries that stand for a
    // family of names, such as on*: onclick and onload are different
    // attributes to the DTDs.)
    int attribute_id(const NodeAttribute* a) {
        const bool cached = a->attr_def() != nullptr && a->attr_def()->name == a->name().view();
        if (cached) {
            if (const int* id = attribute_ids_.find(a->attr_def())) return *id;
        }
        const int id = attribute_number(a->name());
        if (cached) attribute_ids_.put(a->attr_def(), id);
        return id;
    }
    int symbol_of(const Node* element) {
        const TagDef* tag = element->tag().get();
        if (tag == nullptr) return -1;
        if (const int* symbol = symbols_.find(tag)) return *symbol;
        const int symbol = symbol_of_name(tag->name);
        symbols_.put(tag, symbol);
        return symbol;
    }

    const Lexer* lexer_;
    std::vector<Context> contexts_;
    // The context inside an element of a symbol, by outer context and symbol.
    std::unordered_map<uint64_t, uint32_t> inner_contexts_;
    Memo<uint64_t, uint32_t> recent_inner_contexts_{UINT64_MAX};
    std::vector<Frame> frames_;
    Memo<const TagDef*, int> symbols_{nullptr};
    Memo<const AttrDef*, int> attribute_ids_{nullptr};
    Memo<std::pair<const TagDef*, const AttrDef*>, bool> allowed_in_html5_{{nullptr, nullptr}};
    Verdict verdict_;
    bool beyond_latin1_ = false;
    bool writes_quot_ = false;
    // No element or attribute of the page is unknown to HTML5 (the
    // elements it made obsolete are known to it).
    bool html5_known_ = true;
};

VersionBits Walk::run(const Node* root) {
    frames_.push_back(Frame{}); // the root: its content is not checked
    std::vector<Level> levels{{0, false}};
    const Node* node = root->first_child();
    while (node != nullptr) {
        if (verdict_.vocabulary == 0) {
            // No version before HTML5 can be fitted any more: only whether
            // HTML5 knows the rest of the page is still to be learnt.
            check_html5_from(node, root);
            break;
        }
        enter(node, levels);
        if (node->first_child() != nullptr) {
            node = node->first_child();
            continue;
        }
        // Leave finished levels.
        while (node != nullptr && node->next == nullptr) {
            node = node->parent;
            if (levels.back().owns) {
                close_frame(frames_.back());
                frames_.pop_back();
            }
            levels.pop_back();
            if (node == root) node = nullptr;
        }
        if (node != nullptr) node = node->next;
    }
    // HTML 2.0 and 3.2 have Latin-1 for their document character set.
    if (beyond_latin1_) verdict_.uses(VersionHTML40Strict | VersionHTML40Loose | VersionFrames);
    if (writes_quot_) verdict_.uses(dtd_quot_versions);
    VersionBits both = verdict_.vocabulary & verdict_.structure;
    const VersionBits html5 = html5_known_ ? VersionHTML5 : 0;
    return (both != 0 ? both : verdict_.vocabulary) | html5;
}

// The attributes of an element as HTML5 sees them: proprietary ones and
// proprietary values are none of its vocabulary; attributes and values that
// only HTML5 has (data-*, aria-*, role, async, srcset, placeholder, meta
// charset, the new input types ...) rule out every earlier version.
void Walk::check_html5_attributes(const Node* element) {
    for (const NodeAttribute* a = element->attributes(); a != nullptr; a = a->next) {
        if (a->name().empty()) continue;
        const AttrDef* def = a->attr_def();
        if (is_proprietary_value(element, a) ||
            (def != nullptr && (def->versions & (AllVersions | VersionXml | VersionHTML5)) == 0 &&
             (def->versions & VersionProprietary) != 0)) {
            html5_known_ = false;
            continue;
        }
        // What follows can only rule out the versions before HTML5.
        if (verdict_.vocabulary == 0) continue;
        if (!allowed_in_html5(element, a)) continue;
        const bool new_name = def != nullptr && (def->versions & VersionHTML5) != 0 &&
                              (def->versions & (AllVersions | VersionXml)) == 0;
        const bool new_use = (element->tag() == tag_meta && a->name() == "charset") ||
                             (a->value.has_value() &&
                              is_html5_only_value(element->element_name(), a->name(), *a->value));
        if (new_name || new_use) verdict_.proprietary();
    }
}

// Whether HTML5 knows an element and its attributes; the other findings
// about them are left to open_element.
void Walk::check_html5_element(const Node* element) {
    const TagPtr tag = element->tag();
    // Known to HTML5 are its own elements and those it made obsolete.
    if (tag == nullptr || (tag->versions & (VersionHTML5 | AllVersions)) == 0) html5_known_ = false;
    if (!is_foreign(element)) check_html5_attributes(element);
}

// Finishes the walk from `node` on (in document order) once the page fits
// no version but HTML5: what only narrows the other versions is skipped,
// and the walk stops as soon as HTML5 is ruled out as well. The elements
// checked are those `enter` would open.
void Walk::check_html5_from(const Node* node, const Node* root) {
    while (node != nullptr && html5_known_) {
        if (is_element(node) && !is_transparent(node) && !is_blank(node)) check_html5_element(node);
        if (node->first_child() != nullptr) {
            node = node->first_child();
            continue;
        }
        while (node != root && node->next == nullptr)
            node = node->parent;
        node = node != root ? node->next : nullptr;
    }
}

// Checks `node` as a child of the current frame and by itself; when it has
// children, adds the level they belong to.
void Walk::enter(const Node* node, std::vector<Level>& levels) {
    Frame& parent = frames_[levels.back().frame];
    const bool element = is_element(node);
    if (element && is_transparent(node)) {
        // Its content joins the parent's.
        if (node->first_child() != nullptr) levels.push_back({levels.back().frame, false});
        return;
    }
    add_child(parent, node);
    if (!element) {
        if (node->kind() == TextNode) {
            check_text(node, parent.raw_text);
        } else if (node->kind() != DoctypeNode &&
                   lexer_->options.char_encoding == CharEncoding::Utf8 &&
                   node->start < node->end() && node->end() <= lexer_->text_length()) {
            // Comments, instructions, marked sections and server blocks are
            // written as they stand (with references for what the output
            // encoding lacks): only UTF-8 output carries their characters.
            scan_characters(
                std::string_view(lexer_->text).substr(node->start, node->end() - node->start),
                false);
        }
        return;
    }
    if (is_blank(node)) return;
    Frame frame = open_element(node, parent.context);
    if (node->first_child() == nullptr) {
        close_frame(frame);
        return;
    }
    frames_.push_back(frame);
    levels.push_back({static_cast<uint32_t>(frames_.size() - 1), true});
}

// Checks an element by itself (is it declared, are its attributes) and
// makes the frame for its content.
Frame Walk::open_element(const Node* element, uint32_t context) {
    Frame frame;
    frame.element = element;
    frame.context = context;
    TagPtr tag = element->tag();
    check_html5_element(element);
    if (tag == nullptr || (tag->versions & AllVersions) == 0) {
        // Proprietary, or an element only HTML5 has (svg and math with all
        // they hold among them).
        verdict_.proprietary();
        return frame;
    }
    frame.raw_text = tag == tag_script || tag == tag_style;
    int symbol = symbol_of(element);
    if (symbol < 0) {
        // A standard element of the program's own table that no DTD declares.
        verdict_.uses(tag->versions & AllVersions);
        return frame;
    }
    const VersionBits declared = symbol_data(symbol).declared;
    verdict_.uses(declared);
    check_attributes(element, symbol, declared);
    frame.symbol = symbol;
    frame.declared = declared;
    frame.ordered = declared;
    frame.state = symbol_data(symbol).start;
    frame.context = context_inside(context, symbol);
    return frame;
}

void Walk::check_attributes(const Node* element, int symbol, VersionBits declared) {
    for (const NodeAttribute* a = element->attributes(); a != nullptr; a = a->next) {
        if (a->name().empty()) continue; // a server block among the attributes
        scan_attribute_value(a);
        const AttrDef* def = a->attr_def();
        if (def != nullptr && (def->versions & AllVersions) == 0 &&
            (def->versions & VersionProprietary) != 0) {
            verdict_.proprietary();
            continue;
        }
        if (is_proprietary_value(element, a)) {
            verdict_.proprietary();
            continue;
        }
        const DtdAttributeDecl* decl = find_attribute(symbol, attribute_id(a));
        if (decl == nullptr) continue; // no version declares it here
        // The value as the printer writes it: a boolean attribute without a
        // value stands alone, any other is written with an empty value.
        const bool alone = !a->value.has_value() && !lexer_->options.output_xml &&
                           !lexer_->options.input_xml &&
                           (is_boolean_attribute(a) || (element->tag()->model & ModelUserDefined));
        std::string_view value;
        if (a->value.has_value()) {
            value = *a->value;
        } else if (lexer_->options.output_xml || lexer_->options.input_xml) {
            value = a->name();
        }
        VersionBits fits = 0;
        // Most versions declare the attribute with the same type as the one
        // before: the value is judged once per type.
        int judged_type = -1;
        bool ok = false;
        for (int v = 0; v < VersionCount; ++v) {
            if ((declared & bit_of(v)) == 0 || decl->type[v] < 0) continue;
            if (decl->type[v] != judged_type) {
                judged_type = decl->type[v];
                const DtdValueType& type = dtd_value_types[static_cast<size_t>(judged_type)];
                if (alone) {
                    // SGML takes a lone name for a value of the attribute
                    // whose enumeration holds it.
                    const std::span<const std::string_view> values = enumerated_values(type);
                    ok = type.kind == DtdValueKind::Enumeration &&
                         std::find(values.begin(), values.end(), a->name()) != values.end();
                } else {
                    ok = value_fits(type, value);
                }
            }
            if (ok) fits |= bit_of(v);
        }
        verdict_.uses(fits);
    }

    // Required attributes.
    VersionBits lacking = 0;
    const DtdSymbol& data = symbol_data(symbol);
    for (size_t i = data.first_required; i < data.first_required + data.required_count; ++i) {
        const DtdRequiredAttribute& required = dtd_required_attributes[i];
        if (get_attribute(element, required.name) == nullptr) lacking |= required.versions;
    }
    verdict_.needs(declared & ~lacking);
}

uint32_t Walk::context_inside(uint32_t context, int symbol) {
    const int exceptions = symbol_data(symbol).exceptions;
    if (exceptions < 0) return context;
    const uint64_t key = (uint64_t{context} << 8) | static_cast<uint64_t>(symbol);
    if (const uint32_t* id = recent_inner_contexts_.find(key)) return *id;
    auto it = inner_contexts_.find(key);
    if (it != inner_contexts_.end()) {
        recent_inner_contexts_.put(key, it->second);
        return it->second;
    }
    Context inner = contexts_[context];
    const DtdExceptions& own = dtd_exceptions[static_cast<size_t>(exceptions)];
    for (size_t s = 0; s < MaxSymbols; ++s) {
        inner.included[s] |= own.included[s];
        inner.excluded[s] |= own.excluded[s];
    }
    uint32_t id = context;
    if (inner.included != contexts_[context].included ||
        inner.excluded != contexts_[context].excluded) {
        contexts_.push_back(inner);
        id = static_cast<uint32_t>(contexts_.size() - 1);
    }
    inner_contexts_.emplace(key, id);
    recent_inner_contexts_.put(key, id);
    return id;
}

bool Walk::is_white_text(const Node* node) const {
    for (uint32_t i = node->start; i < node->end() && i < lexer_->text_length(); ++i) {
        if (!is_separator(lexer_->text[i])) return false;
    }
    return true;
}

// Checks where one printed child stands and feeds it to the automata.
void Walk::add_child(Frame& frame, const Node* child) {
    if (frame.symbol < 0) return;
    int s = -1;
    switch (child->kind()) {
    case StartTagNode:
    case StartEndTagNode:
        if (is_blank(child)) return; // written as a space
        s = symbol_of(child);
        if (s < 0) return; // proprietary: ruled out by itself
        break;
    case TextNode:
        if (is_white_text(child)) return; // separators between elements
        s = PcdataSymbol;
        break;
    case CDataNode:
    case SectionNode:
    case AspNode:
    case JsteNode:
        s = PcdataSymbol; // read back as character data
        break;
    default:
        return; // comments, instructions
    }
    if (frame.element->tag() == tag_body) check_body_2_0(s);

    // A row straight in a table stands in a table body whose start tag the
    // parser infers; only where the table still needs a body is the tag
    // left out rightly.
    const VersionBits infers =
        s == dtd_tr_symbol ? symbol_data(frame.symbol).infers_body & frame.declared : 0;
    const VersionBits in_body = infers & frame.in_inferred_body;
    const VersionBits new_body = infers & ~frame.in_inferred_body;
    frame.in_inferred_body = infers;
    for (int v = 0; v < VersionCount && new_body != 0; ++v) {
        if ((new_body & bit_of(v)) == 0) continue;
        if (dtd_accepts[frame.state[v]]) frame.ordered &= ~bit_of(v);
    }
    VersionBits placed = in_body | place(frame, s, frame.declared & ~infers);
    if (new_body != 0) placed |= place(frame, dtd_tbody_symbol, new_body);
    verdict_.uses(placed);
}

// Checks child symbol `s` in `versions` of the frame: returns those where it
// stands where it may, and feeds it to their automata.
VersionBits Walk::place(Frame& frame, int s, VersionBits versions) {
    const Context& inside = contexts_[frame.context];
    const auto sym = static_cast<size_t>(s);
    const VersionBits included = s != PcdataSymbol ? inside.included[sym] : 0;
    const VersionBits placed =
        versions & (dtd_names_child[static_cast<size_t>(frame.symbol)][sym] | included) &
        ~inside.excluded[sym];
    frame.ordered &= ~(versions & ~placed);
    const VersionBits step = placed & frame.ordered & symbol_data(frame.symbol).ordered_content;
    for (int v = 0; v < VersionCount && step != 0; ++v) {
        if ((step & bit_of(v)) == 0) continue;
        const uint16_t next = dtd_moves[size_t{frame.state[v]} * MaxSymbols + sym];
        if (next != DtdNoState) {
            frame.state[v] = next;
        } else if ((included & bit_of(v)) == 0) {
            frame.ordered &= ~bit_of(v);
        }
    }
    return placed;
}

// Whether the content may end where it ended, in each version.
void Walk::close_frame(const Frame& frame) {
    if (frame.symbol < 0) return;
    VersionBits ordered = frame.ordered;
    const VersionBits check = ordered & symbol_data(frame.symbol).ordered_content;
    for (int v = 0; v < VersionCount && check != 0; ++v) {
        if ((check & bit_of(v)) == 0) continue;
        if (!dtd_accepts[frame.state[v]]) ordered &= ~bit_of(v);
    }
    verdict_.needs(ordered);
}

// HTML 2.0 pages are written in the DTD's recommended form, whose body holds
// headings, blocks and images but no running text: text, and the text-level
// elements other than img, straight in the body call for HTML 3.2 or later.
void Walk::check_body_2_0(int symbol) {
    if (symbol == PcdataSymbol || symbol_data(symbol).body_text) {
        verdict_.uses(AllVersions & ~VersionHTML20);
    }
}

void Walk::check_text(const Node* node, bool raw) {
    if (node->start >= node->end() || node->end() > lexer_->text_length()) return;
    std::string_view text =
        std::string_view(lexer_->text).substr(node->start, node->end() - node->start);
    if (raw) {
        // Script and style content is written as it stands.
        if (lexer_->options.char_encoding == CharEncoding::Utf8) scan_characters(text, false);
        return;
    }
    scan_characters(text, lexer_->options.clean);
    if (lexer_->options.quote_marks && text.find('"') != std::string_view::npos)
        writes_quot_ = true;
}

// Notes characters beyond Latin-1 in `text` (UTF-8). Under -clean the
// printer folds typographic quotes and dashes in text to ASCII (`folded`);
// those written as a quote mark become "&quot;" with quote-marks on.
void Walk::scan_characters(std::string_view text, bool folded) {
    // Once a character beyond Latin-1 is seen, only a folded quote mark
    // can tell anything more.
    if (beyond_latin1_ && (!folded || !lexer_->options.quote_marks || writes_quot_)) return;
    for (size_t i = 0; i < text.size(); ++i) {
        // Runs of ASCII are passed eight bytes at a time.
        while (i + 8 <= text.size()) {
            uint64_t block;
            std::memcpy(&block, text.data() + i, sizeof block);
            if ((block & 0x8080808080808080u) != 0) break;
            i += 8;
        }
        if (i >= text.size()) break;
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0xC4) continue; // ASCII, Latin-1 or a continuation byte
        uint32_t c = 0;
        if (lead >= 0xF0 && i + 3 < text.size()) {
            c = ((lead & 0x07u) << 18) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 12) |
                ((static_cast<unsigned char>(text[i + 2]) & 0x3Fu) << 6) |
                (static_cast<unsigned char>(text[i + 3]) & 0x3Fu);
        } else if (lead >= 0xE0 && i + 2 < text.size()) {
            c = ((lead & 0x0Fu) << 12) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
                (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
        } else if (i + 1 < text.size()) {
            c = ((lead & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
        }
        if (folded) {
            switch (c) {
            case 0x2013:
            case 0x2014:
            case 0x2018:
            case 0x2019:
            case 0x201A:
                continue;
            case 0x201C:
            case 0x201D:
            case 0x201E:
                if (lexer_->options.quote_marks) writes_quot_ = true;
                continue;
            default:
                break;
            }
        }
        if (c > 0xFF) beyond_latin1_ = true;
    }
}

void Walk::scan_attribute_value(const NodeAttribute* attribute) {
    if (!attribute->value.has_value()) return;
    const std::string_view value = *attribute->value;
    // Values holding server code are written as they stand.
    const bool raw =
        value.starts_with("<%") || value.starts_with("<@") || value.starts_with("<?php");
    if (!raw || lexer_->options.char_encoding == CharEncoding::Utf8) scan_characters(value, false);
    // A double quote in a value is written "&quot;", unless the value is
    // delimited by single quotes (and quote-marks is off).
    if (value.find('"') != std::string::npos &&
        (attribute->delimiter != '\'' || lexer_->options.quote_marks)) {
        writes_quot_ = true;
    }
}

} // namespace

VersionBits printed_versions(const Lexer* lexer, const Node* root) {
    Walk walk(lexer);
    return walk.run(root);
}

bool is_dtd_element(const char* name) {
    return symbol_of_name(name) > 0;
}

} // namespace varnel
