#include "platform/engine/SqliteErrors.h"

#include <sqlite3.h>

#include <cctype>
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
        if (dot != std::string::npos && dot > 2 && name.find_first_not_of("0123456789", 2) == dot) {
            name = name.substr(dot + 1);
        }
    }
    return name;
}

// `text` without the engine's own names: schema qualifiers of attached files ("db3."), the
// jet_ prefix of the functions that stand for Jet's, and the hidden row id column.
std::string UserName(std::string text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const bool wordStart = i == 0 || !(std::isalnum(static_cast<unsigned char>(text[i - 1])) ||
                                           text[i - 1] == '_');
        if (wordStart && text.compare(i, 4, "jet_") == 0) {
            i += 4;
            continue;
        }
        if (wordStart && text.compare(i, 5, "main.") == 0) {
            i += 5;
            continue;
        }
        if (wordStart && text.compare(i, 2, "db") == 0) {
            size_t j = i + 2;
            while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
            if (j > i + 2 && j < text.size() && text[j] == '.') {
                i = j + 1;
                continue;
            }
        }
        if (text.compare(i, 9, "__rowid__") == 0) {
            out += "row";
            i += 9;
            continue;
        }
        out += text[i++];
    }
    return out;
}

}  // namespace

JetError MapSqliteError(sqlite3* db, int rc, std::string_view /*sql*/) {
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
    if (message.starts_with("ambiguous column name: ")) {
        return MakeJetError(jet::kAmbiguousField,
                            UserName(NameAfter(message, "ambiguous column name: ")));
    }
    if (const size_t at = message.find(" has no column named "); at != std::string::npos) {
        return MakeJetError(jet::kUnknownInsertField,
                            message.substr(at + std::string_view(" has no column named ").size()));
    }
    if (message.starts_with("wrong number of arguments to function ")) {
        std::string name = UserName(NameAfter(message, "wrong number of arguments to function "));
        if (name.ends_with("()")) name.resize(name.size() - 2);
        return MakeJetError(jet::kSyntaxInExpression,
                            "Wrong number of arguments used with function", name);
    }
    if (message.starts_with("no such function: ")) {
        return MakeJetError(jet::kUndefinedFunction,
                            UserName(NameAfter(message, "no such function: ")));
    }
    if (message.starts_with("Expression tree is too large") ||
        message.starts_with("parser stack overflow") || message.starts_with("too many arguments")) {
        return MakeJetError(jet::kQueryTooComplex);
    }
    if (message.starts_with("too many attached databases"))
        return MakeJetError(jet::kTooManyDatabases);
    // What the Jet functions raise for a value they cannot take.
    for (const int number :
         {jet::kTypeMismatch, jet::kInvalidCall, jet::kOverflow, jet::kDivisionByZero}) {
        if (message == MakeJetError(number).Description()) return MakeJetError(number);
    }
    if (message.find("syntax error") != std::string::npos ||
        message.starts_with("incomplete input")) {
        // The statement SQLite saw is the translation; name only the word it stumbled on.
        const size_t open = message.find("near \"");
        const size_t close = open == std::string::npos ? open : message.find('"', open + 6);
        const std::string near =
            close == std::string::npos ? std::string() : message.substr(open + 6, close - open - 6);
        return MakeJetError(jet::kSyntaxInExpression, "Syntax error", UserName(near));
    }
    return MakeJetError(jet::kEngineFailure, UserName(message));
}

}  // namespace platform
