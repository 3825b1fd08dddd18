// The service link between this process (user role) and a real tmserver.
#include <sys/wait.h>

#include <fstream>

#include "link_fixture.h"
#include "testsupport/temp_home.h"

namespace svclink::test {
namespace {

using ServiceLink = LinkTest;

TEST_F(ServiceLink, StartsTheServerFromTheDefaultAndTheGivenPath) {
    ASSERT_TRUE(Start({0}));
    EXPECT_TRUE(ServerAlive());
    EXPECT_TRUE(Start({0}));  // already running
    ASSERT_TRUE(Open(0, false));
    const pid_t first = ServerPid(0);
    EXPECT_GT(first, 0);
    BB_CloseService(0, kRoleUser);
    StopServer();

    ASSERT_TRUE(Start({0, 3}, ServerPath().c_str()));
    ASSERT_TRUE(Open(3, false));
    EXPECT_NE(ServerPid(3), first);
    EXPECT_TRUE(Shown().empty());
}

TEST_F(ServiceLink, EchoesThroughTheRingAcrossItsEnd) {
    ASSERT_TRUE(Start({0}));
    ASSERT_TRUE(Open(0, false));
    const auto desc = Desc(7);
    const std::size_t first = kRingSize - 1000;
    ASSERT_TRUE(BB_SendShareData(0, Pattern(0, first).data(), first, desc.data()));
    ASSERT_TRUE(g_received[0].WaitBytes(first));
    // Both directions wrap with this block.
    ASSERT_TRUE(BB_SendShareData(0, Pattern(first, 3000).data(), 3000, desc.data()));
    ASSERT_TRUE(g_received[0].WaitBytes(first + 3000));
    std::lock_guard lock(g_received[0].mutex);
    EXPECT_TRUE(g_received[0].bytes == Pattern(0, first + 3000));
    for (const auto& d : g_received[0].descs) EXPECT_EQ(d, desc);
    for (std::size_t n : g_received[0].lengths) EXPECT_LE(n, kMaxChunk);
}

TEST_F(ServiceLink, EchoesInCopyDataMessages) {
    ASSERT_TRUE(Start({1}));
    ASSERT_TRUE(Open(1, true));
    const auto desc = Desc(3);
    ASSERT_TRUE(BB_SendShareData(1, Pattern(0, 4096).data(), 4096, desc.data()));
    ASSERT_TRUE(BB_SendShareData(1, Pattern(4096, 1 << 20).data(), 1 << 20, nullptr));
    ASSERT_TRUE(g_received[1].WaitBytes(4096 + (1 << 20)));
    std::lock_guard lock(g_received[1].mutex);
    EXPECT_TRUE(g_received[1].bytes == Pattern(0, 4096 + (1 << 20)));
    ASSERT_EQ(g_received[1].descs.size(), 2u);
    EXPECT_EQ(g_received[1].descs[0], desc);
    EXPECT_EQ(g_received[1].descs[1], desc);  // no description sends the last one again
}

TEST_F(ServiceLink, SameDescriptionBackToBackAllArriveAndNewOnesCarryTheirOwn) {
    ASSERT_TRUE(Start({0}));
    ASSERT_TRUE(Open(0, false));
    const auto same = Desc(1);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(BB_SendShareData(0, Pattern(4096u * i, 4096).data(), 4096, same.data()));
    ASSERT_TRUE(g_received[0].WaitBytes(3 * 4096));
    {
        std::lock_guard lock(g_received[0].mutex);
        EXPECT_TRUE(g_received[0].bytes == Pattern(0, 3 * 4096));
    }
    for (std::uint32_t tag = 2; tag < 5; ++tag) {
        g_received[0].Clear();
        const auto desc = Desc(tag);
        ASSERT_TRUE(BB_SendShareData(0, Pattern(tag, 4096).data(), 4096, desc.data()));
        ASSERT_TRUE(g_received[0].WaitBytes(4096)) << tag;
        std::lock_guard lock(g_received[0].mutex);
        EXPECT_TRUE(g_received[0].bytes == Pattern(tag, 4096)) << tag;
        EXPECT_EQ(g_received[0].descs.back(), desc) << tag;
    }
}

TEST_F(ServiceLink, AWholeRingIsAcceptedAndOneByteMoreRefused) {
    ASSERT_TRUE(Start({0, 1}));
    ASSERT_TRUE(Open(0, false));
    ASSERT_TRUE(Open(1, true));
    const auto big = Pattern(0, kRingSize + 1);
    for (std::uint32_t slot : {0u, 1u}) {
        EXPECT_FALSE(BB_SendShareData(slot, big.data(), kRingSize + 1, nullptr)) << slot;
        ASSERT_TRUE(BB_SendShareData(slot, big.data(), kRingSize, nullptr)) << slot;
        ASSERT_TRUE(g_received[slot].WaitBytes(kRingSize)) << slot;
        std::lock_guard lock(g_received[slot].mutex);
        EXPECT_EQ(g_received[slot].bytes.size(), kRingSize) << slot;
        EXPECT_TRUE(std::equal(big.begin(), big.end() - 1, g_received[slot].bytes.begin()));
    }
}

TEST_F(ServiceLink, AReaderFarBehindGetsTheNewestDataAndCountsTheLoss) {
    ASSERT_TRUE(Start({0}));
    ASSERT_TRUE(Open(0, false));
    const std::size_t mb = 1 << 20;
    g_holdData.store(true);  // the first echoed chunk holds the receive thread
    ASSERT_TRUE(BB_SendShareData(0, Pattern(0, mb).data(), mb, nullptr));
    ASSERT_TRUE(g_received[0].WaitBytes(1));
    // Block by block, so that only this process falls behind.
    const std::uint8_t* peer = PeerHeader(0);
    ASSERT_NE(peer, nullptr);
    for (std::uint64_t i = 1; i < 8; ++i) {
        ASSERT_TRUE(BB_SendShareData(0, Pattern(i * mb, mb).data(), mb, nullptr));
        ASSERT_TRUE(talvora::test::WaitUntil(
            [&] {
                std::uint64_t total = 0;
                std::memcpy(&total, peer + hdr::kTotal, 8);
                return total == (i + 1) * mb;
            },
            20s, "the server's echo"));
    }
    const std::size_t held = g_received[0].Size();
    g_holdData.store(false);
    g_holdCv.notify_all();
    ASSERT_TRUE(talvora::test::WaitUntil(
        [&] { return LostBytes(0) + g_received[0].Size() - held == 8 * mb - held; }, 20s,
        "the rest"));
    EXPECT_GT(LostBytes(0), 0u);
    std::lock_guard lock(g_received[0].mutex);
    const auto& bytes = g_received[0].bytes;
    ASSERT_GE(bytes.size(), held + kRingSize);
    const auto tail = Pattern(8 * mb - kRingSize, kRingSize);
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), bytes.end() - kRingSize));
}

