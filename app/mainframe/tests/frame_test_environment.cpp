// For the whole window-test program: whatever a test leaves unset, the card
// is a loopback port nobody listens on and data sources are registered in a
// temporary XDG_CONFIG_HOME, so no card is reached and no file of the person
// running the tests is written. Set during static initialisation, before the
// QApplication exists.
#include <cardengine/testkit/engine_process.h>
#include <stdlib.h>

#include <string>

#include "testsupport/temp_home.h"

namespace {

struct FrameTestEnvironment {
    FrameTestEnvironment() {
        const std::string closedPort =
            "127.0.0.1:" + std::to_string(cardengine::testkit::FreeLoopbackPort());
        setenv("TALVORA_ENGINE", closedPort.c_str(), 1);
        if (!config.path().empty()) setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    }
    talvora::test::TempDir config;
};

const FrameTestEnvironment g_environment;

}  // namespace
