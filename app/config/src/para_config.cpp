#include "config/para_config.h"

#include "config/channel_list.h"
#include "ini_values.h"

namespace cfg {

using namespace detail;

namespace {

constexpr int kPortMax = 65535;
constexpr int kWordPosMax = 2048;
constexpr int kChannelMax = kMaxListValue;

constexpr const char* kNetSection = "网络配置参数";
constexpr const char* kSendSection = "网络发送配置参数";
constexpr const char* kFrameCountSection = "帧计数统计参数";
constexpr const char* kIdSection = "ID计数统计参数";
constexpr const char* kTimeSection = "时间连续统计参数";
constexpr const char* kStreamSection = "流号参数";
constexpr const char* kReplaySection = "回放参数";
constexpr const char* kStorageSection = "存盘信息";
constexpr const char* kBitErrorSection = "误码配置";
constexpr const char* kScreenshotSection = "曲线截屏文件处理方式";
constexpr const char* kScreenshotKey = "方式，0：仅保存，1：仅打印，2：保存且打印";
constexpr const char* kGnssSection = "外测参数";
constexpr const char* kGnssKey = "外测版本：0-旧版本；1-新版本";

int Port(const char* section, const char* key, int def, const std::string& file) {
    return ReadInt(section, key, def, 0, kPortMax, kNetBuf, file);
}

std::string Text(const char* section, const char* key, const std::string& def, std::size_t buf,
                 const std::string& file) {
    return ReadText(section, key, def, buf, file);
}

// Runs every write of a section and reports whether all of them succeeded.
class SectionWriter {
public:
    SectionWriter(const char* section, std::string file)
        : section_(section), file_(std::move(file)) {}
    void Int(const char* key, int v) { ok_ = WriteInt(section_, key, v, file_) && ok_; }
    void Text(const char* key, std::string_view v) {
        ok_ = WriteText(section_, key, v, file_) && ok_;
    }
    bool ok() const { return ok_; }

private:
    const char* section_;
    std::string file_;
    bool ok_ = true;
};

}  // namespace

std::string ParaIniPath(const std::string& moduleDir) {
    return moduleDir + "/Para.ini";
}

NetworkConfig LoadNetworkConfig(const std::string& moduleDir) {
    const std::string f = ParaIniPath(moduleDir);
    const NetworkConfig d;
    const char* s = kNetSection;
    NetworkConfig c;
    c.multicastAddr = Text(s, "挑路组播地址", d.multicastAddr, kNetBuf, f);
    c.multicastPort = Port(s, "挑路组播端口", d.multicastPort, f);
    c.multicastDestPort = Port(s, "挑路组播端口1", d.multicastDestPort, f);
    c.gpsMulticastAddr = Text(s, "GPS信息组播地址", d.gpsMulticastAddr, kNetBuf, f);
    c.gpsMulticastPort = Port(s, "GPS信息组播端口", d.gpsMulticastPort, f);
    c.broadcastPort = Port(s, "全帧广播端口", d.broadcastPort, f);
    c.multicastLocalIp = Text(s, "网络组播本地IP地址", d.multicastLocalIp, kNetBuf, f);
    c.broadcastLocalIp = Text(s, "网络广播本地IP地址", d.broadcastLocalIp, kNetBuf, f);
    c.showNetworkErrors = ReadInt(s, "网络出错提示", d.showNetworkErrors, 0, 1, kNetBuf, f);
    c.monitorPort = Port(s, "监控台端口", d.monitorPort, f);
    c.monitorAddr = Text(s, "监控台地址", d.monitorAddr, kNetBuf, f);
    c.downConverterAddr = Text(s, "下变频器地址", d.downConverterAddr, kNetBuf, f);
    c.downConverterPort = Port(s, "下变频器端口", d.downConverterPort, f);
    c.downConverterLocalIp = Text(s, "下变频器网卡通信IP", d.downConverterLocalIp, kNetBuf, f);
    c.unicastLocalPort = Port(s, "单播本地端口", d.unicastLocalPort, f);
    c.unicastDestPort = Port(s, "单播目标端口", d.unicastDestPort, f);
    c.unicastDestIp = Text(s, "单播目标IP", d.unicastDestIp, kNetBuf, f);
    return c;
}

bool SaveNetworkConfig(const std::string& moduleDir, const NetworkConfig& c) {
    SectionWriter w(kNetSection, ParaIniPath(moduleDir));
    w.Text("挑路组播地址", c.multicastAddr);
    w.Int("挑路组播端口", c.multicastPort);
    w.Int("挑路组播端口1", c.multicastDestPort);
    w.Text("GPS信息组播地址", c.gpsMulticastAddr);
    w.Int("GPS信息组播端口", c.gpsMulticastPort);
    w.Int("全帧广播端口", c.broadcastPort);
    w.Text("网络组播本地IP地址", c.multicastLocalIp);
    w.Text("网络广播本地IP地址", c.broadcastLocalIp);
    w.Int("网络出错提示", c.showNetworkErrors);
    w.Int("监控台端口", c.monitorPort);
    w.Text("监控台地址", c.monitorAddr);
    w.Text("下变频器地址", c.downConverterAddr);
    w.Int("下变频器端口", c.downConverterPort);
    w.Text("下变频器网卡通信IP", c.downConverterLocalIp);
    w.Int("单播本地端口", c.unicastLocalPort);
    w.Int("单播目标端口", c.unicastDestPort);
    w.Text("单播目标IP", c.unicastDestIp);
    return w.ok();
}

NetworkSendConfig LoadNetworkSendConfig(const std::string& moduleDir) {
    const std::string f = ParaIniPath(moduleDir);
    const NetworkSendConfig d;
    const char* s = kSendSection;
    NetworkSendConfig c;
    c.version = static_cast<std::uint8_t>(ReadInt(s, "版本号", d.version, 0, 255, kNetBuf, f));
    c.taskFlag =
        static_cast<std::uint16_t>(ReadInt(s, "任务标志", d.taskFlag, 0, 65535, kNetBuf, f));
    c.sourceAddr = ReadU32(s, "信源地址", d.sourceAddr, kNetBuf, f);
    c.destAddr = ReadU32(s, "信宿地址", d.destAddr, kNetBuf, f);
    c.packetSizeFactor = ReadInt(s, "遥测数据发送包大小", d.packetSizeFactor, 1, 1024, kNetBuf, f);
    c.linkMonitorBid = ReadU32(s, "链监信息BID", d.linkMonitorBid, kNetBuf, f);
    c.telemetryBid = ReadU32(s, "遥测数据BID", d.telemetryBid, kNetBuf, f);
    c.streamNo = ReadInt(s, "遥测流号", d.streamNo, 1, 3, kNetBuf, f);
    return c;
}

bool SaveNetworkSendConfig(const std::string& moduleDir, const NetworkSendConfig& c) {
    SectionWriter w(kSendSection, ParaIniPath(moduleDir));
    w.Int("版本号", c.version);
    w.Int("任务标志", c.taskFlag);
    w.Int("信源地址", static_cast<std::int32_t>(c.sourceAddr));
    w.Int("信宿地址", static_cast<std::int32_t>(c.destAddr));
    w.Int("遥测数据发送包大小", c.packetSizeFactor);
    w.Int("链监信息BID", static_cast<std::int32_t>(c.linkMonitorBid));
    w.Int("遥测数据BID", static_cast<std::int32_t>(c.telemetryBid));
    w.Int("遥测流号", c.streamNo);
    return w.ok();
}

FrameCountConfig LoadFrameCountConfig(const std::string& moduleDir) {
    const std::string f = ParaIniPath(moduleDir);
    const FrameCountConfig d;
    const char* s = kFrameCountSection;
    FrameCountConfig c;
    c.highWordEnabled = ReadInt(s, "帧计数高位使能", d.highWordEnabled, 0, 1, kSmallBuf, f);
    c.highWordPos = ReadInt(s, "帧计数高位路序", d.highWordPos, 1, kWordPosMax, kSmallBuf, f);
    c.lowWordPos = ReadInt(s, "帧计数低位路序", d.lowWordPos, 1, kWordPosMax, kSmallBuf, f);
    return c;
}

bool SaveFrameCountConfig(const std::string& moduleDir, const FrameCountConfig& c) {
    SectionWriter w(kFrameCountSection, ParaIniPath(moduleDir));
    w.Int("帧计数高位使能", c.highWordEnabled);
    w.Int("帧计数高位路序", c.highWordPos);
    w.Int("帧计数低位路序", c.lowWordPos);
    return w.ok();
}

IdCountConfig LoadIdCountConfig(const std::string& moduleDir) {
    IdCountConfig c;
    c.idWordPos = ReadInt(kIdSection, "ID路序", c.idWordPos, 1, kWordPosMax, kSmallBuf,
                          ParaIniPath(moduleDir));
    return c;
}

bool SaveIdCountConfig(const std::string& moduleDir, const IdCountConfig& c) {
    SectionWriter w(kIdSection, ParaIniPath(moduleDir));
    w.Int("ID路序", c.idWordPos);
    return w.ok();
}

TimeContinuityConfig LoadTimeContinuityConfig(const std::string& moduleDir) {
    TimeContinuityConfig c;
    c.bitRate = ReadInt(kTimeSection, "实际码率", c.bitRate, 1000, 20000000, kSmallBuf,
                        ParaIniPath(moduleDir));
    return c;
}

bool SaveTimeContinuityConfig(const std::string& moduleDir, const TimeContinuityConfig& c) {
    SectionWriter w(kTimeSection, ParaIniPath(moduleDir));
    w.Int("实际码率", c.bitRate);
    return w.ok();
}

StreamConfig LoadStreamConfig(const std::string& moduleDir) {
    StreamConfig c;
    c.streamNo =
        ReadInt(kStreamSection, "遥测流号", c.streamNo, 1, 3, kSmallBuf, ParaIniPath(moduleDir));
    return c;
}

bool SaveStreamConfig(const std::string& moduleDir, const StreamConfig& c) {
    SectionWriter w(kStreamSection, ParaIniPath(moduleDir));
    w.Int("遥测流号", c.streamNo);
    return w.ok();
}

ReplayConfig LoadReplayConfig(const std::string& moduleDir) {
    ReplayConfig c;
    c.loop =
        ReadInt(kReplaySection, "是否循环回放", c.loop, 0, 1, kSmallBuf, ParaIniPath(moduleDir));
    return c;
}

bool SaveReplayConfig(const std::string& moduleDir, const ReplayConfig& c) {
    SectionWriter w(kReplaySection, ParaIniPath(moduleDir));
    w.Int("是否循环回放", c.loop);
    return w.ok();
}

StorageConfig DefaultStorageConfig(const std::string& moduleDir) {
    StorageConfig c;
    c.beforeDir = moduleDir + "/解密前数据";
    c.afterDir = moduleDir + "/解密后数据";
    return c;
}

StorageConfig LoadStorageConfig(const std::string& moduleDir) {
    const std::string f = ParaIniPath(moduleDir);
    const StorageConfig d = DefaultStorageConfig(moduleDir);
    const char* s = kStorageSection;
    StorageConfig c;
    c.beforeDir = Text(s, "解密前存盘路径", d.beforeDir, kPathBuf, f);
    c.afterDir = Text(s, "解密后存盘路径", d.afterDir, kPathBuf, f);
    c.beforeEnabled = ReadInt(s, "解密前存盘标记", d.beforeEnabled, 0, 1, kSmallBuf, f);
    c.afterEnabled = ReadInt(s, "解密后存盘标记", d.afterEnabled, 0, 1, kSmallBuf, f);
    c.beforeHeaderOption = ReadInt(s, "解密前文件头", d.beforeHeaderOption, 0, 1, kSmallBuf, f);
    c.afterHeaderOption = ReadInt(s, "解密后文件头", d.afterHeaderOption, 0, 1, kSmallBuf, f);
    return c;
}

bool SaveStorageConfig(const std::string& moduleDir, const StorageConfig& c) {
    SectionWriter w(kStorageSection, ParaIniPath(moduleDir));
    w.Text("解密前存盘路径", c.beforeDir);
    w.Text("解密后存盘路径", c.afterDir);
    w.Int("解密前存盘标记", c.beforeEnabled);
    w.Int("解密后存盘标记", c.afterEnabled);
    w.Int("解密前文件头", c.beforeHeaderOption);
    w.Int("解密后文件头", c.afterHeaderOption);
    return w.ok();
}

BitErrorConfig LoadBitErrorConfig(const std::string& moduleDir) {
    const std::string f = ParaIniPath(moduleDir);
    const BitErrorConfig d;
    const char* s = kBitErrorSection;
    BitErrorConfig c;
    c.displayMode = ReadInt(s, "误码模式", d.displayMode, 0, 1, kBitErrorModeBuf, f);
    c.channelMode = ReadInt(s, "波道模式", d.channelMode, 0, 2, kBitErrorBuf, f);
    c.startChannel = ReadInt(s, "开始波道", d.startChannel, 1, kChannelMax, kBitErrorBuf, f);
    c.endChannel = ReadInt(s, "结束波道", d.endChannel, 1, kChannelMax, kBitErrorBuf, f);
    c.manualText = Text(s, "手动剔除", d.manualText, kBitErrorBuf, f);
    c.excludedBytes = ParseChannelList(Text(s, "人工选路", "1,2,", kBitErrorBuf, f));
    return c;
}

bool SaveBitErrorConfig(const std::string& moduleDir, const BitErrorConfig& c) {
    // This section is written with a blank around each key name.
    SectionWriter w(kBitErrorSection, ParaIniPath(moduleDir));
    w.Int(" 误码模式 ", c.displayMode);
    w.Int(" 波道模式 ", c.channelMode);
    w.Int(" 开始波道 ", c.startChannel);
    w.Int(" 结束波道 ", c.endChannel);
    w.Text(" 手动剔除 ", c.manualText);
    w.Text(" 人工选路 ", FormatChannelList(c.excludedBytes));
    return w.ok();
}

ScreenshotConfig LoadScreenshotConfig(const std::string& moduleDir) {
    ScreenshotConfig c;
    c.mode = ReadInt(kScreenshotSection, kScreenshotKey, c.mode, 0, 2, kSmallBuf,
                     ParaIniPath(moduleDir));
    return c;
}

bool SaveScreenshotConfig(const std::string& moduleDir, const ScreenshotConfig& c) {
    SectionWriter w(kScreenshotSection, ParaIniPath(moduleDir));
    w.Int(kScreenshotKey, c.mode);
    return w.ok();
}

GnssConfig LoadGnssConfig(const std::string& moduleDir) {
    GnssConfig c;
    c.protocolVersion =
        ReadInt(kGnssSection, kGnssKey, c.protocolVersion, 0, 1, kNetBuf, ParaIniPath(moduleDir));
    return c;
}

bool SaveGnssConfig(const std::string& moduleDir, const GnssConfig& c) {
    SectionWriter w(kGnssSection, ParaIniPath(moduleDir));
    w.Int(kGnssKey, c.protocolVersion);
    return w.ok();
}

ParaConfig LoadParaConfigAtStartup(const std::string& moduleDir) {
    ParaConfig c;
    c.bitError = LoadBitErrorConfig(moduleDir);
    c.screenshot = LoadScreenshotConfig(moduleDir);
    c.network = LoadNetworkConfig(moduleDir);
    c.networkSend = LoadNetworkSendConfig(moduleDir);
    c.frameCount = LoadFrameCountConfig(moduleDir);
    c.idCount = LoadIdCountConfig(moduleDir);
    c.timeContinuity = LoadTimeContinuityConfig(moduleDir);
    c.gnss = LoadGnssConfig(moduleDir);
    c.replay = LoadReplayConfig(moduleDir);
    // Storage is read when recording starts and by its dialog; stream stays 1.
    c.storage = DefaultStorageConfig(moduleDir);
    return c;
}

}  // namespace cfg
