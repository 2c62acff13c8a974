// The program run: start-up (dictionaries, per-user configuration), the scan
// of the argument list that interleaves switches with documents, the
// per-document pipeline (parse, check, clean, doctype, report, print) and the
// exit status.
#pragma once

#include <cstdio>

namespace varnel {

// Runs the whole program; returns the exit status (0, 1 or 2).
int run_program(int argc, char** argv);

// Process-wide driver state.
extern FILE* error_stream;
extern int total_warnings;
extern int total_errors;

// Sets up the process-wide tables that documents need (character classes,
// dictionaries, option table). Idempotent; tests call it.
void init_globals();

} // namespace varnel
