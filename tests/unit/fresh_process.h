// Runs a piece of a test in a process of its own, for what lasts for the
// rest of a process (the heap moved to a large page, the program's image
// given back and mapped again), and tells whether the system offers large
// pages.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace varnel::test {

// Whether the system backs memory advised for it with large pages.
inline bool large_pages_offered() {
    FILE* modes = fopen("/sys/kernel/mm/transparent_hugepage/enabled", "r");
    if (modes == nullptr) return false;
    char mode[128] = "";
    const bool read = fgets(mode, sizeof mode, modes) != nullptr;
    fclose(modes);
    return read && std::strstr(mode, "[never]") == nullptr;
}

// Ends a body run by expect_clean_exit_in_fresh_process: status 0 when no
// check failed, else 1, with the failed checks' bits written to the error
// stream, which the test shows on failure (an exit status keeps only eight
// bits: bits from 256 on would read as success).
[[noreturn]] inline void exit_with_failures(int fails) {
    if (fails != 0) fprintf(stderr, "failed checks: %#x\n", static_cast<unsigned>(fails));
    std::exit(fails != 0 ? 1 : 0);
}

// Runs `body` in a fresh process (a death test of the thread-safe style,
// which starts the test program anew) and expects it to end with status 0;
// the body tells what failed through exit_with_failures.
template <typename Body> void expect_clean_exit_in_fresh_process(Body body) {
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(body(), ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);
}

} // namespace varnel::test
