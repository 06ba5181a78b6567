// DdlParser: Jet's data-definition statements (CREATE TABLE, CREATE INDEX, DROP, ALTER TABLE)
// parsed into the table, index and field descriptions that the catalog creates.
//
// Parsing only: the engine applies the result. Jet's type names (TEXT, LONG, COUNTER, YESNO,
// ...) are read here for the DDL and for the PARAMETERS clause of queries. No state.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/TableDescription.h"

namespace platform {

// Jet DDL, parsed. Exactly one of the members is set, by `kind`.
struct DdlStatement {
    enum class Kind { CreateTable, CreateIndex, DropTable, DropIndex, AddColumn } kind;
    std::string table;
    TableDescription createTable;  // CreateTable: fields and the indexes of PRIMARY
                                   // KEY/UNIQUE/CONSTRAINT clauses
    IndexDescription index;   // CreateIndex (WITH PRIMARY sets Primary and Unique); DropIndex: Name
    FieldDescription column;  // AddColumn (createTable.Indexes: those its PRIMARY KEY/UNIQUE make)
};

// Parses CREATE TABLE, CREATE [UNIQUE] INDEX ... ON t (a, b DESC) [WITH PRIMARY|DISALLOW
// NULL|IGNORE NULL], DROP TABLE, DROP INDEX i ON t, ALTER TABLE t ADD [COLUMN] ..., ALTER
// TABLE t ADD CONSTRAINT (a CreateIndex) and ALTER TABLE t DROP CONSTRAINT (a DropIndex);
// nothing for other text. Throws JetError 3290, 3291, 3293 or 3295 on malformed DDL, 3191 for
// a field defined twice, 3251 for DDL this engine does not run (CREATE VIEW, DROP COLUMN).
std::optional<DdlStatement> ParseDdl(std::string_view jetSql);

// The DAO type of a Jet type name (TEXT, LONG, COUNTER, ...), letter case ignored; nothing for
// a word that names no type. `autoIncrement`, when given, tells whether it is COUNTER or one of
// its synonyms.
std::optional<int> JetTypeFromName(std::string_view word, bool* autoIncrement);

}  // namespace platform
