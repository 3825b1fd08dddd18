// The three checks of the subframe stream: frame counter, subframe ID and
// time-tag continuity. Each keeps what it expects from block to block and
// turns every break it finds into one report line (GBK) in a buffer of its
// own; writing the lines out is the caller's work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace stats {

// Lines of one block, reused from block to block; it grows only when a block
// brings more text than it has room for.
class ReportText {
public:
    void Reserve(std::size_t bytes) { text_.reserve(bytes); }
    void Clear() { text_.clear(); }
    void Append(const char* s, std::size_t n) { text_.append(s, n); }
    std::string_view View() const { return text_; }
    std::size_t Capacity() const { return text_.capacity(); }

private:
    std::string text_;
};

// How a block is laid out: W words of B bytes after an H-byte header per
// record, N records per group. Blocks are examined in whole groups.
struct BlockShape {
    std::uint32_t words = 0;        // W
    std::uint32_t subframes = 0;    // N
    std::uint32_t headerBytes = 8;  // H
    std::uint32_t wordBytes = 0;    // B
    std::uint32_t tagFormat = 0;    // 0 BCD time tags, else binary
};

class FrameCountCheck {
public:
    FrameCountCheck();
    // Forgets the expected counter: the next block starts it afresh.
    void Start();
    // Examines one block with the counter's high-word position (0: no high
    // word) and low-word position, both 1-based. Returns the lines added to
    // Text(), which holds this block's lines only.
    std::size_t CheckBlock(const std::uint8_t* block, std::size_t length, const BlockShape& shape,
                           std::uint32_t highPos, std::uint32_t lowPos);
    std::string_view Text() const { return text_.View(); }

private:
    std::string lineFormat_[3];  // 8, 16 and 32-bit counters
    ReportText text_;
    bool first_ = true;
    std::uint32_t expected_ = 0;
};

class IdCountCheck {
public:
    IdCountCheck();
    void Start();
    // As FrameCountCheck with the ID word's 1-based position.
    std::size_t CheckBlock(const std::uint8_t* block, std::size_t length, const BlockShape& shape,
                           std::uint32_t idPos);
    std::string_view Text() const { return text_.View(); }

private:
    std::string lineFormat_[2];  // 8 and 16-bit words
    ReportText text_;
    bool first_ = true;
    std::uint16_t expected_ = 0;
};

class TimeContinuityCheck {
public:
    TimeContinuityCheck();
    // Also forgets the previous time.
    void Start();
    // Examines one block at `bitRate` bit/s (0: nothing is examined).
    std::size_t CheckBlock(const std::uint8_t* block, std::size_t length, const BlockShape& shape,
                           std::uint32_t bitRate);
    // The same check with every record decoded to double milliseconds: the
    // slower form that CheckBlock reports exactly like.
    std::size_t CheckBlockByDoubles(const std::uint8_t* block, std::size_t length,
                                    const BlockShape& shape, std::uint32_t bitRate);
    std::string_view Text() const { return text_.View(); }

private:
    // One record against the previous time in the double arithmetic of
    // time-of-day milliseconds; true when it is a jump.
    bool JumpByDoubles(double previous, double now, double twice) const;
    void AppendJump(const std::uint8_t* previousTag, std::uint32_t previousFormat,
                    const std::uint8_t* tag, std::uint32_t format);

    std::string lineFormat_;
    ReportText text_;
    bool first_ = true;
    // The last record examined: its tag's time bytes and their format.
    std::uint8_t prevTag_[5] = {};
    std::uint32_t prevFormat_ = 0;
};

// Duration of one subframe's words in ms: W·B·8·1000 / bitRate (0 for a
// bit rate of 0).
double SubframePeriodMs(std::uint32_t words, std::uint32_t wordBytes, std::uint32_t bitRate);

// Size of the line buffer each check reserves when it starts.
inline constexpr std::size_t kInitialReportBytes = 64 * 1024;

}  // namespace stats
