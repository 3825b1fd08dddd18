// Opening card 0 of the BB_ interface against a cardengine of the test.
#pragma once

#include <bbdevice/bbdevice.h>
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>
#include <platform/notify.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace bbdev::enginetest {

inline int NoData(DemReportBlock*) {
    return 0;
}

inline void PointAt(std::uint16_t port) {
    ::setenv("TALVORA_ENGINE", ("127.0.0.1:" + std::to_string(port)).c_str(), 1);
}

// Messages shown by the library are captured; card 0 is closed at the end.
class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        sink_ = std::make_shared<plat::CapturingSink>();
        plat::SetNotifySink(sink_);
    }
    void TearDown() override {
        if (BB_GetActiveBandCaseSumInApp() > 0) BB_CloseDevice(0);
        plat::SetNotifySink(nullptr);
    }
    std::vector<std::string> Shown() const {
        std::vector<std::string> texts;
        for (const auto& r : sink_->Shown()) texts.push_back(r.text);
        return texts;
    }
    std::shared_ptr<plat::CapturingSink> sink_;
};

template <class Pred>
bool WaitUntil(Pred pred, unsigned limitMs = 10000) {
    for (unsigned waited = 0; !pred(); waited += 20) {
        if (waited >= limitMs) return false;
        cardengine::testkit::SleepMs(20);
    }
    return true;
}

inline std::vector<std::uint8_t> BytesOf(const void* p, std::size_t n) {
    auto b = static_cast<const std::uint8_t*>(p);
    return {b, b + n};
}

}  // namespace bbdev::enginetest
