#include "settings/Mod_API.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/os/Environment.h"
#include "platform/os/LocalFileSystem.h"

namespace settings {
namespace {

// RegQueryValueEx's buffer: longer data does not fit and reads as nothing.
constexpr size_t kValueBufferSize = 1024;
constexpr char kSkinVersion[] = "3.9";

// Path modes and folder names compare in ASCII lower case; texts are UTF-8 throughout, so
// there is no code-page conversion on the way into or out of the store.
std::string AsciiLower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// A number as "&h" and its hexadecimal digits, most significant first, without leading zeros
// (as VB's Hex() writes it): 42 gives "&h2A", 0 gives "&h0".
std::string DwordText(const std::string& data) {
    uint32_t number = 0;
    for (size_t i = std::min<size_t>(data.size(), 4); i-- > 0;) {
        number = (number << 8) | static_cast<unsigned char>(data[i]);
    }
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[number & 0xf]);
        number >>= 4;
    } while (number != 0);
    return "&h" + digits;
}

struct DefaultPlatform {
    platform::LocalFileSystem fileSystem;
    platform::StandardFolders specialFolders{platform::Environment::Process()};
    platform::ProgramLocation program{platform::Environment::Process()};
    RegistryStore registry = RegistryStore::AtStandardPlaces(fileSystem, specialFolders);
    Mod_API api{fileSystem, specialFolders, program, registry};
};

}  // namespace

Mod_API::Mod_API(platform::FileSystem& fileSystem, const platform::StandardFolders& specialFolders,
                 const platform::ProgramLocation& program, RegistryStore& registry)
    : fileSystem_(fileSystem),
      specialFolders_(specialFolders),
      program_(program),
      registry_(registry) {}

Mod_API& Mod_API::Default() {
    static DefaultPlatform instance;
    return instance.api;
}

bool Mod_API::SetRegValue(uint32_t root, const std::string& keyPath, const std::string& valueName,
                          const std::string& value) {
    if (!registry_.CreateKey(root, keyPath)) return false;
    // The registry cannot tell an empty text from a missing one; a blank keeps the setting.
    const std::string text = value.empty() ? " " : value;
    return registry_.SetValue(root, keyPath, valueName, RegistryValue{regtype::kSz, text});
}

std::string Mod_API::GetRegValue(uint32_t root, const std::string& keyPath,
                                 const std::string& valueName) {
    const std::optional<RegistryValue> value = registry_.QueryValue(root, keyPath, valueName);
    if (!value || value->data.size() > kValueBufferSize) return {};
    switch (value->type) {
        case regtype::kSz:
        case regtype::kExpandSz:
            return value->data.substr(0, value->data.find('\0'));
        case regtype::kDword:
            return DwordText(value->data);
        default:
            return {};
    }
}

void Mod_API::SaveAppSetting(const std::string& valueName, const std::string& value) {
    (void)SetRegValue(HKEY_CURRENT_USER, ToolKey(), valueName, value);
}

std::string Mod_API::GetAppSetting(const std::string& valueName, const std::string& defaultValue) {
    std::string value = GetRegValue(HKEY_CURRENT_USER, ToolKey(), valueName);
    return value.empty() ? defaultValue : value;
}

std::string Mod_API::GetSpecialFolder(int32_t csidl) { return specialFolders_.Path(csidl); }

std::string Mod_API::GetAppPathConfig() {
    if (!pathMode_.empty()) return pathMode_;
    pathMode_ = AsciiLower(GetRegValue(HKEY_LOCAL_MACHINE, "Software\\Sonavoxa", "AppPathConfig"));
    if (pathMode_ != "local" && pathMode_ != "user.normal" && pathMode_ != "user.global") {
        // Installed among the programs: the program folder is not the user's to write in.
        const std::string programFolder = AsciiLower(program_.Folder());
        const std::string programsFolder =
            AsciiLower(GetSpecialFolder(platform::csidl::kProgramFiles));
        pathMode_ =
            programFolder.find(programsFolder) != std::string::npos ? "user.normal" : "local";
    }
    return pathMode_;
}

