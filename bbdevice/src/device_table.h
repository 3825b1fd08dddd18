// The process-wide device table: which card slots hold a card object, which
// are open, and the error store of slots without a card object.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace bbdev {

class CCardDevice;

inline constexpr std::uint32_t kCardSlots = 8;
inline constexpr std::size_t kSlotErrorTextBytes = 2048;

struct DeviceTable {
    std::atomic<std::uint32_t> cardsInSystem{0};
    std::atomic<std::uint32_t> cardsOpen{0};

    // Slots are shared pointers so that a call still working on a card keeps
    // it alive while another thread closes it.
    std::mutex lock;
    std::shared_ptr<CCardDevice> card[kCardSlots];             // guarded by lock
    std::uint32_t opened[kCardSlots] = {};                     // guarded by lock
    std::uint32_t slotErrorCode[kCardSlots];                   // guarded by lock
    char slotErrorText[kCardSlots][kSlotErrorTextBytes] = {};  // guarded by lock

    DeviceTable();
};

// The table, set up when the library is loaded; never destroyed, so that
// threads of a card still open at process exit find it intact.
DeviceTable& Devices();

// The card object of an open slot: null unless card < cardsOpen and the slot
// holds one (the rule of every per-card export).
std::shared_ptr<CCardDevice> FindOpenCard(std::uint32_t card);

}  // namespace bbdev
