#include "maintenance/UpdateDB.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "maintenance/DirectoryTree.h"
#include "maintenance/FavouritesFile.h"
#include "maintenance/SqlText.h"
#include "platform/DBEngine.h"
#include "platform/DateConversion.h"
#include "platform/JetError.h"
#include "platform/Transaction.h"
#include "platform/QueryDef.h"
#include "platform/Recordset.h"
#include "platform/Value.h"
#include "settings/Mod_API.h"

namespace maintenance {

using platform::JetError;
using platform::Recordset;
using platform::Value;

// One flat tree table and how it is rebuilt. `keys` are the saved text columns that identify a
// favourite, in the order of the favourites file; the time stamp follows them.
struct UpdateDB::TreeCycle {
    std::string table;
    std::vector<std::string> keys;
    std::string refill;  // a stored action query's name or an SQL text
};

namespace {

constexpr int kOverflow = 6;  // VB's "Overflow"

// The saved time stamp as it goes into a statement: the number it holds in its shortest exact
// form, or Null when it holds none (empty, damaged, or not saved at all).
std::string TstampLiteral(std::string_view saved) {
    while (!saved.empty() && saved.front() == ' ') saved.remove_prefix(1);
    while (!saved.empty() && saved.back() == ' ') saved.remove_suffix(1);
    double number = 0;
    const char* end = saved.data() + saved.size();
    const auto [ptr, ec] = std::from_chars(saved.data(), end, number);
    if (saved.empty() || ec != std::errc() || ptr != end || !std::isfinite(number)) return "Null";
    // Plain decimals: the statement's text is Jet SQL, which has no use for exponents.
    char buffer[512];
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::fixed);
    return std::string(buffer, written.ptr);
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

bool IsPlainColumnName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_';
    });
}

}  // namespace

UpdateDB::UpdateDB(settings::Mod_API& api) : api_(api), yield_([] {}) {}

void UpdateDB::SetYield(std::function<void()> yield) {
    yield_ = yield ? std::move(yield) : [] {};
}

void UpdateDB::SetDbName(const std::string& DBName) { DbName = DBName; }

void UpdateDB::OpenDb() { Db = platform::DBEngine::Instance().OpenDatabase(DbName); }

void UpdateDB::CloseDb() noexcept {
    try {
        Db.Close();
    } catch (...) {
        // Closing what is not open, or twice, is no failure of the operation.
    }
}

std::string UpdateDB::MaskQuote(const std::string& text) {
    std::string out = text;
    std::replace(out.begin(), out.end(), '\'', '*');
    return out;
}

MaintenanceOutcome UpdateDB::Run(bool rethrow,
                                 const std::function<void(MaintenanceOutcome&)>& body) {
    favouritesPath_ = api_.DataPath() + "/~tree.tmp";
    // The closing steps: whatever happened, the handle goes and so does the favourites file.
    struct ClosingSteps {
        UpdateDB& self;
        ~ClosingSteps() {
            self.CloseDb();
            FavouritesFile(self.favouritesPath_).Remove();
        }
    } closing{*this};

    MaintenanceOutcome outcome;
    try {
        body(outcome);
    } catch (const JetError& e) {
        outcome.NoteEnded(e.Number(), e.Description());
        if (rethrow) throw;
    } catch (const std::exception& e) {
        outcome.NoteEnded(platform::jet::kEngineFailure, e.what());
        if (rethrow) throw JetError(platform::jet::kEngineFailure, e.what());
    }
    return outcome;
}

void UpdateDB::RebuildWithFavourites(const TreeCycle& cycle, MaintenanceOutcome& outcome) {
    FavouritesFile file(favouritesPath_);
    {
        Recordset favourites =
            Db.OpenRecordset("select * from " + cycle.table + " where favorit=true");
        file.Create();
        for (; !favourites.Eof(); favourites.MoveNext()) {
            std::vector<Value> fields;
            for (const std::string& key : cycle.keys) fields.push_back(favourites[key].Value());
            fields.push_back(favourites["tstamp"].Value());
            file.WriteLine(fields);
        }
        file.Close();
    }

    platform::Transaction transaction;
    Db.Execute("delete from " + cycle.table);
    outcome.rowsWritten += Db.Execute(cycle.refill);
    RestoreFavourites(cycle, outcome);
    transaction.Commit();
}

