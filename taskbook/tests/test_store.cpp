// Task store and exports against a store file in a temp directory.
#include <gtest/gtest.h>
#include <platform/datasource.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <platform/profile.h>
#include <platform/winmsg.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "schema.h"
#include "taskbook/task_store.h"
#include "taskbook/taskbook.h"

namespace taskbook {
namespace {

// The five records of one stream.
struct Five {
    TaskInfoRecord info;
    DemTaskRecord dem;
    SimTaskRecord sim;
    TimeTaskRecord time;
    RecvTaskRecord recv;
};

std::unique_ptr<Five> NewFive(unsigned char fill = 0) {
    auto f = std::make_unique<Five>();
    std::memset(f.get(), fill, sizeof *f);
    return f;
}

int LoadDefault(Five& f, int stream) {
    return GetDefaultTaskPara(&f.info, &f.dem, &f.sim, &f.time, &f.recv, stream);
}

int Modify(Five& f, int stream) {
    return ModifyTaskMacro(1, &f.info, &f.dem, &f.sim, &f.time, &f.recv, stream);
}

void SetName(Five& f, const std::string& name) {
    std::memset(f.info.任务名, 0, sizeof f.info.任务名);
    std::memcpy(f.info.任务名, name.data(), name.size());
}

class Receiver : public plat::MessageReceiver {
public:
    void OnMessage(std::uint32_t msg, std::uintptr_t w, std::intptr_t l) override {
        messages.push_back({msg, w, l});
    }
    struct M {
        std::uint32_t msg;
        std::uintptr_t w;
        std::intptr_t l;
    };
    std::vector<M> messages;
};

class TaskStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (std::filesystem::temp_directory_path() / "taskbook-XXXXXX").string();
        dir_ = mkdtemp(tmpl.data());
        setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
        plat::SetModuleDirectory(dir_);
        sink_ = std::make_shared<plat::CapturingSink>();
        plat::SetNotifySink(sink_);
        TaskStore::Instance().ResetForTest();
    }
    void TearDown() override {
        TaskStore::Instance().ResetForTest();
        plat::SetNotifySink(nullptr);
        plat::SetModuleDirectory("");
        chmod(StorePath().c_str(), 0644);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::string StorePath() const { return dir_ + "/任务宏管理.mdb"; }

    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const auto& m : sink_->Shown()) out.push_back(m.text);
        return out;
    }

    // Runs SQL on the store file directly, as another program would.
    void Sql(const std::string& sql) {
        std::string error;
        auto db =
            plat::Database::OpenFile(StorePath(), plat::Database::OpenMode::ReadWrite, &error);
        ASSERT_TRUE(db) << error;
        ASSERT_TRUE(db->Execute(sql)) << db->LastError();
    }

    // Every row of every table, as text.
    std::string Dump() {
        std::string error;
        auto db = plat::Database::OpenFile(StorePath(), plat::Database::OpenMode::ReadOnly, &error);
        if (!db) return "unopenable: " + error;
        std::ostringstream out;
        auto tables =
            db->Prepare("SELECT name FROM sqlite_master WHERE type='table' ORDER BY name");
        std::vector<std::string> names;
        while (tables && tables->Step() == plat::Statement::StepResult::Row)
            names.push_back(*tables->Text("name"));
        for (const auto& n : names) {
            out << "[" << n << "]\n";
            auto rows = db->Prepare("SELECT * FROM \"" + n + "\" ORDER BY 1");
            while (rows && rows->Step() == plat::Statement::StepResult::Row) {
                for (int i = 0; i < rows->ColumnCount(); ++i) {
                    auto v = rows->Column(i);
                    out << v.index() << ":" << rows->Text(rows->ColumnName(i)).value_or("NULL")
                        << "|";
                }
                out << "\n";
            }
        }
        return out.str();
    }

    std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::string dir_;
    std::shared_ptr<plat::CapturingSink> sink_;
};

