// Memory and byte-string utilities, and the program's one fatal-error exit.
//
// Every allocation in the program either succeeds or ends the run through
// fatal_error("Out of memory!"): the C-style routines here check for it, and
// install_memory_handler() makes operator new do the same. The string
// routines work on NUL-terminated byte strings and keep the exact comparison
// semantics the rest of the program relies on (signed-byte ordering, ASCII-only
// case folding). Used by every module.
#pragma once

#include <cstdint>
#include <cstdio>

namespace varnel {

// The document currently being read; fatal_error closes it before exiting.
extern FILE* input_file;

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

} // namespace varnel
