#include "bench/PlainSqlite.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>

// The engine's text order, so that the copied indexes can be written (an engine internal; the
// benchmark is its only user outside the engine).
#include "platform/engine/JetTextOrder.h"

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kChunkRows = 20000;

struct CloseDb {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct Finalize {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Db = std::unique_ptr<sqlite3, CloseDb>;
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

Db Open(const std::string& path, int flags) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK) throw std::runtime_error(path + ": " + sqlite3_errstr(rc));
    platform::JetTextOrder::Register(db.get());
    return db;
}

void Exec(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message ? message : "?";
        sqlite3_free(message);
        throw std::runtime_error(sql + ": " + text);
    }
}

Statement Prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
    return Statement(raw);
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// One value read from the filled database; text and blobs live in the chunk's arena.
struct Cell {
    int type = SQLITE_NULL;
    sqlite3_int64 integer = 0;
    double real = 0;
    size_t offset = 0;
    size_t length = 0;
};

// Reads up to kChunkRows rows; false when there were none left. `done` keeps a finished
// statement from being stepped again, which would start it afresh.
bool ReadChunk(sqlite3_stmt* read, int columns, std::vector<Cell>& cells, std::string& arena,
               bool& done) {
    cells.clear();
    arena.clear();
    for (size_t rows = 0; rows < kChunkRows && !done; ++rows) {
        if (sqlite3_step(read) != SQLITE_ROW) {
            done = true;
            break;
        }
        for (int c = 0; c < columns; ++c) {
            Cell cell;
            cell.type = sqlite3_column_type(read, c);
            if (cell.type == SQLITE_INTEGER) {
                cell.integer = sqlite3_column_int64(read, c);
            } else if (cell.type == SQLITE_FLOAT) {
                cell.real = sqlite3_column_double(read, c);
            } else if (cell.type != SQLITE_NULL) {
                const void* data = cell.type == SQLITE_TEXT
                                       ? static_cast<const void*>(sqlite3_column_text(read, c))
                                       : sqlite3_column_blob(read, c);
                cell.length = static_cast<size_t>(sqlite3_column_bytes(read, c));
                cell.offset = arena.size();
                arena.append(static_cast<const char*>(data), cell.length);
            }
            cells.push_back(cell);
        }
    }
    return !cells.empty();
}

void Bind(sqlite3_stmt* write, int index, const Cell& cell, const std::string& arena) {
    const char* data = arena.data() + cell.offset;
    const auto length = static_cast<int>(cell.length);
    switch (cell.type) {
        case SQLITE_INTEGER:
            sqlite3_bind_int64(write, index, cell.integer);
            break;
        case SQLITE_FLOAT:
            sqlite3_bind_double(write, index, cell.real);
            break;
        case SQLITE_TEXT:
            sqlite3_bind_text(write, index, data, length, SQLITE_STATIC);
            break;
        case SQLITE_BLOB:
            sqlite3_bind_blob(write, index, data, length, SQLITE_STATIC);
            break;
        default:
            sqlite3_bind_null(write, index);
    }
}

}  // namespace

InsertTiming TimeInserts(const std::string& filled, const std::string& emptyTarget,
                         const std::string& work, const std::vector<std::string>& tables) {
    std::filesystem::copy_file(emptyTarget, work);
    Db source = Open(filled, SQLITE_OPEN_READONLY);
    Db target = Open(work, SQLITE_OPEN_READWRITE);
    for (const std::string& table : tables) Exec(target.get(), "DELETE FROM " + Quoted(table));

    InsertTiming timing;
    Clock::duration spent{};
    auto start = Clock::now();
    Exec(target.get(), "BEGIN");
    spent += Clock::now() - start;
    std::vector<Cell> cells;
    std::string arena;
    for (const std::string& table : tables) {
        Statement read = Prepare(source.get(), "SELECT * FROM " + Quoted(table));
        const int columns = sqlite3_column_count(read.get());
        std::string sql = "INSERT INTO " + Quoted(table) + " VALUES (?";
        for (int c = 1; c < columns; ++c) sql += ",?";
        Statement write = Prepare(target.get(), sql + ")");
        bool done = false;
        while (ReadChunk(read.get(), columns, cells, arena, done)) {
            start = Clock::now();
            for (size_t first = 0; first < cells.size(); first += static_cast<size_t>(columns)) {
                for (int c = 0; c < columns; ++c)
                    Bind(write.get(), c + 1, cells[first + static_cast<size_t>(c)], arena);
                if (sqlite3_step(write.get()) != SQLITE_DONE)
                    throw std::runtime_error(table + ": " + sqlite3_errmsg(target.get()));
                sqlite3_reset(write.get());
                ++timing.rows;
            }
            spent += Clock::now() - start;
        }
    }
    start = Clock::now();
    Exec(target.get(), "COMMIT");
    spent += Clock::now() - start;
    timing.seconds = std::chrono::duration<double>(spent).count();
    return timing;
}

double TimeVacuumInto(const std::string& source, const std::string& destination) {
    Db db = Open(source, SQLITE_OPEN_READONLY);
    const auto start = Clock::now();
    Statement vacuum = Prepare(db.get(), "VACUUM INTO ?");
    sqlite3_bind_text(vacuum.get(), 1, destination.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(vacuum.get()) != SQLITE_DONE)
        throw std::runtime_error("VACUUM INTO: " + std::string(sqlite3_errmsg(db.get())));
    // The engine's compaction ends with its copy on the disk; so does this one.
    const int fd = ::open(destination.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        (void)::close(fd);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace bench
