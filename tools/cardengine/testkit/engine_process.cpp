#include <arpa/inet.h>
#include <cardengine/testkit/engine_process.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace cardengine::testkit {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The payload of an "rx" line; false when the hex does not match the length.
bool ParseHex(const std::string& hex, std::size_t length, std::vector<std::uint8_t>& out) {
    if (hex.size() % 2 != 0 || hex.size() / 2 != length) return false;
    out.resize(length);
    for (std::size_t i = 0; i < length; ++i) {
        const int high = HexDigit(hex[2 * i]), low = HexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        out[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return true;
}

}  // namespace

std::uint32_t ReceivedCommand::Word(std::size_t offset) const {
    if (offset + 4 > payload.size()) return 0;
    const std::uint8_t* p = payload.data() + offset;
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t ReceivedCommand::Half(std::size_t offset) const {
    if (offset + 2 > payload.size()) return 0;
    const std::uint8_t* p = payload.data() + offset;
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::vector<ReceivedCommand> ParseReceived(const std::vector<std::string>& logLines,
                                           int connection) {
    std::vector<ReceivedCommand> commands;
    int current = 0;
    for (const auto& line : logLines) {
        std::istringstream in(line);
        std::string tag, hex;
        in >> tag;
        if (tag == "accept") in >> current;
        if (tag != "rx" || (connection > 0 && current != connection)) continue;
        ReceivedCommand c;
        if (!(in >> c.module >> c.operation >> c.length)) continue;
        in >> hex;  // absent for an empty payload
        if (!ParseHex(hex, c.length, c.payload)) continue;
        commands.push_back(std::move(c));
    }
    return commands;
}

std::string EngineBinary() {
    if (const char* dir = std::getenv("TALVORA_BIN_DIR"); dir && *dir)
        return std::string(dir) + "/cardengine";
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string path(self, n > 0 ? static_cast<std::size_t>(n) : 0);
    return path.substr(0, path.rfind('/') + 1) + "cardengine";
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

void SleepMs(unsigned ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

EngineProcess::EngineProcess(std::vector<std::string> extraArgs) {
    static std::atomic<int> serial{0};
    logPath_ = "/tmp/cardengine-test-" + std::to_string(::getpid()) + "-" +
               std::to_string(serial++) + ".log";
    // A port taken between probing and binding shows as a missing "listen"
    // line; a second port is tried then.
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
        listening_ = WaitFor([&] {
                         int status;
                         if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                             pid_ = -1;
                             return true;  // ended: stop waiting, not listening
                         }
                         return CountLines("listen ") > 0;
                     }) &&
                     pid_ > 0;
    }
}

EngineProcess::~EngineProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status;
        ::waitpid(pid_, &status, 0);
    }
    ::unlink(logPath_.c_str());
}

std::vector<std::string> EngineProcess::LogLines() const {
    // Only whole lines: the engine may be writing the last one right now.
    std::ifstream in(logPath_, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

int EngineProcess::CountLines(const std::string& prefix) const {
    int n = 0;
    for (const auto& line : LogLines()) n += line.rfind(prefix, 0) == 0;
    return n;
}

std::vector<ReceivedCommand> EngineProcess::Received(int connection) const {
    return ParseReceived(LogLines(), connection);
}

}  // namespace cardengine::testkit
