#include <rawgrid/table_menu_wnd.h>
#include <rawgrid/table_wnd.h>
#include <rawgrid/table_wnd_class.h>
#include <rawviews/view_slots.h>

#include <QMdiArea>
#include <QMenu>
#include <QPointer>

using rawgrid::CTableWnd;
using rawgrid::TableStore;

namespace {
constexpr int kStreams = 3;

int StreamIndex(int stream) {
    return stream == -1 ? 0 : stream;
}
}  // namespace

struct CTableWndClass::Impl : rawviews::CViewSlots<CTableWnd, TableStore, kStreams> {};

CTableWndClass::CTableWndClass() : d_(std::make_unique<Impl>()) {}

CTableWndClass::~CTableWndClass() = default;

void* CTableWndClass::InitTableWnd(QMdiArea* parent, _FRAME_STRUCT_PARAM* frame, unsigned refreshMs,
                                   int stream, QMenu* menu, int menuPos) {
    if (stream < -1 || stream > 2 || !parent) return nullptr;
    const int index = StreamIndex(stream);
    d_->Drop(index);

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

    d_->Adopt(index, wnd, wnd->Store());
    if (!wnd->StartRefresh(refreshMs)) {
        delete wnd;
        return nullptr;
    }
    return static_cast<QWidget*>(wnd);
}

int CTableWndClass::SetRawgridData(_FRAME_STRUCT_PARAM* frame, unsigned char* data, int stream) {
    if (stream < -1 || stream > 2) return 0;
    const std::shared_ptr<TableStore> store = d_->StoreOf(StreamIndex(stream));
    return store ? store->SetData(frame, data) : 0;
}

void* CTableWndClass::GetTableWnd(int stream) const {
    if (stream < -1 || stream > 2) return nullptr;
    return static_cast<QWidget*>(d_->Window(StreamIndex(stream)));
}
