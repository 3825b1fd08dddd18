#include "engine_unit.h"

#include <cstdio>
#include <cstring>

#include "card_device.h"
#include "device_messages.h"

namespace bbdev {

CEngineUnit::CEngineUnit(CCardDevice& card, unsigned module)
    : card_(card), link_(card.link()), module_(module) {}

std::uint32_t CEngineUnit::errorCode() const {
    std::lock_guard lock(errorLock_);
    return errorCode_;
}

void CEngineUnit::ReportFailure(std::uint32_t code, const char* message) {
    char text[kErrorTextBytes];
    int n = std::snprintf(text, sizeof text, "错误代码：0x%.08X\n    %s", code, message);
    if (n < 0) n = 0;
    if (n > static_cast<int>(kErrorTextBytes) - 1) n = kErrorTextBytes - 1;
    {
        std::lock_guard lock(errorLock_);
        errorCode_ = code;
        std::memcpy(errorText_, text, n + 1);
        errorLength_ = static_cast<std::uint32_t>(n);
    }
    ShowDeviceMessage(text);
}

bool CEngineUnit::SendRaw(std::uint32_t command, const void* payload, std::size_t length) {
    return link_.Send(command, payload, length);
}

}  // namespace bbdev
