#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/gps_channel.h"
#include "config/para_config.h"
#include "config/window_pos.h"
#include "ini_test_dir.h"
#include "log/system_log.h"

using namespace cfg;

class ParaConfigTest : public IniTestDir {};

TEST_F(ParaConfigTest, MissingFileGivesEveryDefaultAndIsNotCreated) {
    const ParaConfig c = LoadParaConfigAtStartup(dir);
    EXPECT_EQ(c.network.multicastAddr, "224.0.0.9");
    EXPECT_EQ(c.network.multicastPort, 8080);
    EXPECT_EQ(c.network.gpsMulticastPort, 8081);
    EXPECT_EQ(c.network.unicastDestIp, "192.168.0.122");
    EXPECT_EQ(c.networkSend.sourceAddr, 2147484423u);
    EXPECT_EQ(c.networkSend.telemetryBid, 1114369u);
    EXPECT_EQ(c.frameCount.lowWordPos, 2);
    EXPECT_EQ(c.idCount.idWordPos, 3);
    EXPECT_EQ(c.timeContinuity.bitRate, 1000000);
    EXPECT_EQ(c.replay.loop, 1);
    EXPECT_EQ(c.bitError.endChannel, 10);
    EXPECT_EQ(c.bitError.manualText, "1,2,");
    EXPECT_EQ(c.bitError.excludedBytes, (std::vector<int>{1, 2}));
    EXPECT_EQ(c.screenshot.mode, 0);
    EXPECT_EQ(c.gnss.protocolVersion, 0);

    const StorageConfig s = LoadStorageConfig(dir);
    EXPECT_EQ(s.beforeDir, dir + "/解密前数据");
    EXPECT_EQ(s.afterDir, dir + "/解密后数据");
    EXPECT_EQ(s.beforeEnabled, 1);
    EXPECT_EQ(s.afterHeaderOption, 0);
    EXPECT_EQ(LoadGpsChannels(dir).channel, (std::array<int, 4>{0, 0, 0, 0}));

    EXPECT_FALSE(Exists("Para.ini"));
    EXPECT_FALSE(Exists("GpsChannel.ini"));
}

