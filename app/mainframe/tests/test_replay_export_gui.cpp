// The replay dialog's Chapter 10 export: a recording with header, and one
// without header described by the corrected fields, converted on the
// worker with the end told on the GUI thread; the export kept by the frame
// after the dialog closed, and where the file dialogs start.
#include <config/para_config.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <platform/notify.h>
#include <recording/dat_header.h>
#include <recording/recording_files.h>
#include <sys/stat.h>
#include <testsupport/temp_home.h>
#include <testsupport/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

#include "ch10_export_job.h"
#include "command_ids.h"
#include "frame_test_kit.h"
#include "replay_dlg.h"

using namespace std::chrono_literals;

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
    d.帧同步码 = 0xEB90;
    d.帧同步码位长 = 16;
    return d;
}

// `n` 32-byte records with BCD tags 1 ms apart from 02:00:00.
std::vector<std::uint8_t> Records(int n) {
    std::vector<std::uint8_t> r;
    for (int i = 0; i < n; ++i) {
        const int ms = i;
        r.insert(r.end(),
                 {std::uint8_t((ms % 10) << 4), std::uint8_t((ms / 100) << 4 | ms / 10 % 10), 0, 0,
                  0x02, 0, std::uint8_t(i % 4), 0, 0xEB, 0x90});
        for (int w = 2; w < 24; ++w) r.push_back(std::uint8_t(i));
    }
    return r;
}

void Write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
}

std::size_t PcmFrames(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    const std::vector<std::uint8_t> b{std::istreambuf_iterator<char>(f), {}};
    std::size_t frames = 0;
    auto get32 = [&b](std::size_t at) {
        return std::uint32_t(b[at]) | b[at + 1] << 8 | b[at + 2] << 16 |
               std::uint32_t(b[at + 3]) << 24;
    };
    for (std::size_t at = 0; at + 24 <= b.size() && get32(at + 4) >= 24; at += get32(at + 4))
        if (b[at + 15] == 0x09) frames += (get32(at + 8) - 4) / (10 + 24);
    return frames;
}

class ReplayExportTest : public ::testing::Test {
protected:
    void SetUp() override { plat::SetNotifySink(boxes_); }
    void TearDown() override { plat::SetNotifySink(nullptr); }
    std::shared_ptr<Boxes> boxes_ = std::make_shared<Boxes>();
    talvora::test::TempDir dir_;
};

}  // namespace

TEST_F(ReplayExportTest, RecordingWithHeaderExportsOnTheWorkerAndTellsTheEnd) {
    std::vector<std::uint8_t> file(1024);
    const std::vector<std::uint8_t> records = Records(500);
    recording::BuildHeader(Dem(), {}, records.size(), 0,
                           std::span<std::uint8_t, 1024>(file.data(), 1024));
    file.insert(file.end(), records.begin(), records.end());
    Write(dir_ / "a.dat", file);

    CReplayDlg d(nullptr, Dem(), false, 1);
    ASSERT_TRUE(d.OpenFile(dir_ / "a.dat"));
    bool finished = false, ok = false;
    QThread* endThread = nullptr;
    QObject::connect(&d, &CReplayDlg::exportFinished, [&](bool good, const QString&) {
        finished = true;
        ok = good;
        endThread = QThread::currentThread();
    });
    ASSERT_TRUE(d.ExportCh10(dir_ / "a.ch10"));
    EXPECT_FALSE(d.ExportCh10(dir_ / "b.ch10"));  // one at a time
    ASSERT_WAIT_UNTIL(finished, 20s);
    EXPECT_TRUE(ok);
    EXPECT_EQ(endThread, d.thread());
    EXPECT_FALSE(d.ExportRunning());
    EXPECT_TRUE(d.findChild<QPushButton*>("exportCh10")->isEnabled());
    EXPECT_EQ(PcmFrames(dir_ / "a.ch10"), 500u);
    const auto texts = boxes_->Take();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find("已导出500个子帧记录"), std::string::npos);
}

