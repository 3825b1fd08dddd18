// The task-macro dialog: tasks, device branches, pages, save and apply.
#include "task_macro_dlg.h"

#include <platform/notify.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <ctime>
#include <memory>

#include "schema.h"
#include "task_rows.h"
#include "taskbook/taskbook.h"

namespace taskbook {
namespace {

constexpr int kPageRole = Qt::UserRole;
constexpr int kBitRole = Qt::UserRole + 1;
constexpr int kSaveNodeRole = Qt::UserRole + 2;
constexpr int kHoldMs = 1000;
constexpr unsigned kAllBranches = 0x7F;

void Tell(const std::string& text, unsigned icon = plat::MB_ICONWARNING) {
    plat::MessageBox(text, kMessageCaption, plat::MB_OK | icon);
}

DateTime NowStamp() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

// Branch labels end in "设置" when applying, in "修改" when only editing.
QString BranchLabel(const char* stem, int mode) {
    return QString::fromUtf8(stem) + (mode == kModeEditApply ? "设置" : "修改");
}

struct BranchText {
    unsigned bits;
    const char* saved;
};
constexpr BranchText kBranchTexts[] = {
    {kBitStream1, "遥测流1参数保存成功！\t\t\t"},
    {kBitStream2, "遥测流2参数保存成功！\t\t\t"},
    {kBitStream3, "遥测流3参数保存成功！\t\t\t"},
    {kBitEmulator, "遥测仿真器参数保存成功！\t\t\t"},
    {kBitSafety1, "安控终端1参数保存成功！\t\t\t"},
    {kBitSafety2, "安控终端2参数保存成功！\t\t\t"},
    {kBitSafety1 | kBitSafety2, "安控终端参数保存成功！\t\t\t"},
    {kBitSystem, "系统参数保存成功！\t\t\t"},
};

std::string FailedText(std::string ok) {
    const std::string from = "成功";
    if (auto at = ok.find(from); at != std::string::npos) ok.replace(at, from.size(), "失败");
    return ok;
}

}  // namespace

CTaskMacroDlg::CTaskMacroDlg(QWidget* parent, int stream, int mode, unsigned mask)
    : QDialog(parent), stream_(NormalizeStream(stream)), mode_(mode), mask_(mask) {
    setObjectName("任务宏管理");
    setWindowTitle("任务宏管理");
    host_.save = [this](CTaskPage* p) { SavePage(p); };
    host_.apply = [this](CTaskPage* p, int code) { ApplyPage(p, code); };
    host_.existingNames = [this]() { return namesValid_ ? &names_ : nullptr; };

    auto* layout = new QHBoxLayout(this);
    tree_ = new QTreeWidget(this);
    tree_->setObjectName("任务树");
    tree_->setHeaderHidden(true);
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    tree_->setMinimumWidth(220);
    layout->addWidget(tree_);
    auto* right = new QVBoxLayout;
    stack_ = new QStackedWidget(this);
    pages_[kPageInfo] = MakeTaskInfoPage(&host_, stack_);
    for (int s = 1; s <= 3; ++s) pages_[kPageInfo + s] = MakeStreamPage(s, &host_, stack_);
    pages_[kPageEmulator] = MakeEmulatorPage(&host_, stack_);
    pages_[kPageAntenna] = MakeAntennaPage(&host_, stack_);
    pages_[kPageSafety1] = MakeSafetyPage(1, &host_, stack_);
    pages_[kPageSafety2] = MakeSafetyPage(2, &host_, stack_);
    for (CTaskPage* p : pages_) stack_->addWidget(p);
    right->addWidget(stack_, 1);
    auto* buttons = new QHBoxLayout;
    auto button = [&](const char* text) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QString::fromUtf8(text));
        buttons->addWidget(b);
        return b;
    };
    new_ = button("新建任务宏");
    delete_ = button("删除任务宏");
    apply_ = button("宏应用");
    single_ = button("单一应用");
    exit_ = button("退出");
    right->addLayout(buttons);
    layout->addLayout(right, 1);

    connect(new_, &QPushButton::clicked, this, [this] { NewTask(); });
    connect(delete_, &QPushButton::clicked, this, [this] { DeleteTask(); });
    connect(apply_, &QPushButton::clicked, this, [this] { ApplyTicked(); });
    connect(single_, &QPushButton::clicked, this, [this] { ApplyFront(); });
    connect(exit_, &QPushButton::clicked, this, [this] { Exit(); });
    connect(tree_, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { OnItemClicked(item); });
    connect(tree_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
        if (item == deviceRoot_)
            SetTicked(deviceRoot_->checkState(0) == Qt::Checked ? kAllBranches : 0u);
    });
    connect(tree_, &QTreeWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { OnContextMenu(at); });
    hold_.setSingleShot(true);
    hold_.setInterval(kHoldMs);
    connect(&hold_, &QTimer::timeout, this, [this] {
        for (QPushButton* b : held_) b->setEnabled(true);
        held_.clear();
    });

    BuildTree();
    LoadTaskList(kCurrentTask);
    ShowPage(static_cast<PageId>(kPageInfo + stream_));
    resize(900, 640);
}

