// Opens arbitrary bytes as a database file (read-only) and reads every table, the way the
// tool reads a user's old library. Damaged files must end in a JetError, never a crash or hang.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/DBEngine.h"
#include "platform/JetError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = [] {
        char folder[] = "/tmp/sonavoxa-fuzz-XXXXXX";
        return std::string(mkdtemp(folder)) + "/input.mdb";
    }();
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, out);
        std::fclose(out);
    }
    try {
        platform::Database db = platform::DBEngine::Instance().OpenDatabase(path, false, true);
        auto tables = db.TableDefs();
        for (const std::string& name : tables.Names()) {
            if (tables.Item(name).Attributes() != 0) continue;
            platform::Recordset rs = db.OpenRecordset(name);
            while (!rs.Eof()) {
                for (auto& field : rs.Fields()) (void)field.Value().ToDisplayText();
                rs.MoveNext();
            }
        }
    } catch (const platform::JetError&) {
    }
    return 0;
}
