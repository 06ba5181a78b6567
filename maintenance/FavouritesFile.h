// FavouritesFile: the file "~tree.tmp" that carries the favourite rows of a tree table while
// the table is emptied and refilled.
//
// One line per saved row, one field per column, separated by commas. A text field stands
// between double quotes, with a backslash before each double quote and backslash and with
// \t, \n and \r for tab, line feed and carriage return, so that every text (UTF-8, any
// character) reads back exactly as it was written; a number stands unquoted as its shortest
// exact decimal text; a Null is an empty unquoted field. Only the operation that writes the
// file reads it. The object owns its stream; it closes on Close or destruction and never
// deletes the file (Remove does, on request). Failures raise platform::JetError 75.
#pragma once

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/Value.h"

namespace maintenance {

// A field as read back: the text of a quoted or unquoted field, or no value for an empty
// unquoted field (a saved Null).
using SavedField = std::optional<std::string>;

class FavouritesFile {
  public:
    explicit FavouritesFile(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }

    // Creates the file anew (an existing file is emptied) for writing.
    void Create();
    // Writes one line: text values quoted, numbers plain, Null empty.
    void WriteLine(const std::vector<platform::Value>& fields);
    // Opens the file for reading from its first line.
    void OpenForReading();
    // The next line's fields; false at the end of the file.
    bool ReadLine(std::vector<SavedField>& fields);
    // Closes the stream; a write that did not reach the file raises here.
    void Close();
    // Deletes the file; a missing file or any other failure is ignored.
    void Remove() noexcept;

    // The fields of one line as written by WriteLine; exposed for the round-trip tests.
    static std::string FormatLine(const std::vector<platform::Value>& fields);
    static std::vector<SavedField> ParseLine(const std::string& line);

  private:
    [[noreturn]] void Fail(const char* what) const;

    std::string path_;
    std::ofstream out_;
    std::ifstream in_;
};

}  // namespace maintenance
