// The task-macro dialog offscreen against a store in a temporary home: the
// tree of each mode, task operations, saving with the page checks and
// applying to a registered owner window.
#include <gtest/gtest.h>
#include <platform/datasource.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <platform/winmsg.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "task_macro_dlg.h"
#include "taskbook/task_store.h"
#include "taskbook/taskbook.h"
#include "testsupport/temp_home.h"
#include "testsupport/wait.h"

namespace taskbook {
namespace {

using namespace std::chrono_literals;

class Owner : public plat::MessageReceiver {
public:
    void OnMessage(std::uint32_t msg, std::uintptr_t w, std::intptr_t) override {
        std::lock_guard lock(mutex);
        posted.push_back({msg, w});
    }
    std::vector<std::pair<std::uint32_t, std::uintptr_t>> Posted() {
        std::lock_guard lock(mutex);
        return posted;
    }
    std::mutex mutex;
    std::vector<std::pair<std::uint32_t, std::uintptr_t>> posted;
};

class TaskDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        sink_ = std::make_shared<plat::CapturingSink>();
        plat::SetNotifySink(sink_);
        TaskStore::Instance().ResetForTest();
        plat::RegisterWindow(&owner_, &owner_);
    }
    void TearDown() override {
        dlg_.reset();
        plat::UnregisterWindow(&owner_);
        TaskStore::Instance().ResetForTest();
        plat::SetNotifySink(nullptr);
    }
    CTaskMacroDlg& Open(int mode, unsigned mask = 127) {
        TaskStore::Instance().Manage(&owner_, 1, mode, mask);
        dlg_.reset(CreateTaskMacroDialog(nullptr, 1, mode, mask));
        dlg_->show();
        return *dlg_;
    }
    std::string LastBox() const {
        auto shown = sink_->Shown();
        return shown.empty() ? std::string("<none>") : shown.back().text;
    }
    // Rows of task `name` per table, read from the store file.
    int RowsOf(const std::string& name) {
        std::string error;
        auto db = plat::Database::OpenFile(home_.path() + "/任务宏管理.mdb",
                                           plat::Database::OpenMode::ReadOnly, &error);
        if (!db) return -1;
        int rows = 0;
        auto tables = db->Prepare("SELECT name FROM sqlite_master WHERE type='table'");
        std::vector<std::string> names;
        while (tables->Step() == plat::Statement::StepResult::Row)
            names.push_back(std::get<std::string>(tables->Column(0)));
        for (const auto& t : names) {
            auto st = db->Prepare("SELECT count(*) FROM \"" + t + "\" WHERE 任务名=?1");
            st->BindText(1, name);
            if (st->Step() == plat::Statement::StepResult::Row)
                rows += static_cast<int>(std::get<std::int64_t>(st->Column(0)));
        }
        return rows;
    }
    // The demodulator tab of stream 1, shown.
    CTaskPage* DemodulatorPage(CTaskMacroDlg& d) {
        d.ShowPage(kPageStream1);
        auto* tabs = d.Page(kPageStream1)->findChild<QTabWidget*>("设备");
        tabs->setCurrentIndex(2);
        return FrontDevicePage(d.Page(kPageStream1));
    }
    std::uint32_t StoredSubframe() {
        auto rec = std::make_unique<TaskRecords>();
        TaskStore::Instance().Load(kCurrentTask, *rec);
        return rec->streams[0].dem.dem.子帧长;
    }

    talvora::test::TempHome home_;
    std::shared_ptr<plat::CapturingSink> sink_;
    Owner owner_;
    std::unique_ptr<CTaskMacroDlg> dlg_;
};

std::vector<std::string> Labels(QTreeWidgetItem* item) {
    std::vector<std::string> out;
    for (int i = 0; i < item->childCount(); ++i)
        out.push_back(item->child(i)->text(0).toStdString());
    return out;
}