TEST_F(ServiceLink, RecordingParametersMidStreamAndACommandAreEchoed) {
    ASSERT_TRUE(Start({0}));
    ASSERT_TRUE(Open(0, false));
    const auto desc = Desc(9);
    ASSERT_TRUE(BB_SendShareData(0, Pattern(0, 50000).data(), 50000, desc.data()));
    std::uint8_t save[32];
    for (int i = 0; i < 32; ++i) save[i] = static_cast<std::uint8_t>(0xC0 + i);
    ASSERT_TRUE(BB_SetSaveDemDataParam(0, save));
    ASSERT_TRUE(BB_SendShareData(0, Pattern(50000, 50000).data(), 50000, desc.data()));
    const std::uint32_t command = 0x1234ABCD;
    const SvcCmdParam p{kKeyCommand, 4, &command};
    ASSERT_TRUE(BB_SendCmdParam(0, &p));
    ASSERT_TRUE(g_received[0].WaitBytes(100000));
    {
        std::lock_guard lock(g_received[0].mutex);
        EXPECT_TRUE(g_received[0].bytes == Pattern(0, 100000));
    }
    const std::uint8_t* peer = PeerHeader(0);
    std::uint8_t back[32] = {};
    std::uint32_t echoed = 0;
    EXPECT_TRUE(talvora::test::WaitUntil(
        [&] {
            ReadKey(peer, kKeySaveParam, back, 32);
            ReadKey(peer, kKeyCommand, &echoed, 4);
            return echoed == command && std::memcmp(back, save, 4) == 0;
        },
        10s, "the echoed keys"));
    // Key 3 shares bytes 4..7 of the recording parameters.
    EXPECT_EQ(std::memcmp(back + 8, save + 8, 8), 0);
}

