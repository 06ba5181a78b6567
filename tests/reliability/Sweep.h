// Sweep: one trial of the fault or crash sweeps and the properties checked after it.
//
// A prepared machine (program folder, settings, an old library from make-library's generator)
// is copied for every trial. A trial starts the driver once with a fault (or kills it), then
// once more as the next start of the tool, which migrates anew. Check() lists every property
// the trial broke, in words, so a sweep can count them and print them together.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "reliability/driver/RunFiles.h"
#include "support/TempFolder.h"

namespace reliability {

class Sweep {
  public:
    // Lays out the machine and measures a clean run: its I/O calls and its result.
    explicit Sweep(long titles);

    struct Trial {
        std::string name;
        std::string root;
        bool crashed = false;     // killed rather than failed
        bool markerLeft = false;  // the run's marker was there when the next start came
        long calls = 0;
        long failedCall = 0;
        bool runFailed = false;  // the run itself (not the start before it) named a failure
        std::string runLog;      // the faulty start's log and the run's, as the user saw them
        Inspection afterFault;
        std::string startLog;
        std::string rerunLog;
        Inspection afterRerun;
        bool oldUnchanged = false;
        bool driverFailed = false;
    };

    // A run with `fault` (FaultPlan's syntax), then the next start.
    Trial Faulty(const std::string& fault);
    // A run of the real window killed after `after`, then the next start.
    Trial Killed(std::chrono::microseconds after);

    // The properties `trial` broke; empty when it kept them all.
    std::vector<std::string> Check(const Trial& trial) const;

    long CleanCalls() const { return cleanCalls_; }
    double CleanWindowSeconds() const { return cleanWindowSeconds_; }
    const Inspection& Clean() const { return clean_; }
    const std::string& Folder() const { return folder_.Path(); }
    // A fresh copy of the prepared machine.
    std::string NewMachine(const std::string& name);
    // The next start and the inspection, for a machine a test has changed itself.
    Trial Finish(Trial trial);

  private:
    testing_support::TempFolder folder_;
    std::string template_;
    std::string oldBytes_;
    long cleanCalls_ = 0;
    double cleanWindowSeconds_ = 0;
    Inspection clean_;
    int trials_ = 0;
};

// The log says that something failed (a failure line, a message, a missing target).
bool ReportsFailure(const std::string& log);
bool SaysUnfinished(const std::string& log);

}  // namespace reliability
