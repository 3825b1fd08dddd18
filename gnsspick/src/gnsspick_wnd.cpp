#include "gnsspick_wnd.h"

#include <platform/winmsg.h>

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "library_state.h"

namespace gnsspick {
namespace {

constexpr int kRefreshMs = 800;

QPointer<CGnssMeasureWnd>& Window() {
    static QPointer<CGnssMeasureWnd> w;
    return w;
}

const char* const kFieldLabels[] = {"时间", "X",  "Y",  "Z",  "经度", "纬度",
                                    "高度", "Vx", "Vy", "Vz", "PDOP:"};

const Text& FieldOf(const SolutionTexts& t, std::size_t i) {
    const Text* all[] = {&t.time,   &t.x,  &t.y,  &t.z,  &t.longitude, &t.latitude,
                         &t.height, &t.vx, &t.vy, &t.vz, &t.pdop};
    return *all[i];
}

}  // namespace

CGnssMeasureWnd::CGnssMeasureWnd(void* parentHandle)
    : QDialog(static_cast<QWidget*>(parentHandle)),
      parentHandle_(parentHandle),
      copy_(std::make_unique<DisplayState>()) {
    setObjectName(QStringLiteral("外测信息"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    upper_ = new QTableWidget(this);
    lower_ = new QTableWidget(this);
    for (QTableWidget* t : {upper_, lower_}) {
        t->setEditTriggers(QAbstractItemView::NoEditTriggers);
        t->verticalHeader()->setVisible(false);
        layout->addWidget(t);
    }
    auto* grid = new QGridLayout;
    int i = 0;
    for (const char* label : kFieldLabels) {
        auto* name = new QLabel(QString::fromUtf8(label), this);
        auto* value = new QLabel(this);
        value->setMinimumWidth(110);
        grid->addWidget(name, i / 4, (i % 4) * 2);
        grid->addWidget(value, i / 4, (i % 4) * 2 + 1);
        fields_.emplace_back(QString::fromUtf8(label), value);
        ++i;
    }
    layout->addLayout(grid);
    auto* buttons = new QHBoxLayout;
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    connect(close, &QPushButton::clicked, this, [this] { this->close(); });
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    resize(760, 620);
    // A timer rather than a signal per block: the data path only copies.
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] { Refresh(); });
    timer_->start(kRefreshMs);
}

CGnssMeasureWnd::~CGnssMeasureWnd() = default;

QString CGnssMeasureWnd::FieldText(const QString& label) const {
    for (const auto& [name, value] : fields_)
        if (name == label) return value->text();
    return {};
}

void CGnssMeasureWnd::BuildColumns(int layout) {
    builtLayout_ = layout;
    auto build = [layout](QTableWidget* t, const std::array<const char*, kColumns>& headers) {
        t->clear();
        t->setColumnCount(int(kColumns));
        QStringList titles;
        for (const char* h : headers) titles << QString::fromUtf8(h);
        t->setHorizontalHeaderLabels(titles);
        t->setShowGrid(layout == kLayoutNew);
        t->setRowCount(layout == kLayoutNew ? 0 : int(kOldRows));
    };
    build(upper_, UpperHeaders(layout));
    build(lower_, LowerHeaders(layout));
}

void CGnssMeasureWnd::FillTable(QTableWidget* t, const std::vector<TableRow>& rows,
                                bool newLayout) {
    if (t->rowCount() != int(rows.size())) t->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        for (int c = 0; c < int(kColumns); ++c) {
            const QString text = QString::fromStdString(rows[r][c]);
            QTableWidgetItem* item = t->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                if (newLayout) item->setForeground(Qt::blue);
                t->setItem(r, c, item);
            }
            if (item->text() != text) item->setText(text);
        }
    }
}

void CGnssMeasureWnd::Refresh() {
    {
        std::lock_guard<std::mutex> lock(LibraryLock());
        *copy_ = LibraryState().Display();
    }
    const int layout = copy_->layout == kLayoutNew ? kLayoutNew : kLayoutOld;
    if (layout != builtLayout_) BuildColumns(layout);
    UpperRows(*copy_, rows_);
    FillTable(upper_, rows_, layout == kLayoutNew);
    LowerRows(*copy_, rows_);
    FillTable(lower_, rows_, layout == kLayoutNew);
    const SolutionTexts texts = TextsOf(copy_->shown);
    for (std::size_t i = 0; i < fields_.size(); ++i)
        fields_[i].second->setText(QString::fromUtf8(FieldOf(texts, i).data()));
}

void CGnssMeasureWnd::ReportClosed() {
    if (parentHandle_) plat::PostMessage(parentHandle_, kWindowClosedMessage, 0, 0);
}

void CGnssMeasureWnd::closeEvent(QCloseEvent* e) {
    e->ignore();
    hide();
    ReportClosed();
}

void CGnssMeasureWnd::reject() {
    hide();
    ReportClosed();
}

CGnssMeasureWnd* SearchWindow() {
    return Window().data();
}

void ShowSearchWindow(const char* title, void* parent) {
    if (!QApplication::instance()) return;
    QPointer<CGnssMeasureWnd>& w = Window();
    if (!w) {
        w = new CGnssMeasureWnd(parent);
        w->Refresh();
    }
    w->SetParentHandle(parent);
    w->setWindowTitle(QString::fromUtf8(title));
    w->show();
    w->raise();
}

void HideSearchWindow() {
    if (CGnssMeasureWnd* w = Window().data()) w->hide();
}

}  // namespace gnsspick
