// One end of a link: framed text messages over a connected local socket.
#include "LinkConnection.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QPointer>
#include <cstdio>

namespace kalvo {

// How long close() may block handing over messages the peer has not read yet; messages are short
// texts, so this is only reached when the peer hangs.
static constexpr int CloseTimeoutMs = 2000;

LinkConnection::LinkConnection(QLocalSocket* socket, QObject* parent) : QObject(parent), m_socket(socket)
{
    m_socket->setParent(this);
    connect(m_socket, &QLocalSocket::readyRead, this, &LinkConnection::readMessages);
    connect(m_socket, &QLocalSocket::disconnected, this, &LinkConnection::closed);
}

bool LinkConnection::send(const QString& text)
{
    if (!isOpen())
        return false;
    const QByteArray payload = text.toUtf8();
    if (payload.size() > static_cast<qsizetype>(LinkFramer::MaxMessageBytes)) {
        std::fprintf(stderr, "Link: message of %lld bytes is too long to send\n",
                     static_cast<long long>(payload.size()));
        return false;
    }
    if (m_socket->write(LinkFramer::frame(payload)) < 0)
        return false;
    // What the system does not take now goes out from the event loop (or in close()).
    m_socket->flush();
    return true;
}

bool LinkConnection::isOpen() const
{
    return m_socket->state() == QLocalSocket::ConnectedState;
}

void LinkConnection::close()
{
    const QDeadlineTimer deadline(CloseTimeoutMs);
    while (m_socket->bytesToWrite() > 0 && isOpen() && !deadline.hasExpired())
        m_socket->waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
    m_socket->disconnectFromServer();
}

void LinkConnection::readMessages()
{
    m_framer.feed(m_socket->readAll());
    QByteArray payload;
    // A receiver may delete this connection from inside messageArrived.
    const QPointer<LinkConnection> self(this);
    while (self && m_framer.takeMessage(payload))
        emit messageArrived(QString::fromUtf8(payload));
    if (self && m_framer.broken()) {
        std::fprintf(stderr, "Link: peer announced a message longer than %u bytes; closing\n",
                     LinkFramer::MaxMessageBytes);
        m_socket->abort();
    }
}

} // namespace kalvo
