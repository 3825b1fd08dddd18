// Property pages of the task-macro dialog: forms built from the store's
// columns, filled from and written back to a task's rows.
#include "task_pages_dlg.h"

#include <platform/notify.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "key_channels_dlg.h"
#include "schema.h"
#include "task_rows.h"

namespace taskbook {

using plat::DbValue;

namespace {

// The word-length choice holds word length minus 4.
constexpr int kMinWordBits = 4, kMaxWordBits = 32;

bool IsWordLength(const Table& t, const Column& c) {
    return c.name == "字长" && (StartsWith(t.name, "解调器") || StartsWith(t.name, "模拟器"));
}

}  // namespace

// ---- the page base

CTaskPage::CTaskPage(const char* className, const QString& caption, QWidget* parent)
    : QWidget(parent), caption_(caption) {
    setObjectName(className);
    setWindowTitle(caption);
}

void CTaskPage::ShowRows(const TaskRows& rows) {
    if (!built) {
        Build();
        built = true;
    }
    for (std::size_t i = 0; i < tables_.size(); ++i) FillTable(rows, tables_[i]);
}

Refusal CTaskPage::Collect(TaskRows& rows) const {
    for (std::size_t t : tables_)
        if (auto r = CollectTable(rows, t)) return r;
    return std::nullopt;
}

Refusal CTaskPage::Check(const TaskRows& rows) const {
    for (std::size_t t : tables_)
        if (auto r = CheckTable(rows, t)) return r;
    return std::nullopt;
}

QPushButton* CTaskPage::AddButton(QWidget* parent, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(text);
    return b;
}

void CTaskPage::AddTableFields(QWidget* parent, std::size_t table,
                               const std::vector<std::string>& skip) {
    auto* form = qobject_cast<QFormLayout*>(parent->layout());
    if (!form) form = new QFormLayout(parent);
    const Table& t = Tables()[table];
    std::vector<QWidget*> widgets(t.columns.size(), nullptr);
    for (std::size_t c = 0; c < t.columns.size(); ++c) {
        const Column& col = t.columns[c];
        if (std::find(skip.begin(), skip.end(), col.name) != skip.end()) continue;
        if (StartsWith(col.name, "遥测流") && StartsWith(t.name, kTaskInfoTable)) continue;
        QWidget* w = nullptr;
        const QString name = QString::fromStdString(col.name);
        if (IsWordLength(t, col)) {
            auto* box = new QComboBox(parent);
            for (int b = kMinWordBits; b <= kMaxWordBits; ++b) box->addItem(QString::number(b));
            w = box;
        } else if (col.name == "频率带宽(MHz)") {
            auto* box = new QComboBox(parent);  // the antenna's bandwidth is one of four
            for (const char* b : {"0.5", "1", "2", "4"}) box->addItem(b);
            w = box;
        } else if (col.codec == Codec::Label) {
            auto* box = new QComboBox(parent);
            for (const Label& l : col.labels->labels)
                box->addItem(QString::fromUtf8(l.text.data(), static_cast<int>(l.text.size())));
            w = box;
        } else if (col.codec == Codec::YesNo) {
            w = new QCheckBox(name, parent);
        } else {
            w = new QLineEdit(parent);
        }
        w->setObjectName(name);
        if (col.codec == Codec::YesNo)
            form->addRow(w);
        else
            form->addRow(name, w);
        widgets[c] = w;
    }
    tables_.push_back(table);
    fields_.push_back(std::move(widgets));
}

QWidget* CTaskPage::Field(std::size_t table, const std::string& column) const {
    for (std::size_t i = 0; i < tables_.size(); ++i)
        if (tables_[i] == table) {
            const std::size_t c = ColumnOf(table, column);
            return c < fields_[i].size() ? fields_[i][c] : nullptr;
        }
    return nullptr;
}

void CTaskPage::FillTable(const TaskRows& rows, std::size_t table) const {
    const Table& t = Tables()[table];
    for (std::size_t i = 0; i < tables_.size(); ++i) {
        if (tables_[i] != table) continue;
        for (std::size_t c = 0; c < t.columns.size(); ++c) {
            QWidget* w = fields_[i][c];
            if (!w) continue;
            const QString text = QString::fromStdString(RowText(rows, table, t.columns[c].name));
            if (auto* box = qobject_cast<QComboBox*>(w)) {
                int at = box->findText(text);
                if (at < 0) {
                    box->addItem(text);  // a stored text outside the list stays as it is
                    at = box->count() - 1;
                }
                box->setCurrentIndex(at);
            } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
                check->setChecked(text == "-1");
            } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
                edit->setText(text);
            }
        }
    }
}

