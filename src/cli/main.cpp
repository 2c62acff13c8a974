// Program entry: installs the out-of-memory exit, buffers the standard
// streams and runs the program.
#include "cli/run.h"
#include "cli/signals.h"

int main(int argc, char** argv) {
    varnel::install_memory_handler();
    varnel::buffer_standard_streams();
    return varnel::run_program(argc, argv, nullptr, true);
}
