#include "platform/os/ProgramLocation.h"

#include <filesystem>

namespace platform {
namespace {

std::filesystem::path Executable() {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : path;
}

}  // namespace

std::string ProgramLocation::Folder() const {
    std::string folder;
    if (auto value = environment_.Get("SONAVOXA_PROGRAM_DIR"); value && !value->empty()) {
        folder = *value;
    } else {
        folder = Executable().parent_path().string();
    }
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::string ProgramLocation::BaseName() const {
    if (auto value = environment_.Get("SONAVOXA_PROGRAM_NAME"); value && !value->empty()) {
        return *value;
    }
    return Executable().stem().string();
}

}  // namespace platform
