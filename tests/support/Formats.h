// The two database formats as the design notes give them, written out independently of the
// scripts under data/, and a check of an open database against them through the engine.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/Database.h"
#include "platform/NamedList.h"
#include "platform/TableDescription.h"

namespace installation_test {

// One column: "Name Type" with Type one of AutoNumber, Long, Integer, Boolean, Single, Double,
// Date, Text(n), optionally followed by " default X" (a Boolean's as False).
struct ExpectedIndex {
    std::string name;
    std::vector<std::string> fields;
    bool primary;
};

struct ExpectedTable {
    std::string name;
    std::vector<std::string> columns;
    std::vector<ExpectedIndex> indexes;
};

// The columns of a comma-separated list, in order.
inline std::vector<std::string> Columns(const std::string& list) {
    std::vector<std::string> columns;
    std::istringstream in(list);
    for (std::string column; std::getline(in >> std::ws, column, ',');) columns.push_back(column);
    return columns;
}

// The 34 title columns of format 2.5 with the column at position 7 given.
inline std::vector<std::string> TitleColumns(const std::string& fid, const std::string& genre) {
    std::vector<std::string> c = Columns(
        "Titel Text(255), Interpret Text(255), Kommentar Text(255), Album Text(255), "
        "Jahr Text(10)");
    c.insert(c.begin(), fid);
    c.push_back(genre);
    for (const std::string& more :
         Columns("Path Text(255), DName Text(255), DTimeMsec Long, DTime Text(10), DLen Long, "
                 "DTSDatei Date, DTSImport Date, DKhz Long, DBit Long, BPM Single, DEL Boolean, "
                 "Play Boolean, PlayCountDay Long, PlayCountAll Long, Note Integer, Track Integer, "
                 "FrameStart Long, FrameStop Long, Normalize Single, Volume Integer, Pitch Single, "
                 "DriveTyp Integer, DriveName Text(50), MixTime Long, MixIn Text(255), "
                 "MixOut Text(255), EQ Text(255)"))
        c.push_back(more);
    return c;
}

inline std::vector<std::string> TitleColumns34(const std::string& fid) {
    std::vector<std::string> c = TitleColumns(fid, "Genre Text(50)");
    for (const char* more :
         {"Favorit Boolean", "Image Text(255)", "Situation Text(50)", "Tempo Text(50)",
          "Stimmung Text(50)", "Kategorie Text(50)", "User1 Text(50)", "User2 Text(50)",
          "User3 Text(50)", "User4 Text(50)", "User5 Text(50)"})
        c.push_back(more);
    return c;
}

inline ExpectedIndex Pk(std::vector<std::string> fields) {
    return {"PrimaryKey", std::move(fields), true};
}
inline ExpectedIndex Ix(const std::string& field) { return {field, {field}, false}; }

inline std::vector<ExpectedTable> Format25Tables(bool withSid) {
    std::vector<std::string> plName = {"NID AutoNumber", "name Text(100)", "isplay Boolean",
                                       "activ Boolean",  "grid Long",      "anzahl Long",
                                       "UpdateTime Date"};
    if (withSid) plName.push_back("sid Long");
    return {
        {"db_version", {"Version Text(10)"}, {}},
        {"genre", {"genre_id Long", "name Text(50)"}, {Pk({"genre_id"})}},
        {"db_all",
         TitleColumns("FID AutoNumber", "Genre_ID Long"),
         {Pk({"FID"}), Ix("Path"), Ix("Genre_ID")}},
        {"pl_group", {"GRID AutoNumber", "name Text(100)", "pos Long"}, {Pk({"GRID"})}},
        {"pl_name", plName, {Pk({"NID"})}},
        {"pl_all",
         {"PID AutoNumber", "pnid Long", "FID Long", "pos Long", "mixin Text(255)",
          "mixout Text(255)"},
         {Pk({"PID"})}},
        {"db_edit", {"EID AutoNumber", "FID Long", "EditTime Date"}, {Pk({"EID"})}},
        {"pl_stat", {"STID AutoNumber", "FID Long", "pnid Long", "PlayTime Date"}, {Pk({"STID"})}},
        {"PL_MIXSETS",
         {"MSID AutoNumber", "name Text(50)", "mixin Text(255)", "mixout Text(255)",
          "fadetime Long"},
         {Pk({"MSID"})}},
    };
}

inline std::vector<ExpectedTable> Format34Tables() {
    std::vector<ExpectedTable> t = Format25Tables(true);
    for (ExpectedTable& table : t) {
        if (table.name == "db_all") {
            table.columns = TitleColumns34("FID AutoNumber");
            table.indexes = {Pk({"FID"}), Ix("Path"), Ix("Genre"), Ix("Album"), Ix("Interpret")};
        } else if (table.name == "pl_name") {
            table.columns[5] = "anzahl Long default 0";
            table.columns.push_back("sicherung Boolean default False");
        }
    }
    const std::vector<std::string> flat = {"Name Text(255)", "anzahl Long", "imgkey Text(50)",
                                           "tstamp Double", "favorit Boolean default False"};
    t.push_back({"x_tree_dir",
                 {"rlevel Integer", "bname Text(255)", "Name Text(255)", "Path Text(255)",
                  "vName Text(50)", "Drive Integer", "anzahl Long", "imgkey Text(50)",
                  "BAnzahl Long", "tstamp Double", "favorit Boolean default False"},
                 {Pk({"Path", "vName"})}});
    for (const char* name : {"x_tree_album", "x_TREE_INTERPRET", "x_TREE_GENRE"})
        t.push_back({name, flat, {Pk({"Name"})}});
    std::vector<std::string> genreInterpret = flat;
    genreInterpret.insert(genreInterpret.begin(), "Genre Text(50)");
    t.push_back({"x_TREE_GENRE_INTERPRET", genreInterpret, {Pk({"Genre", "Name"})}});
    std::vector<std::string> defaults = flat;
    defaults[0] = "name Text(255)";
    t.push_back({"x_TREE_default", defaults, {Pk({"name"})}});
    for (const char* name : {"X_TEMP_MP3Edit", "X_TEMP_MP3Import"})
        t.push_back({name, TitleColumns34("FID Long"), {}});
    const std::vector<std::string> import = {"pos Long", "Path Text(255)", "DName Text(255)",
                                             "Titel Text(255)", "DTimeMsec Long"};
    t.push_back({"X_TEMP_PLImport", import, {}});
    t.push_back({"X_TEMP_PLImportM3U", import, {}});
    t.push_back({"X_TEMP_PL_UNDO",
                 {"PID Long", "pnid Long", "FID Long", "pos Long", "mixin Text(255)",
                  "mixout Text(255)", "UndoStep Long"},
                 {}});
    return t;
}

// A field in the notation of the expected columns. A Boolean default may be spelt False, No or
// 0; the other defaults are compared as they are written.
inline std::string Describe(const platform::Field& f) {
    const int32_t type = f.Type();
    std::string text = f.Name() + " ";
    if (type == platform::dbText) {
        text += "Text(" + std::to_string(f.Size()) + ")";
    } else if (type == platform::dbLong && (f.Attributes() & platform::dbAutoIncrField)) {
        text += "AutoNumber";
    } else {
        const std::pair<int, const char*> names[] = {
            {platform::dbLong, "Long"},       {platform::dbInteger, "Integer"},
            {platform::dbBoolean, "Boolean"}, {platform::dbSingle, "Single"},
            {platform::dbDouble, "Double"},   {platform::dbDate, "Date"}};
        text += "type " + std::to_string(type);
        for (const auto& [known, name] : names)
            if (known == type) text = f.Name() + " " + name;
    }
    std::string defaultValue = f.DefaultValue();
    const std::string lower = platform::LowerName(defaultValue);
    if (type == platform::dbBoolean && (lower == "no" || lower == "0" || lower == "false"))
        defaultValue = "False";
    return defaultValue.empty() ? text : text + " default " + defaultValue;
}

// Every user table of `db` is one of `expected` and the other way round; each has exactly the
// expected columns (order, type, size, auto-increment, fixed or variable, default; text fields
// not required and allowing zero-length text) and exactly the expected indexes.
inline void ExpectTables(platform::Database& db, const std::vector<ExpectedTable>& expected) {
    std::vector<std::string> actualNames, expectedNames;
    auto tables = db.TableDefs();
    for (const std::string& name : tables.Names()) {
        platform::TableDef def = tables.Item(name);
        EXPECT_FALSE(def.IsLink()) << name;
        if (def.Attributes() == 0) actualNames.push_back(name);
    }
    for (const ExpectedTable& t : expected) expectedNames.push_back(t.name);
    std::sort(actualNames.begin(), actualNames.end());
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(actualNames, expectedNames);

    for (const ExpectedTable& t : expected) {
        SCOPED_TRACE(t.name);
        platform::TableDef def;
        try {
            def = tables.Item(t.name);
        } catch (const platform::JetError&) {
            continue;  // reported above
        }
        EXPECT_EQ(def.Name(), t.name) << "spelling";
        ASSERT_EQ(def.Fields().Count(), t.columns.size());
        for (size_t i = 0; i < t.columns.size(); ++i) {
            const platform::Field& f = def.Fields()[i];
            SCOPED_TRACE(t.columns[i]);
            EXPECT_EQ(Describe(f), t.columns[i]);
            const bool text = f.Type() == platform::dbText;
            if (!text) {
                EXPECT_EQ(f.Size(), platform::DefaultFieldSize(f.Type()));
            }
            // Fixed or variable by type; only a counter counts by itself.
            const bool counter = Describe(f).find(" AutoNumber") != std::string::npos;
            EXPECT_EQ(f.Attributes() & ~platform::dbUpdatableField,
                      (text ? platform::dbVariableField : platform::dbFixedField) |
                          (counter ? platform::dbAutoIncrField : 0));
            EXPECT_FALSE(f.Required());
            if (text) {
                EXPECT_TRUE(f.AllowZeroLength());
            }
        }
        ASSERT_EQ(def.Indexes().Count(), t.indexes.size());
        for (const ExpectedIndex& want : t.indexes) {
            SCOPED_TRACE(want.name);
            const platform::Index* index = def.Indexes().Find(want.name);
            ASSERT_NE(index, nullptr);
            EXPECT_EQ(index->Name(), want.name);
            EXPECT_EQ(index->Primary(), want.primary);
            EXPECT_EQ(index->Unique(), want.primary);
            std::vector<std::string> fields;
            for (const auto& f : index->Fields()) {
                fields.push_back(f.Name);
                EXPECT_FALSE(f.Descending);
            }
            EXPECT_EQ(fields, want.fields);
        }
    }
}

}  // namespace installation_test
