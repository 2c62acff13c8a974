// Placeholder bodies until this module is built.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "output/out_stream.h"
#include "input/lexer.h"
#include "model/node.h"
#include "model/attrs.h"
#include "clean/style.h"

namespace varnel {

LineBuffer line_buffer;
int32_t wrap_column = 68;

void write_char(OutputStream* out, uint32_t c) {}
void add_char(uint32_t c) {}
void add_string(const char* s) {}
void flush_line(OutputStream* out, uint32_t indent) {}
void flush_pending_line(OutputStream* out, uint32_t indent) {}
void break_line_at_wrap_point(OutputStream* out, uint32_t indent) {}
void break_in_attr_value(OutputStream* out, uint32_t indent, bool in_string) {}
void print_char(uint32_t c, PrintMode mode) {}
void print_text(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer, uint32_t start,
                uint32_t end) {}
void free_line_buffer() {}
bool line_fits(uint32_t indent) { return {}; }

} // namespace varnel
