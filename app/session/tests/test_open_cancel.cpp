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

#include "store.h"
#include "testsupport/loopback.h"
#include "testsupport/temp_home.h"
#include "testsupport/wait.h"

using namespace session;
using namespace std::chrono_literals;
using cardengine::testkit::EngineProcess;

namespace {

int IgnoreBlock(DemReportBlock*) {
    return 0;
}

struct Flags {
    std::atomic<int> cardOpen{0}, cardInitialising{1}, paramsApplied{0}, streamNo{1};
    std::atomic<int> recording{0}, replayRunning{0}, frameCountStatOn{0}, idStatOn{0},
        timeStatOn{0};
    std::atomic<int> bitErrorOn{0}, stdFrameCaptured{0}, afterDecryption{0}, decryptionSwitch{0},
        liftOffEnable{0};
    SessionFlags Bind() {
        return {.cardOpen = cardOpen,
                .cardInitialising = cardInitialising,
                .paramsApplied = paramsApplied,
                .streamNo = streamNo,
                .recording = recording,
                .replayRunning = replayRunning,
                .frameCountStatOn = frameCountStatOn,
                .idStatOn = idStatOn,
                .timeStatOn = timeStatOn,
                .bitErrorOn = bitErrorOn,
                .stdFrameCaptured = stdFrameCaptured,
                .afterDecryption = afterDecryption,
                .decryptionSwitch = decryptionSwitch,
                .liftOffEnable = liftOffEnable};
    }
};

class OpenCancelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(home_.path().empty());
        ::setenv("TALVORA_OBJECT_NAMESPACE", ("open-cancel-" + std::to_string(::getpid())).c_str(),
                 1);
        taskbook::TaskStore::Instance().ResetForTest();
        sink_ = std::make_shared<plat::CapturingSink>();
        plat::SetNotifySink(sink_);
        info_ = std::make_unique<TaskInfoRecord>();
        dem_ = std::make_unique<DemTaskRecord>();
        sim_ = std::make_unique<SimTaskRecord>();
        time_ = std::make_unique<TimeTaskRecord>();
        recv_ = std::make_unique<RecvTaskRecord>();
        SessionHooks hooks;
        hooks.log = [this](std::string s) {
            std::lock_guard lock(logMutex_);
            log_.push_back(std::move(s));
        };
        session_ = std::make_unique<CardSession>(
            TaskRecordSet{info_.get(), dem_.get(), sim_.get(), time_.get(), recv_.get()},
            flags_.Bind(), hooks, &IgnoreBlock);
    }

    void TearDown() override {
        if (opener_.joinable()) opener_.join();
        session_.reset();
        if (BB_GetActiveBandCaseSumInApp() > 0) BB_CloseDevice(0);
        engine_.reset();
        plat::SetNotifySink(nullptr);
        taskbook::TaskStore::Instance().ResetForTest();
    }

    void StartEngine(std::vector<std::string> args) {
        engine_ = std::make_unique<EngineProcess>(std::move(args));
        ASSERT_TRUE(engine_->started());
        ASSERT_TRUE(talvora::test::RequireLoopback(engine_->Address()));
        ::setenv("TALVORA_ENGINE", engine_->Address().c_str(), 1);
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

    bool Logged(const std::string& text) {
        std::lock_guard lock(logMutex_);
        for (const auto& l : log_)
            if (l == text) return true;
        return false;
    }

    talvora::test::TempHome home_;
    std::shared_ptr<plat::CapturingSink> sink_;
    std::unique_ptr<EngineProcess> engine_;
    std::unique_ptr<TaskInfoRecord> info_;
    std::unique_ptr<DemTaskRecord> dem_;
    std::unique_ptr<SimTaskRecord> sim_;
    std::unique_ptr<TimeTaskRecord> time_;
    std::unique_ptr<RecvTaskRecord> recv_;
    Flags flags_;
    std::mutex logMutex_;
    std::vector<std::string> log_;
    std::unique_ptr<CardSession> session_;
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