TEST_F(TaskStoreTest, MissingStoreIsCreatedWithCurrentAndSelfCheckTasks) {
    auto f = NewFive(0xEE);
    ASSERT_EQ(LoadDefault(*f, 1), 1);
    EXPECT_TRUE(Messages().empty());
    EXPECT_STREQ(f->info.任务名, "当前任务");
    EXPECT_EQ(f->info.默认任务, 1u);
    EXPECT_EQ(f->info.streams[0].选择解调器, 1u);
    EXPECT_EQ(f->info.选择遥测仿真器, 0u);

    // Device records hold the card defaults, so the program runs out of the box.
    DemParam dem;
    FillDefault(dem);
    EXPECT_EQ(std::memcmp(&f->dem.dem, &dem, sizeof dem), 0);
    EXPECT_EQ(std::memcmp(&f->recv.dem, &dem, sizeof dem), 0);
    SimParam sim;
    FillDefault(sim);
    EXPECT_EQ(std::memcmp(&f->sim.sim, &sim, sizeof sim), 0);
    EXPECT_EQ(std::memcmp(&f->recv.sim, &sim, sizeof sim), 0);
    EXPECT_EQ(f->dem.decipher.加密周期, 4u);
    EXPECT_EQ(f->dem.decipher.帧计数路序, 5u);
    EXPECT_STREQ(f->dem.channels.密钥波道, "1,2,");
    EXPECT_STREQ(f->sim.channels.加密波道, "3,4,");
    EXPECT_EQ(f->time.参考波道, 24u);
    EXPECT_EQ(f->time.参考门限, 65535u);

    // Registered under its data-source name; the file keeps its name.
    std::string ini = dir_ + "/config/talvora/odbc.ini";
    EXPECT_EQ(plat::GetPrivateProfileString("Zt9-TaskMacro", "Database", "", 4096, ini),
              StorePath());

    auto s = NewFive();
    ASSERT_EQ(GetCheckSelfTaskPara(&s->info, &s->dem, &s->sim, &s->time, &s->recv, 3), 1);
    EXPECT_STREQ(s->info.任务名, "*自检*");
    EXPECT_EQ(s->info.默认任务, 0u);
}

TEST_F(TaskStoreTest, SelfCheckTaskMissingIsReported) {
    auto f = NewFive();
    ASSERT_EQ(LoadDefault(*f, 1), 1);
    for (const auto& t : Tables()) Sql("DELETE FROM \"" + t.name + "\" WHERE 任务名='*自检*'");
    auto before = NewFive(0x5A);
    auto s = NewFive(0x5A);
    EXPECT_EQ(GetCheckSelfTaskPara(&s->info, &s->dem, &s->sim, &s->time, &s->recv, 1), 0);
    EXPECT_EQ(Messages(), std::vector<std::string>{"没有建立“*自检*”任务，请新建！\t"});
    EXPECT_EQ(std::memcmp(s.get(), before.get(), sizeof *s), 0);
}

