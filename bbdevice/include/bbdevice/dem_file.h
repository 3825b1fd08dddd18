// Recording a data channel to a .dem file and playing a recorded file back
// through the card. A .dem file is a 1024-byte header followed by the
// channel's bytes exactly as the data callback received them.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kDemFileHeaderBytes = 1024;
inline constexpr std::size_t kDemFilePathBytes = 512;

// The frame description of a recording: 80 words laid out like bytes
// 704-1023 of the file header.
struct ReplayInfo {
    std::uint32_t 帧同步码Low;        // 0
    std::uint32_t 帧同步码High;       // 1
    std::uint32_t 副帧同步码;         // 2
    std::uint32_t 帧同步码位长;       // 3
    std::uint32_t 帧同步码位置2;      // 4
    std::uint32_t 码率;               // 5
    std::uint32_t 码型;               // 6
    std::uint32_t 字长;               // 7
    std::uint32_t 子帧长;             // 8
    std::uint32_t 副帧长;             // 9
    std::uint32_t 副帧类型;           // 10
    std::uint32_t 副帧路序;           // 11
    std::uint32_t ID码计数方式;       // 12
    std::uint32_t tagBytesPerRecord;  // 13 8 or 0
    std::uint32_t 配时密度;           // 14
    std::uint32_t 配时精度;           // 15
    std::uint32_t channel;            // 16 0 before, 1 after decryption
    std::uint32_t reserved[63];       // 17..79
};
static_assert(sizeof(ReplayInfo) == 320);

// What BB_StartSaveDemData may be given: the header written first and the
// file's path (UTF-8, NUL-terminated).
struct DemSaveRequest {
    std::uint8_t header[kDemFileHeaderBytes];
    char path[kDemFilePathBytes];
};
static_assert(sizeof(DemSaveRequest) == 1536);

extern "C" {

// Channel 0 for 0, channel 1 otherwise. Without a request the file is
// <module directory>/DATA<card>/<yyyymmddHHMMSS>.dem (DS.dem for channel 1).
std::int32_t BB_StartSaveDemData(std::uint32_t card, std::uint32_t channel,
                                 const DemSaveRequest* request);
// Bytes recorded so far, header not counted.
std::int32_t BB_GetSaveDemDataBytes(std::uint32_t card, std::uint32_t channel, double* bytes);
// Finishes the file (header with the record count); true when one was open.
std::int32_t BB_StopSaveDemData(std::uint32_t card, std::uint32_t channel);

// Plays records start .. end - 1 of a recording back through the card.
// Without `info` the file's own header describes it and the data begin at
// byte 1024; with `info` the data begin at dataOffset.
std::int32_t BB_StartupFileReplay(std::uint32_t card, const char* path, std::uint32_t startLow,
                                  std::uint32_t startHigh, std::uint32_t endLow,
                                  std::uint32_t endHigh, const ReplayInfo* info,
                                  std::uint32_t dataOffset);
// True when the stop command went out.
std::int32_t BB_StopFileReplay(std::uint32_t card);
// The finished flag; percent played and records played so far.
std::int32_t BB_IsFileReplayFinished(std::uint32_t card, double* percent, std::uint64_t* records);

}  // extern "C"
