// The versions a printed page fits: the DTD tables compiled once into
// content automata and attribute lists, and the walk over the final tree.
#include "input/versions.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/config.h"
#include "base/util.h"
#include "input/html5_vocabulary.h"
#include "input/html_dtds.h"
#include "input/lexer.h"
#include "model/attrs.h"
#include "model/node.h"

namespace varnel {

namespace {

// Versions are numbered 0 to 4 here: HTML 2.0, 3.2, 4.01 Strict,
// Transitional and Frameset, the order of their bits.
constexpr int VersionCount = 5;
constexpr VersionBits AllVersions = VersionAll;

constexpr VersionBits bit_of(int version) {
    return VersionBits{1} << version;
}

// Element names the DTDs declare are symbols 1 and up; 0 is character data.
constexpr int MaxSymbols = 128;
constexpr int PcdataSymbol = 0;
using SymbolSet = std::bitset<MaxSymbols>;

constexpr uint16_t NoState = 0xFFFF;

// A deterministic automaton over child symbols for one content model.
struct Automaton {
    std::vector<uint16_t> moves; // state * MaxSymbols + symbol -> state
    std::vector<bool> accepts;
    // Every state accepts and takes every symbol of the model: any
    // sequence of those symbols fits, as in (a|b|c)*.
    bool any_order = false;
};

enum class ContentKind : uint8_t { Undeclared, Empty, Text, Model };

struct ElementDecl {
    ContentKind kind = ContentKind::Undeclared;
    SymbolSet allowed; // the symbols the model group names
    SymbolSet inclusions;
    SymbolSet exclusions;
    int automaton = -1;
};

enum class ValueKind : uint8_t {
    Cdata,
    Number,
    Numbers,
    Name,
    Names,
    Nmtoken,
    Nmtokens,
    Nutoken,
    Nutokens,
    Enumeration,
    Other
};

struct ValueType {
    ValueKind kind = ValueKind::Cdata;
    std::vector<std::string> values; // of an enumeration, lower case
};

// One attribute name of one element, as each version declares it.
struct AttributeDecl {
    std::string name;
    std::array<int16_t, VersionCount> type{-1, -1, -1, -1, -1}; // index into types, or -1
    VersionBits required = 0;
};

struct Dtds {
    std::vector<std::string> names{"#pcdata"};
    std::unordered_map<std::string, int> symbols;
    std::vector<std::array<ElementDecl, VersionCount>> elements{1};
    std::vector<Automaton> automata;
    std::vector<ValueType> types;
    // Attribute names are numbered; by symbol, the declarations of its
    // attributes and, by attribute number, where each stands (-1: none).
    std::unordered_map<std::string, int> attribute_ids;
    std::vector<std::vector<AttributeDecl>> attributes{1};
    std::vector<std::vector<int16_t>> attribute_index{1};
    // By symbol: the attributes some version requires, with those versions.
    std::vector<std::vector<std::pair<std::string, VersionBits>>> required{1};
    // By parent symbol and child symbol: the versions whose declaration of
    // the parent names the child (or takes any text content).
    std::vector<std::array<VersionBits, MaxSymbols>> names_child{1};
    // By symbol: the versions whose content model needs its automaton (not
    // "any of these, in any order"), and those with inclusions or exclusions.
    std::vector<VersionBits> ordered_content{0};
    std::vector<VersionBits> has_exceptions{0};
    std::vector<VersionBits> declared{0}; // by symbol: the versions that declare it
    // By symbol: the versions whose model names a table body but no row.
    std::vector<VersionBits> infers_body{0};
    VersionBits quot_versions = 0; // versions that define the entity "quot"
    int tr = -1, tbody = -1;
    SymbolSet body_text_elements; // HTML 2.0 text-level elements (see check_body_2_0)

    int symbol(std::string_view name) const {
        auto it = symbols.find(std::string(name));
        return it == symbols.end() ? -1 : it->second;
    }
    int add_symbol(std::string_view name) {
        int s = symbol(name);
        if (s >= 0) return s;
        s = static_cast<int>(names.size());
        if (s >= MaxSymbols) return -1;
        names.emplace_back(name);
        symbols.emplace(std::string(name), s);
        elements.emplace_back();
        attributes.emplace_back();
        attribute_index.emplace_back();
        required.emplace_back();
        names_child.emplace_back();
        ordered_content.push_back(0);
        has_exceptions.push_back(0);
        declared.push_back(0);
        infers_body.push_back(0);
        return s;
    }
};

// A content model group, as parsed from the DTD text.
struct Term {
    enum Kind : uint8_t { Leaf, Seq, Choice, All } kind = Leaf;
    int symbol = -1;
    char occurrence = 0; // 0, '?', '*' or '+'
    std::vector<Term> items;
};

class ModelParser {
  public:
    ModelParser(Dtds& dtds, std::string_view text) : dtds_(dtds), text_(text) {}

