// The menu tree, toolbar and accelerators: identifiers, texts, order and
// separators are what operators and stored layouts know the program by.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_ids.h"
#include "command_table.h"

using namespace mainframe;

namespace {

// "id text [accel]" per entry, "-" per separator.
std::vector<std::string> Flatten(const MenuPopup& p) {
    std::vector<std::string> out;
    for (const MenuEntry& e : p.entries) {
        if (e.id == 0) {
            out.push_back("-");
            continue;
        }
        std::string s = std::to_string(e.id) + " " + e.text;
        if (e.accelerator) s += std::string(" ") + e.accelerator;
        out.push_back(s);
    }
    return out;
}

}  // namespace

TEST(MainMenu, PopupsInOrderWithTheirItemsAndSeparators) {
    const auto menu = MainMenu();
    ASSERT_EQ(menu.size(), 5u);
    EXPECT_STREQ(menu[0].title, "遥测系统(&F)");
    EXPECT_STREQ(menu[1].title, "数据统计(&S)");
    EXPECT_STREQ(menu[2].title, "数据传输(T)");
    EXPECT_STREQ(menu[3].title, " 数据查看(&V)");  // the leading blank is kept
    EXPECT_STREQ(menu[4].title, "帮助(&H)");

    EXPECT_EQ(Flatten(menu[0]),
              (std::vector<std::string>{
                  "32777 任务管理(&T)", "32778 设备管理(&D)", "32837 当前GPS时间授计算机(&M)", "-",
                  "32825 存盘路径设置(&H)", "32780 文件存盘(&S) Ctrl+S", "32787 数据回放(&R)", "-",
                  "57606 打印设置(&P)...", "32790 曲线截屏设置(&N)", "32789 截图打印(&C) Ctrl+C",
                  "-", "57665 退出(&X)"}));
    EXPECT_EQ(Flatten(menu[1]),
              (std::vector<std::string>{"32791 采集标准帧(&C)", "32792 误码统计(&E)", "-",
                                        "32793 帧计数统计(&Z)", "32794 ID统计(&I)",
                                        "32795 帧周期统计(&O)"}));
    EXPECT_EQ(Flatten(menu[2]),
              (std::vector<std::string>{"32781 网络配置(&C)", "32836 网络发送参数(&S)", "-",
                                        "32784 组播发送中心(&M)"}));
    EXPECT_EQ(Flatten(menu[3]), (std::vector<std::string>{
                                    "32776 源码曲线显示(&C)", "32774 源码表格显示(&L)", "-",
                                    "57651 显示窗口平铺(&T)", "32829 关闭全部窗口(&A) Ctrl+A"}));
    EXPECT_EQ(Flatten(menu[4]), (std::vector<std::string>{"57664 关于 Talvora(&A)..."}));
}

TEST(Toolbar, ButtonsInOrderWithSeparators) {
    const std::vector<unsigned> expected{32835, 32772, 32834, 0,     32777, 32778, 0,     32780,
                                         32787, 0,     32813, 32814, 0,     32788, 32789, 0,
                                         32791, 32792, 0,     32776, 32774, 57651, 0,     32779};
    const auto bar = ToolbarLayout();
    EXPECT_EQ(std::vector<unsigned>(bar.begin(), bar.end()), expected);
}

TEST(Toolbar, TooltipsFromTheStringTableAndNoneForReopen) {
    EXPECT_EQ(ToolTipText(ID_STATUS_BAR_TOGGLE), "打开、隐藏状态显示框");
    EXPECT_EQ(ToolTipText(ID_SIGNAL_SPECTRUM), "信号频谱图");
    EXPECT_EQ(ToolTipText(ID_ALLOW_LIFTOFF), "允许起飞");
    EXPECT_EQ(ToolTipText(ID_MANUAL_LIFTOFF), "手动起飞");
    EXPECT_EQ(ToolTipText(ID_ZERO_PRINT), "零位打印");
    EXPECT_EQ(ToolTipText(ID_EXIT_SOFTWARE), "退出软件");
    EXPECT_EQ(ToolTipText(ID_REOPEN_CARD), "");
    // Buttons without a string-table text show their menu text.
    EXPECT_EQ(ToolTipText(ID_FILE_STORAGE), "文件存盘");
    EXPECT_EQ(ToolTipText(ID_WINDOW_TILE), "显示窗口平铺");
    EXPECT_EQ(PlainMenuText(ID_APP_ABOUT), "关于 Talvora");
}

TEST(Accelerators, FourKeysOnTheirCommands) {
    std::vector<std::string> got;
    for (const Accelerator& a : Accelerators())
        got.push_back(std::string(a.key) + "=" + std::to_string(a.id));
    EXPECT_EQ(got, (std::vector<std::string>{"Ctrl+A=32829", "Ctrl+C=32789", "Ctrl+P=32788",
                                             "Ctrl+S=32780"}));
}
