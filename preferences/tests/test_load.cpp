// Loading parameter databases: the sample on a fresh home, databases built
// by SQL here, refused files, the stream file and the selection files.
#include <gtest/gtest.h>
#include <platform/datasource.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <platform/profile.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "library.h"
#include "preferences/preferences.h"
#include "testsupport/temp_home.h"

using namespace prefs;
using talvora::test::TempHome;

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Spit(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class Messages {
public:
    Messages() : sink_(std::make_shared<plat::CapturingSink>()) { plat::SetNotifySink(sink_); }
    ~Messages() { plat::SetNotifySink(nullptr); }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (auto& m : sink_->Shown()) out.push_back(m.text);
        return out;
    }

private:
    std::shared_ptr<plat::CapturingSink> sink_;
};

// A small parameter database written with plain SQL: 8-bit words, 4-byte
// tag, 10 words, 2 subframes; superframe 1 in word 9.
void MakeDatabase(const std::string& path, const std::string& extraRows = "") {
    std::string error;
    auto db = plat::Database::OpenFile(path, plat::Database::OpenMode::ReadWriteCreate, &error);
    ASSERT_TRUE(db) << error;
    ASSERT_TRUE(db->Execute(R"(
        CREATE TABLE 参数属性 (参数名称 TEXT, 物理量含义 TEXT, 单位 TEXT, 数据类型 TEXT,
            参数类型 TEXT, 副帧号 INTEGER, 路号总数 INTEGER, 最大值 REAL, 最小值 REAL,
            处理类型 TEXT, 上限 REAL, 下限 REAL, 参数所在比特 INTEGER,
            路号1 INTEGER, 路号2 INTEGER, 路号3 INTEGER, 路号4 INTEGER, 路号5 INTEGER,
            路号6 INTEGER, 路号7 INTEGER, 路号8 INTEGER,
            A0 REAL, A1 REAL, A2 REAL, A3 REAL, A4 REAL, A5 REAL);
        CREATE TABLE 子帧结构 (流别名 TEXT, 编码位数 INTEGER, 时码宽度 INTEGER, 子帧长 INTEGER,
            码速率 INTEGER, 子帧同步码长 INTEGER);
        CREATE TABLE 副帧结构 (副帧长 INTEGER, 副帧1子帧路号 INTEGER, 副帧2子帧路号 INTEGER);
        CREATE TABLE 特殊副帧结构 (特殊副帧长度 INTEGER, 字头标记长 INTEGER, 字头标记 TEXT,
            所占路数 INTEGER, 实时波道号1 INTEGER, 实时波道号2 INTEGER);
        INSERT INTO 子帧结构 VALUES ('s', 8, 4, 10, 1000000, 16);
        INSERT INTO 子帧结构 VALUES ('second row is not used', 16, 0, 99, 1, 8);
        INSERT INTO 副帧结构 VALUES (2, 9, 0);
        INSERT INTO 特殊副帧结构 VALUES (6, 1, 'AA', 1, 10, NULL);
        INSERT INTO 参数属性 (参数名称, 数据类型, 参数类型, 路号总数, 处理类型, 路号1, 路号2, A1)
            VALUES ('Z 2', '有符号数', '子帧', 2, '公式法', 3, 4, 0.5);
        INSERT INTO 参数属性 (参数名称, 参数类型, 路号总数, 处理类型, 路号1, 最大值, 最小值)
            VALUES ('A1', '子帧', 1, '公式法', 5, 'text', 1e999);
        INSERT INTO 参数属性 (参数名称, 参数类型, 副帧号, 路号总数, 路号1)
            VALUES ('S', '副帧', 1, 1, 2);
        INSERT INTO 参数属性 (参数名称, 参数类型, 副帧号, 路号总数, 路号1)
            VALUES ('X', '特殊副帧', 1, 1, 2);
        INSERT INTO 参数属性 (参数名称, 参数类型, 路号总数, 路号1)
            VALUES ('Out', '子帧', 1, 11);
    )" + extraRows))
        << db->LastError();
}

struct Lists {
    std::vector<ParStructEx> level[3];
};

Lists Get(ParameterLibrary& lib) {
    Lists l;
    std::vector<ParStructEx>* out[3] = {&l.level[0], &l.level[1], &l.level[2]};
    lib.CopyParameters(out);
    return l;
}

const ParStructEx* Find(const std::vector<ParStructEx>& list, const std::string& name) {
    for (auto& p : list)
        if (name == p.strName) return &p;
    return nullptr;
}

std::string RegisteredPath() {
    return plat::LookupDataSource("ParTB").value_or(plat::DataSourceInfo{}).database;
}

}  // namespace