void UpdateDB::RestoreFavourites(const TreeCycle& cycle, MaintenanceOutcome& outcome) {
    FavouritesFile file(favouritesPath_);
    file.OpenForReading();
    std::vector<SavedField> fields;
    while (file.ReadLine(fields)) {
        try {
            if (fields.size() != cycle.keys.size() + 1)
                platform::ThrowJetError(platform::jet::kInvalidArgument);
            std::string sql = "update " + cycle.table +
                              " set tstamp=" + TstampLiteral(fields.back().value_or("")) +
                              " , favorit=true where ";
            for (size_t i = 0; i < cycle.keys.size(); ++i) {
                if (i > 0) sql += " and ";
                sql += fields[i] ? cycle.keys[i] + "=" + Quoted(*fields[i])
                                 : cycle.keys[i] + " is null";
            }
            Db.Execute(sql);
        } catch (const JetError& e) {
            outcome.NoteSkipped(e.Number(), e.Description());
        }
    }
    file.Close();
}

void UpdateDB::RestoreDirFavorit(const std::string& path, const std::string& tstamp) {
    Db.Execute("update tree_dir set tstamp=" + TstampLiteral(tstamp) +
               " , favorit=true where path=" + Quoted(path));
}

MaintenanceOutcome UpdateDB::UpdatePlnameCount() {
    return Run(false, [this](MaintenanceOutcome& outcome) {
        OpenDb();
        // One grouped count instead of one count per playlist: the same figures.
        std::unordered_map<int64_t, int64_t> entries;
        {
            Recordset counts =
                Db.OpenRecordset("select pnid, count(*) as anz from pl_all group by pnid");
            for (; !counts.Eof(); counts.MoveNext()) {
                const Value pnid = counts["pnid"].Value();
                if (!pnid.IsNull()) entries[pnid.ToInteger()] = counts["anz"].Value().ToInteger();
            }
        }
        Recordset playlists = Db.OpenRecordset("select * from pl_name");
        for (; !playlists.Eof(); playlists.MoveNext()) {
            const Value nid = playlists["NID"].Value();
            const Value stored = playlists["anzahl"].Value();
            if (stored.IsNull()) continue;  // a missing count stays missing
            const auto found = nid.IsNull() ? entries.end() : entries.find(nid.ToInteger());
            const Value actual = Value::FromInteger(found == entries.end() ? 0 : found->second);
            if (stored == actual) continue;
            playlists.Edit();
            playlists["anzahl"].SetValue(actual);
            playlists["UpdateTime"].SetValue(Value::FromDate(platform::NowAsOleDate()));
            playlists.Update();
            ++outcome.rowsWritten;
        }
    });
}

MaintenanceOutcome UpdateDB::UpdateTreeGenre() {
    return Run(false, [this](MaintenanceOutcome& outcome) {
        OpenDb();
        yield_();
        RebuildWithFavourites({"tree_genre", {"Name"}, "UPDATE_TREE_GENRE"}, outcome);
        RebuildWithFavourites(
            {"tree_genre_interpret", {"Genre", "Name"}, "UPDATE_TREE_GENRE_interpret"}, outcome);
    });
}

MaintenanceOutcome UpdateDB::UpdateTreeAlbum() {
    return Run(false, [this](MaintenanceOutcome& outcome) {
        OpenDb();
        yield_();
        RebuildWithFavourites({"tree_album", {"Name"}, "UPDATE_TREE_ALBUM"}, outcome);
    });
}

MaintenanceOutcome UpdateDB::UpdateTreeInterpret() {
    return Run(false, [this](MaintenanceOutcome& outcome) {
        OpenDb();
        yield_();
        RebuildWithFavourites({"tree_interpret", {"Name"}, "UPDATE_TREE_interpret"}, outcome);
    });
}

MaintenanceOutcome UpdateDB::UpdateTreeTable(const std::string& sTable) {
    return Run(true, [this, &sTable](MaintenanceOutcome& outcome) {
        // The name goes into table names and statements: only a plain column name may.
        if (!IsPlainColumnName(sTable)) platform::ThrowJetError(platform::jet::kInvalidArgument);
        OpenDb();
        yield_();
        const std::string refill =
            "INSERT INTO tree_table ( name, anzahl, imgkey ) "
            "SELECT db_all.table AS name, Count(*) AS anzahl, 'Tree.table' AS imgkey "
            "From db_all "
            "Where db_all.table <> '' And del = False "
            "GROUP BY db_all.table "
            "ORDER BY db_all.table ";
        RebuildWithFavourites({ReplaceAll("tree_table", "table", sTable),
                               {"name"},
                               ReplaceAll(refill, "table", sTable)},
                              outcome);
    });
}

