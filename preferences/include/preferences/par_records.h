// Records the parameter library hands across its boundary: the parameter
// record, the frame structure and the solved-value history of one parameter.
#pragma once

#include <cstddef>
#include <cstdint>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "records are little-endian");

// One telemetry parameter as callers see it (776 bytes).
struct ParStructEx {
    char strName[200];     // name without blanks, NUL-terminated
    char strMeaning[200];  // meaning of the physical quantity
    char strUnit[200];
    std::int32_t bSigned;  // raw value is two's complement
    std::int32_t reserved604;
    double dMax;
    double dMin;
    std::int32_t bFormula;  // 1: value = x * A1 + A0; 0: bit (switch) parameter
    std::int32_t nBit;      // bit index of a bit parameter
    double dUpper;
    double dLower;
    double dCoef[6];           // A0 .. A5
    std::int32_t nBytes;       // raw bytes = words x word bytes
    std::int32_t nBytePos[8];  // byte positions, most significant first
    std::int32_t nSelected;    // any of the four display flags
    std::int32_t nSelStripe;
    std::int32_t nSelCurve;
    std::int32_t nSelTable;
    std::int32_t nSelReply;
    std::int32_t nFrameNo;  // special superframe number of a special parameter
    std::uint8_t reserved756[20];
};
static_assert(sizeof(ParStructEx) == 776);
static_assert(offsetof(ParStructEx, strName) == 0);
static_assert(offsetof(ParStructEx, strMeaning) == 200);
static_assert(offsetof(ParStructEx, strUnit) == 400);
static_assert(offsetof(ParStructEx, bSigned) == 600);
static_assert(offsetof(ParStructEx, dMax) == 608);
static_assert(offsetof(ParStructEx, dMin) == 616);
static_assert(offsetof(ParStructEx, bFormula) == 624);
static_assert(offsetof(ParStructEx, nBit) == 628);
static_assert(offsetof(ParStructEx, dUpper) == 632);
static_assert(offsetof(ParStructEx, dLower) == 640);
static_assert(offsetof(ParStructEx, dCoef) == 648);
static_assert(offsetof(ParStructEx, nBytes) == 696);
static_assert(offsetof(ParStructEx, nBytePos) == 700);
static_assert(offsetof(ParStructEx, nSelected) == 732);
static_assert(offsetof(ParStructEx, nSelStripe) == 736);
static_assert(offsetof(ParStructEx, nSelCurve) == 740);
static_assert(offsetof(ParStructEx, nSelTable) == 744);
static_assert(offsetof(ParStructEx, nSelReply) == 748);
static_assert(offsetof(ParStructEx, nFrameNo) == 752);
static_assert(offsetof(ParStructEx, reserved756) == 756);

// The frame structure of the loaded stream (seven int32).
struct TelemetyFrameStruct {
    std::int32_t nTimeCodeWidth;    // bytes of time code before each subframe
    std::int32_t nSubframeLen;      // words per subframe
    std::int32_t nSuperframeLen;    // subframes per superframe
    std::int32_t nSuperframeWords;  // nSuperframeLen x nSubframeLen
    std::int32_t nWordBits;
    std::int32_t nBitRate;  // bit/s
    std::int32_t nSyncBits;
};
static_assert(sizeof(TelemetyFrameStruct) == 28);
static_assert(offsetof(TelemetyFrameStruct, nSuperframeWords) == 12);
static_assert(offsetof(TelemetyFrameStruct, nSyncBits) == 24);

inline constexpr int kResultHistory = 2000;

// The last 2000 solved values and raw codes of one parameter, oldest first.
struct DealResult {
    double dValue[kResultHistory];
    std::int64_t nCode[kResultHistory];
    std::int32_t nValid;  // meaningful entries at the end of both arrays
    std::int32_t nNew;    // entries added by the last fetch
};
static_assert(sizeof(DealResult) == 32008);
static_assert(offsetof(DealResult, nCode) == 16000);
static_assert(offsetof(DealResult, nValid) == 32000);
static_assert(offsetof(DealResult, nNew) == 32004);
