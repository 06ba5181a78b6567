// The whole migration on a large library, through the real window offscreen.
//
// Writes a make-library library (default 100,000 titles), lays out a machine in a temporary
// folder (program folder copied from the build, data folder prepared by the tool), and runs
// the window: load, transfer, tree rebuilds, recount, compaction. Prints each phase's seconds
// and the transfer's rows per second beside the engine's raw insert rate for the same title
// rows (one recordset, values ready in memory, one transaction). Goals: the whole run under
// 10 seconds, the transfer at least a third of the raw rate.
//
//   bench_migration_run [TITLES]
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/RivivuviRUWindow.h"
#include "migration/PlanEntries.h"
#include "platform/DBEngine.h"
#include "platform/JetError.h"
#include "platform/os/Environment.h"
#include "platform/os/LocalFileSystem.h"
#include "platform/os/ProgramLocation.h"
#include "platform/os/StandardFolders.h"
#include "settings/Mod_API.h"
#include "settings/RegistryStore.h"
#include "tools/LibraryGenerator.h"

namespace fs = std::filesystem;
using platform::Database;
using platform::DBEngine;
using platform::Recordset;
using platform::Value;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

class BenchWindow : public app::RivivuviRUWindow {
  public:
    BenchWindow(settings::Mod_API& api, platform::FileSystem& fs, std::string old)
        : RivivuviRUWindow(api, fs), old_(std::move(old)) {}
    std::optional<std::string> ChooseFile(const migration::FileDialogRequest&) override {
        return old_;
    }

  private:
    std::string old_;
};

// Rows per second of inserting the old titles, as the title query reads them, into a copy of
// the shipped target through one recordset in one transaction.
double RawInsertRate(const std::string& old, const std::string& emptyTarget, long& rows) {
    std::vector<std::vector<Value>> values;
    std::vector<std::string> names;
    {
        Database db = DBEngine::Instance().OpenDatabase(old, false, true);
        Recordset rs = db.OpenRecordset(migration::TitleQuery());
        for (platform::Field& f : rs.Fields()) names.push_back(f.Name());
        for (; !rs.Eof(); rs.MoveNext()) {
            std::vector<Value> row;
            for (platform::Field& f : rs.Fields()) row.push_back(f.Value());
            values.push_back(std::move(row));
        }
    }
    rows = static_cast<long>(values.size());
    const auto start = std::chrono::steady_clock::now();
    Database db = DBEngine::Instance().OpenDatabase(emptyTarget);
    Recordset rs = db.OpenRecordset("db_all");
    std::vector<platform::Field*> fields;
    for (const std::string& n : names) fields.push_back(&rs[n]);
    DBEngine::Instance().Workspaces(0).BeginTrans();
    for (const auto& row : values) {
        rs.AddNew();
        for (size_t i = 0; i < row.size(); ++i) fields[i]->SetValue(row[i]);
        rs.Update();
    }
    DBEngine::Instance().Workspaces(0).CommitTrans();
    return static_cast<double>(rows) / Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
    const long titles = argc > 1 ? std::atol(argv[1]) : 100000;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication application(qtArgc, argv);

    const fs::path root =
        fs::temp_directory_path() / ("bench-migration-" + std::to_string(::getpid()));
    fs::create_directories(root / "etc/sonavoxa");
    fs::create_directories(root / "data");
    fs::copy(SONAVOXA_PROGRAM_DIR, root / "Program", fs::copy_options::recursive);
    {
        std::FILE* f = std::fopen((root / "etc/sonavoxa/registry.ini").c_str(), "w");
        std::fputs("[Software\\Sonavoxa]\nAppPathConfig=sz:user.normal\n", f);
        std::fclose(f);
    }
    const std::map<std::string, std::string> env = {{"HOME", root / "home"},
                                                    {"XDG_DATA_HOME", root / "data"},
                                                    {"XDG_CONFIG_HOME", root / "config"},
                                                    {"XDG_CONFIG_DIRS", root / "etc"},
                                                    {"SONAVOXA_PROGRAM_DIR", root / "Program"},
                                                    {"SONAVOXA_PROGRAM_NAME", "RodividuZIDU"}};
    int status = 0;
    try {
        const std::string old = root / "old.mdb";
        tools::LibraryOptions options;
        options.titles = titles;
        auto start = std::chrono::steady_clock::now();
        tools::LibraryGenerator(options).Write(old);
        std::printf("library of %ld titles written in %.2f s\n", titles, Seconds(start));

        platform::LocalFileSystem local;
        platform::StandardFolders folders(platform::Environment::FromTable(env));
        platform::ProgramLocation program(platform::Environment::FromTable(env));
        settings::RegistryStore registry =
            settings::RegistryStore::AtStandardPlaces(local, folders);
        settings::Mod_API api(local, folders, program, registry);

        const auto total = std::chrono::steady_clock::now();
        BenchWindow window(api, local, old);
        start = std::chrono::steady_clock::now();
        window.Load();
        window.show();
        QCoreApplication::processEvents();
        window.Logic().Form_Activate();
        window.Logic().cmdGetOldDB_Click();
        const double load = Seconds(start);
        window.Logic().cmdOK_Click();
        const double whole = Seconds(total);

        const migration::RunReport& run = window.Logic().LastRun();
        long rows = 0;
        for (const auto& t : run.tables) rows += t.rowsRead;
        std::printf("load (data folder, side databases, target and version checks): %6.2f s\n",
                    load);
        std::printf("transfer (%ld rows)                                         : %6.2f s\n", rows,
                    run.transferSeconds);
        std::printf("tree rebuilds                                                : %6.2f s\n",
                    run.treeSeconds);
        std::printf("playlist recount                                             : %6.2f s\n",
                    run.recountSeconds);
        std::printf("compaction                                                   : %6.2f s\n",
                    run.compactionSeconds);
        std::printf(
            "whole run                                                    : %6.2f s  (goal < 10 "
            "s)\n",
            whole);
        std::printf("titles per second, whole run: %.0f\n", static_cast<double>(titles) / whole);
        if (run.Failed()) {
            std::printf("the run reported failures:\n%s\n", window.Logic().LogText().c_str());
            status = 1;
        }

        const std::string rawTarget = root / "raw.mdb";
        fs::copy_file(root / "Program/sonavoxa.mdb", rawTarget);
        long rawRows = 0;
        const double raw = RawInsertRate(old, rawTarget, rawRows);
        const double transferRate = static_cast<double>(rows) / run.transferSeconds;
        std::printf(
            "transfer rate %.0f rows/s, raw insert rate %.0f rows/s (%ld titles): %.2f of it "
            "(goal >= 0.33)\n",
            transferRate, raw, rawRows, transferRate / raw);
    } catch (const platform::JetError& e) {
        std::fprintf(stderr, "Error %d: %s\n", e.Number(), e.what());
        status = 1;
    }
    fs::remove_all(root);
    return status;
}
