// bench_all: the whole tool measured in one run, printed as one table.
//
// For each size (default 25,000, 100,000 and 400,000 titles) make-library writes an engine-file
// library with about 1.5 playlist entries per title; a child process lays out a machine in a
// temporary folder (program folder copied from the build, data folder prepared by the tool),
// runs the real window offscreen through load, old-database choice and a whole run, and times
// every phase from what the window is told. The same child then inserts the same rows with
// plain SQLite and compacts the same target with VACUUM INTO. The real Jet library (100,000
// titles) gets a run of its own, and its tables are read by the engine and by mdb-export.
// A child per library keeps each peak memory figure its own. Each library is run three times
// (--runs), and each figure is the best of its runs: on a shared machine interference only
// ever adds time.
//
//   bench_all [--sizes 25000,100000,400000] [--runs 3] [--jet FILE | --no-jet]
//
// The Jet file defaults to $SONAVOXA_BENCH_JET, then ../shared/fixtures/jet/library-2.5-100k.mdb
// beside the source tree; without it the table has no Jet column and says why.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/RivivuviRUWindow.h"
#include "bench/PhaseClock.h"
#include "bench/PlainSqlite.h"
#include "bench/ResultTable.h"
#include "migration/PlanEntries.h"
#include "migration/RivivuviRU.h"
#include "platform/DBEngine.h"
#include "platform/JetError.h"
#include "platform/Recordset.h"
#include "platform/os/Environment.h"
#include "platform/os/LocalFileSystem.h"
#include "platform/os/ProgramLocation.h"
#include "platform/os/StandardFolders.h"
#include "settings/Mod_API.h"
#include "settings/RegistryStore.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double ResidentMegabytes() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1048576.0;
}

double PeakMegabytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

void Report(const std::string& key, double value) { std::printf("%s\t%.6f\n", key.c_str(), value); }

// ---- the parent's child processes ----

struct ChildOutput {
    int status = -1;
    std::string out;
};

// Runs `args` (found on PATH), with its standard output captured or sent to /dev/null.
ChildOutput Spawn(const std::vector<std::string>& args, bool capture) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int pipeFds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (capture) {
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ChildOutput result;
    if (capture) ::close(pipeFds[1]);
    if (rc != 0) {
        if (capture) ::close(pipeFds[0]);
        std::fprintf(stderr, "cannot start %s\n", args[0].c_str());
        return result;
    }
    if (capture) {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
            result.out.append(buffer, static_cast<size_t>(n));
        ::close(pipeFds[0]);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    return result;
}

// "key<TAB>value" lines of a child of this program.
bench::Measures ParseMeasures(const std::string& out) {
    bench::Measures values;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        values[line.substr(0, tab)] = std::strtod(line.c_str() + tab + 1, nullptr);
    }
    return values;
}

// ---- the child that runs the window ----

class BenchWindow : public app::RivivuviRUWindow {
  public:
    BenchWindow(settings::Mod_API& api, platform::FileSystem& fileSystem, std::string old,
                bench::PhaseClock* clock, std::string beforeCompaction)
        : RivivuviRUWindow(api, fileSystem),
          old_(std::move(old)),
          clock_(clock),
          beforeCompaction_(std::move(beforeCompaction)) {}

    std::optional<std::string> ChooseFile(const migration::FileDialogRequest&) override {
        return old_;
    }
    void ShowMessage(migration::MessageIcon, const std::string& text) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        messages_ = true;
    }
    void AppendLog(const std::string& text) override {
        RivivuviRUWindow::AppendLog(text);
        if (clock_ == nullptr) return;
        clock_->OnAppendLog(text);
        if (text.starts_with("Übernehme MP3")) titleCopy_ = true;
        if (text.starts_with(" ")) titleCopy_ = false;
        if (clock_->Current() == "compaction" && !copied_) KeepTargetBeforeCompaction();
    }
    void SetProgressMaximum(int maximum) override {
        RivivuviRUWindow::SetProgressMaximum(maximum);
        maximum_ = maximum;
    }
    void SetProgressValue(int value) override {
        RivivuviRUWindow::SetProgressValue(value);
        if (clock_ == nullptr) return;
        clock_->OnProgressValue(value);
        if (!titleCopy_ || maximum_ < 10) return;
        if (value == maximum_ / 10) rss10_ = ResidentMegabytes();
        if (value == maximum_ / 2) rss50_ = ResidentMegabytes();
        if (value == maximum_ - 1) rss100_ = ResidentMegabytes();
    }

    bool messages_ = false;
    double rss10_ = 0, rss50_ = 0, rss100_ = 0;

  private:
    // The target as the compaction finds it, for VACUUM INTO to compact the same file; the
    // copying is not the run's time.
    void KeepTargetBeforeCompaction() {
        copied_ = true;
        const auto start = Clock::now();
        const std::string target = Logic().TargetDatabasePath();
        fs::copy_file(target, beforeCompaction_);
        if (fs::exists(target + "-wal")) fs::copy_file(target + "-wal", beforeCompaction_ + "-wal");
        clock_->Exclude(SecondsSince(start));
    }

    std::string old_;
    bench::PhaseClock* clock_;
    std::string beforeCompaction_;
    bool copied_ = false;
    bool titleCopy_ = false;
    int maximum_ = 0;
};

