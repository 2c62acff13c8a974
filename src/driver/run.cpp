// The program run: start-up, the argument scan with its switch tables, the
// error-file step, the per-document pipeline and the end of the run.
#include "driver/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "build/builders.h"
#include "build/inline_stack.h"
#include "clean/style.h"
#include "clean/word.h"
#include "driver/config.h"
#include "driver/messages.h"
#include "driver/util.h"
#include "input/doctype.h"
#include "input/lexer.h"
#include "input/stream.h"
#include "model/attrs.h"
#include "model/entities.h"
#include "model/node.h"
#include "model/tags.h"
#include "output/out_stream.h"
#include "output/printer.h"
#include "output/slides.h"

namespace varnel {

FILE* error_stream = stderr;
std::string error_stream_name = "stderr";
int total_warnings = 0;
int total_errors = 0;

namespace {

// Size of the stdio buffers of the input file, standard output and a
// written-back file.
constexpr size_t StreamBufferSize = 1u << 20;

const char* program_name = "varnel";

// What a switch asks of the argument scan.
enum class SwitchOutcome { Continue, Help, Version, EndRun };

// How one document ended.
enum class DocumentOutcome { Done, Panic };

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
    {"-raw", [] { options.char_encoding = CharEncoding::Raw; }},
    {"-ascii", [] { options.char_encoding = CharEncoding::Ascii; }},
    {"-latin1", [] { options.char_encoding = CharEncoding::Latin1; }},
    {"-utf8", [] { options.char_encoding = CharEncoding::Utf8; }},
    {"-iso2022", [] { options.char_encoding = CharEncoding::Iso2022; }},
    {"-mac", [] { options.char_encoding = CharEncoding::MacRoman; }},
    {"-numeric", [] { options.numeric_entities = true; }},
    {"-modify", [] { options.write_back = true; }},
    {"-change", [] { options.write_back = true; }},
    {"-update", [] { options.write_back = true; }},
    {"-errors", [] { options.markup = false; }},
    {"-quiet", [] { options.quiet = true; }},
    {"-slides", [] { options.split = true; }},
    {"-preserve", [] { options.preserve_entities = true; }},
};

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
    {"-w", [](const char* value) { scan_decimal(value, &options.wrap); }},
    {"-wrap", [](const char* value) { scan_decimal(value, &options.wrap); }},
    {"--wrap", [](const char* value) { scan_decimal(value, &options.wrap); }},
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

// Points error_stream at the error file when the option names a new one.
// The name "stderr" always means standard error.
void open_error_file() {
    if (!options.error_file.has_value() || *options.error_file == error_stream_name) return;
    if (error_stream != stderr) fclose(error_stream);
    error_stream = stderr;
    error_stream_name = "stderr";
    if (*options.error_file == "stderr") return;
    FILE* file = fopen(options.error_file->c_str(), "w");
    if (file != nullptr) {
        error_stream = file;
        error_stream_name = *options.error_file;
    }
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
        lexer->possible_versions |= VersionHTML40Loose;
        set_document_type(lexer, root);
        if (find_body(root) != nullptr) {
            fprintf(error_stream, "%d Slides found\n", count_slides(find_body(root)));
            create_slides(lexer, root);
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
        } else if (replace_file_contents(label.c_str(), print_document, &job)) {
            return;
        }
    }
    print_document(stdout, &job);
}

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

    InputStream* stream = new_input_stream(in, options.char_encoding);
    Lexer* lexer = new_lexer(stream);
    lexer->messages = error_stream;
    // The text buffer ends up about as large as the file: sizing it once
    // spares the copies of growing it step by step.
    if (file_size > 0 && file_size < (size_t{1} << 31))
        lexer->text.reserve(file_size + file_size / 8);
    stream->lexer = lexer;
    current_input_name = label.c_str();

    Node* root = nullptr;
    auto close_input = [&] {
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

    if (options.input_xml) {
        root = build_xml_document(lexer);
    } else {
        lexer->warnings = 0;
        if (!options.quiet) show_banner(error_stream, release_date, label.c_str());
        root = build_document(lexer);
    }
    if (root == nullptr) {
        // A builder that produced nothing leaves an empty document.
        root = new_node();
        root->kind = RootNode;
    }
    if (!options.input_xml) {
        if (!check_tree_links(root)) return panic();
        html4_markup_added = false;
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
        // Styles, classes and spans written by the passes rule out the
        // versions before HTML 4 for the printed document.
        if (html4_markup_added) lexer->possible_versions &= ~(VersionHTML20 | VersionHTML32);

        // The summary quotes the doctype as the document gave it, before any
        // fix-up rewrites or drops it.
        Node* doctype = find_doctype(root);
        bool has_doctype = doctype != nullptr;
        uint32_t doctype_start = has_doctype ? doctype->start : 0;
        uint32_t doctype_end = has_doctype ? doctype->end : 0;

        set_document_type(lexer, root);
        if (root->first_child != nullptr && options.varnel_mark) add_generator_meta(lexer, root);
        if (options.output_xml && options.add_xml_decl) ensure_xml_declaration(lexer, root);

        add_to_total(&total_warnings, lexer->warnings);
        add_to_total(&total_errors, lexer->errors);
        if (!options.quiet && root->first_child != nullptr) {
            report_doctype_summary(error_stream, lexer, label.c_str(), has_doctype, doctype_start,
                                   doctype_end);
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
    fflush(stdout);
    close_error_stream();
    release_globals();
}

// The end of a run: closing paragraph, error file, tables, exit status.
int end_run() {
    if (total_warnings != 0 || total_errors != 0) report_closing_info(error_stream);
    close_error_stream();
    release_globals();
    fflush(stdout);
    if (total_errors != 0) return 2;
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

bool replace_file_contents(const char* path, void (*write)(FILE* sink, void* context),
                           void* context) {
    // Write beside the file a link points at, so that the link survives.
    std::string target = path;
    if (char* resolved = realpath(path, nullptr)) {
        target = resolved;
        free(resolved);
    }
    // The temporary file is ".<name>.varnel-XXXXXX" in the same directory.
    size_t base = target.rfind('/');
    base = base == std::string::npos ? 0 : base + 1;
    std::vector<char> temp_name(target.begin(), target.begin() + static_cast<ptrdiff_t>(base));
    temp_name.push_back('.');
    temp_name.insert(temp_name.end(), target.begin() + static_cast<ptrdiff_t>(base), target.end());
    for (const char* p = ".varnel-XXXXXX"; *p != '\0'; ++p)
        temp_name.push_back(*p);
    temp_name.push_back('\0');

    int fd = mkstemp(temp_name.data());
    if (fd < 0) return false;
    struct stat original;
    if (stat(target.c_str(), &original) == 0) {
        // Ownership first: changing it may clear set-id bits that chmod then restores.
        if (fchown(fd, original.st_uid, original.st_gid) != 0) {
            // Only a privileged user may give the file away; keep our own.
        }
        fchmod(fd, original.st_mode & 07777);
    }
    FILE* sink = fdopen(fd, "w");
    if (sink == nullptr) {
        close(fd);
        unlink(temp_name.data());
        return false;
    }
    std::unique_ptr<char[]> buffer(new char[StreamBufferSize]);
    setvbuf(sink, buffer.get(), _IOFBF, StreamBufferSize);
    write(sink, context);
    bool complete = fflush(sink) == 0 && ferror(sink) == 0 && fsync(fileno(sink)) == 0;
    complete = (fclose(sink) == 0) && complete;
    if (!complete || rename(temp_name.data(), target.c_str()) != 0) {
        unlink(temp_name.data());
        return false;
    }
    return true;
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
                return 1;
            case SwitchOutcome::Version:
                show_version(error_stream);
                stop_run();
                return 0;
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
