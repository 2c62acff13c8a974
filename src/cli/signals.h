// The program's end when it cannot go on: the temporary files of the
// write-backs under way, which a signal that stops the run (SIGINT,
// SIGTERM, SIGHUP, SIGXFSZ) or exhausted memory must not leave behind, and
// the "Fatal error" exit.
//
// This is the one place with process-wide state: a signal handler can reach
// nothing else. The library reports each temporary file through the
// FileEvents hooks (api/files.h) that file_events() returns; the handler
// removes those still registered and then lets the signal take its default
// action. Steps the library holds (a rename and its record, a copy into
// the original) are not cut in half: a signal that arrives meanwhile is
// acted on when the last of them ends.
#pragma once

#include "api/files.h"

namespace varnel {

// The hooks that register the temporary files; the signal handlers are
// installed when the first temporary file is made.
const FileEvents* file_events();

// Removes every registered temporary file; safe inside a signal handler.
void remove_temporary_files();

// Writes "Fatal error: <message>", removes the temporary files and ends the
// process with status 2.
[[noreturn]] void fatal_exit(const char* message);

// Makes operator new end the program through fatal_exit("Out of memory!").
void install_memory_handler();

} // namespace varnel
