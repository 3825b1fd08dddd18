// Fixed-size device parameter and status records of the baseband card.
//
// The caller fills these records and hands them by pointer to the BB_Set
// exports, which send them unchanged to the card engine; the BB_Get exports
// copy the card's reported state out into them. Every field sits at the byte
// offset the card expects; all integers are little-endian u32 unless declared
// otherwise, f64 is an IEEE double.
//
// No record here holds a pointer or a window handle, so nothing was widened:
// every record has the same size and layout on this 64-bit host as on the card.
//
// Field names are those of the task-store columns that carry them, so that a
// column maps onto its field by name. Words whose meaning the card defines
// are named reservedNNN (NNN = byte offset) and passed through untouched.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

static_assert(std::endian::native == std::endian::little,
              "device records are laid out for a little-endian host");

// ---------------------------------------------------------------------------
// Demodulator record, 768 bytes.

struct DemParam {
    double 输入频率;                     // 0   input frequency, Hz
    std::uint64_t 帧同步码;              // 8   frame sync pattern, low word first
    std::uint32_t 数据源;                // 16  0 receiver, 1 PCM-TTL, 2 self-test, 3 PCM-422
    std::uint32_t 帧同步码位长;          // 20  bits
    std::uint32_t 副帧同步码;            // 24
    std::uint32_t 码率;                  // 28  bit/s
    std::uint32_t 码型;                  // 32  0 NRZ-L .. 6 RNRZ-L
    std::uint32_t 字长;                  // 36  bits
    std::uint32_t 子帧长;                // 40  words per minor frame
    std::uint32_t 副帧长;                // 44  minor frames per major frame
    std::uint32_t 副帧类型;              // 48  0 none, 1 complement, 2 ID, 3 cyclic
    std::uint32_t 副帧路序;              // 52
    std::uint32_t ID码计数方式;          // 56  1 counting down
    std::uint32_t ID码初值;              // 60
    std::uint32_t 码同步模糊;            // 64
    std::uint32_t 帧同步码位置;          // 68
    std::uint32_t 帧同步码位置2;         // 72
    std::uint32_t 时统模式;              // 76  0 internal, 1 external time reference
    std::uint32_t 配时精度;              // 80  1 = 0.001 ms: host writes the time tags
    std::uint32_t 配时密度;              // 84  nonzero: every minor frame has a time tag
    std::uint32_t 校核帧数;              // 88
    std::uint32_t 惯性同步帧数;          // 92
    std::uint32_t 同步容错位数;          // 96
    std::uint32_t 搜索容错位数;          // 100
    std::uint32_t 环路带宽;              // 104 0 = 0.1 %, 1 = 0.5 %
    std::uint32_t 信号来源;              // 108 receiver input
    std::uint32_t 解调模式;              // 112 0 PCM-FM .. 6 PCM-CDMA-QPSK
    std::uint32_t MSD检测;               // 116
    std::uint32_t 信道译码;              // 120 0 none .. 6 LDPC
    std::uint32_t 卷积译码;              // 124 0 normal, 1 inverted
    std::uint32_t TPC码块同步码;         // 128
    std::uint32_t TPC信息有效字;         // 132
    std::uint32_t 矩阵类型;              // 136
    std::uint32_t RS码块同步码;          // 140
    std::uint32_t RS码交织深度;          // 144
    std::uint32_t RS码虚拟填充;          // 148
    std::uint32_t reserved152[2];        // 152
    std::uint32_t 伪码长度;              // 160 index: 15, 31, 63 .. 2047 chips
    std::uint32_t 伪码来源;              // 164 0 Gold, 1 M sequence, 2 loaded
    std::uint32_t 伪码组号;              // 168
    std::uint8_t reserved172[512];       // 172
    std::uint32_t reserved684;           // 684 default 50000
    std::uint32_t QPSK解调极性;          // 688
    std::uint32_t 中频带宽;              // 692 1 = 12.5 kHz .. 17 = 35 MHz, 0 other
    std::uint32_t receiverSettings[12];  // 696 further receiver words, passed through
    std::uint8_t reserved744[24];        // 744
};
static_assert(sizeof(DemParam) == 768);
static_assert(offsetof(DemParam, 帧同步码) == 8);
static_assert(offsetof(DemParam, 数据源) == 16);
static_assert(offsetof(DemParam, 时统模式) == 76);
static_assert(offsetof(DemParam, 配时密度) == 84);
static_assert(offsetof(DemParam, 解调模式) == 112);
static_assert(offsetof(DemParam, RS码虚拟填充) == 148);
static_assert(offsetof(DemParam, 伪码长度) == 160);
static_assert(offsetof(DemParam, 伪码组号) == 168);
static_assert(offsetof(DemParam, reserved684) == 684);
static_assert(offsetof(DemParam, 中频带宽) == 692);
static_assert(offsetof(DemParam, receiverSettings) == 696);
static_assert(offsetof(DemParam, reserved744) == 744);

// ---------------------------------------------------------------------------
// Signal-source (simulator) record, 776 bytes.

struct SimParam {
    double Sim输出频率;              // 0   Hz
    double reserved8;                // 8   default 100.0
    std::uint64_t 帧同步码;          // 16
    std::uint32_t 帧同步码位长;      // 24
    std::uint32_t 帧同步码位置;      // 28
    std::uint32_t 副帧同步码;        // 32
    std::uint32_t 码率;              // 36
    std::uint32_t 码型;              // 40  as in DemParam
    std::uint32_t 字长;              // 44
    std::uint32_t 子帧长;            // 48
    std::uint32_t 副帧长;            // 52
    std::uint32_t 副帧类型;          // 56
    std::uint32_t 副帧路序;          // 60
    std::uint32_t ID码计数方式;      // 64
    std::uint32_t 信号类型;          // 68  0 manual, 1 random, 2 staircase
    std::uint32_t 信号初值;          // 72
    std::uint32_t 台阶码步进;        // 76
    std::uint32_t 帧计数高位路序;    // 80
    std::uint32_t 帧计数中位路序;    // 84
    std::uint32_t 帧计数低位路序;    // 88
    std::uint32_t 帧计数高位使能;    // 92
    std::uint32_t 帧计数中位使能;    // 96
    std::uint32_t 帧计数低位使能;    // 100
    std::uint32_t 正弦波使能;        // 104
    std::uint32_t 正弦波路序;        // 108
    std::uint32_t 正弦波步进;        // 112
    std::uint32_t ID码初值;          // 116
    std::uint32_t reserved120;       // 120 default 1
    std::uint32_t 异或操作数;        // 124
    std::uint32_t 数据异或使能;      // 128
    std::uint32_t reserved132;       // 132
    std::uint32_t Sim输出功率;       // 136
    std::uint32_t Sim调制控制;       // 140 modulation on
    std::uint32_t Sim调制模式;       // 144 as 解调模式
    std::uint32_t SimQPSK调制极性;   // 148
    std::uint32_t Sim信道编码;       // 152 as 信道译码
    std::uint32_t Sim卷积编码;       // 156
    std::uint32_t SimTPC码块同步码;  // 160
    std::uint32_t SimTPC信息有效字;  // 164
    std::uint32_t Sim矩阵类型;       // 168
    std::uint32_t SimRS码块同步码;   // 172
    std::uint32_t SimRS码交织深度;   // 176
    std::uint32_t SimRS码虚拟填充;   // 180
    std::uint32_t reserved184[2];    // 184
    std::uint32_t Sim伪码长度;       // 192 index as in DemParam
    std::uint32_t Sim伪码来源;       // 196
    std::uint32_t Sim伪码组号;       // 200
    std::uint8_t reserved204[512];   // 204
    std::uint32_t reserved716;       // 716 default 50000
    std::uint8_t reserved720[56];    // 720
};
static_assert(sizeof(SimParam) == 776);
static_assert(offsetof(SimParam, 帧同步码) == 16);
static_assert(offsetof(SimParam, 信号类型) == 68);
static_assert(offsetof(SimParam, 帧计数高位使能) == 92);
static_assert(offsetof(SimParam, ID码初值) == 116);
static_assert(offsetof(SimParam, Sim输出功率) == 136);
static_assert(offsetof(SimParam, Sim调制模式) == 144);
static_assert(offsetof(SimParam, SimRS码虚拟填充) == 180);
static_assert(offsetof(SimParam, Sim伪码长度) == 192);
static_assert(offsetof(SimParam, reserved204) == 204);
static_assert(offsetof(SimParam, reserved716) == 716);

