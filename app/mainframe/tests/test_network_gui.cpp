// The network output of the running frame against a loopback card engine and
// the stationrx receiver: telemetry without gaps, a link monitor a second,
// other stations' packets in the status view, and the two dialogs.
#include <datapath/data_path.h>
#include <netout/network_output.h>
#include <testsupport/wait.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <future>
#include <string>

#include "command_ids.h"
#include "frame_test_kit.h"
#include "loopback_udp.h"
#include "view_dlg.h"

namespace {

using namespace std::chrono_literals;
using namespace mainframe;
using frametest::AnswerNextDialog;
using frametest::DialogEnd;
using frametest::StatusCell;

void SetField(QDialog& d, const char* name, const QString& text) {
    d.findChild<QLineEdit*>(QString::fromLatin1(name))->setText(text);
}

// Runs a program and returns its standard output.
std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[512];
        while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

// The number after "key": in a one-line JSON object, or -1.
long long JsonNumber(const std::string& json, const std::string& key) {
    const std::size_t at = json.find("\"" + key + "\":");
    return at == std::string::npos ? -1 : std::atoll(json.c_str() + at + key.size() + 3);
}

class NetworkFrameTest : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        net_ = UseLoopbackNetwork();
        plat::SetNotifySink(boxes_);
    }
    cfg::NetworkConfig net_;
    std::shared_ptr<frametest::TextSink> boxes_ = std::make_shared<frametest::TextSink>();
};

TEST_F(NetworkFrameTest, LampsGreenOnLoopbackAndTheSwitchesAreChecked) {
    CMainFrame* f = MakeFrame();
    ASSERT_TRUE(f->Network()->TelemetryReady());
    ASSERT_TRUE(f->Network()->BroadcastReady());
    ASSERT_TRUE(f->Network()->GnssReady());
    EXPECT_WAIT_UNTIL(f->StatusView()->ColourLampOf(1022)->IsOn() &&
                          f->StatusView()->ColourLampOf(1021)->IsOn() &&
                          f->StatusView()->ColourLampOf(1020)->IsOn(),
                      10s);
    EXPECT_FALSE(f->StatusView()->ColourLampOf(1022)->IsHighlighted());
    for (unsigned id : {ID_MULTICAST_CENTER, ID_FULL_FRAME_BROADCAST, ID_GPS_MULTICAST}) {
        f->Action(id)->trigger();
        EXPECT_TRUE(f->Action(id)->isChecked()) << id;
    }
    EXPECT_EQ(f->m_bTelemetrySending.load(), 1);
    EXPECT_WAIT_UNTIL(f->StatusView()->ColourLampOf(1022)->IsHighlighted(), 10s);
    f->Action(ID_MULTICAST_CENTER)->trigger();
    EXPECT_FALSE(f->Action(ID_MULTICAST_CENTER)->isChecked());
    EXPECT_EQ(f->m_bTelemetrySending.load(), 0);
    for (const std::string& t : boxes_->Texts()) EXPECT_EQ(t.find("初始化失败"), std::string::npos);
    EXPECT_TRUE(f->close());
}

TEST_F(NetworkFrameTest, CardTelemetryReachesStationrxWithoutGapsWithLinkMonitors) {
    cardengine::testkit::EngineProcess engine;
    ASSERT_TRUE(engine.started());
    UseEngine(engine.Address());
    CMainFrame* f = MakeFrame();
    ASSERT_WAIT_UNTIL(f->m_bCardOpen && !f->m_bCardInitialising, 20s);
    // The status view has seen the card in lock.
    ASSERT_WAIT_UNTIL(f->GetDataPath()->syncLossCount.load() == 0, 20s);
    f->OnCommand(ID_MULTICAST_CENTER);

    const std::string bin = std::getenv("TALVORA_BIN_DIR") ? std::getenv("TALVORA_BIN_DIR") : ".";
    const std::string cmd = bin + "/stationrx --group " + net_.multicastAddr + " --port " +
                            std::to_string(net_.multicastDestPort) +
                            " --interface 127.0.0.1 --unicast " +
                            std::to_string(net_.unicastDestPort) +
                            " --record-bytes 32 --subframes 4 --counter 5:1 --late-ms 1000"
                            " --seconds 3 --json --quiet";
    auto result = std::async(std::launch::async, [cmd] { return Output(cmd); });
    ASSERT_TRUE(talvora::test::WaitUntil(
        [&] { return result.wait_for(0s) == std::future_status::ready; }, 30s, "stationrx"));
    const std::string json = result.get();
    ASSERT_FALSE(json.empty());
    // Both copies (group and unicast) pass every check, and the counter runs
    // on across records and packets: every record once.
    EXPECT_GT(JsonNumber(json, "telemetry"), 100) << json;
    EXPECT_GE(JsonNumber(json, "link_monitor"), 2) << json;
    EXPECT_EQ(JsonNumber(json, "malformed"), 0) << json;
    EXPECT_EQ(JsonNumber(json, "lost"), 0) << json;
    EXPECT_EQ(JsonNumber(json, "reordered"), 0) << json;
    EXPECT_EQ(JsonNumber(json, "duplicates"), 0) << json;
    EXPECT_EQ(JsonNumber(json, "counter_breaks"), 0) << json;
    EXPECT_EQ(f->GetDataPath()->sendDroppedBlocks.load(), 0u);
    // The status view shows the last telemetry header sent.
    EXPECT_WAIT_UNTIL(StatusCell(f, 1055) == "80" && StatusCell(f, 1058) == "80000307", 10s);
    EXPECT_TRUE(f->close());
}