TEST_F(ParaConfigTest, EverySectionReadsBackWhatWasSaved) {
    NetworkConfig n;
    n.multicastAddr = "239.1.2.3";
    n.multicastPort = 0;
    n.multicastDestPort = 65535;
    n.unicastDestIp = "127.0.0.1";
    n.showNetworkErrors = 0;
    n.downConverterPort = 4002;
    ASSERT_TRUE(SaveNetworkConfig(dir, n));
    EXPECT_TRUE(Exists("Para.ini"));  // the first save creates it

    NetworkSendConfig ns;
    ns.version = 255;
    ns.taskFlag = 0xFFFF;
    ns.sourceAddr = 0xFFFFFFFFu;
    ns.destAddr = 7;
    ns.packetSizeFactor = 9;
    ns.streamNo = 3;
    ASSERT_TRUE(SaveNetworkSendConfig(dir, ns));

    ASSERT_TRUE(SaveFrameCountConfig(dir, {1, 7, 8}));
    ASSERT_TRUE(SaveIdCountConfig(dir, {2048}));
    ASSERT_TRUE(SaveTimeContinuityConfig(dir, {20000000}));
    ASSERT_TRUE(SaveReplayConfig(dir, {0}));
    StorageConfig st{"/data/前", "/data/后", 0, 1, 1, 0};
    ASSERT_TRUE(SaveStorageConfig(dir, st));
    ASSERT_TRUE(SaveScreenshotConfig(dir, {2}));
    ASSERT_TRUE(SaveGnssConfig(dir, {1}));
    ASSERT_TRUE(SaveGpsChannels(dir, {{5, 0, 65535, 12}}));

    const NetworkConfig n2 = LoadNetworkConfig(dir);
    EXPECT_EQ(n2.multicastAddr, "239.1.2.3");
    EXPECT_EQ(n2.multicastPort, 0);
    EXPECT_EQ(n2.multicastDestPort, 65535);
    EXPECT_EQ(n2.unicastDestIp, "127.0.0.1");
    EXPECT_EQ(n2.showNetworkErrors, 0);
    EXPECT_EQ(n2.downConverterPort, 4002);
    EXPECT_EQ(n2.monitorAddr, "192.168.1.100");

    const NetworkSendConfig ns2 = LoadNetworkSendConfig(dir);
    EXPECT_EQ(ns2.version, 255);
    EXPECT_EQ(ns2.taskFlag, 0xFFFF);
    EXPECT_EQ(ns2.sourceAddr, 0xFFFFFFFFu);
    EXPECT_EQ(ns2.destAddr, 7u);
    EXPECT_EQ(ns2.packetSizeFactor, 9);
    EXPECT_EQ(ns2.streamNo, 3);
    EXPECT_EQ(ns2.linkMonitorBid, 0x00020101u);

    const FrameCountConfig fc = LoadFrameCountConfig(dir);
    EXPECT_EQ(fc.highWordEnabled, 1);
    EXPECT_EQ(fc.highWordPos, 7);
    EXPECT_EQ(fc.lowWordPos, 8);
    EXPECT_EQ(LoadIdCountConfig(dir).idWordPos, 2048);
    EXPECT_EQ(LoadTimeContinuityConfig(dir).bitRate, 20000000);
    EXPECT_EQ(LoadReplayConfig(dir).loop, 0);
    const StorageConfig st2 = LoadStorageConfig(dir);
    EXPECT_EQ(st2.beforeDir, "/data/前");
    EXPECT_EQ(st2.afterDir, "/data/后");
    EXPECT_EQ(st2.beforeEnabled, 0);
    EXPECT_EQ(st2.beforeHeaderOption, 1);
    EXPECT_EQ(LoadScreenshotConfig(dir).mode, 2);
    EXPECT_EQ(LoadGnssConfig(dir).protocolVersion, 1);
    EXPECT_EQ(LoadGpsChannels(dir).channel, (std::array<int, 4>{5, 0, 65535, 12}));
}

TEST_F(ParaConfigTest, FileIsGbkWithTheChineseNamesAndDecimalValues) {
    ASSERT_TRUE(SaveIdCountConfig(dir, {12}));
    ASSERT_TRUE(SaveScreenshotConfig(dir, {1}));
    const std::string text = ReadAsUtf8("Para.ini");
    EXPECT_NE(text.find("[ID计数统计参数]"), std::string::npos);
    EXPECT_EQ(CountEntry(text, "ID路序", "12"), 1);
    EXPECT_EQ(CountEntry(text, "方式，0：仅保存，1：仅打印，2：保存且打印", "1"), 1);
}

TEST_F(ParaConfigTest, SendAddressesAreStoredSignedAndReadBackToTheSameBits) {
    ASSERT_TRUE(SaveNetworkSendConfig(dir, NetworkSendConfig{}));
    const std::string text = ReadAsUtf8("Para.ini");
    EXPECT_EQ(CountEntry(text, "信源地址", "-2147482873"), 1);
    EXPECT_EQ(LoadNetworkSendConfig(dir).sourceAddr, 0x80000307u);

    // The unsigned form (as the default is given) reads the same; beyond 32
    // bits gives the default.
    WriteGbk("Para.ini",
             "[网络发送配置参数]\n信源地址=2147484423\n信宿地址=4294967296\n"
             "链监信息BID=-1\n");
    const NetworkSendConfig c = LoadNetworkSendConfig(dir);
    EXPECT_EQ(c.sourceAddr, 0x80000307u);
    EXPECT_EQ(c.destAddr, 0x80000307u);
    EXPECT_EQ(c.linkMonitorBid, 0xFFFFFFFFu);
}

