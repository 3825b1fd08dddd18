// The engine link against the software card engine on 127.0.0.1. No timing
// is asserted: waits have generous limits and only the outcome is checked.
#include <bbdevice/engine_link.h>
#include <bbdevice/wire/engine_message.h>
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>
#include <testsupport/wait.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace bbdev;
using cardengine::testkit::EngineProcess;
using cardengine::testkit::SleepMs;
using Bytes = std::vector<std::uint8_t>;

struct Inbox {
    std::mutex mutex;
    std::vector<std::pair<std::uint32_t, Bytes>> messages;  // command, payload

    CEngineLink::MessageHandler Handler() {
        return [this](const wire::MessageView& m) {
            std::lock_guard lock(mutex);
            messages.emplace_back(m.command, Bytes(m.payload.begin(), m.payload.end()));
        };
    }
    std::vector<std::pair<std::uint32_t, Bytes>> Snapshot() {
        std::lock_guard lock(mutex);
        return messages;
    }
    bool Has(std::uint32_t command) {
        for (auto& [c, p] : Snapshot())
            if (c == command) return true;
        return false;
    }
};

template <class Pred>
bool WaitUntil(Pred pred, unsigned limitMs = 10000) {
    return talvora::test::WaitUntil(pred, std::chrono::milliseconds(limitMs));
}

Bytes Pattern(std::size_t n, unsigned seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed * 31 + i * 7);
    return b;
}

TEST(EngineLink, ConnectFailsWithoutEngineAndSendsNothing) {
    CEngineLink link;
    Inbox inbox;
    EXPECT_FALSE(
        link.Connect("127.0.0.1", cardengine::testkit::FreeLoopbackPort(), inbox.Handler()));
    EXPECT_FALSE(link.connected());
    EXPECT_FALSE(link.SendValue(0x01000007, 1));
    EXPECT_TRUE(link.Disconnect());
}

TEST(EngineLink, HeartbeatsKeepTheLinkUpAndTheOpenSequenceIsAnswered) {
    EngineProcess engine;
    ASSERT_TRUE(engine.started());
    CEngineLink link;
    Inbox inbox;
    ASSERT_TRUE(link.Connect("127.0.0.1", engine.port(), inbox.Handler()));
    EXPECT_TRUE(link.Connect("127.0.0.1", engine.port(), inbox.Handler()));  // already connected

    ASSERT_TRUE(link.SendValue(0x01000105, 1));
    ASSERT_TRUE(WaitUntil([&] { return inbox.Has(0x01000105); }));
    ASSERT_TRUE(link.SendValue(0x01000106, 1));
    ASSERT_TRUE(WaitUntil([&] { return inbox.Has(0x01000106); }));
    for (auto& [command, payload] : inbox.Snapshot()) {
        if (command == 0x01000105) {
            EXPECT_EQ(payload.size(), 512u);
        }
        if (command == 0x01000106) {
            EXPECT_GT(payload.size(), 0u);
        }
    }

    // Three watchdog periods' worth of heartbeats: no reconnection.
    ASSERT_TRUE(WaitUntil([&] { return link.counters().heartbeats >= 16; }));
    const LinkCounters c = link.counters();
    // The watchdog clears the flag every period; the next heartbeat sets it.
    EXPECT_TRUE(WaitUntil([&] { return link.alive(); }));
    EXPECT_EQ(c.reconnects, 0u);
    EXPECT_EQ(c.connects, 1u);
    EXPECT_EQ(engine.CountLines("accept "), 1);
    EXPECT_TRUE(link.Disconnect());
    EXPECT_FALSE(link.connected());
}

