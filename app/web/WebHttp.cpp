// Requests and replies of the web page.
#include "WebHttp.h"

#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

namespace {
const char* reasonOf(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 206:
        return "Partial Content";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Content Too Large";
    case 416:
        return "Range Not Satisfiable";
    case 429:
        return "Too Many Requests";
    case 503:
        return "Service Unavailable";
    default:
        return "Internal Server Error";
    }
}
} // namespace

WebRequest WebRequest::from(const QHttpServerRequest& request)
{
    WebRequest parsed;
    switch (request.method()) {
    case QHttpServerRequest::Method::Get:
        parsed.method = "GET";
        break;
    case QHttpServerRequest::Method::Post:
        parsed.method = "POST";
        break;
    case QHttpServerRequest::Method::Delete:
        parsed.method = "DELETE";
        break;
    case QHttpServerRequest::Method::Head:
        parsed.method = "HEAD";
        break;
    default:
        parsed.method = "OTHER";
        break;
    }
    parsed.path = request.url().path(QUrl::FullyEncoded).toUtf8();
    parsed.query = request.query();
    for (const auto& [name, value] : request.headers())
        parsed.headers.insert(name.toLower(), value);
    parsed.body = request.body();
    parsed.remote = plain(request.remoteAddress());
    return parsed;
}

QHostAddress WebRequest::plain(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}

QByteArray WebRequest::cookie(const QByteArray& name) const
{
    for (const QByteArray& part : header("cookie").split(';')) {
        const QByteArray item = part.trimmed();
        if (item.startsWith(name + "="))
            return item.mid(name.size() + 1);
    }
    return {};
}

WebReply WebReply::json(const QByteArray& body, int status)
{
    return {status, "application/json", body, {}};
}

WebReply WebReply::error(int status, const QString& text)
{
    return json(QJsonDocument(QJsonObject{{"error", text}}).toJson(QJsonDocument::Compact), status);
}

QByteArray WebReply::commonHeaders()
{
    return "Content-Security-Policy: default-src 'none'; script-src 'self'; style-src 'self'; img-src "
           "'self'; "
           "media-src 'self'; connect-src 'self'; form-action 'self'; frame-ancestors 'none'; base-uri "
           "'none'\r\n"
           "X-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\nX-Frame-Options: DENY\r\n"
           "Strict-Transport-Security: max-age=31536000\r\nCache-Control: no-store\r\n";
}

void WebReply::send(QTcpSocket& socket) const
{
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(status) + " " + reasonOf(status) + "\r\n" + commonHeaders();
    if (!type.isEmpty())
        head += "Content-Type: " + type + "\r\n";
    for (const auto& [name, value] : headers)
        head += name + ": " + value + "\r\n";
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n";
    socket.write(head);
    socket.write(body);
}
