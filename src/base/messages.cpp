// The positional report writer.
#include "base/messages.h"

namespace varnel {

void write_report(FILE* out, std::vector<Diagnostic>* records, const std::string& label,
                  bool gnu_emacs, uint32_t line, uint32_t column, Severity severity,
                  const std::string& text) {
    if (out != nullptr) {
        if (gnu_emacs) {
            fprintf(out, "%s:%u:%u: ", label.c_str(), line, column);
        } else {
            fprintf(out, "line %u column %u - ", line, column);
        }
        fwrite(text.data(), 1, text.size(), out);
        fputc('\n', out);
    }
    if (records != nullptr) records->push_back(Diagnostic{line, column, severity, text});
}

void write_message(FILE* out, std::vector<Diagnostic>* records, Severity severity,
                   const std::string& text) {
    if (out != nullptr) {
        fwrite(text.data(), 1, text.size(), out);
        fputc('\n', out);
    }
    if (records != nullptr) records->push_back(Diagnostic{0, 0, severity, text});
}

} // namespace varnel
