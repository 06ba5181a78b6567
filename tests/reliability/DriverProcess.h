// DriverProcess: starts the reliability driver as a child process and waits for it, or kills
// it with SIGKILL at a chosen moment, as a crash or a pulled plug would.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace reliability {

struct DriverExit {
    bool exited = false;  // ended by itself (otherwise killed or timed out)
    int code = -1;        // its exit code when it exited
    double seconds = 0;
};

class DriverProcess {
  public:
    // Runs `reliability_driver args...` to its end (killed after `limit`).
    // With `user` >= 0 the driver runs under that user and group id (a root test process uses
    // this where file permissions must count).
    static DriverExit Run(const std::vector<std::string>& args,
                          std::chrono::milliseconds limit = std::chrono::minutes(3), int user = -1);
    // Starts it and kills it after `after`, unless it ended before.
    static DriverExit KillAfter(const std::vector<std::string>& args,
                                std::chrono::microseconds after);
};

}  // namespace reliability
