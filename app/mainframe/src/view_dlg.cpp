#include "view_dlg.h"

#include <bbdevice/bbdevice.h>
#include <datapath/data_path.h>
#include <datapath/replay_reader.h>
#include <log/system_log.h>
#include <platform/notify.h>
#include <recording/recording_files.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <cstring>
#include <tuple>

#include "main_frame.h"
#include "replay_position.h"

using namespace mainframe;

namespace {

const QColor kBackground(0, 30, 50);
const QColor kLampOn(0, 255, 0);
const QColor kLampOff(200, 0, 0);

constexpr const char* kReplayDoneText = "数据回放完成！";
constexpr const char* kBeforeStartText = "您设置的回放时间必须大于文件开始时间！";
constexpr const char* kAfterEndText = "您设置的回放时间必须小于文件结束时间！";
constexpr const char* kBadJumpText = "请输入有效的跳转时间！";
constexpr const char* kStaleTimeFormat = "%s（停止更新）";
constexpr const char* kFeedStalledLog =
    "软件回放取数已停止：回放取数线程收不到定时，回放停在%.2f%%";
constexpr const char* kFeedResumedLog = "软件回放取数恢复";
// Refreshes without a feed tick before a running software replay counts as
// stopped (the feed ticks every 10 ms).
constexpr int kFeedStallRefreshes = 20;
constexpr int kLoopRestartMs = 200;
constexpr int kJumpRestartMs = 10;

// Where each control sits on the form, in dialog units.
struct Place {
    int x, y, w, h;
};

enum class Kind { Text, Lamp, ColourLamp };

struct ControlEntry {
    int id;
    const char* caption;  // to its left; null for none
    Kind kind;
    Place at;
    int captionWidth = 50;
};

struct GroupEntry {
    const char* title;
    Place at;
};

constexpr int kRow = 16;  // dialog units from one row to the next
// The state line across the top of the form: link, recording and replay,
// where a low bar still shows them. Everything else sits below it.
constexpr int kStateLineDlu = 16;

// The lamps and the time code come first, so that a low bar shows them.
constexpr GroupEntry kGroups[] = {
    {"锁定状态", {4, 2, 178, 50}},      {"解调状态", {4, 56, 178, 82}},
    {"存盘", {4, 142, 178, 62}},        {"时统", {188, 2, 236, 50}},
    {"数据回放", {188, 56, 236, 100}},  {"输出状态", {430, 2, 172, 66}},
    {"误码统计", {430, 72, 172, 50}},   {"数据统计", {430, 126, 172, 66}},
    {"链监信息", {608, 2, 196, 134}},   {"起飞信息", {808, 2, 198, 134}},
    {"遥测发送", {608, 140, 196, 100}}, {"链监发送", {808, 140, 198, 36}},
};

constexpr ControlEntry Row(int id, const char* caption, int x, int row, int top, int width,
                           Kind kind = Kind::Text, int captionWidth = 50) {
    const int y = top + row * kRow;
    if (kind == Kind::Text)
        return {id, caption, kind, {x + captionWidth, y, width, 11}, captionWidth};
    return {id, caption, kind, {x + captionWidth, y, 11, 11}, captionWidth};
}

constexpr ControlEntry kControls[] = {
    // lock lamps, two to a row
    Row(1007, "载波状态", 10, 0, 14, 0, Kind::Lamp),
    Row(1008, "位同步", 96, 0, 14, 0, Kind::Lamp),
    Row(1009, "子帧同步", 10, 1, 14, 0, Kind::Lamp),
    Row(1010, "副帧同步", 96, 1, 14, 0, Kind::Lamp),
    // demodulator
    Row(1001, "PCM数据源", 10, 0, 68, 112),
    Row(1034, "射频频率", 10, 1, 68, 112),
    Row(1004, "中频频率", 10, 2, 68, 112),
    Row(1005, "信噪比", 10, 3, 68, 112),
    // recording
    Row(1012, "存盘数据", 10, 0, 154, 100, Kind::Text, 64),
    Row(1013, "发送存盘数据", 10, 1, 154, 100, Kind::Text, 64),
    Row(1070, "丢帧", 10, 2, 154, 100, Kind::Text, 64),
    // time code
    Row(1018, "当前时统", 194, 0, 14, 170),
    Row(1032, "起飞时刻", 194, 1, 14, 170),
    // replay (slider and jump fields are made apart)
    Row(1011, "数据回放", 194, 0, 68, 120),
    Row(1017, "时间范围", 194, 2, 68, 170),
    // output lamps, two to a row
    Row(1020, "数据广播", 436, 0, 14, 0, Kind::ColourLamp, 56),
    Row(1021, "GPS 组播", 520, 0, 14, 0, Kind::ColourLamp, 56),
    Row(1022, "数据发送中心", 436, 1, 14, 0, Kind::ColourLamp, 56),
    Row(1028, "内存共享", 520, 1, 14, 0, Kind::ColourLamp, 56),
    Row(1029, "监控通信", 436, 2, 14, 0, Kind::ColourLamp, 56),
    // bit errors and statistics
    {1014, nullptr, Kind::Text, {436, 84, 160, 11}},
    {1015, nullptr, Kind::Text, {436, 100, 160, 11}},
    Row(1033, "帧计数统计", 436, 0, 138, 104, Kind::Text, 56),
    Row(1039, "ID计数统计", 436, 1, 138, 104, Kind::Text, 56),
    Row(1043, "时间连续性", 436, 2, 138, 104, Kind::Text, 56),
    // link monitor received
    Row(1035, "版本", 614, 0, 14, 134, Kind::Text, 52),
    Row(1038, "信源SID", 614, 1, 14, 134, Kind::Text, 52),
    Row(1036, "信宿DID", 614, 2, 14, 134, Kind::Text, 52),
    Row(1037, "发送时间", 614, 3, 14, 134, Kind::Text, 52),
    Row(1041, "包序号", 614, 4, 14, 134, Kind::Text, 52),
    Row(1040, "IP地址", 614, 5, 14, 134, Kind::Text, 52),
    Row(1042, "数据时间", 614, 6, 14, 134, Kind::Text, 52),
    // lift-off received
    Row(1044, "版本", 814, 0, 14, 134, Kind::Text, 52),
    Row(1051, "信源SID", 814, 1, 14, 134, Kind::Text, 52),
    Row(1045, "信宿DID", 814, 2, 14, 134, Kind::Text, 52),
    Row(1050, "发送时间", 814, 3, 14, 134, Kind::Text, 52),
    Row(1053, "包序号", 814, 4, 14, 134, Kind::Text, 52),
    Row(1052, "IP地址", 814, 5, 14, 134, Kind::Text, 52),
    Row(1054, "起飞时间", 814, 6, 14, 134, Kind::Text, 52),
    // telemetry sent
    Row(1055, "版本", 614, 0, 152, 134, Kind::Text, 52),
    Row(1058, "信源SID", 614, 1, 152, 134, Kind::Text, 52),
    Row(1056, "信宿DID", 614, 2, 152, 134, Kind::Text, 52),
    Row(1057, "发送时间", 614, 3, 152, 134, Kind::Text, 52),
    Row(1060, "包序号", 614, 4, 152, 134, Kind::Text, 52),
    // link monitor sent
    Row(1066, "包序号", 814, 0, 152, 134, Kind::Text, 52),
};

constexpr Place kSliderPlace{194, 68 + kRow, 224, 12};
constexpr int kJumpIds[4] = {1030, 1124, 1125, 1126};
constexpr const char* kJumpUnits[4] = {"时", "分", "秒", "毫秒"};
constexpr int kJumpTop = 68 + 3 * kRow + 4;
constexpr Place kJumpButtonPlace{364, kJumpTop - 1, 52, 14};
// Beside the progress, inside the replay group.
constexpr Place kReplaySpeedPlace{370, 68 - 1, 46, 14};

// Dialog units to pixels by the font's average character size.
struct DialogUnits {
    explicit DialogUnits(const QFont& font) {
        const QFontMetrics m(font);
        const QString sample =
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        baseX = (m.horizontalAdvance(sample) / 26 + 1) / 2;
        baseY = m.height();
        if (baseX <= 0) baseX = 6;
        if (baseY <= 0) baseY = 13;
    }
    int X(int dlu) const { return dlu * baseX / 4; }
    int Y(int dlu) const { return dlu * baseY / 8; }
    // A place below the state line.
    QRect Rect(const Place& p) const {
        return QRect(X(p.x), Y(p.y + kStateLineDlu), X(p.w), Y(p.h));
    }
    // A place in the state line.
    QRect StateRect(const Place& p) const { return QRect(X(p.x), Y(p.y), X(p.w), Y(p.h)); }
    int baseX, baseY;
};

std::array<double, 6> Key(double a = 0, double b = 0, double c = 0, double d = 0, double e = 0,
                          double f = 0) {
    return {a, b, c, d, e, f};
}

}  // namespace

