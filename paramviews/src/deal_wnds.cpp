#include <paramviews/deal_wnds.h>
#include <platform/beep.h>
#include <platform/notify.h>
#include <platform/winmsg.h>
#include <preferences/preferences.h>

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QPolygonF>
#include <QTableView>
#include <QTimer>
#include <algorithm>

#include "view_texts.h"

namespace paramviews {
namespace {

const char* const kLevelNames[kLevels] = {"子帧", "副帧", "特殊副帧"};
constexpr int kTicks = 4;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QFont WindowFont(int pixels) {
    QFont f(QString::fromUtf8("宋体"));
    f.setPixelSize(pixels);
    return f;
}

int ValidCount(const DealResult& r) {
    return std::clamp(r.nValid, 0, kResultHistory);
}

const double& Newest(const DealResult& r) {
    return r.dValue[kResultHistory - 1];
}

// Every (level, index) of a kind's selection, the three groups one after the other.
template <class F>
void ForEachSelected(const ParamGroups& groups, int kind, F f) {
    for (int l = 0; l < kLevels; ++l) {
        const ParamGroup& g = groups.Group(l);
        if (!g.results) continue;
        for (int i : g.Selected(kind))
            if (i >= 0 && i < g.count && std::size_t(i) < g.params.size())
                f(g.params[std::size_t(i)], g.results[i], l, i);
    }
}

int CountSelected(const ParamGroups& groups, int kind) {
    int n = 0;
    ForEachSelected(groups, kind, [&](auto&, auto&, int, int) { ++n; });
    return n;
}

// The 100 ms fetch on the GUI thread, started with the first groups.
void StartFetchTimer() {
    static QTimer* timer = nullptr;
    if (timer || !QCoreApplication::instance()) return;
    timer = new QTimer(QCoreApplication::instance());
    timer->setInterval(100);
    QObject::connect(timer, &QTimer::timeout, [] { ParamGroups::Instance().Fetch(); });
    timer->start();
}

const bool hooked = [] {
    ParamGroups::Instance().SetGuiPoster([](std::function<void()> job) {
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, std::move(job), Qt::QueuedConnection);
        else
            job();
    });
    ParamGroups::Instance().SetOnCreated(StartFetchTimer);
    return true;
}();

}  // namespace

// --- common window ---------------------------------------------------------

CDealWnd::CDealWnd(const Kind& k, void* frameHandle, QWidget* parent)
    : QMdiSubWindow(parent), kind_(k), frameHandle_(frameHandle) {
    (void)hooked;
    setWindowTitle(QString::fromUtf8(k.title));
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(WindowFont(12));
    ParamGroups::Instance().EnsureInitialized();
    level_ = ReadLevel(k.settingsKey);
    popup_ = new QMenu(QString::fromUtf8("参数显示配置(&C)"), this);
    for (int l = 0; l < kLevels; ++l) {
        levels_[l] = popup_->addAction(QString::fromUtf8(kLevelNames[l]));
        levels_[l]->setCheckable(true);
        levels_[l]->setChecked(l == level_);
        connect(levels_[l], &QAction::triggered, this, [this, l] { ChooseLevel(l); });
    }
    popup_->addSeparator();
    alarmItem_ = popup_->addAction(QString::fromUtf8("开启超限报警(&A)"));
    connect(alarmItem_, &QAction::triggered, this, [this] { ToggleAlarm(); });
    // The windows have no frame and so no close button of their own.
    popup_->addSeparator();
    QAction* closeItem = popup_->addAction(QString::fromUtf8("关闭窗口(&X)"));
    closeItem->setObjectName(QStringLiteral("closeWindow"));
    connect(closeItem, &QAction::triggered, this, &QWidget::close, Qt::QueuedConnection);
}

bool CDealWnd::Start() {
    timerId_ = startTimer(150);
    if (timerId_ == 0) {
        plat::MessageBox("Not enough timers available for this window.", kind_.timerCaption,
                         plat::MB_OK | plat::MB_ICONEXCLAMATION);
        return false;
    }
    return true;
}

