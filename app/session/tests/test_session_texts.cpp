// The card session's pure helpers: day-of-year stamp, parameter reports,
// working-state record, geometry and first-sending words.
#include <gtest/gtest.h>
#include <session/session_texts.h>

#include <cstring>
#include <memory>

using namespace session;

namespace {

std::uint32_t Word(const void* record, std::size_t offset) {
    std::uint32_t v;
    std::memcpy(&v, static_cast<const std::uint8_t*>(record) + offset, sizeof v);
    return v;
}
std::uint16_t Half(const void* record, std::size_t offset) {
    std::uint16_t v;
    std::memcpy(&v, static_cast<const std::uint8_t*>(record) + offset, sizeof v);
    return v;
}
void PutWord(void* record, std::size_t offset, std::uint32_t v) {
    std::memcpy(static_cast<std::uint8_t*>(record) + offset, &v, sizeof v);
}

}  // namespace

TEST(SessionDayOfYear, CountsLeapDayFromMarchInLeapYearsOnly) {
    EXPECT_EQ(DayOfYear(2023, 1, 1), 1);
    EXPECT_EQ(DayOfYear(2024, 2, 29), 60);
    EXPECT_EQ(DayOfYear(2024, 3, 1), 61);
    EXPECT_EQ(DayOfYear(2023, 3, 1), 60);
    EXPECT_EQ(DayOfYear(2000, 3, 1), 61);  // divisible by 400
    EXPECT_EQ(DayOfYear(1900, 3, 1), 60);  // by 100, not by 400
    EXPECT_EQ(DayOfYear(2024, 12, 31), 366);
    EXPECT_EQ(DayOfYear(2023, 12, 31), 365);
    EXPECT_EQ(DayOfYear(2024, 13, 1), 0);
    EXPECT_EQ(DayOfYear(2024, 0, 1), 0);
}

TEST(SessionStampTimeCode, WritesDayAndTimeAtTheirOffsetsAndClearsWord12) {
    TimeSystemBasicParam basic;
    std::memset(&basic, 0xAB, sizeof basic);
    StampTimeCode(basic, LocalTime{2024, 3, 1, 23, 59, 58, 997});
    EXPECT_EQ(Word(&basic, 0), 61u);
    EXPECT_EQ(Half(&basic, 4), 23);
    EXPECT_EQ(Half(&basic, 6), 59);
    EXPECT_EQ(Half(&basic, 8), 58);
    EXPECT_EQ(Half(&basic, 10), 997);
    EXPECT_EQ(Word(&basic, 12), 0u);
    EXPECT_EQ(Word(&basic, 16), 0xABABABABu);  // the modes are left alone
}

TEST(SessionCalibratedTime, AddsHundredMillisecondsCappedAt999) {
    const LocalTime date{2026, 12, 8, 1, 2, 3, 4};
    DayTime card{342, 14, 15, 16, 850};
    LocalTime t = CalibratedTime(date, card);
    EXPECT_EQ(t.year, 2026);
    EXPECT_EQ(t.month, 12);
    EXPECT_EQ(t.day, 8);
    EXPECT_EQ(t.hour, 14);
    EXPECT_EQ(t.minute, 15);
    EXPECT_EQ(t.second, 16);
    EXPECT_EQ(t.millisecond, 950);
    card.millisecond = 899;
    EXPECT_EQ(CalibratedTime(date, card).millisecond, 999);
    card.millisecond = 980;
    EXPECT_EQ(CalibratedTime(date, card).millisecond, 999);
}

TEST(SessionWorkingState, RenamesAnotherTaskAndStampsIt) {
    auto info = std::make_unique<TaskInfoRecord>();
    std::memset(info.get(), 0, sizeof *info);
    std::strcpy(info->任务名, "试验一");
    std::strcpy(info->任务描述, "旧描述");
    EXPECT_EQ(PrepareWorkingState(*info, LocalTime{2026, 3, 5, 8, 7, 9, 0}), 1);
    EXPECT_STREQ(info->任务名, "当前任务");
    EXPECT_STREQ(info->任务描述, "当前任务，系统自动保存的设备工作状态参数");
    EXPECT_STREQ(info->执行地点, "未知");
    EXPECT_STREQ(info->执行时间, "2026-3-5 8:7:9");
    EXPECT_EQ(Word(info.get(), 1676), 1u);
}

