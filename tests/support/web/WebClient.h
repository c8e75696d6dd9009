// An HTTPS client for the web page's tests: one request per connection, sent as written, waited
// for on the event loop (so a server on the same thread keeps running), the certificate checked
// against the one the page made.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QSslCertificate>

namespace kalvo::test {

struct WebResponse
{
    int status = 0;                       // 0 when no answer came
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
    QByteArray header(const char* name) const { return headers.value(name); }
};

class WebClient
{
public:
    // certificate is the page's (its cert.pem); from binds the client's end (e.g. 127.0.0.2).
    WebClient(quint16 port, QList<QSslCertificate> certificate, QHostAddress to = QHostAddress::LocalHost,
              QHostAddress from = {});

    // Sends one request; headers are whole lines without the line end. The session cookie of the
    // last login is sent along when there is one.
    WebResponse request(const QByteArray& method, const QByteArray& path,
                        const QList<QByteArray>& headers = {}, const QByteArray& body = {});
    // Sends raw bytes as the request.
    WebResponse raw(const QByteArray& bytes);
    // POST /login; keeps the cookie and the CSRF token it returns.
    WebResponse login(const QByteArray& password);
    QByteArray csrf() const { return m_csrf; }
    QByteArray cookie() const { return m_cookie; }

private:
    quint16 m_port;
    QList<QSslCertificate> m_certificate;
    QHostAddress m_to, m_from;
    QByteArray m_cookie, m_csrf;
};

} // namespace kalvo::test
