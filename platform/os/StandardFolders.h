// StandardFolders: the well-known folders of this machine, found the XDG way.
//
// Stands in for the Windows shell's special folders (numbered by their CSIDL) and also names
// the configuration folders of the settings store. Every location can be overridden by an
// environment variable, so tests and unusual installations can put everything elsewhere:
//
//   26 user data      $XDG_DATA_HOME, else $HOME/.local/share
//   35 common data    $SONAVOXA_COMMON_DATA_DIR, else /var/lib
//   38 programs       $SONAVOXA_PROGRAMS_DIR, else /opt
//   user config       $XDG_CONFIG_HOME, else $HOME/.config
//   system config     the entries of $XDG_CONFIG_DIRS, else /etc/xdg
//
// XDG variables that are empty or hold a relative path are ignored, as the XDG base-directory
// rules ask. A SONAVOXA_* variable set to empty text means "this machine has no such folder":
// the folder comes back as empty text. Holds a copy of its Environment; no other state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/os/Environment.h"

namespace platform {

namespace csidl {
inline constexpr int32_t kAppData = 26;        // 0x1A, the user's application data
inline constexpr int32_t kCommonAppData = 35;  // 0x23, application data of all users
inline constexpr int32_t kProgramFiles = 38;   // 0x26, where programs are installed
}  // namespace csidl

class StandardFolders {
  public:
    explicit StandardFolders(Environment environment) : environment_(std::move(environment)) {}

    // The folder for a CSIDL number, without trailing "/", or empty text for an unknown number
    // or a folder that cannot be determined. The user data folder is created (with its
    // missing parents, mode 0700) when it does not exist yet, as the XDG rules ask of a
    // program that writes there; a failure to create it is not reported here.
    std::string Path(int32_t csidl) const;

    std::string UserDataFolder() const;
    std::string CommonDataFolder() const;
    std::string ProgramsFolder() const;
    std::string UserConfigFolder() const;
    // In order of preference, most important first.
    std::vector<std::string> SystemConfigFolders() const;

  private:
    std::string XdgFolder(const char* variable, const char* homeRelativeDefault) const;
    std::string Override(const char* variable, const char* fallback) const;

    Environment environment_;
};

}  // namespace platform
