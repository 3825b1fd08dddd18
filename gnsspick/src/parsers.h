// The receivers' message framings, fed one stream byte at a time. Each
// parser keeps its state across blocks and never reads past its buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace gnsspick {

inline constexpr std::size_t kOldNavigationMax = 116;
inline constexpr std::size_t kOldMeasureMax = 260;
inline constexpr std::size_t kFrameBufferBytes = 8192;

// Old protocol: 0x10, identifier, data with 0x10 doubled, 0x10 0x03. The
// stored message starts with the 0x10 and the identifier.
class DleMessageParser {
public:
    DleMessageParser(std::uint8_t identifier, std::size_t maxStored)
        : id_(identifier), max_(maxStored) {}
    // True when this byte was the 0x03 that ends a message; the message stays
    // readable until the next Feed.
    bool Feed(std::uint8_t b) {
        switch (state_) {
            case State::Idle:
                if (b == 0x10) state_ = State::Armed;
                return false;
            case State::Armed:
                if (b == id_) {
                    buf_[0] = 0x10;
                    buf_[1] = id_;
                    len_ = 2;
                    dle_ = false;
                    state_ = State::InMessage;
                } else {
                    state_ = State::Idle;
                }
                return false;
            case State::InMessage:
                if (dle_) {
                    dle_ = false;
                    if (b == 0x03) {
                        state_ = State::Idle;
                        return true;
                    }
                    if (b != 0x10) {
                        Reset();
                        return false;
                    }
                } else if (b == 0x10) {
                    dle_ = true;
                    return false;
                }
                if (len_ >= max_) {
                    Reset();
                    return false;
                }
                buf_[len_++] = b;
                return false;
        }
        return false;
    }
    void Reset() {
        state_ = State::Idle;
        dle_ = false;
        len_ = 0;
    }
    const std::uint8_t* Data() const { return buf_.data(); }
    std::size_t Length() const { return len_; }

private:
    enum class State : std::uint8_t { Idle, Armed, InMessage };
    std::array<std::uint8_t, kOldMeasureMax> buf_{};
    const std::uint8_t id_;
    const std::size_t max_;
    std::size_t len_ = 0;
    State state_ = State::Idle;
    bool dle_ = false;
};

// New protocols: AA 55 11 BB, a type byte and a little-endian payload length
// at fixed places, the payload and a 7-byte tail.
class SyncFrameParser {
public:
    struct Format {
        std::size_t typeAt, lengthAt, payloadAt, maxPayload;
    };
    static constexpr Format kWithReceiverId{4, 5, 7, 8178};
    static constexpr Format kWithoutReceiverId{6, 7, 9, 8176};
    static constexpr std::size_t kTailBytes = 7;

    void SetFormat(const Format& f) {
        if (f.typeAt != format_.typeAt) Reset();
        format_ = f;
    }
    // True when this byte completed a frame; it stays readable until the
    // next Feed.
    bool Feed(std::uint8_t b) {
        if (!inFrame_) {
            shift_ = shift_ << 8 | b;
            if (shift_ != 0xAA5511BBu) return false;
            buf_[0] = 0xAA;
            buf_[1] = 0x55;
            buf_[2] = 0x11;
            buf_[3] = 0xBB;
            len_ = 4;
            expected_ = 0;
            inFrame_ = true;
            return false;
        }
        buf_[len_++] = b;
        if (len_ == format_.lengthAt + 2) {
            const std::size_t l = buf_[format_.lengthAt] | std::size_t{buf_[format_.lengthAt + 1]}
                                                               << 8;
            if (l > format_.maxPayload) {
                Reset();
                return false;
            }
            expected_ = format_.payloadAt + l + kTailBytes;
        }
        if (expected_ != 0 && len_ == expected_) {
            inFrame_ = false;
            shift_ = 0;
            return true;
        }
        return false;
    }
    void Reset() {
        inFrame_ = false;
        shift_ = 0;
        len_ = 0;
        expected_ = 0;
    }
    std::uint8_t Type() const { return buf_[format_.typeAt]; }
    const std::uint8_t* Payload() const { return buf_.data() + format_.payloadAt; }
    std::size_t PayloadLength() const { return expected_ - format_.payloadAt - kTailBytes; }

private:
    std::array<std::uint8_t, kFrameBufferBytes> buf_{};
    Format format_ = kWithoutReceiverId;
    std::uint32_t shift_ = 0;
    std::size_t len_ = 0, expected_ = 0;
    bool inFrame_ = false;
};

}  // namespace gnsspick
