#include "platform/jetfile/MdbFileReader.h"

// glib first: mdbtools.h includes it inside extern "C", which its C++ parts do not survive.
#include <glib.h>
#include <mdbtools.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/JetError.h"
#include "platform/jetfile/DefaultValues.h"
#include "platform/jetfile/IndexDefinitions.h"
#include "platform/jetfile/JetStoredValues.h"
#include "platform/jetfile/StandardErrorCapture.h"

namespace platform {
namespace {

constexpr size_t kHeaderBytes = 0x18;
constexpr uint8_t kDataPage = 0x01;
constexpr uint8_t kTableDefinitionPage = 0x02;
// libmdb reads the catalog (MSysObjects) from the table definition on this page.
constexpr uint32_t kCatalogPage = 2;
constexpr int kRowOffsetMask = 0x1fff;
constexpr int kRowDeleted = 0x4000;
// Long-value (Memo/OLE) header flags.
constexpr uint32_t kLongValueInline = 0x80000000u;
constexpr uint32_t kLongValueSinglePage = 0x40000000u;
constexpr uint32_t kLongValueLengthMask = 0x3fffffffu;
constexpr size_t kLongValueHeader = 12;
constexpr unsigned kMaxFields = 255;
constexpr unsigned kMaxIndexes = 256;
constexpr size_t kPageHeaderBytes = 8;
constexpr size_t kNextPageOffset = 4;
// A file with something wrong in every table could say so thousands of times.
constexpr size_t kMaxNotes = 100;

struct MdbCloser {
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
using MdbPtr = std::unique_ptr<MdbHandle, MdbCloser>;

struct TableDefFree {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using TableDefPtr = std::unique_ptr<MdbTableDef, TableDefFree>;

bool StartsWithIgnoringCase(const std::string& s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

int DaoType(const MdbColumn& col) {
    switch (col.col_type) {
        case MDB_BOOL:
            return dbBoolean;
        case MDB_BYTE:
            return dbByte;
        case MDB_INT:
            return dbInteger;
        case MDB_LONGINT:
            return dbLong;
        case MDB_MONEY:
            return dbCurrency;
        case MDB_FLOAT:
            return dbSingle;
        case MDB_DOUBLE:
            return dbDouble;
        case MDB_DATETIME:
            return dbDate;
        case MDB_BINARY:
            return dbBinary;
        case MDB_TEXT:
            return dbText;
        case MDB_OLE:
            return dbLongBinary;
        case MDB_MEMO:
            return dbMemo;
        case MDB_REPID:
            return dbGUID;
        // Jet 4's Decimal has no type of its own in this engine; its values fit a Double
        // closely enough for the data that old libraries hold.
        case MDB_NUMERIC:
            return dbDouble;
        default:
            return 0;
    }
}

// The byte size a fixed column occupies in a row; 0 for variable columns.
size_t StoredFixedSize(const MdbColumn& col) {
    switch (col.col_type) {
        case MDB_BOOL:
            return 0;  // kept in the null mask
        case MDB_BYTE:
            return 1;
        case MDB_INT:
            return 2;
        case MDB_LONGINT:
            return 4;
        case MDB_MONEY:
            return 8;
        case MDB_FLOAT:
            return 4;
        case MDB_DOUBLE:
            return 8;
        case MDB_DATETIME:
            return 8;
        case MDB_REPID:
            return 16;
        case MDB_NUMERIC:
            return 17;
        default:
            return 0;
    }
}

bool PropIsYes(const MdbColumn& col, const char* key) {
    if (!col.props) return false;
    const char* v = mdb_col_get_prop(&col, key);
    return v && (std::strcmp(v, "yes") == 0 || std::strcmp(v, "True") == 0 ||
                 std::strcmp(v, "true") == 0 || std::strcmp(v, "-1") == 0);
}

std::string PropText(const MdbColumn& col, const char* key) {
    if (!col.props) return {};
    const char* v = mdb_col_get_prop(&col, key);
    return v ? std::string(v) : std::string();
}

}  // namespace

struct MdbFileReader::State {
    std::string path;
    MdbPtr mdb;
    bool jet4 = true;
    size_t pageSize = 4096;
    uint64_t pageCount = 0;
    std::vector<TableDescription> tables;
    std::vector<MdbCatalogEntry*> entries;  // parallel to tables; owned by mdb's catalog
    // What was left out or what libmdb complained about; grows while rows are read.
    mutable std::vector<std::string> notes;
    mutable size_t notesLeftOut = 0;

