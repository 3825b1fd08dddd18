#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
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

// Sets TALVORA_ENGINE for one scope and puts back what was there.
class EngineVariable {
public:
    explicit EngineVariable(const char* value) {
        if (const char* old = std::getenv("TALVORA_ENGINE")) saved_ = old;
        if (value)
            setenv("TALVORA_ENGINE", value, 1);
        else
            unsetenv("TALVORA_ENGINE");
    }
    ~EngineVariable() {
        if (saved_)
            setenv("TALVORA_ENGINE", saved_->c_str(), 1);
        else
            unsetenv("TALVORA_ENGINE");
    }

private:
    std::optional<std::string> saved_;
};

TEST(Loopback, EngineFromTheEnvironmentMustBeOnThisMachine) {
    {
        EngineVariable v("127.0.0.1:4000");
        EXPECT_TRUE(RequireLoopbackEngine());
    }
    // Unset or empty: the device library takes the station's card.
    for (const char* value : {static_cast<const char*>(nullptr), "", ":10001", "10.1.2.3:4000"}) {
        EngineVariable v(value);
        const ::testing::AssertionResult r = RequireLoopbackEngine();
        EXPECT_FALSE(r) << (value ? value : "(unset)");
        EXPECT_NE(std::string(r.message()).find("TALVORA_ENGINE"), std::string::npos);
    }
}

}  // namespace
}  // namespace talvora::test
