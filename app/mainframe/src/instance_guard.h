// The single-instance check of start-up. The first copy holds the lock file
// and listens on a local socket; a second copy asks it to bring its frame to
// the front, which it does only while the frame's title is exactly
// "Talvora". When nobody answers yes, the second copy shows
// "应用程序已经运行！". Either way the second copy does not start.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "single_instance_lock.h"

class QLocalServer;

// Socket path of the running copy's raise service in dir.
QString InstanceSocketPath(const std::string& dir);

class InstanceServer : public QObject {
    Q_OBJECT

public:
    // raise: brings the frame forward; false when there is no frame titled
    // "Talvora".
    InstanceServer(const QString& path, std::function<bool()> raise, QObject* parent = nullptr);
    // Only the holder of the lock calls this, so a stale socket is removed.
    bool Listen();

private:
    QString m_path;
    std::function<bool()> m_raise;
    QLocalServer* m_server;
};

// True when a running copy brought its frame forward.
bool AskRunningInstanceToRaise(const QString& path, int timeoutMs);

struct InstanceClaim {
    std::unique_ptr<mainframe::SingleInstanceLock> lock;  // null when refused or unguarded
    bool refused = false;
};

// Claims the one copy per user and object namespace, with its lock in dir.
InstanceClaim ClaimSingleInstance(const std::string& dir);