    [[noreturn]] void Damaged() const { ThrowJetError(jet::kCannotOpenDatabase, path); }
    void Note(std::string text) const;
    // Turns what libmdb wrote to standard error into notes, a line each.
    void NoteLibraryOutput(const std::string& text) const;

    TableDefPtr OpenTable(MdbCatalogEntry* entry) const;
    // Walks the data pages a table's usage map names, in the order libmdb's data scan visits
    // them, and fails where that scan would leave the file or loop.
    void CheckUsageMap(const MdbTableDef& table) const;
    TableDescription DescribeTable(MdbCatalogEntry* entry) const;
    // The table definition's bytes: its first page whole, then each continuation page
    // without its header.
    std::vector<uint8_t> ReadDefinition(const MdbCatalogEntry& entry) const;
    void DescribeIndexes(const MdbTableDef& table, TableDescription& description) const;
    // Copies the row that `pageRow` (page number << 8 | row number) names into `out`; false when
    // the page or row does not exist. Uses libmdb's second page buffer, so the data page being
    // scanned stays put.
    bool ReadLongValueRow(uint32_t pageRow, std::vector<uint8_t>& out) const;
    // A Memo or OLE value from its field in a row. `strict` also requires the chain of pages to
    // end where the stated length does, as libmdb's own reader relies on.
    bool ReadLongValue(const uint8_t* field, size_t size, std::vector<uint8_t>& out,
                       bool strict = false) const;
    // Calls onRow with the cracked fields of each live row, checked to lie inside the row,
    // and afterPage once the rows of a data page are done. libmdb's output while it reads a
    // page (and during onRow) becomes notes; afterPage runs with standard error as it was.
    void ScanRows(MdbTableDef& table,
                  const std::function<void(const std::vector<MdbField>&)>& onRow,
                  const std::function<void()>& afterPage = {}) const;
    void CheckCatalog() const;
    std::string DecodeText(const uint8_t* p, size_t n) const;
    Value Convert(const MdbColumn& col, const MdbField& field, std::vector<uint8_t>& scratch) const;
};

bool MdbFileReader::HasJetHeader(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    char header[kHeaderBytes] = {};
    in.read(header, sizeof header);
    if (in.gcount() != static_cast<std::streamsize>(sizeof header)) return false;
    if (header[0] != 0 || header[1] != 1 || header[2] != 0 || header[3] != 0) return false;
    const std::string_view id(header + 4, 15);
    return id == "Standard Jet DB" || id == "Standard ACE DB";
}

MdbFileReader::MdbFileReader(const std::string& path) : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.path = path;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) ThrowJetError(jet::kFileNotFound, path);
    if (!std::ifstream(path, std::ios::binary)) ThrowJetError(jet::kCannotOpenFile, path);
    if (!HasJetHeader(path)) ThrowJetError(jet::kUnrecognizedFormat, path);
    StandardErrorCapture capture;

