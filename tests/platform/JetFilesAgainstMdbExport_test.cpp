// Every Jet fixture read through the engine against mdbtools' own command-line tools on the
// same file: the same user tables, the same number of rows and the same values. mdb-export
// prints Null and "" alike; the fixture migrations tell them apart, comparing every migrated
// value with the fixtures' JSON files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/DBEngine.h"
#include "platform/DateConversion.h"
#include "support/EngineTestSupport.h"

using namespace platform;
using namespace testing_support;
namespace fs = std::filesystem;

namespace {

constexpr const char* kDateFormat = "%Y-%m-%d %H:%M:%S";

std::string ShellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The command's standard output; nothing when it cannot run or fails.
std::optional<std::string> OutputOf(const std::string& command) {
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string out;
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    return ::pclose(pipe) == 0 ? std::optional(out) : std::nullopt;
}

// The parts of `text` between the `at` characters; an `at` at the end closes the last part.
std::vector<std::string> Split(const std::string& text, char at) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t to; (to = text.find(at, from)) != std::string::npos; from = to + 1)
        parts.push_back(text.substr(from, to - from));
    if (from < text.size()) parts.push_back(text.substr(from));
    return parts;
}

// Fields and rows of the export are parted by the ASCII unit and record separators, which no
// fixture holds, so texts need neither quotes nor escapes.
constexpr char kField = '\x1f';
constexpr char kRow = '\x1e';

std::string Formatted(const char* format, double d) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, d);
    return buf;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    for (uint8_t b : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", b);
        out += digits;
    }
    return out;
}

// Both sides brought to one text per value: Booleans -1/0, Single values as 32-bit floats,
// Currency to 4 places, dates as "YYYY-MM-DD HH:MM:SS", binary data as hex, Null as "".
std::string FromEngine(const Value& v, int type) {
    if (v.IsNull()) return "";
    switch (type) {
        case dbBoolean:
            return v.AsBoolean() ? "-1" : "0";
        case dbSingle:
            return Formatted("%.9g", static_cast<float>(v.AsDouble()));
        case dbDouble:
            return Formatted("%.15g", v.AsDouble());
        case dbCurrency:
            return Formatted("%.4f", v.AsDouble());
        case dbDate:
            return FormatStoredDate(v.AsDate());
        case dbBinary:
        case dbLongBinary:
            return Hex(v.AsBinary());
        default:
            return v.ToDisplayText();
    }
}

std::string FromExport(const std::string& text, int type) {
    if (text.empty()) return text;
    switch (type) {
        case dbBoolean:
            return text == "0" ? "0" : "-1";
        case dbSingle:
            return Formatted("%.9g", std::strtof(text.c_str(), nullptr));
        case dbDouble:
            return Formatted("%.15g", std::strtod(text.c_str(), nullptr));
        case dbCurrency:
            return Formatted("%.4f", std::strtod(text.c_str(), nullptr));
        default:
            return text;
    }
}

std::string Shortened(const std::string& row) {
    return row.size() > 300 ? row.substr(0, 300) + "..." : row;
}

std::vector<std::string> JetFixtures() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(FixturePath("jet"))) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".mdb" && name != "not-a-database.mdb") {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

class JetFileAgainstMdbExport : public ::testing::TestWithParam<std::string> {};

TEST_P(JetFileAgainstMdbExport, SameTablesRowsAndValues) {
    ASSERT_TRUE(OutputOf("command -v mdb-export")) << "mdb-export is missing: scripts/setup "
                                                      "installs mdbtools";
    const std::string path = FixturePath("jet/" + GetParam());
    const auto tableList = OutputOf("mdb-tables -1 " + ShellQuoted(path));
    ASSERT_TRUE(tableList) << "mdb-tables failed on " << path;
    std::vector<std::string> exported = Split(*tableList, '\n');
    std::sort(exported.begin(), exported.end());

    Database db = DBEngine::Instance().OpenDatabase(path);
    std::vector<std::string> tables;
    for (const std::string& name : db.TableDefs().Names()) {
        if (db.TableDefs().Item(name).Attributes() == 0) tables.push_back(name);
    }
    std::sort(tables.begin(), tables.end());
    ASSERT_EQ(tables, exported);

    for (const std::string& table : tables) {
        SCOPED_TRACE(table);
        const auto csv =
            OutputOf("mdb-export -Q -b hex -d " + ShellQuoted({kField}) + " -R " +
                     ShellQuoted({kRow}) + " -D " + ShellQuoted(kDateFormat) + " -T " +
                     ShellQuoted(kDateFormat) + " " + ShellQuoted(path) + " " + ShellQuoted(table));
        ASSERT_TRUE(csv) << "mdb-export failed";
        const std::vector<std::string> lines = Split(*csv, kRow);
        ASSERT_FALSE(lines.empty());
        const std::vector<std::string> header = Split(lines[0], kField);

        TableDef def = db.TableDefs().Item(table);
        std::vector<std::string> names;
        std::vector<int> types;
        for (const Field& f : def.Fields()) {
            names.push_back(f.Name());
            types.push_back(f.Type());
        }
        // The export's columns in the engine's field order.
        std::vector<size_t> column(names.size());
        for (size_t i = 0; i < names.size(); ++i) {
            const auto at = std::find(header.begin(), header.end(), names[i]);
            ASSERT_NE(at, header.end()) << names[i];
            column[i] = static_cast<size_t>(at - header.begin());
        }
        ASSERT_EQ(header.size(), names.size());

        std::vector<std::string> want;
        for (size_t r = 1; r < lines.size(); ++r) {
            std::vector<std::string> fields = Split(lines[r], kField);
            if (fields.size() + 1 == header.size()) fields.emplace_back();  // empty last field
            ASSERT_EQ(fields.size(), header.size()) << "line " << r;
            std::string row;
            for (size_t i = 0; i < names.size(); ++i) {
                row += (i ? "|" : "") + FromExport(fields[column[i]], types[i]);
            }
            want.push_back(row);
        }
        std::vector<std::string> got;
        Recordset rs = db.OpenRecordset("select * from [" + table + "]");
        for (; !rs.Eof(); rs.MoveNext()) {
            std::string row;
            for (size_t i = 0; i < names.size(); ++i) {
                row += (i ? "|" : "") + FromEngine(rs.Fields()[i].Value(), types[i]);
            }
            got.push_back(row);
        }
        ASSERT_EQ(got.size(), want.size());
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        int reported = 0;
        for (size_t r = 0; r < got.size() && reported < 3; ++r) {
            if (got[r] == want[r]) continue;
            ADD_FAILURE() << "engine:     " << Shortened(got[r])
                          << "\nmdb-export: " << Shortened(want[r]);
            ++reported;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryJetFixture, JetFileAgainstMdbExport,
                         ::testing::ValuesIn(JetFixtures()),
                         [](const ::testing::TestParamInfo<std::string>& fixture) {
                             std::string name = fixture.param.substr(0, fixture.param.size() - 4);
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

}  // namespace
