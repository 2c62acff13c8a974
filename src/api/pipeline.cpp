// The per-document pipeline: input and its encoding, the tree and its
// passes, the doctype, the reports and the output.
#include "api/pipeline.h"

#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/files.h"
#include "base/util.h"
#include "clean/style.h"
#include "clean/word.h"
#include "input/charset.h"
#include "input/doctype.h"
#include "input/lexer.h"
#include "input/stream.h"
#include "input/versions.h"
#include "model/attrs.h"
#include "model/node.h"
#include "model/pool.h"
#include "model/record_region.h"
#include "model/reports.h"
#include "model/tags.h"
#include "output/out_stream.h"
#include "output/printer.h"
#include "output/slides.h"
#include "tree/builders.h"
#include "tree/inline_stack.h"

namespace varnel {

namespace {

// Adds a document's count to a total without overflowing it.
void add_to_total(uint32_t* total, uint32_t count) {
    const uint64_t sum = static_cast<uint64_t>(*total) + count;
    *total = sum > INT32_MAX ? INT32_MAX : static_cast<uint32_t>(sum);
}

// Writes a message about a file or the run.
void say(const DocumentJob& job, FILE* where, Severity severity, const std::string& text) {
    write_message(where, job.diagnostics, severity, text);
}

// Sets the HTML or XHTML document type of a document with content.
void set_document_type(Lexer* lexer, Node* root) {
    if (root->first_child() == nullptr) return;
    if (lexer->options.output_xhtml) {
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
    const Config& options = job->lexer->options;
    OutputStream out;
    out.encoding = options.char_encoding;
    out.iso2022_state = Iso2022Ascii;
    out.sink = sink;
    out.options = &options;
    if (options.input_xml) {
        print_xml_tree(&out, PrintNormal, 0, job->lexer, job->root);
    } else {
        print_tree(&out, PrintNormal, 0, job->lexer, job->root);
    }
    flush_line(&out, 0);
    flush_output(&out);
}

// Writes a document without errors: slides, back into its file, or to the
// output stream. `from_utf16` tells that the input was UTF-16.
void write_output(const DocumentJob& job, DocumentOutcome& outcome, Lexer* lexer, Node* root,
                  const std::string& label, bool is_stream, bool from_utf16) {
    const Config& options = lexer->options;
    if (options.split) {
        Node* doctype = find_doctype(root);
        if (doctype != nullptr) discard_node(doctype);
        // The slide frame (a division with onclick, center, br clear) is
        // HTML 4.01 Transitional, whatever the page itself would fit.
        lexer->possible_versions = (lexer->possible_versions & ~VersionAll) | VersionHTML40Loose;
        set_document_type(lexer, root);
        if (find_body(root) != nullptr) {
            if (job.reports != nullptr)
                fprintf(job.reports, "%d Slides found\n", count_slides(find_body(root)));
            SlideFiles files;
            files.documents = job.documents;
            files.program_name = job.program_name;
            if (!create_slides(lexer, root, files)) outcome.output_failed = true;
        } else {
            say(job, job.reports, Severity::Warning,
                "Can't create slides - document is missing a body element.");
        }
        return;
    }
    PrintJob print_job{lexer, root};
    // Standard input has no file to write back into: its result goes to
    // the output stream.
    if (options.write_back && !is_stream) {
        if (from_utf16) {
            // Output is never UTF-16: rather than turn the file into bytes of
            // another encoding (which its charset declaration and the tools
            // that made it would then misread), it is left as it was, and the
            // result goes where the user can see it and choose.
            say(job, job.reports, Severity::Warning,
                std::string(job.program_name) + ": can't write \"" + label +
                    "\" back as UTF-16; the result goes to standard output");
            add_to_total(&outcome.warnings, 1);
        } else {
            ReplaceFailure failure;
            if (replace_file_contents(label.c_str(), print_document, &print_job, &failure,
                                      job.file_events)) {
                return;
            }
            outcome.output_failed = true;
            if (failure.result_kept) {
                say(job, job.errors, Severity::Error,
                    std::string(job.program_name) + ": can't write back into \"" + label + "\" - " +
                        failure.reason);
                return;
            }
            say(job, job.errors, Severity::Error,
                std::string(job.program_name) + ": can't write back into \"" + label + "\" - " +
                    failure.reason + "; the result goes to standard output");
        }
    }
    if (job.output != nullptr) print_document(job.output, &print_job);
    outcome.printed = true;
    if (job.printed) job.printed();
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
void position_of(std::string_view head, size_t offset, int32_t tab_size, uint32_t* line,
                 uint32_t* column) {
    uint32_t l = 1;
    uint32_t c = 1;
    const int32_t tab = tab_size;
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
EncodingChoice choose_encoding(const Config& options, FILE* in, FILE** reader) {
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
    // Left uninitialised: only the part a read fills is ever touched, so a
    // small page costs no more memory than its own size.
    constexpr size_t ChunkBytes = size_t{1} << 14;
    const std::unique_ptr<unsigned char[]> buffer(new unsigned char[ChunkBytes]);
    unsigned char* const chunk = buffer.get();
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
        const size_t got = read_more(ChunkBytes);
        if (got == 0) break;
        check.feed(chunk, got);
    }
    if (check.valid() && check.has_multibyte()) {
        choice.encoding = CharEncoding::Utf8;
        choice.source = EncodingSource::Utf8Bytes;
    } else if (!declared.label.empty() && check.has_high_bytes()) {
        choice.unsupported = declared.label;
        position_of(head, declared.offset, options.tab_size, &choice.line, &choice.column);
    }
    return finish();
}

// The options a document is processed with: the run's, with the encoding
// chosen for the document. A document in a declared encoding that the
// program cannot read is copied byte for byte: read and written raw, with
// its entity references kept as written (decoded, a reference to a
// character of 128-255 would be written as one byte of the page's own
// encoding, which means something else there). Markup is ASCII in every
// encoding built on it, and the bytes of a multi-byte character never
// include a space, "<", "&", "=" or a quote, so the page's text passes
// through unchanged. The choice does not carry over to the next document.
Config document_options(const Config& run_options, const EncodingChoice& choice) {
    Config options = run_options;
    options.char_encoding = choice.encoding;
    if (!choice.unsupported.empty()) {
        options.char_encoding = CharEncoding::Raw;
        options.preserve_entities = true;
        options.quote_ampersand = false;
    }
    return options;
}

// Tells the run, once, that the document makes no more style classes.
class ClassNumbers {
  public:
    explicit ClassNumbers(const DocumentJob& job) : job_(job) {}
    ~ClassNumbers() { settle(0); }
    ClassNumbers(const ClassNumbers&) = delete;
    ClassNumbers& operator=(const ClassNumbers&) = delete;

    void settle(int next) {
        if (settled_) return;
        settled_ = true;
        if (job_.class_numbers_settled) job_.class_numbers_settled(next);
    }

  private:
    const DocumentJob& job_;
    bool settled_ = false;
};

// Everything a document holds while it is processed, released in order
// however the processing ends.
struct DocumentFiles {
    FILE* in = nullptr;     // the opened file (null for a stream)
    FILE* reader = nullptr; // what is read: `in`, the stream, or a stream over both
    FILE* stream = nullptr; // the job's input stream, when it is read
    std::unique_ptr<char[]> buffer;
    InputStream* input = nullptr;
    Lexer* lexer = nullptr;
    Node* root = nullptr;
    bool leave_tree = false; // see DocumentJob::process_ends_after

    DocumentFiles() = default;
    DocumentFiles(const DocumentFiles&) = delete;
    DocumentFiles& operator=(const DocumentFiles&) = delete;
    ~DocumentFiles() {
        close_input();
#ifndef VARNEL_POOL_OFF
        if (leave_tree) root = nullptr;
#endif
        free_node(root);
        free_lexer(lexer);
    }
    void close_input() {
        if (reader != nullptr && reader != in && reader != stream) fclose(reader);
        reader = nullptr;
        if (in != nullptr) fclose(in);
        in = nullptr;
        if (input != nullptr) free_input_stream(input);
        input = nullptr;
        if (lexer != nullptr) {
            lexer->input = nullptr;
            lexer->stream_line = nullptr;
            lexer->stream_column = nullptr;
        }
    }
};

} // namespace

DocumentOutcome process_document(const DocumentJob& job) {
    DocumentOutcome outcome;
    ClassNumbers class_numbers(job);
    const bool is_stream = job.name == nullptr;
    const std::string label = is_stream ? "stdin" : job.name;
    DocumentFiles files;
    files.leave_tree = job.process_ends_after;
    FILE* in = job.input;
    size_t file_size = 0;
    if (!is_stream) {
        in = fopen(job.name, "rb");
        struct stat info;
        const bool known = in != nullptr && fstat(fileno(in), &info) == 0;
        const bool regular = known && S_ISREG(info.st_mode);
        if (regular) file_size = static_cast<size_t>(info.st_size);
        if (known && S_ISDIR(info.st_mode)) {
            fclose(in); // a directory holds no document
            in = nullptr;
        }
        if (in == nullptr) {
            say(job, job.reports, Severity::Warning,
                std::string(job.program_name) + ": can't open file \"" + job.name + "\"");
            return outcome;
        }
        files.in = in;
        // The file is one of the documents already unless it was made
        // during the run.
        if (job.documents != nullptr && regular) job.documents->add(info);
        files.buffer.reset(new char[StreamBufferSize]);
        setvbuf(in, files.buffer.get(), _IOFBF, StreamBufferSize);
    } else {
        files.stream = in;
    }

    FILE* reader = in;
    const EncodingChoice encoding = choose_encoding(job.options, in, &reader);
    files.reader = reader;
    const Config options = document_options(job.options, encoding);
    files.input = new_input_stream(reader, options.char_encoding, options.tab_size);
    Lexer* lexer = new_lexer(files.input, options);
    files.lexer = lexer;
    lexer->raw_encoding_label = encoding.unsupported;
    lexer->messages = job.reports;
    lexer->error_messages = job.errors;
    lexer->diagnostics = job.diagnostics;
    lexer->label = label;
    lexer->first_class_number = job.first_class_number;
    // The text buffer ends up about as large as the file: sizing it once
    // spares the copies of growing it step by step.
    if (file_size > 0 && file_size < (size_t{1} << 31)) {
        lexer->text.reserve(file_size + file_size / 8);
        // A buffer of several large pages fills from its start on (about
        // half of it, as markup takes no room in it): large pages spare a
        // fault on every small one. The input stream gives them to the
        // buffer as the text grows towards them.
        if (lexer->text.capacity() >= 4 * LargePageBytes) lexer->input_size = file_size;
        // A page of 16 KB makes about a dozen pages of records, which cost
        // more in faults than clearing one large page does (nothing is
        // gained below). From 1 MB on, the tree's large blocks are so
        // backed anyway, while its small ones stay in small pages: the
        // memory a partly filled large page adds would then count against
        // the size of the input.
        if (takes_large_pages(file_size)) advise_large_record_pages();
    }
    files.input->lexer = lexer;

    auto panic = [&] {
        class_numbers.settle(lexer->next_class_number);
        if (job.errors != nullptr) fputc('\n', job.errors);
        say(job, job.errors, Severity::Error, "Panic - tree has lost its integrity");
        outcome.panic = true;
        return outcome;
    };

    auto report_encoding = [&] {
        if (!encoding.unsupported.empty()) {
            report_unsupported_encoding(lexer, encoding.line, encoding.column,
                                        encoding.unsupported.c_str());
        }
    };

    Node*& root = files.root;
    if (options.input_xml) {
        report_encoding();
        root = build_xml_document(lexer);
        // An XML document is not repaired, so its warnings stay its own;
        // one with errors is rejected (not written), and the run says so in
        // its exit status as it does for HTML.
        add_to_total(&outcome.errors, lexer->errors);
        settle_xml_declaration(lexer, root);
        settle_meta_charsets(lexer, root);
    } else {
        lexer->warnings = 0;
        if (!options.quiet && job.reports != nullptr)
            show_banner(job.reports, release_date, label.c_str());
        report_encoding();
        root = build_document(lexer);
    }
    if (root == nullptr) {
        // A builder that produced nothing leaves an empty document.
        root = new_node();
        root->set_kind(RootNode);
    }
    if (!lexer->options.input_xml) {
        if (!check_tree_links(root)) return panic();
        collapse_nested_emphasis(root);
        // Implicit quotes come from lists turned into quotes, and only
        // they are nested into divisions: without any the walk is spared.
        if (lone_item_list_to_quote(root)) quote_nest_to_div(root);
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
        class_numbers.settle(lexer->next_class_number);
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
        uint32_t doctype_end = has_doctype ? doctype->end() : 0;

        set_document_type(lexer, root);
        if (root->first_child() != nullptr && options.varnel_mark) add_generator_meta(lexer, root);
        if (lexer->options.output_xml) {
            drop_copied_duplicate_ids(root);
            drop_undeclared_prefixed_attributes(root);
            settle_xml_declaration(lexer, root);
        }
        // A meta element that declares an encoding names the one the
        // output is written in.
        const std::vector<CharsetChange> charset_changes = settle_meta_charsets(lexer, root);

        add_to_total(&outcome.warnings, lexer->warnings);
        add_to_total(&outcome.errors, lexer->errors);
        if (!options.quiet && root->first_child() != nullptr && job.reports != nullptr) {
            report_doctype_summary(job.reports, lexer, label.c_str(), has_doctype, doctype_start,
                                   doctype_end);
            const bool written = options.markup && lexer->errors == 0;
            report_encoding_summary(job.reports, label.c_str(),
                                    encoding.source == EncodingSource::Utf8Bytes,
                                    written ? charset_changes : std::vector<CharsetChange>());
            report_count(job.reports, lexer);
        }
    }
    class_numbers.settle(lexer->next_class_number);
    const bool from_utf16 = files.input->utf16 != Utf16Order::None;
    files.close_input();

    if (lexer->errors > 0 && job.reports != nullptr) report_needs_fixing(job.reports);
    if (options.markup && lexer->errors == 0)
        write_output(job, outcome, lexer, root, label, is_stream, from_utf16);
    report_advice(lexer);
    return outcome;
}

} // namespace varnel
