// Memory and byte-string utilities, and the fatal error.
#include "base/util.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>
#ifdef VARNEL_HEAP_MOVES
#include <malloc.h>
#endif

#include "base/chars.h"
#include "base/short_name.h"

namespace varnel {

void fatal_error(const char* message) {
    throw FatalError{message};
}

namespace {

void out_of_memory() {
    fatal_error("Out of memory!");
}

} // namespace

void* mem_alloc(uint32_t size) {
    void* p = malloc(size == 0 ? 1 : size);
    if (p == nullptr) out_of_memory();
    return p;
}

void* mem_realloc(void* block, uint32_t size) {
    void* p = realloc(block, size == 0 ? 1 : size);
    if (p == nullptr) out_of_memory();
    return p;
}

void mem_free(void* block) {
    free(block);
}

void advise_large_pages(void* memory, size_t bytes) {
#ifdef MADV_HUGEPAGE
    const uintptr_t from = reinterpret_cast<uintptr_t>(memory);
    const uintptr_t first = (from + LargePageBytes - 1) & ~(uintptr_t{LargePageBytes} - 1);
    const uintptr_t last = (from + bytes) & ~(uintptr_t{LargePageBytes} - 1);
    if (last > first) (void)madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)memory;
    (void)bytes;
#endif
}

#ifdef VARNEL_HEAP_MOVES
namespace {
// Where the heap's free top starts: the blocks to come are carved from it,
// in order, up to the heap's end (sbrk(0)).
uintptr_t heap_free_top() {
    return reinterpret_cast<uintptr_t>(sbrk(0)) - mallinfo2().keepcost;
}
} // namespace
#endif

void* move_heap_to_large_page() {
#if defined(VARNEL_HEAP_MOVES) && defined(MADV_HUGEPAGE)
    const uintptr_t top = heap_free_top();
    const uintptr_t aligned = (top + LargePageBytes - 1) & ~(uintptr_t{LargePageBytes} - 1);
    const size_t gap = aligned - top;
    // Blocks of a few large pages come from the heap too, and the heap is
    // not cut back while its top holds less than that, which would split
    // the large page again.
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(2 * LargePageBytes));
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(4 * LargePageBytes));
    // Grow the heap past the large page, advise it, and give the growth
    // back to the top.
    void* reach = malloc(gap + LargePageBytes);
    if (reach == nullptr) return nullptr;
    (void)madvise(reinterpret_cast<void*>(aligned), LargePageBytes, MADV_HUGEPAGE);
    free(reach);
    // A block that is never written takes the stretch below the large
    // page (its pages are never backed), so the blocks to come start on it.
    if (gap >= 64) {
        void* below = malloc(gap - 8);
        // Kept to the end: the compiler may not drop it as unused.
        asm volatile("" : : "r"(below) : "memory");
    }
    return reinterpret_cast<void*>(aligned);
#else
    return nullptr;
#endif
}

void* heap_free_top_floor() {
#ifdef VARNEL_HEAP_MOVES
    return reinterpret_cast<void*>(heap_free_top() & ~(uintptr_t{LargePageBytes} - 1));
#else
    return nullptr;
#endif
}

void back_heap_ahead(size_t bytes) {
#if defined(VARNEL_HEAP_MOVES) && defined(MADV_POPULATE_WRITE)
    constexpr uintptr_t Page = 4096;
    // From the free top, as far as the heap reaches now (it is not grown
    // for this).
    const uintptr_t from = heap_free_top() & ~(Page - 1);
    const uintptr_t end = reinterpret_cast<uintptr_t>(sbrk(0)) & ~(Page - 1);
    const uintptr_t to = std::min<uintptr_t>(from + bytes, end);
    if (to > from) (void)madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
    (void)bytes;
#endif
}

char* str_dup(const char* s) {
    if (s == nullptr) return nullptr;
    uint32_t n = str_length(s);
    char* copy = static_cast<char*>(mem_alloc(n + 1));
    memcpy(copy, s, n + 1);
    return copy;
}

