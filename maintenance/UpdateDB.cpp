#include "maintenance/UpdateDB.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "maintenance/FavouritesFile.h"
#include "maintenance/TreeTransaction.h"
#include "platform/DBEngine.h"
#include "platform/JetError.h"
#include "platform/QueryDef.h"
#include "platform/Recordset.h"
#include "platform/Value.h"
#include "settings/Mod_API.h"

namespace maintenance {

using platform::Database;
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

// A Jet text literal: between apostrophes, each apostrophe doubled.
std::string Quoted(std::string_view text) {
    std::string out = "'";
    for (const char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

// `text` as a Like pattern that matches only itself: Jet matches a wildcard character
// literally when it stands in brackets.
std::string LikeLiteral(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '*' || c == '?' || c == '#' || c == '[') {
            out += '[';
            out += c;
            out += ']';
        } else {
            out += c;
        }
    }
    return out;
}

// The saved time stamp as it goes into a statement: the number it holds in its shortest exact
// form, or Null when it holds none (empty, damaged, or not saved at all).
std::string TstampLiteral(std::string_view saved) {
    while (!saved.empty() && saved.front() == ' ') saved.remove_prefix(1);
    while (!saved.empty() && saved.back() == ' ') saved.remove_suffix(1);
    double number = 0;
    const char* end = saved.data() + saved.size();
    const auto [ptr, ec] = std::from_chars(saved.data(), end, number);
    if (saved.empty() || ec != std::errc() || ptr != end || !std::isfinite(number)) return "Null";
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, number);
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

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Jet's Like folds the letters A to Z on both sides; no other character matches an ASCII one.
std::string FoldAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

// Now, local time, as a Jet date: days since 1899-12-30 and the time of day as fraction.
Value LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    using namespace std::chrono;
    const sys_days today = year{local.tm_year + 1900} / month{unsigned(local.tm_mon + 1)} /
                           day{unsigned(local.tm_mday)};
    const sys_days epoch = year{1899} / December / 30;
    const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
    return Value::FromDate(static_cast<double>((today - epoch).count()) + seconds / 86400.0);
}

void NoteSkipped(MaintenanceOutcome& outcome, const JetError& e) {
    ++outcome.skippedSteps;
    if (outcome.errorNumber == 0) {
        outcome.errorNumber = e.Number();
        outcome.errorText = e.Description();
    }
}

void NoteEnded(MaintenanceOutcome& outcome, int number, std::string text) {
    outcome.completed = false;
    outcome.errorNumber = number;
    outcome.errorText = std::move(text);
}

// One folder of the library as v_tree_dir gives it.
struct SourceFolder {
    std::string path;
    Value driveName;
    Value driveTyp;
    Value anzahl;
};

// The elements of a folder path: the closing character dropped, split at each single
// backslash; a pair of backslashes (the start of a network path) stays within its element.
// Pairs are recognised from the left, as a text replacement would find them.
std::vector<std::string> FolderElements(std::string_view path) {
    struct Token {
        size_t at, size;
        bool separator;
    };
    std::vector<Token> tokens;
    for (size_t i = 0; i < path.size();) {
        if (path[i] == '\\') {
            const bool pair = i + 1 < path.size() && path[i + 1] == '\\';
            tokens.push_back({i, pair ? 2u : 1u, !pair});
            i += pair ? 2 : 1;
        } else {
            size_t n = 1;  // one whole UTF-8 character
            while (i + n < path.size() && (static_cast<unsigned char>(path[i + n]) & 0xC0) == 0x80)
                ++n;
            tokens.push_back({i, n, false});
            i += n;
        }
    }
    std::vector<std::string> elements;
    if (tokens.size() <= 1) return elements;  // nothing left once the last character is gone
    tokens.pop_back();
    elements.emplace_back();
    for (const Token& t : tokens) {
        if (t.separator)
            elements.emplace_back();
        else
            elements.back().append(path.substr(t.at, t.size));
    }
    return elements;
}

// Titles not marked deleted below a folder, from one grouped pass over db_all instead of one
// count per folder. Answers what "Path Like '<folder>*'" counts for a folder of ASCII
// characters; other folders are left to the stored count query.
class TitlesBelow {
  public:
    explicit TitlesBelow(Database& db) {
        std::vector<std::pair<std::string, int64_t>> rows;
        Recordset rs = db.OpenRecordset(
            "SELECT Path, Count(*) AS anz FROM db_all WHERE DEL = False GROUP BY Path");
        for (; !rs.Eof(); rs.MoveNext()) {
            const Value path = rs["Path"].Value();
            if (!path.IsNull())
                rows.emplace_back(FoldAscii(path.ToText()), rs["anz"].Value().ToInteger());
        }
        std::sort(rows.begin(), rows.end());
        paths_.reserve(rows.size());
        running_.assign(1, 0);
        for (auto& [path, count] : rows) {
            paths_.push_back(std::move(path));
            running_.push_back(running_.back() + count);
        }
    }

