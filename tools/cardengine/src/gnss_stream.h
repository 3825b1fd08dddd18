// A satellite-navigation receiver's byte stream carried in the minor
// frames: once a second (on the frame clock) a navigation message and a
// channel message of the chosen protocol, for a fixed position, spread over
// given bytes of successive minor frames; idle bytes are 0x00.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace cardengine {

enum class GnssProtocol { Off, Old, WithReceiverId, WithoutReceiverId };

struct GnssStreamOptions {
    GnssProtocol protocol = GnssProtocol::Off;
    std::array<std::uint16_t, 4> positions{10, 11, 12, 13};  // 1-based bytes after the tag
    double latitude = 40.0, longitude = 116.4, height = 50.0;
};

extern const char kGnssUsage[];
// --gnss, --gnss-bytes, --gnss-position; true when arg is one of them (ok
// tells if the value was good).
bool ParseGnssOption(std::string_view arg, const char* value, GnssStreamOptions& o, bool& ok);

// Exact WGS-84 geodetic to earth-centred earth-fixed conversion.
void GeodeticToEcef(double latDeg, double lonDeg, double h, double& x, double& y, double& z);

// The messages of one second, as they go on the wire.
std::vector<std::uint8_t> GnssSecondMessages(const GnssStreamOptions& o, double dayUs);

class GnssStream {
public:
    void Configure(const GnssStreamOptions& o);
    bool On() const { return o_.protocol != GnssProtocol::Off; }
    // Writes the stream's next bytes into one minor frame's words (`bytes`
    // long) at the positions; `us` is the frame's card time.
    void Fill(std::uint8_t* words, std::size_t bytes, double us);

private:
    GnssStreamOptions o_;
    std::vector<std::uint8_t> queue_;
    std::size_t at_ = 0;
    long long second_ = -1;
};

}  // namespace cardengine
