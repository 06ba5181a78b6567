// Statement: the one owner of a prepared SQLite statement (internal to the engine).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_mutex;

namespace platform {

// Holds a connection's own mutex for a stretch of calls on it: a row's many column reads or
// binds then take it once, and values read in place stay protected. Nothing that may wait
// for the engine's other locks runs while it is held.
class ConnectionMutexHold {
  public:
    explicit ConnectionMutexHold(sqlite3_stmt* statement);
    ~ConnectionMutexHold();
    ConnectionMutexHold(const ConnectionMutexHold&) = delete;
    ConnectionMutexHold& operator=(const ConnectionMutexHold&) = delete;

  private:
    sqlite3_mutex* mutex_;
};

class Statement {
  public:
    Statement() = default;
    // Prepares `sql`; throws the JetError that MapSqliteError gives.
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* Handle() const { return stmt_; }
    explicit operator bool() const { return stmt_ != nullptr; }

    // Steps once: true while a row is there, false when done. Throws a mapped JetError.
    bool Step();
    void Reset();  // also clears the bindings

    void BindNull(int index);
    void BindInteger(int index, int64_t v);
    void BindDouble(int index, double v);
    void BindText(int index, std::string_view v);
    void BindBlob(int index, const std::vector<uint8_t>& v);
    // Bind without a copy: the bytes must stay as they are until the next Step and Reset.
    void BindTextInPlace(int index, std::string_view v);
    void BindBlobInPlace(int index, std::string_view v);
    int ParameterIndex(const char* name) const;  // 0 when absent

    int ColumnCount() const;
    bool ColumnIsNull(int col) const;
    int64_t ColumnInteger(int col) const;
    double ColumnDouble(int col) const;
    std::string ColumnText(int col) const;

  private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace platform