// A task with a value in every record column, consistent across the records
// that share the receiver's settings.
void FillDistinct(Five& f, int seed) {
    auto u = [&](int k) { return static_cast<std::uint32_t>(seed * 100 + k); };
    SetName(f, "当前任务");
    // Bytes after a text's NUL are not stored: clear the arrays first.
    std::memset(f.info.任务描述, 0, sizeof f.info.任务描述);
    std::memset(f.info.执行地点, 0, sizeof f.info.执行地点);
    std::memset(f.info.执行时间, 0, sizeof f.info.执行时间);
    std::strcpy(f.info.任务描述, "描述 with 'quotes' and \"more\"");
    std::strcpy(f.info.执行地点, "发射场");
    std::strcpy(f.info.执行时间, "2026-12-8 9:30:0");
    f.info.streams[1] = {1, 0, 1, 0, 1};
    f.info.选择安控终端2 = 1;
    f.info.选择天线控制器 = 1;
    f.info.默认任务 = 1;

    for (DemParam* d : {&f.dem.dem, &f.recv.dem}) {
        d->输入频率 = 2210123456.75 + seed;
        d->信号来源 = 2;
        d->中频带宽 = 17;
        d->解调模式 = 6;
        d->QPSK解调极性 = 2;
        d->伪码长度 = 7;
        d->伪码来源 = 2;
        d->伪码组号 = u(1);
        d->信道译码 = 4;
        d->卷积译码 = 1;
        d->RS码交织深度 = u(2);
        d->RS码虚拟填充 = u(3);
        d->RS码块同步码 = 0xDEADBEEF;
        d->MSD检测 = 1;
        d->矩阵类型 = 3;
        d->TPC信息有效字 = 4095;
        d->TPC码块同步码 = 0x12345678;
    }
    for (SimParam* s : {&f.sim.sim, &f.recv.sim}) {
        s->Sim输出频率 = 2250000000.5;
        s->Sim输出功率 = u(4);
        s->Sim调制控制 = 0;
        s->Sim调制模式 = 5;
        s->SimQPSK调制极性 = 1;
        s->Sim伪码长度 = 3;
        s->Sim伪码组号 = u(5);
        s->Sim伪码来源 = 1;
        s->Sim信道编码 = 6;
        s->Sim卷积编码 = 1;
        s->SimRS码交织深度 = 8;
        s->SimRS码虚拟填充 = 9;
        s->SimRS码块同步码 = 0xCAFEF00D;
        s->Sim矩阵类型 = 2;
        s->SimTPC信息有效字 = 1023;
        s->SimTPC码块同步码 = 0x0BADC0DE;
    }
    DemParam& d = f.dem.dem;
    d.数据源 = 3;
    d.码型 = 6;
    d.码率 = 20000000;
    d.字长 = 16;
    d.子帧长 = 2048;
    d.副帧长 = 64;
    d.副帧类型 = 3;
    d.帧同步码 = 0xFE6B2840FAF320ull;
    d.帧同步码位长 = 56;
    d.帧同步码位置 = u(6);
    d.帧同步码位置2 = u(7);
    d.码同步模糊 = 0;
    d.副帧路序 = u(8);
    d.副帧同步码 = 0xABCD;
    d.ID码计数方式 = 0;
    d.ID码初值 = u(9);
    d.环路带宽 = 1;
    d.搜索容错位数 = 3;
    d.同步容错位数 = 2;
    d.惯性同步帧数 = 4;
    d.校核帧数 = 5;
    d.时统模式 = 1;
    d.配时精度 = 1;
    d.配时密度 = 1;
    f.dem.decipher.加解密开关 = 1;
    f.dem.decipher.密钥长度 = 1;
    f.dem.decipher.加密周期 = 256;
    f.dem.decipher.加密起始帧 = u(10);
    f.dem.decipher.帧计数路序 = 11;
    std::memset(&f.dem.channels, 0, sizeof f.dem.channels);
    std::strcpy(f.dem.channels.密钥波道,
                "5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,");
    std::strcpy(f.dem.channels.加密波道, "30,31,");

    SimParam& s = f.sim.sim;
    s.码型 = 4;
    s.码率 = 1000;
    s.字长 = 12;
    s.子帧长 = 4;
    s.副帧长 = 2;
    s.副帧类型 = 0;
    s.帧同步码 = 0x1ACFFC1D;
    s.帧同步码位长 = 32;
    s.帧同步码位置 = 1;
    s.副帧路序 = 3;
    s.副帧同步码 = 0;
    s.ID码计数方式 = 1;
    s.ID码初值 = 255;
    s.信号类型 = 1;
    s.信号初值 = 4095;
    s.台阶码步进 = 7;
    s.帧计数高位使能 = 0;
    s.帧计数高位路序 = 2;
    s.帧计数中位使能 = 1;
    s.帧计数中位路序 = 3;
    s.帧计数低位使能 = 0;
    s.帧计数低位路序 = 4;
    s.正弦波使能 = 0;
    s.正弦波路序 = 2;
    s.正弦波步进 = 255;
    s.数据异或使能 = 1;
    s.异或操作数 = 0x5A5A5A5A;
    f.sim.decipher.加解密开关 = 1;
    f.sim.decipher.密钥长度 = 0;
    f.sim.decipher.加密周期 = 1;
    f.sim.decipher.加密起始帧 = 256;
    f.sim.decipher.帧计数路序 = 1;
    std::memset(&f.sim.channels, 0, sizeof f.sim.channels);
    std::strcpy(f.sim.channels.密钥波道, "1,");
    std::strcpy(f.sim.channels.加密波道, "2,3,4,");

    TimeTaskRecord& t = f.time;
    t.basic.时统模式 = 2;
    t.basic.内时统基准模式 = 1;
    t.basic.内时统同步模式 = 1;
    t.basic.内时统校准使能 = 1;
    t.basic.内时统校准时间 = {60, 23, 59, 58, 0};
    t.定时起飞时间 = {u(11) % 365 + 1, 1, 2, 3, 0};
    t.定时起飞使能 = 1;
    t.选路起飞使能 = 0;
    t.起飞使能 = 1;
    t.外部起飞使能 = 1;
    t.参考波道 = 13702;
    t.参考门限 = 0;

    // The receiver's halves are whole device records with the same settings.
    f.recv.dem = f.dem.dem;
    f.recv.sim = f.sim.sim;
}

