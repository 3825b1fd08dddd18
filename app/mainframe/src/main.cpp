#include <headless/headless_main.h>
#include <headless/headless_options.h>

#include <cstdlib>

#include "telemetry_app.h"

int main(int argc, char** argv) {
    // The headless run never creates the application object, so it needs no
    // display server.
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    if (headless::HeadlessRequested(args, std::getenv("TALVORA_HEADLESS")))
        return headless::HeadlessMain(argc, argv);
    CTelemetryApp app(argc, argv);
    int exitCode = 0;
    if (!app.InitInstance(&exitCode)) return exitCode;
    // The frame's exit sequence ends the loop with 0. The process then ends
    // itself, never another process of the same name.
    return app.exec();
}
