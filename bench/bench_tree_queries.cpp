// The stored tree queries of the shipped sonavoxa.mdb on a large library.
//
// Writes a sample library of N titles (default 100,000; make-library's generator, seed 1),
// copies the built sonavoxa.mdb, fills its db_all from the library through links (as the
// migration's title query joins the genres), then times what the directory-tree rebuild runs:
// v_tree_dir read to the end once, and QU_UpadateTreeDirAnzahl once for every folder level
// of its rows with the pattern "<folder>*". Also times the four tree appends into local
// tables of the tree structure. Goal: each directory query well under a second.
//
//   bench_tree_queries [TITLES]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/DBEngine.h"
#include "platform/JetError.h"
#include "tools/LibraryGenerator.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void Link(Database& db, const std::string& name, const std::string& file,
          const std::string& source) {
    TableDef link = db.CreateTableDef(name);
    link.SetConnect(";Database=" + file);
    link.SetSourceTableName(source);
    db.TableDefs().Append(link);
}

// The folder levels the rebuild counts: every prefix of a path that ends in a backslash,
// a network path's server counting as one level.
std::set<std::string> FolderLevels(const std::vector<std::string>& paths) {
    std::set<std::string> levels;
    for (const std::string& p : paths) {
        size_t from = p.starts_with("\\\\") ? 2 : 0;
        for (size_t i = p.find('\\', from); i != std::string::npos; i = p.find('\\', i + 1))
            levels.insert(p.substr(0, i + 1));
    }
    return levels;
}

}  // namespace

int main(int argc, char** argv) {
    const long titles = argc > 1 ? std::atol(argv[1]) : 100000;
    std::string folder = (fs::temp_directory_path() / "bench-tree-XXXXXX").string();
    if (!::mkdtemp(folder.data())) return 1;
    try {
        const std::string old = folder + "/old.mdb";
        const std::string target = folder + "/sonavoxa.mdb";
        auto start = std::chrono::steady_clock::now();
        tools::LibraryGenerator({titles, 1, true}).Write(old);
        std::printf("library of %ld titles written: %.2f s\n", titles, Seconds(start));
        fs::copy_file(std::string(SONAVOXA_PROGRAM_DIR) + "/sonavoxa.mdb", target);

        Database db = DBEngine::Instance().OpenDatabase(target);
        Link(db, "old_all", old, "db_all");
        Link(db, "old_genre", old, "genre");
        start = std::chrono::steady_clock::now();
        const long copied = db.Execute(
            "INSERT INTO db_all (FID, Titel, Interpret, Kommentar, Album, Jahr, Genre, Path, DName,"
            " DTimeMsec, DTime, DLen, DTSDatei, DTSImport, DKhz, DBit, BPM, DEL, Play, "
            "PlayCountDay,"
            " PlayCountAll, [Note], Track, FrameStart, FrameStop, Normalize, Volume, Pitch, "
            "DriveTyp,"
            " DriveName, MixTime, MixIn, MixOut, EQ) "
            "SELECT o.FID, o.Titel, o.Interpret, o.Kommentar, o.Album, o.Jahr, g.name, o.Path, "
            "o.DName,"
            " o.DTimeMsec, o.DTime, o.DLen, o.DTSDatei, o.DTSImport, o.DKhz, o.DBit, o.BPM, o.DEL, "
            "o.Play,"
            " o.PlayCountDay, o.PlayCountAll, o.[Note], o.Track, o.FrameStart, o.FrameStop, "
            "o.Normalize,"
            " o.Volume, o.Pitch, o.DriveTyp, o.DriveName, o.MixTime, o.MixIn, o.MixOut, o.EQ "
            "FROM old_all AS o, old_genre AS g WHERE o.Genre_ID = g.genre_id");
        std::printf("%ld titles copied into db_all: %.2f s\n", copied, Seconds(start));

        start = std::chrono::steady_clock::now();
        std::vector<std::string> paths;
        {
            Recordset rs = db.OpenRecordset("v_tree_dir");
            for (; !rs.Eof(); rs.MoveNext()) paths.push_back(rs["Path"].Value().ToText());
        }
        const double treeDir = Seconds(start);
        std::printf("v_tree_dir: %zu folder rows in %.3f s\n", paths.size(), treeDir);

        const std::set<std::string> levels = FolderLevels(paths);
        QueryDef count = db.QueryDefs().Item("QU_UpadateTreeDirAnzahl");
        double slowest = 0;
        std::string slowestPath;
        long total = 0;
        start = std::chrono::steady_clock::now();
        for (const std::string& level : levels) {
            const auto one = std::chrono::steady_clock::now();
            count.Parameters().Item("sPath").SetValue(Value::FromText(level + "*"));
            Recordset rs = count.OpenRecordset(dbOpenSnapshot);
            if (level.size() == 3) total += static_cast<long>(rs["anz"].Value().ToInteger());
            rs.Close();
            if (Seconds(one) > slowest) {
                slowest = Seconds(one);
                slowestPath = level;
            }
        }
        const double counts = Seconds(start);
        std::printf(
            "QU_UpadateTreeDirAnzahl: %zu calls in %.3f s (%.3f ms each, slowest %.3f ms for %s);"
            " titles below the drive letters: %ld\n",
            levels.size(), counts,
            1000.0 * counts / static_cast<double>(std::max<size_t>(1, levels.size())),
            1000.0 * slowest, slowestPath.c_str(), total);

        for (
            const char* ddl :
            {"CREATE TABLE tree_genre (Name TEXT(255), anzahl LONG, imgkey TEXT(50), tstamp DOUBLE,"
             " favorit YESNO DEFAULT False, CONSTRAINT PrimaryKey PRIMARY KEY (Name))",
             "CREATE TABLE tree_album (Name TEXT(255), anzahl LONG, imgkey TEXT(50), tstamp DOUBLE,"
             " favorit YESNO DEFAULT False, CONSTRAINT PrimaryKey PRIMARY KEY (Name))",
             "CREATE TABLE tree_interpret (Name TEXT(255), anzahl LONG, imgkey TEXT(50), tstamp "
             "DOUBLE,"
             " favorit YESNO DEFAULT False, CONSTRAINT PrimaryKey PRIMARY KEY (Name))",
             "CREATE TABLE tree_genre_interpret (Genre TEXT(50), Name TEXT(255), anzahl LONG,"
             " imgkey TEXT(50), tstamp DOUBLE, favorit YESNO DEFAULT False,"
             " CONSTRAINT PrimaryKey PRIMARY KEY (Genre, Name))"})
            db.Execute(ddl);
        for (const char* query : {"UPDATE_TREE_GENRE", "UPDATE_TREE_GENRE_interpret",
                                  "UPDATE_TREE_ALBUM", "UPDATE_TREE_interpret"}) {
            start = std::chrono::steady_clock::now();
            const long rows = db.Execute(query);
            std::printf("%s: %ld rows in %.3f s\n", query, rows, Seconds(start));
        }
        std::printf("goal: v_tree_dir and each QU_UpadateTreeDirAnzahl call well under 1 s: %s\n",
                    treeDir < 0.5 && slowest < 0.5 ? "met" : "MISSED");
    } catch (const JetError& e) {
        std::fprintf(stderr, "Error %d: %s\n", e.Number(), e.what());
        fs::remove_all(folder);
        return 1;
    }
    fs::remove_all(folder);
    return 0;
}
