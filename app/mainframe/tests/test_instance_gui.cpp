// Only one copy runs per user and object namespace: a second start is refused,
// either by bringing the running frame forward or with "应用程序已经运行！".
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>
#include <log/system_log.h>
#include <platform/codepage.h>
#include <platform/notify.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <atomic>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "instance_guard.h"
#include "testsupport/loopback.h"
#include "testsupport/temp_home.h"
#include "testsupport/wait.h"

namespace {

// Runs the claim on a worker thread while this thread serves the local socket.
InstanceClaim ClaimWhileServing(const std::string& dir) {
    struct Shared {
        InstanceClaim claim;
        std::atomic<bool> done{false};
    };
    auto shared = std::make_shared<Shared>();
    std::thread t([shared, dir] {
        shared->claim = ClaimSingleInstance(dir);
        shared->done = true;
    });
    // The window-test main turns the event loop between the polls.
    const bool finished =
        talvora::test::WaitUntil([&] { return shared->done.load(); }, std::chrono::seconds(30));
    if (!finished) {
        ADD_FAILURE() << "the second claim did not return within 30 s";
        t.detach();  // owns its state; the test has failed
        return {};
    }
    t.join();
    return std::move(shared->claim);
}

}  // namespace

class InstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        sink_ = std::make_shared<plat::CapturingSink>();
        plat::SetNotifySink(sink_);
    }
    void TearDown() override { plat::SetNotifySink(nullptr); }
    std::string Dir() const { return dir_.path(); }
    QString QDirPath() const { return QString::fromStdString(dir_.path()); }
    talvora::test::TempDir dir_;
    std::shared_ptr<plat::CapturingSink> sink_;
};

TEST_F(InstanceTest, SecondStartWithoutAFrameToRaiseShowsTheMessage) {
    InstanceClaim first = ClaimSingleInstance(Dir());
    ASSERT_TRUE(first.lock);
    EXPECT_FALSE(first.refused);
    EXPECT_TRUE(sink_->Shown().empty());

    InstanceClaim second = ClaimWhileServing(Dir());
    EXPECT_TRUE(second.refused);
    EXPECT_FALSE(second.lock);
    ASSERT_EQ(sink_->Shown().size(), 1u);
    EXPECT_EQ(sink_->Shown()[0].text, "应用程序已经运行！");
}

TEST_F(InstanceTest, RunningFrameTitledTalvoraIsBroughtForwardInstead) {
    InstanceClaim first = ClaimSingleInstance(Dir());
    ASSERT_TRUE(first.lock);
    int raised = 0;
    bool titled = true;
    InstanceServer server(InstanceSocketPath(Dir()), [&] {
        ++raised;
        return titled;
    });
    ASSERT_TRUE(server.Listen());

    EXPECT_TRUE(ClaimWhileServing(Dir()).refused);
    EXPECT_EQ(raised, 1);
    EXPECT_TRUE(sink_->Shown().empty());

    // Once the title carries the stream text it no longer matches.
    titled = false;
    EXPECT_TRUE(ClaimWhileServing(Dir()).refused);
    ASSERT_EQ(sink_->Shown().size(), 1u);
    EXPECT_EQ(sink_->Shown()[0].text, "应用程序已经运行！");
}

// The second copy has a runtime directory of its own (another login session):
// it would share the first one's named events, so it is refused all the same.
TEST_F(InstanceTest, ProgramRefusesASecondCopyOfAnotherSessionAndTheFirstLeavesCleanly) {
    const QString program = QCoreApplication::applicationDirPath() + "/Talvora";
    if (!QFileInfo::exists(program)) GTEST_SKIP() << "Talvora not built";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", QDirPath());
    env.insert("TALVORA_OBJECT_NAMESPACE",
               "instance-" + QString::number(QCoreApplication::applicationPid()));
    env.insert("XDG_CONFIG_HOME", QDirPath() + "/config");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("TALVORA_HOME");
    // No card: a loopback port nobody listens on.
    const QString engine =
        QStringLiteral("127.0.0.1:%1").arg(cardengine::testkit::FreeLoopbackPort());
    env.insert("TALVORA_ENGINE", engine);
    ASSERT_TRUE(talvora::test::RequireLoopback(engine.toStdString()));
    const QString home1 = QDirPath() + "/home1";
    const QString home2 = QDirPath() + "/home2";

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(program,
                {"--home", home1, "--quit-after", "6", "--snapshot", QDirPath() + "/s.png"});
    ASSERT_TRUE(first.waitForStarted());
    // The first copy is up once its journal exists.
    const QDir logDir(home1 + "/Log");
    ASSERT_WAIT_UNTIL(!logDir.entryList(QDir::Files).isEmpty(), std::chrono::seconds(20));

    QProcess second;
    QProcessEnvironment otherSession = env;
    ASSERT_TRUE(QDir().mkpath(QDirPath() + "/run2"));
    otherSession.insert("XDG_RUNTIME_DIR", QDirPath() + "/run2");
    second.setProcessEnvironment(otherSession);
    second.start(program, {"--home", home2, "--quit-after", "1"});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_FALSE(QFileInfo::exists(home2 + "/Log"));  // it never created its frame

    ASSERT_TRUE(first.waitForFinished(60000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_TRUE(QFileInfo::exists(QDirPath() + "/s.png"));
    const QString log = logDir.absoluteFilePath(logDir.entryList(QDir::Files).first());
    std::ifstream in(log.toStdString(), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string text = plat::GbkToUtf8(ss.str());
    const std::string tail = "退出软件！\r\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}
