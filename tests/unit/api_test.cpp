// The library's interface: options set by name, documents processed into
// results (output, reports, diagnostics, counts, status), files written
// back, errors as values, and documents of different runs processed at
// once on several threads without touching each other.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "api/pipeline.h"
#include "base/util.h"
#include "varnel/varnel.h"
#include "varnel/varnel_c.h"

namespace varnel {
namespace {

// Options that keep the output short: no doctype, no generator mark, no
// banner and summaries.
Options plain_options() {
    Options options;
    EXPECT_TRUE(options.set("doctype", "omit"));
    EXPECT_TRUE(options.set("varnel-mark", "no"));
    EXPECT_TRUE(options.set("quiet", "yes"));
    return options;
}

// The page the printer writes around a body without a head.
std::string page(const std::string& title, const std::string& body) {
    return "<html>\n<head>\n<title>" + title + "</title>\n</head>\n<body>\n" + body +
           "</body>\n</html>\n\n";
}

TEST(ApiOptions, NamesAndValuesAsInConfigurationFiles) {
    Options options;
    std::string message = "unchanged";
    EXPECT_TRUE(options.set("wrap", "72", &message));
    EXPECT_EQ(message, "");
    EXPECT_FALSE(options.set("colour", "red", &message));
    EXPECT_EQ(message, "Warning - unknown option: colour");
    EXPECT_FALSE(options.set("indent", "sometimes", &message));
    EXPECT_EQ(message, "Warning - missing or malformed argument for option: indent");

    char path[] = "/tmp/varnel-api-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string text = "// a comment\nindent: auto\nquiet: perhaps\nwrap: 3x\n";
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    std::string messages;
    EXPECT_FALSE(options.read_file(path, &messages));
    EXPECT_EQ(messages, "Warning - missing or malformed argument for option: quiet");
    unlink(path);
    EXPECT_TRUE(options.read_file(path, &messages)); // a missing file sets nothing
    EXPECT_EQ(messages, "");
}

TEST(ApiProcess, ResultHoldsOutputReportsCountsAndStatus) {
    const Result r = process("<title>Menu</title>\n<p>caf&eacute au lait\n", plain_options());
    EXPECT_EQ(r.output, page("Menu", "<p>caf&eacute; au lait</p>\n"));
    EXPECT_EQ(r.report, "line 2 column 7 - Warning: entity \"&eacute\" doesn't end in ';'\n");
    ASSERT_EQ(r.diagnostics.size(), 1u);
    EXPECT_EQ(r.diagnostics[0], (Diagnostic{2, 7, Severity::Warning,
                                            "Warning: entity \"&eacute\" doesn't end in ';'"}));
    EXPECT_EQ(r.warnings, 1u);
    EXPECT_EQ(r.errors, 0u);
    EXPECT_EQ(r.status, 1);
}

TEST(ApiProcess, ADocumentWithErrorsIsNotWritten) {
    Options options = plain_options();
    const Result r = process("<title>t</title><p>x</p>\n<bogus>y</bogus>", options);
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors, 1u);
    ASSERT_FALSE(r.diagnostics.empty());
    EXPECT_EQ(r.diagnostics[0],
              (Diagnostic{2, 1, Severity::Error, "Error: <bogus> is not recognized!"}));
    // The notice that the document must be fixed follows the reports.
    EXPECT_NE(r.report.find("This document has errors that must be fixed before\n"),
              std::string::npos);
}

TEST(ApiProcess, DeclaredTagsBelongToTheirOptions) {
    Options declared = plain_options();
    ASSERT_TRUE(declared.set("new-blocklevel-tags", "box"));
    const std::string doc = "<title>t</title><box>x</box>";
    const Result with = process(doc, declared);
    EXPECT_EQ(with.status, 0);
    EXPECT_EQ(with.output, page("t", "<box>x</box>\n"));
    // Options without the declaration never heard of it.
    const Result without = process(doc, plain_options());
    EXPECT_EQ(without.status, 2);
    EXPECT_EQ(without.output, "");
}

TEST(ApiProcess, EveryCallIsARunOfItsOwn) {
    // Style classes are numbered from c1 in every call.
    Options options = plain_options();
    ASSERT_TRUE(options.set("clean", "yes"));
    const Result first = process("<title>t</title><center>x</center>", options);
    const Result second = process("<title>t</title><center>y</center>", options);
    EXPECT_NE(first.output.find("<div class=\"c1\">x</div>"), std::string::npos) << first.output;
    EXPECT_NE(second.output.find("<div class=\"c1\">y</div>"), std::string::npos) << second.output;
}

class ApiFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir_template[] = "/tmp/varnel-api-XXXXXX";
        ASSERT_NE(mkdtemp(dir_template), nullptr);
        dir_ = dir_template;
    }
    void TearDown() override {
        std::string command = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }
    std::string write(const std::string& name, const std::string& text) {
        const std::string path = dir_ + "/" + name;
        FILE* f = fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
        return path;
    }
    static std::string read(const std::string& path) {
        std::string text;
        FILE* f = fopen(path.c_str(), "rb");
        if (f == nullptr) return "<missing>";
        for (int c; (c = getc(f)) != EOF;)
            text.push_back(static_cast<char>(c));
        fclose(f);
        return text;
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        DIR* d = opendir(dir_.c_str());
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(d);
        return names;
    }
    std::string dir_;
};