TEST_F(TaskStoreTest, WrittenTaskReadsBackByteIdentical) {
    auto f = NewFive();
    ASSERT_EQ(LoadDefault(*f, 2), 1);
    FillDistinct(*f, 2);
    ASSERT_EQ(Modify(*f, 2), 1) << (Messages().empty() ? "" : Messages()[0]);

    TaskStore::Instance().ResetForTest();  // read from the file, not from memory
    auto back = NewFive(0xEE);
    ASSERT_EQ(LoadDefault(*back, 2), 1);
    EXPECT_EQ(std::memcmp(&back->info, &f->info, sizeof f->info), 0);
    EXPECT_EQ(std::memcmp(&back->dem, &f->dem, sizeof f->dem), 0);
    EXPECT_EQ(std::memcmp(&back->sim, &f->sim, sizeof f->sim), 0);
    EXPECT_EQ(std::memcmp(&back->time, &f->time, sizeof f->time), 0);
    EXPECT_EQ(std::memcmp(&back->recv, &f->recv, sizeof f->recv), 0);

    // The other streams of the task kept what they had.
    auto one = NewFive();
    ASSERT_EQ(LoadDefault(*one, 1), 1);
    DemParam dem;
    FillDefault(dem);
    EXPECT_EQ(std::memcmp(&one->dem.dem, &dem, sizeof dem), 0);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(TaskStoreTest, AllThreeStreamsRoundTripAtOnce) {
    auto s1 = NewFive(), s2 = NewFive(), s3 = NewFive();
    ASSERT_EQ(
        GetDefaultTaskPara2(&s1->info, &s1->dem, &s1->sim, &s1->time, &s1->recv, &s2->dem, &s2->sim,
                            &s2->time, &s2->recv, &s3->dem, &s3->sim, &s3->time, &s3->recv),
        1);
    FillDistinct(*s1, 1);
    FillDistinct(*s2, 2);
    FillDistinct(*s3, 3);
    ASSERT_EQ(
        ModifyTaskMacro2(&s1->info, &s1->dem, &s1->sim, &s1->time, &s1->recv, &s2->dem, &s2->sim,
                         &s2->time, &s2->recv, &s3->dem, &s3->sim, &s3->time, &s3->recv),
        1);
    TaskStore::Instance().ResetForTest();
    for (int s = 1; s <= 3; ++s) {
        auto back = NewFive(0xEE);
        ASSERT_EQ(LoadDefault(*back, s), 1);
        const Five& want = s == 1 ? *s1 : s == 2 ? *s2 : *s3;
        EXPECT_EQ(std::memcmp(&back->dem, &want.dem, sizeof want.dem), 0) << s;
        EXPECT_EQ(std::memcmp(&back->sim, &want.sim, sizeof want.sim), 0) << s;
        EXPECT_EQ(std::memcmp(&back->time, &want.time, sizeof want.time), 0) << s;
        EXPECT_EQ(std::memcmp(&back->recv, &want.recv, sizeof want.recv), 0) << s;
    }
}

TEST_F(TaskStoreTest, ReceiverHalvesCarryTheFrameSettingsOfTheTask) {
    auto f = NewFive();
    ASSERT_EQ(LoadDefault(*f, 1), 1);
    // Rows as another program leaves them, not as the encoder writes them.
    Sql("UPDATE 解调器2参数表 SET 码率=2000000, 字长=16, 子帧长=64, 副帧长=8, 副帧类型='ID副帧', "
        "帧同步码='1ACFFC1D', 帧同步码位长=32 WHERE 任务名='当前任务';"
        "UPDATE 模拟器2参数表 SET 码率=1000, 字长=12, 子帧长=4, 副帧长=2 WHERE 任务名='当前任务';"
        "UPDATE 接收机2参数表 SET 输入频率=2250000000.0, Sim输出功率=17 WHERE 任务名='当前任务'");
    TaskStore::Instance().ResetForTest();

    auto r = NewFive(0xEE);
    ASSERT_EQ(LoadDefault(*r, 2), 1);
    const auto* recvDem = reinterpret_cast<const unsigned char*>(&r->recv.dem);
    auto word = [](const unsigned char* b, std::size_t off) {
        return b[off] | b[off + 1] << 8 | b[off + 2] << 16 | std::uint32_t(b[off + 3]) << 24;
    };
    EXPECT_EQ(word(recvDem, 28), 2000000u);  // code rate
    EXPECT_EQ(word(recvDem, 36), 16u);       // word length
    EXPECT_EQ(word(recvDem, 40), 64u);       // subframe length
    EXPECT_EQ(word(recvDem, 44), 8u);        // superframe length
    EXPECT_EQ(word(recvDem, 48), 2u);        // ID superframe
    EXPECT_EQ(word(recvDem, 8), 0x1ACFFC1Du);
    EXPECT_EQ(word(recvDem, 20), 32u);
    const auto* recvSim = reinterpret_cast<const unsigned char*>(&r->recv.sim);
    EXPECT_EQ(word(recvSim, 36), 1000u);
    EXPECT_EQ(word(recvSim, 44), 12u);
    EXPECT_EQ(word(recvSim, 48), 4u);
    EXPECT_EQ(word(recvSim, 52), 2u);
    EXPECT_EQ(word(recvSim, 136), 17u);
    // One setting per device: either record re-frames the card alike.
    EXPECT_EQ(std::memcmp(&r->recv.dem, &r->dem.dem, sizeof r->recv.dem), 0);
    EXPECT_EQ(std::memcmp(&r->recv.sim, &r->sim.sim, sizeof r->recv.sim), 0);

    // The other streams keep the card defaults in both records.
    auto one = NewFive();
    ASSERT_EQ(LoadDefault(*one, 1), 1);
    EXPECT_EQ(one->recv.dem.码率, 4000000u);
    EXPECT_EQ(one->dem.dem.码率, 4000000u);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(TaskStoreTest, TaskNameWithQuotesIsBoundNotSpliced) {
    auto f = NewFive();
    ASSERT_EQ(LoadDefault(*f, 1), 1);
    std::string before = Dump();
    for (const std::string name :
         {"O'Brien的任务", "x' OR '1'='1", "a'; DROP TABLE 任务信息表; --"}) {
        SetName(*f, name);
        f->info.默认任务 = 0;
        ASSERT_EQ(Modify(*f, 1), 1) << name;
    }
    auto list = TaskStore::Instance().TaskList();
    ASSERT_TRUE(list);
    std::vector<std::string> names;
    for (const auto& e : *list) names.push_back(e.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"*自检*", "O'Brien的任务", "a'; DROP TABLE 任务信息表; --",
                                        "x' OR '1'='1", "当前任务"}));
    // The tasks that were there are untouched: drop the new ones and compare.
    for (const auto& t : Tables()) Sql("DELETE FROM \"" + t.name + "\" WHERE 任务名 LIKE '%''%'");
    EXPECT_EQ(Dump(), before);
}

