#include "replay_dlg.h"

#include <config/para_config.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <recording/dat_files.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <vector>

#include "replay_position.h"

namespace {

constexpr const char* kCaption = "Talvora";

void Warn(const char* text) {
    plat::MessageBox(text, kCaption, plat::MB_OK | plat::MB_ICONWARNING);
}

// Field name, label; the order they are shown in.
constexpr std::pair<const char*, const char*> kFields[] = {
    {"path", "文件路径"},      {"size", "文件大小"},    {"header", "文件头长度"},
    {"tag", "时标长度"},       {"sync", "帧同步码"},    {"syncBits", "帧同步码位长"},
    {"wordBits", "字长"},      {"words", "子帧长"},     {"subframes", "副帧长"},
    {"precision", "配时精度"}, {"density", "配时密度"}, {"codeType", "码型"},
    {"codeRate", "码率"},
};

bool ParseU32(const QString& text, int base, std::uint64_t most, std::uint64_t& out) {
    bool ok = false;
    const qulonglong v = text.trimmed().toULongLong(&ok, base);
    if (!ok || v > most) return false;
    out = v;
    return true;
}

constexpr int kSpeeds[] = {1, 2, 4, 0};

}  // namespace

std::string ReplayTimeText(double dayMs) {
    if (!(dayMs >= 0)) dayMs = 0;
    const auto tenths = static_cast<long long>(std::llround(dayMs * 10));
    const long long ms = tenths / 10;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d:%03d.%1d", int(ms / 3600000),
                  int(ms / 60000 % 60), int(ms / 1000 % 60), int(ms % 1000), int(tenths % 10));
    return buf;
}

