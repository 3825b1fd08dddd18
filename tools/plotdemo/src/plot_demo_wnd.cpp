#include <bbdevice/bbdevice.h>
#include <pcmplot/pcmplot.h>
#include <plotdemo/plot_demo_wnd.h>
#include <spanplot/spanplot.h>

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <algorithm>
#include <atomic>
#include <cstring>

namespace plotdemo {
namespace {

constexpr std::uint32_t kCard = 0;
constexpr std::uint32_t kPcmPeriodMs = 200, kScanPeriodMs = 500;

// What the data callback shares with the window. The callback runs on the
// device library's report thread; the descriptor it saw last is its own.
struct Feed {
    std::atomic<bool> on{false};
    std::atomic<bool> needInfo[3]{};
    std::atomic<std::uint64_t> received{0};
    std::atomic<std::uint64_t> taken[3]{};
    DemChannelDescriptor last{};
    bool haveLast = false;
};
Feed g_feed;

// Passes the descriptor when it changed (or a new window has none yet) and
// every block to the three PCM windows.
int OnData(DemReportBlock* block) {
    if (!block || !g_feed.on.load(std::memory_order_acquire)) return 0;
    const bool changed = !g_feed.haveLast || std::memcmp(&g_feed.last, &block->descriptor,
                                                         sizeof(DemChannelDescriptor)) != 0;
    if (changed) {
        g_feed.last = block->descriptor;
        g_feed.haveLast = true;
    }
    const std::uint32_t bytes = std::min<std::uint32_t>(block->byteCount, kDemReportDataBytes);
    for (std::uint32_t k = 0; k < 3; ++k) {
        if (g_feed.needInfo[k].exchange(false) || changed)
            BB_SetDemFrameInfo(kCard, k, &block->descriptor);
        if (BB_SendPcmFrameData(kCard, k, block->data, bytes)) ++g_feed.taken[k];
    }
    ++g_feed.received;
    return 0;
}

}  // namespace

CPlotDemoWnd::CPlotDemoWnd() : area_(new QMdiArea(this)) {
    setWindowTitle(QString::fromUtf8("Talvora 原码图演示"));
    setCentralWidget(area_);
    QMenu* windows = menuBar()->addMenu(QString::fromUtf8("窗口(&W)"));
    const char* const names[4] = {"PCM原码表格", "PCM原码曲线", "PCM原码直方图", "频域扫描图"};
    for (int i = 0; i < 4; ++i)
        windows->addAction(QString::fromUtf8(names[i]), this, [this, i] { OpenWindow(i); });
    windows->addSeparator();
    windows->addAction(QString::fromUtf8("平铺"), area_, &QMdiArea::tileSubWindows);
    windows->addAction(QString::fromUtf8("退出"), this, &QWidget::close);
    resize(1280, 800);
}

CPlotDemoWnd::~CPlotDemoWnd() {
    Stop();
}

bool CPlotDemoWnd::Start(QString* error) {
    auto fail = [&](const char* what) {
        if (error) *error = QString::fromUtf8(what);
        Stop();
        return false;
    };
    g_feed.haveLast = false;
    for (auto& n : g_feed.needInfo) n = true;
    CardFunctionInfo info{};
    if (!BB_OpenDevice(kCard, OnData, 0, &info)) return fail("板卡0打开失败。");
    open_ = true;
    DemParam dem{};
    if (!BB_GetDefaultDemParam(kCard, &dem) || !BB_SetDemParam(kCard, &dem))
        return fail("解调参数设置失败。");
    for (int i = 0; i < 4; ++i)
        if (!OpenWindow(i)) return fail("绘图窗口创建失败。");
    g_feed.on = true;
    area_->tileSubWindows();
    return true;
}

bool CPlotDemoWnd::OpenWindow(int which) {
    if (which < 0 || which > kRadioScan) return false;
    QWidget* existing = which == kRadioScan ? BB_GetRadioPlotWnd(kCard)
                                            : BB_GetPcmPlotWnd(kCard, std::uint32_t(which));
    if (existing) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(existing->parentWidget()))
            area_->setActiveSubWindow(sub);
        return true;
    }
    if (which == kRadioScan)
        return BB_CreateRadioPlotWnd(kCard, "", area_) &&
               BB_SetRadioPlotElapse(kCard, kScanPeriodMs);
    const auto kind = std::uint32_t(which);
    if (!BB_CreatePcmPlotWnd(kCard, kind, 0, "", area_)) return false;
    // The new window learns the frame geometry with the next block.
    g_feed.needInfo[kind] = true;
    return BB_SetPcmPlotElapse(kCard, kind, kPcmPeriodMs) != 0;
}

std::uint64_t CPlotDemoWnd::BlocksReceived() {
    return g_feed.received.load();
}

std::uint64_t CPlotDemoWnd::BlocksTaken(int kind) {
    return kind >= 0 && kind < 3 ? g_feed.taken[kind].load() : 0;
}

void CPlotDemoWnd::closeEvent(QCloseEvent* e) {
    Stop();
    QMainWindow::closeEvent(e);
}

void CPlotDemoWnd::Stop() {
    g_feed.on = false;
    // The windows go first, so that the scan window stops the card's scan;
    // a block still on its way finds the PCM slots empty.
    for (std::uint32_t k = 0; k < 3; ++k) BB_DestroyPcmPlotWnd(kCard, k, 1);
    area_->closeAllSubWindows();
    if (open_) {
        BB_CloseDevice(kCard);
        open_ = false;
    }
}

}  // namespace plotdemo
