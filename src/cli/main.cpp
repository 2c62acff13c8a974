// Program entry: over mid-sized inputs moves the heap (and the records of
// the smaller ones) to a large page, then installs the out-of-memory exit
// and buffers the standard streams; over small inputs it places the records
// beside the heap and backs the heap ahead; then it runs the program. The
// static x86-64 program starts one step earlier, at varnel_start, which
// hides the vDSO from the C library and maps the program's code and
// constants in one call before the library's start-up runs.
#include "base/util.h"
#include "cli/program_image.h"
#include "cli/run.h"
#include "cli/signals.h"
#include "model/record_region.h"

#ifdef VARNEL_PROGRAM_ENTRY
// The system enters here with the stack as the C library's _start expects
// it and, in %rdx, a routine to run at exit: both are handed on as they
// came (but for the vDSO's entry in the auxiliary vector, marked ignored).
// %rbx and %r12 are the callee's to keep, and _start does not read them.
// (In a section of its own, which the layout script places by name.)
__asm__(".pushsection .text.varnel_start, \"ax\", @progbits\n"
        ".globl varnel_start\n"
        ".type varnel_start, @function\n"
        "varnel_start:\n"
        "    endbr64\n"
        "    mov %rdx, %r12\n"
        "    mov %rsp, %rbx\n"
        "    and $-16, %rsp\n"
        "    mov %rbx, %rdi\n"
        "    call varnel_hide_vdso\n"
        "    call varnel_map_program_image\n"
        "    mov %rbx, %rsp\n"
        "    mov %r12, %rdx\n"
        "    jmp _start\n"
        ".size varnel_start, . - varnel_start\n"
        ".popsection\n");
#endif

int main(int argc, char** argv) {
    // Over pages of a few dozen KB, faults on fresh pages of the heap are
    // a good part of a run; the records of the smaller ones share its
    // large page, which spares clearing a second one.
    const uint64_t largest = varnel::largest_named_input(argc, argv);
    if (varnel::takes_large_pages(largest)) {
        void* const page = varnel::move_heap_to_large_page();
        if (largest < varnel::SharedLargePageInputTo) varnel::share_large_page_with_heap(page);
    }
    varnel::install_memory_handler();
    varnel::buffer_standard_streams();
    if (largest < varnel::LargePageInputFrom) {
        // A small tree's records lie beside the heap rather than among
        // the other mappings: fewer page tables for the run to make.
        varnel::reserve_records_above_heap(varnel::heap_free_top_floor());
        varnel::back_heap_ahead(varnel::HeapBackedAheadBytes);
    }
    const int status = varnel::run_program(argc, argv, nullptr, true);
    varnel::keep_record_blocks_to_the_end();
    return status;
}
