// Tests address only 127.0.0.0/8 (and ::1): a guard to put before anything
// that opens a connection or starts a program with an address.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

namespace talvora::test {

// True for "127.x.y.z", "::1", "::ffff:127.x.y.z" and "localhost", each with an
// optional ":port" ("[::1]:port" for IPv6). Anything else, including names,
// shortened forms such as "127.1" and ports outside 1..65535, is false.
bool IsLoopback(std::string_view host);

// ASSERT_TRUE(RequireLoopback(address)) stops a test that was about to reach
// past this machine, naming the address.
::testing::AssertionResult RequireLoopback(std::string_view host);

// The card engine the device library is about to connect to: $TALVORA_ENGINE
// ("host:port"), or the station's card when it is unset or empty. Success
// only when that is a loopback address; put it before anything opens a card.
::testing::AssertionResult RequireLoopbackEngine();

}  // namespace talvora::test
