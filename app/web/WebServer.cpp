// Routing, login and sessions of the web page.
#include "WebServer.h"

#include "MessageStore.h"
#include "WebConnection.h"
#include "WebListener.h"
#include "WebPassword.h"
#include "mdlLog.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

namespace {
// One for each session the page keeps; each costs about 60 KB.
constexpr int kMostStreams = WebSessions::kMostSessions;
constexpr int kPingMs = 20000;
const QByteArray kCookie = "kalvo_session";

// The id in "/api/calls/<digits>..."; 0 when it is not plain digits.
qint64 idOf(const QByteArray& text)
{
    if (text.isEmpty() || text.size() > 18)
        return 0;
    for (char c : text)
        if (c < '0' || c > '9')
            return 0;
    return text.toLongLong();
}
} // namespace

WebServer::WebServer(MessageStore& store, const Places& places, mdlLog& log, const Clock& clock,
                     WebCalls::Window window, QObject* parent)
    : QAbstractHttpServer(parent), m_store(store), m_places(places), m_log(log), m_sessions(clock),
      m_lockout(places.lockoutFile, clock), m_calls(store, places.callsFolder, log, std::move(window))
{
    connect(&m_store, &MessageStore::changed, this, [this](const QList<qint64>& ids) {
        QJsonArray list;
        for (qint64 id : ids)
            list.append(id);
        broadcast("event: calls\ndata: " +
                  QJsonDocument(QJsonObject{{"ids", list}}).toJson(QJsonDocument::Compact) + "\n\n");
    });
    connect(&m_store, &MessageStore::cleared, this,
            [this] { broadcast("event: calls\ndata: {\"all\":true}\n\n"); });
    // Keeps the streams open through routers that drop quiet connections, and ends those whose
    // session has ended.
    connect(&m_ping, &QTimer::timeout, this, [this] {
        for (Stream& stream : m_streams)
            if (stream.socket && m_sessions.touch(stream.session).isEmpty())
                stream.socket->disconnectFromHost();
        broadcast(": ping\n\n");
    });
    m_ping.start(kPingMs);
}

WebServer::~WebServer() = default;

quint16 WebServer::start(const QHostAddress& address, quint16 port, const QSslConfiguration& tls)
{
    auto* listener = new WebListener(tls, this);
    if (!listener->listen(address, port)) {
        m_log.WriteSysLog("Web page cannot listen on port " + QString::number(port) + ": " +
                          listener->errorString());
        delete listener;
        return 0;
    }
    bind(listener);
    return listener->serverPort();
}

void WebServer::missingHandler(const QHttpServerRequest&, QTcpSocket* socket)
{
    WebReply::error(404, QStringLiteral("not found")).send(*socket);
}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    if (WebConnection* connection = WebConnection::of(socket))
        connection->requestHandled();
    const WebRequest parsed = WebRequest::from(request);
    bool streaming = false;
    const WebReply reply = route(parsed, *socket, streaming);
    if (!streaming)
        reply.send(*socket);
    return true;
}

WebReply WebServer::route(const WebRequest& request, QTcpSocket& socket, bool& streaming)
{
    const QByteArray& path = request.path;
    if (!path.startsWith("/api/") && path != "/login" && path != "/logout") {
        if (request.method != "GET" && request.method != "HEAD")
            return WebReply::error(405, QStringLiteral("method not allowed"));
        return staticFile(path);
    }
    if (path == "/login")
        return request.method == "POST" ? login(request)
                                        : WebReply::error(405, QStringLiteral("method not allowed"));
    const QByteArray session = request.cookie(kCookie);
    const QByteArray csrf = m_sessions.touch(session);
    if (csrf.isEmpty())
        return WebReply::error(401, QStringLiteral("log in first"));
    const bool change = request.method != "GET" && request.method != "HEAD";
    if (change && !WebSessions::sameToken(request.header("x-csrf-token"), csrf))
        return WebReply::error(403, QStringLiteral("the X-CSRF-Token header is missing or wrong"));
    if (path == "/logout" && request.method == "POST") {
        m_sessions.close(session);
        return {204,
                {},
                {},
                {{"Set-Cookie", kCookie + "=; Path=/; Max-Age=0; HttpOnly; Secure; SameSite=Strict"}}};
    }
    if (path == "/api/session" && request.method == "GET")
        return WebReply::json(
            QJsonDocument(QJsonObject{{"csrf", QString::fromLatin1(csrf)}}).toJson(QJsonDocument::Compact));
    if (path == "/api/calls" && request.method == "GET")
        return m_calls.list(request);
    if (path == "/api/rules" && request.method == "POST")
        return m_calls.addRule(request);
    if (path == "/api/events" && request.method == "GET") {
        if (!openStream(socket, session))
            return WebReply::error(503, QStringLiteral("too many event streams"));
        streaming = true;
        return {};
    }
    const QList<QByteArray> parts = path.mid(int(sizeof "/api/calls/") - 1).split('/');
    const qint64 id = path.startsWith("/api/calls/") ? idOf(parts.value(0)) : 0;
    if (id > 0 && parts.size() == 1 && request.method == "DELETE")
        return m_calls.remove(id);
    if (id > 0 && parts.size() == 2) {
        if (parts[1] == "audio" && request.method == "GET")
            return m_calls.audio(id, request);
        if ((parts[1] == "read" || parts[1] == "unread") && request.method == "POST")
            return m_calls.mark(id, parts[1] == "read");
    }
    return WebReply::error(404, QStringLiteral("not found"));
}

