// Recording and replay in the running frame against a loopback card engine:
// a recording of live frames, its header and counters, then that file played
// back by the software replay and by the card, each time recorded again to
// see what the data path was handed.
#include <bbdevice/dem_file.h>
#include <config/para_config.h>
#include <datapath/data_path.h>
#include <datapath/replay_reader.h>
#include <netout/packet_format.h>
#include <platform/codepage.h>
#include <recording/recording_files.h>
#include <session/card_session.h>
#include <signal.h>
#include <sys/resource.h>
#include <taskbook/task_store.h>
#include <taskbook/taskbook.h>
#include <testsupport/wait.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <span>

#include "command_ids.h"
#include "frame_test_kit.h"
#include "replay_dlg.h"
#include "view_dlg.h"

namespace {

using namespace std::chrono_literals;
using namespace mainframe;
namespace fs = std::filesystem;

// The default task: 24 words of 8 bits, 4 sub-frames, the frame counter's
// low byte in word 5.
constexpr std::size_t kRecord = 32;
constexpr std::size_t kCounterByte = 8 + 4;

std::vector<std::uint8_t> ReadAll(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

std::uint32_t U32(const std::vector<std::uint8_t>& f, std::size_t at) {
    return f.at(at) | f.at(at + 1) << 8 | f.at(at + 2) << 16 | std::uint32_t(f.at(at + 3)) << 24;
}

// Every record's counter byte is the one before it plus 1.
bool CountersContinuous(const std::vector<std::uint8_t>& f, std::size_t from) {
    for (std::size_t at = from + kRecord; at + kRecord <= f.size(); at += kRecord)
        if (std::uint8_t(f[at + kCounterByte] - f[at - kRecord + kCounterByte]) != 1) return false;
    return true;
}

// The words (tags left out) of the records from `from`.
std::vector<std::vector<std::uint8_t>> Words(const std::vector<std::uint8_t>& f, std::size_t from) {
    std::vector<std::vector<std::uint8_t>> out;
    for (std::size_t at = from; at + kRecord <= f.size(); at += kRecord)
        out.emplace_back(f.begin() + at + 8, f.begin() + at + kRecord);
    return out;
}

class RecordingFrameTest : public frametest::EngineFrameTest {
protected:
    // A line of this run's journal holds `text`.
    bool JournalHas(const std::string& text) {
        const std::string gbkText = plat::Utf8ToGbk(text);
        const std::vector<std::uint8_t> gbk(gbkText.begin(), gbkText.end());
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(fs::path(Home()) / "Log", ec)) {
            const auto bytes = ReadAll(e.path().string());
            if (std::search(bytes.begin(), bytes.end(), gbk.begin(), gbk.end()) != bytes.end())
                return true;
        }
        return false;
    }
    // Records until `bytes` are in the file; the file's path.
    std::string Record(CMainFrame* f, double bytes) {
        f->OnCommand(ID_FILE_STORAGE);
        EXPECT_EQ(f->m_bRecording, 1);
        const std::string path = f->RecordingFiles()->BeforeDecryptionPath();
        EXPECT_WAIT_UNTIL(f->RecordingFiles()->BeforeDecryptionBytes() >= bytes, 30s);
        f->OnCommand(ID_FILE_STORAGE);  // "停止存盘?" answered with its default, Yes
        EXPECT_EQ(f->m_bRecording, 0);
        return path;
    }
    // Starts a replay of `path` of `kind` through the dialog.
    void StartReplay(CMainFrame* f, const std::string& path, int kind, int speedIndex) {
        frametest::AnswerNextDialog(
            [=](QDialog& d) {
                auto& dlg = static_cast<CReplayDlg&>(d);
                ASSERT_TRUE(dlg.OpenFile(path));
                dlg.findChild<QComboBox*>("speed")->setCurrentIndex(speedIndex);
                dlg.findChild<QCheckBox*>()->setChecked(false);  // play once
                EXPECT_TRUE(dlg.Start(kind));
            },
            frametest::DialogEnd::Leave);
        f->OnCommand(ID_DATA_REPLAY);
    }
};

}  // namespace

