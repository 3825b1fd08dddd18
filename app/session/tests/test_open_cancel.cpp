// Cancelling a card open from another thread: an open that waits for the
// card function information ends as a failed open without its failure box,
// and the engine sees its connection closed; a cancel that finds no open
// under way leaves an open card alone.
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>
#include <platform/notify.h>
#include <session/card_session.h>
#include <taskbook/taskbook.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "session_fixture.h"
#include "testsupport/wait.h"

using namespace session;
using namespace std::chrono_literals;
using cardengine::testkit::EngineProcess;

namespace {

class OpenCancelTest : public sessiontest::SessionFixture {
protected:
    void TearDown() override {
        if (opener_.joinable()) opener_.join();
        SessionFixture::TearDown();
    }

    // The open asked for the card function information: it is now waiting.
    bool InfoRequested() const {
        for (const auto& r : engine_->Received(1))
            if (r.module == 1 && r.operation == 5 && r.Word(0) == 1) return true;
        return false;
    }
    bool EngineClosed() const { return engine_->CountLines("close 1") > 0; }

    void OpenOnThread() {
        opener_ = std::thread([this] {
            session_->OpenCard();
            openDone_ = true;
        });
    }

    std::thread opener_;
    std::atomic<bool> openDone_{false};
};

TEST_F(OpenCancelTest, CancelledOpenFailsQuietlyAndTheEngineSeesTheConnectionClosed) {
    StartEngine({"--function-info-delay-ms", "60000"});
    OpenOnThread();
    ASSERT_WAIT_UNTIL(InfoRequested(), 20s);

    EXPECT_TRUE(session_->CancelOpen());
    EXPECT_WAIT_UNTIL(openDone_.load(), 20s);
    opener_.join();

    EXPECT_EQ(flags_.cardOpen, 0);
    EXPECT_EQ(flags_.cardInitialising, 0);
    EXPECT_EQ(flags_.paramsApplied, 0);
    EXPECT_TRUE(Logged("基带卡初始化失败"));
    EXPECT_TRUE(sink_->Shown().empty()) << sink_->Shown().front().text;
    EXPECT_EQ(BB_GetActiveBandCaseSumInApp(), 0u);
    EXPECT_WAIT_UNTIL(EngineClosed(), 20s);

    // A cancel is not left behind: the next open, of an engine that answers,
    // succeeds.
    EXPECT_FALSE(session_->CancelOpen());
    StartEngine({});
    session_->OpenCard();
    EXPECT_EQ(flags_.cardOpen, 1);
    EXPECT_TRUE(sink_->Shown().empty());
}

TEST_F(OpenCancelTest, CancelWithoutAnOpenUnderWayLeavesAnOpenCardOpen) {
    StartEngine({});
    session_->OpenCard();
    ASSERT_EQ(flags_.cardOpen, 1);

    EXPECT_FALSE(session_->CancelOpen());
    EXPECT_EQ(flags_.cardOpen, 1);
    EXPECT_EQ(BB_GetActiveBandCaseSumInApp(), 1u);
    CardFunctionInfo info{};
    EXPECT_NE(BB_GetCardFunctionInfo(0, &info), 0);  // still connected

    EXPECT_TRUE(session_->CloseCard());
    EXPECT_WAIT_UNTIL(EngineClosed(), 20s);
}

}  // namespace