TEST_F(TaskDialogTest, TreeLabelsFollowTheMode) {
    CTaskMacroDlg& d = Open(kModeEditApply);
    EXPECT_EQ(d.objectName(), "任务宏管理");
    EXPECT_EQ(d.TaskNames(), (std::vector<std::string>{"*自检*", "当前任务"}));
    QTreeWidgetItem* task = d.Tree()->currentItem();
    ASSERT_TRUE(task);
    EXPECT_EQ(task->text(0), "当前任务");
    ASSERT_EQ(task->childCount(), 1);
    QTreeWidgetItem* root = task->child(0);
    EXPECT_EQ(root->text(0), "全部设置");
    EXPECT_EQ(Labels(root),
              (std::vector<std::string>{"系统参数设置", "遥测基带卡参数设置",
                                        "遥测终端2基带卡参数设置", "遥测终端3基带卡参数设置",
                                        "遥测仿真器参数设置", "安控终端参数设置"}));
    EXPECT_EQ(Labels(root->child(1)), std::vector<std::string>{"遥测流1参数设置"});
    EXPECT_EQ(Labels(root->child(5)),
              (std::vector<std::string>{"安控终端1参数设置", "安控终端2参数设置"}));
    for (const char* b : {"新建任务宏", "删除任务宏", "宏应用", "单一应用", "退出"})
        EXPECT_TRUE(d.findChild<QPushButton*>(b)) << b;

    CTaskMacroDlg& edit = Open(kModeEdit);
    QTreeWidgetItem* root1 = edit.Tree()->currentItem()->child(0);
    EXPECT_EQ(root1->text(0), "全部保存");
    const auto labels = Labels(root1);
    EXPECT_EQ(labels.front(), "系统参数修改");
    EXPECT_EQ(labels[3], "遥测终端3基带卡参数修改");
    EXPECT_EQ(labels.back(), "保存任务宏参数");
}

TEST_F(TaskDialogTest, PagesCarryTheirClassesAndAreBuiltWhenShown) {
    CTaskMacroDlg& d = Open(kModeEditApply);
    const char* classes[kPageCount] = {
        "CPropPage_Taskinfo", "CPropPage_Telemetry", "CPropPage_Telemetry", "CPropPage_Telemetry",
        "CPropPage_Emulator", "CPropPage_Antenna",   "CPropPage_AnKong",    "CPropPage_AnKong"};
    for (int i = 0; i < kPageCount; ++i)
        EXPECT_EQ(d.Page(static_cast<PageId>(i))->objectName(), classes[i]);
    EXPECT_TRUE(d.Page(kPageStream1)->built);  // the stream of the caller is in front
    EXPECT_FALSE(d.Page(kPageEmulator)->built);
    d.ShowPage(kPageEmulator);
    EXPECT_TRUE(d.Page(kPageEmulator)->built);
    EXPECT_EQ(d.Page(kPageEmulator)->findChild<QComboBox*>("通道")->itemText(2), "通道3");
    EXPECT_TRUE(d.Page(kPageEmulator)->findChild<QPushButton*>("双通道保存"));
    CTaskPage* dem = DemodulatorPage(d);
    EXPECT_EQ(dem->objectName(), "CPropPage_JieTiaoQi");
    EXPECT_EQ(dem->findChild<QLineEdit*>("子帧长")->text(), "24");
    EXPECT_EQ(dem->findChild<QComboBox*>("字长")->currentText(), "8");
    EXPECT_EQ(dem->findChild<QComboBox*>("字长")->currentIndex(), 4);
}

TEST_F(TaskDialogTest, DeleteAsksThenRefusesTheLastTask) {
    CTaskMacroDlg& d = Open(kModeEdit);
    ASSERT_TRUE(d.SelectTask("*自检*"));
    sink_->QueueAnswer(plat::IDCANCEL);
    d.DeleteTask();
    EXPECT_EQ(LastBox(), "您确定要删除任务宏：*自检*吗？\t\t");
    EXPECT_EQ(d.TaskNames().size(), 2u);
    d.DeleteTask();  // the default answer confirms
    EXPECT_EQ(d.TaskNames(), std::vector<std::string>{"当前任务"});
    EXPECT_EQ(RowsOf("*自检*"), 0);
    d.DeleteTask();
    EXPECT_EQ(LastBox(), "这是最后一个任务，不能删除！\t\t\t");
    EXPECT_EQ(RowsOf("当前任务"), 22);
}