// --- lamps ---

StatusLamp::StatusLamp(QWidget* parent) : QWidget(parent) {}

void StatusLamp::SetImage(LampImage image) {
    if (image == m_image) return;
    m_image = image;
    update();
}

void StatusLamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int d = qMin(width(), height()) - 2;
    const QRectF r((width() - d) / 2.0, (height() - d) / 2.0, d, d);
    switch (m_image) {
        case kLampLocked:
            p.setPen(QPen(QColor(0, 110, 0), 1));
            p.setBrush(QColor(0, 230, 0));
            p.drawEllipse(r);
            break;
        case kLampNotLocked:
            p.setPen(QPen(QColor(110, 0, 0), 1));
            p.setBrush(QColor(230, 0, 0));
            p.drawEllipse(r);
            break;
        case kLampNotApplicable:
            p.setPen(QPen(QColor(150, 150, 150), 1));
            p.setBrush(QColor(90, 90, 90));
            p.drawEllipse(r);
            p.setPen(QPen(QColor(200, 200, 200), 2));
            p.drawLine(QPointF(r.left() + d * 0.25, r.center().y()),
                       QPointF(r.right() - d * 0.25, r.center().y()));
            break;
    }
}

ColourLamp::ColourLamp(QWidget* parent) : QWidget(parent) {}

