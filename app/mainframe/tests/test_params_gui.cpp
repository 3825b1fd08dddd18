// The solved-parameter windows in the running frame against a loopback card
// engine with the sample parameter database: live solving fills the table
// with the engine's sync word and counter; choosing a file that is no
// parameter database is refused and logged.
#include <datapath/data_path.h>
#include <datapath/replay_reader.h>
#include <paramviews/deal_wnds.h>
#include <paramviews/param_groups.h>
#include <platform/codepage.h>
#include <recording/recording_files.h>
#include <session/card_session.h>
#include <taskbook/task_store.h>
#include <taskbook/taskbook.h>
#include <testsupport/wait.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstring>
#include <vector>

#include "command_ids.h"
#include "frame_test_kit.h"
#include "replay_dlg.h"

namespace {

using namespace std::chrono_literals;
using namespace mainframe;

QAction* WorkspaceEntry(CMainFrame* f, const QString& text) {
    for (QAction* a : f->WorkspaceMenu()->actions())
        if (a->text() == text) return a;
    return nullptr;
}

// The table row of `name`, or -1.
int RowOf(paramviews::DealTableModel* m, const QString& name) {
    for (int r = 0; r < m->rowCount(); ++r)
        if (m->data(m->index(r, 0), Qt::DisplayRole).toString() == name) return r;
    return -1;
}

QString Cell(paramviews::DealTableModel* m, int row, int column) {
    return row < 0 ? QString() : m->data(m->index(row, column), Qt::DisplayRole).toString();
}

class ParamFrameTest : public frametest::EngineFrameTest {};

// Superframes as the engine sends them under the default task: 4 subframes
// of an 8-byte tag (byte 6 the subframe index) and 24 words, the sync word
// EB 90 first and a 3-byte frame counter after it.
class SuperframeReplay : public datapath::SoftwareReplayReader {
public:
    explicit SuperframeReplay(std::size_t perBlock = 32) : perBlock_(perBlock) {}
    void ApplyPendingSeek() override {}
    double Progress() override { return 0; }
    std::size_t ReadNextBlock(std::uint8_t* into, std::size_t capacity) override {
        constexpr std::size_t kSub = 8 + 24;
        const std::size_t n = std::min(capacity / (4 * kSub), perBlock_) * 4;
        for (std::size_t i = 0; i < n; ++i, ++counter_) {
            std::uint8_t* rec = into + i * kSub;
            std::memset(rec, 0, kSub);
            rec[6] = std::uint8_t(i % 4);
            rec[8] = 0xEB;
            rec[9] = 0x90;
            rec[10] = std::uint8_t(counter_ >> 16);
            rec[11] = std::uint8_t(counter_ >> 8);
            rec[12] = std::uint8_t(counter_);
        }
        return n * kSub;
    }
    void StopReplay() override {}

protected:
    const std::size_t perBlock_;
    std::uint32_t counter_ = 0;  // replay-feed thread only
};

// The same superframes, `superframes` of them in one block, then the end of
// the file.
class FiniteSuperframeReplay : public SuperframeReplay {
public:
    explicit FiniteSuperframeReplay(std::uint32_t superframes)
        : SuperframeReplay(superframes), records_(4 * superframes) {}
    std::size_t ReadNextBlock(std::uint8_t* into, std::size_t capacity) override {
        constexpr std::size_t kSub = 8 + 24;
        const std::size_t left = std::size_t(records_ - std::min(records_, counter_)) * kSub;
        const std::size_t n = SuperframeReplay::ReadNextBlock(into, std::min(capacity, left));
        done_ = counter_ >= records_;
        return n;
    }
    double Progress() override { return done_ ? 1.0 : 0.0; }

private:
    const std::uint32_t records_;
    std::atomic<bool> done_{false};
};

// Feeds `replay` to the frame's data path as a software replay.
void FeedReplay(CMainFrame* f, datapath::SoftwareReplayReader& replay) {
    f->GetDataPath()->SetReplayReader(&replay);
    f->m_nReplayKind = datapath::kSoftwareReplay;
    f->m_bReplayRunning = 1;
    f->m_replayTimer.Wake();  // the 5 ms pacing rests outside a replay
}

// Pixels of `image` of exactly `c`.
int CountPixels(const QImage& image, QColor c) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == c) ++n;
    return n;
}

