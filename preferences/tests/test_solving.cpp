// Solving through the library: store, the solving thread, fetch; bad
// arguments, the caller's array bounds, trace records and shutdown.
#include <gtest/gtest.h>
#include <platform/datasource.h>
#include <platform/notify.h>
#include <platform/profile.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "library.h"
#include "testsupport/temp_home.h"
#include "testsupport/wait.h"

using namespace prefs;
using namespace std::chrono_literals;
using talvora::test::TempHome;

namespace {

// 8-bit words, no tag, 4 words, 2 subframes (8-byte superframes); hand-off
// 320 * 8 / 320 = 8 payload bytes: one superframe per block. Parameters:
// "W1" word 1 of every subframe, "W2" word 2 of every subframe (both
// selected for the table by the selection file), "Spare" word 3, unselected.
void MakeDatabase(const std::string& path, int extraParams = 0) {
    std::string error;
    auto db = plat::Database::OpenFile(path, plat::Database::OpenMode::ReadWriteCreate, &error);
    ASSERT_TRUE(db) << error;
    std::string sql = R"(
        CREATE TABLE 参数属性 (参数名称 TEXT, 参数类型 TEXT, 路号总数 INTEGER, 处理类型 TEXT,
            数据类型 TEXT, 路号1 INTEGER, A0 REAL, A1 REAL);
        CREATE TABLE 子帧结构 (编码位数 INTEGER, 时码宽度 INTEGER, 子帧长 INTEGER, 码速率 INTEGER);
        CREATE TABLE 副帧结构 (副帧长 INTEGER, 副帧1子帧路号 INTEGER);
        INSERT INTO 子帧结构 VALUES (8, 0, 4, 2560);
        INSERT INTO 副帧结构 VALUES (2, 4);
        INSERT INTO 参数属性 VALUES ('W1', '子帧', 1, '公式法', '', 1, 0, 1);
        INSERT INTO 参数属性 VALUES ('Spare', '子帧', 1, '公式法', '', 3, 0, 1);
        INSERT INTO 参数属性 VALUES ('W2', '子帧', 1, '公式法', '有符号数', 2, 0.5, 2);
    )";
    for (int i = 0; i < extraParams; ++i)
        sql += "INSERT INTO 参数属性 VALUES ('New" + std::to_string(i) +
               "', '子帧', 1, '公式法', '', 4, 0, 1);";
    ASSERT_TRUE(db->Execute(sql)) << db->LastError();
}

void WriteSelection(const std::string& path, std::vector<std::string> tableNames) {
    std::string f(16 * (tableNames.size() + 1), '\0');
    f[0] = char(tableNames.size());
    for (std::size_t i = 0; i < tableNames.size(); ++i) {
        f.replace(16 * (i + 1), tableNames[i].size(), tableNames[i]);
        f[16 * (i + 1) + 15] = char(0x82);
    }
    std::ofstream(path, std::ios::binary) << f;
}

struct Results {
    std::vector<DealResult> level[3];
    explicit Results(std::size_t sub) {
        level[0].resize(sub);
        std::memset(static_cast<void*>(level[0].data()), 0, sub * sizeof(DealResult));
    }
    int Fetch(ParameterLibrary& lib) {
        DealResult* out[3] = {level[0].data(), nullptr, nullptr};
        return lib.FetchResults(out);
    }
    std::vector<double> Last(int i) {
        const DealResult& r = level[0][std::size_t(i)];
        return std::vector<double>(r.dValue + 2000 - r.nNew, r.dValue + 2000);
    }
};

class SolvingTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetNotifySink(sink);
        MakeDatabase(home / "p.mdb");
        WriteSelection(home / "子帧.sel", {"W1", "W2"});
    }
    void TearDown() override { plat::SetNotifySink(nullptr); }

    TempHome home;
    std::shared_ptr<plat::CapturingSink> sink = std::make_shared<plat::CapturingSink>();
};

}  // namespace

