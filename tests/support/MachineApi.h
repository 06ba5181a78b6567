// MachineApi: the settings side of a machine laid out in a folder. The environment table names
// the machine's home, XDG and Sonavoxa folders; the Mod_API made from it owns the standard
// folders, program location and settings store it reads, and sees nothing of the real machine.
#pragma once

#include <map>
#include <string>

#include "platform/os/FileSystem.h"
#include "platform/os/ProgramLocation.h"
#include "platform/os/StandardFolders.h"
#include "settings/Mod_API.h"
#include "settings/RegistryStore.h"

namespace testing_support {

using EnvironmentTable = std::map<std::string, std::string>;

// A machine under `root`: the user's data below root/<dataHome>, the installation in
// root/Program, the machine-wide settings store below root/etc.
inline EnvironmentTable MachineEnvironment(const std::string& root,
                                           const std::string& dataHome = "data") {
    return {{"HOME", root + "/home"},
            {"XDG_DATA_HOME", root + "/" + dataHome},
            {"XDG_CONFIG_HOME", root + "/config"},
            {"XDG_CONFIG_DIRS", root + "/etc"},
            {"SONAVOXA_COMMON_DATA_DIR", root + "/common"},
            {"SONAVOXA_PROGRAMS_DIR", root + "/opt"},
            {"SONAVOXA_PROGRAM_DIR", root + "/Program"},
            {"SONAVOXA_PROGRAM_NAME", "RodividuZIDU"}};
}

class MachineApi {
  public:
    MachineApi(const EnvironmentTable& environment, platform::FileSystem& files)
        : folders_(platform::Environment::FromTable(environment)),
          program_(platform::Environment::FromTable(environment)),
          registry_(settings::RegistryStore::AtStandardPlaces(files, folders_)),
          api_(files, folders_, program_, registry_) {}
    MachineApi(const MachineApi&) = delete;
    MachineApi& operator=(const MachineApi&) = delete;

    settings::Mod_API& Api() { return api_; }

  private:
    platform::StandardFolders folders_;
    platform::ProgramLocation program_;
    settings::RegistryStore registry_;
    settings::Mod_API api_;
};

}  // namespace testing_support