    // libmdb trusts the page structure it reads; check what can be checked before handing it
    // the file. A Jet file is made of whole pages.
    const uintmax_t fileSize = std::filesystem::file_size(path, ec);
    if (ec) s.Damaged();
    s.mdb.reset(mdb_open(path.c_str(), MDB_NOFLAGS));
    if (!s.mdb) s.Damaged();
    s.jet4 = s.mdb->f->jet_version != MDB_VER_JET3;
    s.pageSize = s.jet4 ? 4096 : 2048;
    if (static_cast<size_t>(s.mdb->fmt->pg_size) != s.pageSize || fileSize % s.pageSize != 0) {
        s.Damaged();
    }
    s.pageCount = fileSize / s.pageSize;
    s.CheckCatalog();
    if (!mdb_read_catalog(s.mdb.get(), MDB_TABLE)) s.Damaged();
    // The catalog lists itself; without that entry it was not read.
    MdbCatalogEntry* catalog = mdb_get_catalogentry_by_name(s.mdb.get(), "MSysObjects");
    if (!catalog || catalog->object_type != MDB_TABLE || catalog->table_pg != kCatalogPage) {
        s.Damaged();
    }

    for (unsigned i = 0; i < s.mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(s.mdb->catalog, i));
        if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry)) continue;
        const std::string name = entry->object_name;
        // MSys* are Jet's own tables; "~" names are Access's temporary objects.
        if (StartsWithIgnoringCase(name, "msys") || StartsWithIgnoringCase(name, "~")) continue;
        s.tables.push_back(s.DescribeTable(entry));
        s.entries.push_back(entry);
    }
    s.NoteLibraryOutput(capture.Finish());
}

MdbFileReader::~MdbFileReader() = default;
MdbFileReader::MdbFileReader(MdbFileReader&&) noexcept = default;
MdbFileReader& MdbFileReader::operator=(MdbFileReader&&) noexcept = default;

const std::vector<TableDescription>& MdbFileReader::Tables() const { return state_->tables; }

const std::vector<std::string>& MdbFileReader::Notes() const { return state_->notes; }

void MdbFileReader::State::Note(std::string text) const {
    if (std::find(notes.begin(), notes.end(), text) != notes.end()) return;
    if (notes.size() < kMaxNotes) {
        notes.push_back(std::move(text));
        return;
    }
    if (++notesLeftOut == 1) notes.emplace_back();
    notes.back() = std::to_string(notesLeftOut) + " more notes left out.";
}

void MdbFileReader::State::NoteLibraryOutput(const std::string& text) const {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) {
            line.pop_back();
        }
        if (!line.empty()) Note("libmdb: " + line);
        start = end + 1;
    }
}

TableDefPtr MdbFileReader::State::OpenTable(MdbCatalogEntry* entry) const {
    if (entry->table_pg == 0 || entry->table_pg >= pageCount ||
        mdb_read_alt_pg(mdb.get(), entry->table_pg) != static_cast<ssize_t>(pageSize) ||
        mdb->alt_pg_buf[0] != kTableDefinitionPage) {
        Damaged();
    }
    TableDefPtr table(mdb_read_table(entry));
    if (!table) Damaged();
    // libmdb allocates and reads whatever counts the definition states; a Jet table has at most
    // 255 fields and 32 indexes (plus the logical ones that relationships add).
    if (table->num_cols == 0 || table->num_cols > kMaxFields || table->num_idxs > kMaxIndexes ||
        table->num_real_idxs > kMaxIndexes) {
        Damaged();
    }
    if (!mdb_read_columns(table.get()) || table->num_cols == 0 ||
        table->columns->len != table->num_cols) {
        Damaged();
    }
    CheckUsageMap(*table);
    return table;
}

