// The program run: start-up, the argument scan with its switch tables, the
// error-file step, the per-document pipeline and the end of the run.
#include "api/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "base/config.h"
#include "base/messages.h"
#include "base/util.h"
#include "clean/style.h"
#include "clean/word.h"
#include "input/charset.h"
#include "input/doctype.h"
#include "input/lexer.h"
#include "input/stream.h"
#include "input/versions.h"
#include "model/attrs.h"
#include "model/entities.h"
#include "model/node.h"
#include "model/tags.h"
#include "output/out_stream.h"
#include "output/printer.h"
#include "output/slides.h"
#include "tree/builders.h"
#include "tree/inline_stack.h"

namespace varnel {

FILE* error_stream = stderr;
std::string error_stream_name = "stderr";
int total_warnings = 0;
int total_errors = 0;

namespace {

// Size of the stdio buffers of the input file, standard output and a
// written-back file.
constexpr size_t StreamBufferSize = 1u << 20;

// Set when an output of the run (standard output, a written-back file, a
// slide file) could not be written, or an error file was refused: the run
// then ends with status 2.
bool output_failed = false;
bool standard_output_failed = false;
// An error file refused because it is one of the documents; it is not tried
// (or reported) again.
std::string refused_error_file;

// What a switch asks of the argument scan.
enum class SwitchOutcome { Continue, Help, HelpConfig, Version, EndRun };

// How one document ended.
enum class DocumentOutcome { Done, Panic };

// An encoding switch: the encoding of every document after it.
void set_encoding(CharEncoding encoding) {
    options.char_encoding = encoding;
    options.char_encoding_given = true;
}

struct WordSwitch {
    const char* word;
    void (*apply)();
};

// Switches that set options, compared exactly.
const WordSwitch word_switches[] = {
    {"-indent", [] { options.indent_content = true; }},
    {"-xml", [] { options.input_xml = true; }},
    {"-asxml", [] { options.output_xhtml = true; }},
    {"-asxhtml", [] { options.output_xhtml = true; }},
    {"-omit", [] { options.hide_endtags = true; }},
    {"-upper", [] { options.uppercase_tags = true; }},
    {"-clean", [] { options.clean = true; }},
    {"-raw", [] { set_encoding(CharEncoding::Raw); }},
    {"-ascii", [] { set_encoding(CharEncoding::Ascii); }},
    {"-latin1", [] { set_encoding(CharEncoding::Latin1); }},
    {"-utf8", [] { set_encoding(CharEncoding::Utf8); }},
    {"-iso2022", [] { set_encoding(CharEncoding::Iso2022); }},
    {"-mac", [] { set_encoding(CharEncoding::MacRoman); }},
    {"-numeric", [] { options.numeric_entities = true; }},
    {"-modify", [] { options.write_back = true; }},
    {"-change", [] { options.write_back = true; }},
    {"-update", [] { options.write_back = true; }},
    {"-errors", [] { options.markup = false; }},
    {"-quiet", [] { options.quiet = true; }},
    {"-slides", [] { options.split = true; }},
    {"-preserve", [] { options.preserve_entities = true; }},
};

// The value of "-wrap": a number from 0 to the largest 32-bit value. A
// value with no number leaves wrap as it was; a number out of that range
// does too, with the option's bad-value warning.
void apply_wrap_switch(const char* value) {
    int wrap = 0;
    if (scan_decimal(value, &wrap) && wrap >= 0) {
        options.wrap = wrap;
        return;
    }
    const char* p = value;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    if (*p == '-' || *p == '+') ++p;
    if (*p >= '0' && *p <= '9') report_bad_value("wrap");
}

struct ValueSwitch {
    const char* word;
    void (*apply)(const char* value);
};

// Switches that take the next argument as their value.
const ValueSwitch value_switches[] = {
    {"-config", [](const char* value) { read_config_file(value); }},
    {"-f", [](const char* value) { options.error_file = value; }},
    {"-file", [](const char* value) { options.error_file = value; }},
    {"--file", [](const char* value) { options.error_file = value; }},
    {"-w", apply_wrap_switch},
    {"-wrap", apply_wrap_switch},
    {"--wrap", apply_wrap_switch},
};

const char* const version_switches[] = {"-v", "-version", "--version"};

struct FlagLetter {
    char letter;
    void (*apply)();
};

// The letters of a single-letter flag group such as "-imu".
const FlagLetter flag_letters[] = {
    {'c', [] { options.clean = true; }},
    {'e', [] { options.markup = false; }},
    {'i',
     [] {
         options.indent_content = true;
         options.smart_indent = true;
     }},
    {'m', [] { options.write_back = true; }},
    {'n', [] { options.numeric_entities = true; }},
    {'o', [] { options.hide_endtags = true; }},
    {'q', [] { options.quiet = true; }},
    {'u', [] { options.uppercase_tags = true; }},
};

void apply_flag_group(const char* letters) {
    for (const char* p = letters; *p != '\0'; ++p) {
        const FlagLetter* found = nullptr;
        for (const FlagLetter& flag : flag_letters) {
            if (flag.letter == *p) found = &flag;
        }
        if (found != nullptr) {
            found->apply();
        } else {
            fprintf(stderr, "unrecognized option -%c use -help to list options\n", *p);
        }
    }
}

// Interprets the switch at argv[*cursor] and advances the cursor past it
// and its value.
SwitchOutcome apply_switch(int argc, char** argv, int* cursor) {
    const char* arg = argv[*cursor];
    bool has_next = *cursor + 1 < argc;
    for (const WordSwitch& s : word_switches) {
        if (strcmp(arg, s.word) == 0) {
            s.apply();
            ++*cursor;
            return SwitchOutcome::Continue;
        }
    }
    if (strcmp(arg, "-help-config") == 0) return SwitchOutcome::HelpConfig;
    if (strcmp(arg, "-help") == 0 || arg[1] == 'h' || arg[1] == '?') return SwitchOutcome::Help;
    for (const ValueSwitch& s : value_switches) {
        if (strcmp(arg, s.word) == 0) {
            ++*cursor;
            if (has_next) {
                s.apply(argv[*cursor]);
                ++*cursor;
            }
            return SwitchOutcome::Continue;
        }
    }
    for (const char* word : version_switches) {
        if (strcmp(arg, word) == 0) return SwitchOutcome::Version;
    }
    if (arg[1] == '-') {
        // A long option with no value left ends the run without another document.
        if (!has_next) return SwitchOutcome::EndRun;
        bool consumed = apply_option_string(arg + 2, argv[*cursor + 1]);
        *cursor += consumed ? 2 : 1;
        return SwitchOutcome::Continue;
    }
    apply_flag_group(arg + 1);
    ++*cursor;
    return SwitchOutcome::Continue;
}

bool is_word_switch(const char* arg) {
    for (const WordSwitch& s : word_switches) {
        if (strcmp(arg, s.word) == 0) return true;
    }
    return false;
}

bool is_value_switch(const char* arg) {
    for (const ValueSwitch& s : value_switches) {
        if (strcmp(arg, s.word) == 0) return true;
    }
    return false;
}

bool is_version_switch(const char* arg) {
    for (const char* word : version_switches) {
        if (strcmp(arg, word) == 0) return true;
    }
    return false;
}

// Records a document the run will read, when it is a regular file, so that
// no output of the run overwrites or deletes it.
void protect_document(int fd, const char* name) {
    struct stat info;
    int status = name != nullptr ? stat(name, &info) : fstat(fd, &info);
    if (status == 0 && S_ISREG(info.st_mode)) protect_file(info);
}

// Goes through the arguments as the scan will, without applying anything,
// and protects every document it will read: each named file, and standard
// input when the list ends in switches.
void protect_documents(int argc, char** argv) {
    int cursor = 1;
    for (;;) {
        while (cursor < argc && argv[cursor][0] == '-') {
            const char* arg = argv[cursor];
            if (is_word_switch(arg)) {
                ++cursor;
            } else if (strcmp(arg, "-help") == 0 || arg[1] == 'h' || arg[1] == '?' ||
                       is_version_switch(arg)) {
                return; // the run stops here
            } else if (is_value_switch(arg)) {
                cursor += 2;
            } else if (arg[1] == '-') {
                if (cursor + 1 >= argc) return;
                cursor += option_exists(arg + 2) ? 2 : 1;
            } else {
                ++cursor;
            }
        }
        if (cursor >= argc) {
            protect_document(fileno(stdin), nullptr);
            return;
        }
        protect_document(-1, argv[cursor]);
        if (++cursor >= argc) return;
    }
}

// Opens the error file for writing. The file is emptied only once it is
// known not to be one of the documents of the run (by any of its names);
// such a file is refused, and the diagnostics stay on standard error.
FILE* open_error_file_checked(const std::string& name) {
    auto refuse = [&]() -> FILE* {
        fprintf(stderr, "%s: can't write errors into \"%s\" - it is one of the documents\n",
                program_name, name.c_str());
        refused_error_file = name;
        output_failed = true;
        return nullptr;
    };
    struct stat info;
    if (stat(name.c_str(), &info) == 0 && is_protected_file(info)) return refuse();
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    if (fstat(fd, &info) == 0 && is_protected_file(info)) {
        close(fd);
        return refuse();
    }
    if (S_ISREG(info.st_mode) && ftruncate(fd, 0) != 0) {
        close(fd);
        return nullptr;
    }
    FILE* file = fdopen(fd, "w");
    if (file == nullptr) close(fd);
    return file;
}

// Points error_stream at the error file when the option names a new one.
// The name "stderr" always means standard error.
void open_error_file() {
    if (!options.error_file.has_value() || *options.error_file == error_stream_name) return;
    if (*options.error_file == refused_error_file) return;
    if (error_stream != stderr) fclose(error_stream);
    error_stream = stderr;
    error_stream_name = "stderr";
    if (*options.error_file == "stderr") return;
    FILE* file = open_error_file_checked(*options.error_file);
    if (file != nullptr) {
        error_stream = file;
        error_stream_name = *options.error_file;
    }
}

// Flushes standard output and reports, once, when it cannot be written.
void check_standard_output() {
    if (standard_output_failed) return;
    int error = 0;
    if (fflush(stdout) != 0) {
        error = errno;
    } else if (ferror(stdout)) {
        error = EIO;
    }
    if (error == 0) return;
    fprintf(stderr, "%s: can't write to standard output - %s\n", program_name,
            strerror(error != 0 ? error : EIO));
    standard_output_failed = true;
    output_failed = true;
}

void close_error_stream() {
    if (error_stream != stderr) fclose(error_stream);
    error_stream = stderr;
    error_stream_name = "stderr";
}

// Adds a document's count to a run total without overflowing it.
void add_to_total(int* total, uint32_t count) {
    int64_t sum = static_cast<int64_t>(*total) + count;
    *total = sum > INT32_MAX ? INT32_MAX : static_cast<int>(sum);
}

// Sets the HTML or XHTML document type of a document with content.
void set_document_type(Lexer* lexer, Node* root) {
    if (root->first_child == nullptr) return;
    if (options.output_xhtml) {
        make_xhtml_doctype(lexer, root);
    } else {
        repair_doctype(lexer, root);
    }
}

struct PrintJob {
    Lexer* lexer;
    Node* root;
};

// Prints the tree through an output stream over `sink` and flushes the
// pending line.
void print_document(FILE* sink, void* context) {
    PrintJob* job = static_cast<PrintJob*>(context);
    OutputStream out;
    out.encoding = options.char_encoding;
    out.iso2022_state = Iso2022Ascii;
    out.sink = sink;
    if (options.input_xml) {
        print_xml_tree(&out, PrintNormal, 0, job->lexer, job->root);
    } else {
        print_tree(&out, PrintNormal, 0, job->lexer, job->root);
    }
    flush_line(&out, 0);
}

// Writes a document without errors: slides, back into its file, or to
// standard output. `from_utf16` tells that the input was UTF-16.
void write_output(Lexer* lexer, Node* root, const std::string& label, bool is_stdin,
                  bool from_utf16) {
    if (options.split) {
        Node* doctype = find_doctype(root);
        if (doctype != nullptr) discard_node(doctype);
        // The slide frame (a division with onclick, center, br clear) is
        // HTML 4.01 Transitional, whatever the page itself would fit.
        lexer->possible_versions = (lexer->possible_versions & ~VersionAll) | VersionHTML40Loose;
        set_document_type(lexer, root);
        if (find_body(root) != nullptr) {
            fprintf(error_stream, "%d Slides found\n", count_slides(find_body(root)));
            if (!create_slides(lexer, root)) output_failed = true;
        } else {
            fprintf(error_stream, "Can't create slides - document is missing a body element.\n");
        }
        return;
    }
    PrintJob job{lexer, root};
    // Standard input has no file to write back into: its result goes to
    // standard output.
    if (options.write_back && !is_stdin) {
        if (from_utf16) {
            // Output is never UTF-16: rather than turn the file into bytes of
            // another encoding (which its charset declaration and the tools
            // that made it would then misread), it is left as it was, and the
            // result goes where the user can see it and choose.
            fprintf(error_stream,
                    "%s: can't write \"%s\" back as UTF-16; the result goes to standard output\n",
                    program_name, label.c_str());
            add_to_total(&total_warnings, 1);
        } else {
            ReplaceFailure failure;
            if (replace_file_contents(label.c_str(), print_document, &job, &failure)) return;
            output_failed = true;
            if (failure.result_kept) {
                fprintf(stderr, "%s: can't write back into \"%s\" - %s\n", program_name,
                        label.c_str(), failure.reason.c_str());
                return;
            }
            fprintf(stderr,
                    "%s: can't write back into \"%s\" - %s; the result goes to standard output\n",
                    program_name, label.c_str(), failure.reason.c_str());
        }
    }
    print_document(stdout, &job);
    check_standard_output();
}

// Where a document's encoding came from.
enum class EncodingSource { Option, ByteOrderMark, Declaration, Utf8Bytes, Fallback };

struct EncodingChoice {
    CharEncoding encoding = CharEncoding::Ascii;
    EncodingSource source = EncodingSource::Option;
    // A declared label that names no encoding read here, when the document
    // has bytes beyond ASCII that are not UTF-8 (the document is then copied
    // byte for byte, see DocumentEncoding), and where the declaration stands.
    std::string unsupported;
    uint32_t line = 1;
    uint32_t column = 1;
};

// Bytes read ahead from an input that cannot be rewound (a pipe, a
// terminal), handed out again before the rest of it: each byte of such an
// input is read from it once.
struct PrefixedInput {
    std::string bytes;
    size_t next = 0;
    FILE* rest = nullptr; // not owned
};

ssize_t read_prefixed(void* cookie, char* buffer, size_t size) {
    PrefixedInput* input = static_cast<PrefixedInput*>(cookie);
    if (input->next < input->bytes.size()) {
        size_t count = input->bytes.size() - input->next;
        if (count > size) count = size;
        memcpy(buffer, input->bytes.data() + input->next, count);
        input->next += count;
        if (input->next == input->bytes.size()) {
            std::string().swap(input->bytes); // handed out: release it
            input->next = 0;
        }
        return static_cast<ssize_t>(count);
    }
    const size_t got = fread(buffer, 1, size, input->rest);
    if (got == 0 && ferror(input->rest)) return -1;
    return static_cast<ssize_t>(got);
}

int close_prefixed(void* cookie) {
    delete static_cast<PrefixedInput*>(cookie);
    return 0;
}

// A stream that reads `bytes` and then the rest of `rest`; null when it
// cannot be made.
FILE* open_prefixed(std::string bytes, FILE* rest) {
    PrefixedInput* input = new PrefixedInput{std::move(bytes), 0, rest};
    cookie_io_functions_t functions{};
    functions.read = read_prefixed;
    functions.close = close_prefixed;
    FILE* file = fopencookie(input, "r", functions);
    if (file == nullptr) delete input;
    return file;
}

// The line and column, as reports count them, of byte `offset` of `head`.
void position_of(std::string_view head, size_t offset, uint32_t* line, uint32_t* column) {
    uint32_t l = 1;
    uint32_t c = 1;
    const int32_t tab = options.tab_size;
    for (size_t i = 0; i < offset && i < head.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(head[i]);
        if (b == '\n' || (b == '\r' && (i + 1 >= head.size() || head[i + 1] != '\n'))) {
            ++l;
            c = 1;
        } else if (b == '\t') {
            c = tab > 0 ? c + static_cast<uint32_t>(tab) - (c - 1) % static_cast<uint32_t>(tab)
                        : c + 1;
        } else if (b >= 0x20) {
            ++c;
        }
    }
    *line = l;
    *column = c;
}

// Chooses the encoding of a document for which no encoding option was
// given: a byte order mark; else an encoding declared in the first 1024
// bytes (a meta element, or an XML declaration; the XML declaration first
// for XML input); else UTF-8 when the bytes are UTF-8 and hold characters
// beyond ASCII; else the char-encoding option's value. Deciding the last
// needs the whole input: a regular file is read through once and rewound,
// any other input is kept in memory as it is read and `*reader` becomes a
// stream that hands those bytes out again before the rest.
EncodingChoice choose_encoding(FILE* in, FILE** reader) {
    EncodingChoice choice;
    choice.encoding = options.char_encoding;
    *reader = in;
    if (options.char_encoding_given) return choice;
    choice.source = EncodingSource::Fallback;

    struct stat info;
    const off_t start =
        fstat(fileno(in), &info) == 0 && S_ISREG(info.st_mode) ? ftello(in) : off_t{-1};
    const bool rewinds = start >= 0;
    std::string ahead; // what an input that cannot be rewound gave so far
    static unsigned char chunk[1 << 16];
    auto read_more = [&](size_t wanted) -> size_t {
        const size_t got = fread(chunk, 1, wanted, in);
        if (!rewinds) ahead.append(reinterpret_cast<const char*>(chunk), got);
        return got;
    };
    auto finish = [&]() {
        if (rewinds) {
            clearerr(in);
            fseeko(in, start, SEEK_SET);
        } else if (!ahead.empty()) {
            FILE* prefixed = open_prefixed(std::move(ahead), in);
            if (prefixed != nullptr) *reader = prefixed;
        }
        return choice;
    };

    // The head: room for a byte order mark and the bytes scanned after it.
    constexpr size_t HeadBytes = CharsetPrescanBytes + 3;
    size_t head_size = 0;
    while (head_size < HeadBytes) {
        const size_t got = fread(chunk + head_size, 1, HeadBytes - head_size, in);
        if (got == 0) break;
        head_size += got;
    }
    if (!rewinds) ahead.assign(reinterpret_cast<const char*>(chunk), head_size);
    const std::string head(reinterpret_cast<const char*>(chunk), head_size);
    if (head.starts_with("\xEF\xBB\xBF") || head.starts_with("\xFF\xFE") ||
        head.starts_with("\xFE\xFF")) {
        // UTF-8, or UTF-16 (which the input stream decodes by its mark and
        // the output writes as UTF-8).
        choice.encoding = CharEncoding::Utf8;
        choice.source = EncodingSource::ByteOrderMark;
        return finish();
    }

    const std::string_view scanned = std::string_view(head).substr(0, CharsetPrescanBytes);
    CharsetDeclaration declared;
    if (options.input_xml) declared = xml_declaration_charset(scanned);
    if (declared.label.empty()) declared = prescan_meta_charset(scanned);
    if (declared.label.empty() && !options.input_xml) declared = xml_declaration_charset(scanned);
    if (!declared.label.empty()) {
        CharEncoding encoding;
        if (encoding_for_label(declared.label, &encoding)) {
            choice.encoding = encoding;
            choice.source = EncodingSource::Declaration;
            return finish();
        }
    }

    Utf8Check check;
    check.feed(chunk, head_size);
    while (check.valid()) {
        const size_t got = read_more(sizeof chunk);
        if (got == 0) break;
        check.feed(chunk, got);
    }
    if (check.valid() && check.has_multibyte()) {
        choice.encoding = CharEncoding::Utf8;
        choice.source = EncodingSource::Utf8Bytes;
    } else if (!declared.label.empty() && check.has_high_bytes()) {
        choice.unsupported = declared.label;
        position_of(head, declared.offset, &choice.line, &choice.column);
    }
    return finish();
}

// Makes the encoding chosen for a document the char-encoding of every
// stage while the document is processed, and restores the configured
// options afterwards, so that the choice does not carry over to the next
// document. A document in a declared encoding that the program cannot
// read is copied byte for byte: read and written raw, with its entity
// references kept as written (decoded, a reference to a character of
// 128-255 would be written as one byte of the page's own encoding, which
// means something else there). Markup is ASCII in every encoding built on
// it, and the bytes of a multi-byte character never include a space, "<",
// "&", "=" or a quote, so the page's text passes through unchanged.
class DocumentEncoding {
  public:
    explicit DocumentEncoding(const EncodingChoice& choice)
        : configured_(options.char_encoding), preserve_entities_(options.preserve_entities),
          quote_ampersand_(options.quote_ampersand) {
        options.char_encoding = choice.encoding;
        if (!choice.unsupported.empty()) {
            options.char_encoding = CharEncoding::Raw;
            options.preserve_entities = true;
            options.quote_ampersand = false;
        }
    }
    ~DocumentEncoding() {
        options.char_encoding = configured_;
        options.preserve_entities = preserve_entities_;
        options.quote_ampersand = quote_ampersand_;
    }
    DocumentEncoding(const DocumentEncoding&) = delete;
    DocumentEncoding& operator=(const DocumentEncoding&) = delete;