TEST_F(TaskDialogTest, DefaultTaskDeletionNamesIt) {
    CTaskMacroDlg& d = Open(kModeEdit);
    sink_->QueueAnswer(plat::IDCANCEL);
    d.DeleteTask();
    EXPECT_EQ(LastBox(), "[当前任务] 是默认任务宏，您确定要删除它吗？\t\t");
    EXPECT_EQ(RowsOf("当前任务"), 22);
}

TEST_F(TaskDialogTest, NewAndCopyNameTheirTasks) {
    CTaskMacroDlg& d = Open(kModeEdit);
    d.NewTask();
    EXPECT_EQ(d.CurrentTask(), "未知名称");
    d.NewTask();
    EXPECT_EQ(d.CurrentTask(), "未知名称2");
    EXPECT_EQ(RowsOf("未知名称"), 22);
    d.CopyTask("当前任务");
    EXPECT_EQ(d.CurrentTask(), "复制 当前任务");
    EXPECT_EQ(RowsOf("复制 当前任务"), 22);
    // The copy does not become a second default task.
    auto list = TaskStore::Instance().TaskList();
    ASSERT_TRUE(list);
    for (const auto& e : *list) EXPECT_EQ(e.isDefault, e.name == "当前任务") << e.name;
    d.CopyTask("当前任务");
    EXPECT_EQ(LastBox(), "任务名重复，请重新输入！\t\t\t");
}

TEST_F(TaskDialogTest, RenameMovesEveryRowOnSaving) {
    CTaskMacroDlg& d = Open(kModeEdit);
    d.ShowPage(kPageInfo);
    auto* name = d.Page(kPageInfo)->findChild<QLineEdit*>("任务名");
    name->setText("新任务名");
    // Another task is not taken before the new name is saved.
    emit d.Tree()->itemClicked(d.Tree()->topLevelItem(0), 0);
    EXPECT_EQ(LastBox(), "任务名称已修改，请先保存！\t\t\t");
    EXPECT_EQ(RowsOf("新任务名"), 0);
    d.Page(kPageInfo)->findChild<QPushButton*>("保存")->click();
    EXPECT_EQ(LastBox(), "任务信息保存成功！\t\t\t");
    EXPECT_EQ(RowsOf("新任务名"), 22);
    EXPECT_EQ(RowsOf("当前任务"), 0);
    EXPECT_EQ(d.CurrentTask(), "新任务名");
}

TEST_F(TaskDialogTest, NameLongerThanTheRecordIsRefusedAndNothingWritten) {
    CTaskMacroDlg& d = Open(kModeEdit);
    d.ShowPage(kPageInfo);
    const std::string longName(300, 'n');
    d.Page(kPageInfo)->findChild<QLineEdit*>("任务名")->setText(QString::fromStdString(longName));
    d.Page(kPageInfo)->findChild<QPushButton*>("保存")->click();
    EXPECT_EQ(LastBox(), "任务名称过长，不能超过255个字节！\t\t");
    EXPECT_EQ(RowsOf(longName), 0);
    EXPECT_EQ(RowsOf(longName.substr(0, 255)), 0);
    EXPECT_EQ(RowsOf("当前任务"), 22);
}

TEST_F(TaskDialogTest, RefusedValueKeepsThePageAndTheStore) {
    CTaskMacroDlg& d = Open(kModeEdit);
    CTaskPage* dem = DemodulatorPage(d);
    auto* sub = dem->findChild<QLineEdit*>("子帧长");
    for (const char* bad : {"2049", "abc", "", "99999999999999999999"}) {
        sub->setText(bad);
        dem->findChild<QPushButton*>("保存")->click();
        EXPECT_EQ(LastBox(), "子帧长的范围在4到2048之间。\r\n\t您输入有误，请重新输入！") << bad;
        EXPECT_EQ(sub->text(), bad);
        EXPECT_EQ(StoredSubframe(), 24u);
    }
    sub->setText("32");
    dem->findChild<QPushButton*>("保存")->click();
    EXPECT_EQ(LastBox(), "解调器参数保存成功！\t\t\t");
    EXPECT_EQ(StoredSubframe(), 32u);

    d.ShowPage(kPageStream1);
    auto* tabs = d.Page(kPageStream1)->findChild<QTabWidget*>("设备");
    tabs->setCurrentIndex(1);
    auto* freq = FrontDevicePage(d.Page(kPageStream1))->findChild<QLineEdit*>("输入频率");
    freq->setText("2300.05");
    FrontDevicePage(d.Page(kPageStream1))->findChild<QPushButton*>("保存")->click();
    EXPECT_EQ(
        LastBox(),
        "频率：2300.050000MHz，数据错误！\n请填入一个介于2200.0和2400.0之间的浮点数，0.1步进！");
}