CReplayDlg::CReplayDlg(QWidget* parent, const DemParam& dem, bool loop, int speed)
    : QDialog(parent), m_dem(dem) {
    setWindowTitle(QStringLiteral("数据回放控制对话框"));
    auto* layout = new QVBoxLayout(this);
    auto* open = new QPushButton(QStringLiteral("打开文件…"), this);
    open->setObjectName(QStringLiteral("open"));
    layout->addWidget(open);

    auto* info = new QGroupBox(QStringLiteral("文件信息"), this);
    auto* form = new QFormLayout(info);
    for (const auto& [name, label] : kFields) {
        auto* edit = new QLineEdit(info);
        edit->setObjectName(QString::fromLatin1(name));
        const std::string n = name;
        edit->setReadOnly(n == "path" || n == "size" || n == "header" || n == "tag");
        form->addRow(QString::fromUtf8(label), edit);
        m_fields[n] = edit;
    }
    m_startTime = new QLabel(info);
    m_startTime->setObjectName(QStringLiteral("startTime"));
    m_endTime = new QLabel(info);
    m_endTime->setObjectName(QStringLiteral("endTime"));
    form->addRow(QStringLiteral("开始时间"), m_startTime);
    form->addRow(QStringLiteral("结束时间"), m_endTime);
    layout->addWidget(info);

    auto* when = new QGroupBox(QStringLiteral("回放时间"), this);
    auto* grid = new QGridLayout(when);
    m_fromStart = new QRadioButton(QStringLiteral("从头开始"), when);
    m_fromTime = new QRadioButton(QStringLiteral("指定开始时间"), when);
    m_fromStart->setChecked(true);
    grid->addWidget(m_fromStart, 0, 0);
    grid->addWidget(m_fromTime, 1, 0);
    auto timeField = [&](const char* name, const char* unit, int column) {
        auto* e = new QLineEdit(QStringLiteral("0"), when);
        e->setObjectName(QString::fromLatin1(name));
        grid->addWidget(e, 1, column);
        grid->addWidget(new QLabel(QString::fromUtf8(unit), when), 1, column + 1);
        return e;
    };
    m_hour = timeField("hour", "时", 1);
    m_minute = timeField("minute", "分", 3);
    m_second = timeField("second", "秒", 5);
    m_ms = timeField("ms", "毫秒", 7);
    layout->addWidget(when);

    m_loop = new QCheckBox(QStringLiteral("循环回放标记（√表示循环回放，否则只回放一次）"), this);
    m_loop->setChecked(loop);
    layout->addWidget(m_loop);
    auto* speedRow = new QHBoxLayout;
    speedRow->addWidget(new QLabel(QStringLiteral("回放速度"), this));
    m_speed = new QComboBox(this);
    m_speed->setObjectName(QStringLiteral("speed"));
    for (const char* s : {"1x", "2x", "4x", "最快"}) m_speed->addItem(QString::fromUtf8(s));
    for (int i = 0; i < 4; ++i)
        if (kSpeeds[i] == speed) m_speed->setCurrentIndex(i);
    speedRow->addWidget(m_speed);
    layout->addLayout(speedRow);
    AddExportButton(layout);

    auto* buttons = new QHBoxLayout;
    auto* software = new QPushButton(QStringLiteral("软件回放"), this);
    software->setObjectName(QStringLiteral("software"));
    auto* card = new QPushButton(QStringLiteral("硬件回放"), this);
    card->setObjectName(QStringLiteral("card"));
    auto* cancel = new QPushButton(QStringLiteral("取消回放"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    buttons->addWidget(software);
    buttons->addWidget(card);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(open, &QPushButton::clicked, this, [this] {
        QFileDialog dlg(this);
        dlg.setNameFilter(QStringLiteral("遥测配时数据文件(*.dat)"));
        dlg.setDefaultSuffix(QStringLiteral("dat"));
        dlg.setFileMode(QFileDialog::ExistingFile);
        // The recordings are where the storage settings put them; a file
        // already open keeps its own folder.
        dlg.setDirectory(m_path.empty() ? RecordingFolder()
                                        : QFileInfo(QString::fromStdString(m_path)).absolutePath());
        if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty())
            OpenFile(dlg.selectedFiles().front().toStdString());
    });
    connect(software, &QPushButton::clicked, this, [this] { Start(1); });
    connect(card, &QPushButton::clicked, this, [this] { Start(2); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString CReplayDlg::RecordingFolder() {
    const std::string module = plat::ModuleDirectory();
    const cfg::StorageConfig storage = cfg::LoadStorageConfig(module);
    const QString folder = QString::fromStdString(storage.beforeDir);
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) return QFileInfo(folder).absoluteFilePath();
    return QString::fromStdString(module);
}

QLineEdit* CReplayDlg::Field(const char* name) const {
    auto it = m_fields.find(name);
    return it == m_fields.end() ? nullptr : it->second;
}

bool CReplayDlg::OpenFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    if (!f) {
        Warn("读取回放数据文件信息失败！");
        return false;
    }
    const std::streamoff size = f.tellg();
    std::vector<std::uint8_t> head(recording::kHeaderBytes);
    f.seekg(0);
    f.read(reinterpret_cast<char*>(head.data()), std::streamsize(head.size()));
    if (size < 0 || f.bad()) {
        Warn("读取回放数据文件信息失败！");
        return false;
    }
    head.resize(std::size_t(f.gcount()));
    const recording::FileDescription d = recording::ParseHeader(head, m_dem);
    m_path = path;
    m_fileSize = std::uint64_t(size);
    m_headerLength = d.headerLength;
    Field("path")->setText(QString::fromStdString(path));
    Field("size")->setText(QString::number(m_fileSize));
    Field("header")->setText(QString::number(m_headerLength));
    ShowDescription(d.info);
    const auto times = recording::ReadFileTimes(path, m_headerLength, d.info);
    ShowTimes(bool(times), times ? times->startMs : 0, times ? times->endMs : 0);
    return true;
}

void CReplayDlg::ShowDescription(const ReplayInfo& i) {
    const std::uint64_t sync = std::uint64_t{i.帧同步码Low} | std::uint64_t{i.帧同步码High} << 32;
    Field("tag")->setText(QString::number(i.tagBytesPerRecord));
    Field("sync")->setText(QString::number(sync, 16).toUpper());
    Field("syncBits")->setText(QString::number(i.帧同步码位长));
    Field("wordBits")->setText(QString::number(i.字长));
    Field("words")->setText(QString::number(i.子帧长));
    Field("subframes")->setText(QString::number(i.副帧长));
    Field("precision")->setText(QString::number(i.配时精度));
    Field("density")->setText(QString::number(i.配时密度));
    Field("codeType")->setText(QString::number(i.码型));
    Field("codeRate")->setText(QString::number(i.码率));
    m_choice.description = i;  // the words without a field are kept as read
}

void CReplayDlg::ShowTimes(bool known, double startMs, double endMs) {
    m_startTime->setText(known ? QString::fromStdString(ReplayTimeText(startMs)) : QString());
    m_endTime->setText(known ? QString::fromStdString(ReplayTimeText(endMs)) : QString());
}

bool CReplayDlg::UpdateDescription(ReplayInfo& out) const {
    ReplayInfo i = m_choice.description;
    std::uint64_t sync = 0, v[9];
    const char* names[] = {"syncBits", "wordBits", "words",    "subframes", "precision",
                           "density",  "codeType", "codeRate", "tag"};
    if (!ParseU32(Field("sync")->text(), 16, ~std::uint64_t{0}, sync)) return false;
    for (int k = 0; k < 9; ++k)
        if (!ParseU32(Field(names[k])->text(), 10, 0xFFFFFFFFu, v[k])) return false;
    i.帧同步码Low = std::uint32_t(sync);
    i.帧同步码High = std::uint32_t(sync >> 32);
    i.帧同步码位长 = std::uint32_t(v[0]);
    i.字长 = std::uint32_t(v[1]);
    i.子帧长 = std::uint32_t(v[2]);
    i.副帧长 = std::uint32_t(v[3]);
    i.配时精度 = std::uint32_t(v[4]);
    i.配时密度 = std::uint32_t(v[5]);
    i.码型 = std::uint32_t(v[6]);
    i.码率 = std::uint32_t(v[7]);
    i.tagBytesPerRecord = std::uint32_t(v[8]);
    if (!recording::DescriptionValid(i)) return false;
    out = i;
    return true;
}

bool CReplayDlg::Start(int kind) {
    if (m_path.empty()) {
        Warn("请先选择模飞文件！");
        return false;
    }
    ReplayInfo info{};
    if (!UpdateDescription(info)) {
        Warn("更新参数失败！");
        return false;
    }
    const std::uint64_t count = recording::RecordCount(m_fileSize, m_headerLength, info);
    const auto times = recording::ReadFileTimes(m_path, m_headerLength, info);
    if (!times || count == 0) {
        Warn("读取回放数据文件时间信息失败！");
        return false;
    }
    ShowTimes(true, times->startMs, times->endMs);
    std::uint64_t start = 0;
    if (m_fromTime->isChecked()) {
        const auto target =
            mainframe::JumpTargetMs(m_hour->text().toStdString(), m_minute->text().toStdString(),
                                    m_second->text().toStdString(), m_ms->text().toStdString());
        if (!target) {
            Warn("更新参数失败！");
            return false;
        }
        const mainframe::StartRecord r =
            mainframe::StartRecordAt(*target, times->startMs, times->endMs, count);
        if (r.result == mainframe::StartRecordResult::BeforeFileStart) {
            Warn("您设置的回放时间必须大于文件开始时间！");
            return false;
        }
        if (r.result == mainframe::StartRecordResult::NotBeforeFileEnd) {
            Warn("您设置的回放时间必须小于文件结束时间！");
            return false;
        }
        if (r.result != mainframe::StartRecordResult::Ok) {
            Warn("读取回放数据文件时间信息失败！");
            return false;
        }
        start = r.record;
    }
    // The data path cuts a software replay with the demodulator record in
    // force; a file of another shape would be cut into wrong records.
    if (kind == 1 &&
        (info.字长 != m_dem.字长 || info.子帧长 != m_dem.子帧长 || info.副帧长 != m_dem.副帧长)) {
        Warn("回放文件的字长、子帧长或副帧长与当前解调器参数不一致，不能软件回放！");
        return false;
    }
    m_choice.path = m_path;
    m_choice.description = info;
    m_choice.headerLength = m_headerLength;
    m_choice.kind = kind;
    m_choice.startRecord = start;
    m_choice.recordCount = count;
    m_choice.fileStartMs = times->startMs;
    m_choice.fileEndMs = times->endMs;
    m_choice.loop = m_loop->isChecked();
    m_choice.speed = kSpeeds[std::max(0, m_speed->currentIndex())];
    accept();
    return true;
}