    std::optional<int64_t> Below(std::string_view folder) const {
        if (!IsAscii(folder)) return std::nullopt;
        const std::string prefix = FoldAscii(folder);
        const auto from = std::lower_bound(paths_.begin(), paths_.end(), prefix);
        const auto to = std::upper_bound(from, paths_.end(), prefix,
                                         [](const std::string& p, const std::string& path) {
                                             return path.compare(0, p.size(), p) > 0;
                                         });
        return running_[static_cast<size_t>(to - paths_.begin())] -
               running_[static_cast<size_t>(from - paths_.begin())];
    }

  private:
    std::vector<std::string> paths_;  // folded, sorted
    std::vector<int64_t> running_;    // titles of the paths before each index
};

// The stored count query for the folders that TitlesBelow leaves open; fetched on first use.
class StoredFolderCount {
  public:
    explicit StoredFolderCount(Database& db) : db_(db) {}

    Value Below(const std::string& folder) {
        if (!query_) query_ = db_.QueryDefs().Item("QU_UpadateTreeDirAnzahl");
        query_->Parameters().Item("sPath").SetValue(Value::FromText(LikeLiteral(folder) + "*"));
        Recordset result = query_->OpenRecordset(platform::dbOpenSnapshot);
        return result["anz"].Value();
    }

  private:
    Database& db_;
    std::optional<platform::QueryDef> query_;
};

std::vector<SourceFolder> ReadSourceFolders(Database& db) {
    std::vector<SourceFolder> folders;
    Recordset rs = db.OpenRecordset("v_tree_dir");
    for (; !rs.Eof(); rs.MoveNext()) {
        const Value path = rs["Path"].Value();
        if (path.IsNull()) continue;  // such a row names no folder
        folders.push_back(
            {path.ToText(), rs["DriveName"].Value(), rs["DriveTyp"].Value(), rs["anzahl"].Value()});
    }
    return folders;
}

std::string TextOrEmpty(const Value& v) { return v.IsNull() ? std::string() : v.ToText(); }

bool IsDriveFour(const Value& driveTyp) {
    return !driveTyp.IsNull() && driveTyp == Value::FromInteger(4);
}

// Adds the level rows of every source folder. Rows the table refuses are dropped; a refused
// repeat of a level (its key already stored) is the normal case and no failure.
void AddLevelRows(Database& db, const std::vector<SourceFolder>& sources,
                  MaintenanceOutcome& outcome) {
    const TitlesBelow titles(db);
    StoredFolderCount storedCount(db);
    Recordset target = db.OpenRecordset("TREE_DIR");
    platform::Field& rlevel = target["rlevel"];
    platform::Field& bname = target["bname"];
    platform::Field& name = target["Name"];
    platform::Field& path = target["Path"];
    platform::Field& vName = target["vName"];
    platform::Field& drive = target["Drive"];
    platform::Field& anzahl = target["anzahl"];
    platform::Field& imgkey = target["imgkey"];
    platform::Field& bAnzahl = target["BAnzahl"];

    for (const SourceFolder& source : sources) {
        const std::vector<std::string> elements = FolderElements(source.path);
        const bool driveFour = IsDriveFour(source.driveTyp);
        const bool counted = !source.driveTyp.IsNull() && !driveFour;
        std::string running;
        for (size_t i = 0; i < elements.size(); ++i) {
            const bool last = i + 1 == elements.size();
            running += elements[i] + "\\";
            const std::string& rowPath = last ? source.path : running;
            try {
                const Value count = last ? source.anzahl : Value::FromInteger(0);
                target.AddNew();
                rlevel.SetValue(Value::FromInteger(static_cast<int64_t>(i)));
                bname.SetValue(Value::FromText(elements[i]));
                vName.SetValue(source.driveName);
                anzahl.SetValue(count);
                path.SetValue(Value::FromText(rowPath));
                name.SetValue(Value::FromText(
                    driveFour ? elements[i] + " " + TextOrEmpty(source.driveName) : elements[i]));
                drive.SetValue(source.driveTyp);
                if (i == 0)
                    imgkey.SetValue(Value::FromText("DRIVE_" + TextOrEmpty(source.driveTyp)));
                else
                    imgkey.SetValue(Value::FromText(
                        !count.IsNull() && count == Value::FromInteger(0) ? "DIR" : "Audio"));
                if (counted) {
                    const std::optional<int64_t> below = titles.Below(rowPath);
                    bAnzahl.SetValue(below ? Value::FromInteger(*below)
                                           : storedCount.Below(rowPath));
                }
                target.Update();
                ++outcome.rowsWritten;
            } catch (const JetError& e) {
                target.CancelUpdate();
                if (e.Number() != platform::jet::kDuplicateKey) NoteSkipped(outcome, e);
            }
        }
    }
}