char* str_ndup(const char* s, int32_t n) {
    if (s == nullptr || n < 0) return nullptr;
    char* copy = static_cast<char*>(mem_alloc(static_cast<uint32_t>(n) + 1));
    int32_t i = 0;
    while (i < n && s[i] != '\0') {
        copy[i] = s[i];
        ++i;
    }
    copy[i] = '\0';
    return copy;
}

void copy_bytes(char* dest, const char* src, int32_t n) {
    if (dest == nullptr || src == nullptr || n == 0) return;
    if (n < 0) {
        str_copy(dest, src);
        return;
    }
    memcpy(dest, src, static_cast<size_t>(n));
}

void str_copy(char* dest, const char* src) {
    memcpy(dest, src, str_length(src) + 1);
}

void str_append(char* dest, const char* src) {
    str_copy(dest + str_length(dest), src);
}

uint32_t str_length(const char* s) {
    if (s == nullptr) return 0;
    return static_cast<uint32_t>(strlen(s));
}

int str_compare(const char* a, const char* b) {
    for (;; ++a, ++b) {
        signed char x = static_cast<signed char>(*a);
        signed char y = static_cast<signed char>(*b);
        if (x != y) return x > y ? 1 : -1;
        if (x == 0) return 0;
    }
}

int str_ncompare(const char* a, const char* b, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        signed char x = static_cast<signed char>(a[i]);
        signed char y = static_cast<signed char>(b[i]);
        if (x != y) return x > y ? 1 : -1;
        if (x == 0) return 0;
    }
    return 0;
}

int str_case_compare(const char* a, const char* b) {
    for (;; ++a, ++b) {
        int x = static_cast<unsigned char>(*a);
        int y = static_cast<unsigned char>(*b);
        if (to_lower(x) != to_lower(y)) {
            return static_cast<signed char>(*a) > static_cast<signed char>(*b) ? 1 : -1;
        }
        if (x == 0) return 0;
    }
}

namespace {

// Single-byte lower-case mapping of the "C" locale: ASCII letters only.
int lower_byte(int c) {
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

} // namespace

int str_ncase_compare(const char* a, const char* b, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        int x = lower_byte(static_cast<unsigned char>(a[i]));
        int y = lower_byte(static_cast<unsigned char>(b[i]));
        if (x != y) return x > y ? 1 : -1;
        if (x == 0) return 0;
    }
    return 0;
}

int str_case_contains(const char* text, const char* pattern) {
    uint32_t n = str_length(pattern);
    uint32_t len = str_length(text);
    if (n > len) return 0;
    for (uint32_t i = 0; i + n <= len; ++i) {
        if (str_ncase_compare(text + i, pattern, static_cast<int32_t>(n)) == 0) return 1;
    }
    return 0;
}

bool equals_ignore_case(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return a == b;
    return str_case_compare(a, b) == 0;
}

bool starts_with_ignore_case(const char* text, const char* prefix) {
    if (text == nullptr || prefix == nullptr) return false;
    uint32_t n = str_length(prefix);
    return str_ncase_compare(text, prefix, static_cast<int32_t>(n)) == 0 && str_length(text) >= n;
}

bool scan_decimal(const char* text, int* value) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    if (*p < '0' || *p > '9') return false;
    int64_t number = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        number = number * 10 + (*p - '0');
        if (number > static_cast<int64_t>(INT32_MAX) + 1) return false;
    }
    if (negative) number = -number;
    if (number > INT32_MAX || number < INT32_MIN) return false;
    *value = static_cast<int>(number);
    return true;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (to_lower(static_cast<unsigned char>(a[i])) !=
            to_lower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string lower_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(to_lower(static_cast<unsigned char>(c)));
    return out;
}

char* heap_copy(std::string_view text) {
    const auto n = static_cast<uint32_t>(text.size());
    char* block = new char[sizeof n + text.size() + 1];
    std::memcpy(block, &n, sizeof n);
    char* p = block + sizeof n;
    std::memcpy(p, text.data(), text.size());
    p[text.size()] = '\0';
    return p;
}

// Memory a record cannot point at is memory it cannot have.
void pointer_too_wide() {
    fatal_error("Out of memory!");
}

void heap_copy_release(char* copy) {
    delete[](copy - sizeof(uint32_t));
}

} // namespace varnel
