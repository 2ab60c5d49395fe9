// The results database on files of its own: rows round-trip, unfinished
// attempts become interrupted, the schema migrates once, and every kind of bad
// file is named in the error.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "ResultsDb.h"
#include "TestSupport.h"
#include "UtcTime.h"

namespace {

using namespace orxresults;

AttemptStart Start(int port, const std::string& superfile = "/srv/fw.shx",
                   const std::string& at = "") {
    AttemptStart start;
    start.startedAt = at;
    start.station = "bench-3";
    start.port = port;
    start.descriptor = "Flash HMQ Vintrel";
    start.platform = "GSM k.380";
    start.versionsBefore = "v0x0100/v0x0200/v0x0300";
    start.superfile = superfile;
    start.superfileChecksum = "0x4A2F";
    start.command = Command::Flash;
    start.toolVersion = "1.0.0";
    return start;
}

std::unique_ptr<ResultsDb> OpenOrFail(const std::string& path, OpenOptions options = {}) {
    std::unique_ptr<ResultsDb> db;
    DbStatus status = ResultsDb::Open(path, options, db);
    EXPECT_TRUE(status.ok()) << status.message;
    return db;
}

std::vector<Attempt> All(ResultsDb& db) {
    std::vector<Attempt> attempts;
    DbStatus status = db.Attempts({}, attempts);
    EXPECT_TRUE(status.ok()) << status.message;
    return attempts;
}

TEST(ResultsDb, RowKeepsEveryField) {
    testsupport::ScratchDir scratch;
    auto db = OpenOrFail(kDefaultDbFile);
    ASSERT_TRUE(db);
    int64_t id = 0;
    ASSERT_TRUE(db->Begin(Start(4, "/srv/fw.shx", "2026-12-08T10:00:00.000Z"), id).ok());
    EXPECT_EQ(All(*db).at(0).outcome, Outcome::Running);
    AttemptEnd end{
        "2026-12-08T10:01:05.250Z", Outcome::Failed, 52,   "Chipset type does not match.",
        "v0x0101/v0x0200/v0x0300",  123456789012,    65250};
    ASSERT_TRUE(db->Finish(id, end).ok());
    EXPECT_FALSE(db->Finish(id, end).ok()) << "an attempt ends once";

    std::vector<Attempt> rows = All(*db);
    ASSERT_EQ(rows.size(), 1u);
    const Attempt& row = rows[0];
    AttemptStart expected = Start(4, "/srv/fw.shx", "2026-12-08T10:00:00.000Z");
    EXPECT_EQ(row.id, id);
    EXPECT_EQ(row.start.startedAt, expected.startedAt);
    EXPECT_EQ(row.start.station, expected.station);
    EXPECT_EQ(row.start.port, 4);
    EXPECT_EQ(row.start.descriptor, expected.descriptor);
    EXPECT_EQ(row.start.platform, expected.platform);
    EXPECT_EQ(row.start.versionsBefore, expected.versionsBefore);
    EXPECT_EQ(row.start.superfile, expected.superfile);
    EXPECT_EQ(row.start.superfileChecksum, expected.superfileChecksum);
    EXPECT_EQ(row.start.command, Command::Flash);
    EXPECT_EQ(row.start.toolVersion, expected.toolVersion);
    EXPECT_EQ(row.outcome, Outcome::Failed);
    EXPECT_EQ(row.endedAt, end.endedAt);
    EXPECT_EQ(row.resultCode, 52);
    EXPECT_EQ(row.reason, end.reason);
    EXPECT_EQ(row.versionsAfter, end.versionsAfter);
    EXPECT_EQ(row.bytesSent, end.bytesSent);
    EXPECT_EQ(row.durationMs, end.durationMs);
}

TEST(ResultsDb, UnfinishedAttemptsBecomeInterruptedButLiveOnesDoNot) {
    testsupport::ScratchDir scratch;
    // A process that begins an attempt and ends without finishing it, as a crash does.
    pid_t child = fork();
    if (child == 0) {
        std::unique_ptr<ResultsDb> db;
        int64_t id = 0;
        bool begun = ResultsDb::Open(kDefaultDbFile, {}, db).ok() && db->Begin(Start(1), id).ok();
        _exit(begun ? 0 : 1);  // no destructor runs
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    auto first = OpenOrFail(kDefaultDbFile);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->InterruptedAtOpen(), 1);
    int64_t live = 0;
    ASSERT_TRUE(first->Begin(Start(2), live).ok());
    {
        // Another writer opening now leaves this process's running attempt alone.
        auto second = OpenOrFail(kDefaultDbFile);
        ASSERT_TRUE(second);
        EXPECT_EQ(second->InterruptedAtOpen(), 0);
    }
    first.reset();  // closing with an attempt still running ends it as interrupted
    auto third = OpenOrFail(kDefaultDbFile);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->InterruptedAtOpen(), 0);
    std::vector<Attempt> rows = All(*third);
    ASSERT_EQ(rows.size(), 2u);
    for (const Attempt& row : rows) {
        EXPECT_EQ(row.outcome, Outcome::Interrupted) << row.start.port;
        EXPECT_FALSE(row.endedAt);
        EXPECT_NE(row.reason.find("never ended"), std::string::npos);
    }
}

