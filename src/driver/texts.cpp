// Placeholder bodies until this module is built.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "driver/messages.h"

namespace varnel {

const char* const release_date = "8 December 2026";
void show_banner(FILE* out, const char* date, const char* label) {}
void report_needs_fixing(FILE* out) {}
void report_closing_info(FILE* out) {}
void show_help(FILE* out, const char* program_name) {}
void show_version(FILE* out) {}

} // namespace varnel
