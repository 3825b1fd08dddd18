// A main frame in a fresh module directory with message boxes captured.
#pragma once

#include <gtest/gtest.h>
#include <platform/notify.h>
#include <platform/paths.h>

#include <QApplication>
#include <QTemporaryDir>
#include <memory>
#include <mutex>
#include <vector>

#include "main_frame.h"

// Records every box; answers the exit question as the test says and every
// other box (a card that is not there, a missing task store) with its default.
class ExitAnsweringSink : public plat::NotifySink {
public:
    int Show(const plat::MessageRequest& r) override {
        std::lock_guard lock(mutex_);
        shown_.push_back(r);
        return r.text == "你确定要退出软件！" ? exitAnswer_ : plat::DefaultAnswer(r.type);
    }
    void AnswerExit(int answer) {
        std::lock_guard lock(mutex_);
        exitAnswer_ = answer;
    }
    std::vector<plat::MessageRequest> ExitQuestions() const {
        std::lock_guard lock(mutex_);
        std::vector<plat::MessageRequest> out;
        for (const auto& r : shown_)
            if (r.text == "你确定要退出软件！") out.push_back(r);
        return out;
    }

private:
    mutable std::mutex mutex_;
    std::vector<plat::MessageRequest> shown_;
    int exitAnswer_ = plat::IDOK;
};

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        plat::SetModuleDirectory(home_.path().toStdString());
        sink_ = std::make_shared<ExitAnsweringSink>();
        plat::SetNotifySink(sink_);
    }
    void TearDown() override {
        frame_.reset();
        plat::SetNotifySink(nullptr);
        plat::SetModuleDirectory("");
    }
    CMainFrame* MakeFrame() {
        frame_ = std::make_unique<CMainFrame>();
        frame_->m_strEventPrefix =
            "test-" + std::to_string(QCoreApplication::applicationPid()) + "-";
        EXPECT_TRUE(frame_->OnCreate());
        frame_->resize(1280, 900);
        frame_->show();
        QApplication::processEvents();
        return frame_.get();
    }
    std::string Home() const { return home_.path().toStdString(); }

    QTemporaryDir home_;
    std::shared_ptr<ExitAnsweringSink> sink_;
    std::unique_ptr<CMainFrame> frame_;
};