TEST_F(SolvingTest, StoredSuperframesAreSolvedAndFetched) {
    ParameterLibrary lib;
    ASSERT_EQ(lib.ConfigDataSource((home / "p.mdb").c_str()), 1);
    ASSERT_EQ(lib.HandOffSize(), 8);
    Results r(3);
    // Below the hand-off size nothing is queued yet.
    char part[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(lib.Store(part, 5), 0);
    char rest[3] = {6, 7, 8};
    EXPECT_EQ(lib.Store(rest, 3), 1);
    char second[8] = {9, char(0xFE), 0, 0, 11, 12, 0, 0};
    EXPECT_EQ(lib.Store(second, 8), 1);
    std::vector<double> w1, w2;
    ASSERT_TRUE(talvora::test::WaitUntil(
        [&] {
            r.Fetch(lib);
            auto a = r.Last(0), b = r.Last(2);
            w1.insert(w1.end(), a.begin(), a.end());
            w2.insert(w2.end(), b.begin(), b.end());
            r.level[0][0].nNew = r.level[0][2].nNew = 0;
            return w1.size() >= 4;
        },
        10s, "four samples"));
    EXPECT_EQ(w1, (std::vector<double>{1, 5, 9, 11}));
    // Signed, value = x * 2 + 0.5.
    EXPECT_EQ(w2, (std::vector<double>{4.5, 12.5, -3.5, 24.5}));
    EXPECT_EQ(r.level[0][2].nValid, 4);
    EXPECT_EQ(r.level[0][1].nValid, 0);  // not selected
    EXPECT_TRUE(sink->Shown().empty());
}

TEST_F(SolvingTest, NullDataOrNegativeLengthAppendNothing) {
    ParameterLibrary lib;
    ASSERT_EQ(lib.ConfigDataSource((home / "p.mdb").c_str()), 1);
    char data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(lib.Store(nullptr, 8), 0);
    EXPECT_EQ(lib.Store(data, -5), 0);
    // The accumulation is still empty: 7 bytes do not make a block, 8 do.
    EXPECT_EQ(lib.Store(data, 7), 0);
    EXPECT_EQ(lib.Store(data + 7, 1), 1);
    Results r(3);
    ASSERT_WAIT_UNTIL((r.Fetch(lib), r.level[0][0].nValid == 2), 10s);
    EXPECT_EQ(r.Last(0), (std::vector<double>{1, 5}));
}

TEST_F(SolvingTest, ResultsAreNeverWrittenPastTheCountTheCallerWasGiven) {
    ParameterLibrary lib;
    ASSERT_EQ(lib.ConfigDataSource((home / "p.mdb").c_str()), 1);
    int n[3];
    ASSERT_EQ(lib.TotalNumber(n[0], n[1], n[2]), 1);
    ASSERT_EQ(n[0], 3);
    // The database grows by two selected parameters and is loaded again; the
    // caller still has the three entries it was sized for (plus a guard).
    MakeDatabase(home / "q.mdb", 2);
    WriteSelection(home / "子帧.sel", {"W1", "W2", "New0", "New1"});
    ASSERT_EQ(lib.ConfigDataSource((home / "q.mdb").c_str()), 1);
    Results r(4);
    std::memset(&r.level[0][3], 0x5A, sizeof(DealResult));
    char data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(lib.Store(data, 8), 1);
    ASSERT_WAIT_UNTIL((r.Fetch(lib), r.level[0][0].nValid == 2), 10s);
    const auto* guard = reinterpret_cast<const unsigned char*>(&r.level[0][3]);
    for (std::size_t i = 0; i < sizeof(DealResult); ++i) ASSERT_EQ(guard[i], 0x5A) << i;
}

TEST_F(SolvingTest, TraceRecordsAreSixteenBytesEach) {
    plat::WritePrivateProfileString("调试信息输出", "数据链表", "1", home / "TelemetrySystem.ini");
    {
        ParameterLibrary lib;
        ASSERT_EQ(lib.ConfigDataSource((home / "p.mdb").c_str()), 1);
        char data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        EXPECT_EQ(lib.Store(data, 8), 1);
        Results r(3);
        ASSERT_WAIT_UNTIL((r.Fetch(lib), r.level[0][0].nValid == 2), 10s);
    }
    std::ifstream in(home / "数据链表调试信息输出.bin", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    const std::string t = s.str();
    ASSERT_EQ(t.size() % 16, 0u);
    ASSERT_GE(t.size(), 48u);
    EXPECT_EQ(t.substr(0, 16), std::string("Write:1,8") + std::string(7, '\0'));
    EXPECT_EQ(t.find(std::string("Read:0,8") + std::string(8, '\0')) % 16, 0u);
    EXPECT_NE(t.find(std::string("Z.iCntNew=4") + std::string(5, '\0')), std::string::npos);
}

TEST(TraceRecord, FullTextFillsAllSixteenBytes) {
    char rec[16];
    FormatTraceRecord(rec, "Write:%u,%u", 20, 2048000);
    EXPECT_EQ(std::string(rec, 16), "Write:20,2048000");
    FormatTraceRecord(rec, "Write:%u,%u", 200, 2048000);
    EXPECT_EQ(std::string(rec, 16), "Write:200,204800");  // cut at 16
    FormatTraceRecord(rec, "Del:%u,%u", 3, 7);
    EXPECT_EQ(std::string(rec, 16), std::string("Del:3,7") + std::string(9, '\0'));
}

TEST_F(SolvingTest, ShutdownJoinsTheThreadAndLaterCallsReturnZero) {
    ParameterLibrary lib;
    ASSERT_EQ(lib.ConfigDataSource((home / "p.mdb").c_str()), 1);
    std::vector<char> data(8 * 50, 1);
    for (int i = 0; i < 30; ++i) lib.Store(data.data(), int(data.size()));
    lib.Shutdown();
    EXPECT_FALSE(lib.Running());
    EXPECT_EQ(lib.Store(data.data(), 8), 0);
    Results r(3);
    EXPECT_EQ(r.Fetch(lib), 0);
}
