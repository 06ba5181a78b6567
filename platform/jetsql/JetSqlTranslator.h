// JetSqlTranslator: turns Jet SQL text into SQLite SQL for the engine.
//
// The translator works on tokens, not on a full grammar: it rewrites the Jet dialect
// ([bracketed names], "double-quoted" and #date# literals, true/false, &, + and - that count
// dates in days, comparisons used as values giving -1 for true, TOP n, DISTINCTROW, a leading
// PARAMETERS clause, LIKE with Jet's wildcards, Jet functions) and qualifies every
// table reference through a resolver that the engine supplies, because one SQLite connection
// serves every open database (each as its own schema) and links and stored queries stand where
// tables do. It never touches a database itself. Errors are JetErrors with Jet's numbers.
// The work is done by StatementTranslator and ExpressionTranslator over an SqlTree; DDL is
// parsed by DdlParser. Thread rules: none; a translator holds no state between calls.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TableDescription.h"
#include "platform/jetsql/DdlParser.h"

namespace platform {

// How a table name that the SQL text uses is to be written in SQLite SQL.
struct TableReference {
    // SQLite text for the table or query, without alias: a schema-qualified table
    // ("db1"."db_all"), or a parenthesized SELECT for a stored select query that declares no
    // parameters.
    std::string sql;
    bool isQuery = false;  // a stored select query: readable, never written
    // A stored select query may instead be given by its Jet SQL text (`sql` is then ignored):
    // the translator translates it in place with the same resolver, and its declared
    // parameters join the statement's parameters (one SQLite parameter per name).
    std::string querySql;
};

// Maps names of the SQL text onto the open databases. Supplied by the engine.
class SqlNameResolver {
  public:
    virtual ~SqlNameResolver() = default;
    // The table, link or stored select query called `name` (letter case ignored), or nothing
    // when the database has none of that name (the translator then writes a reference that
    // SQLite reports as a missing table, which the engine turns into error 3078).
    virtual std::optional<TableReference> ResolveTable(std::string_view name) = 0;
};

struct ParameterDeclaration {
    std::string name;
    int type = dbText;  // DAO type code of the declared type
    int32_t size = 0;
};

enum class StatementKind { Select, Insert, Update, Delete, DataDefinition };

struct TranslatedStatement {
    StatementKind kind = StatementKind::Select;
    std::string sql;  // SQLite SQL; parameters appear as named SQLite parameters
    // Declared or inherited parameters in order of declaration, each with the SQLite
    // parameter name that stands for it in `sql` (":p1", ...). Derived parameters may appear
    // as well: bind ":p1_like" to LikePattern(value of :p1).SqlitePattern(), ":p1_from" and
    // ":p1_to" to its PrefixRange() and ":p1_numfrom", ":p1_numto" to X'01' and X'00'; where
    // it has no PrefixRange, to '', X'00', -inf and X'00' (see Database.cpp).
    std::vector<ParameterDeclaration> parameters;
    std::vector<std::string> sqliteParameterNames;  // parallel to `parameters`
    // Insert, Update, Delete: the Jet name of the table written to.
    std::string targetTable;
    // Insert, Update: the rows to write, for the engine to convert each value as an assignment
    // would. `targetSql` is the resolved table; `targetColumns` the columns written in order
    // (Insert without a column list: empty, meaning every column); `sourceSql` a SELECT giving
    // the rows: for Insert the values of each new row, for Update the rowid of each row to
    // change followed by its new values.
    std::string targetSql;
    std::vector<std::string> targetColumns;
    std::string sourceSql;
    // Select: the Jet name of the single base table when the select is updatable (one table,
    // no join, grouping, DISTINCT, union or aggregate), else empty. With
    // TranslateOptions::addRowIdColumn the first result column is then that table's rowid,
    // named "__rowid__".
    std::string updatableTable;
};

struct TranslateOptions {
    bool addRowIdColumn = false;
};

class JetSqlTranslator {
  public:
    // Translates one statement (a trailing ';' is allowed). Throws JetError: 3129 for text
    // that is no statement or a kind this engine does not run (TRANSFORM, SELECT ... INTO,
    // joined UPDATE), 3075 and its relatives for syntax errors, 3073 for writing to a stored
    // query. DDL text gives kind DataDefinition and no `sql`: run it through ParseDdl.
    TranslatedStatement Translate(std::string_view jetSql, SqlNameResolver& resolver,
                                  const TranslateOptions& options = {}) const;
};

// DAO query type of a stored query's SQL text (dbQSelect, dbQAppend, ...).
int QueryTypeOfSql(std::string_view jetSql);

// The PARAMETERS clause of a query text, in order; empty when there is none.
std::vector<ParameterDeclaration> DeclaredParameters(std::string_view jetSql);

}  // namespace platform
