// ProgramLocation: where the running executable lies and what it is called.
//
// The program folder is the folder of the executable (/proc/self/exe with links resolved),
// without trailing "/" (the root stays "/"). The base name is the executable's file name
// without its extension. $SONAVOXA_PROGRAM_DIR and $SONAVOXA_PROGRAM_NAME override them, so a
// test can pretend that the program lies anywhere. Both are determined anew at each call.
// Holds a copy of its Environment; no other state.
#pragma once

#include <string>

#include "platform/os/Environment.h"

namespace platform {

class ProgramLocation {
  public:
    explicit ProgramLocation(Environment environment) : environment_(std::move(environment)) {}

    // Empty text if the executable cannot be found.
    std::string Folder() const;
    std::string BaseName() const;

  private:
    Environment environment_;
};

}  // namespace platform
