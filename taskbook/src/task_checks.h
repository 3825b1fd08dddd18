// Checks of the task-macro dialog's pages, free of any window: each function
// takes one page's values and returns the message of the first rule they
// break, or nothing when the page may be saved. Numbers come as the parsed
// text of their field; a field whose text is not a whole number (blank, text,
// overflow) is empty and fails its range rule.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace taskbook {

using Number = std::optional<std::int64_t>;
using Real = std::optional<double>;
using Refusal = std::optional<std::string>;

// The texts a record can keep: a task name is stored in 255 UTF-8 bytes.
inline constexpr std::size_t kMaxTaskNameBytes = 255;
inline constexpr std::size_t kMaxDescriptionChars = 512;

// ---- field parsers (dialog texts come from the operator)

// "%d-%d-%d" with a real calendar date; "2026-02-30" fails.
struct Date {
    int year = 0, month = 0, day = 0;
};
std::optional<Date> ParseTaskDate(std::string_view text);
// " %H:%M:%S" (blanks before allowed), 00:00:00 .. 23:59:59.
struct TimeOfDay {
    int hour = 0, minute = 0, second = 0;
};
std::optional<TimeOfDay> ParseTaskTime(std::string_view text);

// A channel list typed by the operator: decimal numbers from 1 up, each
// followed by a comma (the last comma may be left out). Empty items, blanks,
// signs and numbers above `maxChannel` make it malformed. An empty text is an
// empty list.
std::optional<std::vector<int>> ParseChannelEntry(std::string_view text, std::int64_t maxChannel);

// "%d," per channel; with more than `keep` channels the list is shown as the
// first `keep` channels followed by "...%d," with the last one.
std::string ShowChannelList(std::span<const int> channels, std::size_t keep = 32);

// Pseudo-random code file: one code group per line of '0'/'1' characters,
// blanks and tabs ignored, empty lines skipped. A byte outside these, or a
// line longer than kMaxCodeLine, makes the file unusable.
inline constexpr std::size_t kMaxCodeLine = 65536;
inline constexpr std::size_t kMaxCodeFile = 8u << 20;
struct CodeFile {
    std::vector<std::vector<std::uint8_t>> groups;  // bits, one vector per line
    std::size_t totalBits = 0;
};
std::optional<CodeFile> ParseCodeFile(std::string_view bytes);
// Checks a parsed file against the chosen code length; `path` ends the
// message. Nothing when every group holds `needBits` bits.
Refusal CheckCodeFile(const std::optional<CodeFile>& file, std::size_t needBits,
                      const std::string& path);
// Bits of a code of length label index 0..7 (15, 31 .. 2047).
std::size_t CodeLengthBits(std::uint32_t index);
// Reads and checks a code file; on success `stored` holds its groups as the
// store keeps them: '0'/'1' digits, groups separated by commas.
Refusal LoadCodeFile(const std::string& path, std::size_t needBits, std::string& stored);
// On saving: a loaded code (as stored) must match the set code length.
// `message` is the text for a mismatch.
Refusal CheckLoadedCode(std::string_view stored, std::uint32_t lengthIndex, const char* message);

// ---- task information page

struct TaskInfoValues {
    std::string name;
    std::string originalName;  // the name the task had when loaded; empty for a new task
    const std::vector<std::string>* existingNames = nullptr;  // null: the list could not be read
    std::string date;                                         // "%d-%d-%d"
    std::string time;                                         // " %H:%M:%S"
    std::string description;
};
Refusal CheckTaskInfo(const TaskInfoValues& v);

// ---- demodulator and simulator pages

enum class FrameUnit { Demodulator, Simulator };