void CDealWnd::ChooseLevel(int level) {
    if (level < 0 || level >= kLevels) return;
    level_ = level;
    for (int l = 0; l < kLevels; ++l) levels_[l]->setChecked(l == level);
    WriteSetting(kind_.settingsKey, unsigned(level));
    ParamGroups& groups = ParamGroups::Instance();
    groups.EnsureInitialized();
    if (groups.Group(level).Selected(kind_.kind).empty()) {
        std::vector<ParStructEx> lists[kLevels];
        int n[kLevels] = {};
        OpenParameterDlg(lists[0], lists[1], lists[2], n[0], n[1], n[2], kind_.kind, level);
        groups.ReloadSelection(kind_.kind);
    }
    Refresh();
}

void CDealWnd::ToggleAlarm() {
    alarm_ = !alarm_;
    alarmItem_->setText(QString::fromUtf8(alarm_ ? "关闭超限报警(&A)" : "开启超限报警(&A)"));
    Refresh();
}

void CDealWnd::SetPar(const char* const texts[5], unsigned number) {
    for (int i = 0; i < 5; ++i) texts_[std::size_t(i)] = texts[i] ? texts[i] : "";
    number_ = number;
}

void CDealWnd::Tick() {
    Refresh();
    if (alarm_) SoundAlarm();
}

void CDealWnd::timerEvent(QTimerEvent* e) {
    if (e->timerId() == timerId_)
        Tick();
    else
        QMdiSubWindow::timerEvent(e);
}

void CDealWnd::contextMenuEvent(QContextMenuEvent* e) {
    popup_->popup(e->globalPos());
}

void CDealWnd::closeEvent(QCloseEvent* e) {
    QMdiSubWindow::closeEvent(e);
    if (!e->isAccepted()) return;
    if (timerId_) killTimer(timerId_);
    timerId_ = 0;
    emit windowClosed();
    plat::PostMessage(frameHandle_, kind_.closeMessage, 0, 0);
}

// --- curves ----------------------------------------------------------------

