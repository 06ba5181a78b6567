// The migration plan: registration and keyed lookup; and the two small rules the plan's users
// apply (the version pattern and the mix-text rewrite). The title query runs in every migration.
#include "migration/RivivuviRU.h"

#include <gtest/gtest.h>

#include "MigrationFixture.h"
#include "migration/ColumnRules.h"
#include "migration/LikePattern.h"
#include "migration/PlanEntries.h"

namespace migration {
namespace {

using testing_support::JetErrorOf;

std::shared_ptr<MigriereTable> Entry(const std::string& name) {
    auto entry = std::make_shared<MigriereTable>();
    entry->TableName = name;
    return entry;
}

TEST(RivivuviRU, LooksUpKeysWithoutRegardToLetterCaseAndRefusesADuplicate) {
    RivivuviRU plan;
    RegisterPlanEntries(plan);
    EXPECT_EQ(&plan.GetMigTable("PL_ALL"), plan.GetMigTables()[6].get());
    EXPECT_EQ(&plan.GetMigTable("pl_mixsets"), plan.GetMigTables()[5].get());
    EXPECT_EQ(JetErrorOf([&] { plan.GetMigTable("genre"); }), platform::jet::kInvalidArgument);
    EXPECT_EQ(JetErrorOf([&] { plan.GetMigTable(""); }), platform::jet::kInvalidArgument);
    EXPECT_EQ(JetErrorOf([&] { plan.AddMigTable(Entry("DB_ALL")); }), kDuplicateCollectionKey);
    EXPECT_EQ(JetErrorOf([&] { plan.AddMigTable(nullptr); }), platform::jet::kInvalidArgument);
    EXPECT_EQ(plan.GetMigTables().size(), 7u);
}

TEST(Like, MatchesVisualBasicPatterns) {
    struct Case {
        const char* text;
        const char* pattern;
        bool match;
    };
    const Case cases[] = {
        {"2.5", "*2.5*", true},
        {"2.5", "**", true},
        {"2.5", "*3.4*", false},
        {"2.5", "*2.5.1*", false},
        {"2.5", "*?.?*", true},
        {"2.5", "#.##", false},
        {"2.5", "[0-3].[!0-4]", true},
        {"2.5", "[!2]*", false},
        {"2.5", "*[]2.5", true},
        {"abc", "ABC", false},
        {"a-b", "a[-]b", true},
        {"äöü", "?ö?", true},
        {"", "?", false},
        {"xzy", "x[*]y", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Like(c.text, c.pattern), c.match) << c.text << " like " << c.pattern;
    }
    EXPECT_EQ(JetErrorOf([] { Like("2.5", "*[2*"); }), kInvalidPatternString);
}

TEST(RewriteMixText, TurnsMinusOneIntoZeroThenDropsFourCommaRuns) {
    const std::pair<const char*, const char*> cases[] = {
        {"-1,5,,,,", "0,5"},   {"-12", "02"},    {",,,,,,", ",,"},
        {"3,4", "3,4"},        {"", ""},         {"-1-1", "00"},
        {"--11", "-01"},       {",,,,,,,,", ""}, {"-1,,,,-1", "00"},
        {"1,-1,,,,,", "1,0,"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(RewriteMixText(in), out) << in;
}

}  // namespace
}  // namespace migration
