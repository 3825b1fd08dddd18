// The selection dialog "参数选择": all parameters of a level on the left, those
// carrying the dialog's display kind on the right. It edits the copies in
// the request it is given; list rows are prepared on a worker thread.
#pragma once

#include <QDialog>
#include <QStringList>
#include <mutex>
#include <thread>
#include <vector>

#include "selection_dialog.h"

class QComboBox;
class QPushButton;
class QTableWidget;

namespace prefs {

class CParamSelectDlg : public QDialog {
    Q_OBJECT
public:
    CParamSelectDlg(SelectionDialogRequest& request, QWidget* parent = nullptr);
    ~CParamSelectDlg() override;

    // What the controls do, callable by tests.
    void ChooseLevel(int level);
    void AddHighlighted();     // "添加=>"
    void RemoveHighlighted();  // "删除<="
    void RemoveAll();          // "全删<="
    bool Busy() const { return busy_; }
    QTableWidget* LeftList() const { return left_; }
    QTableWidget* RightList() const { return right_; }
    QComboBox* LevelBox() const { return levelBox_; }

    // Rows as the lists show them: eight texts per parameter.
    static QStringList RowTexts(const ParamRecord& r);

private:
    enum class Op { Fill, Add, Remove, Clear };
    struct Prepared;
    void Start(Op op, const QStringList& names);
    void Show(int level, const std::vector<ParamRecord>& list,
              const std::vector<QStringList>& leftRows, const std::vector<QStringList>& rightRows);
    void SetBusy(bool busy);
    QStringList HighlightedNames(QTableWidget* table) const;

    SelectionDialogRequest& request_;
    int level_ = 0;
    bool busy_ = false;
    QComboBox* levelBox_ = nullptr;
    QTableWidget* left_ = nullptr;
    QTableWidget* right_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* remove_ = nullptr;
    QPushButton* clear_ = nullptr;
    std::thread worker_;  // GUI thread only
};

}  // namespace prefs
