// Placeholder bodies until this module is built.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "input/stream.h"
#include "input/lexer.h"
#include "model/node.h"
#include "model/attrs.h"
#include "clean/style.h"

namespace varnel {


InputStream* new_input_stream(FILE* file, CharEncoding encoding) { return {}; }
void free_input_stream(InputStream* stream) {}
int read_char(InputStream* stream) { return {}; }
void unread_char(int c, InputStream* stream) {}
bool is_end_of_stream(InputStream* stream) { return {}; }
int decode_utf8(const unsigned char* bytes, uint32_t* code) { return {}; }
unsigned char* encode_utf8(unsigned char* buffer, uint32_t code) { return {}; }

} // namespace varnel
