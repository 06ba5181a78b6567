// QueryDef: a stored query of a database, with its parameters.
//
// Stored at once by Database::CreateQueryDef. Type is DAO's query type, derived from the SQL
// text (select 0, crosstab 16, delete 32, update 48, append 64, make-table 80,
// data-definition 96, union 128). Parameters are declared by the text's PARAMETERS clause;
// set their values, then OpenRecordset or Execute. A QueryDef refers to its database and is
// valid while the database is open.
#pragma once

#include <memory>
#include <string>

#include "NamedList.h"
#include "Recordset.h"
#include "TableDescription.h"
#include "Value.h"

namespace platform {

class OpenDatabaseState;

inline constexpr int dbOpenTable = 1;
inline constexpr int dbOpenDynaset = 2;
inline constexpr int dbOpenSnapshot = 4;
inline constexpr int dbQSelect = 0;
inline constexpr int dbQCrosstab = 16;
inline constexpr int dbQDelete = 32;
inline constexpr int dbQUpdate = 48;
inline constexpr int dbQAppend = 64;
inline constexpr int dbQMakeTable = 80;
inline constexpr int dbQDDL = 96;
inline constexpr int dbQSetOperation = 128;

class Parameter {
  public:
    Parameter(std::string name, int type) : name_(std::move(name)), type_(type) {}
    const std::string& Name() const { return name_; }
    int Type() const { return type_; }
    const platform::Value& Value() const { return value_; }
    void SetValue(platform::Value v) {
        value_ = std::move(v);
        assigned_ = true;
    }
    bool HasValue() const { return assigned_; }

  private:
    std::string name_;
    int type_;
    platform::Value value_;
    bool assigned_ = false;
};

class QueryDef {
  public:
    const std::string& Name() const { return name_; }
    const std::string& SQL() const { return sql_; }
    int Type() const { return type_; }
    NamedList<Parameter>& Parameters() { return parameters_; }

    // type: dbOpenSnapshot (4) gives a read-only snapshot that holds its rows; dbOpenDynaset
    // (2) a recordset like Database::OpenRecordset. 3061 when a parameter has no value.
    Recordset OpenRecordset(int type = dbOpenDynaset);
    // Runs an action query with the parameter values; returns the number of rows changed.
    long Execute();

  private:
    friend class Database;
    friend class QueryDefCollection;
    QueryDef(std::shared_ptr<OpenDatabaseState> db, std::string name, std::string sql, int type);
    std::shared_ptr<OpenDatabaseState> db_;
    std::string name_;
    std::string sql_;
    int type_ = 0;
    NamedList<Parameter> parameters_;
};

}  // namespace platform
