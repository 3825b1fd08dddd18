// The display window offscreen: show and hide, title, columns per layout,
// the fields, and the close message to the parent.
#include <gnsspick/gnsspick.h>
#include <gtest/gtest.h>
#include <platform/winmsg.h>

#include <QApplication>
#include <QHeaderView>
#include <QTableWidget>
#include <atomic>

#include "gnsspick_wnd.h"
#include "test_helpers.h"
#include "testsupport/wait.h"

using namespace gnsstest;
using namespace std::chrono_literals;

namespace {

struct Receiver : plat::MessageReceiver {
    void OnMessage(std::uint32_t msg, std::uintptr_t, std::intptr_t) override { last = msg; }
    std::atomic<std::uint32_t> last{0};
};

QString Header(QTableWidget* t, int c) {
    return t->horizontalHeaderItem(c) ? t->horizontalHeaderItem(c)->text() : QString();
}

}  // namespace

TEST(GnssMeasureWnd, ShowHideColumnsFieldsAndClose) {
    QWidget parent;
    Receiver receiver;
    plat::RegisterWindow(&parent, &receiver);
    SetTelemetryPar(8, 4, 32);
    const uint16_t p[4] = {1, 2, 3, 4};
    SetSelectRoads(p);

    ShowMeasureData(5, "外测测量信息显示对话框", &parent);
    gnsspick::CGnssMeasureWnd* w = gnsspick::SearchWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("外测测量信息显示对话框"));
    ShowMeasureData(0, "外测测量信息显示对话框", &parent);
    EXPECT_FALSE(w->isVisible());
    ShowMeasureData(5, "外测测量信息显示对话框", &parent);
    EXPECT_EQ(gnsspick::SearchWindow(), w) << "made once, then shown again";

    // Old protocol: 16 rows, its columns, the fields after the next refresh.
    Bytes stream = DleMessage(0xD7, Body(NavigationStored(-2175000.f, 4388000.f, 4078000.f, 0, 2)));
    while (stream.size() % 4) stream.insert(stream.begin(), 0x00);
    stream.insert(stream.end(), 4, 0x00);
    const Bytes block = Records(stream, 8, 4, {1, 2, 3, 4});
    SearchLX4_12GPSFram(block.data(), uint32_t(block.size()));
    ASSERT_WAIT_UNTIL(w->FieldText(QStringLiteral("PDOP:")) == QStringLiteral("1.50"), 5s);
    EXPECT_EQ(w->BuiltLayout(), 1);
    EXPECT_EQ(w->UpperTable()->rowCount(), 16);
    EXPECT_EQ(Header(w->UpperTable(), 4), QStringLiteral("广播星历"));
    EXPECT_EQ(Header(w->LowerTable(), 6), QStringLiteral("Coasting"));
    EXPECT_EQ(w->UpperTable()->item(0, 3)->text(), QStringLiteral("YES"));
    EXPECT_TRUE(w->FieldText(QStringLiteral("经度")).startsWith(QStringLiteral("116.")));
    EXPECT_EQ(w->FieldText(QStringLiteral("时间")), QStringLiteral("12:34:56"));

    // A new-protocol search rebuilds the columns; no entries, no rows.
    const Bytes idle = Records({0x00}, 8, 4, {1});
    SearchMeasureData(idle.data(), uint32_t(idle.size()));
    ASSERT_WAIT_UNTIL(w->BuiltLayout() == 2, 5s);
    EXPECT_EQ(Header(w->UpperTable(), 4), QStringLiteral("载波环路"));
    EXPECT_EQ(Header(w->LowerTable(), 3), QStringLiteral("锁定时间"));
    EXPECT_EQ(w->UpperTable()->rowCount(), 0);
    EXPECT_TRUE(w->UpperTable()->showGrid());

    w->close();
    EXPECT_FALSE(w->isVisible());
    EXPECT_WAIT_UNTIL(receiver.last == 1690u, 5s);
    plat::UnregisterWindow(&parent);
}
