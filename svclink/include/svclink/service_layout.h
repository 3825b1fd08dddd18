// Byte layout of the service link's shared section and of the service record.
// Both processes read these offsets from this one header; the shared bytes are
// reached through explicit offsets, never by overlaying a struct on them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/winmsg.h"

namespace svclink {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the section is little-endian");

inline constexpr std::size_t kServiceSlots = 8;
inline constexpr std::uint32_t kCopyDataKeyBase = 256;  // copy-data key = slot + 256

// The section: per direction a 2 MB header and a 6 MB ring.
inline constexpr std::size_t kSectionSize = 16777216;
inline constexpr std::size_t kHeaderAreaSize = 2097152;
inline constexpr std::size_t kRingSize = 6291456;
inline constexpr std::size_t kCreatorToUserHeader = 0;
inline constexpr std::size_t kCreatorToUserRing = 2097152;
inline constexpr std::size_t kUserToCreatorHeader = 8388608;
inline constexpr std::size_t kUserToCreatorRing = 10485760;
static_assert(kCreatorToUserRing == kCreatorToUserHeader + kHeaderAreaSize);
static_assert(kUserToCreatorHeader == kCreatorToUserRing + kRingSize);
static_assert(kUserToCreatorRing == kUserToCreatorHeader + kHeaderAreaSize);
static_assert(kUserToCreatorRing + kRingSize == kSectionSize);

// One wake of the receive thread hands at most this many bytes per callback.
inline constexpr std::size_t kMaxChunk = 2113536;

// Header of one direction, written only by the side that sends in it.
namespace hdr {
inline constexpr std::size_t kServiceParam = 0;   // 160 bytes, key 0
inline constexpr std::size_t kDescription = 160;  // 72 bytes (18 u32), key 1
inline constexpr std::size_t kSaveParam = 232;    // 32 bytes, key 2 (see below)
inline constexpr std::size_t kKey3 = 236;         // u32
inline constexpr std::size_t kKey256 = 240;       // u32
inline constexpr std::size_t kKey257 = 244;       // u32
inline constexpr std::size_t kWritePos = 248;     // u64
inline constexpr std::size_t kTotal = 256;        // u64, bytes since the last reset
inline constexpr std::size_t kStarted = 264;      // u32, 1 after the first write since reset
inline constexpr std::size_t kKey261 = 268;       // u32
inline constexpr std::size_t kWindow = 272;       // u32, window of the writing side (key 262)
// Fields of our own past the fixed ones.
inline constexpr std::size_t kResetCount = 280;  // u32, one more at every ring reset
inline constexpr std::size_t kSequence = 284;    // u32, odd while 232..279 is being rewritten
inline constexpr std::size_t kReserved = 288;    // u64, total once the write under way lands
// u32, process id of the writing side: where copy-data and close requests go.
// Set once at open and reached by no parameter key (key 262 may rewrite 272).
inline constexpr std::size_t kProcessId = 296;
inline constexpr std::size_t kUsed = 304;

inline constexpr std::size_t kServiceParamBytes = 160;
inline constexpr std::size_t kDescriptionBytes = 72;
// Key 2's 32 bytes overlap keys 3, 256, 257 and the ring's position and total.
// Its bytes 16 to 31 (offsets 248..263) are always restored to the ring state
// after the write, so only bytes 0 to 15 survive there.
inline constexpr std::size_t kSaveParamBytes = 32;
inline constexpr std::size_t kSaveParamKeptBytes = 16;

static_assert(kDescription == kServiceParam + kServiceParamBytes);
static_assert(kSaveParam == kDescription + kDescriptionBytes);
static_assert(kWritePos % 8 == 0 && kTotal % 8 == 0 && kReserved % 8 == 0);
static_assert(kSaveParam + kSaveParamKeptBytes == kWritePos);
static_assert(kWindow + 4 <= kResetCount);
static_assert(kUsed <= kHeaderAreaSize);
}  // namespace hdr

// Parameter keys and the bytes each may write (0 for an unknown key).
inline constexpr std::uint32_t kKeyServiceParam = 0;
inline constexpr std::uint32_t kKeyDescription = 1;
inline constexpr std::uint32_t kKeySaveParam = 2;
inline constexpr std::uint32_t kKeyCommand = 3;
inline constexpr std::uint32_t kKey256 = 256;
inline constexpr std::uint32_t kKey257 = 257;
inline constexpr std::uint32_t kKey261 = 261;
inline constexpr std::uint32_t kKeyWindow = 262;

struct KeyField {
    std::size_t offset = 0;
    std::size_t bytes = 0;  // 0: no such key
};

constexpr KeyField FieldOfKey(std::uint32_t key) {
    switch (key) {
        case kKeyServiceParam:
            return {hdr::kServiceParam, hdr::kServiceParamBytes};
        case kKeyDescription:
            return {hdr::kDescription, hdr::kDescriptionBytes};
        case kKeySaveParam:
            return {hdr::kSaveParam, hdr::kSaveParamBytes};
        case kKeyCommand:
            return {hdr::kKey3, 4};
        case kKey256:
            return {hdr::kKey256, 4};
        case kKey257:
            return {hdr::kKey257, 4};
        case kKey261:
            return {hdr::kKey261, 4};
        case kKeyWindow:
            return {hdr::kWindow, 4};
        default:
            return {};
    }
}

// The record a caller gives BB_OpenService; the service keeps its own copy and
// hands that to both callbacks. The pointer fields are widened to 8 bytes, so
// the record is 128 bytes instead of 120.
struct ServiceRecord;
using ServiceCallback = void (*)(std::uint32_t zero, ServiceRecord* record);

struct ServiceRecord {
    std::uint32_t description[18];  // 0
    const std::uint8_t* data;       // 72, valid during the data callback
    std::uint32_t length;           // 80
    std::uint32_t copyDataMode;     // 84, 1: data travel in copy-data messages
    std::uint8_t reserved[24];      // 88
    ServiceCallback dataCallback;   // 112
    ServiceCallback paramCallback;  // 120
};
static_assert(sizeof(ServiceRecord) == 128);
static_assert(offsetof(ServiceRecord, data) == 72);
static_assert(offsetof(ServiceRecord, length) == 80);
static_assert(offsetof(ServiceRecord, copyDataMode) == 84);
static_assert(offsetof(ServiceRecord, dataCallback) == 112);
static_assert(offsetof(ServiceRecord, paramCallback) == 120);

// What BB_GetShareDataInfo fills: the record's first 84 bytes.
inline constexpr std::size_t kShareDataInfoBytes = 84;

// The structure of a copy-data message (0x004A), valid during the call.
using CopyDataStruct = plat::CopyData;

inline constexpr std::uint32_t kWmClose = 0x0010;
inline constexpr std::uint32_t kWmCopyData = plat::kWmCopyData;

// Copy-data frame between processes: {service, target role, message, length}
// as little-endian u32, then `length` bytes.
inline constexpr std::size_t kFrameHead = 16;
inline constexpr std::size_t kMaxFrameBody = hdr::kDescriptionBytes + kRingSize;

}  // namespace svclink
