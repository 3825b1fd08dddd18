#include <gtest/gtest.h>
#include <platform/paths.h>
#include <rawgrid/table_settings.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "testsupport/temp_home.h"

namespace rawgrid {
namespace {

class TableSettingsFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }
    void Write(const std::string& text) { std::ofstream(file_, std::ios::binary) << text; }
    std::string Read() const {
        std::ifstream in(file_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    talvora::test::TempDir dir_;
    const std::string file_ = dir_ / "TableParameter.ini";
};

TEST(TableSettingsPath, FileInModuleDirectory) {
    plat::SetModuleDirectory("/opt/talvora-test");
    EXPECT_EQ(SettingsFilePath(), "/opt/talvora-test/TableParameter.ini");
    plat::SetModuleDirectory("");
}

TEST_F(TableSettingsFile, MissingFileGivesDefaults) {
    const TableSettings s = LoadTableSettings(file_, -1);
    EXPECT_EQ(s.nShowTbType, 1);
    EXPECT_EQ(s.nShowWfMode, 0);
    EXPECT_EQ(s.nDataBitsLimit, 0);
    EXPECT_EQ(s.nDataViewMode, 0);
    EXPECT_DOUBLE_EQ(s.fConvertVoltage, 5.0);
    EXPECT_FALSE(std::filesystem::exists(file_));
}

TEST_F(TableSettingsFile, RoundTripKeepsStreamsApart) {
    TableSettings a;
    a.nShowTbType = 0;
    a.nShowWfMode = 1;
    a.nDataBitsLimit = 1;
    a.nDataViewMode = 3;
    a.fConvertVoltage = 12.5;
    ASSERT_TRUE(SaveTableSettings(file_, -1, a));
    TableSettings b;
    b.nDataViewMode = 2;
    ASSERT_TRUE(SaveTableSettings(file_, 1, b));

    const TableSettings ra = LoadTableSettings(file_, -1);
    EXPECT_EQ(ra.nShowTbType, 0);
    EXPECT_EQ(ra.nShowWfMode, 1);
    EXPECT_EQ(ra.nDataBitsLimit, 1);
    EXPECT_EQ(ra.nDataViewMode, 3);
    EXPECT_DOUBLE_EQ(ra.fConvertVoltage, 12.5);
    EXPECT_EQ(LoadTableSettings(file_, 1).nDataViewMode, 2);
    EXPECT_EQ(LoadTableSettings(file_, 0).nDataViewMode, 0);  // no section of its own

    const std::string text = Read();
    EXPECT_NE(text.find("[TABLE_PARAMETER]"), std::string::npos);
    EXPECT_NE(text.find("[TABLE2_PARAMETER]"), std::string::npos);
    EXPECT_NE(text.find("CONVERT_VOLTAGE=12.500000"), std::string::npos);
    EXPECT_NE(text.find("DATA_VIEW_MODE=3"), std::string::npos);
}

TEST_F(TableSettingsFile, HandWrittenValuesAreRead) {
    Write(
        "[table1_parameter]\r\n DATA_VIEW_MODE = 1\r\nCONVERT_VOLTAGE= 10 \r\nSHOW_WF_MODE=2\r\n");
    const TableSettings s = LoadTableSettings(file_, 0);
    EXPECT_EQ(s.nDataViewMode, 1);
    EXPECT_DOUBLE_EQ(s.fConvertVoltage, 10.0);
    EXPECT_EQ(s.nShowWfMode, 1);
}

TEST_F(TableSettingsFile, OutOfRangeValuesFallBackToDefaults) {
    for (const char* mode : {"4", "-1", "abc"}) {
        Write(std::string("[TABLE_PARAMETER]\nDATA_VIEW_MODE=") + mode + "\n");
        EXPECT_EQ(LoadTableSettings(file_, -1).nDataViewMode, 0) << mode;
    }
    for (const char* volts : {"abc", "nan", "inf", "1e400", "5.0V", "", "2e9"}) {
        Write(std::string("[TABLE_PARAMETER]\nCONVERT_VOLTAGE=") + volts + "\n");
        EXPECT_DOUBLE_EQ(LoadTableSettings(file_, -1).fConvertVoltage, 5.0) << volts;
    }
}

}  // namespace
}  // namespace rawgrid
