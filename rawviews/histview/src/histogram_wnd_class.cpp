#include <histview/histogram_wnd.h>
#include <histview/histogram_wnd_class.h>

#include <QMdiArea>
#include <QPointer>
#include <mutex>

using histview::CHistogramWnd;
using histview::HistStore;

struct CHistogramWndClass::Impl {
    std::mutex mutex;
    std::shared_ptr<HistStore> store;  // guarded by mutex; read by data calls
    QPointer<CHistogramWnd> window;    // GUI thread only
    QObject context;

    void Forget(const HistStore* s) {
        std::lock_guard lock(mutex);
        if (store.get() == s) store.reset();
    }
};

CHistogramWndClass::CHistogramWndClass() : d_(std::make_unique<Impl>()) {}

CHistogramWndClass::~CHistogramWndClass() {
    d_->Forget(d_->store.get());
    delete d_->window.data();
}

void* CHistogramWndClass::InitHistogramWnd(QMdiArea* parent, _FRAME_STRUCT_PARAM* frame,
                                           unsigned refreshMs) {
    if (!parent) return nullptr;
    if (CHistogramWnd* old = d_->window.data()) {
        d_->Forget(old->Store().get());
        delete old;
    }
    auto* wnd = new CHistogramWnd(frame, static_cast<QWidget*>(parent->window()),
                                  static_cast<QWidget*>(parent));
    parent->addSubWindow(wnd);
    wnd->setGeometry(0, 0, 100, 100);
    wnd->showMaximized();

    Impl* d = d_.get();
    const HistStore* store = wnd->Store().get();
    QObject::connect(wnd, &CHistogramWnd::windowClosed, &d->context, [d, store, wnd] {
        d->Forget(store);
        if (d->window == wnd) d->window = nullptr;
    });
    QObject::connect(wnd, &QObject::destroyed, &d->context, [d, store] { d->Forget(store); });
    {
        std::lock_guard lock(d->mutex);
        d->store = wnd->Store();
    }
    d->window = wnd;
    if (!wnd->StartRefresh(refreshMs)) {
        delete wnd;
        return nullptr;
    }
    return static_cast<QWidget*>(wnd);
}

int CHistogramWndClass::SetHistviewData(_FRAME_STRUCT_PARAM* frame, unsigned char* data) {
    std::shared_ptr<HistStore> store;
    {
        std::lock_guard lock(d_->mutex);
        store = d_->store;
    }
    return store ? store->SetData(frame, data) : 0;
}

int CHistogramWndClass::SetErrorCode(_ERROR_CODE_STATISTIC* statistic, int show) {
    if (show && !statistic) return 0;
    if (CHistogramWnd* wnd = d_->window.data()) wnd->SetErrorCode(statistic, show != 0);
    return 1;
}

void* CHistogramWndClass::GetHistogramWnd() const {
    return static_cast<QWidget*>(d_->window.data());
}
