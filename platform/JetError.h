// JetError: the one exception type of the engine.
//
// Carries Jet's error number and DAO's English text for it. Every failure of the engine
// (and of the platform layers below the tool) surfaces as a JetError; callers branch on
// Number(), never on the text.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

namespace jet {
inline constexpr int kInvalidArgument = 3001;
inline constexpr int kTableExists = 3010;
inline constexpr int kObjectExists = 3012;
inline constexpr int kUpdateWithoutEdit = 3020;
inline constexpr int kNoCurrentRecord = 3021;
inline constexpr int kDuplicateKey = 3022;
inline constexpr int kFileNotFound = 3024;
inline constexpr int kReadOnly = 3027;
inline constexpr int kNoTransaction = 3034;
inline constexpr int kResourcesExceeded = 3035;
inline constexpr int kFileInUse = 3045;
inline constexpr int kCancelled = 3059;
inline constexpr int kTooManyDatabases = 3048;
inline constexpr int kCannotOpenDatabase = 3049;
inline constexpr int kCannotOpenFile = 3051;
inline constexpr int kInvalidPath = 3044;
inline constexpr int kTooFewParameters = 3061;
inline constexpr int kCannotExecuteSelect = 3065;
inline constexpr int kNotUpdatableQuery = 3073;
inline constexpr int kSyntaxInExpression = 3075;
inline constexpr int kInputTableNotFound = 3078;
inline constexpr int kAmbiguousField = 3079;
inline constexpr int kUndefinedFunction = 3085;
inline constexpr int kNotPartOfAggregate = 3122;
inline constexpr int kCircularReference = 3103;
inline constexpr int kUnknownInsertField = 3127;
inline constexpr int kInvalidSqlStatement = 3129;
inline constexpr int kCharactersAfterEnd = 3142;
inline constexpr int kFieldTooSmall = 3163;
inline constexpr int kFieldNotUpdatable = 3164;
inline constexpr int kRecordDeleted = 3167;
inline constexpr int kFieldDefinedTwice = 3191;
inline constexpr int kDatabaseExists = 3204;
inline constexpr int kInvalidOperation = 3219;
inline constexpr int kOperationNotSupported = 3251;
inline constexpr int kInvalidFieldType = 3259;
inline constexpr int kLocked = 3260;
inline constexpr int kNoFieldDefined = 3264;
inline constexpr int kItemNotFound = 3265;
inline constexpr int kPrimaryKeyExists = 3283;
inline constexpr int kSyntaxInCreateTable = 3290;
inline constexpr int kSyntaxInCreateIndex = 3291;
inline constexpr int kSyntaxInAlterTable = 3293;
inline constexpr int kSyntaxInDrop = 3295;
inline constexpr int kRequiredIsNull = 3314;
inline constexpr int kZeroLengthString = 3315;
inline constexpr int kUnrecognizedFormat = 3343;
inline constexpr int kValueCountMismatch = 3346;
inline constexpr int kIndexExists = 3375;
inline constexpr int kQueryTooComplex = 3360;
inline constexpr int kObjectInvalid = 3420;
inline constexpr int kTypeConversion = 3421;
inline constexpr int kTypeMismatch = 3464;
// What Jet's expression service raises for a value a function cannot take.
inline constexpr int kInvalidCall = 5;
inline constexpr int kOverflow = 6;
inline constexpr int kDivisionByZero = 11;
inline constexpr int kEngineFailure = 3000;  // an unexpected failure below the engine
}  // namespace jet

class JetError : public std::runtime_error {
  public:
    JetError(int number, std::string text) : std::runtime_error(text), number_(number) {}

    int Number() const { return number_; }
    std::string Description() const { return what(); }

  private:
    int number_;
};

// The JetError for `number` with DAO's text; each '|' in the text is replaced by the next
// argument (the file, table or field the message names). 3075 takes what is wrong first
// ("Syntax error", "Wrong number of arguments used with function") and the expression second.
JetError MakeJetError(int number, std::string_view arg1 = {}, std::string_view arg2 = {});
[[noreturn]] void ThrowJetError(int number, std::string_view arg1 = {}, std::string_view arg2 = {});

}  // namespace platform