TEST_F(TaskStoreTest, NewTaskTakesOtherDevicesFromTaskInHand) {
    auto f = NewFive();
    ASSERT_EQ(LoadDefault(*f, 1), 1);
    Sql("UPDATE 天线控制器参数表 SET \"工作频率(MHz)\"=2255.5 WHERE 任务名='当前任务'");
    TaskStore::Instance().ResetForTest();
    ASSERT_EQ(LoadDefault(*f, 1), 1);
    SetName(*f, "新任务");
    ASSERT_EQ(Modify(*f, 1), 1);
    std::string error;
    auto db = plat::Database::OpenFile(StorePath(), plat::Database::OpenMode::ReadOnly, &error);
    auto st =
        db->Prepare("SELECT \"工作频率(MHz)\" AS f FROM 天线控制器参数表 WHERE 任务名='新任务'");
    ASSERT_TRUE(st && st->Step() == plat::Statement::StepResult::Row);
    EXPECT_EQ(std::get<double>(st->Column("f")), 2255.5);
}

TEST_F(TaskStoreTest, WithoutCurrentTaskTheKeptThenTheDefaultTaskIsLoaded) {
    auto f = NewFive();
    ASSERT_EQ(LoadDefault(*f, 1), 1);
    SetName(*f, "甲任务");
    f->info.默认任务 = 1;
    ASSERT_EQ(Modify(*f, 1), 1);
    SetName(*f, "乙任务");
    f->info.默认任务 = 0;
    ASSERT_EQ(Modify(*f, 1), 1);
    ASSERT_TRUE(TaskStore::Instance().Delete("当前任务"));
    TaskStore::Instance().ResetForTest();

    ASSERT_EQ(LoadDefault(*f, 1), 1);
    EXPECT_STREQ(f->info.任务名, "甲任务");  // the one marked as default
    Sql("UPDATE 任务信息表 SET 默认任务='0' WHERE 任务名='甲任务';"
        "UPDATE 任务信息表 SET 默认任务='-1' WHERE 任务名='乙任务'");
    ASSERT_EQ(LoadDefault(*f, 1), 1);
    EXPECT_STREQ(f->info.任务名, "甲任务");  // the name kept from the earlier load
}

