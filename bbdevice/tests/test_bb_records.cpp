// Parameter records out to cardengine and its reported state back through
// the BB_ exports.
#include <cstring>

#include "device_fixture.h"

namespace {

using namespace bbdev::enginetest;
using namespace cardengine::testkit;

class BbRecords : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_TRUE(engine_.started());
        PointAt(engine_.port());
        CardFunctionInfo info{};
        ASSERT_TRUE(BB_OpenDevice(0, NoData, 0, &info));
        // Four open commands, then the information's acknowledgement and the
        // request for the text, which follow the open's return.
        ASSERT_TRUE(engine_.WaitFor([&] { return engine_.Received(1).size() >= 6; }));
        opened_ = 6;
    }
    // Commands received since the open sequence.
    std::vector<ReceivedCommand> Sent() const { return CommandsSent(engine_, opened_); }
    bool WaitSent(std::size_t n) const {
        return engine_.WaitFor([&] { return Sent().size() >= n; });
    }
    EngineProcess engine_;
    std::size_t opened_ = 0;
};

TEST_F(BbRecords, DefaultDemodulatorRecordHasTheCardsFrequencyAndSyncWord) {
    DemParam dem;
    std::memset(&dem, 0x5A, sizeof dem);
    ASSERT_TRUE(BB_GetDefaultDemParam(0, &dem));
    std::uint8_t raw[768];
    std::memcpy(raw, &dem, sizeof raw);
    double frequency;
    std::memcpy(&frequency, raw, 8);
    EXPECT_EQ(frequency, 2300500000.0);
    EXPECT_EQ(raw[8] | raw[9] << 8 | raw[10] << 16 | raw[11] << 24, 0xEB90);
    EXPECT_EQ(raw[300], 0);  // reserved bytes cleared
}

TEST_F(BbRecords, RecordsArriveByteExactWithTheirCommands) {
    DemParam dem;
    BB_GetDefaultDemParam(0, &dem);
    dem.配时密度 = 0;
    dem.码率 = 1234567;
    ASSERT_TRUE(BB_SetDemParam(0, &dem));
    EXPECT_EQ(dem.配时密度, 1u);  // set in the caller's record as sent

    SimParam sim;
    BB_GetDefaultSimParam(0, &sim);
    sim.信号初值 = 0x77;
    ASSERT_TRUE(BB_SetSimParam(0, &sim));

    auto decipher = std::make_unique<DecipherParam>();
    BB_GetDefaultDecipherParam(0, 0, decipher.get());
    for (std::size_t i = 0; i < sizeof decipher->keyTable; ++i)
        decipher->keyTable[i] = static_cast<std::uint8_t>(i * 13);
    ASSERT_TRUE(BB_SetDecipherParam(0, 7, decipher.get()));  // any nonzero unit is unit 1
    ASSERT_TRUE(BB_SetDecipherParam(0, 0, decipher.get()));

    TimeSystemParam time;
    BB_GetDefaultTimeSystemParam(0, &time);
    time.basic.内时统校准时间.day = 123;
    time.fly.定时起飞使能 = 1;
    ASSERT_TRUE(BB_SetTimeSystemBasicParam(0, &time.basic));
    ASSERT_TRUE(BB_SetTimeSystemFlyParam(0, &time.fly));
    ASSERT_TRUE(BB_SetTimeSystemFlyEnable(0, 1));
    ASSERT_TRUE(BB_SetTimeSystemHandFly(0, 2));

    auto stat = std::make_unique<FrameStatParam>();
    FillDefault(*stat);
    stat->entryCount = 3;
    stat->entries[0] = 0x1111;
    stat->entries[2] = 0x3333;
    ASSERT_TRUE(BB_SetFrameStatParam(0, 5, stat.get()));  // unit 1
    stat->entryCount = 8193;                              // beyond the record
    EXPECT_FALSE(BB_SetFrameStatParam(0, 0, stat.get()));
    EXPECT_FALSE(BB_FrameStatCmd(0, 0, 3));
    ASSERT_TRUE(BB_FrameStatCmd(0, 0, 2));

    ASSERT_TRUE(WaitSent(10));
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 10u);
    struct Expect {
        unsigned module, op;
        std::vector<std::uint8_t> payload;
    };
    stat->entryCount = 3;
    const Expect expected[] = {
        {2, 3, BytesOf(&dem, sizeof dem)},
        {4, 3, BytesOf(&sim, sizeof sim)},
        {6, 3, BytesOf(decipher.get(), sizeof *decipher)},
        {7, 3, BytesOf(decipher.get(), sizeof *decipher)},
        {5, 3, BytesOf(&time.basic, 72)},
        {5, 4, BytesOf(&time.fly, 64)},
        {5, 5, {1, 0, 0, 0}},
        {5, 6, {2, 0, 0, 0}},
        {15, 3, BytesOf(stat.get(), 54)},
        {14, 4, {0, 0, 0, 0}},
    };
    for (std::size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(sent[i].module, expected[i].module) << i;
        EXPECT_EQ(sent[i].operation, expected[i].op) << i;
        EXPECT_EQ(sent[i].payload, expected[i].payload) << i;
    }
    EXPECT_TRUE(Shown().empty());
}