TEST_F(ParamFrameTest, LiveSolvingShowsTheEnginesSyncWordAndARisingCounter) {
    ASSERT_TRUE(cfg::SaveParamSolvingConfig(Home(), {1}));
    cardengine::testkit::EngineProcess engine(std::vector<std::string>{});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    QAction* live = WorkspaceEntry(f, QString::fromUtf8("实时数据参数处理"));
    ASSERT_NE(live, nullptr);
    EXPECT_TRUE(live->isCheckable());
    EXPECT_TRUE(live->isChecked());

    f->OnCommand(ID_PARAM_TABLE);
    auto* table = qobject_cast<paramviews::CDealTableWndB*>(f->View(FrameView::ParamTable).wnd);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(f->View(FrameView::ParamTable).open, 1);
    paramviews::DealTableModel* m = table->Model();
    ASSERT_WAIT_UNTIL(Cell(m, RowOf(m, QString::fromUtf8("帧同步码")), 1) == "EB90", 30s);
    const int sync = RowOf(m, QString::fromUtf8("帧同步码"));
    EXPECT_EQ(Cell(m, sync, 2), "60304.000 ");
    const int count = RowOf(m, QString::fromUtf8("帧计数"));
    ASSERT_GE(count, 0);
    ASSERT_WAIT_UNTIL(!Cell(m, count, 2).isEmpty(), 10s);
    const double first = Cell(m, count, 2).toDouble();
    ASSERT_WAIT_UNTIL(Cell(m, count, 2).toDouble() > first, 10s);

    // The curve and stripe windows open beside it with the sample's two
    // curve and stripe parameters.
    f->OnCommand(ID_PARAM_CURVE);
    f->OnCommand(ID_PARAM_STRIPE);
    auto* curve = qobject_cast<paramviews::CDealCurveWnd*>(f->View(FrameView::ParamCurve).wnd);
    ASSERT_NE(curve, nullptr);
    EXPECT_EQ(curve->PanelCount(), 2);
    EXPECT_EQ(curve->windowTitle(), QString::fromUtf8("参数曲线显示"));
    ASSERT_NE(qobject_cast<paramviews::CDealStripeWnd*>(f->View(FrameView::ParamStripe).wnd),
              nullptr);

    // A second window of the kind is not made; closing clears the slot.
    f->OnCommand(ID_PARAM_TABLE);
    EXPECT_EQ(f->View(FrameView::ParamTable).wnd, table);
    table->close();
    ASSERT_WAIT_UNTIL(f->View(FrameView::ParamTable).open == 0, 5s);
    EXPECT_FALSE(f->View(FrameView::ParamTable).wnd);

    // Switching it off is stored.
    live->setChecked(false);
    EXPECT_EQ(cfg::LoadParamSolvingConfig(Home()).liveSolving, 0);
    EXPECT_TRUE(f->close());
}

TEST_F(ParamFrameTest, SoftwareReplayFillsTheTableWithoutLiveSolving) {
    cardengine::testkit::EngineProcess engine(std::vector<std::string>{});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    QAction* live = WorkspaceEntry(f, QString::fromUtf8("实时数据参数处理"));
    ASSERT_NE(live, nullptr);
    EXPECT_FALSE(live->isChecked());
    f->OnCommand(ID_PARAM_TABLE);
    auto* table = qobject_cast<paramviews::CDealTableWndB*>(f->View(FrameView::ParamTable).wnd);
    ASSERT_NE(table, nullptr);
    paramviews::DealTableModel* m = table->Model();
    const int sync = RowOf(m, QString::fromUtf8("帧同步码"));
    const int count = RowOf(m, QString::fromUtf8("帧计数"));
    ASSERT_GE(sync, 0);
    ASSERT_GE(count, 0);

    SuperframeReplay replay;
    FeedReplay(f, replay);
    EXPECT_WAIT_UNTIL(Cell(m, sync, 1) == "EB90" && Cell(m, sync, 2) == "60304.000 ", 30s);
    EXPECT_WAIT_UNTIL(!Cell(m, count, 2).isEmpty(), 10s);
    const double first = Cell(m, count, 2).toDouble();
    EXPECT_WAIT_UNTIL(Cell(m, count, 2).toDouble() > first, 10s);
    f->m_bReplayRunning = 0;
    f->GetDataPath()->SetReplayReader(nullptr);
    EXPECT_TRUE(f->close());
}

