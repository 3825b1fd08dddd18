// The network output on loopback sockets: what reaches a group member and a
// unicast peer, the sender's draining and counters, the link monitor, the
// receive worker, and closing while the timers run.
#include <gtest/gtest.h>
#include <netout/network_output.h>
#include <platform/timer.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "loopback_udp.h"

namespace {

using namespace netout;
using netout::test::UdpReceiver;

constexpr const char* kGroup = "239.255.43.9";

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}
std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint16_t(b[at] | b[at + 1] << 8);
}

class NetworkOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("MCASTLIB_IF", "127.0.0.1", 1);
        settings_.multicastAddr = kGroup;
        settings_.multicastPort = test::FreeUdpPort();
        settings_.multicastDestPort = test::FreeUdpPort();
        settings_.gnssAddr = "239.255.43.8";
        settings_.gnssPort = test::FreeUdpPort();
        settings_.broadcastPort = test::FreeUdpPort();
        settings_.multicastLocalIp = "127.0.0.1";
        settings_.broadcastLocalIp = "127.0.0.1";
        settings_.unicastLocalPort = test::FreeUdpPort();
        settings_.unicastDestPort = test::FreeUdpPort();
        settings_.unicastDestIp = "127.0.0.1";
        // B = 1, R = 32, N = 4 in superframe mode: S = 640 at K = 5.
        geometry_.wordBits = 8;
        geometry_.wordBytes = 1;
        geometry_.subframeWords = 24;
        geometry_.superframeLength = 4;
        geometry_.subframeRecord = 32;
        geometry_.superframeRecord = 128;
        geometry_.superframeMode = true;
        storage_ = std::make_unique<std::uint8_t[]>(datapath::kSendBufferBytes);
        buffer_ = std::make_unique<datapath::SendBuffer>(storage_.get(), datapath::kSendBufferBytes,
                                                         fill_, lock_);
    }
    std::unique_ptr<NetworkOutput> Make() {
        SenderInputs in;
        in.sendingOn = &sendingOn_;
        in.syncLossCount = &syncLoss_;
        in.bitSync = &bitSync_;
        in.subframeSync = &subframeSync_;
        in.superframeSync = &superframeSync_;
        in.dayOfYear = &dayOfYear_;
        in.geometry = [this] { return geometry_; };
        in.sendBuffer = buffer_.get();
        OutputHooks hooks;
        hooks.report = [this](const std::string& t) {
            std::lock_guard l(textLock_);
            reports_.push_back(t);
        };
        hooks.log = [this](const std::string& t) {
            std::lock_guard l(textLock_);
            logs_.push_back(t);
        };
        hooks.sentData = [this](const std::uint8_t*, std::size_t n) { sentBytes_ += n; };
        return std::make_unique<NetworkOutput>(std::move(in), std::move(hooks));
    }
    // `superframes` superframes whose records carry a BCD tag and their
    // running sub-frame number in the first word.
    void Append(int superframes) {
        std::vector<std::uint8_t> block;
        for (int f = 0; f < superframes; ++f) {
            for (int i = 0; i < 4; ++i) {
                std::uint8_t rec[32] = {0x25, 0x81, 0x27, 0x45, 0x13, 0, std::uint8_t(i), 0};
                rec[8] = std::uint8_t(next_++);
                block.insert(block.end(), rec, rec + 32);
            }
        }
        ASSERT_TRUE(buffer_->Append(block));
    }
    std::vector<std::string> Logs() {
        std::lock_guard l(textLock_);
        return logs_;
    }
    std::vector<std::string> Reports() {
        std::lock_guard l(textLock_);
        return reports_;
    }

    NetworkSettings settings_;
    datapath::DataGeometry geometry_;
    std::unique_ptr<std::uint8_t[]> storage_;
    std::uint32_t fill_ = 0;
    std::mutex lock_;
    std::unique_ptr<datapath::SendBuffer> buffer_;
    std::atomic<int> sendingOn_{1}, syncLoss_{0}, bitSync_{1}, subframeSync_{1}, superframeSync_{1};
    std::atomic<unsigned> dayOfYear_{61};
    std::atomic<std::size_t> sentBytes_{0};
    int next_ = 0;
    std::mutex textLock_;
    std::vector<std::string> logs_, reports_;
};

