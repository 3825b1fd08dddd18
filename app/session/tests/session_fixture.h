// A card session over fresh task records and a fresh task store, with the
// frame's flags, the boxes and journal lines it produces captured, and the
// card at a loopback port nobody listens on until a test starts its engine.
#pragma once

#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>
#include <platform/notify.h>
#include <session/card_session.h>
#include <taskbook/task_store.h>
#include <taskbook/taskbook.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "testsupport/loopback.h"
#include "testsupport/temp_home.h"

namespace sessiontest {

inline int IgnoreBlocks(DemReportBlock*) {
    return 0;
}

// The frame's flags, named at the binding so two cannot be swapped.
struct Flags {
    std::atomic<int> cardOpen{0}, cardInitialising{1}, paramsApplied{0}, streamNo{1};
    std::atomic<int> recording{0}, replayRunning{0}, frameCountStatOn{0}, idStatOn{0},
        timeStatOn{0};
    std::atomic<int> bitErrorOn{0}, stdFrameCaptured{0}, afterDecryption{0}, decryptionSwitch{0},
        liftOffEnable{0};
    session::SessionFlags Bind() {
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

class SessionFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(home_.path().empty());
        ::setenv("TALVORA_ENGINE",
                 ("127.0.0.1:" + std::to_string(cardengine::testkit::FreeLoopbackPort())).c_str(),
                 1);
        ::setenv("TALVORA_OBJECT_NAMESPACE", ("session-test-" + std::to_string(::getpid())).c_str(),
                 1);
        taskbook::TaskStore::Instance().ResetForTest();
        sink_ = std::make_shared<plat::CapturingSink>();
        plat::SetNotifySink(sink_);

        info_ = std::make_unique<TaskInfoRecord>();
        dem_ = std::make_unique<DemTaskRecord>();
        sim_ = std::make_unique<SimTaskRecord>();
        time_ = std::make_unique<TimeTaskRecord>();
        recv_ = std::make_unique<RecvTaskRecord>();
        session::SessionHooks hooks;
        hooks.log = [this](std::string s) {
            std::lock_guard lock(logMutex_);
            log_.push_back(std::move(s));
        };
        AddHooks(hooks);
        session_ = std::make_unique<session::CardSession>(
            session::TaskRecordSet{info_.get(), dem_.get(), sim_.get(), time_.get(), recv_.get()},
            flags_.Bind(), hooks, DataCallback());
    }

    void TearDown() override {
        session_.reset();
        if (BB_GetActiveBandCaseSumInApp() > 0) BB_CloseDevice(0);
        engine_.reset();
        plat::SetNotifySink(nullptr);
        taskbook::TaskStore::Instance().ResetForTest();
    }

    // A test fixture's own hooks beside the captured journal.
    virtual void AddHooks(session::SessionHooks&) {}
    virtual DemDataCallback DataCallback() { return &IgnoreBlocks; }

    void StartEngine(std::vector<std::string> args = {}) {
        engine_ = std::make_unique<cardengine::testkit::EngineProcess>(std::move(args));
        ASSERT_TRUE(engine_->started());
        ASSERT_TRUE(talvora::test::RequireLoopback(engine_->Address()));
        ::setenv("TALVORA_ENGINE", engine_->Address().c_str(), 1);
    }

    bool Logged(const std::string& text) {
        std::lock_guard lock(logMutex_);
        for (const auto& l : log_)
            if (l == text) return true;
        return false;
    }
    bool LoggedStartingWith(const std::string& prefix) {
        std::lock_guard lock(logMutex_);
        for (const auto& l : log_)
            if (l.rfind(prefix, 0) == 0) return true;
        return false;
    }

    talvora::test::TempHome home_;  // module directory and XDG_CONFIG_HOME
    std::shared_ptr<plat::CapturingSink> sink_;
    std::unique_ptr<cardengine::testkit::EngineProcess> engine_;
    std::unique_ptr<TaskInfoRecord> info_;
    std::unique_ptr<DemTaskRecord> dem_;
    std::unique_ptr<SimTaskRecord> sim_;
    std::unique_ptr<TimeTaskRecord> time_;
    std::unique_ptr<RecvTaskRecord> recv_;
    Flags flags_;
    std::mutex logMutex_;
    std::vector<std::string> log_;
    std::unique_ptr<session::CardSession> session_;
};

}  // namespace sessiontest
