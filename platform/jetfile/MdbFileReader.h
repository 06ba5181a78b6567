// MdbFileReader: read-only access to a Jet 3 or Jet 4 .mdb file through libmdb.
//
// Gives the file's user tables with their fields (DAO types, sizes, attributes, required,
// zero-length, defaults) and indexes, and streams each table's live rows as Values. The file
// is opened for reading only and never written. libmdb reads page structures without checks,
// so the reader checks them first: a truncated or damaged file raises JetError 3049 rather
// than crashing the process where the checks foresee the damage (JetFileReader runs this
// reader in a child process for what they do not foresee). What cannot be carried over (an index
// whose fields were deleted) is left out and noted; it never refuses the whole file. One reader
// owns its libmdb handle; readers are movable (a moved-from reader may only be destroyed or
// assigned), not copyable, and not thread-safe.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/TableDescription.h"
#include "platform/Value.h"

namespace platform {

class MdbFileReader {
  public:
    // True when the file starts with a Jet 3 or Jet 4 header ("Standard Jet DB"), or with the
    // header of the later ACE format ("Standard ACE DB"), which libmdb may or may not read.
    static bool HasJetHeader(const std::string& path);

    // Opens the file. Throws JetError 3024 when it does not exist, 3051 when it cannot be read,
    // 3343 when it is no Jet file, 3049 when it is truncated or damaged.
    explicit MdbFileReader(const std::string& path);
    ~MdbFileReader();
    MdbFileReader(MdbFileReader&&) noexcept;
    MdbFileReader& operator=(MdbFileReader&&) noexcept;

    // User tables (no MSys* and no system tables), in the order of the file's catalog.
    // Field attributes are what DAO reports for a table's fields: dbFixedField or
    // dbVariableField, plus dbAutoIncrField for an AutoNumber (a Long AutoNumber gives 17).
    const std::vector<TableDescription>& Tables() const;

    // What the reader left out or what libmdb reported about the file, a sentence each: an
    // index whose fields are gone, a damaged index definition, libmdb's own warnings ("libmdb:
    // ..."), which never reach standard error. Complete once every table's rows were read.
    const std::vector<std::string>& Notes() const;

    // Calls onRow once per live row of `table` in the file's physical order, with one Value per
    // field in field order: Boolean, Integer (Byte, Integer, Long), Single, Double (Double,
    // Currency, Decimal), Date, Text (Text, Memo, GUID as "{...}"), Binary (Binary, OLE).
    // Throws JetError 3078 for an unknown table, 3049 for damaged data.
    void ReadRows(const std::string& table,
                  const std::function<void(const std::vector<Value>&)>& onRow) const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform
