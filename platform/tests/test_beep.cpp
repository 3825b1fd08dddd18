// Tones reach the installed sink; without one they are dropped.
#include <gtest/gtest.h>
#include <platform/beep.h>

TEST(Beep, TonesReachTheInstalledSinkOnly) {
    plat::Beep(440, 5);  // no sink: nothing to observe, nothing breaks
    auto sink = std::make_shared<plat::RecordingBeepSink>();
    plat::SetBeepSink(sink);
    plat::Beep(1500, 5);
    plat::Beep(500, 7);
    plat::SetBeepSink(nullptr);
    plat::Beep(1000, 5);
    auto heard = sink->Heard();
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].frequencyHz, 1500u);
    EXPECT_EQ(heard[1].durationMs, 7u);
}
