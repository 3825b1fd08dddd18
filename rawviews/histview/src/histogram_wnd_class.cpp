#include <histview/histogram_wnd.h>
#include <histview/histogram_wnd_class.h>
#include <rawviews/view_slots.h>

#include <QMdiArea>
#include <QPointer>
#include <algorithm>

using histview::CHistogramWnd;
using histview::HistStore;

// One window: slot 0.
struct CHistogramWndClass::Impl : rawviews::CViewSlots<CHistogramWnd, HistStore, 1> {};

CHistogramWndClass::CHistogramWndClass() : d_(std::make_unique<Impl>()) {}

CHistogramWndClass::~CHistogramWndClass() = default;

void* CHistogramWndClass::InitHistogramWnd(QMdiArea* parent, _FRAME_STRUCT_PARAM* frame,
                                           unsigned refreshMs) {
    if (!parent) return nullptr;
    d_->Drop(0);
    auto* wnd = new CHistogramWnd(frame, static_cast<QWidget*>(parent->window()),
                                  static_cast<QWidget*>(parent));
    parent->addSubWindow(wnd);
    // Maximised; restored (when the operator turns to another window of
    // the workspace) it still covers the workspace rather than a corner.
    const QSize area = parent->viewport()->size();
    wnd->setGeometry(0, 0, std::max(100, area.width()), std::max(100, area.height()));
    wnd->showMaximized();

    d_->Adopt(0, wnd, wnd->Store());
    if (!wnd->StartRefresh(refreshMs)) {
        delete wnd;
        return nullptr;
    }
    return static_cast<QWidget*>(wnd);
}

int CHistogramWndClass::SetHistviewData(_FRAME_STRUCT_PARAM* frame, unsigned char* data) {
    const std::shared_ptr<HistStore> store = d_->StoreOf(0);
    return store ? store->SetData(frame, data) : 0;
}

int CHistogramWndClass::SetErrorCode(_ERROR_CODE_STATISTIC* statistic, int show) {
    if (show && !statistic) return 0;
    if (CHistogramWnd* wnd = d_->Window(0)) wnd->SetErrorCode(statistic, show != 0);
    return 1;
}

void* CHistogramWndClass::GetHistogramWnd() const {
    return static_cast<QWidget*>(d_->Window(0));
}