void ColourLamp::Set(bool on, bool highlighted) {
    if (on == m_on && highlighted == m_highlighted) return;
    m_on = on;
    m_highlighted = highlighted;
    update();
}

void ColourLamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), m_on ? kLampOn : kLampOff);
    if (m_highlighted) {
        p.setPen(QPen(QColor(255, 255, 160), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(1, 1, -1, -1));
    }
}

// --- the form ---

CViewDlg::CViewDlg(CMainFrame& frame, QWidget* parent) : QWidget(parent), m_frame(frame) {
    setObjectName(QStringLiteral("CViewDlg"));
    setProperty("dialogId", kDialogId);
    BuildForm();
    // Initialisation: the slider's range and timer 25, which runs as long as
    // the view lives, whether the bar is shown or not.
    m_slider->setRange(0, static_cast<int>(kSliderRange));
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("timer25"));
    connect(m_timer, &QTimer::timeout, this, &CViewDlg::Refresh);
    m_timer->start(kRefreshMs);
}

CViewDlg::~CViewDlg() = default;

void CViewDlg::BuildForm() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("StatusScroll"));
    m_scroll->setWidgetResizable(false);
    m_scroll->setFrameShape(QFrame::NoFrame);
    outer->addWidget(m_scroll);

    m_form = new QWidget;
    m_form->setObjectName(QStringLiteral("StatusForm"));
    m_form->setAutoFillBackground(true);
    QPalette pal = m_form->palette();
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
        pal.setColor(role, kBackground);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        pal.setColor(role, Qt::white);
    m_form->setPalette(pal);
    m_scroll->setPalette(pal);
    m_scroll->viewport()->setPalette(pal);
    m_scroll->viewport()->setAutoFillBackground(true);
    // Every control on the form's background, in white.
    m_form->setStyleSheet(QStringLiteral(
        "QLabel, QGroupBox, QLineEdit, QPushButton, QSlider { color: white; "
        "background-color: rgb(0, 30, 50); }"
        "QLineEdit, QPushButton { border: 1px solid rgb(120, 150, 170); }"
        "QLineEdit:disabled, QPushButton:disabled { color: rgb(120, 140, 150); }"
        "QLabel[value=\"true\"] { border: 1px solid rgb(60, 90, 110); padding-left: 2px; }"
        "QGroupBox { border: 1px solid rgb(120, 150, 170); margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));

    // A compact font keeps the lamps and the time code in a low bar.
    QFont font = m_form->font();
    font.setPixelSize(12);
    m_form->setFont(font);
    const DialogUnits du(font);
    m_form->setFixedSize(du.X(kFormWidthDlu), du.Y(kFormHeightDlu + kStateLineDlu));

    auto stateLabel = [&](const char* name, Place at) {
        auto* l = new QLabel(m_form);
        l->setObjectName(QString::fromUtf8(name));
        l->setProperty("value", true);
        l->setGeometry(du.StateRect(at));
        return l;
    };
    m_linkState = stateLabel("linkState", {4, 3, 132, 12});
    m_recordingState = stateLabel("recordingState", {140, 3, 284, 12});
    m_replayState = stateLabel("replayState", {430, 3, 172, 12});

    for (const GroupEntry& g : kGroups) {
        auto* box = new QGroupBox(QString::fromUtf8(g.title), m_form);
        box->setGeometry(du.Rect(g.at));
    }
    auto caption = [&](const char* text, Place at) {
        auto* l = new QLabel(QString::fromUtf8(text), m_form);
        l->setGeometry(du.Rect(at));
        return l;
    };
    for (const ControlEntry& c : kControls) {
        if (c.caption)
            caption(c.caption, {c.at.x - c.captionWidth, c.at.y, c.captionWidth - 2, 11});
        QWidget* w = nullptr;
        switch (c.kind) {
            case Kind::Text: {
                auto* l = new QLabel(m_form);
                l->setProperty("value", true);
                m_cells[c.id].label = l;
                w = l;
                break;
            }
            case Kind::Lamp: {
                auto* lamp = new StatusLamp(m_form);
                m_lamps[c.id] = lamp;
                w = lamp;
                break;
            }
            case Kind::ColourLamp: {
                auto* lamp = new ColourLamp(m_form);
                m_colourLamps[c.id] = lamp;
                w = lamp;
                break;
            }
        }
        w->setObjectName(QString::number(c.id));
        w->setGeometry(du.Rect(c.at));
        m_controls[c.id] = w;
    }

    m_slider = new QSlider(Qt::Horizontal, m_form);
    m_slider->setObjectName(QStringLiteral("1016"));
    m_slider->setGeometry(du.Rect(kSliderPlace));
    m_controls[1016] = m_slider;
    connect(m_slider, &QSlider::sliderReleased, this, &CViewDlg::OnSliderReleased);

    int x = 194;
    for (int i = 0; i < 4; ++i) {
        auto* e = new QLineEdit(m_form);
        e->setObjectName(QString::number(kJumpIds[i]));
        e->setGeometry(du.Rect({x, kJumpTop, i == 3 ? 26 : 20, 12}));
        e->setMaxLength(4);
        m_jump[i] = e;
        m_controls[kJumpIds[i]] = e;
        x += i == 3 ? 26 : 20;
        const int unitWidth = i == 3 ? 18 : 10;
        caption(kJumpUnits[i], {x + 1, kJumpTop, unitWidth, 11});
        x += unitWidth + 3;
    }
    m_jumpButton = new QPushButton(QStringLiteral("跳转"), m_form);
    m_jumpButton->setObjectName(QStringLiteral("1031"));
    m_jumpButton->setGeometry(du.Rect(kJumpButtonPlace));
    m_controls[1031] = m_jumpButton;
    connect(m_jumpButton, &QPushButton::clicked, this, &CViewDlg::OnJump);

    // Speed of a running software replay: 1x, 2x, 4x or as fast as possible.
    m_replaySpeed = new QComboBox(m_form);
    m_replaySpeed->setObjectName(QStringLiteral("replaySpeed"));
    for (const char* s : {"1x", "2x", "4x", "最快"}) m_replaySpeed->addItem(QString::fromUtf8(s));
    m_replaySpeed->setGeometry(du.Rect(kReplaySpeedPlace));
    m_replaySpeed->hide();
    connect(m_replaySpeed, &QComboBox::activated, this, [this](int index) {
        static constexpr int kSpeeds[] = {1, 2, 4, datapath::kReplayFastest};
        if (auto* reader = m_frame.ReplayReader(); reader && index >= 0 && index < 4)
            reader->SetSpeed(kSpeeds[index]);
    });

    m_scroll->setWidget(m_form);
    SetReplayControlsEnabled(false);
}

QWidget* CViewDlg::Control(int id) const {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

LampImage CViewDlg::LampImageOf(int id) const {
    auto it = m_lamps.find(id);
    return it == m_lamps.end() ? kLampNotApplicable : it->second->Image();
}

const ColourLamp* CViewDlg::ColourLampOf(int id) const {
    auto it = m_colourLamps.find(id);
    return it == m_colourLamps.end() ? nullptr : it->second;
}

QString CViewDlg::TextOf(int id) const {
    auto it = m_cells.find(id);
    return it == m_cells.end() || !it->second.label ? QString() : it->second.label->text();
}

CViewDlg::TextCell& CViewDlg::Cell(int id) {
    return m_cells[id];
}

template <class Format>
void CViewDlg::ShowKeyed(TextCell& cell, const std::array<double, 6>& key, Format&& format) {
    if (cell.state == TextCell::State::Shown && cell.key == key) return;
    cell.key = key;
    ShowText(cell, format());
}

void CViewDlg::ShowText(TextCell& cell, const StatusText& text) {
    if (cell.state == TextCell::State::Shown && cell.text == text) return;
    cell.state = TextCell::State::Shown;
    cell.text = text;
    if (cell.label) cell.label->setText(QString::fromUtf8(text.c_str()));
}

void CViewDlg::ShowEmpty(TextCell& cell) {
    if (cell.state == TextCell::State::Empty) return;
    cell.state = TextCell::State::Empty;
    cell.text.Clear();
    if (cell.label) cell.label->clear();
}

// --- the refresh ---

void CViewDlg::Refresh() {
    ++m_refreshes;
    m_frame.FillStatusSnapshot(m_snapshot);
    ShowNetworkPackets();
    if (m_frame.m_bCardOpen)
        ShowCardState();
    else
        m_linkWatch.Update(false, false);
    ShowReplay();
    ShowRecording();
    ShowKeyed(Cell(1070),
              Key(double(m_snapshot.ringLostFrames), double(m_snapshot.sendDroppedFrames)), [&] {
                  StatusText t;
                  t.Format("缓冲%llu帧 发送%llu帧",
                           static_cast<unsigned long long>(m_snapshot.ringLostFrames),
                           static_cast<unsigned long long>(m_snapshot.sendDroppedFrames));
                  return t;
              });
    ShowOutputLamps();
    ShowBitErrors();
    ShowStatistics();
    ShowStateLine();
}

void CViewDlg::ShowPacketHeader(const PacketHeaderFields& h, int version, int source,
                                int destination, int time, int sequence) {
    if (!h.present) return;
    ShowKeyed(Cell(version), Key(h.version), [&] {
        StatusText t;
        t.Format("%02X", h.version);
        return t;
    });
    ShowKeyed(Cell(source), Key(h.source), [&] {
        StatusText t;
        t.Format("%08X", h.source);
        return t;
    });
    ShowKeyed(Cell(destination), Key(h.destination), [&] {
        StatusText t;
        t.Format("%08X", h.destination);
        return t;
    });
    ShowKeyed(Cell(time), Key(h.dayNumber, h.timeOfDay),
              [&] { return PacketTimeText(h.dayNumber, h.timeOfDay); });
    ShowKeyed(Cell(sequence), Key(h.sequence), [&] {
        StatusText t;
        t.Format("%d", static_cast<int>(h.sequence));
        return t;
    });
}

// ids: version, source, destination, sending time, sequence, address, data time.
void CViewDlg::ShowReceivedPacket(const ReceivedPacketFields& p, const int ids[7]) {
    if (!p.header.present) return;
    ShowPacketHeader(p.header, ids[0], ids[1], ids[2], ids[3], ids[4]);
    char address[sizeof p.senderAddress + 1] = {};
    std::memcpy(address, p.senderAddress, sizeof p.senderAddress);
    ShowText(Cell(ids[5]), StatusText(address));
    ShowKeyed(Cell(ids[6]), Key(p.header.dayNumber, p.dataTime),
              [&] { return PacketTimeText(p.header.dayNumber, p.dataTime); });
}

void CViewDlg::ShowNetworkPackets() {
    static constexpr int kLinkMonitor[7] = {1035, 1038, 1036, 1037, 1041, 1040, 1042};
    static constexpr int kLiftOff[7] = {1044, 1051, 1045, 1050, 1053, 1052, 1054};
    ShowReceivedPacket(m_snapshot.linkMonitorReceived, kLinkMonitor);
    ShowReceivedPacket(m_snapshot.liftOffReceived, kLiftOff);
    ShowPacketHeader(m_snapshot.telemetrySent, 1055, 1058, 1056, 1057, 1060);
    if (m_snapshot.linkMonitorSent) {
        const std::uint32_t seq = m_snapshot.linkMonitorSentSequence;
        ShowKeyed(Cell(1066), Key(seq), [&] {
            StatusText t;
            t.Format("%d", static_cast<int>(seq));
            return t;
        });
    }
}

void CViewDlg::ShowCardState() {
    datapath::DataPath* path = m_frame.GetDataPath();
    if (!path) return;
    const DemParam dem = path->DemodulatorRecord();
    const auto device = static_cast<std::uint32_t>(m_frame.m_nDevice);

    // The status and time the library keeps are those from before a loss;
    // while the link is down they are not shown as current.
    const bool linkUp = BB_IsEngineLinkUp(device) != 0;
    switch (m_linkWatch.Update(true, linkUp)) {
        case LinkChange::Lost:
            applog::PostLog(kLinkLostText);
            break;
        case LinkChange::Restored:
            applog::PostLog(kLinkRestoredText);
            break;
        case LinkChange::None:
            break;
    }
    if (!linkUp) {
        ShowLinkDown(dem, *path);
        return;
    }
    m_cardTimeStale = false;

    DemStatus status{};
    if (BB_GetDemStatus(device, 0, &status)) {
        ShowKeyed(Cell(1001), Key(dem.数据源), [&] { return DataSourceText(dem.数据源); });
        ShowKeyed(Cell(1034), Key(dem.输入频率), [&] { return RadioFrequencyText(dem.输入频率); });
        ShowKeyed(Cell(1004), Key(status.中频频率),
                  [&] { return IntermediateFrequencyText(status.中频频率); });
        ShowKeyed(Cell(1005), Key(status.信噪比), [&] { return SignalToNoiseText(status.信噪比); });
        ApplyLockReading(m_lockWatch.Update(status, dem.数据源, dem.副帧类型 != 0), *path);
    }

    TimeSystemTime time{};
    if (BB_GetTimeSystemTime(device, &time, dem.时统模式 & 0xFFu)) {
        path->dayOfYear = time.time.day;
        const DayTime& t = time.time;
        ShowKeyed(Cell(1018), Key(t.day, t.hour, t.minute, t.second, t.millisecond), [&] {
            return CardTimeText(static_cast<long>(t.day), t.hour, t.minute, t.second,
                                t.millisecond);
        });
    }

    // Lift-off words: day, hour, minute, second, millisecond, then non-zero
    // once the lift-off took place.
    TimeSystemFlyInfo fly{};
    if (m_frame.m_bLiftOffEnable && BB_GetTimeSystemFlyInfo(device, &fly) && fly.words[5] != 0) {
        const std::uint32_t* w = fly.words;
        ShowKeyed(Cell(1032), Key(w[0], w[1], w[2], w[3], w[4]), [&] {
            return CardTimeText(static_cast<long>(w[0]), static_cast<int>(w[1]),
                                static_cast<int>(w[2]), static_cast<int>(w[3]),
                                static_cast<int>(w[4]));
        });
    } else {
        ShowEmpty(Cell(1032));
    }
}

void CViewDlg::ApplyLockReading(const LockReading& r, datapath::DataPath& path) {
    m_lamps[1007]->SetImage(r.carrier);
    m_lamps[1008]->SetImage(r.bitSync);
    m_lamps[1009]->SetImage(r.subframeSync);
    m_lamps[1010]->SetImage(r.superframeSync);
    m_lockFlags = r.flags;
    m_frame.m_bBitSyncLock = r.flags.bitSync;
    m_frame.m_bSubframeSyncLock = r.flags.subframeSync;
    m_frame.m_bSuperframeSyncLock = r.flags.superframeSync;
    path.syncLossCount = r.syncLossCount;
}

void CViewDlg::ShowInPlace(TextCell& cell, const StatusText& text) {
    ShowText(cell, text);
    cell.key.fill(-1.0e300);  // no reading has this key
}

void CViewDlg::ShowLinkDown(const DemParam& dem, datapath::DataPath& path) {
    // No lock can be known without the card: the lamps show none, and the
    // sync-loss counter keeps the card path from recording and sending.
    ApplyLockReading(m_lockWatch.Update(DemStatus{}, dem.数据源, dem.副帧类型 != 0), path);
    const StatusText waiting(kWaitingForCardText);
    ShowInPlace(Cell(1004), waiting);
    ShowInPlace(Cell(1005), waiting);
    TextCell& time = Cell(1018);
    if (!m_cardTimeStale && time.state == TextCell::State::Shown) {
        StatusText stale;
        stale.Format(kStaleTimeFormat, time.text.c_str());
        ShowInPlace(time, stale);
    }
    m_cardTimeStale = true;
}

void CViewDlg::SetReplayControlsEnabled(bool enabled) {
    if (m_replayControlsEnabled == static_cast<int>(enabled)) return;
    m_replayControlsEnabled = enabled;
    m_slider->setEnabled(enabled);
    m_jumpButton->setEnabled(enabled);
}

void CViewDlg::ShowReplay() {
    const ReplayState& replay = m_frame.m_replay;
    if (!m_frame.m_bReplayRunning) {
        m_feedStalled = false;
        m_refreshesWithoutFeed = 0;
        m_replaySpeed->hide();
        ShowEmpty(Cell(1011));
        ShowEmpty(Cell(1017));
        SetReplayControlsEnabled(false);
        return;
    }
    SetReplayControlsEnabled(true);
    ShowKeyed(Cell(1017), Key(replay.fileStartMs, replay.fileEndMs),
              [&] { return ReplayRangeText(replay.fileStartMs, replay.fileEndMs); });
    // The operator's drag is not overwritten by the progress.
    const bool dragging = m_slider->isSliderDown();
    ShowReplaySpeed();
    if (m_frame.m_nReplayKind == datapath::kSoftwareReplay) {
        if (!replay.softwareReader) return;
        const double progress = replay.softwareReader->Progress();
        WatchReplayFeed();
        ShowKeyed(Cell(1011), Key(progress, m_feedStalled), [&] {
            StatusText t = PercentText(progress * 100.0);
            if (m_feedStalled) t.Format("%s（取数已停止）", PercentText(progress * 100.0).c_str());
            return t;
        });
        if (!dragging) m_slider->setValue(static_cast<int>(progress * kSliderRange));
    } else if (m_frame.m_nReplayKind == datapath::kCardReplay) {
        if (m_restarting) return;
        double percent = 0;
        std::uint64_t records = 0;
        const auto device = static_cast<std::uint32_t>(m_frame.m_nDevice);
        if (BB_IsFileReplayFinished(device, &percent, &records)) {
            ShowText(Cell(1011), StatusText("100%"));
            if (replay.loop)
                RestartCardReplay(replay.startRecord, kLoopRestartMs);
            else
                FinishCardReplay();
        } else {
            ShowKeyed(Cell(1011), Key(percent), [&] { return PercentText(percent); });
            if (!dragging) m_slider->setValue(static_cast<int>(percent * 10));
        }
    }
}

// The feed of a software replay ticks every 10 ms; when it has not for two
// seconds (its tick event taken by another program, its timer gone) the
// replay has stopped where it is, and the view says so rather than showing
// the same percentage for ever.
void CViewDlg::WatchReplayFeed() {
    const std::uint64_t ticks = m_frame.m_replayFeedTicks.load();
    if (ticks != m_lastFeedTicks) {
        m_lastFeedTicks = ticks;
        m_refreshesWithoutFeed = 0;
        if (m_feedStalled) applog::PostLog(kFeedResumedLog);
        m_feedStalled = false;
        return;
    }
    if (m_feedStalled || ++m_refreshesWithoutFeed < kFeedStallRefreshes) return;
    m_feedStalled = true;
    const double progress =
        m_frame.m_replay.softwareReader ? m_frame.m_replay.softwareReader->Progress() : 0.0;
    applog::PostLogF(kFeedStalledLog, progress * 100.0);
}

void CViewDlg::ShowReplaySpeed() {
    const bool software = m_frame.m_nReplayKind == datapath::kSoftwareReplay;
    m_replaySpeed->setVisible(software);
    if (!software || m_replaySpeed->view()->isVisible()) return;
    const int speed = m_frame.ReplayReader() ? m_frame.ReplayReader()->Speed() : 1;
    m_replaySpeed->setCurrentIndex(speed == 2 ? 1 : speed == 4 ? 2 : speed == 0 ? 3 : 0);
}

void CViewDlg::FinishCardReplay() {
    m_frame.m_bReplayRunning = 0;
    m_frame.m_bTelemetrySending = 0;
    BB_StopFileReplay(static_cast<std::uint32_t>(m_frame.m_nDevice));
    applog::PostLogF("硬件回放结束：%s，组播发送中心关闭", m_frame.m_replay.path.c_str());
    plat::MessageBox(kReplayDoneText, "Talvora", plat::MB_OK | plat::MB_ICONEXCLAMATION);
}

bool CViewDlg::StartCardReplayAt(std::uint64_t startRecord) {
    ReplayState& replay = m_frame.m_replay;
    if (replay.recordCount == 0 || startRecord >= replay.recordCount) {
        m_frame.m_bReplayRunning = 0;
        return false;
    }
    const std::uint64_t end = replay.recordCount;
    const bool ok =
        BB_StartupFileReplay(static_cast<std::uint32_t>(m_frame.m_nDevice), replay.path.c_str(),
                             static_cast<std::uint32_t>(startRecord),
                             static_cast<std::uint32_t>(startRecord >> 32),
                             static_cast<std::uint32_t>(end), static_cast<std::uint32_t>(end >> 32),
                             &replay.description, replay.dataOffset) != 0;
    if (ok) replay.startRecord = startRecord;
    // A replay that could not start again is not running: without this a
    // looped replay would retry, and show the library's failure, every tick.
    m_frame.m_bReplayRunning = ok ? 1 : 0;
    if (!ok) m_frame.m_bTelemetrySending = 0;
    return ok;
}

void CViewDlg::RestartCardReplay(std::uint64_t startRecord, int delayMs) {
    BB_StopFileReplay(static_cast<std::uint32_t>(m_frame.m_nDevice));
    if (delayMs <= 0) {
        StartCardReplayAt(startRecord);
        return;
    }
    // The pause between stop and start, without holding the GUI thread; the
    // refresh leaves the replay alone until it is over.
    m_restarting = true;
    QTimer::singleShot(delayMs, this, [this, startRecord] {
        m_restarting = false;
        // The operator may have stopped the replay meanwhile.
        if (m_frame.m_bReplayRunning && m_frame.m_nReplayKind == datapath::kCardReplay)
            StartCardReplayAt(startRecord);
    });
}

void CViewDlg::OnSliderReleased() {
    if (!m_frame.m_bReplayRunning || m_restarting) return;
    ReplayState& replay = m_frame.m_replay;
    const auto start = SliderStartRecord(m_slider->value(), replay.recordCount);
    if (!start) return;
    if (m_frame.m_nReplayKind == datapath::kSoftwareReplay) {
        if (replay.softwareReader) replay.softwareReader->RequestSeek(*start);
        replay.startRecord = *start;
    } else if (m_frame.m_nReplayKind == datapath::kCardReplay) {
        RestartCardReplay(*start, 0);
    }
}

void CViewDlg::OnJump() {
    if (!m_frame.m_bReplayRunning || m_restarting) return;
    const auto field = [this](int i) { return m_jump[i]->text().toStdString(); };
    const std::string h = field(0), m = field(1), s = field(2), ms = field(3);
    const auto target = JumpTargetMs(h, m, s, ms);
    if (!target) {
        plat::MessageBox(kBadJumpText, "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
        return;
    }
    ReplayState& replay = m_frame.m_replay;
    const StartRecord start =
        StartRecordAt(*target, replay.fileStartMs, replay.fileEndMs, replay.recordCount);
    switch (start.result) {
        case StartRecordResult::BeforeFileStart:
            plat::MessageBox(kBeforeStartText, "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
            return;
        case StartRecordResult::NotBeforeFileEnd:
            plat::MessageBox(kAfterEndText, "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
            return;
        case StartRecordResult::NoRecords:
            return;
        case StartRecordResult::Ok:
            break;
    }
    if (m_frame.m_nReplayKind == datapath::kSoftwareReplay) {
        if (replay.softwareReader) replay.softwareReader->RequestSeek(start.record);
        replay.startRecord = start.record;
    } else if (m_frame.m_nReplayKind == datapath::kCardReplay) {
        RestartCardReplay(start.record, kJumpRestartMs);
    }
}

void CViewDlg::ShowRecording() {
    if (!m_frame.m_bRecording) return;
    const double a = m_snapshot.beforeDecryptionBytes, b = m_snapshot.sentDataBytes;
    ShowKeyed(Cell(1012), Key(a), [&] { return ByteCountText(a); });
    ShowKeyed(Cell(1013), Key(b), [&] { return ByteCountText(b); });
}

void CViewDlg::ShowOutputLamps() {
    const StatusSnapshot& s = m_snapshot;
    m_colourLamps[1020]->Set(s.broadcastReady, s.broadcastReady && s.broadcastOn);
    m_colourLamps[1021]->Set(s.gnssMulticastReady, s.gnssMulticastReady && s.gnssMulticastOn);
    m_colourLamps[1022]->Set(s.telemetryReady, s.telemetryReady && s.telemetryOn);
    m_colourLamps[1028]->Set(true, false);
    m_colourLamps[1029]->Set(s.monitoringLink, false);
}

void CViewDlg::ShowBitErrors() {
    const StatusSnapshot& s = m_snapshot;
    if (!s.bitErrorRunning) {
        ShowEmpty(Cell(1014));
        ShowEmpty(Cell(1015));
        return;
    }
    ShowKeyed(Cell(1014), Key(s.comparedBits), [&] { return ComparedBitsText(s.comparedBits); });
    if (s.bitErrorIdle) {
        // A key no count has, so the count is shown again once blocks compare.
        ShowKeyed(Cell(1015), Key(-1), [] { return BitErrorIdleText(); });
        return;
    }
    ShowKeyed(Cell(1015), Key(s.errorBits, s.comparedBits, s.bitErrorShowCount),
              [&] { return BitErrorText(s.errorBits, s.comparedBits, s.bitErrorShowCount); });
}

void CViewDlg::ShowStatistics() {
    const StatusSnapshot::Statistics& st = m_snapshot.statistics;
    const std::pair<int, const std::optional<StatusText>*> texts[] = {
        {1033, &st.frameCount}, {1039, &st.idCount}, {1043, &st.timeContinuity}};
    for (const auto& [id, text] : texts) {
        if (*text)
            ShowText(Cell(id), **text);
        else
            ShowEmpty(Cell(id));
    }
}

// --- the state line ---

void CViewDlg::ShowStateLine() {
    StatusText link;
    switch (m_linkWatch.State()) {
        case LinkState::Up:
            link = StatusText("基带卡链路：正常");
            break;
        case LinkState::Down:
            link.Format("基带卡链路：中断，%s", kWaitingForCardText);
            break;
        case LinkState::NotOpen:
            link = StatusText(m_frame.m_bCardInitialising ? "基带卡：正在打开" : "基带卡：未打开");
            break;
    }

    StatusText recording("存盘：关");
    if (m_frame.m_bRecording) {
        const char* name = "";
        if (const recording::RecordingFiles* files = m_frame.RecordingFiles()) {
            name = files->BeforeDecryptionPath().c_str();
            if (const char* slash = std::strrchr(name, '/')) name = slash + 1;
        }
        recording.Format("存盘：开 %s %s", name,
                         ByteCountText(m_snapshot.beforeDecryptionBytes).c_str());
    }

    StatusText replay("回放：无");
    if (m_frame.m_bReplayRunning) {
        const bool software = m_frame.m_nReplayKind == datapath::kSoftwareReplay;
        const TextCell& progress = Cell(1011);
        replay.Format("回放：%s %s", software ? "软件回放" : "硬件回放",
                      progress.state == TextCell::State::Shown ? progress.text.c_str() : "");
    }

    // Labels are rewritten only when their text changes.
    const std::tuple<QLabel*, StatusText*, const StatusText*> lines[] = {
        {m_linkState, &m_shownLink, &link},
        {m_recordingState, &m_shownRecording, &recording},
        {m_replayState, &m_shownReplay, &replay}};
    for (const auto& [label, shown, text] : lines) {
        if (*shown == *text) continue;
        *shown = *text;
        label->setText(QString::fromUtf8(text->c_str()));
    }
}

QString CViewDlg::LinkStateText() const {
    return m_linkState->text();
}

QString CViewDlg::RecordingStateText() const {
    return m_recordingState->text();
}

QString CViewDlg::ReplayStateText() const {
    return m_replayState->text();
}
