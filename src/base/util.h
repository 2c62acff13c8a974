// Memory and byte-string utilities, and the one way a run ends early: a
// fatal error.
//
// Every allocation in the program either succeeds or ends the document
// with fatal_error("Out of memory!"): the C-style routines here check for
// it. A fatal error is thrown as a FatalError; the pipeline lets it pass
// (after releasing what it holds) and the caller turns it into a result
// (the library) or the program's "Fatal error" exit (the program). The
// string routines work on NUL-terminated byte strings and keep the exact
// comparison semantics the rest of the program relies on (signed-byte
// ordering, ASCII-only case folding). Used by every module.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace varnel {

// A condition that ends the run: the message is what the program shows
// after "Fatal error: ".
struct FatalError {
    std::string message;
};

// Throws FatalError{message}.
[[noreturn]] void fatal_error(const char* message);

void* mem_alloc(uint32_t size);
void* mem_realloc(void* block, uint32_t size);
void mem_free(void* block);

// Asks the system to back the 2 MiB-aligned stretches inside the `bytes`
// at `memory` with large pages, where it can: one fault then maps 2 MiB
// instead of a page. Only a hint; for memory a large document fills.
void advise_large_pages(void* memory, size_t bytes);
inline constexpr size_t LargePageBytes = size_t{2} << 20;
// Pages of input whose size is in [LargePageInputFrom, LargePageInputTo)
// have their tree's records, and in the program their heap, on large
// pages. Below, a run writes fewer small pages than clearing a large page
// costs; above, the unfilled part of a large page would add to the peak
// memory (and a large tree's blocks are so backed anyway).
inline constexpr size_t LargePageInputFrom = size_t{16} << 10;
inline constexpr size_t LargePageInputTo = size_t{1} << 20;
inline constexpr bool takes_large_pages(uint64_t input_size) {
    return input_size >= LargePageInputFrom && input_size < LargePageInputTo;
}
// Below this size the tree of a page fits in the heap's large page beside
// the page's buffers, and the program lets its records share that page
// (see share_large_page_with_heap) instead of clearing a second one.
inline constexpr size_t SharedLargePageInputTo = size_t{256} << 10;
// Makes the blocks the heap hands out next come from one large page (a
// run then takes one fault for its heap instead of one per page of heap
// it writes; the program does it over pages of 16 KB to 1 MB). For a
// program, at its start: it changes how the process's heap grows and
// when it is given back. Returns the large page's start, or null when
// nothing was done: always, unless HeapMovesToLargePage (glibc 2.33 or
// later, no sanitizer heap).
void* move_heap_to_large_page();
// Backs the next `bytes` of the heap's free top with memory in one call
// (the program does it for the heap of pages under 16 KB, whose runs
// write most of the first few dozen KiB of it): the system then maps the
// pages together instead of taking a fault as each one is first written.
// Only done where HeapMovesToLargePage holds and the system has
// MADV_POPULATE_WRITE (Linux 5.14); else nothing.
void back_heap_ahead(size_t bytes);
// The 2 MiB boundary at or below the heap's free top, as a base for the
// record region of a small page's tree (see reserve_records_above_heap);
// null unless HeapMovesToLargePage.
void* heap_free_top_floor();
// How much of the heap a run over a small page backs ahead: on the real
// pages under 16 KB of the benchmark, 48 KiB gained a little more than
// 32 or 64.
inline constexpr size_t HeapBackedAheadBytes = size_t{48} << 10;
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#if __GLIBC_PREREQ(2, 33)
#define VARNEL_HEAP_MOVES 1
#endif
#endif
#ifdef VARNEL_HEAP_MOVES
inline constexpr bool HeapMovesToLargePage = true;
#else
inline constexpr bool HeapMovesToLargePage = false;
#endif

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
// The same on views, which may hold NUL bytes.
bool same_ignoring_case(std::string_view a, std::string_view b);
// `text` with its ASCII capital letters made small.
std::string lower_ascii(std::string_view text);

// Scans a decimal integer as a "%d" conversion does (leading white space,
// optional sign); false when the text holds no number in the 32-bit range.
bool scan_decimal(const char* text, int* value);

// Calls `f` for each space-separated word of `list` (also in constant
// expressions).
template <typename F> constexpr void for_each_word(std::string_view list, F f) {
    size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && list[i] == ' ')
            ++i;
        size_t j = i;
        while (j < list.size() && list[j] != ' ')
            ++j;
        if (j > i) f(list.substr(i, j - i));
        i = j;
    }
}

} // namespace varnel
