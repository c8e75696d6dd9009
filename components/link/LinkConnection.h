// One end of a link: framed text messages over a connected local socket.
#pragma once

#include "LinkFramer.h"

#include <QObject>
#include <QString>

class QLocalSocket;

namespace kalvo {

class LinkConnection : public QObject
{
    Q_OBJECT

public:
    // Takes over a connected socket (it becomes this object's child).
    explicit LinkConnection(QLocalSocket* socket, QObject* parent = nullptr);

    // Queues `text` as one message; it is written at once as far as the socket takes it, the rest
    // from the event loop. @return false when the socket is down or the text is too long.
    bool send(const QString& text);

    // True while the socket is connected.
    bool isOpen() const;

    // Hands over pending messages (waiting at most two seconds for a peer that does not read),
    // then closes the socket; closed() follows.
    void close();

signals:
    // One complete message from the peer.
    void messageArrived(const QString& text);
    // The socket closed, from either side or after a broken stream.
    void closed();

private:
    void readMessages();

    QLocalSocket* m_socket;
    LinkFramer m_framer;
};

} // namespace kalvo
