// Limits on one connection to the web page, so a slow or flooding client cannot keep the owner
// out: the size of a request's head and body, a deadline for each request (the TLS handshake
// included) and an idle time between requests. It watches the socket's data before the HTTP
// server reads it and answers an oversized request itself.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

class QTcpSocket;

class WebConnection : public QObject
{
    Q_OBJECT

public:
    static constexpr int kLargestHead = 8 * 1024;
    static constexpr qint64 kLargestBody = 16 * 1024;
    static constexpr int kRequestMs = 10000; // from the first byte (or the connection) to the whole request
    static constexpr int kIdleMs = 30000;    // between requests on a kept-alive connection

    // Watches socket, whose child it becomes; must be made before anyone else reads the socket.
    explicit WebConnection(QTcpSocket& socket);
    // The watcher of a socket; nullptr for one it does not watch.
    static WebConnection* of(QTcpSocket* socket);

    // A whole request reached the server: the next one starts counting afresh.
    void requestHandled();
    // The connection now carries a stream of events: no more deadlines.
    void setStreaming();

private:
    void onReadyRead();
    void refuse(int status, const char* reason);

    QTcpSocket& m_socket;
    QByteArray m_head;
    bool m_headDone = false;
    bool m_refused = false;
    bool m_streaming = false;
    qint64 m_body = 0;
    QTimer m_deadline;
};
