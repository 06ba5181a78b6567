// The sonavoxa.mdb that the build puts into the program folder, checked through the engine.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/DBEngine.h"
#include "support/EngineTestSupport.h"
#include "support/Formats.h"

using namespace platform;
using namespace testing_support;

namespace {

const std::string kShipped = std::string(SONAVOXA_PROGRAM_DIR) + "/sonavoxa.mdb";

// A copy, so that no test can change the shipped file.
class ShippedDatabase : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(kShipped)) << kShipped;
        std::filesystem::copy_file(kShipped, folder_ / "sonavoxa.mdb");
        db_ = DBEngine::Instance().OpenDatabase(folder_ / "sonavoxa.mdb");
    }
    TempFolder folder_;
    Database db_;
};

}  // namespace

TEST_F(ShippedDatabase, HasEveryTableColumnAndIndexOfFormat34) {
    installation_test::ExpectTables(db_, installation_test::Format34Tables());
}

TEST_F(ShippedDatabase, IsVersion34WithoutTitlesOrOtherRows) {
    EXPECT_EQ(Rows(db_, "select Version from db_version"), "3.4\n");
    for (const auto& t : installation_test::Format34Tables()) {
        if (t.name == "db_version") continue;
        EXPECT_EQ(Rows(db_, "select count(*) from [" + t.name + "]"), "0\n") << t.name;
    }
}

TEST_F(ShippedDatabase, HoldsTheSixStoredQueriesOfTheirKind) {
    struct Expected {
        const char* name;
        int type;
    };
    const Expected expected[] = {{"v_tree_dir", dbQSelect}, {"QU_UpadateTreeDirAnzahl", dbQSelect},
                                 {"UPDATE_TREE_GENRE", 64}, {"UPDATE_TREE_GENRE_interpret", 64},
                                 {"UPDATE_TREE_ALBUM", 64}, {"UPDATE_TREE_interpret", 64}};
    auto queries = db_.QueryDefs();
    EXPECT_EQ(queries.Count(), std::size(expected));
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        QueryDef q = queries.Item(e.name);
        EXPECT_EQ(q.Name(), e.name) << "spelling";
        EXPECT_EQ(q.Type(), e.type);
        if (std::string(e.name) == "QU_UpadateTreeDirAnzahl") {
            ASSERT_EQ(q.Parameters().Count(), 1u);
            EXPECT_EQ(q.Parameters()[0].Name(), "sPath");
            EXPECT_EQ(q.Parameters()[0].Type(), dbText);
        } else {
            EXPECT_EQ(q.Parameters().Count(), 0u);
        }
    }
}
