// Bounded waiting for tests: a condition that never comes true fails the test
// with a message instead of hanging the run.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string_view>

namespace talvora::test {

// Evaluates `pred` until it returns true or `timeout` has passed; the result is
// the last evaluation, taken once more at the deadline. Between evaluations the
// poll step runs (a short sleep; the window-test main also handles Qt events).
bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout);

// The same for gtest: on a timeout the result carries "timed out after N ms
// waiting for <what>". Use as ASSERT_TRUE(WaitUntil(pred, 5s, "the reply")).
::testing::AssertionResult WaitUntil(const std::function<bool()>& pred,
                                     std::chrono::milliseconds timeout, std::string_view what);

// What runs between two evaluations of a predicate; an empty function restores
// the short sleep. Set once by a test main, before tests run.
void SetPollStep(std::function<void()> step);

}  // namespace talvora::test

// ASSERT_WAIT_UNTIL(engine.Commands().size() >= 3, 10s): the expression itself
// names what was awaited in the failure message.
#define ASSERT_WAIT_UNTIL(condition, timeout) \
    ASSERT_TRUE(::talvora::test::WaitUntil([&] { return bool(condition); }, timeout, #condition))
#define EXPECT_WAIT_UNTIL(condition, timeout) \
    EXPECT_TRUE(::talvora::test::WaitUntil([&] { return bool(condition); }, timeout, #condition))
