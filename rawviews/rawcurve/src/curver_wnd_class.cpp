#include <rawcurve/curver_wnd.h>
#include <rawcurve/curver_wnd_class.h>

#include <QMdiArea>
#include <QMenu>
#include <QPointer>
#include <mutex>

using rawcurve::CCurverWnd;
using rawcurve::CurveEngine;

namespace {
constexpr int kStreams = 3;

int StreamIndex(int stream) {
    return stream == -1 ? 0 : stream;
}
}  // namespace

struct CurverWndClass::Impl {
    std::mutex mutex;
    std::shared_ptr<CurveEngine> engines[kStreams];  // guarded by mutex; read by data calls
    QPointer<CCurverWnd> windows[kStreams];          // GUI thread only
    QObject context;  // receiver of the windows' signals; disconnects when we go

    void Forget(int index, const CurveEngine* engine) {
        std::lock_guard lock(mutex);
        if (engines[index].get() == engine) engines[index].reset();
    }
};

CurverWndClass::CurverWndClass() : d_(std::make_unique<Impl>()) {}

CurverWndClass::~CurverWndClass() {
    for (int i = 0; i < kStreams; ++i) {
        d_->Forget(i, d_->engines[i].get());
        delete d_->windows[i].data();
    }
}

void* CurverWndClass::Init_Curver(QMdiArea* parent, _FRAME_STRUCT_PARAM_EX* frame,
                                  unsigned refreshMs, int stream, QMenu* menu, int menuPos) {
    if (stream < -1 || stream > 2 || !parent) return nullptr;
    const int index = StreamIndex(stream);
    if (CCurverWnd* old = d_->windows[index].data()) {
        d_->Forget(index, old->Engine().get());
        delete old;
    }

    auto* wnd = new CCurverWnd(stream, frame, static_cast<QWidget*>(parent->window()),
                               static_cast<QWidget*>(parent));
    parent->addSubWindow(wnd, Qt::SubWindow | Qt::FramelessWindowHint);
    wnd->setGeometry(0, 0, 500, 200);
    wnd->show();
    if (menu) {
        const QList<QAction*> items = menu->actions();
        QAction* before = menuPos >= 0 && menuPos < items.size() ? items[menuPos] : nullptr;
        menu->insertMenu(before, wnd->SettingsMenu());
    }

    Impl* d = d_.get();
    const CurveEngine* engine = wnd->Engine().get();
    QObject::connect(wnd, &CCurverWnd::windowClosed, &d->context, [d, index, engine, wnd] {
        d->Forget(index, engine);
        if (d->windows[index] == wnd) d->windows[index] = nullptr;  // deleted later
    });
    QObject::connect(wnd, &QObject::destroyed, &d->context,
                     [d, index, engine] { d->Forget(index, engine); });
    {
        std::lock_guard lock(d->mutex);
        d->engines[index] = wnd->Engine();
    }
    d->windows[index] = wnd;
    if (!wnd->Start(refreshMs)) {
        delete wnd;
        return nullptr;
    }
    return static_cast<QWidget*>(wnd);
}

int CurverWndClass::SetRawcurveData(_FRAME_STRUCT_PARAM_EX* frame, unsigned char* data,
                                    int stream) {
    if (stream < -1 || stream > 2) return 0;
    std::shared_ptr<CurveEngine> engine;
    {
        std::lock_guard lock(d_->mutex);
        engine = d_->engines[StreamIndex(stream)];
    }
    return engine ? engine->SetData(frame, data) : 0;
}

int CurverWndClass::SetErrorCode(_ERROR_CODE_STATISTIC* statistic, int show, int stream) {
    if (stream < -1 || stream > 2) return 0;
    if (show && !statistic) return 0;
    CCurverWnd* wnd = d_->windows[StreamIndex(stream)].data();
    if (!wnd) return 0;
    wnd->SetErrorCode(statistic, show != 0);
    return 1;
}

void* CurverWndClass::GetCurverWnd(int stream) const {
    if (stream < -1 || stream > 2) return nullptr;
    return static_cast<QWidget*>(d_->windows[StreamIndex(stream)].data());
}
