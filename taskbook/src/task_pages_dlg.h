// Property pages of the task-macro dialog. A page shows the rows of one or
// more store tables: every field is named after its column, so a page reads
// and writes a task's rows by column name. Pages check what was typed before
// anything is saved.
#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "task_checks.h"
#include "taskbook/task_store.h"

class QComboBox;
class QLineEdit;
class QTabWidget;
class QPushButton;

namespace taskbook {

// What a page asks of its dialog.
struct PageHost {
    std::function<void(class CTaskPage*)> save;                // the page's save button
    std::function<void(class CTaskPage*, int code)> apply;     // save, then apply `code`
    std::function<std::vector<std::string>*()> existingNames;  // null when unreadable
};

class CTaskPage : public QWidget {
    Q_OBJECT
public:
    CTaskPage(const char* className, const QString& caption, QWidget* parent);
    // Fills the fields from the task's rows (building them on first use).
    virtual void ShowRows(const TaskRows& rows);
    // Writes the fields into `rows`; the first refused field's message, or
    // nothing. `rows` may be partly written when a message comes back.
    virtual Refusal Collect(TaskRows& rows) const;
    // The checks of the page on rows holding its values.
    virtual Refusal Check(const TaskRows& rows) const;

    QString Caption() const { return caption_; }
    std::string saveOk, saveFailed;  // the page's save texts
    int applyCode = 0;               // 0: the page is not applied alone
    bool built = false;

protected:
    virtual void Build() = 0;
    // A form of the columns of table `table` inside `parent`; fields named
    // after their columns. `skip` lists columns the page shows its own way.
    void AddTableFields(QWidget* parent, std::size_t table,
                        const std::vector<std::string>& skip = {});
    QWidget* Field(std::size_t table, const std::string& column) const;
    void FillTable(const TaskRows& rows, std::size_t table) const;
    Refusal CollectTable(TaskRows& rows, std::size_t table) const;
    QPushButton* AddButton(QWidget* parent, const QString& text);

    QString caption_;
    std::vector<std::size_t> tables_;            // tables the page shows
    std::vector<std::vector<QWidget*>> fields_;  // per shown table, per column (null: none)
};

// The factory of the pages for a stream layout; `host` outlives the pages.
CTaskPage* MakeTaskInfoPage(PageHost* host, QWidget* parent);
CTaskPage* MakeStreamPage(int stream, PageHost* host, QWidget* parent);
CTaskPage* MakeEmulatorPage(PageHost* host, QWidget* parent);
CTaskPage* MakeAntennaPage(PageHost* host, QWidget* parent);
CTaskPage* MakeSafetyPage(int terminal, PageHost* host, QWidget* parent);

// The device pages inside a stream page, for applying the page in front.
CTaskPage* FrontDevicePage(CTaskPage* streamPage);

// Replaces the file dialog that picks pseudo-random code files.
void SetCodeFileChooserForTest(
    std::function<QString(QWidget*, const QString&, const QString&)> chooser);

// True when the task page's name field differs from the loaded name.
bool TaskNameChanged(CTaskPage* infoPage);

}  // namespace taskbook
