// A data folder the tool may not write, a target database another process holds, a side
// database that is a folder: each is named in the log or a message, the tool does not crash,
// nothing is lost, and once the cause is gone a new run gives the whole result.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "DriverProcess.h"
#include "Sweep.h"
#include "support/OtherProcess.h"

namespace reliability {
namespace {

namespace fs = std::filesystem;

class EnvironmentFaults : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { sweep = std::make_unique<Sweep>(40); }
    static void TearDownTestSuite() { sweep.reset(); }

    // A machine after one whole run: the target holds the library.
    static Sweep::Trial MigratedMachine(const std::string& name) {
        Sweep::Trial trial;
        trial.name = name;
        std::string folder = name;
        std::replace(folder.begin(), folder.end(), ' ', '-');
        trial.root = sweep->NewMachine(folder);
        const DriverExit first = DriverProcess::Run({"run", trial.root, "none"});
        EXPECT_TRUE(first.exited && first.code == 0);
        return trial;
    }
    // The run under the fault: the tool must end normally; its log goes into the trial.
    static void RunAgain(Sweep::Trial& trial, int user = -1) {
        const DriverExit run =
            DriverProcess::Run({"run", trial.root, "none"}, std::chrono::minutes(3), user);
        EXPECT_TRUE(run.exited && run.code == 0) << "the tool did not end normally";
        trial.runLog = ReadRunLog(trial.root);
    }
    static std::string Data(const std::string& root) { return root + "/data/Sonavoxa"; }

    static void ExpectSound(const Sweep::Trial& trial) {
        for (const std::string& broken : sweep->Check(trial)) ADD_FAILURE() << broken;
    }

    static std::unique_ptr<Sweep> sweep;
};

std::unique_ptr<Sweep> EnvironmentFaults::sweep;

TEST_F(EnvironmentFaults, ReadOnlyDataFolderIsReportedAndLosesNothing) {
    Sweep::Trial trial = MigratedMachine("read-only data folder");
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
    RunAgain(trial, user);
    EXPECT_TRUE(ReportsFailure(trial.runLog)) << trial.runLog;
    // Nothing could be written, so the library from the first run is still whole.
    EXPECT_EQ(ReadText(Data(trial.root) + "/sonavoxa.mdb"), targetBefore);
    fs::permissions(Data(trial.root), fs::perms::owner_all, fs::perm_options::add);
    ExpectSound(sweep->Finish(trial));
}

TEST_F(EnvironmentFaults, TargetHeldByAnotherProcessIsReportedAndLosesNothing) {
    Sweep::Trial trial = MigratedMachine("target held by another process");
    const std::string target = Data(trial.root) + "/sonavoxa.mdb";
    {
        // Another program that has begun writing and does not let go.
        testing_support::OtherProcess holder(target);
        EXPECT_EQ(holder.Run("BEGIN EXCLUSIVE; DELETE FROM pl_group"), "");
        RunAgain(trial);
    }
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
    Sweep::Trial trial = MigratedMachine("target being written by another process");
    const std::string target = Data(trial.root) + "/sonavoxa.mdb";
    testing_support::OtherProcess writer(target);
    ASSERT_EQ(writer.Run("BEGIN IMMEDIATE; DELETE FROM pl_group"), "");
    RunAgain(trial);
    EXPECT_EQ(writer.Run("COMMIT"), "") << "the writer could not commit";
    EXPECT_NE(trial.runLog.find("erster Fehler 3260: "), std::string::npos) << trial.runLog;
    EXPECT_NE(trial.runLog.find("Fehler in Komprimieren: abgebrochen; die Zieldatenbank konnte "
                                "nicht beschrieben werden"),
              std::string::npos)
        << trial.runLog;
    // A fresh connection opens what now carries the target's name.
    EXPECT_EQ(testing_support::OtherProcess(target).Run("SELECT count(*) FROM pl_group"), "0")
        << "the writer's commit did not reach the target";
    ExpectSound(sweep->Finish(trial));
}

TEST_F(EnvironmentFaults, SideDatabaseThatIsAFolderIsReportedAndItsContentsKept) {
    Sweep::Trial trial = MigratedMachine("side database is a folder");
    const std::string side = Data(trial.root) + "/sonavoxa.tree.mdb";
    fs::remove(side);
    fs::create_directory(side);
    std::ofstream(side + "/keep.txt") << "someone's file";
    RunAgain(trial);
    EXPECT_NE(trial.runLog.find("sonavoxa.tree.mdb"), std::string::npos) << trial.runLog;
    EXPECT_TRUE(ReportsFailure(trial.runLog)) << trial.runLog;
    EXPECT_EQ(ReadText(side + "/keep.txt"), "someone's file");
    // Whole again once the folder has gone.
    fs::remove_all(side);
    ExpectSound(sweep->Finish(trial));
}

}  // namespace
}  // namespace reliability
