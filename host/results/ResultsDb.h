// The results database: one row per attempt to flash or verify a phone, kept
// in an SQLite file (write-ahead log, schema versioned by PRAGMA user_version).
//
// A row is written when its attempt starts (Begin, state "running") and
// completed when it ends (Finish), each in a transaction of its own, so a row
// is never half-written. A row whose process ended without finishing it
// (Ctrl-C twice, a crash, a power cut) is marked "interrupted" by the next
// Open for writing; rows of a process still running are left alone, so
// several orxflash processes can share one file.
//
// Thread-safe: one connection, used under a mutex. No exception leaves it;
// every failure comes back as a DbStatus whose message names the file and
// says what is wrong (locked, read-only, corrupt, full).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Attempt.h"
#include "Sqlite.h"

namespace orxresults {

// The default file, in the current directory.
inline constexpr const char* kDefaultDbFile = "orxflash-results.sqlite";
// The schema version this build writes.
int LatestSchemaVersion();

enum class DbFault {
    None,
    Missing,   // no file, and Open was not to create one
    Locked,    // another process holds the write lock
    ReadOnly,  // the file or its folder cannot be written
    Corrupt,   // not a database, a damaged one, or another program's
    Full,      // the disk (or the size cap) is full
    TooNew,    // written by a newer orxflash
    Other,
};

struct DbStatus {
    DbFault fault = DbFault::None;
    std::string message;  // "orxflash-results.sqlite: the database is locked by ..."
    bool ok() const { return fault == DbFault::None; }
};

enum class Access {
    Write,     // migrate, mark interrupted rows, record attempts
    ReadOnly,  // queries only; the schema must be current
};

struct OpenOptions {
    Access access = Access::Write;
    bool create = true;        // with Write: create a missing file
    int busyTimeoutMs = 5000;  // how long a statement waits for another writer
    int lockCheckMs = 250;     // how long Open waits for the write lock before saying "locked"
    int64_t maxPageCount = 0;  // a cap on the file's size in pages (0: SQLite's own); a
                               // write beyond it fails as on a full disk
};

class ResultsDb {
  public:
    // Opens (creating with Write when missing), switches to write-ahead
    // logging, checks the file, brings the schema up to date and marks the
    // rows of ended processes interrupted. On failure `db` stays empty.
    static DbStatus Open(const std::string& path, const OpenOptions& options,
                         std::unique_ptr<ResultsDb>& db);
    // Marks the rows this object began and never finished interrupted, then closes.
    ~ResultsDb();
    ResultsDb(const ResultsDb&) = delete;
    ResultsDb& operator=(const ResultsDb&) = delete;

    const std::string& Path() const { return path; }
    // How many running rows Open marked interrupted.
    int InterruptedAtOpen() const { return interruptedAtOpen; }
    int SchemaVersion() const { return schemaVersion; }
    // False once the file this object opened is no longer at its path (removed,
    // renamed or replaced): rows written from then on would reach no reader.
    bool StillAtItsPath() const;

    // Inserts the attempt as running; `id` names it for Finish.
    DbStatus Begin(const AttemptStart& start, int64_t& id);
    // Completes a running attempt.
    DbStatus Finish(int64_t id, const AttemptEnd& end);

    // Attempts, newest first.
    DbStatus Attempts(const AttemptFilter& filter, std::vector<Attempt>& out);
    // The same attempts, each handed to the sink as it is read, so a history
    // of millions of rows is printed holding one. The sink must not call this
    // object.
    using AttemptSink = std::function<void(const Attempt&)>;
    DbStatus EachAttempt(const AttemptFilter& filter, const AttemptSink& sink);
    // Per superfile, UTC day and command, newest day first (the limit is not applied).
    DbStatus Summary(const AttemptFilter& filter, std::vector<SummaryRow>& out);

  private:
    ResultsDb(std::string path, sql::Connection connection, Access access);
    DbStatus Prepare(const OpenOptions& options);
    DbStatus Failed(int code, const char* doing) const;
    // SELECT columns FROM attempts under the filter, a row at a time, newest
    // first when asked (an ordered walk reads the table through its index,
    // several times slower than straight through).
    DbStatus EachRow(const char* columns, const AttemptFilter& filter, bool newestFirst,
                     const std::function<void(const sql::Statement&)>& row, const char* doing);

    std::string path;
    Access access;
    mutable std::mutex lock;
    sql::Connection connection;
    std::string owner;             // this process, as rows name their writer
    std::set<int64_t> unfinished;  // rows this object began
    int interruptedAtOpen = 0;
    int schemaVersion = 0;
    dev_t fileDevice = 0;  // the opened file, as its path named it then
    ino_t fileInode = 0;
};

}  // namespace orxresults
