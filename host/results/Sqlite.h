// Thin owners of SQLite's connection and statement handles, so that every
// statement is finalized and the connection closed on every path.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace orxresults::sql {

struct CloseConnection {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, CloseConnection>;

// A prepared statement. Prepare failures leave it empty with the code kept.
class Statement {
  public:
    Statement(sqlite3* db, const char* text);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // The code of the last prepare or step (SQLITE_OK, SQLITE_ROW, SQLITE_DONE or an error).
    int Code() const { return code; }
    bool Prepared() const { return statement != nullptr; }

    // Binds by position from 1; chainable.
    Statement& Bind(int index, const std::string& text);
    Statement& Bind(int index, int64_t value);
    Statement& BindNull(int index);
    Statement& Bind(int index, const std::optional<std::string>& text);

    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step();
    // Steps to the end: SQLITE_DONE or the error.
    int Run();

    std::string Text(int column) const;
    int64_t Int(int column) const;
    bool IsNull(int column) const;

  private:
    sqlite3_stmt* statement = nullptr;
    int code = SQLITE_OK;
};

// Runs statements without results; the code of the first that fails, else SQLITE_OK.
int Exec(sqlite3* db, const char* text);

}  // namespace orxresults::sql
