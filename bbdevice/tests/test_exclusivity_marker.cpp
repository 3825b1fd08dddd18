// The in-use marker: a second holder of the same title finds the first,
// tells the user, closes its own window and raises the other.
#include <bbdevice/app_window.h>
#include <gtest/gtest.h>
#include <platform/notify.h>
#include <platform/winmsg.h>
#include <testsupport/wait.h>

#include <atomic>
#include <thread>

#include "exclusivity_marker.h"

namespace {

using namespace bbdev;

struct WindowProbe : plat::MessageReceiver {
    std::atomic<int> closes{0};
    std::atomic<std::uintptr_t> card{99};
    void OnMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t) override {
        if (msg == kWmClose) {
            card = wparam;
            ++closes;
        }
    }
};

TEST(ExclusivityMarker, TitleIsTheIdentifierAndTheEngineAddress) {
    EXPECT_EQ(MarkerTitle("192.168.1.100"), "{D48CA993-4925-41cb-8F59-ABAAAFCEF797}-192.168.1.100");
}

TEST(ExclusivityMarker, SecondHolderHandsTheCardToTheFirst) {
    auto sink = std::make_shared<plat::CapturingSink>();
    plat::SetNotifySink(sink);
    WindowProbe window;
    plat::RegisterWindow(&window, &window);
    std::atomic<int> raised{0};
    SetApplicationWindow(&window, [&] { ++raised; });

    const std::string title = MarkerTitle("127.0.0.1-test-" + std::to_string(::getpid()));
    ASSERT_FALSE(CExclusivityMarker::Exists(title));
    {
        CExclusivityMarker first(title);
        EXPECT_EQ(first.Establish(0), "");
        EXPECT_TRUE(first.owned());
        EXPECT_TRUE(sink->Shown().empty());

        CExclusivityMarker second(title);  // as another application would
        EXPECT_EQ(second.Establish(0), "【数字基带卡:0】已在其他应用程序打开!");
        EXPECT_FALSE(second.owned());
        const auto shown = sink->Shown();
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_EQ(shown[0].text, "当前【数字基带卡:0】已在其他应用程序打开!");
        EXPECT_EQ(shown[1].text, "【数字基带卡:0】已在其他应用程序打开!");
        EXPECT_EQ(window.closes.load(), 1);
        EXPECT_EQ(window.card.load(), 0u);
        EXPECT_WAIT_UNTIL(raised.load() != 0, std::chrono::seconds(5));
        EXPECT_EQ(raised.load(), 1);
    }
    EXPECT_FALSE(CExclusivityMarker::Exists(title));  // gone with its holder

    SetApplicationWindow(nullptr, nullptr);
    plat::UnregisterWindow(&window);
    plat::SetNotifySink(nullptr);
}

}  // namespace
