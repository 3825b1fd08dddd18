// Leaving the program while its card-open thread still waits for the card
// function information: the exit ends that open, waits for the thread and
// leaves no card open, whether the information would have come before the
// open gives up or never in time.
#include <bbdevice/bbdevice.h>
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>
#include <platform/codepage.h>
#include <platform/notify.h>

#include <QApplication>
#include <QCoreApplication>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "main_frame.h"
#include "testsupport/loopback.h"
#include "testsupport/temp_home.h"
#include "testsupport/wait.h"

using namespace std::chrono_literals;
using cardengine::testkit::EngineProcess;

namespace {

class ExitDuringOpenTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(home_.path().empty());
        sink_ = std::make_shared<plat::CapturingSink>();
        plat::SetNotifySink(sink_);
    }
    void TearDown() override {
        frame_.reset();
        if (BB_GetActiveBandCaseSumInApp() > 0) BB_CloseDevice(0);
        engine_.reset();
        plat::SetNotifySink(nullptr);
    }

    // A frame whose card is an engine that answers the open only after
    // `infoDelayMs`; returns once the open waits for that answer.
    void StartFrameWaitingForTheCard(unsigned infoDelayMs) {
        engine_ = std::make_unique<EngineProcess>(
            std::vector<std::string>{"--function-info-delay-ms", std::to_string(infoDelayMs)});
        ASSERT_TRUE(engine_->started());
        ASSERT_TRUE(talvora::test::RequireLoopback(engine_->Address()));
        ::setenv("TALVORA_ENGINE", engine_->Address().c_str(), 1);
        frame_ = std::make_unique<CMainFrame>();
        frame_->m_strEventPrefix =
            "exit-test-" + std::to_string(QCoreApplication::applicationPid()) + "-";
        ASSERT_TRUE(frame_->OnCreate());
        frame_->show();
        ASSERT_WAIT_UNTIL(InfoRequested(), 20s);
    }

    bool InfoRequested() const {
        for (const auto& r : engine_->Received(1))
            if (r.module == 1 && r.operation == 5 && r.Word(0) == 1) return true;
        return false;
    }
    bool EngineClosed() const { return engine_->CountLines("close 1") > 0; }

    bool Shown(const std::string& text) const {
        for (const auto& r : sink_->Shown())
            if (r.text == text) return true;
        return false;
    }

    std::string Journal() const {
        std::string text;
        for (const auto& entry : std::filesystem::directory_iterator(home_ / "Log")) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::stringstream ss;
            ss << in.rdbuf();
            text += plat::GbkToUtf8(ss.str());
        }
        return text;
    }

    // The exit and what it must leave behind.
    void ExitAndCheckNothingIsLeftOpen() {
        frame_->CloseWithoutAsking();
        ASSERT_TRUE(frame_->ExitSequenceDone());
        EXPECT_EQ(frame_->m_bCardOpen, 0);
        EXPECT_EQ(BB_GetActiveBandCaseSumInApp(), 0u);
        EXPECT_FALSE(Shown("设备连接打开失败！"));
        EXPECT_FALSE(Shown("基带卡关闭失败！\n\n"));
        EXPECT_WAIT_UNTIL(EngineClosed(), 20s);
        const std::string journal = Journal();
        const std::string tail = "退出软件！\r\n";
        ASSERT_GE(journal.size(), tail.size());
        EXPECT_EQ(journal.substr(journal.size() - tail.size()), tail);
    }

    talvora::test::TempHome home_;
    std::shared_ptr<plat::CapturingSink> sink_;
    std::unique_ptr<EngineProcess> engine_;
    std::unique_ptr<CMainFrame> frame_;
};

TEST_F(ExitDuringOpenTest, AnswerThatWouldComeAfterTheCardCloseDoesNotOpenTheCard) {
    // Within the open's own limit: without the cancel, the open would
    // succeed after the exit had passed the card close.
    StartFrameWaitingForTheCard(1000);
    ExitAndCheckNothingIsLeftOpen();
}

TEST_F(ExitDuringOpenTest, OpenThatWouldTimeOutEndsWithoutItsFailureBox) {
    StartFrameWaitingForTheCard(60000);
    ExitAndCheckNothingIsLeftOpen();
}

TEST_F(ExitDuringOpenTest, DestroyingAFrameThatNeverExitedEndsTheOpen) {
    StartFrameWaitingForTheCard(60000);
    frame_.reset();
    EXPECT_EQ(BB_GetActiveBandCaseSumInApp(), 0u);
    EXPECT_FALSE(Shown("设备连接打开失败！"));
    EXPECT_WAIT_UNTIL(EngineClosed(), 20s);
}

}  // namespace
