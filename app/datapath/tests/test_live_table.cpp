// Live frames end to end: cardengine generates PCM frames from the default
// task, the card session opens the card with the data callback, the data path
// assembles superframes and the 250 ms refresh hands them to a raw table in an
// MDI area. The cells are compared with the words the generator is documented
// to put at their places.
#include <cardengine/testkit/engine_process.h>
#include <datapath/data_path.h>
#include <gtest/gtest.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <rawgrid/table_grid_wnd.h>
#include <rawgrid/table_wnd.h>
#include <rawgrid/table_wnd_class.h>
#include <session/card_session.h>
#include <taskbook/taskbook.h>

#include <QApplication>
#include <QMdiArea>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "testsupport/data_path_rig.h"
#include "testsupport/temp_home.h"
#include "testsupport/wait.h"

namespace {

std::atomic<datapath::DataPath*> g_path{nullptr};
std::atomic<int> g_blocks{0};

int DataCallback(DemReportBlock* block) {
    ++g_blocks;
    if (datapath::DataPath* p = g_path.load()) p->OnCardBlock(block->data, block->byteCount);
    return 0;
}

// The frame's flags, buffers and records for the session and the data path;
// the card is closed until the session opens it.
struct MiniFrame : talvora::test::DataPathRig<> {
    MiniFrame() {
        cardOpen = 0;
        initialising = 1;
        applied = 0;
    }
    std::atomic<int> streamNo{1}, decryption{0}, liftOff{0};
    TaskInfoRecord info{};
    DemTaskRecord demTask{};  // the session's; the rig's dem is the path's copy
    SimTaskRecord sim{};
    TimeTaskRecord time{};
    RecvTaskRecord recv{};
};

class LiveTable : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(home_.path().empty());
        ::setenv("TALVORA_OBJECT_NAMESPACE",
                 ("datapath-live-" + std::to_string(::getpid())).c_str(), 1);
        sink_ = std::make_shared<plat::CapturingSink>();
        plat::SetNotifySink(sink_);
    }
    void TearDown() override { plat::SetNotifySink(nullptr); }
    talvora::test::TempHome home_;
    std::shared_ptr<plat::CapturingSink> sink_;
};

unsigned Hex(const QString& s) {
    return s.toUInt(nullptr, 16);
}

}  // namespace

TEST_F(LiveTable, GeneratedWordsAppearInTheRawTable) {
    cardengine::testkit::EngineProcess engine;
    ASSERT_TRUE(engine.started());
    ::setenv("TALVORA_ENGINE", engine.Address().c_str(), 1);

    auto frame = std::make_unique<MiniFrame>();
    session::SessionHooks hooks;
    hooks.resetSuperframeAssembly = [&] { frame->path.ResetAssembly(); };
    hooks.demodulatorRecordChanged = [&](const DemParam& dem) {
        frame->path.SetDemodulatorRecord(dem);
    };
    hooks.log = [](std::string) {};
    session::CardSession card({.info = &frame->info,
                               .dem = &frame->demTask,
                               .sim = &frame->sim,
                               .time = &frame->time,
                               .recv = &frame->recv},
                              {.cardOpen = frame->cardOpen,
                               .cardInitialising = frame->initialising,
                               .paramsApplied = frame->applied,
                               .streamNo = frame->streamNo,
                               .recording = frame->recording,
                               .replayRunning = frame->replayRunning,
                               .frameCountStatOn = frame->frameStat,
                               .idStatOn = frame->idStat,
                               .timeStatOn = frame->timeStat,
                               .bitErrorOn = frame->bitError,
                               .stdFrameCaptured = frame->stdReady,
                               .afterDecryption = frame->after,
                               .decryptionSwitch = frame->decryption,
                               .liftOffEnable = frame->liftOff},
                              hooks, &DataCallback);
    ASSERT_NE(GetDefaultTaskPara(&frame->info, &frame->demTask, &frame->sim, &frame->time,
                                 &frame->recv, 1),
              0);
    ASSERT_TRUE(card.SaveWorkingState());
    g_path = &frame->path;
    frame->path.Attach();

    QMdiArea area;
    area.resize(1000, 700);
    area.show();
    CTableWndClass table;
    // The table's own setting: every subframe of the superframe as a row.
    std::ofstream(home_ / "TableParameter.ini") << "[TABLE_PARAMETER]\nSHOW_WF_MODE=1\n";
    _FRAME_STRUCT_PARAM record{};
    datapath::FillFrameRecord(record, frame->demTask.dem);
    auto* wnd = static_cast<rawgrid::CTableWnd*>(table.InitTableWnd(&area, &record, 100, -1));
    ASSERT_NE(wnd, nullptr);

    std::thread opener([&] { card.OpenCard(); });  // the card-open thread
    // The refresh of timer 11, until the table shows a whole superframe.
    const bool shown = talvora::test::WaitUntil(
        [&] {
            if (!frame->path.RefreshAllowed()) return false;
            datapath::FillFrameRecord(record, frame->path.DemodulatorRecord());
            if (const std::uint8_t* data = frame->path.RawViewData(record))
                table.SetRawgridData(&record, const_cast<std::uint8_t*>(data), -1);
            QApplication::processEvents(QEventLoop::AllEvents, 50);
            return wnd->Grid()->ShownRows() == 4 && !wnd->Grid()->CellText(3, 23).isEmpty();
        },
        std::chrono::seconds(20));
    opener.join();
    ASSERT_TRUE(shown) << "no frame reached the table; card open " << frame->cardOpen
                       << ", initialising " << frame->initialising << ", blocks " << g_blocks
                       << ", superframes " << frame->count << ", rows " << wnd->Grid()->ShownRows()
                       << ", boxes " << sink_->Shown().size() << " "
                       << (sink_->Shown().empty() ? "" : sink_->Shown()[0].text);
    EXPECT_EQ(frame->cardOpen, 1);

    // The default task: 8-bit words, 24 per subframe, 4 subframes; sync code
    // EB90 in words 1-2; the ID word 7 counting down from 0; the signal
    // source's frame counter high, middle and low bytes in words 3, 4, 5.
    rawgrid::TableGridView* g = wnd->Grid();
    std::uint32_t firstCounter = 0;
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(g->CellText(row, 0), "EB") << row;
        EXPECT_EQ(g->CellText(row, 1), "90") << row;
        EXPECT_EQ(Hex(g->CellText(row, 6)), unsigned(3 - row)) << row;
        const std::uint32_t counter = Hex(g->CellText(row, 2)) << 16 |
                                      Hex(g->CellText(row, 3)) << 8 | Hex(g->CellText(row, 4));
        if (row == 0) firstCounter = counter;
        // The rows are consecutive subframes of one superframe.
        EXPECT_EQ(counter, (firstCounter + row) & 0xFFFFFF) << row;
        EXPECT_FALSE(g->TimeText(row).isEmpty());
    }
    // A whole superframe starts at a counter that is a multiple of 4.
    EXPECT_EQ(firstCounter % 4, 0u);

    frame->path.Detach();
    g_path = nullptr;
    card.CloseCard();
}
