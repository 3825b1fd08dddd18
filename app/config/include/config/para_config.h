// Operating settings of the main program, kept in Para.ini in the module
// directory. One struct per section, one member per key, with the key's
// default. Load fills a struct from the file (missing file, section or key
// gives the default; out-of-range values give the default too), Save writes
// every key of the section and creates the file or section when missing.
// Loads never create the file. Texts are UTF-8 here, GBK on disk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cfg {

// moduleDir + "/Para.ini".
std::string ParaIniPath(const std::string& moduleDir);

// [网络配置参数]
struct NetworkConfig {
    std::string multicastAddr = "224.0.0.9";            // 挑路组播地址
    int multicastPort = 8080;                           // 挑路组播端口 (local port)
    int multicastDestPort = 8080;                       // 挑路组播端口1
    std::string gpsMulticastAddr = "224.0.0.8";         // GPS信息组播地址
    int gpsMulticastPort = 8081;                        // GPS信息组播端口
    int broadcastPort = 8082;                           // 全帧广播端口
    std::string multicastLocalIp = "192.168.1.1";       // 网络组播本地IP地址
    std::string broadcastLocalIp = "192.168.1.1";       // 网络广播本地IP地址
    int showNetworkErrors = 1;                          // 网络出错提示 (0 or 1)
    int monitorPort = 8041;                             // 监控台端口
    std::string monitorAddr = "192.168.1.100";          // 监控台地址
    std::string downConverterAddr = "192.168.0.201";    // 下变频器地址
    int downConverterPort = 4001;                       // 下变频器端口
    std::string downConverterLocalIp = "192.168.0.12";  // 下变频器网卡通信IP
    int unicastLocalPort = 9001;                        // 单播本地端口
    int unicastDestPort = 9002;                         // 单播目标端口
    std::string unicastDestIp = "192.168.0.122";        // 单播目标IP
};

// [网络发送配置参数]. The 32-bit fields are written as signed "%d" and read
// back to the same 32 bits (unsigned text is accepted too).
struct NetworkSendConfig {
    std::uint8_t version = 128;                  // 版本号
    std::uint16_t taskFlag = 8080;               // 任务标志
    std::uint32_t sourceAddr = 0x80000307u;      // 信源地址
    std::uint32_t destAddr = 0x80000307u;        // 信宿地址
    int packetSizeFactor = 5;                    // 遥测数据发送包大小 (>= 1)
    std::uint32_t linkMonitorBid = 0x00020101u;  // 链监信息BID
    std::uint32_t telemetryBid = 0x00110101u;    // 遥测数据BID
    int streamNo = 1;                            // 遥测流号 (1..3)
};

// [帧计数统计参数]
struct FrameCountConfig {
    int highWordEnabled = 0;  // 帧计数高位使能 (0 or 1)
    int highWordPos = 1;      // 帧计数高位路序 (1..2048)
    int lowWordPos = 2;       // 帧计数低位路序 (1..2048)
};

// [ID计数统计参数]
struct IdCountConfig {
    int idWordPos = 3;  // ID路序 (1..2048)
};

// [时间连续统计参数]
struct TimeContinuityConfig {
    int bitRate = 1000000;  // 实际码率 (1000..20000000)
};

// [流号参数]. Written on each stream command; start-up always uses stream 1.
struct StreamConfig {
    int streamNo = 1;  // 遥测流号 (1..3)
};

// [回放参数]
struct ReplayConfig {
    int loop = 1;   // 是否循环回放 (0 or 1)
    int speed = 1;  // 回放速度: 1, 2, 4, or 0 as fast as possible
};

// [存盘信息]. The directories default to moduleDir + "/解密前数据" and
// moduleDir + "/解密后数据"; use DefaultStorageConfig for a struct with them.
struct StorageConfig {
    std::string beforeDir;       // 解密前存盘路径 (<= 1023 bytes GBK)
    std::string afterDir;        // 解密后存盘路径
    int beforeEnabled = 1;       // 解密前存盘标记 (0 or 1)
    int afterEnabled = 1;        // 解密后存盘标记 (0 or 1)
    int beforeHeaderOption = 0;  // 解密前文件头 (0 with header, 1 without)
    int afterHeaderOption = 0;   // 解密后文件头
};
StorageConfig DefaultStorageConfig(const std::string& moduleDir);