TEST_F(TaskStoreTest, StationRowsAreSavedAsGiven) {
    auto records = std::make_unique<TaskRecords>();
    TaskRows rows;
    ASSERT_TRUE(TaskStore::Instance().Load("*自检*", *records, &rows));
    std::size_t ti = 0;
    while (Tables()[ti].name != "仿真器通道2参数表") ++ti;
    rows.tables[ti][0] = 2222.25;
    ASSERT_TRUE(TaskStore::Instance().Save(rows));
    TaskStore::Instance().ResetForTest();
    TaskRows again;
    ASSERT_TRUE(TaskStore::Instance().Load("*自检*", *records, &again));
    EXPECT_EQ(std::get<double>(again.tables[ti][0]), 2222.25);
    EXPECT_STREQ(records->info.任务名, "*自检*");
}

TEST_F(TaskStoreTest, EmptyTaskNameCannotBeLocated) {
    auto f = NewFive();
    ASSERT_EQ(LoadDefault(*f, 1), 1);
    std::string before = Dump();
    SetName(*f, "");
    EXPECT_EQ(Modify(*f, 1), 0);
    EXPECT_EQ(Messages(), std::vector<std::string>{"任务名为空，不能定位！\t\t\t"});
    EXPECT_EQ(Dump(), before);
}

TEST_F(TaskStoreTest, StoredTextLongerThanTheRecordSurvivesAnUnchangedWrite) {
    auto f = NewFive();
    ASSERT_EQ(LoadDefault(*f, 1), 1);
    std::string longText;
    for (int i = 0; i < 500; ++i) longText += "长";  // 1,500 bytes in UTF-8
    Sql("UPDATE 任务信息表 SET 任务描述='" + longText + "' WHERE 任务名='当前任务'");
    std::string keys = "1,";
    for (int c = 2; c <= 2000; ++c) keys += std::to_string(c) + ",";
    Sql("UPDATE 解调器1参数表 SET 加密波道='" + keys + "' WHERE 任务名='当前任务'");
    TaskStore::Instance().ResetForTest();

    ASSERT_EQ(LoadDefault(*f, 1), 1);
    EXPECT_EQ(std::strlen(f->info.任务描述), 1023u - 1023u % 3);  // whole characters only
    std::string cut = f->dem.channels.加密波道;
    EXPECT_EQ(cut.back(), ',');
    EXPECT_EQ(keys.compare(0, cut.size(), cut), 0);

    f->dem.dem.码率 = 1000000;  // change something else in the same rows
    ASSERT_EQ(Modify(*f, 1), 1);
    std::string error;
    auto db = plat::Database::OpenFile(StorePath(), plat::Database::OpenMode::ReadOnly, &error);
    auto st = db->Prepare(
        "SELECT i.任务描述 AS d, m.加密波道 AS k, m.码率 AS r FROM 任务信息表 i, "
        "解调器1参数表 m WHERE i.任务名='当前任务' AND m.任务名='当前任务'");
    ASSERT_TRUE(st && st->Step() == plat::Statement::StepResult::Row);
    EXPECT_EQ(st->Text("d"), longText);
    EXPECT_EQ(st->Text("k"), keys);
    EXPECT_EQ(st->Text("r"), "1000000");
}

TEST_F(TaskStoreTest, CorruptStoreIsReportedAndLeftAlone) {
    std::string garbage(8192, '\x5c');
    std::ofstream(StorePath(), std::ios::binary) << garbage;
    auto f = NewFive(0x11);
    auto untouched = NewFive(0x11);
    EXPECT_EQ(LoadDefault(*f, 1), 0);
    EXPECT_EQ(std::memcmp(f.get(), untouched.get(), sizeof *f), 0);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].rfind("连接数据库失败！错误信息：", 0), 0u) << Messages()[0];
    SetName(*f, "当前任务");
    EXPECT_EQ(Modify(*f, 1), 0);
    EXPECT_EQ(ReadFile(StorePath()), garbage);
}

