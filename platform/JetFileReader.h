// JetFileReader: read-only access to a Jet 3 or Jet 4 .mdb file through libmdb.
//
// Gives the file's user tables with their fields (DAO types, sizes, required, zero-length,
// defaults, auto-increment) and indexes, and streams each table's live rows as Values.
// The file is opened for reading only and never written. One reader owns its libmdb handle;
// readers are movable, not copyable, and not thread-safe.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TableSpec.h"
#include "Value.h"

namespace platform {

class JetFileReader {
public:
    // True when the file starts with a Jet 3 or Jet 4 header ("Standard Jet DB").
    static bool HasJetHeader(const std::string& path);

    // Opens the file. Throws JetError 3024 when it does not exist, 3343 when it is no Jet file,
    // 3049 when libmdb cannot read its catalog (truncated or damaged file).
    explicit JetFileReader(const std::string& path);
    ~JetFileReader();
    JetFileReader(JetFileReader&&) noexcept;
    JetFileReader& operator=(JetFileReader&&) noexcept;

    // User tables (no MSys* tables), in the order of the file's catalog.
    const std::vector<TableSpec>& Tables() const;

    // Calls onRow once per live row of `table`, with one Value per field in field order.
    // Throws JetError 3078 for an unknown table, 3049 for damaged data.
    void ReadRows(const std::string& table,
                  const std::function<void(const std::vector<Value>&)>& onRow) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform
