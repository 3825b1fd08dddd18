// Task records handed to the program, one set per telemetry stream. Each
// device record begins with the device parameter record the device library
// reads, so the program passes it on unchanged. The caller owns the storage.
#pragma once

#include <bbdevice/dev_records.h>

#include <cstddef>
#include <cstdint>

// Task information, 1680 bytes. Texts are UTF-8, NUL-terminated.
struct TaskInfoRecord {
    // Selection flags of one stream; a set flag means the device takes part
    // when the whole task is applied.
    struct StreamSelection {
        std::uint32_t 选择下变频器;
        std::uint32_t 选择接收机;
        std::uint32_t 选择解调器;
        std::uint32_t 选择模拟器;
        std::uint32_t 选择时码器;
    };

    char 任务名[256];              // 0
    char 任务描述[1024];           // 256
    char 执行地点[256];            // 1280
    char 执行时间[64];             // 1536
    StreamSelection streams[3];    // 1600, 1620, 1640
    std::uint32_t 选择安控终端1;   // 1660
    std::uint32_t 选择安控终端2;   // 1664
    std::uint32_t 选择天线控制器;  // 1668
    std::uint32_t 选择遥测仿真器;  // 1672
    std::uint32_t 默认任务;        // 1676
};
static_assert(sizeof(TaskInfoRecord) == 1680);
static_assert(offsetof(TaskInfoRecord, 执行时间) == 1536);
static_assert(offsetof(TaskInfoRecord, streams) == 1600);
static_assert(offsetof(TaskInfoRecord, streams[1]) == 1620);
static_assert(offsetof(TaskInfoRecord, 选择安控终端1) == 1660);
static_assert(offsetof(TaskInfoRecord, 默认任务) == 1676);

// The 7,400 bytes after the device records of a demodulator or simulator task
// record: the key and encrypted channel lists as stored, "%d," per channel,
// NUL-terminated, the rest of each array zero. A key list has at most 23
// channels, so 512 bytes is ample; an encrypted list longer than its array is
// cut after the last whole channel that fits (the store keeps the full list
// as long as the record's list is not changed).
struct TaskChannelLists {
    char 密钥波道[512];   // +0
    char 加密波道[6888];  // +512
};
static_assert(sizeof(TaskChannelLists) == 7400);

// Demodulator task record, 139,536 bytes.
struct DemTaskRecord {
    DemParam dem;               // 0
    DecipherParam decipher;     // 768
    TaskChannelLists channels;  // 132,136
};
static_assert(sizeof(DemTaskRecord) == 139536);
static_assert(offsetof(DemTaskRecord, decipher) == 768);
static_assert(offsetof(DemTaskRecord, decipher.加解密开关) == 132112);
static_assert(offsetof(DemTaskRecord, channels) == 132136);

// Simulator task record, 139,544 bytes.
struct SimTaskRecord {
    SimParam sim;               // 0
    DecipherParam decipher;     // 776
    TaskChannelLists channels;  // 132,144
};
static_assert(sizeof(SimTaskRecord) == 139544);
static_assert(offsetof(SimTaskRecord, decipher) == 776);
static_assert(offsetof(SimTaskRecord, channels) == 132144);

// Time-code task record, 112 bytes: the basic time-code record followed by
// the lift-off settings.
struct TimeTaskRecord {
    TimeSystemBasicParam basic;        // 0
    DayTime 定时起飞时间;              // 72
    std::uint32_t 定时起飞时间附加字;  // 84
    std::uint32_t 选路起飞使能;        // 88
    std::uint32_t 参考波道;            // 92
    std::uint32_t 参考门限;            // 96
    std::uint32_t 定时起飞使能;        // 100
    std::uint32_t 起飞使能;            // 104
    std::uint32_t 外部起飞使能;        // 108
};
static_assert(sizeof(TimeTaskRecord) == 112);
static_assert(offsetof(TimeTaskRecord, 定时起飞时间) == 72);
static_assert(offsetof(TimeTaskRecord, 选路起飞使能) == 88);
static_assert(offsetof(TimeTaskRecord, 外部起飞使能) == 108);

// Receiver task record, 1,544 bytes: the receiver's demodulator half and its
// simulator half, each a full device record that also carries the
// demodulator's and simulator's frame settings, so that sending it does not
// undo them.
struct RecvTaskRecord {
    DemParam dem;  // 0
    SimParam sim;  // 768
};
static_assert(sizeof(RecvTaskRecord) == 1544);
static_assert(offsetof(RecvTaskRecord, sim) == 768);
