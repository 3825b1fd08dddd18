#include <gtest/gtest.h>

#include <thread>

#include "platform/notify.h"

namespace plat {
namespace {

TEST(Notify, DefaultButtonFollowsTypeAndDefButtonFlag) {
    EXPECT_EQ(DefaultAnswer(MB_OK | MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(DefaultAnswer(MB_OKCANCEL), IDOK);
    EXPECT_EQ(DefaultAnswer(MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
    EXPECT_EQ(DefaultAnswer(MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(DefaultAnswer(MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(DefaultAnswer(MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
    EXPECT_EQ(DefaultAnswer(MB_RETRYCANCEL | MB_ICONWARNING), IDRETRY);
    EXPECT_EQ(DefaultAnswer(MB_ABORTRETRYIGNORE | MB_DEFBUTTON3), IDIGNORE);
    EXPECT_EQ(DefaultAnswer(MB_YESNO | MB_DEFBUTTON3), IDYES);  // no third button
    EXPECT_EQ(ButtonsOf(MB_YESNOCANCEL), (std::vector<int>{IDYES, IDNO, IDCANCEL}));
}

TEST(Notify, DefaultSinkPrintsAndAnswersDefaultButton) {
    SetNotifySink(nullptr);
    testing::internal::CaptureStderr();
    int answer = MessageBox("磁盘空间不足", "提示", MB_YESNO | MB_DEFBUTTON2);
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, IDNO);
    EXPECT_NE(printed.find("磁盘空间不足"), std::string::npos);
    EXPECT_NE(printed.find("提示"), std::string::npos);
}

TEST(Notify, CapturingSinkRecordsAndScriptsAnswers) {
    auto sink = std::make_shared<CapturingSink>();
    SetNotifySink(sink);
    sink->QueueAnswer(IDNO);
    sink->QueueAnswer(IDCANCEL);
    EXPECT_EQ(MessageBox("first", "cap", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBox("second", "cap", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBox("third", "cap", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);  // default
    EXPECT_EQ(MessageBox("fourth", "cap", MB_OK), IDOK);

    auto shown = sink->Shown();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].text, "first");
    EXPECT_EQ(shown[0].caption, "cap");
    EXPECT_EQ(shown[0].type, MB_YESNO);
    EXPECT_EQ(shown[3].text, "fourth");
    sink->Clear();
    EXPECT_TRUE(sink->Shown().empty());
    SetNotifySink(nullptr);
}

TEST(Notify, CapturingSinkIsThreadSafe) {
    auto sink = std::make_shared<CapturingSink>();
    SetNotifySink(sink);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 500; ++i) MessageBox("x", "y", MB_OK);
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(sink->Shown().size(), 2000u);
    SetNotifySink(nullptr);
}

}  // namespace
}  // namespace plat
