// A target table's plain indexes dropped for its rows and built again before they are
// committed: rebuilt as they were, the ones that decide about rows never touched, and brought
// back by the rollback when the rebuild fails.
#include "migration/DeferredIndexes.h"

#include <gtest/gtest.h>

#include <optional>

#include "platform/DBEngine.h"
#include "platform/TableDef.h"
#include "platform/Transaction.h"
#include "support/EngineTestSupport.h"

namespace migration {
namespace {

using namespace testing_support;

std::string IndexesOf(platform::Database& db, const std::string& table) {
    return Rows(db,
                "select Name, IsPrimary, IsUnique, IgnoreNulls, Required, Fields, PhysicalName "
                "from MSysIndexes where TableName = '" +
                    table + "' order by Position");
}

class DeferredIndexesTest : public ::testing::Test {
  protected:
    TempFolder temp;
    platform::Database db =
        platform::DBEngine::Instance().OpenDatabase(CopyOfShippedDatabase(temp / "sonavoxa.mdb"));
};

TEST_F(DeferredIndexesTest, TitlesArriveWithoutThePlainIndexesWhichComeBackAsTheyWere) {
    const std::string before = IndexesOf(db, "db_all");
    {
        platform::Transaction transaction;
        DeferredIndexes deferred(db, "db_all");
        deferred.Drop();
        EXPECT_EQ(IndexesOf(db, "db_all"), "PrimaryKey|1|1|0|1|+FID|db_all.PrimaryKey\n");
        for (int i = 0; i < 3; ++i)
            db.Execute("insert into db_all (Titel, Interpret, Path) values ('t', 'Ärzte', 'p')");
        deferred.Rebuild();
        transaction.Commit();
    }
    EXPECT_EQ(IndexesOf(db, "db_all"), before);
    // The rebuilt index holds the rows that came without it.
    EXPECT_EQ(Rows(db, "select count(*) from db_all where Interpret = 'ärzte'"), "3\n");
}

TEST_F(DeferredIndexesTest, IndexesThatDecideAboutRowsAndThoseBeforeThemStay) {
    db.Execute("create table Mixed (a text, b text, c text, d text, e text)");
    platform::TableDef def = db.TableDefs().Item("Mixed");
    const auto append = [&def](const char* name, const char* fields, bool unique, bool required,
                               bool ignoreNulls) {
        platform::Index index = def.CreateIndex(name);
        index.SetFields(fields);
        index.SetUnique(unique);
        index.SetRequired(required);
        index.SetIgnoreNulls(ignoreNulls);
        def.Indexes().Append(index);
    };
    append("PlainFirst", "a", false, false, false);
    append("UniqueB", "b", true, false, false);
    append("RequiredC", "c", false, true, false);
    append("PlainD", "+d;-a", false, false, true);
    append("PlainE", "-e", false, false, false);
    const std::string before = IndexesOf(db, "Mixed");

    platform::Transaction transaction;
    DeferredIndexes deferred(db, "Mixed");
    deferred.Drop();
    EXPECT_EQ(Rows(db,
                   "select Name from MSysIndexes where TableName = 'Mixed' order by "
                   "Position"),
              "PlainFirst\nUniqueB\nRequiredC\n");
    // Rows are still refused by the indexes that stay.
    db.Execute("insert into Mixed (b, c) values ('x', 'y')");
    EXPECT_EQ(JetErrorOf([&] { db.Execute("insert into Mixed (b, c) values ('x', 'z')", 128); }),
              3022);
    deferred.Rebuild();
    transaction.Commit();
    EXPECT_EQ(IndexesOf(db, "Mixed"), before);
}

TEST_F(DeferredIndexesTest, AFailedRebuildIsUndoneWithTheRowsAndTheIndexesComeBack) {
    const std::string before = IndexesOf(db, "db_all");
    {
        std::optional<platform::Transaction> transaction(std::in_place);
        DeferredIndexes deferred(db, "db_all");
        deferred.Drop();
        db.Execute("insert into db_all (Titel) values ('lost with the transaction')");
        // A name taken in the meantime makes the rebuild fail part of the way.
        db.Execute("create index Genre on db_all (Titel)");
        EXPECT_NE(JetErrorOf([&] { deferred.Rebuild(); }), 0);
        transaction.reset();
    }
    EXPECT_EQ(IndexesOf(db, "db_all"), before);
    EXPECT_EQ(Rows(db, "select count(*) from db_all"), "0\n");
}

}  // namespace
}  // namespace migration