// ---------------------------------------------------------------------------
// Decipher record, 131,368 bytes. The key table is supplied by the caller and
// forwarded unchanged; no key is built into the system.

inline constexpr std::size_t kDecipherKeyTableBytes = 131328;

struct DecipherParam {
    std::uint8_t keyTable[kDecipherKeyTableBytes];  // 0
    std::uint32_t 密钥长度;                         // 131328 0 = 128 bits, 1 = 184 bits
    std::uint32_t 加密周期;                         // 131332 frames
    std::uint32_t 加密起始帧;                       // 131336
    std::uint32_t 帧计数路序;                       // 131340
    std::uint32_t 加解密开关;                       // 131344
    std::uint32_t reserved131348[5];                // 131348
};
static_assert(sizeof(DecipherParam) == 131368);
static_assert(offsetof(DecipherParam, 密钥长度) == 131328);
static_assert(offsetof(DecipherParam, 帧计数路序) == 131340);
static_assert(offsetof(DecipherParam, 加解密开关) == 131344);

// ---------------------------------------------------------------------------
// Time-code unit records.

// Day of year (1 = 1 January) and time of day, 12 bytes.
struct DayTime {
    std::uint32_t day;
    std::uint16_t hour;
    std::uint16_t minute;
    std::uint16_t second;
    std::uint16_t millisecond;
};
static_assert(sizeof(DayTime) == 12);

// Basic time-code record, 72 bytes.
struct TimeSystemBasicParam {
    DayTime 内时统校准时间;        // 0  internal time to set
    std::uint32_t reserved12;      // 12
    std::uint32_t 内时统基准模式;  // 16 0 system time: the program fills in the local time
    std::uint32_t 内时统同步模式;  // 20 0 free-running, 1 synchronised to external time
    std::uint32_t 内时统校准使能;  // 24
    std::uint32_t 时统模式;        // 28 0 internal, 1 external, 2 satellite navigation
    std::uint32_t reserved32[10];  // 32
};
static_assert(sizeof(TimeSystemBasicParam) == 72);
static_assert(offsetof(TimeSystemBasicParam, 内时统基准模式) == 16);
static_assert(offsetof(TimeSystemBasicParam, 时统模式) == 28);

// Lift-off (zero-time) record, 64 bytes.
struct TimeSystemFlyParam {
    DayTime 定时起飞时间;              // 0  time of the timed lift-off
    std::uint32_t 定时起飞时间附加字;  // 12 the word stored after the lift-off time
    std::uint32_t 参考波道;            // 16 reference channel
    std::uint32_t 参考门限;            // 20 reference threshold
    std::uint32_t 起飞使能;            // 24 lift-off enabled
    std::uint32_t reserved28;          // 28
    std::uint32_t 选路起飞使能;        // 32 route-selected lift-off
    std::uint32_t 外部起飞使能;        // 36 external lift-off
    std::uint32_t 定时起飞使能;        // 40 timed lift-off
    std::uint32_t reserved44[5];       // 44
};
static_assert(sizeof(TimeSystemFlyParam) == 64);
static_assert(offsetof(TimeSystemFlyParam, 参考波道) == 16);
static_assert(offsetof(TimeSystemFlyParam, 起飞使能) == 24);
static_assert(offsetof(TimeSystemFlyParam, 选路起飞使能) == 32);
static_assert(offsetof(TimeSystemFlyParam, 定时起飞使能) == 40);