// [误码配置]. Saved with one blank around each key name, read without.
struct BitErrorConfig {
    int displayMode = 0;                   // 误码模式 (0 rate, 1 bits)
    int channelMode = 0;                   // 波道模式 (0, 1, 2)
    int startChannel = 1;                  // 开始波道
    int endChannel = 10;                   // 结束波道
    std::string manualText = "1,2,";       // 手动剔除, as typed
    std::vector<int> excludedBytes{1, 2};  // 人工选路, "%d," per entry
    // Read back whole: false when the stored text filled the read buffer
    // (and, for the list, when its last item lacks its comma). Not stored.
    bool excludedBytesWhole = true;
    bool manualTextWhole = true;
};

// [曲线截屏文件处理方式]
struct ScreenshotConfig {
    int mode = 0;  // 0 save only, 1 print only, 2 save and print
};

// [外测参数]
struct GnssConfig {
    int protocolVersion = 0;  // 0 old, 1 new
};

// [参数处理]: solving live card data for the parameter windows as well as
// replayed data (0 off: only replayed data are solved).
struct ParamSolvingConfig {
    int liveSolving = 0;
};

// All sections of Para.ini, as the main frame holds them.
struct ParaConfig {
    NetworkConfig network;
    NetworkSendConfig networkSend;
    FrameCountConfig frameCount;
    IdCountConfig idCount;
    TimeContinuityConfig timeContinuity;
    StreamConfig stream;
    ReplayConfig replay;
    StorageConfig storage;
    BitErrorConfig bitError;
    ScreenshotConfig screenshot;
    GnssConfig gnss;
    ParamSolvingConfig paramSolving;
};

// Load* return the section's values (defaults where the file has none).
// Save* return false when the file could not be written, after a line in the
// program's journal naming the file and the section.
NetworkConfig LoadNetworkConfig(const std::string& moduleDir);
bool SaveNetworkConfig(const std::string& moduleDir, const NetworkConfig& c);

NetworkSendConfig LoadNetworkSendConfig(const std::string& moduleDir);
bool SaveNetworkSendConfig(const std::string& moduleDir, const NetworkSendConfig& c);

FrameCountConfig LoadFrameCountConfig(const std::string& moduleDir);
bool SaveFrameCountConfig(const std::string& moduleDir, const FrameCountConfig& c);

IdCountConfig LoadIdCountConfig(const std::string& moduleDir);
bool SaveIdCountConfig(const std::string& moduleDir, const IdCountConfig& c);

TimeContinuityConfig LoadTimeContinuityConfig(const std::string& moduleDir);
bool SaveTimeContinuityConfig(const std::string& moduleDir, const TimeContinuityConfig& c);

StreamConfig LoadStreamConfig(const std::string& moduleDir);
bool SaveStreamConfig(const std::string& moduleDir, const StreamConfig& c);

ReplayConfig LoadReplayConfig(const std::string& moduleDir);
bool SaveReplayConfig(const std::string& moduleDir, const ReplayConfig& c);

StorageConfig LoadStorageConfig(const std::string& moduleDir);
bool SaveStorageConfig(const std::string& moduleDir, const StorageConfig& c);

BitErrorConfig LoadBitErrorConfig(const std::string& moduleDir);
bool SaveBitErrorConfig(const std::string& moduleDir, const BitErrorConfig& c);

ScreenshotConfig LoadScreenshotConfig(const std::string& moduleDir);
bool SaveScreenshotConfig(const std::string& moduleDir, const ScreenshotConfig& c);

GnssConfig LoadGnssConfig(const std::string& moduleDir);
bool SaveGnssConfig(const std::string& moduleDir, const GnssConfig& c);

ParamSolvingConfig LoadParamSolvingConfig(const std::string& moduleDir);
bool SaveParamSolvingConfig(const std::string& moduleDir, const ParamSolvingConfig& c);

// The start-up reads of Para.ini in their order (bit-error, screenshot,
// network, network send, frame count, ID, time continuity, satellite
// navigation, then replay). The stream section is not read (start-up always
// uses stream 1) and storage holds its defaults: it is read when recording
// starts and by its dialog.
ParaConfig LoadParaConfigAtStartup(const std::string& moduleDir);

}  // namespace cfg
