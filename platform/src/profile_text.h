// Profile-file text handling on the raw GBK bytes, separate from file access
// so that it can be tested and fuzzed directly.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat::profile_detail {

struct ProfileLine {
    enum class Kind { Other, Section, Key };
    Kind kind = Kind::Other;
    std::size_t begin = 0;       // first byte of the line
    std::size_t contentEnd = 0;  // before the line break
    std::size_t end = 0;         // after the line break
    std::string_view name;       // section or key name, blanks trimmed
    std::string_view value;      // key value, blanks and quotes stripped
};

// Splits GBK text into lines and classifies them. Double-byte characters are
// stepped over as a whole, so a trail byte never reads as ']' or a letter.
std::vector<ProfileLine> ParseProfile(std::string_view text);

// ASCII case-insensitive comparison that leaves double-byte characters alone.
bool NamesEqual(std::string_view a, std::string_view b);

// The value of key in section (first match of each), or nullopt.
std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key);

// The text with key in section set to value; section and key are appended
// when missing, every other line is kept byte for byte. The value must not
// contain a line break.
std::string SetValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value);

// The longest prefix of at most maxBytes that does not split a character.
std::string_view CutGbk(std::string_view text, std::size_t maxBytes);

// Leading decimal digits with an optional sign; wraps to 32 bits; 0 when the
// text does not start with a number.
int ParseProfileInt(std::string_view text);

}  // namespace plat::profile_detail