TEST(SampleDatabase, FirstLoadCreatesAndRegistersItThenLoadsItUnchanged) {
    TempHome home;
    Messages messages;
    ASSERT_EQ(LoadParameterDatabase(), 1);
    const std::string mdb = home / "示例参数库.mdb";
    EXPECT_EQ(RegisteredPath(), mdb);
    const std::string odbc = Slurp(home.configHome() + "/talvora/odbc.ini");
    EXPECT_NE(odbc.find("[ParTB]"), std::string::npos);
    const std::string before = Slurp(mdb);
    const std::string sel[3] = {Slurp(home / "子帧.sel"), Slurp(home / "副帧.sel"),
                                Slurp(home / "特殊副帧.sel")};
    EXPECT_EQ(sel[0].size(), 7u * 16);
    EXPECT_EQ(sel[1].size(), 2u * 16);
    EXPECT_EQ(sel[2].size(), 3u * 16);

    TelemetyFrameStruct f{};
    GetFrameStructInfo(f);
    EXPECT_EQ(f.nTimeCodeWidth, 8);
    EXPECT_EQ(f.nSubframeLen, 24);
    EXPECT_EQ(f.nSuperframeLen, 4);
    EXPECT_EQ(f.nSuperframeWords, 96);
    EXPECT_EQ(f.nWordBits, 8);
    EXPECT_EQ(f.nBitRate, 4000000);
    EXPECT_EQ(f.nSyncBits, 16);
    int n[3] = {};
    EXPECT_EQ(GetParametersTotalNumber(n[0], n[1], n[2]), 1);
    EXPECT_EQ(n[0], 6);
    EXPECT_EQ(n[1], 1);
    EXPECT_EQ(n[2], 2);

    // A second run loads the same files and leaves them as they are.
    ParameterLibrary second;
    ASSERT_EQ(second.Load(), 1);
    EXPECT_EQ(second.HandOffSize(), 16640);
    Lists l = Get(second);
    EXPECT_EQ(Slurp(mdb), before);
    EXPECT_EQ(Slurp(home / "子帧.sel"), sel[0]);
    ASSERT_EQ(l.level[0].size(), 6u);
    EXPECT_STREQ(l.level[0][0].strName, "帧同步码");  // stored order
    auto pos = [](const ParStructEx* p) {
        return std::vector<int>(p->nBytePos, p->nBytePos + p->nBytes);
    };
    EXPECT_EQ(pos(Find(l.level[0], "帧同步码")), (std::vector<int>{8, 9}));
    EXPECT_EQ(pos(Find(l.level[0], "帧计数")), (std::vector<int>{10, 11, 12}));
    EXPECT_EQ(pos(Find(l.level[0], "ID字")), (std::vector<int>{14}));
    EXPECT_EQ(pos(Find(l.level[1], "副帧字")), (std::vector<int>{47}));
    EXPECT_EQ(pos(Find(l.level[2], "特殊字23")), (std::vector<int>{2, 3}));
    const ParStructEx* count = Find(l.level[0], "帧计数");
    EXPECT_EQ(count->dMax, 16777215);
    EXPECT_EQ(count->dMin, 0);
    const ParStructEx* stair = Find(l.level[0], "阶梯码");
    EXPECT_EQ(stair->bSigned, 1);
    EXPECT_EQ(stair->dMax, 127);
    EXPECT_EQ(stair->dMin, -127);
    EXPECT_EQ(stair->nSelCurve, 1);
    EXPECT_EQ(stair->nSelStripe, 1);
    const ParStructEx* sine = Find(l.level[0], "正弦波");
    EXPECT_DOUBLE_EQ(sine->dCoef[1], 0.02);
    EXPECT_DOUBLE_EQ(sine->dCoef[0], -2.54);
    EXPECT_EQ(sine->dUpper, 2.0);
    EXPECT_STREQ(sine->strUnit, "V");
    const ParStructEx* bit = Find(l.level[0], "同步码位15");
    EXPECT_EQ(bit->bFormula, 0);
    EXPECT_EQ(bit->nBit, 15);
    for (auto& level : l.level)
        for (auto& p : level) {
            EXPECT_EQ(p.nSelTable, 1) << p.strName;
            EXPECT_EQ(p.nSelected, 1) << p.strName;
        }
    EXPECT_EQ(Find(l.level[0], "ID字")->nSelCurve, 0);
    EXPECT_EQ(Find(l.level[2], "特殊字1")->nFrameNo, 1);
    EXPECT_TRUE(messages.Texts().empty());
}

