// The helper's side of a link: listens on the socket of a link number and talks to the programs
// that connect.
#include "LinkServer.h"

#include "LinkConnection.h"
#include "LinkPath.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace kalvo {

LinkServer::LinkServer(QObject* parent) : QObject(parent), m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &LinkServer::acceptConnections);
}

LinkServer::~LinkServer()
{
    // Stop taking connections before the children go, so none is accepted half torn down.
    m_server->close();
}

bool LinkServer::listen(int number)
{
    m_path = linkSocketPath(number);
    // The newest helper takes the name: a file left behind belongs to one that died or is leaving.
    QLocalServer::removeServer(m_path);
    if (!m_server->listen(m_path)) {
        m_error = m_server->errorString();
        return false;
    }
    m_error.clear();
    return true;
}

bool LinkServer::reply(const QString& text)
{
    return m_lastSender && m_lastSender->send(text);
}

void LinkServer::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        auto* connection = new LinkConnection(socket, this);
        m_connections.append(connection);
        connect(connection, &LinkConnection::messageArrived, this, [this, connection](const QString& text) {
            m_lastSender = connection;
            emit DataArrival(text);
        });
        connect(connection, &LinkConnection::closed, this,
                [this, connection] { dropConnection(connection); });
        emit connected();
    }
}

void LinkServer::dropConnection(LinkConnection* connection)
{
    if (!m_connections.removeOne(connection))
        return;
    connection->deleteLater();
    if (m_connections.isEmpty())
        emit allDisconnected();
}

} // namespace kalvo
