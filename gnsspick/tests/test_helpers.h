// Hand-written byte streams for the search tests: records of H + D bytes
// with the stream's bytes at given positions, and big-/little-endian writers
// independent of the library's decoders.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace gnsstest {

using Bytes = std::vector<std::uint8_t>;

inline void PutBe32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (24 - 8 * i));
}
inline void PutBeF32(Bytes& b, std::size_t at, float f) {
    std::uint32_t v;
    std::memcpy(&v, &f, 4);
    PutBe32(b, at, v);
}
inline void PutLe(Bytes& b, std::size_t at, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
}

// Spreads `stream` over records of h + d bytes at the 1-based positions
// (0 = unused), filling the rest with `fill`; the last record is padded with
// 0x00 stream bytes.
inline Bytes Records(const Bytes& stream, std::size_t h, std::size_t d,
                     std::initializer_list<int> positions, std::uint8_t fill = 0xEE) {
    std::vector<int> used;
    for (int p : positions)
        if (p != 0) used.push_back(p);
    const std::size_t records = (stream.size() + used.size() - 1) / used.size();
    Bytes out(records * (h + d), fill);
    std::size_t k = 0;
    for (std::size_t r = 0; r < records; ++r)
        for (int p : used)
            out[r * (h + d) + h + std::size_t(p) - 1] = k < stream.size() ? stream[k++] : 0;
    return out;
}

// An old-protocol message: 0x10, id, the data with every 0x10 doubled, 0x10 0x03.
inline Bytes DleMessage(std::uint8_t id, const Bytes& data) {
    Bytes m{0x10, id};
    for (std::uint8_t b : data) {
        m.push_back(b);
        if (b == 0x10) m.push_back(0x10);
    }
    m.push_back(0x10);
    m.push_back(0x03);
    return m;
}

// Stored navigation message (0x10 0xD7 counted as bytes 0 and 1) with the
// fields big-endian from byte 24 and `satellites` 3-byte entries.
inline Bytes NavigationStored(float x, float y, float z, std::uint8_t status, int satellites,
                              std::uint8_t hours = 12, std::uint8_t minutes = 34,
                              float seconds = 56.5f) {
    Bytes m(62 + 3 * satellites, 0);
    m[0] = 0x10;
    m[1] = 0xD7;
    const std::size_t f = 24;
    m[f] = 1;
    PutBeF32(m, f + 1, seconds);
    m[f + 5] = minutes;
    m[f + 6] = hours;
    m[f + 11] = status;
    PutBeF32(m, f + 12, x);
    PutBeF32(m, f + 16, y);
    PutBeF32(m, f + 20, z);
    PutBeF32(m, f + 24, 1.5f);
    PutBeF32(m, f + 28, -2.25f);
    PutBeF32(m, f + 32, 3.0f);
    m[f + 36] = 0x00;
    m[f + 37] = 0x96;  // PDOP 1.50
    for (int i = 0; i < satellites; ++i) {
        m[f + 38 + 3 * i] = std::uint8_t(0x80 | (i + 1));
        m[f + 38 + 3 * i + 1] = 0x30;
        m[f + 38 + 3 * i + 2] = 160;  // 40 dB-Hz
    }
    return m;
}

// The data part of a stored message (after 0x10 and the identifier).
inline Bytes Body(const Bytes& stored) {
    return Bytes(stored.begin() + 2, stored.end());
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A new-protocol frame: sync, the head with type and length, payload, tail.
inline Bytes SyncFrame(bool withReceiverId, std::uint8_t type, const Bytes& payload) {
    Bytes f{0xAA, 0x55, 0x11, 0xBB};
    if (withReceiverId) {
        f.push_back(type);
        f.push_back(std::uint8_t(payload.size()));
        f.push_back(std::uint8_t(payload.size() >> 8));
    } else {
        f.push_back(0x01);
        f.push_back(0x02);
        f.push_back(type);
        f.push_back(std::uint8_t(payload.size()));
        f.push_back(std::uint8_t(payload.size() >> 8));
    }
    f.insert(f.end(), payload.begin(), payload.end());
    for (int i = 0; i < 7; ++i) f.push_back(0x5A);
    return f;
}

inline Bytes Stuffed(const Bytes& data) {
    Bytes out;
    for (std::uint8_t b : data) {
        out.push_back(b);
        if (b == 0x10) out.push_back(0x10);
    }
    return out;
}

}  // namespace gnsstest