// Network folders without titles of their own count the titles of the rows below them on
// the same volume.
void CountNetworkFolders(Database& db, MaintenanceOutcome& outcome) {
    Recordset rows = db.OpenRecordset("select * from tree_dir where anzahl = 0 and drive=4");
    for (; !rows.Eof(); rows.MoveNext()) {
        try {
            const std::string sql = "select sum(anzahl) as anz from tree_dir where path like " +
                                    Quoted(LikeLiteral(TextOrEmpty(rows["Path"].Value())) + "*") +
                                    " and vname=" + Quoted(TextOrEmpty(rows["vName"].Value()));
            Value sum;
            {
                Recordset result = db.OpenRecordset(sql);
                sum = result["anz"].Value();
            }
            rows.Edit();
            rows["BAnzahl"].SetValue(sum);
            rows.Update();
        } catch (const JetError& e) {
            rows.CancelUpdate();
            NoteSkipped(outcome, e);
        }
    }
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

std::string UpdateDB::FavouritesPath() const { return favouritesPath_; }

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
        NoteEnded(outcome, e.Number(), e.Description());
        if (rethrow) throw;
    } catch (const std::exception& e) {
        NoteEnded(outcome, platform::jet::kEngineFailure, e.what());
        if (rethrow) throw JetError(platform::jet::kEngineFailure, e.what());
    }
    return outcome;
}

void UpdateDB::RebuildWithFavourites(const TreeCycle& cycle, MaintenanceOutcome& outcome) {
    FavouritesFile file(FavouritesPath());
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

    TreeTransaction transaction;
    Db.Execute("delete from " + cycle.table);
    outcome.rowsWritten += Db.Execute(cycle.refill);
    RestoreFavourites(cycle, outcome);
    transaction.Commit();
}

void UpdateDB::RestoreFavourites(const TreeCycle& cycle, MaintenanceOutcome& outcome) {
    FavouritesFile file(FavouritesPath());
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
            NoteSkipped(outcome, e);
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
            playlists["UpdateTime"].SetValue(LocalNow());
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
        // The link's file must be in use before the transaction begins.
        Db.OpenRecordset("select * from tree_importdate where false").Close();
        TreeTransaction transaction;
        Db.Execute("delete from tree_importdate");
        outcome.rowsWritten += Db.Execute(
            "INSERT INTO tree_importdate (name, anzahl, imgkey ) "
            "SELECT format(db_all.DTSImport,'dd.mm.yyyy') AS name, Count(*) AS anzahl, "
            "'Tree.Imprtdate' AS imgkey "
            "From db_all "
            "Where del = False and db_all.DTSImport is not null "
            "GROUP BY format(db_all.DTSImport,'yyyymmdd'),format(db_all.DTSImport,'dd.mm.yyyy')  "
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
    FavouritesFile file(FavouritesPath());
    {
        Recordset favourites = Db.OpenRecordset("select * from tree_dir where favorit=true");
        file.Create();
        for (; !favourites.Eof(); favourites.MoveNext())
            file.WriteLine({favourites["Path"].Value(), favourites["tstamp"].Value()});
        file.Close();
    }
    const std::vector<SourceFolder> sources = ReadSourceFolders(Db);

    TreeTransaction transaction;
    Db.Execute("delete from tree_dir");
    // From here on a failing step is skipped on its own and the rest of the rebuild goes on.
    try {
        AddLevelRows(Db, sources, outcome);
    } catch (const JetError& e) {
        NoteSkipped(outcome, e);
    }
    try {
        CountNetworkFolders(Db, outcome);
    } catch (const JetError& e) {
        NoteSkipped(outcome, e);
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
                NoteSkipped(outcome, e);
            }
        }
        file.Close();
    } catch (const JetError& e) {
        NoteSkipped(outcome, e);
    }
    transaction.Commit();
}

std::string UpdateDB::Soundex(const std::string& strIn) const {
    const auto characters = std::count_if(strIn.begin(), strIn.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    });
    if (characters > 32767) throw JetError(kOverflow, "Overflow");

    // 0 separates two letters of one group, -1 is no letter at all.
    const auto group = [](char c) {
        switch (c) {
            case 'B':
            case 'F':
            case 'P':
            case 'V':
                return 1;
            case 'C':
            case 'G':
            case 'J':
            case 'K':
            case 'Q':
            case 'S':
            case 'X':
            case 'Z':
                return 2;
            case 'D':
            case 'T':
                return 3;
            case 'L':
                return 4;
            case 'M':
            case 'N':
                return 5;
            case 'R':
                return 6;
            case 'A':
            case 'E':
            case 'I':
            case 'O':
            case 'U':
            case 'W':
            case 'Y':
            case 'H':
                return 0;
            default:
                return -1;
        }
    };
    std::string code;
    int last = -1;
    bool separated = false;
    for (const char raw : strIn) {
        if (code.size() == 4) break;
        const char c = raw >= 'a' && raw <= 'z' ? static_cast<char>(raw - 32) : raw;
        const int g = group(c);
        if (g < 0) continue;
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
