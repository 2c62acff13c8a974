// The per-document pipeline: reads one document (a file, or a stream such
// as standard input or bytes in memory), chooses its encoding, builds and
// repairs the tree, runs the cleaning passes, settles the doctype, reports,
// and writes the result (to an output stream, back into its file, or into
// slide files).
//
// Everything it needs of the run comes in a DocumentJob, and it keeps no
// state of its own between documents: the program runs documents on
// several threads at once with it, and the library's calls are built on it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "api/files.h"
#include "base/config.h"
#include "base/messages.h"

namespace varnel {

class FileSet;

struct DocumentJob {
    // The run's options in force for this document (derive_options applied).
    Config options;
    // The file to read; null to read `input` (standard input, or bytes),
    // whose label is "stdin".
    const char* name = nullptr;
    FILE* input = nullptr; // not owned
    // Where the document is printed when it is not written back or split
    // into slides (standard output).
    FILE* output = nullptr;
    // The report stream (the error file, or standard error).
    FILE* reports = nullptr;
    // Where messages about files go (standard error).
    FILE* errors = nullptr;
    // Records of the reports and messages, when wanted.
    std::vector<Diagnostic>* diagnostics = nullptr;
    // The name messages about files quote the program by.
    const char* program_name = "varnel";
    // The documents of the run: a document read is added; no slide file
    // overwrites or deletes one. May be null.
    FileSet* documents = nullptr;
    // Hooks that hear of the temporary file of a write-back. May be null.
    const FileEvents* file_events = nullptr;
    // The number of the first style class the document makes (classes are
    // numbered on through the run); unset: 1. Asked at most once.
    std::function<int()> first_class_number;
    // Called once, as soon as the document will make no more classes, with
    // the number after its last class (0 when it made none).
    std::function<void(int)> class_numbers_settled;
    // Called right after the document has been printed to `output` (the
    // program checks standard output there, before the advice is written).
    std::function<void()> printed;
    // The process ends right after this document: its tree is left for the
    // system to reclaim with the rest of the process instead of being
    // released record by record (a walk over all of it, a few percent of
    // the time on a large page). Ignored where leaks are checked.
    bool process_ends_after = false;
};

// What a document adds to the run.
struct DocumentOutcome {
    uint32_t warnings = 0; // added to the run's count of warnings
    uint32_t errors = 0;   // added to the run's count of errors
    // A written-back file or a slide file could not be written.
    bool output_failed = false;
    // The document was printed to the job's output stream.
    bool printed = false;
    // The tree lost its integrity: the run stops.
    bool panic = false;
};

// Runs one document through the pipeline. A fatal error (FatalError) passes
// out once what the document held is released.
DocumentOutcome process_document(const DocumentJob& job);

} // namespace varnel
