// One demodulated-data channel of a card (0 before, 1 after decryption): the
// poll worker writes engine data into its ring, the report thread reads whole
// major frames out into a report block.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

#include "bbdevice/dem_report.h"
#include "dem_events.h"
#include "dem_geometry.h"
#include "share_ring.h"

struct DemParam;

namespace bbdev {

// Receives every processed block before the caller's callback does
// (recording); called under the channel lock.
class IDemBlockWriter {
public:
    virtual ~IDemBlockWriter() = default;
    virtual void WriteBlock(std::uint32_t channel, std::span<const std::uint8_t> bytes) = 0;
};

struct DemMessageStats {
    std::uint32_t count = 0;
    std::uint64_t firstTickMs = 0;
    std::uint64_t lastTickMs = 0;
};

class CDemChannel {
public:
    static constexpr const char* kRingName0 = "{9C59BF60-6A02-4D57-AC42-1C150B41BE03_DEMDATA}";
    static constexpr const char* kRingName1 = "{9C59BF60-6A02-4D57-AC42-1C150B41BE03_DEMDATA_DS}";

    CDemChannel(std::uint32_t cardIndex, std::uint32_t channel, CEventGroup& events);

    bool CreateRing(std::size_t bytes);
    void ReleaseRing();
    bool HasRing() const;

    // Poll worker: a data message from the engine.
    void OnData(std::span<const std::uint8_t> payload);
    // Report thread: whole major frames into block.data; returns block.byteCount.
    std::size_t ReadInto(DemReportBlock& block);
    // New demodulator record: counters, geometry, ring and tag clock; returns
    // the channel's new descriptor. clockStartUs empty keeps the clock.
    DemChannelDescriptor Restart(const DemParam& p, std::optional<double> clockStartUs);
    // An inactive channel drops what its ring holds; an active one lets the
    // report thread deliver what is waiting and pauses the caller for ms.
    void Flush(unsigned ms);

    void SetActive(bool on) { active_.store(on ? 1 : 0); }
    bool Active() const { return active_.load() != 0; }
    void SetReportEnabled(bool on);
    bool ReportEnabled() const { return reportEnabled_.load() != 0; }
    void SetWriter(IDemBlockWriter* writer);

    DemMessageStats MessageStats() const;
    std::uint64_t DroppedMessages() const { return dropped_.load(); }
    // Bytes lost to the ring: skipped by a reader that fell behind, or in
    // messages larger than the ring.
    std::uint64_t LostBytes() const;
    std::uint32_t Index() const { return channel_; }
    unsigned DataEvent() const { return channel_ == 0 ? kDemDataEvent0 : kDemDataEvent1; }
    unsigned FlushEvent() const { return channel_ == 0 ? kDemFlushEvent0 : kDemFlushEvent1; }
    const std::string& RingName() const { return ring_.Name(); }

private:
    const std::uint32_t cardIndex_;
    const std::uint32_t channel_;
    CEventGroup& events_;

    mutable std::mutex lock_;  // the channel lock: ring, geometry, clock, writer
    CShareRing ring_;
    DemFrameGeometry geometry_;
    std::uint32_t 配时精度_ = 0;
    std::uint32_t 配时密度_ = 1;
    double clockUs_ = 0;
    std::unique_ptr<std::uint8_t[]> scratch_;  // kDemReportDataBytes, from CreateRing
    IDemBlockWriter* writer_ = nullptr;

    mutable std::mutex counterLock_;
    DemMessageStats stats_;  // guarded by counterLock_

    std::atomic<std::uint32_t> reportEnabled_{0};
    std::atomic<std::uint32_t> active_{0};
    std::atomic<std::uint64_t> dropped_{0};  // messages larger than the ring
    std::atomic<std::uint64_t> droppedBytes_{0};
};

std::uint64_t DemTickMs();

}  // namespace bbdev