TEST(EngineLink, CommandsArriveByteExactIncludingRecordsLargerThanOneSendPiece) {
    EngineProcess engine;
    ASSERT_TRUE(engine.started());
    CEngineLink link;
    Inbox inbox;
    ASSERT_TRUE(link.Connect("127.0.0.1", engine.port(), inbox.Handler()));
    const std::vector<std::pair<std::uint32_t, std::size_t>> sends = {
        {0x01000505, 1},   {0x01000506, 4},     {0x01000504, 5},     {0x01000503, 72},
        {0x01000203, 768}, {0x01000E03, 16432}, {0x01000603, 131368}};
    for (std::size_t i = 0; i < sends.size(); ++i) {
        const Bytes payload = Pattern(sends[i].second, static_cast<unsigned>(i));
        ASSERT_TRUE(link.Send(sends[i].first, payload.data(), payload.size()));
    }
    Bytes tooBig(wire::kMaxSendPayloadBytes + 1);
    EXPECT_FALSE(link.Send(0x01000406, tooBig.data(), tooBig.size()));

    ASSERT_TRUE(engine.WaitFor([&] { return engine.Received(1).size() >= sends.size(); }));
    const auto received = engine.Received(1);
    ASSERT_EQ(received.size(), sends.size());
    for (std::size_t i = 0; i < sends.size(); ++i) {
        EXPECT_EQ(received[i].module, wire::CommandModule(sends[i].first));
        EXPECT_EQ(received[i].operation, wire::CommandOperation(sends[i].first));
        EXPECT_EQ(received[i].payload, Pattern(sends[i].second, static_cast<unsigned>(i))) << i;
    }
    link.Disconnect();
}

TEST(EngineLink, SendsFromTwoThreadsAtOnceNeverMixInTheSendArea) {
    EngineProcess engine;
    ASSERT_TRUE(engine.started());
    CEngineLink link;
    Inbox inbox;
    ASSERT_TRUE(link.Connect("127.0.0.1", engine.port(), inbox.Handler()));
    constexpr int kPerThread = 200;
    std::atomic<int> failures{0};
    auto sender = [&](unsigned module) {
        for (int i = 0; i < kPerThread; ++i) {
            const Bytes payload = Pattern(3000, module * 1000 + i);  // three send pieces each
            if (!link.Send(wire::MakeCommand(module, 3), payload.data(), payload.size()))
                ++failures;
        }
    };
    std::thread a(sender, 14), b(sender, 15);
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0);
    ASSERT_TRUE(engine.WaitFor([&] { return engine.Received().size() >= 2 * kPerThread; }));
    int next[16] = {};
    for (const auto& r : engine.Received()) {
        ASSERT_TRUE(r.module == 14 || r.module == 15);
        EXPECT_EQ(r.payload, Pattern(3000, r.module * 1000 + next[r.module]));
        ++next[r.module];
    }
    EXPECT_EQ(next[14], kPerThread);
    EXPECT_EQ(next[15], kPerThread);
    link.Disconnect();
}

TEST(EngineLink, SilentEngineLeadsToReconnectionAndTheResendHook) {
    EngineProcess engine({"--heartbeat-stop-after", "0.5"});
    ASSERT_TRUE(engine.started());
    CEngineLink link;
    Inbox inbox;
    std::atomic<int> resends{0};
    link.SetResendHook([&] {
        ++resends;
        link.SendValue(0x01000505, 77);  // sends from the watchdog go out too
    });
    ASSERT_TRUE(link.Connect("127.0.0.1", engine.port(), inbox.Handler()));
    ASSERT_TRUE(WaitUntil([&] { return link.counters().reconnects >= 1; }));
    EXPECT_GE(resends.load(), 1);
    EXPECT_TRUE(engine.WaitFor([&] { return engine.CountLines("accept ") >= 2; }));
    EXPECT_TRUE(engine.WaitFor([&] {
        for (const auto& r : engine.Received())
            if (r.module == 5 && r.operation == 5 && r.payload == Bytes{77, 0, 0, 0}) return true;
        return false;
    }));
    EXPECT_TRUE(link.connected());
    link.Disconnect();
}

