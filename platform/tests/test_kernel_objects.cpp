#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <functional>

#include "platform/kernel_objects.h"
#include "test_util.h"

namespace plat {
namespace {

using test::UniqueName;

// Runs body in a forked child; the child's exit code is what body returns.
pid_t Fork(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    return pid;
}

int ExitCode(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(SharedSection, CreatedZeroedAndSharedWithAnotherProcess) {
    const std::string name = UniqueName("section");
    EXPECT_FALSE(SharedSection::Exists(name));
    EXPECT_EQ(SharedSection::Open(name), nullptr);

    bool existed = true;
    auto section = SharedSection::Create(name, 4096, &existed);
    ASSERT_NE(section, nullptr);
    EXPECT_FALSE(existed);
    EXPECT_EQ(section->size(), 4096u);
    auto* bytes = static_cast<unsigned char*>(section->data());
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[4095], 0);
    bytes[0] = 42;
    EXPECT_TRUE(SharedSection::Exists(name));

    pid_t child = Fork([&] {
        auto other = SharedSection::Open(name);
        if (!other || other->size() != 4096) return 1;
        auto* b = static_cast<unsigned char*>(other->data());
        if (b[0] != 42) return 2;
        b[4095] = 7;
        return 0;
    });
    EXPECT_EQ(ExitCode(child), 0);
    EXPECT_EQ(bytes[4095], 7);

    // A second create opens the same section with its own size.
    auto again = SharedSection::Create(name, 16, &existed);
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(existed);
    EXPECT_EQ(again->size(), 4096u);
    EXPECT_EQ(static_cast<unsigned char*>(again->data())[0], 42);

    again.reset();
    section.reset();
    EXPECT_FALSE(SharedSection::Exists(name));  // the last close removes it
}

TEST(SharedSection, NamesMapOneToOne) {
    const std::string base = UniqueName("names");
    const std::array<std::string, 7> names = {base + "/a", base + "%2Fa",      base + "\\a",
                                              base + "_a", base + "{7F3A-11}", base + "遥测 数据",
                                              base + "%"};
    std::vector<std::unique_ptr<SharedSection>> sections;
    for (std::size_t i = 0; i < names.size(); ++i) {
        bool existed = true;
        sections.push_back(SharedSection::Create(names[i], 8, &existed));
        ASSERT_NE(sections.back(), nullptr) << names[i];
        EXPECT_FALSE(existed) << names[i];
        *static_cast<unsigned char*>(sections.back()->data()) = static_cast<unsigned char>(i + 1);
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        auto s = SharedSection::Open(names[i]);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(*static_cast<unsigned char*>(s->data()), i + 1) << names[i];
    }
    EXPECT_EQ(SharedSection::Create(std::string(300, 'x'), 8), nullptr);  // too long
    EXPECT_EQ(SharedSection::Create(base + "zero", 0), nullptr);
}

TEST(SharedSection, NamespaceVariableSeparatesNames) {
    const std::string name = UniqueName("spaced");
    setenv("TALVORA_OBJECT_NAMESPACE", "run-a", 1);
    auto a = SharedSection::Create(name, 8);
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(SharedSection::Exists(name));
    setenv("TALVORA_OBJECT_NAMESPACE", "run-b", 1);
    EXPECT_FALSE(SharedSection::Exists(name));
    unsetenv("TALVORA_OBJECT_NAMESPACE");
    EXPECT_FALSE(SharedSection::Exists(name));
    setenv("TALVORA_OBJECT_NAMESPACE", "run-a", 1);
    EXPECT_TRUE(SharedSection::Exists(name));
    a.reset();
    unsetenv("TALVORA_OBJECT_NAMESPACE");
}

TEST(SharedSection, ObjectLeftByDeadProcessesCountsAsGone) {
    const std::string name = UniqueName("orphan");
    pid_t child = Fork([&] {
        auto s = SharedSection::Create(name, 64);
        if (!s) return 1;
        static_cast<char*>(s->data())[0] = 9;
        _exit(0);  // dies without closing
    });
    ASSERT_EQ(ExitCode(child), 0);
    EXPECT_FALSE(SharedSection::Exists(name));
    bool existed = true;
    auto fresh = SharedSection::Create(name, 64, &existed);
    ASSERT_NE(fresh, nullptr);
    EXPECT_FALSE(existed);
    EXPECT_EQ(static_cast<char*>(fresh->data())[0], 0);
}

TEST(SharedSection, HalfCreatedObjectOfADeadCreatorIsReplaced) {
    // A name that needs no encoding, created raw and never initialised.
    const std::string name = UniqueName("halfmade");
    int fd = shm_open(("/talvora." + plat::NamedObjectScope() + name).c_str(),
                      O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 8192), 0);
    close(fd);
    bool existed = true;
    auto s = SharedSection::Create(name, 32, &existed);
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(existed);
    EXPECT_EQ(s->size(), 32u);
}

TEST(KernelObjects, KindsShareOneNamespace) {
    const std::string name = UniqueName("kind");
    auto event = NamedEvent::Create(name, true, false);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(NamedMutex::Create(name), nullptr);
    EXPECT_EQ(SharedSection::Open(name), nullptr);
    EXPECT_FALSE(SharedSection::Exists(name));
    EXPECT_NE(NamedEvent::Open(name), nullptr);
}

TEST(NamedEvent, ManualAndAutoReset) {
    auto manual = NamedEvent::Create(UniqueName("manual"), true, true);
    ASSERT_NE(manual, nullptr);
    EXPECT_EQ(manual->Wait(0), WaitResult::Signaled);
    EXPECT_EQ(manual->Wait(0), WaitResult::Signaled);
    manual->Reset();
    EXPECT_EQ(manual->Wait(0), WaitResult::Timeout);
    EXPECT_EQ(manual->Wait(5), WaitResult::Timeout);

    auto automatic = NamedEvent::Create(UniqueName("auto"), false, false);
    ASSERT_NE(automatic, nullptr);
    EXPECT_EQ(automatic->Wait(0), WaitResult::Timeout);
    automatic->Set();
    automatic->Set();  // setting twice still releases one wait
    EXPECT_EQ(automatic->Wait(kInfinite), WaitResult::Signaled);
    EXPECT_EQ(automatic->Wait(0), WaitResult::Timeout);
}

TEST(NamedEvent, CreateOfExistingKeepsItsState) {
    const std::string name = UniqueName("existing");
    auto first = NamedEvent::Create(name, true, true);
    bool existed = false;
    auto second = NamedEvent::Create(name, false, false, &existed);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(existed);
    EXPECT_EQ(second->Wait(0), WaitResult::Signaled);
    EXPECT_EQ(second->Wait(0), WaitResult::Signaled);  // still manual reset
}

TEST(NamedEvent, SetInOneProcessWakesWaiterInAnother) {
    const std::string name = UniqueName("xproc");
    auto event = NamedEvent::Create(name, true, false);
    ASSERT_NE(event, nullptr);
    pid_t child = Fork([&] {
        auto e = NamedEvent::Open(name);
        return e && e->Wait(kInfinite) == WaitResult::Signaled ? 0 : 1;
    });
    event->Set();
    EXPECT_EQ(ExitCode(child), 0);
}

TEST(NamedEvent, AutoResetReleasesOneWaiterPerSet) {
    const std::string name = UniqueName("one");
    auto event = NamedEvent::Create(name, false, false);
    ASSERT_NE(event, nullptr);
    auto waiter = [&] {
        auto e = NamedEvent::Open(name);
        return e && e->Wait(kInfinite) == WaitResult::Signaled ? 0 : 1;
    };
    pid_t a = Fork(waiter);
    pid_t b = Fork(waiter);
    event->Set();
    int status = 0;
    pid_t first = waitpid(-1, &status, 0);
    ASSERT_TRUE(first == a || first == b);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // The single Set was consumed by exactly one waiter.
    EXPECT_EQ(event->Wait(0), WaitResult::Timeout);
    event->Set();
    EXPECT_EQ(ExitCode(first == a ? b : a), 0);
}

TEST(NamedEvent, WaitForAnyReturnsTheSignalledIndex) {
    std::array<std::unique_ptr<NamedEvent>, 3> events;
    std::array<std::string, 3> names;
    for (int i = 0; i < 3; ++i) {
        names[i] = UniqueName("any");
        events[i] = NamedEvent::Create(names[i], false, false);
        ASSERT_NE(events[i], nullptr);
    }
    std::array<NamedEvent*, 3> ptrs = {events[0].get(), events[1].get(), events[2].get()};
    EXPECT_EQ(WaitForAnyEvent(ptrs, 0), -1);
    EXPECT_EQ(WaitForAnyEvent(ptrs, 5), -1);

    pid_t child = Fork([&] {
        auto e = NamedEvent::Open(names[2]);
        if (!e) return 1;
        e->Set();
        return 0;
    });
    EXPECT_EQ(WaitForAnyEvent(ptrs, kInfinite), 2);
    EXPECT_EQ(ExitCode(child), 0);
    EXPECT_EQ(WaitForAnyEvent(ptrs, 0), -1);  // auto reset consumed it

    events[0]->Set();
    events[1]->Set();
    EXPECT_EQ(WaitForAnyEvent(ptrs, kInfinite), 0);  // the lowest index first
    EXPECT_EQ(WaitForAnyEvent(ptrs, kInfinite), 1);
    EXPECT_EQ(WaitForAnyEvent({}, 0), -1);
}

TEST(NamedMutex, ExcludesAnotherProcessAndIsRecursive) {
    const std::string name = UniqueName("mutex");
    const std::string locked = UniqueName("locked");
    const std::string release = UniqueName("release");
    auto mutex = NamedMutex::Create(name);
    auto lockedEvent = NamedEvent::Create(locked, true, false);
    auto releaseEvent = NamedEvent::Create(release, true, false);
    ASSERT_TRUE(mutex && lockedEvent && releaseEvent);

    pid_t child = Fork([&] {
        auto m = NamedMutex::Open(name);
        auto l = NamedEvent::Open(locked);
        auto r = NamedEvent::Open(release);
        if (!m || !l || !r || m->Lock() != WaitResult::Signaled) return 1;
        l->Set();
        r->Wait(kInfinite);
        m->Unlock();
        return 0;
    });
    ASSERT_EQ(lockedEvent->Wait(kInfinite), WaitResult::Signaled);
    EXPECT_EQ(mutex->Lock(0), WaitResult::Timeout);
    EXPECT_EQ(mutex->Lock(5), WaitResult::Timeout);
    releaseEvent->Set();
    EXPECT_EQ(mutex->Lock(kInfinite), WaitResult::Signaled);
    EXPECT_EQ(mutex->Lock(0), WaitResult::Signaled);  // recursive
    mutex->Unlock();
    mutex->Unlock();
    EXPECT_EQ(ExitCode(child), 0);
}

TEST(NamedMutex, OwnerDeathGivesAbandonedAndOwnership) {
    const std::string name = UniqueName("robust");
    auto mutex = NamedMutex::Create(name);
    ASSERT_NE(mutex, nullptr);
    pid_t child = Fork([&] {
        auto m = NamedMutex::Open(name);
        if (!m || m->Lock() != WaitResult::Signaled) return 1;
        _exit(0);  // dies holding it
    });
    ASSERT_EQ(ExitCode(child), 0);
    EXPECT_EQ(mutex->Lock(kInfinite), WaitResult::Abandoned);
    mutex->Unlock();
    EXPECT_EQ(mutex->Lock(0), WaitResult::Signaled);
    mutex->Unlock();
}

}  // namespace
}  // namespace plat