int RunChild(const std::string& library, char* argv0) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char* qtArgv[] = {argv0, nullptr};
    QApplication application(qtArgc, qtArgv);

    const fs::path root = fs::temp_directory_path() / ("bench-all-" + std::to_string(::getpid()));
    fs::create_directories(root / "etc/sonavoxa");
    fs::create_directories(root / "data");
    fs::copy(SONAVOXA_PROGRAM_DIR, root / "Program", fs::copy_options::recursive);
    if (std::FILE* f = std::fopen((root / "etc/sonavoxa/registry.ini").c_str(), "w")) {
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
        platform::LocalFileSystem local;
        platform::StandardFolders folders(platform::Environment::FromTable(env));
        platform::ProgramLocation program(platform::Environment::FromTable(env));
        settings::RegistryStore registry =
            settings::RegistryStore::AtStandardPlaces(local, folders);
        settings::Mod_API api(local, folders, program, registry);

        migration::RivivuviRU plan;
        migration::RegisterPlanEntries(plan);
        std::map<std::string, std::string> tables;
        for (const auto& entry : plan.GetMigTables())
            tables[entry->Beschreibung] = entry->TableName;
        const Clock::time_point epoch = Clock::now();
        bench::PhaseClock clock([epoch] { return SecondsSince(epoch); }, tables);

        {
            // The first start prepares the data folder and builds the side databases.
            const auto start = Clock::now();
            BenchWindow first(api, local, library, nullptr, "");
            first.Load();
            first.show();
            QCoreApplication::processEvents();
            first.Logic().Form_Activate();
            Report("window load, first start", SecondsSince(start));
        }
        const std::string kept = root / "before-compaction.mdb";
        auto start = Clock::now();
        BenchWindow window(api, local, library, &clock, kept);
        window.Load();
        window.show();
        QCoreApplication::processEvents();
        window.Logic().Form_Activate();
        Report("window load", SecondsSince(start));

        start = Clock::now();
        window.Logic().cmdGetOldDB_Click();
        Report("old-database choice", SecondsSince(start));
        if (window.Logic().MigPlan().OldDBName() != library || !window.Logic().TargetFound())
            throw std::runtime_error("the window did not accept " + library);

        clock.Begin("transfer");
        window.Logic().cmdOK_Click();
        clock.End();
        Report("peak MB", PeakMegabytes());
        for (const bench::Phase& phase : clock.Phases()) Report(phase.name, phase.seconds);
        const migration::RunReport& run = window.Logic().LastRun();
        long rows = 0;
        for (const auto& t : run.tables) {
            rows += t.rowsRead;
            if (t.tableName == "db_all") Report("titles read", static_cast<double>(t.rowsRead));
        }
        Report("rows", static_cast<double>(rows));
        if (window.rss10_ > 0) {
            Report("rss 10%", window.rss10_);
            Report("rss 50%", window.rss50_);
            Report("rss 100%", window.rss100_);
        }
        if (run.Failed() || window.messages_) {
            std::fprintf(stderr, "the run reported failures:\n%s\n",
                         window.Logic().LogText().c_str());
            status = 1;
        }
        std::fflush(stdout);

        const bench::InsertTiming limit =
            bench::TimeInserts(kept, (root / "Program/sonavoxa.mdb").string(), root / "limit.mdb",
                               bench::TablePhases());
        Report("limit insert", limit.seconds);
        Report("limit rows", static_cast<double>(limit.rows));
        Report("vacuum into", bench::TimeVacuumInto(kept, root / "vacuum.mdb"));
    } catch (const platform::JetError& e) {
        std::fprintf(stderr, "Error %d: %s\n", e.Number(), e.what());
        status = 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        status = 1;
    }
    if (std::getenv("BENCH_KEEP") != nullptr)
        std::fprintf(stderr, "files kept in %s\n", root.c_str());
    else
        fs::remove_all(root);
    return status;
}

