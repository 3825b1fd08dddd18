// The replay dialog and the storage settings dialog on files written here:
// what a file shows, which starts are refused and where a start begins.
#include <gtest/gtest.h>
#include <platform/notify.h>
#include <recording/dat_header.h>
#include <stdlib.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "replay_dlg.h"
#include "storage_dlg.h"

namespace {

class Boxes : public plat::NotifySink {
public:
    int Show(const plat::MessageRequest& r) override {
        std::lock_guard lock(mutex_);
        texts.push_back(r.text);
        return plat::DefaultAnswer(r.type);
    }
    std::vector<std::string> Take() {
        std::lock_guard lock(mutex_);
        return std::exchange(texts, {});
    }

private:
    std::mutex mutex_;
    std::vector<std::string> texts;
};

DemParam Dem() {
    DemParam d{};
    d.字长 = 8;
    d.子帧长 = 24;
    d.副帧长 = 4;
    d.码率 = 1000000;
    d.帧同步码位长 = 16;
    return d;
}

// A BCD tag for a time of day in whole ms.
void Tag(std::uint8_t* t, long ms) {
    const int h = int(ms / 3600000), m = int(ms / 60000 % 60), s = int(ms / 1000 % 60),
              r = int(ms % 1000);
    t[0] = std::uint8_t((r % 10) << 4);
    t[1] = std::uint8_t((r / 100) << 4 | (r / 10 % 10));
    t[2] = std::uint8_t((s / 10) << 4 | s % 10);
    t[3] = std::uint8_t((m / 10) << 4 | m % 10);
    t[4] = std::uint8_t((h / 10) << 4 | h % 10);
}

// `records` 32-byte records from `startMs` on, `stepMs` apart, after a
// header when asked for.
struct DatFile {
    std::string path;
    DatFile(bool header, int records, long startMs, long stepMs) {
        char name[] = "/tmp/talvora-dlg-XXXXXX";
        const int fd = mkstemp(name);
        close(fd);
        path = name;
        std::vector<std::uint8_t> bytes;
        if (header) {
            bytes.resize(1024);
            recording::BuildHeader(Dem(), {}, std::uint64_t(records) * 32, 0,
                                   std::span<std::uint8_t, 1024>(bytes.data(), 1024));
        }
        for (int i = 0; i < records; ++i) {
            std::uint8_t rec[32] = {};
            Tag(rec, (startMs + stepMs * i) % 86400000);
            bytes.insert(bytes.end(), rec, rec + 32);
        }
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    ~DatFile() { std::remove(path.c_str()); }
};

class ReplayDlgTest : public ::testing::Test {
protected:
    void SetUp() override { plat::SetNotifySink(boxes_); }
    void TearDown() override { plat::SetNotifySink(nullptr); }
    void At(CReplayDlg& d, int h, int m, int s, int ms) {
        for (auto* r : d.findChildren<QRadioButton*>())
            if (r->text() == QStringLiteral("指定开始时间")) r->setChecked(true);
        d.findChild<QLineEdit*>("hour")->setText(QString::number(h));
        d.findChild<QLineEdit*>("minute")->setText(QString::number(m));
        d.findChild<QLineEdit*>("second")->setText(QString::number(s));
        d.findChild<QLineEdit*>("ms")->setText(QString::number(ms));
    }
    std::shared_ptr<Boxes> boxes_ = std::make_shared<Boxes>();
};

using Texts = std::vector<std::string>;

}  // namespace

TEST_F(ReplayDlgTest, FileWithoutHeaderStartsAtOffsetZeroWithEB90) {
    DatFile f(false, 100, 1000, 10);
    CReplayDlg d(nullptr, Dem(), false, 1);
    ASSERT_TRUE(d.OpenFile(f.path));
    EXPECT_EQ(d.Field("header")->text(), "0");
    EXPECT_EQ(d.Field("sync")->text(), "EB90");
    EXPECT_EQ(d.Field("size")->text(), "3200");
    EXPECT_EQ(d.findChild<QLabel*>("startTime")->text(), "00:00:01:000.0");
    EXPECT_EQ(d.findChild<QLabel*>("endTime")->text(), "00:00:01:990.0");
    ASSERT_TRUE(d.Start(1));
    EXPECT_EQ(d.Choice().headerLength, 0u);
    EXPECT_EQ(d.Choice().description.帧同步码Low, 0xEB90u);
    EXPECT_EQ(d.Choice().recordCount, 100u);
    EXPECT_EQ(d.Choice().startRecord, 0u);
    EXPECT_TRUE(boxes_->Take().empty());
}

TEST_F(ReplayDlgTest, StartTimeAtTheEndIsRefusedAtTheStartGivesRecordZero) {
    DatFile f(true, 101, 3600000, 10);  // 01:00:00.000 to 01:00:01.000
    CReplayDlg d(nullptr, Dem(), false, 1);
    ASSERT_TRUE(d.OpenFile(f.path));
    EXPECT_EQ(d.Field("header")->text(), "1024");
    At(d, 1, 0, 1, 0);
    EXPECT_FALSE(d.Start(2));
    At(d, 0, 59, 59, 999);
    EXPECT_FALSE(d.Start(2));
    EXPECT_EQ(boxes_->Take(), (Texts{"您设置的回放时间必须小于文件结束时间！",
                                     "您设置的回放时间必须大于文件开始时间！"}));
    At(d, 1, 0, 0, 500);
    ASSERT_TRUE(d.Start(2));
    EXPECT_EQ(d.Choice().startRecord, 50u);
    At(d, 1, 0, 0, 0);
    ASSERT_TRUE(d.Start(2));
    EXPECT_EQ(d.Choice().startRecord, 0u);
}

TEST_F(ReplayDlgTest, FileAcrossMidnightAcceptsATimeAfterMidnight) {
    DatFile f(true, 201, 86400000 - 1000, 10);  // 23:59:59.000 to 00:00:01.000
    CReplayDlg d(nullptr, Dem(), false, 1);
    ASSERT_TRUE(d.OpenFile(f.path));
    At(d, 0, 0, 0, 0);
    ASSERT_TRUE(d.Start(2));
    EXPECT_EQ(d.Choice().startRecord, 100u);
    EXPECT_TRUE(boxes_->Take().empty());
}

TEST_F(ReplayDlgTest, FileOfOneInstantRefusesAChosenTimeWithoutDividingByZero) {
    DatFile f(true, 10, 5000, 0);
    CReplayDlg d(nullptr, Dem(), false, 1);
    ASSERT_TRUE(d.OpenFile(f.path));
    At(d, 0, 0, 5, 0);
    EXPECT_FALSE(d.Start(2));
    EXPECT_EQ(boxes_->Take(), (Texts{"您设置的回放时间必须小于文件结束时间！"}));
}

TEST_F(ReplayDlgTest, RefusalsBeforeAStart) {
    CReplayDlg d(nullptr, Dem(), false, 1);
    EXPECT_FALSE(d.Start(1));
    DatFile empty(true, 0, 0, 0);
    ASSERT_TRUE(d.OpenFile(empty.path));
    EXPECT_FALSE(d.Start(1));  // a header and no record
    DatFile f(true, 10, 0, 10);
    ASSERT_TRUE(d.OpenFile(f.path));
    d.Field("words")->setText("0");
    EXPECT_FALSE(d.Start(1));
    d.Field("words")->setText("24");
    d.Field("sync")->setText("1FFFF");  // 17 bits for a 16-bit code
    EXPECT_FALSE(d.Start(1));
    d.Field("sync")->setText("xyz");
    EXPECT_FALSE(d.Start(1));
    EXPECT_FALSE(d.OpenFile(f.path + ".none"));
    EXPECT_EQ(boxes_->Take(),
              (Texts{"请先选择模飞文件！", "读取回放数据文件时间信息失败！", "更新参数失败！",
                     "更新参数失败！", "更新参数失败！", "读取回放数据文件信息失败！"}));
}

TEST_F(ReplayDlgTest, SoftwareReplayOfAnotherFrameShapeIsRefusedTheCardTakesIt) {
    DatFile f(true, 10, 0, 10);
    DemParam other = Dem();
    other.子帧长 = 32;
    CReplayDlg d(nullptr, other, true, 0);
    ASSERT_TRUE(d.OpenFile(f.path));
    EXPECT_FALSE(d.Start(1));
    EXPECT_EQ(boxes_->Take(),
              (Texts{"回放文件的字长、子帧长或副帧长与当前解调器参数不一致，不能软件回放！"}));
    ASSERT_TRUE(d.Start(2));
    EXPECT_TRUE(d.Choice().loop);
    EXPECT_EQ(d.Choice().speed, 0);
    EXPECT_EQ(d.Choice().kind, 2);
}

TEST_F(ReplayDlgTest, TimeText) {
    EXPECT_EQ(ReplayTimeText(45296789.5), "12:34:56:789.5");
    EXPECT_EQ(ReplayTimeText(0), "00:00:00:000.0");
}

TEST_F(ReplayDlgTest, StorageSettingsTakeOnlyExistingDirectories) {
    cfg::StorageConfig s;
    s.beforeDir = "/tmp";
    s.afterDir = "/tmp";
    s.beforeEnabled = 1;
    s.afterEnabled = 0;
    CStorageDlg d(nullptr, s);
    auto* before = d.findChild<QLineEdit*>("beforeDir");
    d.TakeChosenDirectory(before, QStringLiteral("/nonexistent/talvora"));
    EXPECT_EQ(before->text(), "/tmp");
    EXPECT_EQ(boxes_->Take(), (Texts{"你选择的目录不存在"}));
    const std::string here = std::filesystem::current_path().string();
    d.TakeChosenDirectory(before, QString::fromStdString(here));
    for (auto* r : d.findChildren<QRadioButton*>())
        if (r->text() == QStringLiteral("无文件头")) r->setChecked(true);
    const cfg::StorageConfig out = d.Settings();
    EXPECT_EQ(out.beforeDir, here);
    EXPECT_EQ(out.beforeHeaderOption, 1);
    EXPECT_EQ(out.afterHeaderOption, 1);
    EXPECT_EQ(out.afterEnabled, 0);
}
