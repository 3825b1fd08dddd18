#include <gtest/gtest.h>

#include <string>

#include "testsupport/loopback.h"

namespace talvora::test {
namespace {

TEST(Loopback, AcceptsOnlyAddressesOnThisMachine) {
    for (const char* host :
         {"127.0.0.1", "127.255.3.4", "127.0.0.1:10001", "localhost", "localhost:80", "::1",
          "[::1]:5000", "[::1]", "::ffff:127.0.0.2", "[::ffff:127.0.0.1]:65535"})
        EXPECT_TRUE(IsLoopback(host)) << host;

    for (const char* host : {"",
                             "192.168.1.100",
                             "192.168.1.100:10001",
                             "10.0.0.1",
                             "172.16.0.1",
                             "0.0.0.0",
                             "128.0.0.1",
                             "126.255.255.255",
                             "224.0.0.1",
                             "::",
                             "::2",
                             "::ffff:10.0.0.1",
                             "[192.168.1.100]:1",
                             "127.1",
                             "127.0.0.1.5",
                             "127.0.0.1:",
                             "127.0.0.1:0",
                             "127.0.0.1:65536",
                             "127.0.0.1:99999999",
                             "127.0.0.1:8o",
                             "127.0.0.1 ",
                             " 127.0.0.1",
                             "[::1",
                             "[::1]x",
                             "[::1]:",
                             "card.station",
                             "localhost.evil.example",
                             "::1:80"})
        EXPECT_FALSE(IsLoopback(host)) << "'" << host << "'";
}

TEST(Loopback, RequireNamesTheRefusedAddress) {
    EXPECT_TRUE(RequireLoopback("127.0.0.1:4000"));
    const ::testing::AssertionResult r = RequireLoopback("192.168.1.100:10001");
    ASSERT_FALSE(r);
    EXPECT_NE(std::string(r.message()).find("192.168.1.100:10001"), std::string::npos);
    EXPECT_FALSE(RequireLoopback(std::string(4096, '1')));
}

}  // namespace
}  // namespace talvora::test
