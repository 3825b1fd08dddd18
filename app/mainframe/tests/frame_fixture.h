// A main frame in a fresh module directory with message boxes captured. The
// frame's card is a closed loopback port (its open fails at once) and its data
// sources are registered under the temporary home's XDG_CONFIG_HOME.
#pragma once

#include <cardengine/testkit/engine_process.h>
#include <config/para_config.h>
#include <gtest/gtest.h>
#include <platform/notify.h>
#include <platform/paths.h>

#include <QApplication>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "main_frame.h"
#include "testsupport/loopback.h"
#include "testsupport/temp_home.h"

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
        ASSERT_FALSE(home_.path().empty());
        UseEngine("127.0.0.1:" + std::to_string(cardengine::testkit::FreeLoopbackPort()));
        UseLoopbackNetwork();
        sink_ = std::make_shared<ExitAnsweringSink>();
        plat::SetNotifySink(sink_);
    }
    void TearDown() override {
        frame_.reset();
        plat::SetNotifySink(nullptr);
    }
    // The engine the frame's card-open thread connects to ("host:port").
    void UseEngine(const std::string& address) { ::setenv("TALVORA_ENGINE", address.c_str(), 1); }
    // The network output of this home on 127.0.0.1 with free ports and a
    // test group, so that no frame sends to a station address.
    cfg::NetworkConfig UseLoopbackNetwork() {
        using cardengine::testkit::FreeLoopbackPort;
        cfg::NetworkConfig n;
        n.multicastAddr = "239.255.44.9";
        n.gpsMulticastAddr = "239.255.44.8";
        n.multicastLocalIp = n.broadcastLocalIp = n.unicastDestIp = "127.0.0.1";
        n.multicastPort = FreeLoopbackPort();
        n.multicastDestPort = FreeLoopbackPort();
        n.gpsMulticastPort = FreeLoopbackPort();
        n.broadcastPort = FreeLoopbackPort();
        n.unicastLocalPort = FreeLoopbackPort();
        n.unicastDestPort = FreeLoopbackPort();
        EXPECT_TRUE(cfg::SaveNetworkConfig(home_.path(), n));
        ::setenv("MCASTLIB_IF", "127.0.0.1", 1);
        return n;
    }
    // A frame constructed but not yet created.
    CMainFrame* NewFrame() {
        // Ends the test rather than let the card-open thread reach a card.
        if (const auto loopback = talvora::test::RequireLoopbackEngine(); !loopback) {
            ADD_FAILURE() << loopback.message();
            throw std::runtime_error("no frame without a loopback engine");
        }
        frame_ = std::make_unique<CMainFrame>();
        frame_->m_strEventPrefix =
            "test-" + std::to_string(QCoreApplication::applicationPid()) + "-";
        return frame_.get();
    }
    CMainFrame* MakeFrame() {
        NewFrame();
        EXPECT_TRUE(frame_->OnCreate());
        frame_->resize(1280, 900);
        frame_->show();
        QApplication::processEvents();
        return frame_.get();
    }
    std::string Home() const { return home_.path(); }
    std::string ConfigHome() const { return home_.configHome(); }

    // Module directory and XDG_CONFIG_HOME, put back after the test.
    talvora::test::TempHome home_;
    std::shared_ptr<ExitAnsweringSink> sink_;
    std::unique_ptr<CMainFrame> frame_;
};