    Term parse() { return item(); }

  private:
    Term item() {
        Term t;
        if (peek() == '(') {
            ++pos_;
            t = item();
            std::vector<Term> items;
            items.push_back(std::move(t));
            char connector = 0;
            while (peek() == ',' || peek() == '|' || peek() == '&') {
                connector = text_[pos_++];
                items.push_back(item());
            }
            ++pos_; // ')'
            t = Term{};
            t.kind = connector == ',' ? Term::Seq : connector == '&' ? Term::All : Term::Choice;
            t.items = std::move(items);
        } else {
            size_t start = pos_;
            while (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != '|' &&
                   text_[pos_] != '&' && text_[pos_] != ')' && text_[pos_] != '?' &&
                   text_[pos_] != '*' && text_[pos_] != '+') {
                ++pos_;
            }
            std::string_view name = text_.substr(start, pos_ - start);
            t.symbol = name == "#pcdata" ? PcdataSymbol : dtds_.add_symbol(name);
        }
        if (peek() == '?' || peek() == '*' || peek() == '+') t.occurrence = text_[pos_++];
        // Character data is any number of characters, none included.
        if (t.kind == Term::Leaf && t.symbol == PcdataSymbol) t.occurrence = '*';
        return t;
    }

    char peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }

    Dtds& dtds_;
    std::string_view text_;
    size_t pos_ = 0;
};

// "a & b & c": every order of the members, each as a sequence.
Term expand_all_groups(Term t) {
    for (Term& item : t.items)
        item = expand_all_groups(std::move(item));
    if (t.kind != Term::All) return t;
    std::vector<size_t> order(t.items.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    Term choice;
    choice.kind = Term::Choice;
    choice.occurrence = t.occurrence;
    do {
        Term seq;
        seq.kind = Term::Seq;
        for (size_t i : order)
            seq.items.push_back(t.items[i]);
        choice.items.push_back(std::move(seq));
    } while (std::next_permutation(order.begin(), order.end()));
    return choice;
}

// The position automaton of a model: one position per symbol occurrence,
// with the positions that may follow each.
struct Positions {
    std::vector<int> symbol;
    std::vector<std::vector<int>> follow;
};

struct TermInfo {
    bool nullable = false;
    std::vector<int> first;
    std::vector<int> last;
};

void add_all(std::vector<int>& to, const std::vector<int>& from) {
    to.insert(to.end(), from.begin(), from.end());
}

void normalise(std::vector<int>& set) {
    std::sort(set.begin(), set.end());
    set.erase(std::unique(set.begin(), set.end()), set.end());
}

TermInfo positions_of(const Term& t, Positions& p) {
    TermInfo info;
    switch (t.kind) {
    case Term::Leaf: {
        int pos = static_cast<int>(p.symbol.size());
        p.symbol.push_back(t.symbol);
        p.follow.emplace_back();
        info.first = {pos};
        info.last = {pos};
        break;
    }
    case Term::Seq: {
        info.nullable = true;
        std::vector<int> last_so_far;
        for (const Term& item : t.items) {
            TermInfo i = positions_of(item, p);
            for (int pos : last_so_far)
                add_all(p.follow[pos], i.first);
            if (info.nullable) add_all(info.first, i.first);
            if (i.nullable) {
                add_all(last_so_far, i.last);
            } else {
                last_so_far = i.last;
            }
            info.nullable = info.nullable && i.nullable;
        }
        info.last = last_so_far;
        break;
    }
    case Term::Choice:
    case Term::All:
        for (const Term& item : t.items) {
            TermInfo i = positions_of(item, p);
            info.nullable = info.nullable || i.nullable;
            add_all(info.first, i.first);
            add_all(info.last, i.last);
        }
        break;
    }
    if (t.occurrence == '?' || t.occurrence == '*') info.nullable = true;
    if (t.occurrence == '*' || t.occurrence == '+') {
        for (int pos : info.last)
            add_all(p.follow[pos], info.first);
    }
    normalise(info.first);
    normalise(info.last);
    return info;
}

// Builds the deterministic automaton: a state is the set of positions that
// may come next, and whether the content may end there.
Automaton compile_model(const Term& model) {
    // Most models are "(a|b|c)*": one state that takes any of the names.
    if (model.kind == Term::Choice && model.occurrence == '*' &&
        std::all_of(model.items.begin(), model.items.end(), [](const Term& t) {
            return t.kind == Term::Leaf && (t.occurrence == 0 || t.occurrence == '*');
        })) {
        Automaton a;
        a.moves.assign(MaxSymbols, NoState);
        for (const Term& t : model.items) {
            if (t.symbol >= 0) a.moves[static_cast<size_t>(t.symbol)] = 0;
        }
        a.accepts.push_back(true);
        a.any_order = true;
        return a;
    }
    Positions p;
    TermInfo root = positions_of(expand_all_groups(model), p);
    for (auto& f : p.follow)
        normalise(f);
    std::vector<bool> is_last(p.symbol.size(), false);
    for (int pos : root.last)
        is_last[pos] = true;

    Automaton a;
    std::map<std::pair<std::vector<int>, bool>, uint16_t> index;
    std::vector<std::pair<std::vector<int>, bool>> states;
    auto intern = [&](std::vector<int> expected, bool accepts) -> uint16_t {
        auto key = std::make_pair(std::move(expected), accepts);
        auto it = index.find(key);
        if (it != index.end()) return it->second;
        auto id = static_cast<uint16_t>(states.size());
        index.emplace(key, id);
        states.push_back(std::move(key));
        a.moves.insert(a.moves.end(), MaxSymbols, NoState);
        a.accepts.push_back(states.back().second);
        return id;
    };
    intern(root.first, root.nullable);
    // The state after a single position, which is all a deterministic
    // model ever reaches.
    std::vector<int> after_position(p.symbol.size(), -1);
    for (size_t s = 0; s < states.size(); ++s) {
        const std::vector<int> expected = states[s].first;
        std::map<int, std::vector<int>> by_symbol;
        for (int pos : expected) {
            if (p.symbol[pos] >= 0) by_symbol[p.symbol[pos]].push_back(pos);
        }
        for (auto& [symbol, from] : by_symbol) {
            uint16_t target;
            if (from.size() == 1 && after_position[from[0]] >= 0) {
                target = static_cast<uint16_t>(after_position[from[0]]);
            } else {
                std::vector<int> next;
                bool accepts = false;
                for (int pos : from) {
                    add_all(next, p.follow[pos]);
                    accepts = accepts || is_last[pos];
                }
                normalise(next);
                target = intern(std::move(next), accepts);
                if (from.size() == 1) after_position[from[0]] = target;
            }
            a.moves[s * MaxSymbols + static_cast<size_t>(symbol)] = target;
        }
    }
    a.any_order = std::all_of(a.accepts.begin(), a.accepts.end(), [](bool x) { return x; });
    for (size_t s = 0; s < states.size() && a.any_order; ++s) {
        for (int symbol : p.symbol) {
            if (symbol >= 0 && a.moves[s * MaxSymbols + static_cast<size_t>(symbol)] == NoState)
                a.any_order = false;
        }
    }
    return a;
}

ValueType parse_value_type(std::string_view type) {
    ValueType t;
    if (!type.empty() && type[0] == '(') {
        t.kind = ValueKind::Enumeration;
        std::string word;
        for (char c : type.substr(1)) {
            if (c == '|' || c == ')') {
                t.values.push_back(word);
                word.clear();
            } else {
                word += c;
            }
        }
        return t;
    }
    static const std::pair<const char*, ValueKind> kinds[] = {
        {"CDATA", ValueKind::Cdata},     {"NUMBER", ValueKind::Number},
        {"NUMBERS", ValueKind::Numbers}, {"NAME", ValueKind::Name},
        {"NAMES", ValueKind::Names},     {"ID", ValueKind::Name},
        {"IDREF", ValueKind::Name},      {"IDREFS", ValueKind::Names},
        {"NMTOKEN", ValueKind::Nmtoken}, {"NMTOKENS", ValueKind::Nmtokens},
        {"NUTOKEN", ValueKind::Nutoken}, {"NUTOKENS", ValueKind::Nutokens},
    };
    t.kind = ValueKind::Other;
    for (const auto& [name, kind] : kinds) {
        if (type == name) t.kind = kind;
    }
    return t;
}

Dtds build_dtds() {
    Dtds d;
    std::map<std::string, int> automaton_of;
    for (size_t r = 0; r < dtd_element_count; ++r) {
        const DtdElement& row = dtd_elements[r];
        std::vector<int> symbols;
        for_each_word(row.names,
                      [&](std::string_view name) { symbols.push_back(d.add_symbol(name)); });
        ElementDecl decl;
        std::string_view content = row.content;
        if (content == "EMPTY") {
            decl.kind = ContentKind::Empty;
        } else if (content == "CDATA" || content == "RCDATA") {
            decl.kind = ContentKind::Text;
        } else {
            decl.kind = ContentKind::Model;
            ModelParser parser(d, content);
            Term model = parser.parse();
            // The symbols the model names.
            std::vector<const Term*> pending{&model};
            while (!pending.empty()) {
                const Term* t = pending.back();
                pending.pop_back();
                if (t->kind == Term::Leaf && t->symbol >= 0) decl.allowed.set(t->symbol);
                for (const Term& item : t->items)
                    pending.push_back(&item);
            }
            auto it = automaton_of.find(row.content);
            if (it == automaton_of.end()) {
                d.automata.push_back(compile_model(model));
                it = automaton_of.emplace(row.content, static_cast<int>(d.automata.size()) - 1)
                         .first;
            }
            decl.automaton = it->second;
        }
        for_each_word(row.inclusions, [&](std::string_view name) {
            int s = d.add_symbol(name);
            if (s >= 0) decl.inclusions.set(s);
        });
        for_each_word(row.exclusions, [&](std::string_view name) {
            int s = d.add_symbol(name);
            if (s >= 0) decl.exclusions.set(s);
        });
        for (int s : symbols) {
            if (s < 0) continue;
            for (int v = 0; v < VersionCount; ++v) {
                if ((row.versions & bit_of(v)) != 0) d.elements[s][v] = decl;
            }
        }
    }

    std::map<std::string, int16_t> type_of;
    for (size_t r = 0; r < dtd_attribute_count; ++r) {
        const DtdAttribute& row = dtd_attributes[r];
        auto it = type_of.find(row.type);
        if (it == type_of.end()) {
            d.types.push_back(parse_value_type(row.type));
            it = type_of.emplace(row.type, static_cast<int16_t>(d.types.size() - 1)).first;
        }
        for_each_word(row.elements, [&](std::string_view element) {
            int s = d.symbol(element);
            if (s < 0) return;
            std::vector<AttributeDecl>& list = d.attributes[s];
            auto a = std::find_if(list.begin(), list.end(),
                                  [&](const AttributeDecl& x) { return x.name == row.name; });
            if (a == list.end()) {
                list.push_back(AttributeDecl{row.name, {-1, -1, -1, -1, -1}, 0});
                a = list.end() - 1;
            }
            for (int v = 0; v < VersionCount; ++v) {
                if ((row.versions & bit_of(v)) == 0) continue;
                a->type[v] = it->second;
                if (row.required) a->required |= bit_of(v);
            }
        });
    }
    for (size_t s = 0; s < d.attributes.size(); ++s) {
        for (const AttributeDecl& a : d.attributes[s]) {
            d.attribute_ids.emplace(a.name, static_cast<int>(d.attribute_ids.size()));
            if (a.required != 0) d.required[s].emplace_back(a.name, a.required);
        }
    }
    for (size_t s = 0; s < d.attributes.size(); ++s) {
        d.attribute_index[s].assign(d.attribute_ids.size(), -1);
        for (size_t i = 0; i < d.attributes[s].size(); ++i) {
            const int id = d.attribute_ids[d.attributes[s][i].name];
            d.attribute_index[s][static_cast<size_t>(id)] = static_cast<int16_t>(i);
        }
    }

    for (size_t r = 0; r < dtd_entity_count; ++r) {
        for_each_word(dtd_entities[r].names, [&](std::string_view name) {
            if (name == "quot") d.quot_versions |= dtd_entities[r].versions;
        });
    }
    for (size_t parent = 0; parent < d.elements.size(); ++parent) {
        for (int v = 0; v < VersionCount; ++v) {
            const ElementDecl& decl = d.elements[parent][v];
            for (size_t child = 0; child < MaxSymbols; ++child) {
                if (decl.kind == ContentKind::Text ||
                    (decl.kind == ContentKind::Model && decl.allowed.test(child)))
                    d.names_child[parent][child] |= bit_of(v);
            }
            if (decl.kind == ContentKind::Model &&
                !d.automata[static_cast<size_t>(decl.automaton)].any_order)
                d.ordered_content[parent] |= bit_of(v);
            if (decl.inclusions.any() || decl.exclusions.any())
                d.has_exceptions[parent] |= bit_of(v);
            if (decl.kind != ContentKind::Undeclared) d.declared[parent] |= bit_of(v);
        }
    }
    d.tr = d.symbol("tr");
    d.tbody = d.symbol("tbody");
    for (size_t parent = 0; parent < d.elements.size() && d.tr >= 0 && d.tbody >= 0; ++parent) {
        for (int v = 0; v < VersionCount; ++v) {
            const ElementDecl& decl = d.elements[parent][v];
            if (decl.kind == ContentKind::Model && !decl.allowed.test(static_cast<size_t>(d.tr)) &&
                decl.allowed.test(static_cast<size_t>(d.tbody)))
                d.infers_body[parent] |= bit_of(v);
        }
    }
    for (const char* name :
         {"a", "br", "em", "strong", "code", "samp", "kbd", "var", "cite", "tt", "b", "i"}) {
        int s = d.symbol(name);
        if (s >= 0) d.body_text_elements.set(s);
    }
    return d;
}

const Dtds& dtds() {
    static const Dtds tables = build_dtds();
    return tables;
}

// The declaration of attribute number `id` on `symbol`, or null.
const AttributeDecl* find_attribute(const Dtds& d, int symbol, int id) {
    if (id < 0) return nullptr;
    const int16_t at = d.attribute_index[static_cast<size_t>(symbol)][static_cast<size_t>(id)];
    return at < 0 ? nullptr : &d.attributes[static_cast<size_t>(symbol)][static_cast<size_t>(at)];
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

// The white-space separated tokens of a value.
std::vector<std::string_view> tokens_of(std::string_view value) {
    std::vector<std::string_view> tokens;
    size_t i = 0;
    while (i < value.size()) {
        while (i < value.size() && is_separator(value[i]))
            ++i;
        size_t j = i;
        while (j < value.size() && !is_separator(value[j]))
            ++j;
        if (j > i) tokens.push_back(value.substr(i, j - i));
        i = j;
    }
    return tokens;
}

bool token_fits(ValueKind kind, std::string_view token) {
    if (token.empty()) return false;
    switch (kind) {
    case ValueKind::Number:
    case ValueKind::Numbers:
        return std::all_of(token.begin(), token.end(), is_digit);
    case ValueKind::Name:
    case ValueKind::Names:
        return is_letter(token[0]) && std::all_of(token.begin(), token.end(), is_name_char);
    case ValueKind::Nmtoken:
    case ValueKind::Nmtokens:
        return std::all_of(token.begin(), token.end(), is_name_char);
    case ValueKind::Nutoken:
    case ValueKind::Nutokens:
        return is_digit(token[0]) && std::all_of(token.begin(), token.end(), is_name_char);
    default:
        return true;
    }
}

bool value_fits(const ValueType& type, std::string_view value) {
    if (type.kind == ValueKind::Cdata || type.kind == ValueKind::Other) return true;
    std::vector<std::string_view> tokens = tokens_of(value);
    if (tokens.empty()) return false;
    switch (type.kind) {
    case ValueKind::Enumeration: {
        if (tokens.size() != 1) return false;
        std::string lower(tokens[0]);
        for (char& c : lower)
            c = static_cast<char>(to_lower(static_cast<unsigned char>(c)));
        return std::find(type.values.begin(), type.values.end(), lower) != type.values.end();
    }
    case ValueKind::Number:
    case ValueKind::Name:
    case ValueKind::Nmtoken:
    case ValueKind::Nutoken:
        return tokens.size() == 1 && token_fits(type.kind, tokens[0]);
    default:
        return std::all_of(tokens.begin(), tokens.end(),
                           [&](std::string_view t) { return token_fits(type.kind, t); });
    }
}

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
    explicit Walk(const Lexer* lexer) : lexer_(lexer), d_(dtds()) { contexts_.emplace_back(); }

    VersionBits run(const Node* root);

  private:
    void enter(const Node* node, std::vector<Level>& levels);
    Frame open_element(const Node* element, uint32_t context);
    void check_attributes(const Node* element, int symbol, VersionBits declared);
    void check_html5_attributes(const Node* element);
    void add_child(Frame& frame, const Node* child);
    VersionBits place(Frame& frame, int s, VersionBits versions);
    void close_frame(const Frame& frame);
    void check_body_2_0(int symbol);
    uint32_t context_inside(uint32_t context, int symbol);
    void check_text(const Node* node, bool raw);
    void scan_characters(std::string_view text, bool folded);
    void scan_attribute_value(const NodeAttribute* attribute);

    bool is_transparent(const Node* node) const {
        return lexer_->options.clean && node->tag != nullptr &&
               (node->tag == tag_font || node->tag == tag_nobr);
    }
    // An element the printer writes as a space (wbr under -clean).
    bool is_blank(const Node* node) const {
        return lexer_->options.clean && node->tag != nullptr && node->tag == tag_wbr;
    }
    bool is_white_text(const Node* node) const;
    // The number of an attribute's name in the DTD tables, or -1.
    int attribute_id(const NodeAttribute* a) {
        if (a->attr_def != nullptr) {
            auto it = attribute_cache_.find(a->attr_def);
            if (it != attribute_cache_.end()) return it->second;
        }
        auto found = d_.attribute_ids.find(a->name);
        const int id = found == d_.attribute_ids.end() ? -1 : found->second;
        if (a->attr_def != nullptr) attribute_cache_.emplace(a->attr_def, id);
        return id;
    }
    int symbol_of(const Node* element) {
        if (element->tag == nullptr) return -1;
        auto it = symbol_cache_.find(element->tag.get());
        if (it == symbol_cache_.end())
            it = symbol_cache_.emplace(element->tag.get(), d_.symbol(element->tag->name)).first;
        return it->second;
    }

    const Lexer* lexer_;
    const Dtds& d_;
    std::vector<Context> contexts_;
    // The context inside an element of a symbol, by outer context and symbol.
    std::unordered_map<uint64_t, uint32_t> inner_contexts_;
    std::vector<Frame> frames_;
    std::unordered_map<const TagDef*, int> symbol_cache_;
    std::unordered_map<const AttrDef*, int> attribute_cache_;
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
    const Node* node = root->first_child;
    while (node != nullptr) {
        enter(node, levels);
        if (node->first_child != nullptr) {
            node = node->first_child;
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
    if (writes_quot_) verdict_.uses(d_.quot_versions);
    VersionBits both = verdict_.vocabulary & verdict_.structure;
    const VersionBits html5 = html5_known_ ? VersionHTML5 : 0;
    return (both != 0 ? both : verdict_.vocabulary) | html5;
}

// The attributes of an element as HTML5 sees them: proprietary ones and
// proprietary values are none of its vocabulary; attributes and values that
// only HTML5 has (data-*, aria-*, role, async, srcset, placeholder, meta
// charset, the new input types ...) rule out every earlier version.
void Walk::check_html5_attributes(const Node* element) {
    for (const NodeAttribute* a = element->attributes; a != nullptr; a = a->next) {
        if (a->name.empty()) continue;
        const AttrDef* def = a->attr_def;
        if (is_proprietary_value(element, a) ||
            (def != nullptr && (def->versions & (AllVersions | VersionXml | VersionHTML5)) == 0 &&
             (def->versions & VersionProprietary) != 0)) {
            html5_known_ = false;
            continue;
        }
        if (!html5_allows_attribute(element->element_name, a->name)) continue;
        const bool new_name = def != nullptr && (def->versions & VersionHTML5) != 0 &&
                              (def->versions & (AllVersions | VersionXml)) == 0;
        const bool new_use = (element->tag == tag_meta && a->name == "charset") ||
                             (a->value.has_value() &&
                              is_html5_only_value(element->element_name, a->name, *a->value));
        if (new_name || new_use) verdict_.proprietary();
    }
}

// Checks `node` as a child of the current frame and by itself; when it has
// children, adds the level they belong to.
void Walk::enter(const Node* node, std::vector<Level>& levels) {
    Frame& parent = frames_[levels.back().frame];
    const bool element = is_element(node);
    if (element && is_transparent(node)) {
        // Its content joins the parent's.
        if (node->first_child != nullptr) levels.push_back({levels.back().frame, false});
        return;
    }
    add_child(parent, node);
    if (!element) {
        if (node->kind == TextNode) {
            check_text(node, parent.raw_text);
        } else if (node->kind != DoctypeNode &&
                   lexer_->options.char_encoding == CharEncoding::Utf8 && node->start < node->end &&
                   node->end <= lexer_->text_length()) {
            // Comments, instructions, marked sections and server blocks are
            // written as they stand (with references for what the output
            // encoding lacks): only UTF-8 output carries their characters.
            scan_characters(
                std::string_view(lexer_->text).substr(node->start, node->end - node->start), false);
        }
        return;
    }
    if (is_blank(node)) return;
    Frame frame = open_element(node, parent.context);
    if (node->first_child == nullptr) {
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
    TagPtr tag = element->tag;
    if (tag == nullptr || (tag->versions & VersionHTML5) == 0) {
        // Known to HTML5 are its own elements and those it made obsolete.
        if (tag == nullptr || (tag->versions & AllVersions) == 0) html5_known_ = false;
    }
    if (!is_foreign(element)) check_html5_attributes(element);
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
    const VersionBits declared = d_.declared[static_cast<size_t>(symbol)];
    verdict_.uses(declared);
    check_attributes(element, symbol, declared);
    frame.symbol = symbol;
    frame.declared = declared;
    frame.ordered = declared;
    frame.context = context_inside(context, symbol);
    return frame;
}

void Walk::check_attributes(const Node* element, int symbol, VersionBits declared) {
    for (const NodeAttribute* a = element->attributes; a != nullptr; a = a->next) {
        if (a->name.empty()) continue; // a server block among the attributes
        scan_attribute_value(a);
        const AttrDef* def = a->attr_def;
        if (def != nullptr && (def->versions & AllVersions) == 0 &&
            (def->versions & VersionProprietary) != 0) {
            verdict_.proprietary();
            continue;
        }
        if (is_proprietary_value(element, a)) {
            verdict_.proprietary();
            continue;
        }
        const AttributeDecl* decl = find_attribute(d_, symbol, attribute_id(a));
        if (decl == nullptr) continue; // no version declares it here
        // The value as the printer writes it: a boolean attribute without a
        // value stands alone, any other is written with an empty value.
        const bool alone = !a->value.has_value() && !lexer_->options.output_xml &&
                           !lexer_->options.input_xml &&
                           (is_boolean_attribute(a) || (element->tag->model & ModelUserDefined));
        std::string_view value;
        if (a->value.has_value()) {
            value = *a->value;
        } else if (lexer_->options.output_xml || lexer_->options.input_xml) {
            value = a->name;
        }
        VersionBits fits = 0;
        for (int v = 0; v < VersionCount; ++v) {
            if ((declared & bit_of(v)) == 0 || decl->type[v] < 0) continue;
            const ValueType& type = d_.types[static_cast<size_t>(decl->type[v])];
            bool ok;
            if (alone) {
                // SGML takes a lone name for a value of the attribute whose
                // enumeration holds it.
                ok =
                    type.kind == ValueKind::Enumeration &&
                    std::find(type.values.begin(), type.values.end(), a->name) != type.values.end();
            } else {
                ok = value_fits(type, value);
            }
            if (ok) fits |= bit_of(v);
        }
        verdict_.uses(fits);
    }

    // Required attributes.
    VersionBits lacking = 0;
    for (const auto& [name, versions] : d_.required[symbol]) {
        if (get_attribute(element, name.c_str()) == nullptr) lacking |= versions;
    }
    verdict_.needs(declared & ~lacking);
}

uint32_t Walk::context_inside(uint32_t context, int symbol) {
    if (d_.has_exceptions[static_cast<size_t>(symbol)] == 0) return context;
    const uint64_t key = (uint64_t{context} << 8) | static_cast<uint64_t>(symbol);
    auto it = inner_contexts_.find(key);
    if (it != inner_contexts_.end()) return it->second;
    Context inner = contexts_[context];
    for (int v = 0; v < VersionCount; ++v) {
        const ElementDecl& decl = d_.elements[static_cast<size_t>(symbol)][v];
        for (size_t s = 0; s < MaxSymbols; ++s) {
            if (decl.inclusions.test(s)) inner.included[s] |= bit_of(v);
            if (decl.exclusions.test(s)) inner.excluded[s] |= bit_of(v);
        }
    }
    uint32_t id = context;
    if (inner.included != contexts_[context].included ||
        inner.excluded != contexts_[context].excluded) {
        contexts_.push_back(inner);
        id = static_cast<uint32_t>(contexts_.size() - 1);
    }
    inner_contexts_.emplace(key, id);
    return id;
}

bool Walk::is_white_text(const Node* node) const {
    for (uint32_t i = node->start; i < node->end && i < lexer_->text_length(); ++i) {
        if (!is_separator(lexer_->text[i])) return false;
    }
    return true;
}

// Checks where one printed child stands and feeds it to the automata.
void Walk::add_child(Frame& frame, const Node* child) {
    if (frame.symbol < 0) return;
    int s = -1;
    switch (child->kind) {
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
    if (frame.element->tag == tag_body) check_body_2_0(s);

    // A row straight in a table stands in a table body whose start tag the
    // parser infers; only where the table still needs a body is the tag
    // left out rightly.
    const VersionBits infers =
        s == d_.tr ? d_.infers_body[static_cast<size_t>(frame.symbol)] & frame.declared : 0;
    const VersionBits in_body = infers & frame.in_inferred_body;
    const VersionBits new_body = infers & ~frame.in_inferred_body;
    frame.in_inferred_body = infers;
    for (int v = 0; v < VersionCount && new_body != 0; ++v) {
        if ((new_body & bit_of(v)) == 0) continue;
        const ElementDecl& decl = d_.elements[static_cast<size_t>(frame.symbol)][v];
        if (d_.automata[static_cast<size_t>(decl.automaton)].accepts[frame.state[v]])
            frame.ordered &= ~bit_of(v);
    }
    VersionBits placed = in_body | place(frame, s, frame.declared & ~infers);
    if (new_body != 0) placed |= place(frame, d_.tbody, new_body);
    verdict_.uses(placed);
}

// Checks child symbol `s` in `versions` of the frame: returns those where it
// stands where it may, and feeds it to their automata.
VersionBits Walk::place(Frame& frame, int s, VersionBits versions) {
    const Context& inside = contexts_[frame.context];
    const auto sym = static_cast<size_t>(s);
    const VersionBits included = s != PcdataSymbol ? inside.included[sym] : 0;
    const VersionBits placed = versions &
                               (d_.names_child[static_cast<size_t>(frame.symbol)][sym] | included) &
                               ~inside.excluded[sym];
    frame.ordered &= ~(versions & ~placed);
    const VersionBits step =
        placed & frame.ordered & d_.ordered_content[static_cast<size_t>(frame.symbol)];
    for (int v = 0; v < VersionCount && step != 0; ++v) {
        if ((step & bit_of(v)) == 0) continue;
        const ElementDecl& decl = d_.elements[static_cast<size_t>(frame.symbol)][v];
        const Automaton& a = d_.automata[static_cast<size_t>(decl.automaton)];
        const uint16_t next = a.moves[frame.state[v] * MaxSymbols + sym];
        if (next != NoState) {
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
    const VersionBits check = ordered & d_.ordered_content[static_cast<size_t>(frame.symbol)];
    for (int v = 0; v < VersionCount && check != 0; ++v) {
        const ElementDecl& decl = d_.elements[frame.symbol][v];
        if ((check & bit_of(v)) == 0) continue;
        if (!d_.automata[static_cast<size_t>(decl.automaton)].accepts[frame.state[v]])
            ordered &= ~bit_of(v);
    }
    verdict_.needs(ordered);
}

// HTML 2.0 pages are written in the DTD's recommended form, whose body holds
// headings, blocks and images but no running text: text, and the text-level
// elements other than img, straight in the body call for HTML 3.2 or later.
void Walk::check_body_2_0(int symbol) {
    if (symbol == PcdataSymbol || d_.body_text_elements.test(static_cast<size_t>(symbol))) {
        verdict_.uses(AllVersions & ~VersionHTML20);
    }
}

void Walk::check_text(const Node* node, bool raw) {
    if (node->start >= node->end || node->end > lexer_->text_length()) return;
    std::string_view text =
        std::string_view(lexer_->text).substr(node->start, node->end - node->start);
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
    const std::string& value = *attribute->value;
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
    return dtds().symbol(name) > 0;
}

} // namespace varnel
