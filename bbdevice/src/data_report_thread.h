// The report thread of a card: waits for a channel's data (or flush) event,
// reads the channel into its report block and hands the block to the caller's
// data callback.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "bbdevice/dem_report.h"
#include "dem_events.h"

namespace bbdev {

class CDemChannel;

class CDataReportWinThread {
public:
    CDataReportWinThread(std::uint32_t cardIndex, CDemChannel* channel0, CDemChannel* channel1,
                         std::shared_ptr<CEventGroup> events);
    ~CDataReportWinThread();
    CDataReportWinThread(const CDataReportWinThread&) = delete;
    CDataReportWinThread& operator=(const CDataReportWinThread&) = delete;

    // Starts the thread at raised priority; false when it cannot be created.
    bool Start(DemDataCallback callback, std::uint32_t userValue);
    // Sets the exit event and waits for the thread to end (see the .cpp).
    void Stop(unsigned waitMs = 100);
    bool Running() const { return running_.load(); }
    bool OnReportThread() const { return thread_.get_id() == std::this_thread::get_id(); }

    // Descriptor updates wait while a callback runs (the thread lock).
    void SetDescriptor(std::uint32_t channel, const DemChannelDescriptor& d);
    bool DescriptorValid(std::uint32_t channel) const;

private:
    void Run();

    [[maybe_unused]] const std::uint32_t cardIndex_;
    CDemChannel* const channels_[2];
    std::shared_ptr<CEventGroup> events_;
    DemDataCallback callback_ = nullptr;

    mutable std::recursive_mutex lock_;         // the thread lock; held around each callback
    std::unique_ptr<DemReportBlock[]> blocks_;  // two, guarded by lock_
    bool descriptorValid_[2] = {false, false};  // guarded by lock_
    std::atomic<bool> running_{false};
    std::thread thread_;
};

// Best effort: raises the calling thread's scheduling priority.
void RaiseCurrentThreadPriority();

}  // namespace bbdev
