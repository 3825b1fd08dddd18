// The stream description file "ycstream.txt": a line file that describes the
// frame structure in place of the database tables.
#pragma once

#include <string_view>
#include <variant>
#include <vector>

#include "param_model.h"

namespace prefs {

inline constexpr std::size_t kMaxStreamLineChars = 2000;

struct StreamDescription {
    std::int64_t timeCodeWidth = 0, subframeLen = 0, bitRate = 0;
    double subframePeriod = 0;
    std::int64_t syncBytes = 0;
    std::string syncCode;
    std::int64_t superframeLen = 0;
    double superframePeriod = 0;
    std::int64_t superSyncLen = 0;
    std::string superSyncCode;
    std::array<std::int64_t, kSuperframeColumns> superColumns{};
    std::vector<SpecialDescription> specials;
};

struct StreamMalformed {
    int line;  // 1-based line of the file
};

// Parses the whole file text.
std::variant<StreamDescription, StreamMalformed> ParseStreamDescription(std::string_view text);

}  // namespace prefs
