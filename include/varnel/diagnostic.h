// The reports varnel makes about a document, as the library hands them
// out (see varnel/varnel.h).
#pragma once

#include <string>

// Marks what the shared library exports; everything else in it is hidden.
#ifndef VARNEL_API
#define VARNEL_API __attribute__((visibility("default")))
#endif

namespace varnel {

// How a report counted: as a warning, or as an error (a document with
// errors is not written).
enum class Severity { Warning, Error };

// One report about a document.
struct Diagnostic {
    // Where it is, counted from 1 (tabs to the tab-size option's stops);
    // 0 and 0 for a message about the file rather than a place in it.
    unsigned line = 0;
    unsigned column = 0;
    Severity severity = Severity::Warning;
    // The text as the program prints it after the position, e.g.
    // "Warning: missing </table>".
    std::string text;

    bool operator==(const Diagnostic&) const = default;
};

} // namespace varnel
