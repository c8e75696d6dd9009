// The second-start channel.
#include "InstanceChannel.h"

#include "SingleInstance.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

namespace {
const QByteArray kShow = "show\n";
}

QString InstanceChannel::socketPath()
{
    const QString lock = SingleInstance::lockPath();
    return QFileInfo(lock).path() + "/" + QFileInfo(lock).completeBaseName() + ".sock";
}

InstanceChannel::InstanceChannel(QObject* parent) : QObject(parent), m_server(new QLocalServer(this))
{
    // The lock is ours, so a socket file left by a killed instance is stale.
    QLocalServer::removeServer(socketPath());
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->listen(socketPath());
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (client->readAll().startsWith(kShow.trimmed()))
                    emit showRequested();
                client->disconnectFromServer();
            });
        }
    });
}

bool InstanceChannel::listening() const
{
    return m_server->isListening();
}

bool InstanceChannel::askToShow(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kShow);
    const bool sent = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    return sent;
}
