// The program's side of the satellite-navigation search: which search entry
// a protocol version uses, the position that follows every search, and the
// checks of the pick-position dialog. Plain C++ over the search library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace gnssview {

// Title of the search window and of both show and hide calls.
inline constexpr const char* kSearchWindowTitle = "外测测量信息显示对话框";
inline constexpr int kShowCommand = 5;
inline constexpr int kHideCommand = 0;

enum class SearchEntry { Old, WithReceiverId, WithoutReceiverId };
// 0 the old protocol, 1 with receiver identifier, any other value without.
SearchEntry EntryForVersion(int version);
// Runs the version's search entry over one block.
void SearchBlock(int version, const std::uint8_t* data, std::size_t length);

// The target position after every search: nothing is sent before the first
// position arrives, then the latest one after every block (the packet has no
// freshness field; receivers expect the rate). Data-path thread only.
class PositionFeed {
public:
    // Fetches a new position from the library, if there is one.
    void FetchAfterSearch();
    // The 27-byte packet of the latest position; false before the first.
    bool Packet(std::uint8_t* out) const;
    bool HasPosition() const { return have_; }

private:
    double position_[3] = {0, 0, 0};
    bool have_ = false;
};

// The four "路序" fields of the dialog: whole numbers 0-65535 and at most the
// sub-frame's bytes. Empty on success (the values in `out`), else the text
// to show.
std::string CheckPickPositions(const std::array<std::string, 4>& fields, unsigned subframeBytes,
                               std::array<std::uint16_t, 4>& out);

}  // namespace gnssview