Refusal CTaskPage::CollectTable(TaskRows& rows, std::size_t table) const {
    const Table& t = Tables()[table];
    for (std::size_t i = 0; i < tables_.size(); ++i) {
        if (tables_[i] != table) continue;
        for (std::size_t c = 0; c < t.columns.size(); ++c) {
            QWidget* w = fields_[i][c];
            if (!w || table >= rows.tables.size() || c >= rows.tables[table].size()) continue;
            const Column& col = t.columns[c];
            DbValue v;
            std::string text;
            if (auto* box = qobject_cast<QComboBox*>(w))
                text = box->currentText().toStdString();
            else if (auto* check = qobject_cast<QCheckBox*>(w))
                text = check->isChecked() ? "-1" : "0";
            else if (auto* edit = qobject_cast<QLineEdit*>(w))
                text = edit->text().toStdString();
            v = text;
            // Numbers are stored as numbers; text that is not one stays text
            // so that the checks refuse it.
            if (col.codec == Codec::Int)
                if (auto n = ParseInteger(text)) v = *n;
            if (col.codec == Codec::Real)
                if (auto d = ParseReal(text)) v = *d;
            rows.tables[table][c] = std::move(v);
        }
    }
    return std::nullopt;
}

namespace {

// ---- task information

class CPropPage_Taskinfo : public CTaskPage {
public:
    CPropPage_Taskinfo(PageHost* host, QWidget* parent)
        : CTaskPage("CPropPage_Taskinfo", "任务信息", parent), host_(host) {
        saveOk = "任务信息保存成功！\t\t\t";
        saveFailed = "任务信息保存失败！\t\t\t";
        applyCode = 2;
    }
    void ShowRows(const TaskRows& rows) override {
        CTaskPage::ShowRows(rows);
        original_ = rows.name;
        name_->setText(QString::fromStdString(rows.name));
        const std::size_t t = TableIndex(kTaskInfoTable);
        description_->setPlainText(QString::fromStdString(RowText(rows, t, "任务描述")));
        place_->setText(QString::fromStdString(RowText(rows, t, "执行地点")));
        const std::string when = RowText(rows, t, "执行时间");
        const std::size_t blank = when.find(' ');
        std::string date = when.substr(0, blank);
        std::string time = blank == std::string::npos ? "" : when.substr(blank);
        if (!ParseTaskDate(date)) {
            // A task without a date of execution ("未知时间") is offered today.
            std::time_t now = std::time(nullptr);
            std::tm tm{};
            localtime_r(&now, &tm);
            char d[32], t[32];
            std::snprintf(d, sizeof d, "%d-%d-%d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
            std::strftime(t, sizeof t, " %H:%M:%S", &tm);
            date = d;
            time = t;
        }
        date_->setText(QString::fromStdString(date));
        time_->setText(QString::fromStdString(time));
    }
    Refusal Collect(TaskRows& rows) const override {
        CTaskPage::Collect(rows);
        rows.name = name_->text().toStdString();
        const std::size_t t = TableIndex(kTaskInfoTable);
        SetRowValue(rows, t, "任务描述", description_->toPlainText().toStdString());
        SetRowValue(rows, t, "执行地点", place_->text().toStdString());
        SetRowValue(rows, t, "执行时间", date_->text().toStdString() + time_->text().toStdString());
        return std::nullopt;
    }
    Refusal Check(const TaskRows& rows) const override {
        TaskInfoValues v;
        v.name = rows.name;
        v.originalName = original_;
        v.existingNames = host_->existingNames();
        v.date = date_->text().toStdString();
        v.time = time_->text().toStdString();
        v.description = description_->toPlainText().toStdString();
        return CheckTaskInfo(v);
    }
    bool NameChanged() const { return built && name_->text().toStdString() != original_; }
    std::string original_;

protected:
    void Build() override {
        auto* layout = new QVBoxLayout(this);
        auto* head = new QWidget(this);
        auto* form = new QFormLayout(head);
        name_ = new QLineEdit(head);
        name_->setObjectName("任务名");
        form->addRow("任务名", name_);
        description_ = new QPlainTextEdit(head);
        description_->setObjectName("任务描述");
        form->addRow("任务描述", description_);
        place_ = new QLineEdit(head);
        place_->setObjectName("执行地点");
        form->addRow("执行地点", place_);
        auto* when = new QWidget(head);
        when->setObjectName("执行时间");
        auto* row = new QHBoxLayout(when);
        row->setContentsMargins(0, 0, 0, 0);
        date_ = new QLineEdit(when);
        date_->setObjectName("执行日期");
        time_ = new QLineEdit(when);
        time_->setObjectName("执行时刻");
        row->addWidget(date_);
        row->addWidget(time_);
        form->addRow("执行时间", when);
        layout->addWidget(head);
        auto* flags = new QWidget(this);
        AddTableFields(flags, TableIndex(kTaskInfoTable), {"任务描述", "执行地点", "执行时间"});
        layout->addWidget(flags);
        auto* buttons = new QHBoxLayout;
        auto* save = AddButton(this, "保存");
        auto* apply = AddButton(this, "应用");
        buttons->addWidget(save);
        buttons->addWidget(apply);
        layout->addLayout(buttons);
        connect(save, &QPushButton::clicked, this, [this] { host_->save(this); });
        connect(apply, &QPushButton::clicked, this, [this] { host_->apply(this, 2); });
    }

private:
    PageHost* host_;
    QLineEdit *name_ = nullptr, *place_ = nullptr, *date_ = nullptr, *time_ = nullptr;
    QPlainTextEdit* description_ = nullptr;
};

// ---- a device with one table

class CDevicePage : public CTaskPage {
public:
    CDevicePage(const char* className, const QString& caption, std::size_t table, PageHost* host,
                QWidget* parent)
        : CTaskPage(className, caption, parent), table_(table), host_(host) {}

protected:
    void Build() override {
        auto* layout = new QVBoxLayout(this);
        auto* area = new QScrollArea(this);
        auto* form = new QWidget(area);
        AddTableFields(form, table_);
        area->setWidget(form);
        area->setWidgetResizable(true);
        layout->addWidget(area);
        auto* buttons = new QHBoxLayout;
        AddExtraButtons(buttons);
        auto* save = AddButton(this, "保存");
        buttons->addWidget(save);
        layout->addLayout(buttons);
        connect(save, &QPushButton::clicked, this, [this] { host_->save(this); });
    }
    virtual void AddExtraButtons(QHBoxLayout*) {}

