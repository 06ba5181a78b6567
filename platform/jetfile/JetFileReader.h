// JetFileReader: read-only access to a Jet 3 or Jet 4 .mdb file, safe against damaged files.
//
// The reading itself is MdbFileReader's (libmdb, with checks of its own); this reader runs it
// in a child process (ReaderProcess) for the file's structure and again for each table's rows,
// so that a file that crashes or hangs libmdb in a way no check foresaw ends in JetError 3049
// and never takes the tool down. The structure is read once, when the reader is made; rows
// are read only when asked for, which keeps opening a large file cheap. The file is opened for
// reading only and never written. Movable, not copyable, not thread-safe.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/TableDescription.h"
#include "platform/Value.h"
#include "platform/jetfile/WireFormat.h"

namespace platform {

class JetFileReader {
  public:
    // True when the file starts with a Jet 3 or Jet 4 header ("Standard Jet DB"), or with the
    // header of the later ACE format ("Standard ACE DB"), which libmdb may or may not read.
    static bool HasJetHeader(const std::string& path);

    // Reads the file's structure. Throws JetError 3024 when it does not exist, 3051 when it
    // cannot be read, 3343 when it is no Jet file, 3049 when it is truncated or damaged.
    explicit JetFileReader(const std::string& path);

    // User tables with their fields and indexes, as MdbFileReader gives them.
    const std::vector<TableDescription>& Tables() const { return tables_; }

    // What was left out or what libmdb reported, a sentence each; grows as rows are read.
    const std::vector<std::string>& Notes() const { return notes_; }

    // Calls onRow once per live row of `table`, as MdbFileReader::ReadRows does; texts and
    // binary values are views that last for the call only. Throws JetError 3078 for an
    // unknown table, 3049 for damaged data; what onRow throws stops the reading and passes
    // through.
    void ReadRows(const std::string& table,
                  const std::function<void(const std::vector<WireValue>&)>& onRow) const;

  private:
    void AddNotes(const std::vector<std::string>& notes) const;

    std::string path_;
    std::vector<TableDescription> tables_;
    mutable std::vector<std::string> notes_;
};

}  // namespace platform
