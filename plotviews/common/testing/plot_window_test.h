// Fixture of the device plot window tests: a private home and named-object
// namespace, message boxes captured, a shown main window whose MDI area is
// the windows' parent, and card 0 opened against the loopback card engine.
#pragma once

#include <bbdevice/bbdevice.h>
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <unistd.h>

#include <QMainWindow>
#include <QMdiArea>
#include <cstdlib>
#include <memory>
#include <string>

#include "testsupport/loopback.h"
#include "testsupport/temp_home.h"

namespace plotviews::testing {

class PlotWindowTest : public ::testing::Test {
protected:
    explicit PlotWindowTest(std::string objectNamespace, QSize size = QSize(1200, 700))
        : namespace_(std::move(objectNamespace)), size_(size) {}

    void SetUp() override {
        ::setenv("TALVORA_OBJECT_NAMESPACE",
                 (namespace_ + "-" + std::to_string(::getpid())).c_str(), 1);
        plat::SetModuleDirectory(home_.path());
        sink_ = std::make_shared<plat::CapturingSink>();
        plat::SetNotifySink(sink_);
        main_.setCentralWidget(area_);
        main_.resize(size_);
        main_.show();
    }
    // Fixtures that keep windows close them first, then call this.
    void TearDown() override {
        if (BB_GetActiveBandCaseSumInApp() > 0) BB_CloseDevice(0);
        plat::SetNotifySink(nullptr);
        plat::SetModuleDirectory("");
    }

    // Card 0 against `engine`; its data blocks go to `onData`, or nowhere.
    bool OpenCard(cardengine::testkit::EngineProcess& engine, DemDataCallback onData = nullptr) {
        if (!engine.started() || !talvora::test::RequireLoopback(engine.Address())) return false;
        ::setenv("TALVORA_ENGINE", engine.Address().c_str(), 1);
        CardFunctionInfo info{};
        return BB_OpenDevice(0, onData ? onData : &DropBlock, 0, &info) != 0;
    }
    // A message box with this text was shown.
    bool Shown(const std::string& text) const {
        for (const auto& r : sink_->Shown())
            if (r.text == text) return true;
        return false;
    }

    talvora::test::TempHome home_;
    std::shared_ptr<plat::CapturingSink> sink_;
    QMainWindow main_;
    QMdiArea* area_ = new QMdiArea;

private:
    static int DropBlock(DemReportBlock*) { return 0; }

    std::string namespace_;
    QSize size_;
};

}  // namespace plotviews::testing
