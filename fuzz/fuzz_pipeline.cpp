// libFuzzer target: runs the whole program on the input bytes. The first
// three bytes choose the options (indentation, clean, XHTML or XML,
// encodings, Word 2000 cleanup, wrapping, slides, hidden end tags, literal
// attributes, doctype mode ...); the rest is the document.
//
// Build and run with fuzz/run.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/run.h"

namespace {

struct Flag {
    const char* first;
    const char* second; // value for "--name value" options, or null
};

const Flag first_byte_flags[] = {
    {"-i", nullptr}, {"-c", nullptr}, {"-asxml", nullptr}, {"-xml", nullptr},
    {"-u", nullptr}, {"-o", nullptr}, {"-n", nullptr},     {"-utf8", nullptr},
};

const Flag second_byte_flags[] = {
    {"--word-2000", "yes"},          {"--wrap", "20"},
    {"--indent-attributes", "yes"},  {"--drop-font-tags", "yes"},
    {"--enclose-block-text", "yes"}, {"-latin1", nullptr},
    {"--logical-emphasis", "yes"},   {"-slides", nullptr},
};

const Flag third_byte_flags[] = {
    {"--hide-endtags", "yes"},    {"-iso2022", nullptr},        {"--literal-attributes", "yes"},
    {"--break-before-br", "yes"}, {"--wrap-attributes", "yes"}, {"--doctype", "strict"},
    {"-preserve", nullptr},       {"--quote-marks", "yes"},
};

bool prepared = false;

void prepare() {
    // Output and diagnostics go nowhere; slide files land in a scratch
    // directory; no user configuration is read.
    if (freopen("/dev/null", "w", stdout) == nullptr) abort();
    char dir[] = "/tmp/varnel-fuzz-XXXXXX";
    if (mkdtemp(dir) == nullptr || chdir(dir) != 0) abort();
    setenv("HTML_VARNEL", "/dev/null", 1);
    prepared = true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!prepared) prepare();
    constexpr size_t OptionBytes = 3;
    if (size < OptionBytes) return 0;
    int fd = memfd_create("document", 0);
    if (fd < 0) return 0;
    const size_t length = size - OptionBytes;
    if (write(fd, data + OptionBytes, length) != static_cast<ssize_t>(length)) {
        close(fd);
        return 0;
    }
    std::string path = "/proc/self/fd/" + std::to_string(fd);

    std::vector<std::string> args = {"varnel", "-q", "-f", "/dev/null"};
    for (int bit = 0; bit < 8; ++bit) {
        const Flag& f = (data[0] >> bit) & 1 ? first_byte_flags[bit] : Flag{nullptr, nullptr};
        if (f.first != nullptr) args.push_back(f.first);
        for (const Flag* table : {second_byte_flags, third_byte_flags}) {
            const uint8_t byte = table == second_byte_flags ? data[1] : data[2];
            const Flag& g = (byte >> bit) & 1 ? table[bit] : Flag{nullptr, nullptr};
            if (g.first != nullptr) {
                args.push_back(g.first);
                if (g.second != nullptr) args.push_back(g.second);
            }
        }
    }
    args.push_back(path);

    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    varnel::run_program(static_cast<int>(args.size()), argv.data());
    close(fd);
    return 0;
}
