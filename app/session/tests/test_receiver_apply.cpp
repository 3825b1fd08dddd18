// Applying a receiver code from the task-macro dialog against the software
// card engine: the receiver's demodulator and simulator halves reach the card
// with the task's frame format, so the card frames the stream as the program
// does. Commands are looked up per connection, so a watchdog reconnection
// that re-sends the kept records does not change what is checked.
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <session/card_session.h>
#include <taskbook/task_store.h>
#include <taskbook/taskbook.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "session_fixture.h"

using namespace session;
using cardengine::testkit::EngineProcess;
using Received = cardengine::testkit::ReceivedCommand;

namespace {

constexpr double kInputFrequency = 2251250000.0;  // marks the receiver's halves
constexpr std::uint32_t kOutputPower = 23;

bool IsDem(const Received& r) {
    return r.module == 2 && r.operation == 3 && r.payload.size() == sizeof(DemParam);
}

bool IsSim(const Received& r) {
    return r.module == 4 && r.operation == 3 && r.payload.size() == sizeof(SimParam);
}

double Frequency(const Received& r) {
    double f = 0;
    std::memcpy(&f, r.payload.data(), sizeof f);
    return f;
}

// The two halves of one receiver send, found on one connection.
struct ReceiverSend {
    Received dem, sim;
};

class ReceiverApplyTest : public sessiontest::SessionFixture {
protected:
    void SetUp() override {
        SessionFixture::SetUp();
        StartEngine();
    }
    void AddHooks(SessionHooks& hooks) override {
        hooks.sleep = [](unsigned) {};
    }

    // The first receiver send on any connection: a demodulator record with
    // the marked input frequency followed, on the same connection, by a
    // simulator record with the marked output power.
    std::optional<ReceiverSend> FindReceiverSend() const {
        const int connections = engine_->CountLines("accept ");
        for (int c = 1; c <= connections; ++c) {
            const std::vector<Received> rx = engine_->Received(c);
            for (std::size_t i = 0; i < rx.size(); ++i) {
                if (!IsDem(rx[i]) || Frequency(rx[i]) != kInputFrequency) continue;
                for (std::size_t j = i + 1; j < rx.size(); ++j)
                    if (IsSim(rx[j]) && rx[j].Word(136) == kOutputPower)
                        return ReceiverSend{rx[i], rx[j]};
            }
        }
        return std::nullopt;
    }
};

TEST_F(ReceiverApplyTest, ReceiverCodeSendsTheTasksFrameFormat) {
    // The working task frames at 2 Mbit/s, 16-bit words, 64 words, 8 subframes.
    ASSERT_NE(GetDefaultTaskPara(info_.get(), dem_.get(), sim_.get(), time_.get(), recv_.get(), 1),
              0);
    dem_->dem.码率 = 2000000;
    dem_->dem.字长 = 16;
    dem_->dem.子帧长 = 64;
    dem_->dem.副帧长 = 8;
    sim_->sim.码率 = 1000000;
    sim_->sim.字长 = 12;
    sim_->sim.子帧长 = 32;
    ASSERT_TRUE(session_->SaveWorkingState());
    session_->OpenCard();
    ASSERT_EQ(flags_.cardOpen, 1);

    // The dialog loads the task from the store and the operator applies its
    // receiver page with a new input frequency and output power.
    auto task = std::make_unique<taskbook::TaskRecords>();
    ASSERT_TRUE(taskbook::TaskStore::Instance().Load("当前任务", *task));
    task->streams[0].recv.dem.输入频率 = kInputFrequency;
    task->streams[0].recv.sim.Sim输出功率 = kOutputPower;
    // No owner window is registered: the test delivers the message itself.
    taskbook::TaskStore::Instance().ApplyAndNotify(13, *task);
    session_->OnApplyNotification(13);
    std::vector<std::string> shown;
    for (const auto& box : sink_->Shown()) shown.push_back(box.text);
    EXPECT_EQ(shown, std::vector<std::string>{"中频接收机设置成功！"});

    std::optional<ReceiverSend> sent;
    ASSERT_TRUE(engine_->WaitFor([&] { return (sent = FindReceiverSend()).has_value(); }));
    // Demodulator half: code rate, word length, subframe and superframe length.
    EXPECT_EQ(sent->dem.Word(28), 2000000u);
    EXPECT_EQ(sent->dem.Word(36), 16u);
    EXPECT_EQ(sent->dem.Word(40), 64u);
    EXPECT_EQ(sent->dem.Word(44), 8u);
    EXPECT_EQ(sent->dem.Word(84), 1u);
    EXPECT_EQ(sent->dem.Word(696), 0u);  // a later sending
    // Simulator half: code rate, word length, subframe length.
    EXPECT_EQ(sent->sim.Word(36), 1000000u);
    EXPECT_EQ(sent->sim.Word(44), 12u);
    EXPECT_EQ(sent->sim.Word(48), 32u);

    // The program keeps framing with the record the card now has.
    EXPECT_EQ(dem_->dem.码率, sent->dem.Word(28));
    EXPECT_EQ(dem_->dem.子帧长, sent->dem.Word(40));
    EXPECT_EQ(dem_->dem.输入频率, kInputFrequency);
}

}  // namespace
