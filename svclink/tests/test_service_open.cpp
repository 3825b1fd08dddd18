// Refused inputs of the exports, and copy-data frames that break the rules.
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>

#include "link_fixture.h"

namespace svclink::test {
namespace {

using ServiceOpen = LinkTest;

void Cb(std::uint32_t, ServiceRecord*) {}

TEST_F(ServiceOpen, RefusesBadArguments) {
    ServiceRecord r{};
    r.dataCallback = Cb;
    int window = 0;
    EXPECT_FALSE(BB_OpenService(0, &window, nullptr, kRoleUser));
    EXPECT_FALSE(BB_OpenService(0, nullptr, &r, kRoleUser));
    EXPECT_FALSE(BB_OpenService(0, &window, &r, 2));
    ServiceRecord none{};
    EXPECT_FALSE(BB_OpenService(0, &window, &none, kRoleUser));
    EXPECT_TRUE(Shown().empty());  // refused before anything was tried

    std::uint32_t list[9] = {0, 1, 2, 3, 4, 5, 6, 7, 9};
    EXPECT_FALSE(BB_InitService(list, nullptr));
    EXPECT_FALSE(BB_InitService(nullptr, nullptr));
    EXPECT_FALSE(BB_SendShareData(0, "x", 1, nullptr));  // not open
    EXPECT_FALSE(BB_SendCmdParam(0, nullptr));
    EXPECT_FALSE(BB_CloseService(0, kRoleUser));
}

TEST_F(ServiceOpen, AUserWithoutAServerReportsTheMissingSection) {
    ServiceRecord r{};
    r.dataCallback = Cb;
    int window = 0;
    EXPECT_FALSE(BB_OpenService(4, &window, &r, kRoleUser));
    EXPECT_EQ(Shown(), std::vector<std::string>{"服务使用者打开内存共享文件失败！"});
    sink_->Clear();
    // A section of that name that is too small is refused.
    auto small = plat::SharedSection::Create(
        "{B064E0BE-C996-4341-A6A7-CE8AF3AAA05D}-MAPFILEHANDLE-04", 4096);
    ASSERT_TRUE(small);
    EXPECT_FALSE(BB_OpenService(4, &window, &r, kRoleUser));
    EXPECT_EQ(Shown(), std::vector<std::string>{"服务使用者打开内存共享文件视图失败！"});
    EXPECT_FALSE(BB_CloseService(4, kRoleUser));  // the failed open released the slot
}

TEST_F(ServiceOpen, ShareDataInfoChecksKeyAndLength) {
    std::vector<std::uint8_t> block(72 + 5);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i);
    std::uint8_t info[kShareDataInfoBytes + 4];
    std::memset(info, 0xEE, sizeof info);
    CopyDataStruct cds{3 + 256, static_cast<std::uint32_t>(block.size()), block.data()};
    ASSERT_TRUE(BB_GetShareDataInfo(3, info, &cds));
    EXPECT_EQ(info[0], 0);
    EXPECT_EQ(info[71], 71);
    const std::uint8_t* data = nullptr;
    std::uint32_t length = 0;
    std::memcpy(&data, info + 72, 8);
    std::memcpy(&length, info + 80, 4);
    EXPECT_EQ(data, block.data() + 72);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(info[84], 0xEE);                         // only the first 84 bytes are filled
    EXPECT_TRUE(BB_GetShareDataInfo(11, info, &cds));  // index taken modulo 8

    CopyDataStruct otherKey{4 + 256, cds.length, cds.data};
    EXPECT_FALSE(BB_GetShareDataInfo(3, info, &otherKey));
    CopyDataStruct shortOne{3 + 256, 71, block.data()};
    EXPECT_FALSE(BB_GetShareDataInfo(3, info, &shortOne));
    EXPECT_FALSE(BB_GetShareDataInfo(3, nullptr, &cds));
}

// Opens the copy-data socket of this process, as a peer would.
int ConnectToSelf() {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string name = "talvora-svclink." + std::string(std::getenv("TALVORA_OBJECT_NAMESPACE")) +
                       "." + std::to_string(getpid());
    std::memcpy(addr.sun_path + 1, name.data(), name.size());
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    timeval tv{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::vector<std::uint8_t> Frame(std::uint32_t service, std::uint32_t role, std::uint32_t msg,
                                std::uint32_t length, std::size_t bodyBytes) {
    std::vector<std::uint8_t> b;
    for (std::uint32_t v : {service, role, msg, length})
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    b.resize(b.size() + bodyBytes, 0x11);
    return b;
}

// The socket of this process exists once a service of it was opened.
TEST_F(ServiceOpen, MalformedCopyDataFramesCloseTheirConnection) {
    ASSERT_TRUE(Start({5}));
    ASSERT_TRUE(Open(5, true));
    int fd = ConnectToSelf();
    ASSERT_GE(fd, 0);
    // A good frame is answered 0 and handed to the window.
    auto good = Frame(5, kRoleUser, kWmCopyData, 72 + 3, 72 + 3);
    ASSERT_EQ(send(fd, good.data(), good.size(), 0), static_cast<ssize_t>(good.size()));
    std::uint32_t answer = 1;
    ASSERT_EQ(recv(fd, &answer, 4, MSG_WAITALL), 4);
    EXPECT_EQ(answer, 0u);
    EXPECT_TRUE(g_received[5].WaitBytes(3));

    for (auto bad : {Frame(5, kRoleUser, kWmCopyData, 71, 71),
                     Frame(5, kRoleUser, kWmCopyData, 72 + kRingSize + 1, 0)}) {
        int c = ConnectToSelf();
        ASSERT_GE(c, 0);
        ASSERT_EQ(send(c, bad.data(), bad.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bad.size()));
        char byte;
        const ssize_t r = recv(c, &byte, 1, 0);
        // Closed without an answer (reset when the body was left unread), not timed out.
        EXPECT_TRUE(r == 0 || (r < 0 && errno == ECONNRESET)) << r << " " << errno;
        close(c);
    }
    // A frame for a slot that is not open is answered, but not as handled.
    auto elsewhere = Frame(6, kRoleUser, kWmCopyData, 72, 72);
    ASSERT_EQ(send(fd, elsewhere.data(), elsewhere.size(), 0),
              static_cast<ssize_t>(elsewhere.size()));
    ASSERT_EQ(recv(fd, &answer, 4, MSG_WAITALL), 4);
    EXPECT_NE(answer, 0u);
    close(fd);
}

}  // namespace
}  // namespace svclink::test
