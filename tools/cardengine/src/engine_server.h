// The engine's event loop: listens, serves one connection at a time (a new
// connection replaces the old one, as after a reconnection of the library),
// parses commands, logs them and hands them to the units.
#pragma once

#include <bbdevice/wire/engine_parser.h>

#include <atomic>
#include <memory>
#include <vector>

#include "command_log.h"
#include "engine_unit.h"
#include "session.h"

namespace cardengine {

class EngineServer {
public:
    EngineServer(const Options& options, std::vector<std::unique_ptr<EngineUnit>> units);
    ~EngineServer();

    // Binds and listens; false with a message on stderr when that fails.
    bool Listen();
    // Runs until `stop` becomes true or --quit-after expires.
    int Run(const std::atomic<bool>& stop);

private:
    void Accept(Clock::time_point now);
    void ReadCommands();
    void CloseSession();
    void OnCommand(const bbdev::wire::MessageView& message);

    const Options& options_;
    std::vector<std::unique_ptr<EngineUnit>> units_;
    HandlerTable handlers_;
    CommandLog log_;
    int listenFd_ = -1;
    unsigned nextSessionId_ = 1;
    std::unique_ptr<Session> session_;
    bbdev::wire::ReceiveAssembler receiver_;
};

}  // namespace cardengine