TEST_F(ServiceLink, AServerThatNeverGetsReadyTimesOut) {
    talvora::test::TempDir dir;
    const std::string script = dir.path() + "/slow", pidFile = dir.path() + "/pid";
    {
        std::ofstream out(script);
        out << "#!/bin/sh\necho $$ > " << pidFile << "\nexec sleep 60\n";
    }
    ASSERT_EQ(chmod(script.c_str(), 0755), 0);
    EXPECT_FALSE(Start({0}, script.c_str()));
    EXPECT_EQ(Shown(), std::vector<std::string>{"启动服务进程超时！"});
    std::ifstream in(pidFile);
    pid_t pid = 0;
    in >> pid;
    if (pid > 0) kill(pid, SIGKILL);
}

TEST_F(ServiceLink, AServerThatExitsAtOnceOrCannotStartIsReportedAtOnce) {
    EXPECT_FALSE(Start({0}, "/bin/false"));
    EXPECT_EQ(Shown(), std::vector<std::string>{"等待服务进程初始化错误！"});
    sink_->Clear();
    EXPECT_FALSE(Start({0}, "/nonexistent/tmserver"));
    EXPECT_EQ(Shown(),
              std::vector<std::string>{
                  "启动服务进程/nonexistent/tmserver失败:\n    No such file or directory"});
}

TEST_F(ServiceLink, AKilledServerGivesBoundedReturnsAndAFreshOneStarts) {
    ASSERT_TRUE(Start({0, 1}));
    ASSERT_TRUE(Open(0, false));
    ASSERT_TRUE(Open(1, true));
    const auto block = Pattern(0, 65536);
    ASSERT_TRUE(BB_SendShareData(1, block.data(), 65536, nullptr));
    const pid_t server = ServerPid(0);
    ASSERT_GT(server, 0);
    std::atomic<bool> streaming{true};
    std::atomic<int> sends{0};
    std::thread writer([&] {
        while (streaming.load()) {
            BB_SendShareData(0, block.data(), 65536, nullptr);
            ++sends;
        }
    });
    ASSERT_TRUE(talvora::test::WaitUntil([&] { return sends.load() > 100; }, 10s, "streaming"));
    ASSERT_EQ(kill(server, SIGKILL), 0);
    ASSERT_TRUE(talvora::test::WaitUntil([] { return !ServerAlive(); }, 10s, "the kill"));
    const int before = sends.load();
    ASSERT_TRUE(talvora::test::WaitUntil([&] { return sends.load() > before + 100; }, 10s,
                                         "sends after the kill"));
    streaming.store(false);
    writer.join();
    EXPECT_FALSE(BB_SendShareData(1, block.data(), 65536, nullptr));  // its socket is gone
    EXPECT_TRUE(BB_CloseService(0, kRoleUser));
    EXPECT_TRUE(BB_CloseService(1, kRoleUser));

    g_received[0].Clear();
    ASSERT_TRUE(Start({0}));
    ASSERT_TRUE(Open(0, false));
    EXPECT_NE(ServerPid(0), server);
    ASSERT_TRUE(BB_SendShareData(0, block.data(), 65536, nullptr));
    ASSERT_TRUE(g_received[0].WaitBytes(65536));
}

