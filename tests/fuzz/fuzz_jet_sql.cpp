// Feeds arbitrary text to the engine as Jet SQL: as a query and as an action statement on a
// database with the library's kind of tables. Anything may fail with a JetError; nothing may
// crash, hang or leak.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/DBEngine.h"
#include "platform/JetError.h"

namespace {

platform::Database& Library() {
    static platform::Database db = [] {
        char folder[] = "/tmp/sonavoxa-fuzz-XXXXXX";
        const std::string path = std::string(mkdtemp(folder)) + "/fuzz.mdb";
        auto created = platform::DBEngine::Instance().CreateDatabase(path, platform::dbLangGeneral);
        created.Execute(
            "CREATE TABLE db_all (FID COUNTER CONSTRAINT pk PRIMARY KEY, Titel TEXT(255), "
            "Path TEXT(255), DTSImport DATETIME, DEL YESNO, BPM SINGLE, Note SHORT)");
        created.Execute("CREATE TABLE genre (genre_id LONG, name TEXT(50))");
        created.Execute(
            "insert into db_all (Titel, Path, DTSImport, DEL, BPM, Note) values "
            "('Über', 'C:\\Music\\', #2005-03-03#, false, 120.5, 3)");
        created.Execute("insert into genre values (1, 'Rock')");
        created.CreateQueryDef("q", "PARAMETERS p Text; select * from db_all where Path like p");
        return created;
    }();
    return db;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string sql(reinterpret_cast<const char*>(data), size);
    platform::Database& db = Library();
    try {
        platform::Recordset rs = db.OpenRecordset(sql);
        for (int rows = 0; !rs.Eof() && rows < 1000; ++rows) {
            for (auto& field : rs.Fields()) (void)field.Value().ToDisplayText();
            rs.MoveNext();
        }
    } catch (const platform::JetError&) {
    }
    auto& workspace = platform::DBEngine::Instance().Workspaces(0);
    workspace.BeginTrans();
    try {
        db.Execute(sql);
    } catch (const platform::JetError&) {
    }
    workspace.Rollback();
    return 0;
}
