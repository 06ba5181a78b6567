#include "platform/jetfile/ReaderProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>

#include "platform/JetError.h"

namespace platform {

namespace {

constexpr char kData = 'M';
constexpr char kError = 'E';
constexpr char kDone = 'D';
// Far above what reading one page takes; a child this silent is stuck in a loop.
std::atomic<int> silenceLimitMs{30'000};

void WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t written = ::write(fd, p, n);
        if (written < 0) {
            if (errno == EINTR) continue;
            _exit(3);  // the parent is gone: nobody is left to answer
        }
        p += written;
        n -= static_cast<size_t>(written);
    }
}

}  // namespace

void MessageSink::SendFramed(char kind, std::string_view payload) {
    const uint64_t size = payload.size();
    char header[1 + sizeof size];
    header[0] = kind;
    std::memcpy(header + 1, &size, sizeof size);
    WriteAll(fd_, header, sizeof header);
    WriteAll(fd_, payload.data(), payload.size());
}

void MessageSink::Send(std::string_view message) { SendFramed(kData, message); }

void ReaderProcess::SetSilenceLimit(std::chrono::milliseconds limit) {
    silenceLimitMs = static_cast<int>(limit.count());
}

ReaderProcess::ReaderProcess(const Work& work, std::string file) : file_(std::move(file)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) ThrowJetError(jet::kEngineFailure, "cannot create a pipe");
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        ThrowJetError(jet::kEngineFailure, "cannot start a process to read " + file_);
    }
    if (pid == 0) {
        ::close(fds[0]);
        ::signal(SIGPIPE, SIG_IGN);
        // libmdb prints hex dumps of pages it cannot parse to standard output, which belongs
        // to the tool (the engine shell's answers go there).
        const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (nowhere >= 0) {
            ::dup2(nowhere, STDOUT_FILENO);
            ::close(nowhere);
        }
        MessageSink sink(fds[1]);
        try {
            work(sink);
        } catch (const JetError& e) {
            const std::string number = std::to_string(e.Number());
            sink.SendFramed(kError, number + '\n' + e.what());
            _exit(0);
        } catch (const std::exception& e) {
            sink.SendFramed(kError, std::to_string(jet::kCannotOpenDatabase) + '\n');
            _exit(0);
        } catch (...) {
            sink.SendFramed(kError, std::to_string(jet::kCannotOpenDatabase) + '\n');
            _exit(0);
        }
        sink.SendFramed(kDone, {});
        _exit(0);
    }
    ::close(fds[1]);
    child_ = pid;
    fd_ = fds[0];
}

ReaderProcess::~ReaderProcess() { Reap(); }

void ReaderProcess::Reap() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (child_ > 0) {
        if (!finished_) ::kill(child_, SIGKILL);
        while (::waitpid(child_, nullptr, 0) < 0 && errno == EINTR) {
        }
        child_ = -1;
    }
}

bool ReaderProcess::ReadExactly(char* out, size_t n) {
    size_t got = 0;
    while (got < n) {
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, silenceLimitMs.load());
        if (ready < 0) {
            if (errno == EINTR) continue;
            Failed();
        }
        if (ready == 0) {
            if (answered_) Failed();
            Reap();
            finished_ = true;
            throw ReaderHungAtStart(jet::kCannotOpenDatabase,
                                    "the process reading " + file_ + " did not answer");
        }
        const ssize_t r = ::read(fd_, out + got, n - got);
        if (r < 0) {
            if (errno == EINTR) continue;
            Failed();
        }
        if (r == 0) {
            if (got == 0) return false;
            Failed();
        }
        got += static_cast<size_t>(r);
        answered_ = true;
    }
    return true;
}

void ReaderProcess::Failed() {
    // The child is killed before the error leaves, so it cannot go on reading meanwhile.
    Reap();
    finished_ = true;
    ThrowJetError(jet::kCannotOpenDatabase, file_);
}

std::optional<std::string> ReaderProcess::NextMessage() {
    if (finished_) return std::nullopt;
    char header[1 + sizeof(uint64_t)];
    if (!ReadExactly(header, sizeof header)) Failed();
    uint64_t size = 0;
    std::memcpy(&size, header + 1, sizeof size);
    if (size > (uint64_t{1} << 32)) Failed();
    std::string payload(size, '\0');
    if (size > 0 && !ReadExactly(payload.data(), payload.size())) {
        Failed();
    }
    switch (header[0]) {
        case kData:
            return payload;
        case kDone:
            finished_ = true;
            Reap();
            return std::nullopt;
        case kError: {
            finished_ = true;
            Reap();
            const size_t newline = payload.find('\n');
            int number = jet::kCannotOpenDatabase;
            try {
                number = std::stoi(payload.substr(0, newline));
            } catch (const std::exception&) {
            }
            std::string text = newline == std::string::npos ? "" : payload.substr(newline + 1);
            if (text.empty()) ThrowJetError(number, file_);
            throw JetError(number, std::move(text));
        }
        default:
            Failed();
    }
}

}  // namespace platform
