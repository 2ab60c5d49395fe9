#include "Schema.h"

#include <string>

#include "Sqlite.h"

namespace orxresults {

namespace {

struct Step {
    int version;
    const char* sql;
};

const Step kSteps[] = {
    {1, R"(
CREATE TABLE attempts(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    started_at TEXT NOT NULL,
    ended_at TEXT,
    station TEXT NOT NULL,
    port INTEGER NOT NULL,
    descriptor TEXT NOT NULL DEFAULT '',
    platform TEXT NOT NULL DEFAULT '',
    versions_before TEXT NOT NULL DEFAULT '',
    versions_after TEXT NOT NULL DEFAULT '',
    superfile TEXT NOT NULL,
    superfile_checksum TEXT NOT NULL DEFAULT '',
    command TEXT NOT NULL CHECK(command IN ('flash', 'verify', 'station')),
    result TEXT NOT NULL
        CHECK(result IN ('running', 'passed', 'failed', 'up to date', 'interrupted')),
    result_code INTEGER,
    reason TEXT NOT NULL DEFAULT '',
    bytes_sent INTEGER NOT NULL DEFAULT 0,
    duration_ms INTEGER,
    tool_version TEXT NOT NULL DEFAULT '',
    owner TEXT NOT NULL DEFAULT '');
CREATE INDEX attempts_by_start ON attempts(started_at);
CREATE INDEX attempts_running ON attempts(result) WHERE result = 'running';
)"},
};

}  // namespace

int LatestSchemaVersion() {
    return std::end(kSteps)[-1].version;
}

int Migrate(sqlite3* db, int from) {
    for (const Step& step : kSteps) {
        if (step.version <= from) {
            continue;
        }
        if (int code = sql::Exec(db, step.sql); code != SQLITE_OK) {
            return code;
        }
        std::string version = "PRAGMA user_version = " + std::to_string(step.version);
        if (int code = sql::Exec(db, version.c_str()); code != SQLITE_OK) {
            return code;
        }
    }
    return SQLITE_OK;
}

}  // namespace orxresults
