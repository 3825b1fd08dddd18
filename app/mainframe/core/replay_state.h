// The replay in progress as the frame keeps it: what the replay start chose
// and what the status view needs to show its progress, move it and start the
// card replay again from the same place. GUI thread.
#pragma once

#include <bbdevice/dem_file.h>

#include <cstdint>
#include <string>

namespace datapath {
class SoftwareReplayReader;
}

namespace mainframe {

struct ReplayState {
    std::string path;               // the replayed file
    ReplayInfo description{};       // its frame description (header bytes 704-1023)
    std::uint32_t dataOffset = 0;   // header length: where the records begin
    int kind = 0;                   // 1 software replay, 2 replay by the card
    std::uint64_t startRecord = 0;  // of the last start
    std::uint64_t recordCount = 0;
    double fileStartMs = 0;  // time of day of the first and the last record, ms
    double fileEndMs = 0;
    bool loop = false;  // start the card replay again at its end
    // The software replay's reader while kind 1 runs.
    datapath::SoftwareReplayReader* softwareReader = nullptr;
};

}  // namespace mainframe