  private:
    CharEncoding configured_;
    bool preserve_entities_;
    bool quote_ampersand_;
};

// Runs one document through the pipeline; `name` is null for standard input.
DocumentOutcome process_document(const char* name) {
    bool is_stdin = name == nullptr;
    std::string label = is_stdin ? "stdin" : name;
    FILE* in = stdin;
    std::unique_ptr<char[]> buffer;
    size_t file_size = 0;
    if (!is_stdin) {
        in = fopen(name, "rb");
        struct stat info;
        if (in != nullptr && fstat(fileno(in), &info) == 0 && S_ISREG(info.st_mode))
            file_size = static_cast<size_t>(info.st_size);
        if (in != nullptr && fstat(fileno(in), &info) == 0 && S_ISDIR(info.st_mode)) {
            fclose(in); // a directory holds no document
            in = nullptr;
        }
        if (in == nullptr) {
            fprintf(error_stream, "%s: can't open file \"%s\"\n", program_name, name);
            return DocumentOutcome::Done;
        }
        // The file is protected already unless it was made during the run.
        protect_document(fileno(in), nullptr);
        buffer.reset(new char[StreamBufferSize]);
        setvbuf(in, buffer.get(), _IOFBF, StreamBufferSize);
    } else {
        // Standard input is read at most once per process; its buffer can
        // only be chosen before the first read.
        static bool stdin_buffered = false;
        static char stdin_buffer[StreamBufferSize];
        if (!stdin_buffered) {
            stdin_buffered = true;
            setvbuf(stdin, stdin_buffer, _IOFBF, sizeof stdin_buffer);
        }
    }
    input_file = in;

    FILE* reader = in;
    const EncodingChoice encoding = choose_encoding(in, &reader);
    const DocumentEncoding document_encoding(encoding);
    InputStream* stream = new_input_stream(reader, options.char_encoding);
    Lexer* lexer = new_lexer(stream);
    lexer->raw_encoding_label = encoding.unsupported;
    lexer->messages = error_stream;
    // The text buffer ends up about as large as the file: sizing it once
    // spares the copies of growing it step by step.
    if (file_size > 0 && file_size < (size_t{1} << 31))
        lexer->text.reserve(file_size + file_size / 8);
    stream->lexer = lexer;
    current_input_name = label.c_str();

    Node* root = nullptr;
    auto close_input = [&] {
        if (reader != in) fclose(reader);
        if (in != stdin) fclose(in);
        input_file = nullptr;
        free_input_stream(stream);
        lexer->input = nullptr;
    };
    auto release_document = [&] {
        free_node(root);
        free_lexer(lexer);
        current_input_name = "stdin";
    };
    auto panic = [&] {
        fprintf(stderr, "\nPanic - tree has lost its integrity\n");
        close_input();
        release_document();
        return DocumentOutcome::Panic;
    };

    auto report_encoding = [&] {
        if (!encoding.unsupported.empty()) {
            report_unsupported_encoding(lexer, encoding.line, encoding.column,
                                        encoding.unsupported.c_str());
        }
    };

    if (options.input_xml) {
        report_encoding();
        root = build_xml_document(lexer);
        // An XML document is not repaired, so its warnings stay its own;
        // one with errors is rejected (not written), and the run says so in
        // its exit status as it does for HTML.
        add_to_total(&total_errors, lexer->errors);
        settle_xml_declaration(lexer, root);
        settle_meta_charsets(lexer, root);
    } else {
        lexer->warnings = 0;
        if (!options.quiet) show_banner(error_stream, release_date, label.c_str());
        report_encoding();
        root = build_document(lexer);
    }
    if (root == nullptr) {
        // A builder that produced nothing leaves an empty document.
        root = new_node();
        root->kind = RootNode;
    }
    if (!options.input_xml) {
        if (!check_tree_links(root)) return panic();
        collapse_nested_emphasis(root);
        lone_item_list_to_quote(root);
        quote_nest_to_div(root);
        if (options.logical_emphasis) promote_logical_emphasis(root);
        bool restructured = false;
        if (options.word_2000 && has_word_namespace(root)) {
            remove_conditional_sections(lexer, root);
            strip_word_markup(lexer, root);
            restructured = true;
        }
        if (options.drop_font_tags || options.clean) {
            presentation_to_style(lexer, root);
            restructured = true;
        }
        // The optional passes move whole subtrees: check the links again
        // before anything is printed.
        if (restructured && !check_tree_links(root)) return panic();
        // The doctype describes the page as it will be printed: the
        // versions are worked out from the final tree, after every pass.
        lexer->possible_versions =
            (lexer->possible_versions & ~VersionAll) | printed_versions(lexer, root);

        // The summary quotes the doctype as the document gave it, before any
        // fix-up rewrites or drops it.
        Node* doctype = find_doctype(root);
        bool has_doctype = doctype != nullptr;
        uint32_t doctype_start = has_doctype ? doctype->start : 0;
        uint32_t doctype_end = has_doctype ? doctype->end : 0;

        set_document_type(lexer, root);
        if (root->first_child != nullptr && options.varnel_mark) add_generator_meta(lexer, root);
        if (options.output_xml) {
            drop_copied_duplicate_ids(root);
            drop_undeclared_prefixed_attributes(root);
            settle_xml_declaration(lexer, root);
        }
        // A meta element that declares an encoding names the one the
        // output is written in.
        const std::vector<CharsetChange> charset_changes = settle_meta_charsets(lexer, root);

        add_to_total(&total_warnings, lexer->warnings);
        add_to_total(&total_errors, lexer->errors);
        if (!options.quiet && root->first_child != nullptr) {
            report_doctype_summary(error_stream, lexer, label.c_str(), has_doctype, doctype_start,
                                   doctype_end);
            const bool written = options.markup && lexer->errors == 0;
            report_encoding_summary(error_stream, label.c_str(),
                                    encoding.source == EncodingSource::Utf8Bytes,
                                    written ? charset_changes : std::vector<CharsetChange>());
            report_count(error_stream, lexer);
        }
    }
    const bool from_utf16 = stream->utf16 != Utf16Order::None;
    close_input();

    if (lexer->errors > 0) report_needs_fixing(error_stream);
    if (options.markup && lexer->errors == 0)
        write_output(lexer, root, label, is_stdin, from_utf16);
    report_advice(lexer);
    release_document();
    return DocumentOutcome::Done;
}

// Ends a run that stops early (help, version, panic): files closed, tables
// released.
void stop_run() {
    check_standard_output();
    close_error_stream();
    release_globals();
    clear_protected_files();
}

// The end of a run: closing paragraph, error file, tables, exit status.
int end_run() {
    if (total_warnings != 0 || total_errors != 0) report_closing_info(error_stream);
    close_error_stream();
    release_globals();
    clear_protected_files();
    check_standard_output();
    if (total_errors != 0 || output_failed) return 2;
    return total_warnings != 0 ? 1 : 0;
}

} // namespace

void init_globals() {
    init_char_classes();
    init_attribute_dictionary();
    init_tags();
    init_entities();
    init_options();
}

void buffer_standard_output() {
    static char buffer[StreamBufferSize];
    setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    // Reports come one line at a time; unless someone watches them on a
    // terminal, collect them in a buffer rather than paying a system call
    // per line.
    if (!isatty(fileno(stderr))) {
        static char error_buffer[1 << 16];
        setvbuf(stderr, error_buffer, _IOFBF, sizeof error_buffer);
    }
}

bool scan_decimal(const char* text, int* value) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    if (*p < '0' || *p > '9') return false;
    int64_t number = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        number = number * 10 + (*p - '0');
        if (number > static_cast<int64_t>(INT32_MAX) + 1) return false;
    }
    if (negative) number = -number;
    if (number > INT32_MAX || number < INT32_MIN) return false;
    *value = static_cast<int>(number);
    return true;
}

