// The playlist recount and the sound code. (The favourites file's lines are read back in every
// favourite-keeping rebuild of the tree tests.)
#include <string>

#include "TreeLibrary.h"

using namespace maintenance::testing_support;

namespace {

using PlaylistCount = TreeLibrary;

TEST_F(PlaylistCount, WritesOnlyCountsThatChanged) {
    struct Case {
        int nid;
        std::string stored;
        int entries;
        std::string after;
    };
    const Case cases[] = {{1, "5", 3, "3"}, {2, "2", 0, "0"}, {3, "4", 4, "4"}, {4, "Null", 2, ""}};
    for (const Case& c : cases) {
        db.Execute("insert into pl_name (NID, name, anzahl, UpdateTime) values (" +
                   std::to_string(c.nid) + ", 'p', " + c.stored + ", #2001-02-03#)");
        for (int i = 0; i < c.entries; ++i)
            db.Execute("insert into pl_all (pnid, FID, pos) values (" + std::to_string(c.nid) +
                       ", 1, " + std::to_string(i) + ")");
    }
    const auto outcome = maintenance->UpdatePlnameCount();
    EXPECT_FALSE(outcome.Failed()) << outcome.errorText;
    EXPECT_EQ(outcome.rowsWritten, 2);
    for (const Case& c : cases) {
        auto rs = db.OpenRecordset("select anzahl, UpdateTime from pl_name where NID=" +
                                   std::to_string(c.nid));
        EXPECT_EQ(rs["anzahl"].Value().ToDisplayText(), c.after) << c.nid;
        const bool rewritten = c.after != c.stored && c.stored != "Null";
        EXPECT_EQ(rs["UpdateTime"].Value().ToDisplayText() == "2001-02-03 00:00:00", !rewritten)
            << c.nid;
    }
}

TEST_F(PlaylistCount, EmptyPlaylistTableIsNoFailure) {
    const auto outcome = maintenance->UpdatePlnameCount();
    EXPECT_TRUE(outcome.completed);
    EXPECT_FALSE(outcome.Failed());
    EXPECT_EQ(outcome.rowsWritten, 0);
}

using SoundCode = TreeLibrary;

TEST_F(SoundCode, CodesNamesAsTheApplicationDoes) {
    const maintenance::UpdateDB& update = *maintenance;
    const std::pair<const char*, const char*> cases[] = {
        {"Robert", "R163"},  {"Rupert", "R163"},    {"Tymczak", "T522"},  {"Pfister", "P236"},
        {"Lloyd", "L300"},   {"Gutierrez", "G362"}, {"Honeyman", "H555"}, {"Ashcraft", "A226"},
        {"O'Brien", "O165"}, {"Müller", "M460"},    {"smith", "S530"},    {"3M", "M000"},
        {"", "0000"},        {"12 - !", "0000"},    {"A", "A000"},        {" éa", "A000"}};
    for (const auto& [in, code] : cases) EXPECT_EQ(update.Soundex(in), code) << in;
    EXPECT_EQ(update.Soundex(std::string(32767, 'b')), "B000");
    EXPECT_EQ(JetErrorOf([&] { update.Soundex(std::string(32768, 'b')); }), 6);
}

}  // namespace
