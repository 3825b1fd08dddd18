#include "window_snapshots.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QWidget>
#include <algorithm>
#include <string_view>
#include <vector>

namespace mainframe {

QString WindowSnapshotFile(const QString& frameFile, int n) {
    const QFileInfo info(frameFile);
    const QString suffix = info.suffix().isEmpty() ? QStringLiteral("png") : info.suffix();
    const QString stem = info.suffix().isEmpty() ? info.fileName() : info.completeBaseName();
    return info.dir().filePath(QStringLiteral("%1-window-%2.%3").arg(stem).arg(n).arg(suffix));
}

QStringList SaveWindowSnapshots(const QWidget* frame, const QString& frameFile) {
    std::vector<QWidget*> shown;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == frame || !w->isVisible() || w->width() <= 0 || w->height() <= 0) continue;
        const Qt::WindowType type = w->windowType();
        if (type == Qt::Popup || type == Qt::ToolTip || type == Qt::SplashScreen) continue;
        shown.push_back(w);
    }
    std::stable_sort(shown.begin(), shown.end(), [](const QWidget* a, const QWidget* b) {
        if (a->windowTitle() != b->windowTitle()) return a->windowTitle() < b->windowTitle();
        return std::string_view(a->metaObject()->className()) <
               std::string_view(b->metaObject()->className());
    });
    QStringList written;
    int n = 0;
    for (QWidget* w : shown) {
        const QString file = WindowSnapshotFile(frameFile, ++n);
        if (w->grab().save(file, "PNG")) written << file;
    }
    return written;
}

}  // namespace mainframe