TEST(SessionWorkingState, KeepsAGivenPlaceAndLeavesTheWorkingTaskAlone) {
    auto info = std::make_unique<TaskInfoRecord>();
    std::memset(info.get(), 0, sizeof *info);
    std::strcpy(info->任务名, "试验二");
    std::strcpy(info->执行地点, "三号站");
    EXPECT_EQ(PrepareWorkingState(*info, LocalTime{2026, 12, 31, 23, 59, 59, 0}), 1);
    EXPECT_STREQ(info->执行地点, "三号站");
    EXPECT_STREQ(info->执行时间, "2026-12-31 23:59:59");

    std::strcpy(info->执行时间, "不变");
    info->默认任务 = 0;
    EXPECT_EQ(PrepareWorkingState(*info, LocalTime{}), 0);
    EXPECT_STREQ(info->执行时间, "不变");
    EXPECT_EQ(info->默认任务, 0u);
}

TEST(SessionWorkingState, NameWithoutTerminatorIsRenamedNotOverrun) {
    auto info = std::make_unique<TaskInfoRecord>();
    std::memset(info.get(), 'x', sizeof *info);
    EXPECT_EQ(PrepareWorkingState(*info, LocalTime{}), 1);
    EXPECT_STREQ(info->任务名, "当前任务");
    EXPECT_EQ(info->任务名[sizeof info->任务名 - 1], '\0');
}

TEST(SessionParameterReport, DemodulatorLinesCarryTheRecordFields) {
    auto r = std::make_unique<DemTaskRecord>();
    std::memset(r.get(), 0, sizeof *r);
    FillDefault(r->dem);
    PutWord(&r->dem, 8, 0xFE6B2840);  // frame sync pattern, low word
    PutWord(&r->dem, 12, 0x1);        // high word
    PutWord(&r->dem, 24, 0xBC);       // 循环副帧字
    PutWord(&r->dem, 68, 3);
    PutWord(&r->dem, 96, 2);            // sync tolerance
    PutWord(&r->dem, 100, 5);           // search tolerance
    PutWord(&r->dem, 768 + 131344, 1);  // decipher switch
    PutWord(&r->dem, 768 + 131332, 4);
    PutWord(&r->dem, 768 + 131336, 1);
    PutWord(&r->dem, 768 + 131340, 5);
    PutWord(&r->dem, 768 + 131328, 1);
    std::strcpy(reinterpret_cast<char*>(r.get()) + 132136, "1,2,");
    std::strcpy(reinterpret_cast<char*>(r.get()) + 132136 + 512, "3,4,");
    EXPECT_EQ(DemParamReport(*r),
              "\r\n-------解调器参数---------：\r\n"
              "帧同步码:1FE6B2840 ,循环副帧字:BC ,帧同步码位置:3 \r\n"
              "码率:4000000 ,码型:0 ,字长:8 \r\n"
              "子帧长:24 ,副帧长:4 ,副帧类型:2 ,码同步模糊:1 \r\n"
              "副帧路序:7 ,ID码计数方式:1 ,校核帧数:1 ,环路带宽:0 \r\n"
              "惯性同步帧数:1 ,容错同步帧数:2 ,搜索同步帧数:5 ,信号来源:3\r\n"
              "加解密开关:1 ,加解密周期:4 ,加解密起始帧:1 ,帧计数路序:5 ,密钥长度:1\r\n"
              "密钥波道:1,2, \r\n加密波道:3,4, \r\n");
}

TEST(SessionParameterReport, SimulatorLines) {
    auto r = std::make_unique<SimTaskRecord>();
    std::memset(r.get(), 0, sizeof *r);
    FillDefault(r->sim);
    PutWord(&r->sim, 32, 0x0C);  // 循环副帧字, shown with two digits
    std::strcpy(reinterpret_cast<char*>(r.get()) + 132144, "7,");
    EXPECT_EQ(SimParamReport(*r),
              "\r\n-------模拟器参数---------：\r\n"
              "帧同步码:EB90 ,循环副帧字:0C ,同步码位置:0\r\n"
              "码率:4000000 ,码型:0 ,字长:8 ,子帧长:24 ,副帧长:4\r\n"
              "副帧类型:1 ,副帧路序:7 ,ID码计数方式:1 ,信号类型:2\r\n"
              "加解密开关:0 ,加解密周期:0 ,加解密起始帧:0 ,帧计数路序:0 ,密钥长度:0\r\n"
              "密钥波道:7, \r\n加密波道: , \r\n");
}

