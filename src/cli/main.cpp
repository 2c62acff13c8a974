// Program entry: over mid-sized inputs moves the heap to a large page, then
// installs the out-of-memory exit, buffers the standard streams and runs
// the program.
#include "base/util.h"
#include "cli/run.h"
#include "cli/signals.h"
#include "model/record_region.h"

int main(int argc, char** argv) {
    // Over pages of a few dozen KB, faults on fresh pages of the heap are
    // a good part of a run.
    if (varnel::heap_page_suits_inputs(argc, argv)) varnel::move_heap_to_large_page();
    varnel::install_memory_handler();
    varnel::buffer_standard_streams();
    const int status = varnel::run_program(argc, argv, nullptr, true);
    varnel::keep_record_blocks_to_the_end();
    return status;
}