TEST(SampleDatabase, ExistingFilesAreNeverOverwritten) {
    TempHome home;
    Spit(home / "子帧.sel", "mine");
    ParameterLibrary lib;
    lib.Load();
    EXPECT_EQ(Slurp(home / "子帧.sel"), "mine");
    EXPECT_EQ(Slurp(home / "副帧.sel").size(), 32u);
}

TEST(ConfigDataSource, DatabaseBuiltBySqlLoadsWithItsSelectionBesideIt) {
    TempHome home;
    Messages messages;
    const std::string dir = home / "db";
    ASSERT_TRUE(plat::CreateDirectoryPath(dir));
    MakeDatabase(dir + "/mine.mdb");
    // Selection beside the database: "A1" for the curve display.
    std::string sel(32, '\0');
    sel[0] = 1;
    sel.replace(16, 2, "A1");
    sel[31] = char(0x81);
    Spit(dir + "/子帧.sel", sel);

    ParameterLibrary lib;
    ASSERT_EQ(lib.ConfigDataSource((dir + "/mine.mdb").c_str()), 1);
    EXPECT_EQ(RegisteredPath(), dir + "/mine.mdb");
    EXPECT_EQ(lib.DataDirectory(), dir);
    // 1e6 / 320 = 3125 bytes / 20 payload bytes = 156 superframes of 28 bytes.
    EXPECT_EQ(lib.HandOffSize(), 156 * 28);
    Lists l = Get(lib);
    ASSERT_EQ(l.level[0].size(), 3u);
    EXPECT_STREQ(l.level[0][0].strName, "Z2");
    EXPECT_EQ(l.level[0][0].bSigned, 1);
    EXPECT_EQ(l.level[0][0].nBytes, 2);
    EXPECT_EQ(l.level[0][0].nBytePos[0], 6);
    EXPECT_EQ(l.level[0][0].dMax, 32767);
    const ParStructEx* a1 = Find(l.level[0], "A1");
    EXPECT_EQ(a1->nSelCurve, 1);
    EXPECT_EQ(a1->nSelected, 1);
    // Text and infinity in numeric columns read as empty.
    EXPECT_EQ(a1->dMax, 255);
    EXPECT_EQ(a1->dMin, 0);
    EXPECT_EQ(Find(l.level[1], "S")->nBytePos[0], (2 - 1) * (10 + 4) + 9 + 4 - 1);
    EXPECT_EQ(Find(l.level[2], "X")->nBytePos[0], 1);
    EXPECT_TRUE(messages.Texts().empty());
    TelemetyFrameStruct f = lib.FrameStruct();
    EXPECT_EQ(f.nSubframeLen, 10);
    EXPECT_EQ(f.nSuperframeWords, 20);
}

