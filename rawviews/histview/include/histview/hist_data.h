// The histogram window's data side without Qt: its channel settings in
// "HistogramChannel.ini", the frame copy shared between the caller and the
// GUI thread, and the bar values taken from it.
#pragma once

#include <rawviews/caption_text.h>
#include <rawviews/frame_records.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace histview {

inline constexpr int kChannels = 24;
// Rows drawn at most; larger frames show their first rows.
inline constexpr int kMaxRows = 256;
// Frames larger than this are refused rather than copied.
inline constexpr std::size_t kMaxFrameBytes = std::size_t{64} << 20;

struct HistogramSettings {
    int channel[kChannels];  // word position of bar k (1-based), default k
    HistogramSettings() {
        for (int k = 0; k < kChannels; ++k) channel[k] = k + 1;
    }
};

// <module directory>/HistogramChannel.ini, section "HISTOGRAM_CHANNEL".
std::string HistogramSettingsPath();
// Missing keys and values that are not whole numbers give the defaults.
HistogramSettings LoadHistogramSettings(const std::string& file);
bool SaveHistogramSettings(const std::string& file, const HistogramSettings& s);

// Bytes of one frame of this shape; 0 for a zero size or beyond kMaxFrameBytes.
std::size_t HistFrameBytes(const _FRAME_STRUCT_PARAM& f);

// A word of `bytes` (1..4) bytes: byte order 0 reads the first byte as the
// least significant, any other value as the most significant.
std::uint32_t AssembleWord(const std::uint8_t* p, int bytes, int byteOrder);

// Height of a bar as a part of the full height: value / (2^bits - 1), at most
// 1; negative (no bar) for 0 bits or more than 32.
double BarRatio(std::uint32_t value, int bits);

// "%0<2n>X" of the value for n word bytes, "%4.2f%%" of the ratio, "%4.3f".
std::string HexLabel(std::uint32_t value, int wordBytes);
std::string PercentLabel(double ratio);
std::string NumberLabel(double value);

// What the GUI draws, taken under the store's lock.
struct HistSnapshot {
    bool hasData = false;
    _FRAME_STRUCT_PARAM shape{};
    std::string frameCode;
    int rows = 0;  // subframe rows, or 1 for the whole frame
    struct Bar {
        bool valid = false;  // position inside the frame
        std::uint32_t value = 0;
    };
    std::vector<Bar> bars;  // rows * kChannels, row by row
    std::uint64_t version = 0;
};

class HistStore {
public:
    HistStore();

    // Copies the frame (the layout `frame` describes); 1 when copied, 0 for a
    // null argument or a refused shape (nothing copied).
    int SetData(const _FRAME_STRUCT_PARAM* frame, const std::uint8_t* data);

    // The bars of every row for the channel positions; a position is taken
    // within each subframe, or through the whole frame when the record says so.
    void Read(const HistogramSettings& s, HistSnapshot& out) const;
    std::uint64_t Version() const;

private:
    mutable std::mutex mutex_;
    // Guarded by mutex_.
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t capacity_ = 0;
    bool hasData_ = false;
    _FRAME_STRUCT_PARAM shape_{};
    std::uint64_t version_ = 0;
};

}  // namespace histview
