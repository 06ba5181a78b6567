// A data folder the tool may not write, a target database another process holds, a side
// database that is a folder: each is named in the log or a message, the tool does not crash,
// nothing is lost, and once the cause is gone a new run gives the whole result.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "DriverProcess.h"
#include "Sweep.h"

namespace reliability {
namespace {

namespace fs = std::filesystem;

class EnvironmentFaults : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { sweep = std::make_unique<Sweep>(40); }
    static void TearDownTestSuite() { sweep.reset(); }

    // A machine after one whole run: the target holds the library.
    static std::string MigratedMachine(const std::string& name) {
        const std::string root = sweep->NewMachine(name);
        const DriverExit first = DriverProcess::Run({"run", root, "none"});
        EXPECT_TRUE(first.exited && first.code == 0);
        return root;
    }
    static std::string Data(const std::string& root) { return root + "/data/Sonavoxa"; }

    static void ExpectSound(const Sweep::Trial& trial) {
        for (const std::string& broken : sweep->Check(trial)) ADD_FAILURE() << broken;
    }

    static std::unique_ptr<Sweep> sweep;
};

std::unique_ptr<Sweep> EnvironmentFaults::sweep;

// Another program that has begun writing the target (`begin` opens its transaction, then it
// empties pl_group) and waits until it is told to commit or is killed.
class OtherWriter {
  public:
    OtherWriter(const std::string& target, const std::string& begin) {
        if (::pipe(ready_) != 0 || ::pipe(go_) != 0) return;
        pid_ = ::fork();
        if (pid_ != 0) return;
        sqlite3* db = nullptr;
        if (sqlite3_open(target.c_str(), &db) != SQLITE_OK ||
            sqlite3_exec(db, (begin + "; DELETE FROM pl_group").c_str(), nullptr, nullptr,
                         nullptr) != SQLITE_OK) {
            ::_exit(1);
        }
        (void)!::write(ready_[1], "x", 1);
        char c = 0;
        (void)!::read(go_[0], &c, 1);
        ::_exit(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK ? 0 : 2);
    }
    ~OtherWriter() {
        if (pid_ > 0) End(true);
    }
    bool Ready() {
        char c = 0;
        return pid_ > 0 && ::read(ready_[0], &c, 1) == 1;
    }
    // Kills it, or lets it commit; true when it ended having committed.
    bool End(bool kill) {
        if (kill) ::kill(pid_, SIGKILL);
        (void)!::write(go_[1], "x", 1);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        for (const int fd : {ready_[0], ready_[1], go_[0], go_[1]}) ::close(fd);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

  private:
    int ready_[2] = {-1, -1};
    int go_[2] = {-1, -1};
    pid_t pid_ = -1;
};

TEST_F(EnvironmentFaults, ReadOnlyDataFolderIsReportedAndLosesNothing) {
    Sweep::Trial trial;
    trial.name = "read-only data folder";
    trial.root = MigratedMachine("read-only");
    // Root writes anywhere: the run goes to an unprivileged user, whose folder it then is.
    const int user = ::geteuid() == 0 ? 65534 : -1;
    if (user >= 0) {
        fs::permissions(sweep->Folder(),
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        ASSERT_EQ(::chown(trial.root.c_str(), 65534, 65534), 0);
        for (const auto& entry : fs::recursive_directory_iterator(trial.root))
            ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0) << entry.path();
    }
    const std::string targetBefore = ReadText(Data(trial.root) + "/sonavoxa.mdb");
    fs::permissions(Data(trial.root), fs::perms::owner_read | fs::perms::owner_exec |
                                          fs::perms::group_read | fs::perms::group_exec |
                                          fs::perms::others_read | fs::perms::others_exec);
    const DriverExit run =
        DriverProcess::Run({"run", trial.root, "none"}, std::chrono::minutes(3), user);
    EXPECT_TRUE(run.exited && run.code == 0) << "the tool did not end normally";
    trial.runLog = ReadRunLog(trial.root);
    EXPECT_TRUE(ReportsFailure(trial.runLog)) << trial.runLog;
    // Nothing could be written, so the library from the first run is still whole.
    EXPECT_EQ(ReadText(Data(trial.root) + "/sonavoxa.mdb"), targetBefore);
    fs::permissions(Data(trial.root), fs::perms::owner_all, fs::perm_options::add);
    ExpectSound(sweep->Finish(trial));
}

TEST_F(EnvironmentFaults, TargetHeldByAnotherProcessIsReportedAndLosesNothing) {
    Sweep::Trial trial;
    trial.name = "target held by another process";
    trial.root = MigratedMachine("held");
    const std::string target = Data(trial.root) + "/sonavoxa.mdb";
    OtherWriter holder(target, "BEGIN EXCLUSIVE");
    ASSERT_TRUE(holder.Ready()) << "the holding process could not lock the target";
    const DriverExit run = DriverProcess::Run({"run", trial.root, "none"});
    holder.End(true);
    EXPECT_TRUE(run.exited && run.code == 0) << "the tool did not end normally";
    trial.runLog = ReadRunLog(trial.root);
    // Said as it is: the database is there, another program holds it.
    EXPECT_NE(trial.runLog.find("Die Sonavoxa Datenbank " + target +
                                " wird von einem anderen Programm benutzt."),
              std::string::npos)
        << trial.runLog;
    EXPECT_EQ(trial.runLog.find("Keine Sonavoxa Datenbank"), std::string::npos) << trial.runLog;
    ExpectSound(sweep->Finish(trial));
}

// Another program in the middle of writing the target: the copy is refused table by table, and
// the target is not replaced by a compacted copy under it, so what it commits afterwards lands
// in the target rather than in a file that no longer has a name.
TEST_F(EnvironmentFaults, TargetBeingWrittenByAnotherProcessIsNotReplacedUnderIt) {
    Sweep::Trial trial;
    trial.name = "target being written by another process";
    trial.root = MigratedMachine("writer");
    const std::string target = Data(trial.root) + "/sonavoxa.mdb";
    OtherWriter writer(target, "BEGIN IMMEDIATE");
    ASSERT_TRUE(writer.Ready()) << "the writing process could not begin";
    const DriverExit run = DriverProcess::Run({"run", trial.root, "none"});
    EXPECT_TRUE(writer.End(false)) << "the writer could not commit";
    EXPECT_TRUE(run.exited && run.code == 0) << "the tool did not end normally";
    trial.runLog = ReadRunLog(trial.root);
    EXPECT_NE(trial.runLog.find("erster Fehler 3260: "), std::string::npos) << trial.runLog;
    EXPECT_NE(trial.runLog.find("Fehler in Komprimieren: abgebrochen; die Zieldatenbank konnte "
                                "nicht beschrieben werden"),
              std::string::npos)
        << trial.runLog;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(target.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* count = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM pl_group", -1, &count, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(count, 0), 0) << "the writer's commit did not reach the target";
    sqlite3_finalize(count);
    sqlite3_close_v2(db);
    ExpectSound(sweep->Finish(trial));
}

TEST_F(EnvironmentFaults, SideDatabaseThatIsAFolderIsReportedAndItsContentsKept) {
    Sweep::Trial trial;
    trial.name = "side database is a folder";
    trial.root = MigratedMachine("folder");
    const std::string side = Data(trial.root) + "/sonavoxa.tree.mdb";
    fs::remove(side);
    fs::create_directory(side);
    std::ofstream(side + "/keep.txt") << "someone's file";
    const DriverExit run = DriverProcess::Run({"run", trial.root, "none"});
    EXPECT_TRUE(run.exited && run.code == 0) << "the tool did not end normally";
    trial.runLog = ReadRunLog(trial.root);
    EXPECT_NE(trial.runLog.find("sonavoxa.tree.mdb"), std::string::npos) << trial.runLog;
    EXPECT_TRUE(ReportsFailure(trial.runLog)) << trial.runLog;
    EXPECT_EQ(ReadText(side + "/keep.txt"), "someone's file");
    // Whole again once the folder has gone.
    fs::remove_all(side);
    ExpectSound(sweep->Finish(trial));
}

}  // namespace
}  // namespace reliability