TEST_F(BbRecords, StatusAndTimeComeBackThroughTheGetExports) {
    DemParam dem;
    BB_GetDefaultDemParam(0, &dem);
    ASSERT_TRUE(BB_SetDemParam(0, &dem));

    DemStatus status{};
    ASSERT_TRUE(WaitUntil([&] { return BB_GetDemStatus(0, 0, &status) && status.载波状态 == 1; }));
    EXPECT_EQ(status.中频频率, 70.0);
    EXPECT_EQ(status.信噪比, 18.5);
    EXPECT_EQ(status.位同步, 1u);
    EXPECT_EQ(status.子帧同步, 1u);
    EXPECT_EQ(status.副帧同步, 1u);
    EXPECT_EQ(status.statusWord10, 2300500u);     // the engine reports the input frequency in kHz
    ASSERT_TRUE(BB_GetDemStatus(0, 3, &status));  // bit 0 selects the half
    EXPECT_EQ(status.信噪比, 17.5);
    EXPECT_EQ(status.statusWord3, 1u);

    TimeSystemTime t0{}, t1{};
    ASSERT_TRUE(WaitUntil([&] { return BB_GetTimeSystemTime(0, &t0, 0) && t0.time.day != 0; }));
    ASSERT_TRUE(BB_GetTimeSystemTime(0, &t1, 5));
    EXPECT_GE(t0.time.day, 1u);
    EXPECT_LE(t0.time.day, 366u);
    EXPECT_LT(t0.time.hour, 24u);
    EXPECT_EQ(t0.status, 1u);
    EXPECT_EQ(t1.status, 0u);

    GnssStatusInfo gnss{};
    GnssPosTimeInfo position{};
    ASSERT_TRUE(WaitUntil([&] { return BB_GetGnssStatusInfo(0, &gnss) && gnss.words[1] == 9; }));
    ASSERT_TRUE(BB_GetGnssPosTimeInfo(0, &position));
    EXPECT_EQ(position.words[4], 1164000u);

    TimeSystemFlyInfo fly{};
    ASSERT_TRUE(BB_GetTimeSystemFlyInfo(0, &fly));
    EXPECT_EQ(fly.words[5], 0u);
    ASSERT_TRUE(BB_SetTimeSystemHandFly(0, 1));
    ASSERT_TRUE(WaitUntil([&] { return BB_GetTimeSystemFlyInfo(0, &fly) && fly.words[5] == 1; }));
}

TEST_F(BbRecords, FrameStatisticsStateOnlyWhileRunning) {
    FrameStatState out;
    std::memset(&out, 0xAB, sizeof out);
    const FrameStatState untouched = out;
    EXPECT_FALSE(BB_GetStatState(0, 0, &out));
    EXPECT_EQ(std::memcmp(&out, &untouched, sizeof out), 0);

    ASSERT_TRUE(BB_FrameStatCmd(0, 0, 1));
    ASSERT_TRUE(WaitUntil([&] { return BB_GetStatState(0, 0, &out) && out.countA > 0; }));
    EXPECT_EQ(out.ratio, static_cast<double>(out.countB) / static_cast<double>(out.countA));
    EXPECT_EQ(out.words[2], out.countA / 1000);  // state word 8
    EXPECT_EQ(out.words[3], 14u);                // state word 9
    EXPECT_EQ(out.words[0], 0xABABABABu);        // bytes 24-31 are not written
    EXPECT_EQ(out.words[1], 0xABABABABu);
    EXPECT_EQ(out.words[4], 0xABABABABu);

    ASSERT_TRUE(BB_FrameStatCmd(0, 0, 2));  // passed on, still running
    EXPECT_TRUE(BB_GetStatState(0, 0, &out));
    ASSERT_TRUE(BB_FrameStatCmd(0, 0, 0));
    EXPECT_FALSE(BB_GetStatState(0, 0, &out));
    EXPECT_FALSE(BB_GetStatState(0, 1, &out));  // the other unit never ran
}

}  // namespace
