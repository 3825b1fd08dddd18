// The BB_ interface of the device access library. Every export takes a card
// index first (only card 0 exists) and returns nonzero for success. Records
// are owned by the caller; the library copies what it needs.
#pragma once

#include <bbdevice/dem_file.h>
#include <bbdevice/dem_report.h>
#include <bbdevice/dev_records.h>

#include <cstdint>
#include <string>

// Card function information: 512 bytes sent by the card once per connection,
// passed on uninterpreted.
struct CardFunctionInfo {
    std::uint32_t words[128];
};
static_assert(sizeof(CardFunctionInfo) == 512);

inline constexpr std::uint32_t BB_UNIT_STATUS_WORDS = 12;

extern "C" {

// Device table.
std::uint32_t BB_GetBandCaseSumInSystem();
std::uint32_t BB_GetActiveBandCaseSumInApp();

// Opening and closing a card.
std::int32_t BB_OpenDevice(std::uint32_t card, DemDataCallback callback, std::uint32_t userValue,
                           CardFunctionInfo* info);
std::int32_t BB_CloseDevice(std::uint32_t card);
std::int32_t BB_GetLastError(std::uint32_t card, char* text, std::uint32_t size,
                             std::uint32_t* code);
std::int32_t BB_GetCardFunctionInfo(std::uint32_t card, CardFunctionInfo* info);
std::int32_t BB_ParseCardFunctionInfo(std::uint32_t card, char* text, std::uint32_t size);
std::int32_t BB_GetDeviceUnitStatus(std::uint32_t card, std::uint32_t status[BB_UNIT_STATUS_WORDS]);
// 1 while the card is open and its link to the engine is connected, 0 while
// the link is down (the watchdog is reconnecting) or the card is not open.
// The records kept from before a loss (status, time) are not refreshed then.
std::int32_t BB_IsEngineLinkUp(std::uint32_t card);

// Default records (the whole record is cleared first).
std::int32_t BB_GetDefaultDemParam(std::uint32_t card, DemParam* param);
std::int32_t BB_GetDefaultSimParam(std::uint32_t card, SimParam* param);
std::int32_t BB_GetDefaultTimeSystemParam(std::uint32_t card, TimeSystemParam* param);
std::int32_t BB_GetDefaultDecipherParam(std::uint32_t card, std::uint32_t unit,
                                        DecipherParam* param);

// Settings sent to the card. BB_SetDemParam sets 配时密度 to 1 in the
// caller's record before sending it.
std::int32_t BB_SetDemParam(std::uint32_t card, DemParam* param);
std::int32_t BB_SetSimParam(std::uint32_t card, const SimParam* param);
std::int32_t BB_SetDecipherParam(std::uint32_t card, std::uint32_t unit,
                                 const DecipherParam* param);
std::int32_t BB_SetTimeSystemBasicParam(std::uint32_t card, const TimeSystemBasicParam* param);
std::int32_t BB_SetTimeSystemFlyParam(std::uint32_t card, const TimeSystemFlyParam* param);
std::int32_t BB_SetTimeSystemFlyEnable(std::uint32_t card, std::uint32_t enable);
std::int32_t BB_SetTimeSystemHandFly(std::uint32_t card, std::uint32_t value);
std::int32_t BB_SetFrameStatParam(std::uint32_t card, std::uint32_t unit,
                                  const FrameStatParam* param);
// cmd 0 stops, 1 starts, 2 is passed on; others are refused.
std::int32_t BB_FrameStatCmd(std::uint32_t card, std::uint32_t unit, std::uint32_t cmd);

// The card's last reported state.
std::int32_t BB_GetDemStatus(std::uint32_t card, std::uint32_t half, DemStatus* status);
std::int32_t BB_GetTimeSystemTime(std::uint32_t card, TimeSystemTime* time, std::uint32_t which);
std::int32_t BB_GetTimeSystemFlyInfo(std::uint32_t card, TimeSystemFlyInfo* info);
std::int32_t BB_GetGnssStatusInfo(std::uint32_t card, GnssStatusInfo* info);
std::int32_t BB_GetGnssPosTimeInfo(std::uint32_t card, GnssPosTimeInfo* info);
// Returns the running flag; only while running the ratio B / A is computed
// and bytes 0-23 and 32-39 of `state` are written.
std::int32_t BB_GetStatState(std::uint32_t card, std::uint32_t unit, FrameStatState* state);

// Spectrum units 0..3 (false for a unit above 3 or one that is not enabled,
// nothing written then). Plot data: 72 attribute words and 264 spectrum
// words as the card sent them, word 64 replaced by status word 10 of the
// unit's demodulator status half for units 0, 1 and 3.
inline constexpr std::uint32_t BB_SPECTRUM_PLOT_WORDS = 336;
inline constexpr std::uint32_t BB_SPECTRUM_INNATE_WORDS = 12;
inline constexpr std::uint32_t BB_VECTOR_PLOT_WORDS = 8202;
std::int32_t BB_GetSpectrumPlotData(std::uint32_t card, std::uint32_t unit,
                                    std::uint32_t data[BB_SPECTRUM_PLOT_WORDS]);
// f64 lower and upper edge (carrier -/+ 20 MHz), u32 block size and unit
// type, f64 500,000.0, f64 0, two zero words.
std::int32_t BB_GetSpectrumInnateAttrib(std::uint32_t card, std::uint32_t unit,
                                        std::uint32_t attrib[BB_SPECTRUM_INNATE_WORDS]);
// Clears the unit's accumulated spectrum; the unit's enabled flag.
std::int32_t BB_ResetAmassResult(std::uint32_t card, std::uint32_t unit);
// Unit 3's vector block whatever the unit given; its enabled flag.
std::int32_t BB_GetVectorPlotData(std::uint32_t card, std::uint32_t unit,
                                  std::uint32_t data[BB_VECTOR_PLOT_WORDS]);
// Accepted and without effect: always 0.
std::int32_t BB_SetReadSignalElapse(std::uint32_t card, std::uint32_t unit);
// Frequency-scan operations: no effect, always 0.
std::int32_t BB_StartupRadioSpan(std::uint32_t card, std::uint32_t value);
std::int32_t BB_GetRadioPlotData(std::uint32_t card, std::uint32_t value);
std::int32_t BB_StopRadioSpan(std::uint32_t card, std::uint32_t value1, std::uint32_t value2);

// Data acceptance of a channel (0 before decryption, any other value after);
// the channel is flushed first.
std::int32_t BB_ReportDemDataEnable(std::uint32_t card, std::uint32_t channel,
                                    std::uint32_t enable);
// Bytes of a channel's data lost on this card because the data
// callback fell more than the ring's capacity behind (the oldest are lost).
std::int32_t BB_GetDemLostBytes(std::uint32_t card, std::uint32_t channel, std::uint64_t* bytes);

// Conversions.
std::int32_t BB_TransCdmaTempPseudocode(std::uint8_t* out, std::uint32_t lengthIndex,
                                        const std::uint8_t* bits);
std::uint64_t StrToUint64(const char* text);
const char* TransSynCodeToString(std::string* out, std::uint32_t low, std::uint32_t high,
                                 std::uint32_t bits);

}  // extern "C"