    std::size_t table_;
    PageHost* host_;
};

// Demodulator and simulator: the key entry and the channel derivation.
class CCipherPage : public CDevicePage {
public:
    using CDevicePage::CDevicePage;

protected:
    void AddExtraButtons(QHBoxLayout* row) override {
        auto* keys = AddButton(this, "密钥设置");
        auto* plain = AddButton(this, "未加密波道推算");
        row->addWidget(keys);
        row->addWidget(plain);
        connect(keys, &QPushButton::clicked, this, [this] { EditKeys(); });
        connect(plain, &QPushButton::clicked, this, [this] { DeriveChannels(); });
    }

private:
    FrameValues Values() const {
        TaskRows rows;
        rows.tables.resize(Tables().size());
        rows.tables[table_].resize(Tables()[table_].columns.size());
        CollectTable(rows, table_);
        return FrameFromRows(rows, table_, StartsWith(Tables()[table_].name, "模拟器"));
    }
    QLineEdit* Edit(const char* column) const {
        return qobject_cast<QLineEdit*>(Field(table_, column));
    }
    void EditKeys() {
        std::string keys;
        if (RunKeyChannelsDialog(this, Values(), keys) && Edit("密钥波道"))
            Edit("密钥波道")->setText(QString::fromStdString(keys));
    }
    void DeriveChannels() {
        std::string encrypted;
        if (RunNonEncryptedDialog(this, Values(), encrypted) && Edit("加密波道"))
            Edit("加密波道")->setText(QString::fromStdString(encrypted));
    }
};

// ---- pseudo-random code files

std::function<QString(QWidget*, const QString&, const QString&)>& Chooser() {
    static std::function<QString(QWidget*, const QString&, const QString&)> chooser =
        [](QWidget* parent, const QString& title, const QString& filter) {
            return QFileDialog::getOpenFileName(parent, title, QString(), filter);
        };
    return chooser;
}

// "desc|pattern|desc|pattern||" as a file dialog filter.
QString DialogFilter(const char* text) {
    const QStringList parts = QString::fromUtf8(text).split('|', Qt::SkipEmptyParts);
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        out << parts[i] + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
    return out.join(";;");
}

struct CodeSource {
    const char* title;
    const char* filter;
    const char *source, *length, *sequence;  // columns
};

// Adds the button that loads the code of `src` from a file into the fields
// of `table` on `page`; it works while the source is "临时加载".
QPushButton* AddCodeFileButton(QWidget* page, QWidget* parent,
                               std::function<QWidget*(const char*)> field, const CodeSource& src) {
    auto* b = new QPushButton(QString::fromUtf8(src.title), parent);
    b->setObjectName(QString::fromUtf8(src.title));
    QObject::connect(b, &QPushButton::clicked, page, [page, field, src] {
        auto* source = qobject_cast<QComboBox*>(field(src.source));
        auto* length = qobject_cast<QComboBox*>(field(src.length));
        auto* sequence = qobject_cast<QLineEdit*>(field(src.sequence));
        if (!source || !length || !sequence) return;
        if (DecodeLabel(kPnSourceLabels, source->currentText().toStdString()) != kPnLoaded) return;
        const QString path =
            Chooser()(page, QString::fromUtf8(src.title), DialogFilter(src.filter));
        if (path.isEmpty()) return;
        const std::uint32_t index =
            DecodeLabel(kPnLengthLabels, length->currentText().toStdString());
        std::string stored;
        if (auto r = LoadCodeFile(path.toStdString(), CodeLengthBits(index), stored)) {
            plat::MessageBox(*r, kMessageCaption, plat::MB_OK | plat::MB_ICONWARNING);
            return;
        }
        sequence->setText(QString::fromStdString(stored));
    });
    return b;
}

class CReceiverPage : public CDevicePage {
public:
    using CDevicePage::CDevicePage;
    void ShowRows(const TaskRows& rows) override {
        CDevicePage::ShowRows(rows);
        for (const char* c : kReceiverFrequencies)
            if (auto* edit = qobject_cast<QLineEdit*>(Field(table_, c)))
                if (const Real hz = RowReal(rows, table_, c))
                    edit->setText(QString::number(*hz / kHzPerMHz, 'g', 12));
    }
    Refusal Collect(TaskRows& rows) const override {
        CDevicePage::Collect(rows);
        for (const char* c : kReceiverFrequencies)
            if (const DbValue* v = RowValue(rows, table_, c))
                if (auto* mhz = std::get_if<double>(v))
                    SetRowValue(rows, table_, c, *mhz * kHzPerMHz);
        return std::nullopt;
    }

protected:
    void AddExtraButtons(QHBoxLayout* row) override {
        auto field = [this](const char* c) { return Field(table_, c); };
        row->addWidget(AddCodeFileButton(
            this, this, field,
            {"选择伪码序列文件", "Gold/MSeria files(.txt)|*.txt|All files(*.*)|*.*||", "伪码来源",
             "伪码长度", "伪码序列"}));
        row->addWidget(
            AddCodeFileButton(this, this, field,
                              {"选择M序列文件", "M serial files(*.txt)|*.txt|All files(*.*)|*.*||",
                               "Sim伪码来源", "Sim伪码长度", "Sim伪码序列"}));
    }
};

// ---- a stream: its five devices in tabs

struct DeviceKind {
    const char* className;
    const char* caption;
    const char* table;  // with %d for the stream
    const char* saved;  // save text, 成功 form
    int unitDigit;
};

constexpr DeviceKind kDevices[5] = {
    {"CPropPage_XiaBianPinQi", "下变频器", "下变频器%d参数表", "下变频器参数保存成功！", 1},
    {"CPropPage_JieShouJi", "接收机", "接收机%d参数表", "接收机参数保存成功！", 3},
    {"CPropPage_JieTiaoQi", "PCM解调器", "解调器%d参数表", "解调器参数保存成功！\t\t\t", 5},
    {"CPropPage_MoNiQi", "PCM模拟器", "模拟器%d参数表", "模拟器参数保存成功！\t\t\t", 7},
    {"CPropPage_ShiMaQi", "时码器", "时码器%d参数表", "时码器参数保存成功！\t\t\t", 9},
};

std::string Failed(std::string ok) {
    const std::string from = "成功";
    if (auto at = ok.find(from); at != std::string::npos) ok.replace(at, from.size(), "失败");
    return ok;
}

class CPropPage_Telemetry : public CTaskPage {
public:
    CPropPage_Telemetry(int stream, PageHost* host, QWidget* parent)
        : CTaskPage("CPropPage_Telemetry", QString("遥测流%1").arg(stream), parent),
          stream_(stream),
          host_(host) {
        saveOk = "遥测流参数保存成功！\t\t\t";
        saveFailed = Failed(saveOk);
        applyCode = 2 + stream;
    }
    void ShowRows(const TaskRows& rows) override {
        if (!built) {
            Build();
            built = true;
        }
        rows_ = &rows;
        for (CTaskPage* p : devices_)
            if (p->built || p == Front()) p->ShowRows(rows);
    }
    Refusal Collect(TaskRows& rows) const override {
        for (CTaskPage* p : devices_)
            if (p->built)
                if (auto r = p->Collect(rows)) return r;
        return std::nullopt;
    }
    Refusal Check(const TaskRows& rows) const override {
        for (CTaskPage* p : devices_)
            if (p->built)
                if (auto r = p->Check(rows)) return r;
        return std::nullopt;
    }
    CTaskPage* Front() const {
        return tabs_ ? static_cast<CTaskPage*>(tabs_->currentWidget()) : nullptr;
    }
    std::vector<CTaskPage*> devices_;

protected:
    void Build() override {
        auto* layout = new QHBoxLayout(this);
        tabs_ = new QTabWidget(this);
        tabs_->setObjectName("设备");
        for (const DeviceKind& k : kDevices) {
            char table[64];
            std::snprintf(table, sizeof table, k.table, stream_);
            const std::size_t t = TableIndex(table);
            CTaskPage* p;
            if (k.unitDigit == 5 || k.unitDigit == 7)
                p = new CCipherPage(k.className, k.caption, t, host_, tabs_);
            else if (k.unitDigit == 3)
                p = new CReceiverPage(k.className, k.caption, t, host_, tabs_);
            else
                p = new CDevicePage(k.className, k.caption, t, host_, tabs_);
            p->saveOk = k.saved;
            p->saveFailed = Failed(k.saved);
            p->applyCode = 10 * stream_ + k.unitDigit;
            devices_.push_back(p);
            tabs_->addTab(p, k.caption);
        }
        // Pages inside the tabs are built when first shown too.
        connect(tabs_, &QTabWidget::currentChanged, this, [this] {
            if (CTaskPage* p = Front(); p && !p->built && rows_) p->ShowRows(*rows_);
        });
        layout->addWidget(tabs_, 1);
        auto* side = new QVBoxLayout;
        auto* save = AddButton(this, "保存");
        auto* apply = AddButton(this, "应用");
        // Two tall buttons, one above the other, beside the tabs.
        save->setMinimumHeight(80);
        apply->setMinimumHeight(80);
        side->addWidget(save);
        side->addWidget(apply);
        side->addStretch();
        layout->addLayout(side);
        connect(save, &QPushButton::clicked, this, [this] { host_->save(this); });
        connect(apply, &QPushButton::clicked, this, [this] { host_->apply(this, applyCode); });
    }

private:
    int stream_;
    PageHost* host_;
    QTabWidget* tabs_ = nullptr;
    const TaskRows* rows_ = nullptr;  // the dialog's rows of the task in hand
};

// ---- the emulator: three channels, one shown at a time

class CPropPage_Emulator : public CTaskPage {
public:
    CPropPage_Emulator(PageHost* host, QWidget* parent)
        : CTaskPage("CPropPage_Emulator", "遥测仿真器", parent), host_(host) {
        saveOk = "仿真器参数保存成功！\t\t\t";
        saveFailed = Failed(saveOk);
        applyCode = 41;
    }
    Refusal Collect(TaskRows& rows) const override {
        if (single_ < 0) return CTaskPage::Collect(rows);
        return CollectTable(rows, tables_[static_cast<std::size_t>(single_)]);
    }
    Refusal Check(const TaskRows& rows) const override {
        if (single_ < 0) return CTaskPage::Check(rows);
        return CheckTable(rows, tables_[static_cast<std::size_t>(single_)]);
    }
    int single_ = -1;  // a single channel being saved

protected:
    void Build() override {
        auto* layout = new QVBoxLayout(this);
        channel_ = new QComboBox(this);
        channel_->setObjectName("通道");
        for (int c = 1; c <= 3; ++c) channel_->addItem(QString("通道%1").arg(c));
        layout->addWidget(channel_);
        auto* stack = new QStackedWidget(this);
        for (int c = 1; c <= 3; ++c) {
            auto* area = new QScrollArea(stack);
            auto* form = new QWidget(area);
            form->setObjectName(QString("通道%1").arg(c));
            AddTableFields(form, TableIndex("仿真器通道" + std::to_string(c) + "参数表"));
            area->setWidget(form);
            area->setWidgetResizable(true);
            stack->addWidget(area);
        }
        connect(channel_, &QComboBox::currentIndexChanged, stack, &QStackedWidget::setCurrentIndex);
        layout->addWidget(stack, 1);
        auto* buttons = new QHBoxLayout;
        auto field = [this](const char* c) {
            return Field(tables_[static_cast<std::size_t>(channel_->currentIndex())], c);
        };
        buttons->addWidget(AddCodeFileButton(
            this, this, field,
            {"选择Gold码文件", "Gold codes files(*.txt)|*.txt|All files(*.*)|*.*||", "伪码类型",
             "伪码长度", "伪码序列"}));
        auto* both = AddButton(this, "双通道保存");
        auto* one = AddButton(this, "单通道保存");
        buttons->addWidget(both);
        buttons->addWidget(one);
        layout->addLayout(buttons);
        connect(both, &QPushButton::clicked, this, [this] { host_->save(this); });
        connect(one, &QPushButton::clicked, this, [this] {
            const int c = channel_->currentIndex();
            const std::string ok = saveOk, failed = saveFailed;
            char text[96];
            std::snprintf(text, sizeof text, "仿真器通道%d参数保存成功！\t\t\t", c + 1);
            saveOk = text;
            saveFailed = Failed(text);
            single_ = c;
            host_->save(this);
            single_ = -1;
            saveOk = ok;
            saveFailed = failed;
        });
    }

private:
    PageHost* host_;
    QComboBox* channel_ = nullptr;
};

// ---- antenna controller and safety-control terminals

class CPropPage_Antenna : public CDevicePage {
public:
    CPropPage_Antenna(PageHost* host, QWidget* parent)
        : CDevicePage("CPropPage_Antenna", "天线控制器", TableIndex("天线控制器参数表"), host,
                      parent) {
        saveOk = "天线控制器参数保存成功！";
        saveFailed = Failed(saveOk);
        applyCode = 61;
    }
};

class CPropPage_AnKong : public CDevicePage {
public:
    CPropPage_AnKong(int terminal, PageHost* host, QWidget* parent)
        : CDevicePage("CPropPage_AnKong", QString("安控终端%1").arg(terminal),
                      TableIndex("安控终端" + std::to_string(terminal) + "参数表"), host, parent) {
        char text[96];
        std::snprintf(text, sizeof text, "安控终端%d参数保存成功！\t\t\t", terminal);
        saveOk = text;
        saveFailed = Failed(text);
        applyCode = terminal == 1 ? 53 : 55;
    }
    void ShowRows(const TaskRows& rows) override {
        CDevicePage::ShowRows(rows);
        // The subcarrier is entered as a multiple of the code rate.
        const double rate = ParseReal(RowText(rows, table_, "调制码率(Kbps)")).value_or(0.0);
        auto* edit = qobject_cast<QLineEdit*>(Field(table_, "副载波频率(Kbps)"));
        const Real sub = ParseReal(RowText(rows, table_, "副载波频率(Kbps)"));
        if (edit && rate > 0 && sub) edit->setText(QString::number(*sub / rate));
        UpdateUnit();
    }
    Refusal Collect(TaskRows& rows) const override {
        CDevicePage::Collect(rows);
        const double rate = ParseReal(RowText(rows, table_, "调制码率(Kbps)")).value_or(0.0);
        const Real times = ParseReal(RowText(rows, table_, "副载波频率(Kbps)"));
        if (times) SetRowValue(rows, table_, "副载波频率(Kbps)", *times * rate);
        return std::nullopt;
    }

protected:
    void Build() override {
        CDevicePage::Build();
        unit_ = new QLabel(this);
        unit_->setObjectName("副载波倍数");
        if (auto* edit = Field(table_, "副载波频率(Kbps)"))
            if (auto* form = qobject_cast<QFormLayout*>(edit->parentWidget()->layout()))
                form->addRow("", unit_);
        if (auto* rate = qobject_cast<QComboBox*>(Field(table_, "调制码率(Kbps)")))
            connect(rate, &QComboBox::currentIndexChanged, this, [this] { UpdateUnit(); });
    }

private:
    void UpdateUnit() {
        auto* rate = qobject_cast<QComboBox*>(Field(table_, "调制码率(Kbps)"));
        if (unit_ && rate) unit_->setText("×" + rate->currentText() + "K");
    }
    QLabel* unit_ = nullptr;
};

}  // namespace

CTaskPage* MakeTaskInfoPage(PageHost* host, QWidget* parent) {
    return new CPropPage_Taskinfo(host, parent);
}
CTaskPage* MakeStreamPage(int stream, PageHost* host, QWidget* parent) {
    return new CPropPage_Telemetry(stream, host, parent);
}
CTaskPage* MakeEmulatorPage(PageHost* host, QWidget* parent) {
    return new CPropPage_Emulator(host, parent);
}
CTaskPage* MakeAntennaPage(PageHost* host, QWidget* parent) {
    return new CPropPage_Antenna(host, parent);
}
CTaskPage* MakeSafetyPage(int terminal, PageHost* host, QWidget* parent) {
    return new CPropPage_AnKong(terminal, host, parent);
}

CTaskPage* FrontDevicePage(CTaskPage* streamPage) {
    auto* s = dynamic_cast<CPropPage_Telemetry*>(streamPage);
    return s ? s->Front() : nullptr;
}

void SetCodeFileChooserForTest(
    std::function<QString(QWidget*, const QString&, const QString&)> chooser) {
    Chooser() = std::move(chooser);
}

bool TaskNameChanged(CTaskPage* infoPage) {
    auto* p = dynamic_cast<CPropPage_Taskinfo*>(infoPage);
    return p && p->NameChanged();
}

}  // namespace taskbook