TEST_F(ParaConfigTest, OutOfRangeValuesGiveTheKeyDefault) {
    WriteGbk("Para.ini",
             "[网络配置参数]\n挑路组播端口=70000\n挑路组播端口1=-1\nGPS信息组播端口=8090\n"
             "全帧广播端口=abc\n网络出错提示=5\n"
             "[网络发送配置参数]\n版本号=256\n任务标志=65536\n遥测数据发送包大小=0\n遥测流号=4\n"
             "[帧计数统计参数]\n帧计数高位路序=0\n帧计数低位路序=2049\n"
             "[时间连续统计参数]\n实际码率=999\n"
             "[流号参数]\n遥测流号=0\n"
             "[回放参数]\n是否循环回放=2\n"
             "[存盘信息]\n解密前文件头=2\n"
             "[误码配置]\n波道模式=3\n开始波道=0\n"
             "[曲线截屏文件处理方式]\n方式，0：仅保存，1：仅打印，2：保存且打印=3\n"
             "[外测参数]\n外测版本：0-旧版本；1-新版本=-1\n");
    WriteGbk("GpsChannel.ini", "[Gps通道]\nChannel1=65536\nChannel2=-4\nChannel3=3\n");

    const NetworkConfig n = LoadNetworkConfig(dir);
    EXPECT_EQ(n.multicastPort, 8080);
    EXPECT_EQ(n.multicastDestPort, 8080);
    EXPECT_EQ(n.gpsMulticastPort, 8090);
    EXPECT_EQ(n.broadcastPort, 0);  // text that is not a number reads as 0
    EXPECT_EQ(n.showNetworkErrors, 1);
    const NetworkSendConfig s = LoadNetworkSendConfig(dir);
    EXPECT_EQ(s.version, 128);
    EXPECT_EQ(s.taskFlag, 8080);
    EXPECT_EQ(s.packetSizeFactor, 5);
    EXPECT_EQ(s.streamNo, 1);
    EXPECT_EQ(LoadFrameCountConfig(dir).highWordPos, 1);
    EXPECT_EQ(LoadFrameCountConfig(dir).lowWordPos, 2);
    EXPECT_EQ(LoadTimeContinuityConfig(dir).bitRate, 1000000);
    EXPECT_EQ(LoadStreamConfig(dir).streamNo, 1);
    EXPECT_EQ(LoadReplayConfig(dir).loop, 1);
    EXPECT_EQ(LoadStorageConfig(dir).beforeHeaderOption, 0);
    EXPECT_EQ(LoadBitErrorConfig(dir).channelMode, 0);
    EXPECT_EQ(LoadBitErrorConfig(dir).startChannel, 1);
    EXPECT_EQ(LoadScreenshotConfig(dir).mode, 0);
    EXPECT_EQ(LoadGpsChannels(dir).channel, (std::array<int, 4>{0, 0, 3, 0}));
}

TEST_F(ParaConfigTest, AnyWholeProtocolVersionIsKept) {
    for (const char* v : {"2", "5", "-1"}) {
        WriteGbk("Para.ini", std::string("[外测参数]\n外测版本：0-旧版本；1-新版本=") + v + "\n");
        EXPECT_EQ(LoadGnssConfig(dir).protocolVersion, std::atoi(v)) << v;
    }
}

TEST_F(ParaConfigTest, ChosenStreamIsStoredButStartupUsesStreamOne) {
    ASSERT_TRUE(SaveStreamConfig(dir, {2}));
    EXPECT_EQ(LoadStreamConfig(dir).streamNo, 2);
    EXPECT_EQ(LoadParaConfigAtStartup(dir).stream.streamNo, 1);
}

TEST_F(ParaConfigTest, LongStoragePathIsCutTo1023Bytes) {
    StorageConfig s = DefaultStorageConfig(dir);
    s.beforeDir = "/" + std::string(1500, 'a');
    ASSERT_TRUE(SaveStorageConfig(dir, s));
    const StorageConfig r = LoadStorageConfig(dir);
    EXPECT_EQ(r.beforeDir, s.beforeDir.substr(0, 1023));
    EXPECT_EQ(r.afterDir, dir + "/解密后数据");
}

