// Access parameter databases: a Jet 4 file written here (checked with the
// mdbtools programs in the same test) is read through talvora-mdbimport; the
// file is never written and a damaged copy is refused with the message.
#include <gtest/gtest.h>
#include <platform/datasource.h>
#include <platform/notify.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "jet4_writer.h"
#include "library.h"
#include "testsupport/temp_home.h"

using namespace prefs;
using jet4::Type;
using jet4::Value;
using talvora::test::TempHome;

namespace {

std::optional<Value> I(std::int64_t v) {
    return Value(v);
}
std::optional<Value> D(double v) {
    return Value(v);
}
std::optional<Value> S(const char* v) {
    return Value(std::string(v));
}

// 8-bit words, 2-byte tag, 6 words, 3 subframes; superframe 1 in word 6; one
// special superframe of 4 bytes in word 5.
std::vector<std::uint8_t> ParameterFile() {
    jet4::Table params{"参数属性",
                       {{"参数名称", Type::Text},
                        {"物理量含义", Type::Text},
                        {"单位", Type::Text},
                        {"数据类型", Type::Text},
                        {"参数类型", Type::Text},
                        {"副帧号", Type::Byte},
                        {"路号总数", Type::Byte},
                        {"最大值", Type::Double},
                        {"最小值", Type::Double},
                        {"处理类型", Type::Text},
                        {"上限", Type::Double},
                        {"下限", Type::Double},
                        {"参数所在比特", Type::Byte},
                        {"路号1", Type::Long},
                        {"路号2", Type::Long},
                        {"A0", Type::Double},
                        {"A1", Type::Double}},
                       {}};
    params.rows.push_back({S("温度 一"), S("舱内温度"), S("℃"), S("有符号数"), S("子帧"), I(0),
                           I(2), std::nullopt, std::nullopt, S("公式法"), D(100), std::nullopt,
                           I(0), I(3), I(4), D(-10), D(0.5)});
    params.rows.push_back({S("开关"), S(""), S(""), S("无符号数"), S("子帧"), I(0), I(1), D(1),
                           D(0), S("开关量"), D(1), D(0), I(7), I(2), std::nullopt, D(0), D(1)});
    params.rows.push_back({S("副帧参数"), S(""), S(""), S(""), S("副帧"), I(1), I(1), std::nullopt,
                           std::nullopt, S("公式法"), std::nullopt, std::nullopt, I(0), I(2),
                           std::nullopt, std::nullopt, std::nullopt});
    params.rows.push_back({S("特殊参数"), S(""), S(""), S(""), S("特殊副帧"), I(1), I(1),
                           std::nullopt, std::nullopt, S("公式法"), std::nullopt, std::nullopt,
                           I(0), I(3), std::nullopt, std::nullopt, std::nullopt});
    jet4::Table sub{"子帧结构",
                    {{"流别名", Type::Text},
                     {"编码位数", Type::Byte},
                     {"时码宽度", Type::Byte},
                     {"子帧长", Type::Long},
                     {"码速率", Type::Long},
                     {"子帧同步码长", Type::Byte}},
                    {{S("流"), I(8), I(2), I(6), I(768000), I(16)}}};
    jet4::Table super{
        "副帧结构", {{"副帧长", Type::Long}, {"副帧1子帧路号", Type::Long}}, {{I(3), I(6)}}};
    jet4::Table special{"特殊副帧结构",
                        {{"特殊副帧长度", Type::Long},
                         {"字头标记长", Type::Byte},
                         {"字头标记", Type::Text},
                         {"所占路数", Type::Byte},
                         {"实时波道号1", Type::Byte}},
                        {{I(4), I(1), S("AA"), I(1), I(5)}}};
    return jet4::Write({params, sub, super, special});
}

void Spit(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

bool HaveMdbTools() {
    return std::system("command -v mdb-export > /dev/null 2>&1") == 0;
}

class AccessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
        plat::SetNotifySink(sink);
    }
    void TearDown() override {
        plat::SetNotifySink(nullptr);
        ::unsetenv("XDG_CACHE_HOME");
    }
    TempHome home;
    std::shared_ptr<plat::CapturingSink> sink = std::make_shared<plat::CapturingSink>();
};

const ParStructEx* Find(const std::vector<ParStructEx>& list, const std::string& name) {
    for (auto& p : list)
        if (name == p.strName) return &p;
    return nullptr;
}

}  // namespace

