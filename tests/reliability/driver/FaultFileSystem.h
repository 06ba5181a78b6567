// FaultFileSystem: the machine's file system with the FaultPlan's failures.
//
// Every call that changes the disk (create, copy, delete, rename, replace, write, sync) asks
// the plan first and fails as a disk would: a copy or a write that fails leaves the part that
// fit (half the file, or an empty one), everything else fails without effect. Reads and
// existence tests are never failed. Borrows the file system it forwards to.
#pragma once

#include <string>

#include "platform/os/ForwardingFileSystem.h"

namespace reliability {

class FaultFileSystem : public platform::ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;

    bool CreateFolder(const std::string& path) override;
    bool CopyFiles(const std::string& sourcePattern, const std::string& destinationFolder,
                   bool overwrite) override;
    bool CopyFolders(const std::string& sourcePattern, const std::string& destinationFolder,
                     bool overwrite) override;
    bool DeleteFile(const std::string& path) override;
    bool RenameFile(const std::string& from, const std::string& to) override;
    bool ReplaceFile(const std::string& from, const std::string& to) override;
    bool WriteFile(const std::string& path, const std::string& contents) override;
    bool SyncFile(const std::string& path) override;
    bool SyncFolder(const std::string& path) override;
};

}  // namespace reliability
