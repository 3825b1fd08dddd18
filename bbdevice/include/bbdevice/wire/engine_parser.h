// Finding engine messages in a stream of received bytes. ParseNext is a pure
// function over the pending bytes; ReceiveAssembler adds the one receive
// buffer, hands out complete messages in place and keeps a partial one.
#pragma once

#include <bbdevice/wire/engine_message.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <span>

namespace bbdev::wire {

struct ParseStep {
    enum class Kind { Message, NeedMore };
    Kind kind = Kind::NeedMore;
    // Bytes to drop from the front first: garbage before the magic, or a
    // header that announces more than `capacity` bytes.
    std::size_t discard = 0;
    // Kind::Message: length of the whole message that follows the discarded bytes.
    std::size_t length = 0;
};

// Looks at the start of `pending`. Bytes that cannot begin a message are
// discarded, except a trailing partial magic, which may be completed by the
// next receive. A header announcing more than `capacity` bytes could never be
// assembled and is skipped so that the scan resumes at the next magic.
ParseStep ParseNext(std::span<const std::uint8_t> pending, std::size_t capacity);

class ReceiveAssembler {
public:
    explicit ReceiveAssembler(std::size_t capacity = kReceiveBufferBytes, bool checkWords = false);
    ReceiveAssembler(const ReceiveAssembler&) = delete;
    ReceiveAssembler& operator=(const ReceiveAssembler&) = delete;

    bool ok() const { return buffer_ != nullptr; }
    std::size_t capacity() const { return capacity_; }
    std::size_t pending() const { return pending_; }

    // Where the next receive writes.
    std::span<std::uint8_t> FreeSpace() { return {buffer_.get() + pending_, capacity_ - pending_}; }

    // Accounts `received` new bytes written into FreeSpace(), calls
    // onMessage(const MessageView&) for every complete message in order and
    // moves the bytes of an incomplete one to the start of the buffer.
    template <class OnMessage>
    void Commit(std::size_t received, OnMessage&& onMessage);

    // Copies bytes in (for callers that do not receive in place); bytes that
    // do not fit after parsing are dropped and counted as discarded.
    template <class OnMessage>
    void Feed(std::span<const std::uint8_t> bytes, OnMessage&& onMessage);

    void Clear() { pending_ = 0; }

    std::uint64_t messages() const { return messages_; }
    std::uint64_t discardedBytes() const { return discarded_; }
    std::uint64_t checkFailures() const { return checkFailures_; }

private:
    // Parses from the start; returns the offset of the first unparsed byte.
    template <class OnMessage>
    void ParseAndCompact(OnMessage& onMessage);
    bool CheckWordOk(std::span<const std::uint8_t> message) const;

    std::size_t capacity_;
    bool checkWords_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t pending_ = 0;
    std::uint64_t messages_ = 0;
    std::uint64_t discarded_ = 0;
    std::uint64_t checkFailures_ = 0;
};

template <class OnMessage>
void ReceiveAssembler::Commit(std::size_t received, OnMessage&& onMessage) {
    if (received > capacity_ - pending_) received = capacity_ - pending_;
    pending_ += received;
    ParseAndCompact(onMessage);
}

template <class OnMessage>
void ReceiveAssembler::Feed(std::span<const std::uint8_t> bytes, OnMessage&& onMessage) {
    while (!bytes.empty()) {
        auto space = FreeSpace();
        std::size_t n = bytes.size() < space.size() ? bytes.size() : space.size();
        if (n == 0) {  // cannot happen: a full buffer always parses or discards
            discarded_ += bytes.size();
            return;
        }
        std::memcpy(space.data(), bytes.data(), n);
        bytes = bytes.subspan(n);
        Commit(n, onMessage);
    }
}

template <class OnMessage>
void ReceiveAssembler::ParseAndCompact(OnMessage& onMessage) {
    const std::uint8_t* base = buffer_.get();
    std::size_t pos = 0;
    while (pos < pending_) {
        ParseStep step = ParseNext({base + pos, pending_ - pos}, capacity_);
        discarded_ += step.discard;
        pos += step.discard;
        if (step.kind != ParseStep::Kind::Message) break;
        std::span<const std::uint8_t> message{base + pos, step.length};
        pos += step.length;
        if (checkWords_ && !CheckWordOk(message)) {
            ++checkFailures_;
            continue;
        }
        ++messages_;
        onMessage(ViewMessage(message));
    }
    if (pos > 0) {
        std::size_t rest = pending_ - pos;
        if (rest > 0) std::memmove(buffer_.get(), base + pos, rest);
        pending_ = rest;
    }
}

}  // namespace bbdev::wire
