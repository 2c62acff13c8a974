// The positional report writer.
#include "base/messages.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace varnel {

void write_report(FILE* out, std::vector<Diagnostic>* records, const std::string& label,
                  bool gnu_emacs, uint32_t line, uint32_t column, Severity severity,
                  const std::string& text) {
    if (out != nullptr) {
        // The position is formatted by hand: a large page makes reports by
        // the hundred thousand, and printf's cost would show.
        char prefix[48];
        char* p = prefix;
        char* const end = prefix + sizeof prefix;
        const auto put = [&](std::string_view s) {
            std::memcpy(p, s.data(), s.size());
            p += s.size();
        };
        const auto put_number = [&](uint32_t n) { p = std::to_chars(p, end, n).ptr; };
        if (gnu_emacs) {
            fwrite(label.data(), 1, label.size(), out);
            put(":");
            put_number(line);
            put(":");
            put_number(column);
            put(": ");
        } else {
            put("line ");
            put_number(line);
            put(" column ");
            put_number(column);
            put(" - ");
        }
        fwrite(prefix, 1, static_cast<size_t>(p - prefix), out);
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
