#include "paramviews/para_view_wnds.h"

#include <paramviews/deal_wnds.h>
#include <preferences/preferences.h>

#include <QMdiArea>
#include <QMenu>
#include <QPointer>
#include <QTimer>

using paramviews::CDealCurveWnd;
using paramviews::CDealStripeWnd;
using paramviews::CDealTableWndB;
using paramviews::CDealWnd;

namespace {
enum Slot { kCurve, kStripe, kTable, kSlots };
}

// Polls the solver for a frame of the data that differs from the parameter
// database's and names it in each window's caption.
constexpr int kCaptionCheckMs = 500;

struct CParaViewWnds::Impl {
    QPointer<CDealWnd> windows[kSlots];
    QString titles[kSlots];  // the captions as created
    QObject context;         // receiver of the windows' signals; disconnects when we go
    QTimer captionCheck;

    Impl() {
        captionCheck.setInterval(kCaptionCheckMs);
        QObject::connect(&captionCheck, &QTimer::timeout, &context, [this] { UpdateCaptions(); });
    }

    void UpdateCaptions() {
        char text[512];
        const bool differs = GetDealFrameMismatch(text, sizeof text) > 0;
        for (int slot = 0; slot < kSlots; ++slot) {
            if (!windows[slot]) continue;
            const QString caption =
                differs ? titles[slot] + QStringLiteral(" —— ") + QString::fromUtf8(text)
                        : titles[slot];
            if (windows[slot]->windowTitle() != caption) windows[slot]->setWindowTitle(caption);
        }
    }

    template <class W>
    QWidget* Create(Slot slot, const char* title, unsigned style, const QRect& rect,
                    QMdiArea* parent, QMenu* menu, int menuPosition) {
        if (windows[slot] || !parent) return nullptr;
        auto* wnd = new W(static_cast<QWidget*>(parent->window()));
        if (title && *title) wnd->setWindowTitle(QString::fromUtf8(title));
        // No caption bar: the window is framed by the workspace only.
        parent->addSubWindow(wnd, Qt::SubWindow | Qt::FramelessWindowHint);
        if (rect.isValid())
            wnd->setGeometry(rect);
        else
            wnd->resize(parent->width() / 2, parent->height() / 2);
        if (menu) {
            const QList<QAction*> items = menu->actions();
            QAction* before =
                menuPosition >= 0 && menuPosition < items.size() ? items[menuPosition] : nullptr;
            menu->insertMenu(before, wnd->Popup());
        }
        QPointer<CDealWnd>* held = &windows[slot];
        QObject::connect(wnd, &CDealWnd::windowClosed, &context, [held, wnd] {
            if (held->data() == wnd) *held = nullptr;
        });
        if (!wnd->Start()) {
            delete wnd;
            return nullptr;
        }
        windows[slot] = wnd;
        titles[slot] = wnd->windowTitle();
        UpdateCaptions();
        captionCheck.start();
        if (style & kWsVisible) wnd->show();
        wnd->Tick();
        return wnd;
    }

    int SetPar(Slot slot, const char* a, const char* b, const char* c, const char* d, const char* e,
               unsigned n) {
        if (!windows[slot]) return 0;
        const char* const texts[5] = {a, b, c, d, e};
        windows[slot]->SetPar(texts, n);
        return 1;
    }

    int Maximize(Slot slot) {
        if (!windows[slot]) return 0;
        windows[slot]->showMaximized();
        return 1;
    }
};

CParaViewWnds::CParaViewWnds() : d_(std::make_unique<Impl>()) {}

CParaViewWnds::~CParaViewWnds() {
    for (auto& w : d_->windows) delete w.data();
}

QWidget* CParaViewWnds::CreateDealCurveWnd(const char*, const char* title, unsigned style,
                                           const QRect& rect, QMdiArea* parent, void*, QMenu* menu,
                                           int menuPosition) {
    return d_->Create<CDealCurveWnd>(kCurve, title, style, rect, parent, menu, menuPosition);
}

QWidget* CParaViewWnds::CreateDealStripeWnd(const char*, const char* title, unsigned style,
                                            const QRect& rect, QMdiArea* parent, void*, QMenu* menu,
                                            int menuPosition) {
    return d_->Create<CDealStripeWnd>(kStripe, title, style, rect, parent, menu, menuPosition);
}

QWidget* CParaViewWnds::CreateDealTableWnd(const char*, const char* title, unsigned style,
                                           const QRect& rect, QMdiArea* parent, void*, QMenu* menu,
                                           int menuPosition) {
    return d_->Create<CDealTableWndB>(kTable, title, style, rect, parent, menu, menuPosition);
}

int CParaViewWnds::SetDealCurveWndPar(const char* a, const char* b, const char* c, const char* d,
                                      const char* e, unsigned n) {
    return d_->SetPar(kCurve, a, b, c, d, e, n);
}

int CParaViewWnds::SetDealStripeWndPar(const char* a, const char* b, const char* c, const char* d,
                                       const char* e, unsigned n) {
    return d_->SetPar(kStripe, a, b, c, d, e, n);
}

int CParaViewWnds::SetDealTableWndPar(const char* a, const char* b, const char* c, const char* d,
                                      const char* e, unsigned n) {
    return d_->SetPar(kTable, a, b, c, d, e, n);
}

int CParaViewWnds::DealCurveWndMaximized() {
    return d_->Maximize(kCurve);
}

int CParaViewWnds::DealStripeWndMaximized() {
    return d_->Maximize(kStripe);
}

int CParaViewWnds::DealTableWndMaximized() {
    return d_->Maximize(kTable);
}

QWidget* CParaViewWnds::CurveWnd() const {
    return d_->windows[kCurve].data();
}

QWidget* CParaViewWnds::StripeWnd() const {
    return d_->windows[kStripe].data();
}

QWidget* CParaViewWnds::TableWnd() const {
    return d_->windows[kTable].data();
}
