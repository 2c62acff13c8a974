// dtd_compile: compiles the DTD declarations of html_dtds.cpp into the
// constant tables of dtd_tables.h and writes them as C++ source.
//
//   dtd_compile OUTPUT.cpp
//
// The build runs it and compiles the output into the library, so that the
// version walk (versions.cpp) finds its content automata and attribute
// lists ready-made instead of parsing and compiling the DTDs at every
// start. Content models are parsed from their DTD text and each becomes a
// deterministic automaton over child symbols (a state is the set of
// positions of the model that may come next); "a & b" groups become the
// choice of their orders.
#include <algorithm>
#include <array>
#include <bitset>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/util.h"
#include "input/dtd_tables.h"
#include "input/html_dtds.h"

namespace varnel {
namespace {

constexpr int VersionCount = DtdVersionCount;
constexpr int MaxSymbols = DtdMaxSymbols;
constexpr int PcdataSymbol = DtdPcdataSymbol;
using SymbolSet = std::bitset<MaxSymbols>;

constexpr VersionBits bit_of(int version) {
    return VersionBits{1} << version;
}

// Something in the declarations the tables cannot hold: the build stops.
[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "dtd_compile: %s\n", why.c_str());
    std::exit(1);
}

// A deterministic automaton over child symbols for one content model,
// with its states numbered from 0 (the start).
struct Automaton {
    std::vector<std::array<uint16_t, MaxSymbols>> moves; // by state and symbol
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

struct ValueType {
    DtdValueKind kind = DtdValueKind::Cdata;
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
    std::map<std::string, int, std::less<>> symbols;
    std::vector<std::array<ElementDecl, VersionCount>> elements{1};
    std::vector<Automaton> automata;
    std::vector<ValueType> types;
    std::vector<std::vector<AttributeDecl>> attributes{1}; // by symbol

