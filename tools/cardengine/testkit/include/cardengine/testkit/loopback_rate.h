// Reference figures for the throughput benchmarks: how fast plain sockets move
// bytes over loopback on this machine, measured in the same run.
#pragma once

#include <cstddef>

namespace cardengine::testkit {

// Reads socket `s` into a buffer of `readBytes` for `seconds` after a 300 ms
// warm-up; MB/s.
double ReceiveRate(int s, double seconds, std::size_t readBytes);

// One thread writes `writeBytes` at a time into a loopback TCP socket, the
// caller's thread reads with ReceiveRate; MB/s.
double LoopbackCopyRate(double seconds, std::size_t writeBytes, std::size_t readBytes);

}  // namespace cardengine::testkit
