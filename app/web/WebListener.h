// The web page's listening socket: TLS on every connection, and a limit on connections per address
// and in all.
#pragma once

#include <QHash>
#include <QHostAddress>
#include <QSslConfiguration>
#include <QTcpServer>

class WebListener : public QTcpServer
{
    Q_OBJECT

public:
    static constexpr int kPerAddress = 24;
    static constexpr int kOverall = 400;

    WebListener(const QSslConfiguration& tls, QObject* parent);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    QSslConfiguration m_tls;
    QHash<QHostAddress, int> m_open;
    int m_total = 0;
};
