// The task-macro dialog "任务宏管理": the task tree with the device branches
// of the dialog's mode, the property pages and the buttons that create,
// delete, save and apply task macros.
#pragma once

#include <QDialog>
#include <QTimer>
#include <string>
#include <vector>

#include "task_pages_dlg.h"

class QPushButton;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace taskbook {

// Tick bits of the tree's device branches.
enum TreeBit : unsigned {
    kBitStream1 = 1u << 0,
    kBitStream2 = 1u << 1,
    kBitStream3 = 1u << 2,
    kBitEmulator = 1u << 3,
    kBitSafety1 = 1u << 4,
    kBitSafety2 = 1u << 5,
    kBitSystem = 1u << 6,
};

// Pages in the dialog's stack.
enum PageId {
    kPageInfo,
    kPageStream1,
    kPageStream2,
    kPageStream3,
    kPageEmulator,
    kPageAntenna,
    kPageSafety1,
    kPageSafety2,
    kPageCount
};

class CTaskMacroDlg : public QDialog {
    Q_OBJECT
public:
    CTaskMacroDlg(QWidget* parent, int stream, int mode, unsigned mask);

    // What the buttons and the tree do, callable by tests.
    bool SelectTask(const std::string& name);
    void NewTask();
    void CopyTask(const std::string& name);
    void DeleteTask();
    void ShowPage(PageId id);
    CTaskPage* Page(PageId id) const { return pages_[id]; }
    CTaskPage* FrontPage() const;
    void SetTicked(unsigned bits);
    unsigned Ticked() const;
    void ApplyTicked();  // "宏应用"
    void ApplyFront();   // "单一应用"
    void SaveAll();      // the save node
    void Exit();         // "退出"
    std::string CurrentTask() const { return rows_.name; }
    std::vector<std::string> TaskNames() const { return names_; }
    QTreeWidget* Tree() const { return tree_; }

private:
    void BuildTree();
    void LoadTaskList(const std::string& select);
    void OnItemClicked(QTreeWidgetItem* item);
    void OnContextMenu(const QPoint& at);
    bool SavePages(const std::vector<CTaskPage*>& pages, const std::string& ok,
                   const std::string& failed, bool quiet);
    void SavePage(CTaskPage* page);
    void ApplyPage(CTaskPage* page, int code);
    void Apply(const std::vector<CTaskPage*>& pages, int code, const std::string& ok,
               const std::string& failed);
    bool ApplyOnlySaves() const;
    void HoldButtons();
    bool NameEditPending(const char* text);
    std::vector<CTaskPage*> PagesOf(unsigned bits) const;
    QTreeWidgetItem* TaskItem(const std::string& name) const;

    int stream_, mode_;
    unsigned mask_;
    PageHost host_;
    TaskRows rows_;                   // the task in hand as stored
    std::vector<std::string> names_;  // every task name
    bool namesValid_ = false;
    QTreeWidget* tree_ = nullptr;
    QTreeWidgetItem* deviceRoot_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    CTaskPage* pages_[kPageCount] = {};
    QPushButton *new_ = nullptr, *delete_ = nullptr, *apply_ = nullptr, *single_ = nullptr,
                *exit_ = nullptr;
    QTimer hold_;  // timer 1: buttons held after an apply
    std::vector<QPushButton*> held_;
};

// Builds the dialog without running it.
CTaskMacroDlg* CreateTaskMacroDialog(QWidget* parent, int stream, int mode, unsigned mask);

}  // namespace taskbook
