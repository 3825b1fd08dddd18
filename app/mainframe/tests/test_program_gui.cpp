// The program itself as an operator or a script starts it: help and version
// without a display, an unattended run that keeps its deadline while boxes
// of the start-up are open, and the workspace menu for a real right-click
// under a virtual X server.
#include <cardengine/testkit/engine_process.h>
#include <config/para_config.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "testsupport/loopback.h"
#include "testsupport/temp_home.h"
#include "testsupport/wait.h"

namespace {

using namespace std::chrono_literals;

QString Program() {
    return QCoreApplication::applicationDirPath() + "/Talvora";
}

// The environment of a machine without any display.
QProcessEnvironment NoDisplay() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "TALVORA_HEADLESS"})
        env.remove(QString::fromLatin1(v));
    return env;
}

struct Finished {
    bool ended = false;
    int exitCode = -1;
    QString out, err;
};

Finished RunProgram(const QStringList& args, const QProcessEnvironment& env, int limitMs = 30000) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(Program(), args);
    Finished f;
    if (!p.waitForStarted()) return f;
    f.ended = p.waitForFinished(limitMs);
    if (!f.ended) {
        p.kill();
        p.waitForFinished();
    }
    f.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    f.out = QString::fromUtf8(p.readAllStandardOutput());
    f.err = QString::fromUtf8(p.readAllStandardError());
    return f;
}

std::set<std::string> LongOptions(const QString& text) {
    std::set<std::string> names;
    static const QRegularExpression option(QStringLiteral("--[a-z][a-z-]*[a-z]"));
    for (auto it = option.globalMatch(text); it.hasNext();)
        names.insert(it.next().captured().toStdString());
    return names;
}

// A fresh home whose network output stays on 127.0.0.1, so the start-up
// shows no box for it.
void UseLoopbackNetwork(const std::string& home) {
    using cardengine::testkit::FreeLoopbackPort;
    cfg::NetworkConfig n;
    n.multicastAddr = "239.255.44.9";
    n.gpsMulticastAddr = "239.255.44.8";
    n.multicastLocalIp = n.broadcastLocalIp = n.unicastDestIp = "127.0.0.1";
    n.multicastPort = FreeLoopbackPort();
    n.multicastDestPort = FreeLoopbackPort();
    n.gpsMulticastPort = FreeLoopbackPort();
    n.broadcastPort = FreeLoopbackPort();
    n.unicastLocalPort = FreeLoopbackPort();
    n.unicastDestPort = FreeLoopbackPort();
    ASSERT_TRUE(cfg::SaveNetworkConfig(home, n));
}

// A program environment for `home` whose card is a loopback port nobody
// listens on.
QProcessEnvironment ProgramEnv(const talvora::test::TempDir& dir, const QString& platform) {
    QProcessEnvironment env = NoDisplay();
    const QString d = QString::fromStdString(dir.path());
    env.insert("XDG_RUNTIME_DIR", d);
    // Named objects and the single-instance lock are per user: a namespace
    // of its own keeps this copy apart from the other tests' programs.
    env.insert("TALVORA_OBJECT_NAMESPACE",
               QStringLiteral("program-test-") +
                   QString::fromStdString(std::filesystem::path(dir.path()).filename().string()));
    env.insert("XDG_CONFIG_HOME", d + "/config");
    env.insert("MCASTLIB_IF", "127.0.0.1");
    env.remove("TALVORA_HOME");
    if (!platform.isEmpty()) env.insert("QT_QPA_PLATFORM", platform);
    const QString engine =
        QStringLiteral("127.0.0.1:%1").arg(cardengine::testkit::FreeLoopbackPort());
    EXPECT_TRUE(talvora::test::RequireLoopback(engine.toStdString()));
    env.insert("TALVORA_ENGINE", engine);
    return env;
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QFileInfo::exists(Program())) GTEST_SKIP() << "Talvora not built";
    }
    talvora::test::TempDir dir_;
};

TEST_F(ProgramTest, HelpAndVersionPrintWithoutADisplayAndTheManPageAgrees) {
    const Finished help = RunProgram({"--help"}, NoDisplay());
    ASSERT_TRUE(help.ended);
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.startsWith("usage: Talvora")) << help.out.toStdString();
    EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();

    const Finished version = RunProgram({"--version"}, NoDisplay());
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Talvora [0-9]+\\.[0-9]+(\\.[0-9]+)?\\n$"))
                    .match(version.out)
                    .hasMatch())
        << version.out.toStdString();

    // A bad command line is refused the same way, with the usage.
    const Finished bad = RunProgram({"--no-such-option"}, NoDisplay());
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains("unknown argument: --no-such-option")) << bad.err.toStdString();

    QFile man(QStringLiteral(TALVORA_MAN_PAGE));
    ASSERT_TRUE(man.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(man.readAll()).replace(QStringLiteral("\\-"), "-");
    EXPECT_EQ(LongOptions(help.out), LongOptions(page));
}

