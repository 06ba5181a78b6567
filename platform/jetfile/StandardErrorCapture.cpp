#include "platform/jetfile/StandardErrorCapture.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>

namespace platform {

StandardErrorCapture::StandardErrorCapture() {
    std::fflush(stderr);
    captureFd_ = ::memfd_create("libmdb-messages", MFD_CLOEXEC);
    if (captureFd_ < 0) return;
    savedFd_ = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    if (savedFd_ < 0 || ::dup2(captureFd_, STDERR_FILENO) < 0) {
        if (savedFd_ >= 0) ::close(savedFd_);
        ::close(captureFd_);
        savedFd_ = captureFd_ = -1;
    }
}

StandardErrorCapture::~StandardErrorCapture() { Finish(); }

std::string StandardErrorCapture::Finish() {
    if (captureFd_ < 0) return {};
    std::fflush(stderr);
    ::dup2(savedFd_, STDERR_FILENO);
    ::close(savedFd_);
    // A library that complains once per row could say a lot; the start tells what it was.
    constexpr size_t kMaxText = 64 * 1024;
    std::string text;
    if (::lseek(captureFd_, 0, SEEK_SET) == 0) {
        char buffer[4096];
        while (text.size() < kMaxText) {
            const ssize_t n = ::read(captureFd_, buffer, sizeof buffer);
            if (n <= 0) break;
            text.append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(captureFd_);
    savedFd_ = captureFd_ = -1;
    return text;
}

}  // namespace platform