// ---- the child that reads a Jet file with the engine ----

int ReadChild(const std::string& file, const std::vector<std::string>& tables) {
    try {
        const auto start = Clock::now();
        long rows = 0, values = 0;
        platform::Database db = platform::DBEngine::Instance().OpenDatabase(file, false, true);
        for (const std::string& table : tables) {
            platform::Recordset rs = db.OpenRecordset(table);
            std::vector<platform::Field*> fields;
            for (platform::Field& f : rs.Fields()) fields.push_back(&f);
            for (; !rs.Eof(); rs.MoveNext()) {
                for (platform::Field* f : fields) values += f->Value().IsNull() ? 0 : 1;
                ++rows;
            }
        }
        db.Close();
        Report("engine read", SecondsSince(start));
        Report("engine rows", static_cast<double>(rows));
        Report("engine values", static_cast<double>(values));
    } catch (const platform::JetError& e) {
        std::fprintf(stderr, "Error %d: %s\n", e.Number(), e.what());
        return 1;
    }
    return 0;
}

// ---- the parent ----

std::string DefaultJetFile() {
    if (const char* env = std::getenv("SONAVOXA_BENCH_JET"); env && *env) return env;
    const fs::path source = SONAVOXA_SOURCE_DIR;
    // Beside the repository, or beside the folder of worktrees it sits in.
    for (const fs::path& shared :
         {source.parent_path() / "shared", source.parent_path().parent_path() / "shared"}) {
        const fs::path file = shared / "fixtures/jet/library-2.5-100k.mdb";
        if (fs::exists(file)) return file.string();
    }
    return (source.parent_path() / "shared/fixtures/jet/library-2.5-100k.mdb").string();
}

std::string Title(long titles) {
    if (titles % 1000 == 0) return std::to_string(titles / 1000) + "k";
    return std::to_string(titles);
}

// Before anything is timed: the kernel writes files back up to 30 s after they were written,
// so the library just written and the files of the run before would otherwise reach the disk
// during the next timing, most heavily at the largest size.
void FlushEarlierWrites() { ::sync(); }

// `runs` whole runs, each in a fresh child and folder; the best figure of each measure is kept.
bool RunLibrary(const std::string& self, const std::string& library, int runs,
                bench::Measures& values) {
    values.clear();
    for (int i = 0; i < runs; ++i) {
        FlushEarlierWrites();
        const ChildOutput run = Spawn({self, "--run-child", library}, true);
        if (run.status != 0) {
            std::fprintf(stderr, "the run on %s failed\n", library.c_str());
            return false;
        }
        bench::ResultTable::KeepBest(values, ParseMeasures(run.out));
    }
    return true;
}