namespace {

std::string error_text(int error) {
    return strerror(error != 0 ? error : EIO);
}

// Closes a descriptor when the scope ends.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int value) : fd(value) {}
    ~Descriptor() {
        if (fd >= 0) close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
};

// The names of the extended attributes of an open file; empty when the file
// has none or its file system keeps none.
std::vector<std::string> attribute_names(int fd) {
    std::vector<std::string> names;
    ssize_t size = flistxattr(fd, nullptr, 0);
    if (size <= 0) return names;
    std::vector<char> list(static_cast<size_t>(size));
    size = flistxattr(fd, list.data(), list.size());
    if (size <= 0) return names;
    for (size_t i = 0; i < static_cast<size_t>(size);) {
        std::string name(list.data() + i);
        i += name.size() + 1;
        if (!name.empty()) names.push_back(std::move(name));
    }
    return names;
}

// Makes the extended attributes of `to` those of `from` (ACLs and security
// labels included): adds or replaces each of the original's, and removes
// those the new file got that the original does not have (a directory's
// default ACL, for one). False when any of them cannot be carried over.
bool copy_attributes(int from, int to) {
    std::vector<std::string> wanted = attribute_names(from);
    for (const std::string& name : attribute_names(to)) {
        bool keep = false;
        for (const std::string& w : wanted)
            keep = keep || w == name;
        if (!keep && fremovexattr(to, name.c_str()) != 0) return false;
    }
    for (const std::string& name : wanted) {
        ssize_t size = fgetxattr(from, name.c_str(), nullptr, 0);
        if (size < 0) return false;
        std::vector<char> value(static_cast<size_t>(size) + 1);
        size = fgetxattr(from, name.c_str(), value.data(), value.size());
        if (size < 0) return false;
        if (fsetxattr(to, name.c_str(), value.data(), static_cast<size_t>(size), 0) != 0)
            return false;
    }
    return true;
}

// Gives the new file the original's owner, group, extended attributes and
// permission bits; false when it does not end up with all of them.
bool copy_file_identity(int original, const struct stat& info, int fd) {
    // Ownership first: changing it may clear set-id bits that chmod then
    // restores. Only a privileged user may give a file away.
    if (fchown(fd, info.st_uid, info.st_gid) != 0) {
        // Checked below: the new file keeps ours.
    }
    if (!copy_attributes(original, fd)) return false;
    if (fchmod(fd, info.st_mode & 07777) != 0) return false;
    struct stat now;
    return fstat(fd, &now) == 0 && now.st_uid == info.st_uid && now.st_gid == info.st_gid &&
           (now.st_mode & 07777) == (info.st_mode & 07777);
}

// Copies the finished temporary file into the original in place. Signals
// that end the run are held meanwhile, so the original is never left half
// written by them. When the copy fails after the original was changed, the
// temporary file is kept and named in the reason.
bool copy_into_place(const std::string& target, const struct stat& info, ReplaceFailure* failure) {
    ExitSignalBlock block;
    auto fail = [&](std::string reason) {
        failure->reason = std::move(reason);
        remove_temporary_file();
        return false;
    };
    const std::string cannot = "can't write into it: ";
    Descriptor out(open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (out.fd < 0) return fail(cannot + error_text(errno));
    struct stat now;
    if (fstat(out.fd, &now) != 0) return fail(cannot + error_text(errno));
    if (now.st_dev != info.st_dev || now.st_ino != info.st_ino || !S_ISREG(now.st_mode))
        return fail("it was replaced while it was being read");
    Descriptor in(open(temporary_file_name(), O_RDONLY | O_CLOEXEC));
    struct stat result;
    if (in.fd < 0 || fstat(in.fd, &result) != 0)
        return fail("can't read the temporary file: " + error_text(errno));
    // Claim the room for a longer text first, so that a full disk is found
    // before the original is touched.
    if (result.st_size > now.st_size) {
        int error = posix_fallocate(out.fd, now.st_size, result.st_size - now.st_size);
        if (error == ENOSPC || error == EDQUOT || error == EFBIG)
            return fail(cannot + error_text(error));
    }
    int error = 0;
    static char chunk[1 << 16];
    off_t offset = 0;
    for (;;) {
        ssize_t got = read(in.fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) error = errno;
        if (got <= 0) break;
        for (ssize_t done = 0; done < got && error == 0;) {
            ssize_t put = pwrite(out.fd, chunk + done, static_cast<size_t>(got - done), offset);
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                error = put < 0 ? errno : EIO;
                break;
            }
            done += put;
            offset += put;
        }
        if (error != 0) break;
    }
    if (error == 0 && ftruncate(out.fd, offset) != 0) error = errno;
    if (error == 0 && fsync(out.fd) != 0) error = errno;
    if (error == 0 && close(out.fd) != 0) error = errno;
    out.fd = -1;
    if (error != 0) {
        failure->reason = cannot + error_text(error) + "; the complete result is in \"" +
                          temporary_file_name() + "\"";
        failure->result_kept = true;
        release_temporary_file();
        return false;
    }
    remove_temporary_file();
    return true;
}

// The name of the temporary file beside `target`: ".<name>.varnel-XXXXXX",
// with the name shortened when the whole would be too long for a directory
// entry.
std::string temporary_template(const std::string& target) {
    constexpr size_t MaxEntryLength = NAME_MAX;
    const char* const suffix = ".varnel-XXXXXX";
    size_t base = target.rfind('/');
    base = base == std::string::npos ? 0 : base + 1;
    std::string name = target.substr(base);
    size_t room = MaxEntryLength - 1 - strlen(suffix);
    if (name.size() > room) name.resize(room);
    return target.substr(0, base) + "." + name + suffix;
}

} // namespace

