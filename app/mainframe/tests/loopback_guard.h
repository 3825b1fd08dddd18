// Tests that build the frame or start the program must never reach a real
// card: the engine address they hand on has to be a loopback one.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace testguard {

// The host of an engine address "host:port" as TALVORA_ENGINE gives it;
// without one the device library takes the station's card.
inline std::string EngineHostOf(const std::string& text) {
    if (text.empty()) return "192.168.1.100";
    const auto colon = text.rfind(':');
    return colon == std::string::npos || colon == 0 ? text : text.substr(0, colon);
}

inline std::string EngineHost() {
    const char* env = std::getenv("TALVORA_ENGINE");
    return EngineHostOf(env ? env : "");
}

// Success only for a numeric IPv4 address in 127.0.0.0/8.
inline ::testing::AssertionResult IsLoopbackHost(const std::string& host) {
    in_addr a{};
    if (::inet_pton(AF_INET, host.c_str(), &a) != 1)
        return ::testing::AssertionFailure() << "engine host '" << host << "' is not an address";
    const std::uint32_t v = ntohl(a.s_addr);
    if ((v >> 24) != 127)
        return ::testing::AssertionFailure()
               << "engine host " << host << " is outside 127.0.0.0/8: a test must not reach a card";
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult EngineIsLoopback() {
    return IsLoopbackHost(EngineHost());
}

}  // namespace testguard
