// The web page's HTTP server on Qt's HTTP server: routes, the login with its lockout, sessions and
// CSRF tokens, the page's own files from the program's resources, and the stream of events.
#pragma once

#include "WebCalls.h"
#include "WebLockout.h"
#include "WebSessions.h"

#include <QAbstractHttpServer>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <vector>

class Clock;
class MessageStore;
class QSslConfiguration;
class QTcpSocket;
class WebListener;
class mdlLog;

class WebServer : public QAbstractHttpServer
{
    Q_OBJECT

public:
    struct Places
    {
        QString webFolder;   // holds the password hash (and the certificate)
        QString callsFolder; // the call database with the caller rules
        QString lockoutFile;
    };
    WebServer(MessageStore& store, const Places& places, mdlLog& log, const Clock& clock,
              WebCalls::Window window = {}, QObject* parent = nullptr);
    ~WebServer() override;

    // Listens with TLS on address and port (0 picks a free one). @return the port, 0 on failure.
    quint16 start(const QHostAddress& address, quint16 port, const QSslConfiguration& tls);
    WebSessions& sessions() { return m_sessions; }
    int streamCount() const { return int(m_streams.size()); }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    WebReply route(const WebRequest& request, QTcpSocket& socket, bool& streaming);
    WebReply login(const WebRequest& request);
    static WebReply staticFile(const QByteArray& path);
    // Starts the event stream on socket. @return false when there are too many.
    bool openStream(QTcpSocket& socket, const QByteArray& session);
    void broadcast(const QByteArray& event);

    MessageStore& m_store;
    Places m_places;
    mdlLog& m_log;
    WebSessions m_sessions;
    WebLockout m_lockout;
    WebCalls m_calls;
    struct Stream
    {
        QPointer<QTcpSocket> socket;
        QByteArray session;
    };
    std::vector<Stream> m_streams;
    QTimer m_ping;
};