TEST(ResultsDb, MigrationFromAnEmptyFileAndFromVersionOneIsIdempotent) {
    testsupport::ScratchDir scratch;
    testsupport::WriteText("empty.sqlite", "");
    for (int round = 0; round < 2; ++round) {
        auto db = OpenOrFail("empty.sqlite");
        ASSERT_TRUE(db);
        EXPECT_EQ(db->SchemaVersion(), LatestSchemaVersion());
        EXPECT_EQ(All(*db).size(), static_cast<size_t>(round));
        int64_t id = 0;
        ASSERT_TRUE(db->Begin(Start(round), id).ok());
        ASSERT_TRUE(db->Finish(id, {"", Outcome::Passed, 0, "", "", 0, 1}).ok());
    }
    std::unique_ptr<ResultsDb> reader;
    ASSERT_TRUE(ResultsDb::Open("empty.sqlite", {.access = Access::ReadOnly}, reader).ok());
    EXPECT_EQ(All(*reader).size(), 2u);
}

// Holds SQLite's write lock from a second connection, as another process would.
struct ExclusiveHolder {
    sqlite3* db = nullptr;
    explicit ExclusiveHolder(const std::string& path) {
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "PRAGMA journal_mode=WAL; BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
    }
    ~ExclusiveHolder() { sqlite3_close_v2(db); }  // rolls the open transaction back
};

struct BadFile {
    const char* name;
    const char* file;
    std::function<void(const std::string&)> make;
    OpenOptions options;
    DbFault fault;
    const char* says;
};

void Created(const std::string& path) {
    std::unique_ptr<ResultsDb> db;
    ResultsDb::Open(path, {}, db);
}

void RunSql(const std::string& path, const char* text) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, text, nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

TEST(ResultsDb, BadFilesAreNamedAtOpen) {
    const BadFile cases[] = {
        {"garbage",
         "results.sqlite",
         [](const std::string& p) { testsupport::WriteText(p, std::string(5000, 'x')); },
         {},
         DbFault::Corrupt,
         "corrupt or not a results database"},
        {"another program's",
         "results.sqlite",
         [](const std::string& p) { RunSql(p, "CREATE TABLE t(x)"); },
         {},
         DbFault::Corrupt,
         "corrupt or not a results database"},
        {"newer",
         "results.sqlite",
         [](const std::string& p) { RunSql(p, "PRAGMA user_version = 99"); },
         {},
         DbFault::TooNew,
         "written by a newer orxflash (schema version 99"},
        {"missing",
         "results.sqlite",
         [](const std::string&) {},
         {.create = false},
         DbFault::Missing,
         "no such file"},
        {"missing, to read",
         "results.sqlite",
         [](const std::string&) {},
         {.access = Access::ReadOnly},
         DbFault::Missing,
         "no such file"},
        {"in no folder",
         "gone/results.sqlite",
         [](const std::string&) {},
         {},
         DbFault::Other,
         "the database's folder does not exist"},
    };
    for (const BadFile& bad : cases) {
        testsupport::ScratchDir scratch;
        std::string path = bad.file;
        bad.make(path);
        std::unique_ptr<ResultsDb> db;
        DbStatus status = ResultsDb::Open(path, bad.options, db);
        EXPECT_EQ(status.fault, bad.fault) << bad.name << ": " << status.message;
        EXPECT_NE(status.message.find(bad.says), std::string::npos) << status.message;
        EXPECT_EQ(status.message.rfind(path + ": ", 0), 0u) << status.message;
        EXPECT_FALSE(db) << bad.name;
    }
}

TEST(ResultsDb, LockHeldByAnotherConnectionIsSaidAtOpen) {
    testsupport::ScratchDir scratch;
    Created("results.sqlite");
    ExclusiveHolder holder("results.sqlite");
    std::unique_ptr<ResultsDb> db;
    DbStatus status = ResultsDb::Open("results.sqlite", {.lockCheckMs = 10}, db);
    EXPECT_EQ(status.fault, DbFault::Locked) << status.message;
    EXPECT_NE(status.message.find("locked by another process"), std::string::npos);
    // Reading goes on beside the writer, as write-ahead logging allows.
    EXPECT_TRUE(ResultsDb::Open("results.sqlite", {.access = Access::ReadOnly}, db).ok());
}

