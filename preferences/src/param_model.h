// The parameter library's internal model: the compact parameter record, the
// values of one database row, the frame layout, and the pure steps that turn
// rows into records and records into a layout.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "preferences/par_records.h"

namespace prefs {

// A numeric column that is empty reads as this marker.
inline constexpr double kEmptyMarker = -9.123e19;
inline constexpr std::size_t kMaxTextChars = 255;
inline constexpr int kSuperframeColumns = 32;
inline constexpr std::int64_t kHandOffMax = 2048000;
inline constexpr std::int64_t kMaxSpecialLength = 1048576;

enum class Level { Subframe = 0, Superframe = 1, Special = 2 };

// One parameter inside the library: the fields of ParStructEx with the texts
// as strings, plus what the library needs to know about its positions.
struct ParamRecord {
    std::string name, meaning, unit;
    std::int32_t bSigned = 0;
    double dMax = 0, dMin = 0;
    std::int32_t bFormula = 0;
    std::int32_t nBit = 0;
    double dUpper = 0, dLower = 0;
    double dCoef[6] = {};
    std::int32_t nBytes = 0;
    std::int32_t nBytePos[8] = {};
    std::int32_t nSelected = 0, nSelStripe = 0, nSelCurve = 0, nSelTable = 0, nSelReply = 0;
    std::int32_t nFrameNo = 0;
    std::int64_t frameNumber = 0;  // [副帧号] whatever the level
    // Word numbers as stored ([路号1..8]) and how many of them count.
    std::int32_t routes[8] = {};
    std::int32_t routeCount = 0;
    // False when positions are unset or lie outside the frame: such a
    // parameter is listed but never read.
    bool solvable = false;
};

// The columns of one "参数属性" row that loading uses. Texts are raw column
// texts; integers and doubles are empty when NULL, text or non-finite.
struct ParamRow {
    std::string name, meaning, unit, dataType, processType;
    std::optional<std::int64_t> frameNo, wordCount, bit;
    std::optional<std::int64_t> routes[8];
    std::optional<double> max, min, upper, lower;
    std::optional<double> coef[6];
};

// Frame structure as read from "子帧结构"/"副帧结构" or the stream file.
struct FrameStructure {
    std::int64_t wordBitsDb = 0;  // [编码位数]; word bytes always come from it
    std::int64_t timeCodeWidth = 0, subframeLen = 0, bitRate = 0, syncBits = 0;
    std::int64_t superframeLen = 0;
    std::array<std::int64_t, kSuperframeColumns> superColumns{};  // [副帧N子帧路号]
    bool fromStreamFile = false;
};

struct SpecialDescription {
    std::int64_t length = 0;  // bytes, sync included
    double period = 0;
    std::int64_t syncLen = 0;  // K
    std::string syncHex;       // lower-case hex digits
    std::vector<std::int64_t> wordPositions;
    std::int64_t orderFlag = 1;  // 0: first listed byte least significant
};

struct SpecialFrameRecord {
    int id = 0;                               // 1-based number ([副帧号] of its parameters)
    std::vector<std::uint8_t> sync;           // K bytes
    std::vector<std::int32_t> bytePositions;  // inside a subframe record
    std::int32_t bytesPerSubframe = 0;
    std::int32_t length = 0;
    std::int32_t syncLen = 0;
    std::int32_t orderFlag = 1;
    bool solvable = false;
};

struct FrameLayout {
    std::int64_t superframeBytes = 0;
    std::int32_t superframeLen = 0, wordBytes = 0, timeCodeWidth = 0, subframeLen = 0;
    std::int64_t subframeRecordBytes = 0;
    std::vector<SpecialFrameRecord> specials;
    bool solvable = false;  // a superframe can be cut from a block
};

// (bits + 7) / 8 of [编码位数], 0 for absurd values.
std::int32_t WordBytes(std::int64_t wordBits);

// The full-scale fill-in of empty limits and coefficients (values equal to
// kEmptyMarker count as empty).
void NormalizeLimits(double coef[6], double& max, double& min, double& upper, double& lower,
                     bool isSigned, std::int32_t nBytes);

// One row to one record of `level` (texts, flags, sizes, positions, limits).
ParamRecord ConvertRow(const ParamRow& row, Level level, const FrameStructure& frame);

// The layout of whichever source described the frame.
FrameLayout BuildLayout(const FrameStructure& frame,
                        const std::vector<SpecialDescription>& specials);

// Marks each record solvable or not against the layout: every counted word
// inside its frame, every byte position inside what is read.
void CheckPositions(std::vector<ParamRecord>& records, Level level, const FrameStructure& frame,
                    const FrameLayout& layout);

// Bytes handed to the solver at once.
std::int64_t HandOffSize(const FrameStructure& frame, const FrameLayout& layout);

// The text cut to at most `maxChars` UTF-8 characters.
std::string CutChars(std::string text, std::size_t maxChars);

// Copies a record out, texts cut at a character boundary and NUL-terminated.
void ToParStructEx(const ParamRecord& r, ParStructEx& out);

}  // namespace prefs
