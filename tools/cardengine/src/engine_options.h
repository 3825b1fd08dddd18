// Command line of cardengine.
#pragma once

#include <cstdint>
#include <string>

#include "dem_frame_options.h"

namespace cardengine {

struct Options {
    std::string host = "127.0.0.1";
    std::uint16_t port = 10001;
    std::string logPath;  // one line per received message, flushed at once

    unsigned heartbeatMs = 200;        // heartbeat period
    double heartbeatStopAfter = -1;    // seconds after each accept; < 0: never
    double closeAfterSeconds = -1;     // seconds after each accept; < 0: never
    long long closeAfterBytes = -1;    // bytes sent on each connection; < 0: never
    std::size_t garbageBytes = 0;      // garbage written before every message
    std::size_t splitBytes = 0;        // largest single write; 0: whole messages
    unsigned splitPauseUs = 200;       // pause between the pieces of a split message
    bool acknowledge = true;           // answer every command with operation 2
    bool answerOpen = true;            // send the card function information when asked
    unsigned functionInfoDelayMs = 0;  // delay of that answer
    unsigned statusMs = 100;           // period of status, time and statistics reports
    std::size_t floodBytes = 0;        // payload of data messages sent at full speed; 0: off
    double quitAfter = -1;             // seconds; < 0: run until signalled
    DemFrameOptions dem;               // demodulator frame generator
    unsigned spectrumMs = 100;         // period of the spectrum modules' blocks; 0: off
    double snrDb = 20;                 // signal-to-noise ratio of the simulated signal

    // Demodulator lock words reported: bit 0 carrier, 1 bit sync, 2 sub-frame
    // sync, 3 superframe sync.
    unsigned demLockMask = 15;
    // All lock words 0 from At to At + For seconds after each demodulator
    // record; At < 0: never.
    double demLockLossAt = -1;
    double demLockLossFor = 0;
};

// Fills `options` from argv; on error or --help prints usage and returns false.
bool ParseOptions(int argc, char** argv, Options& options, int& exitCode);

}  // namespace cardengine
