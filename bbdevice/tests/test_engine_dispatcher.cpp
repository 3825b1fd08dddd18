#include <bbdevice/wire/engine_message.h>
#include <gtest/gtest.h>

#include <vector>

#include "engine_dispatcher.h"

namespace {

using namespace bbdev;

struct Recorder : IEngineMessageSink {
    std::vector<unsigned> ops;
    void OnEngineMessage(unsigned operation, std::span<const std::uint8_t>) override {
        ops.push_back(operation);
    }
};

void Send(EngineDispatcher& d, unsigned module, unsigned op) {
    std::uint8_t buf[32];
    const std::uint8_t payload[4] = {1, 0, 0, 0};
    std::size_t n = wire::BuildMessage(buf, wire::MakeCommand(module, op), payload);
    d.Dispatch(wire::ViewMessage({buf, n}));
}

TEST(EngineDispatcher, RoutesByModuleIgnoresAcknowledgementsAndDropsUnknownModules) {
    EngineDispatcher d;
    Recorder time, card;
    d.Attach(5, &time);
    d.Attach(1, &card);
    Send(d, 5, 7);
    Send(d, 5, 2);  // acknowledgement
    Send(d, 1, 5);
    Send(d, 3, 7);   // unused module code
    Send(d, 16, 7);  // beyond the module codes
    Send(d, 0, 7);   // the link's own replies
    EXPECT_EQ(time.ops, std::vector<unsigned>{7});
    EXPECT_EQ(card.ops, std::vector<unsigned>{5});
    EXPECT_EQ(d.dropped(), 2u);
}

}  // namespace
