#include "device_table.h"

#include <sys/socket.h>
#include <unistd.h>

#include "device_messages.h"

namespace bbdev {

DeviceTable::DeviceTable() {
    for (auto& code : slotErrorCode) code = 0xFFFFFFFF;
    // The socket layer is usable when a socket can be made.
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s >= 0) {
        ::close(s);
        cardsInSystem.store(1);
    } else {
        ShowDeviceMessage("网络通信初始化失败，系统中没有可用的数字基带卡！");
    }
}

DeviceTable& Devices() {
    static DeviceTable* table = new DeviceTable;
    return *table;
}

std::shared_ptr<CCardDevice> FindOpenCard(std::uint32_t card) {
    DeviceTable& t = Devices();
    if (card >= t.cardsOpen.load() || card >= kCardSlots) return nullptr;
    std::lock_guard lock(t.lock);
    return t.card[card];
}

namespace {
// Library start-up: the table exists as soon as the library is loaded.
[[maybe_unused]] const DeviceTable& g_startup = Devices();
}  // namespace

}  // namespace bbdev