TEST_F(NetworkOutputTest, OpensEveryEndpointOnLoopbackAndLogsInOrder) {
    auto out = Make();
    out->Open(settings_);
    const OutputReadout r = out->Readout();
    EXPECT_TRUE(r.broadcastOk && r.unicastOk && r.multicastOk && r.gnssOk);
    const std::vector<std::string> want = {
        "数据广播端口:" + std::to_string(settings_.broadcastPort) + "初始化成功！",
        "数据单播端口:" + std::to_string(settings_.unicastLocalPort) + "初始化成功！",
        "数据组播端口:" + std::to_string(settings_.multicastPort) + "初始化成功！",
        "GPS数据组播端口:" + std::to_string(settings_.gnssPort) + "初始化成功！"};
    EXPECT_EQ(Logs(), want);
    EXPECT_TRUE(Reports().empty());
    out->Close();
    EXPECT_FALSE(out->TelemetryReady() || out->BroadcastReady() || out->GnssReady());
}

TEST_F(NetworkOutputTest, BadSettingsFailOnlyTheirSocketWithTheMessages) {
    settings_.multicastAddr = "127.0.0.9";  // not a group: the join fails, nothing is sent
    settings_.broadcastLocalIp = "300.1.1.1";
    settings_.gnssAddr = "127.0.0.10";  // not a group either
    auto out = Make();
    out->Open(settings_);
    const OutputReadout r = out->Readout();
    EXPECT_FALSE(r.broadcastOk);
    EXPECT_TRUE(r.unicastOk);
    EXPECT_FALSE(r.multicastOk);
    EXPECT_FALSE(r.gnssOk);
    const std::vector<std::string> want = {
        "广播接收bind() failed with: 22",
        "数据广播端口:" + std::to_string(settings_.broadcastPort) + "初始化失败！",
        "WSAJoinLeaf() failed: 22",
        "数据组播端口:" + std::to_string(settings_.multicastPort) + "初始化失败！",
        "GPS数据组播端口:" + std::to_string(settings_.gnssPort) + "初始化失败！"};
    EXPECT_EQ(Reports(), want);
    // A failed multicast socket sends neither telemetry nor link monitor.
    Append(5);
    EXPECT_EQ(out->OnTelemetryTick(), 0);
    out->OnLinkMonitorTick();
    EXPECT_FALSE(out->Readout().linkMonitorSent);

    // With error messages off the same failures only reach the log.
    reports_.clear();
    settings_.showErrors = false;
    out->Open(settings_);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(NetworkOutputTest, EveryWholeThresholdLeavesPerTickToGroupAndUnicast) {
    auto group = UdpReceiver::Group(kGroup, settings_.multicastDestPort);
    auto peer = UdpReceiver::Bound("127.0.0.1", settings_.unicastDestPort);
    ASSERT_TRUE(group.Ok() && peer.Ok());
    auto out = Make();
    out->Open(settings_);
    HeaderSettings h;
    h.version = 0x81;
    h.streamNo = 3;
    out->SetHeaderSettings(h);
    Append(12);  // 1536 bytes: two packets of 640, 256 left
    EXPECT_EQ(out->OnTelemetryTick(), 2);
    EXPECT_EQ(fill_, 256u);

    for (std::uint32_t seq = 0; seq < 2; ++seq) {
        const auto p = group.Receive();
        ASSERT_EQ(p.size(), 676u);
        EXPECT_EQ(p[0], 0x81);
        EXPECT_EQ(Le32(p, 11), 0x00110101u);
        EXPECT_EQ(Le32(p, 15), seq);  // from 0
        EXPECT_EQ(Le16(p, 30), 644);
        EXPECT_EQ(Le16(p, 32), 0x0D10);
        // The count is what the buffer held: 48 records, then 28.
        EXPECT_EQ(Le16(p, 34), seq == 0 ? 48 : 28);
        // First record of the packet: its running number, day 61 of this year.
        EXPECT_EQ(p[36 + 8], std::uint8_t(seq * 20));
        EXPECT_EQ(p[36 + 6], 0);
        EXPECT_EQ(p[36 + 32 + 6], 1);
        EXPECT_EQ(peer.Receive(), p);
    }
    EXPECT_EQ(sentBytes_.load(), 2u * 676);
    const OutputReadout r = out->Readout();
    EXPECT_TRUE(r.telemetrySent);
    EXPECT_EQ(r.lastTelemetry.sequence, 1u);
}

// A tick that takes more packets than one send batch holds: every packet
// still leaves once, in order, to both destinations.
TEST_F(NetworkOutputTest, ATickOfManyPacketsSendsEachOnceInOrder) {
    auto group = UdpReceiver::Group(kGroup, settings_.multicastDestPort);
    auto peer = UdpReceiver::Bound("127.0.0.1", settings_.unicastDestPort);
    ASSERT_TRUE(group.Ok() && peer.Ok());
    auto out = Make();
    out->Open(settings_);
    Append(5 * 70);
    EXPECT_EQ(out->OnTelemetryTick(), 70);
    EXPECT_EQ(fill_, 0u);
    for (std::uint32_t seq = 0; seq < 70; ++seq) {
        const auto p = group.Receive();
        ASSERT_EQ(p.size(), 676u) << "packet " << seq;
        EXPECT_EQ(Le32(p, 15), seq);
        EXPECT_EQ(p[36 + 8], std::uint8_t(seq * 20));
        EXPECT_EQ(peer.Receive(), p);
    }
    EXPECT_EQ(sentBytes_.load(), 70u * 676);
    EXPECT_EQ(out->Readout().lastTelemetry.sequence, 69u);
}

// The program's sender: a 1 ms timer that rests after every tick and is woken
// by the append. Each packet is appended only after the previous one
// arrived, so a single lost wake-up leaves a packet behind.
TEST_F(NetworkOutputTest, EveryAppendWakesTheRestingSender) {
    auto group = UdpReceiver::Group(kGroup, settings_.multicastDestPort);
    ASSERT_TRUE(group.Ok());
    auto out = Make();
    out->Open(settings_);
    NetworkOutput* sender = out.get();
    const plat::TimerId timer =
        plat::TimeSetRestingEvent(1, 1, [sender] { sender->OnTelemetryTick(); });
    ASSERT_NE(timer, 0u);
    buffer_->SetWakeHook([timer] { plat::TimeWakeEvent(timer); });
    for (std::uint32_t seq = 0; seq < 200; ++seq) {
        // Half the appends complete a packet in two steps, so that some wakes
        // find too little to send and the sender must rest and wake again.
        if (seq % 2) {
            Append(2);
            Append(3);
        } else {
            Append(5);
        }
        const auto p = group.Receive();
        ASSERT_EQ(p.size(), 676u) << "packet " << seq << " was not sent";
        EXPECT_EQ(Le32(p, 15), seq);
    }
    plat::TimeKillEvent(timer);
    EXPECT_EQ(buffer_->Fill(), 0u);
}

TEST_F(NetworkOutputTest, LossOfLockHoldsTheDataAndTheSequence) {
    auto group = UdpReceiver::Group(kGroup, settings_.multicastDestPort);
    auto out = Make();
    out->Open(settings_);
    syncLoss_ = 30;
    Append(5);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(out->OnTelemetryTick(), 0);
    EXPECT_EQ(fill_, 640u);
    syncLoss_ = 29;
    superframeSync_ = 0;  // unlocked in superframe mode
    EXPECT_EQ(out->OnTelemetryTick(), 1);
    const auto p = group.Receive();
    ASSERT_EQ(p.size(), 676u);
    EXPECT_EQ(Le32(p, 15), 0u);  // suspended ticks used no number
    EXPECT_EQ(Le16(p, 32), 0x0500);
}

TEST_F(NetworkOutputTest, NothingLeavesWhileSwitchedOffOrBelowTheThreshold) {
    auto out = Make();
    out->Open(settings_);
    Append(4);  // 512 < 640
    EXPECT_EQ(out->OnTelemetryTick(), 0);
    sendingOn_ = 0;
    Append(1);
    EXPECT_EQ(out->OnTelemetryTick(), 0);
    EXPECT_EQ(fill_, 640u);
}

TEST_F(NetworkOutputTest, TooLargeFactorUsesTheLargestThatFitsAndLogsItOnce) {
    auto group = UdpReceiver::Group(kGroup, settings_.multicastDestPort);
    auto out = Make();
    out->Open(settings_);
    HeaderSettings h;
    h.packetFactor = 600;  // 76,800 bytes; 511 superframes fit
    out->SetHeaderSettings(h);
    Append(1500);
    EXPECT_EQ(out->OnTelemetryTick(), 2);
    EXPECT_EQ(out->OnTelemetryTick(), 0);
    const auto p = group.Receive();
    EXPECT_EQ(p.size(), 36u + 511 * 128);
    EXPECT_EQ(Le16(p, 30), 511 * 128 + 4);
    int noted = 0;
    for (const std::string& l : Logs()) noted += l.find("600") != std::string::npos;
    EXPECT_EQ(noted, 1);
}

TEST_F(NetworkOutputTest, LinkMonitorEverySecondWithItsOwnCounter) {
    auto group = UdpReceiver::Group(kGroup, settings_.multicastDestPort);
    auto out = Make();
    out->Open(settings_);
    sendingOn_ = 0;  // sent whether or not telemetry is switched on
    out->OnLinkMonitorTick();
    sendingOn_ = 1;
    Append(5);
    out->OnTelemetryTick();
    out->OnLinkMonitorTick();
    std::vector<std::vector<std::uint8_t>> got;
    for (int i = 0; i < 3; ++i) got.push_back(group.Receive());
    ASSERT_EQ(got[0].size(), 36u);
    EXPECT_EQ(Le32(got[0], 11), 0x00020101u);
    EXPECT_EQ(Le32(got[0], 15), 0u);
    EXPECT_EQ(Le16(got[0], 30), 4);
    EXPECT_EQ(Le32(got[0], 32), Le32(got[0], 26));
    EXPECT_EQ(got[1].size(), 676u);
    EXPECT_EQ(Le32(got[1], 15), 0u);  // telemetry counts from 0 too
    EXPECT_EQ(Le32(got[2], 15), 1u);
    EXPECT_EQ(out->Readout().lastLinkMonitorSequence, 1u);
}

TEST_F(NetworkOutputTest, ReplayDatagramsAreCutAtWholeRecords) {
    auto group = UdpReceiver::Group(kGroup, settings_.multicastDestPort);
    auto out = Make();
    out->Open(settings_);
    std::vector<std::uint8_t> data(70000 / 32 * 32, 0);  // 2187 records
    out->SendReplayTelemetry(data.data(), data.size());
    const auto first = group.Receive();
    const auto second = group.Receive();
    ASSERT_EQ(first.size(), 36u + 65471 / 32 * 32);
    EXPECT_EQ(Le16(first, 34), 65471 / 32);
    EXPECT_EQ(second.size(), 36u + data.size() - 65471 / 32 * 32);
    EXPECT_EQ(Le32(second, 15), 1u);
}

TEST_F(NetworkOutputTest, BroadcastFromTheLocalAddressReachesAnyAddressReceivers) {
    auto any = UdpReceiver::Bound("0.0.0.0", settings_.broadcastPort);
    ASSERT_TRUE(any.Ok());
    auto out = Make();
    out->Open(settings_);
    ASSERT_TRUE(out->BroadcastReady());
    const std::vector<std::uint8_t> raw(1000, 0x5A);
    out->SendBroadcast(raw.data(), raw.size());
    EXPECT_EQ(any.Receive(), raw);
}

TEST_F(NetworkOutputTest, ReceiveWorkerKeepsLinkMonitorAndLiftOff) {
    auto out = Make();
    out->Open(settings_);
    auto packet = [](std::uint32_t bid, std::size_t size, std::uint8_t version) {
        std::vector<std::uint8_t> d(size, 0);
        d[0] = version;
        for (int i = 0; i < 4; ++i) d[11 + i] = std::uint8_t(bid >> (8 * i));
        d[15] = 7;  // sequence
        if (size >= 36) d[32] = 0x10, d[33] = 0x27;
        return d;
    };
    const int port = settings_.broadcastPort;
    ASSERT_TRUE(test::SendFromLoopback("255.255.255.255", port, packet(0x00020101, 32, 1)));
    ASSERT_TRUE(test::SendFromLoopback("255.255.255.255", port, packet(0x00020101, 36, 2)));
    ASSERT_TRUE(test::SendFromLoopback("127.0.0.1", port, packet(0x00010101, 40, 3)));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    OutputReadout r;
    while (std::chrono::steady_clock::now() < deadline) {
        out->ReceiveOnce(50);
        r = out->Readout();
        if (r.linkMonitor.present && r.liftOff.present) break;
    }
    ASSERT_TRUE(r.linkMonitor.present && r.liftOff.present);
    EXPECT_EQ(r.linkMonitor.header.version, 2);  // the 32-byte one was ignored
    EXPECT_EQ(r.linkMonitor.header.sequence, 7u);
    EXPECT_EQ(r.linkMonitor.dataTime, 10000u);
    EXPECT_STREQ(r.linkMonitor.sender, "127.0.0.1");
    EXPECT_EQ(r.liftOff.header.version, 3);
    out->Close();
    EXPECT_FALSE(out->ReceiveOnce(10));
}

TEST_F(NetworkOutputTest, CloseAndReopenWhileTimersAndWorkerRun) {
    auto out = Make();
    out->Open(settings_);
    std::atomic<bool> stop{false};
    std::thread tick([&] {
        while (!stop) {
            (void)buffer_->Append(std::vector<std::uint8_t>(640, 0));
            out->OnTelemetryTick();
        }
    });
    std::thread link([&] {
        while (!stop) out->OnLinkMonitorTick();
    });
    std::thread rx([&] {
        while (!stop)
            if (!out->ReceiveOnce(1)) std::this_thread::yield();
    });
    std::thread replay([&] {
        std::vector<std::uint8_t> d(512, 0);
        while (!stop) {
            out->SendReplayTelemetry(d.data(), d.size());
            out->SendBroadcast(d.data(), d.size());
        }
    });
    for (int i = 0; i < 40; ++i) {
        out->Close();
        out->Open(settings_);
    }
    out->Close();
    stop = true;
    tick.join();
    link.join();
    rx.join();
    replay.join();
    EXPECT_FALSE(out->TelemetryReady());
}

}  // namespace
