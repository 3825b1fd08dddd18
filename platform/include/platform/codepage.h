// Conversion between UTF-8 (inside the process) and GBK (files on disk).
// A character that cannot be converted becomes '?'; the rest of the text is
// always kept.
#pragma once

#include <string>
#include <string_view>

namespace plat {

std::string Utf8ToGbk(std::string_view utf8);
std::string GbkToUtf8(std::string_view gbk);

}  // namespace plat
