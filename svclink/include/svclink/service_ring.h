// One direction of a service: the writer's header fields and ring, written by
// one process and read by the other, as plain functions over the bytes.
//
// Nothing locks the ring between the processes. The writer announces the
// total its write will reach, copies, then publishes position and total with
// release order inside an odd sequence count; the reader takes them as one
// picture with acquire order, copies, and checks afterwards that the writer
// did not lap the span it copied. A reset bumps a count, so a reader never
// has to guess one from the totals.
#pragma once

#include <cstddef>
#include <cstdint>

#include "svclink/service_layout.h"

namespace svclink {

// What the writing process keeps of its own direction.
struct WriterState {
    std::uint64_t pos = 0;
    std::uint64_t total = 0;
    std::uint32_t resetCount = 0;
    bool started = false;
    bool haveDescription = false;
    std::uint32_t description[18] = {};
};

// Clears the ring state of the header (position, total, started flag) and
// counts a reset, so a reader of an earlier run starts over. `state` is set
// to match.
void ResetDirection(std::uint8_t* header, WriterState& state);

// Appends `length` bytes. A description different from the kept one resets
// the ring first; an equal one does not. False when `length` exceeds the ring
// or the data pointer is null with a length.
bool WriteBlock(std::uint8_t* header, std::uint8_t* ring, WriterState& state, const void* data,
                std::size_t length, const std::uint32_t* description);

// Copies up to the key's field size to its header offset; returns the bytes
// written, 0 for an unknown key. Key 2 overlaps the ring state: it is
// written under the header's sequence count and 248..263 are restored from
// `state` before the count is even again.
std::size_t WriteKey(std::uint8_t* header, const WriterState& state, std::uint32_t key,
                     const void* data, std::size_t length);

// Copies the key's field (at most `length` bytes) as one consistent picture;
// returns the bytes copied, 0 for an unknown key or a header being rewritten
// by a writer that does not finish.
std::size_t ReadKey(const std::uint8_t* header, std::uint32_t key, void* out, std::size_t length);

struct ReaderState {
    std::uint64_t readTotal = 0;
    std::uint32_t resetCount = 0;
    std::uint64_t lostBytes = 0;    // skipped because the reader fell too far behind
    std::uint64_t lappedSpans = 0;  // copied spans discarded because the writer overwrote them
    std::uint64_t badHeaders = 0;   // wakes that found position and total inconsistent
};

// The writing side's process id (0 when none was set).
void WriteProcessId(std::uint8_t* header, std::uint32_t pid);
std::uint32_t ReadProcessId(const std::uint8_t* header);

// Starts reading after what the writer has written so far: what a reader
// before us left unread is not ours. A reset seen later is read from its
// start.
void AttachReader(const std::uint8_t* header, ReaderState& state);

struct ChunkResult {
    std::size_t bytes = 0;  // copied into `out`
    bool more = false;      // call again: more data, or a discarded span to retry
    bool busy = false;      // the header was being rewritten; nothing read, try again soon
};

// Copies the next at most `capacity` bytes written since the last call into
// `out`, with the header's description into `description` (18 u32) when
// bytes were copied. Header values are not trusted.
ChunkResult ReadChunk(const std::uint8_t* header, const std::uint8_t* ring, ReaderState& state,
                      std::uint8_t* out, std::size_t capacity, std::uint32_t* description);

}  // namespace svclink
