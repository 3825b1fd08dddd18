// Display settings of one table window, kept in "TableParameter.ini" in the
// program's directory, one section per stream.
#pragma once

#include <string>

namespace rawgrid {

struct TableSettings {
    int nShowTbType = 1;           // 1 = time column shown, 0 = words only
    int nShowWfMode = 0;           // 0 = one subframe, 1 = the whole frame
    int nDataBitsLimit = 0;        // 1 = mask words to their bit count
    int nDataViewMode = 0;         // ViewMode
    double fConvertVoltage = 5.0;  // full scale of the voltage mode
};

// "TABLE_PARAMETER" for stream -1, "TABLE%d_PARAMETER" (stream + 1) otherwise.
std::string SettingsSection(int stream);

// <module directory>/TableParameter.ini
std::string SettingsFilePath();

// Missing keys give the defaults; values out of range are brought back to them.
TableSettings LoadTableSettings(const std::string& file, int stream);

// False when the file could not be written.
bool SaveTableSettings(const std::string& file, int stream, const TableSettings& s);

}  // namespace rawgrid
