// The library's C interface (include/varnel/varnel_c.h), over the C++ one.
#include "varnel/varnel_c.h"

#include <new>
#include <string>

#include "varnel/varnel.h"

struct varnel_options {
    varnel::Options options;
    std::string message;
};

struct varnel_result {
    varnel::Result result;
};

namespace {

// Runs `make`, turning exhausted memory into a null result.
template <typename Make> varnel_result* guarded(Make make) {
    try {
        return new varnel_result{make()};
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

const varnel::Options& options_of(const varnel_options* options) {
    static const varnel::Options defaults;
    return options != nullptr ? options->options : defaults;
}

} // namespace

extern "C" {

varnel_options* varnel_options_new(void) {
    return new (std::nothrow) varnel_options();
}

void varnel_options_free(varnel_options* options) {
    delete options;
}

int varnel_options_set(varnel_options* options, const char* name, const char* value) {
    if (options == nullptr || name == nullptr || value == nullptr) return -1;
    try {
        return options->options.set(name, value, &options->message) ? 0 : -1;
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

int varnel_options_read_file(varnel_options* options, const char* path) {
    if (options == nullptr || path == nullptr) return -1;
    try {
        return options->options.read_file(path, &options->message) ? 0 : -1;
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

const char* varnel_options_message(const varnel_options* options) {
    return options != nullptr ? options->message.c_str() : "";
}

varnel_result* varnel_process(const varnel_options* options, const char* document, size_t length) {
    const std::string_view bytes(document != nullptr ? document : "",
                                 document != nullptr ? length : 0);
    return guarded([&] { return varnel::process(bytes, options_of(options)); });
}

varnel_result* varnel_process_file(const varnel_options* options, const char* path) {
    if (path == nullptr) return nullptr;
    return guarded([&] { return varnel::process_file(path, options_of(options)); });
}

void varnel_result_free(varnel_result* result) {
    delete result;
}

const char* varnel_result_output(const varnel_result* result, size_t* length) {
    if (length != nullptr) *length = result != nullptr ? result->result.output.size() : 0;
    return result != nullptr ? result->result.output.c_str() : "";
}

const char* varnel_result_report(const varnel_result* result, size_t* length) {
    if (length != nullptr) *length = result != nullptr ? result->result.report.size() : 0;
    return result != nullptr ? result->result.report.c_str() : "";
}

size_t varnel_result_diagnostic_count(const varnel_result* result) {
    return result != nullptr ? result->result.diagnostics.size() : 0;
}

const char* varnel_result_diagnostic(const varnel_result* result, size_t index, unsigned* line,
                                     unsigned* column, int* severity) {
    if (result == nullptr || index >= result->result.diagnostics.size()) return nullptr;
    const varnel::Diagnostic& d = result->result.diagnostics[index];
    if (line != nullptr) *line = d.line;
    if (column != nullptr) *column = d.column;
    if (severity != nullptr)
        *severity = d.severity == varnel::Severity::Error ? VARNEL_ERROR : VARNEL_WARNING;
    return d.text.c_str();
}

unsigned varnel_result_warnings(const varnel_result* result) {
    return result != nullptr ? result->result.warnings : 0;
}

unsigned varnel_result_errors(const varnel_result* result) {
    return result != nullptr ? result->result.errors : 0;
}

int varnel_result_status(const varnel_result* result) {
    return result != nullptr ? result->result.status : 2;
}

const char* varnel_version(void) {
    return varnel::version();
}

} // extern "C"
