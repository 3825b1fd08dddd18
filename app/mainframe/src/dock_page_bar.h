// CDockPageBar: the status display bar, a docking panel that holds pages (the
// status view) as tabs. It can be shown, hidden, moved to any side or floated.
#pragma once

#include <QDockWidget>
#include <QIcon>

class QTabWidget;

class CDockPageBar : public QDockWidget {
    Q_OBJECT

public:
    static constexpr int kControlId = 123;
    static constexpr int kInitialSize = 260;

    CDockPageBar(const QString& title, QWidget* parent);
    void AddPage(QWidget* page, const QString& title, const QIcon& icon);
    QTabWidget* Pages() const { return m_pages; }
    QSize sizeHint() const override { return {kInitialSize, kInitialSize}; }

signals:
    // The operator closed the bar with its own close button.
    void closedByOperator();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QTabWidget* m_pages;
};
