#include <headless/headless_main.h>
#include <headless/headless_options.h>

#include <cstdio>
#include <cstdlib>

#include "command_line.h"
#include "telemetry_app.h"

int main(int argc, char** argv) {
    // The headless run never creates the application object, so it needs no
    // display server.
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    if (headless::HeadlessRequested(args, std::getenv("TALVORA_HEADLESS")))
        return headless::HeadlessMain(argc, argv);
    // Help, version and a bad command line are answered before the window
    // system is touched, so they work without a display.
    const mainframe::CommandLineResult parsed = mainframe::ParseCommandLine(args);
    if (!parsed.line) {
        std::fprintf(stderr, "Talvora: %s\n%s", parsed.error.c_str(),
                     mainframe::CommandLineUsage().c_str());
        return 2;
    }
    if (parsed.line->help || parsed.line->version) {
        std::fputs(parsed.line->help ? mainframe::CommandLineUsage().c_str()
                                     : mainframe::VersionText().c_str(),
                   stdout);
        return 0;
    }
    CTelemetryApp app(argc, argv);
    int exitCode = 0;
    if (!app.InitInstance(&exitCode)) return exitCode;
    // The frame's exit sequence ends the loop with 0. The process then ends
    // itself, never another process of the same name.
    return app.exec();
}
