// The web tests' HTTPS client.
#include "WebClient.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>

namespace kalvo::test {

WebClient::WebClient(quint16 port, QList<QSslCertificate> certificate, QHostAddress to, QHostAddress from)
    : m_port(port), m_certificate(std::move(certificate)), m_to(std::move(to)), m_from(std::move(from))
{
}

WebResponse WebClient::raw(const QByteArray& bytes)
{
    QSslSocket socket;
    QSslConfiguration config = socket.sslConfiguration();
    config.setCaCertificates(m_certificate);
    socket.setSslConfiguration(config);
    // The page's certificate names localhost and 127.0.0.1; other loopback addresses are the same host.
    socket.setPeerVerifyName(QStringLiteral("localhost"));
    if (!m_from.isNull())
        socket.bind(m_from);
    QByteArray received;
    QEventLoop loop;
    QObject::connect(&socket, &QSslSocket::encrypted, &loop, [&] { socket.write(bytes); });
    QObject::connect(&socket, &QSslSocket::readyRead, &loop, [&] {
        received += socket.readAll();
        // Done when the head and as much body as it announces have come.
        const qsizetype end = received.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = received.left(end).toLower();
        const qsizetype at = head.indexOf("content-length:");
        if (at >= 0 && received.size() - end - 4 >=
                           head.mid(at + 15, head.indexOf("\r\n", at) - at - 15).trimmed().toLongLong())
            loop.quit();
    });
    QObject::connect(&socket, &QSslSocket::disconnected, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QSslSocket::errorOccurred, &loop, [&] {
        received += socket.readAll();
        loop.quit();
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    socket.connectToHostEncrypted(m_to.toString(), m_port);
    loop.exec();
    WebResponse response;
    const qsizetype end = received.indexOf("\r\n\r\n");
    if (end < 0)
        return response;
    const QList<QByteArray> lines = received.left(end).split('\n');
    response.status = lines.value(0).split(' ').value(1).toInt();
    for (int i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            response.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                    lines[i].mid(colon + 1).trimmed());
    }
    response.body = received.mid(end + 4);
    return response;
}

WebResponse WebClient::request(const QByteArray& method, const QByteArray& path,
                               const QList<QByteArray>& headers, const QByteArray& body)
{
    QByteArray text = method + " " + path + " HTTP/1.1\r\nHost: localhost:" + QByteArray::number(m_port) +
                      "\r\nConnection: close\r\n";
    if (!m_cookie.isEmpty())
        text += "Cookie: kalvo_session=" + m_cookie + "\r\n";
    for (const QByteArray& header : headers)
        text += header + "\r\n";
    if (!body.isEmpty() || method == "POST")
        text += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return raw(text + "\r\n" + body);
}

WebResponse WebClient::login(const QByteArray& password)
{
    const WebResponse response =
        request("POST", "/login", {"Content-Type: application/x-www-form-urlencoded"},
                "password=" + password.toPercentEncoding());
    const QByteArray cookie = response.header("set-cookie");
    if (response.status == 200 && cookie.startsWith("kalvo_session=")) {
        m_cookie = cookie.mid(14, cookie.indexOf(';') - 14);
        m_csrf = QJsonDocument::fromJson(response.body).object().value("csrf").toString().toLatin1();
    }
    return response;
}

} // namespace kalvo::test
