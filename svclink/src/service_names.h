// Names of the service link's shared objects.
#pragma once

#include <cstdint>
#include <string>

namespace svclink {

inline constexpr const char* kLinkPrefix = "{B064E0BE-C996-4341-A6A7-CE8AF3AAA05D}";
inline constexpr const char* kServerExitName = "{B064E0BE-C996-4341-A6A7-CE8AF3AAA05D}-SERVEREXIT";
inline constexpr const char* kShareEnableName =
    "{A937D1DA-1195-4c5b-AA42-B2E3DD2D43CF}-SHAREENABLE";
// Held by a running tmserver; the exit event alone proves nothing, since the
// device library creates it at every card open.
inline constexpr const char* kServerAliveName =
    "{B064E0BE-C996-4341-A6A7-CE8AF3AAA05D}-SERVERALIVE";

// "%s-%02d" of the prefix with `suffix` and the slot.
std::string SlotName(const char* suffix, std::uint32_t slot);

}  // namespace svclink
