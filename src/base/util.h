// Memory and byte-string utilities, and the program's one fatal-error exit.
//
// Every allocation in the program either succeeds or ends the run through
// fatal_error("Out of memory!"): the C-style routines here check for it, and
// install_memory_handler() makes operator new do the same. The string
// routines work on NUL-terminated byte strings and keep the exact comparison
// semantics the rest of the program relies on (signed-byte ordering, ASCII-only
// case folding). Used by every module.
//
// It also keeps the two records that the run's file handling shares between
// modules: the temporary file being written (removed by the fatal-error exit
// and by the signals that end the run), and the identities of the documents
// of the run, which no output may overwrite or delete.
#pragma once

#include <sys/stat.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>

namespace varnel {

// The document currently being read; fatal_error closes it before exiting.
extern FILE* input_file;

// The name the program was started under, quoted by messages about files.
extern const char* program_name;

// Writes "Fatal error: <message>" to standard error, releases the global
// tables, closes the input file and ends the process with status 2.
[[noreturn]] void fatal_error(const char* message);

// Releases the dictionaries, the option table with its strings and the
// printer's pending line.
void release_globals();

// Makes operator new end the program through fatal_error("Out of memory!").
void install_memory_handler();

void* mem_alloc(uint32_t size);
void* mem_realloc(void* block, uint32_t size);
void mem_free(void* block);

char* str_dup(const char* s);
char* str_ndup(const char* s, int32_t n);
void copy_bytes(char* dest, const char* src, int32_t n);
void str_copy(char* dest, const char* src);
void str_append(char* dest, const char* src);
uint32_t str_length(const char* s);
int str_compare(const char* a, const char* b);
int str_ncompare(const char* a, const char* b, int32_t n);
int str_case_compare(const char* a, const char* b);
int str_ncase_compare(const char* a, const char* b, int32_t n);
int str_case_contains(const char* text, const char* pattern);

// Convenience forms used throughout: ASCII-case-insensitive equality and
// prefix tests on std::string-like data.
bool equals_ignore_case(const char* a, const char* b);
bool starts_with_ignore_case(const char* text, const char* prefix);

// ---- the temporary file ----
// At most one temporary file exists at a time. While it is registered, the
// fatal-error exit and the signals SIGINT, SIGTERM, SIGHUP and SIGXFSZ remove
// it before the process ends (a signal then takes its default action).

// Creates a new file from `name_template` (which ends in "XXXXXX", as for
// mkstemp) and registers it; returns its descriptor, or -1 with errno set
// (ENAMETOOLONG when the name does not fit the record).
int create_temporary_file(const std::string& name_template);
// The registered file's name ("" when there is none).
const char* temporary_file_name();
// Unlinks the registered file and forgets it; safe inside a signal handler.
void remove_temporary_file();
// Forgets the registered file without removing it (it was renamed, or it is
// kept on purpose).
void release_temporary_file();

// Holds back the signals that end the run while it lives, so that a step
// such as a rename and the record that follows it cannot be cut in half.
class ExitSignalBlock {
  public:
    ExitSignalBlock();
    ~ExitSignalBlock();
    ExitSignalBlock(const ExitSignalBlock&) = delete;
    ExitSignalBlock& operator=(const ExitSignalBlock&) = delete;

  private:
    sigset_t saved_;
};

// ---- the documents of the run ----
// Files the run reads as documents: no output (error file, slide, stale slide
// clean-up) may overwrite or delete them. Compared by device and inode, so
// that every name of a file, links included, is the same file.
void protect_file(const struct stat& info);
bool is_protected_file(const struct stat& info);
void clear_protected_files();

} // namespace varnel
