// The satellite-navigation search in the running program against a loopback
// card engine carrying a receiver's stream: positions reach stationrx and the
// window for each protocol; the stored version and positions at start; the
// window's close and the dialogs' checks.
#include <config/gps_channel.h>
#include <datapath/data_path.h>
#include <testsupport/wait.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <array>
#include <cmath>
#include <cstdio>
#include <future>
#include <sstream>
#include <string>
#include <vector>

#include "command_ids.h"
#include "frame_test_kit.h"

namespace {

using namespace std::chrono_literals;
using namespace mainframe;
using frametest::AnswerNextDialog;
using frametest::DialogEnd;
using Position = std::array<double, 3>;

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[512];
        while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

// The search library's window, once shown.
QWidget* SearchWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QStringLiteral("外测信息")) return w;
    return nullptr;
}

// A label of the window showing a number within `tolerance` of `value`.
bool WindowShows(double value, double tolerance) {
    QWidget* w = SearchWindow();
    if (!w) return false;
    for (QLabel* l : w->findChildren<QLabel*>()) {
        bool ok = false;
        const double v = l->text().toDouble(&ok);
        if (ok && std::fabs(v - value) <= tolerance) return true;
    }
    return false;
}

class GnssFrameTest : public frametest::EngineFrameTest {
protected:
    void SetUp() override {
        EngineFrameTest::SetUp();
        net_ = UseLoopbackNetwork();
    }

    // The positions stationrx prints while it listens to the GNSS group.
    std::vector<Position> StationPositions(int seconds) {
        const char* dir = std::getenv("TALVORA_BIN_DIR");
        const std::string cmd = std::string(dir ? dir : ".") + "/stationrx --gnss " +
                                net_.gpsMulticastAddr + ":" +
                                std::to_string(net_.gpsMulticastPort) +
                                " --interface 127.0.0.1 --seconds " + std::to_string(seconds);
        auto result = std::async(std::launch::async, [cmd] { return Output(cmd); });
        EXPECT_TRUE(talvora::test::WaitUntil(
            [&] { return result.wait_for(0s) == std::future_status::ready; }, 60s, "stationrx"));
        std::vector<Position> out;
        std::istringstream lines(result.get());
        for (std::string line; std::getline(lines, line);) {
            Position p;
            if (std::sscanf(line.c_str(), "gnss %lf %lf %lf", &p[0], &p[1], &p[2]) == 3)
                out.push_back(p);
        }
        return out;
    }

    void ChoosePositions(CMainFrame* f, const std::array<const char*, 4>& values,
                         DialogEnd end = DialogEnd::Accept) {
        AnswerNextDialog(
            [values](QDialog& d) {
                for (int i = 0; i < 4; ++i)
                    d.findChild<QLineEdit*>(QStringLiteral("路序%1").arg(i + 1))
                        ->setText(QString::fromLatin1(values[std::size_t(i)]));
            },
            end);
        f->OnCommand(ID_GPS_CHANNEL);
    }

    // Search and GNSS multicast on, then stationrx: the engine's position,
    // from the first packet on, and the window shows it.
    void ExpectPositionsOfTheEngine(CMainFrame* f) {
        f->OnCommand(ID_GNSS_RECEPTION);
        EXPECT_TRUE(f->Action(ID_GNSS_RECEPTION)->isChecked());
        f->OnCommand(ID_GPS_MULTICAST);
        const std::vector<Position> got = StationPositions(4);
        ASSERT_GE(got.size(), 2u);
        for (const Position& p : got) {
            EXPECT_NEAR(p[0], 116.4, 3e-6);
            EXPECT_NEAR(p[1], 40.0, 3e-6);
            EXPECT_NEAR(p[2], 50.0, 0.5);
        }
        EXPECT_WAIT_UNTIL(WindowShows(116.4, 1e-5) && WindowShows(40.0, 1e-5), 10s);
    }

    cfg::NetworkConfig net_;
};

}  // namespace

