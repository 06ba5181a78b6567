// OtherProcess: another program on the same database file, for tests of what one process
// sees of another's locks and writes. It is a forked child with its own SQLite connection; it
// ends, rolling back what it did not commit, when the object goes.
#pragma once

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace testing_support {

// Run takes one SQL text and answers with the first column of the last row ("" when none) or
// "error <code>"; the child does not wait for locks, and its transactions stay open between
// calls until it is sent COMMIT.
class OtherProcess {
  public:
    explicit OtherProcess(const std::string& path) {
        int toChild[2];
        int fromChild[2];
        if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(toChild[1]);
            ::close(fromChild[0]);
            Serve(path, toChild[0], fromChild[1]);
            ::_exit(0);  // no destructors of the parent's objects in the child
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        to_ = ::fdopen(toChild[1], "w");
        from_ = ::fdopen(fromChild[0], "r");
    }
    ~OtherProcess() {
        if (to_) std::fclose(to_);
        if (from_) std::fclose(from_);
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    OtherProcess(const OtherProcess&) = delete;
    OtherProcess& operator=(const OtherProcess&) = delete;

    std::string Run(const std::string& sql) {
        std::fprintf(to_, "%s\n", sql.c_str());
        std::fflush(to_);
        char line[256] = {};
        if (!std::fgets(line, sizeof line, from_)) return "no answer";
        std::string answer(line);
        if (!answer.empty() && answer.back() == '\n') answer.pop_back();
        return answer;
    }

  private:
    static void Serve(const std::string& path, int in, int out) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        FILE* requests = ::fdopen(in, "r");
        FILE* answers = ::fdopen(out, "w");
        char sql[1024];
        while (std::fgets(sql, sizeof sql, requests)) {
            std::string result;
            char* message = nullptr;
            const int rc = sqlite3_exec(
                db, sql,
                [](void* into, int, char** values, char**) {
                    *static_cast<std::string*>(into) = values[0] ? values[0] : "";
                    return 0;
                },
                &result, &message);
            sqlite3_free(message);
            if (rc != SQLITE_OK) result = "error " + std::to_string(rc & 0xff);
            std::fprintf(answers, "%s\n", result.c_str());
            std::fflush(answers);
        }
        sqlite3_close_v2(db);
    }

    pid_t pid_ = -1;
    FILE* to_ = nullptr;
    FILE* from_ = nullptr;
};

}  // namespace testing_support
