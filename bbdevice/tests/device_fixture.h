// Opening card 0 of the BB_ interface against a cardengine of the test.
#pragma once

#include <bbdevice/bbdevice.h>
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>
#include <platform/notify.h>
#include <testsupport/wait.h>

#include <algorithm>
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
    return talvora::test::WaitUntil(pred, std::chrono::milliseconds(limitMs));
}

// The commands the test sent after the first `skip` of connection 1, across
// every connection: a starved engine makes the library reconnect, and the
// watchdog's re-send that opens a later connection (from the demodulator
// record to its second copy) is left out.
inline std::vector<cardengine::testkit::ReceivedCommand> CommandsSent(
    const cardengine::testkit::EngineProcess& engine, std::size_t skip) {
    std::vector<cardengine::testkit::ReceivedCommand> out;
    const int connections = engine.CountLines("accept ");
    for (int k = 1; k <= connections; ++k) {
        auto received = engine.Received(k);
        std::size_t from = k == 1 ? std::min(skip, received.size()) : 0;
        auto isDem = [&](std::size_t i) {
            return received[i].module == 2 && received[i].operation == 3;
        };
        if (k > 1 && !received.empty() && isDem(0)) {
            from = 1;
            while (from < received.size() && !isDem(from)) ++from;
            from = std::min(from + 1, received.size());
        }
        out.insert(out.end(), received.begin() + from, received.end());
    }
    return out;
}

inline std::vector<std::uint8_t> BytesOf(const void* p, std::size_t n) {
    auto b = static_cast<const std::uint8_t*>(p);
    return {b, b + n};
}

}  // namespace bbdev::enginetest
