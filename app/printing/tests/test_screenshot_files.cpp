// Screenshot folders and names, the same-second suffix, and the workers.
#include <gtest/gtest.h>
#include <printing/screenshot_files.h>
#include <printing/screenshot_jobs.h>
#include <sys/stat.h>
#include <testsupport/temp_home.h>
#include <testsupport/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <future>

namespace {

using namespace printing;

bool Exists(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0;
}

TEST(ScreenshotFiles, TaskNamesLoseTheCharactersAFolderCannotHold) {
    EXPECT_EQ(TaskFolderName("*自检*"), "自检");
    EXPECT_EQ(TaskFolderName("a/b:c"), "abc");
    EXPECT_EQ(TaskFolderName("当前任务"), "当前任务");
    EXPECT_EQ(TaskFolderName("x\\y?\"<z>|"), "xyz");
    EXPECT_EQ(TaskFolderName("**"), "");
    EXPECT_EQ(TaskFolderName("."), "");
    EXPECT_EQ(TaskFolderName("/.."), "");
    EXPECT_EQ(TaskFolderName("..a"), "..a");
    EXPECT_EQ(ScreenshotFolder("/m", "*自检*"), "/m/Data/自检");
    EXPECT_EQ(ScreenshotFolder("/m", ".."), "/m/Data");
    EXPECT_EQ(ScreenshotFolder("/m", ""), "/m/Data");
}

TEST(ScreenshotFiles, StemIsTheLocalTimeInTwoDigitFields) {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 9;
    t.tm_hour = 8;
    t.tm_min = 5;
    t.tm_sec = 3;
    EXPECT_EQ(ScreenshotStem(t), "261209080503");
    t.tm_year = 2000 - 1900;
    EXPECT_EQ(ScreenshotStem(t), "001209080503");
}

TEST(ScreenshotFiles, SameSecondGetsASuffixAndTheFirstKeepsItsName) {
    talvora::test::TempDir dir;
    const std::string folder = dir.path() + "/Data/当前任务";
    std::string first, second, third;
    const int a = CreateScreenshotFile(folder, "261209080503", &first);
    const int b = CreateScreenshotFile(folder, "261209080503", &second);
    const int c = CreateScreenshotFile(folder, "261209080503", &third);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    ASSERT_GE(c, 0);
    ::close(a);
    ::close(b);
    ::close(c);
    EXPECT_EQ(first, folder + "/261209080503.bmp");
    EXPECT_EQ(second, folder + "/261209080503-2.bmp");
    EXPECT_EQ(third, folder + "/261209080503-3.bmp");
}

TEST(ScreenshotFiles, AFolderThatCannotBeMadeGivesNoFile) {
    talvora::test::TempDir dir;
    const std::string blocker = dir.path() + "/Data";
    std::ofstream(blocker) << "a file where the folder should be";
    std::string path = "unchanged";
    EXPECT_EQ(CreateScreenshotFile(blocker + "/任务", "261209080503", &path), -1);
    EXPECT_EQ(path, "unchanged");
    EXPECT_FALSE(Exists(blocker + "/任务"));
}

TEST(ScreenshotJobs, WaitAllWaitsForRunningWorkersWithinItsLimit) {
    ScreenshotJobs jobs;
    std::promise<void> release;
    std::shared_future<void> go = release.get_future().share();
    std::atomic<int> ran{0};
    ASSERT_TRUE(jobs.Start([&] {
        go.wait();
        ++ran;
    }));
    ASSERT_TRUE(jobs.Start([&] { ++ran; }));
    ASSERT_WAIT_UNTIL(ran.load() == 1, std::chrono::seconds(20));
    // The first is held: the wait ends at its limit with that worker left.
    EXPECT_FALSE(jobs.WaitAll(std::chrono::milliseconds(50)));
    EXPECT_EQ(jobs.Running(), 1);
    release.set_value();
    EXPECT_TRUE(jobs.WaitAll(std::chrono::seconds(20)));
    EXPECT_EQ(ran.load(), 2);
    EXPECT_EQ(jobs.Running(), 0);
}

}  // namespace
