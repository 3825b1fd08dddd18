// The multicast service the program sends its GNSS position packets through:
// three flat calls, exported with C linkage. The program binds them by
// ordinal:
//   ordinal 1  McastOpen
//   ordinal 2  McastSend
//   ordinal 3  McastClose
// The sending interface comes from the environment variable MCASTLIB_IF (a
// dotted IPv4 address; unset or empty leaves the choice to the kernel's
// route), the time-to-live from MCASTLIB_TTL (1 when unset or invalid). Both
// are read at each open.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Opens the service for `group` (dotted IPv4 in 224.0.0.0-239.255.255.255)
// and `port` (1-65535), closing an earlier open first. Non-zero when ready;
// 0 for a group that is not a multicast IPv4 address, a port out of range,
// a bad MCASTLIB_IF or a socket failure.
__attribute__((visibility("default"))) int32_t McastOpen(const char* group, int32_t port);

// Sends `length` bytes at `data` as one UDP datagram to the group. The number
// of bytes sent, or 0 when the service is closed, the arguments are invalid
// or the send failed.
__attribute__((visibility("default"))) int32_t McastSend(const void* data, int32_t length);

// Closes the service. Safe when it is not open and while another thread
// sends: the send either completes before the close or finds it closed.
__attribute__((visibility("default"))) void McastClose(void);

#ifdef __cplusplus
}
#endif