void MdbFileReader::State::CheckUsageMap(const MdbTableDef& table) const {
    // libmdb follows the usage map without checks: a missing map crashes it, a map pointing
    // past the end of the file or going backwards makes it stop early or loop. Walk the map
    // once here; a data scan then visits exactly these pages.
    if (!table.usage_map || table.map_sz < 1) Damaged();
    const auto* map = static_cast<const unsigned char*>(table.usage_map);
    const auto mapSize = static_cast<unsigned>(table.map_sz);
    if (map[0] == 1) {
        // A map of map pages, each a bitmap of (page size - 4) * 8 pages. libmdb reads the map
        // page again for every data page it finds (a large table's structure then cost
        // thousands of reads); the same walk here reads each once. Its first call starts
        // after page 0, and every later one after the page found, so the pages come in
        // rising order.
        const uint64_t pagesPerMapPage = (pageSize - 4) * 8;
        for (unsigned index = 0; index < (mapSize - 1) / 4; ++index) {
            const uint32_t mapPage = Le32(map + index * 4 + 1);
            if (mapPage == 0) continue;
            if (mapPage >= pageCount ||
                mdb_read_alt_pg(mdb.get(), mapPage) != static_cast<ssize_t>(pageSize)) {
                Damaged();
            }
            const unsigned char* bits = mdb->alt_pg_buf + 4;
            for (uint64_t bit = index == 0 ? 1 : 0; bit < pagesPerMapPage; ++bit) {
                if ((bits[bit / 8] & (1u << (bit % 8))) != 0 &&
                    index * pagesPerMapPage + bit >= pageCount) {
                    Damaged();
                }
            }
        }
        return;
    }
    for (guint32 page = 0;;) {
        const gint32 next = mdb_map_find_next(mdb.get(), table.usage_map, mapSize, page);
        if (next == 0) break;
        if (next < 0 || static_cast<guint32>(next) <= page ||
            static_cast<uint64_t>(next) >= pageCount) {
            Damaged();
        }
        page = static_cast<guint32>(next);
    }
}

TableDescription MdbFileReader::State::DescribeTable(MdbCatalogEntry* entry) const {
    TableDefPtr table = OpenTable(entry);
    TableDescription description;
    description.Name = entry->object_name;
    for (unsigned i = 0; i < table->num_cols; ++i) {
        const auto& col = *static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        FieldDescription f;
        f.Name = col.name;
        f.Type = DaoType(col);
        if (f.Type == 0) Damaged();
        if (f.Type == dbText) {
            f.Size = jet4 ? col.col_size / 2 : col.col_size;
        } else if (f.Type == dbBinary) {
            f.Size = col.col_size;
        } else {
            f.Size = DefaultFieldSize(f.Type);
        }
        // What DAO reports for a table's fields: fixed or variable length, plus the
        // auto-increment bit for AutoNumber columns (a Long AutoNumber gives 17).
        f.Attributes = col.is_fixed ? dbFixedField : dbVariableField;
        if (col.is_long_auto) f.Attributes |= dbAutoIncrField;
        f.Required = PropIsYes(col, "Required");
        f.AllowZeroLength = PropIsYes(col, "AllowZeroLength");
        f.DefaultValue = PropText(col, "DefaultValue");
        // libmdb reads the definition's 0x40 bit as "automatic GUID" on every field; Jet 3
        // sets it on ordinary text fields too. Only a GUID field fills itself in.
        if (col.col_type == MDB_REPID && col.is_uuid_auto && f.DefaultValue.empty()) {
            f.DefaultValue = "GenGUID()";
        }
        if (!EngineFillsInDefault(f.DefaultValue)) {
            Note("Table \"" + description.Name + "\": default value " + f.DefaultValue +
                 " of field \"" + f.Name + "\" left out: the engine cannot compute it.");
            f.DefaultValue.clear();
        }
        description.Fields.push_back(std::move(f));
    }

    DescribeIndexes(*table, description);
    return description;
}

std::vector<uint8_t> MdbFileReader::State::ReadDefinition(const MdbCatalogEntry& entry) const {
    std::vector<uint8_t> bytes;
    std::vector<bool> seen(pageCount, false);
    for (uint64_t page = entry.table_pg; page != 0;) {
        if (page >= pageCount || seen[page] ||
            mdb_read_alt_pg(mdb.get(), static_cast<unsigned>(page)) !=
                static_cast<ssize_t>(pageSize) ||
            mdb->alt_pg_buf[0] != kTableDefinitionPage) {
            break;  // what follows is missing; the index reader says so
        }
        seen[page] = true;
        const uint8_t* buf = mdb->alt_pg_buf;
        bytes.insert(bytes.end(), buf + (bytes.empty() ? 0 : kPageHeaderBytes), buf + pageSize);
        page = Le32(buf + kNextPageOffset);
    }
    return bytes;
}

