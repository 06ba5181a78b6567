// reliability_driver: one start of the migration tool on a machine laid out in a folder, for
// the fault and crash sweeps. The engine is one connection per process, so every start the
// sweeps need is a process of its own.
//
//   reliability_driver prepare ROOT TITLES   lay out a machine and write an old library
//   reliability_driver run ROOT FAULT        start, choose the library, migrate; FAULT as
//                                            FaultPlan::Parse takes it
//   reliability_driver restart ROOT          inspect what is on the disk, start again (the
//                                            start's log), migrate anew, inspect again
//   reliability_driver window ROOT           the tool's real window, offscreen, migrating
//                                            as soon as it is shown, then quitting
//
// Results go to ROOT/out as small text files (see RunFiles.h); the exit code is 0 unless the
// driver itself could not do its work.
#include <sqlite3.h>

#include <QApplication>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

#include "FaultFileSystem.h"
#include "FaultPlan.h"
#include "FaultVfs.h"
#include "RunFiles.h"
#include "app/RivivuviRUWindow.h"
#include "migration/WindowPort.h"
#include "migration/frmRivivuviRU.h"
#include "platform/DBEngine.h"
#include "platform/JetError.h"
#include "platform/engine/JetTextOrder.h"
#include "platform/os/LocalFileSystem.h"
#include "support/MachineApi.h"
#include "tools/LibraryGenerator.h"

namespace {

namespace fs = std::filesystem;
using namespace reliability;

// Records the log and the messages; the file dialog answers with the old library.
class Port : public migration::WindowPort {
  public:
    explicit Port(std::string oldLibrary) : old_(std::move(oldLibrary)) {}
    void SetCaption(const std::string&) override {}
    void SetFrameCaption(const std::string&) override {}
    void SetOldDatabaseText(const std::string&) override {}
    void ReplaceLog(const std::string& text) override { log = text; }
    void AppendLog(const std::string& text) override { log += text; }
    void SetProgressMaximum(int) override {}
    void SetProgressValue(int) override {}
    void SetStartEnabled(bool) override {}
    void SetBusyPointer(bool) override {}
    void Yield() override {}
    void Repaint() override {}
    void ShowMessage(migration::MessageIcon, const std::string& text) override {
        messages += text + "\n";
    }
    std::optional<std::string> ChooseFile(const migration::FileDialogRequest&) override {
        return old_;
    }

    std::string log;
    std::string messages;

  private:
    std::string old_;
};

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The first column of the rows `sql` yields on the database file at `path`, joined by
// `separator`, or what kept SQLite from answering ("open: ...", "check: ...").
std::string Answer(const std::string& path, const char* sql, const char* separator) {
    sqlite3* db = nullptr;
    std::string result;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        result = std::string("open: ") + sqlite3_errmsg(db);
    } else {
        platform::JetTextOrder::Register(db);
        sqlite3_stmt* statement = nullptr;
        int rc = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
        if (rc == SQLITE_OK) {
            for (bool first = true; (rc = sqlite3_step(statement)) == SQLITE_ROW; first = false) {
                const auto* text = sqlite3_column_text(statement, 0);
                result += (first ? "" : separator) +
                          std::string(text ? reinterpret_cast<const char*>(text) : "");
            }
        }
        if (rc != SQLITE_DONE) result = std::string("check: ") + sqlite3_errmsg(db);
        sqlite3_finalize(statement);
    }
    sqlite3_close_v2(db);
    return result;
}

// "ok", or what is wrong with the database file at `path` as SQLite itself sees it.
std::string Integrity(const std::string& path) {
    if (!fs::exists(path)) return "missing";
    if (fs::is_directory(path)) return "directory";
    return Answer(path, "PRAGMA integrity_check", "; ");
}

// The target's indexes as SQLite holds them, name by name: a table whose indexes were built
// after its rows must not lose one to a fault.
std::string IndexNames(const std::string& path) {
    const std::string names =
        Answer(path,
               "SELECT name FROM sqlite_schema WHERE type = 'index' AND sql IS NOT NULL "
               "ORDER BY name",
               ",");
    return names.empty() ? "none" : names;
}

