// The multicast service against a receiver joined on the loopback interface.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <mcastlib/mcastlib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

constexpr const char* kGroup = "239.255.42.7";

// A socket joined to kGroup on 127.0.0.1 and bound to the group on a free port.
class GroupReceiver {
public:
    GroupReceiver() {
        // A port of its own from the kernel, without address reuse, so tests
        // running side by side never receive each other's datagrams.
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, kGroup, &a.sin_addr);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
            socklen_t len = sizeof a;
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
            port_ = ntohs(a.sin_port);
        }
        ip_mreq m{};
        inet_pton(AF_INET, kGroup, &m.imr_multiaddr);
        inet_pton(AF_INET, "127.0.0.1", &m.imr_interface);
        joined_ = ::setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) == 0;
    }
    ~GroupReceiver() { ::close(fd_); }
    int Port() const { return port_; }
    bool Joined() const { return joined_; }
    // One datagram within `ms`, or an empty vector.
    std::vector<uint8_t> Receive(int ms = 2000) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, ms) != 1) return {};
        std::vector<uint8_t> buf(70000);
        const ssize_t n = ::recv(fd_, buf.data(), buf.size(), 0);
        buf.resize(n < 0 ? 0 : size_t(n));
        return buf;
    }

private:
    int fd_ = -1;
    int port_ = 0;
    bool joined_ = false;
};

class McastTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("MCASTLIB_IF", "127.0.0.1", 1);
        ::unsetenv("MCASTLIB_TTL");
        ASSERT_TRUE(rx_.Joined());
    }
    void TearDown() override { McastClose(); }
    GroupReceiver rx_;
};

TEST_F(McastTest, SendsExactlyTheGivenBytesAsOneDatagram) {
    ASSERT_NE(McastOpen(kGroup, rx_.Port()), 0);
    const uint8_t packet[27] = {0xEB, 0x90, 0x55, 1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,
                                12,   13,   14,   15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
    EXPECT_EQ(McastSend(packet, 27), 27);
    const auto got = rx_.Receive();
    ASSERT_EQ(got.size(), 27u);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), packet));
}

TEST_F(McastTest, RefusesWhatIsNoMulticastGroupOrPort) {
    EXPECT_EQ(McastOpen("127.0.0.1", rx_.Port()), 0);
    EXPECT_EQ(McastOpen("240.0.0.1", rx_.Port()), 0);
    EXPECT_EQ(McastOpen("223.255.255.255", rx_.Port()), 0);
    EXPECT_EQ(McastOpen("224.0.0", rx_.Port()), 0);
    EXPECT_EQ(McastOpen(nullptr, rx_.Port()), 0);
    EXPECT_EQ(McastOpen(kGroup, 0), 0);
    EXPECT_EQ(McastOpen(kGroup, 65536), 0);
    ::setenv("MCASTLIB_IF", "not-an-address", 1);
    EXPECT_EQ(McastOpen(kGroup, rx_.Port()), 0);
    // A refused open leaves the service closed.
    const uint8_t b = 1;
    EXPECT_EQ(McastSend(&b, 1), 0);
}

TEST_F(McastTest, SendAfterCloseSendsNothingAndCloseTwiceIsSafe) {
    McastClose();  // not open
    ASSERT_NE(McastOpen(kGroup, rx_.Port()), 0);
    McastClose();
    McastClose();
    const uint8_t late[3] = {9, 9, 9};
    EXPECT_EQ(McastSend(late, 3), 0);
    // Reopened, the next datagram is the first the receiver sees.
    ASSERT_NE(McastOpen(kGroup, rx_.Port()), 0);
    const uint8_t marker[2] = {7, 7};
    EXPECT_EQ(McastSend(marker, 2), 2);
    EXPECT_EQ(rx_.Receive().size(), 2u);
}

TEST_F(McastTest, ReopeningClosesTheFirstOpen) {
    GroupReceiver other;
    ASSERT_TRUE(other.Joined());
    ASSERT_NE(McastOpen(kGroup, other.Port()), 0);
    ASSERT_NE(McastOpen(kGroup, rx_.Port()), 0);
    const uint8_t b[4] = {1, 2, 3, 4};
    EXPECT_EQ(McastSend(b, 4), 4);
    EXPECT_EQ(rx_.Receive().size(), 4u);
}

TEST_F(McastTest, CloseDuringSendsFromAnotherThread) {
    ASSERT_NE(McastOpen(kGroup, rx_.Port()), 0);
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    std::thread sender([&] {
        const uint8_t b[27] = {};
        while (!stop) sent += McastSend(b, 27) == 27 ? 1 : 0;
    });
    // Let the sender get going before the close races it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sent.load() < 100 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_GE(sent.load(), 100);
    for (int i = 0; i < 50; ++i) {
        McastClose();
        ASSERT_NE(McastOpen(kGroup, rx_.Port()), 0);
    }
    McastClose();
    stop = true;
    sender.join();
    const uint8_t b = 0;
    EXPECT_EQ(McastSend(&b, 1), 0);
}

}  // namespace
