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

// Handlers by (module, operation).
class HandlerTable {
public:
    void Add(unsigned module, unsigned operation, CommandHandler handler) {
        handlers_[Key(module, operation)] = std::move(handler);
    }
    const CommandHandler* Find(unsigned module, unsigned operation) const {
        auto it = handlers_.find(Key(module, operation));
        return it == handlers_.end() ? nullptr : &it->second;
    }

private:
    static unsigned Key(unsigned module, unsigned operation) { return (module << 8) | operation; }
    std::map<unsigned, CommandHandler> handlers_;
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
std::unique_ptr<EngineUnit> MakeDemFrameUnit(const Options& options);

std::vector<std::unique_ptr<EngineUnit>> MakeUnits(const Options& options);

}  // namespace cardengine
