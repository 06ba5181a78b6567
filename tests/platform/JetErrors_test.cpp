// The errors a query raises: Jet's number and a text that speaks of the statement as the user
// wrote it, never of its translation (attached files, jet_ functions, the hidden row id).
#include <gtest/gtest.h>

#include <string>

#include "platform/DBEngine.h"
#include "support/EngineTestSupport.h"

using namespace platform;
using namespace testing_support;

namespace {

class JetErrorsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db_ = CreateDatabaseWith(
            folder_ / "errors.mdb",
            {"CREATE TABLE song (id COUNTER CONSTRAINT PrimaryKey PRIMARY KEY, name TEXT(50),"
             " pts LONG)",
             "CREATE TABLE artist (name TEXT(50), born DATETIME)"});
        db_.Execute("insert into song (name, pts) values ('Eins', 3)");
        db_.Execute("insert into artist (name, born) values ('Nena', #1960-03-24#)");
    }

    // The error of running `sql` (a select opened, anything else executed).
    JetError ErrorOf(const std::string& sql) {
        try {
            if (sql.starts_with("select")) {
                auto rs = db_.OpenRecordset(sql);
                while (!rs.Eof()) rs.MoveNext();
            } else {
                db_.Execute(sql);
            }
        } catch (const JetError& e) {
            return e;
        }
        return JetError(0, "no error");
    }

    TempFolder folder_;
    Database db_;
};

struct Case {
    const char* sql;
    int number;
    const char* named;  // what the text must name
};

}  // namespace

TEST_F(JetErrorsTest, EachFailureHasJetsNumberAndNamesTheStatementAsWritten) {
    const Case cases[] = {
        {"insert into song (name, nosuch) values ('x', 1)", jet::kUnknownInsertField, "'nosuch'"},
        {"select Left(name) from song", jet::kSyntaxInExpression,
         "Wrong number of arguments used with function in query expression 'Left(name)'"},
        {"select Mid([name], 'it''s', #1/2/2005#, 3) from song", jet::kSyntaxInExpression,
         "'Mid([name], 'it''s', #1/2/2005#, 3)'"},
        {"select CInt('abc') from song", jet::kTypeMismatch, "Data type mismatch"},
        {"select Chr(-5) from song", jet::kInvalidCall, "Invalid procedure call"},
        {"select name from song, artist", jet::kAmbiguousField, "'name'"},
        {"select name from song inner join artist on song.name = artist.name", jet::kAmbiguousField,
         "'name'"},
        {"select name, count(*) from song", jet::kNotPartOfAggregate, "'name'"},
        {"select name, pts from song group by name", jet::kNotPartOfAggregate, "'pts'"},
        {"select song.pts + 1 as p, sum(pts) from song group by name", jet::kNotPartOfAggregate,
         "'pts'"},
        {"select NoSuchFunction(name) from song", jet::kUndefinedFunction, "'NoSuchFunction'"},
    };
    for (const Case& c : cases) {
        const JetError e = ErrorOf(c.sql);
        EXPECT_EQ(e.Number(), c.number) << c.sql << ": " << e.Description();
        EXPECT_NE(e.Description().find(c.named), std::string::npos)
            << c.sql << ": " << e.Description();
        for (const char* internal : {"jet_", "db1", "__rowid__", "main.", "Reserved error"})
            EXPECT_EQ(e.Description().find(internal), std::string::npos)
                << c.sql << ": " << e.Description();
    }
}

TEST_F(JetErrorsTest, GroupedQueriesThatJetRunsStillRun) {
    const char* accepted[] = {
        "select name, count(*) as n from song group by name",
        "select song.name, sum(pts) from song group by song.name having sum(pts) > 0",
        "select format(born, 'yyyy'), count(*) from artist group by format(born, 'yyyy')",
        "select count(*), sum(pts) + 1, 'text', true from song",
        "select name, (select count(*) from artist where artist.name = song.name) from song group "
        "by name",
    };
    for (const char* sql : accepted) {
        const JetError e = ErrorOf(sql);
        EXPECT_EQ(e.Number(), 0) << sql << ": " << e.Description();
    }
}

TEST_F(JetErrorsTest, ASecondCounterInOneTableIsRefused) {
    EXPECT_EQ(ErrorOf("create table twice (a COUNTER, b LONG, c AUTOINCREMENT)").Number(),
              jet::kInvalidFieldType);
    EXPECT_EQ(ErrorOf("select * from twice").Number(), jet::kInputTableNotFound);
    EXPECT_EQ(ErrorOf("create table once (a COUNTER, b LONG)").Number(), 0);
    EXPECT_EQ(ErrorOf("insert into once (b) values (7)").Number(), 0);
    EXPECT_EQ(Rows(db_, "select a, b from once"), "1|7\n");
    EXPECT_EQ(ErrorOf("alter table once add column c COUNTER").Number(), jet::kInvalidFieldType);
    TableDef def = db_.TableDefs().Item("once");
    Field second = def.CreateField("d", dbLong);
    second.SetAttributes(dbAutoIncrField);
    EXPECT_EQ(JetErrorOf([&] { def.Fields().Append(second); }), jet::kInvalidFieldType);
    EXPECT_EQ(db_.TableDefs().Item("once").Fields().Count(), 2u);
}