MaintenanceOutcome UpdateDB::UpdateTreeTableImportDate() {
    return Run(true, [this](MaintenanceOutcome& outcome) {
        OpenDb();
        yield_();
        platform::Transaction transaction;
        Db.Execute("delete from tree_importdate");
        // Each title's day is formatted once, to group it; the name is formatted once per day,
        // from the day's earliest import. Same rows, same order as formatting the name per title.
        outcome.rowsWritten += Db.Execute(
            "INSERT INTO tree_importdate (name, anzahl, imgkey ) "
            "SELECT format(Min(db_all.DTSImport),'dd.mm.yyyy') AS name, Count(*) AS anzahl, "
            "'Tree.Imprtdate' AS imgkey "
            "From db_all "
            "Where del = False and db_all.DTSImport is not null "
            "GROUP BY format(db_all.DTSImport,'yyyymmdd')  "
            "ORDER BY format(db_all.DTSImport,'yyyymmdd')  ");
        transaction.Commit();
    });
}

MaintenanceOutcome UpdateDB::UpdataTreeDir() {
    return Run(false, [this](MaintenanceOutcome& outcome) { RebuildDirectoryTree(outcome); });
}

void UpdateDB::RebuildDirectoryTree(MaintenanceOutcome& outcome) {
    OpenDb();
    yield_();
    FavouritesFile file(favouritesPath_);
    {
        Recordset favourites = Db.OpenRecordset("select * from tree_dir where favorit=true");
        file.Create();
        for (; !favourites.Eof(); favourites.MoveNext())
            file.WriteLine({favourites["Path"].Value(), favourites["tstamp"].Value()});
        file.Close();
    }
    DirectoryTree tree(Db);  // reads the tree database's definition: before the transaction

    platform::Transaction transaction;
    Db.Execute("delete from tree_dir");
    // From here on a failing step is skipped on its own and the rest of the rebuild goes on.
    try {
        tree.AddLevelRows(outcome);
    } catch (const JetError& e) {
        outcome.NoteSkipped(e.Number(), e.Description());
    }
    try {
        tree.CountNetworkFolders(outcome);
    } catch (const JetError& e) {
        outcome.NoteSkipped(e.Number(), e.Description());
    }
    try {
        file.OpenForReading();
        std::vector<SavedField> fields;
        while (file.ReadLine(fields)) {
            try {
                if (fields.size() != 2 || !fields[0])
                    platform::ThrowJetError(platform::jet::kInvalidArgument);
                RestoreDirFavorit(*fields[0], fields[1].value_or(""));
            } catch (const JetError& e) {
                outcome.NoteSkipped(e.Number(), e.Description());
            }
        }
        file.Close();
    } catch (const JetError& e) {
        outcome.NoteSkipped(e.Number(), e.Description());
    }
    transaction.Commit();
}

std::string UpdateDB::Soundex(const std::string& strIn) const {
    const auto characters = std::count_if(strIn.begin(), strIn.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    });
    if (characters > 32767) throw JetError(kOverflow, "Overflow");

    // The group of each letter A to Z: a digit, or 0 for the letters that only separate.
    constexpr std::string_view kGroups = "01230120022455012623010202";
    std::string code;
    int last = -1;
    bool separated = false;
    for (const char raw : strIn) {
        if (code.size() == 4) break;
        const char c = raw >= 'a' && raw <= 'z' ? static_cast<char>(raw - 32) : raw;
        if (c < 'A' || c > 'Z') continue;  // digits, blanks, punctuation, any other letter
        const int g = kGroups[static_cast<size_t>(c - 'A')] - '0';
        if (code.empty()) {
            code += c;
            last = g;
            separated = false;
        } else if (g == 0) {
            separated = true;
        } else if (g != last || separated) {
            code += static_cast<char>('0' + g);
            last = g;
            separated = false;
        }
    }
    if (code.empty()) return "0000";
    code.resize(4, '0');
    return code;
}

}  // namespace maintenance
