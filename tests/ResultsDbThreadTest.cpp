// Several job threads recording into one results database at once.
#include <gtest/gtest.h>

#include <thread>

#include "ResultsDb.h"
#include "TestSupport.h"

namespace {

using namespace orxresults;

TEST(ResultsDbThreads, EveryThreadsAttemptsAreRecordedWhole) {
    testsupport::ScratchDir scratch;
    std::unique_ptr<ResultsDb> db;
    ASSERT_TRUE(ResultsDb::Open(kDefaultDbFile, {}, db).ok());
    constexpr int kThreads = 6;
    constexpr int kEach = 15;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&db, t] {
            for (int i = 0; i < kEach; ++i) {
                AttemptStart start;
                start.port = t;
                start.superfile = "/fw.shx";
                int64_t id = 0;
                EXPECT_TRUE(db->Begin(start, id).ok());
                EXPECT_TRUE(db->Finish(id, {"", Outcome::Passed, 0, "", "", 10, i}).ok());
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::vector<SummaryRow> summary;
    ASSERT_TRUE(db->Summary({}, summary).ok());
    ASSERT_EQ(summary.size(), 1u);
    EXPECT_EQ(summary[0].passed, kThreads * kEach);
    EXPECT_EQ(summary[0].running, 0);
}

}  // namespace
