// Small helpers for engine tests: fresh databases in a temporary folder, copies of the shipped
// one, error capture.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/DBEngine.h"
#include "platform/JetError.h"
#include "support/TempFolder.h"

namespace testing_support {

// The Jet error number that `action` raises, or 0.
inline int JetErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const platform::JetError& e) {
        return e.Number();
    }
    return 0;
}

inline platform::Database CreateDatabaseWith(const std::string& path,
                                             const std::vector<std::string>& statements) {
    auto db = platform::DBEngine::Instance().CreateDatabase(path, platform::dbLangGeneral);
    for (const auto& s : statements) db.Execute(s);
    return db;
}

// Every row of a SELECT as display texts joined by '|', rows by '\n'.
inline std::string Rows(platform::Database& db, const std::string& select) {
    std::string out;
    auto rs = db.OpenRecordset(select);
    auto fields = rs.Fields();
    while (!rs.Eof()) {
        for (size_t i = 0; i < fields.Count(); ++i) {
            const platform::Value v = fields[i].Value();
            out += (i ? "|" : "") + (v.IsNull() ? std::string("<null>") : v.ToDisplayText());
        }
        out += "\n";
        rs.MoveNext();
    }
    return out;
}

// A copy at `path` of the target database the build puts into the program folder: no test
// works on the shipped file itself.
inline std::string CopyOfShippedDatabase(const std::string& path) {
    std::filesystem::copy_file(std::string(SONAVOXA_PROGRAM_DIR) + "/sonavoxa.mdb", path,
                               std::filesystem::copy_options::overwrite_existing);
    return path;
}

inline std::string FixturePath(const std::string& relative) {
    return std::string(SONAVOXA_FIXTURES) + "/" + relative;
}

}  // namespace testing_support