TEST_F(NetworkFrameTest, PeerLinkMonitorAndLiftOffAppearInTheStatusView) {
    CMainFrame* f = MakeFrame();
    auto packet = [](std::uint32_t bid, std::uint8_t version, std::uint32_t dataTime) {
        std::vector<std::uint8_t> d(36, 0);
        d[0] = version;
        for (int i = 0; i < 4; ++i) {
            d[11 + i] = std::uint8_t(bid >> (8 * i));
            d[32 + i] = std::uint8_t(dataTime >> (8 * i));
            d[3 + i] = std::uint8_t(0x12345678u >> (8 * i));
        }
        d[15] = 42;                  // sequence
        d[24] = 0xF2, d[25] = 0x05;  // day 1522
        return d;
    };
    // 01:02:03.004 in 0.1 ms.
    const std::uint32_t t = (3600000u + 2 * 60000u + 3000u + 4u) * 10u;
    ASSERT_TRUE(netout::test::SendFromLoopback("255.255.255.255", net_.broadcastPort,
                                               packet(0x00020101, 0x21, t)));
    ASSERT_TRUE(netout::test::SendFromLoopback("255.255.255.255", net_.broadcastPort,
                                               packet(0x00010101, 0x22, t)));
    EXPECT_WAIT_UNTIL(StatusCell(f, 1035) == "21" && StatusCell(f, 1044) == "22", 10s);
    EXPECT_EQ(StatusCell(f, 1038), "12345678");
    EXPECT_EQ(StatusCell(f, 1040), "127.0.0.1");
    EXPECT_EQ(StatusCell(f, 1041), "42");
    EXPECT_EQ(StatusCell(f, 1042), "1522-1:2:3::4");
    EXPECT_TRUE(f->close());
}

TEST_F(NetworkFrameTest, NetworkDialogRefusesBadValuesThenReopensTheSockets) {
    CMainFrame* f = MakeFrame();
    const int newPort = cardengine::testkit::FreeLoopbackPort();
    // A group outside the multicast range is refused and the dialog stays open.
    AnswerNextDialog([](QDialog& d) { SetField(d, "multicastAddr", "223.0.0.9"); },
                     DialogEnd::AcceptOrCancel);
    f->OnCommand(ID_NETWORK_CONFIG);
    AnswerNextDialog([](QDialog& d) { SetField(d, "outputIp", "127.0.0.77"); },
                     DialogEnd::AcceptOrCancel);
    f->OnCommand(ID_NETWORK_CONFIG);
    // The card-open thread may show its own box meanwhile: look for the two
    // refusals in their order rather than at fixed places.
    const std::vector<std::string> texts = boxes_->Texts();
    const auto group =
        std::find(texts.begin(), texts.end(),
                  "组播发送地址必须是224.0.0.0到239.255.255.255之间的IPv4地址，请确认！");
    ASSERT_NE(group, texts.end());
    const auto output = std::find_if(group, texts.end(), [](const std::string& t) {
        return t.rfind("计算机组播输出IP只能为：\n", 0) == 0;
    });
    ASSERT_NE(output, texts.end());
    EXPECT_NE(output->find("\n127.0.0.1"), std::string::npos);
    EXPECT_EQ(cfg::LoadNetworkConfig(Home()).multicastAddr, net_.multicastAddr);

    AnswerNextDialog([newPort](QDialog& d) {
        SetField(d, "multicastDestPort", QString::number(newPort));
        SetField(d, "multicastAddr", "239.255.44.19");
    });
    f->OnCommand(ID_NETWORK_CONFIG);
    EXPECT_EQ(cfg::LoadNetworkConfig(Home()).multicastDestPort, newPort);
    EXPECT_TRUE(f->Network()->TelemetryReady());
    // The link monitor now goes to the new group and port.
    auto rx = netout::test::UdpReceiver::Group("239.255.44.19", newPort);
    ASSERT_TRUE(rx.Ok());
    EXPECT_EQ(rx.Receive(5000).size(), 36u);
    EXPECT_TRUE(f->close());
}

TEST_F(NetworkFrameTest, SendDialogRefusesTooLargePacketsAndAppliesAtOnce) {
    CMainFrame* f = MakeFrame();
    AnswerNextDialog([](QDialog& d) { SetField(d, "factor", "600"); }, DialogEnd::AcceptOrCancel);
    f->OnCommand(ID_NETWORK_SEND_PARAM);
    AnswerNextDialog([](QDialog& d) { SetField(d, "stream", "4"); }, DialogEnd::AcceptOrCancel);
    f->OnCommand(ID_NETWORK_SEND_PARAM);
    // The card-open thread may show its own box meanwhile: look for the two
    // refusals in their order rather than at fixed places.
    const std::vector<std::string> texts = boxes_->Texts();
    const auto tooLarge = std::find_if(texts.begin(), texts.end(), [](const std::string& t) {
        return t.find("遥测数据发送包过大（") != std::string::npos;
    });
    ASSERT_NE(tooLarge, texts.end());
    EXPECT_NE(std::find(tooLarge, texts.end(), "遥测数据流号必须在1~3范围内，请重新输入！"),
              texts.end());
    EXPECT_EQ(cfg::LoadNetworkSendConfig(Home()).packetSizeFactor, 5);

    AnswerNextDialog([](QDialog& d) {
        SetField(d, "version", "7F");
        SetField(d, "source", "FFFFFFFE");
        SetField(d, "stream", "3");
    });
    f->OnCommand(ID_NETWORK_SEND_PARAM);
    const netout::HeaderSettings h = f->Network()->Header();
    EXPECT_EQ(h.version, 0x7F);
    EXPECT_EQ(h.source, 0xFFFFFFFEu);
    EXPECT_EQ(h.streamNo, 3);
    EXPECT_EQ(cfg::LoadNetworkSendConfig(Home()).sourceAddr, 0xFFFFFFFEu);
    EXPECT_TRUE(f->close());
}

}  // namespace
