// A card object whose units were never enabled (its card not connected), and
// the card's error store.
#include <gtest/gtest.h>
#include <platform/notify.h>

#include <cstring>

#include "card_device.h"
#include "unit_demodulator.h"
#include "unit_params.h"
#include "unit_time_code.h"

namespace {

using namespace bbdev;

TEST(CardUnits, SettingsOnADisconnectedCardReportTheirUnitCode) {
    auto sink = std::make_shared<plat::CapturingSink>();
    plat::SetNotifySink(sink);
    CCardDevice card(0);
    DemParam dem;
    FillDefault(dem);
    EXPECT_FALSE(card.demodulator().SetDemParam(&dem));
    TimeSystemFlyParam fly;
    FillDefault(fly);
    EXPECT_FALSE(card.timeCode().SetFly(&fly));
    EXPECT_FALSE(card.timeCode().SetHandFly(1));
    EXPECT_FALSE(card.frameStat(0).Command(1));  // commands fail silently
    plat::SetNotifySink(nullptr);

    const auto shown = sink->Shown();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].text, "错误代码：0x00000001\n    【解调器参数】设置失败！");
    EXPECT_EQ(shown[1].text, "错误代码：0x00000002\n    【时码器起飞参数】设置失败！");
    EXPECT_EQ(shown[2].text, "错误代码：0x00000004\n    【时码器起飞总使能控制】设置失败！");
    EXPECT_FALSE(card.demodulator().paramSet());
    EXPECT_EQ(card.timeCode().errorCode(), 4u);

    // Unit failures stay in their units: the card's own store is untouched.
    char text[256] = "x";
    std::uint32_t code = 0;
    ASSERT_TRUE(card.CopyLastError(text, sizeof text, &code));
    EXPECT_EQ(code, 0x1FFFFu);
    EXPECT_STREQ(text, "");

    // The buffer rule: room for the text and its NUL.
    card.SetLastError(9, "abc");
    EXPECT_FALSE(card.CopyLastError(text, 3, &code));
    EXPECT_EQ(code, 0xFFFFFFFEu);
    ASSERT_TRUE(card.CopyLastError(text, 4, &code));
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(code, 9u);
}

TEST(CardUnits, StatusMessagesOfTheWrongLengthAreDropped) {
    CCardDevice card(0);
    std::uint8_t time[33];
    for (std::size_t i = 0; i < sizeof time; ++i) time[i] = static_cast<std::uint8_t>(i + 1);
    // The getters need an enabled unit; the messages themselves do not.
    card.timeCode().SetEnabled(true);
    card.demodulator().SetEnabled(true);
    card.timeCode().OnEngineMessage(7, {time, 31});
    card.timeCode().OnEngineMessage(7, {time, 33});
    TimeSystemTime t{};
    ASSERT_TRUE(card.timeCode().GetTime(&t, 0));
    EXPECT_EQ(t.time.day, 0u);
    card.timeCode().OnEngineMessage(7, {time, 32});
    ASSERT_TRUE(card.timeCode().GetTime(&t, 1));
    EXPECT_EQ(t.time.day, 0x14131211u);  // bytes 16-19 of the message
    EXPECT_EQ(t.time.hour, 0x1615u);
    EXPECT_EQ(t.status, 0x201F1E1Du);

    std::uint8_t status[273] = {};
    status[4 * 12] = 1;  // half 0, word 12: carrier lock
    card.demodulator().OnEngineMessage(8, {status, 273});
    DemStatus s{};
    ASSERT_TRUE(card.demodulator().GetDemStatus(0, &s));
    EXPECT_EQ(s.载波状态, 0u);
    card.demodulator().OnEngineMessage(8, {status, 272});
    ASSERT_TRUE(card.demodulator().GetDemStatus(0, &s));
    EXPECT_EQ(s.载波状态, 1u);
}

}  // namespace