void CTaskMacroDlg::BuildTree() {
    deviceRoot_ = new QTreeWidgetItem;
    deviceRoot_->setText(0, mode_ == kModeEditApply ? "全部设置" : "全部保存");
    // The root ticks every branch; it is not tri-state since the save node
    // below it carries no tick box.
    deviceRoot_->setFlags(deviceRoot_->flags() | Qt::ItemIsUserCheckable);
    deviceRoot_->setCheckState(0, Qt::Unchecked);
    auto node = [&](QTreeWidgetItem* parent, const QString& text, int page, unsigned bit) {
        auto* item = new QTreeWidgetItem(parent);
        item->setText(0, text);
        item->setData(0, kPageRole, page);
        item->setData(0, kBitRole, bit);
        if (bit || page < 0) {
            // Groups follow their branches; a branch with page-only children
            // has a tick box of its own.
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable |
                           (page < 0 ? Qt::ItemIsAutoTristate : Qt::NoItemFlags));
            item->setCheckState(0, Qt::Unchecked);
        }
        return item;
    };
    auto* system = node(deviceRoot_, BranchLabel("系统参数", mode_), kPageInfo, kBitSystem);
    node(system, "任务信息", kPageInfo, 0)->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    node(system, "天线控制器", kPageAntenna, 0)->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    const char* cards[3] = {"遥测基带卡参数", "遥测终端2基带卡参数", "遥测终端3基带卡参数"};
    for (int s = 1; s <= 3; ++s) {
        auto* card = node(deviceRoot_, BranchLabel(cards[s - 1], mode_), -1, 0);
        node(card, BranchLabel(("遥测流" + std::to_string(s) + "参数").c_str(), mode_),
             kPageInfo + s, 1u << (s - 1));
    }
    node(deviceRoot_, BranchLabel("遥测仿真器参数", mode_), kPageEmulator, kBitEmulator);
    auto* safety = node(deviceRoot_, BranchLabel("安控终端参数", mode_), -1, 0);
    node(safety, BranchLabel("安控终端1参数", mode_), kPageSafety1, kBitSafety1);
    node(safety, BranchLabel("安控终端2参数", mode_), kPageSafety2, kBitSafety2);
    if (mode_ != kModeEditApply) {
        auto* save = new QTreeWidgetItem(deviceRoot_);
        save->setText(0, "保存任务宏参数");
        save->setData(0, kPageRole, -1);
        save->setData(0, kSaveNodeRole, true);
    }
}

QTreeWidgetItem* CTaskMacroDlg::TaskItem(const std::string& name) const {
    const QString n = QString::fromStdString(name);
    for (int i = 0; i < tree_->topLevelItemCount(); ++i)
        if (tree_->topLevelItem(i)->text(0) == n) return tree_->topLevelItem(i);
    return nullptr;
}

