// Bounded waits for the data path's tests: a condition that does not come true in
// time fails the test with a message instead of hanging the run.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace testwait {

// Polls pred() until it holds or `limit` has passed; between polls runs
// idle(), which keeps an event loop turning in window tests.
template <class Pred, class Idle>
::testing::AssertionResult WaitUntil(Pred pred, std::chrono::milliseconds limit, Idle idle) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (pred()) return ::testing::AssertionSuccess();
        if (std::chrono::steady_clock::now() >= deadline)
            return ::testing::AssertionFailure()
                   << "condition not met within " << limit.count() << " ms";
        idle();
    }
}

template <class Pred>
::testing::AssertionResult WaitUntil(Pred pred, std::chrono::milliseconds limit) {
    return WaitUntil(pred, limit,
                     [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
}

}  // namespace testwait