TEST_F(TaskDialogTest, ApplyPostsTheCodeAndHoldsTheButtons) {
    CTaskMacroDlg& d = Open(kModeEditApply);
    CTaskPage* dem = DemodulatorPage(d);
    dem->findChild<QLineEdit*>("子帧长")->setText("32");
    const std::size_t boxes = sink_->Shown().size();
    d.ApplyFront();
    EXPECT_EQ(sink_->Shown().size(), boxes);  // applying shows no save text
    ASSERT_EQ(owner_.Posted().size(), 1u);
    EXPECT_EQ(owner_.Posted()[0].first, kApplyMessage);
    EXPECT_EQ(owner_.Posted()[0].second, 15u);
    EXPECT_EQ(StoredSubframe(), 32u);
    auto info = std::make_unique<TaskInfoRecord>();
    auto rec = std::make_unique<StreamRecords>();
    ASSERT_EQ(GetApplyPara(info.get(), &rec->dem, &rec->sim, &rec->time, &rec->recv, 1), 1);
    EXPECT_EQ(rec->dem.dem.子帧长, 32u);
    EXPECT_FALSE(d.findChild<QPushButton*>("宏应用")->isEnabled());
    EXPECT_FALSE(d.findChild<QPushButton*>("退出")->isEnabled());
    EXPECT_FALSE(dem->findChild<QPushButton*>("保存")->isEnabled());
    EXPECT_TRUE(d.findChild<QPushButton*>("新建任务宏")->isEnabled());
    EXPECT_WAIT_UNTIL(d.findChild<QPushButton*>("退出")->isEnabled(), 10s);
    EXPECT_TRUE(dem->findChild<QPushButton*>("保存")->isEnabled());
}

TEST_F(TaskDialogTest, WithoutACardApplyingOnlySaves) {
    CTaskMacroDlg& d = Open(kModeEditApply, 255);
    DemodulatorPage(d)->findChild<QLineEdit*>("子帧长")->setText("32");
    d.ApplyFront();
    EXPECT_EQ(LastBox(), "解调器参数保存成功！\t\t\t");
    EXPECT_TRUE(owner_.Posted().empty());
    EXPECT_EQ(StoredSubframe(), 32u);
}