// A stripe shows a bar and a value only once its parameter had a sample:
// before that only its name and the empty track are drawn.
TEST_F(ParamFrameTest, AStripeShowsNothingBeforeTheFirstSample) {
    cardengine::testkit::EngineProcess engine(std::vector<std::string>{});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);  // live solving off: no samples yet
    f->OnCommand(ID_PARAM_STRIPE);
    auto* stripe = qobject_cast<paramviews::CDealStripeWnd*>(f->View(FrameView::ParamStripe).wnd);
    ASSERT_NE(stripe, nullptr);
    ASSERT_NE(stripe->widget(), nullptr);
    auto picture = [&] { return stripe->widget()->grab().toImage(); };
    const QImage empty = picture();
    ASSERT_GT(CountPixels(empty, Qt::cyan), 0) << "the names are drawn";
    EXPECT_EQ(CountPixels(empty, Qt::green), 0) << "a bar without a sample";
    EXPECT_EQ(CountPixels(empty, Qt::white), 0) << "a value without a sample";

    // The first samples bring the values (正弦波 at its minimum, so no bar).
    SuperframeReplay replay;
    FeedReplay(f, replay);
    EXPECT_WAIT_UNTIL(CountPixels(picture(), Qt::white) > 0, 30s);
    f->m_bReplayRunning = 0;
    f->GetDataPath()->SetReplayReader(nullptr);
    EXPECT_TRUE(f->close());
}

// The detail table's time of a sample is the time of the fetch that brought
// it, and stays so when later fetches bring nothing new.
TEST_F(ParamFrameTest, DetailTimesStayWithTheirSamplesAfterTheDataStop) {
    cardengine::testkit::EngineProcess engine(std::vector<std::string>{});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    f->OnCommand(ID_PARAM_TABLE);
    auto* table = qobject_cast<paramviews::CDealTableWndB*>(f->View(FrameView::ParamTable).wnd);
    ASSERT_NE(table, nullptr);
    table->ChooseStyle(1);
    paramviews::DealTableModel* m = table->Model();
    // The block of 帧计数: its basic information, then its newest samples.
    const int name = RowOf(m, QString::fromUtf8("名  称：帧计数"));
    ASSERT_GE(name, 1);
    const int first = name - 1 + 8;
    const int samples = paramviews::DealTableModel::kDetailSamples;
    auto rows = [&] {
        table->Tick();
        std::vector<std::string> out;  // "time | value"
        for (int r = first; r < first + samples; ++r)
            out.push_back((Cell(m, r, 0) + " | " + Cell(m, r, 2)).toStdString());
        return out;
    };

    // 1024 superframes in one block, sub-frames counted 0 to 4095: more
    // than the library gathers before it solves, so it solves them at once.
    // Then the data stop.
    FiniteSuperframeReplay replay(1024);
    FeedReplay(f, replay);
    ASSERT_WAIT_UNTIL(Cell(m, first, 2) == "4095.000", 30s);
    const auto before = rows();
    ASSERT_NE(before.front().substr(0, 3), " | ") << "no time shown";
    EXPECT_TRUE(before.back().ends_with(" | 4086.000")) << before.back();

    // Fetches later than the last sample's bring nothing and move no time.
    const auto fetched = std::chrono::system_clock::now();
    ASSERT_WAIT_UNTIL(std::chrono::system_clock::now() > fetched + 2ms, 5s);
    for (int i = 0; i < 3; ++i) paramviews::ParamGroups::Instance().Fetch();
    EXPECT_EQ(rows(), before);
    f->m_bReplayRunning = 0;
    f->GetDataPath()->SetReplayReader(nullptr);
    EXPECT_TRUE(f->close());
}