TEST(ResultsDb, WritesThatCannotBeMadeSaySo) {
    testsupport::ScratchDir scratch;
    Created("results.sqlite");
    int64_t id = 0;
    {
        // A connection SQLite opened read-only, as it does for a write-protected file.
        auto reader = OpenOrFail("results.sqlite", {.access = Access::ReadOnly});
        ASSERT_TRUE(reader);
        DbStatus status = reader->Begin(Start(1), id);
        EXPECT_EQ(status.fault, DbFault::ReadOnly) << status.message;
        EXPECT_NE(status.message.find("open for reading only"), std::string::npos)
            << status.message;
    }
    {
        // A size cap fails writes as a full disk does.
        auto capped = OpenOrFail("results.sqlite", {.maxPageCount = 4});
        ASSERT_TRUE(capped);
        DbStatus status;
        AttemptStart big = Start(1);
        big.descriptor = std::string(4096, 'd');
        for (int i = 0; i < 20 && status.ok(); ++i) {
            status = capped->Begin(big, id);
        }
        EXPECT_EQ(status.fault, DbFault::Full) << status.message;
        EXPECT_NE(status.message.find("the disk is full"), std::string::npos) << status.message;
    }
}

TEST(ResultsDb, WriteProtectedFileIsReadOnlyAtOpen) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root writes to write-protected files";
    }
    testsupport::ScratchDir scratch;
    Created("results.sqlite");
    chmod("results.sqlite", 0444);
    std::unique_ptr<ResultsDb> db;
    DbStatus status = ResultsDb::Open("results.sqlite", {}, db);
    EXPECT_EQ(status.fault, DbFault::ReadOnly) << status.message;
    EXPECT_NE(status.message.find("the database file is read-only"), std::string::npos);
}

TEST(ResultsDb, SummaryCountsYieldAndMedianPerSuperfileDayAndCommand) {
    testsupport::ScratchDir scratch;
    auto db = OpenOrFail(kDefaultDbFile);
    ASSERT_TRUE(db);
    struct Row {
        const char* superfile;
        const char* day;
        Outcome outcome;
        int64_t ms;
    };
    const Row rows[] = {
        {"/a.shx", "2026-12-07", Outcome::Passed, 100},
        {"/a.shx", "2026-12-07", Outcome::Passed, 300},
        {"/a.shx", "2026-12-07", Outcome::Failed, 200},
        {"/a.shx", "2026-12-07", Outcome::UpToDate, 1000},
        {"/a.shx", "2026-12-08", Outcome::Failed, 50},
        {"/b.shx", "2026-12-07", Outcome::Passed, 70},
        {"/a.shx", "2026-12-07", Outcome::Running, 0},
    };
    for (const Row& row : rows) {
        int64_t id = 0;
        ASSERT_TRUE(
            db->Begin(Start(3, row.superfile, std::string(row.day) + "T08:00:00.000Z"), id).ok());
        if (row.outcome != Outcome::Running) {
            ASSERT_TRUE(db->Finish(id, {"", row.outcome, 0, "", "", 0, row.ms}).ok());
        }
    }
    std::vector<SummaryRow> summary;
    ASSERT_TRUE(db->Summary({}, summary).ok());
    ASSERT_EQ(summary.size(), 3u);
    EXPECT_EQ(summary[0].day, "2026-12-08");  // newest day first
    EXPECT_EQ(summary[0].yield, 0.0);
    EXPECT_EQ(summary[0].medianMs, 50);
    const SummaryRow* a = nullptr;
    for (const SummaryRow& row : summary) {
        if (row.superfile == "/a.shx" && row.day == "2026-12-07") {
            a = &row;
        }
    }
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->passed, 2);
    EXPECT_EQ(a->failed, 1);
    EXPECT_EQ(a->upToDate, 1);
    EXPECT_EQ(a->running, 1);
    EXPECT_DOUBLE_EQ(*a->yield, 2.0 / 3.0);
    EXPECT_EQ(a->medianMs, 250);  // of 100, 200, 300, 1000; the running one has no time

    // Filters: since a day, one port, the newest so many.
    std::vector<Attempt> attempts;
    ASSERT_TRUE(db->Attempts({.since = *SinceBound("2026-12-08")}, attempts).ok());
    EXPECT_EQ(attempts.size(), 1u);
    ASSERT_TRUE(db->Attempts({.port = 4}, attempts).ok());
    EXPECT_TRUE(attempts.empty());
    ASSERT_TRUE(db->Attempts({.limit = 2}, attempts).ok());
    ASSERT_EQ(attempts.size(), 2u);
    EXPECT_EQ(attempts[0].start.startedAt.substr(0, 10), "2026-12-08");
}

TEST(ResultsDb, SinceTakesRealDatesAndTimesOnly) {
    const std::pair<const char*, const char*> cases[] = {
        {"2026-12-08", "2026-12-08T00:00:00.000Z"},
        {"2026-12-08T14:05", "2026-12-08T14:05:00.000Z"},
        {"2026-12-08T14:05:09Z", "2026-12-08T14:05:09.000Z"},
        {"2028-02-29", "2028-02-29T00:00:00.000Z"},
        {"2026-02-29", nullptr},
        {"2026-13-01", nullptr},
        {"2026-12-08T24:00", nullptr},
        {"yesterday", nullptr},
        {"2026-1-8", nullptr},
        {"", nullptr},
    };
    for (auto [text, bound] : cases) {
        std::optional<std::string> got = SinceBound(text);
        EXPECT_EQ(got.has_value(), bound != nullptr) << text;
        if (got && bound) {
            EXPECT_EQ(*got, bound);
        }
    }
}

}  // namespace
