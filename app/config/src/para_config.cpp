#include "config/para_config.h"

#include <limits>

#include "config/channel_list.h"
#include "section_table.h"

namespace cfg {

using namespace detail;

namespace {

constexpr int kPortMax = 65535;
constexpr int kWordPosMax = 2048;
constexpr int kChannelMax = kMaxListValue;

using Net = NetworkConfig;
constexpr Key<Net> kNetKeys[] = {
    {"挑路组播地址", &Net::multicastAddr, kNetBuf},
    {"挑路组播端口", &Net::multicastPort, kNetBuf, 0, kPortMax},
    {"挑路组播端口1", &Net::multicastDestPort, kNetBuf, 0, kPortMax},
    {"GPS信息组播地址", &Net::gpsMulticastAddr, kNetBuf},
    {"GPS信息组播端口", &Net::gpsMulticastPort, kNetBuf, 0, kPortMax},
    {"全帧广播端口", &Net::broadcastPort, kNetBuf, 0, kPortMax},
    {"网络组播本地IP地址", &Net::multicastLocalIp, kNetBuf},
    {"网络广播本地IP地址", &Net::broadcastLocalIp, kNetBuf},
    {"网络出错提示", &Net::showNetworkErrors, kNetBuf, 0, 1},
    {"监控台端口", &Net::monitorPort, kNetBuf, 0, kPortMax},
    {"监控台地址", &Net::monitorAddr, kNetBuf},
    {"下变频器地址", &Net::downConverterAddr, kNetBuf},
    {"下变频器端口", &Net::downConverterPort, kNetBuf, 0, kPortMax},
    {"下变频器网卡通信IP", &Net::downConverterLocalIp, kNetBuf},
    {"单播本地端口", &Net::unicastLocalPort, kNetBuf, 0, kPortMax},
    {"单播目标端口", &Net::unicastDestPort, kNetBuf, 0, kPortMax},
    {"单播目标IP", &Net::unicastDestIp, kNetBuf},
};
constexpr Section<Net> kNet{"网络配置参数", kNetKeys};

using Send = NetworkSendConfig;
constexpr Key<Send> kSendKeys[] = {
    {"版本号", &Send::version, kNetBuf, 0, 255},
    {"任务标志", &Send::taskFlag, kNetBuf, 0, 65535},
    {"信源地址", &Send::sourceAddr, kNetBuf},
    {"信宿地址", &Send::destAddr, kNetBuf},
    {"遥测数据发送包大小", &Send::packetSizeFactor, kNetBuf, 1, 1024},
    {"链监信息BID", &Send::linkMonitorBid, kNetBuf},
    {"遥测数据BID", &Send::telemetryBid, kNetBuf},
    {"遥测流号", &Send::streamNo, kNetBuf, 1, 3},
};
constexpr Section<Send> kSend{"网络发送配置参数", kSendKeys};

using FrameCount = FrameCountConfig;
constexpr Key<FrameCount> kFrameCountKeys[] = {
    {"帧计数高位使能", &FrameCount::highWordEnabled, kSmallBuf, 0, 1},
    {"帧计数高位路序", &FrameCount::highWordPos, kSmallBuf, 1, kWordPosMax},
    {"帧计数低位路序", &FrameCount::lowWordPos, kSmallBuf, 1, kWordPosMax},
};
constexpr Section<FrameCount> kFrameCount{"帧计数统计参数", kFrameCountKeys};

constexpr Key<IdCountConfig> kIdKeys[] = {
    {"ID路序", &IdCountConfig::idWordPos, kSmallBuf, 1, kWordPosMax},
};
constexpr Section<IdCountConfig> kId{"ID计数统计参数", kIdKeys};

constexpr Key<TimeContinuityConfig> kTimeKeys[] = {
    {"实际码率", &TimeContinuityConfig::bitRate, kSmallBuf, 1000, 20000000},
};
constexpr Section<TimeContinuityConfig> kTime{"时间连续统计参数", kTimeKeys};

constexpr Key<StreamConfig> kStreamKeys[] = {
    {"遥测流号", &StreamConfig::streamNo, kSmallBuf, 1, 3},
};
constexpr Section<StreamConfig> kStream{"流号参数", kStreamKeys};

constexpr Key<ReplayConfig> kReplayKeys[] = {
    {"是否循环回放", &ReplayConfig::loop, kSmallBuf, 0, 1},
    {"回放速度", &ReplayConfig::speed, kSmallBuf, 0, 4},
};
constexpr Section<ReplayConfig> kReplay{"回放参数", kReplayKeys};

using Storage = StorageConfig;
constexpr Key<Storage> kStorageKeys[] = {
    {"解密前存盘路径", &Storage::beforeDir, kPathBuf},
    {"解密后存盘路径", &Storage::afterDir, kPathBuf},
    {"解密前存盘标记", &Storage::beforeEnabled, kSmallBuf, 0, 1},
    {"解密后存盘标记", &Storage::afterEnabled, kSmallBuf, 0, 1},
    {"解密前文件头", &Storage::beforeHeaderOption, kSmallBuf, 0, 1},
    {"解密后文件头", &Storage::afterHeaderOption, kSmallBuf, 0, 1},
};
constexpr Section<Storage> kStorage{"存盘信息", kStorageKeys};

// This section is written with a blank around each key name.
using BitError = BitErrorConfig;
constexpr Key<BitError> kBitErrorKeys[] = {
    {"误码模式", &BitError::displayMode, kBitErrorModeBuf, 0, 1, " 误码模式 "},
    {"波道模式", &BitError::channelMode, kBitErrorBuf, 0, 2, " 波道模式 "},
    {"开始波道", &BitError::startChannel, kBitErrorBuf, 1, kChannelMax, " 开始波道 "},
    {"结束波道", &BitError::endChannel, kBitErrorBuf, 1, kChannelMax, " 结束波道 "},
    {"手动剔除", &BitError::manualText, kBitErrorBuf, 0, 0, " 手动剔除 "},
    {"人工选路", &BitError::excludedBytes, kBitErrorBuf, 0, 0, " 人工选路 "},
};
constexpr Section<BitError> kBitError{"误码配置", kBitErrorKeys};

constexpr Key<ScreenshotConfig> kScreenshotKeys[] = {
    {"方式，0：仅保存，1：仅打印，2：保存且打印", &ScreenshotConfig::mode, kSmallBuf, 0, 2},
};
constexpr Section<ScreenshotConfig> kScreenshot{"曲线截屏文件处理方式", kScreenshotKeys};

constexpr Key<GnssConfig> kGnssKeys[] = {
    // Any whole number: 0 and 1 choose their protocol, every other value the
    // protocol without receiver identifier (2 is a choice of the dialog).
    {"外测版本：0-旧版本；1-新版本", &GnssConfig::protocolVersion, kNetBuf,
     std::numeric_limits<int>::min(), std::numeric_limits<int>::max()},
};
constexpr Section<GnssConfig> kGnss{"外测参数", kGnssKeys};

constexpr Key<ParamSolvingConfig> kParamSolvingKeys[] = {
    {"实时数据参数处理", &ParamSolvingConfig::liveSolving, kNetBuf, 0, 1},
};
constexpr Section<ParamSolvingConfig> kParamSolving{"参数处理", kParamSolvingKeys};

}  // namespace

std::string ParaIniPath(const std::string& moduleDir) {
    return moduleDir + "/Para.ini";
}

NetworkConfig LoadNetworkConfig(const std::string& moduleDir) {
    return LoadSection(kNet, NetworkConfig{}, ParaIniPath(moduleDir));
}
bool SaveNetworkConfig(const std::string& moduleDir, const NetworkConfig& c) {
    return SaveSection(kNet, c, ParaIniPath(moduleDir));
}

NetworkSendConfig LoadNetworkSendConfig(const std::string& moduleDir) {
    return LoadSection(kSend, NetworkSendConfig{}, ParaIniPath(moduleDir));
}
bool SaveNetworkSendConfig(const std::string& moduleDir, const NetworkSendConfig& c) {
    return SaveSection(kSend, c, ParaIniPath(moduleDir));
}

FrameCountConfig LoadFrameCountConfig(const std::string& moduleDir) {
    return LoadSection(kFrameCount, FrameCountConfig{}, ParaIniPath(moduleDir));
}
bool SaveFrameCountConfig(const std::string& moduleDir, const FrameCountConfig& c) {
    return SaveSection(kFrameCount, c, ParaIniPath(moduleDir));
}

IdCountConfig LoadIdCountConfig(const std::string& moduleDir) {
    return LoadSection(kId, IdCountConfig{}, ParaIniPath(moduleDir));
}
bool SaveIdCountConfig(const std::string& moduleDir, const IdCountConfig& c) {
    return SaveSection(kId, c, ParaIniPath(moduleDir));
}

TimeContinuityConfig LoadTimeContinuityConfig(const std::string& moduleDir) {
    return LoadSection(kTime, TimeContinuityConfig{}, ParaIniPath(moduleDir));
}
bool SaveTimeContinuityConfig(const std::string& moduleDir, const TimeContinuityConfig& c) {
    return SaveSection(kTime, c, ParaIniPath(moduleDir));
}

StreamConfig LoadStreamConfig(const std::string& moduleDir) {
    return LoadSection(kStream, StreamConfig{}, ParaIniPath(moduleDir));
}
bool SaveStreamConfig(const std::string& moduleDir, const StreamConfig& c) {
    return SaveSection(kStream, c, ParaIniPath(moduleDir));
}

ReplayConfig LoadReplayConfig(const std::string& moduleDir) {
    return LoadSection(kReplay, ReplayConfig{}, ParaIniPath(moduleDir));
}
bool SaveReplayConfig(const std::string& moduleDir, const ReplayConfig& c) {
    return SaveSection(kReplay, c, ParaIniPath(moduleDir));
}

StorageConfig DefaultStorageConfig(const std::string& moduleDir) {
    StorageConfig c;
    c.beforeDir = moduleDir + "/解密前数据";
    c.afterDir = moduleDir + "/解密后数据";
    return c;
}

StorageConfig LoadStorageConfig(const std::string& moduleDir) {
    return LoadSection(kStorage, DefaultStorageConfig(moduleDir), ParaIniPath(moduleDir));
}
bool SaveStorageConfig(const std::string& moduleDir, const StorageConfig& c) {
    return SaveSection(kStorage, c, ParaIniPath(moduleDir));
}

BitErrorConfig LoadBitErrorConfig(const std::string& moduleDir) {
    const std::string file = ParaIniPath(moduleDir);
    BitErrorConfig c = LoadSection(kBitError, BitErrorConfig{}, file);
    // A value that filled the read buffer was cut; a list whose last item
    // has no comma lost that item.
    const std::size_t cut = kBitErrorBuf - 1;
    std::string list = ReadText(kBitError.name, "人工选路", "1,2,", kBitErrorBuf, file);
    while (!list.empty() && (list.back() == ' ' || list.back() == '\t')) list.pop_back();
    c.excludedBytesWhole = list.size() < cut && (list.empty() || list.back() == ',');
    c.manualTextWhole = c.manualText.size() < cut;
    return c;
}
bool SaveBitErrorConfig(const std::string& moduleDir, const BitErrorConfig& c) {
    return SaveSection(kBitError, c, ParaIniPath(moduleDir));
}

ScreenshotConfig LoadScreenshotConfig(const std::string& moduleDir) {
    return LoadSection(kScreenshot, ScreenshotConfig{}, ParaIniPath(moduleDir));
}
bool SaveScreenshotConfig(const std::string& moduleDir, const ScreenshotConfig& c) {
    return SaveSection(kScreenshot, c, ParaIniPath(moduleDir));
}

GnssConfig LoadGnssConfig(const std::string& moduleDir) {
    return LoadSection(kGnss, GnssConfig{}, ParaIniPath(moduleDir));
}
bool SaveGnssConfig(const std::string& moduleDir, const GnssConfig& c) {
    return SaveSection(kGnss, c, ParaIniPath(moduleDir));
}

ParamSolvingConfig LoadParamSolvingConfig(const std::string& moduleDir) {
    return LoadSection(kParamSolving, ParamSolvingConfig{}, ParaIniPath(moduleDir));
}
bool SaveParamSolvingConfig(const std::string& moduleDir, const ParamSolvingConfig& c) {
    return SaveSection(kParamSolving, c, ParaIniPath(moduleDir));
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
    c.paramSolving = LoadParamSolvingConfig(moduleDir);
    // Storage is read when recording starts and by its dialog; stream stays 1.
    c.storage = DefaultStorageConfig(moduleDir);
    return c;
}

}  // namespace cfg