void CTaskMacroDlg::LoadTaskList(const std::string& select) {
    auto list = TaskStore::Instance().TaskList();
    namesValid_ = list.has_value();
    names_.clear();
    // The device branches stay alive while the task items are rebuilt.
    if (deviceRoot_->parent()) deviceRoot_->parent()->removeChild(deviceRoot_);
    tree_->clear();
    std::string pick;
    if (list) {
        QList<QTreeWidgetItem*> items;
        items.reserve(static_cast<qsizetype>(list->size()));
        for (const auto& e : *list) {
            names_.push_back(e.name);
            auto* item = new QTreeWidgetItem;
            item->setText(0, QString::fromStdString(e.name));
            items.push_back(item);
            if (e.name == select || (pick.empty() && e.isDefault)) pick = e.name;
        }
        tree_->addTopLevelItems(items);
        if (pick.empty() && !names_.empty()) pick = names_.front();
        for (const auto& e : *list)
            if (e.name == select) pick = select;
    }
    rows_ = TaskRows{};
    if (!pick.empty()) SelectTask(pick);
}

bool CTaskMacroDlg::SelectTask(const std::string& name) {
    QTreeWidgetItem* item = TaskItem(name);
    if (!item) return false;
    auto records = std::make_unique<TaskRecords>();
    TaskRows rows;
    if (!TaskStore::Instance().Load(name, *records, &rows)) return false;
    rows_ = std::move(rows);
    if (deviceRoot_->parent()) deviceRoot_->parent()->removeChild(deviceRoot_);
    item->addChild(deviceRoot_);
    item->setExpanded(true);
    deviceRoot_->setExpanded(true);
    tree_->setCurrentItem(item);
    for (CTaskPage* p : pages_)
        if (p->built || p == stack_->currentWidget()) p->ShowRows(rows_);
    return true;
}

void CTaskMacroDlg::ShowPage(PageId id) {
    CTaskPage* p = pages_[id];
    if (!p->built && !rows_.tables.empty()) p->ShowRows(rows_);
    stack_->setCurrentWidget(p);
}

CTaskPage* CTaskMacroDlg::FrontPage() const {
    return static_cast<CTaskPage*>(stack_->currentWidget());
}

bool CTaskMacroDlg::NameEditPending(const char* text) {
    if (!TaskNameChanged(pages_[kPageInfo])) return false;
    Tell(text);
    return true;
}

void CTaskMacroDlg::OnItemClicked(QTreeWidgetItem* item) {
    if (!item) return;
    if (!item->parent()) {  // a task
        const std::string name = item->text(0).toStdString();
        if (name == rows_.name) return;
        if (NameEditPending("任务名称已修改，请先保存！\t\t\t")) {
            tree_->setCurrentItem(TaskItem(rows_.name));
            return;
        }
        SelectTask(name);
        return;
    }
    if (item->data(0, kSaveNodeRole).toBool()) return SaveAll();
    const int page = item->data(0, kPageRole).toInt();
    if (page >= 0 && page < kPageCount && item->data(0, kPageRole).isValid())
        ShowPage(static_cast<PageId>(page));
}

void CTaskMacroDlg::OnContextMenu(const QPoint& at) {
    QTreeWidgetItem* item = tree_->itemAt(at);
    if (!item || item->parent()) return;
    QMenu menu(this);
    QAction* copy = menu.addAction("复制");
    copy->setObjectName("复制");
    if (menu.exec(tree_->viewport()->mapToGlobal(at)) == copy)
        CopyTask(item->text(0).toStdString());
}

void CTaskMacroDlg::NewTask() {
    std::string name = "未知名称";
    for (int n = 2; std::find(names_.begin(), names_.end(), name) != names_.end(); ++n)
        name = "未知名称" + std::to_string(n);
    TaskRows rows = DefaultRows(name, NowStamp());
    if (!TaskStore::Instance().Save(rows)) return;
    LoadTaskList(name);
}

