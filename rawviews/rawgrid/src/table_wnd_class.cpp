#include <rawgrid/table_menu_wnd.h>
#include <rawgrid/table_wnd.h>
#include <rawgrid/table_wnd_class.h>

#include <QMdiArea>
#include <QMenu>
#include <QPointer>
#include <mutex>

using rawgrid::CTableWnd;
using rawgrid::TableStore;

namespace {
constexpr int kStreams = 3;

int StreamIndex(int stream) {
    return stream == -1 ? 0 : stream;
}
}  // namespace

struct CTableWndClass::Impl {
    std::mutex mutex;
    std::shared_ptr<TableStore> stores[kStreams];  // guarded by mutex; read by data calls
    QPointer<CTableWnd> windows[kStreams];         // GUI thread only
    QObject context;  // receiver of the windows' signals; disconnects when we go

    void Forget(int index, const TableStore* store) {
        std::lock_guard lock(mutex);
        if (stores[index].get() == store) stores[index].reset();
    }
};

CTableWndClass::CTableWndClass() : d_(std::make_unique<Impl>()) {}

CTableWndClass::~CTableWndClass() {
    for (int i = 0; i < kStreams; ++i) {
        d_->Forget(i, d_->stores[i].get());
        delete d_->windows[i].data();
    }
}

void* CTableWndClass::InitTableWnd(QMdiArea* parent, _FRAME_STRUCT_PARAM* frame, unsigned refreshMs,
                                   int stream, QMenu* menu, int menuPos) {
    if (stream < -1 || stream > 2 || !parent) return nullptr;
    const int index = StreamIndex(stream);
    if (CTableWnd* old = d_->windows[index].data()) {
        d_->Forget(index, old->Store().get());
        delete old;
    }

    auto* wnd = new CTableWnd(stream, frame, static_cast<QWidget*>(parent->window()),
                              static_cast<QWidget*>(parent));
    if (!wnd->Store()->Valid()) {
        delete wnd;
        return nullptr;
    }
    parent->addSubWindow(wnd);
    wnd->setGeometry(0, 0, 500, 200);
    wnd->show();
    if (menu) {
        const QList<QAction*> items = menu->actions();
        QAction* before = menuPos >= 0 && menuPos < items.size() ? items[menuPos] : nullptr;
        menu->insertMenu(before, wnd->SettingsMenu());
    }

    Impl* d = d_.get();
    const TableStore* store = wnd->Store().get();
    QObject::connect(wnd, &CTableWnd::windowClosed, &d->context, [d, index, store, wnd] {
        d->Forget(index, store);
        if (d->windows[index] == wnd) d->windows[index] = nullptr;  // deleted later
    });
    QObject::connect(wnd, &QObject::destroyed, &d->context,
                     [d, index, store] { d->Forget(index, store); });
    {
        std::lock_guard lock(d->mutex);
        d->stores[index] = wnd->Store();
    }
    d->windows[index] = wnd;
    if (!wnd->StartRefresh(refreshMs)) {
        delete wnd;
        return nullptr;
    }
    return static_cast<QWidget*>(wnd);
}

int CTableWndClass::SetRawgridData(_FRAME_STRUCT_PARAM* frame, unsigned char* data, int stream) {
    if (stream < -1 || stream > 2) return 0;
    std::shared_ptr<TableStore> store;
    {
        std::lock_guard lock(d_->mutex);
        store = d_->stores[StreamIndex(stream)];
    }
    return store ? store->SetData(frame, data) : 0;
}

void* CTableWndClass::GetTableWnd(int stream) const {
    if (stream < -1 || stream > 2) return nullptr;
    return static_cast<QWidget*>(d_->windows[StreamIndex(stream)].data());
}
