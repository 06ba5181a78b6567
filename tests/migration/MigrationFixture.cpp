#include "MigrationFixture.h"

#include "tools/LibraryGenerator.h"

namespace migration::testing_support {

namespace fs = std::filesystem;

MigrationTest::MigrationTest(const std::string& dataHome) : dataHome_(dataHome) {
    SetEnv("XDG_DATA_HOME", temp / dataHome);
    temp.MakeFolder(dataHome);
    temp.MakeFolder("old");
    SetMachinePathMode("user.normal");
    fs::copy(SONAVOXA_PROGRAM_DIR, temp / "Program", fs::copy_options::recursive);
}

MigrationTest::~MigrationTest() = default;

settings::Mod_API& MigrationTest::NewApi() {
    form.reset();  // it holds the Mod_API that goes
    return Api();
}

frmRivivuviRU& MigrationTest::NewForm(platform::FileSystem* fileSystem) {
    settings::Mod_API& api = NewApi();
    form = std::make_unique<frmRivivuviRU>(port, api, fileSystem ? *fileSystem : local);
    return *form;
}

frmRivivuviRU& MigrationTest::Start(platform::FileSystem* fileSystem) {
    NewForm(fileSystem);
    form->Form_Load();
    form->Form_Activate();
    return *form;
}

std::string MigrationTest::OldFixture(const std::string& name) const {
    const std::string to = temp / ("old/" + name);
    fs::copy_file(std::string(SONAVOXA_FIXTURES) + "/jet/" + name, to,
                  fs::copy_options::overwrite_existing);
    return to;
}

std::string MigrationTest::GeneratedLibrary(long titles) const {
    const std::string path = temp / ("old/generated-" + std::to_string(titles) + ".mdb");
    tools::LibraryGenerator({titles, 3, true}).Write(path);
    return path;
}

void MigrationTest::Migrate(const std::string& path) {
    port.answers.push_back(path);
    form->cmdGetOldDB_Click();
    form->cmdOK_Click();
}

std::string Rows(const std::string& databasePath, const std::string& select) {
    platform::Database db = platform::DBEngine::Instance().OpenDatabase(databasePath);
    return ::testing_support::Rows(db, select);
}

long Number(const std::string& databasePath, const std::string& select) {
    platform::Database db = platform::DBEngine::Instance().OpenDatabase(databasePath);
    platform::Recordset rs = db.OpenRecordset(select);
    return static_cast<long>(rs.Fields()[0].Value().ToInteger());
}

}  // namespace migration::testing_support