TEST(EngineLink, EngineClosingTheConnectionLeadsToReconnection) {
    EngineProcess engine({"--close-after-sec", "0.5"});
    ASSERT_TRUE(engine.started());
    CEngineLink link;
    Inbox inbox;
    ASSERT_TRUE(link.Connect("127.0.0.1", engine.port(), inbox.Handler()));
    ASSERT_TRUE(WaitUntil([&] { return link.counters().reconnects >= 1; }));
    EXPECT_TRUE(engine.WaitFor([&] { return engine.CountLines("accept ") >= 2; }));
    link.Disconnect();
}

TEST(EngineLink, TornMessageOfAClosedConnectionIsNotGluedToTheNextOne) {
    // Each connection carries a heartbeat and the first 70 bytes of a status
    // report, then the engine closes.
    EngineProcess engine({"--close-after-bytes", "90", "--heartbeat-ms", "50", "--no-ack"});
    ASSERT_TRUE(engine.started());
    CEngineLink link;
    Inbox inbox;
    ASSERT_TRUE(link.Connect("127.0.0.1", engine.port(), inbox.Handler()));
    ASSERT_TRUE(WaitUntil([&] { return link.counters().reconnects >= 2; }));
    link.Disconnect();
    const auto messages = inbox.Snapshot();
    ASSERT_GE(messages.size(), 2u);
    for (auto& [command, payload] : messages) {
        EXPECT_EQ(command, 0x01000107u);
        ASSERT_EQ(payload.size(), 4u);
        const std::uint32_t count = wire::LoadLe32(payload.data());
        EXPECT_TRUE(count >= 1 && count <= 4) << count;
    }
}

TEST(EngineLink, GarbageAndTinyWritesStillDeliverWholeMessages) {
    EngineProcess engine(
        {"--garbage", "37", "--split", "3", "--split-pause-us", "50", "--spectrum-ms", "0"});
    ASSERT_TRUE(engine.started());
    CEngineLink link;
    Inbox inbox;
    ASSERT_TRUE(link.Connect("127.0.0.1", engine.port(), inbox.Handler()));
    ASSERT_TRUE(link.SendValue(0x01000105, 1));
    ASSERT_TRUE(WaitUntil([&] { return inbox.Has(0x01000105); }));
    for (auto& [command, payload] : inbox.Snapshot()) {
        if (command == 0x01000105) {
            EXPECT_EQ(payload.size(), 512u);
        }
        if (command == 0x01000107) {
            EXPECT_EQ(payload.size(), 4u);
        }
    }
    EXPECT_GT(link.counters().heartbeats, 0u);
    EXPECT_GT(link.counters().discardedBytes, 0u);
    link.Disconnect();
}

TEST(EngineLink, DisconnectReturnsOnlyAfterADrainInProgressHasEnded) {
    EngineProcess engine;
    ASSERT_TRUE(engine.started());
    CEngineLink link;
    std::atomic<int> inHandler{0};
    std::atomic<bool> entered{false}, release{false};
    // The first message holds the poll worker well past the stop's own wait.
    auto handler = [&](const wire::MessageView&) {
        ++inHandler;
        if (!entered.exchange(true)) WaitUntil([&] { return release.load(); }, 5000);
        --inHandler;
    };
    ASSERT_TRUE(link.Connect("127.0.0.1", engine.port(), handler));
    ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));
    std::thread releaser([&] {
        SleepMs(300);
        release = true;
    });
    link.Disconnect();
    EXPECT_EQ(inHandler.load(), 0);
    releaser.join();
}

TEST(EngineLink, ReconnectsAfterDisconnectAndConnectAgain) {
    EngineProcess engine;
    ASSERT_TRUE(engine.started());
    CEngineLink link;
    Inbox inbox;
    ASSERT_TRUE(link.Connect("127.0.0.1", engine.port(), inbox.Handler()));
    EXPECT_TRUE(link.Disconnect());
    ASSERT_TRUE(link.Connect("127.0.0.1", engine.port(), inbox.Handler()));
    ASSERT_TRUE(link.SendValue(0x01000105, 1));
    EXPECT_TRUE(WaitUntil([&] { return inbox.Has(0x01000105); }));
    EXPECT_TRUE(link.Disconnect());
}

}  // namespace
