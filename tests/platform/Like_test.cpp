// Jet's `like` as a caller meets it: through SQL on a real database, with the pattern written
// as a literal, taken from a column, or passed as a query parameter. Each way runs through a
// different route (SQLite's LIKE narrowed by jet_like, jet_like alone, a bound pattern), so
// every case is checked all three ways.
#include <gtest/gtest.h>

#include <string>

#include "platform/DBEngine.h"
#include "support/EngineTestSupport.h"

using namespace platform;
using namespace testing_support;

namespace {

struct LikeCase {
    const char* text;
    const char* pattern;
    bool matches;
};

const LikeCase kCases[] = {
    // * any run, ? one character; backslashes and Jet's non-wildcards % and _ are plain.
    {"C:\\Music\\Rock\\", "C:\\Music\\*", true},
    {"C:\\Musik\\", "C:\\Music\\*", false},
    {"C:\\Music_Jazz\\", "C:\\Music\\*", false},
    {"C:\\Music_Jazz\\", "c:\\music_*", true},
    {"C:\\MusicXJazz\\", "c:\\music_*", false},
    {"\\\\srv\\share\\", "\\\\srv\\*", true},
    {"D:\\", "?:\\*", true},
    {"ac", "a?c", false},
    {"100%", "100%", true},
    {"1000", "100%", false},
    {"", "?", false},
    {"abcabc", "*abc", true},
    {"abcab", "*a*b*c", false},
    {"Guns N' Roses", "*N' Roses", true},
    // # one digit.
    {"a1c", "a#c", true},
    {"2005-03-04", "2005-03-0#", true},
    // Character lists, ranges and negated lists; [] stands for nothing, [*] for a star.
    {"bat", "[bc]at", true},
    {"rat", "[bc]at", false},
    {"rat", "[!bc]at", true},
    {"M", "[a-z]", true},
    {"5", "[a-z]", false},
    {"a*b", "a[*]b", true},
    {"ab", "a[]b", true},
    {"[x", "[x", true},
    // Letters compare without regard to case, also outside ASCII.
    {"c:\\music\\", "C:\\MUSIC\\*", true},
    {"Ärger", "ä*", true},
    {"Die Ärzte", "*ÄRZTE", true},
    {"Bjork", "Bjö*", false},
};

class LikeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db_ = CreateDatabaseWith(folder_ / "like.mdb",
                                 {"CREATE TABLE words (id LONG, w TEXT(255), pattern TEXT(255))"});
        db_.SetAllowZeroLength("words", "w", true);
        int id = 0;
        for (const LikeCase& c : kCases) {
            db_.Execute("insert into words values (" + std::to_string(++id) + ", " +
                        Literal(c.text) + ", " + Literal(c.pattern) + ")");
        }
        db_.CreateQueryDef("matching",
                           "PARAMETERS p Text(255), k Long; SELECT Count(*) AS n FROM words "
                           "WHERE id = k AND w Like p");
    }

    static std::string Literal(const std::string& text) {
        std::string out = "'";
        for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
        return out + "'";
    }

    TempFolder folder_;
    Database db_;
};

}  // namespace

TEST_F(LikeTest, EveryCaseMatchesAlikeWrittenFromAColumnAndBound) {
    QueryDef bound = db_.QueryDefs().Item("matching");
    std::string fromColumn;
    int id = 0;
    for (const LikeCase& c : kCases) {
        SCOPED_TRACE(std::string(c.text) + " like " + c.pattern);
        const std::string row = std::to_string(++id);
        const std::string where = "id = " + row + " and w ";
        EXPECT_EQ(
            Rows(db_, "select count(*) from words where " + where + "like " + Literal(c.pattern)),
            c.matches ? "1\n" : "0\n");
        EXPECT_EQ(Rows(db_, "select count(*) from words where " + where + "not like " +
                                Literal(c.pattern)),
                  c.matches ? "0\n" : "1\n");
        if (c.matches) fromColumn += row + "\n";
        bound.Parameters().Item("p").SetValue(Value::FromText(c.pattern));
        bound.Parameters().Item("k").SetValue(Value::FromInteger(id));
        Recordset rs = bound.OpenRecordset(dbOpenSnapshot);
        EXPECT_EQ(rs["n"].Value().AsInteger(), c.matches ? 1 : 0);
    }
    EXPECT_EQ(Rows(db_, "select id from words where w like pattern order by id"), fromColumn);
    // As a value, the comparison is Jet's truth value.
    EXPECT_EQ(Rows(db_, "select (w like pattern) from words where id in (1, 2) order by id"),
              "-1\n0\n");
}

TEST_F(LikeTest, NullNeitherMatchesNorFailsToMatch) {
    db_.Execute("insert into words (id, w, pattern) values (100, null, '*')");
    EXPECT_EQ(Rows(db_, "select count(*) as n from words where id = 100 and w like '*'"), "0\n");
    EXPECT_EQ(Rows(db_, "select count(*) as n from words where id = 100 and w not like '*'"),
              "0\n");
    EXPECT_EQ(Rows(db_, "select (w like pattern) as m from words where id = 100"), "<null>\n");
}