// Default time-code record written by BB_GetDefaultTimeSystemParam, 136 bytes.
struct TimeSystemParam {
    TimeSystemFlyParam fly;      // 0
    TimeSystemBasicParam basic;  // 64
};
static_assert(sizeof(TimeSystemParam) == 136);
static_assert(offsetof(TimeSystemParam, basic) == 64);

// ---------------------------------------------------------------------------
// Frame-statistics record, 16,432 bytes: 12 words, the last giving the number
// of 16-bit entries that follow. Only the first 48 + 2n bytes are sent.

inline constexpr std::uint32_t kFrameStatMaxEntries = 8192;

struct FrameStatParam {
    std::uint32_t words[11];                      // 0
    std::uint32_t entryCount;                     // 44 n, at most kFrameStatMaxEntries
    std::uint16_t entries[kFrameStatMaxEntries];  // 48
};
static_assert(sizeof(FrameStatParam) == 16432);
static_assert(offsetof(FrameStatParam, entryCount) == 44);
static_assert(offsetof(FrameStatParam, entries) == 48);

// Bytes of the command payload, or 0 when the entry count is out of range.
inline std::size_t FrameStatPayloadBytes(const FrameStatParam& p) {
    if (p.entryCount > kFrameStatMaxEntries) return 0;
    return offsetof(FrameStatParam, entries) + 2u * p.entryCount;
}

// ---------------------------------------------------------------------------
// Reported state.

// Demodulator status message as the engine sends it: two halves of 34 words.
inline constexpr std::size_t kDemStatusHalfWords = 34;
struct DemStatusReport {
    std::uint32_t half[2][kDemStatusHalfWords];
};
static_assert(sizeof(DemStatusReport) == 272);

// Output of BB_GetDemStatus, 88 bytes. Comments give the status-half word.
struct DemStatus {
    double 中频频率;                 // 0  words 8-9, MHz
    double 信噪比;                   // 8  words 6-7; negative: no measurement
    std::uint32_t statusWord2;       // 16
    std::uint32_t statusWord3;       // 20
    std::uint32_t statusWord10;      // 24
    std::uint32_t 载波状态;          // 28 word 12, carrier lock
    std::uint32_t 位同步;            // 32 word 14
    std::uint32_t 子帧同步;          // 36 word 15
    std::uint32_t 副帧同步;          // 40 word 16
    std::uint32_t statusWord17;      // 44
    std::uint32_t statusWord18;      // 48
    std::uint32_t statusWord19;      // 52
    std::uint32_t reserved56[2];     // 56
    std::uint32_t dataMessageCount;  // 64 data messages on channel 0 since the last DemParam
    std::uint32_t dataMessageRate;   // 68 per second
    std::uint32_t reserved72[4];     // 72
};
static_assert(sizeof(DemStatus) == 88);
static_assert(offsetof(DemStatus, 载波状态) == 28);
static_assert(offsetof(DemStatus, 副帧同步) == 40);
static_assert(offsetof(DemStatus, dataMessageCount) == 64);

// One time record of the time-code unit, 16 bytes; the time message carries two.
struct TimeSystemTime {
    DayTime time;
    std::uint32_t status;
};
static_assert(sizeof(TimeSystemTime) == 16);

struct TimeSystemFlyInfo {  // lift-off information, 32 bytes
    std::uint32_t words[8];
};
static_assert(sizeof(TimeSystemFlyInfo) == 32);

struct GnssStatusInfo {  // satellite receiver status, 40 bytes
    std::uint32_t words[10];
};
static_assert(sizeof(GnssStatusInfo) == 40);

struct GnssPosTimeInfo {  // satellite position and time, 88 bytes
    std::uint32_t words[22];
};
static_assert(sizeof(GnssPosTimeInfo) == 88);

