// The engine link's message format, in both directions:
//   0  u32 magic 0x57FA5E26
//   4  u32 command: byte 0 operation, byte 1 module, byte 2 zero, byte 3 0x01
//   8  u32 lengthAndSeq: bits 12-31 payload length - 1, bits 0-11 sequence
//  12  payload, zero-padded to a multiple of 4
//  12 + padded length: u32 check (XOR of all preceding words, or 0 when off)
// Everything is little-endian and read through the accessors below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace bbdev::wire {

inline constexpr std::uint32_t kMagic = 0x57FA5E26u;

inline constexpr std::size_t kOffMagic = 0;
inline constexpr std::size_t kOffCommand = 4;
inline constexpr std::size_t kOffLengthAndSeq = 8;
inline constexpr std::size_t kOffPayload = 12;
inline constexpr std::size_t kHeaderBytes = 12;
inline constexpr std::size_t kCheckBytes = 4;
// Smallest whole message: header, one padded payload word, check word.
inline constexpr std::size_t kMinMessageBytes = 20;

inline constexpr std::size_t kMaxPayloadBytes = std::size_t{1} << 20;
inline constexpr std::uint32_t kMaxSequence = 4095;

// Buffer sizes of the library's link.
inline constexpr std::size_t kSendAreaBytes = 263168;
inline constexpr std::size_t kMaxSendPayloadBytes = kSendAreaBytes - kHeaderBytes - kCheckBytes;
inline constexpr std::size_t kReceiveBufferBytes = 0x400100;  // 4,194,560

// Module codes.
enum Module : std::uint8_t {
    kModuleLink = 0,
    kModuleCard = 1,
    kModuleDemodulator = 2,
    kModuleSignalSource = 4,
    kModuleTimeCode = 5,
    kModuleDecipher1 = 6,
    kModuleDecipher0 = 7,
    kModuleSpectrum0 = 8,
    kModuleSpectrum1 = 9,
    kModuleSpectrum3 = 10,
    kModuleSpectrum2 = 11,
    kModuleUnit12 = 12,
    kModuleUnit13 = 13,
    kModuleFrameStat0 = 14,
    kModuleFrameStat1 = 15,
};
inline constexpr unsigned kModuleCount = 16;

// Operation 2 of every module is the engine's acknowledgement.
inline constexpr std::uint8_t kOpAcknowledge = 2;
// Module 1, operation 7: the card's heartbeat.
inline constexpr std::uint8_t kOpHeartbeat = 7;

inline std::uint16_t LoadLe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t LoadLe32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}
inline std::uint64_t LoadLe64(const std::uint8_t* p) {
    return std::uint64_t{LoadLe32(p)} | (std::uint64_t{LoadLe32(p + 4)} << 32);
}
inline double LoadLeF64(const std::uint8_t* p) {
    std::uint64_t bits = LoadLe64(p);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
inline void StoreLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void StoreLe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline void StoreLe64(std::uint8_t* p, std::uint64_t v) {
    StoreLe32(p, static_cast<std::uint32_t>(v));
    StoreLe32(p + 4, static_cast<std::uint32_t>(v >> 32));
}
inline void StoreLeF64(std::uint8_t* p, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    StoreLe64(p, bits);
}

constexpr std::uint32_t MakeCommand(unsigned module, unsigned operation) {
    return 0x01000000u | ((module & 0xFFu) << 8) | (operation & 0xFFu);
}
constexpr unsigned CommandModule(std::uint32_t command) {
    return (command >> 8) & 0xFFu;
}
constexpr unsigned CommandOperation(std::uint32_t command) {
    return command & 0xFFu;
}

// payloadBytes must be 1 .. kMaxPayloadBytes.
constexpr std::uint32_t MakeLengthAndSeq(std::size_t payloadBytes, unsigned sequence) {
    return (static_cast<std::uint32_t>(payloadBytes - 1) << 12) | (sequence & 0xFFFu);
}
constexpr std::size_t PayloadBytes(std::uint32_t lengthAndSeq) {
    return (lengthAndSeq >> 12) + 1;
}
constexpr unsigned Sequence(std::uint32_t lengthAndSeq) {
    return lengthAndSeq & 0xFFFu;
}
constexpr std::size_t PaddedBytes(std::size_t payloadBytes) {
    return (payloadBytes + 3) & ~std::size_t{3};
}
constexpr std::size_t MessageBytes(std::size_t payloadBytes) {
    return kHeaderBytes + PaddedBytes(payloadBytes) + kCheckBytes;
}
// Whole message length announced by a header's lengthAndSeq.
constexpr std::size_t AnnouncedMessageBytes(std::uint32_t lengthAndSeq) {
    return MessageBytes(PayloadBytes(lengthAndSeq));
}

// One complete message inside a receive buffer; valid during the handler call.
struct MessageView {
    std::uint32_t command = 0;
    std::uint32_t lengthAndSeq = 0;
    std::span<const std::uint8_t> payload;  // the announced length, no padding
    std::span<const std::uint8_t> bytes;    // whole message, header and check included

    unsigned module() const { return CommandModule(command); }
    unsigned operation() const { return CommandOperation(command); }
    unsigned sequence() const { return Sequence(lengthAndSeq); }
};

// Reads the header and payload of a complete message starting at bytes[0];
// bytes.size() must be at least the announced length.
MessageView ViewMessage(std::span<const std::uint8_t> bytes);

// XOR of the 32-bit words of bytes (a multiple of 4 long).
std::uint32_t XorWords(std::span<const std::uint8_t> bytes);

// Builds a message into out. Returns its length, or 0 when the payload is
// empty, longer than the format allows, or does not fit into out.
std::size_t BuildMessage(std::span<std::uint8_t> out, std::uint32_t command,
                         std::span<const std::uint8_t> payload, unsigned sequence = 0,
                         bool withCheck = false);

}  // namespace bbdev::wire