bool replace_file_contents(const char* path, void (*write)(FILE* sink, void* context),
                           void* context, ReplaceFailure* failure) {
    ReplaceFailure ignored;
    if (failure == nullptr) failure = &ignored;
    auto refuse = [&](std::string reason) {
        failure->reason = std::move(reason);
        return false;
    };
    // Write the file a link points at, so that the link survives.
    std::string target = path;
    if (char* resolved = realpath(path, nullptr)) {
        target = resolved;
        free(resolved);
    }
    Descriptor original(open(target.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (original.fd < 0) return refuse(error_text(errno));
    struct stat info;
    if (fstat(original.fd, &info) != 0) return refuse(error_text(errno));
    if (!S_ISREG(info.st_mode)) return refuse("not a regular file");
    // The rename needs only the directory's permission: ask for the file's.
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return refuse("not writable: " + error_text(errno));

    int fd = create_temporary_file(temporary_template(target));
    if (fd < 0) return refuse("can't create a temporary file beside it: " + error_text(errno));
    // A file with several names stays one file only when it is written in
    // place; so does one whose owner, group or attributes a new file could
    // not be given.
    bool in_place = info.st_nlink > 1 || !copy_file_identity(original.fd, info, fd);
    FILE* sink = fdopen(fd, "w");
    if (sink == nullptr) {
        int error = errno;
        close(fd);
        remove_temporary_file();
        return refuse("can't write the temporary file: " + error_text(error));
    }
    std::unique_ptr<char[]> buffer(new char[StreamBufferSize]);
    setvbuf(sink, buffer.get(), _IOFBF, StreamBufferSize);
    write(sink, context);
    int error = 0;
    if (fflush(sink) != 0) {
        error = errno;
    } else if (ferror(sink)) {
        error = EIO;
    } else if (fsync(fileno(sink)) != 0) {
        error = errno;
    }
    if (fclose(sink) != 0 && error == 0) error = errno;
    if (error != 0) {
        remove_temporary_file();
        return refuse("can't write the temporary file: " + error_text(error));
    }
    if (!in_place) {
        ExitSignalBlock block;
        if (rename(temporary_file_name(), target.c_str()) == 0) {
            release_temporary_file();
            return true;
        }
        // A sticky or otherwise guarded directory, or a file mounted on its
        // own, forbids the rename: write into the file instead.
    }
    return copy_into_place(target, info, failure);
}

int run_program(int argc, char** argv) {
    program_name = (argc > 0 && argv[0] != nullptr) ? argv[0] : "varnel";
    init_globals();
    total_warnings = 0;
    total_errors = 0;
    // Every run starts from the built-in defaults (markup on; write-back,
    // clean, upper case, hidden end tags and XML off; no error file).
    reset_options();
    close_error_stream();
    input_file = nullptr;
    output_failed = false;
    standard_output_failed = false;
    refused_error_file.clear();
    clearerr(stdout);
    clear_protected_files();
    protect_documents(argc, argv);

    const char* user_config = getenv("HTML_VARNEL");
    read_config_file(user_config != nullptr ? user_config : "~/.varnelrc");

    int cursor = 1;
    for (;;) {
        while (cursor < argc && argv[cursor][0] == '-') {
            switch (apply_switch(argc, argv, &cursor)) {
            case SwitchOutcome::Continue:
                break;
            case SwitchOutcome::Help:
                show_help(stdout, program_name);
                stop_run();
                return output_failed ? 2 : 1;
            case SwitchOutcome::HelpConfig:
                show_option_help(stdout);
                stop_run();
                return output_failed ? 2 : 0;
            case SwitchOutcome::Version:
                show_version(error_stream);
                stop_run();
                return output_failed ? 2 : 0;
            case SwitchOutcome::EndRun:
                return end_run();
            }
        }
        derive_options();
        open_error_file();
        const char* name = cursor < argc ? argv[cursor] : nullptr;
        if (process_document(name) == DocumentOutcome::Panic) {
            stop_run();
            return 1;
        }
        if (name == nullptr) break;
        ++cursor;
        if (cursor >= argc) break;
    }
    return end_run();
}

} // namespace varnel
