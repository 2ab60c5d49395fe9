#include "Sqlite.h"

namespace orxresults::sql {

Statement::Statement(sqlite3* db, const char* text) {
    code = sqlite3_prepare_v2(db, text, -1, &statement, nullptr);
    if (code != SQLITE_OK) {
        sqlite3_finalize(statement);
        statement = nullptr;
    }
}

Statement::~Statement() {
    sqlite3_finalize(statement);
}

Statement& Statement::Bind(int index, const std::string& text) {
    if (statement != nullptr) {
        sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    return *this;
}

Statement& Statement::Bind(int index, int64_t value) {
    if (statement != nullptr) {
        sqlite3_bind_int64(statement, index, value);
    }
    return *this;
}

Statement& Statement::BindNull(int index) {
    if (statement != nullptr) {
        sqlite3_bind_null(statement, index);
    }
    return *this;
}

Statement& Statement::Bind(int index, const std::optional<std::string>& text) {
    return text ? Bind(index, *text) : BindNull(index);
}

int Statement::Step() {
    if (statement == nullptr) {
        return code;
    }
    code = sqlite3_step(statement);
    return code;
}

int Statement::Run() {
    while (Step() == SQLITE_ROW) {
    }
    return code;
}

std::string Statement::Text(int column) const {
    const unsigned char* text = sqlite3_column_text(statement, column);
    int size = sqlite3_column_bytes(statement, column);
    return text == nullptr
               ? std::string()
               : std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(size));
}

int64_t Statement::Int(int column) const {
    return sqlite3_column_int64(statement, column);
}

bool Statement::IsNull(int column) const {
    return sqlite3_column_type(statement, column) == SQLITE_NULL;
}

int Exec(sqlite3* db, const char* text) {
    return sqlite3_exec(db, text, nullptr, nullptr, nullptr);
}

}  // namespace orxresults::sql
