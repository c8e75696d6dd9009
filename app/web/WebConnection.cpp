// The limits of one web connection.
#include "WebConnection.h"

#include <QTcpSocket>

WebConnection::WebConnection(QTcpSocket& socket) : QObject(&socket), m_socket(socket)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { m_socket.abort(); });
    connect(&m_socket, &QTcpSocket::readyRead, this, &WebConnection::onReadyRead);
    m_deadline.start(kRequestMs);
}

WebConnection* WebConnection::of(QTcpSocket* socket)
{
    return socket ? socket->findChild<WebConnection*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void WebConnection::requestHandled()
{
    m_head.clear();
    m_headDone = false;
    m_body = 0;
    if (!m_streaming)
        m_deadline.start(kIdleMs);
}

void WebConnection::setStreaming()
{
    m_streaming = true;
    m_deadline.stop();
}

void WebConnection::onReadyRead()
{
    if (m_refused) {
        m_socket.readAll();
        return;
    }
    if (m_streaming)
        return;
    // The server reads everything at each signal, so what is waiting now is what just came.
    const QByteArray chunk = m_socket.peek(m_socket.bytesAvailable());
    if (m_head.isEmpty() && !m_headDone)
        m_deadline.start(kRequestMs);
    if (m_headDone) {
        m_body += chunk.size();
    } else {
        m_head += chunk;
        const qsizetype end = m_head.indexOf("\r\n\r\n");
        if (end < 0) {
            if (m_head.size() > kLargestHead)
                refuse(431, "Request Header Fields Too Large");
            return;
        }
        m_headDone = true;
        m_body = m_head.size() - (end + 4);
        m_head.truncate(end + 2);
        const qsizetype at = m_head.toLower().indexOf("\r\ncontent-length:");
        if (at >= 0) {
            const qsizetype lineEnd = m_head.indexOf("\r\n", at + 2);
            bool ok = false;
            const qint64 declared = m_head.mid(at + 17, lineEnd - at - 17).trimmed().toLongLong(&ok);
            if (!ok || declared > kLargestBody)
                return refuse(413, "Content Too Large");
        }
        if (end > kLargestHead)
            return refuse(431, "Request Header Fields Too Large");
    }
    if (m_body > kLargestBody)
        refuse(413, "Content Too Large");
}

void WebConnection::refuse(int status, const char* reason)
{
    m_refused = true;
    m_socket.readAll();
    m_socket.write("HTTP/1.1 " + QByteArray::number(status) + " " + reason +
                   "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    m_socket.disconnectFromHost();
}