void PaintCurvePanels(QPainter& p, const QRect& area, const ParamGroups& groups, bool alarm,
                      std::vector<QPointF>& scratch) {
    p.fillRect(area, Qt::black);
    const int n = CountSelected(groups, kKindCurve);
    if (n == 0) return;
    p.setFont(WindowFont(12));
    const int labelWidth = 56, titleHeight = 16;
    int k = 0;
    ForEachSelected(groups, kKindCurve, [&](const ParStructEx& par, const DealResult& r, int, int) {
        const int top = area.top() + k * area.height() / n;
        const int bottom = area.top() + (k + 1) * area.height() / n - 1;
        ++k;
        const QRect panel(area.left(), top, area.width(), bottom - top + 1);
        const QRect plot(panel.left() + labelWidth, panel.top() + titleHeight,
                         std::max(1, panel.width() - labelWidth - 4),
                         std::max(1, panel.height() - titleHeight - 4));
        p.setPen(QColor(80, 80, 80));
        p.drawRect(plot);
        p.setPen(Qt::cyan);
        p.drawText(QRect(panel.left() + 4, panel.top(), panel.width() - 8, titleHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, Q(CurveTitle(par)));
        p.setPen(Qt::green);
        for (int t = 0; t <= kTicks; ++t) {
            const double v = par.dMin + t * (par.dMax - par.dMin) / kTicks;
            const int y = plot.bottom() - t * (plot.height() - 1) / kTicks;
            p.drawText(QRect(panel.left(), y - 6, labelWidth - 4, 12),
                       Qt::AlignRight | Qt::AlignVCenter, Q(Format("%.1lf", v)));
        }
        auto yOf = [&](double v) {
            return plot.bottom() - CurveFraction(v, par.dMin, par.dMax) * (plot.height() - 1);
        };
        if (alarm && ScaleFraction(par.dUpper, par.dMin, par.dMax)) {
            p.setPen(Qt::red);
            p.drawLine(QPointF(plot.left(), yOf(par.dUpper)),
                       QPointF(plot.right(), yOf(par.dUpper)));
        }
        if (alarm && ScaleFraction(par.dLower, par.dMin, par.dMax)) {
            p.setPen(Qt::yellow);
            p.drawLine(QPointF(plot.left(), yOf(par.dLower)),
                       QPointF(plot.right(), yOf(par.dLower)));
        }
        const int valid = ValidCount(r);
        if (valid < 2) return;
        scratch.resize(std::size_t(valid));
        const double step = double(plot.width() - 1) / (kResultHistory - 1);
        for (int j = 0; j < valid; ++j) {
            const int at = kResultHistory - valid + j;
            scratch[std::size_t(j)] = QPointF(plot.left() + at * step, yOf(r.dValue[at]));
        }
        p.setPen(Qt::white);
        p.drawPolyline(scratch.data(), valid);
    });
}

CDealCurveWnd::CDealCurveWnd(void* frameHandle, QWidget* parent)
    : CDealWnd({kKindCurve, "参数曲线显示", kCurveKey, "MDI:参数曲线显示窗口", 1046}, frameHandle,
               parent) {
    class Canvas : public QWidget {
    public:
        explicit Canvas(CDealCurveWnd* w) : QWidget(w), w_(w) {}
        void paintEvent(QPaintEvent*) override {
            QPainter p(this);
            PaintCurvePanels(p, rect(), ParamGroups::Instance(), w_->Alarm(), points_);
        }

    private:
        CDealCurveWnd* w_;
        std::vector<QPointF> points_ = std::vector<QPointF>(kResultHistory);
    };
    setWidget(new Canvas(this));
}

int CDealCurveWnd::PanelCount() const {
    return CountSelected(ParamGroups::Instance(), kKindCurve);
}

void CDealCurveWnd::Refresh() {
    if (widget()) widget()->update();
}

void CDealCurveWnd::SoundAlarm() {
    ForEachSelected(ParamGroups::Instance(), kKindCurve,
                    [](const ParStructEx& par, const DealResult& r, int, int) {
                        if (ValidCount(r) > 0 && LimitState(Newest(r), par.dUpper, par.dLower))
                            plat::Beep(1500, 5);
                    });
}

// --- stripes ---------------------------------------------------------------

StripeGeometry StripeAt(const QRect& area, int k, int n, const ParStructEx& p, double value) {
    n = std::max(n, 1);
    const int rowH = area.height() / n;
    const int labelW = area.width() * 2 / 5, valueW = 90;
    const int top = area.top() + k * rowH;
    StripeGeometry g;
    g.track = QRect(area.left() + labelW, top + rowH / 4,
                    std::max(1, area.width() - labelW - valueW), std::max(1, rowH / 2));
    const auto f = ScaleFraction(value, p.dMin, p.dMax);
    g.barLength = f ? int(*f * g.track.width() + 0.5) : -1;
    return g;
}

void PaintStripes(QPainter& p, const QRect& area, const ParamGroups& groups) {
    p.fillRect(area, Qt::black);
    const int n = CountSelected(groups, kKindStripe);
    if (n == 0) return;
    p.setFont(WindowFont(12));
    int k = 0;
    ForEachSelected(
        groups, kKindStripe, [&](const ParStructEx& par, const DealResult& r, int, int) {
            const double v = Newest(r);
            const StripeGeometry g = StripeAt(area, k, n, par, v);
            const int rowH = area.height() / n;
            const int top = area.top() + k * rowH;
            ++k;
            p.setPen(Qt::cyan);
            p.drawText(QRect(area.left() + 4, top, g.track.left() - area.left() - 8, rowH),
                       Qt::AlignLeft | Qt::AlignVCenter, Q(StripeLabel(par)));
            p.setPen(QColor(80, 80, 80));
            p.drawRect(g.track);
            // A parameter that never had a sample has no value to show.
            if (ValidCount(r) == 0) return;
            if (g.barLength > 0)
                p.fillRect(QRect(g.track.left(), g.track.top(), g.barLength, g.track.height()),
                           Qt::green);
            p.setPen(Qt::white);
            p.drawText(QRect(g.track.right() + 6, top, 84, rowH), Qt::AlignLeft | Qt::AlignVCenter,
                       Q(Format("%.3lf", v)));
        });
}

CDealStripeWnd::CDealStripeWnd(void* frameHandle, QWidget* parent)
    : CDealWnd({kKindStripe, "参数柱状图显示", kStripeKey, "MDI:参数柱状图显示窗口", 1045},
               frameHandle, parent) {
    class Canvas : public QWidget {
    public:
        using QWidget::QWidget;
        void paintEvent(QPaintEvent*) override {
            QPainter p(this);
            PaintStripes(p, rect(), ParamGroups::Instance());
        }
    };
    setWidget(new Canvas(this));
}

void CDealStripeWnd::Refresh() {
    if (widget()) widget()->update();
}

void CDealStripeWnd::SoundAlarm() {}

// --- table -----------------------------------------------------------------

namespace {
const char* const kListColumns[8] = {"名  称", "源  码", "物理量(单位)", "物理量含义",
                                     "最大值", "最小值", "上 限",        "下 限"};
const char* const kDetailColumns[3] = {"时   间", "源码", "物理量"};
constexpr int kInfoRows = 8;
}  // namespace

const ParStructEx& DealTableModel::Param(const Entry& e) const {
    return ParamGroups::Instance().Group(e.level).params[std::size_t(e.index)];
}

const DealResult& DealTableModel::Result(const Entry& e) const {
    return ParamGroups::Instance().Group(e.level).results[e.index];
}

int DealTableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    const int n = int(entries_.size());
    return style_ == 0 ? n : n * (kInfoRows + kDetailSamples);
}

int DealTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : style_ == 0 ? 8 : 3;
}

QVariant DealTableModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole) return QVariant();
    if (style_ == 0)
        return section >= 0 && section < 8 ? QString::fromUtf8(kListColumns[section]) : QVariant();
    return section >= 0 && section < 3 ? QString::fromUtf8(kDetailColumns[section]) : QVariant();
}

QVariant DealTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return QVariant();
    const int per = style_ == 0 ? 1 : kInfoRows + kDetailSamples;
    const std::size_t e = std::size_t(index.row() / per);
    if (e >= entries_.size()) return QVariant();
    // The groups may have been rebuilt since the rows were listed.
    const ParamGroup& group = ParamGroups::Instance().Group(entries_[e].level);
    if (!group.results || entries_[e].index >= group.count ||
        std::size_t(entries_[e].index) >= group.params.size())
        return QVariant();
    const ParStructEx& p = Param(entries_[e]);
    const DealResult& r = Result(entries_[e]);
    const int valid = ValidCount(r);
    const int sub = index.row() % per;
    // Which sample a cell shows: the newest in the list, one of the newest in detail.
    const int sample = style_ == 0 ? kResultHistory - 1 : kResultHistory - 1 - (sub - kInfoRows);
    const bool hasSample = style_ == 0 ? valid > 0 : sub >= kInfoRows && (sub - kInfoRows) < valid;
    const bool valueColumn =
        style_ == 0 ? index.column() == 2 : index.column() == 2 && sub >= kInfoRows;
    if (role == Qt::ForegroundRole) {
        if (!alarm_ || !valueColumn || !hasSample) return QVariant();
        const int state = LimitState(r.dValue[sample], p.dUpper, p.dLower);
        if (state > 0) return QColor(Qt::red);
        if (state < 0) return QColor(Qt::yellow);
        return QVariant();
    }
    if (role != Qt::DisplayRole) return QVariant();
    if (style_ == 0) {
        switch (index.column()) {
            case 0:
                return Q(p.strName);
            case 1:
                return hasSample ? Q(CodeText(r.nCode[sample], p.nBytes)) : QString();
            case 2:
                return hasSample ? Q(ValueWithUnit(r.dValue[sample], p)) : QString();
            case 3:
                return Q(p.strMeaning);
            case 4:
                return Q(Format("%.3lf", p.dMax));
            case 5:
                return Q(Format("%.3lf", p.dMin));
            case 6:
                return Q(Format("%.3lf", p.dUpper));
            default:
                return Q(Format("%.3lf", p.dLower));
        }
    }
    if (sub < kInfoRows) {
        if (index.column() != 0) return QString();
        switch (sub) {
            case 0:
                return QString::fromUtf8("基本信息");
            case 1:
                return Q(Format("名  称：%s", p.strName));
            case 2:
                return Q(Format("含  义：%s", p.strMeaning));
            case 3:
                return Q(Format("单  位：%s", p.strUnit));
            case 4:
                return Q(Format("最大值：%7.3f", p.dMax));
            case 5:
                return Q(Format("最小值：%7.3f", p.dMin));
            case 6:
                return Q(Format("上  限：%7.3f", p.dUpper));
            default:
                return Q(Format("下  限：%7.3f", p.dLower));
        }
    }
    if (!hasSample) return QString();
    const ParamGroup& g = ParamGroups::Instance().Group(entries_[e].level);
    switch (index.column()) {
        case 0:
            return g.times ? Q(TimeText(g.times[entries_[e].index][std::size_t(sample)]))
                           : QString();
        case 1:
            return Q(CodeText(r.nCode[sample], p.nBytes));
        default:
            return Q(Format("%.3lf", r.dValue[sample]));
    }
}

