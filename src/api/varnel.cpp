// The library's C++ interface (include/varnel/varnel.h): options set by
// name, and one document processed through the pipeline into a Result.
#include "varnel/varnel.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "api/pipeline.h"
#include "base/config.h"
#include "base/files.h"
#include "base/messages.h"
#include "base/util.h"

namespace varnel {

struct Options::State {
    Config config;
};

Options::Options() : state_(std::make_unique<State>()) {}
Options::~Options() = default;
Options::Options(const Options& other) : state_(std::make_unique<State>(*other.state_)) {}
Options& Options::operator=(const Options& other) {
    if (this != &other) *state_ = *other.state_;
    return *this;
}
Options::Options(Options&& other) noexcept = default;
Options& Options::operator=(Options&& other) noexcept = default;

namespace {

// The program's warnings without the line end of the last one.
std::string without_last_line_end(std::string text) {
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// A stream that collects what is written to it.
class Collector {
  public:
    Collector() : file_(open_memstream(&buffer_, &size_)) {}
    ~Collector() {
        if (file_ != nullptr) fclose(file_);
        free(buffer_);
    }
    Collector(const Collector&) = delete;
    Collector& operator=(const Collector&) = delete;

    FILE* file() const { return file_; }
    // Closes the stream and hands over what was written.
    std::string take() {
        if (file_ != nullptr) fclose(file_);
        file_ = nullptr;
        return std::string(buffer_ != nullptr ? buffer_ : "", size_);
    }

  private:
    FILE* file_ = nullptr;
    char* buffer_ = nullptr;
    size_t size_ = 0;
};

// A stream that reads bytes in memory.
struct MemoryInput {
    std::string_view bytes;
    size_t next = 0;
};

ssize_t read_memory(void* cookie, char* buffer, size_t size) {
    MemoryInput* input = static_cast<MemoryInput*>(cookie);
    const size_t count = std::min(size, input->bytes.size() - input->next);
    memcpy(buffer, input->bytes.data() + input->next, count);
    input->next += count;
    return static_cast<ssize_t>(count);
}

int close_memory(void*) {
    return 0;
}

// Runs one document (`name`, or `input` when it is null) as a run of the
// program over it alone.
Result run_document(const Config& run_options, const char* name, FILE* input) {
    Result result;
    Config options = run_options;
    derive_options(options);
    Collector output;
    Collector report;
    if (output.file() == nullptr || report.file() == nullptr) throw std::bad_alloc();
    std::vector<Diagnostic> diagnostics;
    FileSet documents;
    if (name != nullptr) {
        struct stat info;
        if (stat(name, &info) == 0 && S_ISREG(info.st_mode)) documents.add(info);
    }
    DocumentJob job;
    job.options = options;
    job.name = name;
    job.input = input;
    job.output = output.file();
    job.reports = report.file();
    job.errors = report.file();
    job.diagnostics = &diagnostics;
    job.documents = &documents;
    DocumentOutcome outcome;
    bool failed = false;
    auto fatal = [&](const std::string& message) {
        const std::string text = "Fatal error: " + message;
        write_message(report.file(), &diagnostics, Severity::Error, text);
        failed = true;
    };
    try {
        outcome = process_document(job);
    } catch (const FatalError& error) {
        fatal(error.message);
    } catch (const std::bad_alloc&) {
        fatal("Out of memory!");
    }
    result.output = output.take();
    result.report = report.take();
    result.diagnostics = std::move(diagnostics);
    result.warnings = outcome.warnings;
    result.errors = outcome.errors;
    if (failed || outcome.errors != 0 || outcome.output_failed) {
        result.status = 2;
    } else if (outcome.panic || outcome.warnings != 0) {
        result.status = 1;
    }
    return result;
}

} // namespace

bool Options::set(std::string_view name, std::string_view value, std::string* message) {
    std::string messages;
    const std::string name_text(name);
    const std::string value_text(value);
    apply_option_string(state_->config, name_text.c_str(), value_text.c_str(), messages);
    if (message != nullptr) *message = without_last_line_end(messages);
    return messages.empty();
}

bool Options::read_file(const std::string& path, std::string* messages) {
    std::string text;
    read_config_file(state_->config, path.c_str(), text);
    if (messages != nullptr) *messages = without_last_line_end(text);
    return text.empty();
}

Result process(std::string_view document, const Options& options) {
    MemoryInput input{document, 0};
    cookie_io_functions_t functions{};
    functions.read = read_memory;
    functions.close = close_memory;
    FILE* stream = fopencookie(&input, "r", functions);
    if (stream == nullptr) throw std::bad_alloc();
    Result result;
    try {
        result = run_document(options.state_->config, nullptr, stream);
    } catch (...) {
        fclose(stream);
        throw;
    }
    fclose(stream);
    return result;
}

Result process_file(const std::string& path, const Options& options) {
    return run_document(options.state_->config, path.c_str(), nullptr);
}

const char* version() {
    return release_date;
}

} // namespace varnel
