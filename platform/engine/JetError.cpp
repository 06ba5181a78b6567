#include "platform/JetError.h"

#include <string>

namespace platform {
namespace {

// DAO's English texts; '|' marks where the named object goes.
std::string_view TextFor(int number) {
    switch (number) {
        case 5:
            return "Invalid procedure call or argument.";
        case 6:
            return "Overflow.";
        case 11:
            return "Division by zero.";
        case 3001:
            return "Invalid argument.";
        case 3010:
            return "Table '|' already exists.";
        case 3000:
            return "Reserved error (|); there is no message for this error.";
        case 3012:
            return "Object '|' already exists.";
        case 3020:
            return "Update or CancelUpdate without AddNew or Edit.";
        case 3021:
            return "No current record.";
        case 3022:
            return "The changes you requested to the table were not successful because they would "
                   "create duplicate values in the index, primary key, or relationship. Change the "
                   "data in the field or fields that contain duplicate data, remove the index, or "
                   "redefine the index to permit duplicate entries and try again.";
        case 3024:
            return "Could not find file '|'.";
        case 3027:
            return "Cannot update. Database or object is read-only.";
        case 3034:
            return "You tried to commit or rollback a transaction without first beginning a "
                   "transaction.";
        case 3045:
            return "Could not use '|'; file already in use.";
        case 3059:
            return "Operation canceled by user.";
        case 3035:
            return "System resource exceeded. |";
        case 3044:
            return "'|' isn't a valid path. Make sure that the path name is spelled correctly "
                   "and that you are connected to the server on which the file resides.";
        case 3048:
            return "Cannot open any more databases.";
        case 3049:
            return "Cannot open database '|'. It may not be a database that your application "
                   "recognizes, or the file may be corrupt.";
        case 3051:
            return "The Microsoft Jet database engine cannot open the file '|'. It is already "
                   "opened exclusively by another user, or you need permission to view its "
                   "data.";
        case 3061:
            return "Too few parameters. Expected |.";
        case 3065:
            return "Cannot execute a select query.";
        case 3073:
            return "Operation must use an updatable query.";
        case 3075:
            return "| in query expression '|'.";
        case 3078:
            return "The Microsoft Jet database engine cannot find the input table or query "
                   "'|'. Make sure it exists and that its name is spelled correctly.";
        case 3079:
            return "The specified field '|' could refer to more than one table listed in the "
                   "FROM clause of your SQL statement.";
        case 3085:
            return "Undefined function '|' in expression.";
        case 3103:
            return "Circular reference caused by '|'.";
        case 3127:
            return "The INSERT INTO statement contains the following unknown field name: '|'. "
                   "Make sure you have typed the name correctly, and try the operation again.";
        case 3122:
            return "You tried to execute a query that does not include the specified "
                   "expression '|' as part of an aggregate function.";
        case 3128:
            return "Syntax error in DELETE statement.";
        case 3129:
            return "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', "
                   "'SELECT', or 'UPDATE'.";
        case 3134:
            return "Syntax error in INSERT INTO statement.";
        case 3142:
            return "Characters found after end of SQL statement.";
        case 3141:
            return "The SELECT statement includes a reserved word or an argument name that is "
                   "misspelled or missing, or the punctuation is incorrect.";
        case 3144:
            return "Syntax error in UPDATE statement.";
        case 3163:
            return "The field is too small to accept the amount of data you attempted to add. "
                   "Try inserting or pasting less data.";
        case 3164:
            return "Field cannot be updated.";
        case 3167:
            return "Record is deleted.";
        case 3191:
            return "Cannot define field more than once.";
        case 3204:
            return "Database already exists.";
        case 3219:
            return "Invalid operation.";
        case 3251:
            return "Operation is not supported for this type of object.";
        case 3259:
            return "Invalid field data type.";
        case 3260:
            return "Couldn't update; currently locked. |";
        case 3264:
            return "No field defined--cannot append TableDef or Index.";
        case 3265:
            return "Item not found in this collection.";
        case 3283:
            return "Primary key already exists.";
        case 3290:
            return "Syntax error in CREATE TABLE statement.";
        case 3291:
            return "Syntax error in CREATE INDEX statement.";
        case 3293:
            return "Syntax error in ALTER TABLE statement.";
        case 3295:
            return "Syntax error in DROP TABLE or DROP INDEX.";
        case 3314:
            return "The field '|' cannot contain a Null value because the Required property "
                   "for this field is set to True. Enter a value in this field.";
        case 3315:
            return "Field '|' cannot be a zero-length string.";
        case 3343:
            return "Unrecognized database format '|'.";
        case 3346:
            return "Number of query values and destination fields are not the same.";
        case 3360:
            return "Query is too complex.";
        case 3375:
            return "Table '|' already has an index named '|'.";
        case 3420:
            return "Object invalid or no longer set.";
        case 3421:
            return "Data type conversion error.";
        case 3464:
            return "Data type mismatch in criteria expression.";
        default:
            return "Reserved error; there is no message for this error.";
    }
}

}  // namespace

JetError MakeJetError(int number, std::string_view arg1, std::string_view arg2) {
    std::string_view text = TextFor(number);
    std::string out;
    int used = 0;
    for (char c : text) {
        if (c != '|') {
            out += c;
            continue;
        }
        if (used == 0)
            out += arg1;
        else
            out += arg2;
        ++used;
    }
    if (number != jet::kEngineFailure && text.starts_with("Reserved error")) {
        out =
            "Reserved error (" + std::to_string(number) + "); there is no message for this error.";
        if (!arg1.empty()) out += std::string(" ") + std::string(arg1);
    }
    return JetError(number, std::move(out));
}

void ThrowJetError(int number, std::string_view arg1, std::string_view arg2) {
    throw MakeJetError(number, arg1, arg2);
}

}  // namespace platform