TEST_F(ReplayExportTest, FileWithoutHeaderUsesTheFieldsAndBadFieldsAreRefused) {
    Write(dir_ / "bare.dat", Records(40));
    DemParam other = Dem();
    other.子帧长 = 10;  // the demodulator in force does not match the file
    CReplayDlg d(nullptr, other, false, 1);
    EXPECT_FALSE(d.ExportCh10(dir_ / "x.ch10"));
    EXPECT_EQ(boxes_->Take(), std::vector<std::string>{"请先选择模飞文件！"});

    ASSERT_TRUE(d.OpenFile(dir_ / "bare.dat"));
    d.Field("words")->setText("zz");
    EXPECT_FALSE(d.ExportCh10(dir_ / "x.ch10"));
    EXPECT_EQ(boxes_->Take(), std::vector<std::string>{"更新参数失败！"});

    d.Field("words")->setText("24");
    bool finished = false;
    QObject::connect(&d, &CReplayDlg::exportFinished,
                     [&](bool, const QString&) { finished = true; });
    ASSERT_TRUE(d.ExportCh10(dir_ / "bare.ch10"));
    ASSERT_WAIT_UNTIL(finished, 20s);
    EXPECT_EQ(PcmFrames(dir_ / "bare.ch10"), 40u);
}

namespace {
class RecordedExportTest : public frametest::EngineFrameTest {};
}  // namespace

