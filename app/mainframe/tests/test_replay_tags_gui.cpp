// A software replay reads the time tags of its file in the file's own format,
// whatever format the station's task uses: the time-continuity check and the
// telemetry sent during the replay, in the running frame with its card open
// against a loopback card engine.
#include <datapath/data_path.h>
#include <datapath/time_tag.h>
#include <netout/packet_format.h>
#include <recording/dat_header.h>
#include <recording/recording_files.h>
#include <stats/frame_statistics.h>
#include <testsupport/wait.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QSpinBox>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "command_ids.h"
#include "frame_test_kit.h"
#include "replay_dlg.h"

namespace {

using namespace std::chrono_literals;
using namespace mainframe;
namespace fs = std::filesystem;

// The default task: 24 words of 8 bits, 4 sub-frames; 192 us a record at 1 Mbit/s.
constexpr std::size_t kRecord = 32;
constexpr int kRecords = 4000;
constexpr std::uint64_t kStepUs = 192;
constexpr std::uint64_t kStartUs = (10ull * 3600 + 20 * 60 + 30) * 1000000;  // 10:20:30

std::vector<std::uint8_t> ReadAll(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// A tag for `us` of the day: the card's BCD form (0.1 ms) or the host's.
void PutTag(std::uint8_t* tag, std::uint64_t us, std::uint32_t format, int index) {
    if (format == datapath::kBcdTimeTag) {
        const std::uint64_t tenths = us / 100 % 10000, s = us / 1000000;
        auto bcd = [](unsigned v) { return std::uint8_t((v / 10) << 4 | v % 10); };
        tag[0] = std::uint8_t((tenths / 10 % 10) << 4 | tenths % 10);
        tag[1] = bcd(unsigned(tenths / 100));
        tag[2] = bcd(unsigned(s % 60));
        tag[3] = bcd(unsigned(s / 60 % 60));
        tag[4] = bcd(unsigned(s / 3600));
        tag[5] = 0;
    } else {
        const std::uint64_t v = (us / 1000000) << 20 | us % 1000000;
        for (int i = 0; i < 5; ++i) tag[i] = std::uint8_t(v >> (8 * i));
        tag[5] = 0;
    }
    tag[6] = std::uint8_t(index);
    tag[7] = 0x40;
}

// The station runs its task with tag format GetParam(); the file is
// recorded with the other one.
class ReplayTagFormatTest : public frametest::EngineFrameTest,
                            public ::testing::WithParamInterface<std::uint32_t> {
protected:
    void EditTask(DemTaskRecord& dem) override { dem.dem.配时精度 = GetParam(); }

    // kRecords continuous records with a header that names `format`.
    std::string WriteFile(const DemParam& station, std::uint32_t format) {
        DemParam dem = station;
        dem.配时精度 = format;
        std::vector<std::uint8_t> file(recording::kHeaderBytes + kRecords * kRecord);
        recording::BuildHeader(
            dem, {}, kRecords * kRecord, 0,
            std::span<std::uint8_t, recording::kHeaderBytes>(file.data(), recording::kHeaderBytes));
        for (int i = 0; i < kRecords; ++i) {
            std::uint8_t* rec = file.data() + recording::kHeaderBytes + i * kRecord;
            PutTag(rec, kStartUs + i * kStepUs, format, i % 4);
            rec[8 + 4] = std::uint8_t(i);
        }
        const std::string path = (fs::path(Home()) / "tags.dat").string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
        return path;
    }
};

}  // namespace

TEST_P(ReplayTagFormatTest, TimeCheckAndTelemetryReadTheFilesTags) {
    cardengine::testkit::EngineProcess engine({"--dem-steady"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    const std::uint32_t station = GetParam(), fileFormat = station == 0 ? 1 : 0;
    ASSERT_EQ(f->GetDataPath()->DemodulatorRecord().配时精度, station);
    const std::string path = WriteFile(f->GetDataPath()->DemodulatorRecord(), fileFormat);

    frametest::AnswerNextDialog(
        [&](QDialog& d) {
            auto& dlg = static_cast<CReplayDlg&>(d);
            ASSERT_TRUE(dlg.OpenFile(path));
            dlg.findChild<QComboBox*>("speed")->setCurrentIndex(0);
            dlg.findChild<QCheckBox*>()->setChecked(false);
            EXPECT_TRUE(dlg.Start(datapath::kSoftwareReplay));
        },
        frametest::DialogEnd::Leave);
    f->OnCommand(ID_DATA_REPLAY);
    ASSERT_EQ(f->m_bReplayRunning, 1);
    EXPECT_EQ(f->GetDataPath()->Geometry().tagFormat, fileFormat);
    // The sent telemetry is recorded, and the time check runs, while the file plays.
    f->OnCommand(ID_FILE_STORAGE);
    ASSERT_EQ(f->m_bRecording, 1);
    const std::string sent = f->RecordingFiles()->SentDataPath();
    frametest::AnswerNextDialog(
        [](QDialog& d) { d.findChild<QSpinBox*>("bitRate")->setValue(500000); });
    f->OnCommand(ID_FRAME_PERIOD_STAT);
    ASSERT_TRUE(f->Statistics()->Running(stats::Check::TimeContinuity));

    ASSERT_WAIT_UNTIL(boxes_->Saw("软件回放完成！"), 60s);
    EXPECT_EQ(f->GetDataPath()->Geometry().tagFormat, station);
    // The file's 4000 records run on without a jump; live frames that follow
    // the end of the replay may add the one jump back to the card's time.
    EXPECT_LE(f->Statistics()->Readout().jumps[std::size_t(stats::Check::TimeContinuity)], 1);
    f->OnCommand(ID_FRAME_PERIOD_STAT);
    f->OnCommand(ID_FILE_STORAGE);
    ASSERT_EQ(f->m_bRecording, 0);

    // Every replayed record went out with its own time of day (0.1 ms);
    // live frames after the end of the replay carry the station's tags.
    const auto file = ReadAll(sent);
    std::size_t at = 0, records = 0;
    while (at + netout::kHeaderBytes + netout::kDataHeadBytes <= file.size()) {
        const netout::PacketHeader h = netout::ReadHeader(file.data() + at);
        const std::uint8_t* body = file.data() + at + netout::kHeaderBytes + netout::kDataHeadBytes;
        const std::size_t n = (h.length - netout::kDataHeadBytes) / kRecord;
        for (std::size_t r = 0; r < n; ++r) {
            const std::uint8_t* rec = body + r * kRecord;
            const std::uint32_t timeOfDay = netout::GetU32(rec + 2);
            const std::uint64_t lo = kStartUs / 100, hi = (kStartUs + kRecords * kStepUs) / 100;
            if (timeOfDay >= lo && timeOfDay <= hi) {
                // Whole 0.1 ms of record i's time: i is the first index at
                // or after the time.
                const std::uint64_t i = (timeOfDay * 100ull - kStartUs + kStepUs - 1) / kStepUs;
                EXPECT_EQ(std::uint8_t(i), rec[8 + 4])
                    << "record " << records << " at " << timeOfDay;
                ++records;
            }
        }
        at += netout::kHeaderBytes + h.length;
    }
    // The recording of what was sent begins just after the replay did.
    EXPECT_GT(records, std::size_t(kRecords) / 2);
}

INSTANTIATE_TEST_SUITE_P(BothWays, ReplayTagFormatTest, ::testing::Values(0u, 1u),
                         [](const auto& info) {
                             return info.param == 0 ? std::string("HostTaggedFileOnBcdStation")
                                                    : std::string("BcdFileOnHostTaggedStation");
                         });
