#include "platform/jetfile/JetFileReader.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/JetError.h"
#include "platform/jetfile/MdbFileReader.h"
#include "platform/jetfile/ReaderProcess.h"
#include "platform/jetfile/WireFormat.h"

namespace platform {

namespace {
constexpr uint8_t kRows = 'R';
constexpr uint8_t kNotes = 'N';
// Rows travel in batches of about this many bytes: large enough that the pipe is not the
// bottleneck, small enough that the engine stores rows while the child reads on.
constexpr size_t kBatchBytes = 256 * 1024;

// Runs `read` (which starts one child) again once when its child never answered: a child can
// inherit a lock that another thread held at the fork and wait on it forever, which a new
// child will not. Nothing was read then, so nothing is read twice.
template <typename Read>
void WithOneRetry(const std::string& path, Read read) {
    for (int attempt = 1;; ++attempt) {
        try {
            read();
            return;
        } catch (const ReaderHungAtStart&) {
            if (attempt == 2) ThrowJetError(jet::kCannotOpenDatabase, path);
        }
    }
}
}  // namespace

bool JetFileReader::HasJetHeader(const std::string& path) {
    return MdbFileReader::HasJetHeader(path);
}

JetFileReader::JetFileReader(const std::string& path) : path_(path) {
    // What needs no libmdb is checked here, so that these answers cost no process.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) ThrowJetError(jet::kFileNotFound, path);
    if (!std::ifstream(path, std::ios::binary)) ThrowJetError(jet::kCannotOpenFile, path);
    if (!HasJetHeader(path)) ThrowJetError(jet::kUnrecognizedFormat, path);

    WithOneRetry(path, [&] {
        ReaderProcess child(
            [&](MessageSink& sink) {
                MdbFileReader reader(path);
                WireWriter out;
                out.PutTables(reader.Tables());
                out.PutTexts(reader.Notes());
                sink.Send(out.Bytes());
            },
            path);
        std::optional<std::string> answer = child.NextMessage();
        if (!answer) ThrowJetError(jet::kCannotOpenDatabase, path);
        WireReader in(*answer);
        tables_ = in.GetTables();
        AddNotes(in.GetTexts());
        if (!in.AtEnd() || child.NextMessage()) ThrowJetError(jet::kCannotOpenDatabase, path);
    });
}

void JetFileReader::AddNotes(const std::vector<std::string>& notes) const {
    for (const std::string& note : notes) {
        if (std::find(notes_.begin(), notes_.end(), note) == notes_.end()) notes_.push_back(note);
    }
}

void JetFileReader::ReadRows(const std::string& table,
                             const std::function<void(const std::vector<WireValue>&)>& onRow) const {
    const auto known = std::find_if(tables_.begin(), tables_.end(),
                                    [&](const TableDescription& t) { return t.Name == table; });
    if (known == tables_.end()) ThrowJetError(jet::kInputTableNotFound, table);

    WithOneRetry(path_, [&] {
        ReaderProcess child(
            [&](MessageSink& sink) {
                MdbFileReader reader(path_);
                WireWriter out;
                out.PutByte(kRows);
                reader.ReadRows(table, [&](const std::vector<Value>& row) {
                    out.PutInt(static_cast<int64_t>(row.size()));
                    for (const Value& value : row) out.PutValue(value);
                    if (out.Size() >= kBatchBytes) {
                        sink.Send(out.Bytes());
                        out.Clear();
                        out.PutByte(kRows);
                    }
                });
                sink.Send(out.Bytes());
                out.Clear();
                out.PutByte(kNotes);
                out.PutTexts(reader.Notes());
                sink.Send(out.Bytes());
            },
            path_);
        std::vector<WireValue> row;
        while (std::optional<std::string> message = child.NextMessage()) {
            WireReader in(*message);
            const uint8_t kind = in.GetByte();
            if (kind == kNotes) {
                AddNotes(in.GetTexts());
                continue;
            }
            if (kind != kRows) ThrowJetError(jet::kCannotOpenDatabase, path_);
            while (!in.AtEnd()) {
                const int64_t count = in.GetInt();
                if (count < 0 || count > 4096) ThrowJetError(jet::kCannotOpenDatabase, path_);
                row.resize(static_cast<size_t>(count));
                for (WireValue& value : row) value = in.GetValueInPlace();
                onRow(row);
            }
        }
    });
}

}  // namespace platform
