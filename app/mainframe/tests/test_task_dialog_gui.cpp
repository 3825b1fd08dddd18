// "设备管理" and "任务管理" open the task-macro dialog over the frame: an
// applied demodulator page reaches the loopback card engine and re-shapes the
// raw table; editing alone only saves.
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>
#include <rawgrid/table_store.h>
#include <rawgrid/table_wnd.h>
#include <taskbook/task_store.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <chrono>
#include <memory>

#include "command_ids.h"
#include "frame_test_kit.h"

namespace {

using namespace std::chrono_literals;
using namespace mainframe;
using cardengine::testkit::ReceivedCommand;

constexpr unsigned kDemodulatorModule = 2;
constexpr std::size_t kDemSubframeOffset = 40;  // DemParam::子帧长

// Sets the stream's demodulator 子帧长 in the dialog and presses "单一应用";
// `seen` gets the dialog's name.
void EditDemodulatorOnceShown(const QString& subframe, std::string* seen) {
    frametest::AnswerNextDialog(
        [subframe, seen](QDialog& dlg) {
            *seen = dlg.objectName().toStdString();
            auto* tabs = dlg.findChild<QTabWidget*>("设备");  // the caller's stream page
            if (!tabs) return dlg.reject();
            tabs->setCurrentIndex(2);
            auto* edit = tabs->currentWidget()->findChild<QLineEdit*>("子帧长");
            if (!edit) return dlg.reject();
            edit->setText(subframe);
            dlg.findChild<QPushButton*>("单一应用")->click();
            dlg.reject();
        },
        frametest::DialogEnd::Leave);
}

bool EngineGotSubframe(const cardengine::testkit::EngineProcess& engine, std::uint32_t words) {
    for (const ReceivedCommand& c : engine.Received())
        if (c.module == kDemodulatorModule && c.length >= 768 &&
            c.Word(kDemSubframeOffset) == words)
            return true;
    return false;
}

int TableColumns(CMainFrame* f) {
    auto* table = qobject_cast<rawgrid::CTableWnd*>(f->View(FrameView::RawTable).wnd);
    if (!table) return -1;
    rawgrid::PageCopy page;
    table->Store()->ReadPage(0, 1, 0, 4096, page);
    return page.shape.nWordsPerSubframe;
}

std::uint32_t StoredSubframe() {
    auto rec = std::make_unique<taskbook::TaskRecords>();
    if (!taskbook::TaskStore::Instance().Load(taskbook::kCurrentTask, *rec)) return 0;
    return rec->streams[0].dem.dem.子帧长;
}

using TaskDialogFrameTest = frametest::EngineFrameTest;

TEST_F(TaskDialogFrameTest, DeviceManagementAppliesTheDemodulatorToTheCard) {
    cardengine::testkit::EngineProcess engine;
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    ASSERT_TRUE(f->m_bCardOpen);
    f->OnCommand(ID_RAW_TABLE);
    ASSERT_WAIT_UNTIL(TableColumns(f) == 24, 20s);
    ASSERT_FALSE(EngineGotSubframe(engine, 32));

    std::string seen;
    EditDemodulatorOnceShown("32", &seen);
    f->OnCommand(ID_DEVICE_MANAGE);
    EXPECT_EQ(seen, "任务宏管理");
    EXPECT_EQ(StoredSubframe(), 32u);
    EXPECT_WAIT_UNTIL(EngineGotSubframe(engine, 32), 20s);
    EXPECT_WAIT_UNTIL(TableColumns(f) == 32, 20s);
    EXPECT_EQ(f->m_demParam->dem.子帧长, 32u);
}

TEST_F(TaskDialogFrameTest, TaskManagementOnlySaves) {
    cardengine::testkit::EngineProcess engine;
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    ASSERT_TRUE(f->m_bCardOpen);

    std::string seen;
    EditDemodulatorOnceShown("32", &seen);
    f->OnCommand(ID_TASK_MANAGE);
    EXPECT_EQ(seen, "任务宏管理");
    EXPECT_TRUE(boxes_->Saw("解调器参数保存成功！\t\t\t"));
    EXPECT_EQ(StoredSubframe(), 32u);
    // An apply would have been posted to the frame by now: deliver what was
    // posted, then the frame still runs the old record.
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(f->m_demParam->dem.子帧长, 24u);
}

}  // namespace
