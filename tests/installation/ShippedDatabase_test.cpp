// The sonavoxa.mdb that the build puts into the program folder, checked through the engine.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/DBEngine.h"
#include "support/EngineTestSupport.h"
#include "support/Formats.h"

using namespace platform;
using namespace testing_support;

namespace {

class ShippedDatabase : public ::testing::Test {
  protected:
    void SetUp() override {
        db_ = DBEngine::Instance().OpenDatabase(CopyOfShippedDatabase(folder_ / "sonavoxa.mdb"));
    }
    TempFolder folder_;
    Database db_;
};

}  // namespace

TEST_F(ShippedDatabase, HasEveryTableColumnAndIndexOfFormat34) {
    installation_test::ExpectTables(db_, installation_test::Format34Tables());
}

// The stored queries run in the folder-query and maintenance tests; here only their names.
TEST_F(ShippedDatabase, IsVersion34WithTheSixStoredQueriesAndNoOtherRows) {
    EXPECT_EQ(Rows(db_, "select Version from db_version"), "3.4\n");
    for (const auto& t : installation_test::Format34Tables()) {
        if (t.name == "db_version") continue;
        EXPECT_EQ(Rows(db_, "select count(*) from [" + t.name + "]"), "0\n") << t.name;
    }
    EXPECT_EQ(db_.QueryDefs().Names(),
              (std::vector<std::string>{"QU_UpadateTreeDirAnzahl", "UPDATE_TREE_ALBUM",
                                        "UPDATE_TREE_GENRE", "UPDATE_TREE_GENRE_interpret",
                                        "UPDATE_TREE_interpret", "v_tree_dir"}));
}
