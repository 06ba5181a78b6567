#include "maintenance/DirectoryTree.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "maintenance/SqlText.h"
#include "platform/DBEngine.h"
#include "platform/JetError.h"
#include "platform/QueryDef.h"
#include "platform/Recordset.h"
#include "platform/Value.h"

namespace maintenance {

using platform::Database;
using platform::JetError;
using platform::Recordset;
using platform::Value;

namespace {

// One folder of the library as v_tree_dir gives it.
struct SourceFolder {
    std::string path;
    std::string folded;  // the path in lower case, as the engine's LCase and Like fold it
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

// Titles not marked deleted below a folder, summed from the folder rows of v_tree_dir instead
// of one count query per folder. "Path Like '<folder>*'" folds letter case on both sides as
// the engine's LCase does, so a folder's count is the sum over the folded paths that begin with
// the folded folder; a folder's fold is the matching beginning of its source path's fold.
class TitlesBelow {
  public:
    explicit TitlesBelow(const std::vector<SourceFolder>& sources) {
        std::vector<std::pair<std::string_view, int64_t>> rows;
        for (const SourceFolder& source : sources)
            if (!source.anzahl.IsNull())
                rows.emplace_back(source.folded, source.anzahl.ToInteger());
        std::sort(rows.begin(), rows.end());
        paths_.reserve(rows.size());
        running_.assign(1, 0);
        for (const auto& [path, count] : rows) {
            paths_.push_back(path);
            running_.push_back(running_.back() + count);
        }
    }

    // The titles below the first `folderSize` bytes of the source folder's path; none when
    // that beginning cannot be folded here.
    std::optional<int64_t> Below(const SourceFolder& source, size_t folderSize) const {
        if (!SameCharacters(source.path, source.folded)) return std::nullopt;
        const std::string_view prefix = std::string_view(source.folded).substr(0, folderSize);
        const auto from = std::lower_bound(paths_.begin(), paths_.end(), prefix);
        const auto to = std::upper_bound(from, paths_.end(), prefix,
                                         [](std::string_view p, std::string_view path) {
                                             return path.compare(0, p.size(), p) > 0;
                                         });
        return running_[static_cast<size_t>(to - paths_.begin())] -
               running_[static_cast<size_t>(from - paths_.begin())];
    }

  private:
    // True when every character of the fold has the byte length of the original one, so that
    // a beginning of the original folds to the same beginning of the fold.
    static bool SameCharacters(std::string_view original, std::string_view folded) {
        if (original.size() != folded.size()) return false;
        for (size_t i = 0; i < original.size(); ++i)
            if (((static_cast<unsigned char>(original[i]) & 0xC0) == 0x80) !=
                ((static_cast<unsigned char>(folded[i]) & 0xC0) == 0x80))
                return false;
        return true;
    }

    std::vector<std::string_view> paths_;  // folded, sorted; they point into the sources
    std::vector<int64_t> running_;         // titles of the paths before each index
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
    // The rows of v_tree_dir in its order, each with its path folded by the engine.
    Recordset rs = db.OpenRecordset(
        "SELECT v_tree_dir.*, LCase(v_tree_dir.Path) AS folded_path FROM v_tree_dir");
    for (; !rs.Eof(); rs.MoveNext()) {
        const Value path = rs["Path"].Value();
        if (path.IsNull()) continue;  // such a row names no folder
        folders.push_back({path.ToText(), rs["folded_path"].Value().ToText(),
                           rs["DriveName"].Value(), rs["DriveTyp"].Value(), rs["anzahl"].Value()});
    }
    return folders;
}

std::string TextOrEmpty(const Value& v) { return v.IsNull() ? std::string() : v.ToText(); }

bool IsDriveFour(const Value& driveTyp) {
    return !driveTyp.IsNull() && driveTyp == Value::FromInteger(4);
}

// One row of tree_dir, column by column, in the order they are set.
struct LevelRow {
    static constexpr std::array<const char*, 9> kColumns = {
        "rlevel", "bname", "vName", "anzahl", "Path", "Name", "Drive", "imgkey", "BAnzahl"};
    static constexpr size_t kBAnzahl = 8;
    std::array<Value, kColumns.size()> values;

    const Value* Find(std::string_view column) const {
        for (size_t i = 0; i < kColumns.size(); ++i)
            if (FoldAscii(kColumns[i]) == FoldAscii(column)) return &values[i];
        return nullptr;
    }
};

// The unique keys of tree_dir as its definition gives them, and the key values of the rows
// stored so far. A level repeated by a later folder has the key of a stored row and would be
// refused; knowing that, it is not offered at all. Text keys compare as the engine's text
// columns do, letter case of A to Z ignored. Without a readable definition every row is
// offered and the table decides.
class StoredKeys {
  public:
    explicit StoredKeys(Database& db) {
        try {
            platform::TableDef table = db.TableDefs().Item("TREE_DIR");
            if (!table.IsLink()) {
                Read(table);
                return;
            }
            const std::string& connect = table.Connect();
            const size_t at = FoldAscii(connect).find(";database=");
            if (at == std::string::npos) return;
            const size_t from = at + 10;
            const std::string file = connect.substr(from, connect.find(';', from) - from);
            Database tree = platform::DBEngine::Instance().OpenDatabase(file);
            Read(tree.TableDefs().Item(table.SourceTableName()));
        } catch (const JetError&) {
            keys_.clear();
        }
    }

    // True when a stored row has the key values of `row` in one of the unique keys.
    bool Taken(const LevelRow& row) const {
        for (const Key& key : keys_) {
            const std::optional<std::string> text = KeyText(key, row);
            if (text && key.stored.count(*text) > 0) return true;
        }
        return false;
    }

