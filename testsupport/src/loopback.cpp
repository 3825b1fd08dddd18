#include "testsupport/loopback.h"

#include <arpa/inet.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace talvora::test {
namespace {

bool ValidPort(std::string_view port) {
    if (port.empty() || port.size() > 5) return false;
    unsigned value = 0;
    for (char c : port) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value >= 1 && value <= 65535;
}

bool LoopbackV4(const std::string& text) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
    return (ntohl(a.s_addr) >> 24) == 127;
}

bool LoopbackV6(const std::string& text) {
    in6_addr a{};
    if (inet_pton(AF_INET6, text.c_str(), &a) != 1) return false;
    if (IN6_IS_ADDR_LOOPBACK(&a)) return true;
    return IN6_IS_ADDR_V4MAPPED(&a) && a.s6_addr[12] == 127;
}

bool LoopbackHost(std::string_view host) {
    if (host.empty() || host.size() > 64) return false;
    const std::string text(host);
    return text == "localhost" || LoopbackV4(text) || LoopbackV6(text);
}

}  // namespace

bool IsLoopback(std::string_view host) {
    if (!host.empty() && host.front() == '[') {  // [v6]:port
        const std::size_t close = host.find(']');
        if (close == std::string_view::npos) return false;
        const std::string_view rest = host.substr(close + 1);
        if (!rest.empty() && (rest.front() != ':' || !ValidPort(rest.substr(1)))) return false;
        const std::string inner(host.substr(1, close - 1));
        return LoopbackV6(inner);
    }
    const std::size_t colon = host.find(':');
    if (colon != std::string_view::npos && host.find(':', colon + 1) == std::string_view::npos) {
        if (!ValidPort(host.substr(colon + 1))) return false;  // host:port
        return LoopbackHost(host.substr(0, colon));
    }
    return LoopbackHost(host);
}

::testing::AssertionResult RequireLoopback(std::string_view host) {
    if (IsLoopback(host)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "'" << std::string(host) << "' is not a loopback address; tests stay on 127.0.0.0/8";
}

::testing::AssertionResult RequireLoopbackEngine() {
    const char* env = std::getenv("TALVORA_ENGINE");
    // Without the variable the device library takes the station's card.
    const std::string engine = env && *env ? env : "192.168.1.100:10001";
    ::testing::AssertionResult r = RequireLoopback(engine);
    if (!r) r << " (card engine from TALVORA_ENGINE)";
    return r;
}

}  // namespace talvora::test
