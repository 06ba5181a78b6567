#include "platform/jetfile/JetFileReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "platform/DBEngine.h"
#include "platform/JetError.h"
#include "platform/jetfile/DefaultValues.h"
#include "platform/jetfile/IndexDefinitions.h"
#include "platform/jetfile/JetStoredValues.h"
#include "platform/jetfile/StandardErrorCapture.h"
#include "support/EngineTestSupport.h"
#include "support/Formats.h"

namespace platform {
namespace {

const std::string kJet = std::string(SONAVOXA_FIXTURES) + "/jet/";
const std::string kBroken = std::string(SONAVOXA_FIXTURES) + "/jet-broken/";

using testing_support::FileBytes;
using testing_support::JetErrorOf;

int ErrorNumberOpening(const std::string& path) {
    return JetErrorOf([&] {
        JetFileReader reader(path);
        for (const TableDescription& t : reader.Tables())
            reader.ReadRows(t.Name, [](const std::vector<WireValue>&) {});
    });
}

class LibraryFixture : public ::testing::TestWithParam<std::string> {};

// Through the engine, against the format written out independently of the fixtures.
TEST_P(LibraryFixture, HoldsTheTablesOfFormat25) {
    Database db = DBEngine::Instance().OpenDatabase(kJet + GetParam() + ".mdb");
    installation_test::ExpectTables(db,
                                    installation_test::Format25Tables(GetParam() == "library-2.5"));
}

INSTANTIATE_TEST_SUITE_P(JetFileReader, LibraryFixture,
                         ::testing::Values("library-2.5", "library-2.5-nosid"));

TEST(JetFileReader, OpeningBadFilesRaisesTheJetError) {
    const std::vector<std::pair<std::string, int>> cases = {
        {kJet + "missing.mdb", jet::kFileNotFound},
        {kJet, jet::kFileNotFound},  // a folder
        {kJet + "not-a-database.mdb", jet::kUnrecognizedFormat},
        {kBroken + "empty.mdb", jet::kUnrecognizedFormat},
        {kBroken + "header-only.mdb", jet::kCannotOpenDatabase},
        {kBroken + "header-then-garbage.mdb", jet::kCannotOpenDatabase},
        {kBroken + "truncated-inside-page.mdb", jet::kCannotOpenDatabase},
        {kBroken + "truncated-at-page.mdb", jet::kCannotOpenDatabase},
    };
    for (const auto& [path, number] : cases) {
        EXPECT_EQ(ErrorNumberOpening(path), number) << path;
    }
    JetFileReader withoutVersion(kJet + "no-version-table.mdb");
    EXPECT_EQ(JetErrorOf([&] { withoutVersion.ReadRows("db_version", [](const auto&) {}); }),
              jet::kInputTableNotFound);
    try {
        JetFileReader reader(kJet + "not-a-database.mdb");
    } catch (const JetError& e) {
        EXPECT_EQ(e.Description(),
                  "Unrecognized database format '" + kJet + "not-a-database.mdb'.");
    }
}

// Damage every page of a real file in turn, and truncate it at every page: each copy must
// open and read, or raise JetError; none may crash or hang (run under AddressSanitizer too).
TEST(JetFileReader, DamagedAndTruncatedCopiesRaiseJetErrorWithoutCrashing) {
    testing_support::TempFolder dir;
    const std::string original = FileBytes(kJet + "library-2.5.mdb");
    const size_t pageSize = 4096;
    const size_t pages = original.size() / pageSize;
    uint32_t seed = 2005;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<char>(seed >> 16);
    };
    int raised = 0;
    for (size_t page = 1; page < pages; ++page) {
        for (int variant = 0; variant < 3; ++variant) {
            std::string copy = original;
            if (variant == 0) {
                for (size_t i = 0; i < pageSize; ++i) copy[page * pageSize + i] = next();
            } else if (variant == 1) {
                // Keep the page type and owner, damage the row table and the rows.
                for (size_t i = 8; i < pageSize; i += 7) copy[page * pageSize + i] = next();
            } else {
                copy.resize(page * pageSize);
            }
            const std::string path = dir.Write("damaged.mdb", copy);
            const int number = ErrorNumberOpening(path);
            EXPECT_TRUE(number == 0 || number == jet::kCannotOpenDatabase)
                << "page " << page << " variant " << variant << ": " << number;
            raised += number != 0;
        }
    }
    EXPECT_GT(raised, static_cast<int>(pages));  // at least every truncated copy
}

// Found by fuzzing: a stored date far outside Jet's years overflowed the conversion to a
// calendar date (undefined behaviour) instead of reading as damage.
TEST(JetFileReader, ADateOutsideJetsYearsReadsAsNull) {
    const std::string path = std::string(SONAVOXA_FIXTURES) + "/jet-fuzz/date-out-of-range.mdb";
    Database db = DBEngine::Instance().OpenDatabase(path, false, true);
    int dates = 0;
    for (const std::string& name : db.TableDefs().Names()) {
        if (db.TableDefs().Item(name).Attributes() != 0) continue;
        Recordset rs = db.OpenRecordset(name);
        for (; !rs.Eof(); rs.MoveNext()) {
            for (Field& field : rs.Fields()) {
                if (field.Type() != dbDate || field.Value().IsNull()) continue;
                const double days = field.Value().ToDouble();
                EXPECT_TRUE(days >= -657434.0 && days < 2958466.0) << name << "." << field.Name();
                ++dates;
            }
        }
    }
    EXPECT_GT(dates, 0);
}

// Defaults come from the field properties the file holds; Jet 3 marks ordinary text fields
// with the bit that libmdb takes for "automatic GUID".
TEST(JetFileReader, FieldsOfAJet3FileHaveOnlyTheDefaultsTheFileHolds) {
    const std::map<std::string, std::string> defaults = {
        {"Order Details.UnitPrice", "0"}, {"Order Details.Quantity", "1"},
        {"Order Details.Discount", "0"},  {"Orders.Freight", "0"},
        {"Products.UnitPrice", "0"},      {"Products.UnitsInStock", "0"},
        {"Products.UnitsOnOrder", "0"},   {"Products.ReorderLevel", "0"},
        {"Products.Discontinued", "=No"}, {"Umsätze.Freight", "0"},
    };
    JetFileReader reader(kJet + "northwind-jet3.mdb");
    ASSERT_EQ(reader.Tables().size(), 9u);
    for (const TableDescription& table : reader.Tables()) {
        for (const FieldDescription& f : table.Fields) {
            const std::string key = table.Name + "." + f.Name;
            const auto it = defaults.find(key);
            EXPECT_EQ(f.DefaultValue, it == defaults.end() ? "" : it->second) << key;
        }
    }
}

// The table definition of TableIgnoreNulls2, cut at every length: the index part reads whole
// or not at all, and never from outside the bytes (run under AddressSanitizer too).
TEST(JetFileReader, IndexDefinitionsCutShortReadAsNothing) {
    const std::string file = FileBytes(kJet + "index-properties-jet4.mdb");
    const size_t page = 37;
    const std::vector<uint8_t> definition(file.begin() + page * 4096,
                                          file.begin() + (page + 1) * 4096);
    const auto whole = ReadIndexDefinitions(definition, true);
    ASSERT_TRUE(whole);
    ASSERT_EQ(whole->size(), 2u);

    size_t complete = definition.size();
    for (size_t length = 0; length < definition.size(); ++length) {
        const std::vector<uint8_t> cut(definition.begin(),
                                       definition.begin() + static_cast<std::ptrdiff_t>(length));
        const auto indexes = ReadIndexDefinitions(cut, true);
        if (indexes) {
            complete = std::min(complete, length);
            EXPECT_EQ(indexes->size(), 2u);
        } else {
            EXPECT_LT(length, complete) << "read whole once, then not at a greater length";
        }
    }
    EXPECT_LT(complete, definition.size());
}

// A default the engine cannot compute would be stored as its own text in every new row.
TEST(JetFileReader, OnlyDefaultsTheEngineComputesAreCarriedOver) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"", true},
        {"-1.5", true},
        {"=No", true},
        {"Null", true},
        {"'it''s'", true},
        {"\"say \"\"hi\"\"\"", true},
        {"#1/1/2000#", true},
        {" = date() ", true},
        {"GenGUID()", false},
        {"=Date()+30", false},
        {"DMax(\"Nr\",\"t\")+1", false},
        {"\"a\" & \"b\"", false},
    };
    for (const auto& [text, carried] : cases) {
        EXPECT_EQ(EngineFillsInDefault(text), carried) << text;
    }
}