// Frame-statistics state, 72 bytes; also the output layout of BB_GetStatState.
struct FrameStatState {
    double ratio;             // 0  B / A, computed on read
    std::uint64_t countA;     // 8  total count
    std::uint64_t countB;     // 16
    std::uint32_t words[12];  // 24 (state words 6..17)
};
static_assert(sizeof(FrameStatState) == 72);
static_assert(offsetof(FrameStatState, words) == 24);

// ---------------------------------------------------------------------------
// Defaults. Each function clears the whole record first.

inline void FillDefault(DemParam& p) {
    std::memset(&p, 0, sizeof p);
    p.输入频率 = 2300500000.0;
    p.帧同步码 = 0xEB90;
    p.数据源 = 2;
    p.帧同步码位长 = 16;
    p.副帧同步码 = 188;
    p.码率 = 4000000;
    p.码型 = 0;
    p.字长 = 8;
    p.子帧长 = 24;
    p.副帧长 = 4;
    p.副帧类型 = 2;
    p.副帧路序 = 7;
    p.ID码计数方式 = 1;
    p.码同步模糊 = 1;
    p.配时密度 = 1;
    p.校核帧数 = 1;
    p.惯性同步帧数 = 1;
    p.信号来源 = 3;
    p.TPC码块同步码 = 0x1ACFFC1D;
    p.TPC信息有效字 = 65535;
    p.矩阵类型 = 1;
    p.RS码块同步码 = 0x1FAC2840;
    p.RS码交织深度 = 4;
    p.伪码长度 = 5;
    p.reserved684 = 50000;
    // Receiver words at byte offsets 708, 712, 724, 728, 736, 740.
    p.receiverSettings[3] = 3;
    p.receiverSettings[4] = 4;
    p.receiverSettings[7] = 3;
    p.receiverSettings[8] = 4;
    p.receiverSettings[10] = 9;
    p.receiverSettings[11] = 250;
}

inline void FillDefault(SimParam& p) {
    std::memset(&p, 0, sizeof p);
    p.Sim输出频率 = 2300500000.0;
    p.reserved8 = 100.0;
    p.帧同步码 = 0xEB90;
    p.帧同步码位长 = 16;
    p.副帧同步码 = 188;
    p.码率 = 4000000;
    p.字长 = 8;
    p.子帧长 = 24;
    p.副帧长 = 4;
    p.副帧类型 = 1;
    p.副帧路序 = 7;
    p.ID码计数方式 = 1;
    p.信号类型 = 2;
    p.信号初值 = 85;
    p.台阶码步进 = 3;
    p.帧计数高位路序 = 3;
    p.帧计数中位路序 = 4;
    p.帧计数低位路序 = 5;
    p.帧计数高位使能 = 1;
    p.帧计数中位使能 = 1;
    p.帧计数低位使能 = 1;
    p.正弦波使能 = 1;
    p.正弦波路序 = 6;
    p.正弦波步进 = 4;
    p.reserved120 = 1;
    p.异或操作数 = 0xFFFFFFFF;
    p.Sim输出功率 = 21;
    p.Sim调制控制 = 1;
    p.SimTPC码块同步码 = 0x1ACFFC1D;
    p.SimTPC信息有效字 = 65535;
    p.Sim矩阵类型 = 1;
    p.SimRS码块同步码 = 0x1FAC2840;
    p.SimRS码交织深度 = 4;
    p.reserved716 = 50000;
}

inline void FillDefault(DecipherParam& p) {
    std::memset(&p, 0, sizeof p);
    p.加密周期 = 4;
    p.加密起始帧 = 1;
    p.帧计数路序 = 5;
}

inline void FillDefault(TimeSystemBasicParam& p) {
    std::memset(&p, 0, sizeof p);
}

inline void FillDefault(TimeSystemFlyParam& p) {
    std::memset(&p, 0, sizeof p);
    p.参考波道 = 24;
    p.参考门限 = 65535;
}

inline void FillDefault(TimeSystemParam& p) {
    FillDefault(p.fly);
    FillDefault(p.basic);
}

inline void FillDefault(FrameStatParam& p) {
    std::memset(&p, 0, sizeof p);
}
