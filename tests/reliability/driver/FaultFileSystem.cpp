#include "FaultFileSystem.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "FaultPlan.h"

namespace reliability {
namespace {

namespace fs = std::filesystem;

bool Fails(bool writes) { return FaultPlan::Instance().Fails(IoKind::FileSystem, writes); }

// What a copy that ran out of room leaves behind: the first half of the file.
void CopyHalf(const std::string& source, const std::string& destinationFolder) {
    std::ifstream in(source, std::ios::binary);
    if (!in) return;
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::ofstream out(fs::path(destinationFolder) / fs::path(source).filename(),
                      std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 2));
}

}  // namespace

bool FaultFileSystem::CreateFolder(const std::string& path) {
    return !Fails(true) && ForwardingFileSystem::CreateFolder(path);
}

bool FaultFileSystem::CopyFiles(const std::string& sourcePattern,
                                const std::string& destinationFolder, bool overwrite) {
    if (Fails(true)) {
        if (sourcePattern.find_first_of("*?") == std::string::npos)
            CopyHalf(sourcePattern, destinationFolder);
        return false;
    }
    return ForwardingFileSystem::CopyFiles(sourcePattern, destinationFolder, overwrite);
}

bool FaultFileSystem::CopyFolders(const std::string& sourcePattern,
                                  const std::string& destinationFolder, bool overwrite) {
    return !Fails(true) &&
           ForwardingFileSystem::CopyFolders(sourcePattern, destinationFolder, overwrite);
}

bool FaultFileSystem::DeleteFile(const std::string& path) {
    return !Fails(false) && ForwardingFileSystem::DeleteFile(path);
}

bool FaultFileSystem::RenameFile(const std::string& from, const std::string& to) {
    return !Fails(false) && ForwardingFileSystem::RenameFile(from, to);
}

bool FaultFileSystem::ReplaceFile(const std::string& from, const std::string& to) {
    return !Fails(false) && ForwardingFileSystem::ReplaceFile(from, to);
}

bool FaultFileSystem::WriteFile(const std::string& path, const std::string& contents) {
    if (Fails(true)) {
        std::ofstream(path, std::ios::binary | std::ios::trunc);
        return false;
    }
    return ForwardingFileSystem::WriteFile(path, contents);
}

bool FaultFileSystem::SyncFile(const std::string& path) {
    return !Fails(false) && ForwardingFileSystem::SyncFile(path);
}

bool FaultFileSystem::SyncFolder(const std::string& path) {
    return !Fails(false) && ForwardingFileSystem::SyncFolder(path);
}

}  // namespace reliability
