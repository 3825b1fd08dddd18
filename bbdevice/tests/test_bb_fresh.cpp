// The device table before any card was opened in this process.
#include <bbdevice/bbdevice.h>
#include <gtest/gtest.h>

#include <cstring>

namespace {

int NoData(DemReportBlock*) {
    return 0;
}

TEST(DeviceTableAtStart, OffersOneCardAndRefusesWhatIsNotOpen) {
    EXPECT_EQ(BB_GetBandCaseSumInSystem(), 1u);
    EXPECT_EQ(BB_GetActiveBandCaseSumInApp(), 0u);

    char text[8] = "xxxxxxx";
    std::uint32_t code = 0;
    EXPECT_TRUE(BB_GetLastError(0, text, 1, &code));  // the slot's empty text
    EXPECT_EQ(text[0], '\0');
    EXPECT_EQ(code, 0xFFFFFFFFu);
    EXPECT_FALSE(BB_GetLastError(0, text, 0, &code));  // no room for the NUL
    EXPECT_EQ(code, 0xFFFFFFFEu);
    EXPECT_FALSE(BB_GetLastError(1, text, sizeof text, &code));
    EXPECT_EQ(code, 0xFFFFFFFEu);

    EXPECT_FALSE(BB_CloseDevice(0));
    EXPECT_FALSE(BB_OpenDevice(0, nullptr, 0, nullptr));
    CardFunctionInfo info{};
    EXPECT_FALSE(BB_OpenDevice(1, NoData, 0, &info));
    EXPECT_EQ(BB_GetActiveBandCaseSumInApp(), 0u);
    std::uint32_t status[12];
    EXPECT_FALSE(BB_GetDeviceUnitStatus(0, status));
    DemParam dem;
    EXPECT_FALSE(BB_GetDefaultDemParam(0, &dem));  // requires an open card
}

}  // namespace