TEST_F(GnssFrameTest, OldProtocolPositionsReachStationrxAndTheWindow) {
    cardengine::testkit::EngineProcess engine({"--gnss", "old"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    ASSERT_GE(f->GnssSubframeBytes(), 13);
    ChoosePositions(f, {"10", "11", "12", "13"});
    EXPECT_EQ(cfg::LoadGpsChannels(Home()).channel, (std::array<int, 4>{10, 11, 12, 13}));
    ExpectPositionsOfTheEngine(f);
    QWidget* w = SearchWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("外测测量信息显示对话框"));
    // The window's close clears the search flag; the command shows it again
    // and then hides it.
    w->close();
    EXPECT_WAIT_UNTIL(f->m_bGnssSearchOn == 0, 10s);
    f->OnCommand(ID_GNSS_RECEPTION);
    EXPECT_TRUE(w->isVisible());
    f->OnCommand(ID_GNSS_RECEPTION);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(f->m_bGnssSearchOn.load(), 0);
    EXPECT_TRUE(f->close());
}

TEST_F(GnssFrameTest, ProtocolChosenInTheDialogTakesEffectAndIsStored) {
    cardengine::testkit::EngineProcess engine({"--gnss", "new1"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    ChoosePositions(f, {"10", "11", "12", "13"});
    AnswerNextDialog([](QDialog& d) {
        const auto buttons = d.findChildren<QRadioButton*>();
        ASSERT_EQ(buttons.size(), 3);
        EXPECT_TRUE(buttons[0]->isChecked());
        EXPECT_EQ(buttons[1]->text(), QStringLiteral("新版本协议(AA5511BB有接收机ID)"));
        buttons[1]->setChecked(true);
    });
    f->OnCommand(ID_GNSS_PROTOCOL);
    EXPECT_EQ(f->GetDataPath()->gnssProtocol.load(), 1);
    EXPECT_EQ(cfg::LoadGnssConfig(Home()).protocolVersion, 1);
    ExpectPositionsOfTheEngine(f);
    EXPECT_TRUE(f->close());
}

TEST_F(GnssFrameTest, StoredVersionFiveAndPositionsOneToFourAtStart) {
    // Version 5 searches without receiver identifier; the stored positions
    // only fill the dialog, the search starts on 1-4.
    ASSERT_TRUE(cfg::SaveGnssConfig(Home(), {5}));
    ASSERT_TRUE(cfg::SaveGpsChannels(Home(), {{7, 8, 9, 0}}));
    cardengine::testkit::EngineProcess engine({"--gnss", "new2", "--gnss-bytes", "1,2,3,4"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    EXPECT_EQ(f->GetDataPath()->gnssProtocol.load(), 5);
    EXPECT_EQ(f->m_bGnssSearchOn.load(), 0) << "the search is off at every start";
    AnswerNextDialog(
        [](QDialog& d) {
            EXPECT_EQ(d.findChild<QLineEdit*>(QStringLiteral("路序1"))->text(), "7");
            EXPECT_EQ(d.findChild<QLineEdit*>(QStringLiteral("路序4"))->text(), "0");
            d.reject();
        },
        DialogEnd::Leave);
    f->OnCommand(ID_GPS_CHANNEL);
    ExpectPositionsOfTheEngine(f);
    EXPECT_TRUE(f->close());
}

TEST_F(GnssFrameTest, AZeroPositionIsLeftOutOfTheSearch) {
    // The engine skips byte 11; only a search that skips it too reads the stream.
    cardengine::testkit::EngineProcess engine({"--gnss", "old", "--gnss-bytes", "10,0,12,13"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    ChoosePositions(f, {"10", "0", "12", "13"});
    EXPECT_EQ(cfg::LoadGpsChannels(Home()).channel, (std::array<int, 4>{10, 0, 12, 13}));
    ExpectPositionsOfTheEngine(f);
    EXPECT_TRUE(f->close());
}

TEST_F(GnssFrameTest, PositionsBeyondTheSubframeAreRefused) {
    cardengine::testkit::EngineProcess engine;
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    const std::string text =
        "路序超出子帧字节数（" + std::to_string(f->GnssSubframeBytes()) + "）！";
    ChoosePositions(f, {"1", std::to_string(f->GnssSubframeBytes() + 1).c_str(), "0", "0"},
                    DialogEnd::AcceptOrCancel);
    EXPECT_TRUE(boxes_->Saw(text));
    ChoosePositions(f, {"1", "70000", "0", "0"}, DialogEnd::AcceptOrCancel);
    EXPECT_TRUE(boxes_->Saw("路序必须是0到65535之间的整数！"));
    EXPECT_EQ(cfg::LoadGpsChannels(Home()).channel, (std::array<int, 4>{0, 0, 0, 0}));
    ChoosePositions(f, {"3", "0", "0", "1"});
    EXPECT_EQ(cfg::LoadGpsChannels(Home()).channel, (std::array<int, 4>{3, 0, 0, 1}));
    EXPECT_TRUE(f->close());
}

// While the card is being opened the search still runs on the start-up
// layout (4 bytes); the positions are checked against the task's sub-frame,
// 24 bytes. The engine answers the open only after 1.2 s, so the card stays
// initialising meanwhile.
TEST_F(GnssFrameTest, PositionsAreCheckedAgainstTheTasksSubframeWhileTheCardOpens) {
    cardengine::testkit::EngineProcess engine({"--function-info-delay-ms", "1200"});
    ASSERT_TRUE(engine.started());
    UseEngine(engine.Address());
    CMainFrame* f = MakeFrame();
    ChoosePositions(f, {"10", "11", "12", "24"}, DialogEnd::AcceptOrCancel);
    ChoosePositions(f, {"1", "25", "0", "0"}, DialogEnd::AcceptOrCancel);
    const bool stillOpening = f->m_bCardInitialising == 1 && f->GnssSubframeBytes() == 4;
    const auto channels = cfg::LoadGpsChannels(Home()).channel;
    EXPECT_WAIT_UNTIL(f->m_bCardInitialising == 0, 20s);
    if (!stillOpening) GTEST_SKIP() << "the card was open before the dialogs were answered";
    EXPECT_EQ(channels, (std::array<int, 4>{10, 11, 12, 24}));
    EXPECT_TRUE(boxes_->Saw("路序超出子帧字节数（24）！"));
    EXPECT_TRUE(f->close());
}
