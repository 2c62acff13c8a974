// Mapping the program's code and constants in one call (see the header).
#include "cli/program_image.h"

#include <cstdint>

#include <elf.h>
#include <link.h>

// The ELF header of the executable, which its first loaded segment holds
// (defined by the linker).
extern "C" const ElfW(Ehdr) __ehdr_start __attribute__((visibility("hidden")));
// The bounds of the code a run over an ordinary page goes through, where
// the program is linked with its layout script (cmake/program_layout.ld);
// null otherwise. (Not hidden: a position-independent program then reads
// them from its table of addresses, which holds null for a weak symbol no
// object defines.)
extern "C" const char varnel_lead_start[] __attribute__((weak));
extern "C" const char varnel_core_end[] __attribute__((weak));
// The end of the constants such a run reads, where the layout script marks
// it: the libraries' other constants and the tables for unwinding (which
// only a thrown exception reads) follow.
extern "C" const char varnel_constants_end[] __attribute__((weak));

namespace varnel {

namespace {

#if defined(__x86_64__) && defined(__linux__)
constexpr long SysMadvise = 28;         // (the C library is not there yet to call)
constexpr long AdvicePopulateRead = 22; // MADV_POPULATE_READ, Linux 5.14
constexpr uintptr_t Page = 4096;

// The madvise system call, without the C library (which would set errno,
// a thread-local variable that does not exist yet).
__attribute__((no_stack_protector, no_profile_instrument_function)) inline long
advise(uintptr_t start, uintptr_t length, long advice) {
    long result;
    __asm__ volatile("syscall"
                     : "=a"(result)
                     : "0"(SysMadvise), "D"(start), "S"(length), "d"(advice)
                     : "rcx", "r11", "memory");
    return result;
}
#endif

} // namespace

// (Neither instrumented for a profile nor guarded against stack smashing:
// both need the C library's run-time state, which does not exist when the
// entry code calls this. Kept, and kept global under GCC's link-time
// optimization, for the entry code's call, which the compiler does not see.)
#if defined(__GNUC__) && !defined(__clang__)
#define VARNEL_CALLED_FROM_ASSEMBLY __attribute__((used, externally_visible))
#else
#define VARNEL_CALLED_FROM_ASSEMBLY __attribute__((used))
#endif
VARNEL_CALLED_FROM_ASSEMBLY __attribute__((no_stack_protector, no_profile_instrument_function)) bool
map_program_image() {
#if defined(__x86_64__) && defined(__linux__)
    // (The table of segments lies beyond the header, in the same segment:
    // it is reached from the header's address, not from the header object.)
    const uintptr_t base = reinterpret_cast<uintptr_t>(&__ehdr_start);
    const int count = __ehdr_start.e_phnum;
    const auto* segments = reinterpret_cast<const ElfW(Phdr)*>(base + __ehdr_start.e_phoff);
    // Where the image lies against the addresses it was linked for (a
    // position-independent one, such as the unit tests, lies anywhere):
    // the segment that holds the header starts at `base`.
    uintptr_t shift = 0;
    for (int i = 0; i < count; ++i) {
        if (segments[i].p_type == PT_LOAD && segments[i].p_offset == 0)
            shift = base - segments[i].p_vaddr;
    }
    // Where the layout gathers the code ordinary runs go through, only that
    // part of the code is mapped: the rest (what other runs use, and most
    // of the libraries) is left to be mapped where a run reaches it.
    const auto lead_start = reinterpret_cast<uintptr_t>(varnel_lead_start);
    const auto core_end = reinterpret_cast<uintptr_t>(varnel_core_end);
    const bool has_core = lead_start != 0 && core_end > lead_start;
    const auto constants_end = reinterpret_cast<uintptr_t>(varnel_constants_end);
    // Segments that follow each other without a gap (the header's and the
    // code's, as a rule) are mapped in one call.
    bool mapped = true;
    uintptr_t from = 0;
    uintptr_t to = 0;
    for (int i = 0; i < count; ++i) {
        const ElfW(Phdr)& segment = segments[i];
        // Writable data is copied on its first write anyway.
        if (segment.p_type != PT_LOAD || (segment.p_flags & PF_W) != 0) continue;
        uintptr_t start = shift + segment.p_vaddr;
        uintptr_t end = start + segment.p_memsz;
        if (has_core && (segment.p_flags & PF_X) != 0 && lead_start >= start && core_end <= end) {
            start = lead_start;
            end = core_end;
        }
        if ((segment.p_flags & PF_X) == 0 && constants_end > start && constants_end <= end)
            end = constants_end;
        start &= ~(Page - 1);
        end = (end + Page - 1) & ~(Page - 1);
        if (start != to) {
            if (to != from && advise(from, to - from, AdvicePopulateRead) != 0) mapped = false;
            from = start;
        }
        to = end;
    }
    if (to != from && advise(from, to - from, AdvicePopulateRead) != 0) mapped = false;
    return mapped;
#else
    return false;
#endif
}

VARNEL_CALLED_FROM_ASSEMBLY __attribute__((no_stack_protector, no_profile_instrument_function)) void
hide_vdso(uintptr_t* stack) {
    // The argument count, the arguments and a null, the environment and a
    // null, then pairs of type and value up to AT_NULL.
    uintptr_t* entry = stack + 1 + stack[0] + 1;
    while (*entry != 0)
        ++entry;
    for (++entry; entry[0] != AT_NULL; entry += 2) {
        if (entry[0] == AT_SYSINFO_EHDR) entry[0] = AT_IGNORE;
    }
}

} // namespace varnel
