// Routes each engine message to the unit registered for its module code.
#pragma once

#include <bbdevice/wire/engine_message.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <span>

namespace bbdev {

class IEngineMessageSink {
public:
    virtual ~IEngineMessageSink() = default;
    // On the poll worker; the payload is valid during the call only.
    virtual void OnEngineMessage(unsigned operation, std::span<const std::uint8_t> payload) = 0;
};

class EngineDispatcher {
public:
    // Module 0 (the link itself) cannot be attached: its replies are ignored.
    void Attach(unsigned module, IEngineMessageSink* sink) {
        if (module > 0 && module < wire::kModuleCount) sinks_[module] = sink;
    }

    // Unknown modules are dropped, acknowledgements (operation 2) ignored.
    void Dispatch(const wire::MessageView& message) {
        const unsigned module = message.module();
        IEngineMessageSink* sink = module < wire::kModuleCount ? sinks_[module] : nullptr;
        if (!sink) {
            if (module != wire::kModuleLink) dropped_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        if (message.operation() == wire::kOpAcknowledge) return;
        sink->OnEngineMessage(message.operation(), message.payload);
    }

    std::uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    std::array<IEngineMessageSink*, wire::kModuleCount> sinks_{};
    std::atomic<std::uint64_t> dropped_{0};
};

}  // namespace bbdev
