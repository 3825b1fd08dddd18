#include "instance_guard.h"

#include <platform/notify.h>

#include <QLocalServer>
#include <QLocalSocket>

QString InstanceSocketPath(const std::string& dir) {
    return QString::fromStdString(mainframe::InstanceObjectPath(dir, "Talvora", ".sock"));
}

InstanceServer::InstanceServer(const QString& path, std::function<bool()> raise, QObject* parent)
    : QObject(parent), m_path(path), m_raise(std::move(raise)), m_server(new QLocalServer(this)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = m_server->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QLocalSocket::readyRead, s, [this, s] {
                // One short request line; anything else is ignored.
                const QByteArray line = s->readLine(64).trimmed();
                if (line != "raise") {
                    s->disconnectFromServer();
                    return;
                }
                s->write(m_raise && m_raise() ? "1\n" : "0\n");
                s->flush();
                s->disconnectFromServer();
            });
        }
    });
}

bool InstanceServer::Listen() {
    QLocalServer::removeServer(m_path);
    return m_server->listen(m_path);
}

bool AskRunningInstanceToRaise(const QString& path, int timeoutMs) {
    QLocalSocket s;
    s.connectToServer(path);
    if (!s.waitForConnected(timeoutMs)) return false;
    s.write("raise\n");
    if (!s.waitForBytesWritten(timeoutMs)) return false;
    while (!s.canReadLine()) {
        if (!s.waitForReadyRead(timeoutMs)) return false;
    }
    return s.readLine(8).trimmed() == "1";
}

InstanceClaim ClaimSingleInstance(const std::string& dir) {
    InstanceClaim claim;
    bool exists = false;
    claim.lock = mainframe::SingleInstanceLock::Create(dir, mainframe::kInstanceMutexName, &exists);
    if (!exists) return claim;
    claim.refused = true;
    if (!AskRunningInstanceToRaise(InstanceSocketPath(dir), 2000))
        plat::MessageBox("应用程序已经运行！", "Talvora", plat::MB_OK);
    return claim;
}
