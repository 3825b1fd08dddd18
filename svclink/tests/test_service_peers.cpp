// The service link with a peer that hangs, dies or misbehaves: closes that do
// not wait for it, data that is neither lost nor handed to the wrong client,
// boxes shown outside the library's lock and a process id a key cannot move.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <future>
#include <iterator>
#include <thread>

#include "link_fixture.h"

extern char** environ;

namespace svclink::test {
namespace {

using ServicePeers = LinkTest;
using Clock = std::chrono::steady_clock;

// Resumes a stopped server when the test ends, however it ends.
struct StoppedServer {
    pid_t pid;
    explicit StoppedServer(pid_t p) : pid(p > 0 ? p : 0) {
        if (pid <= 0) return;
        ::kill(pid, SIGSTOP);
        // The signal is delivered later; wait until the process is stopped.
        EXPECT_TRUE(talvora::test::WaitUntil([&] { return State() == 'T'; }, 10s, "the stop"));
    }
    char State() const {
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::size_t close = all.rfind(')');
        return close != std::string::npos && close + 2 < all.size() ? all[close + 2] : '?';
    }
    ~StoppedServer() { Resume(); }
    void Resume() {
        if (pid > 0) ::kill(pid, SIGCONT);
        pid = 0;
    }
};

TEST_F(ServicePeers, ClosingEveryServiceOfAHungServerDoesNotWaitForIt) {
    ASSERT_TRUE(Start({0, 1, 2, 3, 4, 5, 6, 7}));
    for (std::uint32_t slot = 0; slot < kServiceSlots; ++slot)
        ASSERT_TRUE(Open(slot, slot % 2 == 1)) << slot;
    // A copy-data block first, so the close goes over a connection in use.
    ASSERT_TRUE(BB_SendShareData(1, Pattern(0, 100).data(), 100, nullptr));
    ASSERT_TRUE(g_received[1].WaitBytes(100));
    ASSERT_GT(ServerPid(0), 0);
    StoppedServer stopped(ServerPid(0));
    const auto start = Clock::now();
    for (std::uint32_t slot = 0; slot < kServiceSlots; ++slot)
        EXPECT_TRUE(BB_CloseService(slot, kRoleUser)) << slot;
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    RecordProperty("close_all_ms", std::to_string(took));
    // One answer wait is 5 s: eight closes together below that waited for none.
    EXPECT_LT(took, 4000);

    // Once the server runs again it sees the requests and reopens the slots.
    auto ready = plat::NamedEvent::Create("{B064E0BE-C996-4341-A6A7-CE8AF3AAA05D}-INITFINISH-03",
                                          true, false);
    ASSERT_TRUE(ready);
    ready->Reset();
    stopped.Resume();
    ASSERT_EQ(ready->Wait(10000), plat::WaitResult::Signaled);
    ASSERT_TRUE(Open(3, true));
    ASSERT_TRUE(BB_SendShareData(3, Pattern(0, 1000).data(), 1000, nullptr));
    ASSERT_TRUE(g_received[3].WaitBytes(1000));
}

TEST_F(ServicePeers, DataSignalledWhileTheHeaderWasBusyIsStillDelivered) {
    ASSERT_TRUE(Start({0}));
    ASSERT_TRUE(Open(0, false));
    // Our own direction as the server sees it, through a mapping of our own.
    auto section =
        plat::SharedSection::Open("{B064E0BE-C996-4341-A6A7-CE8AF3AAA05D}-MAPFILEHANDLE-00");
    ASSERT_TRUE(section);
    auto* sequence = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(section->data()) +
                                                      kUserToCreatorHeader + hdr::kSequence);
    std::atomic_ref<std::uint32_t> seq(*sequence);
    ASSERT_GT(ServerPid(0), 0);
    {
        StoppedServer stopped(ServerPid(0));
        ASSERT_TRUE(BB_SendShareData(0, Pattern(0, 5000).data(), 5000, nullptr));
        // A parameter write that looks unfinished when the server wakes.
        seq.fetch_add(1);
    }
    // Give the server's wake time to find the count odd; the check below
    // does not depend on it, only the proof against the old code does.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    seq.fetch_add(1);
    ASSERT_TRUE(g_received[0].WaitBytes(5000, 10s)) << "received " << g_received[0].Size();
    std::lock_guard lock(g_received[0].mutex);
    EXPECT_TRUE(g_received[0].bytes == Pattern(0, 5000));
}

pid_t Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

TEST_F(ServicePeers, ANewClientGetsNoneOfTheDataLeftForADeadOne) {
    ASSERT_TRUE(Start({0, 1}));
    // A client that leaves 1 MB of replies in the ring and dies without closing.
    const pid_t client = Spawn({BinDir() + "/tmclient", "--abandon", "1048576"});
    ASSERT_GT(client, 0);
    int status = 0;
    ASSERT_EQ(waitpid(client, &status, 0), client);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    ASSERT_TRUE(Open(0, false));
    const auto mine = Pattern(0, 3000);
    ASSERT_TRUE(BB_SendShareData(0, mine.data(), 3000, nullptr));
    ASSERT_TRUE(g_received[0].WaitBytes(3000));
    std::lock_guard lock(g_received[0].mutex);
    EXPECT_EQ(g_received[0].bytes.size(), 3000u);
    EXPECT_TRUE(g_received[0].bytes == mine);
}

// A sink whose box calls the library from another thread while it is up, as
// a timer of the box's event loop or another thread would.
class ReentrantSink : public plat::CapturingSink {
public:
    int Show(const plat::MessageRequest& request) override {
        // Kept past the box, so that a call stuck behind the lock can finish
        // once the lock is free.
        pending = std::async(std::launch::async, [] { return BB_CloseService(5, kRoleUser); });
        callReturned = pending.wait_for(10s) == std::future_status::ready;
        // On this thread only when the other one got through: it would hang.
        if (callReturned) sameThreadReturned = BB_SendShareData(5, "x", 1, nullptr) == 0;
        return plat::CapturingSink::Show(request);
    }
    std::future<std::int32_t> pending;
    std::atomic<bool> callReturned{false}, sameThreadReturned{false};
};

TEST_F(ServicePeers, AFailureBoxIsShownWithoutHoldingTheLibrary) {
    auto sink = std::make_shared<ReentrantSink>();
    plat::SetNotifySink(sink);
    ServiceRecord r{};
    r.dataCallback = [](std::uint32_t, ServiceRecord*) {};
    int window = 0;
    EXPECT_FALSE(BB_OpenService(4, &window, &r, kRoleUser));  // no server: a box
    ASSERT_EQ(sink->Shown().size(), 1u);
    EXPECT_EQ(sink->Shown()[0].text, "服务使用者打开内存共享文件失败！");
    EXPECT_TRUE(sink->callReturned.load()) << "a call from another thread waited for the box";
    EXPECT_TRUE(sink->sameThreadReturned.load());
}

// A data callback that waits for its closer, as one that hands its block to
// the GUI thread does while the GUI thread closes the service.
std::atomic<bool> g_closeReturned{false};
std::atomic<bool> g_callbackEntered{false};
std::atomic<bool> g_callbackSawItsBytes{false};

void WaitForTheCloser(std::uint32_t, ServiceRecord* r) {
    g_callbackEntered.store(true);
    talvora::test::WaitUntil([] { return g_closeReturned.load(); }, 30s);
    // The block is still ours after the close: nothing was unmapped under us.
    const auto expected = Pattern(0, 2000);
    g_callbackSawItsBytes.store(r->length == 2000 &&
                                std::memcmp(r->data, expected.data(), 2000) == 0);
}

TEST_F(ServicePeers, ACloseDoesNotWaitForACallbackThatWaitsForIt) {
    ASSERT_TRUE(Start({2}));
    records_[2] = ServiceRecord{};
    records_[2].dataCallback = WaitForTheCloser;
    ASSERT_TRUE(BB_OpenService(2, &records_[2], &records_[2], kRoleUser));
    ASSERT_TRUE(BB_SendShareData(2, Pattern(0, 2000).data(), 2000, nullptr));
    ASSERT_WAIT_UNTIL(g_callbackEntered.load(), 10s);
    auto close = std::async(std::launch::async, [] { return BB_CloseService(2, kRoleUser); });
    const bool returned = close.wait_for(10s) == std::future_status::ready;
    g_closeReturned.store(true);  // lets the callback go in any case
    ASSERT_TRUE(returned) << "the close waited for the callback";
    EXPECT_TRUE(close.get());
    ASSERT_WAIT_UNTIL(g_callbackSawItsBytes.load(), 10s);
}

TEST_F(ServicePeers, KeyWindowCannotRedirectTheServersCopyData) {
    ASSERT_TRUE(Start({1}));
    ASSERT_TRUE(Open(1, true));
    // A live process that is not ours: the server must not send there.
    const pid_t other = Spawn({"/bin/sleep", "60"});
    ASSERT_GT(other, 0);
    const std::uint32_t bogus = static_cast<std::uint32_t>(other);
    const SvcCmdParam p{kKeyWindow, 4, &bogus};
    EXPECT_TRUE(BB_SendCmdParam(1, &p));
    ASSERT_TRUE(BB_SendShareData(1, Pattern(0, 4000).data(), 4000, nullptr));
    EXPECT_TRUE(g_received[1].WaitBytes(4000, 10s)) << "the echo went elsewhere";
    ::kill(other, SIGKILL);
    waitpid(other, nullptr, 0);
}

}  // namespace
}  // namespace svclink::test
