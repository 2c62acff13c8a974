// The declarations of the HTML 2.0, 3.2 and 4.01 DTDs that decide which
// versions a printed page conforms to: for every element its content and
// its inclusions and exclusions, for every attribute the elements that
// take it, its declared value and whether it is required, and the general
// entities each version defines. The table (html_dtds.cpp) is written by
// tools/html_dtds.py from the W3C's DTD files; tools/dtd_compile.cpp
// compiles it into the tables of dtd_tables.h when the program is built.
#pragma once

#include <cstddef>

#include "model/tags.h"

namespace varnel {

// Elements sharing one declaration in the versions of `versions`.
struct DtdElement {
    const char* names;      // space-separated, lower case
    VersionBits versions;   // HTML 2.0 to 4.01 Frameset bits
    const char* content;    // "EMPTY", "CDATA", "RCDATA" or a model group
    const char* inclusions; // space-separated element names
    const char* exclusions;
};

// One attribute as the elements in `elements` declare it.
struct DtdAttribute {
    const char* name;
    const char* type; // "CDATA", "NUMBER", "NAME", ... or an enumeration "(a|b)"
    VersionBits versions;
    bool required;
    const char* elements; // space-separated
};

// General entities defined in the versions of `versions`.
struct DtdEntity {
    VersionBits versions;
    const char* names; // space-separated
};

extern const DtdElement dtd_elements[];
extern const size_t dtd_element_count;
extern const DtdAttribute dtd_attributes[];
extern const size_t dtd_attribute_count;
extern const DtdEntity dtd_entities[];
extern const size_t dtd_entity_count;

} // namespace varnel
