// The headless command line and the status and summary lines a script reads.
#include <gtest/gtest.h>
#include <headless/headless_options.h>
#include <headless/status_line.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

using headless::ParseFields;
using headless::ParseHeadlessOptions;

TEST(HeadlessOptions, SwitchedOnByTheFlagOrTheEnvironmentOnly) {
    EXPECT_TRUE(headless::HeadlessRequested({"--engine", "127.0.0.1:1", "--headless"}, nullptr));
    EXPECT_TRUE(headless::HeadlessRequested({}, "1"));
    EXPECT_FALSE(headless::HeadlessRequested({}, "0"));
    EXPECT_FALSE(headless::HeadlessRequested({}, ""));
    EXPECT_FALSE(headless::HeadlessRequested({"--home", "/tmp/x"}, nullptr));
}

TEST(HeadlessOptions, ValuesAreCheckedBeforeUse) {
    const auto ok = ParseHeadlessOptions(
        {"--headless", "--task", "遥测A", "--engine", "127.0.0.1:10001", "--quit-after", "12"});
    ASSERT_TRUE(ok.options) << ok.error;
    EXPECT_EQ(ok.options->task, "遥测A");
    EXPECT_EQ(ok.options->engine, "127.0.0.1:10001");
    EXPECT_EQ(ok.options->quitAfterSeconds, 12);

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--task"},
                                                {"--task", ""},
                                                {"--task", std::string(256, 'x')},
                                                {"--quit-after", "0"},
                                                {"--quit-after", "5s"},
                                                {"--quit-after", "99999999999"},
                                                {"--engine", "127.0.0.1"},
                                                {"--engine", "127.0.0.1:0"},
                                                {"--snapshot", "a.png"},
                                                {"--verbose"}}) {
        const auto r = ParseHeadlessOptions(bad);
        EXPECT_FALSE(r.options) << bad[0];
        EXPECT_FALSE(r.error.empty()) << bad[0];
    }
}

TEST(StatusLine, EveryFieldParsesBackAndStoppedChecksShowOff) {
    headless::StatusSample s;
    s.seconds = 7;
    s.bitSync = true;
    s.subframeSync = true;
    s.syncLoss = 0;
    s.dayOfYear = 343;
    s.framesPerSecond = 5208;
    s.recordedBytes = 1234567;
    s.packetsSent = 890;
    s.jumps = {0, std::nullopt, 3};
    s.ringLostFrames = 12;
    s.sendDroppedFrames = 34;
    s.link = "down";
    const auto f = ParseFields(headless::FormatStatusLine(s), "status");
    ASSERT_TRUE(f);
    const std::map<std::string, std::string> want{{"t", "7"},
                                                  {"bit", "1"},
                                                  {"sub", "1"},
                                                  {"super", "0"},
                                                  {"sync_loss", "0"},
                                                  {"day", "343"},
                                                  {"frames_per_s", "5208"},
                                                  {"recorded_bytes", "1234567"},
                                                  {"packets_sent", "890"},
                                                  {"frame_jumps", "0"},
                                                  {"id_jumps", "off"},
                                                  {"time_jumps", "3"},
                                                  {"ring_lost", "12"},
                                                  {"send_dropped", "34"},
                                                  {"link", "down"}};
    EXPECT_EQ(*f, want);
    EXPECT_FALSE(ParseFields(headless::FormatStatusLine(s), "summary"));
    EXPECT_FALSE(ParseFields("status t=1 broken", "status"));
}

TEST(StatusLine, SummaryKeepsARecordingPathWithBlanksInOneField) {
    headless::RunSummary s;
    s.seconds = 10;
    s.frames = 52080;
    s.recordingFile = "/srv/rec dir/a.dat";
    const auto f = ParseFields(headless::FormatSummary(s), "summary");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->at("recording"), "/srv/rec\\x20dir/a.dat");
    EXPECT_EQ(f->at("frames"), "52080");
    EXPECT_EQ(f->at("frame_jumps"), "off");
    EXPECT_EQ(f->at("link"), "closed");
    EXPECT_EQ(f->at("link_losses"), "0");
    EXPECT_EQ(ParseFields(headless::FormatSummary({}), "summary")->at("recording"), "-");
}

TEST(HeadlessOptions, AConfigFileThatCannotBeReadIsTold) {
    const std::string dir = ::testing::TempDir() + "/headless_cfg_" + std::to_string(::getpid());
    std::filesystem::create_directories(dir + "/Para.ini");
    EXPECT_FALSE(headless::ConfigFileReadable(dir + "/Para.ini"));
    EXPECT_TRUE(headless::ConfigFileReadable(dir + "/missing.ini"));
    std::ofstream(dir + "/empty.ini").flush();
    EXPECT_TRUE(headless::ConfigFileReadable(dir + "/empty.ini"));
    std::filesystem::remove_all(dir);
}

}  // namespace