    void Add(const LevelRow& row) {
        for (Key& key : keys_)
            if (const std::optional<std::string> text = KeyText(key, row)) key.stored.insert(*text);
    }

  private:
    struct Key {
        std::vector<std::string> columns;
        std::unordered_set<std::string> stored;
    };

    void Read(const platform::TableDef& table) {
        for (const platform::Index& index : table.Indexes()) {
            if (!index.Unique()) continue;
            Key key;
            for (const auto& field : index.Fields()) key.columns.push_back(field.Name);
            // A key over a column the rebuild does not write cannot be told here.
            if (std::all_of(key.columns.begin(), key.columns.end(),
                            [](const std::string& c) { return LevelRow().Find(c) != nullptr; }))
                keys_.push_back(std::move(key));
        }
    }

    // The key's values of `row` as one text; none when one of them is Null (never equal).
    static std::optional<std::string> KeyText(const Key& key, const LevelRow& row) {
        std::string text;
        for (const std::string& column : key.columns) {
            const Value& v = *row.Find(column);
            if (v.IsNull()) return std::nullopt;
            const std::string part = v.Kind() == platform::ValueKind::Text
                                         ? "t" + FoldAscii(v.AsText())
                                         : "n" + v.ToDisplayText();
            text += std::to_string(part.size()) + ":" + part;
        }
        return text;
    }

    std::vector<Key> keys_;
};

}  // namespace

struct DirectoryTree::State {
    std::vector<SourceFolder> sources;
    StoredKeys keys;
};

DirectoryTree::DirectoryTree(Database& db)
    : db_(db), state_(new State{ReadSourceFolders(db), StoredKeys(db)}) {}

DirectoryTree::~DirectoryTree() = default;

// Adds the level rows of every source folder. Rows the table refuses are dropped; a repeat of
// a level whose key is stored already is the normal case and no failure.
void DirectoryTree::AddLevelRows(MaintenanceOutcome& outcome) {
    StoredKeys& keys = state_->keys;
    const TitlesBelow titles(state_->sources);
    StoredFolderCount storedCount(db_);
    std::unordered_map<std::string, Value> countedBefore;  // folders of the stored count query
    Recordset target = db_.OpenRecordset("TREE_DIR");
    std::array<platform::Field*, LevelRow::kColumns.size()> fields{};
    for (size_t i = 0; i < fields.size(); ++i) fields[i] = &target[LevelRow::kColumns[i]];

    for (const SourceFolder& source : state_->sources) {
        const std::vector<std::string> elements = FolderElements(source.path);
        const bool driveFour = IsDriveFour(source.driveTyp);
        const bool counted = !source.driveTyp.IsNull() && !driveFour;
        std::string running;
        for (size_t i = 0; i < elements.size(); ++i) {
            const bool last = i + 1 == elements.size();
            running += elements[i] + "\\";
            const std::string& rowPath = last ? source.path : running;
            const Value count = last ? source.anzahl : Value::FromInteger(0);
            LevelRow row;
            row.values = {
                Value::FromInteger(static_cast<int64_t>(i)),
                Value::FromText(elements[i]),
                source.driveName,
                count,
                Value::FromText(rowPath),
                Value::FromText(driveFour ? elements[i] + " " + TextOrEmpty(source.driveName)
                                          : elements[i]),
                source.driveTyp,
                Value::FromText(i == 0 ? "DRIVE_" + TextOrEmpty(source.driveTyp)
                                : !count.IsNull() && count == Value::FromInteger(0) ? "DIR"
                                                                                    : "Audio"),
                Value()};
            if (keys.Taken(row)) continue;
            try {
                if (counted) {
                    const std::optional<int64_t> below = titles.Below(source, rowPath.size());
                    Value& bAnzahl = row.values[LevelRow::kBAnzahl];
                    if (below) {
                        bAnzahl = Value::FromInteger(*below);
                    } else {
                        auto [it, fresh] = countedBefore.try_emplace(rowPath);
                        if (fresh) it->second = storedCount.Below(rowPath);
                        bAnzahl = it->second;
                    }
                }
                target.AddNew();
                // BAnzahl is only set when counted: otherwise it keeps its default.
                for (size_t c = 0; c < fields.size(); ++c)
                    if (c != LevelRow::kBAnzahl || !row.values[c].IsNull())
                        fields[c]->SetValue(row.values[c]);
                target.Update();
                keys.Add(row);
                ++outcome.rowsWritten;
            } catch (const JetError& e) {
                target.CancelUpdate();
                if (e.Number() != platform::jet::kDuplicateKey)
                    outcome.NoteSkipped(e.Number(), e.Description());
            }
        }
    }
}

// Network folders without titles of their own count the titles of the rows below them on
// the same volume.
void DirectoryTree::CountNetworkFolders(MaintenanceOutcome& outcome) {
    Recordset rows = db_.OpenRecordset("select * from tree_dir where anzahl = 0 and drive=4");
    for (; !rows.Eof(); rows.MoveNext()) {
        try {
            const std::string sql = "select sum(anzahl) as anz from tree_dir where path like " +
                                    Quoted(LikeLiteral(TextOrEmpty(rows["Path"].Value())) + "*") +
                                    " and vname=" + Quoted(TextOrEmpty(rows["vName"].Value()));
            Value sum;
            {
                Recordset result = db_.OpenRecordset(sql);
                sum = result["anz"].Value();
            }
            rows.Edit();
            rows["BAnzahl"].SetValue(sum);
            rows.Update();
        } catch (const JetError& e) {
            rows.CancelUpdate();
            outcome.NoteSkipped(e.Number(), e.Description());
        }
    }
}

}  // namespace maintenance
