#include <gtest/gtest.h>

#include <string>

#include "config/window_pos.h"
#include "ini_test_dir.h"

using namespace cfg;

class WindowPosTest : public IniTestDir {
protected:
    // The lines of one section, as written.
    std::string Section(const std::string& name) {
        const std::string text = ReadAsUtf8("WindowPos.ini");
        const std::size_t start = text.find("[" + name + "]");
        if (start == std::string::npos) return {};
        const std::size_t end = text.find('[', start + 1);
        return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
};

TEST_F(WindowPosTest, MissingFileGivesClosedWindowsAtZero) {
    const WindowPosConfig c = LoadWindowPos(dir);
    for (const WindowPlacement& p : c.windows) {
        EXPECT_FALSE(p.open);
        EXPECT_EQ(p.x, 0);
        EXPECT_EQ(p.cy, 0);
    }
    EXPECT_FALSE(Exists("WindowPos.ini"));
}

TEST_F(WindowPosTest, OpenWindowWritesOpenAndItsGeometry) {
    WindowPosConfig c;
    c[PlacedWindow::BCDTableWnd] = {true, 10, -20, 300, 400};
    ASSERT_TRUE(SaveWindowPos(dir, c));
    const std::string s = Section("BCDTableWnd");
    EXPECT_EQ(CountEntry(s, "open", "1"), 1);
    EXPECT_EQ(CountEntry(s, "x", "10"), 1);
    EXPECT_EQ(CountEntry(s, "y", "-20"), 1);
    EXPECT_EQ(CountEntry(s, "cx", "300"), 1);
    EXPECT_EQ(CountEntry(s, "cy", "400"), 1);

    // A new file carries the key names with their blanks, as other readers expect.
    EXPECT_NE(s.find("\n x  =10\r\n"), std::string::npos) << s;
    EXPECT_NE(s.find("\n cy =400\r\n"), std::string::npos) << s;

    const WindowPlacement r = LoadWindowPos(dir)[PlacedWindow::BCDTableWnd];
    EXPECT_TRUE(r.open);
    EXPECT_EQ(r.x, 10);
    EXPECT_EQ(r.y, -20);
    EXPECT_EQ(r.cx, 300);
    EXPECT_EQ(r.cy, 400);
}

TEST_F(WindowPosTest, ClosedWindowKeepsItsPreviousGeometry) {
    WindowPosConfig c;
    c[PlacedWindow::BCDCurveWnd] = {true, 1, 2, 3, 4};
    ASSERT_TRUE(SaveWindowPos(dir, c));
    c[PlacedWindow::BCDCurveWnd] = {false, 0, 0, 0, 0};
    ASSERT_TRUE(SaveWindowPos(dir, c));

    const WindowPlacement r = LoadWindowPos(dir)[PlacedWindow::BCDCurveWnd];
    EXPECT_FALSE(r.open);
    EXPECT_EQ(r.x, 1);
    EXPECT_EQ(r.cy, 4);
    // A window never opened has only "open" in its section.
    const std::string s = Section("DealCurveWnd");
    EXPECT_EQ(CountEntry(s, "open", "0"), 1);
    EXPECT_EQ(s.find("cx"), std::string::npos);
}

TEST_F(WindowPosTest, StatusBarAlwaysWritesAllFiveKeys) {
    WindowPosConfig c;
    c[PlacedWindow::DockPageBar] = {false, 5, 6, 260, 270};
    ASSERT_TRUE(SaveWindowPos(dir, c));
    const std::string s = Section("DockPageBar");
    EXPECT_EQ(CountEntry(s, "open", "0"), 1);
    EXPECT_EQ(CountEntry(s, "x", "5"), 1);
    EXPECT_EQ(CountEntry(s, "y", "6"), 1);
    EXPECT_EQ(CountEntry(s, "cx", "260"), 1);
    EXPECT_EQ(CountEntry(s, "cy", "270"), 1);
    const WindowPlacement r = LoadWindowPos(dir)[PlacedWindow::DockPageBar];
    EXPECT_FALSE(r.open);
    EXPECT_EQ(r.cy, 270);
}

TEST_F(WindowPosTest, HandEditedKeysWithoutBlanksAndAbsurdGeometry) {
    WriteGbk("WindowPos.ini",
             "[SignalPlotWnd]\nopen=1\nx=7\ny=8\ncx=-5\ncy=999999999\n"
             "[DealTableWnd]\nopen=2\n");
    const WindowPosConfig c = LoadWindowPos(dir);
    const WindowPlacement& p = c[PlacedWindow::SignalPlotWnd];
    EXPECT_TRUE(p.open);
    EXPECT_EQ(p.x, 7);
    EXPECT_EQ(p.y, 8);
    EXPECT_EQ(p.cx, 0);
    EXPECT_EQ(p.cy, 0);
    EXPECT_TRUE(c[PlacedWindow::DealTableWnd].open);
}
