// The satellite-navigation frame search: picks a receiver's byte stream out
// of telemetry records, reassembles its messages, decodes the navigation
// solution and the channel data, converts the position to longitude,
// latitude and height and shows everything in a window of its own.
//
// Exports with C linkage; the program binds them by ordinal:
//   ordinal 1  SetTelemetryPar
//   ordinal 2  SetSelectRoads
//   ordinal 3  SearchMeasureData      (new protocol without receiver identifier)
//   ordinal 4  GetMeasureData
//   ordinal 5  ShowMeasureData
//   ordinal 6  GetTargetPositionData
//   ordinal 7  SearchMeasureData0     (new protocol with receiver identifier)
//   ordinal 8  SearchLX4_12GPSFram    (old protocol, 0x10 0xD7 / 0x10 0xE0)
//
// Layouts fixed by this library (the card engine's generator writes the same):
// - New-protocol frames: AA 55 11 BB, then with receiver identifier the type
//   at byte 4 and the payload length L (little-endian) at bytes 5-6, payload
//   from byte 7; without receiver identifier the type at byte 6, L at bytes
//   7-8, payload from byte 9. The 7 bytes after the payload are a tail that
//   is not checked. A length above 8178 (8176) is malformed and the parser
//   returns to idle.
// - Type 0 payload (binary solution), little-endian: 0 satellite count,
//   1 time-valid flag, 2-9 time of day in s (f64), 10-11 PDOP x 100,
//   12 status, 14/18/22 X/Y/Z (i32, 0.1 m), 26/30/34 Vx/Vy/Vz (i32,
//   0.001 m/s), satellite entries from byte 50, 5 bytes each.
// - The 500-byte navigation block of GetMeasureData: the 200-byte navigation
//   message buffer followed by the solution as doubles in this order: time of
//   day (s), X, Y, Z (m), Vx, Vy, Vz (m/s), PDOP, longitude, latitude (deg),
//   height (m); the rest is 0.
//
// All exports and the window's refresh take one lock. Null pointers make an
// export do nothing. No exception leaves the library.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define GNSSPICK_API __attribute__((visibility("default")))

// Record layout: header bytes H, data bytes D per record, records per frame
// N. Resets every parser and table. With H + D = 0 the searches do nothing.
GNSSPICK_API void SetTelemetryPar(uint16_t headerBytes, uint16_t dataBytes, uint16_t records);
// Four 1-based byte positions after the record header (0 = not used; a
// position beyond D is skipped). Resets every parser and table.
GNSSPICK_API void SetSelectRoads(const uint16_t* positions);
// The three searches over a block of whole records.
GNSSPICK_API void SearchMeasureData(const uint8_t* block, uint32_t length);
GNSSPICK_API void SearchMeasureData0(const uint8_t* block, uint32_t length);
GNSSPICK_API void SearchLX4_12GPSFram(const uint8_t* block, uint32_t length);
// Copies what is new and clears its flags: bit 0 the channel tables (65536
// bytes), bit 1 the binary solution (2048 bytes), bit 2 the navigation block
// (500 bytes).
GNSSPICK_API int32_t GetMeasureData(uint8_t* tables, uint8_t* solution, uint8_t* navigation);
// 5 shows the window (made on the first show, titled `title`, its close
// reported to `parent`, a QWidget*, with window message 1690); 0 hides it.
GNSSPICK_API void ShowMeasureData(int32_t command, const char* title, void* parent);
// Longitude (deg, east positive), latitude (deg), height (m) of a position
// that arrived since the last call; non-zero then. Otherwise 0 and the
// output is left as it was.
GNSSPICK_API int32_t GetTargetPositionData(double* position);

#ifdef __cplusplus
}
#endif
