#include "dem_channel.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "bbdevice/dev_records.h"
#include "dem_timetag.h"

namespace bbdev {

std::uint64_t DemTickMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

CDemChannel::CDemChannel(std::uint32_t cardIndex, std::uint32_t channel, CEventGroup& events)
    : cardIndex_(cardIndex), channel_(channel), events_(events) {}

bool CDemChannel::CreateRing(std::size_t bytes) {
    std::lock_guard lock(lock_);
    if (!scratch_) scratch_ = std::make_unique<std::uint8_t[]>(kDemReportDataBytes);
    if (ring_.IsCreated()) return true;
    if (!ring_.Create(channel_ == 0 ? kRingName0 : kRingName1, bytes)) return false;
    ring_.Reset(static_cast<std::uint32_t>(geometry_.valid ? geometry_.granule : 1));
    return true;
}

void CDemChannel::ReleaseRing() {
    std::lock_guard lock(lock_);
    ring_.Release();
}

bool CDemChannel::HasRing() const {
    std::lock_guard lock(lock_);
    return ring_.IsCreated();
}

void CDemChannel::SetWriter(IDemBlockWriter* writer) {
    std::lock_guard lock(lock_);
    writer_ = writer;
}

void CDemChannel::SetReportEnabled(bool on) {
    std::lock_guard lock(lock_);
    reportEnabled_.store(on ? 1 : 0);
}

std::uint64_t CDemChannel::LostBytes() const {
    std::lock_guard lock(lock_);
    return ring_.LostBytes() + droppedBytes_.load(std::memory_order_relaxed);
}

DemMessageStats CDemChannel::MessageStats() const {
    std::lock_guard lock(counterLock_);
    return stats_;
}

void CDemChannel::OnData(std::span<const std::uint8_t> payload) {
    if (!reportEnabled_.load(std::memory_order_relaxed)) return;
    bool wake = false;
    {
        std::lock_guard lock(lock_);
        if (!ring_.Write(payload) && ring_.IsCreated()) {
            dropped_.fetch_add(1, std::memory_order_relaxed);
            droppedBytes_.fetch_add(payload.size(), std::memory_order_relaxed);
        }
        wake = geometry_.valid && ring_.Pending() >= geometry_.threshold;
    }
    {
        std::lock_guard lock(counterLock_);
        const std::uint64_t now = DemTickMs();
        if (stats_.count == 0) stats_.firstTickMs = now;
        stats_.lastTickMs = now;
        ++stats_.count;
    }
    if (wake) events_.Set(DataEvent());
}

std::size_t CDemChannel::ReadInto(DemReportBlock& block) {
    std::lock_guard lock(lock_);
    std::size_t processed = 0;
    if (geometry_.valid) {
        const std::size_t tagged = static_cast<std::size_t>(geometry_.taggedMajorBytes);
        const std::size_t want = kDemReportDataBytes / tagged * tagged;
        const std::size_t n = ring_.Read(block.data, want);
        processed = n;
        if (n != 0 && (配时密度_ != 1 || 配时精度_ != 0)) {
            std::memcpy(scratch_.get(), block.data, n);
            processed = ProcessMinorFrames({scratch_.get(), n}, block.data, geometry_, 配时精度_,
                                           配时密度_, clockUs_);
        }
        if (processed != 0 && writer_) writer_->WriteBlock(channel_, {block.data, processed});
    }
    // Stay signalled while another threshold waits, so that data left behind
    // by a capped read do not wait for the next message.
    if (!geometry_.valid || ring_.Pending() < geometry_.threshold) events_.Reset(DataEvent());
    block.byteCount = static_cast<std::uint32_t>(processed);
    return processed;
}

DemChannelDescriptor CDemChannel::Restart(const DemParam& p, std::optional<double> clockStartUs) {
    std::scoped_lock lock(lock_, counterLock_);
    stats_ = DemMessageStats{};
    geometry_ = ComputeDemGeometry(p);
    配时精度_ = p.配时精度;
    配时密度_ = p.配时密度;
    ring_.Reset(static_cast<std::uint32_t>(geometry_.valid ? geometry_.granule : 1));
    if (clockStartUs) clockUs_ = *clockStartUs;
    events_.Reset(DataEvent());
    return MakeDemDescriptor(p, geometry_, cardIndex_, channel_);
}

void CDemChannel::Flush(unsigned ms) {
    if (!Active()) {
        std::lock_guard lock(lock_);
        ring_.Reset(static_cast<std::uint32_t>(geometry_.valid ? geometry_.granule : 1));
        return;
    }
    events_.Set(FlushEvent());
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace bbdev
