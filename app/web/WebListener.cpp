// The web page's TLS listener.
#include "WebListener.h"

#include "WebConnection.h"
#include "WebHttp.h"

#include <QSslSocket>

WebListener::WebListener(const QSslConfiguration& tls, QObject* parent) : QTcpServer(parent), m_tls(tls)
{
    // Room for every connection allowed: under a flood, a short queue drops the owner's connection
    // attempts too, and each retry waits seconds.
    setListenBacklogSize(kOverall);
}

void WebListener::incomingConnection(qintptr descriptor)
{
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QHostAddress peer = WebRequest::plain(socket->peerAddress());
    if (m_total >= kOverall || m_open.value(peer) >= kPerAddress) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++m_total;
    ++m_open[peer];
    connect(socket, &QObject::destroyed, this, [this, peer] {
        --m_total;
        if (--m_open[peer] <= 0)
            m_open.remove(peer);
    });
    socket->setSslConfiguration(m_tls);
    // The watcher reads first, so the HTTP server never buffers more than the limits allow.
    new WebConnection(*socket);
    socket->startServerEncryption();
    addPendingConnection(socket);
}
