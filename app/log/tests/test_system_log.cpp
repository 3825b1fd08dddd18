#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "log/system_log.h"
#include "platform/codepage.h"
#include "testsupport/temp_home.h"

using namespace applog;

namespace {

std::tm At(int year, int month, int day, int h, int m, int s) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = h;
    t.tm_min = m;
    t.tm_sec = s;
    return t;
}

const std::string kFirst =
    "08:07:09    启动系统日志记录\r\n            日志记录线程LogThread启动完成\r\n            \r\n";

class SystemLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(temp.path().empty());
        static int counter = 0;
        options.moduleDir = dir;
        options.clock = [] { return At(2026, 3, 5, 8, 7, 9); };
        // A name of our own so parallel test processes do not share the event.
        options.eventName =
            "EVENT_LOG_test_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
    }

    std::string Journal() {
        std::ifstream in(dir + "/Log/2026年3月5日08时07分09秒.txt", std::ios::binary);
        std::string gbk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return plat::GbkToUtf8(gbk);
    }

    talvora::test::TempDir temp;
    const std::string& dir = temp.path();
    LogOptions options;
};

}  // namespace

TEST(LogFormat, FileNameHasNoLeadingZerosInMonthAndDay) {
    EXPECT_EQ(LogFileName(At(2026, 3, 5, 8, 7, 9)), "2026年3月5日08时07分09秒.txt");
    EXPECT_EQ(LogFileName(At(2026, 12, 31, 23, 59, 0)), "2026年12月31日23时59分00秒.txt");
}

TEST(LogFormat, RecordIsClockFourBlanksMessageCrLf) {
    EXPECT_EQ(FormatRecord(At(2026, 1, 1, 0, 0, 1), "基带卡初始化成功"),
              "00:00:01    基带卡初始化成功\r\n");
    EXPECT_EQ(FormatFirstRecord(At(2026, 3, 5, 8, 7, 9)), kFirst);
}

TEST_F(SystemLogTest, WritesFirstRecordThenMessagesInOrderAndExitLast) {
    SystemLog log;
    log.Start(options);
    EXPECT_EQ(log.FilePath(), dir + "/Log/2026年3月5日08时07分09秒.txt");
    log.Post("基带卡初始化成功");
    log.Post("参数数据库加载成功！（/x/a.mdb）\n");
    log.Stop();
    EXPECT_EQ(log.Result(), kLogOk);
    EXPECT_EQ(Journal(), kFirst +
                             "08:07:09    基带卡初始化成功\r\n"
                             "08:07:09    参数数据库加载成功！（/x/a.mdb）\n\r\n"
                             "08:07:09    退出软件！\r\n");
    // Posts after the exit message are not written.
    log.Post("late");
    EXPECT_EQ(Journal().find("late"), std::string::npos);
}

TEST_F(SystemLogTest, FileIsGbkOnDisk) {
    SystemLog log;
    log.Start(options);
    log.Stop();
    std::ifstream in(log.FilePath(), std::ios::binary);
    const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(raw.find(plat::Utf8ToGbk("退出软件！")), std::string::npos);
    EXPECT_EQ(raw.find("退出软件！"), std::string::npos);
}

// A message posted while another is being written must neither replace it
// nor be lost.
TEST_F(SystemLogTest, EveryMessageFromConcurrentPostersIsWrittenExactlyOnce) {
    SystemLog log;
    log.Start(options);
    constexpr int kThreads = 4, kEach = 500;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([&log, t] {
            for (int i = 0; i < kEach; ++i)
                log.Post("t" + std::to_string(t) + " m" + std::to_string(i) + ";");
        });
    for (auto& p : posters) p.join();
    log.Stop();

    const std::string text = Journal();
    for (int t = 0; t < kThreads; ++t) {
        std::size_t last = 0;
        for (int i = 0; i < kEach; ++i) {
            const std::string m = "    t" + std::to_string(t) + " m" + std::to_string(i) + ";\r\n";
            const std::size_t at = text.find(m);
            ASSERT_NE(at, std::string::npos) << m;
            EXPECT_EQ(text.find(m, at + 1), std::string::npos) << m;
            EXPECT_GT(at, last) << m;  // each poster's order is kept
            last = at;
        }
    }
    const std::string exitRecord = "08:07:09    退出软件！\r\n";
    ASSERT_GE(text.size(), exitRecord.size());
    EXPECT_EQ(text.substr(text.size() - exitRecord.size()), exitRecord);
}

TEST_F(SystemLogTest, SecondRunInTheSameSecondEmptiesTheJournal) {
    {
        SystemLog first;
        first.Start(options);
        first.Post("first run");
        first.Stop();
    }
    SystemLog second;
    second.Start(options);
    second.Post("second run");
    second.Stop();
    const std::string text = Journal();
    EXPECT_EQ(text.find("first run"), std::string::npos);
    EXPECT_NE(text.find("second run"), std::string::npos);
}

TEST_F(SystemLogTest, UnwritableDirectoryEndsTheThreadSilentlyAndPostsDoNothing) {
    std::ofstream(dir + "/file") << "x";
    options.moduleDir = dir + "/file";  // Log cannot be made below a file
    SystemLog log;
    log.Start(options);
    log.Post("lost");
    log.Stop();
    EXPECT_EQ(log.Result(), kLogNoFile);
    EXPECT_FALSE(std::filesystem::exists(log.FilePath()));
}

TEST_F(SystemLogTest, ProcessWideJournalSetsTheLogFilePath) {
    StartSystemLog(options);
    EXPECT_EQ(g_strLogFile, dir + "/Log/2026年3月5日08时07分09秒.txt");
    PostLogF("数据组播端口:%d初始化成功！", 8080);
    StopSystemLog();
    EXPECT_NE(
        Journal().find("08:07:09    数据组播端口:8080初始化成功！\r\n08:07:09    退出软件！\r\n"),
        std::string::npos);
}
