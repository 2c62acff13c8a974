// The program run: the argument scan with its switch tables, the error file,
// the documents (one after another, or on several threads with -j), and the
// end of the run.
#include "cli/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "api/pipeline.h"
#include "base/files.h"
#include "base/messages.h"
#include "base/util.h"
#include "cli/batch.h"
#include "cli/signals.h"

namespace varnel {

namespace {

// The most threads -j starts.
constexpr int MaxJobs = 256;

// What a switch asks of the argument scan.
enum class SwitchOutcome { Continue, Help, HelpConfig, Version, EndRun };

// What the switches change: the options, the number of threads, and the
// warnings they give (printed in order with everything else on standard
// error).
struct Scan {
    Config& options;
    int& jobs;
    std::string& messages;
};

// An encoding switch: the encoding of every document after it.
void set_encoding(Config& options, CharEncoding encoding) {
    options.char_encoding = encoding;
    options.char_encoding_given = true;
}

struct WordSwitch {
    const char* word;
    void (*apply)(Config& options);
};

// Switches that set options, compared exactly.
const WordSwitch word_switches[] = {
    {"-indent", [](Config& o) { o.indent_content = true; }},
    {"-xml", [](Config& o) { o.input_xml = true; }},
    {"-asxml", [](Config& o) { o.output_xhtml = true; }},
    {"-asxhtml", [](Config& o) { o.output_xhtml = true; }},
    {"-omit", [](Config& o) { o.hide_endtags = true; }},
    {"-upper", [](Config& o) { o.uppercase_tags = true; }},
    {"-clean", [](Config& o) { o.clean = true; }},
    {"-raw", [](Config& o) { set_encoding(o, CharEncoding::Raw); }},
    {"-ascii", [](Config& o) { set_encoding(o, CharEncoding::Ascii); }},
    {"-latin1", [](Config& o) { set_encoding(o, CharEncoding::Latin1); }},
    {"-utf8", [](Config& o) { set_encoding(o, CharEncoding::Utf8); }},
    {"-iso2022", [](Config& o) { set_encoding(o, CharEncoding::Iso2022); }},
    {"-mac", [](Config& o) { set_encoding(o, CharEncoding::MacRoman); }},
    {"-numeric", [](Config& o) { o.numeric_entities = true; }},
    {"-modify", [](Config& o) { o.write_back = true; }},
    {"-change", [](Config& o) { o.write_back = true; }},
    {"-update", [](Config& o) { o.write_back = true; }},
    {"-errors", [](Config& o) { o.markup = false; }},
    {"-quiet", [](Config& o) { o.quiet = true; }},
    {"-slides", [](Config& o) { o.split = true; }},
    {"-preserve", [](Config& o) { o.preserve_entities = true; }},
};

// Skips leading white space and a sign: what a "%d" scan steps over.
const char* number_start(const char* value) {
    const char* p = value;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    if (*p == '-' || *p == '+') ++p;
    return p;
}

// The value of "-wrap": a number from 0 to the largest 32-bit value. A
// value with no number leaves wrap as it was; a number out of that range
// does too, with the option's bad-value warning.
void apply_wrap_switch(Scan& scan, const char* value) {
    int wrap = 0;
    if (scan_decimal(value, &wrap) && wrap >= 0) {
        scan.options.wrap = wrap;
        return;
    }
    const char* p = number_start(value);
    if (*p >= '0' && *p <= '9') report_bad_value(scan.messages, "wrap");
}

// The value of "-j": the number of threads documents are processed on, from
// 0 (one per core) to MaxJobs. Any other value leaves it as it was, with
// the bad-value warning.
void apply_jobs_switch(Scan& scan, const char* value) {
    int jobs = 0;
    if (scan_decimal(value, &jobs) && jobs >= 0 && jobs <= MaxJobs) {
        scan.jobs = jobs;
        return;
    }
    report_bad_value(scan.messages, "jobs");
}

struct ValueSwitch {
    const char* word;
    void (*apply)(Scan& scan, const char* value);
};

// Switches that take the next argument as their value.
const ValueSwitch value_switches[] = {
    {"-config",
     [](Scan& scan, const char* value) { read_config_file(scan.options, value, scan.messages); }},
    {"-f", [](Scan& scan, const char* value) { scan.options.error_file = value; }},
    {"-file", [](Scan& scan, const char* value) { scan.options.error_file = value; }},
    {"--file", [](Scan& scan, const char* value) { scan.options.error_file = value; }},
    {"-w", apply_wrap_switch},
    {"-wrap", apply_wrap_switch},
    {"--wrap", apply_wrap_switch},
    {"-j", apply_jobs_switch},
    {"-jobs", apply_jobs_switch},
};

const char* const version_switches[] = {"-v", "-version", "--version"};

struct FlagLetter {
    char letter;
    void (*apply)(Config& options);
};

// The letters of a single-letter flag group such as "-imu".
const FlagLetter flag_letters[] = {
    {'c', [](Config& o) { o.clean = true; }},
    {'e', [](Config& o) { o.markup = false; }},
    {'i',
     [](Config& o) {
         o.indent_content = true;
         o.smart_indent = true;
     }},
    {'m', [](Config& o) { o.write_back = true; }},
    {'n', [](Config& o) { o.numeric_entities = true; }},
    {'o', [](Config& o) { o.hide_endtags = true; }},
    {'q', [](Config& o) { o.quiet = true; }},
    {'u', [](Config& o) { o.uppercase_tags = true; }},
};

void apply_flag_group(Scan& scan, const char* letters) {
    for (const char* p = letters; *p != '\0'; ++p) {
        const FlagLetter* found = nullptr;
        for (const FlagLetter& flag : flag_letters) {
            if (flag.letter == *p) found = &flag;
        }
        if (found != nullptr) {
            found->apply(scan.options);
        } else {
            scan.messages += "unrecognized option -";
            scan.messages += *p;
            scan.messages += " use -help to list options\n";
        }
    }
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

bool is_help_switch(const char* arg) {
    return strcmp(arg, "-help") == 0 || arg[1] == 'h' || arg[1] == '?';
}

// Ends the run early with an exit status (a panic, a fatal error).
struct StopRun {
    int status;
};

// One run of the program.
class Run {
  public:
    Run(int argc, char** argv)
        : argc_(argc), argv_(argv),
          program_name_((argc > 0 && argv[0] != nullptr) ? argv[0] : "varnel") {}
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;
    ~Run() { close_error_stream(); }

    int execute();
    const Config& options() const { return options_; }
    void set_ends_process(bool ends) { ends_process_ = ends; }

  private:
    SwitchOutcome apply_switch(int* cursor);
    void protect_documents();
    void protect_document(int fd, const char* name);
    void print_messages();
    FILE* open_error_file_checked(const std::string& name);
    void open_error_file();
    void check_standard_output();
    void close_error_stream();
    // `last`: no document follows on the command line.
    void document(const char* name, bool last);
    bool runs_alone(const char* name);
    DocumentJob make_job(const char* name);
    void account(const DocumentOutcome& outcome);
    void fatal(const std::string& message);
    void emit(BatchResult& result);
    void settle_pending();
    uint32_t count_documents(int cursor) const;
    void start_progress(int cursor);
    void clear_progress();
    void show_progress();
    void stop_run();
    int end_run();

    int argc_;
    char** argv_;
    const char* program_name_;
    Config options_;
    int jobs_ = 1;
    std::string messages_;
    FILE* error_stream_ = stderr;
    std::string error_stream_name_ = "stderr";
    // An error file refused because it is one of the documents; it is not
    // tried (or reported) again.
    std::string refused_error_file_;
    // Set when an output of the run (standard output, a written-back file,
    // a slide file) could not be written, or an error file was refused: the
    // run then ends with status 2.
    bool output_failed_ = false;
    bool ends_process_ = false; // the process ends when the run does
    bool standard_output_failed_ = false;
    uint32_t total_warnings_ = 0;
    uint32_t total_errors_ = 0;
    FileSet documents_;
    ClassNumbering classes_;
    // The files read so far by identity, to find a file named twice.
    std::set<std::pair<dev_t, ino_t>> seen_;
    std::unique_ptr<Batch> batch_;
    // The one-line progress indicator of a batch on a terminal.
    bool progress_ = false;
    bool progress_shown_ = false;
    uint32_t progress_total_ = 0; // documents named; 0 until counted
    uint32_t progress_done_ = 0;
};

// Interprets the switch at argv[*cursor] and advances the cursor past it
// and its value.
SwitchOutcome Run::apply_switch(int* cursor) {
    const char* arg = argv_[*cursor];
    bool has_next = *cursor + 1 < argc_;
    Scan scan{options_, jobs_, messages_};
    for (const WordSwitch& s : word_switches) {
        if (strcmp(arg, s.word) == 0) {
            s.apply(options_);
            ++*cursor;
            return SwitchOutcome::Continue;
        }
    }
    if (strcmp(arg, "-help-config") == 0) return SwitchOutcome::HelpConfig;
    if (is_help_switch(arg)) return SwitchOutcome::Help;
    for (const ValueSwitch& s : value_switches) {
        if (strcmp(arg, s.word) == 0) {
            ++*cursor;
            if (has_next) {
                // A configuration file may be a document written back by
                // one still under way: read it after those are done.
                if (strcmp(arg, "-config") == 0) settle_pending();
                s.apply(scan, argv_[*cursor]);
                ++*cursor;
            }
            return SwitchOutcome::Continue;
        }
    }
    if (is_version_switch(arg)) return SwitchOutcome::Version;
    if (arg[1] == '-') {
        // A long option with no value left ends the run without another document.
        if (!has_next) return SwitchOutcome::EndRun;
        bool consumed = apply_option_string(options_, arg + 2, argv_[*cursor + 1], messages_);
        *cursor += consumed ? 2 : 1;
        return SwitchOutcome::Continue;
    }
    apply_flag_group(scan, arg + 1);
    ++*cursor;
    return SwitchOutcome::Continue;
}

// Records a document the run will read, when it is a regular file, so that
// no output of the run overwrites or deletes it.
void Run::protect_document(int fd, const char* name) {
    struct stat info;
    int status = name != nullptr ? stat(name, &info) : fstat(fd, &info);
    if (status == 0 && S_ISREG(info.st_mode)) documents_.add(info);
}

// Goes through the arguments as the scan will, without applying anything,
// and protects every document it will read: each named file, and standard
// input when the list ends in switches.
void Run::protect_documents() {
    int cursor = 1;
    for (;;) {
        while (cursor < argc_ && argv_[cursor][0] == '-') {
            const char* arg = argv_[cursor];
            if (is_word_switch(arg)) {
                ++cursor;
            } else if (is_help_switch(arg) || is_version_switch(arg)) {
                return; // the run stops here
            } else if (is_value_switch(arg)) {
                cursor += 2;
            } else if (arg[1] == '-') {
                if (cursor + 1 >= argc_) return;
                cursor += option_exists(arg + 2) ? 2 : 1;
            } else {
                ++cursor;
            }
        }
        if (cursor >= argc_) {
            protect_document(fileno(stdin), nullptr);
            return;
        }
        protect_document(-1, argv_[cursor]);
        if (++cursor >= argc_) return;
    }
}

// Prints the warnings of the switches and configuration files read so far,
// after everything the documents before them printed.
void Run::print_messages() {
    if (messages_.empty()) return;
    settle_pending();
    fputs(messages_.c_str(), stderr);
    messages_.clear();
}

// Opens the error file for writing. The file is emptied only once it is
// known not to be one of the documents of the run (by any of its names);
// such a file is refused, and the diagnostics stay on standard error.
FILE* Run::open_error_file_checked(const std::string& name) {
    auto refuse = [&]() -> FILE* {
        fprintf(stderr, "%s: can't write errors into \"%s\" - it is one of the documents\n",
                program_name_, name.c_str());
        refused_error_file_ = name;
        output_failed_ = true;
        return nullptr;
    };
    struct stat info;
    if (stat(name.c_str(), &info) == 0 && documents_.contains(info)) return refuse();
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    if (fstat(fd, &info) == 0 && documents_.contains(info)) {
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

// Points the error stream at the error file when the option names a new
// one. The name "stderr" always means standard error. The documents before
// are finished first: their reports go where they went.
void Run::open_error_file() {
    if (!options_.error_file.has_value() || *options_.error_file == error_stream_name_) return;
    if (*options_.error_file == refused_error_file_) return;
    settle_pending();
    close_error_stream();
    if (*options_.error_file == "stderr") return;
    FILE* file = open_error_file_checked(*options_.error_file);
    if (file != nullptr) {
        error_stream_ = file;
        error_stream_name_ = *options_.error_file;
    }
}

// Flushes standard output and reports, once, when it cannot be written.
void Run::check_standard_output() {
    if (standard_output_failed_) return;
    int error = 0;
    if (fflush(stdout) != 0) {
        error = errno;
    } else if (ferror(stdout)) {
        error = EIO;
    }
    if (error == 0) return;
    fprintf(stderr, "%s: can't write to standard output - %s\n", program_name_,
            strerror(error != 0 ? error : EIO));
    standard_output_failed_ = true;
    output_failed_ = true;
}

void Run::close_error_stream() {
    if (error_stream_ != stderr) fclose(error_stream_);
    error_stream_ = stderr;
    error_stream_name_ = "stderr";
}

// Adds a count to a run total without overflowing it.
void add_to_total(uint32_t* total, uint32_t count) {
    const uint64_t sum = static_cast<uint64_t>(*total) + count;
    *total = sum > INT32_MAX ? INT32_MAX : static_cast<uint32_t>(sum);
}

// Adds what a document did to the run; a panic stops the run.
void Run::account(const DocumentOutcome& outcome) {
    add_to_total(&total_warnings_, outcome.warnings);
    add_to_total(&total_errors_, outcome.errors);
    ++progress_done_;
    if (outcome.output_failed) output_failed_ = true;
    if (outcome.panic) {
        stop_run();
        throw StopRun{1};
    }
}

// A fatal error ends the run at once.
void Run::fatal(const std::string& message) {
    clear_progress();
    remove_temporary_files();
    fprintf(stderr, "Fatal error: %s\n", message.c_str());
    close_error_stream();
    throw StopRun{2};
}

// The job of one document, with the run's options as they stand now.
DocumentJob Run::make_job(const char* name) {
    DocumentJob job;
    job.options = options_;
    job.name = name;
    job.input = name == nullptr ? stdin : nullptr;
    job.program_name = program_name_;
    job.documents = &documents_;
    job.file_events = file_events();
    const size_t place = classes_.add();
    job.first_class_number = [this, place] { return classes_.first_for(place); };
    job.class_numbers_settled = [this, place](int next) { classes_.settle(place, next); };
    return job;
}

// True when a document must be processed alone, with every document before
// it finished and none after it started, to come out as when documents
// are processed one after another: it is split into slides (which write
// files of fixed names), it is a file that an earlier document read (and
// may have written back) or that the error file is, or it names no file
// yet (an earlier document may make it).
bool Run::runs_alone(const char* name) {
    if (options_.split) return true;
    struct stat info;
    if (name == nullptr) {
        // Standard input may be one of the files named before it.
        return fstat(fileno(stdin), &info) == 0 && seen_.count({info.st_dev, info.st_ino}) != 0;
    }
    if (stat(name, &info) != 0) return true;
    bool alone = !seen_.emplace(info.st_dev, info.st_ino).second;
    struct stat errors;
    if (error_stream_ != stderr && fstat(fileno(error_stream_), &errors) == 0 &&
        errors.st_dev == info.st_dev && errors.st_ino == info.st_ino) {
        alone = true;
    }
    return alone;
}

// Runs one document: on this thread with its output written as it comes,
// or handed to the batch, whose results are written in order.
void Run::document(const char* name, bool last) {
    const int jobs = jobs_ == 0 ? Batch::cores() : jobs_;
    if (jobs > 1 && !runs_alone(name)) {
        if (batch_ == nullptr || batch_->threads() != jobs) {
            settle_pending();
            batch_ = std::make_unique<Batch>(jobs);
        }
        batch_->submit(make_job(name), error_stream_ == stderr, error_stream_);
        // Results are written in order as they come in; the batch holds a
        // few times as many documents as it has threads.
        while (batch_->pending() > static_cast<size_t>(4 * jobs) || batch_->front_done()) {
            std::unique_ptr<BatchResult> done = batch_->take_front();
            if (done != nullptr) emit(*done);
        }
        return;
    }
    settle_pending();
    clear_progress();
    DocumentJob job = make_job(name);
    job.output = stdout;
    job.reports = error_stream_;
    job.errors = stderr;
    job.printed = [this] { check_standard_output(); };
    job.process_ends_after = last && ends_process_;
    try {
        account(process_document(job));
    } catch (const FatalError& error) {
        fatal(error.message);
    }
    show_progress();
}

// Writes a document's buffered reports and output where the document would
// have written them, in the order it would have, and adds it to the run.
void Run::emit(BatchResult& result) {
    clear_progress();
    result.close();
    const std::string_view reports = result.reports.text();
    const std::string_view errors = result.errors.text();
    const std::string_view output = result.output.text();
    FILE* target = result.report_target;
    auto put = [](FILE* file, std::string_view text, size_t from, size_t to) {
        if (to > from) fwrite(text.data() + from, 1, to - from, file);
    };
    const size_t reports_split = result.printed ? result.reports_at_print : reports.size();
    const size_t errors_split = result.printed ? result.errors_at_print : errors.size();
    put(target, reports, 0, reports_split);
    if (!result.shared) put(stderr, errors, 0, errors_split);
    if (result.printed || !output.empty()) {
        put(stdout, output, 0, output.size());
        if (result.printed) check_standard_output();
    }
    put(target, reports, reports_split, reports.size());
    if (!result.shared) put(stderr, errors, errors_split, errors.size());
    if (result.fatal) fatal(result.fatal_message);
    account(result.outcome);
    show_progress();
}

// The number of documents the arguments from `cursor` on name, stepping
// over switches and their values as the scan does.
uint32_t Run::count_documents(int cursor) const {
    uint32_t count = 0;
    while (cursor < argc_) {
        const char* arg = argv_[cursor];
        if (arg[0] != '-' || arg[1] == '\0') {
            ++count;
            ++cursor;
        } else if (is_value_switch(arg)) {
            cursor += 2;
        } else if (arg[1] == '-' && !is_version_switch(arg)) {
            cursor += option_exists(arg + 2) ? 2 : 1;
        } else {
            ++cursor;
        }
    }
    return count;
}

// A batch of documents shows how far it has got on standard error when that
// is a terminal someone watches, unless -q asks for quiet or the documents'
// output goes to the same terminal.
void Run::start_progress(int cursor) {
    if (progress_total_ != 0) return;
    progress_total_ = count_documents(cursor);
    const bool output_on_terminal =
        isatty(fileno(stdout)) && options_.markup && !options_.write_back;
    progress_ =
        progress_total_ > 1 && isatty(fileno(stderr)) && !options_.quiet && !output_on_terminal;
}

// Takes the indicator off its line, so that what follows starts clean.
void Run::clear_progress() {
    if (!progress_shown_) return;
    fputs("\r\033[K", stderr);
    progress_shown_ = false;
}

void Run::show_progress() {
    if (!progress_ || progress_done_ >= progress_total_) return;
    fflush(error_stream_);
    fprintf(stderr, "\r%u/%u files done, %u errors so far", progress_done_, progress_total_,
            total_errors_);
    fflush(stderr);
    progress_shown_ = true;
}

// Finishes every document handed to the batch, writing their results in
// order.
void Run::settle_pending() {
    if (batch_ == nullptr) return;
    while (batch_->pending() > 0) {
        std::unique_ptr<BatchResult> done = batch_->take_front();
        if (done != nullptr) emit(*done);
    }
}

// Ends a run that stops early (help, version, panic): files closed.
void Run::stop_run() {
    check_standard_output();
    close_error_stream();
}

// The end of a run: closing paragraph, error file, exit status.
int Run::end_run() {
    settle_pending();
    clear_progress();
    if (total_warnings_ != 0 || total_errors_ != 0) report_closing_info(error_stream_);
    close_error_stream();
    check_standard_output();
    if (total_errors_ != 0 || output_failed_) return 2;
    return total_warnings_ != 0 ? 1 : 0;
}

int Run::execute() {
    clearerr(stdout);
    protect_documents();

    const char* user_config = getenv("HTML_VARNEL");
    read_config_file(options_, user_config != nullptr ? user_config : "~/.varnelrc", messages_);
    print_messages();

    int cursor = 1;
    for (;;) {
        while (cursor < argc_ && argv_[cursor][0] == '-') {
            const SwitchOutcome outcome = apply_switch(&cursor);
            print_messages();
            switch (outcome) {
            case SwitchOutcome::Continue:
                break;
            case SwitchOutcome::Help:
                settle_pending();
                show_help(stdout, program_name_);
                stop_run();
                return output_failed_ ? 2 : 1;
            case SwitchOutcome::HelpConfig:
                settle_pending();
                show_option_help(stdout);
                stop_run();
                return output_failed_ ? 2 : 0;
            case SwitchOutcome::Version:
                settle_pending();
                show_version(error_stream_);
                stop_run();
                return output_failed_ ? 2 : 0;
            case SwitchOutcome::EndRun:
                return end_run();
            }
        }
        derive_options(options_);
        open_error_file();
        const char* name = cursor < argc_ ? argv_[cursor] : nullptr;
        start_progress(cursor);
        document(name, name == nullptr || cursor + 1 >= argc_);
        if (name == nullptr) break;
        ++cursor;
        if (cursor >= argc_) break;
    }
    return end_run();
}

} // namespace

int run_program(int argc, char** argv, Config* final_options, bool ends_process) {
    Run run(argc, argv);
    run.set_ends_process(ends_process);
    int status = 0;
    try {
        status = run.execute();
    } catch (const StopRun& stop) {
        status = stop.status;
    }
    if (final_options != nullptr) *final_options = run.options();
    return status;
}

uint64_t largest_named_input(int argc, char** argv) {
    off_t largest = 0;
    struct stat info;
    const auto note = [&largest, &info] {
        if (S_ISREG(info.st_mode) && info.st_size > largest) largest = info.st_size;
    };
    if (fstat(0, &info) == 0) note();
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-' && stat(argv[i], &info) == 0) note();
    }
    return static_cast<uint64_t>(largest);
}

void buffer_standard_streams() {
    // The buffers stay with the streams until the process ends. Standard
    // input keeps the C library's own, of the same size, made when it is
    // first read: most runs name their pages and never read it, and a
    // buffer made for nothing would cost one more fresh page of memory.
    setvbuf(stdout, new char[StreamBufferSize], _IOFBF, StreamBufferSize);
    // Reports come one line at a time; unless someone watches them on a
    // terminal, collect them in a buffer rather than paying a system call
    // per line.
    if (!isatty(fileno(stderr))) {
        constexpr size_t ErrorBufferSize = 1u << 14;
        setvbuf(stderr, new char[ErrorBufferSize], _IOFBF, ErrorBufferSize);
    }
}

} // namespace varnel
