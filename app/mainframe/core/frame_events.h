// The five named auto-reset events the frame creates at start-up and closes
// at exit. The replay-feed thread waits on the first two.
#pragma once

#include <platform/kernel_objects.h>

#include <array>
#include <memory>
#include <string>

namespace mainframe {

inline constexpr const char* kExitNewThreadEvent = "ExitNewThreadEvent";
inline constexpr const char* kReplayTickEvent = "jiemiqian";
inline constexpr std::array<const char*, 5> kFrameEventNames{
    kExitNewThreadEvent, kReplayTickEvent, "jiemihou", "jiemiqian_ying", "jiemihou_ying"};

class FrameEvents {
public:
    // Auto-reset, not signalled. False when any of them could not be made.
    // A prefix keeps the events of a test apart from a running program's.
    bool Create(const std::string& prefix = {});
    void Close();

    plat::NamedEvent* ExitNewThread() { return events_[0].get(); }
    plat::NamedEvent* ReplayTick() { return events_[1].get(); }
    plat::NamedEvent* Get(std::size_t i) { return events_[i].get(); }

private:
    std::array<std::unique_ptr<plat::NamedEvent>, 5> events_;
};

}  // namespace mainframe