TEST_F(RecordingFrameTest, RecordingThenSoftwareAndCardReplayOfIt) {
    cardengine::testkit::EngineProcess engine({"--dem-steady"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);

    // 2 s of frames at 1 Mbit/s: 192-bit records, 5208 a second.
    const std::string path = Record(f, 2 * 5208 * 32.0);
    EXPECT_TRUE(boxes_->Saw("停止存盘?"));
    const fs::path p(path);
    EXPECT_EQ(p.parent_path(), fs::path(Home()) / "解密前数据");
    EXPECT_TRUE(std::regex_match(p.filename().string(), std::regex(R"(\d{12}解密前\.dat)")))
        << p.filename();
    EXPECT_TRUE(
        fs::exists(p.parent_path() / (p.filename().string().substr(0, 12) + "发送数据.dat")));
    const auto file = ReadAll(path);
    ASSERT_GT(file.size(), 1024u + 10000 * kRecord);
    EXPECT_EQ((file.size() - 1024) % kRecord, 0u);
    EXPECT_EQ(U32(file, 336), 1024u);
    EXPECT_EQ(U32(file, 384), (file.size() - 1024) / kRecord);
    EXPECT_EQ(U32(file, 732), 8u);
    EXPECT_EQ(U32(file, 736), 24u);
    EXPECT_EQ(U32(file, 740), 4u);
    EXPECT_EQ(U32(file, 756), 8u);
    EXPECT_TRUE(CountersContinuous(file, 1024));

    // Software replay at 4x, recorded again as it is dispatched: the
    // records come back unchanged and in order.
    StartReplay(f, path, datapath::kSoftwareReplay, 2);
    ASSERT_EQ(f->m_bReplayRunning, 1);
    EXPECT_EQ(f->m_nReplayKind, datapath::kSoftwareReplay);
    EXPECT_EQ(f->m_bTelemetrySending, 1);
    EXPECT_EQ(f->m_replay.dataOffset, 1024u);
    EXPECT_EQ(f->m_replay.recordCount, (file.size() - 1024) / kRecord);
    EXPECT_EQ(f->ReplayReader()->Speed(), 4);
    EXPECT_EQ(cfg::LoadReplayConfig(Home()).speed, 4);
    f->OnCommand(ID_FILE_STORAGE);
    const std::string again = f->RecordingFiles()->BeforeDecryptionPath();
    ASSERT_WAIT_UNTIL(boxes_->Saw("软件回放完成！"), 30s);
    EXPECT_EQ(f->m_bReplayRunning, 0);
    f->OnCommand(ID_FILE_STORAGE);
    const auto replayed = ReadAll(again);
    ASSERT_GT(replayed.size(), 1024u + 1000 * kRecord);
    const std::size_t records = (replayed.size() - 1024) / kRecord;
    // The first block may have gone before the recording began.
    const auto first = std::search(file.begin() + 1024, file.end(), replayed.begin() + 1024,
                                   replayed.begin() + 1024 + kRecord);
    ASSERT_NE(first, file.end());
    const std::size_t at = std::size_t(first - file.begin());
    ASSERT_EQ((at - 1024) % kRecord, 0u);
    // To the file's last record; live frames follow once the replay ended.
    ASSERT_GE(at + records * kRecord, file.size());
    EXPECT_TRUE(std::equal(first, file.end(), replayed.begin() + 1024));

    // Replay by the card: the engine plays the file's frames back with new
    // tags; recorded again they come back in the file's order.
    StartReplay(f, path, datapath::kCardReplay, 0);
    ASSERT_EQ(f->m_bReplayRunning, 1);
    EXPECT_EQ(f->m_nReplayKind, datapath::kCardReplay);
    const std::string byCard = Record(f, 3000 * kRecord);
    const auto cardFile = ReadAll(byCard);
    const auto words = Words(cardFile, 1024), fileWords = Words(file, 1024);
    ASSERT_GE(words.size(), 3000u);
    // Each record is one of the file's, later than the one before it (the
    // lock gate may leave out a block while the card locks on again).
    // Live frames still under way when the replay began come first.
    auto w0 = std::find_if(words.begin(), words.end(), [&](const auto& w) {
        return std::find(fileWords.begin(), fileWords.end(), w) != fileWords.end();
    });
    auto next = fileWords.begin();
    std::size_t inOrder = 0;
    for (const auto& w : std::span(w0, words.end())) {
        const auto hit = std::find(next, fileWords.end(), w);
        if (hit == fileWords.end()) break;
        next = hit + 1;
        ++inOrder;
    }
    EXPECT_GE(inOrder, 2000u);
    // The loop option was left off: the end of the card replay is reported.
    ASSERT_WAIT_UNTIL(boxes_->Saw("数据回放完成！"), 30s);
    EXPECT_EQ(f->m_bReplayRunning, 0);
    EXPECT_EQ(f->m_bTelemetrySending, 0);
}

TEST_F(RecordingFrameTest, PacketsSentDuringARecordingGoToItsSentDataFile) {
    cardengine::testkit::EngineProcess engine;
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    f->OnCommand(ID_MULTICAST_CENTER);
    ASSERT_EQ(f->m_bTelemetrySending, 1);

    f->OnCommand(ID_FILE_STORAGE);
    ASSERT_EQ(f->m_bRecording, 1);
    const std::string sent = f->RecordingFiles()->SentDataPath();
    // Packets are header (32 bytes) + status word + records: several whole
    // packets make the file grow past a few kilobytes.
    ASSERT_WAIT_UNTIL(f->RecordingFiles()->SentDataBytes() >= 8192, 30s);
    f->OnCommand(ID_FILE_STORAGE);
    ASSERT_EQ(f->m_bRecording, 0);

    const auto file = ReadAll(sent);
    ASSERT_GE(file.size(), 8192u);
    // Whole telemetry packets one after another, each as long as its length
    // field says, their sequence numbers consecutive.
    std::size_t at = 0, packets = 0;
    std::uint32_t previous = 0;
    while (at + netout::kHeaderBytes <= file.size()) {
        const netout::PacketHeader h = netout::ReadHeader(file.data() + at);
        ASSERT_EQ(h.bid, 0x00110101u) << "packet " << packets;
        if (packets > 0) {
            EXPECT_EQ(h.sequence, previous + 1) << "packet " << packets;
        }
        previous = h.sequence;
        at += netout::kHeaderBytes + h.length;
        ++packets;
    }
    EXPECT_EQ(at, file.size());
    EXPECT_GE(packets, 2u);
    EXPECT_TRUE(f->close());
}

TEST_F(RecordingFrameTest, ReplayIsRefusedWhileRecordingAndAStopQuestionNoKeepsRecording) {
    cardengine::testkit::EngineProcess engine({"--dem-steady"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    f->OnCommand(ID_FILE_STORAGE);
    ASSERT_EQ(f->m_bRecording, 1);
    f->OnCommand(ID_DATA_REPLAY);
    EXPECT_TRUE(boxes_->Saw("正在进行数据存盘，请先停止数据存盘。"));
    f->UpdateCommandUI();
    EXPECT_TRUE(f->Action(ID_FILE_STORAGE)->isChecked());
    // The exit stops the recording without asking, and the header is final.
    const std::string path = f->RecordingFiles()->BeforeDecryptionPath();
    ASSERT_WAIT_UNTIL(f->RecordingFiles()->BeforeDecryptionBytes() >= 100 * kRecord, 30s);
    f->CloseWithoutAsking();
    ASSERT_WAIT_UNTIL(f->ExitSequenceDone(), 20s);
    const auto file = ReadAll(path);
    ASSERT_GE(file.size(), 1024u + 100 * kRecord);
    EXPECT_EQ(U32(file, 384), (file.size() - 1024) / kRecord);
    const auto texts = boxes_->Texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "停止存盘?"), 0);
}

// A disk that fills while recording (a file-size limit on this process):
// the recording stops without the question, the operator is told which file
// failed, the journal says so too, and the header counts the records that
// are in the file.
TEST_F(RecordingFrameTest, AFullDiskStopsTheRecordingWithABoxAndAJournalLine) {
    cardengine::testkit::EngineProcess engine({"--dem-steady"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    f->OnCommand(ID_FILE_STORAGE);
    ASSERT_EQ(f->m_bRecording, 1);
    const std::string path = f->RecordingFiles()->BeforeDecryptionPath();
    ASSERT_WAIT_UNTIL(f->RecordingFiles()->BeforeDecryptionBytes() >= 100 * kRecord, 30s);

    // Every file of this process may grow 64 KiB past the recording's size
    // now; the limit is lifted again once the recording has stopped.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    rlimit full = old;
    full.rlim_cur = rlim_t(fs::file_size(path)) + 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
    const bool stopped = talvora::test::WaitUntil([&] { return f->m_bRecording == 0; }, 30s);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, previous);
    ASSERT_TRUE(stopped);

    const std::string box = "文件写入失败，已停止存盘：\n" + path;
    EXPECT_WAIT_UNTIL(boxes_->Saw(box), 10s);
    EXPECT_FALSE(boxes_->Saw("停止存盘?"));
    const auto file = ReadAll(path);
    EXPECT_LE(file.size(), full.rlim_cur);
    EXPECT_EQ(U32(file, 384), (file.size() - 1024) / kRecord);
    EXPECT_TRUE(CountersContinuous(file, 1024));
    EXPECT_WAIT_UNTIL(JournalHas("文件写入失败，已停止存盘：" + path), 10s);
    EXPECT_TRUE(f->close());
}

TEST_F(RecordingFrameTest, UncreatableDirectoryIsReportedWithItsPath) {
    CMainFrame* f = MakeFrame();
    const fs::path blocker = fs::path(Home()) / "blocker";
    std::ofstream(blocker) << "x";
    cfg::StorageConfig s = cfg::DefaultStorageConfig(Home());
    s.beforeDir = (blocker / "sub").string();
    ASSERT_TRUE(cfg::SaveStorageConfig(Home(), s));
    f->OnCommand(ID_FILE_STORAGE);
    EXPECT_EQ(f->m_bRecording, 0);
    EXPECT_TRUE(boxes_->Saw("文件创建失败！请确认文件路径是否正确：\n" + s.beforeDir + " "));
}

TEST_F(RecordingFrameTest, SpeedOfARunningSoftwareReplayIsChosenInTheStatusView) {
    CMainFrame* f = MakeFrame();
    // 20,000 records of the task's shape without header: almost 4 s at 1x.
    const fs::path file = fs::path(Home()) / "long.dat";
    {
        std::ofstream out(file, std::ios::binary);
        const std::vector<char> rec(kRecord, 0);
        for (int i = 0; i < 20000; ++i) out.write(rec.data(), kRecord);
    }
    StartReplay(f, file.string(), datapath::kSoftwareReplay, 0);
    ASSERT_EQ(f->m_bReplayRunning, 1);
    EXPECT_EQ(f->m_replay.dataOffset, 0u);
    auto* speed = f->StatusView()->findChild<QComboBox*>("replaySpeed");
    ASSERT_NE(speed, nullptr);
    ASSERT_WAIT_UNTIL(speed->isVisible(), 10s);
    EXPECT_EQ(speed->currentIndex(), 0);
    EXPECT_EQ(f->ReplayReader()->Speed(), 1);
    speed->setCurrentIndex(3);
    emit speed->activated(3);
    EXPECT_EQ(f->ReplayReader()->Speed(), datapath::kReplayFastest);
    ASSERT_WAIT_UNTIL(boxes_->Saw("软件回放完成！"), 30s);
    EXPECT_WAIT_UNTIL(!speed->isVisible(), 10s);
}
