// The program: the "-wrap" number scan, safe replacement of a file's
// contents, and the start and early exits of a run (per-user configuration,
// help, version, long options at the end of the list).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "api/files.h"
#include "base/config.h"
#include "base/util.h"
#include "cli/run.h"
#include "test_support.h"

namespace varnel {
namespace {

TEST(ScanDecimal, ReadsLikeAPercentDScan) {
    int value = 7;
    EXPECT_TRUE(scan_decimal("72", &value));
    EXPECT_EQ(value, 72);
    EXPECT_TRUE(scan_decimal("  +15px", &value));
    EXPECT_EQ(value, 15);
    EXPECT_TRUE(scan_decimal("-3", &value));
    EXPECT_EQ(value, -3);
    EXPECT_TRUE(scan_decimal("0", &value));
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(scan_decimal("-2147483648", &value));
    EXPECT_EQ(value, INT_MIN);
    value = 7;
    for (const char* bad : {"abc", "", "-", "+x", " ", "2147483648", "99999999999999999999"}) {
        EXPECT_FALSE(scan_decimal(bad, &value)) << bad;
        EXPECT_EQ(value, 7) << bad;
    }
}

class ScratchDir : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir_template[] = "/tmp/varnel-run-XXXXXX";
        ASSERT_NE(mkdtemp(dir_template), nullptr);
        dir_ = dir_template;
    }
    void TearDown() override {
        std::string command = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    void write_file(const std::string& name, const std::string& text) {
        FILE* f = fopen(path(name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }
    std::string read_file(const std::string& full_path) {
        std::string text;
        FILE* f = fopen(full_path.c_str(), "rb");
        if (f == nullptr) return "<missing>";
        int c;
        while ((c = getc(f)) != EOF)
            text.push_back(static_cast<char>(c));
        fclose(f);
        return text;
    }
    // Names of the entries of the scratch directory, sorted.
    std::vector<std::string> entries() {
        std::vector<std::string> names;
        std::string command = "ls -A '" + dir_ + "'";
        FILE* p = popen(command.c_str(), "r");
        char line[512];
        while (p != nullptr && fgets(line, sizeof line, p) != nullptr) {
            std::string name = line;
            if (!name.empty() && name.back() == '\n') name.pop_back();
            names.push_back(name);
        }
        if (p != nullptr) pclose(p);
        return names;
    }
    std::string dir_;
};

void write_new_text(FILE* sink, void* context) {
    fputs(static_cast<const char*>(context), sink);
}

using ReplaceFile = ScratchDir;

TEST_F(ReplaceFile, ReplacesContentsAndKeepsPermissions) {
    write_file("page.html", "old text\n");
    ASSERT_EQ(chmod(path("page.html").c_str(), 0640), 0);
    char text[] = "new text\n";
    EXPECT_TRUE(replace_file_contents(path("page.html").c_str(), write_new_text, text));
    EXPECT_EQ(read_file(path("page.html")), "new text\n");
    struct stat info;
    ASSERT_EQ(stat(path("page.html").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    // No temporary file is left behind.
    EXPECT_EQ(entries(), std::vector<std::string>{"page.html"});
}

TEST_F(ReplaceFile, WritesThroughASymbolicLink) {
    write_file("real.html", "old\n");
    ASSERT_EQ(symlink("real.html", path("link.html").c_str()), 0);
    char text[] = "new\n";
    EXPECT_TRUE(replace_file_contents(path("link.html").c_str(), write_new_text, text));
    struct stat info;
    ASSERT_EQ(lstat(path("link.html").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(read_file(path("real.html")), "new\n");
    EXPECT_EQ(entries(), (std::vector<std::string>{"link.html", "real.html"}));
}

TEST_F(ReplaceFile, NoTemporaryMeansNoChange) {
    // The directory does not exist, so no temporary file can be made there.
    char text[] = "new\n";
    EXPECT_FALSE(replace_file_contents(path("missing/page.html").c_str(), write_new_text, text));
    EXPECT_EQ(entries(), std::vector<std::string>{});
}

TEST_F(ReplaceFile, TemporaryNameTooLongToRecordIsRefused) {
    // A file whose name (and so its temporary file's) nearly fills PATH_MAX:
    // the temporary file could not be recorded for removal, so it is not
    // made, and the original stays as it was.
    std::string dir = dir_;
    while (dir.size() + 250 < PATH_MAX - 30) {
        dir += "/" + std::string(200, 'd');
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    }
    std::string file = dir + "/" + std::string(PATH_MAX - 10 - dir.size(), 'f');
    ASSERT_LT(file.size(), static_cast<size_t>(PATH_MAX));
    FILE* f = fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("original\n", f);
    fclose(f);
    char text[] = "new\n";
    ReplaceFailure failure;
    EXPECT_FALSE(replace_file_contents(file.c_str(), write_new_text, text, &failure));
    EXPECT_EQ(failure.reason, "can't create a temporary file beside it: File name too long");
    EXPECT_EQ(read_file(file), "original\n");
}

TEST_F(ReplaceFile, UnwritableDirectoryLeavesTheOriginal) {
    if (geteuid() == 0) GTEST_SKIP() << "the superuser can write any directory";
    ASSERT_EQ(mkdir(path("ro").c_str(), 0755), 0);
    write_file("ro/page.html", "original\n");
    ASSERT_EQ(chmod(path("ro").c_str(), 0555), 0);
    char text[] = "new\n";
    EXPECT_FALSE(replace_file_contents(path("ro/page.html").c_str(), write_new_text, text));
    EXPECT_EQ(read_file(path("ro/page.html")), "original\n");
    ASSERT_EQ(chmod(path("ro").c_str(), 0755), 0);
}

// Runs the program in this process with the given arguments; collects the
// two output streams.
struct RunResult {
    int status;
    std::string out;
    std::string err;
};

// The options in force where the scan ended are left in `options`.
RunResult run(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    int status = run_program(static_cast<int>(args.size()), argv.data(), &options);
    fflush(stdout);
    RunResult result{status, ::testing::internal::GetCapturedStdout(),
                     ::testing::internal::GetCapturedStderr()};
    return result;
}

// What decides whether a run takes its heap and records from large pages:
// the size of the largest regular file it names, option values counted as
// names, names of nothing or of a directory not (and standard input, when
// it is a regular file).
using HeapPage = ScratchDir;
TEST_F(HeapPage, LargestNamedInputIsTheLargestRegularFile) {
    const std::pair<const char*, size_t> files[] = {{"small.html", LargePageInputFrom - 1},
                                                    {"from.html", LargePageInputFrom},
                                                    {"under.html", LargePageInputTo - 1},
                                                    {"at.html", LargePageInputTo}};
    for (const auto& [name, bytes] : files)
        write_file(name, std::string(bytes, 'x'));
    ASSERT_EQ(mkdir(path("dir").c_str(), 0700), 0);
    struct stat input;
    const uint64_t from_stdin =
        fstat(0, &input) == 0 && S_ISREG(input.st_mode) ? static_cast<uint64_t>(input.st_size) : 0;
    const auto largest = [this, from_stdin](std::vector<std::string> names, uint64_t bytes) {
        std::vector<std::string> args = {"varnel", "-q"};
        for (const std::string& name : names)
            args.push_back(name.starts_with("-") ? name : path(name));
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        EXPECT_EQ(largest_named_input(static_cast<int>(args.size()), argv.data()),
                  std::max(bytes, from_stdin))
            << testing::PrintToString(names);
    };
    largest({}, 0);
    largest({"small.html", "missing.html", "dir"}, LargePageInputFrom - 1);
    largest({"from.html"}, LargePageInputFrom);
    largest({"small.html", "under.html", "-indent"}, LargePageInputTo - 1);
    largest({"under.html", "at.html"}, LargePageInputTo);
    largest({"-o", "from.html", "small.html"}, LargePageInputFrom);
    largest({"-o", "at.html", "from.html"}, LargePageInputTo);
}

class RunProgram : public ScratchDir {
  protected:
    void SetUp() override {
        ScratchDir::SetUp();
        save("HTML_VARNEL", &saved_config_, &had_config_);
        save("HOME", &saved_home_, &had_home_);
        write_file("empty", "");
        setenv("HTML_VARNEL", path("empty").c_str(), 1);
        setenv("HOME", dir_.c_str(), 1);
    }
    void TearDown() override {
        restore("HTML_VARNEL", saved_config_, had_config_);
        restore("HOME", saved_home_, had_home_);
        options = Config{};
        ScratchDir::TearDown();
    }
    static void save(const char* name, std::string* value, bool* present) {
        const char* v = getenv(name);
        *present = v != nullptr;
        if (v != nullptr) *value = v;
    }
    static void restore(const char* name, const std::string& value, bool present) {
        if (present) {
            setenv(name, value.c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    std::string saved_config_, saved_home_;
    bool had_config_ = false, had_home_ = false;
};

const char* const version_text = "HTML Varnel release date: 8 December 2026\n"
                                 "See https://www.varnel.org/author/ for details\n";

TEST_F(RunProgram, VersionGoesToTheErrorStreamWithStatusZero) {
    RunResult r = run({"prog", "-version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, version_text);
}

TEST_F(RunProgram, HelpGoesToStandardOutputWithStatusOne) {
    RunResult r = run({"prog", "-?"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("prog: file1 file2 ...\n", 0), 0u);
    EXPECT_NE(r.out.find("as in:  varnel -f errs.txt -imu foo.html\n"), std::string::npos);
}

TEST_F(RunProgram, ReadsTheFileNamedByTheEnvironment) {
    write_file("user.cfg", "wrap: oops\n");
    setenv("HTML_VARNEL", path("user.cfg").c_str(), 1);
    write_file(".varnelrc", "quiet: maybe\n");
    RunResult r = run({"prog", "-v"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, std::string("Warning - missing or malformed argument for option: wrap\n") +
                         version_text);
}

TEST_F(RunProgram, FallsBackToTheFileInTheHomeDirectory) {
    unsetenv("HTML_VARNEL");
    write_file(".varnelrc", "quiet: maybe\n");
    RunResult r = run({"prog", "-v"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, std::string("Warning - missing or malformed argument for option: quiet\n") +
                         version_text);
}

TEST_F(RunProgram, SwitchesApplyLeftToRight) {
    // A later switch overrides an earlier one and a configuration file alike.
    write_file("a.cfg", "wrap: 30\nindent-spaces: 3\n");
    RunResult r = run({"prog", "-w", "50", "-config", path("a.cfg"), "--indent-spaces", "5", "-imu",
                       "-asxml", "--indent"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(options.wrap, 30);
    EXPECT_EQ(options.indent_spaces, 5);
    EXPECT_TRUE(options.smart_indent);
    EXPECT_TRUE(options.write_back);
    EXPECT_TRUE(options.uppercase_tags);
    EXPECT_TRUE(options.output_xhtml);
}

TEST_F(RunProgram, EachRunStartsFromTheDefaults) {
    RunResult first = run({"prog", "-c", "--wrap-php", "no", "--x"});
    EXPECT_TRUE(options.clean);
    EXPECT_FALSE(options.wrap_php);
    RunResult second = run({"prog", "--x"});
    EXPECT_EQ(second.status, 0);
    EXPECT_FALSE(options.clean);
    EXPECT_TRUE(options.wrap_php);
}

TEST_F(RunProgram, ErrorFileCollectsMessagesOfEveryDocument) {
    RunResult r = run({"prog", "-f", path("errs.txt"), path("one.html"), "-f", path("errs.txt"),
                       path("two.html"), "-f", "stderr", path("three.html")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(path("errs.txt")), "prog: can't open file \"" + path("one.html") +
                                               "\"\nprog: can't open file \"" + path("two.html") +
                                               "\"\n");
    // "stderr" means standard error, not a file of that name.
    EXPECT_EQ(r.err, "prog: can't open file \"" + path("three.html") + "\"\n");
    EXPECT_EQ(entries(), (std::vector<std::string>{"empty", "errs.txt"}));
}

TEST_F(RunProgram, DirectoryIsNotADocument) {
    ASSERT_EQ(mkdir(path("sub").c_str(), 0755), 0);
    RunResult r = run({"prog", path("sub")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "prog: can't open file \"" + path("sub") + "\"\n");
    EXPECT_EQ(r.out, "");
}

// Runs the program with `input` arriving through a pipe on standard input
// (which cannot be rewound), written by another thread so that an input
// larger than the pipe's buffer works.
RunResult run_with_piped_input(const std::string& input, std::vector<std::string> args) {
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    const int saved = dup(0);
    dup2(ends[0], 0);
    close(ends[0]);
    clearerr(stdin);
    std::thread writer([&] {
        size_t done = 0;
        while (done < input.size()) {
            const ssize_t put = write(ends[1], input.data() + done, input.size() - done);
            if (put <= 0) break;
            done += static_cast<size_t>(put);
        }
        close(ends[1]);
    });
    RunResult result = run(std::move(args));
    writer.join();
    dup2(saved, 0);
    close(saved);
    clearerr(stdin);
    return result;
}

// The page as printed without a doctype: the generator mark first in the
// head, then the title, then `body`, the printed body content.
std::string printed_page(const std::string& title, const std::string& body) {
    return "<html>\n<head>\n<meta name=\"generator\" content=\"HTML Varnel, see "
           "www.varnel.org\">\n<title>" +
           title + "</title>\n</head>\n<body>\n" + body + "</body>\n</html>\n\n";
}

TEST_F(RunProgram, PipedInputIsReadOnceAndDecidedByAllOfIt) {
    // The bytes read to decide are handed out again: the page comes out
    // whole. A first character beyond ASCII after 100000 bytes makes the
    // page UTF-8.
    const std::string title(100000, 'x');
    // The title is too long for a line: it is broken after its start tag.
    const std::string expected = printed_page("\n" + title, "<p>caf\xC3\xA9</p>\n");
    RunResult r = run_with_piped_input("<title>" + title + "</title>\n<p>caf\xC3\xA9</p>\n",
                                       {"prog", "-q", "--doctype", "omit"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.size(), expected.size());
    EXPECT_TRUE(r.out == expected);
    // The choice ended with the document.
    EXPECT_EQ(options.char_encoding, CharEncoding::Ascii);
}

TEST_F(RunProgram, PipedInputReadAheadComesBeforeTheRest) {
    // What was read to decide comes first, then the rest of the pipe.
    const std::string title(100000, 'x');
    const std::string expected = printed_page("\ncaf&eacute;" + title, "<p>end</p>\n");
    RunResult r = run_with_piped_input("<title>caf\xE9" + title + "</title>\n<p>end</p>\n",
                                       {"prog", "-q", "--doctype", "omit"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.size(), expected.size());
    EXPECT_TRUE(r.out == expected);
}

TEST_F(RunProgram, OnlyAnEncodingGivenCountsAsGiven) {
    run({"prog", "--x"});
    EXPECT_FALSE(options.char_encoding_given);
    run({"prog", "-utf8", "--x"});
    EXPECT_TRUE(options.char_encoding_given);
    EXPECT_EQ(options.char_encoding, CharEncoding::Utf8);
    // A value that names no encoding changes nothing.
    run({"prog", "--char-encoding", "klingon", "--x"});
    EXPECT_FALSE(options.char_encoding_given);
    run({"prog", "--char-encoding", "latin1", "--x"});
    EXPECT_TRUE(options.char_encoding_given);
    write_file("enc.cfg", "char-encoding: mac\n");
    setenv("HTML_VARNEL", path("enc.cfg").c_str(), 1);
    run({"prog", "--x"});
    EXPECT_TRUE(options.char_encoding_given);
    EXPECT_EQ(options.char_encoding, CharEncoding::MacRoman);
}

} // namespace
} // namespace varnel