TEST_F(AccessTest, JetFileIsReadThroughItsCopyAndNeverWritten) {
    const std::string mdb = home / "参数.mdb";
    Spit(mdb, ParameterFile());
    if (HaveMdbTools()) {
        // The file as the mdbtools programs read it, independently of the import.
        EXPECT_EQ(Output("mdb-tables -1 '" + mdb + "'"),
                  "参数属性\n子帧结构\n副帧结构\n特殊副帧结构\n");
        EXPECT_EQ(Output("mdb-export '" + mdb + "' 副帧结构"), "副帧长,副帧1子帧路号\n3,6\n");
        const std::string params = Output("mdb-export '" + mdb + "' 参数属性");
        EXPECT_NE(params.find("\"温度 一\",\"舱内温度\",\"℃\",\"有符号数\",\"子帧\",0,2,,,"),
                  std::string::npos)
            << params;
    }
    const std::string before = Slurp(mdb);

    ParameterLibrary lib;
    ASSERT_EQ(lib.ConfigDataSource(mdb.c_str()), 1);
    EXPECT_TRUE(sink->Shown().empty());
    EXPECT_EQ(plat::LookupDataSource("ParTB")->database, mdb);
    std::vector<ParStructEx> lists[3];
    std::vector<ParStructEx>* out[3] = {&lists[0], &lists[1], &lists[2]};
    lib.CopyParameters(out);
    ASSERT_EQ(lists[0].size(), 2u);
    ASSERT_EQ(lists[1].size(), 1u);
    ASSERT_EQ(lists[2].size(), 1u);
    const ParStructEx* t = Find(lists[0], "温度一");
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t->strUnit, "℃");
    EXPECT_EQ(t->bSigned, 1);
    EXPECT_EQ(t->nBytes, 2);
    EXPECT_EQ(t->nBytePos[0], 4);  // word 3 after a 2-byte tag
    EXPECT_EQ(t->dMax, 32767);
    EXPECT_EQ(t->dUpper, 100);
    EXPECT_EQ(t->dLower, -32767);
    EXPECT_EQ(t->dCoef[0], -10);
    EXPECT_EQ(t->dCoef[1], 0.5);
    EXPECT_EQ(Find(lists[0], "开关")->nBit, 7);
    EXPECT_EQ(Find(lists[0], "开关")->bFormula, 0);
    EXPECT_EQ(lists[1][0].nBytePos[0], (2 - 1) * (6 + 2) + 6 + 2 - 1);
    EXPECT_EQ(lists[2][0].nBytePos[0], 2);
    const TelemetyFrameStruct f = lib.FrameStruct();
    EXPECT_EQ(f.nSubframeLen, 6);
    EXPECT_EQ(f.nSuperframeLen, 3);
    EXPECT_EQ(f.nBitRate, 768000);
    int n[3];
    EXPECT_EQ(lib.TotalNumber(n[0], n[1], n[2]), 1);
    EXPECT_EQ(n[0], 2);

    EXPECT_EQ(Slurp(mdb), before);
    int copies = 0;
    for (auto& e : std::filesystem::directory_iterator(home / "cache/talvora"))
        copies += e.path().extension() == ".sqlite";
    EXPECT_EQ(copies, 1);
}

TEST_F(AccessTest, DamagedFileCostsTheMessageAndKeepsThePreviousDatabase) {
    ParameterLibrary lib;
    ASSERT_EQ(lib.Load(), 1);  // the sample
    const std::string sample = plat::LookupDataSource("ParTB")->database;
    auto bytes = ParameterFile();
    bytes.resize(2 * 4096);  // the header, the maps and the catalog definition only
    const std::string mdb = home / "damaged.mdb";
    Spit(mdb, bytes);
    EXPECT_EQ(lib.ConfigDataSource(mdb.c_str()), 0);
    ASSERT_EQ(sink->Shown().size(), 1u);
    EXPECT_EQ(sink->Shown()[0].text, "配置任务宏管理数据源失败！");
    EXPECT_EQ(plat::LookupDataSource("ParTB")->database, sample);
    std::vector<ParStructEx> lists[3];
    std::vector<ParStructEx>* out[3] = {&lists[0], &lists[1], &lists[2]};
    lib.CopyParameters(out);
    EXPECT_EQ(lists[0].size(), 6u);
}