TEST_F(TaskDialogTest, TreeApplyMapsTicksToCodes) {
    CTaskMacroDlg& d = Open(kModeEditApply);
    d.SetTicked(kBitStream1 | kBitStream2);
    d.ApplyTicked();
    EXPECT_EQ(LastBox(),
              "所勾选的设备不能一同应用：请只勾选一个遥测流、遥测仿真器或安控终端，或者全部勾选！");
    EXPECT_TRUE(owner_.Posted().empty());
    d.SetTicked(kBitSafety1 | kBitSafety2);
    d.ApplyTicked();
    ASSERT_EQ(owner_.Posted().size(), 1u);
    EXPECT_EQ(owner_.Posted()[0].second, 51u);
    // Ticking the root ticks all seven branches, the system branch included.
    QTreeWidgetItem* root = d.Tree()->currentItem()->child(0);
    root->setCheckState(0, Qt::Checked);
    EXPECT_EQ(d.Ticked(), 0x7Fu);
    EXPECT_EQ(root->child(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(root->child(1)->checkState(0), Qt::Checked);  // a card follows its stream
    EXPECT_WAIT_UNTIL(d.findChild<QPushButton*>("宏应用")->isEnabled(), 10s);
    d.ApplyTicked();
    ASSERT_EQ(owner_.Posted().size(), 2u);
    EXPECT_EQ(owner_.Posted()[1].second, 6u);

    CTaskMacroDlg& edit = Open(kModeEdit);
    edit.SetTicked(kBitStream1 | kBitStream2);
    edit.ApplyTicked();  // editing only: any set saves
    EXPECT_EQ(LastBox(), "保存任务宏参数成功！\t\t\t");
    edit.SetTicked(kBitEmulator);
    edit.ApplyTicked();
    EXPECT_EQ(LastBox(), "遥测仿真器参数保存成功！\t\t\t");
    EXPECT_EQ(owner_.Posted().size(), 2u);
}

TEST_F(TaskDialogTest, StationPagesSaveWithTheirOwnTexts) {
    CTaskMacroDlg& d = Open(kModeEdit);
    d.ShowPage(kPageSafety1);
    CTaskPage* safety = d.Page(kPageSafety1);
    safety->findChild<QComboBox*>("调制码率(Kbps)")->setCurrentText("2.4");
    EXPECT_EQ(safety->findChild<QLabel*>("副载波倍数")->text(), "×2.4K");
    auto* times = safety->findChild<QLineEdit*>("副载波频率(Kbps)");
    times->setText("1");
    safety->findChild<QPushButton*>("保存")->click();
    EXPECT_EQ(LastBox(), "副载波频率应不小于调制码率的2倍");
    times->setText("40");
    safety->findChild<QPushButton*>("保存")->click();
    EXPECT_EQ(LastBox(), "副载波频率超出范围：2.4Kbps～76.8Kbps！");
    times->setText("4");
    safety->findChild<QPushButton*>("保存")->click();
    EXPECT_EQ(LastBox(), "安控终端1参数保存成功！\t\t\t");
    d.SelectTask(kCurrentTask);  // rows read back from the store
    EXPECT_EQ(times->text(), "4");
    EXPECT_EQ(safety->findChild<QComboBox*>("调制码率(Kbps)")->currentText(), "2.4");

    d.ShowPage(kPageEmulator);
    CTaskPage* emu = d.Page(kPageEmulator);
    emu->findChild<QComboBox*>("通道")->setCurrentIndex(1);
    emu->findChild<QWidget*>("通道2")->findChild<QLineEdit*>("载波频率(MHz)")->setText("2400.75");
    emu->findChild<QPushButton*>("单通道保存")->click();
    EXPECT_EQ(LastBox(),
              "载波频率：2400.750000MHz，数据错误！\n请填入一个介于2200.00和2400.50之间的浮点数，0."
              "25步进！");
    emu->findChild<QWidget*>("通道2")->findChild<QLineEdit*>("载波频率(MHz)")->setText("2400.5");
    emu->findChild<QPushButton*>("单通道保存")->click();
    EXPECT_EQ(LastBox(), "仿真器通道2参数保存成功！\t\t\t");
    emu->findChild<QPushButton*>("双通道保存")->click();
    EXPECT_EQ(LastBox(), "仿真器参数保存成功！\t\t\t");

    d.ShowPage(kPageAntenna);
    CTaskPage* antenna = d.Page(kPageAntenna);
    antenna->findChild<QComboBox*>("频率带宽(MHz)")->setCurrentText("0.5");
    antenna->findChild<QLineEdit*>("工作频率(MHz)")->setText("2345.6");
    antenna->findChild<QPushButton*>("保存")->click();
    EXPECT_EQ(LastBox(), "天线控制器参数保存成功！");
}

// Runs `fill` on the next modal dialog once it is shown.
void OnNextModal(std::function<void(QDialog&)> fill) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, fill] {
        auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dlg) return;
        timer->stop();
        timer->deleteLater();
        fill(*dlg);
    });
    timer->start();
}

