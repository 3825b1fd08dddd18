// The window table of the PCM plots: three slots per card. The report thread
// reaches only a slot's frame store, which the window shares, so a window
// that closes while data still come is never touched from that thread. Any
// close empties the slot under the table lock.
#include <bbdevice/bbdevice.h>
#include <pcmplot/pcm_plot_wnd.h>
#include <pcmplot/pcmplot.h>
#include <platform/notify.h>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <algorithm>
#include <climits>
#include <mutex>

namespace pcmplot {
namespace {

constexpr std::uint32_t kCards = 8;

struct Slot {
    std::shared_ptr<PcmFrameStore> store;  // any thread, under g_lock
    QPointer<CBcdPlotWnd> wnd;             // GUI thread
    bool created = false;
};

PcmSpinLock g_lock;
Slot g_slots[kCards][kKinds];

std::uint32_t UsableCards() {
    return std::min(BB_GetActiveBandCaseSumInApp(), kCards);
}

bool InRange(std::uint32_t card, std::uint32_t kind) {
    return kind < kKinds && card < UsableCards();
}

// Caller holds g_lock.
void Empty(Slot& s) {
    s.created = false;
    s.wnd = nullptr;
    s.store.reset();
}

CBcdPlotWnd* WindowOf(std::uint32_t card, std::uint32_t kind) {
    if (!InRange(card, kind)) return nullptr;
    std::lock_guard lock(g_lock);
    const Slot& s = g_slots[card][kind];
    return s.created ? s.wnd.data() : nullptr;
}

std::shared_ptr<PcmFrameStore> StoreOf(std::uint32_t card, std::uint32_t kind) {
    if (!InRange(card, kind)) return nullptr;
    std::lock_guard lock(g_lock);
    const Slot& s = g_slots[card][kind];
    return s.created ? s.store : nullptr;
}

const char* const kDefaultTitles[kKinds] = {"【板卡%1】-- PCM原码表格", "【板卡%1】-- PCM原码曲线",
                                            "【板卡%1】-- PCM原码直方图"};

}  // namespace

void ReleaseSlot(CBcdPlotWnd* w) {
    std::lock_guard lock(g_lock);
    for (auto& card : g_slots)
        for (Slot& s : card)
            if (s.created && (s.wnd == w || s.wnd.isNull())) Empty(s);
}

}  // namespace pcmplot

using namespace pcmplot;

extern "C" {

std::int32_t BB_CreatePcmPlotWnd(std::uint32_t card, std::uint32_t kind, std::uint32_t value,
                                 const char* title, QMdiArea* parent) {
    if (!InRange(card, kind) || !parent) return 0;
    {
        std::lock_guard lock(g_lock);
        Slot& s = g_slots[card][kind];
        if (s.created && s.wnd) return 0;
        if (s.created) Empty(s);
    }
    auto store = std::make_shared<PcmFrameStore>();
    CBcdPlotWnd* wnd = nullptr;
    switch (kind) {
        case kTable:
            wnd = new CBcdTableWnd(card, value, store, nullptr);
            break;
        case kCurve:
            wnd = new CBcdCurveWnd(card, value, store, nullptr);
            break;
        default:
            wnd = new CBcdStripeWnd(card, value, store, nullptr);
            break;
    }
    const QString text = title && *title ? QString::fromUtf8(title)
                                         : QString::fromUtf8(kDefaultTitles[kind]).arg(card);
    wnd->setWindowTitle(text);
    {
        std::lock_guard lock(g_lock);
        Slot& s = g_slots[card][kind];
        s.store = store;
        s.wnd = wnd;
        s.created = true;
    }
    QMdiSubWindow* sub = parent->addSubWindow(wnd);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowTitle(text);
    sub->resize(640, 360);
    sub->show();
    if (!wnd->SetElapse(kDefaultPeriodMs))
        plat::MessageBox("此窗口没有足够的计时器。", "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
    return 1;
}

std::int32_t BB_DestroyPcmPlotWnd(std::uint32_t card, std::uint32_t kind, std::int32_t close) {
    if (card >= kCards || kind >= kKinds) return 0;
    QPointer<CBcdPlotWnd> w;
    {
        std::lock_guard lock(g_lock);
        Slot& s = g_slots[card][kind];
        if (!s.created) return 0;
        w = s.wnd;
        Empty(s);
    }
    if (close && w) {
        w->StopTimer();
        QWidget* outer = qobject_cast<QMdiSubWindow*>(w->parentWidget());
        delete (outer ? outer : static_cast<QWidget*>(w.data()));
    }
    return 1;
}

QWidget* BB_GetPcmPlotWnd(std::uint32_t card, std::uint32_t kind) {
    return WindowOf(card, kind);
}

std::int32_t BB_SetPcmPlotElapse(std::uint32_t card, std::uint32_t kind, std::uint32_t periodMs) {
    CBcdPlotWnd* w = WindowOf(card, kind);
    if (!w) return 0;
    // 0 would make a busy loop of the timer.
    const int period = static_cast<int>(std::clamp<std::uint32_t>(periodMs, 1, INT_MAX));
    if (!w->SetElapse(period)) {
        plat::MessageBox("此窗口没有足够的计时器。", "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
        return 0;
    }
    return 1;
}

std::int32_t BB_SetDemFrameInfo(std::uint32_t card, std::uint32_t kind,
                                const DemChannelDescriptor* descriptor) {
    if (!descriptor) return 0;
    const auto store = StoreOf(card, kind);
    return store && store->SetGeometry(*descriptor) ? 1 : 0;
}

std::int32_t BB_SendPcmFrameData(std::uint32_t card, std::uint32_t kind, const std::uint8_t* data,
                                 std::uint32_t length) {
    if (!data || length == 0 || !InRange(card, kind)) return 0;
    // The table lock is held through the copy, so a close waits for a call
    // already under way and the store cannot go meanwhile.
    std::lock_guard lock(g_lock);
    const Slot& s = g_slots[card][kind];
    return s.created && s.store && s.store->Append(data, length) ? 1 : 0;
}

}  // extern "C"
