// varnel as a library: reads an HTML (or XML) document, reports what is
// wrong with it with line and column, repairs it, and writes it out neatly,
// exactly as the varnel program does for one document.
//
//     varnel::Options options;
//     options.set("indent", "auto");
//     varnel::Result result = varnel::process("<title>x</title><p>text", options);
//     // result.output: the repaired page; result.diagnostics: the reports
//
// Options are set by the names and values of the program's configuration
// files ("indent: auto" is options.set("indent", "auto")), one by one or
// from a file. Each call processes one document as a run of the program
// over that document alone would: nothing carries over from one call to the
// next, and calls may run on several threads at once (an Options object may
// be shared by calls that only read it). Problems are values: no call
// prints, exits or throws for anything about a document or a file (only
// the allocation of the results themselves could throw std::bad_alloc).
//
// Link with -lvarnel (pkg-config: varnel). A C interface for other
// languages is in varnel/varnel_c.h.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "varnel/diagnostic.h"

namespace varnel {

// What processing a document gave.
struct Result {
    // The document as written: empty when it was not written (it has
    // errors, the markup option is off, it was written back into its file
    // or split into slide files).
    std::string output;
    // Everything the program would print about the document on standard
    // error or in its error file, in order: banner, reports, summaries,
    // advice, messages about files.
    std::string report;
    // The reports one by one (the advice and summary paragraphs are only in
    // `report`).
    std::vector<Diagnostic> diagnostics;
    // The counts behind the exit status: the reports ("warnings/errors",
    // errors included) and the errors. An XML document's warnings do not
    // count, as in the program.
    unsigned warnings = 0;
    unsigned errors = 0;
    // The exit status the program would give for this document alone: 2
    // for errors, a fatal error or an output that could not be written, 1
    // for warnings only, 0 otherwise.
    int status = 0;
};

// The options of a run, starting from the built-in defaults (no
// configuration file is read unless asked).
class VARNEL_API Options {
  public:
    Options();
    ~Options();
    Options(const Options& other);
    Options& operator=(const Options& other);
    Options(Options&& other) noexcept;
    Options& operator=(Options&& other) noexcept;

    // Sets an option by its configuration name and value. False when the
    // name is unknown or the value cannot be read; `message` (when given)
    // then receives the program's warning, e.g. "Warning - unknown option:
    // colour". A value that cannot be read sets what the program sets.
    bool set(std::string_view name, std::string_view value, std::string* message = nullptr);

    // Reads a configuration file ("name: value" lines). False when it
    // cannot be read or holds values that cannot be; `messages` (when
    // given) then receives the program's warnings, one a line. A missing
    // file is no error: nothing is set.
    bool read_file(const std::string& path, std::string* messages = nullptr);

  private:
    struct State;
    std::unique_ptr<State> state_;

    friend VARNEL_API Result process(std::string_view document, const Options& options);
    friend VARNEL_API Result process_file(const std::string& path, const Options& options);
};

// Processes a document given as its bytes (read as the program reads
// standard input, with "stdin" as its label). Slide files (split: yes) are
// written into the current directory.
VARNEL_API Result process(std::string_view document, const Options& options = Options());

// Processes the file at `path`. With write-back ("write-back: yes") the
// result replaces the file's contents, never losing the file (through a
// temporary file beside it), and `output` stays empty; when the file cannot
// be written the result is in `output` and a diagnostic says why.
VARNEL_API Result process_file(const std::string& path, const Options& options = Options());

// The release date the program's version text shows.
VARNEL_API const char* version();

} // namespace varnel