TEST(SessionParameterReport, ReceiverLinesShowTheFullOutputFrequency) {
    auto r = std::make_unique<RecvTaskRecord>();
    FillDefault(r->dem);
    FillDefault(r->sim);
    PutWord(&r->sim, 144, 3);  // Sim调制模式
    PutWord(&r->sim, 152, 2);  // Sim信道编码
    EXPECT_EQ(RecvParamReport(*r),
              "\r\n-------接收机参数---------：\r\n"
              "调制控制: 1 ,载波控制:0 \r\n"
              "信号功率:21 ,输出频率:2300500000 \r\n"
              "调制模式:3 ,QPSK调制极性:0 ,Sim伪码长度:0 ,Sim伪码组号:0\r\n"
              "Sim伪码来源:0 ,信道编码:2  \r\n"
              "卷积编码极性:0 ,RS码交错深度:4 ,虚拟填充位数:0\r\n");
}

TEST(SessionParameterReport, ChannelListsWithoutTerminatorStopAtTheirArrays) {
    auto r = std::make_unique<DemTaskRecord>();
    std::memset(r.get(), 0, sizeof *r);
    std::memset(r->channels.密钥波道, '1', sizeof r->channels.密钥波道);
    std::memset(r->channels.加密波道, '2', sizeof r->channels.加密波道);
    const std::string report = DemParamReport(*r);
    EXPECT_NE(report.find("密钥波道:" + std::string(512, '1') + " \r\n加密波道:"),
              std::string::npos);
    EXPECT_NE(report.find(std::string(6888, '2') + " \r\n"), std::string::npos);
}

TEST(SessionGeometry, SubframeBytesRoundWordsUpToWholeBytes) {
    DemParam dem;
    FillDefault(dem);
    EXPECT_EQ(GeometryOf(dem), (FrameGeometry{8, 24, 4}));
    dem.字长 = 10;
    dem.子帧长 = 128;
    dem.副帧长 = 16;
    EXPECT_EQ(GeometryOf(dem), (FrameGeometry{8, 256, 16}));
    dem.字长 = 0xFFFFFFFF;  // absurd stored value: no wrap-around
    dem.子帧长 = 0xFFFFFFFF;
    EXPECT_EQ(GeometryOf(dem).subframeBytes, 0xFFFFFFFFu);
}

TEST(SessionMarkSending, SetsTheFirstSendingWordsAndTimeTagDensity) {
    auto dem = std::make_unique<DemTaskRecord>();
    auto sim = std::make_unique<SimTaskRecord>();
    auto recv = std::make_unique<RecvTaskRecord>();
    std::memset(dem.get(), 0, sizeof *dem);
    std::memset(sim.get(), 0, sizeof *sim);
    std::memset(recv.get(), 0, sizeof *recv);
    MarkSending(*dem, *sim, *recv, 1);
    EXPECT_EQ(Word(dem.get(), 84), 1u);
    EXPECT_EQ(Word(dem.get(), 696), 1u);
    EXPECT_EQ(Word(sim.get(), 720), 1u);
    EXPECT_EQ(Word(recv.get(), 84), 1u);
    EXPECT_EQ(Word(recv.get(), 696), 1u);
    EXPECT_EQ(Word(recv.get(), 768 + 720), 1u);
    EXPECT_EQ(Word(sim.get(), 84), 0u);  // the simulator has no time-tag word
    MarkSending(*dem, *sim, *recv, 0);
    EXPECT_EQ(Word(dem.get(), 84), 1u);
    EXPECT_EQ(Word(dem.get(), 696), 0u);
    EXPECT_EQ(Word(sim.get(), 720), 0u);
    EXPECT_EQ(Word(recv.get(), 696), 0u);
    EXPECT_EQ(Word(recv.get(), 768 + 720), 0u);
}
