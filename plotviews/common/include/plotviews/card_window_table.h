// The window table of a plot library: a slot per card, usable for the cards
// open now (at most eight). GUI thread only. A window that closes empties
// its slot, and a slot whose window is gone counts as empty, so no export
// reaches a window that no longer exists.
#pragma once

#include <bbdevice/bbdevice.h>

#include <QPointer>
#include <algorithm>
#include <cstdint>

template <class W>
class CCardWindowTable {
public:
    static constexpr std::uint32_t kSlots = 8;

    static std::uint32_t Usable() { return std::min(BB_GetActiveBandCaseSumInApp(), kSlots); }
    // The window of a usable card, or null.
    W* Get(std::uint32_t card) const {
        if (card >= Usable() || !slots_[card].created) return nullptr;
        return slots_[card].wnd.data();
    }
    // True when the card is usable and has no live window.
    bool Free(std::uint32_t card) const {
        return card < Usable() && !(slots_[card].created && slots_[card].wnd);
    }
    void Set(std::uint32_t card, W* w) {
        if (card >= kSlots) return;
        slots_[card].wnd = w;
        slots_[card].created = true;
    }
    // Empties the slot and hands back its window (null when it had none or
    // it is gone); false when the slot was not in use.
    bool Take(std::uint32_t card, QPointer<W>& was) {
        if (card >= kSlots || !slots_[card].created) return false;
        was = slots_[card].wnd;
        slots_[card] = Slot{};
        return true;
    }
    // Empties the slots that hold `w`, or a window that is gone.
    void Release(const W* w) {
        for (Slot& s : slots_)
            if (s.created && (s.wnd == w || s.wnd.isNull())) s = Slot{};
    }

private:
    struct Slot {
        QPointer<W> wnd;
        bool created = false;
    };
    Slot slots_[kSlots];
};
