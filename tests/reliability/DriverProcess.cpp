#include "DriverProcess.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace reliability {
namespace {

using Clock = std::chrono::steady_clock;

pid_t Start(const std::vector<std::string>& args, int user = -1) {
    std::vector<char*> argv;
    std::string program = SONAVOXA_RELIABILITY_DRIVER;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        // Under the sanitizers: a driver's exit code tells how its run went; leaks are the
        // other test programs' business (Qt keeps some allocations to the end of a process).
        ::setenv("ASAN_OPTIONS", "detect_leaks=0", 0);
        if (user >= 0 &&
            (::setgid(static_cast<gid_t>(user)) != 0 || ::setuid(static_cast<uid_t>(user)) != 0)) {
            ::_exit(126);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

// Waits until the child ends or `deadline` passes; then kills it.
DriverExit Wait(pid_t pid, Clock::time_point start, Clock::time_point deadline) {
    DriverExit result;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (Clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (WIFEXITED(status)) {
        result.exited = true;
        result.code = WEXITSTATUS(status);
    }
    return result;
}

}  // namespace

DriverExit DriverProcess::Run(const std::vector<std::string>& args, std::chrono::milliseconds limit,
                              int user) {
    const auto start = Clock::now();
    const pid_t pid = Start(args, user);
    if (pid < 0) return {};
    return Wait(pid, start, start + limit);
}

DriverExit DriverProcess::KillAfter(const std::vector<std::string>& args,
                                    std::chrono::microseconds after) {
    const auto start = Clock::now();
    const pid_t pid = Start(args);
    if (pid < 0) return {};
    return Wait(pid, start, start + after);
}

}  // namespace reliability