void DealTableModel::SetStyle(int style) {
    beginResetModel();
    style_ = style == 1 ? 1 : 0;
    endResetModel();
}

void DealTableModel::Update() {
    std::vector<Entry> now;
    now.reserve(entries_.size());
    ForEachSelected(ParamGroups::Instance(), kKindTable, [&](auto&, auto&, int l, int i) {
        now.push_back({l, i});
    });
    const bool same = now.size() == entries_.size() &&
                      std::equal(now.begin(), now.end(), entries_.begin(), [](auto& a, auto& b) {
                          return a.level == b.level && a.index == b.index;
                      });
    if (!same) {
        beginResetModel();
        entries_ = std::move(now);
        endResetModel();
    } else if (rowCount() > 0) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }
}

CDealTableWndB::CDealTableWndB(void* frameHandle, QWidget* parent)
    : CDealWnd({kKindTable, "参数表格显示", kTableKey, "MDI:参数表格显示窗口", 1044}, frameHandle,
               parent),
      model_(new DealTableModel),
      view_(new QTableView(this)) {
    model_->setParent(this);
    model_->SetStyle(ReadTableStyle());
    view_->setModel(model_);
    view_->setShowGrid(true);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->verticalHeader()->hide();
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    QPalette pal = view_->palette();
    pal.setColor(QPalette::Base, Qt::black);
    pal.setColor(QPalette::Text, Qt::green);
    view_->setPalette(pal);
    setWidget(view_);
    popup_->addSeparator();
    QAction* list = popup_->addAction(QString::fromUtf8("列表显示"));
    QAction* detail = popup_->addAction(QString::fromUtf8("详细显示"));
    connect(list, &QAction::triggered, this, [this] { ChooseStyle(0); });
    connect(detail, &QAction::triggered, this, [this] { ChooseStyle(1); });
    model_->Update();
}

void CDealTableWndB::ChooseStyle(int style) {
    model_->SetStyle(style);
    WriteSetting(kTableStyleKey, unsigned(model_->Style()));
    model_->Update();
}

void CDealTableWndB::Refresh() {
    model_->SetAlarm(Alarm());
    model_->Update();
}

void CDealTableWndB::SoundAlarm() {
    ForEachSelected(ParamGroups::Instance(), kKindTable,
                    [](const ParStructEx& par, const DealResult& r, int, int) {
                        if (ValidCount(r) == 0) return;
                        const int state = LimitState(Newest(r), par.dUpper, par.dLower);
                        if (state > 0) plat::Beep(1000, 5);
                        if (state < 0) plat::Beep(500, 5);
                    });
}

}  // namespace paramviews
