#include "platform/jetfile/StandardErrorCapture.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

namespace platform {
namespace {

// A library that complains once per row could say a lot; the start tells what it was.
constexpr size_t kMaxText = 64 * 1024;

// One private file for the process's lifetime: a thread that picked up `stderr` just before a
// capture ended may still write to it, so it is never closed.
std::FILE* Sink() {
    static std::FILE* const sink = []() -> std::FILE* {
        const int fd = ::memfd_create("captured-stderr", MFD_CLOEXEC);
        if (fd < 0) return std::tmpfile();
        std::FILE* file = ::fdopen(fd, "w+");
        if (!file) ::close(fd);
        return file;
    }();
    return sink;
}

}  // namespace

StandardErrorCapture::StandardErrorCapture() {
    std::FILE* sink = Sink();
    if (!sink) return;
    std::fflush(stderr);
    std::fflush(sink);
    start_ = std::ftell(sink);
    if (start_ < 0) return;
    previous_ = stderr;
    stderr = sink;
    active_ = true;
}

StandardErrorCapture::~StandardErrorCapture() { Finish(); }

std::string StandardErrorCapture::Finish() {
    if (!active_) return {};
    active_ = false;
    std::FILE* sink = Sink();
    stderr = previous_;
    std::fflush(sink);
    const long end = std::ftell(sink);
    std::string text;
    if (end > start_) {
        text.resize(std::min(static_cast<size_t>(end - start_), kMaxText));
        const ssize_t n = ::pread(::fileno(sink), text.data(), text.size(), start_);
        text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    }
    // What this capture took is not the enclosing capture's to report again.
    if (::ftruncate(::fileno(sink), start_) == 0) std::fseek(sink, start_, SEEK_SET);
    return text;
}

}  // namespace platform
