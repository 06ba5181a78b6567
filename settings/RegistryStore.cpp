#include "settings/RegistryStore.h"

#include <unistd.h>

#include <utility>

namespace settings {
namespace {

constexpr char kStoreFile[] = "/sonavoxa/registry.ini";

std::string ParentFolder(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

RegistryStore::RegistryStore(platform::FileSystem& fileSystem,
                             std::vector<std::string> machineFiles, std::string userFile)
    : fileSystem_(fileSystem),
      machineFiles_(std::move(machineFiles)),
      userFile_(std::move(userFile)) {}

RegistryStore RegistryStore::AtStandardPlaces(platform::FileSystem& fileSystem,
                                              const platform::StandardFolders& folders) {
    std::vector<std::string> machineFiles;
    for (const std::string& folder : folders.SystemConfigFolders()) {
        machineFiles.push_back(folder + kStoreFile);
    }
    const std::string userFolder = folders.UserConfigFolder();
    return RegistryStore(fileSystem, std::move(machineFiles),
                         userFolder.empty() ? std::string() : userFolder + kStoreFile);
}

bool RegistryStore::CreateKey(uint32_t root, const std::string& keyPath) {
    if (root != HKEY_CURRENT_USER) return false;
    std::optional<RegistryFile> file = LoadUserFile();
    if (!file) return false;
    if (file->HasKey(keyPath)) return true;
    return file->AddKey(keyPath) && ReplaceUserFile(*file);
}

std::optional<RegistryValue> RegistryStore::QueryValue(uint32_t root, const std::string& keyPath,
                                                       const std::string& valueName) {
    const std::optional<std::string> path = FileOf(root);
    std::string text;
    if (!path || !fileSystem_.ReadFile(*path, text)) return std::nullopt;
    const RegistryFile file = RegistryFile::Parse(text);
    const RegistryValue* value = file.Find(keyPath, valueName);
    if (value == nullptr) return std::nullopt;
    return *value;
}

bool RegistryStore::SetValue(uint32_t root, const std::string& keyPath,
                             const std::string& valueName, RegistryValue value) {
    if (root != HKEY_CURRENT_USER) return false;
    std::optional<RegistryFile> file = LoadUserFile();
    return file && file->Set(keyPath, valueName, std::move(value)) && ReplaceUserFile(*file);
}

std::optional<std::string> RegistryStore::FileOf(uint32_t root) {
    if (root == HKEY_CURRENT_USER) {
        if (userFile_.empty()) return std::nullopt;
        return userFile_;
    }
    if (root == HKEY_LOCAL_MACHINE) {
        for (const std::string& file : machineFiles_) {
            if (fileSystem_.FileExists(file)) return file;
        }
    }
    return std::nullopt;
}

std::optional<RegistryFile> RegistryStore::LoadUserFile() {
    if (userFile_.empty()) return std::nullopt;
    if (!fileSystem_.FileExists(userFile_)) return RegistryFile();
    // A store that exists but cannot be read is not overwritten with one that lacks its values.
    std::string text;
    if (!fileSystem_.ReadFile(userFile_, text)) return std::nullopt;
    return RegistryFile::Parse(text);
}

bool RegistryStore::ReplaceUserFile(const RegistryFile& contents) {
    if (!CreateUserFolder()) return false;
    const std::string folder = ParentFolder(userFile_);
    const std::string temporary =
        (folder == "/" ? "" : folder) + "/.registry.ini." + std::to_string(::getpid()) + ".tmp";
    if (fileSystem_.WriteFile(temporary, contents.Serialize()) &&
        fileSystem_.ReplaceFile(temporary, userFile_)) {
        return true;
    }
    if (fileSystem_.FileExists(temporary)) (void)fileSystem_.DeleteFile(temporary);
    return false;
}

// Creates the missing folders on the way to the user file, one level at a time.
bool RegistryStore::CreateUserFolder() {
    std::vector<std::string> missing;
    for (std::string folder = ParentFolder(userFile_);
         !folder.empty() && !fileSystem_.FolderExists(folder); folder = ParentFolder(folder)) {
        if (folder == "/") return false;
        missing.push_back(folder);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!fileSystem_.CreateFolder(*it)) return false;
    }
    return true;
}

}  // namespace settings
