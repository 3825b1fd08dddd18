#include "data_report_thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <system_error>

#include "dem_channel.h"

namespace bbdev {

void RaiseCurrentThreadPriority() {
    // The lowest real-time priority, like the poll worker: the reader must
    // keep up with the writer or the ring overflows; the engine, not the
    // reader, is then the one that waits. Without the right, a lower nice
    // value; failure is harmless.
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO);
    if (param.sched_priority > 0 && pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0)
        return;
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -15);
}

CDataReportWinThread::CDataReportWinThread(std::uint32_t cardIndex, CDemChannel* channel0,
                                           CDemChannel* channel1,
                                           std::shared_ptr<CEventGroup> events)
    : cardIndex_(cardIndex),
      channels_{channel0, channel1},
      events_(std::move(events)),
      blocks_(std::make_unique<DemReportBlock[]>(2)) {}

CDataReportWinThread::~CDataReportWinThread() {
    Stop();
}

bool CDataReportWinThread::Start(DemDataCallback callback, std::uint32_t userValue) {
    if (thread_.joinable()) return true;
    callback_ = callback;
    for (int k = 0; k < 2; ++k) {
        blocks_[k].userValue = userValue;
        blocks_[k].byteCount = 0;
        std::memset(blocks_[k].reserved, 0, sizeof blocks_[k].reserved);
    }
    events_->Reset(kDemExitEvent);
    events_->Reset(kDemEndedEvent);
    running_.store(true);
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        running_.store(false);
        return false;
    }
    return true;
}

void CDataReportWinThread::Stop(unsigned waitMs) {
    if (!thread_.joinable()) return;
    events_->Set(kDemExitEvent);
    if (OnReportThread()) {
        // Stopped from inside the callback: the loop ends once it returns.
        thread_.detach();
        return;
    }
    events_->WaitAny(1u << kDemEndedEvent, std::chrono::milliseconds(waitMs));
    // A callback still running holds its block; it must return before the
    // block may go, so the join waits for it rather than abandoning it.
    thread_.join();
}

void CDataReportWinThread::SetDescriptor(std::uint32_t channel, const DemChannelDescriptor& d) {
    std::lock_guard lock(lock_);
    const std::uint32_t k = channel != 0 ? 1 : 0;
    blocks_[k].descriptor = d;
    descriptorValid_[k] = true;
}

bool CDataReportWinThread::DescriptorValid(std::uint32_t channel) const {
    std::lock_guard lock(lock_);
    return descriptorValid_[channel != 0 ? 1 : 0];
}

void CDataReportWinThread::Run() {
    pthread_setname_np(pthread_self(), "bb-report");
    RaiseCurrentThreadPriority();
    const std::uint32_t waitMask = 1u << kDemExitEvent | 1u << kDemDataEvent0 |
                                   1u << kDemDataEvent1 | 1u << kDemFlushEvent0 |
                                   1u << kDemFlushEvent1;
    while (running_.load()) {
        const int which = events_->WaitAny(waitMask);
        std::lock_guard lock(lock_);
        if (which == kDemExitEvent) {
            events_->Reset(kDemExitEvent);
            running_.store(false);
            events_->Set(kDemEndedEvent);
            break;
        }
        const std::uint32_t k = (which == kDemDataEvent0 || which == kDemFlushEvent0) ? 0 : 1;
        if (which == kDemFlushEvent0 || which == kDemFlushEvent1) events_->Reset(which);
        DemReportBlock& block = blocks_[k];
        if (channels_[k]->ReadInto(block) != 0 && callback_ && descriptorValid_[k]) {
            callback_(&block);
        }
    }
}

}  // namespace bbdev
