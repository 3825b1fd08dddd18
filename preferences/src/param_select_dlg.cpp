#include "param_select_dlg.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <cstdio>

#include "selection_file.h"

namespace prefs {
namespace {

const char* const kCaptions[5] = {"参数选择", "柱状图显示参数选择", "曲线显示参数选择",
                                  "表格显示参数选择", "安控回令参数选择"};
const char* const kColumns[8] = {"参数名称", "物理量含义", "单位", "最大值",
                                 "最小值",   "上限",       "下限", "计算方法"};
constexpr int kWidthDlu = 384, kHeightDlu = 235;

// Dialog units to pixels by the font's average character size.
struct DialogUnits {
    explicit DialogUnits(const QFont& font) {
        const QFontMetrics m(font);
        baseX = (m.horizontalAdvance(
                     QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                     26 +
                 1) /
                2;
        baseY = m.height();
        if (baseX <= 0) baseX = 6;
        if (baseY <= 0) baseY = 13;
    }
    int X(int dlu) const { return dlu * baseX / 4; }
    int Y(int dlu) const { return dlu * baseY / 8; }
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }
    int baseX, baseY;
};

QString Number(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.5f", v);
    return QString::fromLatin1(buf);
}

// The flag the dialog edits: one kind, or all four for kind 0.
bool Carries(const ParamRecord& r, int kind) {
    if (kind == kKindAll) return r.nSelected != 0;
    return *KindFlag(r, kind) != 0;
}

void Mark(ParamRecord& r, int kind, std::int32_t value) {
    if (kind == kKindAll)
        r.nSelStripe = r.nSelCurve = r.nSelTable = r.nSelReply = value;
    else
        *KindFlag(r, kind) = value;
    RecomputeSelected(r);
}

QTableWidget* MakeList(QWidget* parent, const QColor& text) {
    auto* t = new QTableWidget(0, 8, parent);
    QStringList headers;
    for (const char* c : kColumns) headers << QString::fromUtf8(c);
    t->setHorizontalHeaderLabels(headers);
    t->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    t->verticalHeader()->hide();
    t->setShowGrid(true);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::ExtendedSelection);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int c = 0; c < 8; ++c) t->setColumnWidth(c, c == 1 ? 180 : 85);
    QPalette p = t->palette();
    p.setColor(QPalette::Text, text);
    t->setPalette(p);
    return t;
}

void Fill(QTableWidget* t, const std::vector<QStringList>& rows) {
    t->setRowCount(0);
    t->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r)
        for (int c = 0; c < 8 && c < rows[r].size(); ++c) {
            auto* item = new QTableWidgetItem(rows[r][c]);
            item->setTextAlignment(Qt::AlignCenter);
            t->setItem(r, c, item);
        }
}

bool RunDialog(SelectionDialogRequest& request) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
    CParamSelectDlg dlg(request, QApplication::activeWindow());
    return dlg.exec() == QDialog::Accepted;
}

// The window part of the library offers the dialog as soon as it is loaded.
const bool registered = [] {
    SetSelectionDialogRunner(RunDialog);
    return true;
}();

}  // namespace

QStringList CParamSelectDlg::RowTexts(const ParamRecord& r) {
    QString method;
    if (r.bFormula)
        method = QString::fromUtf8("公式法");
    else
        method = QStringLiteral("bit:%1").arg(r.nBit);
    return {QString::fromStdString(r.name),
            QString::fromStdString(r.meaning),
            QString::fromStdString(r.unit),
            Number(r.dMax),
            Number(r.dMin),
            Number(r.dUpper),
            Number(r.dLower),
            method};
}

