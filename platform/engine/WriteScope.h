// WriteScope: one change to a database file, undone unless it finished (internal).
//
// Opens the connection's batch transaction for the change and a savepoint inside it. Release()
// keeps the change; leaving the scope without Release() (an exception on the way) rolls the
// change back to where the scope began, so a change of several statements (a table with its
// catalog rows, a statement with its refused rows) is never left half made. Scopes nest.
// A change made by one statement needs no savepoint of its own: SQLite undoes a failed
// statement by itself, and a savepoint per row would copy every page the row touches a
// second time. Lives on the stack of one engine call; single-threaded.
#pragma once

#include <string>

namespace platform {

class Attachment;
class EngineConnection;

class WriteScope {
  public:
    enum class Extent { Statements, OneStatement };

    // `file`: the file the change writes, when known (recordsets on other files keep streaming).
    // `extent`: OneStatement when the change is exactly one SQLite statement.
    explicit WriteScope(EngineConnection& connection, const Attachment* file = nullptr,
                        Extent extent = Extent::Statements);
    ~WriteScope();
    WriteScope(const WriteScope&) = delete;
    WriteScope& operator=(const WriteScope&) = delete;

    // Keeps the change. Throws the JetError of a savepoint that cannot be released.
    void Release();

  private:
    EngineConnection& connection_;
    std::string savepoint_;
    bool done_ = false;
};

}  // namespace platform
