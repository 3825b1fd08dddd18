#pragma once
// A program started by a test, its standard output and error in files; killed
// at the end when it still runs. Waits are bounded.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "testsupport/wait.h"

extern char** environ;

namespace talvora::test {

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, const std::string& out,
                 const std::string& err)
        : out_(out), err_(err) {
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        if (argv.empty() || posix_spawn(&pid_, args[0], &fa, nullptr, args.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool Started() const { return pid_ > 0; }
    void Signal(int sig) const {
        if (pid_ > 0) ::kill(pid_, sig);
    }
    // The wait status, or nothing when the child did not end within `limit`.
    std::optional<int> WaitStatus(std::chrono::milliseconds limit) {
        if (pid_ <= 0) return std::nullopt;
        WaitUntil(
            [&] {
                int st = 0;
                if (::waitpid(pid_, &st, WNOHANG) == pid_) status_ = st;
                return status_.has_value();
            },
            limit, "child exit");
        return status_;
    }
    // The exit code, or -1 when it did not end normally within `limit`.
    int Wait(std::chrono::milliseconds limit) {
        const auto st = WaitStatus(limit);
        return st && WIFEXITED(*st) ? WEXITSTATUS(*st) : -1;
    }
    std::string Output() const { return ReadText(out_); }
    std::string Errors() const { return ReadText(err_); }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    std::string out_, err_;
};

}  // namespace talvora::test