TEST(ConfigDataSource, FileThatIsNoParameterDatabaseIsRefusedAndTheOldOneStays) {
    TempHome home;
    Messages messages;
    ::setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);  // Access copies
    ParameterLibrary lib;
    ASSERT_EQ(lib.Load(), 1);  // the sample
    const std::string sample = RegisteredPath();
    const auto before = Get(lib).level[0].size();

    Spit(home / "notes.mdb", "just some text, not a database\n");
    std::string error;
    auto other = plat::Database::OpenFile(home / "other.mdb",
                                          plat::Database::OpenMode::ReadWriteCreate, &error);
    ASSERT_TRUE(other->Execute("CREATE TABLE 参数属性 (参数名称 TEXT)"));
    other.reset();
    std::string jet(64, '\0');
    jet.replace(4, 15, "Standard Jet DB");
    Spit(home / "access.mdb", jet);

    for (const char* name : {"notes.mdb", "other.mdb", "missing.mdb", "access.mdb"}) {
        EXPECT_EQ(lib.ConfigDataSource((home / name).c_str()), 0) << name;
        EXPECT_EQ(RegisteredPath(), sample) << name;
        EXPECT_EQ(Get(lib).level[0].size(), before) << name;
    }
    EXPECT_EQ(lib.ConfigDataSource(nullptr), 0);
    auto texts = messages.Texts();
    ASSERT_EQ(texts.size(), 5u);
    for (auto& t : texts) EXPECT_EQ(t, "配置任务宏管理数据源失败！");
    EXPECT_EQ(Slurp(home / "notes.mdb"), "just some text, not a database\n");
}

TEST(StreamFile, PresentFileDescribesTheFrameAndBitsPerWordReadEight) {
    TempHome home;
    Messages messages;
    MakeDatabase(home / "p.mdb");
    Spit(home / "ycstream.txt",
         "2\n12\n960000\n0.1\n2\nEB90\n3\n0.3\n1\n03\n1\n11\n1\n4\n1\n1\nBB\n1\n12\n0\n");
    ParameterLibrary lib;
    ASSERT_EQ(lib.ConfigDataSource((home / "p.mdb").c_str()), 1);
    TelemetyFrameStruct f = lib.FrameStruct();
    EXPECT_EQ(f.nTimeCodeWidth, 2);
    EXPECT_EQ(f.nSubframeLen, 12);
    EXPECT_EQ(f.nSuperframeLen, 3);
    EXPECT_EQ(f.nSuperframeWords, 36);
    EXPECT_EQ(f.nWordBits, 8);
    EXPECT_EQ(f.nBitRate, 960000);
    EXPECT_EQ(f.nSyncBits, 16);
    Lists l = Get(lib);
    // Superframe 1 now in word 11 of 12-word subframes after a 2-byte tag.
    EXPECT_EQ(Find(l.level[1], "S")->nBytePos[0], (2 - 1) * (12 + 2) + 11 + 2 - 1);
    // 960000 / 320 = 3000 bytes / 36 payload = 83 superframes of 42 bytes.
    EXPECT_EQ(lib.HandOffSize(), 83 * 42);
    EXPECT_TRUE(messages.Texts().empty());
}

TEST(StreamFile, MalformedFileIsIgnoredWholeWithItsLineNumber) {
    TempHome home;
    Messages messages;
    MakeDatabase(home / "p.mdb");
    Spit(home / "ycstream.txt", "2\n12\n960000\n0.1\n2\nEB90\n3\n0.3\n1\n03\n40\n");
    ParameterLibrary lib;
    ASSERT_EQ(lib.ConfigDataSource((home / "p.mdb").c_str()), 1);
    auto texts = messages.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "流描述文件ycstream.txt第11行有误，已改用参数数据库！");
    TelemetyFrameStruct f = lib.FrameStruct();
    EXPECT_EQ(f.nSubframeLen, 10);
    EXPECT_EQ(f.nTimeCodeWidth, 4);
}
