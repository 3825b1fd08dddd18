// Window tests run on the offscreen platform; the variable must be set before
// the QApplication exists (test discovery runs without ctest's environment).
// Whatever a test leaves unset, no card outside loopback is reached and no
// file of the person running the tests is written.
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string closedPort =
        "127.0.0.1:" + std::to_string(cardengine::testkit::FreeLoopbackPort());
    ::setenv("TALVORA_ENGINE", closedPort.c_str(), 1);
    QTemporaryDir config;
    if (!config.isValid()) return 1;
    ::setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
