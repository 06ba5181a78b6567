// The failure line of a table: what it counts and which refused rows and values it names.
#include "migration/RunReport.h"

#include <gtest/gtest.h>

#include "platform/JetError.h"

namespace migration {
namespace {

TableReport Table(long rowsRead, long rowsStored) {
    TableReport t;
    t.tableName = "pl_group";
    t.keyName = "GRID";
    t.rowsRead = rowsRead;
    t.rowsStored = rowsStored;
    return t;
}

TEST(RunReport, FailureLineNamesTheFirstRefusedRowsAndValuesAndCountsTheRest) {
    const platform::JetError tooLong(3163, "Too long.");
    struct Case {
        const char* what;
        TableReport report;
        std::string line;
    };
    std::vector<Case> cases;

    cases.push_back({"clean", Table(3, 3), ""});

    TableReport rows = Table(13, 1);
    for (int key = 2; key <= 13; ++key) rows.RefuseRow(std::to_string(key));
    rows.Note(3022, "Duplicate.");
    cases.push_back({"twelve rows, ten named", rows,
                     "Fehler in pl_group: 12 von 13 Datensätzen nicht übernommen; erster Fehler "
                     "3022: Duplicate. Nicht übernommen: Datensätze mit GRID 2, 3, 4, 5, 6, 7, 8, "
                     "9, 10, 11, und 2 weitere."});

    TableReport values = Table(2, 2);
    values.RefuseValue("name", "1", tooLong);
    values.RefuseValue("pos", "Null", tooLong);
    cases.push_back({"two values", values,
                     "Fehler in pl_group: 2 Werte nicht übernommen; erster Fehler 3163: Too long. "
                     "Nicht übernommen: Werte name bei GRID 1, pos bei GRID Null."});

    TableReport both = Table(2, 1);
    both.RefuseValue("name", "1", tooLong);
    both.RefuseRow("2");
    cases.push_back({"a row and a value", both,
                     "Fehler in pl_group: 1 von 2 Datensätzen nicht übernommen, 1 Werte nicht "
                     "übernommen; erster Fehler 3163: Too long. Nicht übernommen: Datensätze mit "
                     "GRID 2; Werte name bei GRID 1."});

    TableReport unreadable = Table(0, 0);
    unreadable.FailStep("Lesen der alten Tabelle", platform::JetError(3061, "Too few."));
    unreadable.missingColumns = {"EQ", "MixIn"};
    cases.push_back({"columns the old table lacks", unreadable,
                     "Fehler in pl_group: Lesen der alten Tabelle fehlgeschlagen; erster Fehler "
                     "3061: Too few. Der alten Tabelle fehlen die Spalten EQ, MixIn."});

    for (const Case& c : cases) {
        EXPECT_EQ(c.report.FailureLine(), c.line) << c.what;
    }
}

}  // namespace
}  // namespace migration