TEST_F(ParaConfigTest, NetworkTextValuesAreCutTo27Bytes) {
    NetworkConfig n;
    n.monitorAddr = std::string(40, '1');
    ASSERT_TRUE(SaveNetworkConfig(dir, n));
    EXPECT_EQ(LoadNetworkConfig(dir).monitorAddr, std::string(27, '1'));
}

TEST_F(ParaConfigTest, BitErrorKeysSavedWithBlanksMatchThePlainNames) {
    // A file holding the plain names gets its entries replaced, not doubled.
    WriteGbk("Para.ini", "[误码配置]\n误码模式=0\n人工选路=1,2,\n");
    BitErrorConfig b;
    b.displayMode = 1;
    b.channelMode = 2;
    b.startChannel = 3;
    b.endChannel = 4;
    b.manualText = "5,3";
    b.excludedBytes = {3, 5};
    ASSERT_TRUE(SaveBitErrorConfig(dir, b));
    const std::string text = ReadAsUtf8("Para.ini");
    EXPECT_EQ(CountEntry(text, "误码模式", "1"), 1);
    EXPECT_EQ(CountEntry(text, "误码模式", "0"), 0);
    EXPECT_EQ(CountEntry(text, "手动剔除", "5,3"), 1);
    EXPECT_EQ(CountEntry(text, "人工选路", "3,5,"), 1);
    EXPECT_EQ(CountEntry(text, "人工选路", "1,2,"), 0);

    const BitErrorConfig r = LoadBitErrorConfig(dir);
    EXPECT_EQ(r.displayMode, 1);
    EXPECT_EQ(r.channelMode, 2);
    EXPECT_EQ(r.startChannel, 3);
    EXPECT_EQ(r.endChannel, 4);
    EXPECT_EQ(r.manualText, "5,3");
    EXPECT_EQ(r.excludedBytes, (std::vector<int>{3, 5}));
}

TEST_F(ParaConfigTest, BitErrorListsCutByTheReadBufferAreMarked) {
    BitErrorConfig b;
    for (int v = 1; v <= 600; ++v) b.excludedBytes.push_back(v);  // about 2,300 characters
    b.manualText = std::string(2100, '1');
    ASSERT_TRUE(SaveBitErrorConfig(dir, b));
    const BitErrorConfig cut = LoadBitErrorConfig(dir);
    EXPECT_FALSE(cut.excludedBytesWhole);
    EXPECT_FALSE(cut.manualTextWhole);

    b.excludedBytes = {3, 5};
    b.manualText = "5,3";
    ASSERT_TRUE(SaveBitErrorConfig(dir, b));
    EXPECT_TRUE(LoadBitErrorConfig(dir).excludedBytesWhole);
    EXPECT_TRUE(LoadBitErrorConfig(dir).manualTextWhole);

    WriteGbk("Para.ini", "[误码配置]\n人工选路=1,2,3\n");
    EXPECT_FALSE(LoadBitErrorConfig(dir).excludedBytesWhole);
    WriteGbk("Para.ini", "[误码配置]\n误码模式=1\n");
    EXPECT_TRUE(LoadBitErrorConfig(dir).excludedBytesWhole);
}

TEST_F(ParaConfigTest, HandWrittenBitErrorSectionWithPlainNamesAndAJunkList) {
    WriteGbk("Para.ini", "[误码配置]\n误码模式=1\n结束波道=20\n人工选路=7,x,9,12\n");
    const BitErrorConfig r = LoadBitErrorConfig(dir);
    EXPECT_EQ(r.displayMode, 1);
    EXPECT_EQ(r.endChannel, 20);
    EXPECT_EQ(r.manualText, "1,2,");
    EXPECT_EQ(r.excludedBytes, (std::vector<int>{7, 9}));
}

TEST_F(ParaConfigTest, SavingOneSectionKeepsTheOthers) {
    WriteGbk("Para.ini", "; operator notes\n[回放参数]\n是否循环回放=0\n[其他]\nx=1\n");
    ASSERT_TRUE(SaveIdCountConfig(dir, {9}));
    EXPECT_EQ(LoadReplayConfig(dir).loop, 0);
    EXPECT_EQ(LoadIdCountConfig(dir).idWordPos, 9);
    const std::string text = ReadAsUtf8("Para.ini");
    EXPECT_NE(text.find("; operator notes"), std::string::npos);
    EXPECT_NE(text.find("[其他]"), std::string::npos);
}

