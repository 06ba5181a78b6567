#include "Sweep.h"

#include <filesystem>

#include "DriverProcess.h"

namespace reliability {
namespace {

namespace fs = std::filesystem;

const char* const kDatabases[] = {"sonavoxa.mdb", "sonavoxa.temp.mdb", "sonavoxa.tree.mdb"};

std::string Out(const std::string& root, const char* file) {
    return ReadText(root + "/out/" + file);
}

}  // namespace

bool ReportsFailure(const std::string& log) {
    return log.find("Fehler") != std::string::npos || log.find("kann nicht") != std::string::npos ||
           log.find("Keine Sonavoxa Datenbank") != std::string::npos;
}

bool SaysUnfinished(const std::string& log) {
    return log.find("Die letzte Datenübernahme wurde nicht beendet.") != std::string::npos;
}

Sweep::Sweep(long titles) : template_(folder_ / "machine") {
    DriverProcess::Run({"prepare", template_, std::to_string(titles)});
    oldBytes_ = ReadText(OldLibrary(template_));
    const Trial clean = Faulty("none");
    cleanCalls_ = clean.calls;
    clean_ = clean.afterFault;
    // The shortest of a few clean runs of the window, so that most kills land inside a run
    // even on a machine whose load changes.
    for (int i = 0; i < 3; ++i) {
        const double seconds = DriverProcess::Run({"window", NewMachine("clean-window")}).seconds;
        if (i == 0 || seconds < cleanWindowSeconds_) cleanWindowSeconds_ = seconds;
    }
}

std::string Sweep::NewMachine(const std::string& name) {
    const std::string root = folder_ / ("trial-" + std::to_string(++trials_) + "-" + name);
    fs::copy(template_, root, fs::copy_options::recursive);
    return root;
}

Sweep::Trial Sweep::Faulty(const std::string& fault) {
    Trial trial;
    trial.name = fault;
    trial.root = NewMachine(fault.substr(0, fault.find(':')));
    const DriverExit run = DriverProcess::Run({"run", trial.root, fault});
    trial.driverFailed = !run.exited || run.code != 0;
    trial.runLog = ReadRunLog(trial.root);
    const std::string facts = Out(trial.root, kRunFacts);
    (void)std::sscanf(facts.c_str(), "calls %ld\nfailed %ld", &trial.calls, &trial.failedCall);
    return Finish(std::move(trial));
}

Sweep::Trial Sweep::Killed(std::chrono::microseconds after) {
    Trial trial;
    trial.name = "kill after " + std::to_string(after.count() / 1000) + " ms";
    trial.root = NewMachine("kill");
    const DriverExit run = DriverProcess::KillAfter({"window", trial.root}, after);
    trial.crashed = !run.exited;
    trial.driverFailed = run.exited && run.code != 0;
    trial.runLog = ReadRunLog(trial.root);
    return Finish(std::move(trial));
}

Sweep::Trial Sweep::Finish(Trial trial) {
    trial.runFailed = ReportsFailure(Out(trial.root, kRunLog));
    trial.markerLeft = fs::exists(trial.root + "/data/Sonavoxa/~migration.run");
    trial.oldUnchanged = ReadText(OldLibrary(trial.root)) == oldBytes_;
    const DriverExit next = DriverProcess::Run({"restart", trial.root});
    trial.driverFailed = trial.driverFailed || !next.exited || next.code != 0;
    trial.afterFault = Inspection::Read(trial.root + "/out/" + kInspectAfterFault);
    trial.startLog = Out(trial.root, kStartLog);
    trial.rerunLog = Out(trial.root, kRerunLog);
    trial.afterRerun = Inspection::Read(trial.root + "/out/" + kInspectAfterRerun);
    return trial;
}

std::vector<std::string> Sweep::Check(const Trial& trial) const {
    std::vector<std::string> broken;
    const auto fail = [&](const std::string& what) { broken.push_back(trial.name + ": " + what); };
    if (trial.driverFailed) fail("the tool ended abnormally");
    if (!trial.oldUnchanged) fail("the old library changed");
    for (const char* db : kDatabases) {
        const std::string integrity =
            trial.afterFault.facts.count(std::string("integrity ") + db)
                ? trial.afterFault.facts.at(std::string("integrity ") + db)
                : "?";
        if (integrity != "ok" && integrity != "missing")
            fail(std::string(db) + " after the fault: " + integrity);
        const auto engine = trial.afterFault.facts.find(std::string("engine ") + db);
        if (integrity == "ok" && (engine == trial.afterFault.facts.end() || engine->second != "ok"))
            fail(std::string(db) + " does not open in the engine after the fault");
        if (trial.afterRerun.facts.count(std::string("integrity ") + db) == 0 ||
            trial.afterRerun.facts.at(std::string("integrity ") + db) != "ok")
            fail(std::string(db) + " after the next run is not sound");
    }
    for (const Inspection* after : {&trial.afterFault, &trial.afterRerun}) {
        const auto indexes = after->facts.find("indexes sonavoxa.mdb");
        if (indexes != after->facts.end() && indexes->second != clean_.facts.at(indexes->first))
            fail(std::string("the target's indexes ") +
                 (after == &trial.afterFault ? "after the fault" : "after the next run") +
                 " differ: " + indexes->second);
    }
    const bool whole = trial.afterFault.Counts() == clean_.Counts();
    const bool started = trial.runLog.find("Übernehme") != std::string::npos;
    if (!trial.crashed) {
        if (!whole && !ReportsFailure(trial.runLog))
            fail("data is missing (" + trial.afterFault.Counts() +
                 ") but the log reads as success");
        if (started && trial.runFailed && !SaysUnfinished(trial.startLog))
            fail("the run failed but the next start does not say so");
    } else if (trial.markerLeft && !SaysUnfinished(trial.startLog)) {
        fail("the run was cut off but the next start does not say so");
    }
    if (trial.afterRerun.Counts() != clean_.Counts())
        fail("the next run is not whole: " + trial.afterRerun.Counts());
    if (ReportsFailure(trial.rerunLog)) fail("the next run reports failures: " + trial.rerunLog);
    if (SaysUnfinished(trial.rerunLog)) fail("the next run still reads as unfinished");
    for (const std::string& leftover : trial.afterRerun.leftovers)
        fail("left over after the next run: " + leftover);
    return broken;
}

}  // namespace reliability
