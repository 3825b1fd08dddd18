// A print server of the test's own: cupsd with its own configuration, spool,
// state and log folders, listening on a free port of 127.0.0.1, and the
// process's print client pointed at it (CUPS_SERVER). A system print server
// is left alone. Its queues hand every job to a small backend that writes the
// document to <OutDir()>/job-<id>.out.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "testsupport/temp_home.h"

extern char** environ;

namespace printtest {

inline constexpr const char* kCupsd = "/usr/sbin/cupsd";

inline bool CupsdInstalled() {
    return ::access(kCupsd, X_OK) == 0 && ::access("/usr/lib/cups/daemon", F_OK) == 0;
}

class PrivateCupsd {
public:
    // `extraConfig`: more lines for cupsd.conf (limits of the scheduler).
    explicit PrivateCupsd(const std::string& extraConfig = "") {
        root_ = dir_.path();
        for (const char* d : {"/spool", "/tmp", "/cache", "/state", "/log", "/bin", "/bin/backend",
                              "/out", "/home"})
            ::mkdir((root_ + d).c_str(), 0755);
        // The backend may run as the scheduler's own user.
        ::chmod((root_ + "/out").c_str(), 0777);
        ::chmod(root_.c_str(), 0755);
        for (const char* d : {"daemon", "filter", "notifier", "cgi-bin", "monitor", "driver"}) {
            const std::string from = std::string("/usr/lib/cups/") + d;
            if (::access(from.c_str(), F_OK) == 0)
                ::symlink(from.c_str(), (root_ + "/bin/" + d).c_str());
        }
        Write(root_ + "/bin/backend/testfile",
              "#!/bin/sh\n"
              "if [ $# -eq 0 ]; then echo 'direct testfile \"Unknown\" \"Test file\"'; exit 0; fi\n"
              "dir=${DEVICE_URI#testfile:}\n"
              "if [ -n \"$6\" ]; then cat \"$6\"; else cat; fi > \"$dir/job-$1.part\" &&\n"
              "  mv \"$dir/job-$1.part\" \"$dir/job-$1.out\"\n");
        ::chmod((root_ + "/bin/backend/testfile").c_str(), 0755);
        port_ = FreePort();
        Write(root_ + "/cupsd.conf",
              "LogLevel info\n"
              "Listen 127.0.0.1:" +
                  std::to_string(port_) +
                  "\n"
                  "Browsing No\nWebInterface No\nDefaultAuthType None\n"
                  "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                  "<Policy default>\n  <Limit All>\n    Order allow,deny\n    Allow all\n"
                  "  </Limit>\n</Policy>\n" +
                  extraConfig + "\n");
        Write(root_ + "/cups-files.conf",
              "ServerRoot " + root_ + "\nServerBin " + root_ + "/bin\nRequestRoot " + root_ +
                  "/spool\nTempDir " + root_ + "/tmp\nCacheDir " + root_ + "/cache\nStateDir " +
                  root_ + "/state\nAccessLog " + root_ + "/log/access_log\nErrorLog " + root_ +
                  "/log/error_log\nPageLog " + root_ + "/log/page_log\nFileDevice Yes\n");
        Start();
        // This process's print client asks our server, and no user's own
        // options name a default for it.
        ::setenv("CUPS_SERVER", Server().c_str(), 1);
        ::setenv("HOME", (root_ + "/home").c_str(), 1);
        ::unsetenv("PRINTER");
        ::unsetenv("LPDEST");
    }

    ~PrivateCupsd() {
        Stop();
        ::unsetenv("CUPS_SERVER");
        if (!home_.empty()) ::setenv("HOME", home_.c_str(), 1);
    }

    PrivateCupsd(const PrivateCupsd&) = delete;
    PrivateCupsd& operator=(const PrivateCupsd&) = delete;

    bool Running() const { return pid_ > 0 && Answers(); }
    std::string Server() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string OutDir() const { return root_ + "/out"; }
    std::string JobOutput(int job) const {
        return OutDir() + "/job-" + std::to_string(job) + ".out";
    }
    std::string ErrorLog() const {
        std::ifstream in(root_ + "/log/error_log");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    bool AddQueue(const std::string& name, bool makeDefault) {
        if (!Run({"/usr/sbin/lpadmin", "-h", Server(), "-p", name, "-v", "testfile:" + OutDir(),
                  "-E"}))
            return false;
        return !makeDefault || Run({"/usr/sbin/lpadmin", "-h", Server(), "-d", name});
    }
    bool Reject(const std::string& name) {
        return Run({"/usr/sbin/cupsreject", "-h", Server(), name});
    }
    bool Remove(const std::string& name) {
        return Run({"/usr/sbin/lpadmin", "-h", Server(), "-x", name});
    }

    // Ends the scheduler; its port refuses connections afterwards.
    void Stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        pid_ = -1;
    }

private:
    static void Write(const std::string& path, const std::string& text) {
        std::ofstream(path) << text;
    }

    static int FreePort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        int port = 0;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
        ::close(fd);
        return port;
    }

    bool Answers() const {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port_));
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        return ok;
    }

    void Start() {
        if (const char* h = std::getenv("HOME")) home_ = h;
        const std::string conf = root_ + "/cupsd.conf", files = root_ + "/cups-files.conf";
        const std::string log = root_ + "/log/cupsd.out";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::vector<std::string> args = {kCupsd, "-f", "-c", conf, "-s", files};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, kCupsd, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (pid_ > 0 && !Answers() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    static bool Run(std::vector<std::string> args) {
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
        int status = 0;
        if (::waitpid(pid, &status, 0) != pid) return false;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    talvora::test::TempDir dir_;
    std::string root_, home_;
    int port_ = 0;
    pid_t pid_ = -1;
};

}  // namespace printtest
