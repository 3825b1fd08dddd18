// cardengine: answers the engine link as a baseband card does, on a TCP port
// of this machine, so that the program and the tests run without a card.
#include <csignal>
#include <cstdio>

#include "engine_options.h"
#include "engine_server.h"

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) {
    g_stop.store(true);
}

}  // namespace

int main(int argc, char** argv) {
    cardengine::Options options;
    int exitCode = 0;
    if (!cardengine::ParseOptions(argc, argv, options, exitCode)) return exitCode;

    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    cardengine::EngineServer server(options, cardengine::MakeUnits(options));
    if (!server.Listen()) return 1;
    return server.Run(g_stop);
}