std::string Inspect(const std::string& root) {
    const std::string data = root + "/data/Sonavoxa";
    std::ostringstream out;
    for (const char* name : {"sonavoxa.mdb", "sonavoxa.temp.mdb", "sonavoxa.tree.mdb"}) {
        const std::string path = data + "/" + name;
        out << "integrity " << name << " " << Integrity(path) << "\n";
        if (!fs::exists(path)) continue;
        try {
            platform::DBEngine::Instance().OpenDatabase(path).Close();
            out << "engine " << name << " ok\n";
        } catch (const platform::JetError& e) {
            out << "engine " << name << " " << e.Number() << " " << e.what() << "\n";
        }
    }
    if (fs::exists(data + "/sonavoxa.mdb"))
        out << "indexes sonavoxa.mdb " << IndexNames(data + "/sonavoxa.mdb") << "\n";
    for (const std::string& table : CountedTables()) {
        out << "count " << table << " ";
        try {
            platform::Database db =
                platform::DBEngine::Instance().OpenDatabase(data + "/" + "sonavoxa.mdb");
            platform::Recordset rs = db.OpenRecordset("select count(*) as n from " + table);
            out << rs["n"].Value().ToInteger() << "\n";
        } catch (const platform::JetError& e) {
            out << "error " << e.Number() << "\n";
        }
    }
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(data, ec)) {
        if (IsLeftover(entry.path().filename().string()))
            out << "leftover " << entry.path().filename().string() << "\n";
    }
    return out.str();
}

int Prepare(const std::string& root, long titles) {
    for (const char* folder :
         {"data", "old", "etc/sonavoxa", "home", "config", "common", "opt", "out"}) {
        fs::create_directories(root + "/" + folder);
    }
    fs::copy(SONAVOXA_PROGRAM_DIR, root + "/Program", fs::copy_options::recursive);
    Write(root + "/etc/sonavoxa/registry.ini",
          "[Software\\Sonavoxa]\nAppPathConfig=sz:user.normal\n");
    tools::LibraryOptions options;
    options.titles = titles;
    options.seed = 7;
    tools::LibraryGenerator(options).Write(OldLibrary(root));
    return 0;
}

// Start, choose, migrate: the whole road of one use of the tool.
void Migrate(const std::string& root, platform::FileSystem& files, const std::string& logOfStart,
             const std::string& logFile) {
    testing_support::MachineApi machine(testing_support::MachineEnvironment(root), files);
    Port port(OldLibrary(root));
    migration::frmRivivuviRU form(port, machine.Api(), files);
    form.Form_Load();
    form.Form_Activate();
    Write(logOfStart, port.log + "\n" + port.messages);
    form.cmdGetOldDB_Click();
    form.cmdOK_Click();
    Write(logFile, port.log + "\n" + port.messages);
}

int Run(const std::string& root, const std::string& fault) {
    if (!FaultPlan::Instance().Parse(fault)) {
        std::cerr << "unknown fault " << fault << "\n";
        return 2;
    }
    if (!FaultVfs::Install()) return 2;
    platform::LocalFileSystem local;
    FaultFileSystem files(local);
    const platform::DBEngine::FileSystemScope scope(files);
    Migrate(root, files, root + "/out/" + kRunStartLog, root + "/out/" + kRunLog);
    FaultPlan& plan = FaultPlan::Instance();
    plan.Disarm();
    Write(root + "/out/" + kRunFacts, "calls " + std::to_string(plan.Calls()) + "\nfailed " +
                                          std::to_string(plan.FirstFailure()) + "\n");
    return 0;
}

int Restart(const std::string& root) {
    Write(root + "/out/" + kInspectAfterFault, Inspect(root));
    platform::LocalFileSystem local;
    Migrate(root, local, root + "/out/" + kStartLog, root + "/out/" + kRerunLog);
    Write(root + "/out/" + kInspectAfterRerun, Inspect(root));
    return 0;
}

int Window(const std::string& root, int argc, char* argv[]) {
    platform::LocalFileSystem local;
    testing_support::MachineApi machine(testing_support::MachineEnvironment(root), local);
    QApplication application(argc, argv);
    app::RivivuviRUWindow window(machine.Api(), local);
    window.Load();
    window.show();
    // The window activates itself once shown; the run starts after that, as a click would.
    QTimer::singleShot(100, &window, [&window, &root] {
        window.Logic().MigPlan().OldDBName(OldLibrary(root));
        window.Logic().cmdOK_Click();
        Write(root + "/out/" + kRunLog, window.Logic().LogText());
        QApplication::quit();
    });
    return QApplication::exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string mode = argc > 2 ? argv[1] : "";
    const std::string root = argc > 2 ? argv[2] : "";
    try {
        if (mode == "prepare" && argc == 4) return Prepare(root, std::atol(argv[3]));
        if (mode == "run" && argc == 4) return Run(root, argv[3]);
        if (mode == "restart" && argc == 3) return Restart(root);
        if (mode == "window" && argc == 3) return Window(root, argc, argv);
    } catch (const std::exception& e) {
        std::cerr << mode << ": " << e.what() << "\n";
        return 3;
    }
    std::cerr << "usage: reliability_driver prepare ROOT TITLES | run ROOT FAULT | restart ROOT"
                 " | window ROOT\n";
    return 2;
}