TEST_F(TaskStoreTest, MissingOrEmptyTableIsReportedAndNothingIsWritten) {
    auto f = NewFive();
    ASSERT_EQ(LoadDefault(*f, 1), 1);
    Sql("DROP TABLE 时码器2参数表");
    TaskStore::Instance().ResetForTest();
    std::string before = Dump();
    EXPECT_EQ(LoadDefault(*f, 1), 0);
    EXPECT_EQ(Messages(), std::vector<std::string>{"时码器2参数表：表内数据为空！\t\t\t"});
    f->dem.dem.码率 = 1234;
    EXPECT_EQ(Modify(*f, 1), 0);
    EXPECT_EQ(Dump(), before);

    Sql("CREATE TABLE 时码器2参数表 (任务名 TEXT)");  // present but empty
    sink_->Clear();
    EXPECT_EQ(LoadDefault(*f, 1), 0);
    EXPECT_EQ(Messages(), std::vector<std::string>{"时码器2参数表：表内数据为空！\t\t\t"});
}

TEST_F(TaskStoreTest, ReadOnlyStoreReadsButRefusesWritesAndKeepsData) {
    auto f = NewFive();
    ASSERT_EQ(LoadDefault(*f, 1), 1);
    TaskStore::Instance().ResetForTest();
    ASSERT_EQ(chmod(StorePath().c_str(), 0444), 0);
    ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
    // Root writes through file modes; open read-only as a protected file opens.
    if (access(StorePath().c_str(), W_OK) == 0) TaskStore::Instance().SetReadOnlyForTest(true);
    std::string before = Dump();

    auto r = NewFive();
    ASSERT_EQ(LoadDefault(*r, 1), 1);
    EXPECT_EQ(r->dem.dem.码率, 4000000u);
    r->dem.dem.码率 = 1000;
    EXPECT_EQ(Modify(*r, 1), 0);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].rfind("任务宏保存失败！错误信息：", 0), 0u) << Messages()[0];
    chmod(dir_.c_str(), 0755);
    EXPECT_EQ(Dump(), before);
}

TEST_F(TaskStoreTest, UnusableStoreDirectoriesGiveTheirMessages) {
    auto f = NewFive();
    plat::SetModuleDirectory(dir_ + "/absent");
    EXPECT_EQ(LoadDefault(*f, 1), 0);
    EXPECT_EQ(Messages(), std::vector<std::string>{"不能定位任务宏管理数据库文件路径！\t"});

    // A '?' in the path ends the attribute early, so it cannot be registered.
    std::filesystem::create_directory(dir_ + "/a?b");
    plat::SetModuleDirectory(dir_ + "/a?b");
    sink_->Clear();
    EXPECT_EQ(LoadDefault(*f, 1), 0);
    EXPECT_EQ(Messages(), std::vector<std::string>{"配置任务宏管理数据源失败！\t\t"});
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/a?b/任务宏管理.mdb"));

    std::filesystem::create_directory(dir_ + "/a?x=y");
    plat::SetModuleDirectory(dir_ + "/a?x=y");
    sink_->Clear();
    EXPECT_EQ(LoadDefault(*f, 1), 0);
    EXPECT_EQ(Messages(), std::vector<std::string>{"配置任务宏管理数据源失败！\t\t"});
}

// Which records of stream `s` an apply code selects, written out by hand.
struct Expect {
    int code, stream;
    bool dem, sim, time, recv;
};

