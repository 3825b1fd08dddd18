// "设备管理" and "任务管理" open the task-macro dialog over the frame: an
// applied demodulator page reaches the loopback card engine and re-shapes the
// raw table; editing alone only saves.
#include <bbdevice/bbdevice.h>
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>
#include <rawgrid/table_store.h>
#include <rawgrid/table_wnd.h>
#include <taskbook/task_store.h>

#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTreeWidget>
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

// The tree item labelled `text`.
QTreeWidgetItem* TreeItem(QDialog& dlg, const QString& text) {
    auto* tree = dlg.findChild<QTreeWidget*>("任务树");
    if (!tree) return nullptr;
    const QList<QTreeWidgetItem*> found =
        tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.front();
}

// The "应用" button of the stream page in front (not one of its device pages').
QPushButton* StreamPageApply(QDialog& dlg) {
    auto* stack = dlg.findChild<QStackedWidget*>();
    if (!stack || !stack->currentWidget()) return nullptr;
    const auto buttons = stack->currentWidget()->findChildren<QPushButton*>(
        QStringLiteral("应用"), Qt::FindDirectChildrenOnly);
    return buttons.isEmpty() ? nullptr : buttons.front();
}

// Module and operation of the parameter commands received after the first `n`.
std::vector<std::pair<unsigned, unsigned>> ParameterCommandsAfter(
    const cardengine::testkit::EngineProcess& engine, std::size_t n) {
    std::vector<std::pair<unsigned, unsigned>> out;
    const std::vector<ReceivedCommand> all = engine.Received();
    for (std::size_t i = n; i < all.size(); ++i)
        if (all[i].module > 1) out.push_back({all[i].module, all[i].operation});
    return out;
}

TEST_F(TaskDialogFrameTest, StreamPageAppliesEveryUnitAndAnotherStreamsPageNothing) {
    cardengine::testkit::EngineProcess engine;
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    ASSERT_TRUE(f->m_bCardOpen);
    std::size_t n0 = engine.Received().size();

    // The stream page's own "应用": demodulator, simulator and time-code unit.
    bool clicked = false;
    frametest::AnswerNextDialog(
        [&](QDialog& dlg) {
            if (QPushButton* apply = StreamPageApply(dlg)) {
                apply->click();
                clicked = true;
            }
            dlg.reject();
        },
        frametest::DialogEnd::Leave);
    f->OnCommand(ID_DEVICE_MANAGE);
    ASSERT_TRUE(clicked);
    const std::string sent = "遥测流1设备参数设置成功！（解调器、模拟器、时码器）";
    EXPECT_WAIT_UNTIL(boxes_->Saw(sent), 20s);
    auto firstThree = [&] {
        const auto c = ParameterCommandsAfter(engine, n0);
        return c.size() >= 3 && c[0] == std::pair(2u, 3u) && c[1] == std::pair(4u, 3u) &&
               c[2] == std::pair(5u, 3u);
    };
    EXPECT_WAIT_UNTIL(firstThree(), 20s);

    // Stream 2's demodulator page with "单一应用" while stream 1 runs.
    n0 = engine.Received().size();
    frametest::AnswerNextDialog(
        [&](QDialog& dlg) {
            auto* tree = dlg.findChild<QTreeWidget*>("任务树");
            QTreeWidgetItem* stream2 = TreeItem(dlg, QString::fromUtf8("遥测流2参数设置"));
            if (!tree || !stream2) return dlg.reject();
            emit tree->itemClicked(stream2, 0);
            auto* tabs =
                dlg.findChild<QStackedWidget*>()->currentWidget()->findChild<QTabWidget*>("设备");
            if (!tabs) return dlg.reject();
            tabs->setCurrentIndex(2);
            dlg.findChild<QPushButton*>("单一应用")->click();
            dlg.reject();
        },
        frametest::DialogEnd::Leave);
    f->OnCommand(ID_DEVICE_MANAGE);
    const std::string refused =
        "所应用的参数属于遥测流2，本程序运行遥测流1，未向基带卡发送任何参数。";
    EXPECT_WAIT_UNTIL(boxes_->Saw(refused), 20s);
    EXPECT_FALSE(boxes_->Saw("设置解调器成功！"));
    // Anything sent for it would be on the link before a command sent now.
    ASSERT_NE(BB_SetTimeSystemHandFly(0, 0), 0);
    EXPECT_WAIT_UNTIL(!ParameterCommandsAfter(engine, n0).empty(), 20s);
    EXPECT_EQ(ParameterCommandsAfter(engine, n0).front(), std::pair(5u, 6u));
    EXPECT_TRUE(f->close());
}

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
