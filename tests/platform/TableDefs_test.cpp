#include <gtest/gtest.h>

#include "platform/DBEngine.h"
#include "platform/TableDef.h"
#include "support/EngineTestSupport.h"

using namespace platform;
using namespace testing_support;

namespace {

TableDef BuildPeopleTable(Database& db) {
    TableDef def = db.CreateTableDef("People");
    Field id = def.CreateField("ID", dbLong);
    id.SetAttributes(dbFixedField | dbAutoIncrField);
    def.Fields().Append(id);
    Field name = def.CreateField("Name", dbText, 40);
    name.SetAllowZeroLength(true);
    name.SetRequired(true);
    def.Fields().Append(name);
    Field count = def.CreateField("Count", dbInteger);
    count.SetDefaultValue("7");
    def.Fields().Append(count);
    def.Fields().Append(def.CreateField("Seen", dbDate));
    def.Fields().Append(def.CreateField("Fav", dbBoolean));
    def.Fields().Append(def.CreateField("Notes", dbMemo));
    Index primary = def.CreateIndex("PrimaryKey");
    primary.SetFields("ID");
    primary.SetPrimary(true);
    primary.SetUnique(true);
    def.Indexes().Append(primary);
    Index byName = def.CreateIndex("ByName");
    byName.SetFields("+Name;-Seen");
    byName.SetUnique(true);
    def.Indexes().Append(byName);
    return def;
}

}  // namespace

TEST(TableDefs, AppendedDefinitionsReadBackExactly) {
    TempFolder folder;
    Database db = DBEngine::Instance().CreateDatabase(folder / "s.mdb", dbLangGeneral);
    TableDef made = BuildPeopleTable(db);
    db.TableDefs().Append(made);

    TableDef read = db.TableDefs().Item("people");
    EXPECT_EQ(read.Name(), "People");
    EXPECT_EQ(read.Attributes(), 0);
    ASSERT_EQ(read.Fields().Count(), made.Fields().Count());
    for (size_t i = 0; i < made.Fields().Count(); ++i) {
        const Field& a = made.Fields()[i];
        const Field& b = read.Fields()[i];
        EXPECT_EQ(b.Name(), a.Name());
        EXPECT_EQ(b.Type(), a.Type()) << a.Name();
        EXPECT_EQ(b.Size(), a.Size()) << a.Name();
        EXPECT_EQ(b.Attributes(), a.Attributes()) << a.Name();
        EXPECT_EQ(b.DefaultValue(), a.DefaultValue()) << a.Name();
        EXPECT_EQ(b.Required(), a.Required()) << a.Name();
        EXPECT_EQ(b.AllowZeroLength(), a.AllowZeroLength()) << a.Name();
    }
    EXPECT_EQ(read.Fields()[1].Size(), 40);
    EXPECT_EQ(read.Fields()[2].Size(), 2);
    ASSERT_EQ(read.Indexes().Count(), 2u);
    const Index& byName = read.Indexes().Item("BYNAME");
    EXPECT_TRUE(byName.Unique());
    EXPECT_FALSE(byName.Primary());
    ASSERT_EQ(byName.Fields().size(), 2u);
    EXPECT_EQ(byName.Fields()[1].Name, "Seen");
    EXPECT_TRUE(byName.Fields()[1].Descending);
    EXPECT_TRUE(read.Indexes().Item("PrimaryKey").Primary());

    // The rules came with the definition: the default, the counter and the unique index.
    db.Execute("insert into People (Name) values ('Ann')");
    EXPECT_EQ(Rows(db, "select ID, Name, Count from People"), "1|Ann|7\n");
    EXPECT_EQ(JetErrorOf([&] { db.OpenRecordset("People").AddNew(); }), 0);
}

TEST(TableDefs, CollectionsWalkInOrderAndRefuseWhatIsNotThere) {
    TempFolder folder;
    Database db = DBEngine::Instance().CreateDatabase(folder / "s.mdb", dbLangGeneral);
    db.Execute("CREATE TABLE zeta (a LONG)");
    db.Execute("CREATE TABLE Alpha (a LONG)");
    std::vector<std::string> user;
    auto tables = db.TableDefs();
    for (size_t i = 0; i < tables.Count(); ++i) {
        TableDef def = tables[i];
        if (def.Attributes() == 0)
            user.push_back(def.Name());
        else
            EXPECT_EQ(def.Attributes(), dbSystemObject) << def.Name();  // the catalog's own tables
    }
    EXPECT_EQ(user, (std::vector<std::string>{"Alpha", "zeta"}));
    TableDef again = db.CreateTableDef("ALPHA");
    again.Fields().Append(again.CreateField("x", dbLong));
    EXPECT_EQ(JetErrorOf([&] { db.TableDefs().Append(again); }), jet::kTableExists);
    EXPECT_EQ(JetErrorOf([&] { db.TableDefs().Item("nope"); }), jet::kItemNotFound);
    EXPECT_EQ(JetErrorOf([&] { db.TableDefs().Delete("nope"); }), jet::kItemNotFound);
    TableDef twice = db.CreateTableDef("twice");
    twice.Fields().Append(twice.CreateField("x", dbLong));
    EXPECT_EQ(JetErrorOf([&] { twice.Fields().Append(twice.CreateField("X", dbText)); }),
              jet::kFieldDefinedTwice);
    db.TableDefs().Delete("zeta");
    EXPECT_EQ(JetErrorOf([&] { db.OpenRecordset("zeta"); }), jet::kInputTableNotFound);
}

