// Mod_API: the tool's settings and its data folder.
//
// Reads and writes registry values (in the RegistryStore), names the special folders, works
// out the path mode and the data folder, and on the first successful DataPath() of a run fills
// the data folder with the application's default files from the program folder. No operation
// throws: failures end as false, empty text or (for DataPath) the program folder.
//
// A Mod_API object owns the state that lives for a run (the cached path mode and the
// preparation flag) and borrows its collaborators, which must outlive it. The tool uses the
// process-wide Default() over the real machine; tests build their own over temporary folders.
// Used from one thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/os/FileSystem.h"
#include "platform/os/ProgramLocation.h"
#include "platform/os/StandardFolders.h"
#include "settings/RegistryStore.h"

namespace settings {

class Mod_API {
  public:
    Mod_API(platform::FileSystem& fileSystem, const platform::StandardFolders& specialFolders,
            const platform::ProgramLocation& program, RegistryStore& registry);

    // The instance the tool uses: the local file system, the process environment, the running
    // executable and the XDG store files. Created on first use.
    static Mod_API& Default();

    // Writes `value` as text (type 1) under `root`\`keyPath`, creating the key. Empty text is
    // stored as one blank. False if the key cannot be created or the value not written.
    bool SetRegValue(uint32_t root, const std::string& keyPath, const std::string& valueName,
                     const std::string& value);
    // The value as text: text values cut at their first NUL, numbers as "&h" and hex digits.
    // Empty text for a missing key or value, data over 1024 bytes, or any other type.
    std::string GetRegValue(uint32_t root, const std::string& keyPath,
                            const std::string& valueName);
    // The tool's own per-user settings, under "Software\Sonavoxa\" + executable base name.
    void SaveAppSetting(const std::string& valueName, const std::string& value);
    std::string GetAppSetting(const std::string& valueName, const std::string& defaultValue);

    // The folder for a CSIDL number (26, 35 or 38), or empty text.
    std::string GetSpecialFolder(int32_t csidl);
    // "local", "user.normal" or "user.global"; cached once known.
    std::string GetAppPathConfig();
    // The data folder without trailing "/", prepared on the first successful call; the program
    // folder when anything fails (the next call then prepares again).
    std::string DataPath();

    bool Prepared() const { return preparedFlag_ != 0; }

  private:
    std::string ToolKey() const;
    bool Prepare(const std::string& programFolder, const std::string& dataFolder);

    platform::FileSystem& fileSystem_;
    const platform::StandardFolders& specialFolders_;
    const platform::ProgramLocation& program_;
    RegistryStore& registry_;

    std::string pathMode_;  // empty until known
    int preparedFlag_ = 0;  // 1 once a preparation ran to its end
};

}  // namespace settings