TEST_F(TaskStoreTest, ApplyCopiesExactlyTheRecordsTheCodeSelects) {
    Receiver owner;
    int window = 0;
    plat::RegisterWindow(&window, &owner);
    TaskMacroManage(&window, 2, kModeEditApply, 127);
    EXPECT_EQ(TaskStore::Instance().LastCaller().owner, &window);

    auto applied = std::make_unique<TaskRecords>();
    std::memset(applied.get(), 0x33, sizeof *applied);
    std::memset(applied->info.任务名, 0, sizeof applied->info.任务名);
    std::strcpy(applied->info.任务名, "已应用");
    for (auto& sel : applied->info.streams) sel = {0, 0, 0, 0, 0};
    applied->info.streams[0].选择解调器 = 1;  // whole-card apply takes these two
    applied->info.streams[0].选择接收机 = 1;
    for (int s = 0; s < 3; ++s) {
        auto* b = reinterpret_cast<unsigned char*>(&applied->streams[s]);
        for (std::size_t i = 0; i < sizeof applied->streams[s]; i += 4096) b[i] = 0x40 + s;
    }

    const Expect cases[] = {
        {2, 1, false, false, false, false},  {15, 1, true, false, false, false},
        {25, 1, false, false, false, false}, {25, 2, true, false, false, false},
        {17, 1, false, true, false, false},  {39, 3, false, false, true, false},
        {13, 1, false, false, false, true},  {6, 3, true, true, true, true},
        {1, 1, true, false, false, true},    {1, 2, false, false, false, false},
        {3, 1, true, true, true, true},      {7, 1, true, true, true, true},
        {5, 3, true, true, true, true},      {8, 2, true, true, true, true},
        {4, 1, false, false, false, false},  {9, 2, false, false, false, false},
        {41, 1, false, false, false, false}, {61, 1, false, false, false, false},
        {51, 2, false, false, false, false},
    };
    for (const Expect& e : cases) {
        SCOPED_TRACE("code " + std::to_string(e.code) + " stream " + std::to_string(e.stream));
        owner.messages.clear();
        ASSERT_TRUE(TaskStore::Instance().ApplyAndNotify(e.code, *applied));
        ASSERT_EQ(owner.messages.size(), 1u);
        EXPECT_EQ(owner.messages[0].msg, 1204u);
        EXPECT_EQ(owner.messages[0].w, static_cast<std::uintptr_t>(e.code));
        EXPECT_EQ(owner.messages[0].l, 0);

        auto out = NewFive(0xEE);
        auto blank = NewFive(0xEE);
        ASSERT_EQ(GetApplyPara(&out->info, &out->dem, &out->sim, &out->time, &out->recv, e.stream),
                  1);
        const StreamRecords& src = applied->streams[e.stream - 1];
        EXPECT_EQ(std::memcmp(&out->info, &applied->info, sizeof out->info), 0);
        auto check = [&](const void* got, const void* want, const void* none, std::size_t n,
                         bool selected, const char* what) {
            EXPECT_EQ(std::memcmp(got, selected ? want : none, n), 0) << what;
        };
        check(&out->dem, &src.dem, &blank->dem, sizeof out->dem, e.dem, "dem");
        check(&out->sim, &src.sim, &blank->sim, sizeof out->sim, e.sim, "sim");
        check(&out->time, &src.time, &blank->time, sizeof out->time, e.time, "time");
        check(&out->recv, &src.recv, &blank->recv, sizeof out->recv, e.recv, "recv");
    }

    // All streams at once: code 25 touches stream 2's demodulator only.
    TaskStore::Instance().ApplyAndNotify(25, *applied);
    auto a = NewFive(0xEE), b = NewFive(0xEE), c = NewFive(0xEE), blank = NewFive(0xEE);
    ASSERT_EQ(GetApplyPara2(&a->info, &a->dem, &a->sim, &a->time, &a->recv, &b->dem, &b->sim,
                            &b->time, &b->recv, &c->dem, &c->sim, &c->time, &c->recv),
              1);
    EXPECT_EQ(std::memcmp(&b->dem, &applied->streams[1].dem, sizeof b->dem), 0);
    EXPECT_EQ(std::memcmp(&a->dem, &blank->dem, sizeof a->dem), 0);
    EXPECT_EQ(std::memcmp(&c->dem, &blank->dem, sizeof c->dem), 0);
    EXPECT_EQ(std::memcmp(&b->sim, &blank->sim, sizeof b->sim), 0);
    plat::UnregisterWindow(&window);
}

TEST_F(TaskStoreTest, BeforeAnyApplyTheStartupTaskIsApplied) {
    auto f = NewFive(0xEE);
    ASSERT_EQ(GetApplyPara(&f->info, &f->dem, &f->sim, &f->time, &f->recv, 1), 1);
    EXPECT_STREQ(f->info.任务名, "当前任务");
    auto blank = NewFive(0xEE);
    EXPECT_EQ(std::memcmp(&f->dem, &blank->dem, sizeof f->dem), 0);  // no code yet
    EXPECT_EQ(GetApplyPara(nullptr, &f->dem, &f->sim, &f->time, &f->recv, 1), 0);
}

}  // namespace
}  // namespace taskbook