int Parent(const std::string& self, const std::vector<long>& sizes, const std::string& jet,
           int runs) {
    const fs::path root =
        fs::temp_directory_path() / ("bench-libraries-" + std::to_string(::getpid()));
    fs::create_directories(root);
    bench::ResultTable table;
    std::vector<std::string> notes;
    bool sound = true;

    for (const long size : sizes) {
        const std::string library = root / ("library-" + std::to_string(size) + ".mdb");
        std::fprintf(stderr, "writing a library of %ld titles ...\n", size);
        const ChildOutput made =
            Spawn({SONAVOXA_MAKE_LIBRARY, library, "--titles", std::to_string(size), "--entries",
                   std::to_string(size * 3 / 2)},
                  false);
        if (made.status != 0) {
            notes.push_back("make-library failed for " + std::to_string(size) + " titles");
            sound = false;
            continue;
        }
        std::fprintf(stderr, "running %ld titles ...\n", size);
        bench::Column column{Title(size), size, true, {}};
        sound = RunLibrary(self, library, runs, column.values) && sound;
        bench::ResultTable::Derive(column.values, size);
        table.Add(column);
        fs::remove(library);
    }

    if (jet.empty()) {
        notes.push_back("no Jet column: --no-jet");
    } else if (!fs::exists(jet)) {
        notes.push_back("no Jet column: " + jet + " is absent (--jet FILE or SONAVOXA_BENCH_JET)");
    } else {
        std::fprintf(stderr, "running the Jet file ...\n");
        bench::Column column{"Jet", 0, false, {}};
        sound = RunLibrary(self, jet, runs, column.values) && sound;
        column.titles = static_cast<long>(column.values["titles read"]);
        column.title = "Jet " + Title(column.titles);

        std::vector<std::string> tables;
        const ChildOutput listed = Spawn({"mdb-tables", "-1", jet}, true);
        std::istringstream names(listed.out);
        for (std::string name; std::getline(names, name);)
            if (!name.empty()) tables.push_back(name);
        if (listed.status != 0 || tables.empty()) {
            notes.push_back("mdb-tables could not list " + jet + "; no read comparison");
        } else {
            // Taken in turns, so that both sides meet the same moments of the machine.
            std::vector<std::string> args = {self, "--read-child", jet};
            args.insert(args.end(), tables.begin(), tables.end());
            bench::Measures r;
            bool readFine = true;
            for (int i = 0; i < runs && readFine; ++i) {
                FlushEarlierWrites();
                const auto start = Clock::now();
                bool exported = true;
                for (const std::string& t : tables)
                    exported = Spawn({"mdb-export", jet, t}, false).status == 0 && exported;
                if (exported)
                    bench::ResultTable::KeepBest(column.values,
                                                 {{"mdb-export", SecondsSince(start)}});
                FlushEarlierWrites();
                const ChildOutput read = Spawn(args, true);
                r = ParseMeasures(read.out);
                if (read.status == 0 && r.count("engine read"))
                    bench::ResultTable::KeepBest(column.values,
                                                 {{"engine read", r.at("engine read")}});
                else
                    readFine = false;
            }
            sound = readFine && sound;
            notes.push_back("Jet tables read: " + std::to_string(tables.size()) + ", " +
                            std::to_string(static_cast<long>(
                                r.count("engine rows") ? r.at("engine rows") : 0)) +
                            " rows");
        }
        bench::ResultTable::Derive(column.values, column.titles);
        table.Add(column);
    }
    fs::remove_all(root);

    table.Print(stdout);
    for (const std::string& note : notes) std::printf("%s\n", note.c_str());
    return sound ? 0 : 1;
}

std::vector<long> ParseSizes(const std::string& text) {
    std::vector<long> sizes;
    std::istringstream parts(text);
    for (std::string part; std::getline(parts, part, ',');) {
        char* end = nullptr;
        const long n = std::strtol(part.c_str(), &end, 10);
        if (part.empty() || *end != '\0' || n <= 0) throw std::invalid_argument(part);
        sizes.push_back(n);
    }
    return sizes;
}

constexpr const char* kUsage =
    "usage: bench_all [--sizes N,N,...] [--runs N] [--jet FILE | --no-jet]\n";

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "--run-child") return RunChild(args[1], argv[0]);
    if (args.size() >= 2 && args[0] == "--read-child")
        return ReadChild(args[1], std::vector<std::string>(args.begin() + 2, args.end()));

    std::vector<long> sizes = {25000, 100000, 400000};
    std::string jet = DefaultJetFile();
    int runs = 3;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--sizes" && i + 1 < args.size()) {
            try {
                sizes = ParseSizes(args[++i]);
            } catch (const std::invalid_argument&) {
                std::fprintf(stderr,
                             "bench_all: --sizes needs whole numbers above 0, comma-separated\n");
                return 2;
            }
        } else if (args[i] == "--runs" && i + 1 < args.size()) {
            const std::string& n = args[++i];
            runs = (n.size() == 1 && n[0] >= '1' && n[0] <= '9') ? n[0] - '0' : 0;
            if (runs == 0) {
                std::fprintf(stderr, "bench_all: --runs needs a number from 1 to 9\n");
                return 2;
            }
        } else if (args[i] == "--jet" && i + 1 < args.size()) {
            jet = args[++i];
        } else if (args[i] == "--no-jet") {
            jet.clear();
        } else {
            std::fputs(kUsage, args[i] == "--help" ? stdout : stderr);
            return args[i] == "--help" ? 0 : 2;
        }
    }
    return Parent(fs::read_symlink("/proc/self/exe").string(), sizes, jet, runs);
}
