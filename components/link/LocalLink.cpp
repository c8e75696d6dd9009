// The link over a local socket: the program's side, which connects to a helper's LinkServer.
#include "LocalLink.h"

#include "LinkConnection.h"
#include "LinkPath.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QThread>

namespace kalvo {

// Pause between attempts while the helper's socket does not exist yet.
static constexpr int RetryPauseMs = 50;

LocalLink::LocalLink(QObject* parent, std::chrono::milliseconds connectWait)
    : Link(parent), m_connectWait(connectWait)
{
}

LocalLink::~LocalLink()
{
    Disconnect();
}

bool LocalLink::Connect(int number)
{
    if (isConnected() && number == m_number)
        return true;
    Disconnect();

    const QString path = linkSocketPath(number);
    const QDeadlineTimer deadline(m_connectWait);
    // A helper that was just started may not be listening yet; try until the deadline, at least once.
    for (;;) {
        auto* socket = new QLocalSocket;
        socket->connectToServer(path);
        if (socket->waitForConnected(static_cast<int>(qMax<qint64>(deadline.remainingTime(), 1)))) {
            m_connection = new LinkConnection(socket, this);
            m_number = number;
            connect(m_connection, &LinkConnection::messageArrived, this, &Link::DataArrival);
            return true;
        }
        delete socket;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(static_cast<unsigned long>(qMin<qint64>(RetryPauseMs, deadline.remainingTime())));
    }
}

bool LocalLink::Send(const QString& text)
{
    return isConnected() && m_connection->send(text);
}

void LocalLink::Disconnect()
{
    if (!m_connection)
        return;
    // Detach first: no DataArrival may follow a Disconnect.
    LinkConnection* connection = m_connection;
    m_connection = nullptr;
    m_number = -1;
    connection->disconnect(this);
    connection->close();
    connection->deleteLater();
}

bool LocalLink::isConnected() const
{
    return m_connection && m_connection->isOpen();
}

} // namespace kalvo