std::string Mod_API::DataPath() {
    const std::string programFolder = program_.Folder();
    const std::string mode = GetAppPathConfig();
    std::string dataFolder;
    if (mode == "local") {
        dataFolder = programFolder;
    } else {
        const std::string base = GetSpecialFolder(
            mode == "user.global" ? platform::csidl::kCommonAppData : platform::csidl::kAppData);
        // Without its special folder the data folder would land in "/Sonavoxa"; refuse instead.
        if (base.empty()) return programFolder;
        dataFolder = Join(base, "Sonavoxa");
    }
    if (preparedFlag_ == 0 && !Prepare(programFolder, dataFolder)) return programFolder;
    return dataFolder;
}

std::string Mod_API::ToolKey() const { return "Software\\Sonavoxa\\" + program_.BaseName(); }

// Each step runs only when its folder is missing, so a preparation that stopped half-way picks
// up where it stopped. Copies overwrite what is there.
bool Mod_API::Prepare(const std::string& programFolder, const std::string& dataFolder) {
    platform::FileSystem& fs = fileSystem_;
    const auto fromProgram = [&](const std::string& name) { return Join(programFolder, name); };
    const std::string skinFiles = fromProgram("Skin/*.skn");

    if (!fs.FolderExists(dataFolder)) {
        // The data folder appears only with its database whole: the database is copied into a
        // folder beside it and synced, and that folder then takes the data folder's name. A
        // copy that stopped half-way (a full disk, a crash) leaves only that folder, which the
        // next call fills again; an existing data folder is never given a database again.
        const std::string staging = dataFolder + ".preparing";
        if (!fs.FolderExists(staging) && !fs.CreateFolder(staging)) return false;
        if (!fs.CopyFiles(fromProgram("sonavoxa.mdb"), staging, true) ||
            !fs.SyncFile(Join(staging, "sonavoxa.mdb")) || !fs.RenameFile(staging, dataFolder)) {
            return false;
        }
        (void)fs.SyncFolder(std::filesystem::path(dataFolder).parent_path().string());
        for (const char* name : {"sonavoxa.ini", "SonavoxaJob.ini"}) {
            if (!fs.CopyFiles(fromProgram(name), dataFolder, true)) return false;
        }
    }

    const std::string skin = Join(dataFolder, "Skin");
    if (!fs.FolderExists(skin)) {
        if (!fs.CreateFolder(skin) || !fs.CopyFiles(skinFiles, skin, true)) return false;
        SaveAppSetting("SkinVersion", kSkinVersion);
    }

    const std::string webserver = Join(dataFolder, "Webserver");
    if (!fs.FolderExists(webserver)) {
        // Only the sub-folders travel; loose files of the program's Webserver folder stay.
        if (!fs.CreateFolder(webserver) ||
            !fs.CopyFolders(fromProgram("Webserver/*"), webserver, true)) {
            return false;
        }
    }

    // Skins of an older version are replaced once, unless the data folder is the program folder.
    if (GetAppSetting("SkinVersion", "null") != kSkinVersion && programFolder != dataFolder) {
        if (!fs.CopyFiles(skinFiles, skin, true)) return false;
        SaveAppSetting("SkinVersion", kSkinVersion);
    }

    const std::string layout = Join(dataFolder, "Layout");
    if (!fs.FolderExists(layout)) {
        if (!fs.CreateFolder(layout) ||
            !fs.CopyFiles(fromProgram("Layout/default.grx"), layout, true)) {
            return false;
        }
    }

    const std::string image = Join(dataFolder, "Image");
    if (!fs.FolderExists(image) && !fs.CreateFolder(image)) return false;

    preparedFlag_ = 1;
    return true;
}

}  // namespace settings
