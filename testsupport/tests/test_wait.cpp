#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "testsupport/wait.h"

namespace talvora::test {
namespace {

using namespace std::chrono_literals;

TEST(WaitUntil, SeesAConditionSetByAnotherThread) {
    std::atomic<bool> ready{false};
    std::thread setter([&] { ready = true; });
    EXPECT_TRUE(WaitUntil([&] { return ready.load(); }, 30s));
    setter.join();
}

TEST(WaitUntil, GivesUpWithTheLastAnswerAndEvaluatesAtTheDeadline) {
    int calls = 0;
    EXPECT_FALSE(WaitUntil(
        [&] {
            ++calls;
            return false;
        },
        20ms));
    EXPECT_GE(calls, 1);

    // A zero timeout still asks once: a condition that holds already is met.
    calls = 0;
    EXPECT_TRUE(WaitUntil(
        [&] {
            ++calls;
            return true;
        },
        0ms));
    EXPECT_EQ(calls, 1);

    EXPECT_FALSE(WaitUntil(std::function<bool()>(), 10ms));
}

TEST(WaitUntil, TimeoutMessageNamesWhatWasAwaited) {
    const ::testing::AssertionResult r = WaitUntil([] { return false; }, 5ms, "the engine's reply");
    ASSERT_FALSE(r);
    const std::string text = r.message();
    EXPECT_NE(text.find("timed out after 5 ms"), std::string::npos) << text;
    EXPECT_NE(text.find("the engine's reply"), std::string::npos) << text;
    EXPECT_TRUE(WaitUntil([] { return true; }, 5ms, "anything"));
}

TEST(WaitUntil, MacrosFailTheTestWithTheCondition) {
    bool never = false;
    EXPECT_NONFATAL_FAILURE(EXPECT_WAIT_UNTIL(never, 5ms), "waiting for never");
    EXPECT_FATAL_FAILURE(ASSERT_WAIT_UNTIL(1 + 1 == 3, 5ms), "waiting for 1 + 1 == 3");
    int polls = 0;
    EXPECT_WAIT_UNTIL(++polls >= 3, 30s);
    EXPECT_EQ(polls, 3);
}

TEST(WaitUntil, RunsTheInstalledPollStepBetweenEvaluations) {
    int steps = 0;
    SetPollStep([&] { ++steps; });
    const bool met = WaitUntil([&] { return steps >= 3; }, 30s);
    SetPollStep({});
    EXPECT_TRUE(met);
    EXPECT_EQ(steps, 3);
}

}  // namespace
}  // namespace talvora::test
