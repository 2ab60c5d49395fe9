// The database's schema as a list of steps, each bringing it from the version
// before to its own; PRAGMA user_version holds the version reached. A later
// version appends a step and never edits an earlier one.
#pragma once

#include <sqlite3.h>

namespace orxresults {

int LatestSchemaVersion();

// Applies every step above `from`, inside the caller's transaction, and sets
// user_version to the last. SQLITE_OK or the code of the step that failed.
int Migrate(sqlite3* db, int from);

}  // namespace orxresults
