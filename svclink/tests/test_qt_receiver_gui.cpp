// Copy-data blocks from a real tmserver reach a window of the program through
// its Qt receiver, which hands them to the window later on the GUI thread.
#include <QApplication>
#include <QWidget>

#include "link_fixture.h"
#include "qt_winmsg.h"

namespace svclink::test {
namespace {

// A window that takes each block only when its event comes round.
class BlockWindow : public QWidget {
public:
    explicit BlockWindow(std::uint32_t slot) : slot_(slot) {}
    bool event(QEvent* e) override {
        if (e->type() != WinMsgEvent::EventType()) return QWidget::event(e);
        const auto* m = static_cast<WinMsgEvent*>(e);
        if (m->msg != kWmCopyData) return true;
        std::uint8_t info[kShareDataInfoBytes];
        if (BB_GetShareDataInfo(slot_, info, reinterpret_cast<const CopyDataStruct*>(m->lparam))) {
            ServiceRecord r{};
            std::memcpy(&r, info, sizeof info);
            g_received[slot_].Add(r.data, r.length, r.description);
        }
        return true;
    }

private:
    std::uint32_t slot_;
};

using QtReceiver = LinkTest;

TEST_F(QtReceiver, EachCopyDataBlockArrivesWhole) {
    ASSERT_TRUE(Start({1}));
    BlockWindow window(1);
    QtMessageReceiver receiver(&window);
    records_[1] = ServiceRecord{};
    records_[1].copyDataMode = 1;
    records_[1].paramCallback = OnParam;
    ASSERT_TRUE(BB_OpenService(1, receiver.Handle(), &records_[1], kRoleUser));
    // Several blocks before the GUI thread looks at any: each echo reuses the
    // buffer the previous one came in.
    const std::size_t sizes[] = {70000, 1000, 300000, 5};
    const auto desc = Desc(4);
    std::size_t total = 0;
    for (std::size_t n : sizes) {
        ASSERT_TRUE(BB_SendShareData(1, Pattern(total, n).data(), static_cast<std::uint32_t>(n),
                                     desc.data()));
        total += n;
    }
    ASSERT_WAIT_UNTIL(g_received[1].Size() >= total, 20s);
    BB_CloseService(1, kRoleUser);
    std::lock_guard lock(g_received[1].mutex);
    EXPECT_EQ(g_received[1].lengths, std::vector<std::size_t>(std::begin(sizes), std::end(sizes)));
    EXPECT_TRUE(g_received[1].bytes == Pattern(0, total));
    for (const auto& d : g_received[1].descs) EXPECT_EQ(d, desc);
}

}  // namespace
}  // namespace svclink::test
