// ForwardingFileSystem: a FileSystem that passes every call on to another one.
//
// Derive from it and override the calls to watch or to fail (for example the k-th copy);
// everything else reaches the target unchanged. Does not own the target, which must outlive it.
#pragma once

#include "platform/os/FileSystem.h"

namespace platform {

class ForwardingFileSystem : public FileSystem {
  public:
    explicit ForwardingFileSystem(FileSystem& target) : target_(target) {}

    bool FolderExists(const std::string& path) override { return target_.FolderExists(path); }
    bool FileExists(const std::string& path) override { return target_.FileExists(path); }
    bool CreateFolder(const std::string& path) override { return target_.CreateFolder(path); }
    bool CopyFiles(const std::string& sourcePattern, const std::string& destinationFolder,
                   bool overwrite) override {
        return target_.CopyFiles(sourcePattern, destinationFolder, overwrite);
    }
    bool CopyFolders(const std::string& sourcePattern, const std::string& destinationFolder,
                     bool overwrite) override {
        return target_.CopyFolders(sourcePattern, destinationFolder, overwrite);
    }
    bool DeleteFile(const std::string& path) override { return target_.DeleteFile(path); }
    bool RenameFile(const std::string& from, const std::string& to) override {
        return target_.RenameFile(from, to);
    }
    bool ReplaceFile(const std::string& from, const std::string& to) override {
        return target_.ReplaceFile(from, to);
    }
    bool ReadFile(const std::string& path, std::string& contents) override {
        return target_.ReadFile(path, contents);
    }
    bool WriteFile(const std::string& path, const std::string& contents) override {
        return target_.WriteFile(path, contents);
    }
    bool SyncFile(const std::string& path) override { return target_.SyncFile(path); }
    bool SyncFolder(const std::string& path) override { return target_.SyncFolder(path); }

  private:
    FileSystem& target_;
};

}  // namespace platform
