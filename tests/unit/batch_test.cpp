// Documents on several threads: the style class numbers handed on from
// document to document whatever order the documents finish in, and a batch
// that hands results back in the order the documents were given.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "cli/batch.h"

namespace varnel {
namespace {

TEST(BatchClassNumbers, EachDocumentStartsWhereTheOnesBeforeEnded) {
    ClassNumbering numbering;
    std::vector<size_t> places;
    for (int i = 0; i < 4; ++i)
        places.push_back(numbering.add());
    // Document 0 makes classes c1 and c2, document 1 none, document 2 c3,
    // document 3 asks. They run at once; 3 and 2 ask before 0 has settled.
    std::vector<int> first(4, -1);
    std::thread last([&] { first[3] = numbering.first_for(places[3]); });
    std::thread third([&] {
        first[2] = numbering.first_for(places[2]);
        numbering.settle(places[2], first[2] + 1);
    });
    std::thread second([&] { numbering.settle(places[1], 0); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    first[0] = numbering.first_for(places[0]);
    numbering.settle(places[0], first[0] + 2);
    second.join();
    third.join();
    last.join();
    EXPECT_EQ(first[0], 1);
    EXPECT_EQ(first[2], 3);
    EXPECT_EQ(first[3], 4);
    // Settling twice changes nothing.
    numbering.settle(places[0], 100);
    EXPECT_EQ(numbering.first_for(places[3]), 4);
}

TEST(BatchThreads, ResultsComeBackInTheOrderGiven) {
    Batch batch(3);
    for (int i = 0; i < 12; ++i) {
        DocumentJob job;
        job.options.quiet = true;
        job.name = "no-such-file-here";
        batch.submit(job, true, stderr);
    }
    EXPECT_EQ(batch.pending(), 12u);
    for (int i = 0; i < 12; ++i) {
        std::unique_ptr<BatchResult> result = batch.take_front();
        ASSERT_NE(result, nullptr);
        result->close();
        // Each document's message went to its own memory, shared by its
        // reports and its messages about files.
        EXPECT_EQ(result->reports.text(), "varnel: can't open file \"no-such-file-here\"\n");
        EXPECT_EQ(result->output.text(), "");
    }
    EXPECT_EQ(batch.pending(), 0u);
    EXPECT_EQ(batch.take_front(), nullptr);
}

} // namespace
} // namespace varnel
