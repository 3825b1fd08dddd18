#include <gtest/gtest.h>
#include <platform/profile.h>
#include <rawcurve/curve_settings.h>

#include "testsupport/temp_home.h"

namespace rawcurve {
namespace {

TEST(CurverSettings, SectionsFileAndDefaults) {
    talvora::test::TempHome home;
    EXPECT_EQ(CurverSection(-1), "CURVER_PARAMETER");
    EXPECT_EQ(CurverSection(0), "CURVER1_PARAMETER");
    EXPECT_EQ(CurverSection(2), "CURVER3_PARAMETER");
    EXPECT_EQ(CurverSettingsPath(), home.path() + "/CurverParameter.ini");
    const CurverSettings s = LoadCurverSettings(CurverSettingsPath(), -1);
    for (int k = 0; k < kChannels; ++k) EXPECT_EQ(s.channel[k], k + 1);
    EXPECT_EQ(s.nShowWfMode, 0);
    EXPECT_EQ(s.nDataBitsLimit, 0);
}

TEST(CurverSettings, WrittenAsDecimalAndValuesThatAreNotNumbersGiveTheDefault) {
    talvora::test::TempHome home;
    const std::string file = CurverSettingsPath();
    CurverSettings s;
    s.channel[0] = 17;
    s.channel[7] = 300;
    s.nShowWfMode = 1;
    s.nDataBitsLimit = 1;
    ASSERT_TRUE(SaveCurverSettings(file, 1, s));
    EXPECT_EQ(plat::GetPrivateProfileString("CURVER2_PARAMETER", "CHANNEL8", "", 64, file), "300");
    EXPECT_EQ(plat::GetPrivateProfileString("CURVER2_PARAMETER", "SHOW_WF_MODE", "", 64, file),
              "1");
    const CurverSettings back = LoadCurverSettings(file, 1);
    EXPECT_EQ(back.channel[0], 17);
    EXPECT_EQ(back.channel[7], 300);
    EXPECT_EQ(back.nShowWfMode, 1);
    EXPECT_EQ(back.nDataBitsLimit, 1);
    // Another stream's section is untouched.
    EXPECT_EQ(LoadCurverSettings(file, -1).channel[0], 1);

    ASSERT_TRUE(plat::WritePrivateProfileString("CURVER2_PARAMETER", "CHANNEL1", "abc", file));
    ASSERT_TRUE(plat::WritePrivateProfileString("CURVER2_PARAMETER", "CHANNEL2", "12x", file));
    ASSERT_TRUE(plat::WritePrivateProfileString("CURVER2_PARAMETER", "SHOW_WF_MODE", "", file));
    const CurverSettings bad = LoadCurverSettings(file, 1);
    EXPECT_EQ(bad.channel[0], 1);
    EXPECT_EQ(bad.channel[1], 2);
    EXPECT_EQ(bad.nShowWfMode, 0);
    EXPECT_EQ(bad.channel[7], 300);
}

}  // namespace
}  // namespace rawcurve
