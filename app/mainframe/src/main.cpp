#include "telemetry_app.h"

int main(int argc, char** argv) {
    CTelemetryApp app(argc, argv);
    int exitCode = 0;
    if (!app.InitInstance(&exitCode)) return exitCode;
    // The frame's exit sequence ends the loop with 0. The process then ends
    // itself, never another process of the same name.
    return app.exec();
}