void CTaskMacroDlg::CopyTask(const std::string& source) {
    auto records = std::make_unique<TaskRecords>();
    TaskRows rows;
    if (!TaskStore::Instance().Load(source, *records, &rows)) return;
    rows.name = "复制 " + source;
    if (rows.name.size() > kMaxTaskNameBytes) return Tell("任务名称过长，不能超过255个字节！\t\t");
    if (std::find(names_.begin(), names_.end(), rows.name) != names_.end())
        return Tell("任务名重复，请重新输入！\t\t\t");
    // A copy is never the default task as well.
    SetRowValue(rows, TableIndex(kTaskInfoTable), kDefaultTaskColumn, std::string("0"));
    if (!TaskStore::Instance().Save(rows)) return;
    LoadTaskList(rows.name);
}

void CTaskMacroDlg::DeleteTask() {
    if (rows_.name.empty()) return;
    if (names_.size() <= 1) return Tell("这是最后一个任务，不能删除！\t\t\t");
    const bool isDefault =
        DecodeYesNo(RowText(rows_, TableIndex(kTaskInfoTable), kDefaultTaskColumn)) != 0;
    const std::string question = isDefault
                                     ? "[" + rows_.name + "] 是默认任务宏，您确定要删除它吗？\t\t"
                                     : "您确定要删除任务宏：" + rows_.name + "吗？\t\t";
    if (plat::MessageBox(question, "提示", plat::MB_OKCANCEL | plat::MB_ICONQUESTION) != plat::IDOK)
        return;
    if (!TaskStore::Instance().Delete(rows_.name)) return;
    LoadTaskList(std::string());
}

bool CTaskMacroDlg::SavePages(const std::vector<CTaskPage*>& pages, const std::string& ok,
                              const std::string& failed, bool quiet) {
    if (rows_.tables.empty()) return false;
    TaskRows rows = rows_;
    for (CTaskPage* p : pages)
        if (p->built)
            if (auto r = p->Collect(rows)) {
                Tell(*r);
                return false;
            }
    for (CTaskPage* p : pages)
        if (p->built)
            if (auto r = p->Check(rows)) {
                Tell(*r);
                return false;
            }
    const std::string oldName = rows_.name;
    const bool renamed = rows.name != oldName;
    const bool saved =
        renamed ? TaskStore::Instance().Rename(oldName, rows) : TaskStore::Instance().Save(rows);
    if (!saved) {
        Tell(failed, plat::MB_ICONERROR);
        return false;
    }
    rows_ = std::move(rows);
    if (renamed) {
        LoadTaskList(rows_.name);
    }
    if (!quiet) Tell(ok, plat::MB_ICONINFORMATION);
    return true;
}

void CTaskMacroDlg::SavePage(CTaskPage* page) {
    if (page != pages_[kPageInfo] && NameEditPending("任务名称已修改，请先保存！\t\t\t")) return;
    SavePages({page}, page->saveOk, page->saveFailed, false);
}

bool CTaskMacroDlg::ApplyOnlySaves() const {
    return mode_ != kModeEditApply || (mask_ & 0x80u) != 0;
}

void CTaskMacroDlg::ApplyPage(CTaskPage* page, int code) {
    if (page != pages_[kPageInfo] && NameEditPending("任务名称已修改，请先保存！\t\t\t")) return;
    Apply({page}, code, page->saveOk, page->saveFailed);
}

void CTaskMacroDlg::Apply(const std::vector<CTaskPage*>& pages, int code, const std::string& ok,
                          const std::string& failed) {
    if (ApplyOnlySaves()) {
        SavePages(pages, ok, failed, false);
        return;
    }
    if (!SavePages(pages, ok, failed, true)) return;
    auto records = std::make_unique<TaskRecords>();
    DecodeRows(rows_, *records);
    TaskStore::Instance().ApplyAndNotify(code, *records);
    HoldButtons();
}

void CTaskMacroDlg::HoldButtons() {
    held_.clear();
    held_.push_back(apply_);
    held_.push_back(exit_);
    for (QPushButton* b : stack_->findChildren<QPushButton*>())
        if (b->objectName().contains("保存")) held_.push_back(b);
    for (QPushButton* b : held_) b->setEnabled(false);
    hold_.start();
}

