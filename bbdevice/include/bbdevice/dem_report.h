// The data block that the device library hands to the caller's data callback:
// whole major frames of one channel with the frame description they follow.
// The block belongs to the library and is valid only during the callback.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "data blocks are laid out for a little-endian host");

// Frame description of a channel, filled each time a demodulator record is set.
struct DemChannelDescriptor {
    std::uint32_t cardIndex;              // 0
    std::uint32_t channel;                // 1  0 before, 1 after decryption
    std::uint32_t 码率;                   // 2  bit/s
    std::uint32_t 字长;                   // 3  bits per word
    std::uint32_t 子帧长;                 // 4  words per minor frame
    std::uint32_t 副帧长;                 // 5  minor frames per major frame
    std::uint32_t tagBytesPerMinorFrame;  // 6  8 when 配时密度 != 0, else 0
    std::uint32_t 时统模式;               // 7
    std::uint32_t 配时精度;               // 8
    std::uint32_t 配时密度;               // 9
    std::uint32_t bytesPerWord;           // 10
    std::uint32_t wordsPerMajorFrame;     // 11
    std::uint32_t bytesPerMajorFrame;     // 12 as delivered, time tags included
    std::uint32_t reserved[5];            // 13..17, 0
};
static_assert(sizeof(DemChannelDescriptor) == 72);
static_assert(offsetof(DemChannelDescriptor, tagBytesPerMinorFrame) == 24);
static_assert(offsetof(DemChannelDescriptor, bytesPerMajorFrame) == 48);

inline constexpr std::size_t kDemReportDataBytes = 2113536;

struct DemReportBlock {
    std::uint8_t data[kDemReportDataBytes];  // whole major frames
    DemChannelDescriptor descriptor;
    std::uint32_t byteCount;  // bytes of data in this block
    std::uint32_t userValue;  // the value given to BB_OpenDevice
    std::uint8_t reserved[24];
};
static_assert(sizeof(DemReportBlock) == 2113640);
static_assert(offsetof(DemReportBlock, descriptor) == 2113536);
static_assert(offsetof(DemReportBlock, byteCount) == 2113608);
static_assert(offsetof(DemReportBlock, userValue) == 2113612);
static_assert(offsetof(DemReportBlock, reserved) == 2113616);

// Runs on the library's report thread; the result is ignored.
using DemDataCallback = int (*)(DemReportBlock* block);
