// Recordset: the rows of a table, a stored query or a SELECT, walked forward.
//
// Made by Database::OpenRecordset (or QueryDef::OpenRecordset). Rows stream from the
// database; snapshots (QueryDef::OpenRecordset(4)) hold theirs. A recordset on one table (by
// name, or a SELECT from one table without grouping or joins) is updatable: AddNew or Edit,
// set field values, Update. Like Jet's dynaset it visits the rows its query gave, each once,
// whatever is written meanwhile: when a write to its table's file is about to happen, it
// keeps the ids of the rows still to come (8 bytes a row) and reads each row by its id from
// then on. Rows added after that are not visited; rows deleted meanwhile are passed over.
// The recordset is closed by Close, by its destructor, or when its database is closed.
// Movable, not copyable; single-threaded.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Field.h"

namespace platform {

class FieldCollection {
  public:
    size_t Count() const { return fields_->size(); }
    Field& operator[](size_t index) { return (*fields_)[index]; }
    // Letter case ignored; 3265 for a name that is not there.
    Field& Item(std::string_view name);
    auto begin() { return fields_->begin(); }
    auto end() { return fields_->end(); }

  private:
    friend class Recordset;
    explicit FieldCollection(std::vector<Field>* fields) : fields_(fields) {}
    std::vector<Field>* fields_;
};

class Recordset {
  public:
    Recordset() = default;
    ~Recordset();
    Recordset(Recordset&&) noexcept;
    Recordset& operator=(Recordset&&) noexcept;
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // DAO's EOF: true when there is no current row. (The C library's EOF macro takes the
    // upper-case spelling.)
    bool Eof() const;
    // 3021 at the end.
    void MoveNext();

    FieldCollection Fields();
    // The field `name` (letter case ignored), 3265 when absent.
    Field& operator[](std::string_view name);

    bool Updatable() const;
    // AddNew: starts a new row, its fields set to their default values. Edit: starts
    // changing the current row (3021 at the end). Update: writes the row; 3020 without AddNew
    // or Edit, 3314 for a required field left Null, 3022 for a duplicate key, 3167 (Edit and
    // Update) when the row was deleted since the recordset reached it. After a failed
    // Update the row stays being edited; AddNew or Edit start afresh. CancelUpdate drops it.
    void AddNew();
    void Edit();
    void Update();
    void CancelUpdate();

    void Close();
    bool IsOpen() const;

  private:
    friend class Database;
    friend class QueryDef;
    explicit Recordset(std::shared_ptr<RecordsetCursor> state) : state_(std::move(state)) {}
    RecordsetCursor& State() const;
    std::shared_ptr<RecordsetCursor> state_;
};

}  // namespace platform
