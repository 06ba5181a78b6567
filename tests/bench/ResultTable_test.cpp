// The benchmark table: sums, ratios, growth and the goals' verdicts.
#include "bench/ResultTable.h"

#include <gtest/gtest.h>

namespace bench {
namespace {

// A library whose every phase took `seconds`, with limits that the goals accept.
Measures EvenRun(double seconds) {
    Measures m;
    for (const std::string& p : RunPhases()) m[p] = seconds;
    m["limit insert"] = 7 * seconds;  // as long as the transfer: rate share 1
    m["vacuum into"] = seconds;
    m["peak MB"] = 100;
    m["rss 10%"] = 50;
    m["rss 100%"] = 52;
    return m;
}

// The table's rows for these columns, their measures derived first.
std::vector<TableRow> Judge(std::vector<Column> columns) {
    ResultTable table;
    for (Column& c : columns) {
        ResultTable::Derive(c.values, c.titles);
        table.Add(c);
    }
    return table.Rows();
}

// The engine files of 100,000 and 400,000 titles.
std::vector<TableRow> Judge(const Measures& at100k, const Measures& at400k) {
    return Judge({{"100k", 100000, true, at100k}, {"400k", 400000, true, at400k}});
}

const TableRow& Find(const std::vector<TableRow>& rows, const std::string& label) {
    for (const TableRow& r : rows)
        if (r.label == label) return r;
    ADD_FAILURE() << "no row " << label;
    static const TableRow none;
    return none;
}

TEST(ResultTable, KeepsTheShortestTimeAndTheLargestMemoryOfSeveralRuns) {
    Measures best;
    ResultTable::KeepBest(best, {{"db_all", 2.0}, {"peak MB", 90}, {"rows", 10}});
    ResultTable::KeepBest(best,
                          {{"db_all", 1.5}, {"peak MB", 80}, {"rows", 10}, {"vacuum into", 0.4}});
    ResultTable::KeepBest(best, {{"db_all", 1.8}, {"peak MB", 95}, {"vacuum into", 0.5}});
    EXPECT_DOUBLE_EQ(best["db_all"], 1.5);
    EXPECT_DOUBLE_EQ(best["peak MB"], 95);
    EXPECT_DOUBLE_EQ(best["rows"], 10);
    EXPECT_DOUBLE_EQ(best["vacuum into"], 0.4);  // a measure first seen in a later run
}

TEST(ResultTable, DerivesSumsAndRatiosFromThePhases) {
    Measures m = EvenRun(0.1);
    m["limit insert"] = 0.35;
    m["compaction"] = 0.3;
    m["vacuum into"] = 0.2;
    ResultTable::Derive(m, 1000);
    EXPECT_DOUBLE_EQ(m["transfer"], 0.7);
    EXPECT_DOUBLE_EQ(m["whole run"], 0.1 * static_cast<double>(RunPhases().size() - 1) + 0.3);
    EXPECT_DOUBLE_EQ(m["titles per second"], 1000 / m["whole run"]);
    EXPECT_DOUBLE_EQ(m["insert rate share"], 0.5);
    EXPECT_DOUBLE_EQ(m["compaction share"], 1.5);
    EXPECT_DOUBLE_EQ(m["rise MB"], 2);

    // A phase that was not measured leaves the sums out rather than making them small.
    Measures partial = EvenRun(0.1);
    partial.erase("pl_all");
    ResultTable::Derive(partial, 1000);
    EXPECT_EQ(partial.count("transfer"), 0u);
    EXPECT_EQ(partial.count("whole run"), 0u);
}

TEST(ResultTable, JudgesGrowthFrom100kTo400kPerPhase) {
    Measures small = EvenRun(0.2), large = EvenRun(0.8);
    large["tree: folders"] = 0.9;  // 4.5 times: too steep
    small["recount"] = 0.01;       // too short to tell: a large ratio is no verdict
    large["recount"] = 0.099;
    small["pl_stat"] = 0.02;  // long enough: the same ratio fails
    large["pl_stat"] = 0.101;
    const std::vector<TableRow> rows = Judge(small, large);

    EXPECT_EQ(Find(rows, "  tree: albums (s)").growth, "4.00");
    EXPECT_EQ(Find(rows, "  tree: albums (s)").verdict, "met");
    EXPECT_EQ(Find(rows, "  tree: folders (s)").growth, "4.50");
    EXPECT_EQ(Find(rows, "  tree: folders (s)").verdict, "NOT met");
    EXPECT_EQ(Find(rows, "  recount (s)").verdict, "met");
    EXPECT_EQ(Find(rows, "  pl_stat (s)").verdict, "NOT met");
    // The whole run grows by the steep phase too, but stays within the limit.
    EXPECT_EQ(Find(rows, "whole run (s)").verdict, "met");
    EXPECT_EQ(Find(rows, "peak memory of the whole run (MB)").verdict, "met");
    // Ratios have no growth of their own.
    EXPECT_EQ(Find(rows, "transfer rate / plain insert rate").growth, "");
    EXPECT_EQ(Find(rows, "memory rise over the title copy, 10% to 100% (MB)").growth, "");
}

// Caches fill early in the copy and then stay put: what must not grow with the library is the
// memory at the end of the copy.
TEST(ResultTable, JudgesEachGoalAtItsBoundary) {
    struct Case {
        const char* label;
        const char* key;
        double at100k, at400k;
        const char* verdict;
    };
    const Case cases[] = {
        {"window load, side databases in order (s)", "window load", 0.49, 0.49, "met"},
        {"window load, side databases in order (s)", "window load", 0.5, 0.5, "NOT met"},
        {"old-database choice, version check (s)", "old-database choice", 0.2, 0.2, "NOT met"},
        {"transfer rate / plain insert rate", "limit insert", 0.7, 0.7 * 0.49, "NOT met"},
        {"transfer rate / plain insert rate", "limit insert", 0.7, 0.7 * 0.5, "met"},
        {"compaction / VACUUM INTO", "vacuum into", 0.1, 0.1 / 1.6, "NOT met"},
        {"peak memory of the whole run (MB)", "peak MB", 100, 250, "NOT met"},
        {"resident memory at the end of the title copy (MB)", "rss 100%", 52, 52 * 1.25, "met"},
        {"resident memory at the end of the title copy (MB)", "rss 100%", 52, 52 * 1.26, "NOT met"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " = " + std::to_string(c.at400k));
        Measures small = EvenRun(0.1), large = EvenRun(0.1);
        small[c.key] = c.at100k;
        large[c.key] = c.at400k;
        EXPECT_EQ(Find(Judge(small, large), c.label).verdict, c.verdict);
    }
}

TEST(ResultTable, WholeRunGoalsDependOnTheLibrary) {
    const double phases = static_cast<double>(RunPhases().size());
    struct Case {
        double engineWhole, jetWhole, mdbExport;
        const char* verdict;
    };
    // Engine file: under 5 s at 100,000 titles. Jet file: within twice mdb-export.
    for (const Case& c : {Case{4.9, 3.0, 1.5, "met"}, Case{5.0, 3.0, 1.5, "NOT met"},
                          Case{4.9, 3.1, 1.5, "NOT met"}}) {
        SCOPED_TRACE(std::to_string(c.engineWhole) + " " + std::to_string(c.jetWhole));
        Measures jet = EvenRun(c.jetWhole / phases);
        jet["mdb-export"] = c.mdbExport;
        jet["engine read"] = 1.6;
        const std::vector<TableRow> rows =
            Judge({{"100k", 100000, true, EvenRun(c.engineWhole / phases)},
                   {"Jet 100k", 100000, false, jet}});
        EXPECT_EQ(Find(rows, "whole run (s)").verdict, std::string(c.verdict));
        EXPECT_EQ(Find(rows, "engine read / mdb-export").verdict, "NOT met");
        // Without a 400,000-title library neither growth nor peak memory can be judged.
        EXPECT_EQ(Find(rows, "peak memory of the whole run (MB)").verdict, "-");
        EXPECT_EQ(Find(rows, "  db_all (s)").growth, "");
        EXPECT_EQ(Find(rows, "  db_all (s)").verdict, "-");
    }
    // A quick run on a small library judges neither goal of the whole run.
    EXPECT_EQ(Find(Judge({{"3k", 3000, true, EvenRun(0.01)}}), "whole run (s)").verdict, "-");
}

}  // namespace
}  // namespace bench
