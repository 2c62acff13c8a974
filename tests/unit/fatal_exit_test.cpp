// The ends of a run that do not go on: the program's fatal exit removes the
// temporary file of a write-back under way (which the library registers
// through its file hooks), and an output line too long to hold is a fatal
// error of its own rather than exhausted memory.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "api/files.h"
#include "base/config.h"
#include "base/util.h"
#include "cli/signals.h"
#include "output/out_stream.h"

namespace varnel {
namespace {

bool exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

class FatalExitDeathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The child must see the directory the parent made: fork, not re-run.
        GTEST_FLAG_SET(death_test_style, "fast");
        char dir_template[] = "/tmp/varnel-exit-XXXXXX";
        ASSERT_NE(mkdtemp(dir_template), nullptr);
        dir_ = dir_template;
    }
    void TearDown() override {
        std::string command = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }
    std::string dir_;
};

// The name of the write-back's temporary file in `dir` ("" when none).
std::string temporary_in(const std::string& dir) {
    std::string found;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return found;
    while (dirent* entry = readdir(d)) {
        if (std::string(entry->d_name).rfind(".page.html.varnel-", 0) == 0)
            found = dir + "/" + entry->d_name;
    }
    closedir(d);
    return found;
}

// Writes a page back; while the temporary file is being written, notes its
// name beside it and ends the program as exhausted memory does.
[[noreturn]] void fail_while_writing(const std::string& dir) {
    FILE* page = fopen((dir + "/page.html").c_str(), "w");
    if (page == nullptr) _exit(90);
    fputs("<p>old\n", page);
    fclose(page);
    auto write = [](FILE*, void* context) {
        const std::string& in = *static_cast<const std::string*>(context);
        FILE* note = fopen((in + "/name").c_str(), "w");
        if (note == nullptr) _exit(91);
        fputs(temporary_in(in).c_str(), note);
        fclose(note);
        fatal_exit("Out of memory!");
    };
    std::string context = dir;
    replace_file_contents((dir + "/page.html").c_str(), write, &context, nullptr, file_events());
    _exit(92);
}

TEST_F(FatalExitDeathTest, RemovesTheTemporaryFile) {
    EXPECT_EXIT(fail_while_writing(dir_), ::testing::ExitedWithCode(2),
                "^Fatal error: Out of memory!\n$");
    FILE* f = fopen((dir_ + "/name").c_str(), "r");
    ASSERT_NE(f, nullptr);
    char name[4096] = {};
    ASSERT_NE(fgets(name, sizeof name, f), nullptr);
    fclose(f);
    EXPECT_EQ(std::string(name).rfind(dir_ + "/.page.html.varnel-", 0), 0u) << name;
    EXPECT_FALSE(exists(name)) << name;
}

TEST_F(FatalExitDeathTest, ARenamedOrKeptFileIsNotRemoved) {
    // Once released (renamed over the original, or kept on purpose), the
    // file is no longer the exit's to remove.
    EXPECT_EXIT(
        {
            const FileEvents* events = file_events();
            const std::string name = dir_ + "/.a.varnel-XXXXXX1";
            FILE* f = fopen(name.c_str(), "w");
            if (f == nullptr) _exit(90);
            fclose(f);
            events->created(events->context, name.c_str());
            if (rename(name.c_str(), (dir_ + "/kept").c_str()) != 0) _exit(91);
            events->finished(events->context, name.c_str());
            fatal_exit("bad");
        },
        ::testing::ExitedWithCode(2), "^Fatal error: bad\n$");
    EXPECT_TRUE(exists(dir_ + "/kept"));
}

TEST_F(FatalExitDeathTest, EveryTemporaryFileUnderWayIsRemoved) {
    // Write-backs on several threads each have a temporary file.
    EXPECT_EXIT(
        {
            const FileEvents* events = file_events();
            for (const char* n : {"/.a.varnel-1", "/.b.varnel-2", "/.c.varnel-3"}) {
                const std::string name = dir_ + n;
                FILE* f = fopen(name.c_str(), "w");
                if (f == nullptr) _exit(90);
                fclose(f);
                events->created(events->context, name.c_str());
            }
            events->finished(events->context, (dir_ + "/.b.varnel-2").c_str());
            fatal_exit("bad");
        },
        ::testing::ExitedWithCode(2), "^Fatal error: bad\n$");
    EXPECT_FALSE(exists(dir_ + "/.a.varnel-1"));
    EXPECT_TRUE(exists(dir_ + "/.b.varnel-2")); // no longer the exit's to remove
    EXPECT_FALSE(exists(dir_ + "/.c.varnel-3"));
}

// The pending line is made to look full (1 slot short of its largest
// size, 2^29 slots of 4 bytes) without allocating that much: the next
// character cannot be held, and the document ends with a fatal error.
TEST(LineLimit, LongestLineIsReportedAsTooLong) {
    const Config options;
    OutputStream out;
    out.options = &options;
    out.line.chars = static_cast<uint32_t*>(mem_alloc(16));
    out.line.capacity = 1u << 29;
    out.line.length = (1u << 29) - 1;
    try {
        add_char(&out, 'x');
        FAIL() << "the character was added";
    } catch (const FatalError& error) {
        EXPECT_EQ(error.message, "Output line too long!");
    }
}

} // namespace
} // namespace varnel
