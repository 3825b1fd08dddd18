#include <arpa/inet.h>
#include <mcastlib/mcastlib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// One service per process; every call holds the mutex, so a close never
// lands between a send's check and its use of the descriptor.
std::mutex g_lock;
int g_socket = -1;  // guarded by g_lock
sockaddr_in g_target{};

bool ParseIpv4(const char* text, in_addr& out) {
    return text && inet_pton(AF_INET, text, &out) == 1;
}

bool IsMulticast(const in_addr& a) {
    return (ntohl(a.s_addr) >> 28) == 0xE;
}

int TtlFromEnvironment() {
    const char* text = std::getenv("MCASTLIB_TTL");
    if (!text || !*text) return 1;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < 0 || v > 255) return 1;
    return int(v);
}

void CloseLocked() {
    if (g_socket >= 0) ::close(g_socket);
    g_socket = -1;
}

}  // namespace

extern "C" int32_t McastOpen(const char* group, int32_t port) {
    std::lock_guard lock(g_lock);
    CloseLocked();
    in_addr groupAddr{};
    if (!ParseIpv4(group, groupAddr) || !IsMulticast(groupAddr) || port < 1 || port > 65535)
        return 0;
    in_addr iface{};
    const char* ifText = std::getenv("MCASTLIB_IF");
    const bool haveIf = ifText && *ifText;
    if (haveIf && !ParseIpv4(ifText, iface)) return 0;

    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) return 0;
    const int ttl = TtlFromEnvironment();
    if (::setsockopt(s, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0 ||
        (haveIf && ::setsockopt(s, IPPROTO_IP, IP_MULTICAST_IF, &iface, sizeof iface) != 0)) {
        ::close(s);
        return 0;
    }
    g_target = {};
    g_target.sin_family = AF_INET;
    g_target.sin_addr = groupAddr;
    g_target.sin_port = htons(static_cast<uint16_t>(port));
    g_socket = s;
    return 1;
}

extern "C" int32_t McastSend(const void* data, int32_t length) {
    if (!data || length < 0) return 0;
    std::lock_guard lock(g_lock);
    if (g_socket < 0) return 0;
    const ssize_t n = ::sendto(g_socket, data, static_cast<size_t>(length), MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr*>(&g_target), sizeof g_target);
    return n < 0 ? 0 : static_cast<int32_t>(n);
}

extern "C" void McastClose(void) {
    std::lock_guard lock(g_lock);
    CloseLocked();
}
