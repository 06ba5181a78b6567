#include "platform/jetfile/ReaderProcess.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/JetError.h"

using namespace platform;

namespace {

struct Outcome {
    std::vector<std::string> messages;
    int error = 0;
    std::string text;
};

Outcome RunChild(const ReaderProcess::Work& work) {
    Outcome outcome;
    try {
        ReaderProcess child(work, "/music/old.mdb");
        while (auto message = child.NextMessage()) outcome.messages.push_back(*message);
    } catch (const JetError& e) {
        outcome.error = e.Number();
        outcome.text = e.what();
    }
    return outcome;
}

}  // namespace

TEST(ReaderProcess, PassesMessagesAndTheChildsJetErrorsThrough) {
    const std::string big(3 * 1024 * 1024, 'x');  // more than a pipe holds at once
    Outcome done = RunChild([&](MessageSink& sink) {
        sink.Send("first");
        sink.Send("");
        sink.Send(big);
    });
    EXPECT_EQ(done.error, 0);
    EXPECT_EQ(done.messages, (std::vector<std::string>{"first", "", big}));

    Outcome refused = RunChild([](MessageSink& sink) {
        sink.Send("half");
        ThrowJetError(jet::kInputTableNotFound, "db_all");
    });
    EXPECT_EQ(refused.messages, std::vector<std::string>{"half"});
    EXPECT_EQ(refused.error, jet::kInputTableNotFound);
    EXPECT_NE(refused.text.find("db_all"), std::string::npos) << refused.text;
}

// What no check foresaw in libmdb: the child crashes, dies, or hangs. The caller gets 3049 for
// the file and goes on.
TEST(ReaderProcess, ACrashedDeadOrHungChildFailsTheFileNotTheCaller) {
    ReaderProcess::SetSilenceLimit(std::chrono::milliseconds(300));
    const std::vector<std::pair<const char*, ReaderProcess::Work>> cases = {
        {"segmentation fault",
         [](MessageSink& sink) {
             sink.Send("row");
             ::raise(SIGSEGV);
         }},
        {"abort", [](MessageSink&) { std::abort(); }},
        {"exit without answer", [](MessageSink&) { _exit(0); }},
        {"hangs",
         [](MessageSink& sink) {
             sink.Send("row");
             for (;;) ::pause();
         }},
    };
    for (const auto& [name, work] : cases) {
        SCOPED_TRACE(name);
        const auto start = std::chrono::steady_clock::now();
        Outcome outcome = RunChild(work);
        EXPECT_EQ(outcome.error, jet::kCannotOpenDatabase);
        EXPECT_NE(outcome.text.find("/music/old.mdb"), std::string::npos) << outcome.text;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    }

    // Silent from the start, the child may be stuck on a lock it inherited: the caller can
    // tell this apart from a crash, and try again.
    bool hungAtStart = false;
    try {
        ReaderProcess child(
            [](MessageSink&) {
                for (;;) ::pause();
            },
            "/music/old.mdb");
        child.NextMessage();
    } catch (const ReaderHungAtStart& e) {
        hungAtStart = e.Number() == jet::kCannotOpenDatabase;
    }
    EXPECT_TRUE(hungAtStart);
    ReaderProcess::SetSilenceLimit(std::chrono::seconds(30));
}

// A caller that stops reading early (a cancelled run) leaves no child behind.
TEST(ReaderProcess, AChildTheCallerStopsReadingIsEnded) {
    pid_t child = 0;
    {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        ReaderProcess process(
            [&](MessageSink& sink) {
                const pid_t self = ::getpid();
                (void)!::write(fds[1], &self, sizeof self);
                for (;;) sink.Send(std::string(4096, 'r'));
            },
            "/music/old.mdb");
        ASSERT_TRUE(process.NextMessage());
        ASSERT_EQ(::read(fds[0], &child, sizeof child), static_cast<ssize_t>(sizeof child));
        ::close(fds[0]);
        ::close(fds[1]);
    }
    EXPECT_NE(::kill(child, 0), 0);  // reaped: no such process any more
}

// libmdb prints hex dumps of damaged pages to standard output, where the engine shell writes
// its answers: the child's output goes nowhere.
TEST(ReaderProcess, WhatTheChildPrintsNeverReachesTheCallersOutput) {
    std::fflush(stdout);
    std::FILE* captured = std::tmpfile();
    ASSERT_NE(captured, nullptr);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(::fileno(captured), STDOUT_FILENO);
    Outcome outcome = RunChild([](MessageSink& sink) {
        std::printf("0000x  4d 52 32 00\n");
        std::fflush(stdout);
        sink.Send("row");
    });
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    EXPECT_EQ(outcome.messages, std::vector<std::string>{"row"});
    std::fseek(captured, 0, SEEK_END);
    EXPECT_EQ(std::ftell(captured), 0);
    std::fclose(captured);
}
