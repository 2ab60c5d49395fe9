#include "ResultsDb.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "ProcessOwner.h"
#include "Schema.h"
#include "UtcTime.h"

namespace orxresults {

namespace {

constexpr const char* kNeverEnded = "never ended: orxflash stopped or the computer went down first";

// Rolls back unless committed, so every path out of a transaction closes it.
class Transaction {
  public:
    explicit Transaction(sqlite3* db) : db(db) {}
    ~Transaction() {
        if (open) {
            sql::Exec(db, "ROLLBACK");
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    int Begin() {
        int code = sql::Exec(db, "BEGIN IMMEDIATE");
        open = code == SQLITE_OK;
        return code;
    }
    int Commit() {
        int code = sql::Exec(db, "COMMIT");
        open = code != SQLITE_OK;
        return code;
    }

  private:
    sqlite3* db;
    bool open = false;
};

std::filesystem::path FolderOf(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::absolute(path, ignored).parent_path();
}

bool FolderExists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::is_directory(FolderOf(path), ignored);
}

bool FolderWritable(const std::string& path) {
    return access(FolderOf(path).c_str(), W_OK) == 0;
}

bool FileWritable(const std::string& path) {
    return access(path.c_str(), W_OK) == 0;
}

// What a failed SQLite call means for the user, without SQLite's words.
DbStatus Describe(const std::string& path, int code, const std::string& detail, bool writing) {
    DbStatus status;
    switch (code & 0xFF) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            status = {DbFault::Locked, "the database is locked by another process"};
            break;
        case SQLITE_READONLY:
            if (!writing) {
                status = {DbFault::ReadOnly, "the database is open for reading only"};
            } else {
                status = {DbFault::ReadOnly, FileWritable(path)
                                                 ? "the database's folder is read-only"
                                                 : "the database file is read-only"};
            }
            break;
        case SQLITE_CANTOPEN:
            if (!FolderExists(path)) {
                status = {DbFault::Other, "the database's folder does not exist"};
            } else if (writing && !FolderWritable(path)) {
                status = {DbFault::ReadOnly, "the database's folder is read-only"};
            } else {
                status = {DbFault::Other, "the database cannot be opened"};
            }
            break;
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            status = {DbFault::Corrupt, "the file is corrupt or not a results database"};
            break;
        case SQLITE_FULL:
            status = {DbFault::Full, "the disk is full"};
            break;
        default:
            status = {DbFault::Other, "the database failed"};
            break;
    }
    status.message = path + ": " + status.message + " (" + detail + ")";
    return status;
}

Attempt ReadAttempt(const sql::Statement& row) {
    Attempt attempt;
    attempt.id = row.Int(0);
    attempt.start.startedAt = row.Text(1);
    if (!row.IsNull(2)) {
        attempt.endedAt = row.Text(2);
    }
    attempt.start.station = row.Text(3);
    attempt.start.port = static_cast<int>(row.Int(4));
    attempt.start.descriptor = row.Text(5);
    attempt.start.platform = row.Text(6);
    attempt.start.versionsBefore = row.Text(7);
    attempt.versionsAfter = row.Text(8);
    attempt.start.superfile = row.Text(9);
    attempt.start.superfileChecksum = row.Text(10);
    attempt.start.command = CommandByName(row.Text(11)).value_or(Command::Flash);
    attempt.outcome = OutcomeByName(row.Text(12)).value_or(Outcome::Interrupted);
    if (!row.IsNull(13)) {
        attempt.resultCode = static_cast<int>(row.Int(13));
    }
    attempt.reason = row.Text(14);
    attempt.bytesSent = static_cast<uint64_t>(row.Int(15));
    if (!row.IsNull(16)) {
        attempt.durationMs = row.Int(16);
    }
    attempt.start.toolVersion = row.Text(17);
    return attempt;
}

// The filter's conditions as parameters 1 (since) and 2 (port).
void BindFilter(sql::Statement& statement, const AttemptFilter& filter) {
    statement.Bind(1, filter.since);
    if (filter.port) {
        statement.Bind(2, static_cast<int64_t>(*filter.port));
    } else {
        statement.BindNull(2);
    }
}

constexpr const char* kWhere = " WHERE (?1 = '' OR started_at >= ?1) AND (?2 IS NULL OR port = ?2)";

}  // namespace

ResultsDb::ResultsDb(std::string path, sql::Connection connection, Access access)
    : path(std::move(path)),
      access(access),
      connection(std::move(connection)),
      owner(ThisProcessOwner()) {}

ResultsDb::~ResultsDb() {
    std::lock_guard guard(lock);
    for (int64_t id : unfinished) {
        sql::Statement mark(connection.get(),
                            "UPDATE attempts SET result = 'interrupted', reason = ?2 "
                            "WHERE id = ?1 AND result = 'running'");
        mark.Bind(1, id).Bind(2, std::string(kNeverEnded)).Run();
    }
}

DbStatus ResultsDb::Failed(int code, const char* doing) const {
    return Describe(path, code, std::string(doing) + ": " + sqlite3_errmsg(connection.get()),
                    access == Access::Write);
}

DbStatus ResultsDb::Open(const std::string& path, const OpenOptions& options,
                         std::unique_ptr<ResultsDb>& db) {
    db.reset();
    try {
        std::error_code ignored;
        bool exists = std::filesystem::exists(path, ignored);
        bool writing = options.access == Access::Write;
        if (!exists && (!writing || !options.create)) {
            return {DbFault::Missing, path + ": no such file"};
        }
        int flags = SQLITE_OPEN_FULLMUTEX |
                    (writing ? SQLITE_OPEN_READWRITE | (options.create ? SQLITE_OPEN_CREATE : 0)
                             : SQLITE_OPEN_READONLY);
        sqlite3* raw = nullptr;
        int code = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
        sql::Connection connection(raw);
        if (code != SQLITE_OK) {
            return Describe(path, code, raw ? sqlite3_errmsg(raw) : sqlite3_errstr(code), writing);
        }
        std::unique_ptr<ResultsDb> opened(
            new ResultsDb(path, std::move(connection), options.access));
        if (DbStatus status = opened->Prepare(options); !status.ok()) {
            return status;
        }
        struct stat file {};
        if (stat(path.c_str(), &file) == 0) {
            opened->fileDevice = file.st_dev;
            opened->fileInode = file.st_ino;
        }
        db = std::move(opened);
        return {};
    } catch (const std::exception& error) {
        return {DbFault::Other, path + ": " + error.what()};
    }
}

bool ResultsDb::StillAtItsPath() const {
    struct stat file {};
    return stat(path.c_str(), &file) == 0 && file.st_dev == fileDevice && file.st_ino == fileInode;
}

DbStatus ResultsDb::Prepare(const OpenOptions& options) {
    sqlite3* db = connection.get();
    sqlite3_busy_timeout(db, options.lockCheckMs);
    if (options.maxPageCount > 0) {
        std::string cap = "PRAGMA max_page_count = " + std::to_string(options.maxPageCount);
        if (int code = sql::Exec(db, cap.c_str()); code != SQLITE_OK) {
            return Failed(code, "capping its size");
        }
    }
    bool writing = access == Access::Write;
    if (writing) {
        // SQLite opens a write-protected file read-only without a word.
        if (sqlite3_db_readonly(db, "main") == 1) {
            return Describe(path, SQLITE_READONLY, "opened read-only", true);
        }
        sql::Statement wal(db, "PRAGMA journal_mode = WAL");
        if (int code = wal.Step(); code != SQLITE_ROW) {
            return Failed(code, "switching to write-ahead logging");
        }
        if (wal.Text(0) != "wal") {
            return Describe(path, SQLITE_READONLY, "write-ahead logging refused", true);
        }
        // A power cut may then cost no finished transaction.
        if (int code = sql::Exec(db, "PRAGMA synchronous = FULL"); code != SQLITE_OK) {
            return Failed(code, "setting synchronous writes");
        }
    }
    Transaction transaction(db);
    if (writing) {
        if (int code = transaction.Begin(); code != SQLITE_OK) {
            return Failed(code, "taking the write lock");
        }
    }
    // The header and the schema are read here; damage deeper in the file is
    // met, and named corrupt, by the statement that reads it. A whole check
    // would read every page under the write lock at every open: seconds for a
    // million attempts, during which a running station could record nothing.
    int64_t tables = 0;
    {
        sql::Statement schema(db, "SELECT count(*) FROM sqlite_master");
        if (int code = schema.Step(); code != SQLITE_ROW) {
            return Failed(code, "reading the schema");
        }
        tables = schema.Int(0);
    }
    {
        sql::Statement version(db, "PRAGMA user_version");
        if (int code = version.Step(); code != SQLITE_ROW) {
            return Failed(code, "reading the schema version");
        }
        schemaVersion = static_cast<int>(version.Int(0));
    }
    if (schemaVersion > LatestSchemaVersion()) {
        return {DbFault::TooNew, path + ": written by a newer orxflash (schema version " +
                                     std::to_string(schemaVersion) + ", this one knows up to " +
                                     std::to_string(LatestSchemaVersion()) + ")"};
    }
    if (schemaVersion == 0) {
        // Version 0 is an empty file; tables there belong to another program.
        if (tables != 0) {
            return Describe(path, SQLITE_NOTADB, "tables of another program", writing);
        }
    }
    if (!writing) {
        if (schemaVersion == 0) {
            return {DbFault::Missing, path + ": holds no attempts yet"};
        }
        if (schemaVersion < LatestSchemaVersion()) {
            return {DbFault::Other, path + ": schema version " + std::to_string(schemaVersion) +
                                        " needs an update; record one attempt into it first"};
        }
        sqlite3_busy_timeout(db, options.busyTimeoutMs);
        return {};
    }
    if (int code = Migrate(db, schemaVersion); code != SQLITE_OK) {
        return Failed(code, "updating the schema");
    }
    schemaVersion = LatestSchemaVersion();
    {
        std::vector<int64_t> ended;
        sql::Statement running(db, "SELECT id, owner FROM attempts WHERE result = 'running'");
        while (running.Step() == SQLITE_ROW) {
            if (!OwnerRuns(running.Text(1))) {
                ended.push_back(running.Int(0));
            }
        }
        if (running.Code() != SQLITE_DONE) {
            return Failed(running.Code(), "looking for unfinished attempts");
        }
        for (int64_t id : ended) {
            sql::Statement mark(db,
                                "UPDATE attempts SET result = 'interrupted', reason = ?2 "
                                "WHERE id = ?1");
            if (int code = mark.Bind(1, id).Bind(2, std::string(kNeverEnded)).Run();
                code != SQLITE_DONE) {
                return Failed(code, "marking unfinished attempts interrupted");
            }
        }
        interruptedAtOpen = static_cast<int>(ended.size());
    }
    if (int code = transaction.Commit(); code != SQLITE_OK) {
        return Failed(code, "committing the schema");
    }
    sqlite3_busy_timeout(db, options.busyTimeoutMs);
    return {};
}

DbStatus ResultsDb::Begin(const AttemptStart& start, int64_t& id) {
    std::lock_guard guard(lock);
    id = 0;
    sql::Statement insert(connection.get(),
                          "INSERT INTO attempts(started_at, station, port, descriptor, platform, "
                          "versions_before, superfile, superfile_checksum, command, result, "
                          "tool_version, owner) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, "
                          "'running', ?10, ?11)");
    insert.Bind(1, start.startedAt.empty() ? UtcNow() : start.startedAt)
        .Bind(2, start.station)
        .Bind(3, static_cast<int64_t>(start.port))
        .Bind(4, start.descriptor)
        .Bind(5, start.platform)
        .Bind(6, start.versionsBefore)
        .Bind(7, start.superfile)
        .Bind(8, start.superfileChecksum)
        .Bind(9, std::string(CommandName(start.command)))
        .Bind(10, start.toolVersion)
        .Bind(11, owner);
    if (int code = insert.Run(); code != SQLITE_DONE) {
        return Failed(code, "recording the attempt's start");
    }
    id = sqlite3_last_insert_rowid(connection.get());
    try {
        unfinished.insert(id);
    } catch (const std::bad_alloc&) {
        // Without the note the row still ends as interrupted at the next open.
    }
    return {};
}

DbStatus ResultsDb::Finish(int64_t id, const AttemptEnd& end) {
    std::lock_guard guard(lock);
    if (end.outcome == Outcome::Running) {
        return {DbFault::Other, path + ": attempt " + std::to_string(id) + " cannot end running"};
    }
    sql::Statement update(connection.get(),
                          "UPDATE attempts SET ended_at = ?2, result = ?3, result_code = ?4, "
                          "reason = ?5, versions_after = ?6, bytes_sent = ?7, duration_ms = ?8 "
                          "WHERE id = ?1 AND result = 'running'");
    update.Bind(1, id)
        .Bind(2, end.endedAt.empty() ? UtcNow() : end.endedAt)
        .Bind(3, std::string(OutcomeName(end.outcome)))
        .Bind(4, static_cast<int64_t>(end.resultCode))
        .Bind(5, end.reason)
        .Bind(6, end.versionsAfter)
        .Bind(7, static_cast<int64_t>(end.bytesSent))
        .Bind(8, end.durationMs);
    if (int code = update.Run(); code != SQLITE_DONE) {
        return Failed(code, "recording the attempt's end");
    }
    unfinished.erase(id);
    if (sqlite3_changes(connection.get()) != 1) {
        return {DbFault::Other, path + ": attempt " + std::to_string(id) + " is not running"};
    }
    return {};
}

DbStatus ResultsDb::EachRow(const char* columns, const AttemptFilter& filter, bool newestFirst,
                            const std::function<void(const sql::Statement&)>& row,
                            const char* doing) {
    std::lock_guard guard(lock);
    std::string text = std::string("SELECT ") + columns + " FROM attempts" + kWhere +
                       (newestFirst ? " ORDER BY started_at DESC, id DESC" : "") + " LIMIT ?3";
    sql::Statement query(connection.get(), text.c_str());
    BindFilter(query, filter);
    query.Bind(3, static_cast<int64_t>(filter.limit > 0 ? filter.limit : -1));
    while (query.Step() == SQLITE_ROW) {
        row(query);
    }
    if (query.Code() != SQLITE_DONE) {
        return Failed(query.Code(), doing);
    }
    return {};
}

DbStatus ResultsDb::EachAttempt(const AttemptFilter& filter, const AttemptSink& sink) {
    return EachRow(
        "id, started_at, ended_at, station, port, descriptor, platform, versions_before, "
        "versions_after, superfile, superfile_checksum, command, result, result_code, reason, "
        "bytes_sent, duration_ms, tool_version",
        filter, true, [&sink](const sql::Statement& row) { sink(ReadAttempt(row)); },
        "reading attempts");
}

DbStatus ResultsDb::Attempts(const AttemptFilter& filter, std::vector<Attempt>& out) {
    out.clear();
    DbStatus status = EachAttempt(filter, [&out](const Attempt& a) { out.push_back(a); });
    if (!status.ok()) {
        out.clear();
    }
    return status;
}

}  // namespace orxresults
