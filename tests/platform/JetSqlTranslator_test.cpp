#include "platform/jetsql/JetSqlTranslator.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/JetError.h"
#include "platform/jetsql/JetFunctions.h"
#include "platform/jetsql/LikePattern.h"
#include "support/EngineTestSupport.h"

namespace platform {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class FakeResolver : public SqlNameResolver {
  public:
    void Table(const std::string& name) {
        refs_[Key(name)] = {"\"db1\".\"" + name + "\"", false, ""};
    }
    void Query(const std::string& name, const std::string& jetSql) {
        refs_[Key(name)] = {"", true, jetSql};
    }
    std::optional<TableReference> ResolveTable(std::string_view name) override {
        const auto it = refs_.find(Key(std::string(name)));
        if (it == refs_.end()) return std::nullopt;
        return it->second;
    }

  private:
    static std::string Key(std::string s) {
        for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    }
    std::map<std::string, TableReference> refs_;
};

struct CloseDb {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};

// The columns of the library's tables that the statements below touch, in an attached schema
// "db1" as the engine lays them out.
constexpr const char* kSchema = R"(
CREATE TABLE db1.genre (genre_id INTEGER PRIMARY KEY, name TEXT COLLATE NOCASE);
CREATE TABLE db1.db_all (FID INTEGER PRIMARY KEY, Titel TEXT COLLATE NOCASE,
  Interpret TEXT COLLATE NOCASE, Genre_ID INTEGER, Path TEXT COLLATE NOCASE,
  DName TEXT COLLATE NOCASE, DTSImport TEXT, DEL INTEGER, DriveTyp INTEGER,
  DriveName TEXT COLLATE NOCASE, Tempo TEXT COLLATE NOCASE);
CREATE INDEX db1.db_all_Path ON db_all (Path COLLATE NOCASE);
CREATE TABLE db1.tree_dir (rlevel INTEGER, bname TEXT COLLATE NOCASE, Name TEXT COLLATE NOCASE,
  Path TEXT COLLATE NOCASE, vName TEXT COLLATE NOCASE, Drive INTEGER, anzahl INTEGER,
  imgkey TEXT, BAnzahl INTEGER, tstamp REAL, favorit INTEGER DEFAULT 0, PRIMARY KEY (Path, vName));
CREATE TABLE db1.tree_genre (Name TEXT COLLATE NOCASE PRIMARY KEY, anzahl INTEGER, imgkey TEXT,
  tstamp REAL, favorit INTEGER DEFAULT 0);
CREATE TABLE db1.pl_name (NID INTEGER PRIMARY KEY, name TEXT COLLATE NOCASE, isplay INTEGER,
  activ INTEGER, grid INTEGER, anzahl INTEGER, UpdateTime TEXT, sid INTEGER);
CREATE TABLE db1.pl_all (PID INTEGER PRIMARY KEY, pnid INTEGER, FID INTEGER, pos INTEGER);
CREATE TABLE db1.artist (id INTEGER PRIMARY KEY, name TEXT COLLATE JET_GENERAL, plays INTEGER);
CREATE INDEX db1.artist_name ON artist (name);
INSERT INTO db1.artist (name, plays) VALUES ('Die Ärzte', 15), ('DIE ÄRZTE', -15),
  ('die arzte', 5), ('Dieter', 1), ('Björk', 0), ('-15', 2), (-15, 3), (7, 4);
INSERT INTO db1.genre VALUES (1, 'Rock'), (2, 'Pop');
INSERT INTO db1.db_all (FID, Titel, Interpret, Genre_ID, Path, DName, DTSImport, DEL, DriveTyp,
  DriveName, Tempo) VALUES
  (1, 'One', 'Abba', 1, 'C:\Music\Rock\', 'one.mp3', '2005-03-04 10:00:00', 0, 3, 'DATA', 'fast'),
  (2, 'Two', 'Abba', 2, 'C:\Music\Pop\', 'two.mp3', '2005-03-03 09:00:00', 0, 3, 'DATA', 'slow'),
  (3, 'Three', NULL, 1, 'C:\Music\Rock\', 'three.mp3', '2005-03-04 11:00:00', 0, 3, 'DATA', ''),
  (4, 'Gone', 'Ärzte', 9, 'D:\Other\', 'four.mp3', '2005-03-02 08:00:00', -1, 3, 'DATA', 'fast'),
  (5, 'Five', 'ärzte', 2, 'C:\Musik\', 'five.mp3', NULL, 0, 3, 'DATA', 'fast');
INSERT INTO db1.tree_dir (rlevel, Name, Path, vName, Drive, anzahl, favorit) VALUES
  (0, 'C:', 'C:\', 'DATA', 3, 0, 0), (1, 'Music', 'C:\Music\', 'DATA', 3, 0, 0),
  (2, 'Rock', 'C:\Music\Rock\', 'DATA', 3, 2, 0), (2, 'Pop', 'C:\Music\Pop\', 'DATA', 3, 1, 0),
  (2, 'Pop', 'C:\Music\Pop\', 'MIX01', 4, 7, 0), (1, 'Musik', 'C:\Musik\', 'DATA', 3, 1, 0);
INSERT INTO db1.tree_genre (Name, anzahl, favorit) VALUES ('Rock', 2, 0), ('Pop', 2, -1);
INSERT INTO db1.pl_name (NID, name, isplay, activ, grid) VALUES (1, 'Party', 0, -1, -1);
INSERT INTO db1.pl_all (pnid, FID, pos) VALUES (1, 1, 1), (1, 2, 2), (2, 3, 1);
)";

class SqlDb {
  public:
    SqlDb() {
        sqlite3* raw = nullptr;
        sqlite3_open(":memory:", &raw);
        db_.reset(raw);
        RegisterJetFunctions(raw);
        Exec("ATTACH ':memory:' AS db1");
        Exec(kSchema);
        for (const char* t :
             {"genre", "db_all", "tree_dir", "tree_genre", "pl_name", "pl_all", "artist"})
            resolver.Table(t);
    }

    void Exec(const std::string& sql) {
        char* err = nullptr;
        if (sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            const std::string text = err ? err : "?";
            sqlite3_free(err);
            throw std::runtime_error(text + " in " + sql);
        }
    }

    // Translates and runs a Jet statement, binding parameter values by position of
    // declaration as the engine does; rows as text, "<null>" for Null.
    Rows Run(const std::string& jetSql, const std::vector<std::string>& values = {},
             const TranslateOptions& options = {}) {
        const TranslatedStatement st = JetSqlTranslator().Translate(jetSql, resolver, options);
        last = st;
        return RunSql(st, values, false);
    }

    std::string Plan(const std::string& jetSql, const std::vector<std::string>& values = {}) {
        const TranslatedStatement st = JetSqlTranslator().Translate(jetSql, resolver);
        std::string out;
        for (const auto& row : RunSql(st, values, true)) out += row.back() + "\n";
        return out;
    }

    FakeResolver resolver;
    TranslatedStatement last;

  private:
    Rows RunSql(const TranslatedStatement& st, const std::vector<std::string>& values, bool plan) {
        const std::string sql = (plan ? "EXPLAIN QUERY PLAN " : "") + st.sql;
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string(sqlite3_errmsg(db_.get())) + " in " + sql);
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, sqlite3_finalize);
        // As the engine binds them: the value, its Like pattern and the ranges an index serves
        // (binding a name the statement lacks is a harmless SQLITE_RANGE).
        for (size_t i = 0; i < st.sqliteParameterNames.size() && i < values.size(); ++i) {
            const auto at = [&](const char* suffix) {
                return sqlite3_bind_parameter_index(raw,
                                                    (st.sqliteParameterNames[i] + suffix).c_str());
            };
            const LikePattern pattern(values[i]);
            const auto range = pattern.PrefixRange();
            sqlite3_bind_text(raw, at(""), values[i].c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(raw, at("_like"), pattern.SqlitePattern().c_str(), -1,
                              SQLITE_TRANSIENT);
            sqlite3_bind_text(raw, at("_from"), range ? range->first.c_str() : "", -1,
                              SQLITE_TRANSIENT);
            if (range) {
                sqlite3_bind_text(raw, at("_to"), range->second.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_blob(raw, at("_numfrom"), "\1", 1, SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_blob(raw, at("_to"), "", 1, SQLITE_TRANSIENT);
                sqlite3_bind_double(raw, at("_numfrom"), -HUGE_VAL);
            }
            sqlite3_bind_blob(raw, at("_numto"), "", 1, SQLITE_TRANSIENT);
        }
        Rows rows;
        int rc;
        while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int c = 0; c < sqlite3_column_count(raw); ++c) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, c));
                row.push_back(sqlite3_column_type(raw, c) == SQLITE_NULL ? "<null>" : text);
            }
            rows.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE)
            throw std::runtime_error(std::string(sqlite3_errmsg(db_.get())) + " in " + sql);
        return rows;
    }

    std::unique_ptr<sqlite3, CloseDb> db_;
};

using testing_support::JetErrorOf;

TEST(JetSqlTranslator, DeletesInEveryJetSpelling) {
    SqlDb db;
    db.Run("delete from tree_genre where name='Rock'");
    EXPECT_EQ(db.last.kind, StatementKind::Delete);
    EXPECT_EQ(db.last.targetTable, "tree_genre");
    EXPECT_EQ(db.Run("select name from tree_genre"), (Rows{{"Pop"}}));
    db.Run("DELETE * FROM tree_dir WHERE Drive = 4");
    db.Run("DELETE tree_dir.* FROM tree_dir WHERE tree_dir.rlevel = 0");
    EXPECT_EQ(db.Run("select count(*) from tree_dir"), (Rows{{"4"}}));
    // Rows of one table chosen through a join.
    db.Run(
        "DELETE pl_all.* FROM pl_all INNER JOIN pl_name ON pl_all.pnid = pl_name.NID "
        "WHERE pl_name.name = 'Party'");
    EXPECT_EQ(db.last.targetTable, "pl_all");
    EXPECT_EQ(db.Run("select pnid from pl_all"), (Rows{{"2"}}));
    db.Run("delete from tree_genre");
    EXPECT_EQ(db.Run("select count(*) from tree_genre"), (Rows{{"0"}}));
}

// Like compares without case in every script and matches numbers as their text; a prefix
// pattern, written or bound, searches the index instead of scanning the table.
TEST(JetSqlTranslator, LikeFindsEveryCaseAndPrefixPatternsSearchTheIndex) {
    SqlDb db;
    struct Case {
        const char* where;
        const char* pattern;  // bound to the parameter `pat`
        const char* ids;
    };
    const Case cases[] = {
        {"name like 'die ä*'", "", "1,2"},     {"name like 'DIE A*'", "", "3"},
        {"name like 'Die*'", "", "1,2,3,4"},   {"name like pat", "dIE Ä*", "1,2"},
        {"name like pat", "*rz*", "1,2,3"},    {"name like pat", "-1*", "6,7"},
        {"name like '-1*'", "", "6,7"},        {"name like '#'", "", "8"},
        {"name not like 'd*'", "", "5,6,7,8"}, {"plays like pat", "*5", "1,2,3"},
        {"plays like pat", "-1*", "2"},
    };
    for (const Case& c : cases) {
        const std::string sql = std::string(*c.pattern ? "PARAMETERS pat Text(255); " : "") +
                                "SELECT id FROM artist WHERE " + c.where + " ORDER BY id";
        std::string ids;
        for (const auto& row : db.Run(sql, {c.pattern})) ids += (ids.empty() ? "" : ",") + row[0];
        EXPECT_EQ(ids, c.ids) << c.where << " " << c.pattern << "\n" << db.last.sql;
    }
    const std::pair<std::string, std::string> indexed[] = {
        {"SELECT id FROM artist WHERE name like 'die ä*'", ""},
        {"PARAMETERS pat Text(255); SELECT id FROM artist WHERE name like pat", "Die Ä*"},
        {"select count(*) from db_all where Path like 'C:\\Music\\*'", ""},
        {"PARAMETERS sPath Text ( 255 ); SELECT Count(*) AS anz FROM db_all WHERE del = False AND "
         "Path Like sPath",
         "C:\\Music\\*"}};
    for (const auto& [sql, pattern] : indexed) {
        const std::string plan = db.Plan(sql, {pattern});
        EXPECT_NE(plan.find("SEARCH"), std::string::npos) << sql << ": " << plan;
        EXPECT_EQ(plan.find("SCAN"), std::string::npos) << sql << ": " << plan;
    }
}

TEST(JetSqlTranslator, DeclaredParametersTakeTheValuesBound) {
    SqlDb db;
    EXPECT_EQ(db.Run("PARAMETERS [Low Id] Long, hi Long; SELECT FID FROM db_all WHERE FID BETWEEN "
                     "[low id] AND HI AND db_all.FID <> 2 ORDER BY FID",
                     {"1", "3"}),
              (Rows{{"1"}, {"3"}}));

    // A stored query with parameters used as a table: its parameters come through.
    db.resolver.Query("q_titles_in",
                      "PARAMETERS sPath Text; SELECT FID, Titel FROM db_all WHERE Path = sPath");
    EXPECT_EQ(db.Run("PARAMETERS minFid Long; SELECT Titel FROM q_titles_in WHERE FID >= minFid",
                     {"2", "C:\\Music\\Rock\\"}),
              (Rows{{"Three"}}));
    ASSERT_EQ(db.last.parameters.size(), 2u);
    EXPECT_EQ(db.last.parameters[1].name, "sPath");
}

TEST(JetSqlTranslator, StoredQueriesStandWhereTablesDo) {
    SqlDb db;
    db.resolver.Query("v_tree_dir",
                      "SELECT Path, DriveName, DriveTyp, Count(*) AS anzahl FROM db_all WHERE "
                      "DEL = False GROUP BY Path, DriveName, DriveTyp ORDER BY Path, DriveName;");
    EXPECT_EQ(db.Run("select Path, anzahl from v_tree_dir"),
              (Rows{{"C:\\Music\\Pop\\", "1"}, {"C:\\Music\\Rock\\", "2"}, {"C:\\Musik\\", "1"}}));
    EXPECT_EQ(db.last.updatableTable, "");
    db.resolver.Query("loop_a", "SELECT * FROM loop_b");
    db.resolver.Query("loop_b", "SELECT * FROM loop_a");
    EXPECT_NE(JetErrorOf([&] { db.Run("select * from loop_a"); }), 0);
    EXPECT_EQ(JetErrorOf([&] { db.Run("delete from v_tree_dir"); }), jet::kNotUpdatableQuery);
}

// The value of one Jet expression for the title with FID 3 (imported 2005-03-04 11:00:00,
// no Interpret), "<error: ...>" when SQLite reports one while running it.
std::string ValueForTitle3(SqlDb& db, const std::string& expression) {
    try {
        const Rows rows = db.Run("select " + expression + " from db_all where FID = 3");
        return rows.size() == 1 && rows[0].size() == 1 ? rows[0][0] : "<rows>";
    } catch (const std::runtime_error& e) {
        return std::string("<error: ") + e.what() + ">";
    }
}

TEST(JetSqlTranslator, ExpressionsFollowJetTypesPrecedenceAndNulls) {
    SqlDb db;
    const std::pair<const char*, const char*> cases[] = {
        // & treats Null as empty text and binds looser than + and -.
        {"Titel & ' - ' & Interpret", "Three - "},
        {"Interpret & Interpret", "<null>"},
        {"1 + 2 & 3", "33"},
        {"'x' & 1 + 2", "x3"},
        {"'(' & FID * 2 & ')'", "(6)"},
        {"\"say \"\"hi\"\"\" & ' it''s'", "say \"hi\" it's"},
        {"-FID & ''", "-3"},
        {"FID & 'x' = '3x'", "-1"},
        // Literals and operators SQLite spells differently.
        {"#2005-03-04#", "2005-03-04 00:00:00"},
        {"not False", "-1"},
        {"2 * 7 mod 4", "2"},
        {"7 mod 4 - 1", "2"},
        {"7 \\ 2 + 1", "4"},
        {"2 ^ 3 ^ 2", "64"},
        {"-2 ^ 2", "-4"},
        {"len([Titel])", "5"},
        {"format(DTSImport, \"yyyymmdd\")", "20050304"},
        // Date arithmetic counts days.
        {"#2005-03-10# - #2005-03-03#", "7"},
        {"1 + #2005-03-03#", "2005-03-04 00:00:00"},
        {"#2005-03-03# - 0.25", "2005-03-02 18:00:00"},
        {"#2005-03-04 06:00# - #2005-03-03 18:00#", "0.5"},
        {"DTSImport + 0.5", "2005-03-04 23:00:00"},
        {"DTSImport - #2005-03-04 05:00#", "0.25"},
        {"Null + DTSImport", "<null>"},
        {"format(DTSImport - 3, 'dd.mm.yyyy')", "01.03.2005"},
        {"DTSImport - 1 & ''", "2005-03-03 11:00:00"},
        {"DTSImport >= #2005-03-04# AND DTSImport < #2005-03-05#", "-1"},
        // + and - follow Jet's types and precedence.
        {"10 - (2 - 3)", "11"},
        {"FID - 1 * 2", "1"},
        {"2 * -FID + 1", "-5"},
        {"1 - -FID", "4"},
        {"FID -1", "2"},
        {"1 + '2'", "3"},
        {"'5' - '2'", "3"},
        {"Interpret + 'x'", "<null>"},
        {"True + 1", "0"},
        {"typeof(FID + 1)", "integer"},
        {"FID in (1 + 2, 5)", "-1"},
        // Truth values are -1 wherever they are values.
        {"1 < 2 AS t", "-1"},
        {"FID = 3 and Titel = 'x'", "0"},
        {"FID = 3 or Titel = 'x'", "-1"},
        {"Titel not like 'T*'", "0"},
        {"Titel like 'Th#*'", "0"},
        {"Null = 1", "<null>"},
        {"(1 < 2) + 1", "0"},
        {"abs(1 < 2)", "1"},
        {"nz(FID = 3, 0)", "-1"},
        {"iif((FID = 3) and (1 = 1), 1 = 1, 0)", "-1"},
        {"(select count(*) from genre) = 2", "-1"},
    };
    for (const auto& [expression, expected] : cases)
        EXPECT_EQ(ValueForTitle3(db, expression), expected) << expression << "\n" << db.last.sql;
    for (const char* error : {"Titel + 1", "'a' - 'b'", "DTSImport - 'x'"})
        EXPECT_NE(ValueForTitle3(db, error).find("<error:"), std::string::npos) << error;
    EXPECT_NE(ValueForTitle3(db, "Titel + 1").find("Data type mismatch"), std::string::npos);
}

TEST(JetSqlTranslator, AggregatesAssignmentsAndConditionsKeepJetValues) {
    SqlDb db;
    EXPECT_EQ(db.Run("select max(DTSImport) - min(DTSImport) as span from db_all"),
              (Rows{{"2.125"}}));
    EXPECT_EQ(db.Run("select FID from db_all where DTSImport >= #2005-03-05# - 1 order by FID"),
              (Rows{{"1"}, {"3"}}));
    EXPECT_EQ(db.Run("select count(*) + 1 as n, typeof(count(*) + 1) from db_all"),
              (Rows{{"6", "integer"}}));
    db.Run("UPDATE tree_dir SET anzahl = anzahl - 1 WHERE Drive = 4");
    EXPECT_EQ(db.Run("select anzahl, typeof(anzahl) from tree_dir where Drive = 4"),
              (Rows{{"6", "integer"}}));
    EXPECT_EQ(db.Run("select (pnid = FID) as same from pl_all order by PID"),
              (Rows{{"-1"}, {"0"}, {"0"}}));
    EXPECT_EQ(db.Run("select FID from db_all where FID < 4 order by FID = 2, FID"),
              (Rows{{"2"}, {"1"}, {"3"}}));
    db.Run("update tree_genre set favorit = (anzahl = 2), tstamp = not true where Name = 'Rock'");
    EXPECT_EQ(db.Run("select favorit, tstamp from tree_genre where Name = 'Rock'"),
              (Rows{{"-1", "0.0"}}));
    db.Run("insert into pl_name (name, isplay) values ('n', 1 = 1)");
    EXPECT_EQ(db.Run("select isplay from pl_name where name = 'n'"), (Rows{{"-1"}}));
    EXPECT_EQ(db.Run("select count(*) from db_all where (FID = 1 or FID = 3) and not (DEL = True)"),
              (Rows{{"2"}}));

    // Conditions, and sums of constants, stay as written so that SQLite can use an index.
    for (const char* where :
         {"(Path = 'C:\\Music\\Rock\\')", "DEL = 0 and (Path = 'C:\\Music\\Rock\\')",
          "Path = 'C:\\Music\\' + 'Rock\\'"}) {
        const std::string sql = std::string("select count(*) from db_all where ") + where;
        EXPECT_NE(db.Plan(sql).find("SEARCH"), std::string::npos) << where;
        EXPECT_EQ(db.Run(sql), (Rows{{"2"}})) << where;
    }
}

TEST(JetSqlTranslator, TopDistinctAndSubqueries) {
    SqlDb db;
    EXPECT_EQ(db.Run("SELECT TOP 2 FID FROM db_all ORDER BY FID DESC"), (Rows{{"5"}, {"4"}}));
    EXPECT_EQ(db.Run("SELECT DISTINCTROW Interpret FROM db_all WHERE FID < 3"),
              (Rows{{"Abba"}, {"Abba"}}));
    EXPECT_EQ(db.Run("SELECT DISTINCT Interpret FROM db_all WHERE FID < 3"), (Rows{{"Abba"}}));
    EXPECT_EQ(db.Run("SELECT Titel FROM db_all WHERE Genre_ID IN (SELECT genre_id FROM genre "
                     "WHERE name = 'Pop') ORDER BY Titel"),
              (Rows{{"Five"}, {"Two"}}));
    EXPECT_EQ(
        db.Run("SELECT g.name, (SELECT Count(*) FROM db_all AS d WHERE d.Genre_ID = g.genre_id) "
               "AS n FROM genre AS g ORDER BY g.name"),
        (Rows{{"Pop", "2"}, {"Rock", "2"}}));
    EXPECT_EQ(db.Run("SELECT d.Titel FROM (db_all AS d INNER JOIN genre AS g ON d.Genre_ID = "
                     "g.genre_id) INNER JOIN pl_all ON pl_all.FID = d.FID WHERE g.name = 'Rock'"),
              (Rows{{"One"}, {"Three"}}));
    EXPECT_EQ(db.Run("SELECT name FROM genre WHERE genre_id = 1 UNION SELECT Tempo FROM db_all "
                     "WHERE FID = 2"),
              (Rows{{"Rock"}, {"slow"}}));
    EXPECT_EQ(JetErrorOf([&] { db.Run("SELECT TOP 10 PERCENT * FROM db_all"); }),
              jet::kOperationNotSupported);
}

TEST(JetSqlTranslator, RowIdColumnForUpdatableSelects) {
    SqlDb db;
    TranslateOptions withRowId;
    withRowId.addRowIdColumn = true;
    const Rows rows = db.Run("select * from tree_genre where favorit=true", {}, withRowId);
    EXPECT_EQ(db.last.updatableTable, "tree_genre");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "2");  // the rowid of Pop
    EXPECT_EQ(rows[0][1], "Pop");
    db.Run("select t.Name from tree_genre t", {}, withRowId);
    EXPECT_EQ(db.last.updatableTable, "tree_genre");
    for (const char* notUpdatable :
         {"select count(*) from tree_genre", "select distinct Name from tree_genre",
          "select Name from tree_genre group by Name",
          "select g.name from genre g, tree_genre t"}) {
        const Rows one = db.Run(notUpdatable, {}, withRowId);
        EXPECT_EQ(db.last.updatableTable, "") << notUpdatable;
        ASSERT_FALSE(one.empty()) << notUpdatable;
        EXPECT_EQ(one[0].size(), 1u) << notUpdatable;  // no rowid column in front
    }
}

TEST(JetSqlTranslator, RefusesWhatItCannotRun) {
    SqlDb db;
    const std::pair<const char*, int> cases[] = {
        {"", jet::kInvalidSqlStatement},
        {"   ;", jet::kInvalidSqlStatement},
        {"EXEC something", jet::kInvalidSqlStatement},
        {"TRANSFORM Count(*) SELECT Path FROM db_all GROUP BY Path PIVOT DEL",
         jet::kInvalidSqlStatement},
        {"SELECT * INTO copy FROM db_all", jet::kInvalidSqlStatement},
        {"UPDATE db_all INNER JOIN genre ON db_all.Genre_ID = genre.genre_id SET Titel = 'x'",
         jet::kInvalidSqlStatement},
        {"SELECT 'abc FROM db_all", jet::kSyntaxInExpression},
        {"SELECT [abc FROM db_all", jet::kSyntaxInExpression},
        {"SELECT (1 FROM db_all", jet::kSyntaxInExpression},
        {"SELECT #2005-13-45# FROM db_all", jet::kSyntaxInExpression},
        {"SELECT 1 & FROM db_all", jet::kSyntaxInExpression},
        {"SELECT FROM db_all", jet::kSyntaxInExpression},
        {"SELECT 1; SELECT 2", jet::kCharactersAfterEnd},
        {"PARAMETERS x; SELECT 1", jet::kSyntaxInExpression},
    };
    for (const auto& [sql, error] : cases)
        EXPECT_EQ(JetErrorOf([&] { db.Run(sql); }), error) << sql;
    EXPECT_EQ(JetSqlTranslator().Translate("CREATE TABLE x (a LONG)", db.resolver).kind,
              StatementKind::DataDefinition);
}

TEST(JetDdl, CreateTableWithTypesDefaultsAndKeys) {
    const auto st = ParseDdl(
        "CREATE TABLE x_tree_dir (rlevel SHORT, bname TEXT(255), [Name] TEXT, Path TEXT(255) NOT "
        "NULL, "
        "vName VARCHAR(50), anzahl LONG DEFAULT 0, tstamp DOUBLE, favorit YESNO DEFAULT False, "
        "note MEMO, id COUNTER, b BYTE, cur CURRENCY, s SINGLE, d DATETIME DEFAULT Now(), "
        "i INTEGER, bin BINARY(16), ole LONGBINARY, g GUID, t2 TEXT(10) DEFAULT 'it''s', "
        "CONSTRAINT pk PRIMARY KEY (Path, vName));");
    ASSERT_TRUE(st.has_value());
    ASSERT_EQ(st->kind, DdlStatement::Kind::CreateTable);
    const TableDescription& t = st->createTable;
    EXPECT_EQ(t.Name, "x_tree_dir");
    ASSERT_EQ(t.Fields.size(), 19u);
    struct Expect {
        const char* name;
        int type;
        int32_t size;
    };
    const Expect expected[] = {
        {"rlevel", dbInteger, 2}, {"bname", dbText, 255},    {"Name", dbText, 255},
        {"Path", dbText, 255},    {"vName", dbText, 50},     {"anzahl", dbLong, 4},
        {"tstamp", dbDouble, 8},  {"favorit", dbBoolean, 1}, {"note", dbMemo, 0},
        {"id", dbLong, 4},        {"b", dbByte, 1},          {"cur", dbCurrency, 8},
        {"s", dbSingle, 4},       {"d", dbDate, 8},          {"i", dbLong, 4},
        {"bin", dbBinary, 16},    {"ole", dbLongBinary, 0},  {"g", dbGUID, 16},
        {"t2", dbText, 10}};
    for (size_t k = 0; k < t.Fields.size(); ++k) {
        EXPECT_EQ(t.Fields[k].Name, expected[k].name);
        EXPECT_EQ(t.Fields[k].Type, expected[k].type) << expected[k].name;
        EXPECT_EQ(t.Fields[k].Size, expected[k].size) << expected[k].name;
    }
    EXPECT_TRUE(t.Fields[3].Required);
    EXPECT_FALSE(t.Fields[1].AllowZeroLength);
    EXPECT_EQ(t.Fields[5].DefaultValue, "0");
    EXPECT_EQ(t.Fields[7].DefaultValue, "False");
    EXPECT_EQ(t.Fields[13].DefaultValue, "Now()");
    EXPECT_EQ(t.Fields[18].DefaultValue, "\"it's\"");
    EXPECT_EQ(t.Fields[9].Attributes & dbAutoIncrField, dbAutoIncrField);
    ASSERT_EQ(t.Indexes.size(), 1u);
    EXPECT_EQ(t.Indexes[0].Name, "pk");
    EXPECT_TRUE(t.Indexes[0].Primary && t.Indexes[0].Unique && t.Indexes[0].Required);
    ASSERT_EQ(t.Indexes[0].Fields.size(), 2u);
    EXPECT_EQ(t.Indexes[0].Fields[1].Name, "vName");

    const auto pk =
        ParseDdl("create table genre (genre_id LONG PRIMARY KEY, name TEXT(50) UNIQUE)");
    ASSERT_TRUE(pk.has_value());
    ASSERT_EQ(pk->createTable.Indexes.size(), 2u);
    EXPECT_EQ(pk->createTable.Indexes[0].Name, "PrimaryKey");
    EXPECT_TRUE(pk->createTable.Indexes[0].Primary);
    EXPECT_TRUE(pk->createTable.Indexes[1].Unique);
    EXPECT_FALSE(pk->createTable.Indexes[1].Primary);
}

TEST(JetDdl, IndexDropAndAlterStatements) {
    auto st = ParseDdl("CREATE UNIQUE INDEX ixPath ON db_all (Path, FID DESC) WITH DISALLOW NULL");
    ASSERT_TRUE(st.has_value());
    EXPECT_EQ(st->kind, DdlStatement::Kind::CreateIndex);
    EXPECT_EQ(st->table, "db_all");
    EXPECT_EQ(st->index.Name, "ixPath");
    EXPECT_TRUE(st->index.Unique && st->index.Required && !st->index.Primary);
    ASSERT_EQ(st->index.Fields.size(), 2u);
    EXPECT_TRUE(st->index.Fields[1].Descending);

    st = ParseDdl("CREATE INDEX PrimaryKey ON t ([id]) WITH PRIMARY");
    EXPECT_TRUE(st->index.Primary && st->index.Unique);
    st = ParseDdl("create index i on t (a) with ignore null");
    EXPECT_TRUE(st->index.IgnoreNulls);

    st = ParseDdl("DROP TABLE [tree dir];");
    EXPECT_EQ(st->kind, DdlStatement::Kind::DropTable);
    EXPECT_EQ(st->table, "tree dir");
    st = ParseDdl("DROP INDEX ixPath ON db_all");
    EXPECT_EQ(st->kind, DdlStatement::Kind::DropIndex);
    EXPECT_EQ(st->index.Name, "ixPath");
    EXPECT_EQ(st->table, "db_all");

    st = ParseDdl("ALTER TABLE pl_name ADD COLUMN sicherung YESNO DEFAULT False");
    EXPECT_EQ(st->kind, DdlStatement::Kind::AddColumn);
    EXPECT_EQ(st->column.Name, "sicherung");
    EXPECT_EQ(st->column.Type, dbBoolean);
    st = ParseDdl("ALTER TABLE pl_name ADD sid LONG");
    EXPECT_EQ(st->column.Type, dbLong);
    st = ParseDdl("ALTER TABLE t ADD CONSTRAINT pk PRIMARY KEY (a)");
    EXPECT_EQ(st->kind, DdlStatement::Kind::CreateIndex);
    EXPECT_TRUE(st->index.Primary);

    EXPECT_FALSE(ParseDdl("SELECT * FROM t").has_value());
    EXPECT_FALSE(ParseDdl("delete from t").has_value());
    const std::pair<const char*, int> bad[] = {
        {"CREATE TABLE t (a WIBBLE)", jet::kSyntaxInCreateTable},
        {"CREATE TABLE t (a LONG, a TEXT)", jet::kFieldDefinedTwice},
        {"CREATE TABLE t (a TEXT(300))", jet::kSyntaxInCreateTable},
        {"CREATE TABLE t (a LONG", jet::kSyntaxInCreateTable},
        {"CREATE INDEX i ON t", jet::kSyntaxInCreateIndex},
        {"DROP TABLE", jet::kSyntaxInDrop},
        {"ALTER TABLE t ADD", jet::kSyntaxInAlterTable},
        {"ALTER TABLE t DROP COLUMN a", jet::kOperationNotSupported},
        {"CREATE VIEW v AS SELECT 1", jet::kOperationNotSupported},
    };
    for (const auto& [sql, error] : bad)
        EXPECT_EQ(JetErrorOf([&] { ParseDdl(sql); }), error) << sql;
}

}  // namespace
}  // namespace platform