TEST_F(ServiceLink, TheServerEndsOnSigterm) {
    ASSERT_TRUE(Start({0}));
    ASSERT_TRUE(Open(0, false));
    const pid_t server = ServerPid(0);
    ASSERT_GT(server, 0);
    ASSERT_EQ(kill(server, SIGTERM), 0);
    EXPECT_TRUE(talvora::test::WaitUntil([] { return !ServerAlive(); }, 10s, "the server's end"));
}

TEST_F(ServiceLink, ACopyDataSendToAHungServerGivesUp) {
    ASSERT_TRUE(Start({1}));
    ASSERT_TRUE(Open(1, true));
    const pid_t server = ServerPid(1);
    ASSERT_GT(server, 0);
    ASSERT_EQ(kill(server, SIGSTOP), 0);
    EXPECT_FALSE(BB_SendShareData(1, Pattern(0, 100).data(), 100, nullptr));
    ASSERT_EQ(kill(server, SIGCONT), 0);
    // The connection was dropped with the time-out; the next send gets through.
    EXPECT_TRUE(BB_SendShareData(1, Pattern(0, 100).data(), 100, nullptr));
}

TEST_F(ServiceLink, TheServerReopensAServiceItsClientClosed) {
    ASSERT_TRUE(Start({2}));
    auto ready = plat::NamedEvent::Create("{B064E0BE-C996-4341-A6A7-CE8AF3AAA05D}-INITFINISH-02",
                                          true, false);
    ASSERT_TRUE(ready);
    ASSERT_TRUE(Open(2, false));
    ready->Reset();
    ASSERT_TRUE(BB_CloseService(2, kRoleUser));
    ASSERT_EQ(ready->Wait(10000), plat::WaitResult::Signaled);
    ASSERT_TRUE(Open(2, true));
    ASSERT_TRUE(BB_SendShareData(2, Pattern(0, 1000).data(), 1000, nullptr));
    ASSERT_TRUE(g_received[2].WaitBytes(1000));
}

std::atomic<int> g_selfCloses{0};

void CloseFromInside(std::uint32_t, ServiceRecord* r) {
    std::uint32_t slot = 0;
    std::memcpy(&slot, r->reserved, 4);
    g_selfCloses += BB_CloseService(slot, kRoleUser);
    // The record stays valid until the callback returns.
    g_received[slot].Add(r->data, r->length, r->description);
}

TEST_F(ServiceLink, ACallbackThatClosesItsOwnServiceReturns) {
    ASSERT_TRUE(Start({6}));
    records_[6] = ServiceRecord{};
    const std::uint32_t slot = 6;
    std::memcpy(records_[6].reserved, &slot, 4);
    records_[6].dataCallback = CloseFromInside;
    ASSERT_TRUE(BB_OpenService(6, &records_[6], &records_[6], kRoleUser));
    ASSERT_TRUE(BB_SendShareData(6, Pattern(0, 100).data(), 100, nullptr));
    ASSERT_TRUE(g_received[6].WaitBytes(100));
    EXPECT_EQ(g_selfCloses.load(), 1);
    EXPECT_FALSE(BB_SendShareData(6, Pattern(0, 100).data(), 100, nullptr));  // closed
}

class ServerWithoutShareEnable : public LinkTest {
protected:
    bool WantShareEnable() const override { return false; }
};

TEST_F(ServerWithoutShareEnable, ExitsWithItsMessage) {
    FILE* p = popen((ServerPath() + " --services 0 2>&1").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    const int status = pclose(p);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(out.find("服务创建者启动遥测服务失败！"), std::string::npos) << out;
}

}  // namespace
}  // namespace svclink::test
