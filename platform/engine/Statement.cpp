#include "platform/engine/Statement.h"

#include <sqlite3.h>

#include "platform/engine/EngineConnection.h"
#include "platform/engine/SqliteErrors.h"

namespace platform {

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
    EngineConnection::RequireNotInProgressCallback();
    const int rc =
        sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        throw MapSqliteError(db, rc, sql);
    }
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement::Statement(Statement&& other) noexcept : db_(other.db_), stmt_(other.stmt_) {
    other.stmt_ = nullptr;
}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(stmt_);
        db_ = other.db_;
        stmt_ = other.stmt_;
        other.stmt_ = nullptr;
    }
    return *this;
}

bool Statement::Step() {
    EngineConnection::RequireNotInProgressCallback();
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    const JetError error = MapSqliteError(db_, rc, sqlite3_sql(stmt_));
    sqlite3_reset(stmt_);
    throw error;
}

void Statement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

void Statement::BindNull(int index) { sqlite3_bind_null(stmt_, index); }
void Statement::BindInteger(int index, int64_t v) { sqlite3_bind_int64(stmt_, index, v); }
void Statement::BindDouble(int index, double v) { sqlite3_bind_double(stmt_, index, v); }
void Statement::BindText(int index, std::string_view v) {
    sqlite3_bind_text(stmt_, index, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}
void Statement::BindBlob(int index, const std::vector<uint8_t>& v) {
    sqlite3_bind_blob(stmt_, index, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}
ConnectionMutexHold::ConnectionMutexHold(sqlite3_stmt* statement)
    : mutex_(sqlite3_db_mutex(sqlite3_db_handle(statement))) {
    sqlite3_mutex_enter(mutex_);  // a null mutex (single-threaded SQLite) is passed over
}
ConnectionMutexHold::~ConnectionMutexHold() { sqlite3_mutex_leave(mutex_); }

void Statement::BindTextInPlace(int index, std::string_view v) {
    sqlite3_bind_text(stmt_, index, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
}
void Statement::BindBlobInPlace(int index, std::string_view v) {
    sqlite3_bind_blob(stmt_, index, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
}
int Statement::ParameterIndex(const char* name) const {
    return sqlite3_bind_parameter_index(stmt_, name);
}

int Statement::ColumnCount() const { return sqlite3_column_count(stmt_); }
bool Statement::ColumnIsNull(int col) const {
    return sqlite3_column_type(stmt_, col) == SQLITE_NULL;
}
int64_t Statement::ColumnInteger(int col) const { return sqlite3_column_int64(stmt_, col); }
double Statement::ColumnDouble(int col) const { return sqlite3_column_double(stmt_, col); }
std::string Statement::ColumnText(int col) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
    return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt_, col)))
                : std::string();
}

}  // namespace platform