TEST_F(TaskDialogTest, KeyDialogDerivesAndFillsTheKeyChannels) {
    CTaskMacroDlg& d = Open(kModeEdit);
    CTaskPage* dem = DemodulatorPage(d);
    std::string name;
    OnNextModal([&](QDialog& k) {
        name = k.objectName().toStdString();
        EXPECT_TRUE(k.findChild<QLineEdit*>("密钥通道16"));
        EXPECT_FALSE(k.findChild<QLineEdit*>("密钥通道17"));
        k.findChild<QLineEdit*>("密钥通道1")->setText("5");
        k.findChild<QLineEdit*>("未加密波道")->setText("1,2,7,8");
        k.findChild<QPushButton*>("密钥位置-自动推算")->click();
        EXPECT_EQ(k.findChild<QLineEdit*>("密钥通道3")->text(), "9");
        k.findChild<QPushButton*>("确定")->click();
        if (k.isVisible()) k.reject();
    });
    dem->findChild<QPushButton*>("密钥设置")->click();
    EXPECT_EQ(name, "加解密参数设置对话框");
    EXPECT_EQ(dem->findChild<QLineEdit*>("密钥波道")->text(),
              "5,6,9,10,11,12,13,14,15,16,17,18,19,20,21,22,");
}

TEST_F(TaskDialogTest, EncryptedChannelsDerivedFromTheNonEncryptedOnes) {
    CTaskMacroDlg& d = Open(kModeEdit);
    CTaskPage* dem = DemodulatorPage(d);
    std::string shown;
    OnNextModal([&](QDialog& k) {
        k.findChild<QLineEdit*>("未加密波道")->setText("1,7");
        k.findChild<QPushButton*>("推算↓")->click();  // the sync words 1-2 are missing
        k.findChild<QLineEdit*>("未加密波道")->setText("1,2,7");
        k.findChild<QPushButton*>("推算↓")->click();
        shown = k.findChild<QLineEdit*>("加密波道")->text().toStdString();
        k.findChild<QPushButton*>("确定")->click();
        if (k.isVisible()) k.reject();
    });
    dem->findChild<QPushButton*>("未加密波道推算")->click();
    EXPECT_EQ(sink_->Shown().at(0).text, "未加密波道不能为空，至少应包含帧同步码位置！");
    // Key channels "1,2" of a new task; 24 words less 1, 2 and 7.
    EXPECT_EQ(shown, "3,4,5,6,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,");
    EXPECT_EQ(dem->findChild<QLineEdit*>("加密波道")->text().toStdString(), shown);
}

TEST_F(TaskDialogTest, CodeFileLoadsIntoTheReceiverAndMustFitOnSaving) {
    const std::string shortFile = home_.path() + "/short.txt", good = home_.path() + "/good.txt";
    std::FILE* f = std::fopen(shortFile.c_str(), "wb");
    std::fputs("0101\n", f);
    std::fclose(f);
    f = std::fopen(good.c_str(), "wb");
    std::fputs("000111000111000\n", f);
    std::fclose(f);
    std::string path = shortFile;
    QString title;
    SetCodeFileChooserForTest([&](QWidget*, const QString& t, const QString&) {
        title = t;
        return QString::fromStdString(path);
    });
    CTaskMacroDlg& d = Open(kModeEdit);
    d.ShowPage(kPageStream1);
    d.Page(kPageStream1)->findChild<QTabWidget*>("设备")->setCurrentIndex(1);
    CTaskPage* recv = FrontDevicePage(d.Page(kPageStream1));
    recv->findChild<QComboBox*>("伪码来源")->setCurrentText("临时加载");
    recv->findChild<QComboBox*>("伪码长度")->setCurrentText("15");
    recv->findChild<QPushButton*>("选择伪码序列文件")->click();
    EXPECT_EQ(title, "选择伪码序列文件");
    EXPECT_EQ(LastBox(), "伪码文件包含的码位总数少于您所需的位数，请查证！\n" + shortFile);
    path = good;
    recv->findChild<QPushButton*>("选择伪码序列文件")->click();
    EXPECT_EQ(recv->findChild<QLineEdit*>("伪码序列")->text(), "000111000111000");
    recv->findChild<QComboBox*>("伪码长度")->setCurrentText("31");
    recv->findChild<QPushButton*>("保存")->click();
    EXPECT_EQ(LastBox(), "中频解调器所选择的伪码文件长与所设置不符！");
    recv->findChild<QComboBox*>("伪码长度")->setCurrentText("15");
    recv->findChild<QPushButton*>("保存")->click();
    EXPECT_EQ(LastBox(), "接收机参数保存成功！");
    SetCodeFileChooserForTest([](QWidget*, const QString&, const QString&) { return QString(); });
}

}  // namespace
}  // namespace taskbook