    int symbol(std::string_view name) const {
        auto it = symbols.find(name);
        return it == symbols.end() ? -1 : it->second;
    }
    int add_symbol(std::string_view name) {
        int s = symbol(name);
        if (s >= 0) return s;
        s = static_cast<int>(names.size());
        if (s >= MaxSymbols) fail("more than " + std::to_string(MaxSymbols - 1) + " elements");
        names.emplace_back(name);
        symbols.emplace(std::string(name), s);
        elements.emplace_back();
        attributes.emplace_back();
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

bool is_model_delimiter(char c) {
    return c == ',' || c == '|' || c == '&' || c == '(' || c == ')' || c == '?' || c == '*' ||
           c == '+';
}

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
            while (pos_ < text_.size() && !is_model_delimiter(text_[pos_]))
                ++pos_;
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
                add_all(p.follow[static_cast<size_t>(pos)], i.first);
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
            add_all(p.follow[static_cast<size_t>(pos)], info.first);
    }
    normalise(info.first);
    normalise(info.last);
    return info;
}

std::array<uint16_t, MaxSymbols> no_moves() {
    std::array<uint16_t, MaxSymbols> row;
    row.fill(DtdNoState);
    return row;
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
        a.moves.push_back(no_moves());
        for (const Term& t : model.items) {
            if (t.symbol >= 0) a.moves[0][static_cast<size_t>(t.symbol)] = 0;
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
        is_last[static_cast<size_t>(pos)] = true;

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
        a.moves.push_back(no_moves());
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
            const int symbol = p.symbol[static_cast<size_t>(pos)];
            if (symbol >= 0) by_symbol[symbol].push_back(pos);
        }
        for (auto& [symbol, from] : by_symbol) {
            uint16_t target;
            const auto first = static_cast<size_t>(from[0]);
            if (from.size() == 1 && after_position[first] >= 0) {
                target = static_cast<uint16_t>(after_position[first]);
            } else {
                std::vector<int> next;
                bool accepts = false;
                for (int pos : from) {
                    add_all(next, p.follow[static_cast<size_t>(pos)]);
                    accepts = accepts || is_last[static_cast<size_t>(pos)];
                }
                normalise(next);
                target = intern(std::move(next), accepts);
                if (from.size() == 1) after_position[first] = target;
            }
            a.moves[s][static_cast<size_t>(symbol)] = target;
        }
    }
    a.any_order = std::all_of(a.accepts.begin(), a.accepts.end(), [](bool x) { return x; });
    for (size_t s = 0; s < states.size() && a.any_order; ++s) {
        for (int symbol : p.symbol) {
            if (symbol >= 0 && a.moves[s][static_cast<size_t>(symbol)] == DtdNoState)
                a.any_order = false;
        }
    }
    return a;
}

ValueType parse_value_type(std::string_view type) {
    ValueType t;
    if (!type.empty() && type[0] == '(') {
        t.kind = DtdValueKind::Enumeration;
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
    static const std::pair<const char*, DtdValueKind> kinds[] = {
        {"CDATA", DtdValueKind::Cdata},     {"NUMBER", DtdValueKind::Number},
        {"NUMBERS", DtdValueKind::Numbers}, {"NAME", DtdValueKind::Name},
        {"NAMES", DtdValueKind::Names},     {"ID", DtdValueKind::Name},
        {"IDREF", DtdValueKind::Name},      {"IDREFS", DtdValueKind::Names},
        {"NMTOKEN", DtdValueKind::Nmtoken}, {"NMTOKENS", DtdValueKind::Nmtokens},
        {"NUTOKEN", DtdValueKind::Nutoken}, {"NUTOKENS", DtdValueKind::Nutokens},
    };
    t.kind = DtdValueKind::Other;
    for (const auto& [name, kind] : kinds) {
        if (type == name) t.kind = kind;
    }
    return t;
}

bool is_text_content(std::string_view content) {
    return content == "EMPTY" || content == "CDATA" || content == "RCDATA";
}

// Numbers the element names in the order of their names, so that a name is
// found by binary search and its place is its symbol.
void number_symbols(Dtds& d) {
    std::set<std::string> names;
    auto add = [&](std::string_view name) { names.emplace(name); };
    for (size_t r = 0; r < dtd_element_count; ++r) {
        const DtdElement& row = dtd_elements[r];
        for_each_word(row.names, add);
        for_each_word(row.inclusions, add);
        for_each_word(row.exclusions, add);
        const std::string_view content = row.content;
        if (is_text_content(content)) continue;
        size_t i = 0;
        while (i < content.size()) {
            size_t j = i;
            while (j < content.size() && !is_model_delimiter(content[j]))
                ++j;
            if (j > i && content.substr(i, j - i) != "#pcdata") add(content.substr(i, j - i));
            i = j + 1;
        }
    }
    for (const std::string& name : names)
        d.add_symbol(name);
}

Dtds build_dtds() {
    Dtds d;
    number_symbols(d);
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
                if (t->kind == Term::Leaf && t->symbol >= 0)
                    decl.allowed.set(static_cast<size_t>(t->symbol));
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
            decl.inclusions.set(static_cast<size_t>(d.add_symbol(name)));
        });
        for_each_word(row.exclusions, [&](std::string_view name) {
            decl.exclusions.set(static_cast<size_t>(d.add_symbol(name)));
        });
        for (int s : symbols) {
            for (int v = 0; v < VersionCount; ++v) {
                if ((row.versions & bit_of(v)) != 0) d.elements[static_cast<size_t>(s)][v] = decl;
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
            std::vector<AttributeDecl>& list = d.attributes[static_cast<size_t>(s)];
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
    return d;
}

// Writing the tables.

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string hex(unsigned value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%02X", value);
    return buffer;
}

// Writes `items` as the initializer of an array, several to a line.
void write_list(std::ostream& out, const std::vector<std::string>& items, size_t per_line) {
    for (size_t i = 0; i < items.size(); ++i) {
        out << (i % per_line == 0 ? "    " : " ") << items[i] << ",";
        if (i % per_line == per_line - 1 || i + 1 == items.size()) out << "\n";
    }
}

std::string version_row(const std::array<VersionBits, MaxSymbols>& row) {
    std::string text = "{{";
    for (size_t s = 0; s < row.size(); ++s)
        text += (s == 0 ? "" : ",") + std::to_string(row[s]);
    return text + "}}";
}

void write_tables(const Dtds& d, std::ostream& out) {
    const size_t symbol_count = d.names.size();
    out << "// The HTML 2.0, 3.2 and 4.01 DTDs compiled for the version walk: written\n"
           "// by dtd_compile from the declarations of src/input/html_dtds.cpp when\n"
           "// the program is built. Do not edit.\n"
           "#include \"input/dtd_tables.h\"\n\n"
           "namespace varnel {\n\n"
           "// clang-format off\n";

    // Symbols.
    std::vector<std::string> items;
    for (const std::string& name : d.names)
        items.push_back(quoted(name));
    out << "constexpr std::string_view dtd_symbol_names[] = {\n";
    write_list(out, items, 8);
    out << "};\nconst size_t dtd_symbol_count = " << symbol_count << ";\n\n";

    // Automaton states, numbered across all models: state 0 stands for
    // every model that takes its children in any order (it is never
    // stepped), the others follow model by model.
    std::vector<std::array<uint16_t, MaxSymbols>> moves{no_moves()};
    std::vector<bool> accepts{true};
    std::vector<uint16_t> first_state(d.automata.size(), 0);
    for (size_t i = 0; i < d.automata.size(); ++i) {
        const Automaton& a = d.automata[i];
        if (a.any_order) continue;
        first_state[i] = static_cast<uint16_t>(moves.size());
        for (size_t s = 0; s < a.moves.size(); ++s) {
            std::array<uint16_t, MaxSymbols> row = a.moves[s];
            for (uint16_t& target : row) {
                if (target != DtdNoState) target = static_cast<uint16_t>(target + first_state[i]);
            }
            moves.push_back(row);
            accepts.push_back(a.accepts[s]);
        }
        if (moves.size() >= DtdNoState) fail("too many automaton states");
    }

    // Attribute names and value types.
    std::set<std::string> attribute_set;
    for (const auto& list : d.attributes) {
        for (const AttributeDecl& a : list)
            attribute_set.insert(a.name);
    }
    const std::vector<std::string> attribute_names(attribute_set.begin(), attribute_set.end());
    auto attribute_number = [&](const std::string& name) {
        return static_cast<size_t>(
            std::lower_bound(attribute_names.begin(), attribute_names.end(), name) -
            attribute_names.begin());
    };

    // Per symbol.
    std::vector<std::string> symbol_rows, names_child_rows, exception_rows, required_rows;
    std::vector<uint16_t> attribute_index(symbol_count * attribute_names.size(), DtdNoAttribute);
    std::vector<std::string> decl_rows;
    const int tr = d.symbol("tr");
    const int tbody = d.symbol("tbody");
    const std::set<std::string_view> body_text{"a",   "br",  "em",   "strong", "code", "samp",
                                               "kbd", "var", "cite", "tt",     "b",    "i"};
    for (size_t parent = 0; parent < symbol_count; ++parent) {
        VersionBits declared = 0, ordered = 0, has_exceptions = 0, infers_body = 0;
        std::array<VersionBits, MaxSymbols> names_child{}, included{}, excluded{};
        std::array<uint16_t, VersionCount> start{};
        for (int v = 0; v < VersionCount; ++v) {
            const ElementDecl& decl = d.elements[parent][v];
            for (size_t child = 0; child < MaxSymbols; ++child) {
                if (decl.kind == ContentKind::Text ||
                    (decl.kind == ContentKind::Model && decl.allowed.test(child)))
                    names_child[child] |= bit_of(v);
                if (decl.inclusions.test(child)) included[child] |= bit_of(v);
                if (decl.exclusions.test(child)) excluded[child] |= bit_of(v);
            }
            if (decl.kind == ContentKind::Model &&
                !d.automata[static_cast<size_t>(decl.automaton)].any_order) {
                ordered |= bit_of(v);
                start[v] = first_state[static_cast<size_t>(decl.automaton)];
            }
            if (decl.inclusions.any() || decl.exclusions.any()) has_exceptions |= bit_of(v);
            if (decl.kind != ContentKind::Undeclared) declared |= bit_of(v);
            if (decl.kind == ContentKind::Model && tr >= 0 && tbody >= 0 &&
                !decl.allowed.test(static_cast<size_t>(tr)) &&
                decl.allowed.test(static_cast<size_t>(tbody)))
                infers_body |= bit_of(v);
        }
        int exceptions = -1;
        if (has_exceptions != 0) {
            exceptions = static_cast<int>(exception_rows.size());
            exception_rows.push_back("{" + version_row(included) + ", " + version_row(excluded) +
                                     "}");
        }
        const size_t first_required = required_rows.size();
        for (const AttributeDecl& a : d.attributes[parent]) {
            if (a.required != 0)
                required_rows.push_back("{" + quoted(a.name) + ", " + hex(a.required) + "}");
            attribute_index[parent * attribute_names.size() + attribute_number(a.name)] =
                static_cast<uint16_t>(decl_rows.size());
            std::string row = "{{{";
            for (int v = 0; v < VersionCount; ++v)
                row += (v == 0 ? "" : ", ") + std::to_string(a.type[v]);
            decl_rows.push_back(row + "}}}");
        }
        std::string row = "{" + hex(declared) + ", " + hex(ordered) + ", " + hex(infers_body) +
                          ", " + (body_text.count(d.names[parent]) != 0 ? "true" : "false") + ", " +
                          std::to_string(exceptions) + ", {{";
        for (int v = 0; v < VersionCount; ++v)
            row += (v == 0 ? "" : ", ") + std::to_string(start[v]);
        row += "}}, " + std::to_string(first_required) + ", " +
               std::to_string(required_rows.size() - first_required) + "}, // " + d.names[parent];
        symbol_rows.push_back(row);
        names_child_rows.push_back(version_row(names_child));
    }
    out << "const DtdSymbol dtd_symbols[] = {\n";
    for (const std::string& row : symbol_rows)
        out << "    " << row << "\n";
    out << "};\n\nconst std::array<uint8_t, DtdMaxSymbols> dtd_names_child[] = {\n";
    write_list(out, names_child_rows, 1);
    out << "};\n\n";

    items.clear();
    for (const std::string& name : attribute_names)
        items.push_back(quoted(name));
    out << "constexpr std::string_view dtd_attribute_names[] = {\n";
    write_list(out, items, 8);
    out << "};\nconst size_t dtd_attribute_name_count = " << attribute_names.size() << ";\n\n";
    items.clear();
    for (uint16_t at : attribute_index)
        items.push_back(std::to_string(at));
    out << "const uint16_t dtd_attribute_index[] = {\n";
    write_list(out, items, attribute_names.size());
    out << "};\n\nconst DtdAttributeDecl dtd_attribute_decls[] = {\n";
    write_list(out, decl_rows, 4);
    out << "};\n\nconst DtdRequiredAttribute dtd_required_attributes[] = {\n";
    write_list(out,
               required_rows.empty() ? std::vector<std::string>{"{nullptr, 0}"} : required_rows, 4);
    out << "};\n\n";

    std::vector<std::string> values;
    items.clear();
    for (const ValueType& t : d.types) {
        items.push_back("{DtdValueKind(" + std::to_string(static_cast<int>(t.kind)) + "), " +
                        std::to_string(values.size()) + ", " + std::to_string(t.values.size()) +
                        "}");
        for (const std::string& value : t.values)
            values.push_back(quoted(value));
    }
    out << "const DtdValueType dtd_value_types[] = {\n";
    write_list(out, items, 4);
    out << "};\n\nconstexpr std::string_view dtd_enumerated_values[] = {\n";
    write_list(out, values.empty() ? std::vector<std::string>{"\"\""} : values, 8);
    out << "};\n\nconst DtdExceptions dtd_exceptions[] = {\n";
    write_list(out, exception_rows.empty() ? std::vector<std::string>{"{}"} : exception_rows, 1);
    out << "};\n\n";

    items.clear();
    for (const auto& row : moves) {
        for (uint16_t target : row)
            items.push_back(std::to_string(target));
    }
    out << "const uint16_t dtd_moves[] = {\n";
    write_list(out, items, 32);
    out << "};\n\nconst bool dtd_accepts[] = {\n";
    items.clear();
    for (bool a : accepts)
        items.push_back(a ? "true" : "false");
    write_list(out, items, 16);
    out << "};\n\n";

    VersionBits quot_versions = 0;
    for (size_t r = 0; r < dtd_entity_count; ++r) {
        for_each_word(dtd_entities[r].names, [&](std::string_view name) {
            if (name == "quot") quot_versions |= dtd_entities[r].versions;
        });
    }
    out << "const int dtd_tr_symbol = " << tr << ";\n"
        << "const int dtd_tbody_symbol = " << tbody << ";\n"
        << "const VersionBits dtd_quot_versions = " << hex(quot_versions) << ";\n\n"
        << "// clang-format on\n\n} // namespace varnel\n";
}

} // namespace
} // namespace varnel

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dtd_compile OUTPUT.cpp\n");
        return 2;
    }
    std::ostringstream text;
    varnel::write_tables(varnel::build_dtds(), text);
    // Written whole or not at all: an interrupted build leaves no half file.
    const std::string path = argv[1];
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text.str();
        if (!out.flush()) {
            std::fprintf(stderr, "dtd_compile: cannot write %s\n", temporary.c_str());
            return 1;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "dtd_compile: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}
