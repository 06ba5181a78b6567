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
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        // Another program that has begun writing and does not let go.
        sqlite3* db = nullptr;
        if (sqlite3_open(target.c_str(), &db) != SQLITE_OK ||
            sqlite3_exec(db, "BEGIN EXCLUSIVE; DELETE FROM pl_group", nullptr, nullptr, nullptr) !=
                SQLITE_OK) {
            ::_exit(1);
        }
        (void)!::write(ready[1], "x", 1);
        ::pause();
        ::_exit(0);
    }
    char signal = 0;
    ASSERT_EQ(::read(ready[0], &signal, 1), 1) << "the holding process could not lock the target";
    const DriverExit run = DriverProcess::Run({"run", trial.root, "none"});
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(run.exited && run.code == 0) << "the tool did not end normally";
    trial.runLog = ReadRunLog(trial.root);
    EXPECT_TRUE(ReportsFailure(trial.runLog)) << trial.runLog;
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
