#include <rawcurve/curver_wnd.h>
#include <rawcurve/curver_wnd_class.h>
#include <rawviews/view_slots.h>

#include <QMdiArea>
#include <QMenu>
#include <QPointer>

using rawcurve::CCurverWnd;
using rawcurve::CurveEngine;

namespace {
constexpr int kStreams = 3;

int StreamIndex(int stream) {
    return stream == -1 ? 0 : stream;
}
}  // namespace

struct CurverWndClass::Impl : rawviews::CViewSlots<CCurverWnd, CurveEngine, kStreams> {};

CurverWndClass::CurverWndClass() : d_(std::make_unique<Impl>()) {}

CurverWndClass::~CurverWndClass() = default;

void* CurverWndClass::Init_Curver(QMdiArea* parent, _FRAME_STRUCT_PARAM_EX* frame,
                                  unsigned refreshMs, int stream, QMenu* menu, int menuPos) {
    if (stream < -1 || stream > 2 || !parent) return nullptr;
    const int index = StreamIndex(stream);
    d_->Drop(index);

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

    d_->Adopt(index, wnd, wnd->Engine());
    if (!wnd->Start(refreshMs)) {
        delete wnd;
        return nullptr;
    }
    return static_cast<QWidget*>(wnd);
}

int CurverWndClass::SetRawcurveData(_FRAME_STRUCT_PARAM_EX* frame, unsigned char* data,
                                    int stream) {
    if (stream < -1 || stream > 2) return 0;
    const std::shared_ptr<CurveEngine> engine = d_->StoreOf(StreamIndex(stream));
    return engine ? engine->SetData(frame, data) : 0;
}

int CurverWndClass::SetErrorCode(_ERROR_CODE_STATISTIC* statistic, int show, int stream) {
    if (stream < -1 || stream > 2) return 0;
    if (show && !statistic) return 0;
    CCurverWnd* wnd = d_->Window(StreamIndex(stream));
    if (!wnd) return 0;
    wnd->SetErrorCode(statistic, show != 0);
    return 1;
}

void* CurverWndClass::GetCurverWnd(int stream) const {
    if (stream < -1 || stream > 2) return nullptr;
    return static_cast<QWidget*>(d_->Window(StreamIndex(stream)));
}
