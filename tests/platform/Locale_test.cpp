// Numbers never follow the process locale (a Qt application switches it to the user's at
// start), and the functions that depend on regional settings follow English/US.
#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/DBEngine.h"
#include "platform/Value.h"
#include "support/EngineTestSupport.h"

using namespace platform;
using namespace testing_support;

namespace {

namespace fs = std::filesystem;

bool DecimalCommaActive() {
    const std::lconv* conv = std::localeconv();
    return conv && std::string(conv->decimal_point) == ",";
}

// Switches the process to a locale with a decimal comma while it lives. Uses one that is
// installed, else builds de_DE with localedef into a folder kept under the temporary folder
// for later runs; `Reason` says why neither worked.
class CommaLocale {
  public:
    CommaLocale() : saved_(std::setlocale(LC_ALL, nullptr)) {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"})
            if (std::setlocale(LC_ALL, name) && DecimalCommaActive()) return;
        UseBuiltLocale();
    }
    ~CommaLocale() {
        std::setlocale(LC_ALL, saved_.c_str());
        if (setLocPath_) ::unsetenv("LOCPATH");
    }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    bool Active() const { return DecimalCommaActive(); }
    const std::string& Reason() const { return reason_; }

  private:
    void UseBuiltLocale() {
        const fs::path folder = fs::temp_directory_path() / "sonavoxa-test-locales";
        std::error_code ec;
        if (!fs::exists(folder / "de_DE.UTF-8" / "LC_NUMERIC", ec)) {
            if (!fs::exists("/usr/share/i18n/locales/de_DE", ec)) {
                reason_ =
                    "no locale with a decimal comma is installed and the locale sources"
                    " to build one are missing (Debian: the locales package)";
                return;
            }
            // Built beside the final folder and renamed, so parallel test runs never see
            // half a locale.
            const fs::path building = folder.string() + ".building-" + std::to_string(::getpid());
            fs::create_directories(building, ec);
            const std::string command = "localedef -i de_DE -f UTF-8 '" +
                                        (building / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
            [[maybe_unused]] const int rc = std::system(command.c_str());
            fs::rename(building, folder, ec);
            fs::remove_all(building, ec);
        }
        ::setenv("LOCPATH", folder.c_str(), 1);
        setLocPath_ = true;
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8") || !DecimalCommaActive())
            reason_ = "localedef could not build de_DE.UTF-8 in " + folder.string();
    }

    std::string saved_;
    std::string reason_;
    bool setLocPath_ = false;
};

class UnderCommaLocale : public ::testing::Test {
  protected:
    void SetUp() override {
        db_ = CreateDatabaseWith(
            folder_ / "lib.mdb",
            {"CREATE TABLE one (id LONG)", "INSERT INTO one (id) VALUES (1)",
             "CREATE TABLE amounts (id LONG, d DOUBLE, s SINGLE, c CURRENCY, t TEXT(20))"});
        TableDef table = db_.CreateTableDef("withDefault");
        table.Fields().Append(table.CreateField("id", dbLong));
        Field rate = table.CreateField("rate", dbDouble);
        rate.SetDefaultValue("2.5");
        table.Fields().Append(rate);
        db_.TableDefs().Append(table);
        // Switched only now: creating the database and reading the test's own texts must not
        // depend on it either, but the point here is what happens after a Qt start.
        locale_ = std::make_unique<CommaLocale>();
        if (!locale_->Active()) GTEST_SKIP() << "no decimal-comma locale: " << locale_->Reason();
    }
    void TearDown() override { locale_.reset(); }

    std::string Eval(const std::string& expression) {
        return Rows(db_, "select " + expression + " as x from one");
    }

    TempFolder folder_;
    Database db_;
    std::unique_ptr<CommaLocale> locale_;
};

}  // namespace

TEST_F(UnderCommaLocale, JetFunctionsReadAndWriteNumbersWithAPoint) {
    const std::pair<const char*, const char*> cases[] = {
        {"CStr(1.5)", "1.5\n"},
        {"Val('1.5')", "1.5\n"},
        {"Val(' 2.5e1 kg')", "25\n"},
        {"Val('1,5')", "1\n"},
        {"'1.5' + 1", "2.5\n"},
        {"format(1.5)", "1.5\n"},
        {"format(1234.5, '#,##0.00')", "1,234.50\n"},
        {"format(1234.5, 'Scientific')", "1.23E+03\n"},
        {"format('3.25', '0.0')", "3.3\n"},
    };
    for (const auto& [expression, expected] : cases)
        EXPECT_EQ(Eval(expression), expected) << expression;
}

TEST_F(UnderCommaLocale, StoredValuesAndLiteralsKeepTheirNumbers) {
    db_.Execute("insert into amounts (id, d, s, c, t) values (1, 1.5, 0.25, 12.3456, 7.5)");
    Recordset rs = db_.OpenRecordset("amounts");
    rs.AddNew();
    rs["id"].SetValue(Value::FromInteger(2));
    rs["d"].SetValue(Value::FromText("3.75"));
    rs["s"].SetValue(Value::FromText("-1.5"));
    rs["c"].SetValue(Value::FromDouble(0.5));
    rs["t"].SetValue(Value::FromDouble(2.5));
    rs.Update();
    rs.Close();
    EXPECT_EQ(Rows(db_, "select d, s, c, t from amounts order by id"),
              "1.5|0.25|12.3456|7.5\n3.75|-1.5|0.5|2.5\n");
    EXPECT_EQ(Rows(db_, "select count(*) from amounts where d > 1.25 and d < 3.8"), "2\n");

    db_.Execute("insert into withDefault (id) values (1)");
    EXPECT_EQ(Rows(db_, "select rate from withDefault"), "2.5\n");
    EXPECT_EQ(Value::FromDouble(0.1).ToText(), "0.1");
    EXPECT_DOUBLE_EQ(Value::FromText("0.1").ToDouble(), 0.1);
}
