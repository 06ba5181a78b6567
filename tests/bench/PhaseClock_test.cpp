// The benchmark's phases, as a run announces them through the window.
#include "bench/PhaseClock.h"

#include <gtest/gtest.h>

namespace bench {
namespace {

// A clock the test moves by hand.
struct FakeTime {
    double now = 0;
    PhaseClock Clock() {
        return PhaseClock([this] { return now; },
                          {{"MP3 Dateiinformationen", "db_all"}, {"Playlistnamen", "pl_name"}});
    }
};

std::vector<std::pair<std::string, double>> Flat(const PhaseClock& clock) {
    std::vector<std::pair<std::string, double>> out;
    for (const Phase& p : clock.Phases()) out.emplace_back(p.name, p.seconds);
    return out;
}

// The calls a whole run makes on the window, in its order, with time passing between them.
TEST(PhaseClock, NamesEveryPhaseOfARunFromTheWindowsCalls) {
    FakeTime time;
    PhaseClock clock = time.Clock();
    clock.Begin("transfer");
    time.now = 1;  // counting and emptying the first table come before its line
    clock.OnAppendLog("Übernehme MP3 Dateiinformationen");
    for (int row = 0; row < 5; ++row) clock.OnProgressValue(row);  // rows, not maintenance steps
    time.now = 3;
    clock.OnAppendLog(" 5\r\n");
    time.now = 4;
    clock.OnAppendLog("Übernehme Playlistnamen");
    time.now = 4.5;
    clock.OnAppendLog(" 2\r\n");
    clock.OnAppendLog("Fehler in pl_name: 1 Wert abgelehnt\r\n");  // stays in the next phase
    time.now = 5;
    clock.OnProgressValue(0);
    clock.OnAppendLog("Aktualisiere Datenbank");
    time.now = 5.5;
    for (int step = 1; step <= 5; ++step) {
        clock.OnProgressValue(step);
        time.now += step;
    }
    clock.OnProgressValue(0);
    clock.OnAppendLog("\r\nDatenübername komplett.\r\n");
    time.now += 2;
    clock.Exclude(0.5);  // the benchmark's own copy of the target
    clock.End();

    const std::vector<std::pair<std::string, double>> expected = {
        {"db_all", 3},        {"pl_name", 1.5},    {"close target", 1},
        {"tree: folders", 1}, {"tree: albums", 2}, {"tree: genres", 3},
        {"tree: artists", 4}, {"recount", 5},      {"compaction", 1.5}};
    EXPECT_EQ(Flat(clock), expected);
    EXPECT_TRUE(clock.Current().empty());
}

// Lines that only look like a count, or come outside a run, open no phase.
TEST(PhaseClock, IgnoresLinesThatAreNoCountAndCallsOutsideARun) {
    FakeTime time;
    PhaseClock clock = time.Clock();
    clock.OnAppendLog("Übernehme MP3 Dateiinformationen");
    clock.OnAppendLog(" 5\r\n");
    clock.OnProgressValue(1);
    EXPECT_TRUE(clock.Phases().empty());

    clock.Begin("transfer");
    clock.OnAppendLog(" 5\r\n");  // no table announced yet
    clock.OnAppendLog("Übernehme Unbekannte Tabelle");
    for (const char* notACount : {" \r\n", " 12a\r\n", " 12", "12\r\n"})
        clock.OnAppendLog(notACount);
    clock.OnAppendLog("Datenübername komplett.");  // before the maintenance: not the compaction
    EXPECT_TRUE(clock.Phases().empty());
    EXPECT_EQ(clock.Current(), "transfer");
    time.now = 2;
    clock.OnAppendLog(" 7\r\n");  // an unknown description names the phase itself
    ASSERT_EQ(clock.Phases().size(), 1u);
    EXPECT_EQ(clock.Phases()[0].name, "Unbekannte Tabelle");
    EXPECT_EQ(clock.Phases()[0].seconds, 2);
}

}  // namespace
}  // namespace bench
