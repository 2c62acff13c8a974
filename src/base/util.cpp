// Memory and byte-string utilities, and the fatal-error exit.
#include "base/util.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <set>
#include <utility>

#include "base/config.h"
#include "input/lexer.h"
#include "model/attrs.h"
#include "model/entities.h"
#include "model/tags.h"
#include "output/out_stream.h"

namespace varnel {

FILE* input_file = nullptr;
const char* program_name = "varnel";

namespace {

// The registered temporary file. The name lives in a fixed buffer so that a
// signal handler can use it without touching the heap.
char temporary_name[PATH_MAX];
volatile sig_atomic_t temporary_registered = 0;

// The signals that end the run and must not leave the temporary file behind.
constexpr int exit_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};

extern "C" void on_exit_signal(int signal_number) {
    remove_temporary_file();
    // The handler was installed with SA_RESETHAND, so the default action is
    // back in place: the raised signal ends the process once the handler
    // returns and the signal is no longer held.
    raise(signal_number);
}

// Installs the handler for each exit signal that still has its default
// action; signals the caller chose to ignore (nohup, background jobs) stay
// ignored.
void install_exit_handlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = on_exit_signal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int s : exit_signals)
        sigaddset(&action.sa_mask, s);
    for (int s : exit_signals) {
        struct sigaction current;
        if (sigaction(s, nullptr, &current) != 0) continue;
        if (current.sa_handler != SIG_DFL || (current.sa_flags & SA_SIGINFO) != 0) continue;
        sigaction(s, &action, nullptr);
    }
}

std::set<std::pair<dev_t, ino_t>> protected_files;

} // namespace

ExitSignalBlock::ExitSignalBlock() {
    sigset_t block;
    sigemptyset(&block);
    for (int s : exit_signals)
        sigaddset(&block, s);
    sigprocmask(SIG_BLOCK, &block, &saved_);
}

ExitSignalBlock::~ExitSignalBlock() {
    sigprocmask(SIG_SETMASK, &saved_, nullptr);
}

int create_temporary_file(const std::string& name_template) {
    if (name_template.size() >= sizeof temporary_name) {
        errno = ENAMETOOLONG;
        return -1;
    }
    install_exit_handlers();
    ExitSignalBlock block;
    if (temporary_registered) remove_temporary_file();
    memcpy(temporary_name, name_template.c_str(), name_template.size() + 1);
    int fd = mkostemp(temporary_name, O_CLOEXEC);
    if (fd >= 0) temporary_registered = 1;
    return fd;
}

const char* temporary_file_name() {
    return temporary_registered ? temporary_name : "";
}

void remove_temporary_file() {
    if (!temporary_registered) return;
    unlink(temporary_name);
    temporary_registered = 0;
}

void release_temporary_file() {
    temporary_registered = 0;
}

void protect_file(const struct stat& info) {
    protected_files.emplace(info.st_dev, info.st_ino);
}

bool is_protected_file(const struct stat& info) {
    return protected_files.count({info.st_dev, info.st_ino}) != 0;
}

void clear_protected_files() {
    protected_files.clear();
}

void fatal_error(const char* message) {
    remove_temporary_file();
    fprintf(stderr, "Fatal error: %s\n", message);
    release_globals();
    if (input_file != nullptr && input_file != stdin) {
        fclose(input_file);
        input_file = nullptr;
    }
    exit(2);
}

void release_globals() {
    free_tags();
    free_attribute_dictionary();
    free_entities();
    free_options();
    free_line_buffer();
}

static void out_of_memory() {
    fatal_error("Out of memory!");
}

void install_memory_handler() {
    std::set_new_handler(out_of_memory);
}

void* mem_alloc(uint32_t size) {
    void* p = malloc(size == 0 ? 1 : size);
    if (p == nullptr) out_of_memory();
    return p;
}

void* mem_realloc(void* block, uint32_t size) {
    void* p = realloc(block, size == 0 ? 1 : size);
    if (p == nullptr) out_of_memory();
    return p;
}

void mem_free(void* block) {
    free(block);
}

char* str_dup(const char* s) {
    if (s == nullptr) return nullptr;
    uint32_t n = str_length(s);
    char* copy = static_cast<char*>(mem_alloc(n + 1));
    memcpy(copy, s, n + 1);
    return copy;
}

char* str_ndup(const char* s, int32_t n) {
    if (s == nullptr || n < 0) return nullptr;
    char* copy = static_cast<char*>(mem_alloc(static_cast<uint32_t>(n) + 1));
    int32_t i = 0;
    while (i < n && s[i] != '\0') {
        copy[i] = s[i];
        ++i;
    }
    copy[i] = '\0';
    return copy;
}

void copy_bytes(char* dest, const char* src, int32_t n) {
    if (dest == nullptr || src == nullptr || n == 0) return;
    if (n < 0) {
        str_copy(dest, src);
        return;
    }
    memcpy(dest, src, static_cast<size_t>(n));
}

void str_copy(char* dest, const char* src) {
    memcpy(dest, src, str_length(src) + 1);
}

void str_append(char* dest, const char* src) {
    str_copy(dest + str_length(dest), src);
}

uint32_t str_length(const char* s) {
    if (s == nullptr) return 0;
    return static_cast<uint32_t>(strlen(s));
}

int str_compare(const char* a, const char* b) {
    for (;; ++a, ++b) {
        signed char x = static_cast<signed char>(*a);
        signed char y = static_cast<signed char>(*b);
        if (x != y) return x > y ? 1 : -1;
        if (x == 0) return 0;
    }
}

int str_ncompare(const char* a, const char* b, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        signed char x = static_cast<signed char>(a[i]);
        signed char y = static_cast<signed char>(b[i]);
        if (x != y) return x > y ? 1 : -1;
        if (x == 0) return 0;
    }
    return 0;
}

int str_case_compare(const char* a, const char* b) {
    for (;; ++a, ++b) {
        int x = static_cast<unsigned char>(*a);
        int y = static_cast<unsigned char>(*b);
        if (to_lower(x) != to_lower(y)) {
            return static_cast<signed char>(*a) > static_cast<signed char>(*b) ? 1 : -1;
        }
        if (x == 0) return 0;
    }
}

// Single-byte lower-case mapping of the "C" locale: ASCII letters only.
static int lower_byte(int c) {
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

int str_ncase_compare(const char* a, const char* b, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        int x = lower_byte(static_cast<unsigned char>(a[i]));
        int y = lower_byte(static_cast<unsigned char>(b[i]));
        if (x != y) return x > y ? 1 : -1;
        if (x == 0) return 0;
    }
    return 0;
}

int str_case_contains(const char* text, const char* pattern) {
    uint32_t n = str_length(pattern);
    uint32_t len = str_length(text);
    if (n > len) return 0;
    for (uint32_t i = 0; i + n <= len; ++i) {
        if (str_ncase_compare(text + i, pattern, static_cast<int32_t>(n)) == 0) return 1;
    }
    return 0;
}

bool equals_ignore_case(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return a == b;
    return str_case_compare(a, b) == 0;
}

bool starts_with_ignore_case(const char* text, const char* prefix) {
    if (text == nullptr || prefix == nullptr) return false;
    uint32_t n = str_length(prefix);
    return str_ncase_compare(text, prefix, static_cast<int32_t>(n)) == 0 && str_length(text) >= n;
}

} // namespace varnel
