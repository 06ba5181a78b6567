// StandardErrorCapture: while it lives, what is written through the C library's `stderr`
// stream (fprintf(stderr, ...), fputs, perror) goes into a private in-memory file instead.
//
// libmdb reports what it dislikes in a file with fprintf(stderr, ...) and carries on; the
// reader wraps its libmdb calls in a capture and turns the text into notes, so that the engine
// reports through its own errors and notes only. Only the `stderr` variable is swapped (glibc
// allows assigning it); file descriptor 2 stays as it is, so whatever writes there directly
// (AddressSanitizer's reports, a fuzzer's messages, child processes) still reaches the
// terminal. Another thread writing through `stderr` meanwhile is captured too, so keep
// captures short. When the private file cannot be made, nothing is captured and Finish gives
// "". Captures nest (each inner one keeps its text to itself); use them from one thread.
#pragma once

#include <cstdio>
#include <string>

namespace platform {

class StandardErrorCapture {
  public:
    StandardErrorCapture();
    ~StandardErrorCapture();
    StandardErrorCapture(const StandardErrorCapture&) = delete;
    StandardErrorCapture& operator=(const StandardErrorCapture&) = delete;

    // Restores `stderr` and returns what was written meanwhile; "" when called again.
    std::string Finish();

  private:
    std::FILE* previous_ = nullptr;
    long start_ = 0;
    bool active_ = false;
};

}  // namespace platform
