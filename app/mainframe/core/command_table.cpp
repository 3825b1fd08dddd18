#include "command_table.h"

#include <array>

#include "command_ids.h"

namespace mainframe {
namespace {

constexpr MenuEntry kSeparator{0, nullptr, nullptr};

constexpr std::array kSystemMenu{
    MenuEntry{ID_TASK_MANAGE, "任务管理(&T)", nullptr},
    MenuEntry{ID_DEVICE_MANAGE, "设备管理(&D)", nullptr},
    MenuEntry{ID_GNSS_TIME_TO_PC, "当前GPS时间授计算机(&M)", nullptr},
    kSeparator,
    MenuEntry{ID_STORAGE_PATH, "存盘路径设置(&H)", nullptr},
    MenuEntry{ID_FILE_STORAGE, "文件存盘(&S)", "Ctrl+S"},
    MenuEntry{ID_DATA_REPLAY, "数据回放(&R)", nullptr},
    kSeparator,
    MenuEntry{ID_FILE_PRINT_SETUP, "打印设置(&P)...", nullptr},
    MenuEntry{ID_SCREENSHOT_SETUP, "曲线截屏设置(&N)", nullptr},
    MenuEntry{ID_SCREENSHOT_PRINT, "截图打印(&C)", "Ctrl+C"},
    kSeparator,
    MenuEntry{ID_APP_EXIT, "退出(&X)", nullptr},
};

constexpr std::array kStatisticsMenu{
    MenuEntry{ID_CAPTURE_STD_FRAME, "采集标准帧(&C)", nullptr},
    MenuEntry{ID_BIT_ERROR_STAT, "误码统计(&E)", nullptr},
    kSeparator,
    MenuEntry{ID_FRAME_COUNT_STAT, "帧计数统计(&Z)", nullptr},
    MenuEntry{ID_ID_STAT, "ID统计(&I)", nullptr},
    MenuEntry{ID_FRAME_PERIOD_STAT, "帧周期统计(&O)", nullptr},
};

constexpr std::array kTransferMenu{
    MenuEntry{ID_NETWORK_CONFIG, "网络配置(&C)", nullptr},
    MenuEntry{ID_NETWORK_SEND_PARAM, "网络发送参数(&S)", nullptr},
    kSeparator,
    MenuEntry{ID_MULTICAST_CENTER, "组播发送中心(&M)", nullptr},
};

constexpr std::array kViewMenu{
    MenuEntry{ID_RAW_CURVE, "源码曲线显示(&C)", nullptr},
    MenuEntry{ID_RAW_TABLE, "源码表格显示(&L)", nullptr},
    kSeparator,
    MenuEntry{ID_WINDOW_TILE, "显示窗口平铺(&T)", nullptr},
    MenuEntry{ID_CLOSE_ALL_WINDOWS, "关闭全部窗口(&A)", "Ctrl+A"},
};

constexpr std::array kHelpMenu{
    MenuEntry{ID_APP_ABOUT, "关于 Talvora(&A)...", nullptr},
};

// The view popup's leading blank is part of its stored title.
const std::array kMenu{
    MenuPopup{"遥测系统(&F)", kSystemMenu},  MenuPopup{"数据统计(&S)", kStatisticsMenu},
    MenuPopup{"数据传输(T)", kTransferMenu}, MenuPopup{" 数据查看(&V)", kViewMenu},
    MenuPopup{"帮助(&H)", kHelpMenu},
};

constexpr std::array<unsigned, 24> kToolbar{
    ID_REOPEN_CARD,
    ID_STATUS_BAR_TOGGLE,
    ID_SIGNAL_SPECTRUM,
    0,
    ID_TASK_MANAGE,
    ID_DEVICE_MANAGE,
    0,
    ID_FILE_STORAGE,
    ID_DATA_REPLAY,
    0,
    ID_ALLOW_LIFTOFF,
    ID_MANUAL_LIFTOFF,
    0,
    ID_ZERO_PRINT,
    ID_SCREENSHOT_PRINT,
    0,
    ID_CAPTURE_STD_FRAME,
    ID_BIT_ERROR_STAT,
    0,
    ID_RAW_CURVE,
    ID_RAW_TABLE,
    ID_WINDOW_TILE,
    0,
    ID_EXIT_SOFTWARE,
};

constexpr std::array kAccelerators{
    Accelerator{"Ctrl+A", ID_CLOSE_ALL_WINDOWS},
    Accelerator{"Ctrl+C", ID_SCREENSHOT_PRINT},
    Accelerator{"Ctrl+P", ID_ZERO_PRINT},
    Accelerator{"Ctrl+S", ID_FILE_STORAGE},
};

struct StringEntry {
    unsigned id;
    const char* text;
};

constexpr std::array kStrings{
    StringEntry{ID_STATUS_BAR_TOGGLE, "打开、隐藏状态显示框"},
    StringEntry{ID_SIGNAL_SPECTRUM, "信号频谱图"},
    StringEntry{ID_ALLOW_LIFTOFF, "允许起飞"},
    StringEntry{ID_MANUAL_LIFTOFF, "手动起飞"},
    StringEntry{ID_ZERO_PRINT, "零位打印"},
    StringEntry{ID_EXIT_SOFTWARE, "退出软件"},
    StringEntry{ID_RAW_HISTOGRAM, "源码条图显示"},
    StringEntry{ID_PARAM_TABLE, "参数表格显示"},
    StringEntry{ID_PARAM_CURVE, "参数曲线显示"},
    StringEntry{ID_PARAM_STRIPE, "参数柱状图显示"},
    StringEntry{ID_FULL_FRAME_BROADCAST, "打开、关闭全帧广播"},
    StringEntry{ID_GPS_MULTICAST, "打开、关闭GPS数据组播"},
    StringEntry{ID_DECRYPTION_CHOICE, "切换解密前后的数据"},
    StringEntry{ID_STREAM_1, "遥测流号设置，设置为遥测1"},
    StringEntry{ID_STREAM_2, "遥测流号设置，设置为遥测2"},
    StringEntry{ID_STREAM_3, "遥测流号设置，设置为遥测3"},
    StringEntry{ID_DOWN_CONVERTER, "下变频器的参数设置"},
    StringEntry{ID_GPS_CHANNEL, "GPS挑路设置"},
    StringEntry{ID_GNSS_RECEPTION, "外测收星状况"},
    StringEntry{ID_GNSS_PROTOCOL, "设置外测协议版本，不同的版本外测收星协议不同"},
};

const MenuEntry* FindMenuEntry(unsigned id) {
    for (const MenuPopup& popup : kMenu)
        for (const MenuEntry& e : popup.entries)
            if (e.id == id) return &e;
    return nullptr;
}

}  // namespace

std::span<const MenuPopup> MainMenu() {
    return kMenu;
}
std::span<const unsigned> ToolbarLayout() {
    return kToolbar;
}
std::span<const Accelerator> Accelerators() {
    return kAccelerators;
}

std::string_view CommandString(unsigned id) {
    for (const StringEntry& s : kStrings)
        if (s.id == id) return s.text;
    return {};
}

std::string PlainMenuText(unsigned id) {
    const MenuEntry* e = FindMenuEntry(id);
    if (!e) return {};
    std::string text = e->text;
    if (auto open = text.find("(&"); open != std::string::npos) {
        if (auto close = text.find(')', open); close != std::string::npos)
            text.erase(open, close - open + 1);
    }
    std::erase(text, '&');
    if (text.size() >= 3 && text.compare(text.size() - 3, 3, "...") == 0)
        text.resize(text.size() - 3);
    return text;
}

std::string ToolTipText(unsigned id) {
    std::string_view s = CommandString(id);
    if (!s.empty()) {
        // "status text\ntooltip": the part after the line end is the tooltip.
        auto nl = s.find('\n');
        return std::string(nl == std::string_view::npos ? s : s.substr(nl + 1));
    }
    return PlainMenuText(id);
}

}  // namespace mainframe