TEST(JetFileReader, Jet4TextDecodesCompressedRunsAndSurrogatePairs) {
    const struct {
        std::vector<uint8_t> stored;
        std::string text;
    } cases[] = {
        {{0xff, 0xfe, 'A', 'b', 0xe4}, "Ab\u00e4"},
        {{0xff, 0xfe, 'A', 0, 0x3b, 0x04, 0, 'z'}, "A\u043bz"},
        {{0xff, 0xfe, 0, 0x3d, 0xd8, 0x01, 0xde, 0, '!'}, "\U0001F601!"},
        {{'A', 0, 0x3d, 0xd8, 0x00, 0xde}, "A\U0001F600"},
        {{0x3d, 0xd8, 'A', 0}, "\ufffdA"},
        {{0x00, 0xde, 'A', 0}, "\ufffdA"},
        {{'A', 0, 0x3d, 0xd8}, "A\ufffd"},
        {{'A', 0, 'B'}, "A"},
        {{0xff, 0xfe}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeJet4Text(c.stored.data(), c.stored.size()), c.text)
            << "stored " << c.stored.size() << " bytes, expected " << c.text;
    }
}

TEST(JetFileReader, StandardErrorCapturesNestAndEachKeepsItsOwnText) {
    std::string inner, outer;
    {
        StandardErrorCapture outerCapture;
        std::fprintf(stderr, "a\n");
        {
            StandardErrorCapture innerCapture;
            std::fputs("b\n", stderr);
            inner = innerCapture.Finish();
            EXPECT_EQ(innerCapture.Finish(), "");
        }
        std::fprintf(stderr, "c\n");
        outer = outerCapture.Finish();
    }
    EXPECT_EQ(inner, "b\n");
    EXPECT_EQ(outer, "a\nc\n");
    StandardErrorCapture again;
    std::fprintf(stderr, "d");
    EXPECT_EQ(again.Finish(), "d");
}

}  // namespace
}  // namespace platform