// Boxes shown while the frame starts (the card is not there, the default
// network addresses are not this machine's) take their default answer at
// the deadline together, instead of each waiting the whole time.
TEST_F(ProgramTest, QuitAfterIsADeadlineThatBoxesOpenAtStartKeep) {
    constexpr int kQuitAfter = 3;
    const QString home = QString::fromStdString(dir_.path()) + "/home";
    QElapsedTimer clock;
    clock.start();
    const Finished run = RunProgram({"--home", home, "--quit-after", QString::number(kQuitAfter)},
                                    ProgramEnv(dir_, "offscreen"), 300000);
    const qint64 ms = clock.elapsed();
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    // Every box of an unattended run is also written to stderr as
    // "Talvora: caption: text".
    static const QRegularExpression boxLine(QStringLiteral("^Talvora: [^:\\n]+: "),
                                            QRegularExpression::MultilineOption);
    const int boxes = int(run.err.count(boxLine));
    ASSERT_GE(boxes, 3) << run.err.toStdString();
    // The card's box comes from another thread, the others one after the
    // other on the window thread: with a wait of its own for each box the
    // run takes at least (boxes - 1 + 1) * kQuitAfter seconds.
    EXPECT_LT(ms, qint64(boxes - 1) * kQuitAfter * 1000) << boxes << " boxes:\n"
                                                         << run.err.toStdString();
    QDir logs(home + "/Log");
    EXPECT_FALSE(logs.entryList(QDir::Files).isEmpty());
}

// --- a real X server ---

// Xvfb on a display number it chooses itself.
class VirtualDisplay {
public:
    VirtualDisplay() {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty()) return;
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            ::execl(xvfb.toLocal8Bit().constData(), "Xvfb", "-displayfd", fd.c_str(), "-screen",
                    "0", "1280x1024x24", "-nolisten", "tcp", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        char buf[16] = {};
        std::size_t got = 0;
        while (pid_ > 0 && got < sizeof buf - 1) {
            const ssize_t n = ::read(fds[0], buf + got, sizeof buf - 1 - got);
            if (n <= 0 || buf[got + std::size_t(n) - 1] == '\n') {
                got += n > 0 ? std::size_t(n) : 0;
                break;
            }
            got += std::size_t(n);
        }
        ::close(fds[0]);
        const QString number = QString::fromLatin1(buf, int(got)).trimmed();
        if (!number.isEmpty()) display_ = QStringLiteral(":") + number;
    }
    ~VirtualDisplay() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    const QString& Name() const { return display_; }

private:
    pid_t pid_ = -1;
    QString display_;
};

// Runs xdotool on `display`; its standard output, trimmed.
QString XdoTool(const QString& display, const QStringList& args, int* exitCode = nullptr) {
    QProcess p;
    QProcessEnvironment env = NoDisplay();
    env.insert("DISPLAY", display);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(20000);
    if (exitCode) *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// The first visible window whose name matches `pattern`, or "".
QString FindWindow(const QString& display, const QString& pattern) {
    return XdoTool(display, {"search", "--onlyvisible", "--name", pattern}).section('\n', 0, 0);
}

// The window under the pointer.
QString WindowUnderPointer(const QString& display) {
    const QString shell = XdoTool(display, {"getmouselocation", "--shell"});
    for (const QString& line : shell.split('\n'))
        if (line.startsWith(QStringLiteral("WINDOW="))) return line.mid(7);
    return {};
}

TEST_F(ProgramTest, RealRightClickOnTheEmptyWorkspaceOpensTheWorkspaceMenu) {
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "xdotool is not installed (scripts/setup installs it)";
    VirtualDisplay x;
    if (x.Name().isEmpty()) GTEST_SKIP() << "no virtual X server (Xvfb)";
    const std::string home = dir_.path() + "/home";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(home)));
    UseLoopbackNetwork(home);

    QProcessEnvironment env = ProgramEnv(dir_, "xcb");
    env.insert("DISPLAY", x.Name());
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(Program(), {"--home", QString::fromStdString(home), "--quit-after", "120"});
    ASSERT_TRUE(program.waitForStarted());

    // Without a card the start-up says so; the box is answered by key.
    QString box;
    ASSERT_WAIT_UNTIL(!(box = FindWindow(x.Name(), QStringLiteral("初始化基带卡"))).isEmpty(), 60s);
    ASSERT_WAIT_UNTIL((XdoTool(x.Name(), {"windowfocus", "--sync", box, "key", "Return"}),
                       FindWindow(x.Name(), QStringLiteral("初始化基带卡")).isEmpty()),
                      30s);

    // The frame fills the screen; the workspace lies between the toolbar
    // and the status display bar, empty since no card opened.
    QString frame;
    ASSERT_WAIT_UNTIL(!(frame = FindWindow(x.Name(), QStringLiteral("Talvora（"))).isEmpty(), 30s);
    XdoTool(x.Name(), {"mousemove", "--sync", "640", "330"});
    ASSERT_WAIT_UNTIL(WindowUnderPointer(x.Name()) == frame, 10s);
    XdoTool(x.Name(), {"click", "3"});
    // The menu opens at the pointer: the window under a point inside it is
    // the menu's, not the frame's.
    XdoTool(x.Name(), {"mousemove", "--sync", "650", "340"});
    QString under;
    EXPECT_WAIT_UNTIL(!(under = WindowUnderPointer(x.Name())).isEmpty() && under != frame, 10s);
    XdoTool(x.Name(), {"key", "Escape"});
    ASSERT_WAIT_UNTIL(WindowUnderPointer(x.Name()) == frame, 10s);

    program.terminate();
    if (!program.waitForFinished(30000)) program.kill();
    program.waitForFinished();
}

}  // namespace
