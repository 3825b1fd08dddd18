// Frame-shape records the program hands to the raw-code views with every data
// buffer. They cross library boundaries by pointer, so every field sits at a
// fixed offset (little-endian, 32-bit ints, no pointers).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little, "records are little-endian");

// Shape of one whole frame as used by the table and histogram views. The data
// buffer that goes with it holds nSubframes records of
// nTimeBytes time-code bytes followed by nWordsPerSubframe * nWordBytes bytes.
struct _FRAME_STRUCT_PARAM {
    std::uint16_t nWordsPerSubframe;  // subframe length in words
    std::uint16_t nSubframes;         // subframes per whole frame (rows)
    std::int32_t nFrameWords;         // nWordsPerSubframe * nSubframes
    std::uint8_t nWordBytes;          // (nWordBits + 7) / 8
    std::uint8_t nWordBits;           // bits per word
    std::uint8_t nTimeBytes;          // time-code bytes before each subframe (8)
    std::uint8_t nSyncByte;           // low byte of a frame-sync setting, passed through
    std::int32_t nSyncFlag;           // 1 when another frame-sync setting is 0
    std::int32_t nByteOrder;          // histogram: 0 = first byte least significant
    std::int32_t nBitRate;            // bit/s
    float fFramePeriod;               // ms = nFrameWords * 1000 * bits / nBitRate
    std::int32_t nShowWholeFrame;     // 0 = one subframe, else whole frame; the view
                                      // writes its own menu choice back here
};

// The curve view's record: the same 32 bytes, then the number of whole frames
// in one hand-off (at least 1).
struct _FRAME_STRUCT_PARAM_EX {
    std::uint16_t nWordsPerSubframe;
    std::uint16_t nSubframes;
    std::int32_t nFrameWords;
    std::uint8_t nWordBytes;
    std::uint8_t nWordBits;
    std::uint8_t nTimeBytes;
    std::uint8_t nSyncByte;
    std::int32_t nSyncFlag;
    std::int32_t nByteOrder;
    std::int32_t nBitRate;
    float fFramePeriod;
    std::int32_t nShowWholeFrame;
    std::int16_t nFramesPerBuffer;
};

// Bit-error figures shown in the caption of the curve and histogram views.
// The first 24 bytes belong to whoever measures and are carried along unread.
struct _ERROR_CODE_STATISTIC {
    std::uint8_t byReserved[24];
    double dCodeCount;   // bits counted
    double dErrorCount;  // bit errors
    double dErrorRate;   // bit error rate
};

static_assert(sizeof(_FRAME_STRUCT_PARAM) == 32);
static_assert(offsetof(_FRAME_STRUCT_PARAM, nWordsPerSubframe) == 0);
static_assert(offsetof(_FRAME_STRUCT_PARAM, nSubframes) == 2);
static_assert(offsetof(_FRAME_STRUCT_PARAM, nFrameWords) == 4);
static_assert(offsetof(_FRAME_STRUCT_PARAM, nWordBytes) == 8);
static_assert(offsetof(_FRAME_STRUCT_PARAM, nWordBits) == 9);
static_assert(offsetof(_FRAME_STRUCT_PARAM, nTimeBytes) == 10);
static_assert(offsetof(_FRAME_STRUCT_PARAM, nSyncByte) == 11);
static_assert(offsetof(_FRAME_STRUCT_PARAM, nSyncFlag) == 12);
static_assert(offsetof(_FRAME_STRUCT_PARAM, nByteOrder) == 16);
static_assert(offsetof(_FRAME_STRUCT_PARAM, nBitRate) == 20);
static_assert(offsetof(_FRAME_STRUCT_PARAM, fFramePeriod) == 24);
static_assert(offsetof(_FRAME_STRUCT_PARAM, nShowWholeFrame) == 28);

// 34 bytes of fields padded to 36 by the 4-byte alignment of the ints.
static_assert(sizeof(_FRAME_STRUCT_PARAM_EX) == 36);
static_assert(offsetof(_FRAME_STRUCT_PARAM_EX, fFramePeriod) == 24);
static_assert(offsetof(_FRAME_STRUCT_PARAM_EX, nShowWholeFrame) == 28);
static_assert(offsetof(_FRAME_STRUCT_PARAM_EX, nFramesPerBuffer) == 32);

static_assert(sizeof(_ERROR_CODE_STATISTIC) == 48);
static_assert(offsetof(_ERROR_CODE_STATISTIC, dCodeCount) == 24);
static_assert(offsetof(_ERROR_CODE_STATISTIC, dErrorCount) == 32);
static_assert(offsetof(_ERROR_CODE_STATISTIC, dErrorRate) == 40);
