#include "gnssview/gnss_view.h"

#include <gnsspick/gnsspick.h>
#include <netout/packet_format.h>

#include <cstdio>
#include <cstdlib>

namespace gnssview {

SearchEntry EntryForVersion(int version) {
    if (version == 0) return SearchEntry::Old;
    if (version == 1) return SearchEntry::WithReceiverId;
    return SearchEntry::WithoutReceiverId;
}

void SearchBlock(int version, const std::uint8_t* data, std::size_t length) {
    // The library takes 32-bit lengths; blocks never come near that.
    const auto n = static_cast<std::uint32_t>(length > 0xFFFFFFFFu ? 0xFFFFFFFFu : length);
    switch (EntryForVersion(version)) {
        case SearchEntry::Old:
            SearchLX4_12GPSFram(data, n);
            break;
        case SearchEntry::WithReceiverId:
            SearchMeasureData0(data, n);
            break;
        case SearchEntry::WithoutReceiverId:
            SearchMeasureData(data, n);
            break;
    }
}

void PositionFeed::FetchAfterSearch() {
    double p[3];
    if (GetTargetPositionData(p)) {
        position_[0] = p[0];
        position_[1] = p[1];
        position_[2] = p[2];
        have_ = true;
    }
}

bool PositionFeed::Packet(std::uint8_t* out) const {
    if (!have_) return false;
    netout::BuildGnssPacket(out, position_[0], position_[1], position_[2]);
    return true;
}

std::string CheckPickPositions(const std::array<std::string, 4>& fields, unsigned subframeBytes,
                               std::array<std::uint16_t, 4>& out) {
    std::array<std::uint16_t, 4> v{};
    for (std::size_t i = 0; i < 4; ++i) {
        const std::string& t = fields[i];
        char* end = nullptr;
        const unsigned long long n = std::strtoull(t.c_str(), &end, 10);
        const bool digits = !t.empty() && t.find_first_not_of("0123456789") == std::string::npos;
        if (!digits || *end != '\0' || n > 65535) return "路序必须是0到65535之间的整数！";
        if (n > subframeBytes) {
            char text[96];
            std::snprintf(text, sizeof text, "路序超出子帧字节数（%u）！", subframeBytes);
            return text;
        }
        v[i] = static_cast<std::uint16_t>(n);
    }
    out = v;
    return {};
}

}  // namespace gnssview