TEST_F(ApiFile, WriteBackReplacesTheFileAndLeavesTheOutputEmpty) {
    const std::string path = write("page.html", "<title>t</title><p>x");
    Options options = plain_options();
    ASSERT_TRUE(options.set("write-back", "yes"));
    const Result r = process_file(path, options);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(read(path), page("t", "<p>x</p>\n"));
    EXPECT_EQ(entries(), std::vector<std::string>{"page.html"}); // no temporary file left
}

TEST_F(ApiFile, WithoutWriteBackTheResultIsReturned) {
    const std::string path = write("page.html", "<title>t</title><p>x");
    const Result r = process_file(path, plain_options());
    EXPECT_EQ(r.output, page("t", "<p>x</p>\n"));
    EXPECT_EQ(read(path), "<title>t</title><p>x");
}

TEST_F(ApiFile, AFileThatCannotBeReadIsAMessage) {
    const std::string path = dir_ + "/absent.html";
    const Result r = process_file(path, plain_options());
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(r.report, "varnel: can't open file \"" + path + "\"\n");
    ASSERT_EQ(r.diagnostics.size(), 1u);
    EXPECT_EQ(r.diagnostics[0].line, 0u);
    EXPECT_EQ(r.diagnostics[0].text, "varnel: can't open file \"" + path + "\"");
}

TEST_F(ApiFile, AFileThatCannotBeWrittenBackIsAnError) {
    // A directory in the way of the temporary file: write-back fails, the
    // result is returned instead and the status says so.
    const std::string path = write("page.html", "<title>t</title><p>x");
    ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
    Options options = plain_options();
    ASSERT_TRUE(options.set("write-back", "yes"));
    const Result r = process_file(path, options);
    chmod(dir_.c_str(), 0755);
    if (geteuid() == 0) GTEST_SKIP() << "the superuser can write any directory";
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.output, page("t", "<p>x</p>\n"));
    ASSERT_FALSE(r.diagnostics.empty());
    EXPECT_EQ(r.diagnostics.back().severity, Severity::Error);
    EXPECT_EQ(read(path), "<title>t</title><p>x");
}

// Two runs with different options, their documents processed at once on two
// threads many times over, give exactly what each gives alone.
TEST(ApiThreads, RunsOnTwoThreadsDoNotTouchEachOther) {
    Options first = plain_options();
    ASSERT_TRUE(first.set("indent", "auto"));
    ASSERT_TRUE(first.set("clean", "yes"));
    ASSERT_TRUE(first.set("new-inline-tags", "x-mark"));
    ASSERT_TRUE(first.set("wrap", "20"));
    Options second;
    ASSERT_TRUE(second.set("output-xhtml", "yes"));
    ASSERT_TRUE(second.set("uppercase-tags", "yes")); // XHTML output lowers them again
    ASSERT_TRUE(second.set("char-encoding", "utf8"));
    ASSERT_TRUE(second.set("gnu-emacs", "yes"));
    const std::vector<std::string> documents = {
        "<title>one</title><center><font color=red>a <x-mark>b</x-mark> c d e f g h i</font>"
        "</center><p>caf\xc3\xa9 <b><i>x</b></i>",
        "<title>two</title><table><tr><td>a<td>b</table><ul><li>one<li>two</ul>&copy",
        "<html><body><p>text<p>more text that runs on and on past the wrap column",
    };
    std::vector<Result> alone_first;
    std::vector<Result> alone_second;
    for (const std::string& d : documents) {
        alone_first.push_back(process(d, first));
        alone_second.push_back(process(d, second));
    }
    // The two runs differ, so that a leak from one to the other shows.
    for (size_t i = 0; i < documents.size(); ++i)
        ASSERT_NE(alone_first[i].output, alone_second[i].output);

    auto repeat = [&](const Options& options, const std::vector<Result>& expected, bool* same) {
        for (int round = 0; round < 40; ++round) {
            for (size_t i = 0; i < documents.size(); ++i) {
                const Result r = process(documents[i], options);
                if (r.output != expected[i].output || r.report != expected[i].report ||
                    r.diagnostics != expected[i].diagnostics || r.status != expected[i].status) {
                    *same = false;
                }
            }
        }
    };
    bool first_same = true;
    bool second_same = true;
    std::thread a(repeat, std::cref(first), std::cref(alone_first), &first_same);
    std::thread b(repeat, std::cref(second), std::cref(alone_second), &second_same);
    a.join();
    b.join();
    EXPECT_TRUE(first_same);
    EXPECT_TRUE(second_same);
}

