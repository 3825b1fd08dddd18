// Exports of the device interface frame: the device table, open and close,
// the error store and the card function information.
#include <bbdevice/bbdevice.h>

#include <cstring>

#include "card_device.h"
#include "device_table.h"
#include "export_guard.h"

using namespace bbdev;

namespace {

// How long a close waits for a cancelled open to take its link down.
constexpr unsigned kCancelOpenWaitMs = 5000;

void StoreSlotText(std::uint32_t card, const std::string& text) {
    if (text.empty() || text.size() > 2046) return;
    DeviceTable& t = Devices();
    std::lock_guard lock(t.lock);
    std::memcpy(t.slotErrorText[card], text.c_str(), text.size() + 1);
}

}  // namespace

extern "C" {

std::uint32_t BB_GetBandCaseSumInSystem() {
    return Devices().cardsInSystem.load();
}

std::uint32_t BB_GetActiveBandCaseSumInApp() {
    return Devices().cardsOpen.load();
}

std::int32_t BB_OpenDevice(std::uint32_t card, DemDataCallback callback, std::uint32_t userValue,
                           CardFunctionInfo* info) {
    return Guarded([&] {
        DeviceTable& t = Devices();
        if (!callback || card >= t.cardsInSystem.load() || card >= kCardSlots) return false;
        std::shared_ptr<CCardDevice> device;
        {
            std::lock_guard lock(t.lock);
            if (!t.card[card]) t.card[card] = std::make_shared<CCardDevice>(card);
            device = t.card[card];
        }
        // Settled before the open counts as finished, so that a close
        // cancelling it finds the slot as the open left it.
        auto settle = [&](bool opened) {
            std::lock_guard lock(t.lock);
            if (opened && !t.opened[card]) {
                // A second open of an open slot does not count the card twice.
                t.opened[card] = 1;
                t.cardsOpen.fetch_add(1);
            } else if (!opened && t.opened[card] && !device->connected()) {
                // A failed re-open took the link and the data path: the slot
                // is closed as a whole rather than left open without them.
                t.opened[card] = 0;
                t.cardsOpen.fetch_sub(1);
            }
        };
        std::string slotMessage;
        const bool result = device->Open(callback, userValue, info, &slotMessage, settle);
        StoreSlotText(card, slotMessage);
        return result;
    });
}

std::int32_t BB_CloseDevice(std::uint32_t card) {
    return Guarded([&] {
        DeviceTable& t = Devices();
        if (card >= kCardSlots) return false;
        std::shared_ptr<CCardDevice> opening;
        {
            std::lock_guard lock(t.lock);
            opening = t.card[card];
        }
        // An open waiting on another thread is cancelled; it fails and
        // leaves the slot closed.
        if (opening && opening->CancelOpen(kCancelOpenWaitMs)) return true;
        std::shared_ptr<CCardDevice> device = FindOpenCard(card);
        if (!device) return false;
        {
            std::lock_guard lock(t.lock);
            if (!t.opened[card]) return false;
        }
        if (!device->Close()) return false;
        std::lock_guard lock(t.lock);
        if (t.card[card] == device) t.card[card].reset();
        if (t.opened[card]) {
            t.opened[card] = 0;
            t.cardsOpen.fetch_sub(1);
        }
        return true;
    });
}

std::int32_t BB_GetLastError(std::uint32_t card, char* text, std::uint32_t size,
                             std::uint32_t* code) {
    return Guarded([&] {
        DeviceTable& t = Devices();
        if (card >= t.cardsInSystem.load() || card >= kCardSlots) {
            if (code) *code = 0xFFFFFFFE;
            return false;
        }
        std::shared_ptr<CCardDevice> device;
        {
            std::lock_guard lock(t.lock);
            device = t.card[card];
            if (!device) {
                const std::size_t length = std::strlen(t.slotErrorText[card]);
                if (!text || size <= length) {
                    if (code) *code = 0xFFFFFFFE;
                    return false;
                }
                std::memcpy(text, t.slotErrorText[card], length + 1);
                if (code) *code = t.slotErrorCode[card];
                return true;
            }
        }
        return device->CopyLastError(text, size, code);
    });
}

std::int32_t BB_GetCardFunctionInfo(std::uint32_t card, CardFunctionInfo* info) {
    return Guarded([&] {
        auto device = FindOpenCard(card);
        return device && device->GetFunctionInfo(info);
    });
}

std::int32_t BB_ParseCardFunctionInfo(std::uint32_t card, char* text, std::uint32_t size) {
    return Guarded([&] {
        auto device = FindOpenCard(card);
        return device && device->ParseInfo(text, size);
    });
}

std::int32_t BB_GetDeviceUnitStatus(std::uint32_t card,
                                    std::uint32_t status[BB_UNIT_STATUS_WORDS]) {
    return Guarded([&] {
        auto device = FindOpenCard(card);
        if (!device || !status) return false;
        device->GetUnitStatus(status);
        return true;
    });
}

std::int32_t BB_IsEngineLinkUp(std::uint32_t card) {
    return WithOpenCard(card, [](CCardDevice& d) { return d.connected(); });
}

}  // extern "C"
