// Command identifiers of the main frame: menu, toolbar, accelerators and the
// commands other windows post to it. The numbers are the ones the task-macro
// dialog, the view libraries and stored layouts rely on.
#pragma once

namespace mainframe {

enum CommandId : unsigned {
    ID_TASK_MANAGE = 32777,         // 任务管理
    ID_DEVICE_MANAGE = 32778,       // 设备管理
    ID_GNSS_TIME_TO_PC = 32837,     // 当前GPS时间授计算机
    ID_STORAGE_PATH = 32825,        // 存盘路径设置
    ID_FILE_STORAGE = 32780,        // 文件存盘
    ID_DATA_REPLAY = 32787,         // 数据回放
    ID_FILE_PRINT_SETUP = 57606,    // 打印设置
    ID_SCREENSHOT_SETUP = 32790,    // 曲线截屏设置
    ID_SCREENSHOT_PRINT = 32789,    // 截图打印
    ID_APP_EXIT = 57665,            // 退出
    ID_CAPTURE_STD_FRAME = 32791,   // 采集标准帧
    ID_BIT_ERROR_STAT = 32792,      // 误码统计
    ID_FRAME_COUNT_STAT = 32793,    // 帧计数统计
    ID_ID_STAT = 32794,             // ID统计
    ID_FRAME_PERIOD_STAT = 32795,   // 帧周期统计
    ID_NETWORK_CONFIG = 32781,      // 网络配置
    ID_NETWORK_SEND_PARAM = 32836,  // 网络发送参数
    ID_MULTICAST_CENTER = 32784,    // 组播发送中心
    ID_RAW_CURVE = 32776,           // 源码曲线显示
    ID_RAW_TABLE = 32774,           // 源码表格显示
    ID_WINDOW_TILE = 57651,         // 显示窗口平铺
    ID_CLOSE_ALL_WINDOWS = 32829,   // 关闭全部窗口
    ID_APP_ABOUT = 57664,           // 关于 Talvora

    ID_REOPEN_CARD = 32835,           // re-open the card
    ID_STATUS_BAR_TOGGLE = 32772,     // 打开、隐藏状态显示框
    ID_SIGNAL_SPECTRUM = 32834,       // 信号频谱图
    ID_ALLOW_LIFTOFF = 32813,         // 允许起飞
    ID_MANUAL_LIFTOFF = 32814,        // 手动起飞
    ID_ZERO_PRINT = 32788,            // 零位打印
    ID_EXIT_SOFTWARE = 32779,         // 退出软件
    ID_RAW_HISTOGRAM = 32775,         // 源码条图显示
    ID_PARAM_TABLE = 32816,           // 参数表格显示
    ID_PARAM_CURVE = 32818,           // 参数曲线显示
    ID_PARAM_STRIPE = 32817,          // 参数柱状图显示
    ID_FULL_FRAME_BROADCAST = 32782,  // 打开、关闭全帧广播
    ID_GPS_MULTICAST = 32783,         // 打开、关闭GPS数据组播
    ID_DECRYPTION_CHOICE = 32785,     // 切换解密前后的数据
    ID_STREAM_1 = 32797,
    ID_STREAM_2 = 32798,
    ID_STREAM_3 = 32830,
    ID_DOWN_CONVERTER = 32803,   // 下变频器的参数设置 (never enabled)
    ID_GPS_CHANNEL = 32821,      // GPS挑路设置
    ID_GNSS_RECEPTION = 32822,   // 外测收星状况
    ID_GNSS_PROTOCOL = 32826,    // 设置外测协议版本
    ID_SELECT_PARAM_DB = 32823,  // choose the parameter database
};

// Window messages the frame receives from the task-macro dialog and the views.
enum FrameMessage : unsigned {
    WM_APPLY_TASK_PARAM = 1204,
    WM_RAW_HISTOGRAM_CLOSED = 1135,
    WM_RAW_TABLE_CLOSED = 1145,
    WM_RAW_CURVE_CLOSED = 1155,
    WM_PARAM_TABLE_CLOSED = 1044,
    WM_PARAM_STRIPE_CLOSED = 1045,
    WM_PARAM_CURVE_CLOSED = 1046,
    WM_GNSS_SEARCH_CLOSED = 1690,
};

// Window timers of the frame.
enum FrameTimer : int {
    TIMER_REFRESH = 11,        // every 250 ms
    TIMER_BAR_PLACEMENT = 33,  // once, 250 ms after creation
    TIMER_OPEN_VIEWS = 77,     // once, 3 s after creation
    TIMER_REPLAY_DONE = 21,    // posted by the replay-feed thread
};

}  // namespace mainframe