void MdbFileReader::State::DescribeIndexes(const MdbTableDef& table,
                                           TableDescription& description) const {
    const std::string& tableName = description.Name;
    const auto indexes = ReadIndexDefinitions(ReadDefinition(*table.entry), jet4);
    if (!indexes) {
        Note("Table \"" + tableName + "\": its indexes could not be read and were left out.");
        return;
    }
    for (const IndexDefinition& index : *indexes) {
        // The far side of a relationship shares the other table's index; it has no keys here.
        if (index.Kind == kRelationshipIndex) continue;
        IndexDescription ix;
        ix.Name = jet4 ? DecodeJet4Text(index.RawName.data(), index.RawName.size())
                       : DecodeText(index.RawName.data(), index.RawName.size());
        const std::string leftOut =
            "Table \"" + tableName + "\": index \"" + ix.Name + "\" left out: ";
        if (!index.Flags) {
            Note(leftOut + "its index data is missing.");
            continue;
        }
        bool fieldsFound = true;
        for (const IndexKeyDefinition& key : index.Keys) {
            const MdbColumn* found = nullptr;
            for (unsigned i = 0; i < table.num_cols; ++i) {
                const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table.columns, i));
                if (col->col_num == key.FieldNumber) found = col;
            }
            if (!found) {
                Note(leftOut + "field number " + std::to_string(key.FieldNumber) +
                     " of its key no longer exists.");
                fieldsFound = false;
                break;
            }
            ix.Fields.push_back({found->name, key.Descending});
        }
        if (!fieldsFound) continue;
        if (ix.Fields.empty()) {
            Note(leftOut + "it has no fields.");
            continue;
        }
        if (ix.Name.empty()) {
            Note("Table \"" + tableName + "\": an index without a name was left out.");
            continue;
        }
        const bool taken = std::any_of(
            description.Indexes.begin(), description.Indexes.end(), [&](const IndexDescription& d) {
                return d.Name == ix.Name || (d.Primary && index.Kind == kPrimaryKeyIndex);
            });
        if (taken) {
            Note(leftOut + "the table has another index of that name or a primary key already.");
            continue;
        }
        ix.Primary = index.Kind == kPrimaryKeyIndex;
        ix.Unique = ix.Primary || (*index.Flags & kUniqueIndexFlag) != 0;
        ix.IgnoreNulls = (*index.Flags & kIgnoreNullsIndexFlag) != 0;
        ix.Required = ix.Primary || (*index.Flags & kRequiredIndexFlag) != 0;
        description.Indexes.push_back(std::move(ix));
    }
}

bool MdbFileReader::State::ReadLongValueRow(uint32_t pageRow, std::vector<uint8_t>& out) const {
    const uint32_t page = pageRow >> 8;
    const int row = static_cast<int>(pageRow & 0xff);
    if (page == 0 || page >= pageCount) return false;
    if (mdb_read_alt_pg(mdb.get(), page) != static_cast<ssize_t>(pageSize)) return false;
    const uint8_t* buf = mdb->alt_pg_buf;
    if (buf[0] != kDataPage) return false;
    const int rco = mdb->fmt->row_count_offset;
    const int rows = Le16(buf + rco);
    if (row >= rows || rco + 2 + rows * 2 > static_cast<int>(pageSize)) return false;
    const int start = Le16(buf + rco + 2 + row * 2) & kRowOffsetMask;
    const int end =
        row == 0 ? static_cast<int>(pageSize) : (Le16(buf + rco + row * 2) & kRowOffsetMask);
    if (start < rco + 2 + rows * 2 || start > end || end > static_cast<int>(pageSize)) {
        return false;
    }
    out.assign(buf + start, buf + end);
    return true;
}