CParamSelectDlg::CParamSelectDlg(SelectionDialogRequest& request, QWidget* parent)
    : QDialog(parent), request_(request), level_(request.level) {
    (void)registered;
    const int kind = request.kind >= 0 && request.kind <= 4 ? request.kind : 0;
    setWindowTitle(QString::fromUtf8(kCaptions[kind]));
    QFont font(QString::fromUtf8("宋体"));
    font.setPixelSize(12);
    setFont(font);
    const DialogUnits du(font);
    setFixedSize(du.X(kWidthDlu), du.Y(kHeightDlu));

    auto* label = new QLabel(QString::fromUtf8("参数类型"), this);
    label->setGeometry(du.Rect(7, 8, 36, 10));
    levelBox_ = new QComboBox(this);
    levelBox_->addItems(
        {QString::fromUtf8("子帧 "), QString::fromUtf8("副帧"), QString::fromUtf8("特殊副帧")});
    levelBox_->setGeometry(du.Rect(45, 6, 70, 14));
    left_ = MakeList(this, QColor(0, 128, 128));
    left_->setGeometry(du.Rect(7, 24, 160, 186));
    right_ = MakeList(this, QColor(0, 0, 255));
    right_->setGeometry(du.Rect(217, 24, 160, 186));
    auto button = [&](const char* text, int y) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setGeometry(du.Rect(172, y, 40, 24));
        return b;
    };
    add_ = button("添加=>\n(&A)", 50);
    remove_ = button("删除<=\n(&D)", 90);
    clear_ = button("全删<=\n(&C)", 130);
    auto* ok = new QPushButton(QString::fromUtf8("确定(&Y)"), this);
    ok->setGeometry(du.Rect(260, 215, 50, 14));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QString::fromUtf8("取消(&N)"), this);
    cancel->setGeometry(du.Rect(320, 215, 50, 14));
    connect(ok, &QPushButton::clicked, this, [this] {
        if (!busy_) accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(add_, &QPushButton::clicked, this, [this] { AddHighlighted(); });
    connect(remove_, &QPushButton::clicked, this, [this] { RemoveHighlighted(); });
    connect(clear_, &QPushButton::clicked, this, [this] { RemoveAll(); });
    levelBox_->setCurrentIndex(level_);
    connect(levelBox_, &QComboBox::currentIndexChanged, this, [this](int i) { ChooseLevel(i); });
    Start(Op::Fill, {});
}

CParamSelectDlg::~CParamSelectDlg() {
    // Rows posted by a worker still running are dropped with this object.
    if (worker_.joinable()) worker_.join();
}

void CParamSelectDlg::SetBusy(bool busy) {
    busy_ = busy;
    for (QWidget* w : {static_cast<QWidget*>(levelBox_), static_cast<QWidget*>(add_),
                       static_cast<QWidget*>(remove_), static_cast<QWidget*>(clear_)})
        w->setEnabled(!busy);
}

QStringList CParamSelectDlg::HighlightedNames(QTableWidget* table) const {
    QStringList names;
    for (const QModelIndex& i : table->selectionModel()->selectedRows(0))
        names << table->item(i.row(), 0)->text();
    return names;
}

void CParamSelectDlg::ChooseLevel(int level) {
    if (busy_ || level < 0 || level > 2) return;
    level_ = level;
    if (levelBox_->currentIndex() != level) {
        const QSignalBlocker block(levelBox_);
        levelBox_->setCurrentIndex(level);
    }
    Start(Op::Fill, {});
}

void CParamSelectDlg::AddHighlighted() {
    if (!busy_) Start(Op::Add, HighlightedNames(left_));
}

void CParamSelectDlg::RemoveHighlighted() {
    if (!busy_) Start(Op::Remove, HighlightedNames(right_));
}

void CParamSelectDlg::RemoveAll() {
    if (!busy_) Start(Op::Clear, {});
}

void CParamSelectDlg::Start(Op op, const QStringList& names) {
    SetBusy(true);
    if (worker_.joinable()) worker_.join();
    const int level = level_;
    const int kind = request_.kind;
    std::vector<std::string> wanted;
    for (const QString& n : names) wanted.push_back(n.toStdString());
    // The worker gets its own copy; only the GUI thread touches widgets and the request.
    worker_ = std::thread([this, op, level, kind, wanted = std::move(wanted),
                           list = request_.lists[level]]() mutable {
        auto first = [&](const std::string& name) -> ParamRecord* {
            for (ParamRecord& r : list)
                if (r.name == name) return &r;
            return nullptr;
        };
        if (op == Op::Clear)
            for (ParamRecord& r : list) Mark(r, kind, 0);
        for (const std::string& name : wanted)
            if (ParamRecord* r = first(name)) Mark(*r, kind, op == Op::Add ? 1 : 0);
        std::vector<QStringList> leftRows, rightRows;
        for (const ParamRecord& r : list) {
            leftRows.push_back(RowTexts(r));
            if (Carries(r, kind)) rightRows.push_back(leftRows.back());
        }
        QMetaObject::invokeMethod(
            this,
            [this, level, list = std::move(list), leftRows = std::move(leftRows),
             rightRows = std::move(rightRows)] { Show(level, list, leftRows, rightRows); },
            Qt::QueuedConnection);
    });
}

void CParamSelectDlg::Show(int level, const std::vector<ParamRecord>& list,
                           const std::vector<QStringList>& leftRows,
                           const std::vector<QStringList>& rightRows) {
    request_.lists[level] = list;
    Fill(left_, leftRows);
    Fill(right_, rightRows);
    SetBusy(false);
}

}  // namespace prefs
