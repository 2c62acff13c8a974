// Placeholder bodies until this module is built.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "driver/config.h"
#include "input/lexer.h"
#include "model/node.h"
#include "model/attrs.h"
#include "clean/style.h"

namespace varnel {

Config options;

void reset_options() {}
void init_options() {}
void free_options() {}
void read_config_file(const char* name) {}
bool apply_option_string(const char* name, const char* value) { return {}; }
void derive_options() {}
std::string expand_home(const char* path) { return {}; }

} // namespace varnel