bool MdbFileReader::State::ReadLongValue(const uint8_t* field, size_t size,
                                         std::vector<uint8_t>& out, bool strict) const {
    out.clear();
    if (size < kLongValueHeader) return false;
    const uint32_t header = Le32(field);
    const size_t length = header & kLongValueLengthMask;
    if (header & kLongValueInline) {
        if (length > size - kLongValueHeader) return false;
        out.assign(field + kLongValueHeader, field + kLongValueHeader + length);
        return true;
    }
    uint32_t pageRow = Le32(field + 4);
    std::vector<uint8_t> row;
    if (header & kLongValueSinglePage) {
        if (!ReadLongValueRow(pageRow, row) || row.size() < length) return false;
        if (strict && row.size() != length) return false;
        out.assign(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(length));
        return true;
    }
    // A chain of rows, each starting with the page/row of the next one. A damaged chain may
    // loop; it cannot hold more than the declared length.
    out.reserve(length);
    while (out.size() < length) {
        if (pageRow == 0 || !ReadLongValueRow(pageRow, row) || row.size() < 4) return false;
        pageRow = Le32(row.data());
        out.insert(out.end(), row.begin() + 4, row.end());
    }
    if (strict && (out.size() != length || pageRow != 0)) return false;
    if (out.size() > length) out.resize(length);
    return true;
}

std::string MdbFileReader::State::DecodeText(const uint8_t* p, size_t n) const {
    if (jet4) return DecodeJet4Text(p, n);
    // Jet 3 text is in the file's code page; libmdb's iconv converts it to UTF-8.
    std::string out(n * 4 + 1, '\0');
    const int len =
        mdb_unicode2ascii(mdb.get(), reinterpret_cast<const char*>(p), n, out.data(), out.size());
    out.resize(len > 0 ? static_cast<size_t>(len) : 0);
    return out;
}

Value MdbFileReader::State::Convert(const MdbColumn& col, const MdbField& field,
                                    std::vector<uint8_t>& scratch) const {
    // Booleans live in the null mask: a set bit (not "null") is true.
    if (col.col_type == MDB_BOOL) return Value::FromBoolean(!field.is_null);
    if (field.is_null) return Value::Null();
    const auto* p = static_cast<const uint8_t*>(field.value);
    const size_t n = field.siz > 0 ? static_cast<size_t>(field.siz) : 0;
    const size_t fixed = StoredFixedSize(col);
    if (fixed > 0 && n < fixed) Damaged();
    switch (col.col_type) {
        case MDB_BYTE:
            return Value::FromInteger(p[0]);
        case MDB_INT:
            return Value::FromInteger(static_cast<int16_t>(Le16(p)));
        case MDB_LONGINT:
            return Value::FromInteger(static_cast<int32_t>(Le32(p)));
        case MDB_MONEY: {
            const uint64_t raw = Le32(p) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
            return Value::FromDouble(static_cast<double>(static_cast<int64_t>(raw)) / 10000.0);
        }
        case MDB_FLOAT: {
            float f;
            std::memcpy(&f, p, sizeof f);
            return Value::FromSingle(f);
        }
        case MDB_DOUBLE:
        case MDB_DATETIME: {
            double d;
            std::memcpy(&d, p, sizeof d);
            if (col.col_type != MDB_DATETIME) return Value::FromDouble(d);
            // A date outside Jet's years 100 to 9999 (or no number at all) is damage, not a
            // date: it reads as Null.
            if (!(d >= -657434.0 && d < 2958466.0)) return Value();
            return Value::FromDate(d);
        }
        case MDB_REPID:
            return Value::FromText(FormatGuid(p));
        case MDB_NUMERIC: {
            char* text = mdb_numeric_to_string(mdb.get(), field.start, col.col_scale, col.col_prec);
            // libmdb writes the digits with a point; strtod would read them by the locale.
            double d = 0.0;
            if (text) std::from_chars(text, text + std::strlen(text), d);
            g_free(text);
            return Value::FromDouble(d);
        }
        case MDB_TEXT:
            return Value::FromText(DecodeText(p, n));
        case MDB_BINARY:
            return Value::FromBinary(std::vector<uint8_t>(p, p + n));
        case MDB_MEMO:
        case MDB_OLE: {
            if (!ReadLongValue(p, n, scratch)) Damaged();
            if (col.col_type == MDB_OLE) return Value::FromBinary(scratch);
            return Value::FromText(DecodeText(scratch.data(), scratch.size()));
        }
        default:
            Damaged();
    }
}

