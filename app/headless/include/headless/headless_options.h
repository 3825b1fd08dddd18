// The command line of the program's headless run: the same core as the
// window, no display, a status line a second on standard output.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace headless {

struct HeadlessOptions {
    std::string engine;        // "host:port" for TALVORA_ENGINE, "" when not given
    std::string home;          // module directory override, "" when not given
    std::string task;          // task of the store to run, "" for the default task
    int quitAfterSeconds = 0;  // 0: run until SIGINT or SIGTERM
    bool help = false;
};

struct OptionsResult {
    std::optional<HeadlessOptions> options;
    std::string error;  // set when options is empty
};

// True when args (without the program name) hold --headless, or when the
// environment value of TALVORA_HEADLESS (null when unset) is "1".
bool HeadlessRequested(const std::vector<std::string>& args, const char* envValue);

// args excludes the program name; --headless itself is accepted and ignored.
OptionsResult ParseHeadlessOptions(const std::vector<std::string>& args);
std::string HeadlessUsage();

// False when `path` exists but cannot be read as a file (a folder, no read
// permission); a missing file is fine, its keys take their defaults.
bool ConfigFileReadable(const std::string& path);

}  // namespace headless
