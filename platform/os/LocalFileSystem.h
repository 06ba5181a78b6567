// LocalFileSystem: the FileSystem of the machine the tool runs on (std::filesystem and POSIX).
//
// Stateless; one instance may serve any number of users. Files are written with mode 0666
// and folders created with mode 0777, both less the process's umask.
#pragma once

#include "platform/os/FileSystem.h"

namespace platform {

class LocalFileSystem : public FileSystem {
  public:
    bool FolderExists(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    bool CreateFolder(const std::string& path) override;
    bool CopyFiles(const std::string& sourcePattern, const std::string& destinationFolder,
                   bool overwrite) override;
    bool CopyFolders(const std::string& sourcePattern, const std::string& destinationFolder,
                     bool overwrite) override;
    bool DeleteFile(const std::string& path) override;
    bool RenameFile(const std::string& from, const std::string& to) override;
    bool ReplaceFile(const std::string& from, const std::string& to) override;
    bool ReadFile(const std::string& path, std::string& contents) override;
    bool WriteFile(const std::string& path, const std::string& contents) override;
    bool SyncFile(const std::string& path) override;
    bool SyncFolder(const std::string& path) override;
};

}  // namespace platform