void MdbFileReader::State::ScanRows(MdbTableDef& table,
                                    const std::function<void(const std::vector<MdbField>&)>& onRow,
                                    const std::function<void()>& afterPage) const {
    MdbHandle* h = mdb.get();
    const unsigned numCols = table.num_cols;
    std::vector<MdbField> fields(numCols);
    const int rco = h->fmt->row_count_offset;
    const int size = static_cast<int>(pageSize);
    guint32 lastPage = 0;

    mdb_rewind_table(&table);
    for (;;) {
        StandardErrorCapture capture;
        if (!mdb_read_next_dpg(&table)) {
            NoteLibraryOutput(capture.Finish());
            break;
        }
        if (table.cur_phys_pg <= lastPage) Damaged();  // the scan must only go forward
        lastPage = table.cur_phys_pg;
        const int rows = Le16(h->pg_buf + rco);
        const int firstRowByte = rco + 2 + rows * 2;
        if (firstRowByte > size) Damaged();
        for (int r = 0; r < rows; ++r) {
            const int rawStart = Le16(h->pg_buf + rco + 2 + r * 2);
            if (rawStart & kRowDeleted) continue;
            const int start = rawStart & kRowOffsetMask;
            const int end = r == 0 ? size : (Le16(h->pg_buf + rco + r * 2) & kRowOffsetMask);
            if (start == end) continue;
            if (start < firstRowByte || start > end || end > size) Damaged();
            if (mdb_crack_row(&table, start, static_cast<size_t>(end - start), fields.data()) < 0) {
                Damaged();
            }
            for (const MdbField& f : fields) {
                if (f.colnum < 0 || static_cast<unsigned>(f.colnum) >= numCols) Damaged();
                if (f.is_null) continue;
                if (f.siz < 0) Damaged();
                const auto* p = static_cast<const uint8_t*>(f.value);
                if (f.siz > 0 && (!p || p < h->pg_buf + start || p + f.siz > h->pg_buf + end)) {
                    Damaged();
                }
            }
            onRow(fields);
        }
        NoteLibraryOutput(capture.Finish());
        if (afterPage) afterPage();
    }
}

