#include "platform/engine/SqliteErrors.h"

#include <sqlite3.h>

#include <string>

namespace platform {
namespace {

// The name after `prefix` in SQLite's message, without a schema qualifier ("db3.").
std::string NameAfter(const std::string& message, std::string_view prefix) {
    const size_t at = message.find(prefix);
    if (at == std::string::npos) return {};
    std::string name = message.substr(at + prefix.size());
    if (name.starts_with("main.")) return name.substr(5);
    if (name.size() > 3 && name.compare(0, 2, "db") == 0) {
        const size_t dot = name.find('.');
        if (dot != std::string::npos && dot > 2 &&
            name.find_first_not_of("0123456789", 2) == dot) {
            name = name.substr(dot + 1);
        }
    }
    return name;
}

}  // namespace

JetError MapSqliteError(sqlite3* db, int rc, std::string_view sql) {
    const std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    const int primary = rc & 0xff;
    switch (primary) {
        case SQLITE_CONSTRAINT: {
            const int extended = db ? sqlite3_extended_errcode(db) : rc;
            if (extended == SQLITE_CONSTRAINT_NOTNULL) {
                std::string field = NameAfter(message, "NOT NULL constraint failed: ");
                const size_t dot = field.find('.');
                return MakeJetError(jet::kRequiredIsNull,
                                    dot == std::string::npos ? field : field.substr(dot + 1));
            }
            if (extended == SQLITE_CONSTRAINT_CHECK) {
                const std::string name = NameAfter(message, "CHECK constraint failed: ");
                if (name.starts_with("size:")) return MakeJetError(jet::kFieldTooSmall);
                return MakeJetError(jet::kTypeConversion);
            }
            return MakeJetError(jet::kDuplicateKey);
        }
        case SQLITE_INTERRUPT:
            return MakeJetError(jet::kCancelled);
        case SQLITE_MISMATCH:
            return MakeJetError(jet::kTypeConversion);
        case SQLITE_READONLY:
        case SQLITE_AUTH:
            return MakeJetError(jet::kReadOnly);
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return MakeJetError(jet::kLocked, message);
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            return MakeJetError(jet::kCannotOpenDatabase, message);
        case SQLITE_CANTOPEN:
        case SQLITE_PERM:
            return MakeJetError(jet::kCannotOpenFile, message);
        case SQLITE_FULL:
        case SQLITE_IOERR:
        case SQLITE_NOMEM:
            return MakeJetError(jet::kResourcesExceeded, message);
        default:
            break;
    }
    if (message.starts_with("no such table: ")) {
        return MakeJetError(jet::kInputTableNotFound, NameAfter(message, "no such table: "));
    }
    if (message.starts_with("no such column: ")) return MakeJetError(jet::kTooFewParameters, "1");
    if (message.starts_with("too many attached databases")) return MakeJetError(jet::kTooManyDatabases);
    if (message.find("syntax error") != std::string::npos ||
        message.starts_with("incomplete input") || message.starts_with("no such function")) {
        return MakeJetError(jet::kSyntaxInExpression, sql);
    }
    return MakeJetError(jet::kEngineFailure, message);
}

}  // namespace platform
