// StandardErrorCapture: while it lives, what the process writes to standard error (file
// descriptor 2) goes into a private in-memory file instead of the terminal.
//
// libmdb reports what it dislikes in a file with fprintf(stderr, ...) and carries on; the
// reader wraps its libmdb calls in a capture and turns the text into notes, so that the engine
// reports through its own errors and notes only. The redirection is process-wide: anything
// another thread writes to standard error meanwhile is captured too, so keep captures short.
// When the redirection cannot be set up, output stays where it was and Finish gives "".
// Captures nest; each one restores what was standard error when it began. Not copyable.
#pragma once

#include <string>

namespace platform {

class StandardErrorCapture {
  public:
    StandardErrorCapture();
    ~StandardErrorCapture();
    StandardErrorCapture(const StandardErrorCapture&) = delete;
    StandardErrorCapture& operator=(const StandardErrorCapture&) = delete;

    // Restores standard error and returns what was written meanwhile; "" when called again.
    std::string Finish();

  private:
    int savedFd_ = -1;
    int captureFd_ = -1;
};

}  // namespace platform
