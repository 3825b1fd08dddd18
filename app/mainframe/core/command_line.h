// The program's command line. Every value is checked before use; a bad or
// unknown argument gives an error text and the program does not start.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mainframe {

struct CommandLine {
    std::string engine;        // "host:port" for TALVORA_ENGINE, "" when not given
    std::string home;          // module directory override, "" when not given
    std::string snapshot;      // PNG file written before an unattended exit
    int quitAfterSeconds = 0;  // 0: run until the operator exits
    // Menu commands run 4 s after start, in order (unattended runs and
    // pictures of windows that have no start-up placement).
    std::vector<unsigned> commands;
    bool help = false;
    bool version = false;
};

inline constexpr int kMaxQuitAfterSeconds = 7 * 24 * 3600;
inline constexpr std::size_t kMaxStartCommands = 32;

struct CommandLineResult {
    std::optional<CommandLine> line;
    std::string error;  // set when line is empty
};

// args excludes the program name.
CommandLineResult ParseCommandLine(const std::vector<std::string>& args);

// "host:port" with a non-empty host of at most 253 characters and a port of
// 1..65535.
bool IsValidEngineAddress(const std::string& text);

std::string CommandLineUsage();
// "Talvora <version>" and a newline.
std::string VersionText();

}  // namespace mainframe