// What a station does: frames from the card recorded with the program, then
// replayed by software through the replay dialog: the table and the curves
// fill from the file, with live solving off.
TEST_F(ParamFrameTest, ARecordingOfTheEnginesFramesReplayedFillsTheWindows) {
    cardengine::testkit::EngineProcess engine({"--dem-steady"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    f->OnCommand(ID_FILE_STORAGE);
    ASSERT_EQ(f->m_bRecording, 1);
    const std::string path = f->RecordingFiles()->BeforeDecryptionPath();
    ASSERT_WAIT_UNTIL(f->RecordingFiles()->BeforeDecryptionBytes() >= 2 * 5208 * 32.0, 30s);
    f->OnCommand(ID_FILE_STORAGE);  // "停止存盘?" answered with its default, Yes
    ASSERT_EQ(f->m_bRecording, 0);

    f->OnCommand(ID_PARAM_TABLE);
    f->OnCommand(ID_PARAM_CURVE);
    auto* table = qobject_cast<paramviews::CDealTableWndB*>(f->View(FrameView::ParamTable).wnd);
    ASSERT_NE(table, nullptr);
    paramviews::DealTableModel* m = table->Model();
    const int sync = RowOf(m, QString::fromUtf8("帧同步码"));
    const int id = RowOf(m, QString::fromUtf8("ID字"));
    ASSERT_GE(sync, 0);
    ASSERT_GE(id, 0);
    EXPECT_TRUE(Cell(m, sync, 2).isEmpty());  // nothing solved from the live frames

    frametest::AnswerNextDialog(
        [&](QDialog& d) {
            auto& dlg = static_cast<CReplayDlg&>(d);
            ASSERT_TRUE(dlg.OpenFile(path));
            dlg.findChild<QComboBox*>("speed")->setCurrentIndex(0);
            EXPECT_TRUE(dlg.Start(datapath::kSoftwareReplay));
        },
        frametest::DialogEnd::Leave);
    f->OnCommand(ID_DATA_REPLAY);
    ASSERT_EQ(f->m_bReplayRunning, 1);
    EXPECT_WAIT_UNTIL(Cell(m, sync, 1) == "EB90" && Cell(m, sync, 2) == "60304.000 ", 30s);
    // The sub-frame identifier counts 3, 2, 1, 0: a superframe's last
    // sub-frame is solved as 0.
    const double idValue = Cell(m, id, 2).toDouble();
    EXPECT_GE(idValue, 0.0);
    EXPECT_LE(idValue, 3.0);
    auto* curve = qobject_cast<paramviews::CDealCurveWnd*>(f->View(FrameView::ParamCurve).wnd);
    ASSERT_NE(curve, nullptr);
    EXPECT_EQ(curve->PanelCount(), 2);
    f->m_bReplayRunning = 0;
    EXPECT_TRUE(f->close());
}

// The journal files of the frame's home as UTF-8 text.
std::string Journal(const std::string& home) {
    std::string text;
    const QDir logs(QString::fromStdString(home) + "/Log");
    for (const QString& name : logs.entryList(QDir::Files)) {
        QFile file(logs.filePath(name));
        if (file.open(QIODevice::ReadOnly)) text += plat::GbkToUtf8(file.readAll().toStdString());
    }
    return text;
}

int Occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// The sample database describes 24-word sub-frames; the operator applies
// 32 words: the windows and the journal say so instead of solving noise,
// and solving resumes once the frames agree again.
TEST_F(ParamFrameTest, FramesOfAnotherStructureThanTheDatabaseAreNotSolvedAndSaidOnce) {
    ASSERT_TRUE(cfg::SaveParamSolvingConfig(Home(), {1}));
    cardengine::testkit::EngineProcess engine(std::vector<std::string>{});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    f->OnCommand(ID_PARAM_TABLE);
    f->OnCommand(ID_PARAM_CURVE);
    auto* table = qobject_cast<paramviews::CDealTableWndB*>(f->View(FrameView::ParamTable).wnd);
    auto* curve = qobject_cast<paramviews::CDealCurveWnd*>(f->View(FrameView::ParamCurve).wnd);
    ASSERT_NE(table, nullptr);
    ASSERT_NE(curve, nullptr);
    paramviews::DealTableModel* m = table->Model();
    const int count = RowOf(m, QString::fromUtf8("帧计数"));
    ASSERT_GE(count, 0);
    ASSERT_WAIT_UNTIL(!Cell(m, count, 2).isEmpty(), 30s);

    auto apply = [&](std::uint32_t words) {
        auto task = std::make_unique<taskbook::TaskRecords>();
        ASSERT_TRUE(taskbook::TaskStore::Instance().Load(taskbook::kCurrentTask, *task));
        task->streams[0].dem.dem.子帧长 = words;
        taskbook::TaskStore::Instance().ApplyAndNotify(taskbook::ApplyDemodulator(1), *task);
        f->Session()->OnApplyNotification(taskbook::ApplyDemodulator(1));
    };
    apply(32);
    const std::string said =
        "数据帧与参数数据库的帧结构不符（字长8/8位，子帧长32/24，副帧长4/4），参数未解算";
    const QString caption = QString::fromUtf8("参数曲线显示 —— ") + QString::fromStdString(said);
    EXPECT_WAIT_UNTIL(curve->windowTitle() == caption, 20s);
    EXPECT_TRUE(table->windowTitle().endsWith(QString::fromStdString(said)));
    EXPECT_WAIT_UNTIL(Occurrences(Journal(Home()), said) >= 1, 20s);
    const QString standing = Cell(m, count, 2);

    apply(24);
    EXPECT_WAIT_UNTIL(curve->windowTitle() == QString::fromUtf8("参数曲线显示"), 20s);
    EXPECT_WAIT_UNTIL(Cell(m, count, 2) != standing, 20s);
    EXPECT_WAIT_UNTIL(
        Journal(Home()).find("数据帧与参数数据库的帧结构相符，参数解算恢复") != std::string::npos,
        20s);
    EXPECT_EQ(Occurrences(Journal(Home()), said), 1);
    EXPECT_TRUE(f->close());
}

TEST_F(ParamFrameTest, ChoosingTheTaskStoreAsParameterDatabaseIsRefusedAndLogged) {
    cardengine::testkit::EngineProcess engine(std::vector<std::string>{});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    const QString store = QString::fromStdString(Home()) + QString::fromUtf8("/任务宏管理.mdb");
    ASSERT_TRUE(QFile::exists(store));
    // The whole path goes into the dialog's name field, which does not
    // depend on its file view having read the folder yet. The dialog is
    // answered until it closes (a "not found" box is closed and the answer
    // repeated); after 20 s it is cancelled, so the test fails instead of
    // hanging.
    QTimer timer;
    timer.setInterval(50);
    QString title;
    QElapsedTimer since;
    since.start();
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            box->accept();
            return;
        }
        auto* dlg = qobject_cast<QFileDialog*>(modal);
        if (!dlg) return;
        title = dlg->windowTitle();
        if (since.elapsed() > 20000) {
            dlg->reject();
            return;
        }
        if (auto* name = dlg->findChild<QLineEdit*>("fileNameEdit")) name->setText(store);
        QMetaObject::invokeMethod(dlg, "accept", Qt::QueuedConnection);
    });
    timer.start();
    f->OnCommand(ID_SELECT_PARAM_DB);
    timer.stop();
    ASSERT_LT(since.elapsed(), 20000) << "the file dialog did not take the file";
    EXPECT_EQ(title, QString::fromUtf8("选择新参数数据库"));
    const QDir logs(QString::fromStdString(Home()) + "/Log");
    const std::string wanted = "参数数据库加载失败！";
    auto logged = [&] {
        for (const QString& name : logs.entryList(QDir::Files)) {
            QFile file(logs.filePath(name));
            if (!file.open(QIODevice::ReadOnly)) continue;
            const std::string text = file.readAll().toStdString();
            if (text.find(wanted) != std::string::npos ||
                text.find(plat::Utf8ToGbk(wanted)) != std::string::npos)
                return true;
        }
        return false;
    };
    EXPECT_WAIT_UNTIL(logged(), 10s);
    EXPECT_TRUE(f->close());
}

}  // namespace
