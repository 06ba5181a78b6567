// ReaderProcess: runs work that may crash or hang in a child process of its own and streams
// the work's answer back through a pipe.
//
// libmdb reads a Jet file's pages without checking them, so a damaged file could take the
// whole tool down with it, or loop forever. The engine therefore lets libmdb read only in a
// forked child: a crash there, or a child that stays silent for too long, becomes JetError
// 3049 for the file instead of ending the tool. The child only reads the file and writes to the
// pipe; it never touches SQLite or anything else the parent's other threads may hold, and it
// ends with _exit, so nothing of the parent's is flushed or released twice. One ReaderProcess
// owns one child and reaps it: a child still running when its owner goes is killed first.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/JetError.h"

namespace platform {

// The child's end of the pipe.
class MessageSink {
  public:
    explicit MessageSink(int fd) : fd_(fd) {}
    void Send(std::string_view message);

  private:
    friend class ReaderProcess;
    void SendFramed(char kind, std::string_view payload);
    int fd_;
};

// A child that stayed silent from its start: one stuck on a lock that another thread of the
// parent held when it was forked. Unlike a crash on a damaged file, trying again may succeed.
class ReaderHungAtStart : public JetError {
  public:
    using JetError::JetError;
};

class ReaderProcess {
  public:
    using Work = std::function<void(MessageSink&)>;

    // Starts `work` in a child. `file` names what is read, for the error a failure raises.
    ReaderProcess(const Work& work, std::string file);
    ~ReaderProcess();
    ReaderProcess(const ReaderProcess&) = delete;
    ReaderProcess& operator=(const ReaderProcess&) = delete;

    // The child's next message, or nothing once it has finished. Raises the JetError the work
    // threw in the child, and 3049 when the child crashed, answered nonsense or was silent
    // longer than the silence limit (then it is killed; ReaderHungAtStart when it never
    // answered at all).
    std::optional<std::string> NextMessage();

    // How long a child may be silent before it counts as hung.
    static void SetSilenceLimit(std::chrono::milliseconds limit);

  private:
    // Reads exactly n bytes; false at the end of the pipe before the first byte.
    bool ReadExactly(char* out, size_t n);
    // Kills the child and raises 3049: it crashed, hung or answered nonsense.
    [[noreturn]] void Failed();
    void Reap() noexcept;

    std::string file_;
    pid_t child_ = -1;
    int fd_ = -1;
    bool finished_ = false;
    bool answered_ = false;  // a first byte came
};

}  // namespace platform
