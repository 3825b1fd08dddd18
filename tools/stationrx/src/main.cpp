// stationrx: a station computer's receiver for the program's telemetry and
// link-monitor packets (and optionally its unicast copy and GNSS packets).
// Prints one line of counts per second and a summary at the end.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stationrx/checker.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}

const char* kUsage =
    "usage: stationrx (--group ADDR --port N | --gnss ADDR:PORT) --interface IP [options]\n"
    "  --unicast PORT         also receive the unicast copy on IP:PORT\n"
    "  --gnss ADDR:PORT       also (or only) receive GNSS packets from that group; a\n"
    "                         line \"gnss LON LAT H\" each second one arrived\n"
    "  --telemetry-bid N      BID of telemetry packets (default 0x00110101)\n"
    "  --link-bid N           BID of link-monitor packets (default 0x00020101)\n"
    "  --record-bytes R       check whole records of R bytes\n"
    "  --subframes N          sub-frame indexes below N (default 1)\n"
    "  --counter POS:BYTES    frame counter at byte POS after each record header\n"
    "  --late-ms MS           delay that counts as late (default 20)\n"
    "  --seconds S | --count N  end after S seconds or N datagrams\n"
    "  --json                 summary as one JSON object\n"
    "  --quiet                no line per second\n";

bool ParseNumber(const char* text, unsigned long long& out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtoull(text, &end, 0);
    return errno == 0 && *end == '\0';
}

