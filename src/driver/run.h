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

// Replaces the file `path` with what `write` puts into a stream: the text
// goes into a new temporary file beside the original, which is renamed over
// it only once it was written and flushed completely, keeping the original's
// permission bits. Returns false, leaving the original untouched, when the
// temporary file could not be created or written.
bool replace_file_contents(const char* path, void (*write)(FILE* sink, void* context),
                           void* context);

// Scans a decimal integer as the "-wrap" switch does (leading white space,
// optional sign); false when the text holds no number in the 32-bit range.
bool scan_decimal(const char* text, int* value);

} // namespace varnel