TEST(TableDefs, FieldsAndIndexesAppendedToAStoredTableChangeIt) {
    TempFolder folder;
    Database db = CreateDatabaseWith(folder / "s.mdb",
                                     {"CREATE TABLE t (a LONG)", "insert into t values (1)"});
    TableDef def = db.TableDefs().Item("t");
    Field b = def.CreateField("b", dbText, 10);
    b.SetDefaultValue("\"x\"");
    def.Fields().Append(b);
    Index index = def.CreateIndex("ua");
    index.SetFields("a");
    index.SetUnique(true);
    def.Indexes().Append(index);
    EXPECT_EQ(Rows(db, "select a, b from t"), "1|<null>\n");
    db.Execute("insert into t (a) values (2)");
    EXPECT_EQ(Rows(db, "select a, b from t order by a"), "1|<null>\n2|x\n");
    EXPECT_EQ(db.Execute("insert into t (a) values (2)"), 0);  // the new unique index refuses it
}

TEST(QueryDefs, TypesFollowTheSqlText) {
    TempFolder folder;
    Database db = CreateDatabaseWith(folder / "q.mdb", {"CREATE TABLE t (a LONG, b TEXT(10))"});
    const std::pair<const char*, int> cases[] = {
        {"select * from t", 0},
        {"TRANSFORM Count(a) AS n SELECT b FROM t GROUP BY b PIVOT a", 16},
        {"delete from t where a = 1", 32},
        {"update t set a = 2", 48},
        {"insert into t (a) values (1)", 64},
        {"SELECT a INTO t2 FROM t", 80},
        {"CREATE TABLE x (a LONG)", 96},
        {"select a from t union select a from t", 128},
        {"PARAMETERS p Long; SELECT * FROM t WHERE a = p", 0},
        {"select a from t where a in (select a from t union select a from t)", 0},
        {"drop table x", 96},
    };
    int n = 0;
    for (const auto& [sql, type] : cases) {
        const std::string name = "q" + std::to_string(n++);
        QueryDef made = db.CreateQueryDef(name, sql);
        EXPECT_EQ(made.Type(), type) << sql;
        QueryDef read = db.QueryDefs().Item(name);
        EXPECT_EQ(read.SQL(), sql);
        EXPECT_EQ(read.Type(), type) << sql;
    }
    EXPECT_EQ(db.QueryDefs().Count(), 11u);
    EXPECT_EQ(JetErrorOf([&] { db.CreateQueryDef("Q0", "select 1"); }), jet::kObjectExists);
    db.QueryDefs().Delete("q0");
    EXPECT_EQ(JetErrorOf([&] { db.QueryDefs().Item("q0"); }), jet::kItemNotFound);
}

TEST(QueryDefs, StoredQueriesRunByNameAndWithParameters) {
    TempFolder folder;
    Database db = CreateDatabaseWith(folder / "q.mdb", {"CREATE TABLE t (a LONG, Path TEXT(255))"});
    db.Execute("insert into t values (1, 'C:\\Music\\Rock\\')");
    db.Execute("insert into t values (2, 'C:\\Music\\Pop\\')");
    db.Execute("insert into t values (3, 'D:\\')");
    db.CreateQueryDef("big", "select a, Path from t where a > 1");
    db.CreateQueryDef("grow", "update t set a = a * 10 where a < 3");
    db.CreateQueryDef(
        "count_like",
        "PARAMETERS sPath Text(255); SELECT Count(*) AS anz FROM t WHERE Path Like sPath");

    EXPECT_EQ(Rows(db, "big"), "2|C:\\Music\\Pop\\\n3|D:\\\n");
    EXPECT_EQ(Rows(db, "select count(*) as n from big where Path like 'C:*'"), "1\n");
    EXPECT_EQ(db.Execute("grow"), 2);
    EXPECT_EQ(Rows(db, "select a from t order by a"), "3\n10\n20\n");

    QueryDef q = db.QueryDefs().Item("count_like");
    ASSERT_EQ(q.Parameters().Count(), 1u);
    EXPECT_EQ(q.Parameters()[0].Name(), "sPath");
    EXPECT_EQ(q.Parameters().Item("SPATH").Type(), dbText);
    EXPECT_EQ(JetErrorOf([&] { q.OpenRecordset(dbOpenSnapshot); }), jet::kTooFewParameters);
    EXPECT_EQ(JetErrorOf([&] { db.OpenRecordset("count_like"); }), jet::kTooFewParameters);
    for (const auto& [pattern, count] : {std::pair{"C:\\Music\\*", 2}, {"*", 3}, {"E:\\*", 0}}) {
        q.Parameters().Item("sPath").SetValue(Value::FromText(pattern));
        Recordset rs = q.OpenRecordset(dbOpenSnapshot);
        EXPECT_EQ(rs["anz"].Value().AsInteger(), count) << pattern;
        EXPECT_FALSE(rs.Updatable());
        // A snapshot holds its rows: later changes do not show.
        db.Execute("insert into t values (99, 'C:\\Music\\New\\')");
        EXPECT_EQ(rs["anz"].Value().AsInteger(), count);
        db.Execute("delete from t where a = 99");
    }
}