// Live frames from the card engine recorded by the program, exported from
// the replay dialog and read back by the independent reader.
TEST_F(RecordedExportTest, ARecordingOfLiveFramesExportsEveryFrameInOrder) {
    cardengine::testkit::EngineProcess engine({"--dem-steady"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    f->OnCommand(mainframe::ID_FILE_STORAGE);
    ASSERT_EQ(f->m_bRecording, 1);
    const std::string path = f->RecordingFiles()->BeforeDecryptionPath();
    ASSERT_WAIT_UNTIL(f->RecordingFiles()->BeforeDecryptionBytes() >= 5208 * 32.0, 30s);
    f->OnCommand(mainframe::ID_FILE_STORAGE);  // "停止存盘?" answered Yes
    ASSERT_EQ(f->m_bRecording, 0);

    CReplayDlg d(nullptr, Dem(), false, 1);
    ASSERT_TRUE(d.OpenFile(path));
    bool finished = false, ok = false;
    QObject::connect(&d, &CReplayDlg::exportFinished, [&](bool good, const QString&) {
        finished = true;
        ok = good;
    });
    const std::string out = Home() + "/live.ch10";
    ASSERT_TRUE(d.ExportCh10(out));
    ASSERT_WAIT_UNTIL(finished, 30s);
    ASSERT_TRUE(ok);
    const std::string check =
        "python3 " TALVORA_CH10_READER " --compare '" + out + "' '" + path + "'";
    EXPECT_EQ(std::system(check.c_str()), 0) << check;
}

namespace {

// A frame without a card: the export needs none.
class FrameExportTest : public frametest::EngineFrameTest {
protected:
    // A recording of `n` records with header in `dir`.
    std::string Recording(const std::string& dir, const std::string& name, int n) {
        std::vector<std::uint8_t> file(1024);
        const std::vector<std::uint8_t> records = Records(n);
        recording::BuildHeader(Dem(), {}, records.size(), 0,
                               std::span<std::uint8_t, 1024>(file.data(), 1024));
        file.insert(file.end(), records.begin(), records.end());
        const std::string path = dir + "/" + name;
        Write(path, file);
        return path;
    }
};

}  // namespace

// The export outlives the dialog: closing it returns at once while the
// output cannot be written, the frame's status bar shows the progress, and
// its cancel button ends the export and removes the unfinished file.
TEST_F(FrameExportTest, ClosingTheDialogLeavesTheExportToTheFrameWhichCanCancelIt) {
    CMainFrame* f = MakeFrame();
    const std::string in = Recording(Home(), "long.dat", 60000);  // about 2 MB
    const std::string out = Home() + "/slow.ch10";
    ASSERT_EQ(::mkfifo(out.c_str(), 0600), 0);

    // A reader that takes nothing until the dialog is gone (or 30 s passed,
    // which means the closing waited for the export).
    std::atomic<bool> dialogGone{false}, closingWaited{false};
    // Joined however the test ends; it ends once the export closes the file.
    std::jthread reader([&] {
        const int fd = ::open(out.c_str(), O_RDONLY);
        const auto until = std::chrono::steady_clock::now() + 30s;
        while (!dialogGone && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(10ms);
        closingWaited = !dialogGone;
        char buf[65536];
        while (fd >= 0 && ::read(fd, buf, sizeof buf) > 0) {
        }
        if (fd >= 0) ::close(fd);
    });

    auto* d = new CReplayDlg(f, Dem(), false, 1);
    ASSERT_TRUE(d->OpenFile(in));
    ASSERT_TRUE(d->ExportCh10(out));
    Ch10ExportJob* job = d->ExportJob();
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(job->parent(), f);
    EXPECT_EQ(d->findChild<QPushButton*>("exportCh10")->text(), QStringLiteral("取消导出"));
    EXPECT_TRUE(d->findChild<QProgressBar*>("exportProgress")->isVisibleTo(d));
    delete d;
    dialogGone = true;
    EXPECT_FALSE(closingWaited) << "closing the dialog waited for the export";

    EXPECT_TRUE(job->Running());
    auto* panel = f->findChild<QWidget*>("ch10ExportProgress");
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    panel->findChild<QPushButton*>("cancelCh10Export")->click();
    ASSERT_WAIT_UNTIL(!job->Running(), 30s);
    reader.join();
    EXPECT_TRUE(boxes_->Saw("已取消导出，未完成的文件已删除：\n" + out));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(out)));
    EXPECT_EQ(f->findChild<QWidget*>("ch10ExportProgress"), nullptr);

    // The next export from a new dialog runs to its end with the frame's job.
    CReplayDlg again(f, Dem(), false, 1);
    EXPECT_EQ(again.ExportJob(), job);
    ASSERT_TRUE(again.OpenFile(in));
    bool finished = false, ok = false;
    QObject::connect(&again, &CReplayDlg::exportFinished, [&](bool good, const QString&) {
        finished = true;
        ok = good;
    });
    ASSERT_TRUE(again.ExportCh10(Home() + "/done.ch10"));
    ASSERT_WAIT_UNTIL(finished, 30s);
    EXPECT_TRUE(ok);
    EXPECT_EQ(PcmFrames(Home() + "/done.ch10"), 60000u);
    EXPECT_EQ(again.findChild<QPushButton*>("exportCh10")->text(),
              QStringLiteral("导出为IRIG 106第10章文件…"));
    EXPECT_TRUE(f->close());
}

// The replay's open dialog starts in the recording folder of the storage
// settings, and the export suggests the recording's own name with .ch10.
TEST_F(FrameExportTest, FileDialogsStartInTheRecordingFolderAndSuggestTheNameBesideIt) {
    const std::string folder = Home() + "/录音";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    cfg::StorageConfig storage = cfg::DefaultStorageConfig(Home());
    storage.beforeDir = folder;
    ASSERT_TRUE(cfg::SaveStorageConfig(Home(), storage));
    const std::string in = Recording(folder, "240101120000解密前.dat", 100);
    CMainFrame* f = MakeFrame();

    QString openedIn, savedIn, suggested;
    int step = 0;
    QTimer script;
    script.setInterval(10);
    QObject::connect(&script, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* replay = qobject_cast<CReplayDlg*>(modal);
        auto* files = qobject_cast<QFileDialog*>(modal);
        if (step == 0 && replay) {
            QMetaObject::invokeMethod(replay->findChild<QPushButton*>("open"), "click",
                                      Qt::QueuedConnection);
            step = 1;
        } else if (step == 1 && files) {
            openedIn = files->directory().absolutePath();
            files->reject();
            step = 2;
        } else if (step == 2 && replay) {
            replay->OpenFile(in);
            QMetaObject::invokeMethod(replay->findChild<QPushButton*>("exportCh10"), "click",
                                      Qt::QueuedConnection);
            step = 3;
        } else if (step == 3 && files) {
            savedIn = files->directory().absolutePath();
            if (auto* name = files->findChild<QLineEdit*>("fileNameEdit")) suggested = name->text();
            files->reject();
            step = 4;
        } else if (step == 4 && replay) {
            replay->reject();
            step = 5;
        }
    });
    script.start();
    f->OnCommand(mainframe::ID_DATA_REPLAY);
    script.stop();
    ASSERT_EQ(step, 5);
    EXPECT_EQ(openedIn, QString::fromStdString(folder)) << openedIn.toStdString();
    EXPECT_EQ(savedIn, QString::fromStdString(folder));
    EXPECT_EQ(suggested, QStringLiteral("240101120000解密前.ch10"));
    EXPECT_TRUE(boxes_->Saw("已取消文件回放。"));
    EXPECT_TRUE(f->close());
}