namespace {

// The smallest value size libmdb reads for a property of type `dtype`.
size_t PropertyValueSize(int dtype) {
    switch (dtype) {
        case MDB_BOOL:
        case MDB_BYTE:
            return 1;
        case MDB_INT:
            return 2;
        case MDB_LONGINT:
        case MDB_FLOAT:
            return 4;
        case MDB_MONEY:
        case MDB_DOUBLE:
        case MDB_DATETIME:
            return 8;
        case MDB_REPID:
            return 16;
        case MDB_NUMERIC:
            return 17;
        default:
            return 0;
    }
}

// Checks a property block (the catalog's LvProp: "KKD"/"MR2", then records) the way libmdb
// walks it, which it does without bounds checks: a zero record length loops it forever.
bool IsSafePropertyBlock(const std::vector<uint8_t>& b) {
    if (b.size() < 4) return false;
    if (std::memcmp(b.data(), "KKD", 4) != 0 && std::memcmp(b.data(), "MR2", 4) != 0) {
        return true;  // libmdb refuses it cleanly
    }
    const size_t len = b.size();
    for (size_t pos = 4; pos < len;) {
        if (pos + 6 > len) return false;
        const size_t recordLen = Le32(&b[pos]);
        const uint16_t type = Le16(&b[pos + 4]);
        if (recordLen < 6 || recordLen > len - pos) return false;
        const uint8_t* r = &b[pos + 6];
        const size_t n = recordLen - 6;
        if (type == 0x80) {  // the names the values refer to
            for (size_t q = 0; q < n;) {
                if (q + 2 > n) return false;
                const size_t l = Le16(r + q);
                q += 2;
                if (l > n - q) return false;
                q += l;
            }
        } else if (type <= 2) {  // a block of values
            if (n < 6) return false;
            size_t q = 6 + Le16(r + 4);
            if (q > n) return false;
            while (q < n) {
                if (q + 8 > n) return false;
                const size_t rec = Le16(r + q);
                const size_t dsize = Le16(r + q + 6);
                if (rec < 8 || dsize > n - q - 8 || dsize < PropertyValueSize(r[q + 3])) {
                    return false;
                }
                q += rec;
            }
        }
        pos += recordLen;
    }
    return true;
}

}  // namespace

void MdbFileReader::State::CheckCatalog() const {
    // The catalog is itself a table; libmdb scans it, and parses each object's properties,
    // without checking either first.
    MdbCatalogEntry probe{};
    probe.mdb = mdb.get();
    probe.object_type = MDB_TABLE;
    probe.table_pg = kCatalogPage;
    std::strcpy(probe.object_name, "MSysObjects");
    TableDefPtr table = OpenTable(&probe);
    int propsColumn = -1;
    for (unsigned i = 0; i < table->num_cols; ++i) {
        const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        if (std::strcmp(col->name, "LvProp") == 0) propsColumn = static_cast<int>(i);
    }
    std::vector<uint8_t> block;
    ScanRows(*table, [&](const std::vector<MdbField>& fields) {
        for (const MdbField& f : fields) {
            if (f.colnum != propsColumn || f.is_null || f.siz == 0) continue;
            if (!ReadLongValue(static_cast<const uint8_t*>(f.value), static_cast<size_t>(f.siz),
                               block, true) ||
                !IsSafePropertyBlock(block)) {
                Damaged();
            }
        }
    });
}

void MdbFileReader::ReadRows(const std::string& tableName,
                             const std::function<void(const std::vector<Value>&)>& onRow) const {
    const State& s = *state_;
    size_t which = s.tables.size();
    for (size_t i = 0; i < s.tables.size(); ++i) {
        if (s.tables[i].Name == tableName) which = i;
    }
    if (which == s.tables.size()) ThrowJetError(jet::kInputTableNotFound, tableName);

    TableDefPtr table = s.OpenTable(s.entries[which]);
    const unsigned numCols = table->num_cols;
    std::vector<const MdbColumn*> columns(numCols);
    for (unsigned i = 0; i < numCols; ++i) {
        columns[i] = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
    }
    // The rows of a page are handed on once libmdb is done with the page, so that what the
    // caller does with them is not mistaken for libmdb's output.
    std::vector<std::vector<Value>> pageRows;
    std::vector<uint8_t> scratch;
    s.ScanRows(
        *table,
        [&](const std::vector<MdbField>& fields) {
            std::vector<Value> values(numCols);
            for (const MdbField& f : fields) {
                const auto c = static_cast<size_t>(f.colnum);
                values[c] = s.Convert(*columns[c], f, scratch);
            }
            pageRows.push_back(std::move(values));
        },
        [&] {
            for (const std::vector<Value>& row : pageRows) onRow(row);
            pageRows.clear();
        });
}

}  // namespace platform
