// The parameter groups built from the sample database, the newest-value copy,
// and the scale and text helpers the windows draw with.
#include <gtest/gtest.h>
#include <paramviews/param_groups.h>
#include <platform/notify.h>
#include <platform/profile.h>

#include <cmath>
#include <limits>

#include "paramviews/deal_param.h"
#include "testsupport/temp_home.h"
#include "view_texts.h"

using namespace paramviews;
using talvora::test::TempHome;

namespace {

std::vector<std::string> Names(const ParamGroup& g, int kind) {
    std::vector<std::string> out;
    for (int i : g.Selected(kind)) out.push_back(g.params[std::size_t(i)].strName);
    return out;
}

TEST(ParamGroups, DataHandedInWithoutGroupsBuildsThemFromTheDatabase) {
    TempHome home;
    auto sink = std::make_shared<plat::CapturingSink>();
    plat::SetNotifySink(sink);
    ParamGroups& groups = ParamGroups::Instance();
    groups.Clear();
    ASSERT_FALSE(groups.Exist());
    char nothing[1] = {};
    SetDealDSDemData(nothing, 0);
    ASSERT_TRUE(groups.Exist());
    EXPECT_EQ(groups.Group(0).name, "子帧");
    EXPECT_EQ(groups.Group(2).name, "特殊副帧");
    EXPECT_EQ(groups.Group(0).count, 6);
    EXPECT_EQ(groups.Group(1).count, 1);
    EXPECT_EQ(groups.Group(2).count, 2);
    EXPECT_EQ(Names(groups.Group(0), kKindCurve), (std::vector<std::string>{"正弦波", "阶梯码"}));
    EXPECT_EQ(Names(groups.Group(0), kKindStripe), (std::vector<std::string>{"正弦波", "阶梯码"}));
    EXPECT_EQ(groups.Group(0).Selected(kKindTable).size(), 6u);
    EXPECT_TRUE(groups.Group(0).Selected(kKindUpload).empty());
    for (int i = 0; i < groups.Group(0).count; ++i) EXPECT_EQ(groups.Group(0).results[i].nValid, 0);

    int n[3] = {};
    InitialDealParam(n[0], n[1], n[2]);
    EXPECT_EQ(n[0], 6);
    EXPECT_EQ(n[2], 2);

    // Only the newest value reaches the caller's records.
    groups.Group(0).results[1].dValue[kResultHistory - 1] = 42.5;
    groups.Group(0).results[1].dValue[0] = 7;
    groups.Group(0).results[1].nValid = 3;
    std::vector<DealResult> mine(6);
    mine[1].nValid = 99;
    mine[1].dValue[0] = -1;
    GetDealResultData(mine.data(), nullptr, nullptr);
    EXPECT_EQ(mine[1].dValue[kResultHistory - 1], 42.5);
    EXPECT_EQ(mine[1].dValue[0], -1);
    EXPECT_EQ(mine[1].nValid, 99);
    EXPECT_TRUE(sink->Shown().empty());
    groups.Clear();
    plat::SetNotifySink(nullptr);
}

TEST(ParamGroups, IndexListsFollowTheFlagsAndAKindOutOfRangeIsReported) {
    auto sink = std::make_shared<plat::CapturingSink>();
    plat::SetNotifySink(sink);
    std::vector<ParStructEx> lists[3];
    lists[0].resize(3);
    lists[0][0].nSelTable = lists[0][2].nSelTable = 1;
    lists[0][1].nSelReply = 1;
    lists[2].resize(1);
    lists[2][0].nSelCurve = 1;
    ParamGroups& groups = ParamGroups::Instance();
    groups.SetForTest(lists);
    EXPECT_EQ(groups.Group(0).Selected(kKindTable), (std::vector<int>{0, 2}));
    EXPECT_EQ(groups.Group(0).Selected(kKindUpload), (std::vector<int>{1}));
    EXPECT_EQ(groups.Group(2).Selected(kKindCurve), (std::vector<int>{0}));
    EXPECT_TRUE(groups.Group(1).Selected(kKindCurve).empty());
    groups.BuildIndex(5);
    ASSERT_EQ(sink->Shown().size(), 3u);
    EXPECT_EQ(sink->Shown()[0].text, "GetDealParamInfo()中输入的处理参数的显示类型溢出！");
    groups.Clear();
    plat::SetNotifySink(nullptr);
}

TEST(Scales, UnusableRangesAndValuesDrawNothingOrTheMiddle) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_DOUBLE_EQ(*ScaleFraction(1.0, -2.54, 2.54), (1.0 + 2.54) / 5.08);
    EXPECT_DOUBLE_EQ(*ScaleFraction(9.0, -2.54, 2.54), 1.0);   // clamped
    EXPECT_DOUBLE_EQ(*ScaleFraction(-9.0, -2.54, 2.54), 0.0);  // clamped
    EXPECT_FALSE(ScaleFraction(1.0, 3.0, 3.0));
    EXPECT_FALSE(ScaleFraction(1.0, 5.0, 3.0));
    EXPECT_FALSE(ScaleFraction(nan, 0.0, 1.0));
    EXPECT_FALSE(ScaleFraction(1.0, -inf, inf));
    EXPECT_FALSE(ScaleFraction(0.0, -1e308, 1e308));  // the span overflows
    EXPECT_EQ(CurveFraction(1.0, 3.0, 3.0), 0.5);
    EXPECT_EQ(CurveFraction(inf, 0.0, 1.0), 0.5);
    EXPECT_EQ(LimitState(2.1, 2.0, -2.0), 1);
    EXPECT_EQ(LimitState(-2.1, 2.0, -2.0), -1);
    EXPECT_EQ(LimitState(2.0, 2.0, -2.0), 0);
}

TEST(Texts, CodesValuesTitlesAndTimes) {
    EXPECT_EQ(CodeText(0xEB90, 2), "EB90");
    EXPECT_EQ(CodeText(0x0102, 3), "000102");
    EXPECT_EQ(CodeText(-1, 1), "FF");
    EXPECT_EQ(CodeText(0x12, 0), "12");  // at least one byte
    ParStructEx p{};
    EXPECT_EQ(ValueWithUnit(60304, p), "60304.000 ");
    std::snprintf(p.strName, sizeof p.strName, "正弦波");
    std::snprintf(p.strMeaning, sizeof p.strMeaning, "测试");
    std::snprintf(p.strUnit, sizeof p.strUnit, "V");
    EXPECT_EQ(ValueWithUnit(1.5, p), "1.500 V");
    EXPECT_EQ(CurveTitle(p), "正弦波  测试  ( V )");
    EXPECT_EQ(StripeLabel(p), "正弦波:  测试  ( V )");
    const std::string t = TimeText(1000.0 + 0.1234);
    ASSERT_EQ(t.size(), 14u) << t;
    EXPECT_EQ(t.substr(5), ":40.123.4");
    EXPECT_EQ(TimeText(0), "");
}

TEST(Settings, LevelsAboveTwoReadAsZeroAndValuesAreWrittenUnsigned) {
    TempHome home;
    EXPECT_EQ(ReadLevel(kCurveKey), 0);
    WriteSetting(kCurveKey, 2);
    WriteSetting(kTableStyleKey, 1);
    EXPECT_EQ(ReadLevel(kCurveKey), 2);
    EXPECT_EQ(ReadTableStyle(), 1);
    WriteSetting(kStripeKey, 3);
    EXPECT_EQ(ReadLevel(kStripeKey), 0);
    EXPECT_EQ(plat::GetPrivateProfileString("参数显示窗口", "柱状图", "", 32, SettingsFile()), "3");
}

}  // namespace
