// Faults injected into every part of a run, and runs killed at random moments: the old
// library never changes, every database stays sound, a failure is never reported as success,
// the next start says that the run did not finish, and a new run gives the whole result.
//
// CI runs a bounded sample spread over the whole run. SONAVOXA_SWEEP_TRIALS=0 tries every
// I/O call in turn, SONAVOXA_SWEEP_CRASHES=n kills n runs (scripts/reliability does both).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <random>

#include "DriverProcess.h"
#include "Sweep.h"

namespace reliability {
namespace {

long Setting(const char* name, long fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::atol(value) : fallback;
}

// One prepared machine for a whole suite, with an old library of `titles` titles.
template <long titles>
class SweepSuite : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { sweep = std::make_unique<Sweep>(titles); }
    static void TearDownTestSuite() { sweep.reset(); }

    static inline std::unique_ptr<Sweep> sweep;
};

using FaultSweep = SweepSuite<40>;

struct Figures {
    int trials = 0;
    int reported = 0;             // the run's log named a failure
    int whole = 0;                // the faulty run still gave the whole result
    int compactionLeftovers = 0;  // trials after which a compaction's temporary copy stayed
    std::vector<std::string> broken;

    void Add(const Sweep& sweep, const Sweep::Trial& trial) {
        ++trials;
        reported += ReportsFailure(trial.runLog) ? 1 : 0;
        whole += trial.afterFault.Counts() == sweep.Clean().Counts() ? 1 : 0;
        for (const std::string& leftover : trial.afterRerun.leftovers) {
            if (IsCompactionLeftover(leftover) && !leftover.ends_with("-journal")) {
                ++compactionLeftovers;
            }
        }
        for (std::string& b : sweep.Check(trial)) broken.push_back(std::move(b));
    }
    void Print(const std::string& title) const {
        std::cout << title << ": " << trials << " trials, " << reported
                  << " with a failure in the log, " << whole << " whole despite the fault, "
                  << compactionLeftovers << " with a compaction copy left over, " << broken.size()
                  << " broken properties\n";
        for (const std::string& b : broken) std::cout << "  " << b << "\n";
    }
};

// The clean run is the yardstick: whole, quiet, and it leaves no work files behind.
TEST_F(FaultSweep, CleanRunIsTheYardstick) {
    ASSERT_GT(sweep->CleanCalls(), 50) << "the fault plan saw too few I/O calls";
    EXPECT_EQ(sweep->Clean().facts.at("count db_all"), "40");
    EXPECT_NE(sweep->Clean().facts.at("count TREE_GENRE"), "0");
    EXPECT_TRUE(sweep->Clean().leftovers.empty());
}

// The k-th I/O call fails, for k spread over the whole run: data folder preparation, side
// database checks, the copy, the tree rebuilds, the recount and the compaction.
TEST_F(FaultSweep, AFailedIoCallAnywhereLosesNothing) {
    const long calls = sweep->CleanCalls();
    const long wanted = Setting("SONAVOXA_SWEEP_TRIALS", 20);
    const long trials = wanted <= 0 || wanted > calls ? calls : wanted;
    Figures figures;
    for (long i = 0; i < trials; ++i) {
        const long k = trials == calls ? i + 1 : 1 + i * (calls - 1) / (trials - 1);
        figures.Add(*sweep, sweep->Faulty("any:" + std::to_string(k)));
    }
    figures.Print("I/O failures over " + std::to_string(calls) + " calls");
    EXPECT_GT(figures.reported, 0);
    EXPECT_TRUE(figures.broken.empty());
}

// The first call of each kind fails at least once, and a disk fills up at points over the run.
TEST_F(FaultSweep, EachKindOfFailureAndAFullDiskLoseNothing) {
    const long calls = sweep->CleanCalls();
    std::vector<std::string> faults = {"open:3", "write:5", "sync:2", "truncate:1"};
    for (const long percent : {10, 40, 70, 95})
        faults.push_back("full:" + std::to_string(1 + calls * percent / 100));
    Figures figures;
    for (const std::string& fault : faults) figures.Add(*sweep, sweep->Faulty(fault));
    figures.Print("failures by kind and full disk");
    EXPECT_TRUE(figures.broken.empty());
}

// The real window, killed with SIGKILL at random moments of its run.
TEST_F(FaultSweep, ARunKilledAtAnyMomentLosesNothing) {
    const double span = sweep->CleanWindowSeconds();
    ASSERT_GT(span, 0);
    std::mt19937 random(static_cast<unsigned>(Setting("SONAVOXA_SWEEP_SEED", 20)));
    std::uniform_real_distribution<double> moment(0.0, span);
    const long crashes = Setting("SONAVOXA_SWEEP_CRASHES", 8);
    Figures figures;
    int cutOff = 0;
    for (long i = 0; i < crashes; ++i) {
        const auto after = std::chrono::microseconds(static_cast<long>(moment(random) * 1e6));
        const Sweep::Trial trial = sweep->Killed(after);
        cutOff += trial.crashed ? 1 : 0;
        figures.Add(*sweep, trial);
    }
    figures.Print("runs killed over " + std::to_string(span) + " s (" + std::to_string(cutOff) +
                  " cut off)");
    EXPECT_GT(cutOff, 0);
    EXPECT_TRUE(figures.broken.empty());
}

// A compaction killed half-way leaves its temporary copy, as large as the library, beside the
// compaction's destination; the next compaction removes it, so crashes do not pile them up.
TEST_F(FaultSweep, KilledCompactionLeavesNoCopyBehind) {
    const std::string root = sweep->NewMachine("compaction-leftover");
    ASSERT_EQ(DriverProcess::Run({"run", root, "none"}).code, 0);
    // What a compaction of a process that was killed leaves (no process has this id).
    const std::string data = root + "/data/Sonavoxa/";
    std::filesystem::copy_file(data + "sonavoxa.mdb", data + "temp.mdb.compacting-999999999-1");
    ASSERT_EQ(DriverProcess::Run({"run", root, "none"}).code, 0);
    EXPECT_FALSE(std::filesystem::exists(data + "temp.mdb.compacting-999999999-1"));
}

// A library large enough that the titles' plain indexes are dropped and built again after the
// rows, inside the table's transaction: faults over the run, most of them in that table's
// commit, and kills lose neither rows nor an index.
using LargeTableFaults = SweepSuite<6000>;

TEST_F(LargeTableFaults, FaultsAndKillsAroundTheDeferredIndexesLoseNothing) {
    ASSERT_NE(sweep->Clean().facts.at("indexes sonavoxa.mdb").find("db_all.Interpret"),
              std::string::npos);
    const long calls = sweep->CleanCalls();
    Figures figures;
    for (const long percent : {20, 40, 60})
        figures.Add(*sweep, sweep->Faulty("any:" + std::to_string(1 + calls * percent / 100)));
    figures.Add(*sweep, sweep->Faulty("full:" + std::to_string(1 + calls * 30 / 100)));
    for (const double share : {0.3, 0.5})
        figures.Add(*sweep, sweep->Killed(std::chrono::microseconds(
                                static_cast<long>(share * sweep->CleanWindowSeconds() * 1e6))));
    figures.Print("faults and kills with a large title table");
    EXPECT_TRUE(figures.broken.empty());
}

}  // namespace
}  // namespace reliability
