// A card open in the client creates "SERVEREXIT" too; the server still starts.
#include <cstdlib>

#include "bbdevice/bbdevice.h"
#include "cardengine/testkit/engine_process.h"
#include "link_fixture.h"
#include "testsupport/loopback.h"

namespace svclink::test {
namespace {

int NoData(DemReportBlock*) {
    return 1;
}

class CardOpenLink : public LinkTest {
protected:
    bool WantShareEnable() const override { return false; }  // the card open makes it
};

TEST_F(CardOpenLink, TheServerStartsWhileACardIsOpen) {
    cardengine::testkit::EngineProcess engine;
    ASSERT_TRUE(engine.started());
    ASSERT_TRUE(talvora::test::RequireLoopback(engine.Address()));
    ::setenv("TALVORA_ENGINE", engine.Address().c_str(), 1);
    CardFunctionInfo info{};
    ASSERT_TRUE(BB_OpenDevice(0, NoData, 0, &info));
    ASSERT_TRUE(plat::NamedEvent::Open(kServerExit));  // exists, yet no server runs

    EXPECT_TRUE(Start({0}));
    EXPECT_TRUE(ServerAlive());
    ASSERT_TRUE(Open(0, false));
    ASSERT_TRUE(BB_SendShareData(0, Pattern(0, 4096).data(), 4096, nullptr));
    EXPECT_TRUE(g_received[0].WaitBytes(4096));
    BB_CloseService(0, kRoleUser);
    StopServer();
    BB_CloseDevice(0);
    ::unsetenv("TALVORA_ENGINE");
}

}  // namespace
}  // namespace svclink::test
