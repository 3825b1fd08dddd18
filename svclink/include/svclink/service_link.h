// The service link's exports: a client (user role) and the telemetry server
// (creator role) exchange data and parameters per service slot through one
// shared section and named events, or data in copy-data messages.
#pragma once

#include <cstdint>

#include "svclink/service_layout.h"

namespace svclink {
inline constexpr std::uint32_t kRoleCreator = 0;
inline constexpr std::uint32_t kRoleUser = 1;
}  // namespace svclink

extern "C" {

struct SvcCmdParam {
    std::uint32_t key;
    std::uint32_t length;
    const void* data;
};

// `services`: indices in words 0..7, their count in word 8. `serverPath` null
// for <module directory>/tmserverdir/tmserver. 1 once the server runs.
std::int32_t BB_InitService(const std::uint32_t* services, const char* serverPath);
// `window`: the caller's window (registered with plat::winmsg to receive
// copy-data and close messages). Nonzero on success.
std::int32_t BB_OpenService(std::uint32_t service, void* window, svclink::ServiceRecord* record,
                            std::uint32_t role);
std::int32_t BB_CloseService(std::uint32_t service, std::uint32_t role);
std::int32_t BB_SendShareData(std::uint32_t service, const void* data, std::uint32_t length,
                              const std::uint32_t* description);
std::int32_t BB_SendCmdParam(std::uint32_t service, const SvcCmdParam* param);
std::int32_t BB_SetTlmtyServiceParam(std::uint32_t service, const void* param160);
std::int32_t BB_SetSaveDemDataParam(std::uint32_t service, const void* param32);
// Fills the first 84 bytes of a service record (description, data pointer,
// length) from a received copy-data structure of this service.
std::int32_t BB_GetShareDataInfo(std::uint32_t service, void* info,
                                 const svclink::CopyDataStruct* copyData);
std::int32_t BB_GetLastErrorS(std::uint32_t service, std::uint32_t* first, std::uint32_t* second);

}  // extern "C"

namespace svclink {

// Closes like BB_CloseService but sends the peer no close request; for a
// server that reopens a service its client has left.
std::int32_t CloseServiceQuietly(std::uint32_t service, std::uint32_t role);

// Sends like BB_SendShareData, in copy-data messages when `copyData` is
// set and through the ring otherwise, whatever mode the service was opened
// with; for a server that answers in the mode a block came in.
std::int32_t SendShareDataAs(std::uint32_t service, const void* data, std::uint32_t length,
                             const std::uint32_t* description, bool copyData);

// The peer's header of an open service (read it with ReadKey), valid until
// the service closes; null when the slot is not open.
const std::uint8_t* PeerHeader(std::uint32_t service);

// Spans the reader of an open service dropped so far (bytes lost by falling
// behind or by being lapped); 0 when the slot is not open.
std::uint64_t LostBytes(std::uint32_t service);

}  // namespace svclink
