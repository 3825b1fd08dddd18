// The search's display window "外测信息": the two tables and the solution
// fields, refreshed every 800 ms from a copy taken under the library's lock.
#pragma once

#include <QDialog>
#include <QPointer>
#include <array>
#include <memory>
#include <vector>

#include "display_text.h"

class QLabel;
class QTableWidget;
class QTimer;

namespace gnsspick {

class CGnssMeasureWnd : public QDialog {
    Q_OBJECT

public:
    // Owned by the parent widget (a QWidget*), so it goes with it.
    explicit CGnssMeasureWnd(void* parentHandle);
    ~CGnssMeasureWnd() override;

    // Copies the state under the lock and repaints (the timer's work).
    void Refresh();
    int BuiltLayout() const { return builtLayout_; }
    // Where the close is reported (the last show's parent).
    void SetParentHandle(void* parent) { parentHandle_ = parent; }
    QTableWidget* UpperTable() const { return upper_; }
    QTableWidget* LowerTable() const { return lower_; }
    // The field's text by its label ("时间", "X", ... "PDOP:").
    QString FieldText(const QString& label) const;

protected:
    void closeEvent(QCloseEvent* e) override;
    void reject() override;

private:
    void BuildColumns(int layout);
    void FillTable(QTableWidget* t, const std::vector<TableRow>& rows, bool fixedRows);
    void ReportClosed();

    void* parentHandle_;
    QTableWidget* upper_ = nullptr;
    QTableWidget* lower_ = nullptr;
    std::vector<std::pair<QString, QLabel*>> fields_;
    QTimer* timer_ = nullptr;
    int builtLayout_ = -1;
    std::unique_ptr<DisplayState> copy_;
    std::vector<TableRow> rows_;
};

// The window made by the first show, if any (GUI thread).
CGnssMeasureWnd* SearchWindow();

}  // namespace gnsspick