std::vector<CTaskPage*> CTaskMacroDlg::PagesOf(unsigned bits) const {
    std::vector<CTaskPage*> out;
    if (bits & kBitSystem) {
        out.push_back(pages_[kPageInfo]);
        out.push_back(pages_[kPageAntenna]);
    }
    for (int s = 0; s < 3; ++s)
        if (bits & (1u << s)) out.push_back(pages_[kPageStream1 + s]);
    if (bits & kBitEmulator) out.push_back(pages_[kPageEmulator]);
    if (bits & kBitSafety1) out.push_back(pages_[kPageSafety1]);
    if (bits & kBitSafety2) out.push_back(pages_[kPageSafety2]);
    return out;
}

void CTaskMacroDlg::SetTicked(unsigned bits) {
    std::vector<QTreeWidgetItem*> todo = {deviceRoot_};
    while (!todo.empty()) {
        QTreeWidgetItem* item = todo.back();
        todo.pop_back();
        const unsigned bit = item->data(0, kBitRole).toUInt();
        if (bit) item->setCheckState(0, (bits & bit) ? Qt::Checked : Qt::Unchecked);
        for (int i = 0; i < item->childCount(); ++i) todo.push_back(item->child(i));
    }
}

unsigned CTaskMacroDlg::Ticked() const {
    unsigned bits = 0;
    std::vector<QTreeWidgetItem*> todo = {deviceRoot_};
    while (!todo.empty()) {
        QTreeWidgetItem* item = todo.back();
        todo.pop_back();
        const unsigned bit = item->data(0, kBitRole).toUInt();
        if (bit && item->checkState(0) == Qt::Checked) bits |= bit;
        for (int i = 0; i < item->childCount(); ++i) todo.push_back(item->child(i));
    }
    return bits;
}

void CTaskMacroDlg::ApplyTicked() {
    if (NameEditPending("任务名称已修改，请先保存！\t\t\t")) return;
    const unsigned bits = Ticked();
    if (bits == 0) return Tell("请先在任务树中勾选要应用的设备！\t\t");
    std::string ok = "保存任务宏参数成功！\t\t\t";
    for (const BranchText& b : kBranchTexts)
        if (b.bits == bits) ok = b.saved;
    const int code = TreeApplyCode(bits);
    if (!ApplyOnlySaves() && code == 0)
        return Tell(
            "所勾选的设备不能一同应用：请只勾选一个遥测流、遥测仿真器或安控终端，或者全部勾选！");
    Apply(PagesOf(bits), code, ok, FailedText(ok));
}

void CTaskMacroDlg::ApplyFront() {
    CTaskPage* page = FrontPage();
    if (CTaskPage* device = FrontDevicePage(page)) page = device;
    if (!page || page->applyCode == 0) return;
    ApplyPage(page, page->applyCode);
}

void CTaskMacroDlg::SaveAll() {
    std::vector<CTaskPage*> all(std::begin(pages_), std::end(pages_));
    SavePages(all, "保存任务宏参数成功！\t\t\t", "保存任务宏参数失败！\t\t\t", false);
}

void CTaskMacroDlg::Exit() {
    if (NameEditPending("任务名称已修改，请保存！\t\t\t")) {
        pages_[kPageInfo]->ShowRows(rows_);  // the next exit leaves the old name
        return;
    }
    reject();
}

CTaskMacroDlg* CreateTaskMacroDialog(QWidget* parent, int stream, int mode, unsigned mask) {
    return new CTaskMacroDlg(parent, stream, mode, mask);
}

// Runs the dialog modally over the owner's window; used by TaskMacroManage.
void RunTaskMacroDialog(void* owner, int stream, int mode, unsigned mask) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    // The owner is a window handle from outside: only a live widget is used.
    QWidget* ownerWidget = nullptr;
    for (QWidget* w : QApplication::allWidgets())
        if (static_cast<void*>(w) == owner) ownerWidget = w;
    std::unique_ptr<CTaskMacroDlg> dlg(
        CreateTaskMacroDialog(ownerWidget ? ownerWidget->window() : nullptr, stream, mode, mask));
    dlg->exec();
}

}  // namespace taskbook
