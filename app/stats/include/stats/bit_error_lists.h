// The exclusion list of the bit-error measurement and the builders behind
// the configuration dialog. The list holds 1-based byte numbers over the data
// bytes of one frame group (record headers not counted); channel c of a frame
// with B-byte words contributes the bytes B(c-1)+1 ... Bc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace stats {

// The most entries the list may hold.
inline constexpr std::size_t kExclusionCapacity = 262144;

inline constexpr const char* kStartAboveEndText = "起始波道大于结束波道！";
inline constexpr const char* kStartTooLowText = "起始波道下越界！";
inline constexpr const char* kStartTooHighText = "起始波道上越界！";
inline constexpr const char* kEndTooLowText = "结束波道下越界！";
inline constexpr const char* kEndTooHighText = "结束波道上越界！";
inline constexpr const char* kAllChannelsText = "不能剔除所有波道！";
inline constexpr const char* kManualOutOfRangeText = "手动设置的波道越界!";
inline constexpr const char* kNoChannelText = "未设置比对波道！";
inline constexpr const char* kSingleSubframeText = "当副帧长为1时不能自动推导！";
inline constexpr const char* kDeriveEmptyText = "您必须输入第一个子帧需要剔除的数据！";
inline constexpr const char* kDeriveTooLongText =
    "您输入第一个子帧需要剔除的数据超出了第一个子帧长";
inline constexpr const char* kListOverflowText = "剔除波道过多，超出误码比对剔除表容量（262144）！";
inline constexpr const char* kListIncompleteText =
    "误码统计剔除波道列表不完整，请重新设置误码统计参数！";

// What the lists are built for: W words per sub-frame, N sub-frames per
// frame, B bytes per word.
struct ChannelGeometry {
    std::uint32_t subframeWords = 0;
    std::uint32_t subframes = 0;
    std::uint32_t wordBytes = 0;
    std::uint64_t Channels() const { return std::uint64_t{subframeWords} * subframes; }
};

// A built list, or the message (UTF-8) that refused it.
struct ListResult {
    std::vector<int> bytes;
    std::string error;
    bool ok() const { return error.empty(); }
};

// Channels start...end. Every range message that applies, each ending "\n".
ListResult BuildRangeList(long long start, long long end, const ChannelGeometry& g);

// The manual text: channels separated by ",", blanks around items ignored,
// the empty item after a trailing comma is no item. Sorted, without repeats.
ListResult BuildManualList(std::string_view text, const ChannelGeometry& g);

// "自动推导": the channels entered for the first sub-frame repeated in every
// sub-frame s as "%d," of s*W + x, or the message that refused the text.
struct DeriveResult {
    std::string text;
    std::string error;
    bool ok() const { return error.empty(); }
};
DeriveResult DeriveFullFrameText(std::string_view firstSubframe, const ChannelGeometry& g);

// Sorts and removes repeats and entries below 1 (a list typed in by hand).
void NormaliseList(std::vector<int>& bytes);

}  // namespace stats
