#include "dock_page_bar.h"

#include <QTabWidget>

CDockPageBar::CDockPageBar(const QString& title, QWidget* parent)
    : QDockWidget(title, parent), m_pages(new QTabWidget(this)) {
    setObjectName(QStringLiteral("DockPageBar"));
    setProperty("controlId", kControlId);
    setAllowedAreas(Qt::AllDockWidgetAreas);
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                QDockWidget::DockWidgetFloatable);
    m_pages->setTabPosition(QTabWidget::South);
    m_pages->setDocumentMode(true);
    setWidget(m_pages);
}

void CDockPageBar::AddPage(QWidget* page, const QString& title, const QIcon& icon) {
    m_pages->addTab(page, icon, title);
}

void CDockPageBar::closeEvent(QCloseEvent* event) {
    QDockWidget::closeEvent(event);
    emit closedByOperator();
}
