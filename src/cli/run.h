// The program: the scan of the argument list that interleaves switches with
// documents, the error file, the documents run one after another or on
// several threads (-j), the terminal side of the reports and the exit
// status. Each document goes through the library's pipeline (api/).
#pragma once

#include <cstdint>

#include "base/config.h"

namespace varnel {

// Runs the whole program; returns the exit status (0, 1 or 2). When
// `final_options` is not null it receives the options in force where the
// scan ended (tests look at them).
// `ends_process`: the process ends when this returns, so the last
// document's tree need not be released (see DocumentJob).
int run_program(int argc, char** argv, Config* final_options = nullptr, bool ends_process = false);

// The size in bytes of the largest regular file the arguments name (or of
// standard input, when it is one), 0 when there is none: it decides
// whether a run takes its heap, and its records, from a large page (see
// main.cpp). Option values count as names.
uint64_t largest_named_input(int argc, char** argv);

// Gives standard output and error buffers of their own (standard error a
// large one unless it is a terminal); call once, before anything is
// written.
void buffer_standard_streams();

} // namespace varnel