WebReply WebServer::login(const WebRequest& request)
{
    const QString address = request.remote.toString();
    if (m_lockout.lockedOut(address))
        return WebReply::error(429, QStringLiteral("too many wrong passwords: try again in 15 minutes"));
    if (!WebPassword::isSet(m_places.webFolder))
        return WebReply::error(403, QStringLiteral("no web password is set (kalvo --set-web-password)"));
    const QByteArray password =
        QUrlQuery(QString::fromUtf8(request.body)).queryItemValue("password", QUrl::FullyDecoded).toUtf8();
    if (!WebPassword::matches(m_places.webFolder, password)) {
        const QString locked = m_lockout.recordWrong(address);
        m_log.WriteSysLog("Web login refused from " + address);
        if (!locked.isEmpty())
            m_log.WriteSysLog("Web page locked for " + locked + " for 15 minutes");
        return WebReply::error(401, QStringLiteral("wrong password"));
    }
    m_lockout.recordRight(address);
    const WebSessions::Session session = m_sessions.open();
    m_log.WriteSysLog("Web login from " + address);
    WebReply reply = WebReply::json(QJsonDocument(QJsonObject{{"csrf", QString::fromLatin1(session.csrf)}})
                                        .toJson(QJsonDocument::Compact));
    reply.headers.append(
        {"Set-Cookie", kCookie + "=" + session.token + "; Path=/; HttpOnly; Secure; SameSite=Strict"});
    return reply;
}

WebReply WebServer::staticFile(const QByteArray& path)
{
    // Only the page's own files, by exact name: nothing else of the disk or the resources is reachable.
    static const struct
    {
        const char* path;
        const char* resource;
        const char* type;
    } kFiles[] = {
        {"/", ":/web/index.html", "text/html; charset=utf-8"},
        {"/app.js", ":/web/app.js", "text/javascript; charset=utf-8"},
        {"/app.css", ":/web/app.css", "text/css; charset=utf-8"},
        {"/icon.svg", ":/web/icon.svg", "image/svg+xml"},
    };
    for (const auto& file : kFiles) {
        if (path != file.path)
            continue;
        QFile resource(QString::fromLatin1(file.resource));
        if (!resource.open(QIODevice::ReadOnly))
            break;
        return {200, file.type, resource.readAll(), {}};
    }
    return WebReply::error(404, QStringLiteral("not found"));
}

bool WebServer::openStream(QTcpSocket& socket, const QByteArray& session)
{
    std::erase_if(m_streams, [](const Stream& s) { return !s.socket; });
    if (int(m_streams.size()) >= kMostStreams)
        return false;
    if (WebConnection* connection = WebConnection::of(&socket))
        connection->setStreaming();
    socket.write("HTTP/1.1 200 OK\r\n" + WebReply::commonHeaders() +
                 "Content-Type: text/event-stream\r\nConnection: keep-alive\r\n\r\nretry: 3000\n\n");
    m_streams.push_back({&socket, session});
    return true;
}

void WebServer::broadcast(const QByteArray& event)
{
    std::erase_if(m_streams, [](const Stream& s) { return !s.socket; });
    for (const Stream& stream : m_streams)
        stream.socket->write(event);
}
