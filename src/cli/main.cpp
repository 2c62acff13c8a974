// Program entry: installs the out-of-memory exit, buffers standard output and
// runs the program.
#include "api/run.h"
#include "base/util.h"

int main(int argc, char** argv) {
    varnel::install_memory_handler();
    varnel::buffer_standard_output();
    return varnel::run_program(argc, argv);
}
