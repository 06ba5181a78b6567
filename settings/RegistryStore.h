// RegistryStore: the two registry roots the tool uses, kept in files.
//
// HKEY_LOCAL_MACHINE is the machine-wide store: the first existing file among the system
// configuration folders (each + "/sonavoxa/registry.ini"); the tool only reads it.
// HKEY_CURRENT_USER is the per-user store, "<user config folder>/sonavoxa/registry.ini"; it is
// read and written. Each call reads its file anew, so values written by another process are
// seen. A write replaces the whole file atomically (a temporary file in the same folder,
// flushed, then renamed over the old one), so a crash leaves the old or the new file, never a
// half-written one. Concurrent writers are not locked against each other: the last one wins.
// All file access goes through the FileSystem given at construction, which must outlive the
// store. The file format is RegistryFile's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/os/FileSystem.h"
#include "platform/os/StandardFolders.h"
#include "settings/RegistryFile.h"

namespace settings {

// The predefined root handles, as the registry numbers them.
inline constexpr uint32_t HKEY_CURRENT_USER = 0x80000001u;
inline constexpr uint32_t HKEY_LOCAL_MACHINE = 0x80000002u;

class RegistryStore {
  public:
    // `machineFiles` in order of preference; the first that exists is the machine store.
    RegistryStore(platform::FileSystem& fileSystem, std::vector<std::string> machineFiles,
                  std::string userFile);
    // The store files at their XDG places.
    static RegistryStore AtStandardPlaces(platform::FileSystem& fileSystem,
                                          const platform::StandardFolders& folders);

    // Opens the key, creating it when it does not exist. False for the machine root (read
    // only), an unknown root, a key path with control characters, or a failed write.
    bool CreateKey(uint32_t root, const std::string& keyPath);
    // nullopt when the root is unknown, the store cannot be read, or the key or value is missing.
    std::optional<RegistryValue> QueryValue(uint32_t root, const std::string& keyPath,
                                            const std::string& valueName);
    // Writes a value into an existing or new key; false as for CreateKey.
    bool SetValue(uint32_t root, const std::string& keyPath, const std::string& valueName,
                  RegistryValue value);

    const std::string& UserFile() const { return userFile_; }

  private:
    // The store file of a readable root; nullopt for an unknown root or no machine file.
    std::optional<std::string> FileOf(uint32_t root);
    // The user file's contents; an absent file is an empty store.
    std::optional<RegistryFile> LoadUserFile();
    bool ReplaceUserFile(const RegistryFile& contents);
    bool CreateUserFolder();

    platform::FileSystem& fileSystem_;
    std::vector<std::string> machineFiles_;
    std::string userFile_;
};

}  // namespace settings
