// The card's engine link as the operator follows it: the status view and the
// headless run read BB_IsEngineLinkUp on every refresh and get one change when
// the link goes and one when it comes back, for the journal.
#pragma once

#include <cstdint>

namespace mainframe {

enum class LinkState { NotOpen, Up, Down };

enum class LinkChange { None, Lost, Restored };

// Journal lines of the two changes.
inline constexpr const char* kLinkLostText = "基带卡链路中断，等待基带卡重新连接";
inline constexpr const char* kLinkRestoredText = "基带卡链路恢复";
// What the card's values show while the link is down.
inline constexpr const char* kWaitingForCardText = "等待基带卡";

class LinkWatch {
public:
    // One reading: the card is open (its open has finished) and its link is
    // connected. Opening and closing the card are no link changes.
    LinkChange Update(bool cardOpen, bool linkUp);

    LinkState State() const { return state_; }
    // Times the link went down while the card was open.
    std::uint64_t Losses() const { return losses_; }

private:
    LinkState state_ = LinkState::NotOpen;
    std::uint64_t losses_ = 0;
};

// "up", "down" or "closed", for the headless status line.
const char* LinkStateWord(LinkState state);

}  // namespace mainframe
