#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include "testsupport/wait.h"

namespace talvora::test {
namespace {

using namespace std::chrono_literals;

TEST(GuiTestMain, RunsOffscreenAndWaitsHandleQtEvents) {
    EXPECT_EQ(QGuiApplication::platformName(), "offscreen");
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    ASSERT_WAIT_UNTIL(fired, 30s);
}

}  // namespace
}  // namespace talvora::test
