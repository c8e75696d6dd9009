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
                if (!client->canReadLine() && client->bytesAvailable() < 256)
                    return;
                const QByteArray reply = answer(client->readLine(256).trimmed());
                if (!reply.isEmpty()) {
                    client->write(reply);
                    client->flush();
                }
                client->disconnectFromServer();
            });
        }
    });
}

QByteArray InstanceChannel::answer(const QByteArray& line)
{
    if (line == kShow.trimmed()) {
        emit showRequested();
        return {};
    }
    const auto command = m_commands.constFind(line);
    if (command == m_commands.constEnd())
        return "error: unknown command\n";
    const QString why = (*command)();
    // One line back, whatever the reason's text holds.
    return why.isEmpty() ? QByteArray("ok\n") : "error: " + why.simplified().toUtf8() + "\n";
}

bool InstanceChannel::sendCommand(const QByteArray& name, QString& reply, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(name + "\n");
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    QByteArray line;
    while (!socket.canReadLine() && socket.waitForReadyRead(timeoutMs)) {
    }
    line = socket.readLine(1024).trimmed();
    socket.disconnectFromServer();
    if (line.isEmpty())
        return false;
    reply = line == "ok" ? QString() : QString::fromUtf8(line.startsWith("error: ") ? line.mid(7) : line);
    return true;
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
