#include "service_names.h"

#include <cstdio>

namespace svclink {

std::string SlotName(const char* suffix, std::uint32_t slot) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%s-%s-%02u", kLinkPrefix, suffix, slot);
    return buf;
}

}  // namespace svclink
