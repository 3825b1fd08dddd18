// What an engine unit is: handlers for the commands of its module code plus
// optional work on connect and on every loop turn. Each unit of the card
// (card, demodulator, signal source, time code, ...) lives in its own
// unit_*.cpp and is listed in MakeUnits().
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "engine_options.h"

namespace cardengine {

using Clock = std::chrono::steady_clock;

class Session;

using CommandHandler = std::function<void(Session&, std::span<const std::uint8_t> payload)>;

// Handlers by (module, operation). Several units may follow the same
// command (the demodulator record drives both frames and status); each
// handler runs in the order the units registered.
class HandlerTable {
public:
    void Add(unsigned module, unsigned operation, CommandHandler handler) {
        handlers_.emplace(Key(module, operation), std::move(handler));
    }
    // Runs every handler of (module, operation); false when there is none.
    bool Dispatch(unsigned module, unsigned operation, Session& session,
                  std::span<const std::uint8_t> payload) const {
        auto [first, last] = handlers_.equal_range(Key(module, operation));
        for (auto it = first; it != last; ++it) it->second(session, payload);
        return first != last;
    }

private:
    static unsigned Key(unsigned module, unsigned operation) { return (module << 8) | operation; }
    std::multimap<unsigned, CommandHandler> handlers_;
};

class EngineUnit {
public:
    virtual ~EngineUnit() = default;
    virtual void Register(HandlerTable& table) = 0;
    // A new connection was accepted.
    virtual void OnConnect(Session&, Clock::time_point) {}
    // Called every loop turn while a connection exists.
    virtual void OnTick(Session&, Clock::time_point) {}
    // True while the unit has data to send at once (the loop then does not sleep).
    virtual bool Busy() const { return false; }
};

std::unique_ptr<EngineUnit> MakeCardUnit(const Options& options);
std::unique_ptr<EngineUnit> MakeFloodUnit(const Options& options);
std::unique_ptr<EngineUnit> MakeDemStatusUnit(const Options& options);
std::unique_ptr<EngineUnit> MakeTimeCodeUnit(const Options& options);
std::unique_ptr<EngineUnit> MakeFrameStatUnit(const Options& options, unsigned module);
std::unique_ptr<EngineUnit> MakeDemFrameUnit(const Options& options);
std::unique_ptr<EngineUnit> MakeReplayUnit(const Options& options);
std::unique_ptr<EngineUnit> MakeSpectrumUnit(const Options& options);

std::vector<std::unique_ptr<EngineUnit>> MakeUnits(const Options& options);

}  // namespace cardengine
