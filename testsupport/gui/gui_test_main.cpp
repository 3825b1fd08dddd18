// main() of the window tests: the offscreen platform is chosen before the
// QApplication exists (test discovery runs without ctest's environment), and
// bounded waits handle Qt events while they poll.
#include <gtest/gtest.h>

#include <QApplication>
#include <QThread>

#include "testsupport/wait.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    talvora::test::SetPollStep([] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
