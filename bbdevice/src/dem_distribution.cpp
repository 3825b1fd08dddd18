#include "dem_distribution.h"

#include "bbdevice/dev_records.h"
#include "data_report_thread.h"
#include "dem_timetag.h"
#include "device_messages.h"

namespace bbdev {

namespace {

constexpr unsigned kEnableFlushMs = 15;
constexpr unsigned kEngineFlushMs = 5;
constexpr std::size_t kTimeRecordBytes = 16;

}  // namespace

CDemDistribution::CDemDistribution(std::uint32_t cardIndex)
    : cardIndex_(cardIndex), events_(std::make_shared<CEventGroup>()) {
    channels_[0] = std::make_unique<CDemChannel>(cardIndex, 0, *events_);
    channels_[1] = std::make_unique<CDemChannel>(cardIndex, 1, *events_);
}

CDemDistribution::~CDemDistribution() {
    Close();
}

bool CDemDistribution::Open(DemDataCallback callback, std::uint32_t userValue,
                            std::size_t ringBytes) {
    if (thread_) return true;
    const bool ring0 = channels_[0]->CreateRing(ringBytes);
    const bool ring1 = channels_[1]->CreateRing(ringBytes);
    if (!ring0 || !ring1) {
        ShowDeviceMessage(kMsgRingCreateFailed);
        channels_[0]->ReleaseRing();
        channels_[1]->ReleaseRing();
        return false;
    }
    auto thread = std::make_unique<CDataReportWinThread>(cardIndex_, channels_[0].get(),
                                                         channels_[1].get(), events_);
    if (!thread->Start(callback, userValue)) {
        ShowDeviceMessage(kMsgReportThreadFailed);
        channels_[0]->ReleaseRing();
        channels_[1]->ReleaseRing();
        return false;
    }
    thread_ = std::move(thread);
    channels_[0]->SetReportEnabled(true);
    channels_[1]->SetReportEnabled(true);
    return true;
}

void CDemDistribution::Close() {
    if (thread_) {
        const bool fromCallback = thread_->OnReportThread();
        thread_->Stop(100);
        // Closed from inside the callback: the thread still returns into its
        // own object, which therefore stays alive.
        if (fromCallback) (void)thread_.release();
        thread_.reset();
    }
    for (auto& c : channels_) {
        c->SetReportEnabled(false);
        c->SetActive(false);
        c->ReleaseRing();
    }
}

void CDemDistribution::OnDataMessage(std::uint32_t channel, std::span<const std::uint8_t> payload) {
    Channel(channel).OnData(payload);
}

void CDemDistribution::OnFlushMessage(std::uint32_t channel) {
    Channel(channel).Flush(kEngineFlushMs);
}

bool CDemDistribution::OnDemodulatorMessage(std::uint32_t operation,
                                            std::span<const std::uint8_t> payload) {
    switch (operation) {
        case 4:
            OnDataMessage(0, payload);
            return true;
        case 6:
            OnDataMessage(1, payload);
            return true;
        case 5:
            OnFlushMessage(0);
            return true;
        case 7:
            OnFlushMessage(1);
            return true;
        default:
            return false;
    }
}

void CDemDistribution::Restart(const DemParam& p, std::span<const std::uint8_t> timeRecords,
                               bool decipherOn) {
    std::optional<double> clockStart;
    const std::size_t at = p.时统模式 == 0 ? 0 : kTimeRecordBytes;
    if (timeRecords.size() >= at + kTimeRecordBytes) {
        clockStart = ClockFromTimeRecord(timeRecords.subspan(at).first<kTimeRecordBytes>());
    }
    const bool usable = ComputeDemGeometry(p).valid;
    for (std::uint32_t k = 0; k < 2; ++k) {
        CDemChannel& c = *channels_[k];
        const DemChannelDescriptor d = c.Restart(p, clockStart);
        if (k == 0) {
            c.SetActive(usable);
        } else {
            c.Flush(kEnableFlushMs);
            c.SetActive(usable && decipherOn);
        }
        if (thread_) thread_->SetDescriptor(k, d);
    }
}

bool CDemDistribution::EnableReport(std::uint32_t channel, std::uint32_t enable) {
    CDemChannel& c = Channel(channel);
    c.Flush(kEnableFlushMs);
    c.SetReportEnabled(enable != 0);
    return true;
}

void DemStatusRate(const DemMessageStats& s, std::uint32_t* count, std::uint32_t* rate) {
    *count = s.count;
    *rate = 0;
    // One message or several within one tick have no measurable rate.
    if (s.count != 0 && s.lastTickMs > s.firstTickMs) {
        const double r = double(s.count) * 1000.0 / double(s.lastTickMs - s.firstTickMs) + 0.5;
        *rate = r >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(r);
    }
}

void CDemDistribution::DataMessageStatus(std::uint32_t* count, std::uint32_t* rate) const {
    DemStatusRate(channels_[0]->MessageStats(), count, rate);
}

}  // namespace bbdev
