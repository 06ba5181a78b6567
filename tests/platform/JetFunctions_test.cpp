#include "platform/jetsql/JetFunctions.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <string>

#include "platform/JetError.h"

namespace platform {
namespace {

struct CloseDb {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};

class JetFunctionsDb {
  public:
    JetFunctionsDb() {
        sqlite3* raw = nullptr;
        sqlite3_open(":memory:", &raw);
        db_.reset(raw);
        RegisterJetFunctions(db_.get());
    }
    // The value of one expression as text; "<null>" for Null, "<error: ...>" for an error.
    std::string Eval(const std::string& expression) {
        sqlite3_stmt* st = nullptr;
        const std::string sql = "SELECT " + expression;
        if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            return "<prepare: " + std::string(sqlite3_errmsg(db_.get())) + ">";
        std::string out;
        if (sqlite3_step(st) == SQLITE_ROW) {
            out = sqlite3_column_type(st, 0) == SQLITE_NULL
                      ? "<null>"
                      : reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        } else {
            out = "<error: " + std::string(sqlite3_errmsg(db_.get())) + ">";
        }
        sqlite3_finalize(st);
        return out;
    }
    sqlite3* Handle() { return db_.get(); }

  private:
    std::unique_ptr<sqlite3, CloseDb> db_;
};

struct Case {
    const char* expression;
    const char* expected;
};

// Text, number and date functions, and the + and - that count dates in days.
TEST(JetFunctions, ScalarFunctionsFollowJet) {
    JetFunctionsDb db;
    const Case cases[] = {
        {"jet_mid('Sonavoxa', 3, 3)", "nav"},
        {"jet_mid('abc', 10)", ""},
        {"jet_mid('Grüße', 3, 2)", "üß"},
        {"jet_mid(NULL, 1, 2)", "<null>"},
        {"jet_left('Grüße', 3)", "Grü"},
        {"jet_right('Grüße', 2)", "ße"},
        {"jet_len('Grüße')", "5"},
        {"jet_len(12345)", "5"},
        {"jet_ucase('Mötley Crüe')", "MÖTLEY CRÜE"},
        {"jet_lcase('ÄÖÜ Ça Œ')", "äöü ça œ"},
        {"jet_trim('  a b  ')", "a b"},
        {"jet_nz(NULL)", ""},
        {"jet_nz(NULL, 5)", "5"},
        {"jet_instr('Hello World', 'o')", "5"},
        {"jet_instr(6, 'Hello World', 'O')", "8"},
        {"jet_instr(1, 'Hello World', 'O', 0)", "0"},
        {"jet_instr('abc', '')", "1"},
        {"jet_replace('a-b-c', '-', '+')", "a+b+c"},
        {"jet_replace('a-b-c', '-', '', 1, 1)", "ab-c"},
        {"jet_space(3) || '|'", "   |"},
        {"jet_string(3, 'xy')", "xxx"},
        {"jet_asc('Ä')", "196"},
        {"jet_chr(252)", "ü"},
        {"jet_strcomp('abc', 'ABC')", "0"},
        {"jet_strcomp('abc', 'ABC', 0)", "1"},
        {"jet_concat('a', NULL, 1, 2.5)", "a12.5"},
        {"jet_concat(NULL, NULL)", "<null>"},
        {"jet_concat(3.0, '')", "3"},
        {"jet_mid('abc', 0)", "<error: Invalid procedure call or argument.>"},
        {"jet_val(' 12 34abc')", "1234"},
        {"jet_val('1.5e2x')", "150"},
        {"jet_val('&HFF')", "255"},
        {"jet_cint(2.5)", "2"},
        {"jet_cint(3.5)", "4"},
        {"jet_cint(40000)", "<error: Overflow.>"},
        {"jet_clng('-7.5')", "-8"},
        {"jet_cdbl('2.25')", "2.25"},
        {"jet_cbool('True')", "-1"},
        {"jet_int(-2.5)", "-3"},
        {"jet_fix(-2.5)", "-2"},
        {"jet_sgn(-4)", "-1"},
        {"jet_isnull(NULL)", "-1"},
        {"jet_intdiv(7, 2)", "3"},
        {"jet_intdiv(7.6, 2)", "4"},
        {"jet_intdiv(1, 0)", "<error: Division by zero.>"},
        {"jet_clng('abc')", "<error: Data type mismatch in criteria expression.>"},
        {"jet_month('2005-03-04 12:30:00')", "3"},
        {"jet_day(38415)", "4"},
        {"jet_hour('2005-03-04 12:30:15')", "12"},
        {"jet_weekday('2005-03-04')", "6"},  // a Friday
        {"jet_weekday('2005-03-04', 2)", "5"},
        {"jet_cdate('4.3.2005')", "2005-03-04 00:00:00"},
        {"jet_cdate(38415.5)", "2005-03-04 12:00:00"},
        {"jet_datevalue('2005-03-04 12:30:00')", "2005-03-04 00:00:00"},
        {"jet_dateserial(2005, 14, 1)", "2006-02-01 00:00:00"},
        {"jet_dateserial(5, 3, 0)", "2005-02-28 00:00:00"},
        {"jet_dateadd('m', 1, '2005-01-31')", "2005-02-28 00:00:00"},
        {"jet_dateadd('h', 13, '2005-03-04 12:00:00')", "2005-03-05 01:00:00"},
        {"jet_datediff('d', '2005-03-04 23:00:00', '2005-03-05 01:00:00')", "1"},
        {"jet_datediff('yyyy', '2004-12-31', '2005-01-01')", "1"},
        {"jet_datediff('m', '2005-03-31', '2005-01-01')", "-2"},
        {"jet_year(NULL)", "<null>"},
        {"jet_year('no date')", "<error: Data type mismatch in criteria expression.>"},
        {"typeof(jet_add(1, 2))", "integer"},
        {"typeof(jet_add(0.5, 0.5))", "real"},
        {"jet_add(9223372036854775807, 1)", "9.22337203685478e+18"},
        {"jet_add('2005-03-03', 0.5)", "2005-03-03 12:00:00"},
        {"jet_add(1, '2005-02-28')", "2005-03-01 00:00:00"},
        {"jet_sub('2005-03-03', 1)", "2005-03-02 00:00:00"},
        {"typeof(jet_sub('2005-03-10', '2005-03-03 12:00:00'))", "real"},
        {"jet_sub('2005-03-04 00:00:01', '2005-03-04')", "1.15740740740741e-05"},
        {"jet_sub('1899-12-30', 0.25)", "1899-12-30 06:00:00"},  // Jet's own quirk
        {"jet_add('12', 1)", "13"},
        {"jet_add(' 1.5', 1)", "2.5"},
        {"jet_add('a', 'b')", "ab"},
        {"jet_add('2005-03-03', 'x')", "2005-03-03x"},
        {"jet_add('2005-02-30', 'x')", "2005-02-30x"},
        {"jet_add(NULL, 1)", "<null>"},
        {"jet_sub('2005-03-03', NULL)", "<null>"},
        {"jet_add('a', 1)", "<error: Data type mismatch in criteria expression.>"},
        {"jet_add('2005-02-30', 1)", "<error: Data type mismatch in criteria expression.>"},
        {"jet_add('4.3.2005', 1)", "<error: Data type mismatch in criteria expression.>"},
        {"jet_sub('2005-03-03', 'x')", "<error: Data type mismatch in criteria expression.>"},
        {"jet_add(x'01', 1)", "<error: Data type mismatch in criteria expression.>"},
        {"jet_add('9999-12-31', 1)", "<error: Overflow.>"},
        {"jet_sub('0100-01-01', 1)", "<error: Overflow.>"},
        {"length(jet_now())", "19"},
        {"substr(jet_date(), 12)", "00:00:00"},
        {"substr(jet_time(), 1, 10)", "1899-12-30"},
    };
    for (const Case& c : cases) EXPECT_EQ(db.Eval(c.expression), c.expected) << c.expression;
}

TEST(JetFunctions, FormatShowsDatesAndNumbers) {
    struct FormatCase {
        const char* value;
        bool isNumber;
        double number;
        const char* format;
        const char* expected;
    };
    const FormatCase cases[] = {
        {"2005-03-04 13:05:09", false, 0, "dd.mm.yyyy", "04.03.2005"},
        {"2005-03-04 13:05:09", false, 0, "yyyymmdd", "20050304"},
        {"2005-03-04 13:05:09", false, 0, "d.m.yy", "4.3.05"},
        {"2005-03-04 13:05:09", false, 0, "hh:nn:ss", "13:05:09"},
        {"2005-03-04 13:05:09", false, 0, "h:nn AM/PM", "1:05 PM"},
        {"2005-03-04 13:05:09", false, 0, "dddd, d. mmmm yyyy", "Friday, 4. March 2005"},
        {"2005-03-04 13:05:09", false, 0, "Short Date", "3/4/2005"},
        {"2005-03-04 13:05:09", false, 0, "\"Tag\" d", "Tag 4"},
        {"", true, 38415.5, "dd.mm.yyyy hh:nn", "04.03.2005 12:00"},
        {"", true, 1234.5, "0.00", "1234.50"},
        {"", true, 1234.5, "#,##0", "1,235"},
        {"", true, 0.5, "0%", "50%"},
        {"", true, -3, "0;(0)", "(3)"},
        {"", true, 0.25, "#.##", ".25"},
        {"12.5", false, 0, "0.0", "12.5"},
        {"abc", false, 0, ">", "ABC"},
        {"", true, 3, "", "3"},
    };
    for (const FormatCase& c : cases)
        EXPECT_EQ(JetFormat(c.value, c.isNumber, c.number, c.format), c.expected) << c.format;

    JetFunctionsDb db;
    EXPECT_EQ(db.Eval("jet_format('2005-03-04 00:00:00', 'dd.mm.yyyy')"), "04.03.2005");
    EXPECT_EQ(db.Eval("jet_format(NULL, 'dd.mm.yyyy')"), "<null>");
}

TEST(JetFunctions, FirstAndLastTakeTheGroupsEndRows) {
    JetFunctionsDb db;
    ASSERT_EQ(sqlite3_exec(db.Handle(),
                           "CREATE TABLE t(g, v); INSERT INTO t VALUES (1, 'a'), (1, NULL), "
                           "(1, 'c'), (2, NULL);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_EQ(db.Eval("jet_first(v) FROM t WHERE g = 1"), "a");
    EXPECT_EQ(db.Eval("jet_last(v) FROM t WHERE g = 1"), "c");
    EXPECT_EQ(db.Eval("jet_first(v) FROM t WHERE g = 2"), "<null>");
    EXPECT_EQ(db.Eval("jet_last(v) FROM t WHERE g = 3"), "<null>");
}

}  // namespace
}  // namespace platform