TEST(ApiC, TheCInterfaceCarriesTheSameResult) {
    varnel_options* options = varnel_options_new();
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(varnel_options_set(options, "quiet", "yes"), 0);
    EXPECT_EQ(varnel_options_set(options, "doctype", "omit"), 0);
    EXPECT_EQ(varnel_options_set(options, "varnel-mark", "no"), 0);
    EXPECT_EQ(varnel_options_set(options, "colour", "red"), -1);
    EXPECT_STREQ(varnel_options_message(options), "Warning - unknown option: colour");
    const std::string doc = "<title>Menu</title>\n<p>caf&eacute au lait\n";
    varnel_result* result = varnel_process(options, doc.data(), doc.size());
    ASSERT_NE(result, nullptr);
    size_t length = 0;
    const char* output = varnel_result_output(result, &length);
    EXPECT_EQ(std::string(output, length), page("Menu", "<p>caf&eacute; au lait</p>\n"));
    ASSERT_EQ(varnel_result_diagnostic_count(result), 1u);
    unsigned line = 0;
    unsigned column = 0;
    int severity = -1;
    EXPECT_STREQ(varnel_result_diagnostic(result, 0, &line, &column, &severity),
                 "Warning: entity \"&eacute\" doesn't end in ';'");
    EXPECT_EQ(line, 2u);
    EXPECT_EQ(column, 7u);
    EXPECT_EQ(severity, VARNEL_WARNING);
    EXPECT_EQ(varnel_result_diagnostic(result, 1, &line, &column, &severity), nullptr);
    EXPECT_EQ(varnel_result_status(result), 1);
    EXPECT_EQ(varnel_result_warnings(result), 1u);
    EXPECT_EQ(varnel_result_errors(result), 0u);
    varnel_result_free(result);
    varnel_options_free(options);
    EXPECT_STREQ(varnel_version(), "8 December 2026");
}

// The number of descriptors the process has open.
int open_descriptors() {
    int count = 0;
    DIR* d = opendir("/proc/self/fd");
    while (readdir(d) != nullptr)
        ++count;
    closedir(d);
    return count;
}

// A fatal error in the middle of a document ends it and releases what it
// holds: the file it opened is closed; a stream it was given is not its to
// close.
TEST(PipelineFatal, ReleasesTheDocumentsFiles) {
    char path[] = "/tmp/varnel-fatal-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string text = "<title>t</title><center>x</center>";
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);

    FILE* sink = fopen("/dev/null", "w");
    DocumentJob job;
    job.options.clean = true;
    job.output = sink;
    job.reports = sink;
    job.errors = sink;
    // Asked for the first class number, the run gives up.
    job.first_class_number = []() -> int { fatal_error("Out of memory!"); };
    int settled = -1;
    job.class_numbers_settled = [&](int next) { settled = next; };

    const int before = open_descriptors();
    job.name = path;
    EXPECT_THROW(process_document(job), FatalError);
    EXPECT_EQ(open_descriptors(), before);
    EXPECT_EQ(settled, 0); // the run hears that the document makes no more classes

    FILE* stream = fopen(path, "r");
    ASSERT_NE(stream, nullptr);
    job.name = nullptr;
    job.input = stream;
    EXPECT_THROW(process_document(job), FatalError);
    EXPECT_NE(fcntl(fileno(stream), F_GETFD), -1); // still open
    fclose(stream);
    fclose(sink);
    unlink(path);
}

} // namespace
} // namespace varnel
