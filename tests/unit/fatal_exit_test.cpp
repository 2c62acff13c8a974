// The ends of a run that do not return: the fatal-error exit removes the
// temporary file of a write-back, and an output line too long to hold is
// reported as such rather than as exhausted memory.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "api/run.h"
#include "base/util.h"
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

// Creates a temporary file, notes its name beside it, and fails.
[[noreturn]] void fail_while_writing(const std::string& dir) {
    int fd = create_temporary_file(dir + "/.page.html.varnel-XXXXXX");
    if (fd < 0) _exit(90);
    std::string note = dir + "/name";
    FILE* f = fopen(note.c_str(), "w");
    if (f == nullptr) _exit(91);
    fputs(temporary_file_name(), f);
    fclose(f);
    fatal_error("Out of memory!");
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
            int fd = create_temporary_file(dir_ + "/.a.varnel-XXXXXX");
            if (fd < 0) _exit(90);
            if (rename(temporary_file_name(), (dir_ + "/kept").c_str()) != 0) _exit(91);
            release_temporary_file();
            fatal_error("bad");
        },
        ::testing::ExitedWithCode(2), "^Fatal error: bad\n$");
    EXPECT_TRUE(exists(dir_ + "/kept"));
}

TEST(TemporaryFile, NameTooLongForTheRecordIsRefused) {
    std::string name(5000, 'x');
    errno = 0;
    EXPECT_EQ(create_temporary_file("/tmp/" + name + "XXXXXX"), -1);
    EXPECT_EQ(errno, ENAMETOOLONG);
    EXPECT_STREQ(temporary_file_name(), "");
}

// The pending line is made to look full (1 slot short of its largest
// size, 2^29 slots of 4 bytes) without allocating that much: the next
// character cannot be held.
[[noreturn]] void overfill_line() {
    line_buffer.chars = static_cast<uint32_t*>(mem_alloc(16));
    line_buffer.capacity = 1u << 29;
    line_buffer.length = (1u << 29) - 1;
    add_char('x');
    _exit(0);
}

TEST(LineLimitDeathTest, LongestLineIsReportedAsTooLong) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(overfill_line(), ::testing::ExitedWithCode(2),
                "^Fatal error: Output line too long!\n$");
}

} // namespace
} // namespace varnel
