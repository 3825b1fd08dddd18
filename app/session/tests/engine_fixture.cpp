#include "engine_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace sessiontest {
namespace {

std::string EngineBinary() {
    if (const char* dir = std::getenv("TALVORA_BIN_DIR"); dir && *dir)
        return std::string(dir) + "/cardengine";
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string path(self, n > 0 ? static_cast<std::size_t>(n) : 0);
    return path.substr(0, path.rfind('/')) + "/cardengine";
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::uint32_t Received::Word(std::size_t offset) const {
    std::uint32_t v = 0;
    if (offset + 4 <= payload.size()) std::memcpy(&v, payload.data() + offset, 4);
    return v;
}

std::uint16_t Received::Half(std::size_t offset) const {
    std::uint16_t v = 0;
    if (offset + 2 <= payload.size()) std::memcpy(&v, payload.data() + offset, 2);
    return v;
}

std::uint16_t FreeLoopbackPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(s);
    return ntohs(a.sin_port);
}

void SleepMs(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

Engine::Engine(std::vector<std::string> extraArgs) {
    static std::atomic<int> serial{0};
    logPath_ = "/tmp/talvora-session-engine-" + std::to_string(::getpid()) + "-" +
               std::to_string(serial++) + ".log";
    // A port taken between probing and binding shows as no "listen" line.
    for (int attempt = 0; attempt < 3 && !listening_; ++attempt) {
        port_ = FreeLoopbackPort();
        std::vector<std::string> args = {EngineBinary(), "--listen", Address(), "--log", logPath_};
        args.insert(args.end(), extraArgs.begin(), extraArgs.end());
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::unlink(logPath_.c_str());
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        for (int waited = 0; waited < 10000; waited += 20) {
            int status;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            bool seen = false;
            for (const std::string& l : Lines()) seen = seen || l.rfind("listen ", 0) == 0;
            if (seen) {
                listening_ = true;
                break;
            }
            SleepMs(20);
        }
    }
}

Engine::~Engine() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status;
        ::waitpid(pid_, &status, 0);
    }
    ::unlink(logPath_.c_str());
}

std::vector<std::string> Engine::Lines() const {
    std::ifstream in(logPath_);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

std::vector<Received> Engine::Commands() const {
    std::vector<Received> out;
    for (const std::string& line : Lines()) {
        std::istringstream in(line);
        std::string tag, hex;
        Received r;
        std::size_t length = 0;
        if (!(in >> tag >> r.module >> r.operation >> length) || tag != "rx") continue;
        if (r.module <= 1) continue;  // link and card messages
        in >> hex;
        if (hex.size() != 2 * length) continue;  // a line still being written
        r.payload.resize(length);
        for (std::size_t i = 0; i < length; ++i)
            r.payload[i] = static_cast<std::uint8_t>(HexDigit(hex[2 * i]) * 16 + HexDigit(hex[2 * i + 1]));
        out.push_back(std::move(r));
    }
    return out;
}

}  // namespace sessiontest
