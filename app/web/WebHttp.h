// A web request as the page's handlers see it, parsed once at the edge, and the reply they give.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QUrlQuery>

class QHttpServerRequest;
class QTcpSocket;

struct WebRequest
{
    QByteArray method; // "GET", "POST", "DELETE", ...
    QByteArray path;   // as sent, still percent-encoded
    QUrlQuery query;
    QHash<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
    QHostAddress remote;

    static WebRequest from(const QHttpServerRequest& request);
    // An IPv4 peer on a dual-stack socket as its plain IPv4 address, so it counts as one address.
    static QHostAddress plain(const QHostAddress& address);
    QByteArray header(const char* name) const { return headers.value(name); }
    // The value of a cookie; empty when absent.
    QByteArray cookie(const QByteArray& name) const;
};

struct WebReply
{
    int status = 200;
    QByteArray type;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;

    static WebReply json(const QByteArray& body, int status = 200);
    // {"error": text}
    static WebReply error(int status, const QString& text);
    // Writes the reply with the headers every answer carries (the strict content policy, no caching).
    void send(QTcpSocket& socket) const;
    // The header lines every answer carries.
    static QByteArray commonHeaders();
};
