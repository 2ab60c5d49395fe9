// Several job threads recording into one results database at once.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <thread>

#include "AttemptWriter.h"
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

Outcome OutcomeOf(int64_t id) {
    std::unique_ptr<ResultsDb> reader;
    std::vector<Attempt> rows;
    EXPECT_TRUE(ResultsDb::Open(kDefaultDbFile, {.access = Access::ReadOnly}, reader).ok());
    EXPECT_TRUE(reader->Attempts({}, rows).ok());
    for (const Attempt& row : rows) {
        if (row.id == id) {
            return row.outcome;
        }
    }
    return Outcome::Interrupted;
}

// Another process holds the file's write lock when a phone's attempt ends:
// the end is written once the lock is free, and the job is not held meanwhile.
TEST(ResultsDbThreads, AnEndIsWrittenOnTheWritersThreadAndAFailedOneIsSaid) {
    testsupport::ScratchDir scratch;
    std::unique_ptr<ResultsDb> db;
    ASSERT_TRUE(ResultsDb::Open(kDefaultDbFile, {}, db).ok());
    int64_t first = 0;
    int64_t second = 0;
    ASSERT_TRUE(db->Begin({}, first).ok() && db->Begin({}, second).ok());
    std::vector<std::string> failures;
    AttemptWriter writer(std::move(db), [&failures](int64_t id, const std::string& message) {
        failures.push_back(std::to_string(id) + ": " + message);
    });

    sqlite3* other = nullptr;
    sqlite3_open(kDefaultDbFile, &other);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    writer.Finish(first, {"", Outcome::Passed, 0, "", "", 10, 5});
    EXPECT_EQ(OutcomeOf(first), Outcome::Running);                   // the lock is still held
    writer.Finish(second, {"", Outcome::Running, 0, "", "", 0, 0});  // refused by the database
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    writer.Drain();

    EXPECT_EQ(OutcomeOf(first), Outcome::Passed);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find(std::to_string(second) + ": "), std::string::npos) << failures[0];
    EXPECT_NE(failures[0].find("cannot end running"), std::string::npos) << failures[0];
}

}  // namespace
