// Pictures of the program's other top-level windows (open dialogs, the
// satellite-navigation search window) beside the main window's picture.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace mainframe {

// The file of the n-th (from 1) other window for the main window's picture
// `frameFile`: "dir/shot.png" gives "dir/shot-window-1.png".
QString WindowSnapshotFile(const QString& frameFile, int n);

// Saves each visible top-level window other than `frame` (menus and tool
// tips left out), ordered by window title, as WindowSnapshotFile(frameFile,
// 1, 2, ...). Returns the files written; a file that cannot be written is
// left out of the list.
QStringList SaveWindowSnapshots(const QWidget* frame, const QString& frameFile);

}  // namespace mainframe
