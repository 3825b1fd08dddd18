// Opening and closing card 0 through the BB_ exports against cardengine.
#include <atomic>
#include <cstring>
#include <future>

#include "device_fixture.h"

namespace {

using namespace bbdev::enginetest;
using namespace cardengine::testkit;

using BbDevice = DeviceTest;

std::vector<std::pair<unsigned, unsigned>> Commands(const std::vector<ReceivedCommand>& received) {
    std::vector<std::pair<unsigned, unsigned>> c;
    for (const auto& r : received) c.emplace_back(r.module, r.operation);
    return c;
}

TEST_F(BbDevice, OpenFailsWithoutAnEngine) {
    PointAt(FreeLoopbackPort());
    CardFunctionInfo info{};
    EXPECT_FALSE(BB_OpenDevice(0, NoData, 7, &info));
    EXPECT_EQ(BB_GetActiveBandCaseSumInApp(), 0u);
    EXPECT_FALSE(BB_CloseDevice(0));
    EXPECT_TRUE(Shown().empty());
}

TEST_F(BbDevice, OpenWithoutFunctionInfoGivesUpAndClosesTheLink) {
    EngineProcess engine({"--no-function-info"});
    ASSERT_TRUE(engine.started());
    PointAt(engine.port());
    CardFunctionInfo info{};
    EXPECT_FALSE(BB_OpenDevice(0, NoData, 7, &info));
    EXPECT_EQ(BB_GetActiveBandCaseSumInApp(), 0u);
    EXPECT_TRUE(engine.WaitFor([&] { return engine.CountLines("close ") >= 1; }));
    const auto received = engine.Received(1);
    ASSERT_EQ(received.size(), 4u);
    const std::vector<std::pair<unsigned, unsigned>> open = {{1, 8}, {0, 7}, {0, 8}, {1, 5}};
    EXPECT_EQ(Commands(received), open);
    for (const auto& r : received) EXPECT_EQ(r.payload, (std::vector<std::uint8_t>{1, 0, 0, 0}));
}

TEST_F(BbDevice, OpenAndCloseAgainstTheEngine) {
    EngineProcess engine;
    ASSERT_TRUE(engine.started());
    PointAt(engine.port());
    CardFunctionInfo info{};
    ASSERT_TRUE(BB_OpenDevice(0, NoData, 7, &info));
    EXPECT_EQ(BB_GetActiveBandCaseSumInApp(), 1u);
    for (unsigned i = 0; i < 128; ++i) ASSERT_EQ(info.words[i], 0xCE000000u | i) << i;

    CardFunctionInfo again{};
    EXPECT_TRUE(BB_GetCardFunctionInfo(0, &again));
    EXPECT_EQ(std::memcmp(&info, &again, sizeof info), 0);

    std::uint32_t status[12];
    ASSERT_TRUE(BB_GetDeviceUnitStatus(0, status));
    const std::uint32_t expected[12] = {1, 0, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(status, expected, sizeof expected), 0);

    // The library acknowledges the information and asks for the text.
    ASSERT_TRUE(engine.WaitFor([&] { return engine.Received(1).size() >= 6; }));
    const auto received = engine.Received(1);
    const std::vector<std::pair<unsigned, unsigned>> open = {{1, 8}, {0, 7}, {0, 8},
                                                             {1, 5}, {1, 5}, {1, 6}};
    EXPECT_EQ(Commands({received.begin(), received.begin() + 6}), open);
    EXPECT_EQ(received[4].payload, (std::vector<std::uint8_t>{0, 0, 0, 0}));

    char text[4096];
    ASSERT_TRUE(WaitUntil([&] {
        std::memset(text, 0, sizeof text);
        return BB_ParseCardFunctionInfo(0, text, sizeof text) && text[0] != '\0';
    }));
    EXPECT_NE(std::strstr(text, "software card engine"), nullptr);
    EXPECT_FALSE(BB_ParseCardFunctionInfo(0, text, 4));  // smaller than the stored text

    // A second open of the open card repeats the steps and counts it once.
    EXPECT_TRUE(BB_OpenDevice(0, NoData, 7, &info));
    EXPECT_EQ(BB_GetActiveBandCaseSumInApp(), 1u);

    EXPECT_TRUE(BB_CloseDevice(0));
    EXPECT_EQ(BB_GetActiveBandCaseSumInApp(), 0u);
    EXPECT_FALSE(BB_GetDeviceUnitStatus(0, status));
    EXPECT_FALSE(BB_CloseDevice(0));
    EXPECT_TRUE(engine.WaitFor([&] { return engine.CountLines("close ") >= 1; }));
    EXPECT_EQ(Shown(), std::vector<std::string>{});
}

TEST_F(BbDevice, LostHeartbeatReconnectsAndSendsTheRecordsAgainInOrder) {
    EngineProcess engine({"--heartbeat-stop-after", "1.5"});
    ASSERT_TRUE(engine.started());
    PointAt(engine.port());
    CardFunctionInfo info{};
    ASSERT_TRUE(BB_OpenDevice(0, NoData, 7, &info));

    DemParam dem;
    SimParam sim;
    TimeSystemParam time;
    auto decipher0 = std::make_unique<DecipherParam>();
    auto decipher1 = std::make_unique<DecipherParam>();
    auto stat0 = std::make_unique<FrameStatParam>();
    auto stat1 = std::make_unique<FrameStatParam>();
    ASSERT_TRUE(BB_GetDefaultDemParam(0, &dem));
    ASSERT_TRUE(BB_GetDefaultSimParam(0, &sim));
    ASSERT_TRUE(BB_GetDefaultTimeSystemParam(0, &time));
    ASSERT_TRUE(BB_GetDefaultDecipherParam(0, 0, decipher0.get()));
    ASSERT_TRUE(BB_GetDefaultDecipherParam(0, 1, decipher1.get()));
    decipher0->keyTable[0] = 0xA0;
    decipher1->keyTable[0] = 0xA1;
    FillDefault(*stat0);
    FillDefault(*stat1);
    stat0->entryCount = 2;
    stat1->entryCount = 5;
    dem.码率 = 2000000;
    sim.码率 = 3000000;
    time.basic.时统模式 = 1;

    ASSERT_TRUE(BB_SetDemParam(0, &dem));
    ASSERT_TRUE(BB_SetSimParam(0, &sim));
    ASSERT_TRUE(BB_SetTimeSystemBasicParam(0, &time.basic));
    ASSERT_TRUE(BB_SetDecipherParam(0, 0, decipher0.get()));
    ASSERT_TRUE(BB_SetDecipherParam(0, 1, decipher1.get()));
    ASSERT_TRUE(BB_SetFrameStatParam(0, 0, stat0.get()));
    ASSERT_TRUE(BB_SetFrameStatParam(0, 1, stat1.get()));

    // Each connection loses its heartbeat after 1.5 s; the latest one shows
    // the whole re-send (a starved engine may have caused more than one).
    int connection = 0;
    ASSERT_TRUE(engine.WaitFor(
        [&] {
            connection = engine.CountLines("accept ");
            return connection >= 2 && engine.Received(connection).size() >= 9;
        },
        std::chrono::seconds(15)));
    const auto resent = engine.Received(connection);
    const std::vector<std::pair<unsigned, unsigned>> order = {
        {2, 3}, {4, 3}, {5, 3}, {5, 4}, {7, 3}, {6, 3}, {14, 3}, {15, 3}, {2, 3}};
    ASSERT_EQ(Commands({resent.begin(), resent.begin() + 9}), order);
    EXPECT_EQ(resent[0].payload, BytesOf(&dem, sizeof dem));
    EXPECT_EQ(resent[8].payload, BytesOf(&dem, sizeof dem));
    EXPECT_EQ(resent[1].payload, BytesOf(&sim, sizeof sim));
    EXPECT_EQ(resent[2].payload, BytesOf(&time.basic, sizeof time.basic));
    EXPECT_EQ(resent[3].payload,
              BytesOf(&time.fly, sizeof time.fly));  // the default lift-off record
    EXPECT_EQ(resent[4].payload, BytesOf(decipher0.get(), sizeof *decipher0));
    EXPECT_EQ(resent[5].payload, BytesOf(decipher1.get(), sizeof *decipher1));
    EXPECT_EQ(resent[6].payload, BytesOf(stat0.get(), 48 + 2 * 2));
    EXPECT_EQ(resent[7].payload, BytesOf(stat1.get(), 48 + 2 * 5));

    // The card stays open across the reconnection.
    EXPECT_EQ(BB_GetActiveBandCaseSumInApp(), 1u);
    EXPECT_TRUE(BB_CloseDevice(0));
}

TEST_F(BbDevice, CloseCancelsAnOpenWaitingForTheFunctionInfo) {
    EngineProcess slow({"--function-info-delay-ms", "60000"});
    ASSERT_TRUE(slow.started());
    PointAt(slow.port());
    auto open = std::async(std::launch::async, [] {
        CardFunctionInfo info{};
        return BB_OpenDevice(0, NoData, 7, &info);
    });
    // The request went out: the open now waits for the answer.
    ASSERT_TRUE(slow.WaitFor([&] {
        for (const auto& r : slow.Received(1))
            if (r.module == 1 && r.operation == 5) return true;
        return false;
    }));
    EXPECT_TRUE(BB_CloseDevice(0));
    ASSERT_EQ(open.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_FALSE(open.get());
    EXPECT_EQ(BB_GetActiveBandCaseSumInApp(), 0u);
    EXPECT_TRUE(slow.WaitFor([&] { return slow.CountLines("close 1 ") == 1; }));
    EXPECT_EQ(slow.CountLines("accept "), 1);
    EXPECT_FALSE(BB_CloseDevice(0));  // nothing left to close or cancel

    // The slot opens again later.
    EngineProcess engine;
    ASSERT_TRUE(engine.started());
    PointAt(engine.port());
    CardFunctionInfo info{};
    ASSERT_TRUE(BB_OpenDevice(0, NoData, 7, &info));
    EXPECT_EQ(BB_GetActiveBandCaseSumInApp(), 1u);
    EXPECT_TRUE(BB_CloseDevice(0));
    EXPECT_EQ(Shown(), std::vector<std::string>{});
}

TEST_F(BbDevice, FailedReopenClosesTheSlotAsAWhole) {
    auto engine = std::make_unique<EngineProcess>();
    ASSERT_TRUE(engine->started());
    PointAt(engine->port());
    CardFunctionInfo info{};
    ASSERT_TRUE(BB_OpenDevice(0, NoData, 7, &info));
    engine.reset();  // the re-open finds no engine to answer it
    EXPECT_FALSE(BB_OpenDevice(0, NoData, 7, &info));
    EXPECT_EQ(BB_GetActiveBandCaseSumInApp(), 0u);
    std::uint32_t status[12];
    EXPECT_FALSE(BB_GetDeviceUnitStatus(0, status));
    EXPECT_FALSE(BB_CloseDevice(0));

    EngineProcess again;
    ASSERT_TRUE(again.started());
    PointAt(again.port());
    ASSERT_TRUE(BB_OpenDevice(0, NoData, 7, &info));
    EXPECT_EQ(BB_GetActiveBandCaseSumInApp(), 1u);
    EXPECT_TRUE(BB_CloseDevice(0));
}

std::atomic<int> g_blocks{0};
int CountBlocks(DemReportBlock*) {
    ++g_blocks;
    return 0;
}

TEST_F(BbDevice, CloseWhileAFloodOfDataIsDraining) {
    EngineProcess engine({"--flood", "65536"});
    ASSERT_TRUE(engine.started());
    PointAt(engine.port());
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        g_blocks = 0;
        CardFunctionInfo info{};
        ASSERT_TRUE(BB_OpenDevice(0, CountBlocks, 7, &info));
        DemParam dem;
        ASSERT_TRUE(BB_GetDefaultDemParam(0, &dem));
        ASSERT_TRUE(BB_SetDemParam(0, &dem));
        ASSERT_TRUE(WaitUntil([] { return g_blocks.load() > 0; }));
        EXPECT_TRUE(BB_CloseDevice(0));
    }
}

}  // namespace