struct FrameValues {
    Number codeRate, wordBits, subframe, superframe;
    std::uint32_t superType = 0;  // 0 none, 1 complement, 2 ID, 3 cyclic
    std::string syncCode;         // hexadecimal text
    Number syncBits, syncPos;
    Number superPos;
    std::string superSync;  // hexadecimal identifying word of a cyclic super-frame
    // Simulator only.
    Number signalInit, stepIncrement, sineStep;
    bool counterHighOn = false, counterLowOn = false, sineOn = false;
    Number counterHighPos, counterLowPos, sinePos;
    // Decryption / encryption.
    bool cipherOn = false;
    std::uint32_t keyLength = 0;  // 0 = 128 bit, 1 = 184 bit
    Number period, startFrame, counterPos;
    std::string keyChannels, encryptedChannels;
};

// The sub-frame words (1-based, inclusive) the frame-sync code covers:
// ceil(min(bits, 64) / word bits) words from 帧同步码位置 (0 also meaning the
// first word), moved back to end at the last word when it would overrun.
struct WordSpan {
    std::uint32_t first = 1, last = 1;
    bool Contains(std::int64_t pos) const { return pos >= first && pos <= last; }
};
WordSpan SyncWords(std::uint32_t wordBits, std::uint32_t subframe, std::uint32_t syncBits,
                   std::uint32_t syncPos);

Refusal CheckFrame(FrameUnit unit, const FrameValues& v);

// Key-channel entry: the channels of the key dialog, against the frame.
Refusal CheckKeyChannels(const FrameValues& v, std::span<const int> keys,
                         std::span<const int> encrypted);

// "密钥位置-自动推算": the key needs key bits / word bits channels; they are
// the first positions from the first entered key channel on, within the
// encryption period (period × sub-frame words), that are not among the
// non-encrypted channels.
Refusal CheckKeyDerivation(const FrameValues& v, std::string_view nonEncrypted);
std::vector<int> DeriveKeyChannels(const FrameValues& v, std::span<const int> nonEncrypted);
std::size_t KeyChannelCount(std::uint32_t wordBits, std::uint32_t keyLength);

// "推算↓": the encrypted channels are every word of the sub-frame that is
// neither a non-encrypted channel nor a key channel.
Refusal CheckNonEncrypted(const FrameValues& v, std::span<const int> nonEncrypted,
                          bool withinPeriod);
std::vector<int> DeriveEncrypted(std::uint32_t subframe, std::span<const int> nonEncrypted,
                                 std::span<const int> keys);

// ---- emulator channel

struct EmulatorValues {
    std::uint32_t modulation = 1;  // 关闭 0, PCM-FM 1, BPSK 2, QPSK 3, CDMA-BPSK 4, CDMA-QPSK 5
    std::uint32_t superType = 0;   // 0 none, 1 complement, 2 ID
    Number codeRate, deviationKHz, wordBits, subframe;
    Number idPos, superPos, counterHighPos, counterLowPos, sinePos;
    bool counterHighOn = false, counterLowOn = false, sineOn = false;
    Number signalInit, stepIncrement;
    Real carrierMHz;
};
inline constexpr std::int64_t kCdmaMinRate = 100, kCdmaMaxRate = 100000;
Refusal CheckEmulator(const EmulatorValues& v);

// ---- frequencies, antenna, safety control, time code

// 2200.00 .. 2400.50 MHz in 0.25 MHz steps.
Refusal CheckDownConverterFrequency(Real mhz);
Refusal CheckEmulatorCarrier(Real mhz);
// 2200.0 .. 2400.0 MHz in 0.1 MHz steps.
Refusal CheckReceiverFrequency(Real mhz);
Refusal CheckAntennaFrequency(Real mhz);
// One of 0.5, 1, 2, 4 MHz.
Refusal CheckAntennaBandwidth(Real mhz);
// Subcarrier and code rate in kbit/s.
Refusal CheckSafetySubcarrier(Real subcarrierKbps, double codeRateKbps);
// 参考门限 0 .. 65535, 参考波道 0 .. 13702.
Refusal CheckTimeCode(Number referenceChannel, Number referenceThreshold);

// Apply code of the tree's ticked branches (bit 0..2 streams, 3 emulator,
// 4, 5 safety-control terminals); 0 for a set without a code.
int TreeApplyCode(unsigned bits);

}  // namespace taskbook
