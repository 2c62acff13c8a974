// Program entry: installs the out-of-memory exit, buffers the standard
// streams and runs the program.
#include "cli/run.h"
#include "cli/signals.h"
#include "model/record_region.h"

int main(int argc, char** argv) {
    varnel::install_memory_handler();
    varnel::buffer_standard_streams();
    const int status = varnel::run_program(argc, argv, nullptr, true);
    varnel::keep_record_blocks_to_the_end();
    return status;
}
