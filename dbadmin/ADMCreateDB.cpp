#include "dbadmin/ADMCreateDB.h"

#include <exception>

#include "platform/DBEngine.h"
#include "platform/Database.h"
#include "platform/JetError.h"
#include "platform/TableDef.h"
#include "platform/Transaction.h"
#include "platform/os/LocalFileSystem.h"

namespace dbadmin {
namespace {

using platform::Database;
using platform::JetError;
using platform::TableDef;

Database Open(const std::string& path) { return platform::DBEngine::Instance().OpenDatabase(path); }

// Name, type and size, attributes and default value of each field; a text field always
// allows zero-length text in the copy, every other property keeps the engine's default.
void CopyFields(const TableDef& source, TableDef& copy) {
    for (const platform::Field& field : source.Fields()) {
        platform::Field newField = copy.CreateField(field.Name(), field.Type(), field.Size());
        newField.SetAttributes(field.Attributes());
        if (field.Type() == platform::dbText) newField.SetAllowZeroLength(true);
        newField.SetDefaultValue(field.DefaultValue());
        copy.Fields().Append(std::move(newField));
    }
}

// Name, field list, primary and unique flag of each index; nothing else.
void CopyIndexes(const TableDef& source, TableDef& copy) {
    for (const platform::Index& index : source.Indexes()) {
        platform::Index newIndex = copy.CreateIndex(index.Name());
        newIndex.SetFields(index.Fields());
        newIndex.SetPrimary(index.Primary());
        newIndex.SetUnique(index.Unique());
        copy.Indexes().Append(std::move(newIndex));
    }
}

// Only a plain local table is cloned: links, hidden and system tables carry attribute bits.
bool IsPlainTable(const TableDef& def) { return def.Attributes() == 0; }

TableDef CloneOf(Database& target, const TableDef& source, const std::string& name) {
    TableDef copy = target.CreateTableDef(name);
    CopyFields(source, copy);
    CopyIndexes(source, copy);
    return copy;
}

}  // namespace

ADMCreateDB::ADMCreateDB() = default;
ADMCreateDB::ADMCreateDB(platform::FileSystem& fileSystem) : fileSystem_(&fileSystem) {}
ADMCreateDB::~ADMCreateDB() = default;

const std::string& ADMCreateDB::DBName() const { return dbName_; }
void ADMCreateDB::DBName(const std::string& vNewValue) { dbName_ = vNewValue; }
const std::string& ADMCreateDB::ExternDBName() const { return externDbName_; }
void ADMCreateDB::ExternDBName(const std::string& vNewValue) { externDbName_ = vNewValue; }

platform::FileSystem& ADMCreateDB::Files() {
    if (!fileSystem_) {
        ownFileSystem_ = std::make_unique<platform::LocalFileSystem>();
        fileSystem_ = ownFileSystem_.get();
    }
    return *fileSystem_;
}

// The engine's error reaches the caller, and is kept as the last error as well.
Database ADMCreateDB::OpenForCaller(const std::string& path) {
    try {
        return Open(path);
    } catch (const JetError& e) {
        NoteError(e.Number(), e.Description());
        throw;
    }
}

void ADMCreateDB::ClearLastError() {
    lastErrorNumber_ = 0;
    lastErrorText_.clear();
}

void ADMCreateDB::NoteError(int number, const std::string& text) {
    lastErrorNumber_ = number;
    lastErrorText_ = text;
}

bool ADMCreateDB::CreateDB() {
    ClearLastError();
    if (dbName_.empty()) {
        const JetError error = platform::MakeJetError(platform::jet::kInvalidPath, dbName_);
        NoteError(error.Number(), error.Description());
        return false;
    }
    // Deleting the old file first would lose it whenever the creation then fails; the new
    // database is built beside it and replaces it in one step instead.
    const std::string building = dbName_ + ".creating";
    platform::FileSystem& files = Files();
    if (files.FileExists(building) && !files.DeleteFile(building)) {
        const JetError error = platform::MakeJetError(platform::jet::kCannotOpenFile, building);
        NoteError(error.Number(), error.Description());
        return false;
    }
    try {
        platform::DBEngine::Instance()
            .Workspaces(0)
            .CreateDatabase(building, platform::dbLangGeneral)
            .Close();
    } catch (const JetError& e) {
        NoteError(e.Number(), e.Description());
        if (files.FileExists(building)) (void)files.DeleteFile(building);
        return false;
    }
    // A journal that a crash left belongs to the file being replaced: SQLite would play it back
    // into the new database the first time it is opened.
    for (const char* suffix : {"-journal", "-wal"}) {
        const std::string stale = dbName_ + suffix;
        if (files.FileExists(stale) && !files.DeleteFile(stale)) {
            const JetError error = platform::MakeJetError(platform::jet::kCannotOpenFile, stale);
            NoteError(error.Number(), error.Description());
            (void)files.DeleteFile(building);
            return false;
        }
    }
    if (!files.ReplaceFile(building, dbName_)) {
        const JetError error = platform::MakeJetError(platform::jet::kCannotOpenFile, dbName_);
        NoteError(error.Number(), error.Description());
        (void)files.DeleteFile(building);
        return false;
    }
    return true;
}

void ADMCreateDB::ClonTableStrukt(const std::string& sTableName, const std::string& sNewTableName) {
    ClearLastError();
    Database target = OpenForCaller(dbName_);
    Database source = OpenForCaller(externDbName_);
    try {
        const TableDef original = source.TableDefs().Item(sTableName);
        if (!IsPlainTable(original)) return;
        TableDef copy =
            CloneOf(target, original, sNewTableName.empty() ? original.Name() : sNewTableName);
        target.TableDefs().Append(copy);
    } catch (const JetError& e) {
        NoteError(e.Number(), e.Description());
    }
}

void ADMCreateDB::ClonDBStruktur() {
    ClearLastError();
    Database target = OpenForCaller(dbName_);
    Database source = OpenForCaller(externDbName_);
    try {
        auto tables = source.TableDefs();
        for (size_t i = 0; i < tables.Count(); ++i) {
            const TableDef original = tables[i];
            if (!IsPlainTable(original)) continue;
            TableDef copy = CloneOf(target, original, original.Name());
            target.TableDefs().Append(copy);
        }
        auto queries = source.QueryDefs();
        for (size_t i = 0; i < queries.Count(); ++i) {
            const platform::QueryDef query = queries[i];
            if (query.Type() == platform::dbQUpdate) continue;
            target.CreateQueryDef(query.Name(), query.SQL());
        }
    } catch (const JetError& e) {
        NoteError(e.Number(), e.Description());
    }
}

void ADMCreateDB::LinkTable(const std::string& sTableName, const std::string& sNewTableName) {
    ClearLastError();
    const std::string& name = sNewTableName.empty() ? sTableName : sNewTableName;
    try {
        Database db = Open(dbName_);
        platform::Transaction transaction;
        DeleteTableDef(db, name);
        TableDef link = db.CreateTableDef(name);
        link.SetConnect(";Database=" + externDbName_);
        link.SetSourceTableName(name);
        db.TableDefs().Append(link);
        transaction.Commit();
    } catch (const JetError& e) {
        NoteError(e.Number(), e.Description());
    }
}

void ADMCreateDB::ClonQuerydef(const std::string& sName) {
    ClearLastError();
    try {
        Database target = Open(dbName_);
        Database source = Open(externDbName_);
        const platform::QueryDef query = source.QueryDefs().Item(sName);
        target.CreateQueryDef(query.Name(), query.SQL());
    } catch (const JetError& e) {
        NoteError(e.Number(), e.Description());
    }
}

void ADMCreateDB::CreateQuerydef(const std::string& sName, const std::string& sSql) {
    ClearLastError();
    try {
        Database db = Open(dbName_);
        platform::Transaction transaction;
        DeleteQueryDef(db, sName);
        db.CreateQueryDef(sName, sSql);
        transaction.Commit();
    } catch (const JetError& e) {
        NoteError(e.Number(), e.Description());
    }
}

void ADMCreateDB::DeleteTableDef(Database& db, const std::string& name) {
    try {
        db.TableDefs().Delete(name);
    } catch (const JetError&) {
        // Nothing of that name, or nothing that may be removed: the append that follows decides.
    }
}

void ADMCreateDB::DeleteQueryDef(Database& db, const std::string& name) {
    try {
        db.QueryDefs().Delete(name);
    } catch (const JetError&) {
        // As for tables: a missing query is the usual case.
    }
}

}  // namespace dbadmin
