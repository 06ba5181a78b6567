#include "tools/EngineShell.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/Field.h"
#include "platform/TableDef.h"
#include "support/EngineTestSupport.h"

using namespace testing_support;

namespace {

struct ShellResult {
    int code;
    std::string out;
    std::string err;
};

ShellResult RunShell(const std::vector<std::string>& args, const std::string& input = {}) {
    std::ostringstream out, err;
    std::istringstream in(input);
    tools::EngineShell shell(out, err);
    const int code = shell.Run(args, in);
    return {code, out.str(), err.str()};
}

}  // namespace

// Comment lines may stand inside a statement (but not inside a text), a dot command's path may
// be quoted, and a statement that leaves rows out says how many and why.
TEST(EngineShell, RunsAScriptAndPrintsRowsTabSeparatedUnderAHeader) {
    TempFolder folder;
    const std::string db = folder / "with blanks.mdb";
    auto r = RunShell({"--create", db},
                      "-- a script\n"
                      "CREATE TABLE t (id LONG CONSTRAINT pk PRIMARY KEY,\n"
                      "  -- the name of the thing\n"
                      "  name TEXT(50), ok YESNO);\n"
                      "insert into t values (1, 'Über; uns', true);\n"
                      "insert into t (id, name) values (2, '\n-- not a comment\n');\n"
                      "CREATE TABLE u (id LONG);\n"
                      "insert into u values (2);\n"
                      "insert into u values (3);\n"
                      "insert into t (id) select id from u;\n"
                      ".compact \"" +
                          (folder / "copy with blanks.mdb") + "\"\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("Note: 1 row left out; the first: Error 3022"), std::string::npos)
        << r.err;
    // Line breaks in a text are printed escaped, so that a row stays one line.
    r = RunShell({"--null", "NULL", db, "select id, name, ok, len(name) as n from t order by id"});
    EXPECT_EQ(r.out,
              "id\tname\tok\tn\n1\tÜber; uns\t-1\t9\n2\t\\n-- not a comment\\n\tNULL\t18\n"
              "3\tNULL\tNULL\tNULL\n");
    r = RunShell({folder / "copy with blanks.mdb", "t"});  // a bare table name prints the table
    EXPECT_EQ(r.out, "id\tname\tok\n1\tÜber; uns\t-1\n2\t\\n-- not a comment\\n\t\n3\t\t\n");
}

TEST(EngineShell, ReportsFailuresWithJetNumbersAndGoesOn) {
    TempFolder folder;
    const std::string db = folder / "s.mdb";
    RunShell({"--create", db, "CREATE TABLE t (id LONG)"});
    auto r = RunShell({db, "select * from missing", "insert into t values (7)", "select * from t"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Error 3078: "), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "id\n7\n");
    r = RunShell({folder / "nothing.mdb", "select 1"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Error 3024: Could not find file '" + (folder / "nothing.mdb") + "'.\n");
    EXPECT_EQ(RunShell({}).code, 2);
}

TEST(EngineShell, SchemaRunsBackToTheSameTablesFieldsAndIndexes) {
    TempFolder folder;
    const std::string a = folder / "a.mdb", b = folder / "b.mdb";
    auto made = RunShell(
        {"--create", a},
        "CREATE TABLE t (id COUNTER CONSTRAINT PrimaryKey PRIMARY KEY, name TEXT(30) NOT NULL,"
        " n SHORT DEFAULT 3, flag YESNO DEFAULT False);\n"
        "CREATE UNIQUE INDEX byName ON t (name DESC);\n"
        ".allowzerolength t name on\n"
        "CREATE TABLE [My Table] ([My Field] TEXT(10), [it's] TEXT(5));\n"
        ".allowzerolength \"My Table\" \"it's\" on\n");
    ASSERT_EQ(made.code, 0) << made.err;
    const std::string schema = RunShell({a, ".schema"}).out;
    auto created = RunShell({"--create", b}, schema);
    ASSERT_EQ(created.code, 0) << created.err << schema;
    EXPECT_EQ(RunShell({b, ".schema"}).out, schema);
    for (const char* part :
         {"[id] COUNTER", "WITH PRIMARY", ".allowzerolength \"My Table\" \"it's\" on\n"})
        EXPECT_NE(schema.find(part), std::string::npos) << part << "\n" << schema;
}

// A name or default value that would end its statement early is left out with a comment, so
// that running the schema back cannot run what a database's names hold.
TEST(EngineShell, SchemaLeavesOutWhatWouldBreakOutOfItsStatement) {
    TempFolder folder;
    const std::string a = folder / "a.mdb", b = folder / "b.mdb";
    RunShell({"--create", a}, "CREATE TABLE victim (id LONG);\nCREATE TABLE plain (id LONG);\n");
    {
        platform::Database db = platform::DBEngine::Instance().OpenDatabase(a);
        platform::TableDef byName = db.CreateTableDef("x] (id LONG); DROP TABLE [victim");
        platform::Field id = byName.CreateField("id", platform::dbLong);
        byName.Fields().Append(id);
        db.TableDefs().Append(byName);
        platform::TableDef byDefault = db.CreateTableDef("d");
        platform::Field n = byDefault.CreateField("n", platform::dbLong);
        n.SetDefaultValue("0); DROP TABLE victim; --");
        byDefault.Fields().Append(n);
        db.TableDefs().Append(byDefault);
    }
    const std::string schema = RunShell({a, ".schema"}).out;
    auto created = RunShell({"--create", b}, schema);
    EXPECT_EQ(created.code, 0) << created.err << schema;
    EXPECT_EQ(RunShell({b, ".tables"}).out, "plain\nvictim\n") << schema;
    EXPECT_NE(schema.find("-- [x] (id LONG); DROP TABLE [victim] is left out"), std::string::npos)
        << schema;
    EXPECT_NE(schema.find("-- [d] is left out"), std::string::npos) << schema;
}

TEST(EngineShell, ListsTablesLinksAndQueriesAndCompacts) {
    TempFolder folder;
    const std::string main = folder / "main.mdb", side = folder / "side.mdb";
    RunShell({"--create", side, "CREATE TABLE TREE_DIR (Path TEXT(255))"});
    RunShell({"--create", main, "CREATE TABLE db_all (FID LONG)"});
    {
        auto db = platform::DBEngine::Instance().OpenDatabase(main);
        platform::TableDef link = db.CreateTableDef("TREE_DIR");
        link.SetConnect(";Database=" + side);
        link.SetSourceTableName("TREE_DIR");
        db.TableDefs().Append(link);
        db.CreateQueryDef("v_all", "select * from db_all");
    }
    auto r = RunShell({main, ".tables"});
    EXPECT_EQ(r.out, "db_all\nTREE_DIR\tlink\tTREE_DIR\t;Database=" + side + "\n");
    EXPECT_EQ(RunShell({main, ".queries"}).out, "v_all\t0\tselect * from db_all\n");
    r = RunShell({main, ".compact " + (folder / "copy.mdb")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(folder.Exists("copy.mdb"));
    EXPECT_EQ(RunShell({main, ".compact " + (folder / "copy.mdb")}).code, 1);
}

TEST(EngineShell, QueryCommandStoresTheTextOfAFileAsAQuery) {
    TempFolder folder;
    const std::string db = folder / "s.mdb";
    const std::string sql = folder.Write("q.sql", "SELECT id\nFROM t\nWHERE id > 1;\n\n");
    auto r = RunShell({"--create", db},
                      "CREATE TABLE t (id LONG);\ninsert into t values (1);\n"
                      "insert into t values (2);\n.query big " +
                          sql + "\n");
    ASSERT_EQ(r.code, 0) << r.err;
    r = RunShell({db, ".queries", "big"});
    EXPECT_EQ(r.out, "big\t0\tSELECT id\\nFROM t\\nWHERE id > 1\nid\n2\n");
    r = RunShell(
        {db, ".query big " + sql, ".query other " + (folder / "missing.sql"), ".query lonely"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Error 3012: "), std::string::npos) << r.err;  // the name is taken
    EXPECT_NE(r.err.find("Error 3024: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Error 3001: "), std::string::npos) << r.err;
}
