// Row-by-row recordset copy against SQLite's own limit.
//
// Copies N rows (default 100,000) of the 45-column title table from one database into another
// the way the migration does (AddNew, a value copy by field name, Update), and, on the same
// rows in the same run, with a plain SQLite prepared insert in one transaction. Prints both
// rates and their ratio. Goal: the recordset copy reaches at least a third of the limit.
//
//   bench_recordset_copy [ROWS]
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/DBEngine.h"
#include "platform/JetError.h"
#include "platform/engine/JetTextOrder.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

const char* kTitleTable =
    "CREATE TABLE db_all (FID COUNTER CONSTRAINT PrimaryKey PRIMARY KEY, Titel TEXT(255),"
    " Interpret TEXT(255), Kommentar TEXT(255), Album TEXT(255), Jahr TEXT(10), Genre TEXT(50),"
    " Path TEXT(255), DName TEXT(255), DTimeMsec LONG, DTime TEXT(10), DLen LONG,"
    " DTSDatei DATETIME, DTSImport DATETIME, DKhz LONG, DBit LONG, BPM SINGLE, DEL YESNO,"
    " Play YESNO, PlayCountDay LONG, PlayCountAll LONG, [Note] SHORT, Track SHORT,"
    " FrameStart LONG, FrameStop LONG, Normalize SINGLE, Volume SHORT, Pitch SINGLE,"
    " DriveTyp SHORT, DriveName TEXT(50), MixTime LONG, MixIn TEXT(255), MixOut TEXT(255),"
    " EQ TEXT(255), Favorit YESNO, Image TEXT(255), Situation TEXT(50), Tempo TEXT(50),"
    " Stimmung TEXT(50), Kategorie TEXT(50), User1 TEXT(50), User2 TEXT(50), User3 TEXT(50),"
    " User4 TEXT(50), User5 TEXT(50))";

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void Fill(const std::string& path, int rows) {
    Database db = DBEngine::Instance().CreateDatabase(path, dbLangGeneral);
    db.Execute(kTitleTable);
    db.Execute("CREATE INDEX Path ON db_all (Path)");
    db.Execute("CREATE INDEX Interpret ON db_all (Interpret)");
    Recordset rs = db.OpenRecordset("db_all");
    for (int i = 1; i <= rows; ++i) {
        rs.AddNew();
        rs["FID"].SetValue(Value::FromInteger(i));
        rs["Titel"].SetValue(Value::FromText("Titel Nummer " + std::to_string(i)));
        rs["Interpret"].SetValue(Value::FromText("Interpret " + std::to_string(i % 997)));
        rs["Album"].SetValue(Value::FromText("Album " + std::to_string(i % 4001)));
        rs["Jahr"].SetValue(Value::FromText(std::to_string(1960 + i % 60)));
        rs["Genre"].SetValue(Value::FromText(i % 7 ? "Rock" : "Jazz"));
        rs["Path"].SetValue(Value::FromText("C:\\Music\\Folder" + std::to_string(i % 3001) + "\\"));
        rs["DName"].SetValue(Value::FromText("track" + std::to_string(i) + ".mp3"));
        rs["DTimeMsec"].SetValue(Value::FromInteger(180000 + i % 60000));
        rs["DTime"].SetValue(Value::FromText("3:" + std::to_string(10 + i % 50)));
        rs["DLen"].SetValue(Value::FromInteger(4000000 + i));
        rs["DTSDatei"].SetValue(Value::FromDate(38000.5 + i % 400));
        rs["DTSImport"].SetValue(Value::FromDate(38414.25 + i % 30));
        rs["DKhz"].SetValue(Value::FromInteger(44100));
        rs["DBit"].SetValue(Value::FromInteger(192));
        rs["BPM"].SetValue(Value::FromSingle(120.5f));
        rs["DEL"].SetValue(Value::FromBoolean(i % 50 == 0));
        rs["Note"].SetValue(Value::FromInteger(i % 6));
        rs["Track"].SetValue(Value::FromInteger(i % 20));
        rs["DriveTyp"].SetValue(Value::FromInteger(3));
        rs["DriveName"].SetValue(Value::FromText("SYSTEM"));
        rs["MixIn"].SetValue(Value::FromText("-1,5,,,,"));
        rs.Update();
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    const fs::path folder =
        fs::temp_directory_path() / ("bench-copy-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string source = (folder / "source.mdb").string();
    const std::string target = (folder / "target.mdb").string();
    const std::string limit = (folder / "limit.mdb").string();
    try {
        Fill(source, rows);
        for (const std::string& path : {target, limit}) {
            Database db = DBEngine::Instance().CreateDatabase(path, dbLangGeneral);
            db.Execute(kTitleTable);
            db.Execute("CREATE INDEX Path ON db_all (Path)");
            db.Execute("CREATE INDEX Interpret ON db_all (Interpret)");
        }

        // The migration's way: row by row through two recordsets.
        auto start = std::chrono::steady_clock::now();
        {
            Database from = DBEngine::Instance().OpenDatabase(source);
            Database to = DBEngine::Instance().OpenDatabase(target);
            Recordset in = from.OpenRecordset("select * from db_all");
            Recordset out = to.OpenRecordset("db_all");
            auto fields = in.Fields();
            while (!in.Eof()) {
                out.AddNew();
                for (Field& f : fields) out[f.Name()].SetValue(f.Value());
                in.MoveNext();
                out.Update();
            }
        }
        const double recordsetSeconds = Seconds(start);

        // The limit: SQLite alone, one prepared insert in one transaction.
        start = std::chrono::steady_clock::now();
        {
            sqlite3* db = nullptr;
            sqlite3_open(limit.c_str(), &db);
            JetTextOrder::Register(db);  // the text columns' indexes are kept in Jet's order
            sqlite3_exec(db, ("ATTACH " + std::string("'") + source + "' AS src").c_str(), nullptr,
                         nullptr, nullptr);
            sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
            sqlite3_stmt* read = nullptr;
            sqlite3_stmt* write = nullptr;
            sqlite3_prepare_v2(db, "SELECT * FROM src.db_all", -1, &read, nullptr);
            std::string sql = "INSERT INTO main.db_all VALUES (?";
            for (int i = 1; i < 45; ++i) sql += ",?";
            sqlite3_prepare_v2(db, (sql + ")").c_str(), -1, &write, nullptr);
            while (sqlite3_step(read) == SQLITE_ROW) {
                for (int c = 0; c < 45; ++c)
                    sqlite3_bind_value(write, c + 1, sqlite3_column_value(read, c));
                if (sqlite3_step(write) != SQLITE_DONE)
                    std::fprintf(stderr, "insert failed: %s\n", sqlite3_errmsg(db));
                sqlite3_reset(write);
            }
            sqlite3_finalize(read);
            sqlite3_finalize(write);
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
        const double limitSeconds = Seconds(start);

        Database check = DBEngine::Instance().OpenDatabase(target);
        Recordset count = check.OpenRecordset("select count(*) as n from db_all");
        const long copied = static_cast<long>(count["n"].Value().AsInteger());
        count.Close();
        check.Close();

        const double recordsetRate = rows / recordsetSeconds;
        const double limitRate = rows / limitSeconds;
        std::printf("rows copied:             %ld of %d\n", copied, rows);
        std::printf("recordset copy:          %10.0f rows/s (%.2f s)\n", recordsetRate,
                    recordsetSeconds);
        std::printf("plain SQLite insert:     %10.0f rows/s (%.2f s)\n", limitRate, limitSeconds);
        std::printf("ratio (goal >= 0.33):    %10.2f\n", recordsetRate / limitRate);
    } catch (const JetError& e) {
        std::fprintf(stderr, "Error %d: %s\n", e.Number(), e.what());
        fs::remove_all(folder);
        return 1;
    }
    if (std::getenv("BENCH_KEEP"))
        std::printf("files kept in %s\n", folder.c_str());
    else
        fs::remove_all(folder);
    return 0;
}
