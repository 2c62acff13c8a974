// The program run: start-up (dictionaries, per-user configuration), the scan
// of the argument list that interleaves switches with documents, the
// per-document pipeline (parse, check, clean, doctype, report, print) and the
// exit status.
#pragma once

#include <cstdio>
#include <string>

namespace varnel {

// Runs the whole program; returns the exit status (0, 1 or 2).
int run_program(int argc, char** argv);

// Process-wide driver state.
extern FILE* error_stream;
extern std::string error_stream_name;
extern int total_warnings;
extern int total_errors;

// Sets up the process-wide tables that documents need (character classes,
// dictionaries, option table). Idempotent; tests call it.
void init_globals();

// Gives standard output a large buffer; call once, before anything is
// written to it.
void buffer_standard_output();

// Why a write-back did not happen.
struct ReplaceFailure {
    std::string reason;       // what went wrong, for the message
    bool result_kept = false; // the complete result survives in a temporary
                              // file (named in `reason`); the original was
                              // partly overwritten
};

// Replaces the contents of the regular file `path` (through a symbolic
// link: of its target) with what `write` puts into a stream. The text goes
// into a new temporary file beside the file first. When the file has a
// single name and the new file can be given its owner, group, permission
// bits and extended attributes, the new file is renamed over it; otherwise
// (several hard links, an owner the user cannot give away, a directory that
// forbids the rename) the finished text is copied into the original file in
// place, so that it stays the same file. Refuses files that are not regular
// or that the user may not write. Returns false, with the reason in
// `failure`, when the file was not replaced.
bool replace_file_contents(const char* path, void (*write)(FILE* sink, void* context),
                           void* context, ReplaceFailure* failure = nullptr);

// Scans a decimal integer as the "-wrap" switch does (leading white space,
// optional sign); false when the text holds no number in the 32-bit range.
bool scan_decimal(const char* text, int* value);

} // namespace varnel
