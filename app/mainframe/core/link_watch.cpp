#include "link_watch.h"

namespace mainframe {

LinkChange LinkWatch::Update(bool cardOpen, bool linkUp) {
    const LinkState before = state_;
    state_ = !cardOpen ? LinkState::NotOpen : linkUp ? LinkState::Up : LinkState::Down;
    if (before == LinkState::Up && state_ == LinkState::Down) {
        ++losses_;
        return LinkChange::Lost;
    }
    if (before == LinkState::Down && state_ == LinkState::Up) return LinkChange::Restored;
    return LinkChange::None;
}

const char* LinkStateWord(LinkState state) {
    switch (state) {
        case LinkState::Up:
            return "up";
        case LinkState::Down:
            return "down";
        case LinkState::NotOpen:
            break;
    }
    return "closed";
}

}  // namespace mainframe
