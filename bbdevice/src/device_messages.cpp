#include "device_messages.h"

#include <platform/notify.h>

namespace bbdev {

int ShowDeviceMessage(std::string_view text) {
    return plat::MessageBox(text, "bbdevice", plat::MB_OK | plat::MB_ICONERROR);
}

}  // namespace bbdev
