#include "platform/os/StandardFolders.h"

#include <filesystem>
#include <sstream>

namespace platform {
namespace {

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool IsAbsolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

}  // namespace

std::string StandardFolders::Path(int32_t csidl) const {
    switch (csidl) {
        case csidl::kAppData: {
            std::string folder = UserDataFolder();
            if (!folder.empty()) {
                std::error_code ec;
                if (!std::filesystem::is_directory(folder, ec) &&
                    std::filesystem::create_directories(folder, ec)) {
                    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
                }
            }
            return folder;
        }
        case csidl::kCommonAppData:
            return CommonDataFolder();
        case csidl::kProgramFiles:
            return ProgramsFolder();
        default:
            return {};
    }
}

std::string StandardFolders::UserDataFolder() const {
    return XdgFolder("XDG_DATA_HOME", ".local/share");
}

std::string StandardFolders::CommonDataFolder() const {
    return Override("SONAVOXA_COMMON_DATA_DIR", "/var/lib");
}

std::string StandardFolders::ProgramsFolder() const {
    return Override("SONAVOXA_PROGRAMS_DIR", "/opt");
}

std::string StandardFolders::UserConfigFolder() const {
    return XdgFolder("XDG_CONFIG_HOME", ".config");
}

std::vector<std::string> StandardFolders::SystemConfigFolders() const {
    std::vector<std::string> folders;
    if (auto value = environment_.Get("XDG_CONFIG_DIRS")) {
        std::istringstream entries(*value);
        std::string entry;
        while (std::getline(entries, entry, ':')) {
            if (IsAbsolute(entry)) folders.push_back(WithoutTrailingSlash(entry));
        }
    }
    if (folders.empty()) folders.push_back("/etc/xdg");
    return folders;
}

std::string StandardFolders::XdgFolder(const char* variable,
                                       const char* homeRelativeDefault) const {
    if (auto value = environment_.Get(variable); value && IsAbsolute(*value)) {
        return WithoutTrailingSlash(*value);
    }
    auto home = environment_.Get("HOME");
    if (!home || !IsAbsolute(*home)) return {};
    const std::string base = WithoutTrailingSlash(*home);
    return (base == "/" ? "" : base) + "/" + homeRelativeDefault;
}

std::string StandardFolders::Override(const char* variable, const char* fallback) const {
    if (auto value = environment_.Get(variable)) return WithoutTrailingSlash(*value);
    return fallback;
}

}  // namespace platform
