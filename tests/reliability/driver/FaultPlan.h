// FaultPlan: which I/O call of a run fails, shared by the SQLite VFS and the file system.
//
// Every counted call (an SQLite file open, write, sync or truncate; a file-system call that
// changes the disk) asks the plan first. The plan counts calls of each kind and of all kinds,
// and fails the k-th call of the chosen kind, or, for a full disk, every write from the k-th
// on. Counting is atomic: the engine commits on a thread of its own. One plan per process.
#pragma once

#include <atomic>
#include <string>

namespace reliability {

enum class IoKind { Open, Write, Sync, Truncate, FileSystem };

class FaultPlan {
  public:
    enum class Mode { None, Any, Open, Write, Sync, Truncate, Full };

    static FaultPlan& Instance();

    // "none", "any:K", "open:K", "write:K", "sync:K", "truncate:K" or "full:K" (K from 1).
    // False for anything else.
    bool Parse(const std::string& text);
    void Disarm() { armed_ = false; }

    // Counts the call; true when it must fail. `writes` marks calls that need disk space.
    bool Fails(IoKind kind, bool writes);

    long Calls() const { return calls_; }
    // The number of the first call that failed, 0 while none has.
    long FirstFailure() const { return firstFailure_; }
    // Whether a failing call is a full disk rather than an I/O error.
    bool DiskFull() const { return mode_ == Mode::Full; }

  private:
    Mode mode_ = Mode::None;
    long at_ = 0;
    std::atomic<bool> armed_{true};
    std::atomic<long> calls_{0};
    std::atomic<long> kindCalls_[5] = {};
    std::atomic<long> firstFailure_{0};
};

}  // namespace reliability
