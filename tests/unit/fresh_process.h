// Runs a piece of a test in a process of its own, for what lasts for the
// rest of a process (the heap moved to a large page, the program's image
// given back and mapped again).
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace varnel::test {

// Runs `body` in a fresh process (a death test of the thread-safe style,
// which starts the test program anew) and expects it to end with status 0;
// the body tells what failed in the bits of its exit status.
template <typename Body> void expect_clean_exit_in_fresh_process(Body body) {
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(body(), ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);
}

} // namespace varnel::test