int JoinedSocket(const std::string& group, int port, const std::string& iface) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int on = 1, big = 8 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    // Bound to the group itself: the program's own multicast socket may hold
    // the port on the interface address.
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(std::uint16_t(port));
    ip_mreq m{};
    if (inet_pton(AF_INET, group.c_str(), &a.sin_addr) != 1 ||
        inet_pton(AF_INET, iface.c_str(), &m.imr_interface) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    m.imr_multiaddr = a.sin_addr;
    if (::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int UnicastSocket(const std::string& iface, int port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int on = 1, big = 8 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(std::uint16_t(port));
    if (inet_pton(AF_INET, iface.c_str(), &a.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

// The position of the last GNSS packet, when one arrived since the last line.
static void PrintGnss(const std::vector<stationrx::StationChecker>& checkers,
                      const std::vector<bool>& isGnss, std::uint64_t& printed) {
    for (std::size_t i = 0; i < checkers.size(); ++i) {
        double p[3];
        if (!isGnss[i] || !checkers[i].LastGnss(p) || checkers[i].Totals().gnss == printed)
            continue;
        printed = checkers[i].Totals().gnss;
        std::printf("gnss %.7f %.7f %.3f\n", p[0], p[1], p[2]);
    }
}

int main(int argc, char** argv) {
    stationrx::CheckerOptions opt;
    std::string group, iface, gnss;
    unsigned long long port = 0, unicast = 0, seconds = 0, count = 0;
    bool json = false, quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        unsigned long long n = 0;
        auto number = [&](unsigned long long& out, unsigned long long lo, unsigned long long hi) {
            if (!ParseNumber(v, n) || n < lo || n > hi) {
                std::fprintf(stderr, "stationrx: bad value for %s\n", a.c_str());
                std::exit(2);
            }
            out = n;
            ++i;
        };
        unsigned long long tmp = 0;
        if (a == "--group" && v) {
            group = v;
            ++i;
        } else if (a == "--interface" && v) {
            iface = v;
            ++i;
        } else if (a == "--gnss" && v) {
            gnss = v;
            ++i;
        } else if (a == "--port") {
            number(port, 1, 65535);
        } else if (a == "--unicast") {
            number(unicast, 1, 65535);
        } else if (a == "--telemetry-bid") {
            number(tmp, 0, 0xFFFFFFFFull);
            opt.telemetryBid = std::uint32_t(tmp);
        } else if (a == "--link-bid") {
            number(tmp, 0, 0xFFFFFFFFull);
            opt.linkBid = std::uint32_t(tmp);
        } else if (a == "--record-bytes") {
            number(tmp, 9, 65471);
            opt.recordBytes = tmp;
        } else if (a == "--subframes") {
            number(tmp, 1, 65535);
            opt.subframes = std::uint32_t(tmp);
        } else if (a == "--counter" && v) {
            unsigned long long pos = 0, bytes = 0;
            const char* colon = std::strchr(v, ':');
            if (!colon || !ParseNumber(std::string(v, colon).c_str(), pos) ||
                !ParseNumber(colon + 1, bytes) || pos < 1 || pos > 65535 || bytes < 1 ||
                bytes > 8) {
                std::fprintf(stderr, "stationrx: bad value for --counter\n");
                return 2;
            }
            opt.counterPos = pos;
            opt.counterBytes = bytes;
            ++i;
        } else if (a == "--late-ms") {
            number(tmp, 0, 86400000);
            opt.lateMs = double(tmp);
        } else if (a == "--seconds") {
            number(seconds, 1, 86400 * 365);
        } else if (a == "--count") {
            number(count, 1, ~0ull);
        } else if (a == "--json") {
            json = true;
        } else if (a == "--quiet") {
            quiet = true;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (iface.empty() || (gnss.empty() && (group.empty() || port == 0))) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    std::vector<pollfd> fds;
    std::vector<bool> isGnss;
    if (!group.empty()) {
        const int main = JoinedSocket(group, int(port), iface);
        if (main < 0) {
            std::fprintf(stderr, "stationrx: cannot join %s:%llu on %s: %s\n", group.c_str(), port,
                         iface.c_str(), std::strerror(errno));
            return 1;
        }
        fds.push_back({main, POLLIN, 0});
        isGnss.push_back(false);
    }
    if (unicast != 0) {
        const int fd = UnicastSocket(iface, int(unicast));
        if (fd < 0) {
            std::fprintf(stderr, "stationrx: cannot bind %s:%llu\n", iface.c_str(), unicast);
            return 1;
        }
        fds.push_back({fd, POLLIN, 0});
        isGnss.push_back(false);
    }
    if (!gnss.empty()) {
        const std::size_t colon = gnss.rfind(':');
        unsigned long long gport = 0;
        const int fd = colon == std::string::npos ||
                               !ParseNumber(gnss.substr(colon + 1).c_str(), gport) || gport < 1 ||
                               gport > 65535
                           ? -1
                           : JoinedSocket(gnss.substr(0, colon), int(gport), iface);
        if (fd < 0) {
            std::fprintf(stderr, "stationrx: cannot join GNSS group %s\n", gnss.c_str());
            return 1;
        }
        fds.push_back({fd, POLLIN, 0});
        isGnss.push_back(true);
    }

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    // One checker per socket: the unicast copy repeats the group's packets.
    std::vector<stationrx::StationChecker> checkers(fds.size(), stationrx::StationChecker(opt));
    auto totals = [&checkers] {
        stationrx::Counts sum;
        for (const auto& c : checkers) sum += c.Totals();
        return sum;
    };
    std::vector<std::uint8_t> buf(65536);
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto nextLine = start + std::chrono::seconds(1);
    unsigned long long datagrams = 0;
    std::uint64_t printedGnss = 0;
    while (!g_stop) {
        const auto now = Clock::now();
        if (seconds && now - start >= std::chrono::seconds(seconds)) break;
        if (count && datagrams >= count) break;
        if (now >= nextLine) {
            if (!quiet) {
                std::printf("%s\n", stationrx::CountsLine(totals()).c_str());
                PrintGnss(checkers, isGnss, printedGnss);
                std::fflush(stdout);
            }
            nextLine += std::chrono::seconds(1);
        }
        if (::poll(fds.data(), fds.size(), 100) <= 0) continue;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            const ssize_t n = ::recv(fds[i].fd, buf.data(), buf.size(), MSG_DONTWAIT);
            if (n < 0) continue;
            ++datagrams;
            const std::span<const std::uint8_t> d(buf.data(), std::size_t(n));
            stationrx::StationChecker& checker = checkers[i];
            const stationrx::Verdict v = isGnss[i]
                                             ? checker.CheckGnss(d)
                                             : checker.CheckStation(d, stationrx::StationTimeNow());
            if (v.kind == stationrx::Kind::Malformed)
                std::fprintf(stderr, "stationrx: %zd bytes: %s\n", n, v.problem);
        }
    }
    if (!quiet) PrintGnss(checkers, isGnss, printedGnss);
    const stationrx::Counts c = totals();
    std::printf("%s\n", json ? stationrx::CountsJson(c).c_str()
                             : ("summary " + stationrx::CountsLine(c)).c_str());
    for (const pollfd& p : fds) ::close(p.fd);
    return 0;
}
