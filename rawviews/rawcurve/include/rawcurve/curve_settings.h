// Settings of one curve window, kept in "CurverParameter.ini" in the
// program's directory, one section per stream.
#pragma once

#include <string>

namespace rawcurve {

inline constexpr int kChannels = 8;

struct CurverSettings {
    int channel[kChannels] = {1, 2, 3, 4, 5, 6, 7, 8};  // word position of curve k (1-based)
    int nShowWfMode = 0;     // 0 = positions within one subframe, 1 = through the frame
    int nDataBitsLimit = 0;  // 1 = values masked to the word's bit count
};

// "CURVER_PARAMETER" for stream -1, "CURVER%d_PARAMETER" (stream + 1) otherwise.
std::string CurverSection(int stream);

// <module directory>/CurverParameter.ini
std::string CurverSettingsPath();

// Missing keys and values that are not whole numbers give the defaults.
CurverSettings LoadCurverSettings(const std::string& file, int stream);

// False when the file could not be written.
bool SaveCurverSettings(const std::string& file, int stream, const CurverSettings& s);

}  // namespace rawcurve
