// A main frame in a fresh module directory with message boxes captured.
#pragma once

#include "main_frame.h"

#include <platform/notify.h>
#include <platform/paths.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include <memory>

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        plat::SetModuleDirectory(home_.path().toStdString());
        sink_ = std::make_shared<plat::CapturingSink>();
        plat::SetNotifySink(sink_);
    }
    void TearDown() override {
        frame_.reset();
        plat::SetNotifySink(nullptr);
        plat::SetModuleDirectory("");
    }
    CMainFrame* MakeFrame() {
        frame_ = std::make_unique<CMainFrame>();
        frame_->m_strEventPrefix = "test-" + std::to_string(QCoreApplication::applicationPid()) + "-";
        EXPECT_TRUE(frame_->OnCreate());
        frame_->resize(1280, 900);
        frame_->show();
        QApplication::processEvents();
        return frame_.get();
    }
    std::string Home() const { return home_.path().toStdString(); }

    QTemporaryDir home_;
    std::shared_ptr<plat::CapturingSink> sink_;
    std::unique_ptr<CMainFrame> frame_;
};
