// The HTML 2.0, 3.2 and 4.01 DTDs compiled for the version walk
// (versions.cpp): element names as symbols, the content model of each
// element in each version as a deterministic automaton, inclusions and
// exclusions, and the attributes each element declares with their value
// types. The tables are constant data that tools/dtd_compile.cpp writes
// from the declarations of html_dtds.h when the program is built
// (dtd_tables.cpp in the build tree), so a run reads them as they stand
// and builds nothing at start-up.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "model/tags.h"

namespace varnel {

// Versions are numbered 0 to 4: HTML 2.0, 3.2, 4.01 Strict, Transitional
// and Frameset, the order of their bits.
constexpr int DtdVersionCount = 5;

// Element names are symbols 1 and up, numbered in the order of their names;
// 0 is character data.
constexpr int DtdMaxSymbols = 128;
constexpr int DtdPcdataSymbol = 0;

// Automaton states are numbered across all content models; state 0 is the
// one of every model whose children may come in any number and order (it
// accepts and is never stepped). A move to NoState is a child the model
// does not take there.
constexpr uint16_t DtdNoState = 0xFFFF;
constexpr uint16_t DtdNoAttribute = 0xFFFF;

enum class DtdValueKind : uint8_t {
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

// A declared value: its kind and, for an enumeration, its values (lower
// case) at dtd_enumerated_values[first_value ...].
struct DtdValueType {
    DtdValueKind kind;
    uint16_t first_value;
    uint16_t value_count;
};

// One attribute name of one element: the value type of each version that
// declares it there (an index into dtd_value_types), or -1.
struct DtdAttributeDecl {
    std::array<int16_t, DtdVersionCount> type;
};

// An attribute some version requires on an element, with those versions.
struct DtdRequiredAttribute {
    const char* name;
    VersionBits versions;
};

// Inside an element with inclusions or exclusions: for each symbol, the
// versions in which the element includes it, and excludes it.
struct DtdExceptions {
    std::array<uint8_t, DtdMaxSymbols> included;
    std::array<uint8_t, DtdMaxSymbols> excluded;
};

// What the walk needs of one element symbol.
struct DtdSymbol {
    VersionBits declared;        // the versions that declare it
    VersionBits ordered_content; // versions whose model needs its automaton
    VersionBits infers_body;     // versions whose model names a table body but no row
    bool body_text;              // an HTML 2.0 text-level element (a, br, em, ...)
    int16_t exceptions;          // index into dtd_exceptions, or -1: none in any version
    // The start state of the content model in each version (0 where the
    // model is unordered or the content is not a model).
    std::array<uint16_t, DtdVersionCount> start;
    uint16_t first_required; // the required attributes, in dtd_required_attributes
    uint16_t required_count;
};

// By symbol (dtd_symbol_count of them; names sorted, "#pcdata" first).
extern const std::string_view dtd_symbol_names[];
extern const size_t dtd_symbol_count;
extern const DtdSymbol dtd_symbols[];
// By parent symbol and child symbol: the versions whose declaration of the
// parent names the child (or takes any text content).
extern const std::array<uint8_t, DtdMaxSymbols> dtd_names_child[];

// Attribute names, sorted; an attribute's number is its place here.
extern const std::string_view dtd_attribute_names[];
extern const size_t dtd_attribute_name_count;
// By symbol * dtd_attribute_name_count + attribute number: the index of
// the declaration in dtd_attribute_decls, or DtdNoAttribute.
extern const uint16_t dtd_attribute_index[];
extern const DtdAttributeDecl dtd_attribute_decls[];
extern const DtdRequiredAttribute dtd_required_attributes[];
extern const DtdValueType dtd_value_types[];
extern const std::string_view dtd_enumerated_values[];

extern const DtdExceptions dtd_exceptions[];

// By state * DtdMaxSymbols + child symbol: the next state, or DtdNoState.
extern const uint16_t dtd_moves[];
// By state: whether the content may end there.
extern const bool dtd_accepts[];

extern const int dtd_tr_symbol;
extern const int dtd_tbody_symbol;
extern const VersionBits dtd_quot_versions; // versions that define the entity "quot"

} // namespace varnel