TEST_F(ParaConfigTest, SaveReportsAFileThatCannotBeWritten) {
    EXPECT_FALSE(SaveReplayConfig(dir + "/missing/sub", {1}));
}

TEST_F(ParaConfigTest, EveryFailedSaveReturnsFalseAndTellsTheJournal) {
    // A module directory under a regular file: no file can be made there,
    // not even by root.
    WriteGbk("plain", "x");
    const std::string bad = dir + "/plain/module";
    applog::LogOptions journal;
    journal.moduleDir = dir;
    applog::StartSystemLog(journal);

    EXPECT_FALSE(SaveNetworkConfig(bad, {}));
    EXPECT_FALSE(SaveNetworkSendConfig(bad, {}));
    EXPECT_FALSE(SaveFrameCountConfig(bad, {}));
    EXPECT_FALSE(SaveIdCountConfig(bad, {}));
    EXPECT_FALSE(SaveTimeContinuityConfig(bad, {}));
    EXPECT_FALSE(SaveStreamConfig(bad, {2}));
    EXPECT_FALSE(SaveReplayConfig(bad, {}));
    EXPECT_FALSE(SaveStorageConfig(bad, DefaultStorageConfig(bad)));
    EXPECT_FALSE(SaveBitErrorConfig(bad, {}));
    EXPECT_FALSE(SaveScreenshotConfig(bad, {}));
    EXPECT_FALSE(SaveGnssConfig(bad, {}));
    EXPECT_FALSE(SaveGpsChannels(bad, {}));
    WindowPosConfig windows;
    windows[PlacedWindow::BCDTableWnd].open = true;
    EXPECT_FALSE(SaveWindowPos(bad, windows));
    ASSERT_TRUE(SaveReplayConfig(dir, {0}));  // a good save tells nothing
    applog::StopSystemLog();

    std::ifstream in(applog::g_strLogFile, std::ios::binary);
    const std::string text = plat::GbkToUtf8(
        std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
         start = end + 2)
        lines.push_back(text.substr(start, end - start));
    auto reported = [&](const std::string& file, const std::string& section) {
        int n = 0;
        for (const auto& l : lines)
            n += l.find(file) != std::string::npos && l.find(section) != std::string::npos;
        return n;
    };
    const std::string para = bad + "/Para.ini";
    for (const char* section : {"网络配置参数", "网络发送配置参数", "帧计数统计参数",
                                "ID计数统计参数", "时间连续统计参数", "流号参数", "回放参数",
                                "存盘信息", "误码配置", "曲线截屏文件处理方式", "外测参数"})
        EXPECT_EQ(reported(para, section), 1) << section;
    EXPECT_EQ(reported(bad + "/GpsChannel.ini", "Gps通道"), 1);
    for (const char* section : {"DockPageBar", "SignalPlotWnd", "BCDCurveWnd", "BCDTableWnd",
                                "DealCurveWnd", "DealTableWnd"})
        EXPECT_EQ(reported(bad + "/WindowPos.ini", section), 1) << section;
    EXPECT_EQ(reported(dir + "/Para.ini", "回放参数"), 0);
    EXPECT_FALSE(std::filesystem::exists(bad));
}

TEST_F(ParaConfigTest, LiveParameterSolvingIsOffUnlessSwitchedOn) {
    EXPECT_EQ(LoadParaConfigAtStartup(dir).paramSolving.liveSolving, 0);
    ASSERT_TRUE(SaveParamSolvingConfig(dir, {1}));
    EXPECT_EQ(LoadParaConfigAtStartup(dir).paramSolving.liveSolving, 1);
    ASSERT_TRUE(SaveParamSolvingConfig(dir, {0}));
    EXPECT_EQ(LoadParamSolvingConfig(dir).liveSolving, 0);
}
